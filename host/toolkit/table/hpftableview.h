#pragma once
// The grid inside a CStandardHpfTable: fixed-height rows, a hover row, row-button tool tips and
// the mouse-leave notice the button delegates need to drop their hover state.

#include <QTableView>

namespace WB {

class CHpfTableView : public QTableView
{
    Q_OBJECT
public:
    explicit CHpfTableView(QWidget* parent);

    void setHoverRowEnabled(bool on);
    bool hoverRowEnabled() const;
    // The display row under the mouse, -1 when none.
    int hoverRow() const;

    // Background of a cell as the table paints it: selection, hover row, then the model's
    // background role. Shared by every delegate of the table.
    static void paintCellBackground(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index);

signals:
    void copyRequested();

protected:
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void setHoverRow(int row);
    void leaveColumn(int column);

    bool m_hoverEnabled = true;
    int m_hoverRow = -1;
    int m_mouseColumn = -1;
};

} // namespace WB
