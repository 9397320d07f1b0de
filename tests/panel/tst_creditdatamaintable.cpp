#include "panel/creditdatamaindata.h"
#include "panel/creditdatamainmodel.h"
#include "panel/creditdatamaintable.h"

#include "creditdataprobes.h"

#include <QtTest>

#include <limits>

class TestCreditDataMainTable : public QObject
{
    Q_OBJECT

private slots:
    void columns_data();
    void columns();
    void construction();
};

void TestCreditDataMainTable::columns_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("header");
    QTest::addColumn<int>("type");
    QTest::addColumn<bool>("filterable");
    QTest::addColumn<QString>("text");

    QTest::newRow("broker name") << 0 << QStringLiteral("券商名") << int(QVariant::String) << true
                                 << QStringLiteral("华泰证券");
    QTest::newRow("trading day") << 1 << QStringLiteral("当前交易日") << int(QVariant::String) << true
                                 << QStringLiteral("20240110");
    QTest::newRow("last upload") << 2 << QStringLiteral("最近上传日期") << int(QVariant::String) << true
                                 << QStringLiteral("20240105");
    QTest::newRow("operation") << 3 << QStringLiteral("操作") << int(QVariant::String) << false << QStringLiteral("-");
    QTest::newRow("past the end") << 4 << QString() << int(QVariant::Invalid) << false << QStringLiteral("-");
    QTest::newRow("negative") << -1 << QString() << int(QVariant::Invalid) << false << QStringLiteral("-");
}

// Each column's header, type, filter and text (the same for every text getter); no column holds a
// number, so the largest values make every column sort as text.
void TestCreditDataMainTable::columns()
{
    QFETCH(int, column);
    QFETCH(QString, header);
    QFETCH(int, type);
    QFETCH(bool, filterable);
    QFETCH(QString, text);

    DVK::CCreditDataMainTable table(1331, nullptr);
    QCOMPARE(table.getDataModel()->columnCount(), 4);
    QCOMPARE(table.getDataModel()->headerText(column), header);
    QCOMPARE(int(table.getDataModel()->columnType(column)), type);
    QCOMPARE(table.isColumnFilterable(column), filterable);

    DVK::CCreditDataMainData row;
    row.brokerName = QStringLiteral("华泰证券");
    row.tradingDay = QStringLiteral("20240110");
    row.lastUploadDate = QStringLiteral("20240105");
    QCOMPARE(row.getText(column), text);
    QCOMPARE(row.getTextFromAll(column), text);
    QCOMPARE(row.getInt(column), std::numeric_limits<int>::max());
    QCOMPARE(row.getDouble(column), std::numeric_limits<double>::max());
    QCOMPARE(row.getLonglong(column), std::numeric_limits<long long>::max());
    QCOMPARE(row.getTextColor(column), testsupport::colour("cle_default"));
}

// Row numbers off, every other host default kept; the refresh entry gone; rows alternate in colour.
// The table overrides nothing but its destructor, the meta-object glue included.
void TestCreditDataMainTable::construction()
{
    testsupport::checkTrimmedTable<DVK::CCreditDataMainTable>(1331);
    DVK::CCreditDataMainTable table(1331, nullptr);
    QCOMPARE(table.metaObject(), &WB::CStandardHpfTable::staticMetaObject);
}

QTEST_MAIN(TestCreditDataMainTable)
#include "tst_creditdatamaintable.moc"
