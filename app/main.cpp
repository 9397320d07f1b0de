#include "answerwatcher.h"
#include "gallery.h"
#include "hostoptions.h"
#include "logsetup.h"
#include "mainwindow.h"
#include "panelplugin.h"
#include "programend.h"
#include "screenshotjob.h"
#include "signalquitter.h"

#include "hosttoolkit.h"
#include "standinservice.h"
#include "standintoolkit.h"

#include <QApplication>
#include <QPointer>
#include <QStandardPaths>

#include <cstdio>

namespace {

// Stopped on what it could not go on without (memory, a thread).
constexpr int kStoppedExit = 4;

void printError(const QString& text)
{
    std::fprintf(stderr, "demohost: %s\n", text.toLocal8Bit().constData());
}

// The headless run's job, told of every message the client is asked to show.
QPointer<CScreenshotJob> g_screenshotJob;

// Headless runs must never wait for a click: messages go to stderr (and the job) instead.
void reportMessagesWithoutBoxes()
{
    standin::setMessageInterceptor([](const standin::MessageRecord& record) {
        printError(QStringLiteral("message \"%1\": %2").arg(record.title, record.text));
        if (g_screenshotJob) {
            QMetaObject::invokeMethod(
                g_screenshotJob,
                [record] {
                    if (g_screenshotJob)
                        g_screenshotJob->onMessage(record.kind, record.success, record.title, record.text);
                },
                Qt::QueuedConnection);
        }
        return int(QMessageBox::Ok);
    });
}

} // namespace

int main(int argc, char* argv[])
{
    // Out of memory or threads: a message and a code a script can read, never a signal.
    standin::endWithMessageOnFailure("demohost", kStoppedExit);
    QStringList rawArguments;
    for (int i = 0; i < argc; ++i)
        rawArguments << QString::fromLocal8Bit(argv[i]);
    // Checked before QApplication, which would silently take the argument away.
    const QString claimed = qtClaimedArgumentError(rawArguments);
    if (!claimed.isEmpty()) {
        printError(claimed);
        return 2;
    }
    // The help needs no display: it is printed before the GUI application exists.
    if (asksForHelp(rawArguments)) {
        QCoreApplication help(argc, argv);
        HostOptions options;
        QString error;
        if (!parseHostOptions(QCoreApplication::arguments(), options, error)) {
            printError(error);
            return 2;
        }
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

    standin::setGrantedRights(options.rights);
    if (!options.userName.isEmpty())
        standin::setUserName(options.userName);
    // A team's database starts with the brokers it is given; only the demo's own file, or an
    // operator asking for it, gets the demo brokers and made-up uploads.
    if (!options.brokersFile.isEmpty() || (isTeamDatabase(options.databasePath) && !options.demoData)) {
        std::vector<standin::SeedBroker> brokers;
        if (!options.brokersFile.isEmpty() && !readSeedBrokers(options.brokersFile, brokers, error)) {
            printError(error);
            return 2;
        }
        standin::setNewDatabaseSeed(false, brokers);
    }
    standin::setDatabasePath(options.databasePath);
    // Never the password: the location as the service's own messages show it.
    const QByteArray shownDatabase =
        standin::maskedDatabaseLocation(standin::databasePath().isEmpty() ? QStringLiteral("(default file)")
                                                                          : standin::databasePath())
            .toUtf8();
    const QByteArray user = standin::userName().toUtf8();
    std::fprintf(stderr, "demohost: user %s, database %s\n", user.constData(), shownDatabase.constData());
    rqStdLogNew(g_RQStdLogger, 20000, "[DemoHost] user %s, database %s", user.constData(), shownDatabase.constData());
    standin::setLatencyMs(options.latencyMs);

    if (!options.galleryDir.isEmpty())
        return saveToolkitGallery(options.galleryDir) == 0 ? 0 : 1;

    const bool headless = !options.screenshotPath.isEmpty();
    if (headless)
        reportMessagesWithoutBoxes();

    // Handed straight to the client centre, which owns it from here on.
    boost::shared_ptr<CAnswerWatcher> watcher(new CAnswerWatcher(standin::backend()));
    standin::setBackend(watcher);

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
        // Longer than the service may take to answer the summary, the upload and the summary
        // after it, so that a failure shows the service's own message, not this job giving up.
        const standin::ServiceTimeouts bounds = standin::serviceTimeouts();
        settings.timeoutMs = 2 * bounds.queryMs + bounds.uploadMs + 15000 + 4 * options.latencyMs;
        settings.uploadFile = options.uploadFile;
        settings.uploadBroker = options.uploadBroker;
        auto* job = new CScreenshotJob(&window, settings, &window);
        g_screenshotJob = job;
        QObject::connect(watcher.get(), &CAnswerWatcher::queryAnswered, job, &CScreenshotJob::onQueryAnswered);
    }

    // Killed (SIGTERM, Ctrl+C): close the window as the user would, which saves the panel's layout.
    CSignalQuitter quitter;
    QObject::connect(&quitter, &CSignalQuitter::signalled, &window, [&window] {
        window.close();
        QApplication::quit();
    });
    if (!quitter.install())
        std::fprintf(stderr, "demohost: SIGTERM and SIGINT are not caught\n");

    window.switchSystem();
    return QApplication::exec();
}
