// Memory a demo client keeps across a day of uploads: the client as demohost builds it (the
// plug-in loaded at run time and docked, the embedded data service on a fresh SQLite file),
// then N uploads (--uploads, 12) of a file of R rows (--rows, 300,000; UTF-8 csv) through the
// panel's upload dialog, each waited for until the summary after it has been shown. Counters:
// resident memory once the first summary is shown (rss_start_MiB), after the first upload and
// after the last, and the growth over the start. Target: growth at most 100 MiB; the program
// exits 1 when it is missed (or an upload failed). --no-trim: the client keeps what the C library
// keeps (the stand-in gives nothing back after an answer), to see what the trims are worth.
#include "answerwatcher.h"
#include "heaptrimmer.h"
#include "mainwindow.h"
#include "panelplugin.h"
#include "ratefiles.h"
#include "uploaddriver.h"

#include "hosttoolkit.h"
#include "standinservice.h"
#include "standintoolkit.h"

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

int g_uploads = 12;
int g_rows = 300000;
constexpr double kTargetGrowthMiB = 100;
// Longer than the stand-in waits after the last answer before it gives memory back (a second),
// as a user would look at the result before the next upload.
constexpr int kSettleMs = 2000;
bool g_missed = false;

double residentMiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    return -1;
}

// Runs the event loop until done() holds or the time is up; false on the time.
template <class Done>
bool waitFor(Done done, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    }
    return true;
}

bool uploadDialogOpen()
{
    for (QWidget* top : QApplication::topLevelWidgets())
        if (top->isVisible() && top->objectName() == QLatin1String("creditDataSendFileDialog"))
            return true;
    return false;
}

void BM_UploadsInOneClient(benchmark::State& state)
{
    const QString file = ratefiles::file(ratefiles::Kind::Utf8Csv, g_rows, ratefiles::cacheFolder());
    QTemporaryDir folder;
    // The file names each security once, most of them beyond the shipped master.
    if (file.isEmpty() || !folder.isValid() ||
        !standin::loadSecurityMaster(ratefiles::masterFile(g_rows, ratefiles::cacheFolder()))) {
        state.SkipWithError("the file or the database folder could not be made");
        g_missed = true;
        return;
    }
    standin::setDatabasePath(folder.filePath(QStringLiteral("credit.sqlite")));
    // What the client would show in a box: noted, answered at once.
    int successes = 0;
    QString failure;
    standin::setMessageInterceptor([&](const standin::MessageRecord& record) {
        if (record.kind == standin::MessageRecord::ServerMessage) {
            if (record.success)
                ++successes;
            else
                failure = record.text;
        }
        return int(QMessageBox::Ok);
    });
    boost::shared_ptr<CAnswerWatcher> watcher(new CAnswerWatcher(standin::backend()));
    standin::setBackend(watcher);
    int summaries = 0;
    QObject::connect(watcher.get(), &CAnswerWatcher::queryAnswered, [&summaries](int type, bool success) {
        if (type == rqservice::eDataTypeCvionRateBaseInfo && success)
            ++summaries;
    });

    CPanelPlugin plugin;
    if (!plugin.load(CPanelPlugin::defaultPath())) {
        state.SkipWithError(plugin.errorString().toStdString().c_str());
        g_missed = true;
        return;
    }
    double start = 0, afterFirst = 0, afterLast = 0;
    {
        CMainWindow window;
        DVK::IvoprDockableWidget* panel = plugin.createPanel(&window);
        if (!panel) {
            state.SkipWithError("the plug-in built no panel");
            g_missed = true;
            return;
        }
        window.dockPanel(panel);
        window.show();
        window.switchSystem();
        const int wait = 2 * standin::serviceTimeouts().uploadMs;
        for (auto _ : state) {
            if (!waitFor([&] { return summaries > 0; }, wait)) {
                state.SkipWithError("no summary was shown");
                break;
            }
            waitFor([] { return false; }, 200);
            start = residentMiB();
            const auto began = std::chrono::steady_clock::now();
            for (int i = 0; i < g_uploads && failure.isEmpty(); ++i) {
                const int before = summaries;
                const int sent = successes;
                CUploadDriver driver(&window, file, QString());
                QObject::connect(&driver, &CUploadDriver::failed, [&failure](const QString& why) { failure = why; });
                if (!driver.start()) {
                    failure = QStringLiteral("the panel shows no upload button");
                    break;
                }
                if (!waitFor([&] { return !failure.isEmpty() || (successes > sent && summaries > before); }, wait))
                    failure = QStringLiteral("upload %1 was not answered").arg(i + 1);
                // The dialog closes, the panel settles, and the stand-in does what it does after
                // a request was handed over.
                waitFor([] { return !uploadDialogOpen(); }, 5000);
                waitFor([] { return false; }, kSettleMs);
                (i == 0 ? afterFirst : afterLast) = residentMiB();
            }
            if (g_uploads == 1)
                afterLast = afterFirst;
            state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count());
        }
    }
    if (!failure.isEmpty()) {
        state.SkipWithError(("an upload failed: " + failure.toStdString()).c_str());
        g_missed = true;
    }
    state.counters["uploads"] = successes;
    state.counters["rss_start_MiB"] = start;
    state.counters["rss_after_first_MiB"] = afterFirst;
    state.counters["rss_after_last_MiB"] = afterLast;
    state.counters["growth_MiB"] = afterLast - start;
    if (afterLast - start > kTargetGrowthMiB) {
        std::fprintf(stderr, "upload_memory_bench: %.1f MiB kept after %d uploads, target %.0f MiB\n",
                     afterLast - start, g_uploads, kTargetGrowthMiB);
        g_missed = true;
    }
    standin::setMessageInterceptor(standin::MessageInterceptor());
    standin::setBackend(standin::IServiceBackendPtr());
}

// Takes "--name N" (a whole number at least 1) out of argv.
bool takeCount(int& argc, char** argv, const char* name, int& value)
{
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], name) != 0)
            continue;
        char* end = nullptr;
        const long parsed = std::strtol(argv[i + 1], &end, 10);
        if (!end || *end || parsed < 1 || parsed > 10000000)
            return false;
        value = int(parsed);
        for (int j = i; j + 2 <= argc; ++j)
            argv[j] = argv[j + 2];
        argc -= 2;
        return true;
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (!takeCount(argc, argv, "--uploads", g_uploads) || !takeCount(argc, argv, "--rows", g_rows)) {
        std::fprintf(stderr, "upload_memory_bench: --uploads and --rows take a whole number from 1\n");
        return 2;
    }
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--no-trim") == 0) {
            DVK::CHeapTrimmer::setDelayMs(-1);
            for (int j = i; j + 1 <= argc; ++j)
                argv[j] = argv[j + 1];
            --argc;
            break;
        }
    }
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("CreditData"));
    QApplication::setApplicationName(QStringLiteral("UploadMemoryBench"));
    standin::setGrantedRights({10079, 10413});
    benchmark::RegisterBenchmark("UploadsInOneClient", BM_UploadsInOneClient)
        ->Iterations(1)
        ->UseManualTime()
        ->Unit(benchmark::kSecond);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return g_missed ? 1 : 0;
}
