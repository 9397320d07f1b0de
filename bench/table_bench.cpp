// The table family at 100,000 rows: filling and showing, sorting by text and by number,
// a column filter, key lookups and fitting the columns.
#include "hosttoolkit.h"
#include "standinrow.h"

#include <QAbstractItemView>
#include <QApplication>

#include <benchmark/benchmark.h>

#include <limits>
#include <random>

namespace {

const int kRows = 100000;

class BenchRow : public standin::CPlainRow
{
public:
    QString broker, code, ratioText, name;
    double ratio = 0;
    std::string key;

    QString getText(int column) override
    {
        switch (column) {
        case 0: return broker;
        case 1: return code;
        case 2: return ratioText;
        case 3: return name;
        default: return QStringLiteral("-");
        }
    }
    double getDouble(int column) override { return column == 2 ? ratio : std::numeric_limits<double>::max(); }
    std::string getKey() override { return key; }
};

class BenchModel : public WB::IBaseHpfTableModel
{
public:
    BenchModel()
        : WB::IBaseHpfTableModel(true)
    {
    }
    int columnCount() override { return 4; }
    QString headerText(int column) override { return QStringLiteral("列%1").arg(column); }
    QVariant::Type columnType(int column) override { return column == 2 ? QVariant::Double : QVariant::String; }
    QString columnAuxText(int) override { return QString(); }
    bool columnAuxFlag(int) override { return false; }
    const QColor* rowBackgroundColor(int row) override { return row % 2 ? &odd : &even; }
    utils::CFlags<utils::EFormatNumberFlag> columnFlag(int) override { return utils::eFormatNumberNone; }

    QColor even = Qt::white;
    QColor odd = QColor(0xF5, 0xF8, 0xFC);
};

// Rows in a shuffled order, one in a hundred without a ratio.
std::vector<WB::IBaseHpfTableDataPtr> makeRows(int count)
{
    std::mt19937 random(42);
    std::vector<WB::IBaseHpfTableDataPtr> rows;
    rows.reserve(std::size_t(count));
    for (int i = 0; i < count; ++i) {
        auto* row = new BenchRow;
        row->broker = QStringLiteral("券商%1").arg(int(random() % 50));
        row->code = QStringLiteral("%1").arg(int(random() % 1000000), 6, 10, QLatin1Char('0'));
        row->ratio = random() % 100 == 0 ? std::numeric_limits<double>::max() : (random() % 10000) / 10000.0;
        row->ratioText = QString::number(row->ratio, 'f', 2);
        row->name = QStringLiteral("证券%1").arg(i);
        row->key = "k" + std::to_string(i);
        rows.emplace_back(row);
    }
    return rows;
}

struct Fixture
{
    WB::CStandardHpfTable table{1, nullptr, WB::EBaseTableMenuFlags(0xFF)};
    BenchModel* model = new BenchModel; // owned by the table
    Fixture()
    {
        table.resize(800, 600);
        table.setDataModel(model);
        for (const auto& row : makeRows(kRows))
            model->addData(row);
        table.updateTable();
    }
};

void BM_AddRowsAndUpdateTable(benchmark::State& state)
{
    const auto rows = makeRows(kRows);
    WB::CStandardHpfTable table(1, nullptr, WB::EBaseTableMenuFlags(0xFF));
    auto* model = new BenchModel;
    table.setDataModel(model);
    for (auto _ : state) {
        model->clear();
        for (const auto& row : rows)
            model->addData(row);
        table.updateTable();
        benchmark::DoNotOptimize(table.visibleRowCount());
    }
    state.SetItemsProcessed(state.iterations() * kRows);
}

void sortBench(benchmark::State& state, int column)
{
    Fixture f;
    bool ascending = true;
    for (auto _ : state) {
        f.table.sortByColumn(column, ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
        ascending = !ascending;
    }
    state.SetItemsProcessed(state.iterations() * kRows);
}

void BM_SortTextColumn(benchmark::State& state)
{
    sortBench(state, 1);
}

void BM_SortDoubleColumn(benchmark::State& state)
{
    sortBench(state, 2);
}

void BM_FilterOneColumn(benchmark::State& state)
{
    Fixture f;
    f.table.setColumnFilterable(0, true);
    const QStringList a = {QStringLiteral("券商1"), QStringLiteral("券商7")};
    const QStringList b = {QStringLiteral("券商3")};
    bool first = true;
    for (auto _ : state) {
        f.table.setColumnFilter(0, first ? a : b);
        first = !first;
        benchmark::DoNotOptimize(f.table.visibleRowCount());
    }
    state.SetItemsProcessed(state.iterations() * kRows);
}

void BM_KeyLookup(benchmark::State& state)
{
    BenchModel model;
    for (const auto& row : makeRows(kRows))
        model.addData(row);
    std::vector<std::string> keys;
    for (int i = 0; i < 1000; ++i)
        keys.push_back("k" + std::to_string((i * 7919) % kRows));
    std::size_t next = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(model.getDataIndexByKey(keys[next]));
        next = (next + 1) % keys.size();
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_AdjustColumnWidth(benchmark::State& state)
{
    Fixture f;
    for (auto _ : state)
        f.table.adjustColumnWidth();
}

} // namespace

BENCHMARK(BM_AddRowsAndUpdateTable)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SortTextColumn)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SortDoubleColumn)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FilterOneColumn)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_KeyLookup);
BENCHMARK(BM_AdjustColumnWidth)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
