// The embedded data service as several programs share it on one PostgreSQL server: uploads at
// the same moment, readers during an upload, and a server that is down, restarted or refuses.
#include "embeddeddataservice.h"
#include "pgtestserver.h"
#include "scriptedservice.h"

#include <QStandardPaths>
#include <QtTest>

#include <boost/make_shared.hpp>

#include <atomic>
#include <mutex>

using rqservice::CEmbeddedDataService;
using testsupport::CPgTestServer;

namespace {

using Rows = std::vector<boost::shared_ptr<rqservice::CStkSubjects>>;

struct QueryOutcome
{
    utils::RQError error;
    std::vector<rqservice::IDataPtr> records;
};

QueryOutcome query(CEmbeddedDataService& service, int type, const std::string& key = std::string())
{
    auto outcome = boost::make_shared<QueryOutcome>();
    auto request = boost::make_shared<rqservice::CVoprQueryDataReq>();
    request->queryType = type;
    request->queryKey = key;
    service.query(request, [outcome](const utils::RQError& error, const std::vector<rqservice::IDataPtr>& records, int,
                                     bson::BSONObj) {
        *outcome = {error, records};
    });
    service.waitIdle();
    return *outcome;
}

boost::shared_ptr<rqservice::COperateDataReq> upload(const Rows& rows)
{
    auto detail = boost::make_shared<rqservice::CVoprCvionRateDetail>();
    detail->brokerKeyNo = 1;
    detail->brokerId = "CITIC";
    detail->subjects = rows;
    auto request = boost::make_shared<rqservice::COperateDataReq>();
    request->dataType = rqservice::eDataTypeCvionRateDetail;
    request->operateType = 2;
    request->dataList.push_back(detail);
    return request;
}

// count rows that all carry ratio, so a detail tells which upload it came from.
Rows uniformRows(int count, double ratio)
{
    Rows rows;
    for (int i = 0; i < count; ++i) {
        rows.push_back(testsupport::makeSubject(-1, "", "上交所", "600000", "浦发银行", ratio));
    }
    return rows;
}

// An upload whose answer is collected later, from whichever thread gives it.
struct PendingUpload
{
    std::atomic<int> answers{0};
    utils::RQError error;
};

boost::shared_ptr<PendingUpload> startUpload(CEmbeddedDataService& service, const Rows& rows)
{
    auto pending = boost::make_shared<PendingUpload>();
    service.operate(upload(rows), [pending](const utils::RQError& error, bson::BSONObj) {
        pending->error = error;
        ++pending->answers;
    });
    return pending;
}

utils::RQError operate(CEmbeddedDataService& service, const Rows& rows)
{
    const auto pending = startUpload(service, rows);
    service.waitIdle();
    return pending->answers == 1 ? pending->error : utils::RQError::failure("not answered once");
}

// CITIC's latest upload as (row count, ratio of every row); ratio -1 when the rows disagree.
QPair<int, double> citic(CEmbeddedDataService& service)
{
    const QueryOutcome outcome = query(service, 12295, "1____CITIC");
    if (!outcome.error.isSuccess() || outcome.records.size() != 1)
        return {-1, -1};
    const auto detail = boost::dynamic_pointer_cast<rqservice::CVoprCvionRateDetail>(outcome.records.front());
    double ratio = detail->subjects.empty() ? 0 : detail->subjects.front()->ratio;
    for (const auto& s : detail->subjects) {
        if (s->ratio != ratio)
            ratio = -1;
    }
    return {int(detail->subjects.size()), ratio};
}

} // namespace

class TestPostgresDataService : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void concurrentUploadsAllLand();
    void readerSeesWholeUploads();
    void faultEndsInOneClearError_data();
    void faultEndsInOneClearError();
    void badConnectionRefused_data();
    void badConnectionRefused();

private:
    QString m_uri;
};

void TestPostgresDataService::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    if (!CPgTestServer::available()) {
        QFAIL("needs the server of tests/pg/pgcluster.sh (PGTEST_STATE)");
    }
}

void TestPostgresDataService::init()
{
    m_uri = CPgTestServer::createDatabase();
    QVERIFY(!m_uri.isEmpty());
}

void TestPostgresDataService::cleanup()
{
    // A fault case that failed half-way must not leave the server down for the next one.
    if (CPgTestServer::scalar(QStringLiteral("postgres"), QStringLiteral("SELECT 1")) != QLatin1String("1")) {
        QVERIFY(CPgTestServer::control(QStringLiteral("resume")));
    }
}

// Two programs upload for one broker at the same moment, a first-time start included: both
// land whole, the history lists both, and the detail is the one committed last.
void TestPostgresDataService::concurrentUploadsAllLand()
{
    CEmbeddedDataService first(m_uri);
    CEmbeddedDataService second(m_uri);
    const auto a = startUpload(first, uniformRows(3000, 0.25));
    const auto b = startUpload(second, uniformRows(2000, 0.5));
    first.waitIdle();
    second.waitIdle();
    QCOMPARE(a->answers.load(), 1);
    QCOMPARE(b->answers.load(), 1);
    QVERIFY2(a->error.isSuccess(), a->error.errorMsg().c_str());
    QVERIFY2(b->error.isSuccess(), b->error.errorMsg().c_str());

    const QueryOutcome summary = query(first, 12294);
    QVERIFY(summary.error.isSuccess());
    long long lastId = 0;
    int today = 0;
    for (const auto& record : summary.records) {
        auto info = boost::dynamic_pointer_cast<rqservice::CVoprCvionRateBaseInfo>(record);
        if (info->brokerKeyNo == 1 && info->lastUploadDate == QDate::currentDate().toString("yyyyMMdd").toStdString()) {
            ++today;
            lastId = std::max(lastId, info->uploadId);
        }
    }
    QCOMPARE(today, 2);
    const QString lastRows =
        CPgTestServer::scalar(CPgTestServer::databaseOf(m_uri),
                              QStringLiteral("SELECT count(*) FROM ratios WHERE upload_id = %1").arg(lastId));
    const QPair<int, double> shown = citic(second);
    QCOMPARE(shown.first, lastRows.toInt());
    QVERIFY(shown == qMakePair(3000, 0.25) || shown == qMakePair(2000, 0.5));
}

// While large uploads go in, every read of the detail is one upload whole: the old one or a new one.
void TestPostgresDataService::readerSeesWholeUploads()
{
    CEmbeddedDataService writer(m_uri);
    CEmbeddedDataService reader(m_uri);
    QVERIFY(operate(writer, uniformRows(100, 0.1)).isSuccess());
    const QPair<int, double> old(100, 0.1);
    std::vector<boost::shared_ptr<PendingUpload>> uploads;
    for (int i = 0; i < 4; ++i) {
        uploads.push_back(startUpload(writer, uniformRows(20000 + i, 0.2 + i * 0.1)));
    }
    QSet<int> seen;
    while (uploads.back()->answers.load() == 0) {
        const QPair<int, double> shown = citic(reader);
        const bool whole = shown == old || (shown.first >= 20000 && shown.first < 20004 &&
                                            qFuzzyCompare(shown.second, 0.2 + (shown.first - 20000) * 0.1));
        QVERIFY2(whole, qPrintable(QStringLiteral("%1 rows, ratio %2").arg(shown.first).arg(shown.second)));
        seen.insert(shown.first);
    }
    writer.waitIdle();
    for (const auto& u : uploads) {
        QVERIFY2(u->error.isSuccess(), u->error.errorMsg().c_str());
    }
    QCOMPARE(citic(reader).first, 20003);
    QVERIFY(!seen.isEmpty());
}

void TestPostgresDataService::faultEndsInOneClearError_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("message"); // empty: the call succeeds
    QTest::newRow("server not running at start") << "down at start"
                                                 << "无法连接数据库服务器";
    QTest::newRow("server stopped between two calls") << "down between calls"
                                                      << "无法连接数据库服务器";
    QTest::newRow("server restarted between two calls") << "restart between calls"
                                                        << "";
    QTest::newRow("connection dropped during an upload") << "drop during upload"
                                                         << "连接已断开";
}

// Each fault is one failed answer that says what happened; nothing of the upload stays, and the
// same service serves again by itself once the server is back.
void TestPostgresDataService::faultEndsInOneClearError()
{
    QFETCH(QString, fault);
    QFETCH(QString, message);
    const QString database = CPgTestServer::databaseOf(m_uri);
    CEmbeddedDataService service(m_uri);
    if (fault == "down at start") {
        QVERIFY(CPgTestServer::control("halt"));
    } else {
        QVERIFY(operate(service, uniformRows(10, 0.1)).isSuccess());
    }
    const QPair<int, double> before = fault == "down at start" ? qMakePair(-1, -1.0) : citic(service);

    utils::RQError error;
    if (fault == "down at start" || fault == "down between calls") {
        if (fault == "down between calls")
            QVERIFY(CPgTestServer::control("halt"));
        error = operate(service, uniformRows(5, 0.9));
        QVERIFY(CPgTestServer::control("resume"));
    } else if (fault == "restart between calls") {
        QVERIFY(CPgTestServer::control("restart"));
        error = operate(service, uniformRows(5, 0.9));
    } else {
        // The upload stops on its third row until its connection is cut.
        QVERIFY(CPgTestServer::exec(
            database, {"CREATE FUNCTION stall() RETURNS trigger LANGUAGE plpgsql AS "
                       "$$ BEGIN IF NEW.line_no = 3 THEN PERFORM pg_sleep(60); END IF; RETURN NEW; END $$",
                       "CREATE TRIGGER stall BEFORE INSERT ON ratios FOR EACH ROW EXECUTE FUNCTION stall()"}));
        const auto pending = startUpload(service, uniformRows(5, 0.9));
        const QString stalled = QStringLiteral("SELECT count(*) FROM pg_stat_activity WHERE datname = '%1' "
                                               "AND wait_event = 'PgSleep'")
                                    .arg(database);
        QTRY_COMPARE_WITH_TIMEOUT(CPgTestServer::scalar("postgres", stalled), QString("1"), 30000);
        QVERIFY(
            CPgTestServer::exec("postgres", {QStringLiteral("SELECT pg_terminate_backend(pid) FROM pg_stat_activity "
                                                            "WHERE datname = '%1' AND wait_event = 'PgSleep'")
                                                 .arg(database)}));
        service.waitIdle();
        QCOMPARE(pending->answers.load(), 1);
        error = pending->error;
        QVERIFY(CPgTestServer::exec(database, {"DROP TRIGGER stall ON ratios"}));
    }

    if (message.isEmpty()) {
        QVERIFY2(error.isSuccess(), error.errorMsg().c_str());
        QCOMPARE(citic(service), qMakePair(5, 0.9));
        return;
    }
    QVERIFY(!error.isSuccess());
    QVERIFY2(QString::fromStdString(error.errorMsg()).contains(message), error.errorMsg().c_str());
    QVERIFY2(!QString::fromStdString(error.errorMsg()).contains("secret"), error.errorMsg().c_str());
    if (fault == "down at start") {
        QCOMPARE(CPgTestServer::scalar(database, "SELECT count(*) FROM pg_tables WHERE schemaname = 'public'"),
                 QString("0"));
    } else {
        QCOMPARE(citic(service), before);
        QCOMPARE(CPgTestServer::scalar(database, "SELECT count(*) FROM ratios WHERE ratio = 0.9"), QString("0"));
    }
    QVERIFY(operate(service, uniformRows(7, 0.8)).isSuccess());
    QCOMPARE(citic(service), qMakePair(7, 0.8));
}

void TestPostgresDataService::badConnectionRefused_data()
{
    QTest::addColumn<QString>("uri");
    QTest::addColumn<QString>("message");
    QTest::newRow("wrong password") << "password"
                                    << "用户名或密码错误";
    QTest::newRow("database missing") << "database"
                                      << "不存在";
    QTest::newRow("no server at that place") << "socket"
                                             << "无法连接数据库服务器";
}

// A connection that cannot be made is one answer that says why, and shows no password.
void TestPostgresDataService::badConnectionRefused()
{
    QFETCH(QString, uri);
    QFETCH(QString, message);
    const QString database = CPgTestServer::databaseOf(m_uri);
    QString location = CPgTestServer::uriWithPassword(database, "wrongsecret");
    if (uri == "database") {
        location = CPgTestServer::uriWithPassword("nosuchdb", "secret");
    } else if (uri == "socket") {
        location = QStringLiteral("postgresql://credit:secret@/%1?host=/nonexistent/dir").arg(database);
    }
    CEmbeddedDataService service(location);
    for (const utils::RQError& error : {query(service, 12294).error, operate(service, uniformRows(3, 0.5))}) {
        QVERIFY(!error.isSuccess());
        const QString text = QString::fromStdString(error.errorMsg());
        QVERIFY2(text.contains(message), qPrintable(text));
        QVERIFY2(!text.contains("secret"), qPrintable(text));
    }
    QCOMPARE(CPgTestServer::scalar(database, "SELECT count(*) FROM pg_tables WHERE schemaname = 'public'"),
             QString("0"));
}

QTEST_GUILESS_MAIN(TestPostgresDataService)
#include "tst_postgresdataservice.moc"
