#pragma once

#include "hosttoolkit.h"

#include <string>

namespace DVK {

// One broker's row of the summary table.
class CCreditDataMainData : public WB::IBaseHpfTableData
{
public:
    CCreditDataMainData();
    ~CCreditDataMainData() override;

    QString getTextFromAll(int column) override;
    QString getText(int column) override;
    // No column holds a number: the largest values say so.
    int getInt(int column) override;
    double getDouble(int column) override;
    long long getLonglong(int column) override;
    const QColor* getTextColor(int column) override;
    std::string getKey() override;

    int brokerKeyNo = -1;
    std::string brokerId;
    QString rowKey;
    QString brokerName;
    QString tradingDay;
    QString lastUploadDate;
};

} // namespace DVK
