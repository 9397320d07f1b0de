// The demo client as a script runs it: the built executable, its exit code and what it prints.
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

class TestDemoHost : public QObject
{
    Q_OBJECT
private slots:
    void exitCode_data();
    void exitCode();
};

void TestDemoHost::exitCode_data()
{
    QTest::addColumn<QStringList>("args"); // "<tmp>" stands for a fresh temporary folder
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("stderrHas");

    QTest::newRow("--plugin PATH, which Qt takes")
        << QStringList{"--plugin", "/nonexistent/libpanel.so"} << 2 << "write --panel-plugin PATH";
    QTest::newRow("--panel-plugin PATH, missing")
        << QStringList{"--panel-plugin", "/nonexistent/libpanel.so"} << 3 << "/nonexistent/libpanel.so does not exist";
    QTest::newRow("--plugin=PATH, missing")
        << QStringList{"--plugin=/nonexistent/libpanel.so"} << 3 << "/nonexistent/libpanel.so does not exist";
    QTest::newRow("screenshot, summary query fails")
        << QStringList{"--db", "/dev/null/cannot/credit.sqlite", "--screenshot", "<tmp>/shot.png"} << 1
        << "query 12294 failed";
    QTest::newRow("screenshot, summary answered")
        << QStringList{"--db", "<tmp>/credit.sqlite", "--screenshot", "<tmp>/shot.png"} << 0 << "log file";
}

// Bad plug-in paths and failed queries end the run with a non-zero code and say why; a good
// screenshot run ends with 0 and leaves the picture.
void TestDemoHost::exitCode()
{
    QFETCH(QStringList, args);
    QFETCH(int, code);
    QFETCH(QString, stderrHas);

    QTemporaryDir tmp;
    QVERIFY(tmp.isValid());
    args.replaceInStrings(QStringLiteral("<tmp>"), tmp.path());
    QProcess demo;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    // Logs and the default database stay in the temporary folder.
    env.insert(QStringLiteral("HOME"), tmp.path());
    env.insert(QStringLiteral("XDG_DATA_HOME"), tmp.path() + QStringLiteral("/data"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), tmp.path() + QStringLiteral("/config"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    demo.setProcessEnvironment(env);
    demo.start(QStringLiteral(DEMOHOST_PATH), args);
    QVERIFY2(demo.waitForFinished(90000), "the demo client did not end");
    const QString err = QString::fromLocal8Bit(demo.readAllStandardError());
    QCOMPARE(demo.exitStatus(), QProcess::NormalExit);
    QVERIFY2(err.contains(stderrHas), qPrintable(err));
    QCOMPARE(demo.exitCode(), code);
    const bool screenshot = args.contains(QStringLiteral("--screenshot"));
    QCOMPARE(QFileInfo::exists(tmp.filePath(QStringLiteral("shot.png"))), screenshot);
}

QTEST_GUILESS_MAIN(TestDemoHost)
#include "tst_demohost.moc"
