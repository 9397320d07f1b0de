#include "detail/creditdataquerydata.h"
#include "detail/creditdataquerymodel.h"
#include "detail/creditdataquerytable.h"

#include <QAction>
#include <QMenu>
#include <QtTest>

#include <boost/make_shared.hpp>

#include <cmath>
#include <limits>

namespace {

class QueryTableProbe : public DVK::CCreditDataQueryTable
{
public:
    QueryTableProbe() : DVK::CCreditDataQueryTable(1332, nullptr) {}
    QMenu* contextMenu() const { return m_pContextMenu; }
    QAction* refreshAction() const { return m_pRefreshAction; }
};

// A row whose number comes from elsewhere, to see that the text follows getDouble.
class OverriddenRatio : public DVK::CCreditDataQueryData
{
public:
    double getDouble(int column) override { return column == 2 ? 0.25 : DVK::CCreditDataQueryData::getDouble(column); }
};

const QColor* colour(const char* key)
{
    return utils::CSingletonT<WB::CUiResource>::instance()->getColor(QString::fromLatin1(key));
}

boost::shared_ptr<DVK::CCreditDataQueryData> makeRow(const QString& code, double ratio)
{
    auto row = boost::make_shared<DVK::CCreditDataQueryData>();
    row->rowKey = code;
    row->stockCode = code;
    row->exchangeName = QStringLiteral("深交所");
    row->ratio = ratio;
    row->stockName = QStringLiteral("名称") + code;
    return row;
}

} // namespace

class TestCreditDataQueryTable : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cellText_data();
    void cellText();
    void ratioText_data();
    void ratioText();
    void ratioTextFollowsGetDouble();
    void numbers_data();
    void numbers();
    void columns_data();
    void columns();
    void construction();
    void ratioSortsByValue_data();
    void ratioSortsByValue();
};

void TestCreditDataQueryTable::initTestCase()
{
    QLocale::setDefault(QLocale::c());
}

void TestCreditDataQueryTable::cellText_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("text");

    QTest::newRow("code") << 0 << QStringLiteral("000858");
    QTest::newRow("exchange") << 1 << QStringLiteral("深交所");
    QTest::newRow("ratio") << 2 << QStringLiteral("0.70");
    QTest::newRow("name") << 3 << QStringLiteral("五粮液");
    QTest::newRow("negative") << -1 << QStringLiteral("-");
}

void TestCreditDataQueryTable::cellText()
{
    QFETCH(int, column);
    QFETCH(QString, text);

    DVK::CCreditDataQueryData row;
    row.stockCode = QStringLiteral("000858");
    row.exchangeName = QStringLiteral("深交所");
    row.ratio = 0.7;
    row.stockName = QStringLiteral("五粮液");
    QCOMPARE(row.getText(column), text);
    QCOMPARE(row.getTextFromAll(column), text);
    QCOMPARE(row.getTextColor(column), colour("cle_default"));
}

void TestCreditDataQueryTable::ratioText_data()
{
    QTest::addColumn<double>("ratio");
    QTest::addColumn<QString>("text");

    QTest::newRow("rounded to two decimals") << 0.655 << QStringLiteral("0.66");
    QTest::newRow("zeros kept") << 1.0 << QStringLiteral("1.00");
    QTest::newRow("no grouping, no percent") << 12345.678 << QStringLiteral("12345.68");
    QTest::newRow("NaN") << std::nan("") << QStringLiteral("非法值");
}

// The ratio shows with two decimals and no flags; values the formatter rejects show "非法值".
void TestCreditDataQueryTable::ratioText()
{
    QFETCH(double, ratio);
    QFETCH(QString, text);

    DVK::CCreditDataQueryData row;
    row.ratio = ratio;
    QCOMPARE(row.getText(2), text);
}

void TestCreditDataQueryTable::ratioTextFollowsGetDouble()
{
    OverriddenRatio row;
    row.ratio = 9.0;
    QCOMPARE(row.getText(2), QStringLiteral("0.25"));
}

void TestCreditDataQueryTable::numbers_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<double>("value");

    const double none = std::numeric_limits<double>::max();
    QTest::newRow("code") << 0 << none;
    QTest::newRow("ratio, unrounded") << 2 << 0.655;
    QTest::newRow("name") << 3 << none;
    QTest::newRow("past the end") << 4 << none;
}

// Only the ratio column holds a number; no column holds an integer.
void TestCreditDataQueryTable::numbers()
{
    QFETCH(int, column);
    QFETCH(double, value);

    DVK::CCreditDataQueryData row;
    row.stockCode = QStringLiteral("600000");
    row.ratio = 0.655;
    QCOMPARE(row.getDouble(column), value);
    QCOMPARE(row.getInt(column), std::numeric_limits<int>::max());
    QCOMPARE(row.getLonglong(column), std::numeric_limits<long long>::max());
}

void TestCreditDataQueryTable::columns_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("header");
    QTest::addColumn<int>("type");
    QTest::addColumn<bool>("filterable");

    QTest::newRow("code") << 0 << QStringLiteral("证券代码") << int(QVariant::String) << true;
    QTest::newRow("exchange") << 1 << QStringLiteral("交易所名称") << int(QVariant::String) << true;
    QTest::newRow("ratio") << 2 << QStringLiteral("担保品折算比例") << int(QVariant::Double) << false;
    QTest::newRow("name") << 3 << QStringLiteral("证券名称") << int(QVariant::String) << false;
    QTest::newRow("past the end") << 4 << QString() << int(QVariant::Invalid) << false;
    QTest::newRow("negative") << -1 << QString() << int(QVariant::Invalid) << false;
}

void TestCreditDataQueryTable::columns()
{
    QFETCH(int, column);
    QFETCH(QString, header);
    QFETCH(int, type);
    QFETCH(bool, filterable);

    QueryTableProbe table;
    DVK::CCreditDataQueryModel* model = table.getDataModel();
    QCOMPARE(model->columnCount(), 4);
    QCOMPARE(model->headerText(column), header);
    QCOMPARE(int(model->columnType(column)), type);
    QCOMPARE(model->columnAuxText(column), QString());
    QCOMPARE(model->columnAuxFlag(column), false);
    QCOMPARE(int(model->columnFlag(column)), 0);
    QCOMPARE(table.isColumnFilterable(column), filterable);
}

// Row numbers off, every other host default kept; the refresh entry gone from the menu.
void TestCreditDataQueryTable::construction()
{
    WB::CStandardHpfTable plain(1, nullptr, QFlags<WB::EBaseTableMenuFlag>(QFlag(0xFF)));
    QueryTableProbe table;

    QCOMPARE(table.tableId(), 1332);
    QCOMPARE(table.WB::CStandardHpfTable::dataModel(), static_cast<WB::IBaseHpfTableModel*>(table.getDataModel()));
    QVERIFY(table.getDataModel()->replacesSameKey());
    QCOMPARE(int(table.menuFlags()), 0xFF);
    QCOMPARE(int(table.flag()), int(plain.flag() & ~WB::EBaseTableFlags(WB::eTableRowNumbers)));
    QVERIFY(table.contextMenu() && table.refreshAction());
    QVERIFY(!table.contextMenu()->actions().contains(table.refreshAction()));
}

void TestCreditDataQueryTable::ratioSortsByValue_data()
{
    QTest::addColumn<int>("order");
    QTest::addColumn<QStringList>("codes");

    // As text "10.00" < "100.00" < "9.50"; as numbers 9.5 < 10 < 100.
    QTest::newRow("ascending") << int(Qt::AscendingOrder) << QStringList({"B", "A", "C"});
    QTest::newRow("descending") << int(Qt::DescendingOrder) << QStringList({"C", "A", "B"});
}

void TestCreditDataQueryTable::ratioSortsByValue()
{
    QFETCH(int, order);
    QFETCH(QStringList, codes);

    QueryTableProbe table;
    table.getDataModel()->addData(makeRow(QStringLiteral("A"), 10.0));
    table.getDataModel()->addData(makeRow(QStringLiteral("B"), 9.5));
    table.getDataModel()->addData(makeRow(QStringLiteral("C"), 100.0));
    table.updateTable();
    table.sortByColumn(2, Qt::SortOrder(order));

    QStringList shown;
    for (int i = 0; i < table.visibleRowCount(); ++i) {
        shown << table.visibleRow(i)->getText(0);
    }
    QCOMPARE(shown, codes);
}

QTEST_MAIN(TestCreditDataQueryTable)
#include "tst_creditdataquerytable.moc"
