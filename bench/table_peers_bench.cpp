// The detail table against what a Qt developer would write instead, 100,000 rows of code,
// exchange, ratio and name: a QTableWidget with sorting on, a QStandardItemModel behind a
// QSortFilterProxyModel, a hand-written QAbstractTableModel over a vector of structs behind a
// proxy, and ours (the detail dialog's table and model, filled by the dialog's own answer slot).
// Every operation is timed until the view has painted. Each fill converts the same service
// records, as the dialog does.
// Every table sorts on a header click and shows the rows in their given order until then, as
// ours does: the peers enable sorting with the sort indicator cleared (section -1), which is how
// a Qt developer keeps file order; left at its default (section 0, descending), the view sorts
// the whole model on every fill and that sort would be billed to the fill.
// mem_MiB: resident memory the filled table adds (allocator trimmed before and after).
#include "detail/creditdataquerydialog.h"
#include "detail/creditdataquerytable.h"

#include "hostservice.h"
#include "hosttoolkit.h"
#include "standinservice.h"

#include <QAbstractTableModel>
#include <QApplication>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QMenu>
#include <QSortFilterProxyModel>
#include <QStandardItemModel>
#include <QTableView>
#include <QTableWidget>

#include <benchmark/benchmark.h>
#include <boost/make_shared.hpp>

#include <cstring>
#include <fstream>
#include <malloc.h>
#include <memory>
#include <random>
#include <unistd.h>

namespace {

using Subjects = std::vector<rqservice::CStkSubjectsPtr>;

int kRows = 100000;

const char* const kNames[] = {"平安银行", "浦发银行", "中国石化", "贵州茅台",
                              "招商银行", "万科A",    "格力电器", "中信证券"};

// Distinct codes in a shuffled order, so the code column has as many values as rows.
const Subjects& subjects()
{
    static const Subjects all = [] {
        std::mt19937 random(7);
        std::vector<int> codes(static_cast<std::size_t>(kRows));
        for (int i = 0; i < kRows; ++i)
            codes[std::size_t(i)] = i * 7 + 1;
        std::shuffle(codes.begin(), codes.end(), random);
        Subjects out;
        for (int i = 0; i < kRows; ++i) {
            auto s = boost::make_shared<rqservice::CStkSubjects>();
            s->brokerKeyNo = 12;
            s->brokerId = "8001";
            s->brokerName = "券商";
            const bool sh = random() % 2;
            s->exchangeName = sh ? "SH" : "SZ";
            char code[8];
            std::snprintf(code, sizeof code, "%06d", codes[std::size_t(i)] % 1000000);
            s->stockCode = code;
            s->stockName = std::string(kNames[random() % 8]) + std::to_string(i % 997);
            s->ratio = double(random() % 101) / 100.0;
            standin::setLineNo(*s, i);
            out.push_back(s);
        }
        return out;
    }();
    return all;
}

// The detail answer holding every subject, as the dialog receives it.
const std::vector<rqservice::IDataPtr>& answer()
{
    static const std::vector<rqservice::IDataPtr> records = [] {
        auto detail = boost::make_shared<rqservice::CVoprCvionRateDetail>();
        detail->subjects = subjects();
        return std::vector<rqservice::IDataPtr>{detail};
    }();
    return records;
}

double residentMiB()
{
    long pages = 0, resident = 0;
    std::ifstream("/proc/self/statm") >> pages >> resident;
    return double(resident) * double(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

void paint(QAbstractItemView* view)
{
    QApplication::processEvents();
    benchmark::DoNotOptimize(view->viewport()->grab());
}

QString qs(const std::string& s)
{
    return QString::fromStdString(s);
}

// --- the peers ---------------------------------------------------------------------------

class WidgetPeer
{
public:
    WidgetPeer()
    {
        view.resize(800, 600);
        view.setColumnCount(4);
        view.horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    }
    void fill()
    {
        view.setSortingEnabled(false); // sorting while inserting re-sorts per item
        view.clearContents();
        view.setRowCount(0);
        view.setRowCount(kRows);
        int r = 0;
        for (const auto& s : subjects()) {
            view.setItem(r, 0, new QTableWidgetItem(qs(s->stockCode)));
            view.setItem(r, 1, new QTableWidgetItem(qs(s->exchangeName)));
            auto* ratio = new QTableWidgetItem;
            ratio->setData(Qt::DisplayRole, s->ratio);
            view.setItem(r, 2, ratio);
            view.setItem(r, 3, new QTableWidgetItem(qs(s->stockName)));
            ++r;
        }
        view.setSortingEnabled(true);
        paint(&view);
    }
    void sort(int column, Qt::SortOrder order)
    {
        view.sortItems(column, order);
        paint(&view);
    }
    void filterExchange(const QString& exchange)
    {
        for (int r = 0; r < view.rowCount(); ++r)
            view.setRowHidden(r, view.item(r, 1)->text() != exchange);
        paint(&view);
    }
    QTableWidget view;
};

class StandardPeer
{
public:
    StandardPeer()
    {
        proxy.setSourceModel(&model);
        proxy.setFilterKeyColumn(1);
        view.setModel(&proxy);
        view.horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
        view.setSortingEnabled(true);
        view.resize(800, 600);
    }
    void fill()
    {
        // Detached while filling: a sorting proxy would re-sort on every item set.
        proxy.setSourceModel(nullptr);
        model.clear();
        model.setColumnCount(4);
        model.setRowCount(kRows);
        int r = 0;
        for (const auto& s : subjects()) {
            model.setItem(r, 0, new QStandardItem(qs(s->stockCode)));
            model.setItem(r, 1, new QStandardItem(qs(s->exchangeName)));
            auto* ratio = new QStandardItem;
            ratio->setData(s->ratio, Qt::DisplayRole);
            model.setItem(r, 2, ratio);
            model.setItem(r, 3, new QStandardItem(qs(s->stockName)));
            ++r;
        }
        proxy.setSourceModel(&model);
        paint(&view);
    }
    void sort(int column, Qt::SortOrder order)
    {
        view.sortByColumn(column, order);
        paint(&view);
    }
    void filterExchange(const QString& exchange)
    {
        proxy.setFilterRegularExpression(QRegularExpression(QLatin1Char('^') + exchange + QLatin1Char('$')));
        paint(&view);
    }
    QStandardItemModel model;
    QSortFilterProxyModel proxy;
    QTableView view;
};

struct PlainRow
{
    QString code, exchange;
    double ratio;
    QString name;
};

class PlainModel : public QAbstractTableModel
{
public:
    int rowCount(const QModelIndex& parent = QModelIndex()) const override
    {
        return parent.isValid() ? 0 : int(rows.size());
    }
    int columnCount(const QModelIndex& parent = QModelIndex()) const override { return parent.isValid() ? 0 : 4; }
    QVariant data(const QModelIndex& index, int role) const override
    {
        if (role != Qt::DisplayRole || !index.isValid())
            return QVariant();
        const PlainRow& row = rows[std::size_t(index.row())];
        switch (index.column()) {
        case 0: return row.code;
        case 1: return row.exchange;
        case 2: return row.ratio;
        default: return row.name;
        }
    }
    void fill()
    {
        beginResetModel();
        rows.clear();
        rows.reserve(subjects().size());
        for (const auto& s : subjects())
            rows.push_back(PlainRow{qs(s->stockCode), qs(s->exchangeName), s->ratio, qs(s->stockName)});
        endResetModel();
    }
    std::vector<PlainRow> rows;
};

class PlainPeer
{
public:
    PlainPeer()
    {
        proxy.setSourceModel(&model);
        proxy.setFilterKeyColumn(1);
        view.setModel(&proxy);
        view.horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
        view.setSortingEnabled(true);
        view.resize(800, 600);
    }
    void fill()
    {
        model.fill();
        paint(&view);
    }
    void sort(int column, Qt::SortOrder order)
    {
        view.sortByColumn(column, order);
        paint(&view);
    }
    void filterExchange(const QString& exchange)
    {
        proxy.setFilterRegularExpression(QRegularExpression(QLatin1Char('^') + exchange + QLatin1Char('$')));
        paint(&view);
    }
    PlainModel model;
    QSortFilterProxyModel proxy;
    QTableView view;
};

class OursPeer
{
public:
    OursPeer()
        : table(dialog.findChild<DVK::CCreditDataQueryTable*>())
    {
        table->resize(800, 600);
    }
    void fill()
    {
        emit dialog.sigOnDataCallBack(answer());
        paint(table->view());
    }
    void sort(int column, Qt::SortOrder order)
    {
        table->sortByColumn(column, order);
        paint(table->view());
    }
    void filterExchange(const QString& exchange)
    {
        table->setColumnFilter(1, {exchange});
        paint(table->view());
    }
    DVK::CCreditDataQueryDialog dialog{nullptr};
    DVK::CCreditDataQueryTable* table;
};

// --- the cases ---------------------------------------------------------------------------

template <class Peer>
void fillFresh(benchmark::State& state)
{
    answer();
    double added = 0;
    for (auto _ : state) {
        state.PauseTiming();
        malloc_trim(0);
        const double before = residentMiB();
        auto peer = std::make_unique<Peer>();
        state.ResumeTiming();
        peer->fill();
        state.PauseTiming();
        malloc_trim(0);
        added = residentMiB() - before;
        peer.reset();
        state.ResumeTiming();
    }
    state.counters["mem_MiB"] = added;
    state.SetItemsProcessed(state.iterations() * kRows);
}

template <class Peer>
void replace(benchmark::State& state)
{
    answer();
    Peer peer;
    peer.fill();
    for (auto _ : state)
        peer.fill();
    state.SetItemsProcessed(state.iterations() * kRows);
}

template <class Peer>
void sortColumn(benchmark::State& state, int column)
{
    subjects();
    Peer peer;
    peer.fill();
    bool ascending = false;
    for (auto _ : state) {
        peer.sort(column, ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
        ascending = !ascending;
    }
    state.SetItemsProcessed(state.iterations() * kRows);
}

template <class Peer>
void sortCode(benchmark::State& state)
{
    sortColumn<Peer>(state, 0);
}

template <class Peer>
void sortExchange(benchmark::State& state)
{
    sortColumn<Peer>(state, 1);
}

template <class Peer>
void sortRatio(benchmark::State& state)
{
    sortColumn<Peer>(state, 2);
}

template <class Peer>
void sortName(benchmark::State& state)
{
    sortColumn<Peer>(state, 3);
}

template <class Peer>
void filter(benchmark::State& state)
{
    subjects();
    Peer peer;
    peer.fill();
    bool sh = true;
    for (auto _ : state) {
        peer.filterExchange(sh ? QStringLiteral("SH") : QStringLiteral("SZ"));
        sh = !sh;
    }
    state.SetItemsProcessed(state.iterations() * kRows);
}

// Opening the filter menu of the code column, whose every value is distinct, until it shows.
void BM_Ours_OpenCodeFilterMenu(benchmark::State& state)
{
    answer();
    OursPeer peer;
    peer.table->show();
    peer.fill();
    QHeaderView* header = qobject_cast<QTableView*>(peer.table->view())->horizontalHeader();
    const QPoint pos(header->sectionViewportPosition(0) + header->sectionSize(0) / 2, header->height() / 2);
    for (auto _ : state) {
        QContextMenuEvent event(QContextMenuEvent::Mouse, pos, header->viewport()->mapToGlobal(pos));
        QApplication::sendEvent(header->viewport(), &event);
        auto* menu = peer.table->findChild<QMenu*>(QStringLiteral("hpfFilterMenu"));
        if (!menu) {
            state.SkipWithError("the filter menu did not open");
            return;
        }
        QApplication::processEvents();
        benchmark::DoNotOptimize(menu->grab());
        state.PauseTiming();
        menu->close();
        delete menu; // closing defers the deletion; the next open must not find this one
        state.ResumeTiming();
    }
}

#define PEER_CASES(Label, Peer)                                                                                        \
    BENCHMARK_TEMPLATE(fillFresh, Peer)->Name("Fill/" #Label)->Unit(benchmark::kMillisecond);                          \
    BENCHMARK_TEMPLATE(replace, Peer)->Name("Replace/" #Label)->Unit(benchmark::kMillisecond);                         \
    BENCHMARK_TEMPLATE(sortCode, Peer)->Name("SortCode/" #Label)->Unit(benchmark::kMillisecond);                       \
    BENCHMARK_TEMPLATE(sortExchange, Peer)->Name("SortExchange/" #Label)->Unit(benchmark::kMillisecond);               \
    BENCHMARK_TEMPLATE(sortRatio, Peer)->Name("SortRatio/" #Label)->Unit(benchmark::kMillisecond);                     \
    BENCHMARK_TEMPLATE(sortName, Peer)->Name("SortName/" #Label)->Unit(benchmark::kMillisecond);                       \
    BENCHMARK_TEMPLATE(filter, Peer)->Name("Filter/" #Label)->Unit(benchmark::kMillisecond);

PEER_CASES(QTableWidget, WidgetPeer)
PEER_CASES(QStandardItemModel, StandardPeer)
PEER_CASES(HandWrittenModel, PlainPeer)
PEER_CASES(Ours, OursPeer)
BENCHMARK(BM_Ours_OpenCodeFilterMenu)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // --rows N runs every case at another size (the CI smoke run uses a small one).
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--rows") == 0) {
            kRows = std::max(1, std::atoi(argv[i + 1]));
            for (int j = i; j + 2 <= argc; ++j)
                argv[j] = argv[j + 2];
            argc -= 2;
            break;
        }
    }
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
