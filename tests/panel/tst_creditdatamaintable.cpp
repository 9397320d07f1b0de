#include "panel/creditdatamaindata.h"
#include "panel/creditdatamainmodel.h"
#include "panel/creditdatamaintable.h"

#include <QAction>
#include <QMenu>
#include <QtTest>

#include <boost/make_shared.hpp>

#include <limits>

namespace {

// Reaches the host table's context menu and refresh action.
class MainTableProbe : public DVK::CCreditDataMainTable
{
public:
    MainTableProbe() : DVK::CCreditDataMainTable(1331, nullptr) {}
    QMenu* contextMenu() const { return m_pContextMenu; }
    QAction* refreshAction() const { return m_pRefreshAction; }
};

class PlainTableProbe : public WB::CStandardHpfTable
{
public:
    PlainTableProbe() : WB::CStandardHpfTable(1, nullptr, QFlags<WB::EBaseTableMenuFlag>(QFlag(0xFF))) {}
    QMenu* contextMenu() const { return m_pContextMenu; }
    QAction* refreshAction() const { return m_pRefreshAction; }
};

const QColor* colour(const char* key)
{
    return utils::CSingletonT<WB::CUiResource>::instance()->getColor(QString::fromLatin1(key));
}

} // namespace

class TestCreditDataMainTable : public QObject
{
    Q_OBJECT

private slots:
    void cellText_data();
    void cellText();
    void noNumberInAnyColumn_data();
    void noNumberInAnyColumn();
    void columns_data();
    void columns();
    void rowBackground_data();
    void rowBackground();
    void construction();
};

void TestCreditDataMainTable::cellText_data()
{
    QTest::addColumn<bool>("filled");
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("text");

    QTest::newRow("fresh name") << false << 0 << QString();
    QTest::newRow("fresh upload date") << false << 2 << QString();
    QTest::newRow("fresh operation") << false << 3 << QStringLiteral("-");
    QTest::newRow("name") << true << 0 << QStringLiteral("华泰证券");
    QTest::newRow("trading day") << true << 1 << QStringLiteral("20240110");
    QTest::newRow("upload date") << true << 2 << QStringLiteral("20240105");
    QTest::newRow("operation") << true << 3 << QStringLiteral("-");
    QTest::newRow("past the end") << true << 4 << QStringLiteral("-");
    QTest::newRow("negative") << true << -1 << QStringLiteral("-");
}

// Columns 0 to 2 show the broker's texts, anything else "-", the same for every text getter.
void TestCreditDataMainTable::cellText()
{
    QFETCH(bool, filled);
    QFETCH(int, column);
    QFETCH(QString, text);

    DVK::CCreditDataMainData row;
    QCOMPARE(row.brokerKeyNo, -1);
    if (filled) {
        row.brokerName = QStringLiteral("华泰证券");
        row.tradingDay = QStringLiteral("20240110");
        row.lastUploadDate = QStringLiteral("20240105");
    }
    QCOMPARE(row.getText(column), text);
    QCOMPARE(row.getTextFromAll(column), text);
}

void TestCreditDataMainTable::noNumberInAnyColumn_data()
{
    QTest::addColumn<int>("column");
    for (int column = -1; column <= 4; ++column) {
        QTest::addRow("column %d", column) << column;
    }
}

// The largest values mark "no number", so they sort last in every column.
void TestCreditDataMainTable::noNumberInAnyColumn()
{
    QFETCH(int, column);
    DVK::CCreditDataMainData row;
    row.brokerName = QStringLiteral("12");
    row.tradingDay = QStringLiteral("20240110");
    QCOMPARE(row.getInt(column), std::numeric_limits<int>::max());
    QCOMPARE(row.getDouble(column), std::numeric_limits<double>::max());
    QCOMPARE(row.getLonglong(column), std::numeric_limits<long long>::max());
    QCOMPARE(row.getTextColor(column), colour("cle_default"));
}

void TestCreditDataMainTable::columns_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("header");
    QTest::addColumn<int>("type");

    QTest::newRow("broker name") << 0 << QStringLiteral("券商名") << int(QVariant::String);
    QTest::newRow("trading day") << 1 << QStringLiteral("当前交易日") << int(QVariant::String);
    QTest::newRow("last upload") << 2 << QStringLiteral("最近上传日期") << int(QVariant::String);
    QTest::newRow("operation") << 3 << QStringLiteral("操作") << int(QVariant::String);
    QTest::newRow("past the end") << 4 << QString() << int(QVariant::Invalid);
    QTest::newRow("negative") << -1 << QString() << int(QVariant::Invalid);
}

void TestCreditDataMainTable::columns()
{
    QFETCH(int, column);
    QFETCH(QString, header);
    QFETCH(int, type);

    DVK::CCreditDataMainModel model;
    QCOMPARE(model.columnCount(), 4);
    QCOMPARE(model.headerText(column), header);
    QCOMPARE(int(model.columnType(column)), type);
    QCOMPARE(model.columnAuxText(column), QString());
    QCOMPARE(model.columnAuxFlag(column), false);
    QCOMPARE(int(model.columnFlag(column)), 0);
}

void TestCreditDataMainTable::rowBackground_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<QByteArray>("key");

    QTest::newRow("first") << 0 << QByteArray("clr_table_background");
    QTest::newRow("second") << 1 << QByteArray("clr_table_background2");
    QTest::newRow("third") << 2 << QByteArray("clr_table_background");
    QTest::newRow("negative odd") << -1 << QByteArray("clr_table_background2");
}

void TestCreditDataMainTable::rowBackground()
{
    QFETCH(int, row);
    QFETCH(QByteArray, key);
    DVK::CCreditDataMainModel model;
    QCOMPARE(model.rowBackgroundColor(row), colour(key.constData()));
}

// Row numbers off, every other host default kept; the refresh entry gone from the menu.
void TestCreditDataMainTable::construction()
{
    PlainTableProbe plain;
    MainTableProbe table;

    QVERIFY(table.getDataModel());
    QCOMPARE(table.WB::CStandardHpfTable::dataModel(), static_cast<WB::IBaseHpfTableModel*>(table.getDataModel()));
    QCOMPARE(table.tableId(), 1331);
    QVERIFY(table.getDataModel()->replacesSameKey());
    QCOMPARE(int(table.menuFlags()), 0xFF);
    QCOMPARE(int(table.flag()), int(plain.flag() & ~WB::EBaseTableFlags(WB::eTableRowNumbers)));
    QVERIFY(!table.flag().testFlag(WB::eTableRowNumbers));

    QVERIFY(plain.contextMenu() && plain.refreshAction());
    QVERIFY(plain.contextMenu()->actions().contains(plain.refreshAction()));
    QVERIFY(table.contextMenu() && table.refreshAction());
    QVERIFY(!table.contextMenu()->actions().contains(table.refreshAction()));

    QVERIFY(table.isColumnFilterable(0));
    QVERIFY(table.isColumnFilterable(1));
    QVERIFY(table.isColumnFilterable(2));
    QVERIFY(!table.isColumnFilterable(3));
}

QTEST_MAIN(TestCreditDataMainTable)
#include "tst_creditdatamaintable.moc"
