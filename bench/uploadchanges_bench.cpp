// What an upload would change: a broker's 100,000 rows on the server against a file of 100,000.
#include "uploadchanges.h"

#include <benchmark/benchmark.h>

#include <boost/make_shared.hpp>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace {

rqservice::CStkSubjectsPtr row(int security, double ratio)
{
    static const char* const exchanges[] = {"上交所", "深交所", "北交所"};
    auto s = boost::make_shared<rqservice::CStkSubjects>();
    s->brokerKeyNo = 1;
    s->brokerId = "CITIC";
    s->brokerName = "中信证券";
    s->exchangeName = exchanges[security % 3];
    const std::string digits = std::to_string(security);
    s->stockCode = std::string(6 - std::min<size_t>(6, digits.size()), '0') + digits;
    s->stockName = "证券" + digits;
    s->ratio = (security % 14) * 0.05;
    if (ratio >= 0)
        s->ratio = ratio;
    return s;
}

// The file lists the same securities, in the server's order or shuffled (its rows made in file
// order, as the request building makes them); every hundredth is a new one in place of an old
// one, and changedPercent of the rest carry another ratio.
void BM_CompareUpload(benchmark::State& state)
{
    const int rows = int(state.range(0));
    const int changedPercent = int(state.range(1));
    const bool shuffled = state.range(2) != 0;
    std::vector<rqservice::CStkSubjectsPtr> server;
    server.reserve(size_t(rows));
    for (int i = 0; i < rows; ++i)
        server.push_back(row(i, -1));
    std::vector<int> order(static_cast<size_t>(rows));
    for (int i = 0; i < rows; ++i)
        order[size_t(i)] = i;
    if (shuffled)
        std::shuffle(order.begin(), order.end(), std::mt19937(7));
    std::vector<rqservice::CStkSubjectsPtr> file;
    file.reserve(size_t(rows));
    for (const int i : order) {
        if (i % 100 == 99)
            file.push_back(row(rows + i, -1));
        else
            file.push_back(row(i, i % 100 < changedPercent ? 0.33 : -1));
    }
    for (auto _ : state) {
        const DVK::UploadChanges changes = DVK::compareUpload(server, file, 0.1);
        benchmark::DoNotOptimize(changes.unchanged);
    }
    state.SetItemsProcessed(state.iterations() * rows * 2);
}
BENCHMARK(BM_CompareUpload)
    ->ArgNames({"rows", "changedPercent", "shuffled"})
    ->Args({1000, 1, 1})
    ->Args({100000, 1, 0})
    ->Args({100000, 1, 1})
    ->Args({100000, 100, 0})
    ->Args({100000, 100, 1})
    ->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
