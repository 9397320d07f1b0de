#pragma once
// The embedded service's SQL on SQLite: one file, version in user_version, a busy timeout for
// another program's lock.

#include "sqldialect.h"

namespace rqservice {

class CSqliteDialect : public ISqlDialect
{
public:
    QString driverName() const override;
    std::string engineName() const override;
    QString displayLocation(const QString& location) const override;
    void prepareConnection(QSqlDatabase& db, const QString& location, int busyTimeoutMs) const override;
    bool connectionAlive(QSqlDatabase& db) const override;
    bool readSchemaVersion(QSqlQuery& q, int& version) const override;
    bool writeSchemaVersion(QSqlQuery& q, int version) const override;
    QString tableColumnsSql() const override;
    QStringList createTablesSql() const override;
    bool forwardOnlyReads() const override;
    QString returningId(const QString& insertSql) const override;
    bool insertedId(QSqlQuery& q, long long& id) const override;
    bool insertRatios(QSqlDatabase& db, long long uploadId, const std::vector<const CStkSubjects*>& rows,
                      QSqlError& error) const override;
    bool beginWrite(QSqlDatabase& db, QSqlError& error) const override;
    std::string describeError(const QSqlError& error, const char* action) const override;
};

} // namespace rqservice
