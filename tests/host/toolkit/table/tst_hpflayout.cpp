// A table's saved layout string: what is accepted for a table of a given column count, and what
// is written back.
#include "hpflayout.h"

#include <QtTest>

using WB::CHpfLayout;

class TestHpfLayout : public QObject
{
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
    void format_data();
    void format();
};

namespace {

const QString kGood = QStringLiteral("hpf1:1331:order=3,0,1,2:w=90,91,92,93:vis=1,0,1,1:sort=2,1");

QString good(const QString& from, const QString& to)
{
    return QString(kGood).replace(from, to);
}

} // namespace

void TestHpfLayout::parse_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("columns");
    QTest::addColumn<bool>("accepted");

    QTest::newRow("valid") << kGood << 4 << true;
    QTest::newRow("unsorted") << "hpf1:1331:order=0,1,2,3:w=90,91,92,93:vis=1,1,1,1:sort=-1,0" << 4 << true;
    QTest::newRow("one column") << "hpf1:1331:order=0:w=1:vis=0:sort=0,0" << 1 << true;
    QTest::newRow("widest column") << good("w=90,", "w=10000,") << 4 << true;
    QTest::newRow("empty") << "" << 4 << false;
    QTest::newRow("garbage") << "garbage" << 4 << false;
    QTest::newRow("table without columns") << "hpf1:1331:order=:w=:vis=:sort=-1,0" << 0 << false;
    QTest::newRow("another table") << good("1331", "9999") << 4 << false;
    QTest::newRow("table id not a number") << good("1331", "13x1") << 4 << false;
    QTest::newRow("older version") << good("hpf1", "hpf0") << 4 << false;
    QTest::newRow("older table with fewer columns")
        << "hpf1:1331:order=0,1,2:w=90,91,92:vis=1,1,1:sort=-1,0" << 4 << false;
    QTest::newRow("more columns than the table") << kGood << 3 << false;
    QTest::newRow("two layouts joined") << kGood + ";" + kGood << 4 << false;
    QTest::newRow("semicolon anywhere") << good("w=90", "w=9;0") << 4 << false;
    QTest::newRow("field missing") << "hpf1:1331:order=3,0,1,2:w=90,91,92,93:vis=1,0,1,1" << 4 << false;
    QTest::newRow("field too many") << kGood + ":x=1" << 4 << false;
    QTest::newRow("fields swapped") << "hpf1:1331:w=90,91,92,93:order=3,0,1,2:vis=1,0,1,1:sort=2,1" << 4 << false;
    QTest::newRow("trailing comma") << good("order=3,0,1,2", "order=3,0,1,2,") << 4 << false;
    QTest::newRow("order column past the end") << good("order=3,0,1,2", "order=4,0,1,2") << 4 << false;
    QTest::newRow("order column negative") << good("order=3,0,1,2", "order=-1,0,1,2") << 4 << false;
    QTest::newRow("order column twice") << good("order=3,0,1,2", "order=3,0,0,2") << 4 << false;
    QTest::newRow("zero width") << good("w=90,91", "w=90,0") << 4 << false;
    QTest::newRow("negative width") << good("w=90,91", "w=90,-91") << 4 << false;
    QTest::newRow("width past the widest") << good("w=90,", "w=10001,") << 4 << false;
    QTest::newRow("width beyond int") << good("w=90,", "w=99999999999,") << 4 << false;
    QTest::newRow("width not a number") << good("w=90,91", "w=90,abc") << 4 << false;
    QTest::newRow("visibility not 0 or 1") << good("vis=1,0", "vis=2,0") << 4 << false;
    QTest::newRow("sort column past the end") << good("sort=2,1", "sort=4,1") << 4 << false;
    QTest::newRow("sort column below -1") << good("sort=2,1", "sort=-2,0") << 4 << false;
    QTest::newRow("descending without a column") << good("sort=2,1", "sort=-1,1") << 4 << false;
    QTest::newRow("sort order not 0 or 1") << good("sort=2,1", "sort=2,2") << 4 << false;
    QTest::newRow("sort without order") << good("sort=2,1", "sort=2") << 4 << false;
}

// An accepted string reads back as itself; a refused one leaves the layout as it was.
void TestHpfLayout::parse()
{
    QFETCH(QString, text);
    QFETCH(int, columns);
    QFETCH(bool, accepted);

    CHpfLayout layout;
    layout.tableId = 7;
    layout.order = {0};
    layout.widths = {55};
    layout.visible = {true};
    const QString before = layout.toString();
    QCOMPARE(CHpfLayout::parse(text, 1331, columns, layout), accepted);
    if (accepted) {
        QVERIFY(layout.isValidFor(columns));
        QCOMPARE(layout.toString(), text);
    } else {
        QCOMPARE(layout.toString(), before);
    }
}

void TestHpfLayout::format_data()
{
    QTest::addColumn<QVector<int>>("order");
    QTest::addColumn<QVector<int>>("widths");
    QTest::addColumn<QVector<bool>>("visible");
    QTest::addColumn<int>("sortColumn");
    QTest::addColumn<bool>("descending");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");

    QTest::newRow("moved, hidden, sorted down") << QVector<int>{3, 0, 1, 2} << QVector<int>{90, 91, 92, 93}
                                                << QVector<bool>{true, false, true, true} << 2 << true << kGood << true;
    QTest::newRow("descending without a column writes ascending")
        << QVector<int>{0, 1} << QVector<int>{5, 6} << QVector<bool>{true, true} << -1 << true
        << "hpf1:1331:order=0,1:w=5,6:vis=1,1:sort=-1,0" << true;
    QTest::newRow("widths missing") << QVector<int>{0, 1} << QVector<int>{5} << QVector<bool>{true, true} << 0 << false
                                    << "hpf1:1331:order=0,1:w=5:vis=1,1:sort=0,0" << false;
    QTest::newRow("negative width") << QVector<int>{1, 0} << QVector<int>{-5, 6} << QVector<bool>{false, true} << 1
                                    << false << "hpf1:1331:order=1,0:w=-5,6:vis=0,1:sort=1,0" << false;
    QTest::newRow("huge width") << QVector<int>{0} << QVector<int>{2147483647} << QVector<bool>{true} << 0 << false
                                << "hpf1:1331:order=0:w=2147483647:vis=1:sort=0,0" << false;
    QTest::newRow("duplicate column") << QVector<int>{1, 1} << QVector<int>{5, 6} << QVector<bool>{true, true} << -1
                                      << false << "hpf1:1331:order=1,1:w=5,6:vis=1,1:sort=-1,0" << false;
}

// Written as digits, commas and colons (never a ';'); only a valid layout reads back the same.
void TestHpfLayout::format()
{
    QFETCH(QVector<int>, order);
    QFETCH(QVector<int>, widths);
    QFETCH(QVector<bool>, visible);
    QFETCH(int, sortColumn);
    QFETCH(bool, descending);
    QFETCH(QString, text);
    QFETCH(bool, valid);

    CHpfLayout layout;
    layout.tableId = 1331;
    layout.order = order;
    layout.widths = widths;
    layout.visible = visible;
    layout.sortColumn = sortColumn;
    layout.descending = descending;
    QCOMPARE(layout.toString(), text);
    QVERIFY(!text.contains(';'));
    QCOMPARE(layout.isValidFor(order.size()), valid);
    CHpfLayout read;
    QCOMPARE(CHpfLayout::parse(text, 1331, order.size(), read), valid);
    if (valid)
        QCOMPARE(read.toString(), text);
}

QTEST_MAIN(TestHpfLayout)
#include "tst_hpflayout.moc"
