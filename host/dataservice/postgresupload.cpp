#include "postgresupload.h"

#include "hostservice.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace rqservice {

const char CPostgresUpload::kSignature[] = "credit_upload(integer, text, bigint, text[], text[], text[], float8[])";

namespace {

// What the function says before the holders of a lock it waited for in vain.
const QString kHolderMark = QStringLiteral("占用者: ");

// The checks run in one pass over the rows; a row lock on the broker (which needs UPDATE, a right
// no client holds) queues its uploads, so its newest id is its last committed upload.
const char kBody[] = R"SQL(
DECLARE
    v_count integer := coalesce(cardinality(p_codes), 0);
    v_found boolean;
    v_total integer;
    v_bad text;
    v_now timestamptz := clock_timestamp();
    v_id bigint;
BEGIN
    IF v_count = 0 THEN
        RAISE EXCEPTION '上传内容为空: 没有任何证券的折算率' USING ERRCODE = '22023';
    END IF;
    IF coalesce(cardinality(p_exchanges), 0) <> v_count OR coalesce(cardinality(p_names), 0) <> v_count
       OR coalesce(cardinality(p_ratios), 0) <> v_count THEN
        RAISE EXCEPTION '上传内容格式错误: 各列的行数不一致' USING ERRCODE = '22023';
    END IF;
    -- Waited for within the caller's lock_timeout; the caller names the holder when it runs out.
    PERFORM 1 FROM brokers WHERE broker_key_no = p_broker_key_no FOR UPDATE;
    v_found := FOUND;
    IF NOT v_found THEN
        RAISE EXCEPTION '未找到券商: %', p_broker_key_no USING ERRCODE = '22023';
    END IF;
    IF p_restored_from IS NOT NULL AND NOT EXISTS
           (SELECT FROM uploads WHERE id = p_restored_from AND broker_key_no = p_broker_key_no) THEN
        RAISE EXCEPTION '恢复失败: 该券商没有编号为 % 的上传', p_restored_from USING ERRCODE = '22023';
    END IF;
    SELECT count(*), string_agg(why, '; ' ORDER BY ord) FILTER (WHERE k <= 10)
      INTO v_total, v_bad
      FROM (SELECT ord, why, row_number() OVER (ORDER BY ord) AS k
              FROM (SELECT ord, format('第%s条 %s %s %s', ord, e, c, n) ||
                           CASE WHEN e IS NULL OR c IS NULL OR n IS NULL OR c = '' THEN ' 缺少交易所、证券代码或名称'
                                WHEN x IS NULL OR x = 'NaN'::float8 OR x IN ('Infinity', '-Infinity')
                                    THEN ' 的折算率不是有效数字'
                                WHEN x < 0 OR x > 1 THEN format(' 的折算率 %s 超出范围, 应在 0 到 1 之间', x)
                                WHEN ord > first THEN format(' (与第%s条重复)', first) END AS why
                      FROM (SELECT t.ord, t.e, t.c, t.n, t.x, min(t.ord) OVER (PARTITION BY t.e, t.c) AS first
                              FROM unnest(p_exchanges, p_codes, p_names, p_ratios) WITH ORDINALITY
                                   AS t(e, c, n, x, ord)) r) w
             WHERE why IS NOT NULL) f;
    IF v_total > 0 THEN
        RAISE EXCEPTION '上传内容有误 (% 条): %, 未做任何改动', v_total,
            v_bad || CASE WHEN v_total > 10 THEN format('; 另有 %s 条', v_total - 10) ELSE '' END
            USING ERRCODE = '22023';
    END IF;
    INSERT INTO uploads (broker_key_no, upload_date, upload_time, user_name, row_count, client_user, restored_from)
    VALUES (p_broker_key_no, to_char(v_now, 'YYYYMMDD'), to_char(v_now, 'HH24MISS'), session_user, v_count,
            p_client_user, p_restored_from)
    RETURNING id INTO v_id;
    INSERT INTO ratios (upload_id, line_no, exchange_name, stock_code, stock_name, ratio)
    SELECT v_id, t.ord, t.e, t.c, t.n, t.x
      FROM unnest(p_exchanges, p_codes, p_names, p_ratios) WITH ORDINALITY AS t(e, c, n, x, ord);
    RETURN v_id;
END
)SQL";

// The failed wait's error, naming the sessions whose transaction holds the broker's row: its
// xmax, which every client may read, as pg_locks and pg_stat_activity show it.
QSqlError withHolders(QSqlDatabase& db, int brokerKeyNo, const QSqlError& error)
{
    db.rollback();
    QSqlQuery q(db);
    q.prepare(QStringLiteral(
        "SELECT string_agg(DISTINCT format('%s (%s)', a.usename, coalesce(nullif(a.application_name, ''), '-')), "
        "', ') FROM pg_locks l JOIN pg_stat_activity a ON a.pid = l.pid "
        "WHERE l.locktype = 'transactionid' AND l.granted AND l.mode = 'ExclusiveLock' AND l.pid <> pg_backend_pid() "
        "AND l.transactionid = (SELECT xmax FROM brokers WHERE broker_key_no = ?)"));
    q.bindValue(0, brokerKeyNo);
    const QString holders = q.exec() && q.next() ? q.value(0).toString() : QString();
    q.finish();
    return QSqlError(error.driverText(),
                     error.databaseText().section(QLatin1Char('\n'), 0, 0) + QLatin1Char(' ') + kHolderMark +
                         (holders.isEmpty() ? QStringLiteral("未知") : holders),
                     error.type(), error.nativeErrorCode());
}

} // namespace

void CPostgresUpload::appendArrayText(QString& array, const std::string& value)
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

void CPostgresUpload::closeArray(QString& array)
{
    if (array.endsWith(QLatin1Char(',')))
        array.chop(1);
    array += QLatin1Char('}');
}

QString CPostgresUpload::functionSql()
{
    // The server's time zone of the owner's session, so that no client's setting moves the date.
    return QStringLiteral("DO $do$ BEGIN EXECUTE format($f$CREATE OR REPLACE FUNCTION credit_upload("
                          "p_broker_key_no integer, p_client_user text, p_restored_from bigint, "
                          "p_exchanges text[], p_codes text[], p_names text[], p_ratios float8[]) "
                          "RETURNS bigint LANGUAGE plpgsql SECURITY DEFINER "
                          "SET search_path = %I, pg_temp SET TimeZone FROM CURRENT AS %L$f$, "
                          "current_schema(), $body$") +
           QString::fromUtf8(kBody) + QStringLiteral("$body$); END $do$");
}

QString CPostgresUpload::accountsSql()
{
    return QStringLiteral(
               "DO $do$ DECLARE up text := current_database() || '_uploaders'; "
               "vw text := current_database() || '_viewers'; r record; BEGIN "
               // Whatever an earlier version or a hand granted: nobody but the owner writes.
               "REVOKE ALL ON credit_schema, brokers, uploads, ratios FROM PUBLIC; "
               "FOR r IN SELECT DISTINCT grantee FROM information_schema.role_table_grants "
               "WHERE table_schema = current_schema() AND grantee NOT IN (current_user, 'PUBLIC') "
               "AND table_name IN ('credit_schema', 'brokers', 'uploads', 'ratios') LOOP "
               "EXECUTE format('REVOKE ALL ON credit_schema, brokers, uploads, ratios FROM %I', r.grantee); END LOOP; "
               "REVOKE ALL ON FUNCTION %1 FROM PUBLIC; "
               "IF EXISTS (SELECT FROM pg_roles WHERE rolname = up) THEN "
               "EXECUTE format('GRANT SELECT ON credit_schema, brokers, uploads, ratios TO %I', up); "
               "EXECUTE format('GRANT EXECUTE ON FUNCTION %1 TO %I', up); END IF; "
               "IF EXISTS (SELECT FROM pg_roles WHERE rolname = vw) THEN "
               "EXECUTE format('GRANT SELECT ON credit_schema, brokers, uploads, ratios TO %I', vw); END IF; "
               "END $do$")
        .arg(QLatin1String(kSignature));
}

bool CPostgresUpload::store(QSqlDatabase& db, int brokerKeyNo, const QString& clientUser, long long restoredFrom,
                            const std::vector<const CStkSubjects*>& rows, long long& uploadId, QSqlError& error)
{
    // Four array parameters: one statement and one round trip however many rows.
    QString exchanges(QStringLiteral("{")), codes(QStringLiteral("{")), names(QStringLiteral("{")),
        ratios(QStringLiteral("{"));
    exchanges.reserve(int(rows.size()) * 6);
    codes.reserve(int(rows.size()) * 10);
    names.reserve(int(rows.size()) * 10);
    ratios.reserve(int(rows.size()) * 8);
    for (const CStkSubjects* row : rows) {
        appendArrayText(exchanges, row->exchangeName);
        appendArrayText(codes, row->stockCode);
        appendArrayText(names, row->stockName);
        ratios += QString::number(row->ratio, 'g', 17);
        ratios += QLatin1Char(',');
    }
    for (QString* array : {&exchanges, &codes, &names, &ratios})
        closeArray(*array);
    QSqlQuery q(db);
    if (!q.prepare(QStringLiteral("SELECT credit_upload(?::integer, ?::text, ?::bigint, ?::text[], ?::text[], "
                                  "?::text[], ?::float8[])"))) {
        error = q.lastError();
        return false;
    }
    q.bindValue(0, brokerKeyNo);
    q.bindValue(1, clientUser.isEmpty() ? QVariant(QVariant::String) : QVariant(clientUser));
    q.bindValue(2, restoredFrom > 0 ? QVariant(qlonglong(restoredFrom)) : QVariant(QVariant::LongLong));
    q.bindValue(3, exchanges);
    q.bindValue(4, codes);
    q.bindValue(5, names);
    q.bindValue(6, ratios);
    if (!q.exec() || !q.next()) {
        error = q.lastError();
        if (error.nativeErrorCode() == QLatin1String("55P03"))
            error = withHolders(db, brokerKeyNo, error);
        return false;
    }
    uploadId = q.value(0).toLongLong();
    q.finish();
    return true;
}

QString CPostgresUpload::holderOf(const QString& databaseText)
{
    const int mark = databaseText.indexOf(kHolderMark);
    return mark < 0 ? QString()
                    : databaseText.mid(mark + kHolderMark.size()).section(QLatin1Char('\n'), 0, 0).trimmed();
}

} // namespace rqservice
