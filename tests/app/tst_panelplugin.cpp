#include "panelplugin.h"

#include "hosttoolkit.h"
#include "standinservice.h"

#include <QtTest>

class TestPanelPlugin : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void load_data();
    void load();
};

void TestPanelPlugin::initTestCase()
{
    // The panel must not query anything here.
    standin::setGrantedRights({});
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
