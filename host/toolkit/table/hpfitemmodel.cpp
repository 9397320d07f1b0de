#include "hpfitemmodel.h"

#include "hpfcolumn.h"
#include "hpftablemodel_p.h"

#include <algorithm>
#include <cstring>

namespace WB {

namespace {

// A row's sort key: Words 64-bit words, most significant first.
template <int Words>
struct SortItem
{
    quint64 key[Words];
    int row;
};

// Stable LSD radix sort by the whole key, a byte at a time; a byte that every key shares is
// skipped, so a column of few distinct values costs a pass or two.
template <int Words>
void radixSort(std::vector<SortItem<Words>>& items)
{
    const std::size_t n = items.size();
    if (n < 2)
        return;
    std::vector<std::size_t> counts(static_cast<std::size_t>(Words) * 8 * 256, 0);
    for (const SortItem<Words>& item : items) {
        for (int w = 0; w < Words; ++w) {
            const quint64 k = item.key[w];
            std::size_t* c = &counts[std::size_t(w) * 8 * 256];
            for (int b = 0; b < 8; ++b)
                ++c[b * 256 + int((k >> (8 * b)) & 0xFF)];
        }
    }
    std::vector<SortItem<Words>> buffer(n);
    SortItem<Words>* from = items.data();
    SortItem<Words>* to = buffer.data();
    for (int w = Words - 1; w >= 0; --w) {
        for (int b = 0; b < 8; ++b) {
            std::size_t* c = &counts[(std::size_t(w) * 8 + std::size_t(b)) * 256];
            if (c[(from[0].key[w] >> (8 * b)) & 0xFF] == n)
                continue;
            std::size_t sum = 0;
            for (int i = 0; i < 256; ++i) {
                const std::size_t count = c[i];
                c[i] = sum;
                sum += count;
            }
            for (std::size_t i = 0; i < n; ++i)
                to[c[(from[i].key[w] >> (8 * b)) & 0xFF]++] = from[i];
            std::swap(from, to);
        }
    }
    if (from != items.data())
        std::copy(from, from + n, items.data());
}

// rows (distinct indices below total) in the order they were added: a stable sort of them then
// leaves ties in that order.
void toAddedOrder(std::vector<int>& rows, std::size_t total)
{
    if (std::is_sorted(rows.begin(), rows.end()))
        return;
    std::vector<bool> present(total, false);
    for (int r : rows)
        present[std::size_t(r)] = true;
    std::size_t next = 0;
    for (std::size_t r = 0; r < total; ++r) {
        if (present[r])
            rows[next++] = int(r);
    }
}

// Unsigned images that order as the numbers do.
inline quint64 orderedBits(int v)
{
    return quint64(qint64(v)) ^ (quint64(1) << 63);
}

inline quint64 orderedBits(long long v)
{
    return quint64(v) ^ (quint64(1) << 63);
}

inline quint64 orderedBits(double v)
{
    v += 0.0; // -0.0 equals 0.0, as the comparison says
    quint64 bits;
    std::memcpy(&bits, &v, sizeof bits);
    return (bits >> 63) ? ~bits : bits | (quint64(1) << 63);
}

// Sorts rows (indices into all) by their numbers; missing values last either way, ties in the
// order the rows were added.
template <class T, class Get>
void sortByNumber(std::vector<int>& rows, std::size_t total, bool descending, Get get)
{
    toAddedOrder(rows, total);
    const quint64 flip = descending ? ~quint64(0) : 0;
    std::vector<SortItem<1>> items;
    items.reserve(rows.size());
    std::vector<int> missing;
    for (int r : rows) {
        const T v = get(r);
        if (hpf::isMissing(v))
            missing.push_back(r);
        else
            items.push_back({{orderedBits(v) ^ flip}, r});
    }
    radixSort(items);
    std::size_t i = 0;
    for (const SortItem<1>& item : items)
        rows[i++] = item.row;
    for (int r : missing)
        rows[i++] = r;
}

// The first eight UTF-16 units, four to a word, padded with zeros: a shorter text sorts before
// its extensions. Equal keys settle the order only when both texts fit and are as long.
const int kPackedUnits = 8;

SortItem<2> packText(const QString& text, int row, quint64 flip)
{
    SortItem<2> item{{0, 0}, row};
    const int size = text.size();
    const ushort* units = reinterpret_cast<const ushort*>(text.constData());
    for (int i = 0; i < kPackedUnits; ++i)
        item.key[i / 4] = (item.key[i / 4] << 16) | (i < size ? units[i] : 0u);
    item.key[0] ^= flip;
    item.key[1] ^= flip;
    return item;
}

// Sorts rows (indices into all) by text(row), UTF-16 unit by unit as QString::compare does;
// ties in the order the rows were added.
template <class Text>
void sortByText(std::vector<int>& rows, std::size_t total, bool descending, Text text)
{
    toAddedOrder(rows, total);
    const quint64 flip = descending ? ~quint64(0) : 0;
    std::vector<SortItem<2>> items;
    items.reserve(rows.size());
    std::vector<int> lengths(total, 0);
    for (int r : rows) {
        const QString t = text(r);
        lengths[std::size_t(r)] = t.size();
        items.push_back(packText(t, r, flip));
    }
    radixSort(items);
    // Runs of equal keys whose texts may still differ are sorted by their whole text.
    std::vector<std::pair<QString, int>> run;
    for (std::size_t begin = 0; begin < items.size();) {
        std::size_t end = begin + 1;
        const int length = lengths[std::size_t(items[begin].row)];
        bool settled = length <= kPackedUnits;
        while (end < items.size() && items[end].key[0] == items[begin].key[0] &&
               items[end].key[1] == items[begin].key[1]) {
            settled = settled && lengths[std::size_t(items[end].row)] == length;
            ++end;
        }
        if (!settled) {
            run.clear();
            for (std::size_t i = begin; i < end; ++i)
                run.emplace_back(text(items[i].row), items[i].row);
            std::stable_sort(run.begin(), run.end(), [&](const auto& a, const auto& b) {
                const int c = QString::compare(a.first, b.first, Qt::CaseSensitive);
                return descending ? c > 0 : c < 0;
            });
            for (std::size_t i = begin; i < end; ++i)
                items[i].row = run[i - begin].second;
        }
        begin = end;
    }
    for (std::size_t i = 0; i < items.size(); ++i)
        rows[i] = items[i].row;
}

} // namespace

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
        toAddedOrder(rows, all().size());
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
        sortByNumber<int>(rows, total, descending, [&](int r) { return all()[std::size_t(r)]->getInt(column); });
        return;
    case hpf::eKindLonglong:
        sortByNumber<long long>(rows, total, descending,
                                [&](int r) { return all()[std::size_t(r)]->getLonglong(column); });
        return;
    case hpf::eKindDouble:
        sortByNumber<double>(rows, total, descending, [&](int r) { return all()[std::size_t(r)]->getDouble(column); });
        return;
    case hpf::eKindText: break;
    }
    sortByText(rows, total, descending, [&](int r) { return all()[std::size_t(r)]->getText(column); });
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
        sortByText(rows, all().size(), false, [&](int r) { return all()[std::size_t(r)]->getText(column); });
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
