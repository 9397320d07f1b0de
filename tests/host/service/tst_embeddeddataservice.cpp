// The embedded data service on a real SQLite file, or (CREDITDATA_TEST_ENGINE=postgresql) on
// a database of the throwaway PostgreSQL server: history, uploads, validation, schema versions,
// and files that are locked, broken or unreachable.
#include "brokerkey.h"
#include "embeddeddataservice.h"
#include "pgtestserver.h"
#include "scriptedservice.h"

#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <boost/make_shared.hpp>
#include <boost/thread/thread.hpp>

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
};

// waitIdle() returns after the callback ran, so the outcome is complete and visible here. An
// answer given other than exactly once, or on the caller's thread, is a failure.
QueryOutcome query(CEmbeddedDataService& service, int type, const std::string& key = std::string())
{
    auto outcome = boost::make_shared<std::pair<QueryOutcome, int>>();
    auto request = boost::make_shared<rqservice::CVoprQueryDataReq>();
    request->queryType = type;
    request->queryKey = key;
    const boost::thread::id caller = boost::this_thread::get_id();
    service.query(request, [outcome, caller](const utils::RQError& error,
                                             const std::vector<rqservice::IDataPtr>& records, int, bson::BSONObj) {
        const bool offCaller = boost::this_thread::get_id() != caller;
        *outcome = {{offCaller ? error : utils::RQError::failure("answered on the caller's thread"), records},
                    outcome->second + 1};
    });
    service.waitIdle();
    if (outcome->second != 1) {
        return {utils::RQError::failure("answered " + std::to_string(outcome->second) + " times"), {}};
    }
    return outcome->first;
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

using Rows = std::vector<boost::shared_ptr<rqservice::CStkSubjects>>;

boost::shared_ptr<rqservice::COperateDataReq> upload(int keyNo, const std::string& id, const Rows& rows)
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

Rows sampleRows()
{
    return {row("上交所", "600000", "浦发银行", 0.65), row("深交所", "000858", "五粮液", 0.7),
            row("深交所", "300750", "宁德时代", 0.55), row("上交所", "600000", "浦发银行", 0.6),
            row("北交所", "430047", "诺思兰德", 0)};
}

boost::shared_ptr<rqservice::CVoprCvionRateDetail> detailOf(const QueryOutcome& outcome)
{
    return outcome.error.isSuccess() && outcome.records.size() == 1
               ? boost::dynamic_pointer_cast<rqservice::CVoprCvionRateDetail>(outcome.records.front())
               : nullptr;
}

// One line per subject, so a whole detail compares in one QCOMPARE.
QStringList detailLines(const QueryOutcome& outcome)
{
    const auto detail = detailOf(outcome);
    if (!detail) {
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

bool onPostgres()
{
    return qEnvironmentVariable("CREDITDATA_TEST_ENGINE") == QLatin1String("postgresql");
}

} // namespace

class TestEmbeddedDataService : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void historyHoldsEveryUpload();
    void uploadThenDetailReturnsRowsInOrder();
    void storedTextComesBackExact_data();
    void storedTextComesBackExact();
    void rejectedRequestKeepsPrevious_data();
    void rejectedRequestKeepsPrevious();
    void failedWriteLosesNothing_data();
    void failedWriteLosesNothing();
    void unusableFileRefusedUntouched_data();
    void unusableFileRefusedUntouched();
    void newerSchemaRefusedUntouched();
    void tradingDay();

private:
    QString dbPath() const { return m_dir->filePath("credit.sqlite"); }
    // Runs SQL on the service's database as another program would.
    void runOnDatabase(const QStringList& statements)
    {
        if (onPostgres()) {
            QVERIFY(testsupport::CPgTestServer::exec(testsupport::CPgTestServer::databaseOf(m_location), statements));
            return;
        }
        runOnFile(dbPath(), [&](QSqlQuery& q) {
            for (const QString& sql : statements)
                QVERIFY2(q.exec(sql), qPrintable(sql));
        });
    }
    // The previous upload, as a failed request must leave it: CITIC's detail and the history size.
    QPair<QStringList, size_t> state() const
    {
        return {detailLines(query(*m_service, 12295, "1____CITIC")), query(*m_service, 12294).records.size()};
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_location; // the file, or the URI of a new PostgreSQL database
    std::unique_ptr<CEmbeddedDataService> m_service;
};

void TestEmbeddedDataService::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QLocale::setDefault(QLocale::c());
    if (onPostgres() && !testsupport::CPgTestServer::available()) {
        QFAIL("CREDITDATA_TEST_ENGINE=postgresql needs the server of tests/pg/pgcluster.sh (PGTEST_STATE)");
    }
}

void TestEmbeddedDataService::init()
{
    m_dir.reset(new QTemporaryDir);
    QVERIFY(m_dir->isValid());
    m_location = onPostgres() ? testsupport::CPgTestServer::createDatabase() : dbPath();
    QVERIFY(!m_location.isEmpty());
    m_service.reset(new CEmbeddedDataService(m_location));
}

void TestEmbeddedDataService::cleanup()
{
    m_service.reset();
    m_dir.reset();
}

// History: every upload is a record with a unique key, dated before today; a broker without
// any gives one empty record and an empty detail under its name.
void TestEmbeddedDataService::historyHoldsEveryUpload()
{
    const QueryOutcome outcome = query(*m_service, 12294);
    QVERIFY2(outcome.error.isSuccess(), outcome.error.errorMsg().c_str());

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
    const auto never = detailOf(query(*m_service, 12295, "6____HTZQ"));
    QVERIFY(never && never->subjects.empty());
    QCOMPARE(never->brokerName, std::string("海通证券"));
}

// What was uploaded comes back row for row, a security listed twice included, and is the
// broker's latest upload; -1 finds the broker by its id alone; history gains an upload dated today.
void TestEmbeddedDataService::uploadThenDetailReturnsRowsInOrder()
{
    const size_t before = query(*m_service, 12294).records.size();
    const utils::RQError stored = operate(*m_service, upload(-1, "HTSC", sampleRows()));
    QVERIFY2(stored.isSuccess(), stored.errorMsg().c_str());

    const QueryOutcome detail = query(*m_service, 12295, "2____HTSC");
    QCOMPARE(
        detailLines(detail),
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

    QVERIFY(operate(*m_service, upload(2, "HTSC", {row("深交所", "000858", "五粮液", 0.5)})).isSuccess());
    QCOMPARE(
        detailLines(query(*m_service, 12295, "2____HTSC")),
        QStringList{
            R"(CStkSubjects{brokerKeyNo=2, brokerId="HTSC", brokerName="华泰证券", exchangeName="深交所", stockCode="000858", stockName="五粮液", ratio=0.5, lineNo=1})"});
}

void TestEmbeddedDataService::storedTextComesBackExact_data()
{
    QTest::addColumn<QStringList>("names");
    QTest::newRow("quotes, backslashes, braces") << QStringList{"A\"B", "C\\D", "\\\"", "{x,y}", "a\tb"};
    QTest::newRow("NULL and blanks") << QStringList{"NULL", "", " ", "null", "''"};
    QTest::newRow("beyond the BMP and mixed") << QStringList{"𠀀𠀁", "😀证券", "é", "证券"};
    QStringList many;
    for (int i = 0; i < 450; ++i)
        many << QStringLiteral("证券%1").arg(i);
    QTest::newRow("450 rows, several statements, the last one short") << many;
    for (int i = 450; i < 50001; ++i)
        many << QStringLiteral("证券%1").arg(i);
    QTest::newRow("50,001 rows, past one array chunk") << many;
}

// Every stored text reads back exactly, in order, whatever it holds and however many rows the
// upload has: the bulk insert writes rows in batches and the read converts each cell.
void TestEmbeddedDataService::storedTextComesBackExact()
{
    QFETCH(QStringList, names);
    static const char* const exchanges[] = {"", "上交所", "上交所", "深交所"};
    Rows rows;
    QStringList expected;
    for (int i = 0; i < names.size(); ++i) {
        const std::string exchange = exchanges[i % 4];
        const std::string code = std::to_string(600000 + i);
        const double ratio = (i % 101) / 100.0;
        rows.push_back(row(exchange.c_str(), code.c_str(), names[i].toStdString().c_str(), ratio));
        auto back = testsupport::makeSubject(2, "HTSC", exchange, code, names[i].toStdString(), ratio, i + 1);
        back->brokerName = "华泰证券";
        expected << QString::fromStdString(back->toLog());
    }
    const utils::RQError stored = operate(*m_service, upload(2, "HTSC", rows));
    QVERIFY2(stored.isSuccess(), stored.errorMsg().c_str());
    QCOMPARE(detailLines(query(*m_service, 12295, "2____HTSC")), expected);
}

void TestEmbeddedDataService::rejectedRequestKeepsPrevious_data()
{
    QTest::addColumn<int>("type");        // query type, or data type of an upload
    QTest::addColumn<int>("operateType"); // 0 for a query
    QTest::addColumn<QString>("key");
    QTest::addColumn<QVariantList>("ratios"); // for the first sample rows; null for a null subject
    QTest::addColumn<QStringList>("messageParts");

    const QString citic("1____CITIC");
    QTest::newRow("unknown query type") << 1 << 0 << "" << QVariantList() << QStringList{"不支持的查询类型: 1"};
    for (const char* key : {"7___ABC", "2147483648____A", "-____A", " 1____A"}) {
        QTest::addRow("malformed key \"%s\"", key)
            << 12295 << 0 << key << QVariantList() << QStringList{"查询条件格式错误"};
    }
    // The broker key reads back unchanged in the message; the id keeps a fifth underscore.
    for (const char* key : {"7____ABC", "0____", "1_____CITIC"}) {
        QTest::addRow("unknown broker \"%s\"", key)
            << 12295 << 0 << key << QVariantList() << QStringList{QString("未找到券商: ") + key};
    }
    QTest::newRow("upload, unknown id with -1")
        << 12295 << 2 << "-1____NOPE" << QVariantList{0.5} << QStringList{"未找到券商: -1____NOPE"};
    QTest::newRow("upload, number and id of different brokers")
        << 12295 << 2 << "2____CITIC" << QVariantList{0.5} << QStringList{"未找到券商: 2____CITIC"};
    QTest::newRow("operate type 1") << 12295 << 1 << citic << QVariantList{0.5} << QStringList{"不支持的操作类型: 1"};
    QTest::newRow("data type 12294") << 12294 << 2 << citic << QVariantList{0.5}
                                     << QStringList{"不支持的数据类型: 12294"};
    QTest::newRow("only null subjects") << 12295 << 2 << citic << QVariantList{QVariant(), QVariant()}
                                        << QStringList{"上传内容为空"};
    QTest::newRow("65 instead of 0.65 in the middle") << 12295 << 2 << citic << QVariantList{0.5, 0.6, 65.0, 0.4}
                                                      << QStringList{"第3条", "300750", "宁德时代", "65", "0 到 1"};
    QTest::newRow("not a number") << 12295 << 2 << citic << QVariantList{0.5, std::numeric_limits<double>::quiet_NaN()}
                                  << QStringList{"第2条", "不是有效数字"};
}

// A refused request names its reason, returns no records, and leaves the last upload as it was.
void TestEmbeddedDataService::rejectedRequestKeepsPrevious()
{
    QFETCH(int, type);
    QFETCH(int, operateType);
    QFETCH(QString, key);
    QFETCH(QVariantList, ratios);
    QFETCH(QStringList, messageParts);

    const auto before = state();
    QVERIFY(before.first.size() >= 20);
    utils::RQError error;
    if (operateType == 0) {
        const QueryOutcome outcome = query(*m_service, type, key.toStdString());
        QVERIFY(outcome.records.empty());
        error = outcome.error;
    } else {
        Rows rows = sampleRows();
        rows.resize(size_t(ratios.size()));
        for (int i = 0; i < ratios.size(); ++i) {
            if (ratios[i].isValid()) {
                rows[size_t(i)]->ratio = ratios[i].toDouble();
            } else {
                rows[size_t(i)].reset();
            }
        }
        rqservice::CBrokerKey broker;
        QVERIFY(rqservice::CBrokerKey::parse(key.toStdString(), broker));
        boost::shared_ptr<rqservice::COperateDataReq> request = upload(broker.brokerKeyNo, broker.brokerId, rows);
        request->dataType = type;
        request->operateType = operateType;
        error = operate(*m_service, request);
    }
    QVERIFY(!error.isSuccess());
    const QString message = QString::fromStdString(error.errorMsg());
    for (const QString& part : messageParts) {
        QVERIFY2(message.contains(part), qPrintable(message));
    }
    QCOMPARE(state(), before);
}

void TestEmbeddedDataService::failedWriteLosesNothing_data()
{
    QTest::addColumn<QStringList>("sabotage"); // run by another program before the upload
    QTest::addColumn<QString>("message");      // a part of the upload's error message
    QTest::addColumn<QString>("repair");       // run afterwards, so the next upload can succeed
    QTest::newRow("file held by another program") << QStringList{"BEGIN EXCLUSIVE"} << "占用"
                                                  << "";
    QTest::newRow("write transaction held by another program")
        << QStringList{"BEGIN IMMEDIATE", "INSERT INTO brokers VALUES (99, 'X', 'X')"} << "占用"
        << "";
    // The upload's rows go in, then its COMMIT waits for the reader and gives up.
    QTest::newRow("reader holds the file at commit") << QStringList{"BEGIN", "SELECT count(*) FROM ratios"} << "占用"
                                                     << "";
    QTest::newRow("third row fails") << QStringList{"CREATE TRIGGER fail_third BEFORE INSERT ON ratios WHEN "
                                                    "NEW.line_no = 3 BEGIN SELECT RAISE(ABORT, 'disk I/O error'); END"}
                                     << "disk I/O error"
                                     << "DROP TRIGGER fail_third";
}

// A write that fails, at once, mid-way or at its commit, names its reason and keeps not one row
// of the upload; the service recovers once the file is sound again.
void TestEmbeddedDataService::failedWriteLosesNothing()
{
    if (onPostgres()) {
        QSKIP("locks and broken files of SQLite; the server's faults are in tst_service_postgres");
    }
    QFETCH(QStringList, sabotage);
    QFETCH(QString, message);
    QFETCH(QString, repair);
    m_service->setBusyTimeoutMs(100);
    const auto before = state();

    // Closing the other connection ends its lock.
    runOnFile(dbPath(), [&](QSqlQuery& q) {
        for (const QString& sql : sabotage) {
            QVERIFY2(q.exec(sql), qPrintable(sql));
            while (q.next()) {
            }
        }
        const utils::RQError error = operate(*m_service, upload(1, "CITIC", sampleRows()));
        QVERIFY(!error.isSuccess());
        QVERIFY2(QString::fromStdString(error.errorMsg()).contains(message), error.errorMsg().c_str());
    });
    QCOMPARE(state(), before);

    runOnFile(dbPath(), [&](QSqlQuery& q) { QVERIFY(repair.isEmpty() || q.exec(repair)); });
    QVERIFY(operate(*m_service, upload(1, "CITIC", sampleRows())).isSuccess());
    QCOMPARE(state().first.size(), 5);
}

void TestEmbeddedDataService::unusableFileRefusedUntouched_data()
{
    QTest::addColumn<QStringList>("schema"); // what another program keeps in the file; none: no database at all
    QTest::addColumn<QString>("reason");
    const QString foreign("不是本程序的数据库");
    QTest::newRow("other tables, user version 0")
        << QStringList{"CREATE TABLE orders (id INTEGER, item TEXT)", "INSERT INTO orders VALUES (1, 'tea')"}
        << foreign;
    QTest::newRow("other tables beside one of ours")
        << QStringList{"CREATE TABLE brokers (x)", "CREATE TABLE notes (t TEXT)", "INSERT INTO notes VALUES ('a')"}
        << foreign;
    QTest::newRow("other tables, a user version of its own")
        << QStringList{"CREATE TABLE orders (id INTEGER)", "PRAGMA user_version = 7"} << foreign;
    QTest::newRow("not a database") << QStringList() << "损坏";
}

// A file that is not this program's database is neither adopted nor touched: every call says why.
void TestEmbeddedDataService::unusableFileRefusedUntouched()
{
    if (onPostgres()) {
        QSKIP("SQLite files of other programs");
    }
    QFETCH(QStringList, schema);
    QFETCH(QString, reason);
    QFile file(m_dir->filePath("other.sqlite"));
    if (schema.isEmpty()) {
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(8192, 'Z'));
        file.close();
    }
    runOnFile(file.fileName(), [&](QSqlQuery& q) {
        for (const QString& sql : schema)
            QVERIFY2(q.exec(sql), qPrintable(sql));
    });
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray original = file.readAll();
    file.close();

    {
        CEmbeddedDataService service(file.fileName());
        for (const utils::RQError& error : {query(service, 12294).error, query(service, 12295, "1____CITIC").error,
                                            operate(service, upload(1, "CITIC", sampleRows()))}) {
            QVERIFY2(!error.isSuccess() && QString::fromStdString(error.errorMsg()).contains(reason),
                     error.errorMsg().c_str());
        }
    }
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), original);
}

// A database that a newer program wrote is refused whole, and nothing in it changes.
void TestEmbeddedDataService::newerSchemaRefusedUntouched()
{
    const size_t uploads = state().second;
    QVERIFY(uploads > 0);
    m_service.reset();
    runOnDatabase({onPostgres() ? QStringLiteral("UPDATE credit_schema SET version = 99")
                                : QStringLiteral("PRAGMA user_version = 99")});

    m_service.reset(new CEmbeddedDataService(m_location));
    for (const utils::RQError& error : {query(*m_service, 12294).error, query(*m_service, 12295, "1____CITIC").error,
                                        operate(*m_service, upload(1, "CITIC", sampleRows()))}) {
        QVERIFY(!error.isSuccess());
        QVERIFY2(QString::fromStdString(error.errorMsg()).contains("更新版本的程序"), error.errorMsg().c_str());
        QVERIFY2(QString::fromStdString(error.errorMsg()).contains("版本 99"), error.errorMsg().c_str());
    }
    m_service.reset();

    // Back to this program's version: the data is as it was.
    runOnDatabase({onPostgres() ? QStringLiteral("UPDATE credit_schema SET version = 1")
                                : QStringLiteral("PRAGMA user_version = 1")});
    m_service.reset(new CEmbeddedDataService(m_location));
    QCOMPARE(state().second, uploads);
}

// A weekend day trades as the Friday before it.
void TestEmbeddedDataService::tradingDay()
{
    QCOMPARE(CEmbeddedDataService::tradingDay(QDate(2024, 3, 9)), QDate(2024, 3, 8));   // saturday
    QCOMPARE(CEmbeddedDataService::tradingDay(QDate(2024, 6, 2)), QDate(2024, 5, 31));  // sunday, across a month
    QCOMPARE(CEmbeddedDataService::tradingDay(QDate(2024, 3, 11)), QDate(2024, 3, 11)); // monday
}

QTEST_GUILESS_MAIN(TestEmbeddedDataService)
#include "tst_embeddeddataservice.moc"
