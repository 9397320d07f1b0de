// The demo client: its command line and the loading of a plug-in; then as a script runs it, the
// built executable, its exit code and what it prints; killed by a signal it ends as on a normal
// exit, layout saved and database closed.
#include "hostoptions.h"
#include "panelplugin.h"

#include "hosttoolkit.h"
#include "servicecalls.h"
#include "standinservice.h"
#include "testfiles.h"

#include <QProcess>
#include <QSettings>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

namespace {

// The first value the statement reads from the SQLite file, as text; empty when it reads none.
QString sqliteValue(const QString& path, const char* statement)
{
    QString value;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("check"));
        db.setDatabaseName(path);
        QSqlQuery query(db);
        if (db.open() && query.exec(QString::fromUtf8(statement)) && query.next())
            value = query.value(0).toString();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("check"));
    return value;
}

} // namespace

class TestDemoHost : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void options_data();
    void options();
    void load_data();
    void load();
    void exitCode_data();
    void exitCode();
    void readsBrokers_data();
    void readsBrokers();
    void seedsNewDatabase_data();
    void seedsNewDatabase();
};

void TestDemoHost::initTestCase()
{
    // The panel must not query anything here.
    standin::setGrantedRights({});
}

void TestDemoHost::options_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("options"); // what landed in them, or "refused"

    const auto row = [](const char* tag, const QStringList& args, const char* options) {
        QTest::newRow(tag) << args << QString::fromUtf8(options);
    };
    row("defaults", {}, "rights 10079,10413; latency 0; db ; team 0; demo data 0; brokers ");
    row("one right", {"--rights", "10413"}, "rights 10413; latency 0; db ; team 0; demo data 0; brokers ");
    row("spaces in list", {"--rights", " 10079 , 10413 "},
        "rights 10079,10413; latency 0; db ; team 0; demo data 0; brokers ");
    row("none", {"--rights", "none"}, "rights ; latency 0; db ; team 0; demo data 0; brokers ");
    row("empty list", {"--rights", ""}, "rights ; latency 0; db ; team 0; demo data 0; brokers ");
    row("latency and SQLite file", {"--latency-ms", "800", "--db", "/tmp/a.sqlite"},
        "rights 10079,10413; latency 800; db /tmp/a.sqlite; team 0; demo data 0; brokers ");
    row("PostgreSQL URI: a team's", {"--db", "postgresql://u@h/credit"},
        "rights 10079,10413; latency 0; db postgresql://u@h/credit; team 1; demo data 0; brokers ");
    row("short scheme, capitals", {"--db", "Postgres://u@h/credit"},
        "rights 10079,10413; latency 0; db Postgres://u@h/credit; team 1; demo data 0; brokers ");
    row("PostgreSQL with demo data", {"--db", "postgresql://u@h/credit", "--demo-data"},
        "rights 10079,10413; latency 0; db postgresql://u@h/credit; team 1; demo data 1; brokers ");
    row("brokers file", {"--brokers", "/tmp/b.csv"},
        "rights 10079,10413; latency 0; db ; team 0; demo data 0; brokers /tmp/b.csv");
    row("right not a number", {"--rights", "10079,x"}, "refused");
    row("negative latency", {"--latency-ms", "-5"}, "refused");
    row("latency not a number", {"--latency-ms", "fast"}, "refused");
    row("detail row not a number", {"--open-detail", "first"}, "refused");
    row("negative detail row", {"--open-detail", "-1"}, "refused");
    row("user without a name", {"--user", " "}, "refused");
    row("demo data and brokers", {"--demo-data", "--brokers", "/tmp/b.csv"}, "refused");
    row("unknown option", {"--colour", "red"}, "refused");
    row("stray argument", {"extra"}, "refused");
}

// Bad arguments are refused with a message; good ones land in the options, and a PostgreSQL
// location is a team's database, which gets no demo data unless asked.
void TestDemoHost::options()
{
    QFETCH(QStringList, args);
    HostOptions options;
    QString error;
    const bool ok = parseHostOptions(QStringList{"demohost"} + args, options, error);
    QCOMPARE(error.isEmpty(), ok);
    QStringList rights;
    for (const int right : options.rights)
        rights << QString::number(right);
    const QString got = QStringLiteral("rights %1; latency %2; db %3; team %4; demo data %5; brokers %6")
                            .arg(rights.join(QLatin1Char(',')))
                            .arg(options.latencyMs)
                            .arg(options.databasePath)
                            .arg(int(isTeamDatabase(options.databasePath)))
                            .arg(int(options.demoData))
                            .arg(options.brokersFile);
    QTEST(ok ? got : QStringLiteral("refused"), "options");
}

void TestDemoHost::load_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("error"); // empty: it loads
    QTest::newRow("missing file") << QString("/nonexistent/libcreditdata.so") << QString("does not exist");
    QTest::newRow("not a library") << QString::fromLocal8Bit(qgetenv("SOURCE_DIR")) + "/README.md"
                                   << QString("cannot be loaded");
    QTest::newRow("library without entry") << QString(PLUGIN_DIR "/libvoprhost.so") << QString("no entry point");
    QTest::newRow("the built plug-in") << QString(PLUGIN_DIR "/libcreditdata.so") << QString();
}

// The demo client says clearly why it cannot load a plug-in; the built one resolves and builds
// the credit data panel under the given parent.
void TestDemoHost::load()
{
    QFETCH(QString, path);
    QFETCH(QString, error);
    CPanelPlugin plugin;
    QCOMPARE(plugin.load(path), error.isEmpty());
    QVERIFY2(plugin.errorString().contains(error), qPrintable(plugin.errorString()));
    QWidget parent;
    DVK::IvoprDockableWidget* panel = plugin.createPanel(&parent);
    QCOMPARE(panel != nullptr, error.isEmpty());
    if (!panel)
        return;
    QCOMPARE(panel->parentWidget(), &parent);
    QCOMPARE(panel->panelName(), QString("cdd"));
    QCOMPARE(QString(panel->metaObject()->className()), QString("DVK::CCreditDataPanel"));
}

void TestDemoHost::exitCode_data()
{
    QTest::addColumn<QStringList>("args"); // "<tmp>" stands for a fresh temporary folder
    QTest::addColumn<int>("signalNumber"); // sent once the panel shows its data; 0: none
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("stderrHas");
    QTest::newRow("--plugin PATH, which Qt takes")
        << QStringList{"--plugin", "/nonexistent/libpanel.so"} << 0 << 2 << "write --panel-plugin PATH";
    QTest::newRow("--panel-plugin PATH, missing") << QStringList{"--panel-plugin", "/nonexistent/libpanel.so"} << 0 << 3
                                                  << "/nonexistent/libpanel.so does not exist";
    QTest::newRow("--plugin=PATH, missing")
        << QStringList{"--plugin=/nonexistent/libpanel.so"} << 0 << 3 << "/nonexistent/libpanel.so does not exist";
    QTest::newRow("screenshot, summary query fails")
        << QStringList{"--db", "/dev/null/cannot/credit.sqlite", "--screenshot", "<tmp>/shot.png"} << 0 << 1
        << "query 12294 failed";
    QTest::newRow("screenshot, summary answered")
        << QStringList{"--db", "<tmp>/credit.sqlite", "--screenshot", "<tmp>/shot.png"} << 0 << 0 << "log file";
    for (const int signalNumber : {SIGTERM, SIGINT})
        QTest::addRow("killed by signal %d", signalNumber)
            << QStringList{"--db", "<tmp>/credit.sqlite"} << signalNumber << 0 << "onData success";
}

// Bad plug-in paths and failed queries end the run with a non-zero code and say why; a good
// screenshot run ends with 0 and leaves the picture.
void TestDemoHost::exitCode()
{
    QFETCH(QStringList, args);
    QFETCH(int, signalNumber);
    QFETCH(int, code);
    QFETCH(QString, stderrHas);
    QTemporaryDir tmp;
    QVERIFY(tmp.isValid());
    args.replaceInStrings(QStringLiteral("<tmp>"), tmp.path());
    QProcess demo;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    // Logs, settings and the default database stay in the temporary folder.
    env.insert(QStringLiteral("HOME"), tmp.path());
    env.insert(QStringLiteral("XDG_DATA_HOME"), tmp.path() + QStringLiteral("/data"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), tmp.path() + QStringLiteral("/config"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    demo.setProcessEnvironment(env);
    demo.start(QStringLiteral(DEMOHOST_PATH), args);
    QByteArray err;
    if (signalNumber) {
        QVERIFY(demo.waitForStarted(30000));
        QTRY_VERIFY_WITH_TIMEOUT((err += demo.readAllStandardError()).contains(stderrHas.toUtf8()), 90000);
        QCOMPARE(::kill(pid_t(demo.processId()), signalNumber), 0);
    }
    QVERIFY2(demo.waitForFinished(90000), "the demo client did not end");
    err += demo.readAllStandardError();
    QCOMPARE(demo.exitStatus(), QProcess::NormalExit);
    QVERIFY2(err.contains(stderrHas.toUtf8()), err.constData());
    QCOMPARE(demo.exitCode(), code);
    const bool screenshot = args.contains(QStringLiteral("--screenshot"));
    QCOMPARE(QFileInfo::exists(tmp.filePath(QStringLiteral("shot.png"))), screenshot);
    if (!signalNumber)
        return;
    // The layout as the panel saves it: the summary table's configuration string.
    QSettings settings(tmp.filePath(QStringLiteral("config/CreditData/DemoHost.conf")), QSettings::IniFormat);
    QStringList params;
    for (const QString& key : settings.allKeys()) {
        if (key.endsWith(QLatin1String("/param")))
            params << settings.value(key).toString();
    }
    QCOMPARE(params.size(), 1);
    QVERIFY2(params.first().startsWith(QLatin1String("hpf1:1331:order=")), qPrintable(params.first()));
    // Closed cleanly: no journal left behind, and the file opens and reads.
    const QString db = tmp.filePath(QStringLiteral("credit.sqlite"));
    QVERIFY(!QFileInfo::exists(db + QStringLiteral("-journal")));
    QCOMPARE(sqliteValue(db, "PRAGMA integrity_check"), QStringLiteral("ok"));
}

void TestDemoHost::readsBrokers_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("brokers"); // "key:id:name;..." read, or the error's text
    QTest::addColumn<bool>("ok");
    QTest::newRow("two brokers, comment and blank line")
        << QByteArray("# key,id,name\n1,CITIC,中信证券\n\n 7 , GX , 国信证券 \r\n") << "1:CITIC:中信证券;7:GX:国信证券"
        << true;
    QTest::newRow("two fields") << QByteArray("1,CITIC\n") << "line 1: expected" << false;
    QTest::newRow("key not a number") << QByteArray("one,CITIC,中信证券\n") << "key number" << false;
    QTest::newRow("key zero") << QByteArray("0,CITIC,中信证券\n") << "key number" << false;
    QTest::newRow("empty name") << QByteArray("1,CITIC, \n") << "must not be empty" << false;
    QTest::newRow("key twice") << QByteArray("1,A,甲\n1,B,乙\n") << "line 2: key number 1" << false;
    QTest::newRow("id twice") << QByteArray("1,A,甲\n2,A,乙\n") << "given twice" << false;
    QTest::newRow("no broker") << QByteArray("# nothing\n") << "names no broker" << false;
    QTest::newRow("GBK bytes") << QByteArray("1,CITIC,\xD6\xD0\xD0\xC5\n") << "not UTF-8" << false;
    QTest::newRow("too large") << QByteArray(2 * 1024 * 1024, '#') << "larger than" << false;
}

// A broker list is read whole or refused with the line that is wrong.
void TestDemoHost::readsBrokers()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, brokers);
    QFETCH(bool, ok);
    QTemporaryDir tmp;
    const QString path = tmp.filePath(QStringLiteral("brokers.csv"));
    QVERIFY(testsupport::writeFile(path, content));
    std::vector<standin::SeedBroker> read{{99, "OLD", "旧"}};
    QString error;
    QCOMPARE(readSeedBrokers(path, read, error), ok);
    if (!ok) {
        QVERIFY2(error.contains(brokers), qPrintable(error));
        QCOMPARE(int(read.size()), 1); // left as it was
        return;
    }
    QStringList got;
    for (const standin::SeedBroker& b : read)
        got << QStringLiteral("%1:%2:%3").arg(b.keyNo).arg(b.id, b.name);
    QCOMPARE(got.join(QLatin1Char(';')), brokers);
}

void TestDemoHost::seedsNewDatabase_data()
{
    QTest::addColumn<bool>("demoData");
    QTest::addColumn<int>("givenBrokers");
    QTest::addColumn<int>("brokers");
    QTest::addColumn<bool>("uploads");
    QTest::newRow("demo data") << true << 0 << 6 << true;
    QTest::newRow("demo data, brokers given too") << true << 2 << 6 << true;
    QTest::newRow("the brokers given") << false << 2 << 2 << false;
    QTest::newRow("nothing given") << false << 0 << 0 << false;
}

// A new database gets the demo brokers with their uploads, or the brokers given and no upload.
void TestDemoHost::seedsNewDatabase()
{
    QFETCH(bool, demoData);
    QFETCH(int, givenBrokers);
    QFETCH(bool, uploads);
    QTemporaryDir tmp;
    const QString path = tmp.filePath(QStringLiteral("credit.sqlite"));
    const std::vector<standin::SeedBroker> all{{11, "A", "甲证券"}, {12, "B", "乙证券"}};
    standin::setNewDatabaseSeed(demoData, std::vector<standin::SeedBroker>(all.begin(), all.begin() + givenBrokers));
    {
        rqservice::CEmbeddedDataService service(path, 0);
        const testsupport::QueryOutcome summary =
            testsupport::queryService(service, rqservice::eDataTypeCvionRateBaseInfo);
        QVERIFY2(summary.error.isSuccess(), summary.error.errorMsg().c_str());
        QTEST(int(summary.records.size()), "brokers");
        if (!demoData) {
            for (size_t i = 0; i < summary.records.size(); ++i) {
                auto info = boost::dynamic_pointer_cast<rqservice::CVoprCvionRateBaseInfo>(summary.records[i]);
                QVERIFY(info);
                QCOMPARE(info->brokerKeyNo, all[i].keyNo);
                QCOMPARE(QString::fromStdString(info->brokerName), all[i].name);
            }
        }
    }
    standin::setNewDatabaseSeed(true, {});
    QCOMPARE(sqliteValue(path, "SELECT count(*) > 0 FROM uploads"), QString::number(uploads));
    // The audit trail's count of each seeded upload is what it stored.
    QCOMPARE(sqliteValue(path, "SELECT count(*) FROM uploads u WHERE row_count <> "
                               "(SELECT count(*) FROM ratios r WHERE r.upload_id = u.id)"),
             QStringLiteral("0"));
}

QTEST_MAIN(TestDemoHost)
#include "tst_demohost.moc"
