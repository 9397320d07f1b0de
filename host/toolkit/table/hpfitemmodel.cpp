#include "hpfitemmodel.h"

#include "hpfcolumn.h"
#include "hpfradixsort.h"
#include "hpftablemodel_p.h"

#include <algorithm>

namespace WB {

CHpfItemModel::CHpfItemModel(QObject* parent)
    : QAbstractTableModel(parent)
{
    dropSnapshot();
}

void CHpfItemModel::dropSnapshot()
{
    static const auto empty = std::make_shared<const std::vector<IBaseHpfTableDataPtr>>();
    m_snapshot = empty;
}

CHpfItemModel::~CHpfItemModel()
{
    if (m_source && m_source->_getDelegateData() == this)
        m_source->_setItemModel(nullptr);
}

void CHpfItemModel::setSource(IBaseHpfTableModel* source)
{
    if (source == m_source)
        return;
    beginResetModel();
    if (m_source && m_source->_getDelegateData() == this)
        m_source->_setItemModel(nullptr);
    m_source = source;
    if (m_source)
        m_source->_setItemModel(this);
    dropSnapshot();
    m_order.clear();
    m_filterValues.clear();
    m_filterSets.clear();
    m_sortColumn = -1;
    m_sortOrder = Qt::AscendingOrder;
    readColumns();
    endResetModel();
}

IBaseHpfTableModel* CHpfItemModel::source() const
{
    return m_source;
}

void CHpfItemModel::sourceDestroyed(IBaseHpfTableModel* source)
{
    if (source != m_source)
        return;
    // The derived part of the source is gone already: nothing below may call into it.
    m_source = nullptr;
    beginResetModel();
    dropSnapshot();
    m_order.clear();
    m_types.clear();
    m_columnCount = 0;
    endResetModel();
}

void CHpfItemModel::setAlternateRows(bool on)
{
    if (on == m_alternate)
        return;
    m_alternate = on;
    if (!m_order.empty() && m_columnCount > 0)
        emit dataChanged(index(0, 0), index(int(m_order.size()) - 1, m_columnCount - 1), {Qt::BackgroundRole});
}

bool CHpfItemModel::alternateRows() const
{
    return m_alternate;
}

void CHpfItemModel::readColumns()
{
    m_columnCount = m_source ? std::max(0, m_source->columnCount()) : 0;
    m_types.assign(std::size_t(m_columnCount), QVariant::String);
    for (int c = 0; c < m_columnCount; ++c)
        m_types[std::size_t(c)] = m_source->columnType(c);
    if (m_sortColumn >= m_columnCount)
        m_sortColumn = -1;
}

void CHpfItemModel::refresh()
{
    beginResetModel();
    if (m_source)
        m_snapshot = m_source->d->snapshot();
    else
        dropSnapshot();
    readColumns();
    m_order = filteredRows(-1);
    sortRows(m_order);
    endResetModel();
}

void CHpfItemModel::rebuild()
{
    beginResetModel();
    m_order = filteredRows(-1);
    sortRows(m_order);
    endResetModel();
}

std::vector<int> CHpfItemModel::filteredRows(int skipColumn) const
{
    std::vector<int> rows;
    rows.reserve(all().size());
    QVector<int> columns;
    for (auto it = m_filterSets.constBegin(); it != m_filterSets.constEnd(); ++it) {
        if (it.key() != skipColumn && it.key() < m_columnCount)
            columns.append(it.key());
    }
    for (std::size_t i = 0; i < all().size(); ++i) {
        IBaseHpfTableData* row = all()[i].get();
        if (!row || (m_source && !m_source->filterAcceptsRow(row)))
            continue;
        bool pass = true;
        for (int c : columns) {
            if (!m_filterSets.value(c).contains(row->getText(c))) {
                pass = false;
                break;
            }
        }
        if (pass)
            rows.push_back(int(i));
    }
    return rows;
}

void CHpfItemModel::sortRows(std::vector<int>& rows) const
{
    const int column = m_sortColumn;
    if (column < 0 || column >= m_columnCount || !m_source) {
        hpf::toAddedOrder(rows, all().size());
        return;
    }
    const bool descending = m_sortOrder == Qt::DescendingOrder;
    const std::size_t total = all().size();
    if (m_source->isCustomSort(column)) {
        IBaseHpfTableModel* source = m_source;
        std::sort(rows.begin(), rows.end(), [&](int a, int b) {
            int c = source->compare(all()[std::size_t(a)].get(), all()[std::size_t(b)].get(), column);
            if (descending)
                c = -c;
            return c != 0 ? c < 0 : a < b;
        });
        return;
    }
    // Each row's value is read once; comparing then touches no virtual call.
    switch (hpf::columnKind(m_types[std::size_t(column)])) {
    case hpf::eKindInt:
        hpf::sortByNumber<int>(rows, total, descending, [&](int r) { return all()[std::size_t(r)]->getInt(column); });
        return;
    case hpf::eKindLonglong:
        hpf::sortByNumber<long long>(rows, total, descending,
                                     [&](int r) { return all()[std::size_t(r)]->getLonglong(column); });
        return;
    case hpf::eKindDouble:
        hpf::sortByNumber<double>(rows, total, descending,
                                  [&](int r) { return all()[std::size_t(r)]->getDouble(column); });
        return;
    case hpf::eKindText: break;
    }
    hpf::sortByText(rows, total, descending, [&](int r) { return all()[std::size_t(r)]->getText(column); });
}

void CHpfItemModel::setFilter(int column, const QStringList& values)
{
    if (column < 0)
        return;
    QStringList unique;
    QSet<QString> set;
    for (const QString& v : values) {
        if (!set.contains(v)) {
            set.insert(v);
            unique.append(v);
        }
    }
    if (unique.isEmpty()) {
        if (!m_filterSets.contains(column))
            return;
        m_filterSets.remove(column);
        m_filterValues.remove(column);
    } else {
        m_filterSets.insert(column, set);
        m_filterValues.insert(column, unique);
    }
    rebuild();
}

QStringList CHpfItemModel::filter(int column) const
{
    return m_filterValues.value(column);
}

bool CHpfItemModel::hasFilter(int column) const
{
    return m_filterSets.contains(column);
}

QList<int> CHpfItemModel::filteredColumns() const
{
    QList<int> columns = m_filterSets.keys();
    std::sort(columns.begin(), columns.end());
    return columns;
}

void CHpfItemModel::clearFilters()
{
    if (m_filterSets.isEmpty())
        return;
    m_filterSets.clear();
    m_filterValues.clear();
    rebuild();
}

QStringList CHpfItemModel::columnValues(int column) const
{
    if (column < 0 || column >= m_columnCount)
        return QStringList();
    std::vector<int> rows = filteredRows(column);
    const hpf::EColumnKind kind = hpf::columnKind(m_types[std::size_t(column)]);
    if (kind == hpf::eKindText) {
        // Sorted as the column sorts, so a column of a hundred thousand distinct codes opens
        // its filter menu at once.
        hpf::sortByText(rows, all().size(), false, [&](int r) { return all()[std::size_t(r)]->getText(column); });
        QStringList values;
        values.reserve(int(rows.size()));
        for (int r : rows) {
            const QString text = all()[std::size_t(r)]->getText(column);
            if (values.isEmpty() || values.constLast() != text)
                values.append(text);
        }
        return values;
    }
    // One representative row per text, in the order rows were added.
    QSet<QString> seen;
    std::vector<int> representatives;
    for (int r : rows) {
        const QString text = all()[std::size_t(r)]->getText(column);
        if (!seen.contains(text)) {
            seen.insert(text);
            representatives.push_back(r);
        }
    }
    std::vector<std::pair<QString, int>> items;
    items.reserve(representatives.size());
    for (int r : representatives)
        items.emplace_back(all()[std::size_t(r)]->getText(column), r);
    std::stable_sort(items.begin(), items.end(), [&](const auto& a, const auto& b) {
        int c = 0;
        IBaseHpfTableData* ra = all()[std::size_t(a.second)].get();
        IBaseHpfTableData* rb = all()[std::size_t(b.second)].get();
        switch (kind) {
        case hpf::eKindInt: c = hpf::compareNumbers(ra->getInt(column), rb->getInt(column)); break;
        case hpf::eKindLonglong: c = hpf::compareNumbers(ra->getLonglong(column), rb->getLonglong(column)); break;
        case hpf::eKindDouble: c = hpf::compareNumbers(ra->getDouble(column), rb->getDouble(column)); break;
        case hpf::eKindText: break;
        }
        if (c == 0)
            c = QString::compare(a.first, b.first, Qt::CaseSensitive);
        return c < 0;
    });
    QStringList values;
    values.reserve(int(items.size()));
    for (const auto& item : items)
        values.append(item.first);
    return values;
}

void CHpfItemModel::sort(int column, Qt::SortOrder order)
{
    if (column < -1 || column >= m_columnCount)
        return;
    if (column == m_sortColumn && order == m_sortOrder)
        return;
    emit layoutAboutToBeChanged(QList<QPersistentModelIndex>(), QAbstractItemModel::VerticalSortHint);
    const std::vector<int> before = m_order;
    m_sortColumn = column;
    m_sortOrder = order;
    sortRows(m_order);
    // Keep selections and the current cell on the same rows.
    const QModelIndexList persistent = persistentIndexList();
    if (!persistent.isEmpty()) {
        std::vector<int> newPosition(all().size(), -1);
        for (std::size_t p = 0; p < m_order.size(); ++p)
            newPosition[std::size_t(m_order[p])] = int(p);
        QModelIndexList to;
        to.reserve(persistent.size());
        for (const QModelIndex& from : persistent) {
            const int row = newPosition[std::size_t(before[std::size_t(from.row())])];
            to.append(index(row, from.column()));
        }
        changePersistentIndexList(persistent, to);
    }
    emit layoutChanged(QList<QPersistentModelIndex>(), QAbstractItemModel::VerticalSortHint);
}

int CHpfItemModel::sortColumn() const
{
    return m_sortColumn;
}

Qt::SortOrder CHpfItemModel::sortOrder() const
{
    return m_sortOrder;
}

int CHpfItemModel::displayCount() const
{
    return int(m_order.size());
}

IBaseHpfTableDataPtr CHpfItemModel::rowAt(int position) const
{
    if (position < 0 || position >= int(m_order.size()))
        return IBaseHpfTableDataPtr();
    return all()[std::size_t(m_order[std::size_t(position)])];
}

IBaseHpfTableData* CHpfItemModel::rawRowAt(int position) const
{
    if (position < 0 || position >= int(m_order.size()))
        return nullptr;
    return all()[std::size_t(m_order[std::size_t(position)])].get();
}

bool CHpfItemModel::isNumericColumn(int column) const
{
    if (column < 0 || column >= m_columnCount)
        return false;
    return hpf::isNumericKind(hpf::columnKind(m_types[std::size_t(column)]));
}

int CHpfItemModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_order.size());
}

int CHpfItemModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_columnCount;
}

QVariant CHpfItemModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.column() >= m_columnCount)
        return QVariant();
    IBaseHpfTableData* row = rawRowAt(index.row());
    if (!row)
        return QVariant();
    const int column = index.column();
    switch (role) {
    case Qt::DisplayRole: return row->getText(column);
    case Qt::ToolTipRole: {
        const QString text = row->getTextFromAll(column);
        return text.isEmpty() ? QVariant() : QVariant(text);
    }
    case Qt::ForegroundRole: {
        const QColor* color = row->getTextColor(column);
        return color ? QVariant(*color) : QVariant();
    }
    case Qt::BackgroundRole: {
        if (!m_alternate || !m_source)
            return QVariant();
        const QColor* color = m_source->rowBackgroundColor(index.row());
        return color ? QVariant(*color) : QVariant();
    }
    case Qt::TextAlignmentRole:
        return int((isNumericColumn(column) ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
    case KeyRole: return row->qsKey();
    default: return QVariant();
    }
}

QVariant CHpfItemModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Vertical) {
        if (section < 0 || section >= int(m_order.size()))
            return QVariant();
        if (role == Qt::DisplayRole)
            return section + 1;
        if (role == Qt::TextAlignmentRole)
            return int(Qt::AlignRight | Qt::AlignVCenter);
        return QVariant();
    }
    if (section < 0 || section >= m_columnCount || !m_source)
        return QVariant();
    switch (role) {
    case Qt::DisplayRole: return m_source->headerText(section);
    case Qt::ToolTipRole: {
        const QString aux = m_source->columnAuxText(section);
        return aux.isEmpty() ? QVariant() : QVariant(aux);
    }
    case Qt::TextAlignmentRole:
        return int((isNumericColumn(section) ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
    default: return QVariant();
    }
}

} // namespace WB
