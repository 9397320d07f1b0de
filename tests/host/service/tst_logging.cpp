// Log lines: levels, formatting, the client's log switch; and the records' log text and keys.
#include "embeddeddataservice.h"
#include "logcapture.h"

#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <boost/make_shared.hpp>

#include <log4cxx/level.h>

#include <limits>

Q_DECLARE_METATYPE(rqservice::IDataPtr)

class TestLogging : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void rqStdLogNewWritesAtGivenLevel_data();
    void rqStdLogNewWritesAtGivenLevel();
    void serviceLogsOnlyWhenEnabled();
    void recordsLogEveryField_data();
    void recordsLogEveryField();
    void keysTellRecordsOfOneAnswerApart();
    void failureIsNeverSuccess();
};

void TestLogging::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QVERIFY(g_RQStdLogger);
    QCOMPARE(QString::fromStdString(g_RQStdLogger->getName()), QString("RQStd"));
    g_RQStdLogger->setLevel(log4cxx::Level::getInfo());
}

void TestLogging::rqStdLogNewWritesAtGivenLevel_data()
{
    QTest::addColumn<int>("level");
    QTest::addColumn<int>("repeat"); // length of the %s argument
    QTest::newRow("info") << 20000 << 5;
    QTest::newRow("warn") << 30000 << 5;
    QTest::newRow("error, long line") << 40000 << 20000;
}

void TestLogging::rqStdLogNewWritesAtGivenLevel()
{
    QFETCH(int, level);
    QFETCH(int, repeat);
    testsupport::CLogCapture capture;
    const std::string arg(size_t(repeat), 'x');
    rqStdLogNew(g_RQStdLogger, level, "[CTest] value:%d text:%s 中文", 42, arg.c_str());
    const std::vector<testsupport::CapturedLine> lines = capture.lines();
    QCOMPARE(lines.size(), size_t(1));
    QCOMPARE(lines[0].level, level);
    QCOMPARE(QString::fromStdString(lines[0].message),
             QString("[CTest] value:42 text:%1 中文").arg(QString::fromStdString(arg)));
}

// The service writes its lines at INFO, and only while the client's log switch is on and the
// logger takes INFO.
void TestLogging::serviceLogsOnlyWhenEnabled()
{
    QTemporaryDir dir;
    rqservice::CEmbeddedDataService service(dir.filePath("log.sqlite"));
    auto request = boost::make_shared<rqservice::CVoprQueryDataReq>();
    request->queryType = 12294;
    auto ask = [&] {
        service.query(request, [](const utils::RQError&, const std::vector<rqservice::IDataPtr>&, int, bson::BSONObj) {});
        service.waitIdle();
    };
    utils::CLogCenter* logCenter = utils::CSingletonT<utils::CLogCenter>::instance();
    testsupport::CLogCapture capture;

    ask();
    std::vector<testsupport::CapturedLine> lines = capture.lines();
    QVERIFY(!lines.empty());
    QCOMPARE(lines[0].level, 20000);
    QCOMPARE(QString::fromStdString(lines[0].message),
             QString(R"([CEmbeddedDataService] query:CVoprQueryDataReq{queryType=12294, queryKey=""})"));

    capture.clear();
    logCenter->setLogEnabled(false);
    ask();
    logCenter->setLogEnabled(true);
    QVERIFY(capture.lines().empty());

    g_RQStdLogger->setLevel(log4cxx::Level::getWarn());
    ask();
    g_RQStdLogger->setLevel(log4cxx::Level::getInfo());
    QVERIFY(capture.lines().empty());
}

void TestLogging::recordsLogEveryField_data()
{
    QTest::addColumn<rqservice::IDataPtr>("record");
    QTest::addColumn<QString>("log");

    auto query = boost::make_shared<rqservice::CVoprQueryDataReq>();
    query->queryType = 12295;
    query->queryKey = "7____A\"B";
    QTest::newRow("query, quote escaped") << rqservice::IDataPtr(query)
                                          << R"(CVoprQueryDataReq{queryType=12295, queryKey="7____A\"B"})";

    auto info = boost::make_shared<rqservice::CVoprCvionRateBaseInfo>();
    info->brokerKeyNo = 1;
    info->brokerId = "CITIC";
    info->brokerName = "中信证券";
    info->tradingDay = "20240308";
    QTest::newRow("summary without upload")
        << rqservice::IDataPtr(info)
        << R"(CVoprCvionRateBaseInfo{brokerKeyNo=1, brokerId="CITIC", brokerName="中信证券", tradingDay="20240308", lastUploadDate="", uploadId=0})";

    auto s = boost::make_shared<rqservice::CStkSubjects>();
    s->brokerKeyNo = -1;
    s->stockCode = "600000";
    s->stockName = "浦发\n银行";
    s->ratio = 0.65;
    s->lineNo = 3;
    QTest::newRow("subject, line break escaped")
        << rqservice::IDataPtr(s)
        << R"(CStkSubjects{brokerKeyNo=-1, brokerId="", brokerName="", exchangeName="", stockCode="600000", stockName="浦发\n银行", ratio=0.65, lineNo=3})";

    auto detail = boost::make_shared<rqservice::CVoprCvionRateDetail>();
    detail->brokerKeyNo = 2;
    detail->brokerId = "HTSC";
    detail->subjects.assign(3, s);
    QTest::newRow("detail counts subjects")
        << rqservice::IDataPtr(detail)
        << R"(CVoprCvionRateDetail{brokerKeyNo=2, brokerId="HTSC", brokerName="", subjects=3})";

    auto op = boost::make_shared<rqservice::COperateDataReq>();
    op->dataType = 12295;
    op->operateType = 2;
    op->dataList.push_back(detail);
    op->dataList.push_back(rqservice::IDataPtr());
    QTest::newRow("operate lists its data")
        << rqservice::IDataPtr(op)
        << R"(COperateDataReq{dataType=12295, operateType=2, dataList=[CVoprCvionRateDetail{brokerKeyNo=2, brokerId="HTSC", brokerName="", subjects=3}, null]})";
}

void TestLogging::recordsLogEveryField()
{
    QFETCH(rqservice::IDataPtr, record);
    QFETCH(QString, log);
    QCOMPARE(QString::fromStdString(record->toLog()), log);
}

void TestLogging::keysTellRecordsOfOneAnswerApart()
{
    rqservice::CVoprCvionRateBaseInfo a, b;
    a.brokerKeyNo = b.brokerKeyNo = 1;
    a.brokerId = b.brokerId = "CITIC";
    a.uploadId = 4;
    b.uploadId = 5;
    QVERIFY(a.getCsKey() != b.getCsKey());

    rqservice::CStkSubjects first, again;
    first.exchangeName = again.exchangeName = "上交所";
    first.stockCode = again.stockCode = "600000";
    first.lineNo = 1;
    again.lineNo = 4;
    QVERIFY(first.getCsKey() != again.getCsKey());
}

void TestLogging::failureIsNeverSuccess()
{
    QVERIFY(utils::RQError().isSuccess());
    QVERIFY(!utils::RQError::failure("x").isSuccess());
    QVERIFY(!utils::RQError::failure("x", 0).isSuccess());
    QCOMPARE(utils::RQError::failure("x", 42).errorCode(), 42);
}

QTEST_GUILESS_MAIN(TestLogging)
#include "tst_logging.moc"
