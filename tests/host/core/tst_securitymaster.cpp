// Looking up listed securities by exchange and code, as spreadsheets and users write them.
#include "securitymaster.h"
#include "standinservice.h"
#include "testfiles.h"

#include <QTemporaryDir>
#include <QtTest>

class TestSecurityMaster : public QObject
{
    Q_OBJECT

private slots:
    void findsShipped_data();
    void findsShipped();
    void loadSkipsBadLines();
    void loadSecurityMasterKeepsOldOnFailure();
};

void TestSecurityMaster::findsShipped_data()
{
    QTest::addColumn<QString>("key1");
    QTest::addColumn<QString>("key2");
    QTest::addColumn<QString>("expected"); // "SH|600000 上交所", or empty for no match

    // name, key1, key2, expected
    static const char* const rows[][4] = {
        {"exchange, code", "SH", "600000", "SH|600000 上交所"},
        {"code, exchange", "600000", "SH", ""},
        {"XSHG mixed case", "xShG", "600000", "SH|600000 上交所"},
        {"上交所", "上交所", "600000", "SH|600000 上交所"},
        {"full-width space and tab", "\u3000深交所\t", " 000858 ", "SZ|000858 深交所"},
        {"lost leading zeros", "SZ", "858", "SZ|000858 深交所"},
        {"number with .0", "SZSE", "858.0", "SZ|000858 深交所"},
        {"北交所 reversed", "430047", "北交所", ""},
        {"a code and an exchange named in full, reversed", "000858", "深圳证券交易所", ""},
        {"suffix form", "600000.SH", "", ""},
        {"prefix form", "sh600000", "", ""},
        {"wrong exchange", "SZ", "600000", ""},
        {"unknown exchange", "HK", "600000", ""},
        {"unknown code", "SH", "600001", ""},
        {"fraction not zero", "SZ", "858.5", ""},
        {"name instead of code", "SH", "浦发银行", ""},
        {"both empty", "", "", ""},
        {"suffix form with other key", "600000.SH", "x", ""},
        {"sse", "sse", "600000", "SH|600000 上交所"},
        {"XSHE", "XSHE", "000858", "SZ|000858 深交所"},
        {"bjse", "bjse", "430047", "BJ|430047 北交所"},
        {"BSE names Beijing only", "BSE", "600000", ""},
    };
    for (const auto& row : rows)
        QTest::newRow(row[0]) << QString(row[1]) << QString(row[2]) << QString(row[3]);
}

// The exchange first and the code second, in the usual spellings, reach the security; anything
// else, the two the other way round included, finds none.
void TestSecurityMaster::findsShipped()
{
    QFETCH(QString, key1);
    QFETCH(QString, key2);

    const rqservice::InstrumentRecordPtr found = rqservice::TraderCenter::instance()->getDataCenter()->findInstrument(
        key1.toUtf8().toStdString(), key2.toUtf8().toStdString());
    QTEST(found ? QString::fromStdString(found->getCsKey() + ' ' + found->exchangeName) : QString(), "expected");
    QVERIFY(!found || !found->stockName.empty());
}

// Loading keeps the first of each security, pads codes, and skips lines it cannot use.
void TestSecurityMaster::loadSkipsBadLines()
{
    rqservice::CSecurityMaster master;
    const QByteArray csv("\xEF\xBB\xBF"
                         "exchange,code,name\r\n"
                         "SH,600000,浦发银行\r\n"
                         "\r\n"
                         "HK,00700,腾讯控股\r\n" // not one of ours
                         "SZ,abc,坏代码\r\n"
                         "SZ,1,平安银行\r\n"  // padded to 000001
                         "SH,600000,重复\r\n" // first one wins
                         "BJ,430047\r\n");    // no name column
    QCOMPARE(master.loadCsv(csv), size_t(2));
    QCOMPARE(master.size(), size_t(2));
    const rqservice::InstrumentRecordPtr pf = master.findInstrument("SH", "600000");
    QVERIFY(pf);
    QCOMPARE(QString::fromStdString(pf->stockName), QString("浦发银行"));
    QVERIFY(master.findInstrument("SZ", "000001"));
}

// A file that cannot be read leaves the loaded master in place.
void TestSecurityMaster::loadSecurityMasterKeepsOldOnFailure()
{
    rqservice::TraderCenter* trader = rqservice::TraderCenter::instance();
    QTemporaryDir dir;
    QVERIFY(!standin::loadSecurityMaster(dir.filePath("missing.csv")));
    QVERIFY(trader->getDataCenter()->findInstrument("SH", "600000"));

    QVERIFY(testsupport::writeFile(dir.filePath("small.csv"), "exchange,code,name\nSZ,000001,平安银行\n"));
    QVERIFY(standin::loadSecurityMaster(dir.filePath("small.csv")));
    QVERIFY(trader->getDataCenter()->findInstrument("SZ", "1"));
    QVERIFY(!trader->getDataCenter()->findInstrument("SH", "600000"));

    QVERIFY(standin::loadSecurityMaster(":/host/securities.csv"));
    QVERIFY(trader->getDataCenter()->findInstrument("SH", "600000"));
}

QTEST_GUILESS_MAIN(TestSecurityMaster)
#include "tst_securitymaster.moc"
