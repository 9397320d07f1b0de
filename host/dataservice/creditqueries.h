#pragma once
// The embedded service's reads: the broker summary (12294) and one broker's latest ratios
// (12295), on an open database.

#include "hostservice.h"
#include "uploadhistory.h"

#include <QDate>
#include <QString>

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

    // One CVoprCvionRateBaseInfo per broker, in broker order: its latest upload (uploadId and
    // date; 0 and no date for a broker that never uploaded), each carrying tradingDay. Nothing
    // on failure. Two index look-ups per broker, however long the history.
    utils::RQError summary(const QDate& tradingDay, std::vector<IDataPtr>& records);
    // Key "brokerKeyNo____brokerId": one CVoprCvionRateDetail with the subjects of the broker's
    // latest upload, in line order.
    utils::RQError detail(const std::string& key, std::vector<IDataPtr>& records);
    // keyNo -1 means "the broker with this id", when exactly one has it.
    utils::RQError findBroker(int keyNo, const std::string& id, Broker& broker);
    // The broker's count newest uploads, newest first, as the schema's version records them
    // (before 2 rows are counted here; before 3 the user recorded was only the client's word).
    utils::RQError history(int keyNo, int count, int version, std::vector<UploadEntry>& uploads);
    // The rows of one upload, in line order, as the detail gives them.
    utils::RQError uploadRows(const Broker& broker, long long uploadId, std::vector<CStkSubjectsPtr>& rows);

private:
    // sql has one parameter, key; its columns are line, exchange, code, name and ratio.
    utils::RQError readRatios(const QString& sql, const Broker& broker, long long key,
                              std::vector<CStkSubjectsPtr>& rows);

    QSqlDatabase& m_db;
    const ISqlDialect& m_dialect;
};

} // namespace rqservice
