#include "embeddeddataservice.h"

#include "brokerkey.h"
#include "demodata.h"
#include "securitymaster.h"
#include "serviceworker.h"
#include "servicelog.h"
#include "sqlerrortext.h"
#include "uploadvalidation.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QStringList>
#include <QVariant>

#include <boost/make_shared.hpp>

#include <atomic>
#include <cmath>
#include <exception>

namespace rqservice {

namespace {

const int kSchemaVersion = 1;

std::string fieldText(const QVariant& value)
{
    return value.toString().toStdString();
}

QString qs(const std::string& text)
{
    return QString::fromUtf8(text.data(), static_cast<int>(text.size()));
}

struct BrokerRow
{
    int keyNo = -1;
    std::string id;
    std::string name;
};

} // namespace

struct CEmbeddedDataService::Impl
{
    QString path;
    QString connection;
    std::atomic<int> busyTimeoutMs{2000};
    bool ready = false; // schema checked on this connection

    // ---- service thread only below ----

    utils::RQError open(QSqlDatabase& db)
    {
        if (!QSqlDatabase::contains(connection)) {
            QSqlDatabase added = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
            added.setDatabaseName(path);
        }
        db = QSqlDatabase::database(connection, false);
        if (!db.isValid()) {
            return utils::RQError::failure("打开数据库失败: 缺少 SQLite 驱动");
        }
        if (!db.isOpen()) {
            db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(busyTimeoutMs.load()));
            QDir().mkpath(QFileInfo(path).absolutePath());
            if (!db.open()) {
                return utils::RQError::failure(describeSqlError(db.lastError(), "打开数据库") + ": " +
                                               path.toStdString());
            }
            ready = false;
        }
        if (!ready) {
            const utils::RQError schema = prepareSchema(db);
            if (!schema.isSuccess()) {
                return schema;
            }
            ready = true;
        }
        return utils::RQError();
    }

    utils::RQError prepareSchema(QSqlDatabase& db)
    {
        {
            QSqlQuery q(db);
            // Also the first read of the file: a file that is no database fails here.
            if (!q.exec(QStringLiteral("PRAGMA user_version")) || !q.next()) {
                return utils::RQError::failure(describeSqlError(q.lastError(), "读取数据库"));
            }
            const int version = q.value(0).toInt();
            q.finish();
            // Another program's database is refused, never adopted: not one byte of it changes.
            const utils::RQError foreign = refuseForeignTables(q);
            if (!foreign.isSuccess()) {
                return foreign;
            }
            if (version >= kSchemaVersion) {
                // Nothing to write, so a read-only file can still be read.
                return utils::RQError();
            }
        }
        if (!db.transaction()) {
            return utils::RQError::failure(describeSqlError(db.lastError(), "初始化数据库"));
        }
        QSqlQuery q(db);
        const char* const statements[] = {
            "CREATE TABLE IF NOT EXISTS brokers ("
            " broker_key_no INTEGER PRIMARY KEY,"
            " broker_id TEXT NOT NULL,"
            " broker_name TEXT NOT NULL)",
            "CREATE TABLE IF NOT EXISTS uploads ("
            " id INTEGER PRIMARY KEY AUTOINCREMENT,"
            " broker_key_no INTEGER NOT NULL REFERENCES brokers(broker_key_no),"
            " upload_date TEXT NOT NULL,"
            " upload_time TEXT NOT NULL)",
            "CREATE INDEX IF NOT EXISTS uploads_by_broker ON uploads(broker_key_no, id)",
            "CREATE TABLE IF NOT EXISTS ratios ("
            " upload_id INTEGER NOT NULL REFERENCES uploads(id),"
            " line_no INTEGER NOT NULL,"
            " exchange_name TEXT NOT NULL,"
            " stock_code TEXT NOT NULL,"
            " stock_name TEXT NOT NULL,"
            " ratio REAL NOT NULL,"
            " PRIMARY KEY (upload_id, line_no))",
        };
        for (const char* sql : statements) {
            if (!q.exec(QString::fromLatin1(sql))) {
                return failSchema(db, q.lastError());
            }
        }
        if (!q.exec(QStringLiteral("SELECT count(*) FROM brokers")) || !q.next()) {
            return failSchema(db, q.lastError());
        }
        const bool empty = q.value(0).toInt() == 0;
        q.finish();
        if (empty) {
            const utils::RQError seeded = seedDemoData(db);
            if (!seeded.isSuccess()) {
                db.rollback();
                return seeded;
            }
        }
        if (!q.exec(QStringLiteral("PRAGMA user_version = %1").arg(kSchemaVersion))) {
            return failSchema(db, q.lastError());
        }
        if (!db.commit()) {
            return failSchema(db, db.lastError());
        }
        return utils::RQError();
    }

    utils::RQError refuseForeignTables(QSqlQuery& q)
    {
        if (!q.exec(QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE 'sqlite%'"))) {
            return utils::RQError::failure(describeSqlError(q.lastError(), "读取数据库"));
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
        return utils::RQError::failure("打开数据库失败: " + path.toStdString() +
                                       " 不是本程序的数据库 (含有其他数据表: " +
                                       strangers.join(QStringLiteral(", ")).toStdString() +
                                       "), 未做任何改动, 请换一个数据库文件");
    }

    utils::RQError failSchema(QSqlDatabase& db, const QSqlError& error)
    {
        const utils::RQError failure = utils::RQError::failure(describeSqlError(error, "初始化数据库"));
        db.rollback();
        return failure;
    }

    utils::RQError seedDemoData(QSqlDatabase& db)
    {
        QSqlQuery broker(db);
        broker.prepare(QStringLiteral("INSERT INTO brokers (broker_key_no, broker_id, broker_name) VALUES (?, ?, ?)"));
        for (const CDemoData::Broker& b : CDemoData::brokers()) {
            broker.bindValue(0, b.keyNo);
            broker.bindValue(1, qs(b.id));
            broker.bindValue(2, qs(b.name));
            if (!broker.exec()) {
                return utils::RQError::failure(describeSqlError(broker.lastError(), "写入示例数据"));
            }
        }
        std::vector<InstrumentRecordPtr> securities;
        if (CSecurityMasterPtr master =
                boost::dynamic_pointer_cast<CSecurityMaster>(TraderCenter::instance()->getDataCenter())) {
            securities = master->records();
        }
        for (const CDemoData::Upload& upload :
             CDemoData::uploads(tradingDay(QDate::currentDate()), securities)) {
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
            const utils::RQError stored = insertUpload(db, upload.brokerKeyNo, upload.date, upload.time, rows, id);
            if (!stored.isSuccess()) {
                return stored;
            }
        }
        return utils::RQError();
    }

    // Inside the caller's transaction.
    utils::RQError insertUpload(QSqlDatabase& db, int brokerKeyNo, const QString& date, const QString& time,
                                const std::vector<CStkSubjectsPtr>& rows, long long& uploadId)
    {
        QSqlQuery q(db);
        q.prepare(QStringLiteral("INSERT INTO uploads (broker_key_no, upload_date, upload_time) VALUES (?, ?, ?)"));
        q.bindValue(0, brokerKeyNo);
        q.bindValue(1, date);
        q.bindValue(2, time);
        if (!q.exec()) {
            return utils::RQError::failure(describeSqlError(q.lastError(), "保存上传记录"));
        }
        uploadId = q.lastInsertId().toLongLong();
        QSqlQuery row(db);
        row.prepare(QStringLiteral("INSERT INTO ratios (upload_id, line_no, exchange_name, stock_code, stock_name, "
                                   "ratio) VALUES (?, ?, ?, ?, ?, ?)"));
        int lineNo = 0;
        for (const CStkSubjectsPtr& s : rows) {
            if (!s) {
                continue;
            }
            row.bindValue(0, uploadId);
            row.bindValue(1, ++lineNo);
            row.bindValue(2, qs(s->exchangeName));
            row.bindValue(3, qs(s->stockCode));
            row.bindValue(4, qs(s->stockName));
            row.bindValue(5, s->ratio);
            if (!row.exec()) {
                return utils::RQError::failure(describeSqlError(row.lastError(), "保存折算率"));
            }
        }
        return utils::RQError();
    }

    // keyNo -1 means "the broker with this id", when exactly one has it.
    utils::RQError findBroker(QSqlDatabase& db, int keyNo, const std::string& id, BrokerRow& broker)
    {
        QSqlQuery q(db);
        if (keyNo == -1) {
            q.prepare(QStringLiteral("SELECT broker_key_no, broker_id, broker_name FROM brokers WHERE broker_id = ? "
                                     "ORDER BY broker_key_no LIMIT 2"));
            q.bindValue(0, qs(id));
        } else {
            q.prepare(QStringLiteral("SELECT broker_key_no, broker_id, broker_name FROM brokers "
                                     "WHERE broker_key_no = ? AND broker_id = ?"));
            q.bindValue(0, keyNo);
            q.bindValue(1, qs(id));
        }
        if (!q.exec()) {
            return utils::RQError::failure(describeSqlError(q.lastError(), "查询券商"));
        }
        const std::string key = CBrokerKey{keyNo, id}.toString();
        if (!q.next()) {
            return utils::RQError::failure("未找到券商: " + key);
        }
        broker.keyNo = q.value(0).toInt();
        broker.id = fieldText(q.value(1));
        broker.name = fieldText(q.value(2));
        if (q.next()) {
            return utils::RQError::failure("券商代码不唯一, 请指定券商编号: " + key);
        }
        return utils::RQError();
    }

    utils::RQError querySummary(QSqlDatabase& db, std::vector<IDataPtr>& records)
    {
        QSqlQuery q(db);
        if (!q.exec(QStringLiteral("SELECT b.broker_key_no, b.broker_id, b.broker_name, u.id, u.upload_date "
                                   "FROM brokers b LEFT JOIN uploads u ON u.broker_key_no = b.broker_key_no "
                                   "ORDER BY b.broker_key_no, u.id"))) {
            return utils::RQError::failure(describeSqlError(q.lastError(), "查询券商汇总"));
        }
        const std::string today = tradingDay(QDate::currentDate()).toString(QStringLiteral("yyyyMMdd")).toStdString();
        while (q.next()) {
            boost::shared_ptr<CVoprCvionRateBaseInfo> r = boost::make_shared<CVoprCvionRateBaseInfo>();
            r->brokerKeyNo = q.value(0).toInt();
            r->brokerId = fieldText(q.value(1));
            r->brokerName = fieldText(q.value(2));
            r->tradingDay = today;
            if (!q.value(3).isNull()) {
                r->uploadId = q.value(3).toLongLong();
                r->lastUploadDate = fieldText(q.value(4));
            }
            records.push_back(r);
        }
        if (q.lastError().isValid()) {
            records.clear();
            return utils::RQError::failure(describeSqlError(q.lastError(), "查询券商汇总"));
        }
        return utils::RQError();
    }

    utils::RQError queryDetail(QSqlDatabase& db, const std::string& key, std::vector<IDataPtr>& records)
    {
        CBrokerKey parsed;
        if (!CBrokerKey::parse(key, parsed)) {
            return utils::RQError::failure("查询条件格式错误: \"" + key + "\", 应为 券商编号____券商代码");
        }
        BrokerRow broker;
        const utils::RQError found = findBroker(db, parsed.brokerKeyNo, parsed.brokerId, broker);
        if (!found.isSuccess()) {
            return found;
        }
        boost::shared_ptr<CVoprCvionRateDetail> detail = boost::make_shared<CVoprCvionRateDetail>();
        detail->brokerKeyNo = broker.keyNo;
        detail->brokerId = broker.id;
        detail->brokerName = broker.name;
        QSqlQuery q(db);
        // One statement, so a concurrent upload is seen whole or not at all.
        q.prepare(QStringLiteral("SELECT line_no, exchange_name, stock_code, stock_name, ratio FROM ratios "
                                 "WHERE upload_id = (SELECT max(id) FROM uploads WHERE broker_key_no = ?) "
                                 "ORDER BY line_no"));
        q.bindValue(0, broker.keyNo);
        if (!q.exec()) {
            return utils::RQError::failure(describeSqlError(q.lastError(), "查询折算率明细"));
        }
        while (q.next()) {
            CStkSubjectsPtr s = boost::make_shared<CStkSubjects>();
            s->brokerKeyNo = broker.keyNo;
            s->brokerId = broker.id;
            s->brokerName = broker.name;
            s->lineNo = q.value(0).toInt();
            s->exchangeName = fieldText(q.value(1));
            s->stockCode = fieldText(q.value(2));
            s->stockName = fieldText(q.value(3));
            s->ratio = q.value(4).toDouble();
            detail->subjects.push_back(s);
        }
        if (q.lastError().isValid()) {
            return utils::RQError::failure(describeSqlError(q.lastError(), "查询折算率明细"));
        }
        records.push_back(detail);
        return utils::RQError();
    }

    utils::RQError query(const boost::shared_ptr<CVoprQueryDataReq>& request, std::vector<IDataPtr>& records)
    {
        if (!request) {
            return utils::RQError::failure("查询请求为空");
        }
        if (request->queryType != eDataTypeCvionRateBaseInfo && request->queryType != eDataTypeCvionRateDetail) {
            return utils::RQError::failure("不支持的查询类型: " + std::to_string(request->queryType));
        }
        QSqlDatabase db;
        const utils::RQError opened = open(db);
        if (!opened.isSuccess()) {
            return opened;
        }
        if (request->queryType == eDataTypeCvionRateBaseInfo) {
            return querySummary(db, records);
        }
        return queryDetail(db, request->queryKey, records);
    }

    utils::RQError operate(const boost::shared_ptr<COperateDataReq>& request, std::string& reply)
    {
        boost::shared_ptr<CVoprCvionRateDetail> detail;
        const utils::RQError valid = validateUpload(request, detail);
        if (!valid.isSuccess()) {
            return valid;
        }
        QSqlDatabase db;
        const utils::RQError opened = open(db);
        if (!opened.isSuccess()) {
            return opened;
        }
        BrokerRow broker;
        const utils::RQError found = findBroker(db, detail->brokerKeyNo, detail->brokerId, broker);
        if (!found.isSuccess()) {
            return found;
        }
        if (!db.transaction()) {
            return utils::RQError::failure(describeSqlError(db.lastError(), "保存上传数据"));
        }
        const QDateTime now = QDateTime::currentDateTime();
        long long uploadId = 0;
        utils::RQError stored = insertUpload(db, broker.keyNo, now.toString(QStringLiteral("yyyyMMdd")),
                                             now.toString(QStringLiteral("HHmmss")), detail->subjects, uploadId);
        if (stored.isSuccess() && !db.commit()) {
            stored = utils::RQError::failure(describeSqlError(db.lastError(), "保存上传数据"));
        }
        if (!stored.isSuccess()) {
            db.rollback();
            return stored;
        }
        reply = "{\"uploadId\":" + std::to_string(uploadId) + ",\"brokerKeyNo\":" + std::to_string(broker.keyNo) + "}";
        serviceLogInfo("[CEmbeddedDataService] stored upload %lld of broker %s", uploadId,
                       CBrokerKey{broker.keyNo, broker.id}.toString().c_str());
        return utils::RQError();
    }

    void close()
    {
        if (QSqlDatabase::contains(connection)) {
            {
                QSqlDatabase db = QSqlDatabase::database(connection, false);
                db.close();
            }
            QSqlDatabase::removeDatabase(connection);
        }
        ready = false;
    }
};

namespace {
std::atomic<int> s_instances{0};
}

CEmbeddedDataService::CEmbeddedDataService(const QString& databasePath, int latencyMs)
    : m_impl(boost::make_shared<Impl>())
    , m_worker(new CServiceWorker("embedded-data-service", latencyMs))
{
    m_impl->path = databasePath;
    m_impl->connection = QStringLiteral("creditdata-%1").arg(++s_instances);
}

CEmbeddedDataService::~CEmbeddedDataService()
{
    boost::shared_ptr<Impl> impl = m_impl;
    // Behind every queued request, so they are all answered before the file closes.
    m_worker->post([impl] { impl->close(); });
    m_worker.reset();
}

void CEmbeddedDataService::query(const boost::shared_ptr<CVoprQueryDataReq>& request,
                                 const DVK::QueryCallback& callback)
{
    boost::shared_ptr<Impl> impl = m_impl;
    auto task = [impl, request, callback] {
        if (request) {
            serviceLogInfo("[CEmbeddedDataService] query:%s", request->toLog().c_str());
        }
        std::vector<IDataPtr> records;
        utils::RQError error;
        try {
            error = impl->query(request, records);
        } catch (const std::exception& e) {
            error = utils::RQError::failure(std::string("查询失败: ") + e.what());
        }
        if (!error.isSuccess()) {
            records.clear();
            serviceLogInfo("[CEmbeddedDataService] query failed:%s", error.errorMsg().c_str());
        }
        const std::string reply = "{\"count\":" + std::to_string(records.size()) + "}";
        if (callback) {
            callback(error, records, static_cast<int>(records.size()), bson::BSONObj(reply));
        }
    };
    auto dropped = [callback] {
        if (callback) {
            callback(utils::RQError::failure("服务已停止"), std::vector<IDataPtr>(), 0, bson::BSONObj());
        }
    };
    m_worker->post(task, dropped);
}

void CEmbeddedDataService::operate(const boost::shared_ptr<COperateDataReq>& request,
                                   const DVK::OperateCallback& callback)
{
    boost::shared_ptr<Impl> impl = m_impl;
    auto task = [impl, request, callback] {
        if (request) {
            serviceLogInfo("[CEmbeddedDataService] operate:%s", request->toLog().c_str());
        }
        std::string reply;
        utils::RQError error;
        try {
            error = impl->operate(request, reply);
        } catch (const std::exception& e) {
            error = utils::RQError::failure(std::string("保存失败: ") + e.what());
        }
        if (!error.isSuccess()) {
            serviceLogInfo("[CEmbeddedDataService] operate failed:%s", error.errorMsg().c_str());
        }
        if (callback) {
            callback(error, bson::BSONObj(reply));
        }
    };
    auto dropped = [callback] {
        if (callback) {
            callback(utils::RQError::failure("服务已停止"), bson::BSONObj());
        }
    };
    m_worker->post(task, dropped);
}

QString CEmbeddedDataService::databasePath() const
{
    return m_impl->path;
}

void CEmbeddedDataService::setLatencyMs(int ms)
{
    m_worker->setLatencyMs(ms);
}

void CEmbeddedDataService::setBusyTimeoutMs(int ms)
{
    m_impl->busyTimeoutMs = ms > 0 ? ms : 0;
}

void CEmbeddedDataService::waitIdle()
{
    m_worker->waitIdle();
}

QString CEmbeddedDataService::defaultDatabasePath()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + QStringLiteral("/creditdata.sqlite");
}

QDate CEmbeddedDataService::tradingDay(const QDate& today)
{
    QDate day = today;
    while (day.isValid() && day.dayOfWeek() > 5) {
        day = day.addDays(-1);
    }
    return day;
}

} // namespace rqservice
