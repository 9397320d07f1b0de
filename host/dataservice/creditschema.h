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
    // 1: brokers, uploads, ratios. 2: each upload records its user and its row count. 3: the
    // user is the database's account (the client's word beside it), an upload may restore another.
    static const int kVersion = 3;

    CCreditSchema(QSqlDatabase& db, const ISqlDialect& dialect);

    // Brings an open database to kVersion: all of it or none, waiting at most waitMs for another
    // program doing the same. One written by a newer program is refused untouched. A current
    // database is only read, so a read-only file or an account that may only read or upload
    // still serves. A database holding a table that is not one of ours, or one of our tables'
    // names with other columns, is refused untouched; location names it in the message. Demo
    // uploads end before tradingDay.
    // An older database that this connection may not upgrade (a read-only file, an account that
    // is not the owner) is read as it is: version says which it is. readOnly: nothing is ever
    // written; a database without our tables is refused.
    utils::RQError prepare(const QString& location, const QDate& tradingDay, int waitMs, bool readOnly, int& version);

private:
    utils::RQError create(int& version, const QDate& tradingDay, int waitMs);
    utils::RQError refuseForeignSchema(const QString& location, int version);
    utils::RQError refuseNewer(int version);
    utils::RQError seedDemoData(const QDate& tradingDay);
    utils::RQError fail(const QSqlError& error);

    QSqlDatabase& m_db;
    const ISqlDialect& m_dialect;
    QString m_location;                   // as messages show it
    bool m_lastFailureLacksRight = false; // the last write failed for want of a right
};

} // namespace rqservice
