#pragma once
// The embedded service's tables: created or upgraded on first use, and filled with the demo
// brokers and uploads when new.

#include "hostservice.h"

#include <QDate>
#include <QString>

class QSqlDatabase;
class QSqlError;

namespace rqservice {

class ISqlDialect;

class CCreditSchema
{
public:
    static const int kVersion = 1;

    CCreditSchema(QSqlDatabase& db, const ISqlDialect& dialect);

    // Brings an open database to kVersion: all of it or none, waiting at most waitMs for another
    // program doing the same. One written by a newer program is refused untouched. A current
    // database is only read, so a read-only file still serves queries. A database holding a
    // table that is not one of ours, or one of our tables' names with other columns, is refused
    // untouched; location names it in the message. Demo uploads end before tradingDay.
    utils::RQError prepare(const QString& location, const QDate& tradingDay, int waitMs);

private:
    utils::RQError refuseForeignSchema(const QString& location);
    utils::RQError refuseNewer(const QString& location, int version);
    utils::RQError seedDemoData(const QDate& tradingDay);
    utils::RQError fail(const QSqlError& error);

    QSqlDatabase& m_db;
    const ISqlDialect& m_dialect;
};

} // namespace rqservice
