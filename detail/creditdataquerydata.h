#pragma once

#include "hosttoolkit.h"

#include <QByteArray>

#include <string>

namespace DVK {

// One security's row of the detail table.
class CCreditDataQueryData : public WB::IBaseHpfTableData
{
public:
    CCreditDataQueryData();
    ~CCreditDataQueryData() override;

    QString getTextFromAll(int column) override;
    QString getText(int column) override;
    int getInt(int column) override;
    // Only the ratio column holds a number; the others answer the largest double.
    double getDouble(int column) override;
    long long getLonglong(int column) override;
    const QColor* getTextColor(int column) override;
    // rowKey, or when keyPrefix is set, the key built from it and the row's own fields.
    std::string getKey() override;

    int brokerKeyNo = -1;
    // A detail holds a hundred thousand rows: rather than a key of its own, a row the model
    // builds shares its broker's part of the key (keyPrefix) and adds exchange, code and line.
    int lineNo = -1;
    QByteArray keyPrefix;
    QByteArray rowKey;
    QString stockCode;
    QString exchangeName;
    double ratio = 0.0;
    QString stockName;
};

} // namespace DVK
