#include "postgresdialect.h"

#include "hostservice.h"

#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>
#include <QUrlQuery>
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

// Every writer of every program on the database takes one of these first: the schema's for the
// whole database, or the broker's, so that a broker's uploads commit in the order their ids were
// given (its newest id is its last committed upload) while other brokers' uploads go on at once.
// The one-key and two-key advisory locks never collide.
const char* const kSchemaLock = "SELECT pg_advisory_xact_lock(1297370739)";
const char* const kBrokerLock = "SELECT pg_advisory_xact_lock(1297370739, %1)";

struct ConnectionParts
{
    QString user;
    QString password;
    QString host;
    int port = -1;
    QString database;
};

// QUrl refuses "user@/db?host=/dir" (no host), which libpq accepts, so the URI is split here.
ConnectionParts parseUri(const QString& uri)
{
    ConnectionParts parts;
    QString rest = uri.mid(uri.indexOf(QLatin1String("://")) + 3);
    const int question = rest.indexOf(QLatin1Char('?'));
    const QString query = question >= 0 ? rest.mid(question + 1) : QString();
    if (question >= 0)
        rest.truncate(question);
    const int slash = rest.indexOf(QLatin1Char('/'));
    QString authority = slash >= 0 ? rest.left(slash) : rest;
    parts.database = slash >= 0 ? QUrl::fromPercentEncoding(rest.mid(slash + 1).toUtf8()) : QString();
    const int at = authority.lastIndexOf(QLatin1Char('@'));
    if (at >= 0) {
        const QString userInfo = authority.left(at);
        authority = authority.mid(at + 1);
        const int colon = userInfo.indexOf(QLatin1Char(':'));
        parts.user = QUrl::fromPercentEncoding(userInfo.left(colon).toUtf8());
        if (colon >= 0)
            parts.password = QUrl::fromPercentEncoding(userInfo.mid(colon + 1).toUtf8());
    }
    const int colon = authority.lastIndexOf(QLatin1Char(':'));
    if (colon >= 0 && !authority.endsWith(QLatin1Char(']'))) {
        bool ok = false;
        const int port = authority.mid(colon + 1).toInt(&ok);
        if (ok)
            parts.port = port;
        authority.truncate(colon);
    }
    parts.host = QUrl::fromPercentEncoding(authority.toUtf8());
    const QUrlQuery params(query);
    if (params.hasQueryItem(QStringLiteral("host")))
        parts.host = params.queryItemValue(QStringLiteral("host"), QUrl::FullyDecoded);
    if (params.hasQueryItem(QStringLiteral("port")))
        parts.port = params.queryItemValue(QStringLiteral("port")).toInt();
    if (params.hasQueryItem(QStringLiteral("user")))
        parts.user = params.queryItemValue(QStringLiteral("user"), QUrl::FullyDecoded);
    if (params.hasQueryItem(QStringLiteral("password")))
        parts.password = params.queryItemValue(QStringLiteral("password"), QUrl::FullyDecoded);
    return parts;
}

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
    case eUnknown: break;
    }
    return "数据库操作出错";
}

} // namespace

bool CPostgresDialect::isUri(const QString& location)
{
    return location.startsWith(QLatin1String("postgresql://")) || location.startsWith(QLatin1String("postgres://"));
}

QString CPostgresDialect::driverName() const
{
    return QStringLiteral("QPSQL");
}

std::string CPostgresDialect::engineName() const
{
    return "PostgreSQL";
}

const char CPostgresDialect::kUploaderRole[] = "creditdata_uploaders";
const char CPostgresDialect::kViewerRole[] = "creditdata_viewers";

void CPostgresDialect::prepareConnection(QSqlDatabase& db, const QString& location,
                                         const standin::ServiceTimeouts& timeouts, int connectMs, bool readOnly) const
{
    const ConnectionParts parts = parseUri(location);
    db.setDatabaseName(parts.database);
    db.setUserName(parts.user);
    db.setPassword(parts.password); // empty: libpq looks in PGPASSWORD and ~/.pgpass
    db.setHostName(parts.host);
    db.setPort(parts.port);
    db.setConnectOptions(QStringLiteral("connect_timeout=%1;application_name=creditdata;keepalives=1;"
                                        "keepalives_idle=%2;keepalives_interval=%3;keepalives_count=%4")
                             .arg(std::max(2, (connectMs + 999) / 1000))
                             .arg(timeouts.keepAliveIdleS)
                             .arg(timeouts.keepAliveIntervalS)
                             .arg(timeouts.keepAliveCount) +
                         // Every transaction of the session read-only, from its first statement on.
                         (readOnly ? QStringLiteral(";options='-c default_transaction_read_only=on'") : QString()));
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
    return q.exec(QStringLiteral("DELETE FROM credit_schema")) &&
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
                       " id BIGINT GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY,"
                       " broker_key_no INTEGER NOT NULL REFERENCES brokers(broker_key_no),"
                       " upload_date TEXT NOT NULL,"
                       " upload_time TEXT NOT NULL,"
                       " user_name TEXT,"
                       " row_count INTEGER)"),
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

namespace {

// One element of a text[] literal; quoted, since a bare element would read NULL as a null.
void appendArrayText(QString& array, const std::string& value)
{
    array += QLatin1Char('"');
    const QString text = QString::fromStdString(value);
    if (!text.contains(QLatin1Char('"')) && !text.contains(QLatin1Char('\\'))) {
        array += text;
    } else {
        for (const QChar c : text) {
            if (c == QLatin1Char('"') || c == QLatin1Char('\\'))
                array += QLatin1Char('\\');
            array += c;
        }
    }
    array += QStringLiteral("\",");
}

// Turns the trailing comma of a filled literal into its closing brace.
void closeArray(QString& array)
{
    if (array.endsWith(QLatin1Char(',')))
        array.chop(1);
    array += QLatin1Char('}');
}

} // namespace

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
            appendArrayText(exchanges, rows[i]->exchangeName);
            appendArrayText(codes, rows[i]->stockCode);
            appendArrayText(names, rows[i]->stockName);
            ratios += QString::number(rows[i]->ratio, 'g', 17);
            ratios += QLatin1Char(',');
        }
        for (QString* array : {&exchanges, &codes, &names, &ratios})
            closeArray(*array);
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

bool CPostgresDialect::beginWrite(QSqlDatabase& db, std::optional<int> brokerKeyNo, int waitMs, QSqlError& error) const
{
    if (!db.transaction()) {
        error = db.lastError();
        return false;
    }
    // The lock is waited for only as long as the call allows, and the server gives up the
    // write's statements by then too, so a writer cut off by its deadline lets go of the lock.
    const QString lock =
        brokerKeyNo ? QString::fromLatin1(kBrokerLock).arg(*brokerKeyNo) : QString::fromLatin1(kSchemaLock);
    const QString limit = QString::number(std::max(waitMs, 1)); // 0 would mean no limit
    QSqlQuery q(db);
    // One statement each: the driver reads only the first answer of several.
    if (!q.exec(
            QStringLiteral("SELECT set_config('lock_timeout', '%1', true), set_config('statement_timeout', '%1', true)")
                .arg(limit)) ||
        !q.exec(lock)) {
        error = q.lastError();
        q.finish();
        db.rollback();
        return false;
    }
    return true;
}

std::string CPostgresDialect::uploadRefusal(QSqlDatabase& db) const
{
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("SELECT has_table_privilege('uploads', 'INSERT') AND "
                               "has_table_privilege('ratios', 'INSERT') AND "
                               "current_setting('default_transaction_read_only') = 'off'")) ||
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
    return {QStringLiteral("DO $$ BEGIN "
                           "IF EXISTS (SELECT FROM pg_roles WHERE rolname = '%1') THEN "
                           "GRANT SELECT ON credit_schema, brokers, uploads, ratios TO %1; "
                           "GRANT INSERT ON uploads, ratios TO %1; END IF; "
                           "IF EXISTS (SELECT FROM pg_roles WHERE rolname = '%2') THEN "
                           "GRANT SELECT ON credit_schema, brokers, uploads, ratios TO %2; END IF; END $$")
                .arg(QLatin1String(kUploaderRole), QLatin1String(kViewerRole))};
}

bool CPostgresDialect::ranOutOfTime(const QSqlError& error) const
{
    const QString state = error.nativeErrorCode();
    return state == QLatin1String("55P03") || state == QLatin1String("57014"); // lock or statement timeout
}

const char* CPostgresDialect::waitedFor(bool beginning) const
{
    return beginning ? "该券商的另一次上传正在进行" : nullptr;
}

std::string CPostgresDialect::describeError(const QSqlError& error, const char* action) const
{
    EReason reason = reasonOfState(error.nativeErrorCode());
    if (reason == eUnknown)
        reason = reasonOfText(error.databaseText() + QLatin1Char(' ') + error.driverText());
    std::string text = std::string(action) + "失败: " + reasonText(reason);
    const QString detail =
        error.databaseText().trimmed().isEmpty() ? error.text().trimmed() : error.databaseText().trimmed();
    if (!detail.isEmpty())
        text += " (" + detail.toStdString() + ")";
    return text;
}

} // namespace rqservice
