#pragma once
// The table's column header: flat sections, its own sort arrow, and a funnel mark on columns
// that can be filtered (filled while a filter is set). A click on the funnel or a right click on
// a filterable section asks for the filter menu instead of sorting.

#include <QHeaderView>
#include <QSet>

namespace WB {

class CHpfHeaderView : public QHeaderView
{
    Q_OBJECT
public:
    explicit CHpfHeaderView(QWidget* parent);

    void setColumnFilterable(int logical, bool filterable);
    bool isColumnFilterable(int logical) const;
    void setColumnFiltered(int logical, bool filtered);
    bool isColumnFiltered(int logical) const;
    void setAuxColumns(const QSet<int>& columns);
    // The sort as drawn; column -1 draws none.
    void setSortMark(int logical, Qt::SortOrder order);

    // The funnel's rectangle in header coordinates, empty for a column without filter.
    QRect filterMarkRect(int logical) const;
    QSize sizeHint() const override;
    QSize sectionSizeFromContents(int logical) const override;

signals:
    void filterMenuRequested(int logical, const QPoint& globalPos);

protected:
    void paintEvent(QPaintEvent* event) override;
    void paintSection(QPainter* painter, const QRect& rect, int logical) const override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    QRect markRect(const QRect& section, int slot) const;

    QSet<int> m_filterable;
    QSet<int> m_filtered;
    QSet<int> m_aux;
    int m_sortColumn = -1;
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
    bool m_swallowRelease = false;
};

} // namespace WB
