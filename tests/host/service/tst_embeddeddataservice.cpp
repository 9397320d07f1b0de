// The embedded data service on a real SQLite file: history, uploads, validation, and files
// that are locked, broken or unreachable.
#include "brokerkey.h"
#include "embeddeddataservice.h"

#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <boost/make_shared.hpp>
#include <boost/thread/thread.hpp>

#include <cmath>
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
    boost::shared_ptr<QueryOutcome> outcome = boost::make_shared<QueryOutcome>();
    boost::shared_ptr<rqservice::CVoprQueryDataReq> request = boost::make_shared<rqservice::CVoprQueryDataReq>();
    request->queryType = type;
    request->queryKey = key;
    service.query(request, [outcome](const utils::RQError& error, const std::vector<rqservice::IDataPtr>& records,
                                     int, bson::BSONObj) {
        ++outcome->calls;
        outcome->error = error;
        outcome->records = records;
        outcome->thread = boost::this_thread::get_id();
    });
    service.waitIdle();
    return *outcome;
}

utils::RQError operate(CEmbeddedDataService& service, const boost::shared_ptr<rqservice::COperateDataReq>& request)
{
    boost::shared_ptr<utils::RQError> result = boost::make_shared<utils::RQError>(utils::RQError::failure("no answer"));
    boost::shared_ptr<int> calls = boost::make_shared<int>(0);
    service.operate(request, [result, calls](const utils::RQError& error, bson::BSONObj) {
        ++*calls;
        *result = error;
    });
    service.waitIdle();
    if (*calls != 1) {
        return utils::RQError::failure("answered " + std::to_string(*calls) + " times");
    }
    return *result;
}

boost::shared_ptr<rqservice::CStkSubjects> subject(const std::string& exchange, const std::string& code,
                                                   const std::string& name, double ratio)
{
    boost::shared_ptr<rqservice::CStkSubjects> s = boost::make_shared<rqservice::CStkSubjects>();
    s->exchangeName = exchange;
    s->stockCode = code;
    s->stockName = name;
    s->ratio = ratio;
    return s;
}

boost::shared_ptr<rqservice::COperateDataReq> upload(int keyNo, const std::string& id,
                                                     const std::vector<boost::shared_ptr<rqservice::CStkSubjects>>& rows)
{
    boost::shared_ptr<rqservice::CVoprCvionRateDetail> detail = boost::make_shared<rqservice::CVoprCvionRateDetail>();
    detail->brokerKeyNo = keyNo;
    detail->brokerId = id;
    detail->subjects = rows;
    boost::shared_ptr<rqservice::COperateDataReq> request = boost::make_shared<rqservice::COperateDataReq>();
    request->dataType = rqservice::eDataTypeCvionRateDetail;
    request->operateType = 2;
    request->dataList.push_back(detail);
    return request;
}

std::vector<boost::shared_ptr<rqservice::CStkSubjects>> sampleRows()
{
    return {subject("上交所", "600000", "浦发银行", 0.65), subject("深交所", "000858", "五粮液", 0.7),
            subject("深交所", "300750", "宁德时代", 0.55), subject("上交所", "600000", "浦发银行", 0.6),
            subject("北交所", "430047", "诺思兰德", 0)};
}

// One line per subject, so a whole detail compares in one QCOMPARE.
QStringList detailLines(const QueryOutcome& outcome)
{
    QStringList lines;
    if (!outcome.error.isSuccess() || outcome.records.size() != 1) {
        lines << QString::fromStdString("error: " + outcome.error.errorMsg());
        return lines;
    }
    auto detail = boost::dynamic_pointer_cast<rqservice::CVoprCvionRateDetail>(outcome.records.front());
    if (!detail) {
        return QStringList() << "not a detail record";
    }
    for (const auto& s : detail->subjects) {
        lines << QString::fromStdString(s->toLog());
    }
    return lines;
}

QString todayText()
{
    return QDate::currentDate().toString("yyyyMMdd");
}

} // namespace

class TestEmbeddedDataService : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void summaryGivesOneRecordPerUpload();
    void demoDataIsDeterministicAndRealistic();
    void uploadThenDetailReturnsRowsInOrder();
    void uploadFindsBrokerByIdAlone();
    void rejectedUploadKeepsPrevious_data();
    void rejectedUploadKeepsPrevious();
    void detailQueryKeys_data();
    void detailQueryKeys();
    void brokerKeyParsing_data();
    void brokerKeyParsing();
    void tradingDay_data();
    void tradingDay();
    void lockedDatabaseLosesNothing();
    void failureMidWriteRollsBack();
    void corruptFileGivesFailure();
    void unreachableFileGivesFailure();
    void queuedRequestsAnsweredAtShutdown();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<CEmbeddedDataService> m_service;
    boost::thread::id m_mainThread;
};

void TestEmbeddedDataService::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QLocale::setDefault(QLocale::c());
    m_mainThread = boost::this_thread::get_id();
}

void TestEmbeddedDataService::init()
{
    m_dir.reset(new QTemporaryDir);
    QVERIFY(m_dir->isValid());
    m_service.reset(new CEmbeddedDataService(m_dir->filePath("credit.sqlite")));
}

void TestEmbeddedDataService::cleanup()
{
    m_service.reset();
    m_dir.reset();
}

// History: every upload is a record, a broker without any gives one empty record.
void TestEmbeddedDataService::summaryGivesOneRecordPerUpload()
{
    const QueryOutcome outcome = query(*m_service, 12294);
    QVERIFY2(outcome.error.isSuccess(), outcome.error.errorMsg().c_str());
    QCOMPARE(outcome.calls, 1);
    QVERIFY(outcome.thread != m_mainThread);

    std::map<int, int> uploadsPerBroker;
    std::map<int, std::string> latest;
    std::set<std::string> keys;
    const QString trading = CEmbeddedDataService::tradingDay(QDate::currentDate()).toString("yyyyMMdd");
    for (const rqservice::IDataPtr& record : outcome.records) {
        auto info = boost::dynamic_pointer_cast<rqservice::CVoprCvionRateBaseInfo>(record);
        QVERIFY(info);
        QVERIFY(keys.insert(info->getCsKey()).second);
        QCOMPARE(QString::fromStdString(info->tradingDay), trading);
        if (info->uploadId == 0) {
            QVERIFY(info->lastUploadDate.empty());
            QCOMPARE(info->brokerName, std::string("海通证券"));
            uploadsPerBroker[info->brokerKeyNo] += 0;
            continue;
        }
        ++uploadsPerBroker[info->brokerKeyNo];
        QVERIFY(QDate::fromString(QString::fromStdString(info->lastUploadDate), "yyyyMMdd").isValid());
        QVERIFY(QString::fromStdString(info->lastUploadDate) < trading);
        latest[info->brokerKeyNo] = std::max(latest[info->brokerKeyNo], info->lastUploadDate);
    }
    const std::map<int, int> expected = {{1, 3}, {2, 2}, {3, 3}, {4, 2}, {5, 3}, {6, 0}};
    QCOMPARE(uploadsPerBroker, expected);
    QCOMPARE(outcome.records.size(), size_t(14));
    std::set<std::string> latestDates;
    for (const auto& entry : latest) {
        latestDates.insert(entry.second);
    }
    QCOMPARE(latestDates.size(), size_t(5));
}

void TestEmbeddedDataService::demoDataIsDeterministicAndRealistic()
{
    QTemporaryDir otherDir;
    CEmbeddedDataService other(otherDir.filePath("other.sqlite"));
    int zeros = 0;
    int blueChipRange = 0;
    for (const char* key : {"1____CITIC", "2____HTSC", "3____GTJA", "4____CMS", "5____GFZQ"}) {
        const QueryOutcome mine = query(*m_service, 12295, key);
        const QStringList lines = detailLines(mine);
        QCOMPARE(lines, detailLines(query(other, 12295, key)));
        QVERIFY2(lines.size() >= 20 && lines.size() <= 60, qPrintable(QString::number(lines.size())));
        auto detail = boost::dynamic_pointer_cast<rqservice::CVoprCvionRateDetail>(mine.records.front());
        for (const auto& s : detail->subjects) {
            QVERIFY(s->ratio >= 0.0 && s->ratio <= 0.7 + 1e-9);
            zeros += s->ratio == 0.0;
            blueChipRange += s->ratio >= 0.65;
        }
    }
    QVERIFY(zeros > 0);
    QVERIFY(blueChipRange > 0);
}

// What was uploaded comes back, row for row, a security listed twice included.
void TestEmbeddedDataService::uploadThenDetailReturnsRowsInOrder()
{
    const int before = static_cast<int>(query(*m_service, 12294).records.size());
    const utils::RQError stored = operate(*m_service, upload(2, "HTSC", sampleRows()));
    QVERIFY2(stored.isSuccess(), stored.errorMsg().c_str());

    const QueryOutcome detail = query(*m_service, 12295, "2____HTSC");
    QCOMPARE(detailLines(detail),
             QStringList({
                 R"(CStkSubjects{brokerKeyNo=2, brokerId="HTSC", brokerName="华泰证券", exchangeName="上交所", stockCode="600000", stockName="浦发银行", ratio=0.65, lineNo=1})",
                 R"(CStkSubjects{brokerKeyNo=2, brokerId="HTSC", brokerName="华泰证券", exchangeName="深交所", stockCode="000858", stockName="五粮液", ratio=0.7, lineNo=2})",
                 R"(CStkSubjects{brokerKeyNo=2, brokerId="HTSC", brokerName="华泰证券", exchangeName="深交所", stockCode="300750", stockName="宁德时代", ratio=0.55, lineNo=3})",
                 R"(CStkSubjects{brokerKeyNo=2, brokerId="HTSC", brokerName="华泰证券", exchangeName="上交所", stockCode="600000", stockName="浦发银行", ratio=0.6, lineNo=4})",
                 R"(CStkSubjects{brokerKeyNo=2, brokerId="HTSC", brokerName="华泰证券", exchangeName="北交所", stockCode="430047", stockName="诺思兰德", ratio=0, lineNo=5})",
             }));

    const QueryOutcome summary = query(*m_service, 12294);
    QCOMPARE(static_cast<int>(summary.records.size()), before + 1);
    int todays = 0;
    for (const auto& record : summary.records) {
        auto info = boost::dynamic_pointer_cast<rqservice::CVoprCvionRateBaseInfo>(record);
        if (QString::fromStdString(info->lastUploadDate) == todayText()) {
            QCOMPARE(info->brokerKeyNo, 2);
            ++todays;
        }
    }
    QCOMPARE(todays, 1);
}

// The upload dialog sends -1 when it could not tell the broker's number.
void TestEmbeddedDataService::uploadFindsBrokerByIdAlone()
{
    QVERIFY(operate(*m_service, upload(-1, "CMS", sampleRows())).isSuccess());
    QCOMPARE(detailLines(query(*m_service, 12295, "4____CMS")).size(), 5);

    const utils::RQError unknown = operate(*m_service, upload(-1, "NOPE", sampleRows()));
    QVERIFY(!unknown.isSuccess());
    QCOMPARE(QString::fromStdString(unknown.errorMsg()), QString("未找到券商: -1____NOPE"));
}

void TestEmbeddedDataService::rejectedUploadKeepsPrevious_data()
{
    QTest::addColumn<int>("dataType");
    QTest::addColumn<int>("operateType");
    QTest::addColumn<int>("records"); // detail records in dataList
    QTest::addColumn<QString>("broker");
    QTest::addColumn<QVariantList>("ratios"); // a null entry stands for a null subject
    QTest::addColumn<QStringList>("messageParts");

    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    QTest::newRow("65 instead of 0.65 in the middle")
        << 12295 << 2 << 1 << "1____CITIC" << QVariantList{0.5, 0.6, 65.0, 0.4}
        << QStringList{"第3条", "300750", "宁德时代", "65", "0 到 1"};
    QTest::newRow("negative") << 12295 << 2 << 1 << "1____CITIC" << QVariantList{-0.1} << QStringList{"第1条", "-0.1"};
    QTest::newRow("not a number") << 12295 << 2 << 1 << "1____CITIC" << QVariantList{0.5, nan}
                                  << QStringList{"第2条", "不是有效数字"};
    QTest::newRow("infinite") << 12295 << 2 << 1 << "1____CITIC" << QVariantList{inf} << QStringList{"不是有效数字"};
    QTest::newRow("no subjects") << 12295 << 2 << 1 << "1____CITIC" << QVariantList{} << QStringList{"上传内容为空"};
    QTest::newRow("only null subjects") << 12295 << 2 << 1 << "1____CITIC" << QVariantList{QVariant(), QVariant()}
                                        << QStringList{"上传内容为空"};
    QTest::newRow("operate type 1") << 12295 << 1 << 1 << "1____CITIC" << QVariantList{0.5}
                                    << QStringList{"不支持的操作类型: 1"};
    QTest::newRow("data type 12294") << 12294 << 2 << 1 << "1____CITIC" << QVariantList{0.5}
                                     << QStringList{"不支持的数据类型: 12294"};
    QTest::newRow("no detail record") << 12295 << 2 << 0 << "1____CITIC" << QVariantList{0.5}
                                      << QStringList{"上传内容格式错误"};
    QTest::newRow("two detail records") << 12295 << 2 << 2 << "1____CITIC" << QVariantList{0.5}
                                        << QStringList{"上传内容格式错误"};
    QTest::newRow("unknown broker") << 12295 << 2 << 1 << "7____ABC" << QVariantList{0.5}
                                    << QStringList{"未找到券商: 7____ABC"};
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

    static const char* const codes[] = {"600000", "000858", "300750", "430047"};
    static const char* const names[] = {"浦发银行", "五粮液", "宁德时代", "诺思兰德"};
    std::vector<boost::shared_ptr<rqservice::CStkSubjects>> rows;
    for (int i = 0; i < ratios.size(); ++i) {
        rows.push_back(ratios[i].isValid() ? subject("上交所", codes[i % 4], names[i % 4], ratios[i].toDouble())
                                           : boost::shared_ptr<rqservice::CStkSubjects>());
    }
    rqservice::CBrokerKey key;
    QVERIFY(rqservice::CBrokerKey::parse(broker.toStdString(), key));
    boost::shared_ptr<rqservice::COperateDataReq> request = upload(key.brokerKeyNo, key.brokerId, rows);
    request->dataType = dataType;
    request->operateType = operateType;
    if (records == 0) {
        request->dataList.clear();
    } else if (records == 2) {
        request->dataList.push_back(request->dataList.front());
    }

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
    QTest::addColumn<QString>("expected"); // "ok", "ok empty" or the start of the error message

    QTest::newRow("known broker") << 12295 << "1____CITIC" << "ok";
    QTest::newRow("-1 finds by id") << 12295 << "-1____CITIC" << "ok";
    QTest::newRow("never uploaded") << 12295 << "6____HTZQ" << "ok empty";
    QTest::newRow("unknown broker") << 12295 << "7____ABC" << "未找到券商: 7____ABC";
    QTest::newRow("-1 unknown id") << 12295 << "-1____X" << "未找到券商: -1____X";
    QTest::newRow("empty id") << 12295 << "0____" << "未找到券商: 0____";
    QTest::newRow("number without id") << 12295 << "7____" << "未找到券商: 7____";
    QTest::newRow("three underscores") << 12295 << "7___ABC" << "查询条件格式错误";
    QTest::newRow("letters for number") << 12295 << "x____A" << "查询条件格式错误";
    QTest::newRow("empty key") << 12295 << "" << "查询条件格式错误";
    QTest::newRow("leading blank") << 12295 << " 1____CITIC" << "查询条件格式错误";
    QTest::newRow("plus sign") << 12295 << "+1____CITIC" << "查询条件格式错误";
    QTest::newRow("number too large") << 12295 << "99999999999____A" << "查询条件格式错误";
    QTest::newRow("unknown query type") << 1 << "" << "不支持的查询类型: 1";
}

void TestEmbeddedDataService::detailQueryKeys()
{
    QFETCH(int, queryType);
    QFETCH(QString, key);
    QFETCH(QString, expected);

    const QueryOutcome outcome = query(*m_service, queryType, key.toStdString());
    QCOMPARE(outcome.calls, 1);
    if (!expected.startsWith("ok")) {
        QVERIFY(!outcome.error.isSuccess());
        QVERIFY(outcome.records.empty());
        QVERIFY2(QString::fromStdString(outcome.error.errorMsg()).startsWith(expected), outcome.error.errorMsg().c_str());
        return;
    }
    QVERIFY2(outcome.error.isSuccess(), outcome.error.errorMsg().c_str());
    QCOMPARE(outcome.records.size(), size_t(1));
    auto detail = boost::dynamic_pointer_cast<rqservice::CVoprCvionRateDetail>(outcome.records.front());
    QVERIFY(detail);
    QVERIFY(!detail->brokerName.empty());
    if (expected == "ok empty") {
        QVERIFY(detail->subjects.empty());
    } else {
        QCOMPARE(detail->brokerKeyNo, 1);
        QVERIFY(detail->subjects.size() >= 20);
    }
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
    QTest::newRow("id with blanks kept") << "7____ A B " << true << 7 << " A B ";
    QTest::newRow("int min") << "-2147483648____A" << true << std::numeric_limits<int>::min() << "A";
    QTest::newRow("int max + 1") << "2147483648____A" << false << 0 << "";
    QTest::newRow("three underscores") << "7___ABC" << false << 0 << "";
    QTest::newRow("minus alone") << "-____A" << false << 0 << "";
    QTest::newRow("empty") << "" << false << 0 << "";
}

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
        // Every valid row is written as the detail dialog writes keys, so it reads back unchanged.
        QCOMPARE(QString::fromStdString(key.toString()), text);
    }
}

void TestEmbeddedDataService::tradingDay_data()
{
    QTest::addColumn<QDate>("day");
    QTest::addColumn<QDate>("trading");
    QTest::newRow("friday") << QDate(2024, 3, 8) << QDate(2024, 3, 8);
    QTest::newRow("saturday") << QDate(2024, 3, 9) << QDate(2024, 3, 8);
    QTest::newRow("sunday") << QDate(2024, 3, 10) << QDate(2024, 3, 8);
    QTest::newRow("monday") << QDate(2024, 3, 11) << QDate(2024, 3, 11);
    QTest::newRow("sunday across a month") << QDate(2024, 6, 2) << QDate(2024, 5, 31);
}

void TestEmbeddedDataService::tradingDay()
{
    QFETCH(QDate, day);
    QFETCH(QDate, trading);
    QCOMPARE(CEmbeddedDataService::tradingDay(day), trading);
}

// Another program holding the file: the upload fails with a message and loses nothing.
void TestEmbeddedDataService::lockedDatabaseLosesNothing()
{
    m_service.reset();
    m_service.reset(new CEmbeddedDataService(m_dir->filePath("credit.sqlite")));
    m_service->setBusyTimeoutMs(100);
    const QStringList before = detailLines(query(*m_service, 12295, "3____GTJA"));
    QVERIFY(before.size() >= 20);

    {
        QSqlDatabase other = QSqlDatabase::addDatabase("QSQLITE", "other-program");
        other.setDatabaseName(m_dir->filePath("credit.sqlite"));
        QVERIFY(other.open());
        QSqlQuery lock(other);
        QVERIFY(lock.exec("BEGIN EXCLUSIVE"));

        const utils::RQError error = operate(*m_service, upload(3, "GTJA", sampleRows()));
        QVERIFY(!error.isSuccess());
        QVERIFY2(QString::fromStdString(error.errorMsg()).contains("占用"), error.errorMsg().c_str());
        const QueryOutcome whileLocked = query(*m_service, 12295, "3____GTJA");
        QVERIFY(!whileLocked.error.isSuccess());

        QVERIFY(lock.exec("ROLLBACK"));
        other.close();
    }
    QSqlDatabase::removeDatabase("other-program");

    QCOMPARE(detailLines(query(*m_service, 12295, "3____GTJA")), before);
    QVERIFY(operate(*m_service, upload(3, "GTJA", sampleRows())).isSuccess());
    QCOMPARE(detailLines(query(*m_service, 12295, "3____GTJA")).size(), 5);
}

// The file fails on the third row written: not one row of the upload, nor the upload, stays.
void TestEmbeddedDataService::failureMidWriteRollsBack()
{
    const QStringList before = detailLines(query(*m_service, 12295, "5____GFZQ"));
    const size_t summaryBefore = query(*m_service, 12294).records.size();
    {
        QSqlDatabase other = QSqlDatabase::addDatabase("QSQLITE", "saboteur");
        other.setDatabaseName(m_dir->filePath("credit.sqlite"));
        QVERIFY(other.open());
        QSqlQuery q(other);
        QVERIFY(q.exec("CREATE TRIGGER fail_third BEFORE INSERT ON ratios WHEN NEW.line_no = 3 "
                       "BEGIN SELECT RAISE(ABORT, 'disk I/O error'); END"));
        other.close();
    }
    QSqlDatabase::removeDatabase("saboteur");

    const utils::RQError error = operate(*m_service, upload(5, "GFZQ", sampleRows()));
    QVERIFY(!error.isSuccess());
    QVERIFY2(QString::fromStdString(error.errorMsg()).contains("disk I/O error"), error.errorMsg().c_str());
    QCOMPARE(detailLines(query(*m_service, 12295, "5____GFZQ")), before);
    QCOMPARE(query(*m_service, 12294).records.size(), summaryBefore);
}

// A file that is no database: every request fails with a message, the file is left alone.
void TestEmbeddedDataService::corruptFileGivesFailure()
{
    m_service.reset();
    const QString path = m_dir->filePath("garbage.sqlite");
    QByteArray garbage;
    for (int i = 0; i < 8192; ++i) {
        garbage.append(char((i * 7919 + 13) & 0xFF));
    }
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(garbage);
    file.close();

    CEmbeddedDataService service(path);
    const QueryOutcome summary = query(service, 12294);
    QVERIFY(!summary.error.isSuccess());
    QVERIFY2(QString::fromStdString(summary.error.errorMsg()).contains("损坏"), summary.error.errorMsg().c_str());
    QVERIFY(!query(service, 12295, "1____CITIC").error.isSuccess());
    QVERIFY(!operate(service, upload(1, "CITIC", sampleRows())).isSuccess());

    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), garbage);
}

void TestEmbeddedDataService::unreachableFileGivesFailure()
{
    QFile blocker(m_dir->filePath("not-a-folder"));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    CEmbeddedDataService service(m_dir->filePath("not-a-folder/credit.sqlite"));
    const QueryOutcome outcome = query(service, 12294);
    QVERIFY(!outcome.error.isSuccess());
    QVERIFY2(QString::fromStdString(outcome.error.errorMsg()).startsWith("打开数据库失败"), outcome.error.errorMsg().c_str());
}

// Requests still queued when the service goes away are answered, each once.
void TestEmbeddedDataService::queuedRequestsAnsweredAtShutdown()
{
    boost::shared_ptr<std::atomic<int>> answers = boost::make_shared<std::atomic<int>>(0);
    boost::shared_ptr<std::atomic<int>> successes = boost::make_shared<std::atomic<int>>(0);
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
