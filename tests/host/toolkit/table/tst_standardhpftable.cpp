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

// Takes the model (and so owns it); reads what it shows.
class ExposedTable : public WB::CStandardHpfTable
{
public:
    explicit ExposedTable(WB::IBaseHpfTableModel* model)
        : WB::CStandardHpfTable(1331, nullptr, WB::EBaseTableMenuFlags(0xFF))
    {
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

// Sorts every column itself: column 3 by the length of its text, the others by the default.
class OwnSortModel : public TestModel
{
public:
    using TestModel::TestModel;
    bool isCustomSort(int) override { return true; }
    int compare(WB::IBaseHpfTableData* l, WB::IBaseHpfTableData* r, int column) override
    {
        return column == 3 ? l->getText(3).size() - r->getText(3).size() : TestModel::compare(l, r, column);
    }
};

int modelsAlive = 0;

struct CountedModel : TestModel
{
    CountedModel() { ++modelsAlive; }
    ~CountedModel() override { --modelsAlive; }
};

} // namespace

class TestStandardHpfTable : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }
    void keyLookups_data();
    void keyLookups();
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
    void exportAndCopy();
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
    QTest::newRow("replaced in place, the rows after close up")
        << true << QList<R>{{{"a", "a"}, {"b", "b1"}, {"b", "b2"}, {"", "x"}, {"c", "c"}, {"b", "b3"}, {"d", "d"}}}
        << QStringList{"a", "b3", "x", "c", "d"} << R{{"a", "a"}, {"b", "b3"}, {"c", "c"}, {"d", "d"}};
    QTest::newRow("replaced across reads")
        << true << QList<R>{{{"a", "a"}, {"b", "b1"}}, {{"c", "c"}, {"b", "b2"}}, {{"b", "b3"}, {"d", "d"}}}
        << QStringList{"a", "b3", "c", "d"} << R{{"a", "a"}, {"b", "b3"}, {"c", "c"}, {"d", "d"}};
    QTest::newRow("kept across reads, the first found")
        << false << QList<R>{{{"a", "a"}}, {{"b", "b1"}, {"a", "a2"}}, {{"b", "b2"}, {"c", "c"}}}
        << QStringList{"a", "b1", "a2", "b2", "c"} << R{{"a", "a"}, {"b", "b1"}, {"c", "c"}};
    QTest::newRow("keyless rows never merged") << true << QList<R>{{{"", "x"}, {"", "y"}, {"a", "a"}}}
                                               << QStringList{"x", "y", "a"} << R{{"a", "a"}, {"", ""}};
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
        const WB::IBaseHpfTableDataPtr byKey = model.getDataByKey(key.toStdString());
        QCOMPARE(byKey ? byKey->getText(0) : QString(), text);
        QCOMPARE(model.getData(model.getDataIndexByKey(key.toStdString())).get(), byKey.get());
    }
    QVERIFY(!model.getData(model.rowCount()));
}

// Rows, sort and filter changes keep the Qt item model valid, and it shows what is expected;
// the shown rows are a snapshot that only updateTable refreshes, under the same sort and filter.
void TestStandardHpfTable::itemModelStaysConsistent()
{
    auto* model = new TestModel;
    ExposedTable table(model);
    QAbstractItemModelTester tester(table.view()->model(), QAbstractItemModelTester::FailureReportingMode::QtTest);

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
}

void TestStandardHpfTable::sorting_data()
{
    QTest::addColumn<bool>("custom"); // the model sorts itself, column 3 by length
    QTest::addColumn<int>("numberType");
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("order");
    QTest::addColumn<QString>("keys");

    const int d = QVariant::Double, up = Qt::AscendingOrder, down = Qt::DescendingOrder;
    QTest::newRow("unsorted keeps insertion order") << false << d << -1 << up << "a,b,c,d,e";
    QTest::newRow("text: '10' < '100' < '11' < '9'") << false << d << 2 << up << "a,c,e,b,d";
    QTest::newRow("the model's own comparison") << true << d << 3 << up << "d,b,a,c,e";
    QTest::newRow("the model's own, descending") << true << d << 3 << down << "a,c,e,b,d";
    QTest::newRow("default comparison: text") << true << d << 2 << up << "a,c,e,b,d";
    QTest::newRow("default comparison: double, no value last") << true << d << 1 << up << "b,d,a,c,e";
    QTest::newRow("default comparison: int, no value last") << true << int(QVariant::Int) << 1 << up << "b,d,a,c,e";
    QTest::newRow("default comparison: longlong") << true << int(QVariant::LongLong) << 1 << up << "b,d,a,c,e";
    QTest::newRow("double ascending, no value last") << false << d << 1 << up << "b,d,a,c,e";
    QTest::newRow("int descending, no value last") << false << int(QVariant::Int) << 1 << down << "a,b,d,c,e";
    QTest::newRow("longlong descending, no value last") << false << int(QVariant::LongLong) << 1 << down << "a,b,d,c,e";
}

// Text columns sort by the whole text, number columns by value with the markers last either way,
// a model that sorts itself is asked, its default comparison agreeing; equal rows keep the order
// they were added in.
void TestStandardHpfTable::sorting()
{
    QFETCH(bool, custom);
    QFETCH(int, numberType);
    QFETCH(int, column);
    QFETCH(int, order);
    QFETCH(QString, keys);

    const QVector<QVariant::Type> types = {QVariant::String, QVariant::Type(numberType), QVariant::String,
                                           QVariant::String};
    ExposedTable table(filled(custom ? new OwnSortModel(true, types) : new TestModel(true, types)));
    QSignalSpy spy(&table, &WB::CStandardHpfTable::sortChanged);
    table.sortByColumn(column, Qt::SortOrder(order));
    QCOMPARE(table.shown(), linesFor(keys));
    QCOMPARE(spy.count(), column == -1 ? 0 : 1);
}

void TestStandardHpfTable::headerClickSorts_data()
{
    QTest::addColumn<bool>("sortable");
    QTest::addColumn<QList<int>>("reverseFirst"); // the columns the model sorts descending first
    QTest::addColumn<QString>("expected");

    QTest::newRow("ascending then descending") << true << QList<int>() << "1:0,1:1,1:0";
    QTest::newRow("model asks descending first") << true << QList<int>{1} << "1:1,1:0,1:1";
    QTest::newRow("not sortable") << false << QList<int>() << "";
}

// Clicking a header sorts by it: first click by the model's first order, then toggles.
void TestStandardHpfTable::headerClickSorts()
{
    QFETCH(bool, sortable);
    QFETCH(QList<int>, reverseFirst);

    auto* model = filled();
    model->reverseFirst = reverseFirst;
    ExposedTable table(model);
    if (!sortable)
        table.setFlag(table.flag() & ~WB::eTableSortable);
    QVERIFY(table.showExposed());

    QSignalSpy spy(&table, &WB::CStandardHpfTable::sortChanged);
    for (int i = 0; i < 3; ++i)
        QTest::mouseClick(table.header()->viewport(), Qt::LeftButton, {}, sectionPoint(table.header(), 1));
    QStringList seen;
    for (const QList<QVariant>& args : spy)
        seen.append(QStringLiteral("%1:%2").arg(args.at(0).toInt()).arg(args.at(1).toInt()));
    QTEST(seen.join(','), "expected");
}

// Only chosen values stay shown; a column that is not filterable refuses a filter.
void TestStandardHpfTable::columnFilter()
{
    ExposedTable table(filled());
    table.setColumnFilterable(0, true);
    QCOMPARE(table.columnValues(1), QStringList({"9.00", "10.00", "--", "NaN"}));

    table.setColumnFilter(0, {"甲", "丙", "甲"});
    QCOMPARE(table.shown(), linesFor("b,c"));
    QCOMPARE(table.columnFilter(0), QStringList({"甲", "丙"}));
    // A column's own filter does not narrow what its menu offers.
    QCOMPARE(table.columnValues(0), QStringList({"丁", "丙", "乙", "戊", "甲"}));
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

// The header's filter menu opens on a filterable column only, its values ticked as the column's
// filter has them; "确定" filters by the ticked values, "清除筛选" clears.
void TestStandardHpfTable::filterMenuChoosesValues()
{
    ExposedTable table(filled());
    table.setColumnFilterable(0, true);
    table.setColumnFilter(0, {"甲"});
    QVERIFY(table.showExposed());
    const auto openMenu = [&](int column) {
        const QPoint pos = sectionPoint(table.header(), column);
        QContextMenuEvent event(QContextMenuEvent::Mouse, pos, table.header()->viewport()->mapToGlobal(pos));
        QApplication::sendEvent(table.header()->viewport(), &event);
        return table.findChild<QMenu*>("hpfFilterMenu");
    };

    QVERIFY(!openMenu(1));
    QMenu* menu = openMenu(0);
    QVERIFY(menu);
    menu->findChild<QListWidget*>("filterValues")->item(0)->setCheckState(Qt::Checked); // 丁, besides 甲
    QTest::mouseClick(menu->findChild<QPushButton*>("filterOk"), Qt::LeftButton);
    QCOMPARE(table.shown(), linesFor("b,d"));
    QTRY_VERIFY(!table.findChild<QMenu*>("hpfFilterMenu"));

    menu = openMenu(0);
    QVERIFY(menu);
    QTest::mouseClick(menu->findChild<QPushButton*>("filterClear"), Qt::LeftButton);
    QCOMPARE(table.visibleRowCount(), 5);
}

// The table deletes the model it was given, when replaced and with itself, and only once; a
// model deleted before its table leaves an empty table behind, not a crash.
void TestStandardHpfTable::tableOwnsItsModel()
{
    {
        auto* first = new CountedModel;
        ExposedTable table(first);
        table.setDataModel(first);
        QCOMPARE(modelsAlive, 1);
        auto* second = new CountedModel;
        table.setDataModel(filled(second));
        QCOMPARE(modelsAlive, 1);
        QAbstractItemModelTester tester(table.view()->model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        delete second;
        QCOMPARE(table.view()->model()->rowCount(), 0);
        QCOMPARE(table.view()->model()->columnCount(), 0);
        QVERIFY(!table.dataModel());
        table.updateTable();
        table.sortByColumn(1, Qt::AscendingOrder);
        QCOMPARE(table.visibleRowCount(), 0);
        table.setDataModel(new CountedModel);
    }
    QCOMPARE(modelsAlive, 0);
}

// A selected row stays selected when the rows are reloaded or sorted, wherever it lands.
void TestStandardHpfTable::selectionFollowsKeyAcrossUpdate()
{
    auto* model = filled();
    ExposedTable table(model);
    table.sortByColumn(2, Qt::AscendingOrder);
    static_cast<QTableView*>(table.view())->selectRow(3); // b
    filled(model, "f");
    table.updateTable();
    QCOMPARE(table.selectedCellsText(), QStringLiteral("甲\t9.00\t9\tabcd"));
    table.sortByColumn(0, Qt::DescendingOrder);
    QCOMPARE(table.selectedCellsText(), QStringLiteral("甲\t9.00\t9\tabcd"));
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

    // A column the program hid stays hidden whatever the layout says; the layout keeps the
    // user's choice for it.
    ExposedTable b(new TestModel);
    b.setColumnVisible(3, false);
    QVERIFY(b.loadConfigStr(saved));
    QCOMPARE(b.saveConfigStr(), saved);
    QVERIFY(!b.isColumnVisible(3));
    QCOMPARE(b.header()->visualIndex(3), 0);
    QCOMPARE(b.header()->sectionSize(1), 150);
    QVERIFY(!b.isColumnVisible(2));
    QCOMPARE(b.sortColumn(), 1);
    QCOMPARE(b.sortOrder(), Qt::DescendingOrder);
    b.setColumnVisible(2, true);
    QCOMPARE(b.header()->sectionSize(2), 177);
}

void TestStandardHpfTable::configRejects_data()
{
    QTest::addColumn<QString>("config");
    QTest::addColumn<bool>("accepted");

    const QString good = "hpf1:1331:order=3,0,1,2:w=90,91,92,93:vis=1,0,1,1:sort=2,1";
    // Good with the first text replaced by the second (the whole string when the first is empty).
    const auto add = [&](const char* name, const QString& from, const QString& to, bool accepted = false) {
        QTest::newRow(name) << (from.isEmpty() ? to : QString(good).replace(from, to)) << accepted;
    };
    add("valid", "", good, true);
    add("unsorted", "", "hpf1:1331:order=0,1,2,3:w=90,91,92,93:vis=1,1,1,1:sort=-1,0", true);
    add("widest column", "w=90,", "w=10000,", true);
    add("empty", "", "");
    add("another table", "1331", "9999");
    add("older version", "hpf1", "hpf0");
    add("older table with fewer columns", "", "hpf1:1331:order=0,1,2:w=90,91,92:vis=1,1,1:sort=-1,0");
    add("two layouts joined", "sort=2,1", "sort=2,1;" + good);
    add("field missing", ":sort=2,1", "");
    add("field too many", "sort=2,1", "sort=2,1:x=1");
    add("fields swapped", "order=3,0,1,2:w=90,91,92,93", "w=90,91,92,93:order=3,0,1,2");
    add("order column past the end", "order=3,0,1,2", "order=4,0,1,2");
    add("order column negative", "order=3,0,1,2", "order=-1,0,1,2");
    add("order column twice", "order=3,0,1,2", "order=3,0,0,2");
    add("zero width", "w=90,91", "w=90,0");
    add("width past the widest", "w=90,", "w=10001,");
    add("width beyond int", "w=90,", "w=99999999999,");
    add("visibility not 0 or 1", "vis=1,0", "vis=2,0");
    add("sort column past the end", "sort=2,1", "sort=4,1");
    add("sort column below -1", "sort=2,1", "sort=-2,0");
    add("descending without a column", "sort=2,1", "sort=-1,1");
    add("sort order not 0 or 1", "sort=2,1", "sort=2,2");
    add("sort without order", "sort=2,1", "sort=2");
}

// A string from another table or version, for fewer columns, or not a layout at all
// changes nothing; one that loads reads back as itself.
void TestStandardHpfTable::configRejects()
{
    QFETCH(QString, config);
    QFETCH(bool, accepted);

    ExposedTable table(filled());
    table.header()->resizeSection(0, 140);
    table.sortByColumn(0, Qt::AscendingOrder);
    const QString before = table.saveConfigStr();
    QCOMPARE(table.loadConfigStr(config), accepted);
    QCOMPARE(table.saveConfigStr(), accepted ? config : before);
}

// Export and copy give the shown cells in the order the columns stand, hidden and button columns
// left out. The export has a byte-order mark and quotes what needs quoting, and an unwritable
// path fails; copy gives the selected rows, tab-separated.
void TestStandardHpfTable::exportAndCopy()
{
    auto* model = new TestModel;
    model->addData(row("a", {"甲,乙", "1", "say \"hi\"", "-"}));
    model->addData(row("b", {"两\n行", "2", "plain", "-"}));
    model->addData(row("c", {"丙", "3", "x", "-"}));
    ExposedTable table(model);
    table.setFlag(table.flag() | WB::eTableMultiSelect);
    table.header()->moveSection(2, 0);
    table.setColumnVisible(1, false);
    table.setColumnDelegate(3, new WB::CBaseTableColumnMultiButtonsDelegate(3, nullptr));

    const QString expected = "列2,列0\r\n\"say \"\"hi\"\"\",\"甲,乙\"\r\nplain,\"两\n行\"\r\nx,丙\r\n";
    QCOMPARE(table.exportCsv(), expected);
    QTemporaryDir dir;
    QVERIFY(table.exportCsvToFile(dir.filePath("export.csv")));
    QFile file(dir.filePath("export.csv"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("\xEF\xBB\xBF") + expected.toUtf8());
    QVERIFY(!table.exportCsvToFile(dir.filePath("no/such/dir/export.csv")));

    QCOMPARE(table.selectedCellsText(), QString());
    QItemSelectionModel* selection = table.view()->selectionModel();
    selection->select(table.view()->model()->index(2, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    selection->select(table.view()->model()->index(0, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    QCOMPARE(table.selectedCellsText(), QStringLiteral("say \"hi\"\t甲,乙\nx\t丙"));
}

QTEST_MAIN(TestStandardHpfTable)
#include "tst_standardhpftable.moc"
