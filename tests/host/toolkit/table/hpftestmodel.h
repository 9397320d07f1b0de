#pragma once
// A small row and column model for the table tests: texts per column, optional numbers, a key.

#include "hosttoolkit.h"
#include "standinrow.h"

#include <QAbstractItemModel>
#include <QStringList>

#include <cmath>
#include <limits>

namespace hpftest {

class TestRow : public standin::CPlainRow
{
public:
    TestRow(std::string key, QStringList texts, QVector<double> numbers = {})
        : key(std::move(key))
        , texts(std::move(texts))
        , numbers(std::move(numbers))
    {
    }
    QString getText(int column) override { return texts.value(column, QStringLiteral("-")); }
    double getDouble(int column) override
    {
        return column >= 0 && column < numbers.size() ? numbers[column] : std::numeric_limits<double>::max();
    }
    // A missing double becomes the missing marker of the narrower type.
    int getInt(int c) override { return missing(c) ? std::numeric_limits<int>::max() : int(getDouble(c)); }
    long long getLonglong(int c) override
    {
        return missing(c) ? std::numeric_limits<long long>::max() : (long long)(getDouble(c));
    }
    bool missing(int c) { return !std::isfinite(getDouble(c)) || getDouble(c) == std::numeric_limits<double>::max(); }
    std::string getKey() override { return key; }

    std::string key;
    QStringList texts;
    QVector<double> numbers;
};

inline WB::IBaseHpfTableDataPtr row(const std::string& key, const QStringList& texts,
                                    const QVector<double>& numbers = {})
{
    return WB::IBaseHpfTableDataPtr(new TestRow(key, texts, numbers));
}

class TestModel : public WB::IBaseHpfTableModel
{
public:
    explicit TestModel(bool replaceSameKey = true, QVector<QVariant::Type> types = {QVariant::String, QVariant::Double,
                                                                                    QVariant::String, QVariant::String})
        : WB::IBaseHpfTableModel(replaceSameKey)
        , types(std::move(types))
    {
    }
    int columnCount() override { return types.size(); }
    QString headerText(int column) override { return QStringLiteral("列%1").arg(column); }
    QVariant::Type columnType(int column) override { return types.value(column, QVariant::Invalid); }
    QString columnAuxText(int) override { return QString(); }
    bool columnAuxFlag(int) override { return false; }
    const QColor* rowBackgroundColor(int) override { return nullptr; }
    utils::CFlags<utils::EFormatNumberFlag> columnFlag(int) override { return utils::eFormatNumberNone; }
    bool isReverseSortFirst(int column) override { return reverseFirst.contains(column); }

    QVector<QVariant::Type> types;
    QList<int> reverseFirst;
};

// Logs every toolkit event that reaches it as "type:id:index:key" and handles it.
class Recorder : public WB::CBaseWidget
{
public:
    bool handleEvent(int type, int id, int index, QString key, void*) override
    {
        events.append(QStringLiteral("%1:%2:%3:%4").arg(type).arg(id).arg(index).arg(key));
        return true;
    }
    QStringList events;
};

// Every row of an item model as one line, cells joined by '|'.
inline QStringList dumpRows(const QAbstractItemModel* model)
{
    QStringList lines;
    for (int r = 0; r < model->rowCount(); ++r) {
        QStringList cells;
        for (int c = 0; c < model->columnCount(); ++c)
            cells.append(model->index(r, c).data().toString());
        lines.append(cells.join(QLatin1Char('|')));
    }
    return lines;
}

} // namespace hpftest
