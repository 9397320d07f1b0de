#pragma once

#include "cellsink.h"

#include <QString>
#include <QStringList>

#include <utility>
#include <vector>

namespace WB {

// A sheet's rows as tab-joined lines, made as the cells arrive, for the reader that hands lines
// on: no grid of cells is kept. The lines are those CSheetGrid::tabJoinedLines gives (one per row
// from the first to the last holding a value, one field per column of the used range, a tab in a
// cell as a space), under the same caps. Cells must come in order, row by row and column by
// column, as every writer writes them; one that does not is refused, with outOfOrder() set, so
// that the caller may read the sheet into a grid instead.
class CTabLines : public ICellSink
{
public:
    explicit CTabLines(bool skipFirstRow);

    using ICellSink::addCell;
    bool addCell(qint64 row, qint64 column, const QChar* text, int length) override;
    bool finish() override;
    QString error() const override { return m_error; }
    void clear() override;
    bool outOfOrder() const { return m_outOfOrder; }
    // The lines once finished, and the lines (0-based) in which a tab became a space.
    QStringList takeLines(std::vector<int>& tabLines);

private:
    bool fail(const QString& error);
    void closeLine();

    const bool m_skipFirstRow;
    QStringList m_lines;
    std::vector<std::pair<int, int>> m_columns; // of each line: its first and last column with a value, 0 for none
    std::vector<int> m_tabLines;
    std::vector<QChar> m_line; // the row being read, its room kept from row to row
    int m_lineSize = 0;        // of it used
    qint64 m_row = 0;          // of m_line; 0 before the first cell
    qint64 m_lineFirst = 0;    // the first column in m_line
    qint64 m_column = 0;       // the last column in m_line
    qint64 m_firstRow = 0;
    qint64 m_firstColumn = 0;
    qint64 m_lastColumn = 0;
    qint64 m_cells = 0;
    qint64 m_chars = 0; // the cells' text so far
    qint64 m_tabs = 0;  // and the tabs between
    bool m_lineHasTab = false;
    bool m_outOfOrder = false;
    QString m_error;
};

} // namespace WB
