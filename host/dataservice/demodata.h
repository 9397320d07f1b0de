#pragma once
// What a fresh database starts with, so the panel has something to show on first run.

#include "hostservice.h"

#include <QDate>
#include <QString>

#include <string>
#include <vector>

namespace rqservice {

class CDemoData
{
public:
    struct Broker
    {
        int keyNo;
        std::string id;
        std::string name;
    };
    struct Row
    {
        std::string exchangeName;
        std::string stockCode;
        std::string stockName;
        double ratio;
    };
    struct Upload
    {
        int brokerKeyNo;
        QString date; // yyyyMMdd
        QString time; // HHmmss
        std::vector<Row> rows;
    };

    static std::vector<Broker> brokers();
    // Earlier uploads of every broker but the last, on weekdays before tradingDay, oldest first
    // per broker. The same day and security list give the same uploads.
    static std::vector<Upload> uploads(const QDate& tradingDay, const std::vector<InstrumentRecordPtr>& securities);
};

} // namespace rqservice
