#include "creditschema.h"

#include "demodata.h"
#include "securitymaster.h"
#include "sqldialect.h"
#include "uploadwriter.h"

#include <QMap>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QVariant>

#include <boost/make_shared.hpp>

namespace rqservice {

CCreditSchema::CCreditSchema(QSqlDatabase& db, const ISqlDialect& dialect)
    : m_db(db)
    , m_dialect(dialect)
{
}

namespace {

// What each version adds to the one before; the same SQL on every engine.
QStringList upgradeTo(int version)
{
    if (version == 2) {
        // Uploads stored before show no user (unknown); their rows are counted once here.
        return {QStringLiteral("ALTER TABLE uploads ADD COLUMN user_name TEXT"),
                QStringLiteral("ALTER TABLE uploads ADD COLUMN row_count INTEGER"),
                QStringLiteral("UPDATE uploads SET row_count = "
                               "(SELECT count(*) FROM ratios WHERE ratios.upload_id = uploads.id)")};
    }
    if (version == 3) {
        // The user recorded so far was the client's own word: kept as that, the account unknown.
        return {QStringLiteral("ALTER TABLE uploads ADD COLUMN client_user TEXT"),
                QStringLiteral("ALTER TABLE uploads ADD COLUMN restored_from BIGINT"),
                QStringLiteral("UPDATE uploads SET client_user = user_name, user_name = NULL")};
    }
    return QStringList();
}

} // namespace

utils::RQError CCreditSchema::prepare(const QString& location, const QDate& tradingDay, int waitMs, bool readOnly,
                                      int& version)
{
    m_location = location;
    {
        QSqlQuery q(m_db);
        version = 0;
        if (!m_dialect.readSchemaVersion(q, version)) {
            return utils::RQError::failure(m_dialect.describeError(q.lastError(), "读取数据库"));
        }
        // Another program's database is refused, never adopted: not one byte of it changes.
        const utils::RQError foreign = refuseForeignSchema(location, version);
        if (!foreign.isSuccess()) {
            return foreign;
        }
        if (version > kVersion) {
            return refuseNewer(version);
        }
        if (readOnly && version == 0) {
            return utils::RQError::failure("打开数据库失败: " + location.toStdString() +
                                           " 没有本程序的数据表 (空数据库或其他程序的数据库), 未做任何改动");
        }
        if (version == kVersion || readOnly) {
            // Nothing to write, so a read-only file can still be read.
            return utils::RQError();
        }
    }
    const int found = version;
    const utils::RQError created = create(version, tradingDay, waitMs);
    if (created.isSuccess() || found == 0 || !m_lastFailureLacksRight) {
        return created;
    }
    // Older tables this account or file may not change: read as they are, uploads refused.
    version = found;
    return utils::RQError();
}

utils::RQError CCreditSchema::create(int& version, const QDate& tradingDay, int waitMs)
{
    m_lastFailureLacksRight = false;
    QSqlError lockError;
    if (!m_dialect.beginWrite(m_db, std::nullopt, waitMs, lockError)) {
        m_lastFailureLacksRight = m_dialect.lacksRight(lockError);
        return utils::RQError::failure(m_dialect.describeError(lockError, "初始化数据库"));
    }
    QSqlQuery q(m_db);
    // Another program may have prepared the database while this one waited for the lock.
    if (!m_dialect.readSchemaVersion(q, version)) {
        return fail(q.lastError());
    }
    if (version >= kVersion) {
        m_db.rollback();
        return version > kVersion ? refuseNewer(version) : utils::RQError();
    }
    QStringList steps;
    if (version == 0) {
        steps = m_dialect.createTablesSql();
    } else {
        for (int next = version + 1; next <= kVersion; ++next)
            steps << upgradeTo(next) << m_dialect.upgradeSql(next);
    }
    for (const QString& sql : steps + m_dialect.grantsSql()) {
        if (!q.exec(sql)) {
            return fail(q.lastError());
        }
    }
    if (!q.exec(QStringLiteral("SELECT count(*) FROM brokers")) || !q.next()) {
        return fail(q.lastError());
    }
    const bool empty = q.value(0).toInt() == 0;
    q.finish();
    if (empty && version == 0) {
        const utils::RQError seeded = seedDemoData(tradingDay);
        if (!seeded.isSuccess()) {
            m_db.rollback();
            return seeded;
        }
    }
    if (!m_dialect.writeSchemaVersion(q, kVersion)) {
        return fail(q.lastError());
    }
    if (!m_db.commit()) {
        return fail(m_db.lastError());
    }
    version = kVersion;
    return utils::RQError();
}

utils::RQError CCreditSchema::refuseForeignSchema(const QString& location, int version)
{
    // Our tables and their columns at the version found; a database of ours holds these or
    // nothing yet.
    QMap<QString, QStringList> ours{
        {QStringLiteral("brokers"), {"broker_key_no", "broker_id", "broker_name"}},
        {QStringLiteral("uploads"), {"id", "broker_key_no", "upload_date", "upload_time"}},
        {QStringLiteral("ratios"), {"upload_id", "line_no", "exchange_name", "stock_code", "stock_name", "ratio"}},
    };
    if (version == 0 || version >= 2)
        ours[QStringLiteral("uploads")] << QStringLiteral("user_name") << QStringLiteral("row_count");
    if (version == 0 || version >= 3)
        ours[QStringLiteral("uploads")] << QStringLiteral("client_user") << QStringLiteral("restored_from");
    QSqlQuery q(m_db);
    if (!q.exec(m_dialect.tableColumnsSql())) {
        return utils::RQError::failure(m_dialect.describeError(q.lastError(), "读取数据库"));
    }
    QMap<QString, QStringList> found;
    while (q.next()) {
        QStringList& columns = found[q.value(0).toString()];
        if (!q.value(1).isNull())
            columns << q.value(1).toString();
    }
    q.finish();
    QStringList strangers;
    QStringList reshaped;
    for (auto table = found.cbegin(); table != found.cend(); ++table) {
        if (!ours.contains(table.key())) {
            strangers << table.key();
            continue;
        }
        QStringList expected = ours.value(table.key());
        QStringList columns = table.value();
        expected.sort();
        columns.sort();
        if (columns != expected)
            reshaped << table.key() + QStringLiteral(" (") + table.value().join(QStringLiteral(", ")) +
                            QLatin1Char(')');
    }
    if (strangers.isEmpty() && reshaped.isEmpty()) {
        return utils::RQError();
    }
    const QString what = strangers.isEmpty()
                             ? QStringLiteral("数据表的列与本程序不符: ") + reshaped.join(QStringLiteral("; "))
                             : QStringLiteral("含有其他数据表: ") + strangers.join(QStringLiteral(", "));
    return utils::RQError::failure("打开数据库失败: " + location.toStdString() + " 不是本程序的数据库 (" +
                                   what.toStdString() + "), 未做任何改动, 请换一个数据库文件");
}

utils::RQError CCreditSchema::refuseNewer(int version)
{
    return utils::RQError::failure("打开数据库失败: " + m_location.toStdString() +
                                   " 由更新版本的程序写入 (数据库版本 " + std::to_string(version) +
                                   ", 本程序支持到版本 " + std::to_string(kVersion) + "), 未做任何改动, 请升级本程序");
}

utils::RQError CCreditSchema::fail(const QSqlError& error)
{
    m_lastFailureLacksRight = m_dialect.lacksRight(error);
    const utils::RQError failure = utils::RQError::failure(
        m_lastFailureLacksRight
            ? "初始化数据库失败: 数据库需由本程序建立或升级, 当前账号或文件无此权限, 请先用数据库所有者账号打开一次, "
              "未做任何改动 (" +
                  error.databaseText().section(QLatin1Char('\n'), 0, 0).trimmed().toStdString() + ")"
            : m_dialect.describeError(error, "初始化数据库"));
    m_db.rollback();
    return failure;
}

// Inside prepare's transaction.
utils::RQError CCreditSchema::seedDemoData(const QDate& tradingDay)
{
    QSqlQuery broker(m_db);
    broker.prepare(QStringLiteral("INSERT INTO brokers (broker_key_no, broker_id, broker_name) VALUES (?, ?, ?)"));
    for (const CDemoData::Broker& b : CDemoData::brokers()) {
        broker.bindValue(0, b.keyNo);
        broker.bindValue(1, QString::fromStdString(b.id));
        broker.bindValue(2, QString::fromStdString(b.name));
        if (!broker.exec()) {
            return utils::RQError::failure(m_dialect.describeError(broker.lastError(), "写入示例数据"));
        }
    }
    std::vector<InstrumentRecordPtr> securities;
    if (CSecurityMasterPtr master =
            boost::dynamic_pointer_cast<CSecurityMaster>(TraderCenter::instance()->getDataCenter())) {
        securities = master->records();
    }
    CUploadWriter writer(m_db, m_dialect);
    for (const CDemoData::Upload& upload : CDemoData::uploads(tradingDay, securities)) {
        std::vector<CStkSubjectsPtr> rows;
        for (const CDemoData::Row& r : upload.rows) {
            CStkSubjectsPtr s = boost::make_shared<CStkSubjects>();
            s->exchangeName = r.exchangeName;
            s->stockCode = r.stockCode;
            s->stockName = r.stockName;
            s->ratio = r.ratio;
            rows.push_back(s);
        }
        long long id = 0;
        const utils::RQError stored =
            writer.insert(upload.brokerKeyNo, upload.date, upload.time, QStringLiteral("demo"), rows, id);
        if (!stored.isSuccess()) {
            return stored;
        }
    }
    return utils::RQError();
}

} // namespace rqservice
