// The upload path outside the server, for every kind of file at 1,000 to 100,000 rows (65,000
// for .xls, the format's limit):
//   Read/<kind>/<rows>     the worker's read (file -> text lines), with the peak resident memory
//                          of a fresh process doing only that read (peak_rss_MiB);
//   BuildRequest/<rows>    the GUI thread's part alone: split, look up, build the records;
//   Read/inflating_xlsx    a workbook whose sheet inflates past a gigabyte: how soon it is refused;
//   SendFile/<kind>/<rows> a click on "send" until the request reaches the client centre, as
//                          the dialog runs it (worker read, hand-over, request building), with the
//                          GUI thread's CPU time in between (gui_busy_ms) and the rows sent.
// Files come from bench/ratefiles (fixed seed) in a folder kept between runs; .xls needs soffice.
#include "ratefiles.h"
#include "standinservice.h"
#include "standintoolkit.h"
#include "upload/conversionfile.h"
#include "upload/creditdatasendfiledialog.h"
#include "upload/uploadrequest.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QThread>

#include <benchmark/benchmark.h>
#include <boost/make_shared.hpp>

#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <cstdio>
#include <ctime>
#include <thread>
#include <vector>

namespace {

using ratefiles::Kind;
using Clock = std::chrono::steady_clock;

qint64 threadCpuNs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
}

// CPU time the GUI thread spends handling events (nested loops counted once): on a shared
// machine its wall time would also count the time other processes had the core.
class TimingApplication : public QApplication
{
public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override
    {
        if (QThread::currentThread() != thread())
            return QApplication::notify(receiver, event);
        if (m_depth++ == 0)
            m_startNs = threadCpuNs();
        const bool handled = QApplication::notify(receiver, event);
        if (--m_depth == 0)
            m_busyNs += threadCpuNs() - m_startNs;
        return handled;
    }
    qint64 takeBusyNs() { return std::exchange(m_busyNs, 0); }

private:
    int m_depth = 0;
    qint64 m_startNs = 0;
    qint64 m_busyNs = 0;
};

// Answers every upload with success from a thread of its own and notes when the request came.
class RecordingBackend : public standin::IServiceBackend
{
public:
    ~RecordingBackend() override { joinAnswers(); }
    void query(const boost::shared_ptr<rqservice::CVoprQueryDataReq>&, const DVK::QueryCallback& callback) override
    {
        answer([callback] { callback(utils::RQError::success(), {}, 0, bson::BSONObj()); });
    }
    void operate(const boost::shared_ptr<rqservice::COperateDataReq>& request,
                 const DVK::OperateCallback& callback) override
    {
        m_arrived = Clock::now();
        m_subjects = 0;
        for (const rqservice::IDataPtr& data : request->dataList)
            if (auto detail = boost::dynamic_pointer_cast<rqservice::CVoprCvionRateDetail>(data))
                m_subjects += detail->subjects.size();
        m_requests.fetch_add(1);
        // Held until answered, as a real service holds it while it writes: the records are then
        // let go on its thread, not on the GUI thread that is being timed.
        answer([held = request, callback]() mutable {
            callback(utils::RQError::success(), bson::BSONObj());
            held.reset();
        });
    }
    void joinAnswers()
    {
        std::vector<std::thread> threads;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            threads.swap(m_threads);
        }
        for (std::thread& t : threads)
            t.join();
    }
    int requests() const { return m_requests.load(); }
    Clock::time_point arrived() const { return m_arrived; }
    size_t subjects() const { return m_subjects; }

private:
    void answer(std::function<void()> fn)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_threads.emplace_back(std::move(fn));
    }
    std::mutex m_mutex;
    std::vector<std::thread> m_threads;
    std::atomic<int> m_requests{0};
    Clock::time_point m_arrived;
    size_t m_subjects = 0;
};

const char* g_self = nullptr;

QString fileFor(benchmark::State& state, Kind kind)
{
    const QString path = ratefiles::file(kind, int(state.range(0)), ratefiles::cacheFolder());
    // Its securities beyond the shipped master are known, so every row becomes a record.
    standin::loadSecurityMaster(ratefiles::masterFile(int(state.range(0)), ratefiles::cacheFolder()));
    if (path.isEmpty())
        state.SkipWithError("the file could not be generated (.xls needs LibreOffice's soffice)");
    return path;
}

// Peak resident memory of a fresh process of this program that only reads path. The child
// reports its own high-water mark: the kernel's rusage figure survives exec and would count
// this (large) process's pages too.
double childPeakMiB(const QString& path, bool mustRead = true)
{
    QProcess child;
    child.start(QString::fromLocal8Bit(g_self),
                {mustRead ? QStringLiteral("--read-only") : QStringLiteral("--read-refused"), path});
    if (!child.waitForFinished(120000) || child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0)
        return -1;
    return child.readAllStandardOutput().trimmed().toDouble() / 1024.0;
}

// The peak resident memory of this process so far, in KiB.
long highWaterKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return -1;
}

void BM_Read(benchmark::State& state, Kind kind)
{
    const QString path = fileFor(state, kind);
    if (path.isEmpty())
        return;
    int lines = 0;
    for (auto _ : state) {
        const DVK::ConversionFileLines read = DVK::readConversionFile(path);
        lines = read.lines.size();
        benchmark::DoNotOptimize(lines);
    }
    state.counters["lines"] = lines;
    state.counters["peak_rss_MiB"] = childPeakMiB(path);
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_BuildRequest(benchmark::State& state)
{
    const QString path = fileFor(state, Kind::GbkCsv);
    if (path.isEmpty())
        return;
    const DVK::ConversionFileLines read = DVK::readConversionFile(path);
    const DVK::UploadBroker broker{7, "GX", "国信证券"};
    DVK::buildUploadRequest(read.lines, read.separator, broker); // loads the security master
    for (auto _ : state) {
        const DVK::UploadRequestPlan plan = DVK::buildUploadRequest(read.lines, read.separator, broker);
        benchmark::DoNotOptimize(plan.detail->subjects.size());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_ReadInflating(benchmark::State& state)
{
    const QString path = ratefiles::inflatingXlsx(ratefiles::cacheFolder());
    if (path.isEmpty()) {
        state.SkipWithError("the inflating workbook could not be made");
        return;
    }
    for (auto _ : state) {
        const DVK::ConversionFileLines read = DVK::readConversionFile(path);
        if (!read.lines.isEmpty() || read.message.isEmpty()) {
            state.SkipWithError("the inflating workbook was not refused with a message");
            return;
        }
    }
    state.counters["peak_rss_MiB"] = childPeakMiB(path, false);
}

void BM_SendFile(benchmark::State& state, Kind kind)
{
    const QString path = fileFor(state, kind);
    if (path.isEmpty())
        return;
    auto backend = boost::make_shared<RecordingBackend>();
    standin::setBackend(backend);
    standin::setCaptureMessages(true);
    // A refused file ends in a box instead of a request: note it rather than wait for ever.
    QString box;
    standin::setMessageInterceptor([&box](const standin::MessageRecord& record) {
        box = record.text;
        return int(QMessageBox::Ok);
    });
    auto* app = static_cast<TimingApplication*>(qApp);
    auto info = boost::make_shared<rqservice::CVoprCvionRateBaseInfo>();
    info->brokerKeyNo = 7;
    info->brokerId = "HT";
    info->brokerName = "华泰证券";
    info->tradingDay = "20241205";
    {
        DVK::CCreditDataSendFileDialog dialog(nullptr);
        dialog.setBrokerList({info});
        dialog.show();
        dialog.findChild<QLineEdit*>(QStringLiteral("sendFileEdit"))->setText(path);
        auto* send = dialog.findChild<QAbstractButton*>(QStringLiteral("sendFileSendButton"));
        double busyMs = 0;
        for (auto _ : state) {
            const int before = backend->requests();
            box.clear();
            QApplication::processEvents();
            app->takeBusyNs();
            const Clock::time_point start = Clock::now();
            // Posted, so that the click itself counts as GUI-thread work.
            QMetaObject::invokeMethod(send, "click", Qt::QueuedConnection);
            while (backend->requests() == before && box.isEmpty())
                QApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
            if (backend->requests() == before) {
                state.SkipWithError(("the file was refused: " + box.toStdString()).c_str());
                break;
            }
            const Clock::time_point end = backend->arrived();
            busyMs += double(app->takeBusyNs()) / 1e6;
            state.SetIterationTime(std::chrono::duration<double>(end - start).count());
            // Let the answer come back and the dialog settle before the next click.
            backend->joinAnswers();
            while (QApplication::activeModalWidget())
                QApplication::processEvents();
            QApplication::processEvents();
            dialog.show();
        }
        state.counters["gui_busy_ms"] = busyMs / double(state.iterations());
        state.counters["rows_sent"] = double(backend->subjects());
    }
    backend->joinAnswers();
    standin::setMessageInterceptor(standin::MessageInterceptor());
    standin::setBackend(standin::IServiceBackendPtr());
    standin::takeCapturedMessages();
}

void sizes(benchmark::internal::Benchmark* b, Kind kind)
{
    b->Arg(1000)->Arg(10000)->Arg(kind == Kind::Xls ? 65000 : 100000)->Unit(benchmark::kMillisecond);
}

void registerAll()
{
    benchmark::RegisterBenchmark("BuildRequest", BM_BuildRequest)
        ->Arg(1000)
        ->Arg(10000)
        ->Arg(100000)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Read/inflating_xlsx", BM_ReadInflating)->Iterations(1)->Unit(benchmark::kMillisecond);
    for (Kind kind : {Kind::Utf8Csv, Kind::GbkCsv, Kind::Xlsx, Kind::Xls}) {
        const std::string name = ratefiles::kindName(kind);
        auto* read = benchmark::RegisterBenchmark(("Read/" + name).c_str(), BM_Read, kind);
        sizes(read, kind);
        auto* send = benchmark::RegisterBenchmark(("SendFile/" + name).c_str(), BM_SendFile, kind);
        sizes(send, kind);
        send->UseManualTime();
    }
}

} // namespace

int main(int argc, char** argv)
{
    const bool refused = argc == 3 && std::strcmp(argv[1], "--read-refused") == 0;
    if (argc == 3 && (refused || std::strcmp(argv[1], "--read-only") == 0)) {
        QCoreApplication app(argc, argv);
        if (DVK::readConversionFile(QString::fromLocal8Bit(argv[2])).lines.isEmpty() != refused)
            return 1;
        std::printf("%ld\n", highWaterKiB());
        return 0;
    }
    g_self = argv[0];
    TimingApplication app(argc, argv);
    registerAll();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
