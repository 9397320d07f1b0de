#pragma once

#include "hosttoolkit.h"

#include <string>

namespace DVK {

// One security's row of the detail table. Every record operation is answered here, not left to
// the client's base class, whose defaults are its own.
class CCreditDataQueryData : public WB::IBaseHpfTableData
{
public:
    QString getTextFromAll(int column) override;
    QString getText(int column) override;
    int getInt(int column) override;
    // Only the ratio column holds a number; the others answer the largest double.
    double getDouble(int column) override;
    long long getLonglong(int column) override;
    const QColor* getTextColor(int column) override;
    std::string getKey() override;

    int brokerKeyNo = -1; // kept with the row, shown nowhere
    QString rowKey;
    QString stockCode;
    QString exchangeName;
    double ratio = 0.0;
    QString stockName;
};

} // namespace DVK
