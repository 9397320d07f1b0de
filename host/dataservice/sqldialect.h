#pragma once
// Everything the embedded data service writes differently per SQL engine: connecting and
// breaking a connection, bounding waits, column types, where the schema version is kept and
// which tables exist, getting a new row's id, taking the write lock, and naming a failure. The
// queries and writes outside are plain SQL that every engine runs as they are.

#include "servicecall.h"
#include "standinservice.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <string>
#include <vector>

class QSqlDatabase;
class QSqlError;
class QSqlQuery;

namespace rqservice {

class CStkSubjects;

class ISqlDialect
{
public:
    virtual ~ISqlDialect() = default;

    // The Qt driver, and the engine's name for a message when that driver is missing.
    virtual QString driverName() const = 0;
    virtual std::string engineName() const = 0;
    // Called on a closed connection to location, right before it opens; connectMs bounds the
    // connecting, timeouts gives the rest of the connection's settings. readOnly: the connection
    // can change nothing (the engine refuses every write), and a file that is missing stays so.
    virtual void prepareConnection(QSqlDatabase& db, const QString& location, const standin::ServiceTimeouts& timeouts,
                                   int connectMs, bool readOnly) const = 0;
    // Right after the connection opened: its settings for the whole session.
    virtual bool configure(QSqlDatabase& db) const = 0;
    // False when an open connection no longer reaches the database (a restarted server).
    virtual bool connectionAlive(QSqlDatabase& db) const = 0;
    // How to break, from another thread, a statement of the open connection that runs or blocks
    // past its call's deadline (a server that stopped answering, a long write), so that the
    // service's thread is free again at once.
    virtual CServiceCall::Interrupt interrupter(QSqlDatabase& db) const = 0;
    // From now on, a lock or busy file is waited for at most waitMs.
    virtual bool limitWaits(QSqlDatabase& db, int waitMs) const = 0;

    // The schema version the database was written with, 0 when none. Also the first read of a
    // database: a file that is no database fails here. False with q.lastError() set on failure.
    virtual bool readSchemaVersion(QSqlQuery& q, int& version) const = 0;
    // Inside the schema's transaction.
    virtual bool writeSchemaVersion(QSqlQuery& q, int version) const = 0;
    // One row per column of every table of the database's own (the engine's bookkeeping left
    // out): table name, column name (null for a table without columns).
    virtual QString tableColumnsSql() const = 0;
    // Brokers, their uploads and the ratios of each upload; harmless on tables that exist.
    virtual QStringList createTablesSql() const = 0;

    // Whether reads should be forward-only queries: cheaper where the driver would otherwise keep
    // every row it handed out (SQLite), dearer where it then fetches row by row (PostgreSQL).
    virtual bool forwardOnlyReads() const = 0;

    // insertSql made to yield the new row's "id", read back by insertedId after exec.
    virtual QString returningId(const QString& insertSql) const = 0;
    virtual bool insertedId(QSqlQuery& q, long long& id) const = 0;

    // The ratio rows of an upload, numbered from 1 in order, as few statements as the engine
    // allows. Inside the caller's transaction; false with error set on failure.
    virtual bool insertRatios(QSqlDatabase& db, long long uploadId, const std::vector<const CStkSubjects*>& rows,
                              QSqlError& error) const = 0;

    // A client's upload through the engine's one write path: the id, the user (the database's
    // account, or the operating system's where the engine has none), the date and time, and the
    // row count are the engine's, clientUser only the client's word; restoredFrom 0 unless it
    // restores that upload of the same broker. Every rule of validateUpload holds here again.
    // Inside the caller's transaction; false with error set on failure.
    virtual bool storeUpload(QSqlDatabase& db, int brokerKeyNo, const QString& clientUser, long long restoredFrom,
                             const std::vector<const CStkSubjects*>& rows, long long& uploadId,
                             QSqlError& error) const = 0;
    // What the engine adds to the common upgrade to version, after it; run by the owner.
    virtual QStringList upgradeSql(int version) const = 0;

    // Starts a transaction that will write, queued for at most waitMs behind every other writer
    // of the same broker (an engine with one writer at a time: of the database), or of the
    // whole database for the schema (brokerKeyNo empty); false with error set (and no
    // transaction open) when it cannot.
    virtual bool beginWrite(QSqlDatabase& db, std::optional<int> brokerKeyNo, int waitMs, QSqlError& error) const = 0;
    // Why this connection may not upload, in the user's words, or empty when it may. Asked before
    // any lock is waited for.
    virtual std::string uploadRefusal(QSqlDatabase& db) const = 0;
    // After a write failed and was rolled back: nothing of it may stay behind (a journal that
    // another program would have to roll back first).
    virtual void recoverAfterFailedWrite(QSqlDatabase& db) const = 0;
    // Whether a failure is the account's or the file's lack of a right to write or to change tables.
    virtual bool lacksRight(const QSqlError& error) const = 0;
    // Run by the schema's owner after creating or upgrading the tables: what the engine's other
    // accounts may do with them. Empty where the engine has no accounts.
    virtual QStringList grantsSql() const = 0;

    // Whether a failure is a wait for a lock or a busy file that ran out of time.
    virtual bool ranOutOfTime(const QSqlError& error) const = 0;
    // What a write that ran out of time waited for, in the user's words; beginning: while it
    // queued to begin. Null when it waited for the server itself.
    virtual const char* waitedFor(bool beginning) const = 0;
    // Who held what a write waited for, as the failure names it; empty when it does not.
    virtual std::string holderOf(const QSqlError& error) const = 0;

    // "<action>失败: <reason> (<driver text>)", the reason in words the user can act on.
    virtual std::string describeError(const QSqlError& error, const char* action) const = 0;
};

} // namespace rqservice
