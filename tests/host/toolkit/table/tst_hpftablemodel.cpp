// The row store and the default comparison of the table family.
#include "hpftestmodel.h"

#include <QtTest>

#include <limits>

using namespace hpftest;

class TestHpfTableModel : public QObject
{
    Q_OBJECT

private slots:
    void keyLookups_data();
    void keyLookups();
    void defaultCompare_data();
    void defaultCompare();
};

void TestHpfTableModel::keyLookups_data()
{
    QTest::addColumn<bool>("replace");
    QTest::addColumn<QString>("adds");     // key:text per row added, "null" a null row; "?" reads, "!" clears
    QTest::addColumn<QStringList>("rows"); // the store, texts of column 0 in order
    QTest::addColumn<QString>("indexes");  // key=index the lookup finds

    QTest::newRow("replace in place") << true << "a:a b:b1 c:c b:b2" << QStringList{"a", "b2", "c"} << "a=0 b=1 c=2";
    QTest::newRow("keep both, first found")
        << false << "a:a b:b1 c:c b:b2" << QStringList{"a", "b1", "c", "b2"} << "a=0 b=1 c=2";
    QTest::newRow("rows after a replaced one close up")
        << true << "a:a b:b1 b:b2 :x c:c b:b3 d:d" << QStringList{"a", "b3", "x", "c", "d"} << "a=0 b=1 c=3 d=4";
    QTest::newRow("replaced across reads")
        << true << "a:a b:b1 ? c:c b:b2 ? b:b3 d:d" << QStringList{"a", "b3", "c", "d"} << "a=0 b=1 c=2 d=3";
    QTest::newRow("kept across reads") << false << "a:a ? b:b1 a:a2 ? b:b2 c:c"
                                       << QStringList{"a", "b1", "a2", "b2", "c"} << "a=0 b=1 c=4";
    QTest::newRow("null rows dropped, keyless rows never merged")
        << true << "null :x :y a:a" << QStringList{"x", "y", "a"} << "a=2 =-1";
    QTest::newRow("clear forgets the keys") << true << "a:a b:b ! a:again" << QStringList{"again"} << "a=0 b=-1";
}

// Adding a row whose key is stored already follows the model's policy, whether or not the store
// was read in between; lookups stay exact. A null row changes nothing; rows without a key are never
// merged; clear forgets the keys too.
void TestHpfTableModel::keyLookups()
{
    QFETCH(bool, replace);
    QFETCH(QString, adds);
    QFETCH(QStringList, rows);
    QFETCH(QString, indexes);

    TestModel model(replace);
    for (const QString& add : adds.split(' ')) {
        if (add == QLatin1String("?"))
            QVERIFY(model.rowCount() > 0);
        else if (add == QLatin1String("!"))
            model.clear();
        else if (add == QLatin1String("null"))
            model.addData(WB::IBaseHpfTableDataPtr());
        else
            model.addData(row(add.section(':', 0, 0).toStdString(), {add.section(':', 1)}));
    }
    QStringList stored;
    for (int i = 0; i < model.rowCount(); ++i)
        stored.append(model.getData(i)->getText(0));
    QCOMPARE(stored, rows);
    for (const QString& pair : indexes.split(' ')) {
        const std::string key = pair.section('=', 0, 0).toStdString();
        QCOMPARE(model.getDataIndexByKey(key), pair.section('=', 1).toInt());
        QCOMPARE(model.getDataByKey(key).get(), model.getData(pair.section('=', 1).toInt()).get());
    }
    QCOMPARE(model.getDataIndexByKey("zzz"), -1);
    QVERIFY(!model.getDataByKey("zzz"));
    QVERIFY(!model.getData(-1));
    QVERIFY(!model.getData(model.rowCount()));
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

QTEST_MAIN(TestHpfTableModel)
#include "tst_hpftablemodel.moc"
