#pragma once

#include <QString>

#include <deque>
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
    // Values as runs of rows holding values in the same columns: a sheet of rates is one run.
    struct Run
    {
        quint32 firstRow, lastRow;
        quint32 columnsAt, columns; // in m_columns
    };
    void endRow();

    std::deque<Run> m_runs;
    std::deque<quint16> m_columns;
    std::vector<quint16> m_row; // the columns of the row being given
    quint32 m_rowNumber = 0;
    bool m_ordered = true;
    std::vector<std::pair<quint32, quint16>> m_unordered; // once a cell came out of order
};

} // namespace WB
