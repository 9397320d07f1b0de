#include "benchserver.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTextStream>
#include <QVariant>

#include <functional>

#include <unistd.h>

namespace {

// Runs work on a superuser connection of its own to database.
bool withAdmin(const QString& socketDir, const QString& database, const std::function<bool(QSqlQuery&)>& work)
{
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QStringLiteral("bench-admin"));
        db.setHostName(socketDir);
        db.setUserName(QStringLiteral("postgres"));
        db.setDatabaseName(database);
        if (db.open()) {
            QSqlQuery q(db);
            ok = work(q);
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("bench-admin"));
    return ok;
}

} // namespace

CBenchServer::CBenchServer(const QString& keepDir)
    : m_keepDir(keepDir)
{
}

CBenchServer::~CBenchServer()
{
    stop();
}

QString CBenchServer::statePath() const
{
    return m_dir.filePath(QStringLiteral("pg.state"));
}

bool CBenchServer::run(const QString& action)
{
    if (!m_started)
        return true;
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("PGTEST_DURABLE"), QStringLiteral("1"));
    if (!m_keepDir.isEmpty())
        env.insert(QStringLiteral("PGTEST_KEEP_DIR"), m_keepDir);
    p.setProcessEnvironment(env);
    p.start(QStringLiteral("bash"), {QStringLiteral(SOURCE_DIR "/tests/pg/pgcluster.sh"), action, statePath()});
    return p.waitForFinished(600000) && p.exitCode() == 0;
}

bool CBenchServer::ensure()
{
    if (!m_started) {
        m_started = true;
        m_ok = run(QStringLiteral("start"));
    }
    return m_ok;
}

void CBenchServer::stop()
{
    run(QStringLiteral("stop"));
    m_started = false;
}

double CBenchServer::cpuMs() const
{
    QFile pidFile(value("PGTEST_DIR") + QStringLiteral("/data/postmaster.pid"));
    if (!m_started || !pidFile.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray postmaster = pidFile.readLine().trimmed();
    const double tick = 1000.0 / sysconf(_SC_CLK_TCK);
    double total = 0;
    for (const QString& pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray line = stat.readAll();
        // After "pid (comm) ": state ppid ... utime is field 14, stime 15 (1-based).
        const QList<QByteArray> f = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (f.size() > 12 && (pid.toLatin1() == postmaster || f[1] == postmaster))
            total += (f[11].toDouble() + f[12].toDouble()) * tick;
    }
    return total;
}

QString CBenchServer::value(const QString& key) const
{
    QFile file(statePath());
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    QTextStream in(&file);
    while (!in.atEnd()) {
        const QString line = in.readLine();
        if (line.startsWith(key + QLatin1Char('=')))
            return line.mid(key.size() + 1);
    }
    return QString();
}

QString CBenchServer::createDatabase(const QString& name)
{
    if (!ensure() || !adminExec(QStringLiteral("postgres"), {"CREATE DATABASE " + name + " OWNER credit"}))
        return QString();
    return uri(name);
}

QString CBenchServer::uri(const QString& database) const
{
    return QStringLiteral("postgresql://credit:secret@/%1?host=%2").arg(database, value("PGTEST_DIR"));
}

bool CBenchServer::adminExec(const QString& database, const QStringList& statements)
{
    return withAdmin(value("PGTEST_DIR"), database, [&](QSqlQuery& q) {
        for (const QString& sql : statements) {
            if (!q.exec(sql)) {
                qWarning("%s", qPrintable(q.lastError().text()));
                return false;
            }
        }
        return true;
    });
}

QString CBenchServer::adminScalar(const QString& database, const QString& sql)
{
    QString result;
    withAdmin(value("PGTEST_DIR"), database, [&](QSqlQuery& q) {
        if (!q.exec(sql) || !q.next())
            return false;
        result = q.value(0).toString();
        return true;
    });
    return result;
}
