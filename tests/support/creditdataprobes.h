#pragma once
// What the panel, detail and table tests share: probes into protected members, row and log texts.

#include "panel/creditdatamainmodel.h"
#include "panel/creditdatamaintable.h"
#include "panel/creditdatapanel.h"

#include "logcapture.h"
#include "standinrow.h"

#include <QAction>
#include <QMenu>
#include <QMetaMethod>
#include <QtTest>

#include <boost/make_shared.hpp>

#include <limits>
#include <string>
#include <utility>

namespace testsupport {

// Opens the panel's members to the test.
class PanelProbe : public DVK::CCreditDataPanel
{
public:
    using DVK::CCreditDataPanel::CCreditDataPanel;
    using DVK::CCreditDataPanel::handleEvent;
    using DVK::CCreditDataPanel::loadingMask;
    using DVK::CCreditDataPanel::queryDialog;
    using DVK::CCreditDataPanel::records;
    using DVK::CCreditDataPanel::showData;
    using DVK::CCreditDataPanel::table;
};

// Reaches a host table's context menu.
template <class Table>
class TableProbe : public Table
{
public:
    using Table::Table;
    bool menuOffersRefresh() const
    {
        return this->m_pContextMenu && this->m_pRefreshAction &&
               this->m_pContextMenu->actions().contains(this->m_pRefreshAction);
    }
};

// A row of any table that only has a key.
struct KeyedRow : standin::CPlainRow
{
    explicit KeyedRow(std::string rowKey)
        : key(std::move(rowKey))
    {
    }
    std::string getKey() override { return key; }
    std::string key;
};

inline const QColor* colour(const char* key)
{
    return utils::CSingletonT<WB::CUiResource>::instance()->getColor(QString::fromLatin1(key));
}

// A plug-in table's columns from -1 to one past the end, each aspect joined by '|': headers, a
// row's texts and its getTextFromAll, then the columns that filter, that answer a number other
// than the no-value marker through getInt, getDouble and getLonglong, and that have a text colour
// other than the default. The row is asked through the client's base, as the table asks it.
template <class Table>
QStringList dumpColumns(Table& table, WB::IBaseHpfTableData& row)
{
    const int end = table.getDataModel()->columnCount();
    QStringList parts[8];
    for (int column = -1; column <= end; ++column) {
        const QString name = QString::number(column);
        parts[0] << table.getDataModel()->headerText(column);
        parts[1] << row.getText(column);
        parts[2] << row.getTextFromAll(column);
        if (table.isColumnFilterable(column))
            parts[3] << name;
        if (row.getInt(column) != std::numeric_limits<int>::max())
            parts[4] << name;
        if (row.getDouble(column) != std::numeric_limits<double>::max())
            parts[5] << name;
        if (row.getLonglong(column) != std::numeric_limits<long long>::max())
            parts[6] << name;
        if (row.getTextColor(column) != colour("cle_default"))
            parts[7] << name;
    }
    QStringList out;
    for (const QStringList& part : parts)
        out << part.join('|');
    return out;
}

// getTextFromAll answers through the virtual getText: a row type that shows other texts is
// searched by them.
template <class Row>
QString textFromAllOfDerived()
{
    struct Derived : Row
    {
        QString getText(int column) override { return QStringLiteral("derived%1").arg(column); }
    } row;
    return static_cast<WB::IBaseHpfTableData&>(row).getTextFromAll(1);
}

// Each row of a model as "key|col0|col1|col2|col3", in the model's order.
inline QStringList rowTexts(WB::IBaseHpfTableModel* model)
{
    QStringList out;
    for (int i = 0; i < model->rowCount(); ++i) {
        const WB::IBaseHpfTableDataPtr row = model->getData(i);
        out << QStringLiteral("%1|%2|%3|%4|%5")
                   .arg(QString::fromStdString(row->getKey()), row->getText(0), row->getText(1), row->getText(2),
                        row->getText(3));
    }
    return out;
}

// The captured lines starting with the prefix, as "<level> <text>".
inline QStringList capturedLines(const CLogCapture& capture, const char* prefix)
{
    QStringList out;
    for (const CapturedLine& line : capture.lines()) {
        if (line.message.rfind(prefix, 0) == 0) {
            out << QStringLiteral("%1 %2").arg(line.level).arg(QString::fromStdString(line.message));
        }
    }
    return out;
}

// Row numbers off with every other host default kept, menu flags 0xFF, no refresh entry in the menu,
// its own model (a repeated key replaces the row) with rows alternating in colour.
template <class Table>
void checkTrimmedTable(int tableId)
{
    TableProbe<WB::CStandardHpfTable> plain(1, nullptr, QFlags<WB::EBaseTableMenuFlag>(QFlag(0xFF)));
    TableProbe<Table> table(tableId, nullptr);
    QVERIFY(plain.menuOffersRefresh());
    QVERIFY(!table.menuOffersRefresh());
    QVERIFY(plain.flag().testFlag(WB::eTableRowNumbers));
    QCOMPARE(int(table.flag()), int(plain.flag() & ~WB::EBaseTableFlags(WB::eTableRowNumbers)));
    QCOMPARE(int(table.menuFlags()), 0xFF);
    QCOMPARE(table.tableId(), tableId);

    auto* model = table.getDataModel();
    QCOMPARE(table.WB::CStandardHpfTable::dataModel(), static_cast<WB::IBaseHpfTableModel*>(model));
    const auto second = boost::make_shared<KeyedRow>("k");
    model->addData(boost::make_shared<KeyedRow>("k"));
    model->addData(second);
    QCOMPARE(model->rowCount(), 1);
    QCOMPARE(model->getDataByKey("k"), WB::IBaseHpfTableDataPtr(second));
    model->clear();
    const QColor* even = colour("clr_table_background");
    const QColor* odd = colour("clr_table_background2");
    QVERIFY(even && odd && even != odd);
    const QVector<const QColor*> colours = {model->rowBackgroundColor(0), model->rowBackgroundColor(1),
                                            model->rowBackgroundColor(2), model->rowBackgroundColor(-1)};
    QCOMPARE(colours, QVector<const QColor*>({even, odd, even, odd}));
}

} // namespace testsupport
