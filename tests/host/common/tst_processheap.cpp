// How the heap grows is set by the programs that want it, never by a library: a process that
// loads the client's libraries or the plug-in keeps the C library's defaults; one linked with the
// programs' heap settings keeps large blocks on its heap unless told to leave the defaults.
#include <QProcess>
#include <QtTest>

class TestProcessHeap : public QObject
{
    Q_OBJECT

private slots:
    void blockSource_data();
    void blockSource();
};

void TestProcessHeap::blockSource_data()
{
    QTest::addColumn<QString>("probe");
    QTest::addColumn<QStringList>("libraries");
    QTest::addColumn<QString>("systemHeap"); // CREDITDATA_SYSTEM_HEAP; empty: unset
    QTest::addColumn<QString>("source");

    const QString plain = QStringLiteral(PLAIN_PROBE);
    const QString tuned = QStringLiteral(TUNED_PROBE);
    const QString dir = QStringLiteral(LIBRARY_DIR "/");
    QTest::newRow("nothing loaded") << plain << QStringList{} << QString() << "mapped";
    QTest::newRow("the widget-free core") << plain << QStringList{dir + "libvoprhost_core.so"} << QString() << "mapped";
    QTest::newRow("the client's library") << plain << QStringList{dir + "libvoprhost.so"} << QString() << "mapped";
    QTest::newRow("the plug-in") << plain << QStringList{dir + "libcreditdata.so"} << QString() << "mapped";
    QTest::newRow("a program with the settings") << tuned << QStringList{} << QString() << "heap";
    QTest::newRow("the same, told to leave the defaults") << tuned << QStringList{} << "1"
                                                          << "mapped";
    QTest::newRow("the same, told 0") << tuned << QStringList{} << "0"
                                      << "heap";
}

void TestProcessHeap::blockSource()
{
    QFETCH(QString, probe);
    QFETCH(QStringList, libraries);
    QFETCH(QString, systemHeap);
#if !defined(__GLIBC__)
    QSKIP("only the GNU C library's heap is tuned");
#endif
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("CREDITDATA_SYSTEM_HEAP"));
    if (!systemHeap.isEmpty())
        env.insert(QStringLiteral("CREDITDATA_SYSTEM_HEAP"), systemHeap);
    child.setProcessEnvironment(env);
    child.start(probe, libraries);
    QVERIFY(child.waitForFinished(60000));
    QCOMPARE(child.exitStatus(), QProcess::NormalExit);
    QVERIFY2(child.exitCode() == 0, child.readAllStandardError().constData());
    QTEST(QString::fromLatin1(child.readAllStandardOutput().trimmed()), "source");
}

QTEST_GUILESS_MAIN(TestProcessHeap)
#include "tst_processheap.moc"
