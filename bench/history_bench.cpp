// The data service as a team finds it after a year of daily uploads, beside an empty database, on
// both engines: the summary (12294), a detail of 5,000 rows (12295), an upload of 100,000 rows, and
// the database's size. The history (30 brokers x 250 uploads x 5,000 rows by default) is made once
// by bulk SQL and kept under /tmp/creditdata-history (a SQLite file, a PostgreSQL server's data):
//
//   build/bin/history_bench [--brokers N] [--uploads N] [--rows N] [Google Benchmark's options]
//
// Arguments: engine (0 SQLite, 1 PostgreSQL), history (0 empty, 1 the history). At the end a table
// sets each figure beside its target ("before": the summary as one record per upload, the way it
// answered until it answered one per broker). bench/smoke.sh runs a small history.
#include "benchserver.h"
#include "embeddeddataservice.h"
#include "hostservice.h"
#include "uploadrequests.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QVariant>

#include <benchmark/benchmark.h>

#include <boost/make_shared.hpp>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

struct HistorySize
{
    int brokers = 30;
    int uploads = 250; // per broker, one a trading day
    int rows = 5000;   // per upload
    // Names the kept data: the sizes, the schema version and how it is made.
    QString tag() const { return QStringLiteral("b%1_u%2_r%3_v2_g2").arg(brokers).arg(uploads).arg(rows); }
};
HistorySize g_size;

const QString kCache = QStringLiteral("/tmp/creditdata-history");

CBenchServer& server()
{
    static CBenchServer s(kCache + QStringLiteral("/pg"));
    return s;
}

// A connection of its own to the engine's database at location, as the tables' owner.
QSqlDatabase connection(int engine, const QString& location, const QString& name)
{
    QSqlDatabase db = QSqlDatabase::addDatabase(engine ? QStringLiteral("QPSQL") : QStringLiteral("QSQLITE"), name);
    if (engine == 0) {
        db.setDatabaseName(location);
    } else {
        db.setHostName(server().value("PGTEST_DIR"));
        db.setUserName(QStringLiteral("credit"));
        db.setPassword(QStringLiteral("secret"));
        db.setDatabaseName(location.section('/', 3).section('?', 0, 0));
    }
    db.open();
    return db;
}

// Runs statements on a connection of its own; false on the first failure.
bool runSql(int engine, const QString& location, const QStringList& statements)
{
    bool ok = false;
    {
        QSqlDatabase db = connection(engine, location, QStringLiteral("bench-fill"));
        ok = db.isOpen();
        QSqlQuery q(db);
        for (const QString& sql : statements) {
            if (ok && !q.exec(sql)) {
                std::fprintf(stderr, "history_bench: %s\n  %s\n", qPrintable(sql), qPrintable(q.lastError().text()));
                ok = false;
            }
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("bench-fill"));
    return ok;
}

bool summaryAnswered(rqservice::CEmbeddedDataService& service, size_t* count = nullptr)
{
    auto request = boost::make_shared<rqservice::CVoprQueryDataReq>();
    request->queryType = rqservice::eDataTypeCvionRateBaseInfo;
    bool ok = false;
    service.query(request,
                  [&](const utils::RQError& e, const std::vector<rqservice::IDataPtr>& records, int, bson::BSONObj) {
                      ok = e.isSuccess();
                      if (count)
                          *count = records.size();
                  });
    service.waitIdle();
    return ok;
}

// Our tables made by the service itself, then filled with the history in a few set-based
// statements: brokers, uploads (one per broker and trading day, in id order by date) and rows.
bool fillHistory(int engine, const QString& location, int uploads)
{
    {
        rqservice::CEmbeddedDataService service(location);
        if (!summaryAnswered(service))
            return false;
    }
    const bool pg = engine == 1;
    const QString b = QString::number(g_size.brokers);
    const QString u = QString::number(uploads);
    const QString r = QString::number(g_size.rows);
    const QString series = pg ? QStringLiteral("(SELECT generate_series(1, %1) AS n)")
                              : QStringLiteral("(WITH RECURSIVE s(n) AS (SELECT 1 WHERE %1 >= 1 UNION ALL "
                                               "SELECT n + 1 FROM s WHERE n < %1) SELECT n FROM s)");
    const QString date = pg ? QStringLiteral("to_char(date '2024-01-01' + d.n, 'YYYYMMDD')")
                            : QStringLiteral("strftime('%Y%m%d', '2024-01-01', '+' || d.n || ' days')");
    const QString code =
        pg ? QStringLiteral("lpad((600000 + l.n)::text, 6, '0')") : QStringLiteral("printf('%06d', 600000 + l.n)");
    QStringList fill;
    if (!pg)
        fill << "PRAGMA journal_mode = OFF"
             << "PRAGMA synchronous = OFF"
             << "PRAGMA cache_size = -262144";
    fill << "DELETE FROM ratios"
         << "DELETE FROM uploads"
         << "DELETE FROM brokers";
    if (pg)
        fill << "ALTER TABLE ratios DROP CONSTRAINT ratios_pkey";
    else
        fill << "BEGIN";
    fill << QStringLiteral("INSERT INTO brokers SELECT b.n, 'B' || b.n, '券商' || b.n FROM %1 b").arg(series.arg(b));
    // The ids are the fill's: only the sequence gives them otherwise.
    fill << QStringLiteral("INSERT INTO uploads (id, broker_key_no, upload_date, upload_time, user_name, row_count) "
                           "%6SELECT (d.n - 1) * %1 + b.n, b.n, %2, '093000', 'bench', %3 FROM %4 d, %5 b")
                .arg(b, date, r, series.arg(u), series.arg(b),
                     pg ? QStringLiteral("OVERRIDING SYSTEM VALUE ") : QString());
    // Each upload's rows one after another, as an upload writes them: the order a detail reads.
    fill << QStringLiteral("INSERT INTO ratios SELECT up.id, l.n, CASE l.n %% 3 WHEN 0 THEN '上交所' WHEN 1 THEN "
                           "'深交所' ELSE '北交所' END, %1, '证券' || l.n, ((l.n * 7 + up.id) %% 20) / 20.0 "
                           "FROM uploads up CROSS JOIN %2 l ORDER BY up.id, l.n")
                .arg(code, series.arg(r))
                .replace(QStringLiteral("%%"), QStringLiteral("%"));
    if (pg) {
        fill << "ALTER TABLE ratios ADD PRIMARY KEY (upload_id, line_no)"
             << "SELECT setval(pg_get_serial_sequence('uploads', 'id'), greatest((SELECT max(id) FROM uploads), 1))"
             << "VACUUM ANALYZE brokers"
             << "VACUUM ANALYZE uploads"
             << "VACUUM ANALYZE ratios";
    } else {
        fill << "COMMIT";
        // What the demo's data left free counts as the file's size otherwise.
        if (uploads == 0)
            fill << "VACUUM";
    }
    return runSql(engine, location, fill);
}

// The database of an engine with a history (or none); made once for the history and kept.
QString database(int engine, bool history, QTemporaryDir& scratch)
{
    static std::map<std::pair<int, bool>, QString> made;
    const auto key = std::make_pair(engine, history);
    if (made.count(key))
        return made[key];
    QString location;
    if (engine == 0) {
        location = history ? kCache + QStringLiteral("/year_%1.sqlite").arg(g_size.tag())
                           : scratch.filePath(QStringLiteral("empty.sqlite"));
        QDir().mkpath(kCache);
        const QString done = location + QStringLiteral(".done");
        if (!history || !QFile::exists(done)) {
            QFile::remove(location);
            QElapsedTimer clock;
            clock.start();
            if (!fillHistory(engine, location, history ? g_size.uploads : 0))
                return QString();
            if (history) {
                QFile(done).open(QIODevice::WriteOnly);
                std::fprintf(stderr, "history_bench: made %s in %.0f s\n", qPrintable(location), clock.elapsed() / 1e3);
            }
        }
    } else {
        if (!server().ensure())
            return QString();
        const QString name = history ? QStringLiteral("year_%1").arg(g_size.tag()) : QStringLiteral("empty_history");
        const bool ready = history && server().adminScalar(QStringLiteral("postgres"),
                                                           "SELECT shobj_description(oid, 'pg_database') FROM "
                                                           "pg_database WHERE datname = '" +
                                                               name + "'") == "made";
        location = server().uri(name);
        if (!ready) {
            server().adminExec(QStringLiteral("postgres"), {"DROP DATABASE IF EXISTS " + name});
            QElapsedTimer clock;
            clock.start();
            if (server().createDatabase(name).isEmpty() ||
                !fillHistory(engine, location, history ? g_size.uploads : 0) ||
                !server().adminExec(QStringLiteral("postgres"), {"COMMENT ON DATABASE " + name + " IS 'made'"}))
                return QString();
            if (history)
                std::fprintf(stderr, "history_bench: made %s in %.0f s\n", qPrintable(name), clock.elapsed() / 1e3);
        }
    }
    made[key] = location;
    return location;
}

double sizeMiB(int engine, const QString& location)
{
    if (engine == 0)
        return QFileInfo(location).size() / 1048576.0;
    const QString name = location.section('/', 3).section('?', 0, 0);
    return server().adminScalar(name, QStringLiteral("SELECT pg_database_size(current_database())")).toDouble() /
           1048576.0;
}

// Each figure's median wall time in ms, by "case/engine/history", for the closing table.
std::map<std::string, std::vector<double>>& figures()
{
    static std::map<std::string, std::vector<double>> f;
    return f;
}

std::string figureKey(const char* name, const benchmark::State& state)
{
    return std::string(name) + "/" + (state.range(0) ? "PostgreSQL" : "SQLite") + "/" +
           (state.range(1) ? "year" : "empty");
}

QTemporaryDir& scratch()
{
    static QTemporaryDir dir;
    return dir;
}

boost::shared_ptr<rqservice::COperateDataReq> uploadFor(int brokerKeyNo, int rows)
{
    const auto request = makeUploadRequest(rows);
    auto detail = boost::dynamic_pointer_cast<rqservice::CVoprCvionRateDetail>(request->dataList.front());
    detail->brokerKeyNo = brokerKeyNo;
    detail->brokerId = "B" + std::to_string(brokerKeyNo);
    return request;
}

bool upload(rqservice::CEmbeddedDataService& service, const boost::shared_ptr<rqservice::COperateDataReq>& request)
{
    bool ok = false;
    service.operate(request, [&ok](const utils::RQError& e, bson::BSONObj) { ok = e.isSuccess(); });
    service.waitIdle();
    return ok;
}

// The benchmark's database (engine, history), or empty with the benchmark skipped.
QString databaseOf(benchmark::State& state)
{
    const QString location = database(int(state.range(0)), state.range(1) != 0, scratch());
    if (location.isEmpty())
        state.SkipWithError("no database");
    return location;
}

void BM_Summary(benchmark::State& state)
{
    const int engine = int(state.range(0));
    const QString location = databaseOf(state);
    if (location.isEmpty())
        return;
    rqservice::CEmbeddedDataService service(location);
    size_t count = 0;
    bool ok = summaryAnswered(service, &count);
    for (auto _ : state) {
        QElapsedTimer clock;
        clock.start();
        ok = summaryAnswered(service, &count) && ok;
        figures()[figureKey("summary", state)].push_back(clock.nsecsElapsed() / 1e6);
    }
    if (!ok || count != size_t(g_size.brokers))
        state.SkipWithError("the summary failed or was not one record per broker");
    state.counters["db_MiB"] = sizeMiB(engine, location);
    figures()[figureKey("size", state)].push_back(state.counters["db_MiB"]);
}
BENCHMARK(BM_Summary)->ArgsProduct({{0, 1}, {0, 1}})->Unit(benchmark::kMillisecond)->UseRealTime();

// The summary as it was before it answered one record per broker: one per upload, the same
// statement and record building, on the same data (for the figure before).
void BM_SummaryPerUpload(benchmark::State& state)
{
    const int engine = int(state.range(0));
    const QString location = databaseOf(state);
    if (location.isEmpty())
        return;
    const bool pg = engine == 1;
    size_t records = 0;
    {
        QSqlDatabase db = connection(engine, location, QStringLiteral("bench-before"));
        const bool open = db.isOpen();
        for (auto _ : state) {
            QElapsedTimer clock;
            clock.start();
            std::vector<rqservice::IDataPtr> answer;
            QSqlQuery q(db);
            q.setForwardOnly(!pg);
            if (open && q.exec(QStringLiteral("SELECT b.broker_key_no, b.broker_id, b.broker_name, u.id, u.upload_date "
                                              "FROM brokers b LEFT JOIN uploads u ON u.broker_key_no = b.broker_key_no "
                                              "ORDER BY b.broker_key_no, u.id"))) {
                while (q.next()) {
                    auto r = boost::make_shared<rqservice::CVoprCvionRateBaseInfo>();
                    r->brokerKeyNo = q.value(0).toInt();
                    r->brokerId = q.value(1).toString().toStdString();
                    r->brokerName = q.value(2).toString().toStdString();
                    r->lastUploadDate = q.value(4).toString().toStdString();
                    answer.push_back(r);
                }
            }
            records = answer.size();
            figures()[figureKey("before", state)].push_back(clock.nsecsElapsed() / 1e6);
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("bench-before"));
    state.counters["records"] = double(records);
}
BENCHMARK(BM_SummaryPerUpload)->ArgsProduct({{0, 1}, {0, 1}})->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Detail5000(benchmark::State& state)
{
    const QString location = databaseOf(state);
    rqservice::CEmbeddedDataService service(location);
    // The empty database gets its one upload of the size the history's uploads have.
    if (location.isEmpty())
        return;
    if (state.range(1) == 0 && !upload(service, uploadFor(1, g_size.rows))) {
        state.SkipWithError("no upload");
        return;
    }
    auto request = boost::make_shared<rqservice::CVoprQueryDataReq>();
    request->queryType = rqservice::eDataTypeCvionRateDetail;
    request->queryKey = "1____B1";
    size_t rows = 0;
    for (auto _ : state) {
        QElapsedTimer clock;
        clock.start();
        service.query(request, [&rows](const utils::RQError& e, const std::vector<rqservice::IDataPtr>& records, int,
                                       bson::BSONObj) {
            const auto detail = e.isSuccess() && !records.empty()
                                    ? boost::dynamic_pointer_cast<rqservice::CVoprCvionRateDetail>(records.front())
                                    : nullptr;
            rows = detail ? detail->subjects.size() : 0;
        });
        service.waitIdle();
        figures()[figureKey("detail", state)].push_back(clock.nsecsElapsed() / 1e6);
    }
    if (rows != size_t(g_size.rows))
        state.SkipWithError("the detail failed");
}
BENCHMARK(BM_Detail5000)->ArgsProduct({{0, 1}, {0, 1}})->Unit(benchmark::kMillisecond)->UseRealTime();

// Each iteration a new upload; they are taken out again afterwards, so the kept history stays as made.
void BM_Upload100k(benchmark::State& state)
{
    const int engine = int(state.range(0));
    const QString location = databaseOf(state);
    if (location.isEmpty())
        return;
    const auto request = uploadFor(2, 100000);
    bool ok = true;
    {
        rqservice::CEmbeddedDataService service(location);
        ok = summaryAnswered(service);
        for (auto _ : state) {
            QElapsedTimer clock;
            clock.start();
            ok = upload(service, request) && ok;
            figures()[figureKey("upload", state)].push_back(clock.nsecsElapsed() / 1e6);
        }
    }
    const QString added = QStringLiteral("SELECT id FROM uploads WHERE row_count = 100000");
    runSql(engine, location,
           {"DELETE FROM ratios WHERE upload_id IN (" + added + ")", "DELETE FROM uploads WHERE row_count = 100000"});
    if (engine == 1)
        runSql(engine, location, {QStringLiteral("VACUUM ratios"), QStringLiteral("VACUUM uploads")});
    if (!ok)
        state.SkipWithError("upload failed");
}
BENCHMARK(BM_Upload100k)->ArgsProduct({{0, 1}, {0, 1}})->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

double median(std::vector<double> v)
{
    if (v.empty())
        return -1;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

void printTargets()
{
    struct Target
    {
        const char* name;
        double limit; // ms with the history; 0: none
    };
    const Target targets[] = {{"summary", 50}, {"before", 0}, {"detail", 100}, {"upload", 2000}, {"size", 0}};
    std::printf("\n%-8s %-10s %12s %12s %8s %s\n", "figure", "engine", "empty", "history", "target", "");
    for (const Target& t : targets) {
        for (const char* engine : {"SQLite", "PostgreSQL"}) {
            const std::string base = std::string(t.name) + "/" + engine;
            const double empty = median(figures()[base + "/empty"]);
            const double year = median(figures()[base + "/year"]);
            if (empty < 0 || year < 0)
                continue;
            const bool met = t.limit == 0 || (year <= t.limit && year <= 2 * std::max(empty, 1.0));
            const char* unit = t.limit ? "ms" : std::strcmp(t.name, "size") == 0 ? "MiB" : "ms, none";
            std::printf("%-8s %-10s %12.1f %12.1f %8s %s\n", t.name, engine, empty, year,
                        t.limit ? qPrintable(QString::number(t.limit) + " ms") : unit, met ? "" : "MISSED");
        }
    }
}

// --brokers, --uploads and --rows are ours; the rest goes to Google Benchmark.
void takeSizes(int& argc, char** argv)
{
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        int* target = arg == "--brokers"   ? &g_size.brokers
                      : arg == "--uploads" ? &g_size.uploads
                      : arg == "--rows"    ? &g_size.rows
                                           : nullptr;
        if (target && i + 1 < argc)
            *target = std::max(1, std::atoi(argv[++i]));
        else
            argv[kept++] = argv[i];
    }
    argc = kept;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    utils::CSingletonT<utils::CLogCenter>::instance()->setLogEnabled(false);
    takeSizes(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    printTargets();
    server().stop();
    benchmark::Shutdown();
    return 0;
}
