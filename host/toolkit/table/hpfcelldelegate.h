#pragma once
// The table's default cell painter: flat background, padded elided text, no focus frame.

#include <QStyledItemDelegate>

namespace WB {

class CHpfCellDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    explicit CHpfCellDelegate(QObject* parent);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    // Draws a cell's text the way the default cells do; also used under row buttons when a row has none.
    static void paintCellText(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index);
};

} // namespace WB
