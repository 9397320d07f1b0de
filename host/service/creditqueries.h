#pragma once
// The embedded service's reads: the broker summary (12294) and one broker's latest ratios
// (12295), on an open database.

#include "hostservice.h"

#include <QDate>

#include <string>
#include <vector>

class QSqlDatabase;

namespace rqservice {

class ISqlDialect;

class CCreditQueries
{
public:
    struct Broker
    {
        int keyNo = -1;
        std::string id;
        std::string name;
    };

    CCreditQueries(QSqlDatabase& db, const ISqlDialect& dialect);

    // One CVoprCvionRateBaseInfo per broker and upload, oldest first per broker (one with uploadId
    // 0 and no date for a broker that never uploaded), each carrying tradingDay. Nothing on failure.
    utils::RQError summary(const QDate& tradingDay, std::vector<IDataPtr>& records);
    // Key "brokerKeyNo____brokerId": one CVoprCvionRateDetail with the subjects of the broker's
    // latest upload, in line order.
    utils::RQError detail(const std::string& key, std::vector<IDataPtr>& records);
    // keyNo -1 means "the broker with this id", when exactly one has it.
    utils::RQError findBroker(int keyNo, const std::string& id, Broker& broker);

private:
    QSqlDatabase& m_db;
    const ISqlDialect& m_dialect;
};

} // namespace rqservice
