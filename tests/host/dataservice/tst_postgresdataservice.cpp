// The embedded data service on one PostgreSQL server that is down, frozen, killed or restarted,
// and under each of the team's accounts.
#include "embeddeddataservice.h"
#include "pgtestserver.h"
#include "servicecalls.h"
#include "standinservice.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QStandardPaths>
#include <QtTest>

#include <signal.h>

using rqservice::CEmbeddedDataService;
using testsupport::citicDetail;
using testsupport::CPgTestServer;
using testsupport::uniformRows;

namespace {

boost::shared_ptr<testsupport::PendingUpload> startUpload(CEmbeddedDataService& service,
                                                          const testsupport::SubjectRows& rows)
{
    return testsupport::startUpload(service, testsupport::uploadRequest(1, "CITIC", rows));
}

utils::RQError operate(CEmbeddedDataService& service, const testsupport::SubjectRows& rows)
{
    return testsupport::operateService(service, testsupport::uploadRequest(1, "CITIC", rows));
}

// Does fault to the backend of pid (terminate, kill) or, in pgcluster.sh's word, to the whole server.
bool strike(const QString& fault, int pid)
{
    if (fault == QLatin1String("terminate"))
        return ::kill(pid, SIGTERM) == 0; // as pg_terminate_backend does
    if (fault == QLatin1String("kill"))
        return ::kill(pid, SIGKILL) == 0;
    return CPgTestServer::control(fault);
}

} // namespace

class TestPostgresDataService : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        if (!CPgTestServer::available())
            QFAIL("needs the server of tests/pg/pgcluster.sh (PGTEST_STATE)");
    }

    void init()
    {
        m_uri = CPgTestServer::createDatabase();
        QVERIFY(!m_uri.isEmpty());
    }

    void cleanup()
    {
        // A fault case that failed half-way must not leave the server frozen or down for the next one.
        CPgTestServer::control(QStringLiteral("thaw"));
        if (CPgTestServer::scalar(QStringLiteral("postgres"), QStringLiteral("SELECT 1")) != QLatin1String("1"))
            QVERIFY(CPgTestServer::control(QStringLiteral("resume")));
    }

    void faultBetweenCallsEndsInOneClearError_data()
    {
        QTest::addColumn<bool>(
            "uploadFirst");                 // an upload lands before the fault; else the server is down from the start
        QTest::addColumn<QString>("fault"); // pgcluster.sh's word for what is done to the server
        QTest::addColumn<QString>("recovery"); // its word that brings the server back; none: it comes back by itself
        QTest::addColumn<bool>("query");       // the call under the fault: a summary query, else an upload
        QTest::addColumn<QString>("message");  // empty: the call succeeds
        QTest::newRow("server not running at start") << false << "halt"
                                                     << "resume" << false << QStringLiteral("无法连接数据库服务器");
        QTest::newRow("server stopped between two calls")
            << true << "halt"
            << "resume" << false << QStringLiteral("无法连接数据库服务器");
        QTest::newRow("server restarted between two calls") << true << "restart"
                                                            << "" << false << QString();
        QTest::newRow("server frozen between two calls, an upload")
            << true << "freeze"
            << "thaw" << false << QStringLiteral("数据库未在 4 秒内应答, 未做任何改动");
        QTest::newRow("server frozen between two calls, a query")
            << true << "freeze"
            << "thaw" << true << QStringLiteral("数据库未在 2 秒内应答, 未做任何改动");
    }

    // Each fault is one failed answer that says what happened, within the call's time limit;
    // nothing of the upload stays, and the same service serves again by itself once the server is back.
    void faultBetweenCallsEndsInOneClearError()
    {
        QFETCH(bool, uploadFirst);
        QFETCH(QString, fault);
        QFETCH(QString, recovery);
        QFETCH(bool, query);
        QFETCH(QString, message);
        const testsupport::ScopedTimeouts limits(2000, 4000);
        CEmbeddedDataService service(m_uri);
        QVERIFY(!uploadFirst || operate(service, uniformRows(10, 0.1)).isSuccess());
        const QString before = uploadFirst ? citicDetail(service) : QString();
        QVERIFY(CPgTestServer::control(fault));
        QElapsedTimer clock;
        clock.start();
        const utils::RQError error =
            query ? testsupport::queryService(service, 12294).error : operate(service, uniformRows(5, 0.9));
        const qint64 waited = clock.elapsed();
        QVERIFY(recovery.isEmpty() || CPgTestServer::control(recovery));
        QTRY_COMPARE_WITH_TIMEOUT(CPgTestServer::scalar("postgres", "SELECT 1"), QString("1"), 180000);
        QVERIFY2(waited < (query ? 2000 : 4000) + testsupport::kAnswerSlackMs, qPrintable(QString::number(waited)));
        endsInOneClearError(service, error, message, before);
    }

    void faultWhileUploadWaitsEndsInOneClearError_data()
    {
        QTest::addColumn<QString>("fault");    // to the server (pgcluster.sh's word) or to the upload's backend
        QTest::addColumn<QString>("recovery"); // pgcluster.sh's word that brings the server back; none: by itself
        QTest::addColumn<QString>("message");
        QTest::newRow("connection dropped") << "terminate"
                                            << "" << QStringLiteral("连接已断开");
        // Killed, the server resets every connection and recovers, as after a crash.
        QTest::newRow("server process killed") << "kill"
                                               << "" << QStringLiteral("连接已断开");
        QTest::newRow("server frozen") << "freeze"
                                       << "thaw" << QStringLiteral("数据库未在 4 秒内应答, 未做任何改动");
    }

    // The fault comes while the upload waits on its third row: one failed answer within the
    // upload's limit, none of its rows kept, and the next upload of the same service lands.
    void faultWhileUploadWaitsEndsInOneClearError()
    {
        QFETCH(QString, fault);
        QFETCH(QString, recovery);
        QFETCH(QString, message);
        const testsupport::ScopedTimeouts limits(2000, 4000);
        const QString database = CPgTestServer::databaseOf(m_uri);
        CEmbeddedDataService service(m_uri);
        QVERIFY(operate(service, uniformRows(10, 0.1)).isSuccess());
        const QString before = citicDetail(service);
        QVERIFY(CPgTestServer::exec(
            database, {"CREATE FUNCTION stall() RETURNS trigger LANGUAGE plpgsql AS "
                       "$$ BEGIN IF NEW.line_no = 3 THEN PERFORM pg_sleep(60); END IF; RETURN NEW; END $$",
                       "CREATE TRIGGER stall BEFORE INSERT ON ratios FOR EACH ROW EXECUTE FUNCTION stall()",
                       // What is committed so far survives a crash even without waiting for the disk.
                       "CHECKPOINT"}));
        QElapsedTimer clock;
        clock.start();
        const auto pending = startUpload(service, uniformRows(5, 0.9));
        const QString sleeper =
            QStringLiteral("SELECT pid FROM pg_stat_activity WHERE datname = '%1' AND wait_event = 'PgSleep'")
                .arg(database);
        QTRY_VERIFY_WITH_TIMEOUT(!CPgTestServer::scalar("postgres", sleeper).isEmpty(), 2000);
        QVERIFY(strike(fault, CPgTestServer::scalar("postgres", sleeper).toInt()));
        service.waitIdle();
        const qint64 waited = clock.elapsed();
        QCOMPARE(pending->answers.load(), 1);
        QVERIFY(recovery.isEmpty() || CPgTestServer::control(recovery));
        // Crash recovery replays the log: under a sanitizer on a loaded machine it has taken over 30 s.
        QTRY_COMPARE_WITH_TIMEOUT(CPgTestServer::scalar("postgres", "SELECT 1"), QString("1"), 180000);
        QVERIFY(CPgTestServer::exec(database, {"DROP TRIGGER stall ON ratios"}));
        QVERIFY2(waited < 4000 + testsupport::kAnswerSlackMs, qPrintable(QString::number(waited)));
        endsInOneClearError(service, pending->error, message, before);
    }

    void accountsKeepToTheirRights_data()
    {
        QTest::addColumn<QString>("account");  // connecting as the owner, the uploader or the viewer
        QTest::addColumn<bool>("tablesFirst"); // the owner has made the tables before
        QTest::addColumn<QString>("read");     // the summary's outcome: "ok" or part of the message
        QTest::addColumn<QString>("uploaded"); // the upload's outcome: "ok" or part of the message
        const QString noRight = QStringLiteral("无权上传: 该数据库账号只能查询, 未做任何改动");
        const QString notMade = QStringLiteral("请先用数据库所有者账号打开一次");
        const QString ok("ok");
        QTest::newRow("owner, new database") << "owner" << false << ok << ok;
        QTest::newRow("uploader") << "uploader" << true << ok << ok;
        QTest::newRow("viewer") << "viewer" << true << ok << noRight;
        QTest::newRow("uploader, before the tables exist") << "uploader" << false << notMade << notMade;
        QTest::newRow("viewer, before the tables exist") << "viewer" << false << notMade << notMade;
    }

    // The accounts scripts/pg-roles.sql makes: the owner creates the tables; once they exist the
    // uploader reads and uploads with no more rights than its own, recorded as its user; the viewer
    // reads, and its upload ends at once with the client's message, nothing stored, the connection
    // still good for the next query. Neither makes tables in a database the owner has not opened.
    void accountsKeepToTheirRights()
    {
        QFETCH(QString, account);
        QFETCH(bool, tablesFirst);
        QFETCH(QString, read);
        QFETCH(QString, uploaded);
        static int counter = 0;
        const QString prefix = QStringLiteral("r%1_%2").arg(QCoreApplication::applicationPid()).arg(++counter);
        QVERIFY2(CPgTestServer::makeTeamDatabase(prefix),
                 "psql runs scripts/pg-roles.sql (scripts/setup.sh installs it)");
        const auto uri = [&](const QString& as) { return CPgTestServer::teamUri(prefix, as); };
        if (tablesFirst) {
            CEmbeddedDataService owner(uri("owner"));
            QCOMPARE(testsupport::outcomeText(testsupport::queryService(owner, 12294).error), QString("ok"));
        }
        const auto uploads = [&] { return CPgTestServer::scalar(prefix, "SELECT count(*) FROM uploads").toInt(); };
        const int before = tablesFirst ? uploads() : 0;

        standin::setUserName(account);
        CEmbeddedDataService service(uri(account));
        const QString summary = testsupport::outcomeText(testsupport::queryService(service, 12294).error);
        const testsupport::TimedCall upload =
            testsupport::timedUpload(service, testsupport::uploadRequest(1, "CITIC", uniformRows(4, 0.4)));
        standin::setUserName("demo");
        QVERIFY2(summary.contains(read), qPrintable(summary));
        QVERIFY2(upload.outcome.contains(uploaded), qPrintable(upload.outcome));
        if (!tablesFirst && account != "owner") {
            QCOMPARE(CPgTestServer::scalar(prefix, "SELECT count(*) FROM pg_tables WHERE schemaname = 'public'"),
                     QString("0"));
            return;
        }
        if (uploaded != "ok") {
            QVERIFY2(upload.answeredMs < 1000, qPrintable(QString::number(upload.answeredMs)));
            QCOMPARE(uploads(), before);
            QCOMPARE(citicDetail(service).section(' ', 1), QString("x -1")); // the demo's rows, still readable
            return;
        }
        QCOMPARE(citicDetail(service), QString("4 x 0.4"));
        // The login's own name, whatever the client says; the client's word beside it.
        QCOMPARE(CPgTestServer::scalar(prefix, "SELECT user_name || ' ' || client_user FROM uploads "
                                               "ORDER BY id DESC LIMIT 1"),
                 prefix + "_" + account + " " + account);
    }

private:
    // The fault's call answered as message says (empty: it succeeded); a failed one kept none of
    // its rows, named no password, and the next upload lands.
    void endsInOneClearError(CEmbeddedDataService& service, const utils::RQError& error, const QString& message,
                             const QString& before)
    {
        if (message.isEmpty()) {
            QVERIFY2(error.isSuccess(), error.errorMsg().c_str());
            QCOMPARE(citicDetail(service), QString("5 x 0.9"));
            return;
        }
        const QString text = QString::fromStdString(error.errorMsg());
        QVERIFY(!error.isSuccess());
        QVERIFY2(text.contains(message) && !text.contains("secret"), qPrintable(text));
        const QString database = CPgTestServer::databaseOf(m_uri);
        if (before.isEmpty()) // the tables were never made
            QCOMPARE(CPgTestServer::scalar(database, "SELECT count(*) FROM pg_tables WHERE schemaname = 'public'"),
                     QString("0"));
        else
            QCOMPARE(citicDetail(service) +
                         CPgTestServer::scalar(database, "SELECT count(*) FROM ratios WHERE ratio = 0.9"),
                     before + "0");
        QVERIFY(operate(service, uniformRows(7, 0.8)).isSuccess());
        QCOMPARE(citicDetail(service), QString("7 x 0.8"));
    }

    QString m_uri;
};

QTEST_GUILESS_MAIN(TestPostgresDataService)
#include "tst_postgresdataservice.moc"
