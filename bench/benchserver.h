#pragma once
// A PostgreSQL server for the benchmarks (tests/pg/pgcluster.sh, the server's defaults: fsync,
// synchronous commit and full page writes on), started on first use and stopped by stop().

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

class CBenchServer
{
public:
    // keepDir: the server's data lives there and outlasts the run (data made once); empty: a
    // new server whose data goes with it.
    explicit CBenchServer(const QString& keepDir = QString());
    ~CBenchServer();

    bool ensure();
    void stop();
    // CPU time in ms of every process of the server (its backends), 0 when none runs.
    double cpuMs() const;
    QString value(const QString& key) const;
    // A new database owned by the password user, and its URI; empty when the server is not there.
    QString createDatabase(const QString& name);
    // The URI of an existing database, as the password user.
    QString uri(const QString& database) const;
    // Runs each statement as the superuser in database; false on the first failure.
    bool adminExec(const QString& database, const QStringList& statements);
    // The first column of the first row of sql, as the superuser; empty on failure.
    QString adminScalar(const QString& database, const QString& sql);

private:
    QString statePath() const;
    bool run(const QString& action);

    QTemporaryDir m_dir;
    QString m_keepDir;
    bool m_started = false;
    bool m_ok = false;
};
