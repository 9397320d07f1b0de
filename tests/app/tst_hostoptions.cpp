#include "hostoptions.h"

#include <QtTest>

class TestHostOptions : public QObject
{
    Q_OBJECT
private slots:
    void parses_data();
    void parses();
};

Q_DECLARE_METATYPE(std::set<int>)

void TestHostOptions::parses_data()
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
void TestHostOptions::parses()
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

QTEST_GUILESS_MAIN(TestHostOptions)
#include "tst_hostoptions.moc"
