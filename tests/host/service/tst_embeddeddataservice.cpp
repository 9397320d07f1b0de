// The embedded data service on a real SQLite file: history, uploads, validation, and files
// that are locked, broken or unreachable.
#include "brokerkey.h"
#include "embeddeddataservice.h"
#include "scriptedservice.h"

#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <boost/make_shared.hpp>
#include <boost/thread/thread.hpp>

#include <atomic>
#include <functional>
#include <limits>
#include <map>
#include <set>

using rqservice::CEmbeddedDataService;

namespace {

struct QueryOutcome
{
    utils::RQError error;
    std::vector<rqservice::IDataPtr> records;
    boost::thread::id thread;
    int calls = 0;
};

// waitIdle() returns after the callback ran, so the outcome is complete and visible here.
QueryOutcome query(CEmbeddedDataService& service, int type, const std::string& key = std::string())
{
    auto outcome = boost::make_shared<QueryOutcome>();
    auto request = boost::make_shared<rqservice::CVoprQueryDataReq>();
    request->queryType = type;
    request->queryKey = key;
    service.query(request, [outcome](const utils::RQError& error, const std::vector<rqservice::IDataPtr>& records, int,
                                     bson::BSONObj) {
        *outcome = QueryOutcome{error, records, boost::this_thread::get_id(), outcome->calls + 1};
    });
    service.waitIdle();
    return *outcome;
}

// The outcome of an upload; a failure when it was not answered exactly once.
utils::RQError operate(CEmbeddedDataService& service, const boost::shared_ptr<rqservice::COperateDataReq>& request)
{
    auto result = boost::make_shared<std::pair<utils::RQError, int>>();
    service.operate(request, [result](const utils::RQError& error, bson::BSONObj) {
        *result = {error, result->second + 1};
    });
    service.waitIdle();
    return result->second == 1 ? result->first
                               : utils::RQError::failure("answered " + std::to_string(result->second) + " times");
}

boost::shared_ptr<rqservice::COperateDataReq> upload(int keyNo, const std::string& id,
                                                     const std::vector<boost::shared_ptr<rqservice::CStkSubjects>>& rows)
{
    auto detail = boost::make_shared<rqservice::CVoprCvionRateDetail>();
    detail->brokerKeyNo = keyNo;
    detail->brokerId = id;
    detail->subjects = rows;
    auto request = boost::make_shared<rqservice::COperateDataReq>();
    request->dataType = rqservice::eDataTypeCvionRateDetail;
    request->operateType = 2;
    request->dataList.push_back(detail);
    return request;
}

boost::shared_ptr<rqservice::CStkSubjects> row(const char* exchange, const char* code, const char* name, double ratio)
{
    return testsupport::makeSubject(-1, "", exchange, code, name, ratio);
}

std::vector<boost::shared_ptr<rqservice::CStkSubjects>> sampleRows()
{
    return {row("上交所", "600000", "浦发银行", 0.65), row("深交所", "000858", "五粮液", 0.7),
            row("深交所", "300750", "宁德时代", 0.55), row("上交所", "600000", "浦发银行", 0.6),
            row("北交所", "430047", "诺思兰德", 0)};
}

// One line per subject, so a whole detail compares in one QCOMPARE.
QStringList detailLines(const QueryOutcome& outcome)
{
    auto detail = outcome.records.size() == 1
                      ? boost::dynamic_pointer_cast<rqservice::CVoprCvionRateDetail>(outcome.records.front())
                      : nullptr;
    if (!outcome.error.isSuccess() || !detail) {
        return {QString::fromStdString("error: " + outcome.error.errorMsg())};
    }
    QStringList lines;
    for (const auto& s : detail->subjects) {
        lines << QString::fromStdString(s->toLog());
    }
    return lines;
}

// Runs SQL on the file through a connection of its own, as another program would.
void runOnFile(const QString& path, const std::function<void(QSqlQuery&)>& work)
{
    {
        QSqlDatabase other = QSqlDatabase::addDatabase("QSQLITE", "other-program");
        other.setDatabaseName(path);
        QVERIFY(other.open());
        QSqlQuery q(other);
        work(q);
    }
    QSqlDatabase::removeDatabase("other-program");
}

} // namespace

class TestEmbeddedDataService : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void demoDataHistoryAndDetails();
    void uploadThenDetailReturnsRowsInOrder();
    void rejectedUploadKeepsPrevious_data();
    void rejectedUploadKeepsPrevious();
    void detailQueryKeys_data();
    void detailQueryKeys();
    void brokerKeyParsing_data();
    void brokerKeyParsing();
    void tradingDay_data();
    void tradingDay();
    void failedWriteLosesNothing_data();
    void failedWriteLosesNothing();
    void brokenFileGivesFailure_data();
    void brokenFileGivesFailure();
    void queuedRequestsAnsweredAtShutdown();

private:
    QString dbPath() const { return m_dir->filePath("credit.sqlite"); }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<CEmbeddedDataService> m_service;
};

void TestEmbeddedDataService::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QLocale::setDefault(QLocale::c());
}

void TestEmbeddedDataService::init()
{
    m_dir.reset(new QTemporaryDir);
    QVERIFY(m_dir->isValid());
    m_service.reset(new CEmbeddedDataService(dbPath()));
}

void TestEmbeddedDataService::cleanup()
{
    m_service.reset();
    m_dir.reset();
}

// Demo history: every upload is a record with a unique key, a broker without any gives one
// empty record; answered once, off the caller's thread. Two fresh files hold the same details,
// with ratios between 0 and 0.7, some of them 0.
void TestEmbeddedDataService::demoDataHistoryAndDetails()
{
    const QueryOutcome outcome = query(*m_service, 12294);
    QVERIFY2(outcome.error.isSuccess(), outcome.error.errorMsg().c_str());
    QCOMPARE(outcome.calls, 1);
    QVERIFY(outcome.thread != boost::this_thread::get_id());

    std::map<int, int> uploadsPerBroker;
    std::set<std::string> keys;
    const QString trading = CEmbeddedDataService::tradingDay(QDate::currentDate()).toString("yyyyMMdd");
    for (const rqservice::IDataPtr& record : outcome.records) {
        auto info = boost::dynamic_pointer_cast<rqservice::CVoprCvionRateBaseInfo>(record);
        QVERIFY(info);
        QVERIFY(keys.insert(info->getCsKey()).second);
        QCOMPARE(QString::fromStdString(info->tradingDay), trading);
        uploadsPerBroker[info->brokerKeyNo] += info->uploadId != 0;
        if (info->uploadId == 0) {
            QVERIFY(info->lastUploadDate.empty());
            QCOMPARE(info->brokerName, std::string("海通证券"));
        } else {
            QVERIFY(QDate::fromString(QString::fromStdString(info->lastUploadDate), "yyyyMMdd").isValid());
            QVERIFY(QString::fromStdString(info->lastUploadDate) < trading);
        }
    }
    const std::map<int, int> expected = {{1, 3}, {2, 2}, {3, 3}, {4, 2}, {5, 3}, {6, 0}};
    QCOMPARE(uploadsPerBroker, expected);
    QCOMPARE(outcome.records.size(), size_t(14));

    QTemporaryDir otherDir;
    CEmbeddedDataService other(otherDir.filePath("other.sqlite"));
    int zeros = 0;
    int blueChipRange = 0;
    for (const char* key : {"1____CITIC", "2____HTSC", "3____GTJA", "4____CMS", "5____GFZQ"}) {
        const QueryOutcome mine = query(*m_service, 12295, key);
        const QStringList lines = detailLines(mine);
        QCOMPARE(lines, detailLines(query(other, 12295, key)));
        QVERIFY2(lines.size() >= 20 && lines.size() <= 60, qPrintable(lines.join('\n')));
        for (const auto& s : boost::dynamic_pointer_cast<rqservice::CVoprCvionRateDetail>(mine.records[0])->subjects) {
            QVERIFY(s->ratio >= 0.0 && s->ratio <= 0.7 + 1e-9);
            zeros += s->ratio == 0.0;
            blueChipRange += s->ratio >= 0.65;
        }
    }
    QVERIFY(zeros > 0);
    QVERIFY(blueChipRange > 0);
}

// What was uploaded comes back, row for row, a security listed twice included; the broker is
// found by its id alone when the number is -1, and the summary gains one upload dated today.
void TestEmbeddedDataService::uploadThenDetailReturnsRowsInOrder()
{
    const size_t before = query(*m_service, 12294).records.size();
    const utils::RQError stored = operate(*m_service, upload(-1, "HTSC", sampleRows()));
    QVERIFY2(stored.isSuccess(), stored.errorMsg().c_str());

    QCOMPARE(detailLines(query(*m_service, 12295, "2____HTSC")),
             QStringList({
                 R"(CStkSubjects{brokerKeyNo=2, brokerId="HTSC", brokerName="华泰证券", exchangeName="上交所", stockCode="600000", stockName="浦发银行", ratio=0.65, lineNo=1})",
                 R"(CStkSubjects{brokerKeyNo=2, brokerId="HTSC", brokerName="华泰证券", exchangeName="深交所", stockCode="000858", stockName="五粮液", ratio=0.7, lineNo=2})",
                 R"(CStkSubjects{brokerKeyNo=2, brokerId="HTSC", brokerName="华泰证券", exchangeName="深交所", stockCode="300750", stockName="宁德时代", ratio=0.55, lineNo=3})",
                 R"(CStkSubjects{brokerKeyNo=2, brokerId="HTSC", brokerName="华泰证券", exchangeName="上交所", stockCode="600000", stockName="浦发银行", ratio=0.6, lineNo=4})",
                 R"(CStkSubjects{brokerKeyNo=2, brokerId="HTSC", brokerName="华泰证券", exchangeName="北交所", stockCode="430047", stockName="诺思兰德", ratio=0, lineNo=5})",
             }));

    const QueryOutcome summary = query(*m_service, 12294);
    QCOMPARE(summary.records.size(), before + 1);
    std::vector<int> todays;
    for (const auto& record : summary.records) {
        auto info = boost::dynamic_pointer_cast<rqservice::CVoprCvionRateBaseInfo>(record);
        if (QString::fromStdString(info->lastUploadDate) == QDate::currentDate().toString("yyyyMMdd")) {
            todays.push_back(info->brokerKeyNo);
        }
    }
    QCOMPARE(todays, std::vector<int>{2});
}

void TestEmbeddedDataService::rejectedUploadKeepsPrevious_data()
{
    QTest::addColumn<int>("dataType");
    QTest::addColumn<int>("operateType");
    QTest::addColumn<int>("records"); // detail records in dataList
    QTest::addColumn<QString>("broker");
    QTest::addColumn<QVariantList>("ratios"); // for the first sample rows; null for a null subject
    QTest::addColumn<QStringList>("messageParts");

    const QString citic("1____CITIC");
    QTest::newRow("65 instead of 0.65 in the middle")
        << 12295 << 2 << 1 << citic << QVariantList{0.5, 0.6, 65.0, 0.4}
        << QStringList{"第3条", "300750", "宁德时代", "65", "0 到 1"};
    QTest::newRow("negative") << 12295 << 2 << 1 << citic << QVariantList{-0.1} << QStringList{"第1条", "-0.1"};
    QTest::newRow("not a number") << 12295 << 2 << 1 << citic
                                  << QVariantList{0.5, std::numeric_limits<double>::quiet_NaN()}
                                  << QStringList{"第2条", "不是有效数字"};
    QTest::newRow("only null subjects") << 12295 << 2 << 1 << citic << QVariantList{QVariant(), QVariant()}
                                        << QStringList{"上传内容为空"};
    QTest::newRow("operate type 1") << 12295 << 1 << 1 << citic << QVariantList{0.5}
                                    << QStringList{"不支持的操作类型: 1"};
    QTest::newRow("data type 12294") << 12294 << 2 << 1 << citic << QVariantList{0.5}
                                     << QStringList{"不支持的数据类型: 12294"};
    QTest::newRow("two detail records") << 12295 << 2 << 2 << citic << QVariantList{0.5}
                                        << QStringList{"上传内容格式错误"};
    QTest::newRow("unknown id with -1") << 12295 << 2 << 1 << "-1____NOPE" << QVariantList{0.5}
                                        << QStringList{"未找到券商: -1____NOPE"};
    QTest::newRow("number and id of different brokers") << 12295 << 2 << 1 << "2____CITIC" << QVariantList{0.5}
                                                        << QStringList{"未找到券商: 2____CITIC"};
}

// A refused upload names its reason and leaves the broker's last upload as it was.
void TestEmbeddedDataService::rejectedUploadKeepsPrevious()
{
    QFETCH(int, dataType);
    QFETCH(int, operateType);
    QFETCH(int, records);
    QFETCH(QString, broker);
    QFETCH(QVariantList, ratios);
    QFETCH(QStringList, messageParts);

    const QStringList before = detailLines(query(*m_service, 12295, "1____CITIC"));
    QVERIFY(before.size() >= 20);
    const size_t summaryBefore = query(*m_service, 12294).records.size();

    std::vector<boost::shared_ptr<rqservice::CStkSubjects>> rows = sampleRows();
    rows.resize(size_t(ratios.size()));
    for (int i = 0; i < ratios.size(); ++i) {
        if (ratios[i].isValid()) {
            rows[size_t(i)]->ratio = ratios[i].toDouble();
        } else {
            rows[size_t(i)].reset();
        }
    }
    rqservice::CBrokerKey key;
    QVERIFY(rqservice::CBrokerKey::parse(broker.toStdString(), key));
    boost::shared_ptr<rqservice::COperateDataReq> request = upload(key.brokerKeyNo, key.brokerId, rows);
    request->dataType = dataType;
    request->operateType = operateType;
    const rqservice::IDataPtr detail = request->dataList.front();
    request->dataList.assign(size_t(records), detail);

    const utils::RQError error = operate(*m_service, request);
    QVERIFY(!error.isSuccess());
    const QString message = QString::fromStdString(error.errorMsg());
    for (const QString& part : messageParts) {
        QVERIFY2(message.contains(part), qPrintable(message));
    }
    QCOMPARE(detailLines(query(*m_service, 12295, "1____CITIC")), before);
    QCOMPARE(query(*m_service, 12294).records.size(), summaryBefore);
}

void TestEmbeddedDataService::detailQueryKeys_data()
{
    QTest::addColumn<int>("queryType");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("expected"); // the start of describe()'s text

    QTest::newRow("known broker") << 12295 << "1____CITIC" << "1 中信证券 full";
    QTest::newRow("-1 finds by id") << 12295 << "-1____CITIC" << "1 中信证券 full";
    QTest::newRow("never uploaded") << 12295 << "6____HTZQ" << "6 海通证券 empty";
    QTest::newRow("unknown broker") << 12295 << "7____ABC" << "error: 未找到券商: 7____ABC";
    QTest::newRow("empty id") << 12295 << "0____" << "error: 未找到券商: 0____";
    QTest::newRow("malformed key") << 12295 << "7___ABC" << "error: 查询条件格式错误";
    QTest::newRow("unknown query type") << 1 << "" << "error: 不支持的查询类型: 1";
}

// A detail query answers once: the broker's latest upload, an empty detail, or a failure
// without records.
void TestEmbeddedDataService::detailQueryKeys()
{
    QFETCH(int, queryType);
    QFETCH(QString, key);
    QFETCH(QString, expected);

    const QueryOutcome outcome = query(*m_service, queryType, key.toStdString());
    QCOMPARE(outcome.calls, 1);
    auto detail = outcome.records.size() == 1
                      ? boost::dynamic_pointer_cast<rqservice::CVoprCvionRateDetail>(outcome.records.front())
                      : nullptr;
    QString describe = QString("records: %1").arg(outcome.records.size());
    if (!outcome.error.isSuccess()) {
        describe = (outcome.records.empty() ? "error: " : "error with records: ") + QString::fromStdString(outcome.error.errorMsg());
    } else if (detail) {
        const size_t count = detail->subjects.size();
        describe = QString("%1 %2 %3").arg(detail->brokerKeyNo).arg(QString::fromStdString(detail->brokerName),
                                                                    count >= 20 ? "full" : count ? "few" : "empty");
    }
    QVERIFY2(describe.startsWith(expected), qPrintable(describe));
}

void TestEmbeddedDataService::brokerKeyParsing_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("keyNo");
    QTest::addColumn<QString>("id");

    QTest::newRow("plain") << "7____ABC" << true << 7 << "ABC";
    QTest::newRow("negative") << "-1____X" << true << -1 << "X";
    QTest::newRow("empty id") << "0____" << true << 0 << "";
    QTest::newRow("id keeps fifth underscore") << "7_____A" << true << 7 << "_A";
    QTest::newRow("int min") << "-2147483648____A" << true << std::numeric_limits<int>::min() << "A";
    QTest::newRow("int max + 1") << "2147483648____A" << false << 0 << "";
    QTest::newRow("three underscores") << "7___ABC" << false << 0 << "";
    QTest::newRow("minus alone") << "-____A" << false << 0 << "";
    QTest::newRow("leading blank") << " 1____A" << false << 0 << "";
}

// Number, four underscores, id: a valid key reads back unchanged as the detail dialog writes it.
void TestEmbeddedDataService::brokerKeyParsing()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(int, keyNo);
    QFETCH(QString, id);
    rqservice::CBrokerKey key;
    QCOMPARE(rqservice::CBrokerKey::parse(text.toStdString(), key), valid);
    if (valid) {
        QCOMPARE(key.brokerKeyNo, keyNo);
        QCOMPARE(QString::fromStdString(key.brokerId), id);
        QCOMPARE(QString::fromStdString(key.toString()), text);
    }
}

void TestEmbeddedDataService::tradingDay_data()
{
    QTest::addColumn<QDate>("day");
    QTest::addColumn<QDate>("trading");
    QTest::newRow("saturday") << QDate(2024, 3, 9) << QDate(2024, 3, 8);
    QTest::newRow("sunday") << QDate(2024, 3, 10) << QDate(2024, 3, 8);
    QTest::newRow("monday") << QDate(2024, 3, 11) << QDate(2024, 3, 11);
    QTest::newRow("sunday across a month") << QDate(2024, 6, 2) << QDate(2024, 5, 31);
}

// A weekend day trades as the Friday before it.
void TestEmbeddedDataService::tradingDay()
{
    QFETCH(QDate, day);
    QFETCH(QDate, trading);
    QCOMPARE(CEmbeddedDataService::tradingDay(day), trading);
}

void TestEmbeddedDataService::failedWriteLosesNothing_data()
{
    QTest::addColumn<QString>("sabotage"); // run by another program before the upload
    QTest::addColumn<QString>("message");  // a part of the upload's error message
    QTest::addColumn<QString>("repair");   // run afterwards, so the next upload can succeed
    QTest::newRow("file held by another program") << "BEGIN EXCLUSIVE" << "占用" << "";
    QTest::newRow("third row fails") << "CREATE TRIGGER fail_third BEFORE INSERT ON ratios WHEN NEW.line_no = 3 "
                                        "BEGIN SELECT RAISE(ABORT, 'disk I/O error'); END"
                                     << "disk I/O error" << "DROP TRIGGER fail_third";
}

// A write that fails, at once or mid-way, names its reason and keeps not one row of the upload;
// the service recovers once the file is sound again.
void TestEmbeddedDataService::failedWriteLosesNothing()
{
    QFETCH(QString, sabotage);
    QFETCH(QString, message);
    QFETCH(QString, repair);
    m_service->setBusyTimeoutMs(100);
    const QStringList before = detailLines(query(*m_service, 12295, "3____GTJA"));
    QVERIFY(before.size() >= 20);
    const size_t summaryBefore = query(*m_service, 12294).records.size();

    // Closing the other connection ends its lock.
    runOnFile(dbPath(), [&](QSqlQuery& q) {
        QVERIFY(q.exec(sabotage));
        const utils::RQError error = operate(*m_service, upload(3, "GTJA", sampleRows()));
        QVERIFY(!error.isSuccess());
        QVERIFY2(QString::fromStdString(error.errorMsg()).contains(message), error.errorMsg().c_str());
    });
    QCOMPARE(detailLines(query(*m_service, 12295, "3____GTJA")), before);
    QCOMPARE(query(*m_service, 12294).records.size(), summaryBefore);

    runOnFile(dbPath(), [&](QSqlQuery& q) { QVERIFY(repair.isEmpty() || q.exec(repair)); });
    QVERIFY(operate(*m_service, upload(3, "GTJA", sampleRows())).isSuccess());
    QCOMPARE(detailLines(query(*m_service, 12295, "3____GTJA")).size(), 5);
}

void TestEmbeddedDataService::brokenFileGivesFailure_data()
{
    QTest::addColumn<QString>("file");    // written with garbage
    QTest::addColumn<QString>("opened");  // the database path given to the service
    QTest::addColumn<QString>("message"); // a part of every error message
    QTest::newRow("no database") << "garbage.sqlite" << "garbage.sqlite" << "损坏";
    QTest::newRow("folder is a file") << "not-a-folder" << "not-a-folder/credit.sqlite" << "打开数据库失败";
}

// A file that is no database or cannot be reached: every request fails with a message, and
// the file is left alone.
void TestEmbeddedDataService::brokenFileGivesFailure()
{
    QFETCH(QString, file);
    QFETCH(QString, opened);
    QFETCH(QString, message);
    const QByteArray garbage(8192, 'Z');
    QFile written(m_dir->filePath(file));
    QVERIFY(written.open(QIODevice::WriteOnly));
    written.write(garbage);
    written.close();

    CEmbeddedDataService service(m_dir->filePath(opened));
    for (const utils::RQError& error : {query(service, 12294).error, query(service, 12295, "1____CITIC").error,
                                        operate(service, upload(1, "CITIC", sampleRows()))}) {
        QVERIFY(!error.isSuccess());
        QVERIFY2(QString::fromStdString(error.errorMsg()).contains(message), error.errorMsg().c_str());
    }
    QVERIFY(written.open(QIODevice::ReadOnly));
    QCOMPARE(written.readAll(), garbage);
}

// Requests still queued when the service goes away are answered, each once.
void TestEmbeddedDataService::queuedRequestsAnsweredAtShutdown()
{
    auto answers = boost::make_shared<std::atomic<int>>(0);
    auto successes = boost::make_shared<std::atomic<int>>(0);
    {
        CEmbeddedDataService service(m_dir->filePath("shutdown.sqlite"), 200);
        for (int i = 0; i < 5; ++i) {
            auto request = boost::make_shared<rqservice::CVoprQueryDataReq>();
            request->queryType = 12294;
            service.query(request, [answers, successes](const utils::RQError& error,
                                                        const std::vector<rqservice::IDataPtr>&, int, bson::BSONObj) {
                ++*answers;
                *successes += error.isSuccess();
            });
        }
    }
    QCOMPARE(answers->load(), 5);
    QCOMPARE(successes->load(), 5);
}

QTEST_GUILESS_MAIN(TestEmbeddedDataService)
#include "tst_embeddeddataservice.moc"
