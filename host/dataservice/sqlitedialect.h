#pragma once
// The embedded service's SQL on SQLite: one file, version in user_version, one writer at a time
// queued on the file's lock for as long as the call allows.

#include "sqldialect.h"

#include <atomic>

namespace rqservice {

class CSqliteDialect : public ISqlDialect
{
public:
    QString driverName() const override;
    std::string engineName() const override;
    void prepareConnection(QSqlDatabase& db, const QString& location, const standin::ServiceTimeouts& timeouts,
                           int connectMs, bool readOnly) const override;
    bool configure(QSqlDatabase& db) const override;
    bool connectionAlive(QSqlDatabase& db) const override;
    CServiceCall::Interrupt interrupter(QSqlDatabase& db) const override;
    bool limitWaits(QSqlDatabase& db, int waitMs) const override;
    bool readSchemaVersion(QSqlQuery& q, int& version) const override;
    bool writeSchemaVersion(QSqlQuery& q, int version) const override;
    QString tableColumnsSql() const override;
    QStringList createTablesSql() const override;
    bool forwardOnlyReads() const override;
    QString returningId(const QString& insertSql) const override;
    bool insertedId(QSqlQuery& q, long long& id) const override;
    bool insertRatios(QSqlDatabase& db, long long uploadId, const std::vector<const CStkSubjects*>& rows,
                      QSqlError& error) const override;
    bool storeUpload(QSqlDatabase& db, int brokerKeyNo, const QString& clientUser, long long restoredFrom,
                     const std::vector<const CStkSubjects*>& rows, long long& uploadId,
                     QSqlError& error) const override;
    QStringList upgradeSql(int version) const override;
    bool beginWrite(QSqlDatabase& db, std::optional<int> brokerKeyNo, int waitMs, QSqlError& error) const override;
    std::string uploadRefusal(QSqlDatabase& db) const override;
    void recoverAfterFailedWrite(QSqlDatabase& db) const override;
    bool lacksRight(const QSqlError& error) const override;
    QStringList grantsSql() const override;
    bool ranOutOfTime(const QSqlError& error) const override;
    const char* waitedFor(bool beginning) const override;
    std::string holderOf(const QSqlError& error) const override;
    std::string describeError(const QSqlError& error, const char* action) const override;

private:
    // Set when the call in progress is broken off: from then on every statement of that call
    // stops (sqlite3_interrupt alone is forgotten when it lands between two statements).
    mutable std::atomic<bool> m_stop{false};
};

} // namespace rqservice
