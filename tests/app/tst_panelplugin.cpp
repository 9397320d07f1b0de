#include "panelplugin.h"

#include "hosttoolkit.h"
#include "standinservice.h"

#include <QtTest>

class TestPanelPlugin : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void refusesWhatIsNotAPlugin_data();
    void refusesWhatIsNotAPlugin();
    void buildsThePanel();
};

void TestPanelPlugin::initTestCase()
{
    // The panel must not query anything here.
    standin::setGrantedRights({});
}

void TestPanelPlugin::refusesWhatIsNotAPlugin_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("expected");
    QTest::newRow("missing file") << QString("/nonexistent/libcreditdata.so") << QString("does not exist");
    // A file beside the sources, found through SOURCE_DIR: with a compiler cache __FILE__ may be relative.
    QTest::newRow("not a library") << qEnvironmentVariable("SOURCE_DIR") + QStringLiteral("/tests/app/tst_panelplugin.cpp")
                                   << QString("cannot be loaded");
    QTest::newRow("library without entry") << QString(PLUGIN_DIR "/libvoprhost.so") << QString("no entry point");
}

// The demo client says clearly why it cannot load a plug-in.
void TestPanelPlugin::refusesWhatIsNotAPlugin()
{
    QFETCH(QString, path);
    QFETCH(QString, expected);
    CPanelPlugin plugin;
    QVERIFY(!plugin.load(path));
    QVERIFY2(plugin.errorString().contains(expected), qPrintable(plugin.errorString()));
    QVERIFY(!plugin.createPanel(nullptr));
}

// The built plug-in resolves and builds the credit data panel under the given parent.
void TestPanelPlugin::buildsThePanel()
{
    CPanelPlugin plugin;
    QVERIFY2(plugin.load(PLUGIN_DIR "/libcreditdata.so"), qPrintable(plugin.errorString()));
    QWidget parent;
    DVK::IvoprDockableWidget* panel = plugin.createPanel(&parent);
    QVERIFY(panel);
    QCOMPARE(panel->parentWidget(), &parent);
    QCOMPARE(panel->panelName(), QString("cdd"));
    QCOMPARE(QString(panel->metaObject()->className()), QString("DVK::CCreditDataPanel"));
}

QTEST_MAIN(TestPanelPlugin)
#include "tst_panelplugin.moc"
