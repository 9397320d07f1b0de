#pragma once
// The Qt item model a CStandardHpfTable shows: a snapshot of its IBaseHpfTableModel's rows,
// filtered by the column filters and sorted, in display order.

#include "hosttoolkit.h"

#include <QAbstractTableModel>
#include <QHash>
#include <QSet>
#include <QStringList>

#include <memory>
#include <vector>

namespace WB {

class CHpfItemModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum ERole
    {
        KeyRole = Qt::UserRole + 1, // the row's key, as QString
    };

    explicit CHpfItemModel(QObject* parent = nullptr);
    ~CHpfItemModel() override;

    // Shows source's rows from the next refresh() on; the snapshot is emptied now.
    void setSource(IBaseHpfTableModel* source);
    IBaseHpfTableModel* source() const;
    // Called by a source that is being destroyed; afterwards the model is empty.
    void sourceDestroyed(IBaseHpfTableModel* source);

    // Rows take the source's rowBackgroundColor by their display position.
    void setAlternateRows(bool on);
    bool alternateRows() const;

    // Takes a fresh snapshot of the source's rows and shows it filtered and sorted.
    void refresh();

    // Only rows whose text in column is one of values pass; an empty list clears it.
    void setFilter(int column, const QStringList& values);
    QStringList filter(int column) const;
    bool hasFilter(int column) const;
    QList<int> filteredColumns() const;
    void clearFilters();
    // Distinct texts of column among the snapshot rows that pass every other filter, sorted
    // the way the column sorts.
    QStringList columnValues(int column) const;

    // column -1 shows the rows in the order they were added. Ties keep that order.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;
    int sortColumn() const;
    Qt::SortOrder sortOrder() const;

    int displayCount() const;
    IBaseHpfTableDataPtr rowAt(int position) const;
    IBaseHpfTableData* rawRowAt(int position) const;
    bool isNumericColumn(int column) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    void readColumns();
    std::vector<int> filteredRows(int skipColumn) const;
    void sortRows(std::vector<int>& rows) const;
    void rebuild();

    IBaseHpfTableModel* m_source = nullptr;
    const std::vector<IBaseHpfTableDataPtr>& all() const { return *m_snapshot; }
    void dropSnapshot();

    // Rows as the source held them at the last refresh: the source's own store, which it
    // copies before changing it, so a cleared source does not pull rows from under the view.
    std::shared_ptr<const std::vector<IBaseHpfTableDataPtr>> m_snapshot;
    // Display position -> index into m_all.
    std::vector<int> m_order;
    std::vector<QVariant::Type> m_types;
    int m_columnCount = 0;
    QHash<int, QStringList> m_filterValues;
    QHash<int, QSet<QString>> m_filterSets;
    int m_sortColumn = -1;
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
    bool m_alternate = true;
};

} // namespace WB
