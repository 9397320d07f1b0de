// The row store and the default row/comparison answers of the table family.
#include "hpftestmodel.h"

#include <QtTest>

#include <limits>

using namespace hpftest;

namespace {

// A row that answers only what the base class answers.
class BareRow : public WB::IBaseHpfTableData
{
public:
    std::string getKey() override { return key; }
    std::string key;
};

} // namespace

class TestHpfTableModel : public QObject
{
    Q_OBJECT

private slots:
    void keyLookups_data();
    void keyLookups();
    void storeChanges();
    void defaultCompare_data();
    void defaultCompare();
    void baseRowDefaults();
};

void TestHpfTableModel::keyLookups_data()
{
    QTest::addColumn<bool>("replace");
    QTest::addColumn<QString>("rows"); // the store, texts of column 0 in order
    QTest::addColumn<int>("indexOfB");
    QTest::addColumn<QString>("textOfB");

    QTest::newRow("replace in place") << true << "a|b2|c" << 1 << "b2";
    QTest::newRow("keep both, first found") << false << "a|b1|c|b2" << 1 << "b1";
}

// Adding a row whose key is stored already follows the model's policy; lookups stay exact.
void TestHpfTableModel::keyLookups()
{
    QFETCH(bool, replace);
    QFETCH(QString, rows);
    QFETCH(int, indexOfB);
    QFETCH(QString, textOfB);

    TestModel model(replace);
    for (const auto& r : {row("a", {"a"}), row("b", {"b1"}), row("c", {"c"}), row("b", {"b2"})})
        model.addData(r);
    QStringList stored;
    for (int i = 0; i < model.rowCount(); ++i)
        stored.append(model.getData(i)->getText(0));
    QCOMPARE(stored.join('|'), rows);
    QCOMPARE(model.getDataIndexByKey("b"), indexOfB);
    QCOMPARE(model.getDataByKey("b")->getText(0), textOfB);
    QCOMPARE(model.getDataIndexByKey("c"), 2);
    QCOMPARE(model.getDataIndexByKey("zzz"), -1);
    QVERIFY(!model.getDataByKey("zzz"));
    QVERIFY(!model.getData(-1));
    QVERIFY(!model.getData(model.rowCount()));
}

// A null row changes nothing; rows without a key are never merged; clear forgets the keys too.
void TestHpfTableModel::storeChanges()
{
    TestModel model;
    model.addData(WB::IBaseHpfTableDataPtr());
    QCOMPARE(model.rowCount(), 0);
    model.addData(row("", {"x"}));
    model.addData(row("", {"y"}));
    model.addData(row("a", {"a"}));
    QCOMPARE(model.rowCount(), 3);
    QCOMPARE(model.getDataIndexByKey(""), -1);
    model.clear();
    QCOMPARE(model.rowCount(), 0);
    QCOMPARE(model.getDataIndexByKey("a"), -1);
    model.addData(row("a", {"again"}));
    QCOMPARE(model.getDataIndexByKey("a"), 0);
}

void TestHpfTableModel::defaultCompare_data()
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
void TestHpfTableModel::defaultCompare()
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

// A row that fills nothing answers "no value" everywhere and the default text colour; qsKey
// is its key as text.
void TestHpfTableModel::baseRowDefaults()
{
    BareRow bare;
    QCOMPARE(bare.getText(0), QString());
    QCOMPARE(bare.getTextFromAll(3), QString());
    QCOMPARE(bare.getInt(0), std::numeric_limits<int>::max());
    QCOMPARE(bare.getLonglong(0), std::numeric_limits<long long>::max());
    QCOMPARE(bare.getDouble(0), std::numeric_limits<double>::max());
    QCOMPARE(bare.getTextColor(0),
             utils::CSingletonT<WB::CUiResource>::instance()->getColor(QStringLiteral("cle_default")));
    QCOMPARE(TestRow("k", {"甲"}).getTextFromAll(0), QStringLiteral("甲"));

    bare.key = "券商A";
    QCOMPARE(bare.qsKey(), QStringLiteral("券商A"));
}

QTEST_MAIN(TestHpfTableModel)
#include "tst_hpftablemodel.moc"
