#include "detail/creditdataquerydata.h"
#include "detail/creditdataquerymodel.h"
#include "detail/creditdataquerytable.h"

#include "creditdataprobes.h"

#include <QtTest>

#include <boost/make_shared.hpp>

#include <cmath>

namespace {

// A row answering a ratio of its own, to see that the ratio's text follows getDouble.
class OverriddenRatio : public DVK::CCreditDataQueryData
{
public:
    double answered = 0;
    double getDouble(int column) override
    {
        return column == 2 ? answered : DVK::CCreditDataQueryData::getDouble(column);
    }
};

} // namespace

class TestCreditDataQueryTable : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }
    void columns();
    void ratioText_data();
    void ratioText();
    void shownRows_data();
    void shownRows();
};

// Headers and a filled row's texts ("-" past either end), the same from every text getter, which
// follows getText, then the columns that filter and hold a double (none an int or a long long); every
// text has the default colour. A new row names no broker. The ratio holds its
// value unrounded and shows it to two decimals. The host's defaults kept but for row numbers and the
// menu's refresh entry; rows alternate in colour.
void TestCreditDataQueryTable::columns()
{
    DVK::CCreditDataQueryTable detail(1332, nullptr);
    DVK::CCreditDataQueryData row;
    row.stockCode = QStringLiteral("000858");
    row.exchangeName = QStringLiteral("深交所");
    row.ratio = 0.655;
    row.stockName = QStringLiteral("五粮液");
    const QString rowTexts("-|000858|深交所|0.66|五粮液|-");
    QCOMPARE(testsupport::columnAspects(detail, row),
             (QMap<QString, QString>{{"headers", "|证券代码|交易所名称|担保品折算比例|证券名称|"},
                                     {"texts", rowTexts},
                                     {"search texts", rowTexts},
                                     {"filter", "0|1"},
                                     {"double", "2"}}));
    QCOMPARE(row.getDouble(2), 0.655);
    QCOMPARE(testsupport::textFromAllOfDerived<DVK::CCreditDataQueryData>(), QStringLiteral("derived1"));

    testsupport::checkTrimmedTable<DVK::CCreditDataQueryTable>(1332);
}

void TestCreditDataQueryTable::ratioText_data()
{
    QTest::addColumn<double>("ratio");
    QTest::addColumn<QString>("text");

    QTest::newRow("zeros kept") << 1.0 << QStringLiteral("1.00");
    QTest::newRow("no grouping, no percent") << 12345.678 << QStringLiteral("12345.68");
    QTest::newRow("NaN") << std::nan("") << QStringLiteral("非法值");
}

// The ratio's text is getDouble(2) with two decimals and no flags; rejected values show "非法值".
void TestCreditDataQueryTable::ratioText()
{
    QFETCH(double, ratio);

    OverriddenRatio row;
    row.ratio = 9.0;
    row.answered = ratio;
    QTEST(row.getText(2), "text");
}

void TestCreditDataQueryTable::shownRows_data()
{
    QTest::addColumn<QString>("filters"); // "column:value,value ..."
    QTest::addColumn<int>("cleared");     // the column whose filter is then cleared; -1: none
    QTest::addColumn<QString>("shown");   // codes, sorted by ratio
    QTest::newRow("by value, not by text") << "" << -1 << "B A C";
    QTest::newRow("two filters at once") << "0:A,B 1:上交所" << -1 << "A";
    QTest::newRow("one cleared, the other kept") << "0:A,B 1:上交所" << 0 << "A C";
    QTest::newRow("the other cleared, the one kept") << "0:A,B 1:上交所" << 1 << "B A";
}

// The ratio column sorts by value ("10.00" < "100.00" < "9.50" as text); column filters hold
// together, and clearing one column's filter keeps the others'.
void TestCreditDataQueryTable::shownRows()
{
    QFETCH(QString, filters);
    QFETCH(int, cleared);
    DVK::CCreditDataQueryTable table(1332, nullptr);
    for (const QString& item : QStringList{"A 上交所 10", "B 深交所 9.5", "C 上交所 100"}) {
        auto row = boost::make_shared<DVK::CCreditDataQueryData>();
        row->rowKey = row->stockCode = item.section(' ', 0, 0);
        row->exchangeName = item.section(' ', 1, 1);
        row->ratio = item.section(' ', 2).toDouble();
        table.getDataModel()->addData(row);
    }
    table.updateTable();
    table.sortByColumn(DVK::eQueryColumnRatio, Qt::AscendingOrder);
    for (const QString& filter : filters.split(' ', Qt::SkipEmptyParts))
        table.setColumnFilter(filter.section(':', 0, 0).toInt(), filter.section(':', 1).split(','));
    if (cleared >= 0)
        table.setColumnFilter(cleared, {});

    QStringList shown;
    for (int i = 0; i < table.visibleRowCount(); ++i)
        shown << table.visibleRow(i)->getText(DVK::eQueryColumnCode);
    QTEST(shown.join(' '), "shown");
}

QTEST_MAIN(TestCreditDataQueryTable)
#include "tst_creditdataquerytable.moc"
