#include "coveredcells.h"

#include "inputcaps.h"

#include <QStringList>

#include <algorithm>
#include <queue>

namespace WB {

namespace {

// Far more than any sheet a person merges by hand; each is swept over its columns once.
constexpr int kMaxMergedRanges = 10000;
// Cells named in a reason; the rest counted.
constexpr int kCellsNamed = 10;

QString cellName(qint64 row, qint64 column)
{
    QString letters;
    for (qint64 c = column; c > 0; c = (c - 1) / 26)
        letters.prepend(QLatin1Char(char('A' + (c - 1) % 26)));
    return letters + QString::number(row);
}

} // namespace

void CCoveredCells::hideRow(qint64 row)
{
    if (row >= 1 && row <= inputcaps::kMaxRow)
        m_hiddenRows.push_back(quint32(row));
}

void CCoveredCells::hideColumns(qint64 first, qint64 last)
{
    first = std::max<qint64>(first, 1);
    last = std::min<qint64>(last, inputcaps::kMaxColumn);
    if (first <= last && m_hiddenColumns.size() < size_t(inputcaps::kMaxColumn))
        m_hiddenColumns.emplace_back(first, last);
}

bool CCoveredCells::merge(qint64 firstRow, qint64 firstColumn, qint64 lastRow, qint64 lastColumn)
{
    if (m_merges.size() >= size_t(kMaxMergedRanges))
        return false;
    firstColumn = std::max<qint64>(firstColumn, 1);
    lastColumn = std::min<qint64>(lastColumn, inputcaps::kMaxColumn);
    if (firstRow <= lastRow && firstColumn <= lastColumn && (firstRow < lastRow || firstColumn < lastColumn))
        m_merges.push_back(Range{firstRow, firstColumn, lastRow, lastColumn});
    return true;
}

void CCoveredCells::value(qint64 row, qint64 column)
{
    if (!m_ordered) {
        m_unordered.emplace_back(quint32(row), quint16(column));
        return;
    }
    if (quint32(row) != m_rowNumber || m_row.empty()) {
        if (quint32(row) < m_rowNumber) {
            m_ordered = false;
        } else {
            endRow();
            m_rowNumber = quint32(row);
        }
    } else if (m_row.back() >= quint16(column)) {
        m_ordered = false;
    }
    if (!m_ordered) {
        // Every cell so far, then the rest as they come: sorted once told.
        endRow();
        for (const Run& run : m_runs)
            for (quint32 r = run.firstRow; r <= run.lastRow; ++r)
                for (quint32 i = 0; i < run.columns; ++i)
                    m_unordered.emplace_back(r, m_columns[run.columnsAt + i]);
        m_runs.clear();
        m_columns.clear();
        m_unordered.emplace_back(quint32(row), quint16(column));
        return;
    }
    m_row.push_back(quint16(column));
}

void CCoveredCells::endRow()
{
    if (m_row.empty())
        return;
    if (!m_runs.empty()) {
        Run& last = m_runs.back();
        if (last.lastRow + 1 == m_rowNumber && last.columns == m_row.size() &&
            std::equal(m_row.begin(), m_row.end(), m_columns.begin() + last.columnsAt)) {
            ++last.lastRow;
            m_row.clear();
            return;
        }
    }
    m_runs.push_back(Run{m_rowNumber, m_rowNumber, quint32(m_columns.size()), quint32(m_row.size())});
    m_columns.insert(m_columns.end(), m_row.begin(), m_row.end());
    m_row.clear();
}

QString CCoveredCells::refusal()
{
    endRow();
    if (m_hiddenRows.empty() && m_hiddenColumns.empty() && m_merges.empty())
        return QString();
    if (!m_ordered) {
        std::sort(m_unordered.begin(), m_unordered.end());
        m_unordered.erase(std::unique(m_unordered.begin(), m_unordered.end()), m_unordered.end());
        for (const auto& cell : m_unordered) {
            if (cell.first != m_rowNumber)
                endRow();
            m_rowNumber = cell.first;
            m_row.push_back(cell.second);
        }
        endRow();
        std::vector<std::pair<quint32, quint16>>().swap(m_unordered);
    }
    std::sort(m_hiddenRows.begin(), m_hiddenRows.end());
    std::vector<char> hiddenColumn(size_t(inputcaps::kMaxColumn) + 1, 0);
    for (const auto& range : m_hiddenColumns)
        std::fill(hiddenColumn.begin() + range.first, hiddenColumn.begin() + range.second + 1, char(1));
    std::sort(m_merges.begin(), m_merges.end(), [](const Range& a, const Range& b) { return a.firstRow < b.firstRow; });

    // Swept row by row: each column knows the merged range over it in the current row.
    std::vector<int> mergeOver(size_t(inputcaps::kMaxColumn) + 1, -1);
    const auto later = [this](int a, int b) { return m_merges[size_t(a)].lastRow > m_merges[size_t(b)].lastRow; };
    std::priority_queue<int, std::vector<int>, decltype(later)> active(later);
    size_t nextMerge = 0, hiddenAt = 0;
    QStringList named;
    qint64 unseen = 0;
    const auto note = [&](const QString& what) {
        if (++unseen <= kCellsNamed)
            named << what;
    };
    for (const Run& run : m_runs) {
        for (quint32 row32 = run.firstRow; row32 <= run.lastRow; ++row32) {
            const qint64 row = row32;
            while (!active.empty() && m_merges[size_t(active.top())].lastRow < row) {
                const int done = active.top();
                active.pop();
                const Range& m = m_merges[size_t(done)];
                for (qint64 c = m.firstColumn; c <= m.lastColumn; ++c)
                    if (mergeOver[size_t(c)] == done)
                        mergeOver[size_t(c)] = -1;
            }
            for (; nextMerge < m_merges.size() && m_merges[nextMerge].firstRow <= row; ++nextMerge) {
                const Range& m = m_merges[nextMerge];
                if (m.lastRow < row)
                    continue;
                std::fill(mergeOver.begin() + m.firstColumn, mergeOver.begin() + m.lastColumn + 1, int(nextMerge));
                active.push(int(nextMerge));
            }
            while (hiddenAt < m_hiddenRows.size() && m_hiddenRows[hiddenAt] < row)
                ++hiddenAt;
            const bool rowHidden = hiddenAt < m_hiddenRows.size() && m_hiddenRows[hiddenAt] == row;
            for (quint32 i = 0; i < run.columns; ++i) {
                const qint64 column = m_columns[run.columnsAt + i];
                const int over = mergeOver[size_t(column)];
                if (rowHidden) {
                    note(QStringLiteral("%1 in a hidden row").arg(cellName(row, column)));
                } else if (hiddenColumn[size_t(column)]) {
                    note(QStringLiteral("%1 in a hidden column").arg(cellName(row, column)));
                } else if (over >= 0) {
                    const Range& m = m_merges[size_t(over)];
                    if (m.firstRow <= row && row <= m.lastRow && (row != m.firstRow || column != m.firstColumn))
                        note(QStringLiteral("%1 under the merged cells %2:%3")
                                 .arg(cellName(row, column), cellName(m.firstRow, m.firstColumn),
                                      cellName(m.lastRow, m.lastColumn)));
                }
            }
        }
    }
    if (unseen == 0)
        return QString();
    QString reason = QStringLiteral("the first sheet holds values a spreadsheet program does not show: ") +
                     named.join(QStringLiteral(", "));
    if (unseen > kCellsNamed)
        reason += QStringLiteral(" and %1 more").arg(unseen - kCellsNamed);
    return reason;
}

void CCoveredCells::clear()
{
    m_hiddenRows.clear();
    m_hiddenColumns.clear();
    m_merges.clear();
    std::deque<Run>().swap(m_runs);
    std::deque<quint16>().swap(m_columns);
    std::vector<quint16>().swap(m_row);
    std::vector<std::pair<quint32, quint16>>().swap(m_unordered);
    m_rowNumber = 0;
    m_ordered = true;
}

} // namespace WB
