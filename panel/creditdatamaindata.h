#pragma once

#include "hosttoolkit.h"

#include <string>

namespace DVK {

// One broker's row of the summary table. Every record operation is answered here, not left to the
// client's base class, whose defaults are its own.
class CCreditDataMainData : public WB::IBaseHpfTableData
{
public:
    QString getTextFromAll(int column) override;
    QString getText(int column) override;
    // No column holds a number: the numeric getters answer the largest value of their type.
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
