#pragma once

#include <QString>

#include <utility>
#include <vector>

namespace WB {

// The values of a sheet that no one sees: in a hidden row or column, or under a merged range
// other than its first cell. Gathered while a loader reads the sheet (rows, columns and merged
// ranges may come before or after the cells), told once it is read. Rows and columns 1-based.
class CCoveredCells
{
public:
    void hideRow(qint64 row);
    void hideColumns(qint64 first, qint64 last);
    // False past the cap on merged ranges.
    bool merge(qint64 firstRow, qint64 firstColumn, qint64 lastRow, qint64 lastColumn);
    // A cell holding a value.
    void value(qint64 row, qint64 column);
    // Empty when every value is seen; otherwise the reason, naming the cells.
    QString refusal();
    void clear();

private:
    struct Range
    {
        qint64 firstRow, firstColumn, lastRow, lastColumn;
    };

    std::vector<quint32> m_hiddenRows;
    std::vector<std::pair<qint64, qint64>> m_hiddenColumns;
    std::vector<Range> m_merges;
    // Values row by row: each row's number and where its columns start in m_columns.
    std::vector<std::pair<quint32, quint32>> m_rows;
    std::vector<quint16> m_columns;
    bool m_ordered = true;
};

} // namespace WB
