#pragma once
// What a fresh database starts with: the demo brokers and their uploads, so the panel has
// something to show on first run, or the brokers a team's database is given
// (standin::setNewDatabaseSeed).

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

    // The brokers a new database gets.
    static std::vector<Broker> brokers();
    // With demo data: earlier uploads of every demo broker but the last, on weekdays before
    // tradingDay, oldest first per broker (the same day and security list give the same
    // uploads). Otherwise none.
    static std::vector<Upload> uploads(const QDate& tradingDay, const std::vector<InstrumentRecordPtr>& securities);
};

} // namespace rqservice
