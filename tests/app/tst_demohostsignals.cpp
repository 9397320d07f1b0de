// The demo client killed by a signal ends as on a normal exit: code 0, layout saved, database closed.
#include <QProcess>
#include <QSettings>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

class TestDemoHostSignals : public QObject
{
    Q_OBJECT
private slots:
    void killed_data();
    void killed();
};

void TestDemoHostSignals::killed_data()
{
    QTest::addColumn<int>("signalNumber");
    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGINT") << int(SIGINT);
}

void TestDemoHostSignals::killed()
{
    QFETCH(int, signalNumber);

    QTemporaryDir tmp;
    QVERIFY(tmp.isValid());
    const QString db = tmp.filePath(QStringLiteral("credit.sqlite"));
    QProcess demo;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), tmp.path());
    env.insert(QStringLiteral("XDG_DATA_HOME"), tmp.path() + QStringLiteral("/data"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), tmp.path() + QStringLiteral("/config"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    demo.setProcessEnvironment(env);
    demo.start(QStringLiteral(DEMOHOST_PATH), {QStringLiteral("--db"), db});
    QVERIFY(demo.waitForStarted(30000));

    QByteArray err;
    QTRY_VERIFY_WITH_TIMEOUT((err += demo.readAllStandardError()).contains("[CCreditDataPanel] onData success"), 90000);
    QCOMPARE(::kill(pid_t(demo.processId()), signalNumber), 0);
    QVERIFY2(demo.waitForFinished(60000), "the demo client did not end");
    err += demo.readAllStandardError();
    QCOMPARE(demo.exitStatus(), QProcess::NormalExit);
    QVERIFY2(demo.exitCode() == 0, err.constData());

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
    QVERIFY(!QFileInfo::exists(db + QStringLiteral("-journal")));
    QVERIFY(!QFileInfo::exists(db + QStringLiteral("-wal")) || QFileInfo(db + QStringLiteral("-wal")).size() == 0);
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

QTEST_GUILESS_MAIN(TestDemoHostSignals)
#include "tst_demohostsignals.moc"
