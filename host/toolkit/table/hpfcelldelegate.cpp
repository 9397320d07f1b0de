#include "hpfcelldelegate.h"

#include "hpfstyle.h"
#include "hpftableview.h"

#include <QPainter>

namespace WB {

CHpfCellDelegate::CHpfCellDelegate(QObject* parent)
    : QStyledItemDelegate(parent)
{
}

void CHpfCellDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    CHpfTableView::paintCellBackground(painter, option, index);
    paintCellText(painter, option, index);
}

void CHpfCellDelegate::paintCellText(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index)
{
    const QString text = index.data(Qt::DisplayRole).toString();
    if (text.isEmpty())
        return;
    const int pad = CHpfStyle::cellPadding();
    const QRect area = option.rect.adjusted(pad, 0, -pad, 0);
    if (area.width() <= 0)
        return;
    const QVariant alignment = index.data(Qt::TextAlignmentRole);
    const int flags =
        (alignment.isValid() ? alignment.toInt() : int(Qt::AlignLeft | Qt::AlignVCenter)) | Qt::TextSingleLine;
    QColor color = option.palette.color(QPalette::Text);
    const QVariant foreground = index.data(Qt::ForegroundRole);
    if (foreground.canConvert<QColor>() && foreground.value<QColor>().isValid())
        color = foreground.value<QColor>();
    painter->save();
    painter->setFont(option.font);
    painter->setPen(color);
    painter->drawText(area, flags, option.fontMetrics.elidedText(text, Qt::ElideRight, area.width()));
    painter->restore();
}

QSize CHpfCellDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const QString text = index.data(Qt::DisplayRole).toString();
    return QSize(option.fontMetrics.horizontalAdvance(text) + 2 * CHpfStyle::cellPadding(), CHpfStyle::rowHeight());
}

} // namespace WB
