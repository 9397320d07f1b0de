#pragma once

#include "hosttoolkit.h"

#include <string>

namespace DVK {

// One broker's row of the summary table.
class CCreditDataMainData : public WB::IBaseHpfTableData
{
public:
    // Text only: the numeric getters keep the host's "no number" answers.
    QString getText(int column) override;
    std::string getKey() override;

    int brokerKeyNo = -1;
    std::string brokerId;
    QString rowKey;
    QString brokerName;
    QString tradingDay;
    QString lastUploadDate;
};

} // namespace DVK
