#include "detail/creditdataquerydata.h"
#include "detail/creditdataquerymodel.h"
#include "detail/creditdataquerytable.h"

#include "creditdataprobes.h"

#include <QtTest>

#include <boost/make_shared.hpp>

#include <cmath>
#include <limits>

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
    void columns_data();
    void columns();
    void ratioText_data();
    void ratioText();
    void construction();
    void ratioSortsByValue();
};

void TestCreditDataQueryTable::columns_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("header");
    QTest::addColumn<int>("type");
    QTest::addColumn<bool>("filterable");
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("number");

    const double none = std::numeric_limits<double>::max();
    QTest::newRow("code") << 0 << QStringLiteral("证券代码") << int(QVariant::String) << true
                          << QStringLiteral("000858") << none;
    QTest::newRow("exchange") << 1 << QStringLiteral("交易所名称") << int(QVariant::String) << true
                              << QStringLiteral("深交所") << none;
    QTest::newRow("ratio: text rounded, number not") << 2 << QStringLiteral("担保品折算比例") << int(QVariant::Double)
                                                     << false << QStringLiteral("0.66") << 0.655;
    QTest::newRow("name") << 3 << QStringLiteral("证券名称") << int(QVariant::String) << false
                          << QStringLiteral("五粮液") << none;
    QTest::newRow("past the end") << 4 << QString() << int(QVariant::Invalid) << false << QStringLiteral("-") << none;
    QTest::newRow("negative") << -1 << QString() << int(QVariant::Invalid) << false << QStringLiteral("-") << none;
}

// Each column's header, type, filter, text and number: only the ratio holds a number, no column an integer.
void TestCreditDataQueryTable::columns()
{
    QFETCH(int, column);
    QFETCH(QString, header);
    QFETCH(int, type);
    QFETCH(bool, filterable);
    QFETCH(QString, text);
    QFETCH(double, number);

    DVK::CCreditDataQueryTable table(1332, nullptr);
    QCOMPARE(table.getDataModel()->columnCount(), 4);
    QCOMPARE(table.getDataModel()->headerText(column), header);
    QCOMPARE(int(table.getDataModel()->columnType(column)), type);
    QCOMPARE(table.isColumnFilterable(column), filterable);

    DVK::CCreditDataQueryData row;
    row.stockCode = QStringLiteral("000858");
    row.exchangeName = QStringLiteral("深交所");
    row.ratio = 0.655;
    row.stockName = QStringLiteral("五粮液");
    QCOMPARE(row.getText(column), text);
    QCOMPARE(row.getTextFromAll(column), text);
    QCOMPARE(row.getDouble(column), number);
    QCOMPARE(row.getInt(column), std::numeric_limits<int>::max());
    QCOMPARE(row.getLonglong(column), std::numeric_limits<long long>::max());
    QCOMPARE(row.getTextColor(column), testsupport::colour("cle_default"));
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
    QFETCH(QString, text);

    OverriddenRatio row;
    row.ratio = 9.0;
    row.answered = ratio;
    QCOMPARE(row.getText(2), text);
}

// Row numbers off, every other host default kept; the refresh entry gone; rows alternate in colour.
void TestCreditDataQueryTable::construction()
{
    testsupport::checkTrimmedTable<DVK::CCreditDataQueryTable>(1332);
}

// Sorting the ratio column orders by value, not by text ("10.00" < "100.00" < "9.50").
void TestCreditDataQueryTable::ratioSortsByValue()
{
    DVK::CCreditDataQueryTable table(1332, nullptr);
    for (const auto& item : {std::make_pair("A", 10.0), std::make_pair("B", 9.5), std::make_pair("C", 100.0)}) {
        auto row = boost::make_shared<DVK::CCreditDataQueryData>();
        row->rowKey = item.first;
        row->stockCode = QString::fromLatin1(item.first);
        row->ratio = item.second;
        table.getDataModel()->addData(row);
    }
    table.updateTable();
    table.sortByColumn(2, Qt::AscendingOrder);

    QStringList shown;
    for (int i = 0; i < table.visibleRowCount(); ++i) {
        shown << table.visibleRow(i)->getText(0);
    }
    QCOMPARE(shown, QStringList({"B", "A", "C"}));
}

QTEST_MAIN(TestCreditDataQueryTable)
#include "tst_creditdataquerytable.moc"
