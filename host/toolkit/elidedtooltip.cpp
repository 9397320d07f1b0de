#include "elidedtooltip.h"

#include <QHelpEvent>
#include <QToolTip>
#include <QWidget>

namespace WB {

CElidedToolTip::CElidedToolTip(QWidget* widget, std::function<QString()> fullText, std::function<bool()> isElided)
    : QObject(widget)
    , m_widget(widget)
    , m_fullText(std::move(fullText))
    , m_isElided(std::move(isElided))
{
    setObjectName(QStringLiteral("elidedToolTip"));
    widget->installEventFilter(this);
}

bool CElidedToolTip::eventFilter(QObject* watched, QEvent* event)
{
    // A tool tip the caller set on purpose wins over the elision tip.
    if (watched != m_widget || event->type() != QEvent::ToolTip || !m_widget->toolTip().isEmpty())
        return QObject::eventFilter(watched, event);

    auto* help = static_cast<QHelpEvent*>(event);
    if (m_isElided())
        QToolTip::showText(help->globalPos(), m_fullText(), m_widget);
    else
        QToolTip::hideText();
    return true;
}

} // namespace WB
