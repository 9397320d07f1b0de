// The tab-joined lines made as cells arrive against those of the grid of cells: the same lines and
// the same lines with a tab made a space, or both refusing; cells out of order are left to the grid.
#include "sheetgrid.h"
#include "tablines.h"

#include <QtTest>

#include <tuple>
#include <type_traits>
#include <vector>

namespace {

using Cell = std::tuple<qint64, qint64, QString>; // row, column, text

// The lines joined by "|" and the tab lines, or "refused: " and the reason.
template <class Sink>
QString outcome(Sink& sink, const std::vector<Cell>& cells, bool skipFirstRow)
{
    for (const auto& [row, column, text] : cells) {
        if (!sink.addCell(row, column, text))
            return QStringLiteral("refused: ") + sink.error();
    }
    if (!sink.finish())
        return QStringLiteral("refused: ") + sink.error();
    std::vector<int> tabs;
    QStringList lines;
    if constexpr (std::is_same_v<Sink, WB::CSheetGrid>)
        lines = sink.tabJoinedLines(skipFirstRow, tabs);
    else
        lines = sink.takeLines(tabs);
    QStringList tabText;
    for (const int t : tabs)
        tabText << QString::number(t);
    return lines.join(QLatin1Char('|')).replace(QLatin1Char('\t'), QLatin1Char('>')) + QStringLiteral(" tabs ") +
           tabText.join(QLatin1Char(','));
}

} // namespace

Q_DECLARE_METATYPE(std::vector<Cell>)

class TestSheetLines : public QObject
{
    Q_OBJECT
private slots:
    void sameAsTheGrid_data();
    void sameAsTheGrid();
};

void TestSheetLines::sameAsTheGrid_data()
{
    QTest::addColumn<std::vector<Cell>>("cells");
    QTest::addColumn<bool>("skipFirstRow");
    QTest::addColumn<QString>("expected"); // lines with tabs as ">", or "refused: "

    const std::vector<Cell> sheet = {{3, 2, "a"}, {3, 4, "b"}, {5, 3, "c\td"}, {6, 5, "e"}};
    QTest::newRow("a range from B3, a blank row, a tab, ragged rows")
        << sheet << false << "a>>b>|>>>|>c d>>|>>>e tabs 2";
    QTest::newRow("the first row left out") << sheet << true << ">>>|>c d>>|>>>e tabs 1";
    QTest::newRow("empty texts are no values")
        << std::vector<Cell>{{1, 1, ""}, {2, 2, "x"}, {2, 3, ""}} << false << "x tabs ";
    QTest::newRow("nothing") << std::vector<Cell>{} << false << " tabs ";
    QTest::newRow("a line break stays") << std::vector<Cell>{{1, 1, "a\nb"}, {1, 2, "c"}} << false << "a\nb>c tabs ";
    // 300 rows at the last column: 300 fields, where tabs from column A would be millions.
    std::vector<Cell> far;
    for (int r = 1; r <= 300; ++r)
        far.push_back({r, 16384, "x"});
    QTest::newRow("rows at the last column") << far << false << QString("x|").repeated(300).chopped(1) + " tabs ";
    QTest::newRow("far apart: past the field cap")
        << std::vector<Cell>{{1, 1, "a"}, {1048576, 16384, "b"}} << false
        << "refused: used range of 1048576 rows x 16384 columns is past the 4194304-cell cap";
    QTest::newRow("outside the sheet") << std::vector<Cell>{{1048577, 1, "a"}} << false
                                       << "refused: cell at row 1048577, column 1 lies outside the sheet";
}

// Cells in order make the grid's lines; out of order the lines refuse and say so.
void TestSheetLines::sameAsTheGrid()
{
    QFETCH(std::vector<Cell>, cells);
    QFETCH(bool, skipFirstRow);
    QFETCH(QString, expected);

    WB::CSheetGrid grid, sorted;
    WB::CTabLines lines(skipFirstRow), backwards(skipFirstRow);
    QCOMPARE(outcome(grid, cells, skipFirstRow), expected);
    QCOMPARE(outcome(lines, cells, skipFirstRow), expected);

    // The same cells backwards: the lines refuse them as out of order, and the grid, which the
    // reader then reads them into, sorts them to the same lines.
    const std::vector<Cell> reversed(cells.rbegin(), cells.rend());
    const QString refused = outcome(backwards, reversed, skipFirstRow);
    QCOMPARE(backwards.outOfOrder() ? outcome(sorted, reversed, skipFirstRow) : refused, expected);
}

QTEST_MAIN(TestSheetLines)
#include "tst_sheetlines.moc"
