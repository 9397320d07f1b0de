// How the programs end when the machine gives them less than they need: under an address-space
// limit (ulimit -v) from too small to load at all up to enough, the preview and the demo client
// end with an exit code and a line saying why, never by a signal, and read the file once the
// limit allows; the demo client's help needs no display.
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QString kSource = QString::fromLocal8Bit(qgetenv("SOURCE_DIR"));

struct Outcome
{
    bool started = false;
    bool finished = false;
    QProcess::ExitStatus status = QProcess::CrashExit;
    int code = -1;
    QByteArray out;
    QByteArray err;
};

// Runs program under an address-space limit of limitMiB (0: none) with env, at most a minute.
// stackMiB (0: as it is) is the stack limit, which a new thread's stack takes its size from.
Outcome run(const QString& program, const QStringList& args, int limitMiB, const QProcessEnvironment& env,
            int stackMiB = 0)
{
    QProcess child;
    child.setProcessEnvironment(env);
    QString script;
    if (stackMiB > 0)
        script += QStringLiteral("ulimit -s %1 && ").arg(stackMiB * 1024);
    if (limitMiB > 0)
        script += QStringLiteral("ulimit -v %1 && ").arg(limitMiB * 1024);
    const QStringList shellArgs{QStringLiteral("-c"), script + QStringLiteral("exec \"$0\" \"$@\""), program};
    child.start(QStringLiteral("/bin/sh"), shellArgs + args);
    Outcome outcome;
    outcome.started = child.waitForStarted(30000);
    outcome.finished = outcome.started && child.waitForFinished(60000);
    if (!outcome.finished)
        child.kill();
    outcome.status = child.exitStatus();
    outcome.code = child.exitCode();
    outcome.out = child.readAllStandardOutput();
    outcome.err = child.readAllStandardError();
    return outcome;
}

} // namespace

class TestProgramEnds : public QObject
{
    Q_OBJECT

private slots:
    void underAddressLimit_data();
    void underAddressLimit();
    void helpWithoutDisplay();
};

void TestProgramEnds::underAddressLimit_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QStringList>("args");   // "<tmp>" stands for a fresh temporary folder
    QTest::addColumn<int>("stackMiB");       // 0: as it is
    QTest::addColumn<int>("readsUnder");     // a limit (MiB) under which the whole run must succeed too; 0: none
    QTest::addColumn<QByteArray>("readOut"); // what stdout holds once the limit allows the whole run

    const QString preview = QStringLiteral(PREVIEW_PATH);
    for (const char* file : {"rates_gbk.csv", "rates_utf8.csv", "rates.xlsx", "rates.xls"}) {
        const QStringList args{kSource + "/examples/" + file, "--count"};
        QTest::addRow("preview, %s", file) << preview << args << 0 << 0 << QByteArray(" used ");
        // A thread's stack of a gibibyte cannot be had under 400 MiB: the preview then loads the
        // securities and reads the workbook on its own thread.
        QTest::addRow("preview, %s, no thread to be had", file)
            << preview << args << 1024 << 400 << QByteArray(" used ");
    }
    QTest::newRow("demo client, screenshot")
        << QStringLiteral(DEMOHOST_PATH) << QStringList{"--db", "<tmp>/credit.sqlite", "--screenshot", "<tmp>/shot.png"}
        << 0 << 0 << QByteArray("screenshot: ");
    QTest::newRow("demo client, no thread to be had")
        << QStringLiteral(DEMOHOST_PATH) << QStringList{"--db", "<tmp>/credit.sqlite", "--screenshot", "<tmp>/shot.png"}
        << 1024 << 0 << QByteArray();
}

// From a limit too small to load the program's libraries up to enough for everything: every run
// ends by exit, never a signal, and a failed one says why on stderr.
void TestProgramEnds::underAddressLimit()
{
    QFETCH(QString, program);
    QFETCH(QStringList, args);
    QFETCH(int, stackMiB);
    QFETCH(int, readsUnder);
    QFETCH(QByteArray, readOut);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    QList<int> limits;
    for (int mib = 24; mib <= 640; mib += mib < 256 ? 8 : 32)
        limits << mib;
    limits << readsUnder << 4096;
    for (const int limit : limits) {
        if (limit == 0)
            continue;
        QTemporaryDir tmp;
        QVERIFY(tmp.isValid());
        env.insert(QStringLiteral("HOME"), tmp.path());
        env.insert(QStringLiteral("XDG_DATA_HOME"), tmp.path() + QStringLiteral("/data"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), tmp.path() + QStringLiteral("/config"));
        QStringList withTmp = args;
        withTmp.replaceInStrings(QStringLiteral("<tmp>"), tmp.path());
        const Outcome o = run(program, withTmp, limit, env, stackMiB);
        const QByteArray where = QByteArray::number(limit) + " MiB: ";
        QVERIFY2(o.finished, (where + "did not end").constData());
        QVERIFY2(o.status == QProcess::NormalExit, (where + "ended by a signal; stderr: " + o.err).constData());
        if (o.code != 0)
            QVERIFY2(!o.err.trimmed().isEmpty(), (where + "failed without a word").constData());
        if (!readOut.isEmpty() && (limit == readsUnder || limit == limits.last())) {
            QVERIFY2(o.code == 0, (where + o.err).constData());
            QVERIFY2(o.out.contains(readOut), (where + o.out).constData());
        }
    }
}

// --help prints the options with no display to open and no platform chosen.
void TestProgramEnds::helpWithoutDisplay()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    const Outcome o = run(QStringLiteral(DEMOHOST_PATH), {QStringLiteral("--help")}, 0, env);
    QVERIFY(o.finished);
    QCOMPARE(o.status, QProcess::NormalExit);
    QVERIFY2(o.code == 0, o.err.constData());
    for (const char* option : {"--db", "--demo-data", "--brokers", "--screenshot"})
        QVERIFY2(o.out.contains(option), o.out.constData());
}

QTEST_GUILESS_MAIN(TestProgramEnds)
#include "tst_programends.moc"
