#pragma once
// The one write a PostgreSQL client may make: an upload through credit_upload, a function run
// with its owner's rights, which takes the broker's row lock, the id, the account, the server's
// time and the row count itself and checks every row. Clients hold no write right on any table.

#include <QString>
#include <QStringList>

#include <string>
#include <vector>

class QSqlDatabase;
class QSqlError;

namespace rqservice {

class CStkSubjects;

class CPostgresUpload
{
public:
    // The function's signature, as grants and privilege checks name it.
    static const char kSignature[];

    // Creates or replaces the function in the current schema, its search path pinned to it.
    static QString functionSql();
    // What the database's groups may do, and nothing more for anyone else: SELECT for
    // <db>_viewers and <db>_uploaders, EXECUTE on the function for <db>_uploaders only.
    static QString accountsSql();
    // Calls the function inside the caller's transaction; false with error set.
    static bool store(QSqlDatabase& db, int brokerKeyNo, const QString& clientUser, long long restoredFrom,
                      const std::vector<const CStkSubjects*>& rows, long long& uploadId, QSqlError& error);
    // The holders the function names when its wait for the broker's lock ran out; empty otherwise.
    static QString holderOf(const QString& databaseText);
    // One element of a text[] literal; quoted, since a bare element would read NULL as a null.
    static void appendArrayText(QString& array, const std::string& value);
    // Turns the trailing comma of a filled literal into its closing brace.
    static void closeArray(QString& array);
};

} // namespace rqservice
