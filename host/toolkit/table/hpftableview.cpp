#include "hpftableview.h"

#include "hosttoolkit.h"
#include "hpfitemmodel.h"
#include "hpfstyle.h"

#include <QHeaderView>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>

namespace WB {

CHpfTableView::CHpfTableView(QWidget* parent)
    : QTableView(parent)
{
    setObjectName(QStringLiteral("hpfTableView"));
    setMouseTracking(true); // row buttons show hover feedback
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    setFrameShape(QFrame::NoFrame);
    setFocusPolicy(Qt::StrongFocus);
    setTextElideMode(Qt::ElideRight);
    // Fixed row heights keep scrolling and resets cheap at 100k rows.
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(CHpfStyle::rowHeight());
    verticalHeader()->setMinimumSectionSize(CHpfStyle::rowHeight());
}

void CHpfTableView::setHoverRowEnabled(bool on)
{
    m_hoverEnabled = on;
    if (!on)
        setHoverRow(-1);
}

bool CHpfTableView::hoverRowEnabled() const
{
    return m_hoverEnabled;
}

int CHpfTableView::hoverRow() const
{
    return m_hoverEnabled ? m_hoverRow : -1;
}

void CHpfTableView::paintCellBackground(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index)
{
    const CHpfTableView* view = qobject_cast<const CHpfTableView*>(option.widget);
    if (option.state & QStyle::State_Selected) {
        painter->fillRect(option.rect, CHpfStyle::selection());
        return;
    }
    if (view && view->hoverRow() == index.row() && index.row() >= 0) {
        painter->fillRect(option.rect, CHpfStyle::hover());
        return;
    }
    const QVariant background = index.data(Qt::BackgroundRole);
    if (background.canConvert<QColor>()) {
        const QColor color = background.value<QColor>();
        if (color.isValid())
            painter->fillRect(option.rect, color);
    }
}

void CHpfTableView::setHoverRow(int row)
{
    if (row == m_hoverRow)
        return;
    const int old = m_hoverRow;
    m_hoverRow = row;
    if (!m_hoverEnabled)
        return;
    const int width = viewport()->width();
    if (old >= 0)
        viewport()->update(QRect(0, rowViewportPosition(old), width, rowHeight(old)));
    if (row >= 0)
        viewport()->update(QRect(0, rowViewportPosition(row), width, rowHeight(row)));
}

void CHpfTableView::leaveColumn(int column)
{
    if (column < 0)
        return;
    // Only a button delegate keeps hover state; it drops it on a Leave event.
    if (auto* buttons = qobject_cast<CBaseTableColumnMultiButtonsDelegate*>(itemDelegateForColumn(column))) {
        QEvent leave(QEvent::Leave);
        QStyleOptionViewItem option = viewOptions();
        buttons->editorEvent(&leave, model(), option, QModelIndex());
        viewport()->update();
    }
}

void CHpfTableView::mouseMoveEvent(QMouseEvent* event)
{
    const QModelIndex index = indexAt(event->pos());
    setHoverRow(index.isValid() ? index.row() : -1);
    const int column = index.isValid() ? index.column() : -1;
    if (column != m_mouseColumn) {
        leaveColumn(m_mouseColumn);
        m_mouseColumn = column;
    }
    QTableView::mouseMoveEvent(event);
}

void CHpfTableView::leaveEvent(QEvent* event)
{
    setHoverRow(-1);
    leaveColumn(m_mouseColumn);
    m_mouseColumn = -1;
    QTableView::leaveEvent(event);
}

bool CHpfTableView::viewportEvent(QEvent* event)
{
    if (event->type() == QEvent::Leave) {
        setHoverRow(-1);
        leaveColumn(m_mouseColumn);
        m_mouseColumn = -1;
    } else if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const QModelIndex index = indexAt(help->pos());
        auto* buttons = index.isValid()
                            ? qobject_cast<CBaseTableColumnMultiButtonsDelegate*>(itemDelegateForColumn(index.column()))
                            : nullptr;
        if (buttons) {
            const std::string key = index.data(CHpfItemModel::KeyRole).toString().toStdString();
            const QVector<QRect> rects = buttons->buttonRects(key, visualRect(index));
            const QVector<ButtonData> data = buttons->itemButtons(key);
            for (int i = 0; i < rects.size() && i < data.size(); ++i) {
                if (rects[i].contains(help->pos())) {
                    const QString tip = data[i].texts.value(0);
                    if (!tip.isEmpty()) {
                        QToolTip::showText(help->globalPos(), tip, viewport(), rects[i]);
                        return true;
                    }
                }
            }
            QToolTip::hideText();
            event->ignore();
            return true;
        }
    }
    return QTableView::viewportEvent(event);
}

void CHpfTableView::keyPressEvent(QKeyEvent* event)
{
    if (event == QKeySequence::Copy) {
        emit copyRequested();
        event->accept();
        return;
    }
    QTableView::keyPressEvent(event);
}

} // namespace WB
