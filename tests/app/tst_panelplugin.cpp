// The demo client's own parts: its command line and the loading of a plug-in.
#include "panelplugin.h"
#include "hostoptions.h"

#include "hosttoolkit.h"
#include "standinservice.h"

#include <QtTest>

class TestPanelPlugin : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void parses_data();
    void parses();
    void load_data();
    void load();
};

Q_DECLARE_METATYPE(std::set<int>)

void TestPanelPlugin::initTestCase()
{
    // The panel must not query anything here.
    standin::setGrantedRights({});
}

void TestPanelPlugin::parses_data()
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
void TestPanelPlugin::parses()
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

void TestPanelPlugin::load_data()
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
void TestPanelPlugin::load()
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

QTEST_MAIN(TestPanelPlugin)
#include "tst_panelplugin.moc"
