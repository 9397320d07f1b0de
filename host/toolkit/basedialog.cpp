#include "hosttoolkit.h"

#include "toolkitfont.h"

namespace WB {

CBaseDialog::CBaseDialog(QWidget* parent)
    : CEventWidgetT<QDialog>(parent)
{
    setFont(toolkitFont());
}

CBaseDialog::~CBaseDialog() = default;

bool CBaseDialog::handleEvent(int, int, int, QString, void*)
{
    return false;
}

} // namespace WB
