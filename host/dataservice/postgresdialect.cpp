#include "postgresdialect.h"

#include "hostservice.h"
#include "postgreslocation.h"
#include "postgresupload.h"

#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QMap>
#include <QStringList>
#include <QVariant>

#include <algorithm>

#include <libpq-fe.h>
#ifdef _WIN32
#include <winsock2.h>
#else
#include <sys/socket.h>
#endif

namespace rqservice {

namespace {

// The schema's writers queue on the row of credit_schema, which no client may lock (a row lock
// needs UPDATE). Only a database without our tables, which no client can read yet, is created
// behind an advisory lock. A broker's uploads queue inside credit_upload, on the broker's row.
const char* const kSchemaLock = "SELECT version FROM credit_schema FOR UPDATE";
const char* const kCreationLock = "SELECT pg_advisory_xact_lock(1297370739)";

enum EReason
{
    eUnknown,
    eNoServer,
    eLostConnection,
    eAuth,
    eNoDatabase,
    eBusy,
    eConflict,
    eNoRight,
    eFull,
    eReadOnly,
    eRefused,
};

EReason reasonOfState(const QString& state)
{
    if (state == QLatin1String("28P01") || state == QLatin1String("28000"))
        return eAuth;
    if (state == QLatin1String("3D000"))
        return eNoDatabase;
    if (state == QLatin1String("55P03") || state == QLatin1String("57014")) // lock or statement timeout
        return eBusy;
    if (state == QLatin1String("40001") || state == QLatin1String("40P01") || state == QLatin1String("23505"))
        return eConflict;
    if (state == QLatin1String("42501"))
        return eNoRight;
    if (state == QLatin1String("53100"))
        return eFull;
    if (state == QLatin1String("25006"))
        return eReadOnly;
    if (state == QLatin1String("22023")) // credit_upload's own refusal, which says why
        return eRefused;
    if (state.startsWith(QLatin1String("08")) || state.startsWith(QLatin1String("57P")))
        return eLostConnection;
    return eUnknown;
}

// libpq's own texts, for failures that carry no SQLSTATE (connecting, a dropped connection).
EReason reasonOfText(const QString& text)
{
    struct Known
    {
        const char* text;
        EReason reason;
    };
    static const Known known[] = {
        {"password authentication failed", eAuth},
        {"no password supplied", eAuth},
        {"authentication failed", eAuth},
        {"does not exist", eNoDatabase}, // database "x" does not exist; role "x" does not exist
        {"server closed the connection", eLostConnection},
        {"terminating connection", eLostConnection},
        {"no connection to the server", eLostConnection},
        {"connection to server", eNoServer},
        {"could not connect", eNoServer},
        {"could not translate host name", eNoServer},
        {"Connection refused", eNoServer},
        {"timeout expired", eNoServer},
    };
    for (const Known& k : known) {
        if (text.contains(QLatin1String(k.text), Qt::CaseInsensitive))
            return k.reason;
    }
    return eUnknown;
}

const char* reasonText(EReason reason)
{
    switch (reason) {
    case eNoServer: return "无法连接数据库服务器, 请确认服务器已启动且地址正确";
    case eLostConnection: return "与数据库服务器的连接已断开, 本次操作未生效, 请稍后重试";
    case eAuth: return "数据库用户名或密码错误";
    case eNoDatabase: return "数据库或用户不存在, 请检查连接地址";
    case eBusy: return "数据库正被其他程序占用, 未做任何改动, 请稍后重试";
    case eConflict: return "与其他用户的操作冲突, 本次操作未生效, 请重试";
    case eNoRight: return "没有访问该数据库的权限";
    case eFull: return "数据库服务器磁盘空间已满, 无法写入";
    case eReadOnly: return "数据库为只读, 无法写入";
    case eRefused: return "数据库拒绝了本次上传";
    case eUnknown: break;
    }
    return "数据库操作出错";
}

} // namespace

bool CPostgresDialect::isUri(const QString& location)
{
    return CPostgresLocation::isUri(location);
}

QString CPostgresDialect::driverName() const
{
    return QStringLiteral("QPSQL");
}

std::string CPostgresDialect::engineName() const
{
    return "PostgreSQL";
}

namespace {

// A value as QPSQL's connect options carry it into libpq's key=value string.
QString quotedOption(const QString& value)
{
    QString quoted = value;
    quoted.replace(QLatin1Char('\\'), QStringLiteral("\\\\")).replace(QLatin1Char('\''), QStringLiteral("\\'"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

} // namespace

void CPostgresDialect::prepareConnection(QSqlDatabase& db, const QString& location,
                                         const standin::ServiceTimeouts& timeouts, int connectMs, bool readOnly) const
{
    // The service refused a location libpq cannot read before it came here.
    const CPostgresLocation parsed(location);
    db.setDatabaseName(parsed.value(QStringLiteral("dbname")));
    db.setUserName(parsed.value(QStringLiteral("user")));
    db.setPassword(parsed.value(QStringLiteral("password"))); // empty: libpq looks in PGPASSWORD and ~/.pgpass
    db.setHostName(parsed.value(QStringLiteral("host")));
    const QString port = parsed.value(QStringLiteral("port"));
    db.setPort(port.isEmpty() ? -1 : port.toInt());
    // Ours first, where the location says nothing; everything it says as it says it.
    QMap<QString, QString> options{
        {QStringLiteral("connect_timeout"), QString::number(std::max(2, (connectMs + 999) / 1000))},
        {QStringLiteral("application_name"), QStringLiteral("creditdata")},
        {QStringLiteral("keepalives"), QStringLiteral("1")},
        {QStringLiteral("keepalives_idle"), QString::number(timeouts.keepAliveIdleS)},
        {QStringLiteral("keepalives_interval"), QString::number(timeouts.keepAliveIntervalS)},
        {QStringLiteral("keepalives_count"), QString::number(timeouts.keepAliveCount)},
    };
    for (const auto& option : parsed.options()) {
        static const QStringList set{"dbname", "user", "password", "host", "port"};
        if (!set.contains(option.first))
            options[option.first] = option.second;
    }
    // Every transaction of the session read-only, from its first statement on.
    if (readOnly)
        options[QStringLiteral("options")] =
            (options.value(QStringLiteral("options")) + QStringLiteral(" -c default_transaction_read_only=on"))
                .trimmed();
    QStringList connect;
    for (auto o = options.cbegin(); o != options.cend(); ++o)
        connect << o.key() + QLatin1Char('=') + quotedOption(o.value());
    db.setConnectOptions(connect.join(QLatin1Char(';')));
}

bool CPostgresDialect::configure(QSqlDatabase&) const
{
    return true; // all set when connecting
}

bool CPostgresDialect::connectionAlive(QSqlDatabase& db) const
{
    QSqlQuery q(db);
    return q.exec(QStringLiteral("SELECT 1"));
}

CServiceCall::Interrupt CPostgresDialect::interrupter(QSqlDatabase& db) const
{
    // libpq waits for a server's answer without a limit of its own. Shutting the socket down
    // wakes that wait with a lost connection; the server, when it runs again, sees the client
    // gone and rolls back whatever the connection had begun.
    const QVariant handle = db.driver() ? db.driver()->handle() : QVariant();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "PGconn*") != 0)
        return CServiceCall::Interrupt();
    PGconn* const connection = *static_cast<PGconn* const*>(handle.constData());
    const int socket = connection ? PQsocket(connection) : -1;
    if (socket < 0)
        return CServiceCall::Interrupt();
#ifdef _WIN32
    return [socket] { ::shutdown(SOCKET(socket), SD_BOTH); };
#else
    return [socket] { ::shutdown(socket, SHUT_RDWR); };
#endif
}

bool CPostgresDialect::limitWaits(QSqlDatabase&, int) const
{
    return true; // beginWrite sets the write's own limits; a read waits for no lock of ours
}

bool CPostgresDialect::readSchemaVersion(QSqlQuery& q, int& version) const
{
    if (!q.exec(QStringLiteral("SELECT count(*) FROM pg_tables WHERE schemaname = current_schema() "
                               "AND tablename = 'credit_schema'")) ||
        !q.next()) {
        return false;
    }
    const bool versioned = q.value(0).toInt() > 0;
    q.finish();
    version = 0;
    if (!versioned)
        return true;
    if (!q.exec(QStringLiteral("SELECT coalesce(max(version), 0) FROM credit_schema")) || !q.next())
        return false;
    version = q.value(0).toInt();
    q.finish();
    return true;
}

bool CPostgresDialect::writeSchemaVersion(QSqlQuery& q, int version) const
{
    // Updated in place, so that a writer queued on the row's lock finds it again.
    if (!q.exec(QStringLiteral("UPDATE credit_schema SET version = %1").arg(version)))
        return false;
    return q.numRowsAffected() > 0 ||
           q.exec(QStringLiteral("INSERT INTO credit_schema (version) VALUES (%1)").arg(version));
}

QString CPostgresDialect::tableColumnsSql() const
{
    return QStringLiteral("SELECT c.relname, a.attname FROM pg_class c "
                          "JOIN pg_namespace n ON n.oid = c.relnamespace "
                          "LEFT JOIN pg_attribute a ON a.attrelid = c.oid AND a.attnum > 0 AND NOT a.attisdropped "
                          "WHERE n.nspname = current_schema() AND c.relkind IN ('r', 'p') "
                          "AND c.relname <> 'credit_schema' ORDER BY c.relname, a.attnum");
}

QStringList CPostgresDialect::createTablesSql() const
{
    return {
        QStringLiteral("CREATE TABLE IF NOT EXISTS credit_schema (version INTEGER NOT NULL)"),
        QStringLiteral("CREATE TABLE IF NOT EXISTS brokers ("
                       " broker_key_no INTEGER PRIMARY KEY,"
                       " broker_id TEXT NOT NULL,"
                       " broker_name TEXT NOT NULL)"),
        QStringLiteral("CREATE TABLE IF NOT EXISTS uploads ("
                       " id BIGINT GENERATED ALWAYS AS IDENTITY PRIMARY KEY,"
                       " broker_key_no INTEGER NOT NULL REFERENCES brokers(broker_key_no),"
                       " upload_date TEXT NOT NULL,"
                       " upload_time TEXT NOT NULL,"
                       " user_name TEXT,"
                       " row_count INTEGER,"
                       " client_user TEXT,"
                       " restored_from BIGINT)"),
        QStringLiteral("CREATE INDEX IF NOT EXISTS uploads_by_broker ON uploads(broker_key_no, id)"),
        // No foreign key on upload_id: its check runs once per row and tripled the time of a
        // 100,000-row upload; ratios are only ever written in the transaction of their upload.
        QStringLiteral("CREATE TABLE IF NOT EXISTS ratios ("
                       " upload_id BIGINT NOT NULL,"
                       " line_no INTEGER NOT NULL,"
                       " exchange_name TEXT NOT NULL,"
                       " stock_code TEXT NOT NULL,"
                       " stock_name TEXT NOT NULL,"
                       " ratio DOUBLE PRECISION NOT NULL,"
                       " PRIMARY KEY (upload_id, line_no))"),
    };
}

bool CPostgresDialect::forwardOnlyReads() const
{
    // forward-only makes the driver fetch in single-row mode: slower than one whole result
    return false;
}

QString CPostgresDialect::returningId(const QString& insertSql) const
{
    return insertSql + QStringLiteral(" RETURNING id");
}

bool CPostgresDialect::insertedId(QSqlQuery& q, long long& id) const
{
    if (!q.next())
        return false;
    id = q.value(0).toLongLong();
    q.finish();
    return true;
}

bool CPostgresDialect::insertRatios(QSqlDatabase& db, long long uploadId, const std::vector<const CStkSubjects*>& rows,
                                    QSqlError& error) const
{
    // Four array parameters unnested by the server: one statement and one round trip per
    // chunk, where row tuples would cost a parse of six parameters per row. The set-returning
    // functions stand in the select list, where they run in step without first copying the
    // rows into a tuple store as unnest in FROM does.
    const size_t kChunk = 50000;
    QSqlQuery q(db);
    if (!q.prepare(
            QStringLiteral("INSERT INTO ratios (upload_id, line_no, exchange_name, stock_code, stock_name, ratio) "
                           "SELECT ?::bigint, generate_series(?::int, ?::int), unnest(?::text[]), "
                           "unnest(?::text[]), unnest(?::text[]), unnest(?::float8[])"))) {
        error = q.lastError();
        return false;
    }
    for (size_t start = 0; start < rows.size(); start += kChunk) {
        const size_t end = std::min(rows.size(), start + kChunk);
        QString exchanges(QStringLiteral("{")), codes(QStringLiteral("{")), names(QStringLiteral("{")),
            ratios(QStringLiteral("{"));
        exchanges.reserve(int(end - start) * 6);
        codes.reserve(int(end - start) * 10);
        names.reserve(int(end - start) * 10);
        ratios.reserve(int(end - start) * 8);
        for (size_t i = start; i < end; ++i) {
            CPostgresUpload::appendArrayText(exchanges, rows[i]->exchangeName);
            CPostgresUpload::appendArrayText(codes, rows[i]->stockCode);
            CPostgresUpload::appendArrayText(names, rows[i]->stockName);
            ratios += QString::number(rows[i]->ratio, 'g', 17);
            ratios += QLatin1Char(',');
        }
        for (QString* array : {&exchanges, &codes, &names, &ratios})
            CPostgresUpload::closeArray(*array);
        q.bindValue(0, uploadId);
        q.bindValue(1, int(start + 1));
        q.bindValue(2, int(end));
        q.bindValue(3, exchanges);
        q.bindValue(4, codes);
        q.bindValue(5, names);
        q.bindValue(6, ratios);
        if (!q.exec()) {
            error = q.lastError();
            return false;
        }
    }
    return true;
}

bool CPostgresDialect::storeUpload(QSqlDatabase& db, int brokerKeyNo, const QString& clientUser, long long restoredFrom,
                                   const std::vector<const CStkSubjects*>& rows, long long& uploadId,
                                   QSqlError& error) const
{
    return CPostgresUpload::store(db, brokerKeyNo, clientUser, restoredFrom, rows, uploadId, error);
}

QStringList CPostgresDialect::upgradeSql(int version) const
{
    if (version == 3) // no id given by anyone but the sequence
        return {QStringLiteral("ALTER TABLE uploads ALTER COLUMN id SET GENERATED ALWAYS")};
    return QStringList();
}

bool CPostgresDialect::beginWrite(QSqlDatabase& db, std::optional<int> brokerKeyNo, int waitMs, QSqlError& error) const
{
    if (!db.transaction()) {
        error = db.lastError();
        return false;
    }
    // The lock is waited for only as long as the call allows, and the server gives up the
    // write's statements by then too, so a writer cut off by its deadline lets go of the lock.
    const QString limit = QString::number(std::max(waitMs, 1)); // 0 would mean no limit
    // A lock's wait ends first, so that the failure can still say who held it.
    const QString lockLimit = QString::number(std::max(waitMs - std::min(waitMs / 4, 500), 1));
    QSqlQuery q(db);
    // One statement each: the driver reads only the first answer of several.
    bool ok = q.exec(QStringLiteral("SELECT set_config('lock_timeout', '%1', true), "
                                    "set_config('statement_timeout', '%2', true)")
                         .arg(lockLimit, limit));
    if (ok && !brokerKeyNo) {
        int version = 0;
        ok = readSchemaVersion(q, version) && q.exec(QLatin1String(version > 0 ? kSchemaLock : kCreationLock));
    }
    if (!ok) {
        error = q.lastError();
        q.finish();
        db.rollback();
        return false;
    }
    q.finish();
    return true;
}

std::string CPostgresDialect::uploadRefusal(QSqlDatabase& db) const
{
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("SELECT has_function_privilege('%1', 'EXECUTE') AND "
                               "current_setting('default_transaction_read_only') = 'off'")
                    .arg(QLatin1String(CPostgresUpload::kSignature))) ||
        !q.next())
        return std::string(); // the write itself will say what is wrong
    if (q.value(0).toBool())
        return std::string();
    return "无权上传: 该数据库账号只能查询, 未做任何改动";
}

void CPostgresDialect::recoverAfterFailedWrite(QSqlDatabase&) const
{
    // The server rolls a failed transaction back whole; nothing stays on the client's side.
}

bool CPostgresDialect::lacksRight(const QSqlError& error) const
{
    return reasonOfState(error.nativeErrorCode()) == eNoRight;
}

QStringList CPostgresDialect::grantsSql() const
{
    // The group roles exist only where an administrator made them; elsewhere the owner alone works.
    return {CPostgresUpload::functionSql(), CPostgresUpload::accountsSql()};
}

bool CPostgresDialect::ranOutOfTime(const QSqlError& error) const
{
    const QString state = error.nativeErrorCode();
    return state == QLatin1String("55P03") || state == QLatin1String("57014"); // lock or statement timeout
}

const char* CPostgresDialect::waitedFor(bool beginning) const
{
    return beginning ? "数据库正被其他程序升级" : nullptr;
}

std::string CPostgresDialect::holderOf(const QSqlError& error) const
{
    return CPostgresUpload::holderOf(error.databaseText()).toStdString();
}

std::string CPostgresDialect::describeError(const QSqlError& error, const char* action) const
{
    EReason reason = reasonOfState(error.nativeErrorCode());
    if (reason == eUnknown)
        reason = reasonOfText(error.databaseText() + QLatin1Char(' ') + error.driverText());
    if (reason == eRefused)
        return std::string(action) +
               "失败: " + error.databaseText().section(QLatin1Char('\n'), 0, 0).trimmed().toStdString();
    std::string text = std::string(action) + "失败: " + reasonText(reason);
    const QString detail =
        error.databaseText().trimmed().isEmpty() ? error.text().trimmed() : error.databaseText().trimmed();
    if (!detail.isEmpty())
        text += " (" + detail.toStdString() + ")";
    return text;
}

} // namespace rqservice
