#pragma once
// The row store behind IBaseHpfTableModel, which the item model showing it reads.

#include "hosttoolkit.h"

#include <memory>
#include <string>
#include <vector>

namespace WB {

struct IBaseHpfTableModel::Private
{
    explicit Private(bool replace);

    // The rows as they are now, shared with the caller until the store next changes.
    std::shared_ptr<const std::vector<IBaseHpfTableDataPtr>> snapshot();

    std::vector<IBaseHpfTableDataPtr>& ownRows();
    void append(IBaseHpfTableDataPtr row, const std::string& key);
    // Merges the rows appended since the last call by key, in one pass over an index sized once.
    void settle();
    int find(const std::string& key);
    void growIndex(std::size_t keyCount);

    bool replaceSameKey;
    // Shared with a table's snapshot of them, copied before a change while shared.
    std::shared_ptr<std::vector<IBaseHpfTableDataPtr>> rows;
    // Open addressing over the keys' hashes: each slot holds the hash's high half and row + 1
    // (0: empty). No key is stored: a row is asked for its key once when it is added, and again
    // only where a hash matches, to confirm it.
    // Kept over std::unordered_map<std::string, row>: bench/table_bench BM_AddRowsAndUpdateTable
    // (100,000 keyed rows) took 8-12 ms of CPU with this index against 26-30 ms with the map,
    // which copies every key into a node of its own; look-ups are within a few ns of each other.
    std::vector<quint64> buckets;
    std::size_t indexed = 0;
    // One entry per row appended and not yet merged: 1 << 32 | its key's hash, or 0 without a key.
    std::vector<quint64> pending;
    quint64 tick = 0;
    CHpfItemModel* itemModel = nullptr;
};

} // namespace WB
