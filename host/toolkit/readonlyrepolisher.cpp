#include "readonlyrepolisher.h"

#include <QEvent>
#include <QStyle>
#include <QWidget>

namespace WB {

CReadOnlyRepolisher::CReadOnlyRepolisher(QWidget* widget)
    : QObject(widget)
{
    widget->installEventFilter(this);
}

bool CReadOnlyRepolisher::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::ReadOnlyChange && watched->isWidgetType()) {
        auto* w = static_cast<QWidget*>(watched);
        w->style()->unpolish(w);
        w->style()->polish(w);
        w->update();
    }
    return QObject::eventFilter(watched, event);
}

} // namespace WB
