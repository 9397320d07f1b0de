// The demo client: its command line and the loading of a plug-in; then as a script runs it, the
// built executable, its exit code and what it prints; killed by a signal it ends as on a normal
// exit, layout saved and database closed.
#include "hostoptions.h"
#include "panelplugin.h"

#include "hosttoolkit.h"
#include "servicecalls.h"
#include "standinservice.h"

#include <QProcess>
#include <QSettings>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

class TestDemoHost : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void parses_data();
    void parses();
    void load_data();
    void load();
    void exitCode_data();
    void exitCode();
    void seedOptions_data();
    void seedOptions();
    void readsBrokers_data();
    void readsBrokers();
    void seedsNewDatabase_data();
    void seedsNewDatabase();
};

Q_DECLARE_METATYPE(std::set<int>)

void TestDemoHost::initTestCase()
{
    // The panel must not query anything here.
    standin::setGrantedRights({});
}

void TestDemoHost::parses_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<std::set<int>>("rights");
    QTest::addColumn<int>("latency");
    QTest::addColumn<QString>("db");

    const std::set<int> both{10079, 10413};
    QTest::newRow("defaults") << QStringList{} << true << both << 0 << QString();
    QTest::newRow("one right") << QStringList{"--rights", "10413"} << true << std::set<int>{10413} << 0 << QString();
    QTest::newRow("spaces in list") << QStringList{"--rights", " 10079 , 10413 "} << true << both << 0 << QString();
    QTest::newRow("none") << QStringList{"--rights", "none"} << true << std::set<int>{} << 0 << QString();
    QTest::newRow("empty list") << QStringList{"--rights", ""} << true << std::set<int>{} << 0 << QString();
    QTest::newRow("not a number") << QStringList{"--rights", "10079,x"} << false << both << 0 << QString();
    QTest::newRow("latency and db") << QStringList{"--latency-ms", "800", "--db", "/tmp/a.sqlite"} << true << both
                                    << 800 << QString("/tmp/a.sqlite");
    QTest::newRow("negative latency") << QStringList{"--latency-ms", "-5"} << false << both << 0 << QString();
    QTest::newRow("latency not a number") << QStringList{"--latency-ms", "fast"} << false << both << 0 << QString();
    QTest::newRow("detail row not a number")
        << QStringList{"--open-detail", "first"} << false << both << 0 << QString();
    QTest::newRow("negative detail row") << QStringList{"--open-detail", "-1"} << false << both << 0 << QString();
    QTest::newRow("user without a name") << QStringList{"--user", " "} << false << both << 0 << QString();
    QTest::newRow("unknown option") << QStringList{"--colour", "red"} << false << both << 0 << QString();
    QTest::newRow("stray argument") << QStringList{"extra"} << false << both << 0 << QString();
}

// Bad arguments are refused with a message; good ones land in the options.
void TestDemoHost::parses()
{
    QFETCH(QStringList, args);
    QFETCH(bool, ok);
    args.prepend("demohost");
    HostOptions options;
    QString error;
    QCOMPARE(parseHostOptions(args, options, error), ok);
    if (!ok) {
        QVERIFY(!error.isEmpty());
        return;
    }
    QVERIFY(error.isEmpty());
    QTEST(options.rights, "rights");
    QTEST(options.latencyMs, "latency");
    QTEST(options.databasePath, "db");
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
    {
        QSqlDatabase check = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("check"));
        check.setDatabaseName(db);
        QVERIFY(check.open());
        QSqlQuery query(QStringLiteral("PRAGMA integrity_check"), check);
        QVERIFY(query.next());
        QCOMPARE(query.value(0).toString(), QStringLiteral("ok"));
    }
    QSqlDatabase::removeDatabase(QStringLiteral("check"));
}

void TestDemoHost::seedOptions_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<bool>("team"); // the database is a team's: no demo data unless asked
    QTest::addColumn<bool>("demoData");
    QTest::addColumn<QString>("brokers");
    QTest::newRow("default file") << QStringList{} << true << false << false << QString();
    QTest::newRow("SQLite file") << QStringList{"--db", "/tmp/a.sqlite"} << true << false << false << QString();
    QTest::newRow("PostgreSQL URI") << QStringList{"--db", "postgresql://u@h/credit"} << true << true << false
                                    << QString();
    QTest::newRow("short scheme, capitals")
        << QStringList{"--db", "Postgres://u@h/credit"} << true << true << false << QString();
    QTest::newRow("PostgreSQL with demo data")
        << QStringList{"--db", "postgresql://u@h/credit", "--demo-data"} << true << true << true << QString();
    QTest::newRow("brokers file") << QStringList{"--brokers", "/tmp/b.csv"} << true << false << false
                                  << QString("/tmp/b.csv");
    QTest::newRow("demo data and brokers")
        << QStringList{"--demo-data", "--brokers", "/tmp/b.csv"} << false << false << false << QString();
}

void TestDemoHost::seedOptions()
{
    QFETCH(QStringList, args);
    QFETCH(bool, ok);
    args.prepend("demohost");
    HostOptions options;
    QString error;
    QCOMPARE(parseHostOptions(args, options, error), ok);
    if (!ok) {
        QVERIFY(!error.isEmpty());
        return;
    }
    QTEST(isTeamDatabase(options.databasePath), "team");
    QTEST(options.demoData, "demoData");
    QTEST(options.brokersFile, "brokers");
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
    QFile file(tmp.filePath(QStringLiteral("brokers.csv")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
    file.close();
    std::vector<standin::SeedBroker> read{{99, "OLD", "旧"}};
    QString error;
    QCOMPARE(readSeedBrokers(file.fileName(), read, error), ok);
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
    QFETCH(int, brokers);
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
        QCOMPARE(int(summary.records.size()), brokers);
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
    {
        QSqlDatabase check = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("seed"));
        check.setDatabaseName(path);
        QVERIFY(check.open());
        QSqlQuery query(QStringLiteral("SELECT count(*) FROM uploads"), check);
        QVERIFY(query.next());
        QCOMPARE(query.value(0).toInt() > 0, uploads);
        // The audit trail's count of each seeded upload is what it stored.
        QSqlQuery miscounted(QStringLiteral("SELECT count(*) FROM uploads u WHERE row_count <> "
                                            "(SELECT count(*) FROM ratios r WHERE r.upload_id = u.id)"),
                             check);
        QVERIFY(miscounted.next());
        QCOMPARE(miscounted.value(0).toInt(), 0);
    }
    QSqlDatabase::removeDatabase(QStringLiteral("seed"));
}

QTEST_MAIN(TestDemoHost)
#include "tst_demohost.moc"
