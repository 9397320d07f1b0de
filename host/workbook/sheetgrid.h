#pragma once

#include "cellsink.h"

#include <QString>
#include <QStringList>

#include <vector>

namespace WB {

// The cells of one sheet as text, gathered in any order by a loader and then looked up by row and
// column. The used range runs from the first to the last row and column holding a non-empty text;
// rows and columns are 1-based. The sheet caps (inputcaps.h) keep memory bounded whatever a file
// claims.
class CSheetGrid : public ICellSink
{
public:
    using ICellSink::addCell;
    // False (and error() set) past a cap or outside the sheet's bounds. An empty text is no value.
    bool addCell(qint64 row, qint64 column, const QChar* text, int length) override;
    // Sorts the cells and fixes the used range; false when the range is past the field cap or
    // a cell was given twice (nothing a spreadsheet program shows is silently replaced).
    bool finish() override;

    bool isEmpty() const { return m_index.empty(); }
    int firstRow() const { return m_firstRow; }
    int lastRow() const { return m_lastRow; }
    int firstColumn() const { return m_firstColumn; }
    int lastColumn() const { return m_lastColumn; }
    // Empty outside the used range or for a missing cell.
    QString text(int row, int column) const;
    // One line per row of the used range, its cells joined by a tab. A tab inside a cell becomes
    // a space, so that every field stays where its cell is; the lines where one did are added to
    // tabLines (0-based). Line breaks inside a cell stay: the lines are entries, not text.
    QStringList tabJoinedLines(bool skipFirstRow, std::vector<int>& tabLines) const;
    QString error() const override { return m_error; }
    void clear() override;
    void reserve(qint64 cells) override;

private:
    struct Cell
    {
        quint32 row;
        quint32 column;
        quint32 offset; // into m_text
        quint32 length;
    };
    const Cell* find(int row, int column) const;

    std::vector<Cell> m_index;
    QString m_text;
    std::vector<quint32> m_rowStart; // first cell of each used row, plus one past the end
    int m_firstRow = 1, m_lastRow = 0, m_firstColumn = 1, m_lastColumn = 0;
    bool m_hasTab = false; // some cell holds a tab
    QString m_error;
};

} // namespace WB
