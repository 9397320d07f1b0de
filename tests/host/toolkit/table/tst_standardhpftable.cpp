// The standard high-performance table: what it shows after sorting and filtering, its item
// model, the configuration string, flags, export, copy and the refresh action.
#include "hpftestmodel.h"

#include <QAbstractItemModelTester>
#include <QAction>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QListWidget>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <limits>
#include <map>

using namespace hpftest;

namespace {

const int kTableId = 1331;
const int kKeyRole = Qt::UserRole + 1;
const double kNoValue = std::numeric_limits<double>::max();

// Exposes the menu members a derived table may use.
class ExposedTable : public WB::CStandardHpfTable
{
public:
    explicit ExposedTable(QWidget* parent, int id = kTableId)
        : WB::CStandardHpfTable(id, parent, WB::EBaseTableMenuFlags(0xFF))
    {
    }
    QMenu* contextMenu() const { return m_pContextMenu; }
    QAction* refreshAction() const { return m_pRefreshAction; }
};

struct Event
{
    int type, id, index;
    QString key;
};

class RecordingWidget : public WB::CBaseWidget
{
public:
    bool handleEvent(int type, int id, int index, QString key, void*) override
    {
        events.append({type, id, index, key});
        return true;
    }
    QVector<Event> events;
};

// Five brokers: name, quantity (as text), code, a constant column; keys a..e.
void fill(TestModel& model)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    model.addData(row("a", {"乙", "10.00", "10", "x"}, {0, 10}));
    model.addData(row("b", {"甲", "9.00", "9", "x"}, {0, 9}));
    model.addData(row("c", {"丙", "--", "100", "x"}, {0, kNoValue}));
    model.addData(row("d", {"丁", "9.00", "9", "x"}, {0, 9}));
    model.addData(row("e", {"戊", "NaN", "11", "x"}, {0, nan}));
}

// The lines dumpRows gives for the rows of fill() with these keys, in this order.
QStringList linesFor(const QString& keys)
{
    static const std::map<QString, QString> lines = {
        {"a", "乙|10.00|10|x"}, {"b", "甲|9.00|9|x"}, {"c", "丙|--|100|x"},
        {"d", "丁|9.00|9|x"},   {"e", "戊|NaN|11|x"}, {"f", "甲|1.00|0|x"},
    };
    QStringList out;
    for (const QString& key : keys.split(',', Qt::SkipEmptyParts))
        out.append(lines.at(key));
    return out;
}

QPoint sectionPoint(QHeaderView* header, int logical, int dx = 6)
{
    return QPoint(header->sectionViewportPosition(logical) + dx, header->height() / 2);
}

} // namespace

class TestStandardHpfTable : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void itemModelStaysConsistent();
    void sorting_data();
    void sorting();
    void textSortBeyondFourCharacters_data();
    void textSortBeyondFourCharacters();
    void customSortAsksTheModel();
    void headerClickSorts_data();
    void headerClickSorts();
    void columnFilter();
    void filterMenuChoosesValues();
    void shownRowsSurviveStoreClear();
    void modelDestroyedBeforeTable();
    void tableOwnsItsModel();
    void selectionFollowsKeyAcrossUpdate();
    void configRoundTrip();
    void configRejects_data();
    void configRejects();
    void rowNumbersFlag();
    void rowColoursFollowDisplayRow();
    void exportCsv();
    void copySelectedCells();
    void refreshActionDeliversEvent();
    void fitColumnsToContent();
};

void TestStandardHpfTable::initTestCase()
{
    QLocale::setDefault(QLocale::c());
}

// Rows, sort and filter changes keep the Qt item model valid, and it shows what is expected.
void TestStandardHpfTable::itemModelStaysConsistent()
{
    auto* model = new TestModel; // owned by the table it is given to
    ExposedTable table(nullptr);
    table.setDataModel(model);
    QAbstractItemModel* itemModel = table.view()->model();
    QAbstractItemModelTester tester(itemModel, QAbstractItemModelTester::FailureReportingMode::QtTest);

    fill(*model);
    QCOMPARE(dumpRows(itemModel), QStringList());
    table.updateTable();
    QCOMPARE(dumpRows(itemModel), linesFor("a,b,c,d,e"));
    table.sortByColumn(2, Qt::DescendingOrder);
    QCOMPARE(dumpRows(itemModel), linesFor("b,d,e,c,a"));
    table.setColumnFilterable(3, true);
    table.setColumnFilterable(0, true);
    table.setColumnFilter(0, {"甲", "乙"});
    QCOMPARE(dumpRows(itemModel), linesFor("b,a"));
    model->clear();
    table.updateTable();
    QCOMPARE(dumpRows(itemModel), QStringList());
    fill(*model);
    model->addData(row("f", {"甲", "1.00", "0", "x"}, {0, 1}));
    table.updateTable();
    QCOMPARE(dumpRows(itemModel), linesFor("b,a,f"));
    table.setColumnFilter(0, {});
    table.sortByColumn(-1, Qt::AscendingOrder);
    QCOMPARE(dumpRows(itemModel), linesFor("a,b,c,d,e,f"));
    QCOMPARE(itemModel->index(2, 0).data(kKeyRole).toString(), QStringLiteral("c"));
    QCOMPARE(itemModel->headerData(1, Qt::Horizontal).toString(), QStringLiteral("列1"));
    QCOMPARE(itemModel->index(0, 1).data(Qt::TextAlignmentRole).toInt(), int(Qt::AlignRight | Qt::AlignVCenter));
    QCOMPARE(itemModel->index(0, 0).data(Qt::TextAlignmentRole).toInt(), int(Qt::AlignLeft | Qt::AlignVCenter));
}

void TestStandardHpfTable::sorting_data()
{
    QTest::addColumn<int>("numberType");
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("order");
    QTest::addColumn<QString>("keys");

    const int d = QVariant::Double;
    QTest::newRow("unsorted keeps insertion order") << d << -1 << int(Qt::AscendingOrder) << "a,b,c,d,e";
    QTest::newRow("text: '10' < '100' < '11' < '9'") << d << 2 << int(Qt::AscendingOrder) << "a,c,e,b,d";
    QTest::newRow("text descending, ties stable") << d << 2 << int(Qt::DescendingOrder) << "b,d,e,c,a";
    QTest::newRow("chinese text by code point") << d << 0 << int(Qt::AscendingOrder) << "d,c,a,e,b";
    QTest::newRow("double ascending, no value last") << d << 1 << int(Qt::AscendingOrder) << "b,d,a,c,e";
    QTest::newRow("double descending, no value last") << d << 1 << int(Qt::DescendingOrder) << "a,b,d,c,e";
    QTest::newRow("int ascending") << int(QVariant::Int) << 1 << int(Qt::AscendingOrder) << "b,d,a,c,e";
    QTest::newRow("int descending") << int(QVariant::Int) << 1 << int(Qt::DescendingOrder) << "a,b,d,c,e";
    QTest::newRow("longlong ascending") << int(QVariant::LongLong) << 1 << int(Qt::AscendingOrder) << "b,d,a,c,e";
    QTest::newRow("longlong descending") << int(QVariant::LongLong) << 1 << int(Qt::DescendingOrder) << "a,b,d,c,e";
}

// Text columns sort as text, number columns by value with the markers last either way; equal
// rows keep the order they were added in.
void TestStandardHpfTable::sorting()
{
    QFETCH(int, numberType);
    QFETCH(int, column);
    QFETCH(int, order);
    QFETCH(QString, keys);

    auto* model = new TestModel(true, {QVariant::String, QVariant::Type(numberType), QVariant::String, QVariant::String});
    fill(*model);
    ExposedTable table(nullptr);
    table.setDataModel(model);
    QSignalSpy spy(&table, &WB::CStandardHpfTable::sortChanged);
    table.sortByColumn(column, Qt::SortOrder(order));
    QCOMPARE(dumpRows(table.view()->model()), linesFor(keys));
    QCOMPARE(table.sortColumn(), column);
    QCOMPARE(spy.count(), column == -1 ? 0 : 1);
    // The sort holds when the rows are reloaded.
    table.updateTable();
    QCOMPARE(dumpRows(table.view()->model()), linesFor(keys));
}

void TestStandardHpfTable::textSortBeyondFourCharacters_data()
{
    QTest::addColumn<int>("order");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("ascending") << int(Qt::AscendingOrder)
                               << QStringList{"|1", "abc|3", "abcd|4", "abcdA|2", "abcdA|6", "abcdZ|5", "券商代码A|8",
                                              "券商代码B|7"};
    QTest::newRow("descending") << int(Qt::DescendingOrder)
                                << QStringList{"券商代码B|7", "券商代码A|8", "abcdZ|5", "abcdA|2", "abcdA|6", "abcd|4",
                                               "abc|3", "|1"};
}

// Texts that share their first characters, or are a start of each other, still sort by the
// whole text; equal texts keep their order.
void TestStandardHpfTable::textSortBeyondFourCharacters()
{
    QFETCH(int, order);
    QFETCH(QStringList, expected);

    auto* model = new TestModel(true, {QVariant::String, QVariant::String});
    const QStringList texts = {"", "abcdA", "abc", "abcd", "abcdZ", "abcdA", "券商代码B", "券商代码A"};
    for (int i = 0; i < texts.size(); ++i)
        model->addData(row(std::to_string(i), {texts[i], QString::number(i + 1)}));
    ExposedTable table(nullptr);
    table.setDataModel(model);
    table.sortByColumn(0, Qt::SortOrder(order));
    QCOMPARE(dumpRows(table.view()->model()), expected);
}

namespace {
// Sorts column 0 by the length of its text.
class LengthSortModel : public TestModel
{
public:
    bool isCustomSort(int column) override { return column == 0; }
    int compare(WB::IBaseHpfTableData* l, WB::IBaseHpfTableData* r, int column) override
    {
        return l->getText(column).size() - r->getText(column).size();
    }
};
} // namespace

// A model that sorts a column itself is asked; descending reverses it, ties stay in order.
void TestStandardHpfTable::customSortAsksTheModel()
{
    auto* model = new LengthSortModel;
    model->addData(row("a", {"ccc"}));
    model->addData(row("b", {"a"}));
    model->addData(row("c", {"bb"}));
    model->addData(row("d", {"z"}));
    ExposedTable table(nullptr);
    table.setDataModel(model);
    table.sortByColumn(0, Qt::AscendingOrder);
    QCOMPARE(dumpRows(table.view()->model()),
             QStringList({"a|-|-|-", "z|-|-|-", "bb|-|-|-", "ccc|-|-|-"}));
    table.sortByColumn(0, Qt::DescendingOrder);
    QCOMPARE(dumpRows(table.view()->model()),
             QStringList({"ccc|-|-|-", "bb|-|-|-", "a|-|-|-", "z|-|-|-"}));
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

    auto* model = new TestModel;
    if (reverseFirst)
        model->reverseFirst = {1};
    fill(*model);
    ExposedTable table(nullptr);
    table.setDataModel(model);
    if (!sortable)
        table.setFlag(table.flag() & ~WB::eTableSortable);
    table.resize(600, 300);
    table.show();
    QVERIFY(QTest::qWaitForWindowExposed(&table));

    QSignalSpy spy(&table, &WB::CStandardHpfTable::sortChanged);
    auto* header = qobject_cast<QHeaderView*>(table.view()->findChild<QHeaderView*>("hpfHeaderView"));
    QVERIFY(header);
    for (int i = 0; i < 3; ++i)
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, sectionPoint(header, 1));
    QStringList seen;
    for (const QList<QVariant>& args : spy)
        seen.append(QStringLiteral("%1:%2").arg(args.at(0).toInt()).arg(args.at(1).toInt()));
    QCOMPARE(seen.join(','), expected);
}

// Only chosen values stay shown; a column that is not filterable refuses a filter.
void TestStandardHpfTable::columnFilter()
{
    auto* model = new TestModel;
    fill(*model);
    ExposedTable table(nullptr);
    table.setDataModel(model);
    table.setColumnFilterable(0, true);
    QVERIFY(table.isColumnFilterable(0));
    QVERIFY(!table.isColumnFilterable(1));

    QCOMPARE(table.columnValues(0), QStringList({"丁", "丙", "乙", "戊", "甲"}));
    QCOMPARE(table.columnValues(1), QStringList({"9.00", "10.00", "--", "NaN"}));

    table.setColumnFilter(0, {"甲", "丙", "甲"});
    QCOMPARE(dumpRows(table.view()->model()), linesFor("b,c"));
    QCOMPARE(table.columnFilter(0), QStringList({"甲", "丙"}));
    QCOMPARE(table.visibleRowCount(), 2);
    QCOMPARE(QString::fromStdString(table.visibleRow(1)->getKey()), QStringLiteral("c"));
    QVERIFY(!table.visibleRow(2));
    // Another column's values are those of the rows the other filters let through.
    QCOMPARE(table.columnValues(2), QStringList({"100", "9"}));

    table.setColumnFilter(1, {"9.00"});
    QCOMPARE(table.columnFilter(1), QStringList());
    QCOMPARE(dumpRows(table.view()->model()), linesFor("b,c"));

    model->addData(row("f", {"甲", "1.00", "0", "x"}, {0, 1}));
    table.updateTable();
    QCOMPARE(dumpRows(table.view()->model()), linesFor("b,c,f"));

    table.setColumnFilter(0, {});
    QCOMPARE(dumpRows(table.view()->model()), linesFor("a,b,c,d,e,f"));

    // Making a column unfilterable drops its filter.
    table.setColumnFilter(0, {"乙"});
    table.setColumnFilterable(0, false);
    QCOMPARE(table.columnFilter(0), QStringList());
    QCOMPARE(table.visibleRowCount(), 6);
}

// The header's filter menu offers the column's values; ticking and "确定" filters by them.
void TestStandardHpfTable::filterMenuChoosesValues()
{
    auto* model = new TestModel;
    fill(*model);
    ExposedTable table(nullptr);
    table.setDataModel(model);
    table.setColumnFilterable(0, true);
    table.resize(600, 300);
    table.show();
    QVERIFY(QTest::qWaitForWindowExposed(&table));
    auto* header = table.view()->findChild<QHeaderView*>("hpfHeaderView");
    QVERIFY(header);

    auto openMenu = [&](int column) {
        const QPoint pos = sectionPoint(header, column);
        QContextMenuEvent event(QContextMenuEvent::Mouse, pos, header->viewport()->mapToGlobal(pos));
        QApplication::sendEvent(header->viewport(), &event);
        return table.findChild<QMenu*>("hpfFilterMenu");
    };

    // A column without a filter offers no menu.
    QVERIFY(!openMenu(1));

    QMenu* menu = openMenu(0);
    QVERIFY(menu);
    auto* list = menu->findChild<QListWidget*>("filterValues");
    QVERIFY(list);
    QCOMPARE(list->count(), 5);
    for (int i = 0; i < list->count(); ++i)
        list->item(i)->setCheckState(list->item(i)->text() == "甲" || list->item(i)->text() == "丁" ? Qt::Checked
                                                                                                    : Qt::Unchecked);
    QTest::mouseClick(menu->findChild<QPushButton*>("filterOk"), Qt::LeftButton);
    QCOMPARE(dumpRows(table.view()->model()), linesFor("b,d"));
    QTRY_VERIFY(!table.findChild<QMenu*>("hpfFilterMenu"));

    // The search narrows the list; "确定" takes the ticked values still shown.
    menu = openMenu(0);
    QVERIFY(menu);
    list = menu->findChild<QListWidget*>("filterValues");
    menu->findChild<QPushButton*>("filterSelectAll")->click();
    menu->findChild<QLineEdit*>("filterSearch")->setText("乙");
    QTest::mouseClick(menu->findChild<QPushButton*>("filterOk"), Qt::LeftButton);
    QCOMPARE(table.columnFilter(0), QStringList({"乙"}));
    QTRY_VERIFY(!table.findChild<QMenu*>("hpfFilterMenu"));

    // Nothing ticked: "确定" cannot be pressed; "清除筛选" clears.
    menu = openMenu(0);
    list = menu->findChild<QListWidget*>("filterValues");
    for (int i = 0; i < list->count(); ++i)
        list->item(i)->setCheckState(Qt::Unchecked);
    QVERIFY(!menu->findChild<QPushButton*>("filterOk")->isEnabled());
    QTest::mouseClick(menu->findChild<QPushButton*>("filterClear"), Qt::LeftButton);
    QCOMPARE(table.visibleRowCount(), 5);
}

// The shown rows are a snapshot: clearing the store changes nothing until updateTable.
void TestStandardHpfTable::shownRowsSurviveStoreClear()
{
    auto* model = new TestModel;
    fill(*model);
    ExposedTable table(nullptr);
    table.setDataModel(model);
    model->clear();
    QCOMPARE(dumpRows(table.view()->model()), linesFor("a,b,c,d,e"));
    table.updateTable();
    QCOMPARE(table.visibleRowCount(), 0);
}

// The table deletes the model it was given, when replaced and with itself, and only once.
void TestStandardHpfTable::tableOwnsItsModel()
{
    struct WatchedModel : TestModel
    {
        explicit WatchedModel(bool* alive) : alive(alive) { *alive = true; }
        ~WatchedModel() override { *alive = false; }
        bool* alive;
    };
    bool firstAlive = false;
    bool secondAlive = false;
    {
        ExposedTable table(nullptr);
        auto* first = new WatchedModel(&firstAlive);
        table.setDataModel(first);
        table.setDataModel(first);
        QVERIFY(firstAlive);
        table.setDataModel(new WatchedModel(&secondAlive));
        QVERIFY(!firstAlive);
        QVERIFY(secondAlive);
    }
    QVERIFY(!secondAlive);
}

// A model that dies before its table leaves an empty table behind, not a crash.
void TestStandardHpfTable::modelDestroyedBeforeTable()
{
    auto* model = new TestModel;
    fill(*model);
    ExposedTable table(nullptr);
    table.setDataModel(model);
    QAbstractItemModelTester tester(table.view()->model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    delete model;
    QCOMPARE(table.view()->model()->rowCount(), 0);
    QCOMPARE(table.view()->model()->columnCount(), 0);
    QVERIFY(!table.dataModel());
    table.updateTable();
    table.sortByColumn(1, Qt::AscendingOrder);
    QCOMPARE(table.visibleRowCount(), 0);
}

// A selected row stays selected when the rows are reloaded, wherever it lands.
void TestStandardHpfTable::selectionFollowsKeyAcrossUpdate()
{
    auto* model = new TestModel;
    fill(*model);
    ExposedTable table(nullptr);
    table.setDataModel(model);
    table.sortByColumn(2, Qt::AscendingOrder);
    static_cast<QTableView*>(table.view())->selectRow(3); // key b
    model->addData(row("f", {"甲", "1.00", "0", "x"}, {0, 1}));
    table.updateTable();
    const QModelIndexList selected = table.view()->selectionModel()->selectedRows();
    QCOMPARE(selected.size(), 1);
    QCOMPARE(selected.front().row(), 4);
    QCOMPARE(selected.front().data(kKeyRole).toString(), QStringLiteral("b"));
}

// Order, widths (also of a hidden column), visibility and sort come back exactly.
void TestStandardHpfTable::configRoundTrip()
{
    auto* modelA = new TestModel;
    fill(*modelA);
    ExposedTable a(nullptr);
    a.setDataModel(modelA);
    QHeaderView* headerA = a.view()->findChild<QHeaderView*>("hpfHeaderView");
    headerA->moveSection(3, 0);
    headerA->resizeSection(1, 150);
    headerA->resizeSection(2, 177);
    a.setColumnVisible(2, false);
    a.sortByColumn(1, Qt::DescendingOrder);
    const QString saved = a.saveConfigStr();
    QVERIFY(!saved.contains(';'));
    QVERIFY(saved.startsWith(QStringLiteral("hpf1:1331:")));

    auto* modelB = new TestModel;
    ExposedTable b(nullptr);
    b.setDataModel(modelB);
    QVERIFY(b.loadConfigStr(saved));
    QCOMPARE(b.saveConfigStr(), saved);
    QHeaderView* headerB = b.view()->findChild<QHeaderView*>("hpfHeaderView");
    QCOMPARE(headerB->visualIndex(3), 0);
    QCOMPARE(headerB->sectionSize(1), 150);
    QVERIFY(!b.isColumnVisible(2));
    QCOMPARE(b.sortColumn(), 1);
    QCOMPARE(b.sortOrder(), Qt::DescendingOrder);
    b.setColumnVisible(2, true);
    QCOMPARE(headerB->sectionSize(2), 177);
}

void TestStandardHpfTable::configRejects_data()
{
    QTest::addColumn<QString>("config");
    QTest::addColumn<bool>("accepted");

    const QString good = "hpf1:1331:order=3,0,1,2:w=90,91,92,93:vis=1,0,1,1:sort=2,1";
    QTest::newRow("valid") << good << true;
    QTest::newRow("valid without sort") << "hpf1:1331:order=0,1,2,3:w=90,91,92,93:vis=1,1,1,1:sort=-1,0" << true;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("garbage") << "garbage" << false;
    QTest::newRow("other table") << QString(good).replace("1331", "9999") << false;
    QTest::newRow("other version") << QString(good).replace("hpf1", "hpf0") << false;
    QTest::newRow("fewer columns") << "hpf1:1331:order=0,1,2:w=90,91,92:vis=1,1,1:sort=-1,0" << false;
    QTest::newRow("negative width") << QString(good).replace("w=90,91", "w=90,-91") << false;
    QTest::newRow("zero width") << QString(good).replace("w=90,91", "w=90,0") << false;
    QTest::newRow("sort column out of range") << QString(good).replace("sort=2,1", "sort=4,1") << false;
    QTest::newRow("sort column below -1") << QString(good).replace("sort=2,1", "sort=-2,0") << false;
    QTest::newRow("sort order 2") << QString(good).replace("sort=2,1", "sort=2,2") << false;
    QTest::newRow("with semicolon") << good + ";x" << false;
    QTest::newRow("column twice in order") << QString(good).replace("order=3,0,1,2", "order=3,0,0,2") << false;
    QTest::newRow("visibility 2") << QString(good).replace("vis=1,0", "vis=2,0") << false;
    QTest::newRow("not a number") << QString(good).replace("w=90,91", "w=90,abc") << false;
    QTest::newRow("extra field") << good + ":x=1" << false;
    QTest::newRow("fields swapped") << "hpf1:1331:w=90,91,92,93:order=3,0,1,2:vis=1,0,1,1:sort=2,1" << false;
}

// A string from another table or version, or not a configuration at all, changes nothing.
void TestStandardHpfTable::configRejects()
{
    QFETCH(QString, config);
    QFETCH(bool, accepted);

    auto* model = new TestModel;
    fill(*model);
    ExposedTable table(nullptr);
    table.setDataModel(model);
    table.view()->findChild<QHeaderView*>("hpfHeaderView")->resizeSection(0, 140);
    table.sortByColumn(0, Qt::AscendingOrder);
    const QString before = table.saveConfigStr();

    QCOMPARE(table.loadConfigStr(config), accepted);
    QCOMPARE(table.saveConfigStr(), accepted ? config : before);
}

// Flag 0x8 shows the row numbers; the other defaults are all flags but multi-select.
void TestStandardHpfTable::rowNumbersFlag()
{
    auto* model = new TestModel;
    fill(*model);
    ExposedTable table(nullptr);
    table.setDataModel(model);
    QCOMPARE(int(table.flag()), 0x2F);
    QVERIFY(table.view()->findChild<QHeaderView*>("hpfHeaderView"));
    QHeaderView* rows = static_cast<QTableView*>(table.view())->verticalHeader();
    QVERIFY(rows->isVisibleTo(&table));
    QCOMPARE(table.view()->model()->headerData(0, Qt::Vertical).toInt(), 1);
    QCOMPARE(table.view()->model()->headerData(4, Qt::Vertical).toInt(), 5);

    table.setFlag(table.flag() & ~WB::eTableRowNumbers);
    QVERIFY(!rows->isVisibleTo(&table));
    QCOMPARE(int(table.flag()), 0x27);
    table.setFlag(table.flag() | WB::eTableRowNumbers);
    QVERIFY(rows->isVisibleTo(&table));
}

// Backgrounds alternate by the row's place on screen, not by its place in the store.
void TestStandardHpfTable::rowColoursFollowDisplayRow()
{
    auto* model = new TestModel;
    fill(*model);
    ExposedTable table(nullptr);
    table.setDataModel(model);
    table.setColumnFilterable(0, true);
    table.setColumnFilter(0, {"甲", "丙", "丁"}); // store rows 1, 2, 3
    QAbstractItemModel* m = table.view()->model();
    QStringList colours;
    for (int r = 0; r < m->rowCount(); ++r)
        colours.append(m->index(r, 2).data(Qt::BackgroundRole).value<QColor>().name());
    QCOMPARE(colours.join(','), QStringLiteral("#ffffff,#f0f4fa,#ffffff"));

    table.setFlag(table.flag() & ~WB::eTableAlternateRows);
    QVERIFY(!m->index(1, 0).data(Qt::BackgroundRole).isValid());
}

// The export has a byte-order mark, quotes what needs quoting and leaves out hidden and
// button columns.
void TestStandardHpfTable::exportCsv()
{
    auto* model = new TestModel;
    model->headers = QStringList{"名称", "数量", "代码", "操作"};
    model->addData(row("a", {"甲,乙", "1", "say \"hi\"", "-"}, {0, 1}));
    model->addData(row("b", {"两\n行", "2", "plain", "-"}, {0, 2}));
    ExposedTable table(nullptr);
    table.setDataModel(model);
    table.setColumnVisible(1, false);
    table.setColumnDelegate(3, new WB::CBaseTableColumnMultiButtonsDelegate(3, nullptr));

    const QString expected = "名称,代码\r\n\"甲,乙\",\"say \"\"hi\"\"\"\r\n\"两\n行\",plain\r\n";
    QCOMPARE(table.exportCsv(), expected);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("export.csv");
    QVERIFY(table.exportCsvToFile(path));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("\xEF\xBB\xBF") + expected.toUtf8());
    QVERIFY(!table.exportCsvToFile(dir.filePath("no/such/dir/export.csv")));
}

// Copy gives the selected rows' shown cells, tab-separated, in the order the columns stand.
void TestStandardHpfTable::copySelectedCells()
{
    auto* model = new TestModel;
    fill(*model);
    ExposedTable table(nullptr);
    table.setFlag(table.flag() | WB::eTableMultiSelect);
    table.setDataModel(model);
    table.view()->findChild<QHeaderView*>("hpfHeaderView")->moveSection(2, 0);
    table.setColumnVisible(3, false);
    QCOMPARE(table.selectedCellsText(), QString());
    QItemSelectionModel* selection = table.view()->selectionModel();
    QAbstractItemModel* m = table.view()->model();
    selection->select(m->index(3, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    selection->select(m->index(0, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    QCOMPARE(table.selectedCellsText(), QStringLiteral("10\t乙\t10.00\n9\t丁\t9.00"));
}

// The refresh action sends event 227 with the table id up the parent chain; a derived table
// can take it out of the menu.
void TestStandardHpfTable::refreshActionDeliversEvent()
{
    RecordingWidget receiver;
    auto* table = new ExposedTable(&receiver, 4242);
    QVERIFY(table->contextMenu());
    QVERIFY(table->refreshAction());
    QVERIFY(table->contextMenu()->actions().contains(table->refreshAction()));
    table->refreshAction()->trigger();
    QCOMPARE(receiver.events.size(), 1);
    QCOMPARE(receiver.events[0].type, int(WB::eEventTableRefresh));
    QCOMPARE(receiver.events[0].id, 4242);

    table->contextMenu()->removeAction(table->refreshAction());
    QVERIFY(!table->contextMenu()->actions().contains(table->refreshAction()));

    WB::CStandardHpfTable bare(1, nullptr, WB::EBaseTableMenuFlags(WB::eMenuCopy));
    QVERIFY(!bare.findChild<QAction*>("actionRefresh"));
    QVERIFY(!bare.findChild<QAction*>("actionExport"));
    QVERIFY(bare.findChild<QAction*>("actionCopy"));
}

// Fitting widens a column to its longest text and a button column to its buttons.
void TestStandardHpfTable::fitColumnsToContent()
{
    auto* model = new TestModel;
    model->addData(row("a", {"一个很长很长的券商名称用于测试列宽", "1", "x", "-"}, {0, 1}));
    ExposedTable table(nullptr);
    table.setDataModel(model);
    auto* buttons = new WB::CBaseTableColumnMultiButtonsDelegate(3, nullptr);
    table.setColumnDelegate(3, buttons);
    QCOMPARE(table.columnDelegate(3), buttons);
    buttons->setItemButtons("a", {WB::ButtonData(0, "查询", WB::eBlueButton), WB::ButtonData(1, "上传明细", WB::eNormalButton)},
                            false);
    table.adjustColumnWidth();
    QHeaderView* header = table.view()->findChild<QHeaderView*>("hpfHeaderView");
    const QFontMetrics metrics(table.view()->font());
    QVERIFY(header->sectionSize(0) > metrics.horizontalAdvance(model->getData(0)->getText(0)));
    QStyleOptionViewItem option;
    const QModelIndex cell = table.view()->model()->index(0, 3);
    QVERIFY(header->sectionSize(3) >= buttons->sizeHint(option, cell).width());
    const QVector<QRect> rects = buttons->buttonRects("a", table.view()->visualRect(cell));
    QCOMPARE(rects.size(), 2);
    QVERIFY(table.view()->visualRect(cell).contains(rects[0].united(rects[1])));
}

QTEST_MAIN(TestStandardHpfTable)
#include "tst_standardhpftable.moc"
