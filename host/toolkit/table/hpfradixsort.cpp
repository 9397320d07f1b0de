#include "hpfradixsort.h"

namespace WB {
namespace hpf {

// A byte at a time from the least significant; a byte that every key shares is skipped, so a
// column of few distinct values costs a pass or two.
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

template void radixSort<1>(std::vector<SortItem<1>>& items);
template void radixSort<2>(std::vector<SortItem<2>>& items);

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

} // namespace hpf
} // namespace WB
