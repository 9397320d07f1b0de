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

// What a plug-in table's columns from -1 to one past the end answer, by aspect, each joined by
// '|': "headers", a row's "texts" and "search texts" (getTextFromAll), and the columns that
// "filter", that answer a number other than the no-value marker ("int", "double", "long long")
// and that have a "colour" other than the default; an aspect no column has is left out. The row
// is asked through the client's base, as the table asks it.
template <class Table>
QMap<QString, QString> columnAspects(Table& table, WB::IBaseHpfTableData& row)
{
    const int end = table.getDataModel()->columnCount();
    QMap<QString, QStringList> aspects;
    for (int column = -1; column <= end; ++column) {
        const QString name = QString::number(column);
        aspects["headers"] << table.getDataModel()->headerText(column);
        aspects["texts"] << row.getText(column);
        aspects["search texts"] << row.getTextFromAll(column);
        if (table.isColumnFilterable(column))
            aspects["filter"] << name;
        if (row.getInt(column) != std::numeric_limits<int>::max())
            aspects["int"] << name;
        if (row.getDouble(column) != std::numeric_limits<double>::max())
            aspects["double"] << name;
        if (row.getLonglong(column) != std::numeric_limits<long long>::max())
            aspects["long long"] << name;
        if (row.getTextColor(column) != colour("cle_default"))
            aspects["colour"] << name;
    }
    QMap<QString, QString> out;
    for (auto it = aspects.cbegin(); it != aspects.cend(); ++it)
        out.insert(it.key(), it.value().join('|'));
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
