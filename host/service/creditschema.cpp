#include "creditschema.h"

#include "demodata.h"
#include "securitymaster.h"
#include "sqldialect.h"
#include "uploadwriter.h"

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

utils::RQError CCreditSchema::prepare(const QString& location, const QDate& tradingDay)
{
    {
        QSqlQuery q(m_db);
        int version = 0;
        if (!m_dialect.readSchemaVersion(q, version)) {
            return utils::RQError::failure(m_dialect.describeError(q.lastError(), "读取数据库"));
        }
        // Another program's database is refused, never adopted: not one byte of it changes.
        const utils::RQError foreign = refuseForeignTables(location);
        if (!foreign.isSuccess()) {
            return foreign;
        }
        if (version > kVersion) {
            return refuseNewer(location, version);
        }
        if (version == kVersion) {
            // Nothing to write, so a read-only file can still be read.
            return utils::RQError();
        }
    }
    QSqlError lockError;
    if (!m_dialect.beginWrite(m_db, lockError)) {
        return utils::RQError::failure(m_dialect.describeError(lockError, "初始化数据库"));
    }
    QSqlQuery q(m_db);
    // Another program may have prepared the database while this one waited for the lock.
    int version = 0;
    if (!m_dialect.readSchemaVersion(q, version)) {
        return fail(q.lastError());
    }
    if (version >= kVersion) {
        m_db.rollback();
        return version > kVersion ? refuseNewer(location, version) : utils::RQError();
    }
    for (const QString& sql : m_dialect.createTablesSql()) {
        if (!q.exec(sql)) {
            return fail(q.lastError());
        }
    }
    if (!q.exec(QStringLiteral("SELECT count(*) FROM brokers")) || !q.next()) {
        return fail(q.lastError());
    }
    const bool empty = q.value(0).toInt() == 0;
    q.finish();
    if (empty) {
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
    return utils::RQError();
}

utils::RQError CCreditSchema::refuseForeignTables(const QString& location)
{
    QSqlQuery q(m_db);
    if (!q.exec(m_dialect.tableNamesSql())) {
        return utils::RQError::failure(m_dialect.describeError(q.lastError(), "读取数据库"));
    }
    static const QStringList ours{QStringLiteral("brokers"), QStringLiteral("uploads"), QStringLiteral("ratios")};
    QStringList strangers;
    while (q.next()) {
        const QString name = q.value(0).toString();
        if (!ours.contains(name)) {
            strangers << name;
        }
    }
    q.finish();
    if (strangers.isEmpty()) {
        return utils::RQError();
    }
    return utils::RQError::failure(
        "打开数据库失败: " + location.toStdString() + " 不是本程序的数据库 (含有其他数据表: " +
        strangers.join(QStringLiteral(", ")).toStdString() + "), 未做任何改动, 请换一个数据库文件");
}

utils::RQError CCreditSchema::refuseNewer(const QString& location, int version)
{
    return utils::RQError::failure("打开数据库失败: " + location.toStdString() + " 由更新版本的程序写入 (数据库版本 " +
                                   std::to_string(version) + ", 本程序支持到版本 " + std::to_string(kVersion) +
                                   "), 未做任何改动, 请升级本程序");
}

utils::RQError CCreditSchema::fail(const QSqlError& error)
{
    const utils::RQError failure = utils::RQError::failure(m_dialect.describeError(error, "初始化数据库"));
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
        const utils::RQError stored = writer.insert(upload.brokerKeyNo, upload.date, upload.time, rows, id);
        if (!stored.isSuccess()) {
            return stored;
        }
    }
    return utils::RQError();
}

} // namespace rqservice
