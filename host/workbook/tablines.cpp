#include "tablines.h"

#include "inputcaps.h"

#include <algorithm>

namespace WB {

CTabLines::CTabLines(bool skipFirstRow)
    : m_skipFirstRow(skipFirstRow)
{
}

bool CTabLines::fail(const QString& error)
{
    m_error = error;
    return false;
}

bool CTabLines::addCell(qint64 row, qint64 column, const QChar* text, int length)
{
    if (row < 1 || row > inputcaps::kMaxRow || column < 1 || column > inputcaps::kMaxColumn)
        return fail(QStringLiteral("cell at row %1, column %2 lies outside the sheet").arg(row).arg(column));
    if (length <= 0)
        return true;
    if (row < m_row || (row == m_row && column <= m_column)) {
        m_outOfOrder = true;
        return fail(QStringLiteral("the cell at row %1, column %2 comes after row %3, column %4")
                        .arg(row)
                        .arg(column)
                        .arg(m_row)
                        .arg(m_column));
    }
    if (++m_cells > inputcaps::kMaxCells)
        return fail(QStringLiteral("sheet holds more than the %1-cell cap").arg(inputcaps::kMaxCells));
    if (row != m_row) {
        if (m_row > 0)
            closeLine();
        // Rows between without a value are lines of empty fields.
        for (qint64 blank = m_row > 0 ? m_row + 1 : row; blank < row; ++blank) {
            m_lines.append(QString());
            m_columns.push_back({0, 0});
        }
        if (m_firstRow == 0) {
            m_firstRow = row;
            m_firstColumn = column;
        }
        m_row = row;
        m_lineFirst = column;
        m_column = column;
    }
    if (m_chars + length > inputcaps::kMaxSheetChars)
        return fail(QStringLiteral("sheet text larger than the %1 MiB cap")
                        .arg(inputcaps::kMaxSheetChars * 2 / inputcaps::kMiB));
    m_chars += length;
    // A sheet of far-apart cells is refused before its tabs are made. Columns before a row's first
    // cell get theirs once the first used column is known.
    const qint64 tabs = column - m_column;
    m_tabs += tabs;
    if (m_tabs > inputcaps::kMaxUsedRangeFields)
        return fail(
            QStringLiteral("the sheet's rows hold more than the %1-field cap").arg(inputcaps::kMaxUsedRangeFields));
    const size_t size = size_t(m_lineSize) + size_t(tabs) + size_t(length);
    if (size > m_line.size())
        m_line.resize(std::max(size, 2 * m_line.size()));
    QChar* out = m_line.data() + m_lineSize;
    m_lineSize = int(size);
    std::fill(out, out + tabs, QLatin1Char('\t'));
    out += tabs;
    for (int i = 0; i < length; ++i) {
        const QChar c = text[i];
        const bool tab = c == QLatin1Char('\t');
        out[i] = tab ? QLatin1Char(' ') : c;
        m_lineHasTab = m_lineHasTab || tab;
    }
    m_column = column;
    m_firstColumn = std::min(m_firstColumn, column);
    m_lastColumn = std::max(m_lastColumn, column);
    return true;
}

void CTabLines::closeLine()
{
    if (m_lineHasTab)
        m_tabLines.push_back(m_lines.size());
    // A string of the line's own size; the scratch keeps its room for the next row.
    m_lines.append(QString(m_line.data(), m_lineSize));
    m_columns.push_back({int(m_lineFirst), int(m_column)});
    m_lineSize = 0;
    m_lineHasTab = false;
}

bool CTabLines::finish()
{
    if (m_row > 0)
        closeLine();
    m_row = 0;
    if (m_lines.isEmpty())
        return true;
    const qint64 rows = m_lines.size();
    const qint64 columns = m_lastColumn - m_firstColumn + 1;
    if (rows * columns > inputcaps::kMaxUsedRangeFields) {
        const QString error = QStringLiteral("used range of %1 rows x %2 columns is past the %3-cell cap")
                                  .arg(rows)
                                  .arg(columns)
                                  .arg(inputcaps::kMaxUsedRangeFields);
        clear();
        return fail(error);
    }
    // Every line from the first used column to the last.
    for (int i = 0; i < m_lines.size(); ++i) {
        const auto [first, last] = m_columns[size_t(i)];
        const int before = first > 0 ? first - int(m_firstColumn) : 0;
        const int after = int(m_lastColumn) - (last > 0 ? last : int(m_firstColumn));
        QString& line = m_lines[i];
        if (before > 0)
            line.prepend(QString(before, QLatin1Char('\t')));
        if (after > 0)
            line.append(QString(after, QLatin1Char('\t')));
    }
    if (m_skipFirstRow) {
        m_lines.removeFirst();
        if (!m_tabLines.empty() && m_tabLines.front() == 0)
            m_tabLines.erase(m_tabLines.begin());
        for (int& line : m_tabLines)
            --line;
    }
    return true;
}

QStringList CTabLines::takeLines(std::vector<int>& tabLines)
{
    tabLines.insert(tabLines.end(), m_tabLines.begin(), m_tabLines.end());
    QStringList lines;
    lines.swap(m_lines);
    return lines;
}

void CTabLines::clear()
{
    m_lines = QStringList();
    std::vector<std::pair<int, int>>().swap(m_columns);
    m_tabLines.clear();
    std::vector<QChar>().swap(m_line);
    m_lineSize = 0;
    m_row = m_column = m_lineFirst = m_firstRow = m_firstColumn = m_lastColumn = m_cells = m_chars = m_tabs = 0;
    m_lineHasTab = false; // outOfOrder stays: the caller asks it after a refusal
}

} // namespace WB
