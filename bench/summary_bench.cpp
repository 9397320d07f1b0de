// Condensing a broker summary: the answer of a large back office, 10,000 uploads of 200 brokers.
#include "panel/brokersummary.h"

#include "standinservice.h"

#include <QDate>

#include <benchmark/benchmark.h>

#include <boost/make_shared.hpp>

#include <vector>

namespace {

// Brokers in turn, each round a day later, so every round replaces every broker's row: the
// most work the rule can be given.
std::vector<rqservice::IDataPtr> summaryAnswer(int records, int brokers)
{
    std::vector<rqservice::IDataPtr> out;
    out.reserve(static_cast<size_t>(records));
    const QDate first(2020, 1, 1);
    for (int i = 0; i < records; ++i) {
        auto info = boost::make_shared<rqservice::CVoprCvionRateBaseInfo>();
        const int broker = i % brokers;
        info->brokerKeyNo = broker;
        info->brokerId = "B" + std::to_string(broker);
        info->brokerName = "券商" + std::to_string(broker);
        info->tradingDay = "20240112";
        info->lastUploadDate = first.addDays(i / brokers).toString(QStringLiteral("yyyyMMdd")).toStdString();
        standin::setUploadId(*info, i);
        out.push_back(info);
    }
    return out;
}

void BM_CondenseBrokerSummary(benchmark::State& state)
{
    const auto records = summaryAnswer(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    for (auto _ : state) {
        auto rows = DVK::condenseBrokerSummary(records);
        benchmark::DoNotOptimize(rows.data());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_CondenseBrokerSummary)
    ->Args({10000, 200})
    ->Args({10000, 10000})
    ->Args({100000, 2000})
    ->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
