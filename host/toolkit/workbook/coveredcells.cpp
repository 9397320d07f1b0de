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
    if (m_rows.empty() || m_rows.back().first != quint32(row)) {
        if (!m_rows.empty() && m_rows.back().first > quint32(row))
            m_ordered = false;
        m_rows.emplace_back(quint32(row), quint32(m_columns.size()));
    } else if (m_columns.back() >= quint16(column)) {
        m_ordered = false;
    }
    m_columns.push_back(quint16(column));
}

QString CCoveredCells::refusal()
{
    if (m_hiddenRows.empty() && m_hiddenColumns.empty() && m_merges.empty())
        return QString();
    // Cells in order, row by row: a loader that gives them otherwise has them sorted first.
    std::vector<std::pair<quint32, quint16>> cells;
    if (!m_ordered) {
        cells.reserve(m_columns.size());
        for (size_t r = 0; r < m_rows.size(); ++r) {
            const size_t end = r + 1 < m_rows.size() ? m_rows[r + 1].second : m_columns.size();
            for (size_t i = m_rows[r].second; i < end; ++i)
                cells.emplace_back(m_rows[r].first, m_columns[i]);
        }
        std::sort(cells.begin(), cells.end());
        m_rows.clear();
        m_columns.clear();
        for (const auto& cell : cells) {
            if (m_rows.empty() || m_rows.back().first != cell.first)
                m_rows.emplace_back(cell.first, quint32(m_columns.size()));
            m_columns.push_back(cell.second);
        }
        std::vector<std::pair<quint32, quint16>>().swap(cells);
    }
    std::sort(m_hiddenRows.begin(), m_hiddenRows.end());
    std::vector<char> hiddenColumn(size_t(inputcaps::kMaxColumn) + 1, 0);
    for (const auto& range : m_hiddenColumns)
        std::fill(hiddenColumn.begin() + range.first, hiddenColumn.begin() + range.second + 1, char(1));
    std::sort(m_merges.begin(), m_merges.end(),
              [](const Range& a, const Range& b) { return a.firstRow < b.firstRow; });

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
    for (size_t r = 0; r < m_rows.size(); ++r) {
        const qint64 row = m_rows[r].first;
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
        const size_t end = r + 1 < m_rows.size() ? m_rows[r + 1].second : m_columns.size();
        for (size_t i = m_rows[r].second; i < end; ++i) {
            const qint64 column = m_columns[i];
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
    m_rows.clear();
    m_columns.clear();
    m_ordered = true;
}

} // namespace WB
