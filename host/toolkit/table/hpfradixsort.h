#pragma once
// The table's sort: rows ordered by a number or a text column through a stable radix sort of
// fixed-size keys, with the order IBaseHpfTableModel::compare gives and ties in the order the
// rows were added.

#include "hpfcolumn.h"

#include <QString>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <utility>
#include <vector>

namespace WB {
namespace hpf {

// A row's sort key: Words 64-bit words, most significant first.
template <int Words>
struct SortItem
{
    quint64 key[Words];
    int row;
};

// Stable LSD radix sort by the whole key (Words 1 or 2).
template <int Words>
void radixSort(std::vector<SortItem<Words>>& items);

// rows (distinct indices below total) in the order they were added: a stable sort of them then
// leaves ties in that order.
void toAddedOrder(std::vector<int>& rows, std::size_t total);

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

// The first kPackedUnits UTF-16 units, four to a word, padded with zeros: a shorter text sorts
// before its extensions. Equal keys settle the order only when both texts fit and are as long.
const int kPackedUnits = 8;
SortItem<2> packText(const QString& text, int row, quint64 flip);

// Sorts rows (indices below total) by get(row); missing values last either way, ties in the
// order the rows were added. Each value is read once.
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
        if (isMissing(v))
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

// Sorts rows (indices below total) by text(row), UTF-16 unit by unit as QString::compare does;
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

} // namespace hpf
} // namespace WB
