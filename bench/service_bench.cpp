// Security-master lookups and a large upload through the embedded service.
#include "embeddeddataservice.h"
#include "hostservice.h"
#include "uploadrequests.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <boost/make_shared.hpp>

#include <string>
#include <vector>

namespace {

// 100,000 lookups of mixed spellings over the shipped master, one iteration.
void BM_FindInstrument100k(benchmark::State& state)
{
    rqservice::IDataCenterPtr center = rqservice::TraderCenter::instance()->getDataCenter();
    const std::vector<std::pair<std::string, std::string>> keys = {
        {"SH", "600000"},  {"000858", "深交所"}, {" sz ", "858"},  {"BJSE", "430047"},
        {"600519.SH", ""}, {"上交所", "688981"}, {"SZ", "999999"}, {"xshe", "300750"},
    };
    for (auto _ : state) {
        int found = 0;
        for (int i = 0; i < 100000; ++i) {
            const auto& key = keys[static_cast<size_t>(i) % keys.size()];
            found += center->findInstrument(key.first, key.second) ? 1 : 0;
        }
        benchmark::DoNotOptimize(found);
    }
    state.SetItemsProcessed(state.iterations() * 100000);
}
BENCHMARK(BM_FindInstrument100k)->Unit(benchmark::kMillisecond)->UseRealTime();

// One upload of 5,000 rows: validation, one transaction, commit to disk.
void BM_Upload5000Rows(benchmark::State& state)
{
    QTemporaryDir dir;
    rqservice::CEmbeddedDataService service(dir.filePath("bench.sqlite"));
    auto warm = boost::make_shared<rqservice::CVoprQueryDataReq>();
    warm->queryType = rqservice::eDataTypeCvionRateBaseInfo;
    service.query(warm, [](const utils::RQError&, const std::vector<rqservice::IDataPtr>&, int, bson::BSONObj) {});
    service.waitIdle();

    const auto request = makeUploadRequest(5000);

    bool ok = true;
    for (auto _ : state) {
        service.operate(request, [&ok](const utils::RQError& error, bson::BSONObj) { ok = ok && error.isSuccess(); });
        service.waitIdle();
    }
    if (!ok) {
        state.SkipWithError("upload failed");
    }
    state.SetItemsProcessed(state.iterations() * 5000);
}
// The work runs on the service thread: only wall time says anything.
BENCHMARK(BM_Upload5000Rows)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    utils::CSingletonT<utils::CLogCenter>::instance()->setLogEnabled(false);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
