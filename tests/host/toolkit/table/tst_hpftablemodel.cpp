// The row store and the default row/comparison answers of the table family.
#include "hpftestmodel.h"

#include <QtTest>

#include <cmath>
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
    void rowsWithoutKeyAreKept();
    void nullRowIsIgnored();
    void clearEmptiesStoreAndRaisesTick();
    void defaultCompare_data();
    void defaultCompare();
    void baseRowDefaults();
    void keyIsCachedUntilAssign();
};

void TestHpfTableModel::keyLookups_data()
{
    QTest::addColumn<bool>("replace");
    QTest::addColumn<QString>("rows");       // the store, texts of column 0 in order
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
    model.addData(row("a", {"a"}));
    model.addData(row("b", {"b1"}));
    model.addData(row("c", {"c"}));
    model.addData(row("b", {"b2"}));

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

// Rows without a key are never merged with each other, whatever the policy.
void TestHpfTableModel::rowsWithoutKeyAreKept()
{
    TestModel model(true);
    model.addData(row("", {"x"}));
    model.addData(row("", {"y"}));
    QCOMPARE(model.rowCount(), 2);
    QCOMPARE(model.getDataIndexByKey(""), -1);
}

void TestHpfTableModel::nullRowIsIgnored()
{
    TestModel model;
    const quint64 tick = model.getCompareTick();
    model.addData(WB::IBaseHpfTableDataPtr());
    QCOMPARE(model.rowCount(), 0);
    QCOMPARE(model.getCompareTick(), tick);
}

// Every change raises the tick; clear forgets the keys too.
void TestHpfTableModel::clearEmptiesStoreAndRaisesTick()
{
    TestModel model;
    quint64 tick = model.getCompareTick();
    model.addData(row("a", {"a"}));
    QVERIFY(model.getCompareTick() > tick);
    tick = model.getCompareTick();
    model.addData(row("a", {"a2"}));
    QVERIFY(model.getCompareTick() > tick);
    tick = model.getCompareTick();
    model.clear();
    QVERIFY(model.getCompareTick() > tick);
    QCOMPARE(model.rowCount(), 0);
    QCOMPARE(model.getDataIndexByKey("a"), -1);
    model.addData(row("a", {"again"}));
    QCOMPARE(model.getDataIndexByKey("a"), 0);
}

void TestHpfTableModel::defaultCompare_data()
{
    const double maxD = std::numeric_limits<double>::max();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("leftText");
    QTest::addColumn<double>("leftNumber");
    QTest::addColumn<QString>("rightText");
    QTest::addColumn<double>("rightNumber");
    QTest::addColumn<int>("expected");

    QTest::newRow("text 10 before 9") << int(QVariant::String) << "10" << 10.0 << "9" << 9.0 << -1;
    QTest::newRow("text is case sensitive") << int(QVariant::String) << "B" << 0.0 << "a" << 0.0 << -1;
    QTest::newRow("text equal") << int(QVariant::String) << "甲" << 1.0 << "甲" << 2.0 << 0;
    QTest::newRow("double 9 before 10") << int(QVariant::Double) << "10" << 10.0 << "9" << 9.0 << 1;
    QTest::newRow("double equal") << int(QVariant::Double) << "a" << 1.5 << "b" << 1.5 << 0;
    QTest::newRow("double max after any") << int(QVariant::Double) << "" << maxD << "" << 1e300 << 1;
    QTest::newRow("double nan after any") << int(QVariant::Double) << "" << -5.0 << "" << nan << -1;
    QTest::newRow("double two markers tie") << int(QVariant::Double) << "" << maxD << "" << nan << 0;
    QTest::newRow("int by value") << int(QVariant::Int) << "2" << 2.0 << "10" << 10.0 << -1;
    QTest::newRow("int max after any") << int(QVariant::Int) << "" << maxD << "" << 7.0 << 1;
    QTest::newRow("longlong by value") << int(QVariant::LongLong) << "" << 3e12 << "" << 2e12 << 1;
    QTest::newRow("bool column compares text") << int(QVariant::Bool) << "b" << 1.0 << "a" << 2.0 << 1;
}

// Numbers by value with the "no value" markers last, everything else by plain text.
void TestHpfTableModel::defaultCompare()
{
    QFETCH(int, type);
    QFETCH(QString, leftText);
    QFETCH(double, leftNumber);
    QFETCH(QString, rightText);
    QFETCH(double, rightNumber);
    QFETCH(int, expected);

    TestModel model(true, {QVariant::Type(type)});
    TestRow left("l", {leftText}, {leftNumber});
    TestRow right("r", {rightText}, {rightNumber});
    QCOMPARE(model.compare(&left, &right, 0), expected);
    QCOMPARE(model.compare(&right, &left, 0), -expected);
}

// A row that fills nothing answers "no value" everywhere and the default text colour.
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

    TestRow text("k", {"甲"});
    QCOMPARE(text.getTextFromAll(0), QStringLiteral("甲"));
}

// qsKey converts once; assign drops the cached key so the next call reads getKey again.
void TestHpfTableModel::keyIsCachedUntilAssign()
{
    BareRow bare;
    bare.key = "券商A";
    QCOMPARE(bare.qsKey(), QStringLiteral("券商A"));
    bare.key = "other";
    QCOMPARE(bare.qsKey(), QStringLiteral("券商A"));
    BareRow source;
    bare.assign(source);
    QCOMPARE(bare.qsKey(), QStringLiteral("other"));
}

QTEST_MAIN(TestHpfTableModel)
#include "tst_hpftablemodel.moc"
