#include "answerwatcher.h"
#include "gallery.h"
#include "hostoptions.h"
#include "logsetup.h"
#include "mainwindow.h"
#include "panelplugin.h"
#include "screenshotjob.h"

#include "hosttoolkit.h"

#include <QApplication>
#include <QFileInfo>
#include <QStandardPaths>

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

} // namespace

int main(int argc, char* argv[])
{
    QStringList rawArguments;
    for (int i = 0; i < argc; ++i)
        rawArguments << QString::fromLocal8Bit(argv[i]);
    // Checked before QApplication, which would silently take the argument away.
    const QString claimed = qtClaimedArgumentError(rawArguments);
    if (!claimed.isEmpty()) {
        printError(claimed);
        return 2;
    }

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
        CScreenshotJob::Settings settings;
        settings.path = options.screenshotPath;
        settings.detailRow = options.detailRow;
        settings.expectsQuery = options.rights.count(10079) != 0;
        settings.timeoutMs = 30000 + 2 * options.latencyMs;
        auto* job = new CScreenshotJob(&window, settings, &window);
        QObject::connect(watcher.get(), &CAnswerWatcher::queryAnswered, job, &CScreenshotJob::onQueryAnswered);
    }

    window.switchSystem();
    return QApplication::exec();
}
