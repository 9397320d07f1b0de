#include "hosttoolkit.h"

#include "hpfcolumn.h"
#include "hpfitemmodel.h"

#include <QtAlgorithms>

#include <functional>

namespace WB {

namespace {

quint32 keyHash(const std::string& key)
{
    // The high half: the slot position is taken from its top bits, so growing needs no key.
    return quint32(quint64(std::hash<std::string>{}(key)) >> 32);
}

std::size_t slotOf(quint32 hash, std::size_t slotCount)
{
    return std::size_t(hash) >> (32 - qCountTrailingZeroBits(quint64(slotCount)));
}

} // namespace

IBaseHpfTableModel::IBaseHpfTableModel(bool replaceSameKey)
    : m_replaceSameKey(replaceSameKey)
    , m_rows(std::make_shared<std::vector<IBaseHpfTableDataPtr>>())
{
}

IBaseHpfTableModel::~IBaseHpfTableModel()
{
    // The table may outlive its model; it must stop asking a model that is going away.
    if (m_itemModel)
        m_itemModel->sourceDestroyed(this);
}

quint64 IBaseHpfTableModel::getCompareTick() const
{
    return m_tick;
}

int IBaseHpfTableModel::compare(IBaseHpfTableData* left, IBaseHpfTableData* right, int column)
{
    if (!left || !right)
        return int(left == nullptr) - int(right == nullptr);
    switch (hpf::columnKind(columnType(column))) {
    case hpf::eKindInt: return hpf::compareNumbers(left->getInt(column), right->getInt(column));
    case hpf::eKindLonglong: return hpf::compareNumbers(left->getLonglong(column), right->getLonglong(column));
    case hpf::eKindDouble: return hpf::compareNumbers(left->getDouble(column), right->getDouble(column));
    case hpf::eKindText: break;
    }
    const int c = QString::compare(left->getText(column), right->getText(column), Qt::CaseSensitive);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

bool IBaseHpfTableModel::isCustomSort(int)
{
    return false;
}

bool IBaseHpfTableModel::isReverseSortFirst(int)
{
    return false;
}

bool IBaseHpfTableModel::filterAcceptsRow(IBaseHpfTableData*)
{
    return true;
}

std::vector<IBaseHpfTableDataPtr>& IBaseHpfTableModel::ownRows()
{
    if (m_rows.use_count() > 1)
        m_rows = std::make_shared<std::vector<IBaseHpfTableDataPtr>>(*m_rows);
    return *m_rows;
}

void IBaseHpfTableModel::addData(const IBaseHpfTableDataPtr& row)
{
    if (row)
        addData(row, row->getKey());
}

void IBaseHpfTableModel::addData(const IBaseHpfTableDataPtr& row, const std::string& key)
{
    addData(IBaseHpfTableDataPtr(row), key);
}

void IBaseHpfTableModel::addData(IBaseHpfTableDataPtr&& row, const std::string& key)
{
    if (!row)
        return;
    ++m_tick;
    ownRows().push_back(std::move(row));
    // Rows without a key are never merged: a model whose rows carry no key keeps them all.
    m_pending.push_back(key.empty() ? 0 : (quint64(1) << 32) | keyHash(key));
}

void IBaseHpfTableModel::settle() const
{
    if (m_pending.empty())
        return;
    std::vector<IBaseHpfTableDataPtr>& rows = *m_rows;
    const std::size_t count = m_pending.size();
    const std::size_t first = rows.size() - count;
    growIndex(m_keyCount + count);
    const std::size_t mask = m_slots.size() - 1;
    const std::size_t ahead = 16;
    // Rows merged into an earlier one leave the store; the others close up behind them.
    std::size_t kept = first;
    for (std::size_t i = 0; i < count; ++i) {
        if (i + ahead < count && m_pending[i + ahead] != 0)
            __builtin_prefetch(&m_slots[slotOf(quint32(m_pending[i + ahead]), m_slots.size())]);
        const std::size_t at = first + i;
        if (m_pending[i] == 0) {
            if (kept != at)
                rows[kept] = std::move(rows[at]);
            ++kept;
            continue;
        }
        const quint32 hash = quint32(m_pending[i]);
        std::size_t pos = slotOf(hash, m_slots.size());
        bool merged = false;
        for (; m_slots[pos] != 0; pos = (pos + 1) & mask) {
            const quint64 slot = m_slots[pos];
            if (quint32(slot >> 32) != hash)
                continue;
            const std::size_t found = std::size_t(quint32(slot)) - 1;
            if (rows[found]->getKey() != rows[at]->getKey())
                continue;
            // With replaceSameKey the row takes the place of the first of its key; otherwise both
            // stay and the index keeps pointing at the first.
            if (m_replaceSameKey) {
                rows[found] = std::move(rows[at]);
                merged = true;
            }
            break;
        }
        if (merged)
            continue;
        if (m_slots[pos] == 0) {
            m_slots[pos] = (quint64(hash) << 32) | quint64(kept + 1);
            ++m_keyCount;
        }
        if (kept != at)
            rows[kept] = std::move(rows[at]);
        ++kept;
    }
    rows.resize(kept);
    std::vector<quint64>().swap(m_pending);
}

void IBaseHpfTableModel::reserve(int rows)
{
    if (rows <= 0)
        return;
    ownRows().reserve(std::size_t(rows));
    m_pending.reserve(std::size_t(rows));
    growIndex(std::size_t(rows));
}

void IBaseHpfTableModel::growIndex(std::size_t keys) const
{
    // At most half full keeps the linear probes short.
    std::size_t wanted = 16;
    while (wanted < keys * 2)
        wanted *= 2;
    if (wanted <= m_slots.size())
        return;
    std::vector<quint64> grown(wanted, 0);
    const std::size_t mask = wanted - 1;
    for (const quint64 slot : m_slots) {
        if (slot == 0)
            continue;
        std::size_t pos = slotOf(quint32(slot >> 32), wanted);
        while (grown[pos] != 0)
            pos = (pos + 1) & mask;
        grown[pos] = slot;
    }
    m_slots.swap(grown);
}

int IBaseHpfTableModel::findKey(const std::string& key, quint32 hash) const
{
    settle();
    if (key.empty() || m_slots.empty())
        return -1;
    const std::size_t mask = m_slots.size() - 1;
    for (std::size_t pos = slotOf(hash, m_slots.size()); m_slots[pos] != 0; pos = (pos + 1) & mask) {
        const quint64 slot = m_slots[pos];
        if (quint32(slot >> 32) != hash)
            continue;
        const std::size_t row = std::size_t(quint32(slot)) - 1;
        if ((*m_rows)[row]->getKey() == key)
            return int(row);
    }
    return -1;
}

void IBaseHpfTableModel::clear()
{
    ++m_tick;
    if (m_rows.use_count() > 1)
        m_rows = std::make_shared<std::vector<IBaseHpfTableDataPtr>>();
    else
        m_rows->clear();
    std::vector<quint64>().swap(m_slots);
    std::vector<quint64>().swap(m_pending);
    m_keyCount = 0;
}

int IBaseHpfTableModel::rowCount() const
{
    settle();
    return int(m_rows->size());
}

IBaseHpfTableDataPtr IBaseHpfTableModel::getData(int index) const
{
    settle();
    if (index < 0 || index >= int(m_rows->size()))
        return IBaseHpfTableDataPtr();
    return (*m_rows)[std::size_t(index)];
}

IBaseHpfTableDataPtr IBaseHpfTableModel::getDataByKey(const std::string& key) const
{
    return getData(getDataIndexByKey(key));
}

int IBaseHpfTableModel::getDataIndexByKey(const std::string& key) const
{
    return findKey(key, keyHash(key));
}

const std::vector<IBaseHpfTableDataPtr>& IBaseHpfTableModel::rows() const
{
    settle();
    return *m_rows;
}

std::shared_ptr<const std::vector<IBaseHpfTableDataPtr>> IBaseHpfTableModel::_rowsSnapshot() const
{
    settle();
    return m_rows;
}

bool IBaseHpfTableModel::replacesSameKey() const
{
    return m_replaceSameKey;
}

void IBaseHpfTableModel::_setItemModel(CHpfItemModel* itemModel)
{
    m_itemModel = itemModel;
}

CHpfItemModel* IBaseHpfTableModel::_getDelegateData() const
{
    return m_itemModel;
}

} // namespace WB
