#pragma once
// The embedded service's one write: a broker's new upload with all its ratio rows.

#include "hostservice.h"

#include <QString>

#include <string>
#include <vector>

class CServiceCall;
class QSqlDatabase;
class QSqlError;

namespace rqservice {

class ISqlDialect;

class CUploadWriter
{
public:
    CUploadWriter(QSqlDatabase& db, const ISqlDialect& dialect);

    // A validated upload through the engine's write path (the engine's id, account, time and
    // count; clientUser kept as the client's word; restoredFrom 0 or the upload it restores), in a
    // transaction of its own: all rows or none, and none once the call's time is up; a failure
    // leaves nothing behind. An account or file that may not write is told so before any lock is
    // waited for. reply is the server's answer, {"uploadId":N,"brokerKeyNo":N}.
    utils::RQError write(const CVoprCvionRateDetail& detail, const QString& clientUser, long long restoredFrom,
                         CServiceCall& call, std::string& reply);
    // The tables' owner filling a new database: one upload row as given (user empty: unknown)
    // and its ratios, numbered from 1 in order (null subjects skipped). Inside the caller's
    // transaction.
    utils::RQError insert(int brokerKeyNo, const QString& date, const QString& time, const QString& user,
                          const std::vector<CStkSubjectsPtr>& rows, long long& uploadId);

private:
    // The failure in the user's words; a wait that ran out names what it waited for.
    std::string describe(const QSqlError& error, const char* action, bool beginning) const;

    QSqlDatabase& m_db;
    const ISqlDialect& m_dialect;
    CServiceCall* m_call = nullptr; // the upload's time limit, while write runs
};

} // namespace rqservice
