#include "answerwatcher.h"
#include "gallery.h"
#include "hostoptions.h"
#include "logsetup.h"
#include "mainwindow.h"
#include "panelplugin.h"

#include "hosttoolkit.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTimer>

#include <cstdio>

namespace {

void printError(const QString& text)
{
    std::fprintf(stderr, "demohost: %s\n", text.toLocal8Bit().constData());
}

// Headless runs must never wait for a click: messages go to the log and stderr instead.
void reportMessagesWithoutBoxes()
{
    WB::CMessageBox::setInterceptor([](const WB::MessageRecord& record) {
        printError(QStringLiteral("message \"%1\": %2").arg(record.title, record.text));
        return int(QMessageBox::Ok);
    });
}

bool saveScreenshot(QWidget* window, const QString& path)
{
    const QFileInfo info(path);
    QDir().mkpath(info.absolutePath());
    return window->grab().save(info.absoluteFilePath(), "PNG");
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("CreditData"));
    QApplication::setApplicationName(QStringLiteral("DemoHost"));

    HostOptions options;
    QString error;
    if (!parseHostOptions(QApplication::arguments(), options, error)) {
        printError(error);
        return 2;
    }

    const QString logFile =
        setupLogging(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + QStringLiteral("/logs"));
    std::fprintf(stderr, "demohost: log file %s\n", qPrintable(logFile));

    utils::CSingletonT<DVK::CUserManager>::instance()->setGrantedRights(options.rights);
    DVK::CVoprClientCenter* center = utils::CSingletonT<DVK::CVoprClientCenter>::instance();
    if (!options.databasePath.isEmpty())
        center->setDatabasePath(QFileInfo(options.databasePath).absoluteFilePath());
    center->setLatencyMs(options.latencyMs);

    if (!options.galleryDir.isEmpty())
        return saveToolkitGallery(options.galleryDir) == 0 ? 0 : 1;

    const bool headless = !options.screenshotPath.isEmpty();
    if (headless)
        reportMessagesWithoutBoxes();

    // Handed straight to the client centre, which owns it from here on.
    boost::shared_ptr<CAnswerWatcher> watcher(new CAnswerWatcher(center->backend()));
    center->setBackend(watcher);

    CPanelPlugin plugin;
    const QString pluginPath = options.pluginPath.isEmpty() ? CPanelPlugin::defaultPath() : options.pluginPath;
    if (!plugin.load(pluginPath)) {
        printError(plugin.errorString());
        return 3;
    }

    CMainWindow window;
    DVK::IvoprDockableWidget* panel = plugin.createPanel(&window);
    if (!panel) {
        printError(QStringLiteral("The plug-in %1 built no panel.").arg(pluginPath));
        return 3;
    }
    window.dockPanel(panel);
    window.show();

    if (headless) {
        QObject::connect(watcher.get(), &CAnswerWatcher::queryAnswered, &window,
                         [&](int queryType, bool success) {
                             if (queryType != rqservice::eDataTypeCvionRateBaseInfo)
                                 return;
                             if (!success)
                                 printError(QStringLiteral("the summary query failed; the screenshot shows that"));
                             const bool saved = saveScreenshot(&window, options.screenshotPath);
                             if (saved)
                                 std::printf("screenshot: %s\n",
                                             qPrintable(QFileInfo(options.screenshotPath).absoluteFilePath()));
                             else
                                 printError(QStringLiteral("cannot write %1").arg(options.screenshotPath));
                             window.savePanelParam();
                             QApplication::exit(saved ? 0 : 1);
                         });
        // Without the query right the panel never asks; take the picture once it has settled.
        const bool willQuery = options.rights.count(10079) != 0;
        QTimer::singleShot(willQuery ? 30000 + options.latencyMs : 500, &window, [&] {
            if (willQuery)
                printError(QStringLiteral("no summary answer within 30 s"));
            const bool saved = saveScreenshot(&window, options.screenshotPath);
            if (saved)
                std::printf("screenshot: %s\n", qPrintable(QFileInfo(options.screenshotPath).absoluteFilePath()));
            QApplication::exit(saved && !willQuery ? 0 : 1);
        });
    }

    window.switchSystem();
    return QApplication::exec();
}
