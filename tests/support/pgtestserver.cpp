#include "pgtestserver.h"

#include <QAtomicInt>
#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>
#include <QtDebug>

#include <functional>

namespace testsupport {

namespace {

// Runs work on a superuser connection of its own to database, closed afterwards.
bool withAdmin(const QString& database, const std::function<bool(QSqlQuery&)>& work)
{
    static QAtomicInt counter;
    const QString name = QStringLiteral("pgtest-admin-%1").arg(counter.fetchAndAddOrdered(1));
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
        db.setHostName(CPgTestServer::socketDir());
        db.setUserName(QStringLiteral("postgres"));
        db.setDatabaseName(database);
        if (!db.open()) {
            qWarning() << "admin connection:" << db.lastError().text();
        } else {
            QSqlQuery q(db);
            ok = work(q);
        }
    }
    QSqlDatabase::removeDatabase(name);
    return ok;
}

} // namespace

QString CPgTestServer::value(const QString& key)
{
    const QString state = qEnvironmentVariable("PGTEST_STATE");
    QFile file(state);
    if (state.isEmpty() || !file.open(QIODevice::ReadOnly))
        return QString();
    for (const QString& line : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n')))
        if (line.startsWith(key + QLatin1Char('=')))
            return line.mid(key.size() + 1);
    return QString();
}

bool CPgTestServer::available()
{
    return !value(QStringLiteral("PGTEST_URI")).isEmpty();
}

QString CPgTestServer::socketDir()
{
    return value(QStringLiteral("PGTEST_DIR"));
}

QString CPgTestServer::createDatabase()
{
    static QAtomicInt counter;
    const QString name =
        QStringLiteral("t%1_%2").arg(QCoreApplication::applicationPid()).arg(counter.fetchAndAddOrdered(1));
    if (!exec(QStringLiteral("postgres"), {QStringLiteral("CREATE DATABASE %1 OWNER credit").arg(name)}))
        return QString();
    return uriWithPassword(name, QStringLiteral("secret"));
}

QString CPgTestServer::uriWithPassword(const QString& database, const QString& password)
{
    return QStringLiteral("postgresql://credit:%1@/%2?host=%3").arg(password, database, socketDir());
}

QString CPgTestServer::databaseOf(const QString& uri)
{
    const int slash = uri.indexOf(QLatin1Char('/'), uri.indexOf(QLatin1Char('@')));
    return uri.mid(slash + 1).section(QLatin1Char('?'), 0, 0);
}

bool CPgTestServer::exec(const QString& database, const QStringList& statements)
{
    return withAdmin(database, [&](QSqlQuery& q) {
        for (const QString& sql : statements) {
            if (!q.exec(sql)) {
                qWarning() << sql << q.lastError().text();
                return false;
            }
        }
        return true;
    });
}

QString CPgTestServer::scalar(const QString& database, const QString& sql)
{
    QString result;
    withAdmin(database, [&](QSqlQuery& q) {
        if (!q.exec(sql) || !q.next())
            return false;
        result = q.value(0).toString();
        return true;
    });
    return result;
}

bool CPgTestServer::control(const QString& action)
{
    const QString script = QStringLiteral(SOURCE_DIR_FOR_TESTS "/tests/pg/pgcluster.sh");
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.start(QStringLiteral("bash"), {script, action, qEnvironmentVariable("PGTEST_STATE")});
    return process.waitForFinished(120000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

bool CPgTestServer::makeTeamDatabase(const QString& db)
{
    QProcess admin;
    admin.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QStringList args{"-h",       socketDir(), "-U",
                     "postgres", "-d",        "postgres",
                     "-q",       "-f",        QStringLiteral(SOURCE_DIR_FOR_TESTS "/scripts/pg-roles.sql")};
    for (const char* v : {"db=%1", "owner=%1_owner", "uploader=%1_uploader", "viewer=%1_viewer", "owner_password=pw",
                          "uploader_password=pw", "viewer_password=pw"})
        args << "-v" << QString(v).replace("%1", db);
    admin.start(QStringLiteral("psql"), args);
    return admin.waitForFinished(60000) && admin.exitStatus() == QProcess::NormalExit && admin.exitCode() == 0;
}

QString CPgTestServer::teamUri(const QString& db, const QString& account, const QString& extra)
{
    return QStringLiteral("postgresql://%1_%2:pw@/%1?host=%3%4").arg(db, account, socketDir(), extra);
}

bool onPostgres()
{
    return qEnvironmentVariable("CREDITDATA_TEST_ENGINE") == QLatin1String("postgresql");
}

QString newDatabase(const QTemporaryDir& dir)
{
    return onPostgres() ? CPgTestServer::createDatabase() : dir.filePath(QStringLiteral("db.sqlite"));
}

} // namespace testsupport
