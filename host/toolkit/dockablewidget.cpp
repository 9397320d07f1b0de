#include "hosttoolkit.h"

namespace WB {

IDockableWidget::IDockableWidget(QWidget* parent)
    : CBaseWidget(parent)
{
}

IDockableWidget::~IDockableWidget() = default;

void IDockableWidget::onActive() {}

void IDockableWidget::acquire() {}

void IDockableWidget::release() {}

} // namespace WB
