#pragma once

#include "hosttoolkit.h"

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
    std::string getKey() override;

    int brokerKeyNo = -1;
    QString rowKey;
    QString stockCode;
    QString exchangeName;
    double ratio = 0.0;
    QString stockName;
};

} // namespace DVK
