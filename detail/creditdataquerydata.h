#pragma once

#include "hosttoolkit.h"

#include <string>

namespace DVK {

// One security's row of the detail table.
class CCreditDataQueryData : public WB::IBaseHpfTableData
{
public:
    QString getText(int column) override;
    // Only the ratio column holds a number; the others answer the largest double.
    double getDouble(int column) override;
    std::string getKey() override;

    QString rowKey;
    QString stockCode;
    QString exchangeName;
    double ratio = 0.0;
    QString stockName;
};

} // namespace DVK
