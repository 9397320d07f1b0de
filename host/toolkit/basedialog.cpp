#include "hosttoolkit.h"

namespace WB {

CBaseDialog::CBaseDialog(QWidget* parent)
    : CEventWidgetT<QDialog>(parent)
{
}

CBaseDialog::~CBaseDialog() = default;

bool CBaseDialog::handleEvent(int, int, int, QString, void*)
{
    return false;
}

} // namespace WB
