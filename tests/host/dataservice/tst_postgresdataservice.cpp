// The embedded data service as several programs share it on one PostgreSQL server: readers
// during an upload, and a server that is down, frozen, killed, restarted or refuses.
#include "embeddeddataservice.h"
#include "pgtestserver.h"
#include "servicecalls.h"
#include "standinservice.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
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

    // While large uploads go in, every read of the detail is one upload whole: the old one or a new one.
    void readerSeesWholeUploads()
    {
        CEmbeddedDataService writer(m_uri);
        CEmbeddedDataService reader(m_uri);
        QVERIFY(operate(writer, uniformRows(100, 0.1)).isSuccess());
        QStringList whole{"100 x 0.1"};
        std::vector<boost::shared_ptr<testsupport::PendingUpload>> uploads;
        for (int i = 0; i < 4; ++i) {
            uploads.push_back(startUpload(writer, uniformRows(20000 + i, 0.2 + i * 0.1)));
            whole << QStringLiteral("%1 x %2").arg(20000 + i).arg(0.2 + i * 0.1);
        }
        QSet<QString> seen;
        while (uploads.back()->answers.load() == 0) {
            const QString shown = citicDetail(reader);
            QVERIFY2(whole.contains(shown), qPrintable(shown));
            seen.insert(shown);
        }
        writer.waitIdle();
        for (const auto& u : uploads)
            QVERIFY2(u->error.isSuccess(), u->error.errorMsg().c_str());
        QCOMPARE(citicDetail(reader), whole.last());
        QVERIFY(!seen.isEmpty());
    }

    void faultEndsInOneClearError_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<bool>("query");      // the call under the fault: a summary query, else an upload
        QTest::addColumn<QString>("message"); // empty: the call succeeds
        const QString late = QStringLiteral("数据库未在 4 秒内应答, 未做任何改动");
        QTest::newRow("server not running at start")
            << "down at start" << false << QStringLiteral("无法连接数据库服务器");
        QTest::newRow("server stopped between two calls")
            << "down between calls" << false << QStringLiteral("无法连接数据库服务器");
        QTest::newRow("server restarted between two calls") << "restart between calls" << false << QString();
        QTest::newRow("connection dropped during an upload")
            << "drop during upload" << false << QStringLiteral("连接已断开");
        QTest::newRow("server process killed during an upload")
            << "kill during upload" << false << QStringLiteral("连接已断开");
        QTest::newRow("server frozen during an upload") << "freeze during upload" << false << late;
        QTest::newRow("server frozen between two calls, an upload") << "freeze between calls" << false << late;
        QTest::newRow("server frozen between two calls, a query")
            << "freeze between calls" << true << QStringLiteral("数据库未在 2 秒内应答, 未做任何改动");
    }

    // Each fault is one failed answer that says what happened, within the call's time limit;
    // nothing of the upload stays, and the same service serves again by itself once the server is back.
    void faultEndsInOneClearError()
    {
        QFETCH(QString, fault);
        QFETCH(bool, query);
        QFETCH(QString, message);
        const testsupport::ScopedTimeouts limits(2000, 4000);
        const QString database = CPgTestServer::databaseOf(m_uri);
        CEmbeddedDataService service(m_uri);
        if (fault == "down at start")
            QVERIFY(CPgTestServer::control("halt"));
        else
            QVERIFY(operate(service, uniformRows(10, 0.1)).isSuccess());
        const QString before = fault == "down at start" ? QString() : citicDetail(service);
        // The fault comes while the upload waits on its third row.
        const bool stalled = fault.endsWith("during upload");
        if (stalled) {
            QVERIFY(CPgTestServer::exec(
                database, {"CREATE FUNCTION stall() RETURNS trigger LANGUAGE plpgsql AS "
                           "$$ BEGIN IF NEW.line_no = 3 THEN PERFORM pg_sleep(60); END IF; RETURN NEW; END $$",
                           "CREATE TRIGGER stall BEFORE INSERT ON ratios FOR EACH ROW EXECUTE FUNCTION stall()",
                           // What is committed so far survives a crash even without waiting for the disk.
                           "CHECKPOINT"}));
        }
        const QString server = fault == "freeze between calls" ? "freeze" : fault == "down between calls" ? "halt" : "";
        if (!server.isEmpty() || fault == "restart between calls")
            QVERIFY(CPgTestServer::control(server.isEmpty() ? "restart" : server));

        QElapsedTimer clock;
        clock.start();
        utils::RQError error;
        if (query) {
            error = testsupport::queryService(service, 12294).error;
        } else if (!stalled) {
            error = operate(service, uniformRows(5, 0.9));
        } else {
            const auto pending = startUpload(service, uniformRows(5, 0.9));
            const QString sleeper = QStringLiteral("SELECT pid FROM pg_stat_activity WHERE datname = '%1' "
                                                   "AND wait_event = 'PgSleep'")
                                        .arg(database);
            QTRY_VERIFY_WITH_TIMEOUT(!CPgTestServer::scalar("postgres", sleeper).isEmpty(), 2000);
            // Killed, the server resets every connection and recovers, as after a crash.
            if (fault == "drop during upload")
                QVERIFY(CPgTestServer::exec(
                    "postgres", {QStringLiteral("SELECT pg_terminate_backend(pid) FROM (%1) s").arg(sleeper)}));
            else if (fault == "kill during upload")
                QCOMPARE(::kill(CPgTestServer::scalar("postgres", sleeper).toInt(), SIGKILL), 0);
            else
                QVERIFY(CPgTestServer::control("freeze"));
            service.waitIdle();
            QCOMPARE(pending->answers.load(), 1);
            error = pending->error;
        }
        const qint64 waited = clock.elapsed();
        if (fault.startsWith("freeze"))
            QVERIFY(CPgTestServer::control("thaw"));
        else if (fault == "down at start" || fault == "down between calls")
            QVERIFY(CPgTestServer::control("resume"));
        // Crash recovery replays the log: under a sanitizer on a loaded machine it has taken over 30 s.
        QTRY_COMPARE_WITH_TIMEOUT(CPgTestServer::scalar("postgres", "SELECT 1"), QString("1"), 180000);
        if (stalled)
            QVERIFY(CPgTestServer::exec(database, {"DROP TRIGGER stall ON ratios"}));

        QVERIFY2(waited < (query ? 2000 : 4000) + testsupport::kAnswerSlackMs, qPrintable(QString::number(waited)));
        if (message.isEmpty()) {
            QVERIFY2(error.isSuccess(), error.errorMsg().c_str());
            QCOMPARE(citicDetail(service), QString("5 x 0.9"));
            return;
        }
        QVERIFY(!error.isSuccess());
        QVERIFY2(QString::fromStdString(error.errorMsg()).contains(message), error.errorMsg().c_str());
        QVERIFY2(!QString::fromStdString(error.errorMsg()).contains("secret"), error.errorMsg().c_str());
        if (fault == "down at start")
            QCOMPARE(CPgTestServer::scalar(database, "SELECT count(*) FROM pg_tables WHERE schemaname = 'public'"),
                     QString("0"));
        else
            QCOMPARE(citicDetail(service) +
                         CPgTestServer::scalar(database, "SELECT count(*) FROM ratios WHERE ratio = 0.9"),
                     before + "0");
        QVERIFY(operate(service, uniformRows(7, 0.8)).isSuccess());
        QCOMPARE(citicDetail(service), QString("7 x 0.8"));
    }

    void badConnectionRefused_data()
    {
        QTest::addColumn<QString>("uri");
        QTest::addColumn<QString>("message");
        QTest::newRow("wrong password") << "password" << QStringLiteral("用户名或密码错误");
        QTest::newRow("database missing") << "database" << QStringLiteral("不存在");
        QTest::newRow("no server at that place") << "socket" << QStringLiteral("无法连接数据库服务器");
    }

    // A connection that cannot be made is one answer that says why, and shows no password.
    void badConnectionRefused()
    {
        QFETCH(QString, uri);
        QFETCH(QString, message);
        const QString database = CPgTestServer::databaseOf(m_uri);
        QString location = CPgTestServer::uriWithPassword(database, "wrongsecret");
        if (uri == "database")
            location = CPgTestServer::uriWithPassword("nosuchdb", "secret");
        else if (uri == "socket")
            location = QStringLiteral("postgresql://credit:secret@/%1?host=/nonexistent/dir").arg(database);
        CEmbeddedDataService service(location);
        for (const utils::RQError& error :
             {testsupport::queryService(service, 12294).error, operate(service, uniformRows(3, 0.5))}) {
            QVERIFY(!error.isSuccess());
            const QString text = QString::fromStdString(error.errorMsg());
            QVERIFY2(text.contains(message), qPrintable(text));
            QVERIFY2(!text.contains("secret"), qPrintable(text));
        }
        QCOMPARE(CPgTestServer::scalar(database, "SELECT count(*) FROM pg_tables WHERE schemaname = 'public'"),
                 QString("0"));
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
        const QString psql = QStandardPaths::findExecutable(QStringLiteral("psql"));
        QVERIFY2(!psql.isEmpty(), "psql runs the administrator's script (scripts/setup.sh installs postgresql)");
        static int counter = 0;
        const QString prefix = QStringLiteral("r%1_%2").arg(QCoreApplication::applicationPid()).arg(++counter);
        QProcess admin;
        admin.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QStringList args{"-h", CPgTestServer::socketDir(), "-U", "postgres", "-d", "postgres", "-q"};
        args << "-f" << QStringLiteral(SOURCE_DIR "/scripts/pg-roles.sql");
        for (const char* role : {"db=%1", "owner=%1_owner", "owner_password=owner-pw", "uploader=%1_uploader",
                                 "uploader_password=uploader-pw", "viewer=%1_viewer", "viewer_password=viewer-pw"})
            args << "-v" << QString(role).replace("%1", prefix);
        admin.start(psql, args);
        QVERIFY(admin.waitForFinished(60000));
        QCOMPARE(admin.exitCode(), 0);
        // Each account is the role <prefix>_<account>, its password <account>-pw.
        const auto uri = [&](const QString& as) {
            return QStringLiteral("postgresql://%1_%2:%2-pw@/%1?host=%3").arg(prefix, as, CPgTestServer::socketDir());
        };
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
    QString m_uri;
};

QTEST_GUILESS_MAIN(TestPostgresDataService)
#include "tst_postgresdataservice.moc"
