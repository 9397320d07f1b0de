#include "hosttoolkit.h"

#include "toolkitfont.h"

namespace WB {

CBaseWidget::CBaseWidget(QWidget* parent)
    : CEventWidgetT<QWidget>(parent)
{
    setFont(toolkitFont());
}

CBaseWidget::~CBaseWidget() = default;

bool CBaseWidget::handleEvent(int type, int id, int index, QString key, void* data)
{
    return deliverEvent(parentWidget(), type, id, index, key, data);
}

void CBaseWidget::onUiResourceChanged()
{
    update();
}

} // namespace WB
