// What the database itself holds against a careless or hostile member of the team, whatever the
// client: statements an uploader or a viewer could type into psql, each with the database's own
// answer, beside two databases that share one server; and the connection string as libpq reads it.
#include "embeddeddataservice.h"
#include "pgtestserver.h"
#include "servicecalls.h"
#include "standinservice.h"

#include <QCoreApplication>
#include <QDir>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

using rqservice::CEmbeddedDataService;
using testsupport::CPgTestServer;

namespace {

// The team database db with its tables, made by its owner, who grants what the groups may do.
bool makeTeamDatabase(const QString& db)
{
    if (!CPgTestServer::makeTeamDatabase(db))
        return false;
    CEmbeddedDataService owner(CPgTestServer::teamUri(db, "owner"));
    return testsupport::queryService(owner, 12294).error.isSuccess();
}

} // namespace

class TestPostgresPrivileges : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        if (!CPgTestServer::available())
            QFAIL("needs the server of tests/pg/pgcluster.sh (PGTEST_STATE)");
        m_a = QStringLiteral("pa%1").arg(QCoreApplication::applicationPid());
        m_b = QStringLiteral("pb%1").arg(QCoreApplication::applicationPid());
        QVERIFY(makeTeamDatabase(m_a));
        QVERIFY(makeTeamDatabase(m_b));
        CEmbeddedDataService uploader(CPgTestServer::teamUri(m_a, "uploader"));
        QVERIFY(testsupport::operateService(uploader,
                                            testsupport::uploadRequest(1, "CITIC", testsupport::uniformRows(3, 0.5)))
                    .isSuccess());
    }

    void statementRefused_data()
    {
        QTest::addColumn<QString>("account");        // up or view, of database A; "b:" first: into database B
        QTest::addColumn<QStringList>("statements"); // one transaction; %a: A's name
        QTest::addColumn<QString>("answer");         // the SQLSTATE of the first failure, else "=" and the last value
        // Broker 2's, so that the upload of broker 1 made after each row does not wait for it.
        const QString upload = QStringLiteral("SELECT credit_upload(2, 'carol', NULL, '{上交所,深交所}', "
                                              "'{600001,000001}', '{甲,乙}', '{0.5,0.6}')");
        const QString last = QStringLiteral("SELECT user_name || ' ' || client_user || ' ' || row_count || ' ' || "
                                            "(id < 1000) FROM uploads ORDER BY id DESC LIMIT 1");
        const auto row = [](const char* name, const char* account, const QStringList& statements,
                            const QString& answer) { QTest::newRow(name) << QString(account) << statements << answer; };
        row("explicit id", "uploader",
            {"INSERT INTO uploads (id, broker_key_no, upload_date, upload_time) OVERRIDING SYSTEM VALUE "
             "VALUES (9223372036854775000, 1, '20991231', '000000')"},
            "42501");
        row("a ratio under another upload", "uploader",
            {"INSERT INTO ratios SELECT max(id), 999, '上交所', '600000', 'x', 0.5 FROM uploads"}, "42501");
        row("forged user and count", "uploader",
            {"INSERT INTO uploads (broker_key_no, upload_date, upload_time, user_name, row_count) "
             "VALUES (1, '20240101', '090000', 'carol', 5)"},
            "42501");
        row("update a user", "uploader", {"UPDATE uploads SET user_name = 'carol'"}, "42501");
        row("delete ratios", "uploader", {"DELETE FROM ratios"}, "42501");
        row("truncate uploads", "uploader", {"TRUNCATE uploads"}, "42501");
        row("viewer's insert", "viewer",
            {"INSERT INTO uploads (broker_key_no, upload_date, upload_time) VALUES (1, '20240101', '090000')"},
            "42501");
        row("viewer's delete", "viewer", {"DELETE FROM uploads"}, "42501");
        row("schema version changed", "uploader", {"UPDATE credit_schema SET version = 9"}, "42501");
        row("broker row lock", "uploader", {"SELECT 1 FROM brokers WHERE broker_key_no = 1 FOR UPDATE"}, "42501");
        row("broker row lock, viewer", "viewer", {"SELECT 1 FROM brokers FOR SHARE"}, "42501");
        row("schema row lock", "viewer", {"SELECT 1 FROM credit_schema FOR UPDATE"}, "42501");
        row("table lock", "uploader", {"LOCK TABLE brokers IN EXCLUSIVE MODE"}, "42501");
        row("viewer's upload", "viewer", {upload}, "42501");
        row("uploader's own role made a member of the other group", "uploader", {"SET ROLE %b_uploaders"}, "42501");
        row("the other database", "b:uploader", {"SELECT 1"}, "no connect");
        row("the other database, viewer", "b:viewer", {"SELECT count(*) FROM ratios"}, "no connect");
        row("not a number", "uploader",
            {"SELECT credit_upload(1, NULL, NULL, '{上交所}', '{600001}', '{甲}', '{NaN}')"}, "22023");
        row("out of range", "uploader",
            {"SELECT credit_upload(1, NULL, NULL, '{上交所,上交所}', '{600001,600002}', '{甲,乙}', '{-5,1e308}')"},
            "22023");
        row("one security twice", "uploader",
            {"SELECT credit_upload(1, NULL, NULL, '{上交所,上交所}', '{600001,600001}', '{甲,甲}', '{0.5,0.6}')"},
            "22023");
        row("restoring another broker's upload", "uploader",
            {"SELECT credit_upload(2, NULL, (SELECT max(id) FROM uploads WHERE broker_key_no = 1), '{上交所}', "
             "'{600001}', '{甲}', '{0.5}')"},
            "22023");
        row("the function records the login, the server's count", "uploader", {upload, last},
            "=%a_uploader carol 2 true");
        // Allowed, and nothing another upload waits for.
        row("advisory locks", "viewer",
            {"SELECT pg_advisory_lock(1297370739)", "SELECT pg_advisory_lock(1297370739, 1)", "SELECT 'held'"},
            "=held");
        row("reading in an open transaction", "viewer",
            {"LOCK TABLE brokers IN ACCESS SHARE MODE", "SELECT count(*) > 0 FROM ratios"}, "=true");
    }

    // Each statement gets the database's own answer, and while its session stays open an upload
    // by the service as another uploader goes through at once.
    void statementRefused()
    {
        QFETCH(QString, account);
        QFETCH(QStringList, statements);
        QFETCH(QString, answer);
        const bool other = account.startsWith("b:");
        const QString role = m_a + "_" + account.section(':', -1); // A's, also into B
        const QString database = other ? m_b : m_a;
        QString got;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QStringLiteral("hostile"));
            db.setHostName(CPgTestServer::socketDir());
            db.setDatabaseName(database);
            db.setUserName(role);
            db.setPassword("pw");
            if (!db.open()) {
                got = db.lastError().text().contains("permission denied for database") ? "no connect"
                                                                                       : db.lastError().text();
            } else {
                QSqlQuery q(db);
                q.exec(QStringLiteral("BEGIN"));
                for (const QString& sql : statements) {
                    if (!q.exec(QString(sql).replace("%a", m_a).replace("%b", m_b))) {
                        got = q.lastError().nativeErrorCode();
                        break;
                    }
                    got = q.next() ? "=" + q.value(0).toString() : QStringLiteral("=");
                }
                // Still open: what it holds is held while another member uploads.
                const testsupport::ScopedTimeouts limits(2000, 3000);
                CEmbeddedDataService uploader(CPgTestServer::teamUri(m_a, "uploader"));
                const utils::RQError error = testsupport::operateService(
                    uploader, testsupport::uploadRequest(1, "CITIC", testsupport::uniformRows(2, 0.25)));
                QVERIFY2(error.isSuccess(), error.errorMsg().c_str());
                q.exec(QStringLiteral("ROLLBACK"));
            }
            db.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("hostile"));
        QCOMPARE(got, QString(answer).replace("%a", m_a));
    }

    // A broker held by an upload still open: another upload of that broker waits its time and
    // then names who holds it; another broker's goes on at once.
    void heldBrokerNamesItsHolder()
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QStringLiteral("holder"));
        db.setHostName(CPgTestServer::socketDir());
        db.setDatabaseName(m_a);
        db.setUserName(m_a + "_uploader");
        db.setPassword("pw");
        db.setConnectOptions(QStringLiteral("application_name=night-batch"));
        QVERIFY(db.open());
        QSqlQuery q(db);
        QVERIFY(q.exec("BEGIN"));
        QVERIFY2(q.exec("SELECT credit_upload(1, NULL, NULL, '{上交所}', '{600009}', '{甲}', '{0.5}')"),
                 qPrintable(q.lastError().text()));
        QString held;
        QString free;
        {
            const testsupport::ScopedTimeouts limits(2000, 2000);
            CEmbeddedDataService uploader(CPgTestServer::teamUri(m_a, "uploader"));
            held = testsupport::outcomeText(testsupport::operateService(
                uploader, testsupport::uploadRequest(1, "CITIC", testsupport::uniformRows(2, 0.25))));
            free = testsupport::outcomeText(testsupport::operateService(
                uploader, testsupport::uploadRequest(2, "HTSC", testsupport::uniformRows(2, 0.25))));
        }
        q.exec("ROLLBACK");
        db.close();
        q = QSqlQuery();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(QStringLiteral("holder"));
        QVERIFY2(held.contains("该券商的另一次上传正在进行") &&
                     held.contains("占用者: " + m_a + "_uploader (night-batch)"),
                 qPrintable(held));
        QCOMPARE(free, QString("ok"));
    }

    void restoreNeedsTheUploadRight_data()
    {
        QTest::addColumn<QString>("account"); // of database A
        QTest::addColumn<QString>("outcome"); // "ok", or part of the message
        QTest::newRow("uploader") << QString("uploader") << QString("ok");
        QTest::newRow("viewer") << QString("viewer") << QString("无权上传");
    }

    // A restore goes through the upload's own function: an uploader's is recorded as its login's
    // and as restored from the upload, a viewer's is refused by the database and stores nothing.
    void restoreNeedsTheUploadRight()
    {
        QFETCH(QString, account);
        QFETCH(QString, outcome);
        const QString first = CPgTestServer::scalar(m_a, "SELECT min(id) FROM uploads WHERE broker_key_no = 1");
        const QString count = QStringLiteral("SELECT count(*) FROM uploads");
        const QString before = CPgTestServer::scalar(m_a, count);
        CEmbeddedDataService service(CPgTestServer::teamUri(m_a, account));
        const testsupport::RestoreOutcome restored =
            testsupport::restoreUpload(service, "1____CITIC", first.toLongLong());
        QVERIFY2(testsupport::outcomeText(restored.error).contains(outcome),
                 qPrintable(testsupport::outcomeText(restored.error)));
        if (outcome != "ok") {
            QCOMPARE(CPgTestServer::scalar(m_a, count), before);
            return;
        }
        QCOMPARE(CPgTestServer::scalar(m_a, QStringLiteral("SELECT user_name || ' ' || restored_from FROM uploads "
                                                           "WHERE id = %1")
                                                .arg(restored.uploadId)),
                 m_a + "_uploader " + first);
    }

    void locationAsLibpqReadsIt_data()
    {
        QTest::addColumn<QString>("location"); // %h: the socket folder, %d: database A
        QTest::addColumn<QString>("outcome");  // "ok", or part of the summary's message
        // name, location, outcome
        const char* const rows[][3] = {
            {"as given", "postgresql://%d_viewer:pw@/%d?host=%h", "ok"},
            {"a primary refused as a standby", "postgresql://%d_viewer:pw@/%d?host=%h&target_session_attrs=standby",
             "打开数据库失败"},
            {"an sslmode libpq does not know", "postgresql://%d_viewer:pw@/%d?host=%h&sslmode=sometimes",
             "打开数据库失败"},
            {"options reach the server", "postgresql://%d_viewer:pw@/%d?host=%h&options=-c%20search_path%3Dnowhere",
             "没有本程序的数据表"},
            {"a password holding / ? #", "postgresql://%d_viewer:a%2Fb%3Fc%23d@/%d?host=%h", "用户名或密码错误"},
            {"a database that is not there", "postgresql://%d_viewer:pw@/nosuchdb?host=%h", "不存在"},
            {"no server at that place", "postgresql://%d_viewer:pw@/%d?host=/nonexistent/dir", "无法连接数据库服务器"},
            {"a mistyped scheme", "postgresq://%d_viewer:pw@/%d?host=%h", "unknown database address"},
            {"a value the driver would split", "postgresql://%d_viewer:pw@/%d?host=%h&application_name=a;b",
             "含有分号"},
        };
        for (const auto& row : rows)
            QTest::newRow(row[0]) << QString(row[1]) << QString(row[2]);
    }

    // Every parameter of the location reaches libpq; no password is ever shown; a location of
    // another kind creates nothing.
    void locationAsLibpqReadsIt()
    {
        QFETCH(QString, location);
        QFETCH(QString, outcome);
        location.replace("%h", CPgTestServer::socketDir()).replace("%d", m_a);
        QTemporaryDir work;
        const QString before = QDir::currentPath();
        QDir::setCurrent(work.path());
        QString got;
        {
            CEmbeddedDataService service(location, 0, CEmbeddedDataService::EAccess::ReadOnly);
            got = testsupport::outcomeText(testsupport::queryService(service, 12294).error);
        }
        QDir::setCurrent(before);
        QVERIFY2(got.contains(outcome), qPrintable(got));
        for (const char* secret : {":pw@", "a/b?c#d", "a%2Fb%3Fc%23d"})
            QVERIFY2(!got.contains(secret), qPrintable(got));
        QCOMPARE(QDir(work.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
    }

private:
    QString m_a; // two team databases on one server
    QString m_b;
};

QTEST_GUILESS_MAIN(TestPostgresPrivileges)
#include "tst_postgresprivileges.moc"
