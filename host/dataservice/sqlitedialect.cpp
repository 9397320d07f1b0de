#include "sqlitedialect.h"

#include "hostservice.h"
#include "sqlerrortext.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QVariant>

#include <algorithm>

#include <sqlite3.h>

namespace rqservice {

QString CSqliteDialect::driverName() const
{
    return QStringLiteral("QSQLITE");
}

std::string CSqliteDialect::engineName() const
{
    return "SQLite";
}

namespace {

// The driver's handle of an open connection; null when there is none.
sqlite3* handleOf(QSqlDatabase& db)
{
    const QVariant handle = db.driver() ? db.driver()->handle() : QVariant();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0)
        return nullptr;
    return *static_cast<sqlite3* const*>(handle.constData());
}

} // namespace

void CSqliteDialect::prepareConnection(QSqlDatabase& db, const QString& location, const standin::ServiceTimeouts&, int,
                                       bool readOnly) const
{
    db.setConnectOptions(readOnly ? QStringLiteral("QSQLITE_OPEN_READONLY") : QString());
    // SQLite creates the file but not its folder.
    if (!readOnly)
        QDir().mkpath(QFileInfo(location).absolutePath());
}

bool CSqliteDialect::configure(QSqlDatabase& db) const
{
    // Without this a large write spills its pages into the file before it commits, and each
    // spill waits its full busy timeout for every reader of the file: a reader held across an
    // upload kept the service's thread long past the call's deadline. Kept in memory, the pages
    // need the file's lock once, at the commit, which the busy timeout bounds.
    QSqlQuery q(db);
    return q.exec(QStringLiteral("PRAGMA cache_spill = OFF"));
}

bool CSqliteDialect::connectionAlive(QSqlDatabase&) const
{
    return true; // a file does not go away under an open handle
}

CServiceCall::Interrupt CSqliteDialect::interrupter(QSqlDatabase& db) const
{
    // Lock waits end by the busy timeout; a statement still working at the deadline (a large
    // insert) stops within a thousand steps, and a write's whole transaction rolls back with it.
    sqlite3* const handle = handleOf(db);
    if (!handle)
        return CServiceCall::Interrupt();
    m_stop = false; // a new call
    sqlite3_progress_handler(
        handle, 1000, [](void* stop) { return static_cast<std::atomic<bool>*>(stop)->load() ? 1 : 0; },
        static_cast<void*>(&m_stop));
    std::atomic<bool>* const stop = &m_stop;
    return [handle, stop] {
        stop->store(true);
        sqlite3_interrupt(handle);
    };
}

bool CSqliteDialect::limitWaits(QSqlDatabase& db, int waitMs) const
{
    QSqlQuery q(db);
    return q.exec(QStringLiteral("PRAGMA busy_timeout = %1").arg(waitMs));
}

bool CSqliteDialect::readSchemaVersion(QSqlQuery& q, int& version) const
{
    if (!q.exec(QStringLiteral("PRAGMA user_version")) || !q.next()) {
        return false;
    }
    version = q.value(0).toInt();
    q.finish();
    return true;
}

bool CSqliteDialect::writeSchemaVersion(QSqlQuery& q, int version) const
{
    return q.exec(QStringLiteral("PRAGMA user_version = %1").arg(version));
}

QString CSqliteDialect::tableColumnsSql() const
{
    return QStringLiteral("SELECT m.name, p.name FROM sqlite_master m, pragma_table_info(m.name) p "
                          "WHERE m.type = 'table' AND m.name NOT LIKE 'sqlite%' ORDER BY m.name, p.cid");
}

QStringList CSqliteDialect::createTablesSql() const
{
    return {
        QStringLiteral("CREATE TABLE IF NOT EXISTS brokers ("
                       " broker_key_no INTEGER PRIMARY KEY,"
                       " broker_id TEXT NOT NULL,"
                       " broker_name TEXT NOT NULL)"),
        QStringLiteral("CREATE TABLE IF NOT EXISTS uploads ("
                       " id INTEGER PRIMARY KEY AUTOINCREMENT,"
                       " broker_key_no INTEGER NOT NULL REFERENCES brokers(broker_key_no),"
                       " upload_date TEXT NOT NULL,"
                       " upload_time TEXT NOT NULL,"
                       " user_name TEXT,"
                       " row_count INTEGER,"
                       " client_user TEXT,"
                       " restored_from INTEGER)"),
        QStringLiteral("CREATE INDEX IF NOT EXISTS uploads_by_broker ON uploads(broker_key_no, id)"),
        QStringLiteral("CREATE TABLE IF NOT EXISTS ratios ("
                       " upload_id INTEGER NOT NULL REFERENCES uploads(id),"
                       " line_no INTEGER NOT NULL,"
                       " exchange_name TEXT NOT NULL,"
                       " stock_code TEXT NOT NULL,"
                       " stock_name TEXT NOT NULL,"
                       " ratio REAL NOT NULL,"
                       " PRIMARY KEY (upload_id, line_no))"),
    };
}

bool CSqliteDialect::forwardOnlyReads() const
{
    // without it the driver caches every row it has handed out, which costs a fifth of a large read
    return true;
}

QString CSqliteDialect::returningId(const QString& insertSql) const
{
    return insertSql; // the driver hands back the rowid
}

bool CSqliteDialect::insertedId(QSqlQuery& q, long long& id) const
{
    const QVariant value = q.lastInsertId();
    if (!value.isValid()) {
        return false;
    }
    id = value.toLongLong();
    return true;
}

bool CSqliteDialect::insertRatios(QSqlDatabase& db, long long uploadId, const std::vector<const CStkSubjects*>& rows,
                                  QSqlError& error) const
{
    // Many rows a statement, but not too many: Qt names every placeholder and SQLite finds a
    // name by a linear search, so each execution costs the square of its parameter count. At
    // 1,000 rows (6,000 parameters) that search was half of a 100,000-row upload; 200 rows
    // keep it small while the per-statement cost stays low.
    const size_t kBatch = 200;
    const QString head =
        QStringLiteral("INSERT INTO ratios (upload_id, line_no, exchange_name, stock_code, stock_name, ratio) VALUES ");
    const QString tuple = QStringLiteral("(?, ?, ?, ?, ?, ?)");
    QSqlQuery batch(db);
    size_t prepared = 0; // rows of the statement prepared in batch
    bool converted = false;
    std::string lastExchange;
    QString exchange;
    for (size_t start = 0; start < rows.size(); start += kBatch) {
        const size_t count = std::min(kBatch, rows.size() - start);
        if (count != prepared) {
            QStringList tuples;
            for (size_t i = 0; i < count; ++i) {
                tuples << tuple;
            }
            if (!batch.prepare(head + tuples.join(QLatin1Char(',')))) {
                error = batch.lastError();
                return false;
            }
            prepared = count;
        }
        int index = 0;
        for (size_t i = 0; i < count; ++i) {
            const CStkSubjects& s = *rows[start + i];
            // An upload names a handful of exchanges: convert each once and share the text.
            if (!converted || s.exchangeName != lastExchange) {
                converted = true;
                lastExchange = s.exchangeName;
                exchange = QString::fromStdString(lastExchange);
            }
            batch.bindValue(index++, uploadId);
            batch.bindValue(index++, int(start + i + 1));
            batch.bindValue(index++, exchange);
            batch.bindValue(index++, QString::fromStdString(s.stockCode));
            batch.bindValue(index++, QString::fromStdString(s.stockName));
            batch.bindValue(index++, s.ratio);
        }
        if (!batch.exec()) {
            error = batch.lastError();
            return false;
        }
    }
    return true;
}

namespace {

// A file has no accounts of its own: who wrote is the operating system's account that ran the service.
QString operatingSystemAccount()
{
    for (const char* name : {"USER", "USERNAME", "LOGNAME"}) {
        const QString user = qEnvironmentVariable(name);
        if (!user.isEmpty())
            return user;
    }
    return QDir::home().dirName();
}

} // namespace

bool CSqliteDialect::storeUpload(QSqlDatabase& db, int brokerKeyNo, const QString& clientUser, long long restoredFrom,
                                 const std::vector<const CStkSubjects*>& rows, long long& uploadId,
                                 QSqlError& error) const
{
    // The service checked the rows (validateUpload) before the file was touched; what the client
    // could have said about itself is set here, not taken from it.
    const QDateTime now = QDateTime::currentDateTime();
    const QString account = operatingSystemAccount();
    QSqlQuery q(db);
    q.prepare(QStringLiteral("INSERT INTO uploads (broker_key_no, upload_date, upload_time, user_name, row_count, "
                             "client_user, restored_from) VALUES (?, ?, ?, ?, ?, ?, ?)"));
    q.bindValue(0, brokerKeyNo);
    q.bindValue(1, now.toString(QStringLiteral("yyyyMMdd")));
    q.bindValue(2, now.toString(QStringLiteral("HHmmss")));
    q.bindValue(3, account.isEmpty() ? QVariant(QVariant::String) : QVariant(account));
    q.bindValue(4, qlonglong(rows.size()));
    q.bindValue(5, clientUser.isEmpty() ? QVariant(QVariant::String) : QVariant(clientUser));
    q.bindValue(6, restoredFrom > 0 ? QVariant(qlonglong(restoredFrom)) : QVariant(QVariant::LongLong));
    if (!q.exec() || !insertedId(q, uploadId)) {
        error = q.lastError();
        return false;
    }
    return insertRatios(db, uploadId, rows, error);
}

QStringList CSqliteDialect::upgradeSql(int) const
{
    return QStringList();
}

bool CSqliteDialect::beginWrite(QSqlDatabase& db, std::optional<int>, int waitMs, QSqlError& error) const
{
    // The file has one writer at a time. Taking its lock at the start queues writers in turn; a
    // deferred transaction would take it at its first write while holding a read lock, and two
    // such writers fail at once instead of waiting for each other.
    QSqlQuery q(db);
    if (limitWaits(db, waitMs) && q.exec(QStringLiteral("BEGIN IMMEDIATE")))
        return true;
    error = q.lastError();
    return false;
}

std::string CSqliteDialect::uploadRefusal(QSqlDatabase& db) const
{
    sqlite3* const handle = handleOf(db);
    if (handle && sqlite3_db_readonly(handle, "main") == 1)
        return "无权上传: 数据库文件只能读取, 未做任何改动";
    return std::string();
}

void CSqliteDialect::recoverAfterFailedWrite(QSqlDatabase& db) const
{
    // A write that failed on a full disk or an I/O error leaves its journal in place, and the
    // file unlocked: a hot journal that another reader could not roll back. Reading at once
    // makes this connection roll it back and remove it, as long as the file can be written.
    QSqlQuery q(db);
    if (q.exec(QStringLiteral("SELECT count(*) FROM sqlite_master")))
        q.next();
}

bool CSqliteDialect::lacksRight(const QSqlError& error) const
{
    const int code = error.nativeErrorCode().toInt();
    return (code & 0xff) == SQLITE_READONLY || (code & 0xff) == SQLITE_PERM || (code & 0xff) == SQLITE_AUTH;
}

QStringList CSqliteDialect::grantsSql() const
{
    return QStringList(); // a file's rights are the file system's
}

bool CSqliteDialect::ranOutOfTime(const QSqlError& error) const
{
    return isBusyError(error);
}

const char* CSqliteDialect::waitedFor(bool) const
{
    return "数据库正被其他程序占用";
}

std::string CSqliteDialect::holderOf(const QSqlError&) const
{
    return std::string(); // the file's lock names no one
}

std::string CSqliteDialect::describeError(const QSqlError& error, const char* action) const
{
    return describeSqlError(error, action);
}

} // namespace rqservice
