#include "panel/creditdatamaindata.h"
#include "panel/creditdatamainmodel.h"
#include "panel/creditdatamaintable.h"

#include "creditdataprobes.h"

#include <QtTest>

class TestCreditDataMainTable : public QObject
{
    Q_OBJECT

private slots:
    void columns();
    void construction();
};

// Headers and a filled row's texts ("-" past either end), the same from every text getter; the
// first three columns filter. No column holds a number, so the no-value markers make every column
// sort as text; every text has the default colour.
void TestCreditDataMainTable::columns()
{
    DVK::CCreditDataMainTable table(1331, nullptr);
    DVK::CCreditDataMainData row;
    row.brokerName = QStringLiteral("华泰证券");
    row.tradingDay = QStringLiteral("20240110");
    row.lastUploadDate = QStringLiteral("20240105");

    const testsupport::ColumnsDump dump = testsupport::dumpColumns(table, row);
    QCOMPARE(dump.headers, QStringLiteral("|券商名|当前交易日|最近上传日期|操作|"));
    QCOMPARE(dump.texts, QStringLiteral("-|华泰证券|20240110|20240105|-|-"));
    QCOMPARE(dump.textsFromAll, dump.texts);
    QCOMPARE(dump.filterable, QStringLiteral("0|1|2"));
    QCOMPARE(dump.numbers, QString());
    QCOMPARE(dump.coloured, QString());
}

// Row numbers off, every other host default kept; the refresh entry gone; rows alternate in colour.
void TestCreditDataMainTable::construction()
{
    testsupport::checkTrimmedTable<DVK::CCreditDataMainTable>(1331);
}

QTEST_MAIN(TestCreditDataMainTable)
#include "tst_creditdatamaintable.moc"
