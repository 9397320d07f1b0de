#include "hosttoolkit.h"

#include <QBoxLayout>

namespace WB {

namespace {

const char kInnerLayoutName[] = "innerStretchLayout";

Qt::Alignment alignmentFor(Qt::Orientation orientation, int anchor)
{
    const bool horizontal = orientation == Qt::Horizontal;
    switch (anchor) {
    case eAnchorStart: return horizontal ? Qt::AlignTop : Qt::AlignLeft;
    case eAnchorCenter: return horizontal ? Qt::AlignVCenter : Qt::AlignHCenter;
    case eAnchorEnd: return horizontal ? Qt::AlignBottom : Qt::AlignRight;
    case eAnchorFill:
    default: return Qt::Alignment();
    }
}

} // namespace

CWidgetList::CWidgetList(Qt::Orientation orientation, QWidget* parent)
    : QWidget(parent)
    , m_layout(new QBoxLayout(orientation == Qt::Horizontal ? QBoxLayout::LeftToRight : QBoxLayout::TopToBottom, this))
{
    setObjectName(orientation == Qt::Horizontal ? QStringLiteral("rowList") : QStringLiteral("columnList"));
    m_layout->setContentsMargins(0, 0, 0, 0);
    // Items pack from the start: a tail that takes the free length unless a stretched item
    // claims it (items with a stretch factor win over a tail without one).
    if (orientation == Qt::Horizontal)
        m_layout->addSpacerItem(new QSpacerItem(0, 0, QSizePolicy::Expanding, QSizePolicy::Minimum));
    else
        m_layout->addSpacerItem(new QSpacerItem(0, 0, QSizePolicy::Minimum, QSizePolicy::Expanding));
}

CWidgetList::~CWidgetList() = default;

Qt::Orientation CWidgetList::orientation() const
{
    return m_layout->direction() == QBoxLayout::LeftToRight ? Qt::Horizontal : Qt::Vertical;
}

void CWidgetList::setSpacing(int spacing)
{
    m_layout->setSpacing(spacing);
}

void CWidgetList::setMargin(int left, int top, int right, int bottom)
{
    m_layout->setContentsMargins(left, top, right, bottom);
}

void CWidgetList::addFixedWidget(QWidget* w, int anchor, bool prepend)
{
    if (!w)
        return;
    // Along the list the widget keeps its own (fixed or hinted) length.
    QSizePolicy policy = w->sizePolicy();
    if (orientation() == Qt::Horizontal)
        policy.setHorizontalPolicy(QSizePolicy::Fixed);
    else
        policy.setVerticalPolicy(QSizePolicy::Fixed);
    w->setSizePolicy(policy);
    addItem(w, 0, anchor, prepend);
}

void CWidgetList::addStretchWidget(QWidget* w, int stretch, int anchor, bool prepend)
{
    if (!w)
        return;
    QSizePolicy policy = w->sizePolicy();
    if (orientation() == Qt::Horizontal)
        policy.setHorizontalPolicy(QSizePolicy::Expanding);
    else
        policy.setVerticalPolicy(QSizePolicy::Expanding);
    w->setSizePolicy(policy);
    addItem(w, qMax(1, stretch), anchor, prepend);
}

void CWidgetList::addFixedSpace(int size)
{
    m_layout->insertSpacing(m_layout->count() - 1, qMax(0, size));
}

void CWidgetList::addStretchSpace(int stretch)
{
    m_layout->insertStretch(m_layout->count() - 1, qMax(1, stretch));
}

void CWidgetList::addItem(QWidget* w, int stretch, int anchor, bool prepend)
{
    // Filling across means growing across, whatever the widget's own policy says; a fixed size
    // set by the caller still wins.
    if (anchor == eAnchorFill) {
        QSizePolicy policy = w->sizePolicy();
        if (orientation() == Qt::Horizontal)
            policy.setVerticalPolicy(QSizePolicy::Expanding);
        else
            policy.setHorizontalPolicy(QSizePolicy::Expanding);
        w->setSizePolicy(policy);
    }
    const Qt::Alignment alignment = alignmentFor(orientation(), anchor);
    if (prepend)
        m_layout->insertWidget(0, w, stretch, alignment);
    else
        m_layout->insertWidget(m_layout->count() - 1, w, stretch, alignment);
}

void setInnerStretchWidget(QWidget* inner, int left, int top, int right, int bottom)
{
    QWidget* host = inner ? inner->parentWidget() : nullptr;
    if (!host)
        return;
    QLayout* layout = host->layout();
    if (layout && layout->objectName() != QLatin1String(kInnerLayoutName)) {
        qWarning("setInnerStretchWidget: %s already has a layout of its own; left as it is",
                 qPrintable(host->objectName()));
        return;
    }
    if (!layout) {
        layout = new QVBoxLayout(host);
        layout->setObjectName(QLatin1String(kInnerLayoutName));
        layout->setSpacing(0);
    }
    layout->setContentsMargins(left, top, right, bottom);
    // One inner widget at a time: a new one replaces the one shown before.
    while (QLayoutItem* item = layout->takeAt(0)) {
        if (item->widget() && item->widget() != inner)
            item->widget()->hide();
        delete item;
    }
    layout->addWidget(inner);
    inner->show();
}

} // namespace WB
