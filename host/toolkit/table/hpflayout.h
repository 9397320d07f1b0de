#pragma once
// A table's saved layout: column order, widths, visibility and sort, as one line of text
// "hpf1:<tableId>:order=..:w=..:vis=..:sort=<column>,<descending>".

#include "host_export.h"

#include <QString>
#include <QVector>

namespace WB {

class HOST_EXPORT CHpfLayout
{
public:
    static const int kMaxColumnWidth = 10000;

    int tableId = 0;
    QVector<int> order;    // logical column at each visual place
    QVector<int> widths;   // per logical column
    QVector<bool> visible; // per logical column
    int sortColumn = -1;   // -1: unsorted
    bool descending = false;

    // Digits, commas and colons only: never a ';', which callers use to join layouts.
    QString toString() const;

    // Fills layout only when text is a whole, valid layout of table tableId with columnCount
    // columns; anything else (another table, version or column count, garbage) returns false
    // and leaves layout untouched.
    static bool parse(const QString& text, int tableId, int columnCount, CHpfLayout& layout);

    // order a permutation of 0..columnCount-1, widths within 1..kMaxColumnWidth, one visibility
    // per column, sort column within range or -1 (unsorted, written as ascending).
    bool isValidFor(int columnCount) const;
};

} // namespace WB
