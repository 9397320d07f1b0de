#include "hpfheaderview.h"

#include "hpfstyle.h"

#include <QContextMenuEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

namespace WB {

CHpfHeaderView::CHpfHeaderView(QWidget* parent)
    : QHeaderView(Qt::Horizontal, parent)
{
    setObjectName(QStringLiteral("hpfHeaderView"));
    setSectionsClickable(true);
    setSectionsMovable(true);
    setHighlightSections(false);
    setSortIndicatorShown(false); // drawn by paintSection from the table's own sort state
    setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    setMinimumSectionSize(36);
    setDefaultSectionSize(100);
    setStretchLastSection(false);
}

void CHpfHeaderView::setColumnFilterable(int logical, bool filterable)
{
    if (filterable)
        m_filterable.insert(logical);
    else
        m_filterable.remove(logical);
    viewport()->update();
}

bool CHpfHeaderView::isColumnFilterable(int logical) const
{
    return m_filterable.contains(logical);
}

void CHpfHeaderView::setColumnFiltered(int logical, bool filtered)
{
    if (filtered)
        m_filtered.insert(logical);
    else
        m_filtered.remove(logical);
    viewport()->update();
}

bool CHpfHeaderView::isColumnFiltered(int logical) const
{
    return m_filtered.contains(logical);
}

void CHpfHeaderView::setAuxColumns(const QSet<int>& columns)
{
    m_aux = columns;
    viewport()->update();
}

void CHpfHeaderView::setSortMark(int logical, Qt::SortOrder order)
{
    m_sortColumn = logical;
    m_sortOrder = order;
    viewport()->update();
}

QRect CHpfHeaderView::markRect(const QRect& section, int slot) const
{
    // Slots from the right edge: 0 the filter mark, 1 the sort arrow.
    const int w = CHpfStyle::headerMarkWidth();
    const int right = section.right() - 4 - slot * w;
    return QRect(right - w + 1, section.center().y() - w / 2, w, w);
}

QRect CHpfHeaderView::filterMarkRect(int logical) const
{
    if (!m_filterable.contains(logical) || isSectionHidden(logical))
        return QRect();
    const QRect section(sectionViewportPosition(logical), 0, sectionSize(logical), height());
    return markRect(section, 0);
}

QSize CHpfHeaderView::sizeHint() const
{
    QSize size = QHeaderView::sizeHint();
    size.setHeight(CHpfStyle::headerHeight());
    return size;
}

QSize CHpfHeaderView::sectionSizeFromContents(int logical) const
{
    const QString text = model() ? model()->headerData(logical, orientation(), Qt::DisplayRole).toString() : QString();
    QFont font = this->font();
    font.setBold(true);
    const QFontMetrics metrics(font);
    int width = metrics.horizontalAdvance(text) + 2 * CHpfStyle::cellPadding() + CHpfStyle::headerMarkWidth() + 4;
    if (m_filterable.contains(logical))
        width += CHpfStyle::headerMarkWidth();
    if (m_aux.contains(logical))
        width += CHpfStyle::headerMarkWidth();
    return QSize(width, CHpfStyle::headerHeight());
}

void CHpfHeaderView::paintEvent(QPaintEvent* event)
{
    {
        // The strip right of the last section belongs to the header too.
        QPainter painter(viewport());
        painter.fillRect(viewport()->rect(), CHpfStyle::headerBackground());
        painter.setPen(CHpfStyle::headerLine());
        painter.drawLine(0, viewport()->height() - 1, viewport()->width(), viewport()->height() - 1);
    }
    QHeaderView::paintEvent(event);
}

void CHpfHeaderView::paintSection(QPainter* painter, const QRect& rect, int logical) const
{
    if (!rect.isValid())
        return;
    painter->save();
    painter->fillRect(rect, CHpfStyle::headerBackground());
    painter->setPen(CHpfStyle::headerLine());
    painter->drawLine(rect.bottomLeft(), rect.bottomRight());
    painter->drawLine(QPoint(rect.right(), rect.top() + 6), QPoint(rect.right(), rect.bottom() - 6));

    const QAbstractItemModel* m = model();
    const QString text = m ? m->headerData(logical, Qt::Horizontal, Qt::DisplayRole).toString() : QString();
    const QVariant alignment = m ? m->headerData(logical, Qt::Horizontal, Qt::TextAlignmentRole) : QVariant();
    int right = rect.right() - 4;
    const bool filterable = m_filterable.contains(logical);
    const bool sorted = logical == m_sortColumn;
    if (filterable)
        right -= CHpfStyle::headerMarkWidth();
    if (sorted)
        right -= CHpfStyle::headerMarkWidth();
    const bool aux = m_aux.contains(logical);
    if (aux)
        right -= CHpfStyle::headerMarkWidth();

    QFont font = painter->font();
    font.setBold(true);
    painter->setFont(font);
    painter->setPen(CHpfStyle::headerText());
    const QRect textRect(rect.left() + CHpfStyle::cellPadding(), rect.top(),
                         std::max(0, right - rect.left() - CHpfStyle::cellPadding()), rect.height());
    const int flags =
        (alignment.isValid() ? alignment.toInt() : int(Qt::AlignLeft | Qt::AlignVCenter)) | Qt::TextSingleLine;
    painter->drawText(textRect, flags, painter->fontMetrics().elidedText(text, Qt::ElideRight, textRect.width()));
    painter->setRenderHint(QPainter::Antialiasing, true);

    if (aux) {
        // An information mark: a small ring with an "i".
        const QRect mark = markRect(rect, (filterable ? 1 : 0) + (sorted ? 1 : 0)).adjusted(2, 2, -2, -2);
        painter->setPen(QPen(CHpfStyle::headerText(), 1));
        painter->setBrush(Qt::NoBrush);
        painter->drawEllipse(mark);
        QFont small = font;
        small.setPixelSize(std::max(7, mark.height() - 3));
        painter->setFont(small);
        painter->drawText(mark, Qt::AlignCenter, QStringLiteral("i"));
    }
    if (sorted) {
        const QRectF mark = QRectF(markRect(rect, filterable ? 1 : 0)).adjusted(3, 4, -3, -4);
        QPainterPath arrow;
        if (m_sortOrder == Qt::AscendingOrder) {
            arrow.moveTo(mark.center().x(), mark.top());
            arrow.lineTo(mark.right(), mark.bottom());
            arrow.lineTo(mark.left(), mark.bottom());
        } else {
            arrow.moveTo(mark.left(), mark.top());
            arrow.lineTo(mark.right(), mark.top());
            arrow.lineTo(mark.center().x(), mark.bottom());
        }
        arrow.closeSubpath();
        painter->fillPath(arrow, CHpfStyle::accent());
    }
    if (filterable) {
        const QRectF mark = QRectF(markRect(rect, 0)).adjusted(2, 3, -2, -2);
        const bool filtered = m_filtered.contains(logical);
        QPainterPath funnel;
        const qreal stemHalf = mark.width() * 0.12;
        const qreal neckY = mark.top() + mark.height() * 0.45;
        funnel.moveTo(mark.left(), mark.top());
        funnel.lineTo(mark.right(), mark.top());
        funnel.lineTo(mark.center().x() + stemHalf, neckY);
        funnel.lineTo(mark.center().x() + stemHalf, mark.bottom());
        funnel.lineTo(mark.center().x() - stemHalf, mark.bottom() - mark.height() * 0.15);
        funnel.lineTo(mark.center().x() - stemHalf, neckY);
        funnel.closeSubpath();
        if (filtered) {
            painter->fillPath(funnel, CHpfStyle::accent());
        } else {
            painter->setPen(QPen(CHpfStyle::headerText().lighter(160), 1));
            painter->setBrush(Qt::NoBrush);
            painter->drawPath(funnel);
        }
    }
    painter->restore();
}

void CHpfHeaderView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        const int logical = logicalIndexAt(event->pos());
        if (logical >= 0 && filterMarkRect(logical).contains(event->pos())) {
            m_swallowRelease = true;
            event->accept();
            emit filterMenuRequested(logical, mapToGlobal(QPoint(sectionViewportPosition(logical), height())));
            return;
        }
    }
    QHeaderView::mousePressEvent(event);
}

void CHpfHeaderView::mouseReleaseEvent(QMouseEvent* event)
{
    if (m_swallowRelease) {
        m_swallowRelease = false;
        event->accept();
        return;
    }
    QHeaderView::mouseReleaseEvent(event);
}

void CHpfHeaderView::contextMenuEvent(QContextMenuEvent* event)
{
    const int logical = logicalIndexAt(event->pos());
    if (logical >= 0 && m_filterable.contains(logical)) {
        emit filterMenuRequested(logical, event->globalPos());
        event->accept();
        return;
    }
    event->ignore();
}

} // namespace WB
