#include "hosttoolkit.h"

#include "hpfcolumn.h"
#include "hpfitemmodel.h"
#include "hpftablemodel_p.h"

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

IBaseHpfTableModel::Private::Private(bool replace)
    : replaceSameKey(replace)
    , rows(std::make_shared<std::vector<IBaseHpfTableDataPtr>>())
{
}

std::vector<IBaseHpfTableDataPtr>& IBaseHpfTableModel::Private::ownRows()
{
    if (rows.use_count() > 1)
        rows = std::make_shared<std::vector<IBaseHpfTableDataPtr>>(*rows);
    return *rows;
}

std::shared_ptr<const std::vector<IBaseHpfTableDataPtr>> IBaseHpfTableModel::Private::snapshot()
{
    settle();
    return rows;
}

void IBaseHpfTableModel::Private::append(IBaseHpfTableDataPtr row, const std::string& key)
{
    ownRows().push_back(std::move(row));
    // Rows without a key are never merged: a model whose rows carry no key keeps them all.
    pending.push_back(key.empty() ? 0 : (quint64(1) << 32) | keyHash(key));
}

void IBaseHpfTableModel::Private::settle()
{
    if (pending.empty())
        return;
    std::vector<IBaseHpfTableDataPtr>& all = *rows;
    const std::size_t count = pending.size();
    const std::size_t first = all.size() - count;
    growIndex(indexed + count);
    const std::size_t mask = buckets.size() - 1;
    // Rows merged into an earlier one leave the store; the others close up behind them.
    std::size_t kept = first;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t at = first + i;
        if (pending[i] == 0) {
            if (kept != at)
                all[kept] = std::move(all[at]);
            ++kept;
            continue;
        }
        const quint32 hash = quint32(pending[i]);
        std::size_t pos = slotOf(hash, buckets.size());
        bool merged = false;
        for (; buckets[pos] != 0; pos = (pos + 1) & mask) {
            const quint64 slot = buckets[pos];
            if (quint32(slot >> 32) != hash)
                continue;
            const std::size_t found = std::size_t(quint32(slot)) - 1;
            if (all[found]->getKey() != all[at]->getKey())
                continue;
            // With replaceSameKey the row takes the place of the first of its key; otherwise both
            // stay and the index keeps pointing at the first.
            if (replaceSameKey) {
                all[found] = std::move(all[at]);
                merged = true;
            }
            break;
        }
        if (merged)
            continue;
        if (buckets[pos] == 0) {
            buckets[pos] = (quint64(hash) << 32) | quint64(kept + 1);
            ++indexed;
        }
        if (kept != at)
            all[kept] = std::move(all[at]);
        ++kept;
    }
    all.resize(kept);
    std::vector<quint64>().swap(pending);
}

int IBaseHpfTableModel::Private::find(const std::string& key)
{
    settle();
    if (key.empty() || buckets.empty())
        return -1;
    const quint32 hash = keyHash(key);
    const std::size_t mask = buckets.size() - 1;
    for (std::size_t pos = slotOf(hash, buckets.size()); buckets[pos] != 0; pos = (pos + 1) & mask) {
        const quint64 slot = buckets[pos];
        if (quint32(slot >> 32) != hash)
            continue;
        const std::size_t row = std::size_t(quint32(slot)) - 1;
        if ((*rows)[row]->getKey() == key)
            return int(row);
    }
    return -1;
}

void IBaseHpfTableModel::Private::growIndex(std::size_t keyCount)
{
    // At most half full keeps the linear probes short.
    if (keyCount * 2 <= buckets.size())
        return;
    std::size_t wanted = 16;
    while (wanted < keyCount * 2)
        wanted *= 2;
    std::vector<quint64> grown(wanted, 0);
    const std::size_t mask = wanted - 1;
    for (const quint64 slot : buckets) {
        if (slot == 0)
            continue;
        std::size_t pos = slotOf(quint32(slot >> 32), wanted);
        while (grown[pos] != 0)
            pos = (pos + 1) & mask;
        grown[pos] = slot;
    }
    buckets.swap(grown);
}

IBaseHpfTableModel::IBaseHpfTableModel(bool replaceSameKey)
    : d(new Private(replaceSameKey))
{
}

IBaseHpfTableModel::~IBaseHpfTableModel()
{
    // The table may outlive its model; it must stop asking a model that is going away.
    if (d->itemModel)
        d->itemModel->sourceDestroyed(this);
}

quint64 IBaseHpfTableModel::getCompareTick() const
{
    return d->tick;
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

void IBaseHpfTableModel::addData(const IBaseHpfTableDataPtr& row)
{
    if (!row)
        return;
    ++d->tick;
    d->append(row, row->getKey());
}

void IBaseHpfTableModel::clear()
{
    ++d->tick;
    if (d->rows.use_count() > 1)
        d->rows = std::make_shared<std::vector<IBaseHpfTableDataPtr>>();
    else
        d->rows->clear();
    std::vector<quint64>().swap(d->buckets);
    std::vector<quint64>().swap(d->pending);
    d->indexed = 0;
}

int IBaseHpfTableModel::rowCount() const
{
    d->settle();
    return int(d->rows->size());
}

IBaseHpfTableDataPtr IBaseHpfTableModel::getData(int index) const
{
    d->settle();
    if (index < 0 || std::size_t(index) >= d->rows->size())
        return IBaseHpfTableDataPtr();
    return (*d->rows)[std::size_t(index)];
}

IBaseHpfTableDataPtr IBaseHpfTableModel::getDataByKey(const std::string& key) const
{
    return getData(getDataIndexByKey(key));
}

int IBaseHpfTableModel::getDataIndexByKey(const std::string& key) const
{
    return d->find(key);
}

void IBaseHpfTableModel::_setItemModel(CHpfItemModel* itemModel)
{
    d->itemModel = itemModel;
}

CHpfItemModel* IBaseHpfTableModel::_getDelegateData() const
{
    return d->itemModel;
}

} // namespace WB
