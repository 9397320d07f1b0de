// The standard high-performance table: its row store and default comparison, what it shows after
// sorting and filtering, its item model, the configuration string, export and copy. The order of
// the sort itself is tst_hpfradixsort's.
#include "hpftestmodel.h"

#include <QAbstractItemModelTester>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>

#include <limits>
#include <map>

using namespace hpftest;

namespace {

const int kKeyRole = Qt::UserRole + 1;

// Takes the model (and so owns it); reads what it shows.
class ExposedTable : public WB::CStandardHpfTable
{
public:
    explicit ExposedTable(WB::IBaseHpfTableModel* model = nullptr, QWidget* parent = nullptr, int id = 1331)
        : WB::CStandardHpfTable(id, parent, WB::EBaseTableMenuFlags(0xFF))
    {
        if (model)
            setDataModel(model);
    }
    QHeaderView* header() const { return view()->findChild<QHeaderView*>("hpfHeaderView"); }
    QStringList shown() const { return dumpRows(view()->model()); }
    bool showExposed()
    {
        resize(600, 300);
        show();
        return QTest::qWaitForWindowExposed(this);
    }
};

// Brokers a..f by their texts (name, quantity as text, code, a note alike in its first four
// characters) and their quantity, max() and NaN standing for none.
const std::map<QString, std::pair<QStringList, double>> kBrokers = {
    {"a", {{"乙", "10.00", "10", "abcdZ"}, 10}},
    {"b", {{"甲", "9.00", "9", "abcd"}, 9}},
    {"c", {{"丙", "--", "100", "abcdA"}, std::numeric_limits<double>::max()}},
    {"d", {{"丁", "9.00", "9", "abc"}, 9}},
    {"e", {{"戊", "NaN", "11", "abcdA"}, std::numeric_limits<double>::quiet_NaN()}},
    {"f", {{"甲", "1.00", "0", "x"}, 1}},
};

// Adds the brokers with these keys, in this order.
TestModel* filled(TestModel* model = new TestModel, const QString& keys = "a,b,c,d,e")
{
    for (const QString& key : keys.split(','))
        model->addData(row(key.toStdString(), kBrokers.at(key).first, {0, kBrokers.at(key).second}));
    return model;
}

// The lines dumpRows gives for these brokers, in this order.
QStringList linesFor(const QString& keys)
{
    QStringList out;
    for (const QString& key : keys.split(',', Qt::SkipEmptyParts))
        out.append(kBrokers.at(key).first.join('|'));
    return out;
}

QPoint sectionPoint(QHeaderView* header, int logical)
{
    return QPoint(header->sectionViewportPosition(logical) + 6, header->height() / 2);
}

// Sorts column 3 by the length of its text.
class LengthSortModel : public TestModel
{
public:
    using TestModel::TestModel;
    bool isCustomSort(int column) override { return column == 3; }
    int compare(WB::IBaseHpfTableData* l, WB::IBaseHpfTableData* r, int column) override
    {
        return l->getText(column).size() - r->getText(column).size();
    }
};

} // namespace

class TestStandardHpfTable : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }
    void keyLookups_data();
    void keyLookups();
    void defaultCompare_data();
    void defaultCompare();
    void itemModelStaysConsistent();
    void sorting_data();
    void sorting();
    void headerClickSorts_data();
    void headerClickSorts();
    void columnFilter();
    void filterMenuChoosesValues();
    void tableOwnsItsModel();
    void selectionFollowsKeyAcrossUpdate();
    void configRoundTrip();
    void configRejects_data();
    void configRejects();
    void exportCsv();
    void copySelectedCells();
};

using KeyedRows = QList<QPair<QString, QString>>; // key and text of each row added, in order

void TestStandardHpfTable::keyLookups_data()
{
    QTest::addColumn<bool>("replace");
    QTest::addColumn<QList<KeyedRows>>("batches"); // added one after the other, the store read between;
                                                   // an empty batch clears it, the key "@null" adds a null row
    QTest::addColumn<QStringList>("rows");         // the store, texts of column 0 in order
    QTest::addColumn<KeyedRows>("found");          // a key and the text of the row its lookup finds (none: "")

    using R = KeyedRows;
    QTest::newRow("replace in place") << true << QList<R>{{{"a", "a"}, {"b", "b1"}, {"c", "c"}, {"b", "b2"}}}
                                      << QStringList{"a", "b2", "c"} << R{{"a", "a"}, {"b", "b2"}, {"c", "c"}};
    QTest::newRow("keep both, first found")
        << false << QList<R>{{{"a", "a"}, {"b", "b1"}, {"c", "c"}, {"b", "b2"}}} << QStringList{"a", "b1", "c", "b2"}
        << R{{"a", "a"}, {"b", "b1"}, {"c", "c"}};
    QTest::newRow("rows after a replaced one close up")
        << true << QList<R>{{{"a", "a"}, {"b", "b1"}, {"b", "b2"}, {"", "x"}, {"c", "c"}, {"b", "b3"}, {"d", "d"}}}
        << QStringList{"a", "b3", "x", "c", "d"} << R{{"a", "a"}, {"b", "b3"}, {"c", "c"}, {"d", "d"}};
    QTest::newRow("replaced across reads")
        << true << QList<R>{{{"a", "a"}, {"b", "b1"}}, {{"c", "c"}, {"b", "b2"}}, {{"b", "b3"}, {"d", "d"}}}
        << QStringList{"a", "b3", "c", "d"} << R{{"a", "a"}, {"b", "b3"}, {"c", "c"}, {"d", "d"}};
    QTest::newRow("kept across reads") << false
                                       << QList<R>{{{"a", "a"}}, {{"b", "b1"}, {"a", "a2"}}, {{"b", "b2"}, {"c", "c"}}}
                                       << QStringList{"a", "b1", "a2", "b2", "c"}
                                       << R{{"a", "a"}, {"b", "b1"}, {"c", "c"}};
    QTest::newRow("keyless rows never merged")
        << true << QList<R>{{{"", "x"}, {"", "y"}, {"a", "a"}}} << QStringList{"x", "y", "a"} << R{{"a", "a"}};
    QTest::newRow("null rows change nothing")
        << true << QList<R>{{{"@null", ""}, {"a", "a"}, {"@null", ""}}} << QStringList{"a"} << R{{"a", "a"}};
    QTest::newRow("clearing forgets the keys: one added again is a new first row")
        << true << QList<R>{{{"a", "a"}, {"b", "b"}}, {}, {{"a", "again"}}} << QStringList{"again"}
        << R{{"a", "again"}, {"b", ""}};
}

// Adding a row whose key is stored already follows the model's policy, whether or not the store
// was read in between; lookups stay exact; rows without a key are never merged, nor found.
void TestStandardHpfTable::keyLookups()
{
    QFETCH(bool, replace);
    QFETCH(QList<KeyedRows>, batches);
    QFETCH(QStringList, rows);
    QFETCH(KeyedRows, found);

    TestModel model(replace);
    for (const KeyedRows& batch : batches) {
        if (batch.isEmpty())
            model.clear();
        for (const auto& added : batch)
            model.addData(added.first == "@null" ? WB::IBaseHpfTableDataPtr()
                                                 : row(added.first.toStdString(), {added.second}));
        QVERIFY(batch.isEmpty() || model.rowCount() > 0); // a read between batches
    }
    QStringList stored;
    for (int i = 0; i < model.rowCount(); ++i)
        stored.append(model.getData(i)->getText(0));
    QCOMPARE(stored, rows);
    for (const auto& [key, text] : found) {
        const int index = model.getDataIndexByKey(key.toStdString());
        QCOMPARE(index < 0, text.isEmpty());
        if (index < 0)
            continue;
        QCOMPARE(model.getData(index)->getText(0), text);
        QCOMPARE(model.getDataByKey(key.toStdString()).get(), model.getData(index).get());
    }
    QCOMPARE(model.getDataIndexByKey(""), -1);
    QCOMPARE(model.getDataIndexByKey("zzz"), -1);
    QVERIFY(!model.getDataByKey("zzz"));
    QVERIFY(!model.getData(-1));
    QVERIFY(!model.getData(model.rowCount()));
}

void TestStandardHpfTable::defaultCompare_data()
{
    const double maxD = std::numeric_limits<double>::max();
    const int d = QVariant::Double;
    QTest::addColumn<int>("type");
    QTest::addColumn<double>("left"); // the number, and as text the row's text
    QTest::addColumn<double>("right");
    QTest::addColumn<int>("expected");

    QTest::newRow("text 10 before 9") << int(QVariant::String) << 10.0 << 9.0 << -1;
    QTest::newRow("double 9 before 10") << d << 10.0 << 9.0 << 1;
    QTest::newRow("double max after any") << d << maxD << 1e300 << 1;
    QTest::newRow("double two markers tie") << d << maxD << std::numeric_limits<double>::quiet_NaN() << 0;
    QTest::newRow("int max after any") << int(QVariant::Int) << maxD << 7.0 << 1;
    QTest::newRow("longlong beyond int") << int(QVariant::LongLong) << 3e12 << 2e12 << 1;
}

// Numbers by value with the "no value" markers last, everything else by plain text.
void TestStandardHpfTable::defaultCompare()
{
    QFETCH(int, type);
    QFETCH(double, left);
    QFETCH(double, right);
    QFETCH(int, expected);

    TestModel model(true, {QVariant::Type(type)});
    TestRow l("l", {QString::number(left)}, {left});
    TestRow r("r", {QString::number(right)}, {right});
    QCOMPARE(model.compare(&l, &r, 0), expected);
    QCOMPARE(model.compare(&r, &l, 0), -expected);
}

// Rows, sort and filter changes keep the Qt item model valid, and it shows what is expected;
// the shown rows are a snapshot that only updateTable refreshes, under the same sort and filter.
void TestStandardHpfTable::itemModelStaysConsistent()
{
    auto* model = new TestModel;
    ExposedTable table(model);
    QAbstractItemModel* itemModel = table.view()->model();
    QAbstractItemModelTester tester(itemModel, QAbstractItemModelTester::FailureReportingMode::QtTest);

    filled(model);
    QCOMPARE(table.shown(), QStringList());
    table.updateTable();
    QCOMPARE(table.shown(), linesFor("a,b,c,d,e"));
    table.sortByColumn(2, Qt::DescendingOrder);
    QCOMPARE(table.shown(), linesFor("b,d,e,c,a"));
    table.setColumnFilterable(0, true);
    table.setColumnFilter(0, {"甲", "乙"});
    QCOMPARE(table.shown(), linesFor("b,a"));
    model->clear();
    QCOMPARE(table.shown(), linesFor("b,a"));
    table.updateTable();
    QCOMPARE(table.shown(), QStringList());
    filled(model, "a,b,c,d,e,f");
    table.updateTable();
    QCOMPARE(table.shown(), linesFor("b,a,f"));
    table.setColumnFilter(0, {});
    table.sortByColumn(-1, Qt::AscendingOrder);
    QCOMPARE(table.shown(), linesFor("a,b,c,d,e,f"));
    QCOMPARE(itemModel->index(2, 0).data(kKeyRole).toString(), QStringLiteral("c"));
}

void TestStandardHpfTable::sorting_data()
{
    QTest::addColumn<bool>("custom"); // the model sorts column 3 by length itself
    QTest::addColumn<int>("numberType");
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("order");
    QTest::addColumn<QString>("keys");

    const int d = QVariant::Double, up = Qt::AscendingOrder, down = Qt::DescendingOrder;
    QTest::newRow("unsorted keeps insertion order") << false << d << -1 << up << "a,b,c,d,e";
    QTest::newRow("text: '10' < '100' < '11' < '9'") << false << d << 2 << up << "a,c,e,b,d";
    QTest::newRow("the model's own comparison") << true << d << 3 << up << "d,b,a,c,e";
    QTest::newRow("the model's own, descending") << true << d << 3 << down << "a,c,e,b,d";
    QTest::newRow("double ascending, no value last") << false << d << 1 << up << "b,d,a,c,e";
    QTest::newRow("int descending, no value last") << false << int(QVariant::Int) << 1 << down << "a,b,d,c,e";
    QTest::newRow("longlong descending, no value last") << false << int(QVariant::LongLong) << 1 << down << "a,b,d,c,e";
}

// Text columns sort by the whole text, number columns by value with the markers last either way,
// a model that sorts a column itself is asked; equal rows keep the order they were added in, and
// the sort holds when the rows are reloaded.
void TestStandardHpfTable::sorting()
{
    QFETCH(bool, custom);
    QFETCH(int, numberType);
    QFETCH(int, column);
    QFETCH(int, order);
    QFETCH(QString, keys);

    const QVector<QVariant::Type> types = {QVariant::String, QVariant::Type(numberType), QVariant::String,
                                           QVariant::String};
    ExposedTable table(filled(custom ? new LengthSortModel(true, types) : new TestModel(true, types)));
    QSignalSpy spy(&table, &WB::CStandardHpfTable::sortChanged);
    table.sortByColumn(column, Qt::SortOrder(order));
    QCOMPARE(table.shown(), linesFor(keys));
    QCOMPARE(table.sortColumn(), column);
    QCOMPARE(spy.count(), column == -1 ? 0 : 1);
    table.updateTable();
    QCOMPARE(table.shown(), linesFor(keys));
}

void TestStandardHpfTable::headerClickSorts_data()
{
    QTest::addColumn<bool>("sortable");
    QTest::addColumn<bool>("reverseFirst");
    QTest::addColumn<QString>("expected");

    QTest::newRow("ascending then descending") << true << false << "1:0,1:1,1:0";
    QTest::newRow("model asks descending first") << true << true << "1:1,1:0,1:1";
    QTest::newRow("not sortable") << false << false << "";
}

// Clicking a header sorts by it: first click by the model's first order, then toggles.
void TestStandardHpfTable::headerClickSorts()
{
    QFETCH(bool, sortable);
    QFETCH(bool, reverseFirst);
    QFETCH(QString, expected);

    auto* model = filled();
    if (reverseFirst)
        model->reverseFirst = {1};
    ExposedTable table(model);
    if (!sortable)
        table.setFlag(table.flag() & ~WB::eTableSortable);
    QVERIFY(table.showExposed());

    QSignalSpy spy(&table, &WB::CStandardHpfTable::sortChanged);
    QVERIFY(table.header());
    for (int i = 0; i < 3; ++i)
        QTest::mouseClick(table.header()->viewport(), Qt::LeftButton, {}, sectionPoint(table.header(), 1));
    QStringList seen;
    for (const QList<QVariant>& args : spy)
        seen.append(QStringLiteral("%1:%2").arg(args.at(0).toInt()).arg(args.at(1).toInt()));
    QCOMPARE(seen.join(','), expected);
}

// Only chosen values stay shown; a column that is not filterable refuses a filter.
void TestStandardHpfTable::columnFilter()
{
    ExposedTable table(filled());
    table.setColumnFilterable(0, true);
    QVERIFY(!table.isColumnFilterable(1));
    QCOMPARE(table.columnValues(0), QStringList({"丁", "丙", "乙", "戊", "甲"}));
    QCOMPARE(table.columnValues(1), QStringList({"9.00", "10.00", "--", "NaN"}));

    table.setColumnFilter(0, {"甲", "丙", "甲"});
    QCOMPARE(table.shown(), linesFor("b,c"));
    QCOMPARE(table.columnFilter(0), QStringList({"甲", "丙"}));
    // A column's own filter does not narrow what its menu offers.
    QCOMPARE(table.columnValues(0), QStringList({"丁", "丙", "乙", "戊", "甲"}));
    QCOMPARE(QString::fromStdString(table.visibleRow(1)->getKey()), QStringLiteral("c"));
    QVERIFY(!table.visibleRow(2));
    // Another column's values are those of the rows the other filters let through.
    QCOMPARE(table.columnValues(2), QStringList({"100", "9"}));

    table.setColumnFilter(1, {"9.00"});
    QCOMPARE(table.columnFilter(1), QStringList());
    QCOMPARE(table.shown(), linesFor("b,c"));

    // Making a column unfilterable drops its filter.
    table.setColumnFilter(0, {"乙"});
    table.setColumnFilterable(0, false);
    QCOMPARE(table.columnFilter(0), QStringList());
    QCOMPARE(table.visibleRowCount(), 5);
}

// The header's filter menu offers the column's values (none for a column without a filter);
// "确定" filters by the ticked values and needs one; "清除筛选" clears.
void TestStandardHpfTable::filterMenuChoosesValues()
{
    ExposedTable table(filled());
    table.setColumnFilterable(0, true);
    QVERIFY(table.showExposed());
    QHeaderView* header = table.header();
    QListWidget* list = nullptr;
    const auto openMenu = [&](int column) {
        const QPoint pos = sectionPoint(header, column);
        QContextMenuEvent event(QContextMenuEvent::Mouse, pos, header->viewport()->mapToGlobal(pos));
        QApplication::sendEvent(header->viewport(), &event);
        auto* menu = table.findChild<QMenu*>("hpfFilterMenu");
        list = menu ? menu->findChild<QListWidget*>("filterValues") : nullptr;
        return menu;
    };
    const auto tick = [&](const QStringList& values) {
        for (int i = 0; i < list->count(); ++i)
            list->item(i)->setCheckState(values.contains(list->item(i)->text()) ? Qt::Checked : Qt::Unchecked);
    };

    QVERIFY(!openMenu(1));
    QMenu* menu = openMenu(0);
    QVERIFY(menu && list);
    QCOMPARE(list->count(), 5);
    tick({"甲", "丁"});
    QTest::mouseClick(menu->findChild<QPushButton*>("filterOk"), Qt::LeftButton);
    QCOMPARE(table.shown(), linesFor("b,d"));
    QTRY_VERIFY(!table.findChild<QMenu*>("hpfFilterMenu"));

    menu = openMenu(0);
    QVERIFY(menu);
    tick({});
    QVERIFY(!menu->findChild<QPushButton*>("filterOk")->isEnabled());
    QTest::mouseClick(menu->findChild<QPushButton*>("filterClear"), Qt::LeftButton);
    QCOMPARE(table.visibleRowCount(), 5);
}

// The table deletes the model it was given, when replaced and with itself, and only once; a
// model deleted before its table leaves an empty table behind, not a crash.
void TestStandardHpfTable::tableOwnsItsModel()
{
    struct WatchedModel : TestModel
    {
        explicit WatchedModel(bool* alive)
            : alive(alive)
        {
            *alive = true;
        }
        ~WatchedModel() override { *alive = false; }
        bool* alive;
    };
    bool alive[3] = {};
    {
        auto* first = new WatchedModel(&alive[0]);
        ExposedTable table(first);
        table.setDataModel(first);
        QVERIFY(alive[0]);
        auto* second = static_cast<WatchedModel*>(filled(new WatchedModel(&alive[1])));
        table.setDataModel(second);
        QVERIFY(!alive[0]);
        QAbstractItemModelTester tester(table.view()->model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        delete second;
        QCOMPARE(table.view()->model()->rowCount(), 0);
        QCOMPARE(table.view()->model()->columnCount(), 0);
        QVERIFY(!table.dataModel());
        table.updateTable();
        table.sortByColumn(1, Qt::AscendingOrder);
        QCOMPARE(table.visibleRowCount(), 0);
        table.setDataModel(new WatchedModel(&alive[2]));
    }
    QVERIFY(!alive[2]);
}

// A selected row stays selected when the rows are reloaded or sorted, wherever it lands.
void TestStandardHpfTable::selectionFollowsKeyAcrossUpdate()
{
    auto* model = filled();
    ExposedTable table(model);
    const auto selected = [&] { // "row:key" of each selected row
        QStringList out;
        for (const QModelIndex& index : table.view()->selectionModel()->selectedRows())
            out << QStringLiteral("%1:%2").arg(index.row()).arg(index.data(kKeyRole).toString());
        return out;
    };
    table.sortByColumn(2, Qt::AscendingOrder);
    static_cast<QTableView*>(table.view())->selectRow(3); // key b
    filled(model, "f");
    table.updateTable();
    QCOMPARE(selected(), QStringList{"4:b"});
    table.sortByColumn(0, Qt::DescendingOrder); // b moves to the top
    QCOMPARE(selected(), QStringList{"0:b"});
}

// Order, widths (also of a hidden column), visibility and sort come back exactly.
void TestStandardHpfTable::configRoundTrip()
{
    ExposedTable a(filled());
    a.header()->moveSection(3, 0);
    a.header()->resizeSection(1, 150);
    a.header()->resizeSection(2, 177);
    static_cast<QTableView*>(a.view())->setColumnHidden(2, true); // as the columns menu does
    a.sortByColumn(1, Qt::DescendingOrder);
    const QString saved = a.saveConfigStr();

    ExposedTable b(new TestModel);
    QVERIFY(b.loadConfigStr(saved));
    QCOMPARE(b.saveConfigStr(), saved);
    QCOMPARE(b.header()->visualIndex(3), 0);
    QCOMPARE(b.header()->sectionSize(1), 150);
    QVERIFY(!b.isColumnVisible(2));
    QCOMPARE(b.sortColumn(), 1);
    QCOMPARE(b.sortOrder(), Qt::DescendingOrder);
    b.setColumnVisible(2, true);
    QCOMPARE(b.header()->sectionSize(2), 177);

    // A column the program hid stays hidden whatever the layout says; the layout keeps the
    // user's choice for it.
    ExposedTable c(new TestModel);
    c.setColumnVisible(3, false);
    QVERIFY(c.loadConfigStr(saved));
    QVERIFY(!c.isColumnVisible(3));
    QCOMPARE(c.saveConfigStr(), saved);
}

void TestStandardHpfTable::configRejects_data()
{
    QTest::addColumn<QString>("config");
    QTest::addColumn<int>("columns");
    QTest::addColumn<bool>("accepted");

    const QString good = "hpf1:1331:order=3,0,1,2:w=90,91,92,93:vis=1,0,1,1:sort=2,1";
    // Good with the first text replaced by the second (the whole string when the first is empty).
    const auto add = [&](const char* name, const QString& from, const QString& to, bool accepted = false,
                         int columns = 4) {
        QTest::newRow(name) << (from.isEmpty() ? to : QString(good).replace(from, to)) << columns << accepted;
    };
    add("valid", "", good, true);
    add("unsorted", "", "hpf1:1331:order=0,1,2,3:w=90,91,92,93:vis=1,1,1,1:sort=-1,0", true);
    add("one column", "", "hpf1:1331:order=0:w=40:vis=1:sort=0,0", true, 1);
    add("widest column", "w=90,", "w=10000,", true);
    add("empty", "", "");
    add("garbage", "", "garbage");
    add("another table", "1331", "9999");
    add("table id not a number", "1331", "13x1");
    add("older version", "hpf1", "hpf0");
    add("older table with fewer columns", "", "hpf1:1331:order=0,1,2:w=90,91,92:vis=1,1,1:sort=-1,0");
    add("more columns than the table", "", good, false, 3);
    add("two layouts joined", "sort=2,1", "sort=2,1;" + good);
    add("semicolon anywhere", "w=90", "w=9;0");
    add("field missing", ":sort=2,1", "");
    add("field too many", "sort=2,1", "sort=2,1:x=1");
    add("fields swapped", "order=3,0,1,2:w=90,91,92,93", "w=90,91,92,93:order=3,0,1,2");
    add("trailing comma", "order=3,0,1,2", "order=3,0,1,2,");
    add("order column past the end", "order=3,0,1,2", "order=4,0,1,2");
    add("order column negative", "order=3,0,1,2", "order=-1,0,1,2");
    add("order column twice", "order=3,0,1,2", "order=3,0,0,2");
    add("zero width", "w=90,91", "w=90,0");
    add("negative width", "w=90,91", "w=90,-91");
    add("width past the widest", "w=90,", "w=10001,");
    add("width beyond int", "w=90,", "w=99999999999,");
    add("width not a number", "w=90,91", "w=90,abc");
    add("visibility not 0 or 1", "vis=1,0", "vis=2,0");
    add("sort column past the end", "sort=2,1", "sort=4,1");
    add("sort column below -1", "sort=2,1", "sort=-2,0");
    add("descending without a column", "sort=2,1", "sort=-1,1");
    add("sort order not 0 or 1", "sort=2,1", "sort=2,2");
    add("sort without order", "sort=2,1", "sort=2");
}

// A string from another table or version, for another number of columns, or not a layout at all
// changes nothing; one that loads reads back as itself.
void TestStandardHpfTable::configRejects()
{
    QFETCH(QString, config);
    QFETCH(int, columns);
    QFETCH(bool, accepted);

    ExposedTable table(filled(new TestModel(true, QVector<QVariant::Type>(columns, QVariant::String))));
    table.header()->resizeSection(0, 140);
    table.sortByColumn(0, Qt::AscendingOrder);
    const QString before = table.saveConfigStr();
    QCOMPARE(table.loadConfigStr(config), accepted);
    QCOMPARE(table.saveConfigStr(), accepted ? config : before);
}

// The export has a byte-order mark, quotes what needs quoting and leaves out hidden and
// button columns; an unwritable path fails.
void TestStandardHpfTable::exportCsv()
{
    auto* model = new TestModel;
    model->addData(row("a", {"甲,乙", "1", "say \"hi\"", "-"}, {0, 1}));
    model->addData(row("b", {"两\n行", "2", "plain", "-"}, {0, 2}));
    ExposedTable table(model);
    table.setColumnVisible(1, false);
    table.setColumnDelegate(3, new WB::CBaseTableColumnMultiButtonsDelegate(3, nullptr));

    const QString expected = "列0,列2\r\n\"甲,乙\",\"say \"\"hi\"\"\"\r\n\"两\n行\",plain\r\n";
    QCOMPARE(table.exportCsv(), expected);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(table.exportCsvToFile(dir.filePath("export.csv")));
    QFile file(dir.filePath("export.csv"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("\xEF\xBB\xBF") + expected.toUtf8());
    QVERIFY(!table.exportCsvToFile(dir.filePath("no/such/dir/export.csv")));
}

// Copy gives the selected rows' shown cells, tab-separated, in the order the columns stand.
void TestStandardHpfTable::copySelectedCells()
{
    ExposedTable table;
    table.setFlag(table.flag() | WB::eTableMultiSelect);
    table.setDataModel(filled());
    table.header()->moveSection(2, 0);
    table.setColumnVisible(3, false);
    QCOMPARE(table.selectedCellsText(), QString());
    QItemSelectionModel* selection = table.view()->selectionModel();
    selection->select(table.view()->model()->index(3, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    selection->select(table.view()->model()->index(0, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    QCOMPARE(table.selectedCellsText(), QStringLiteral("10\t乙\t10.00\n9\t丁\t9.00"));
}

QTEST_MAIN(TestStandardHpfTable)
#include "tst_standardhpftable.moc"
