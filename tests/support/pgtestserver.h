#pragma once
// The throwaway PostgreSQL server that tests/pg/pgcluster.sh started for this test run, found
// through the state file named by PGTEST_STATE.

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace testsupport {

class CPgTestServer
{
public:
    // False when no server was started for this run (PGTEST_STATE unset or its file missing).
    static bool available();
    // A new empty database owned by the password user; its URI for the service.
    static QString createDatabase();
    // The URI of database name, as the password user, with another password.
    static QString uriWithPassword(const QString& database, const QString& password);
    static QString databaseOf(const QString& uri);
    // Runs each statement as the superuser in database; false (with a warning) on the first failure.
    static bool exec(const QString& database, const QStringList& statements);
    // The first column of the first row of sql, as the superuser; invalid on failure.
    static QString scalar(const QString& database, const QString& sql);
    // halt, resume or restart the server through the script; true when it did.
    static bool control(const QString& action);
    static QString socketDir();
    // A team database made by scripts/pg-roles.sql: the login roles <db>_owner, <db>_uploader and
    // <db>_viewer, each with the password "pw"; no tables yet. teamUri: account's location of it.
    static bool makeTeamDatabase(const QString& db);
    static QString teamUri(const QString& db, const QString& account, const QString& extra = QString());

private:
    static QString value(const QString& key);
};

// Whether this run holds the service to PostgreSQL (CREDITDATA_TEST_ENGINE=postgresql), not SQLite.
bool onPostgres();
// A new empty database of the engine under test: the server's, or a file in dir.
QString newDatabase(const QTemporaryDir& dir);

} // namespace testsupport
