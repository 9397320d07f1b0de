#include "sheetgrid.h"

#include "inputcaps.h"

#include <algorithm>

namespace WB {

bool CSheetGrid::addCell(qint64 row, qint64 column, const QChar* text, int length)
{
    if (row < 1 || row > inputcaps::kMaxRow || column < 1 || column > inputcaps::kMaxColumn) {
        m_error = QStringLiteral("cell at row %1, column %2 lies outside the sheet").arg(row).arg(column);
        return false;
    }
    if (length <= 0)
        return true;
    if (qint64(m_index.size()) >= inputcaps::kMaxCells) {
        m_error = QStringLiteral("sheet holds more than the %1-cell cap").arg(inputcaps::kMaxCells);
        return false;
    }
    if (qint64(m_text.size()) + length > inputcaps::kMaxSheetChars) {
        m_error = QStringLiteral("sheet text larger than the %1 MiB cap")
                      .arg(inputcaps::kMaxSheetChars * 2 / inputcaps::kMiB);
        return false;
    }
    for (int i = 0; i < length && !m_hasTab; ++i)
        m_hasTab = text[i] == QLatin1Char('\t');
    m_index.push_back(Cell{quint32(row), quint32(column), quint32(m_text.size()), quint32(length)});
    m_text.append(text, length);
    return true;
}

bool CSheetGrid::finish()
{
    const auto before = [](const Cell& a, const Cell& b) {
        return a.row != b.row ? a.row < b.row : a.column < b.column;
    };
    // Writers emit rows in order; sort only when one did not.
    if (!std::is_sorted(m_index.begin(), m_index.end(), before))
        std::stable_sort(m_index.begin(), m_index.end(), before);
    for (size_t i = 1; i < m_index.size(); ++i) {
        if (m_index[i - 1].row == m_index[i].row && m_index[i - 1].column == m_index[i].column) {
            m_error = QStringLiteral("the cell at row %1, column %2 is given twice")
                          .arg(m_index[i].row)
                          .arg(m_index[i].column);
            clear();
            return false;
        }
    }

    m_rowStart.clear();
    if (m_index.empty()) {
        m_firstRow = m_firstColumn = 1;
        m_lastRow = m_lastColumn = 0;
        return true;
    }
    m_firstRow = int(m_index.front().row);
    m_lastRow = int(m_index.back().row);
    m_firstColumn = int(inputcaps::kMaxColumn);
    m_lastColumn = 1;
    for (const Cell& c : m_index) {
        m_firstColumn = std::min(m_firstColumn, int(c.column));
        m_lastColumn = std::max(m_lastColumn, int(c.column));
    }
    const qint64 fields = qint64(m_lastRow - m_firstRow + 1) * (m_lastColumn - m_firstColumn + 1);
    if (fields > inputcaps::kMaxUsedRangeFields) {
        m_error = QStringLiteral("used range of %1 rows x %2 columns is past the %3-cell cap")
                      .arg(m_lastRow - m_firstRow + 1)
                      .arg(m_lastColumn - m_firstColumn + 1)
                      .arg(inputcaps::kMaxUsedRangeFields);
        clear();
        return false;
    }
    m_rowStart.assign(size_t(m_lastRow - m_firstRow + 2), 0);
    size_t i = 0;
    for (int r = m_firstRow; r <= m_lastRow; ++r) {
        m_rowStart[size_t(r - m_firstRow)] = quint32(i);
        while (i < m_index.size() && int(m_index[i].row) == r)
            ++i;
    }
    m_rowStart.back() = quint32(m_index.size());
    return true;
}

const CSheetGrid::Cell* CSheetGrid::find(int row, int column) const
{
    if (m_rowStart.empty() || row < m_firstRow || row > m_lastRow)
        return nullptr;
    const auto begin = m_index.begin() + m_rowStart[size_t(row - m_firstRow)];
    const auto end = m_index.begin() + m_rowStart[size_t(row - m_firstRow + 1)];
    const auto it = std::lower_bound(begin, end, column, [](const Cell& c, int col) { return int(c.column) < col; });
    return it != end && int(it->column) == column ? &*it : nullptr;
}

QString CSheetGrid::text(int row, int column) const
{
    const Cell* c = find(row, column);
    return c ? m_text.mid(int(c->offset), int(c->length)) : QString();
}

QStringList CSheetGrid::tabJoinedLines(bool skipFirstRow, std::vector<int>& tabLines) const
{
    const QChar separator = QLatin1Char('\t');
    QStringList out;
    if (m_rowStart.empty())
        return out;
    const int first = m_firstRow + (skipFirstRow ? 1 : 0);
    out.reserve(std::max(0, m_lastRow - first + 1));
    const QChar* text = m_text.constData();
    for (int r = first; r <= m_lastRow; ++r) {
        QString line;
        int col = m_firstColumn;
        const quint32 end = m_rowStart[size_t(r - m_firstRow + 1)];
        int size = m_lastColumn - m_firstColumn;
        for (quint32 i = m_rowStart[size_t(r - m_firstRow)]; i < end; ++i)
            size += int(m_index[i].length);
        line.reserve(size);
        for (quint32 i = m_rowStart[size_t(r - m_firstRow)]; i < end; ++i) {
            const Cell& c = m_index[i];
            for (; col < int(c.column); ++col)
                line += separator;
            const int at = line.size();
            line.append(text + c.offset, int(c.length));
            if (m_hasTab) {
                QChar* cell = line.data() + at;
                for (quint32 k = 0; k < c.length; ++k) {
                    if (cell[k] == separator) {
                        cell[k] = QLatin1Char(' ');
                        if (tabLines.empty() || tabLines.back() != out.size())
                            tabLines.push_back(out.size());
                    }
                }
            }
        }
        for (; col < m_lastColumn; ++col)
            line += separator;
        out.append(line);
    }
    return out;
}

void CSheetGrid::reserve(qint64 cells)
{
    m_index.reserve(size_t(qBound<qint64>(0, cells, inputcaps::kMaxCells)));
}

void CSheetGrid::clear()
{
    std::vector<Cell>().swap(m_index);
    m_text = QString();
    std::vector<quint32>().swap(m_rowStart);
    m_firstRow = m_firstColumn = 1;
    m_lastRow = m_lastColumn = 0;
    m_hasTab = false;
}

} // namespace WB
