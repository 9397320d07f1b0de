// The embedded service on both engines side by side: a 100,000-row upload, the 12295 detail of
// 100,000 rows, and the 12294 summary over 10,000 uploads of 200 brokers. The PostgreSQL runs
// start a throwaway server of their own (tests/pg/pgcluster.sh, fsync on); argument 0 is
// SQLite, 1 PostgreSQL.
#include "benchserver.h"
#include "embeddeddataservice.h"
#include "hostservice.h"
#include "uploadrequests.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTextStream>
#include <QVariant>

#include <benchmark/benchmark.h>

#include <boost/make_shared.hpp>

#include <ctime>
#include <unistd.h>
#include <memory>
#include <string>
#include <vector>

namespace {

CBenchServer& server()
{
    static CBenchServer s;
    return s;
}

// A new database of the engine; SQLite files live in dir.
QString newDatabase(int engine, const QTemporaryDir& dir, const char* name)
{
    if (engine == 0)
        return dir.filePath(QString::fromLatin1(name) + ".sqlite");
    static int counter = 0;
    return server().createDatabase(QStringLiteral("%1_%2").arg(QString::fromLatin1(name)).arg(++counter));
}

// CPU time of this process (the service thread does the work) in ms: steadier than wall time
// on a loaded machine. The PostgreSQL server's own share is not in it.
double processCpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

// Reports the CPU per iteration of this process as "cpu_ms" and of the PostgreSQL server as
// "server_cpu_ms" (PostgreSQL runs only; clock ticks, so a 10 ms grain per iteration at worst).
class CCpuCounter
{
public:
    explicit CCpuCounter(benchmark::State& state)
        : m_state(state)
        , m_start(processCpuMs())
        , m_serverStart(server().cpuMs())
    {
    }
    ~CCpuCounter()
    {
        if (m_state.iterations() == 0)
            return;
        const double n = double(m_state.iterations());
        m_state.counters["cpu_ms"] = (processCpuMs() - m_start) / n;
        if (m_state.range(0) == 1)
            m_state.counters["server_cpu_ms"] = (server().cpuMs() - m_serverStart) / n;
    }

private:
    benchmark::State& m_state;
    double m_start;
    double m_serverStart;
};

bool warm(rqservice::CEmbeddedDataService& service)
{
    auto request = boost::make_shared<rqservice::CVoprQueryDataReq>();
    request->queryType = rqservice::eDataTypeCvionRateBaseInfo;
    bool ok = false;
    service.query(request, [&ok](const utils::RQError& e, const std::vector<rqservice::IDataPtr>&, int, bson::BSONObj) {
        ok = e.isSuccess();
    });
    service.waitIdle();
    return ok;
}

bool upload(rqservice::CEmbeddedDataService& service, const boost::shared_ptr<rqservice::COperateDataReq>& request)
{
    bool ok = false;
    service.operate(request, [&ok](const utils::RQError& e, bson::BSONObj) { ok = e.isSuccess(); });
    service.waitIdle();
    return ok;
}

size_t queryCount(rqservice::CEmbeddedDataService& service, int type, const std::string& key, bool& ok)
{
    auto request = boost::make_shared<rqservice::CVoprQueryDataReq>();
    request->queryType = type;
    request->queryKey = key;
    size_t count = 0;
    service.query(
        request, [&](const utils::RQError& e, const std::vector<rqservice::IDataPtr>& records, int, bson::BSONObj) {
            ok = ok && e.isSuccess();
            count = records.size();
            if (type == 12295 && !records.empty())
                count = boost::dynamic_pointer_cast<rqservice::CVoprCvionRateDetail>(records.front())->subjects.size();
        });
    service.waitIdle();
    return count;
}

// One upload of 100,000 rows in one transaction.
void BM_Upload100kRows(benchmark::State& state)
{
    QTemporaryDir dir;
    const QString location = newDatabase(int(state.range(0)), dir, "upload");
    rqservice::CEmbeddedDataService service(location);
    if (location.isEmpty() || !warm(service)) {
        state.SkipWithError("no database");
        return;
    }
    const auto request = makeUploadRequest(100000);
    bool ok = true;
    {
        CCpuCounter cpu(state);
        for (auto _ : state)
            ok = upload(service, request) && ok;
    }
    if (!ok)
        state.SkipWithError("upload failed");
    state.SetItemsProcessed(state.iterations() * 100000);
}
BENCHMARK(BM_Upload100kRows)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// The 12295 detail of a broker whose latest upload has 100,000 rows.
void BM_Detail100kRows(benchmark::State& state)
{
    QTemporaryDir dir;
    const QString location = newDatabase(int(state.range(0)), dir, "detail");
    rqservice::CEmbeddedDataService service(location);
    if (location.isEmpty() || !warm(service) || !upload(service, makeUploadRequest(100000))) {
        state.SkipWithError("no database");
        return;
    }
    bool ok = true;
    {
        CCpuCounter cpu(state);
        for (auto _ : state)
            ok = queryCount(service, 12295, "1____CITIC", ok) == 100000 && ok;
    }
    if (!ok)
        state.SkipWithError("query failed");
    state.SetItemsProcessed(state.iterations() * 100000);
}
BENCHMARK(BM_Detail100kRows)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// The 12294 summary over 200 brokers with 50 uploads each, written as another program would.
void BM_Summary10kUploads(benchmark::State& state)
{
    QTemporaryDir dir;
    const int engine = int(state.range(0));
    const QString location = newDatabase(engine, dir, "summary");
    auto service = std::make_unique<rqservice::CEmbeddedDataService>(location);
    if (location.isEmpty() || !warm(*service)) {
        state.SkipWithError("no database");
        return;
    }
    service.reset();
    QStringList fill{QStringLiteral("DELETE FROM ratios"), QStringLiteral("DELETE FROM uploads"),
                     QStringLiteral("DELETE FROM brokers")};
    QStringList brokers, uploads;
    for (int b = 1; b <= 200; ++b) {
        brokers << QStringLiteral("(%1, 'B%1', '券商%1')").arg(b);
        for (int u = 0; u < 50; ++u)
            uploads << QStringLiteral("(%1, '20240105', '093000')").arg(b);
    }
    fill << "INSERT INTO brokers (broker_key_no, broker_id, broker_name) VALUES " + brokers.join(',');
    fill << "INSERT INTO uploads (broker_key_no, upload_date, upload_time) VALUES " + uploads.join(',');
    bool filled = false;
    if (engine == 0) {
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("bench-fill"));
            db.setDatabaseName(location);
            filled = db.open();
            QSqlQuery q(db);
            for (const QString& sql : fill)
                filled = filled && q.exec(sql);
        }
        QSqlDatabase::removeDatabase(QStringLiteral("bench-fill"));
    } else {
        filled = server().adminExec(location.section('/', 3).section('?', 0, 0), fill);
    }
    service = std::make_unique<rqservice::CEmbeddedDataService>(location);
    if (!filled) {
        state.SkipWithError("fill failed");
        return;
    }
    bool ok = true;
    {
        CCpuCounter cpu(state);
        for (auto _ : state)
            ok = queryCount(*service, 12294, std::string(), ok) == 200 && ok; // one record per broker
    }
    if (!ok)
        state.SkipWithError("summary failed");
    state.SetItemsProcessed(state.iterations() * 10000);
}
BENCHMARK(BM_Summary10kUploads)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    utils::CSingletonT<utils::CLogCenter>::instance()->setLogEnabled(false);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    server().stop();
    benchmark::Shutdown();
    return 0;
}
