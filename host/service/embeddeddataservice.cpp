#include "embeddeddataservice.h"

#include "creditqueries.h"
#include "creditschema.h"
#include "deadlinewatch.h"
#include "servicecall.h"
#include "serviceworker.h"
#include "servicelog.h"
#include "postgresdialect.h"
#include "sqlitedialect.h"
#include "uploadvalidation.h"
#include "uploadwriter.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QStandardPaths>

#include <boost/make_shared.hpp>

#include <algorithm>
#include <atomic>
#include <exception>
#include <memory>

namespace rqservice {

struct CEmbeddedDataService::Impl
{
    QString path;
    QString connection;
    // The one place that names the engine: everything below speaks through the dialect.
    std::unique_ptr<const ISqlDialect> dialectPtr;
    const ISqlDialect& dialect() const { return *dialectPtr; }
    bool ready = false; // schema checked on this connection

    // ---- service thread only below ----

    QString shownPath() const { return dialect().displayLocation(path); }

    // The connection for call, which may break it from then on.
    utils::RQError open(QSqlDatabase& db, CServiceCall& call, const standin::ServiceTimeouts& timeouts)
    {
        if (!QSqlDatabase::contains(connection)) {
            QSqlDatabase added = QSqlDatabase::addDatabase(dialect().driverName(), connection);
            added.setDatabaseName(path);
        }
        db = QSqlDatabase::database(connection, false);
        if (!db.isValid()) {
            return utils::RQError::failure("打开数据库失败: 缺少 " + dialect().engineName() + " 驱动");
        }
        if (db.isOpen()) {
            if (!call.setInterrupt(dialect().interrupter(db))) {
                return utils::RQError::failure(call.timedOutText("打开数据库"));
            }
            // A server restarted since the last request, or a connection the last call had to
            // break: this request reconnects instead of failing.
            if (!dialect().connectionAlive(db)) {
                call.clearInterrupt();
                db.close();
            }
        }
        if (!db.isOpen()) {
            // Connecting cannot be broken off: a call already answered does not start it.
            if (call.expired()) {
                return utils::RQError::failure(call.timedOutText("打开数据库"));
            }
            dialect().prepareConnection(db, path, timeouts, std::min(timeouts.connectMs, call.remainingMs()));
            if (!db.open()) {
                const utils::RQError failure = utils::RQError::failure(
                    dialect().describeError(db.lastError(), "打开数据库") + ": " + shownPath().toStdString());
                db.close();
                return failure;
            }
            ready = false;
            if (!call.setInterrupt(dialect().interrupter(db))) {
                return utils::RQError::failure(call.timedOutText("打开数据库"));
            }
        }
        dialect().limitWaits(db, call.waitMs());
        if (!ready) {
            const utils::RQError schema =
                CCreditSchema(db, dialect()).prepare(shownPath(), tradingDay(QDate::currentDate()), call.waitMs());
            if (!schema.isSuccess()) {
                return schema;
            }
            ready = true;
        }
        return utils::RQError();
    }

    utils::RQError query(const boost::shared_ptr<CVoprQueryDataReq>& request, std::vector<IDataPtr>& records,
                         CServiceCall& call, const standin::ServiceTimeouts& timeouts)
    {
        if (!request) {
            return utils::RQError::failure("查询请求为空");
        }
        if (request->queryType != eDataTypeCvionRateBaseInfo && request->queryType != eDataTypeCvionRateDetail) {
            return utils::RQError::failure("不支持的查询类型: " + std::to_string(request->queryType));
        }
        QSqlDatabase db;
        const utils::RQError opened = open(db, call, timeouts);
        if (!opened.isSuccess()) {
            return opened;
        }
        CCreditQueries queries(db, dialect());
        if (request->queryType == eDataTypeCvionRateBaseInfo) {
            return queries.summary(tradingDay(QDate::currentDate()), records);
        }
        return queries.detail(request->queryKey, records);
    }

    utils::RQError operate(const boost::shared_ptr<COperateDataReq>& request, std::string& reply, CServiceCall& call,
                           const standin::ServiceTimeouts& timeouts)
    {
        // Checked before the database is touched: a bad upload never opens or creates it.
        boost::shared_ptr<CVoprCvionRateDetail> detail;
        const utils::RQError valid = validateUpload(request, detail);
        if (!valid.isSuccess()) {
            return valid;
        }
        QSqlDatabase db;
        const utils::RQError opened = open(db, call, timeouts);
        if (!opened.isSuccess()) {
            return opened;
        }
        return CUploadWriter(db, dialect()).write(*detail, call, reply);
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

const char* queryAction(const boost::shared_ptr<CVoprQueryDataReq>& request)
{
    if (request && request->queryType == eDataTypeCvionRateBaseInfo)
        return "查询券商汇总";
    if (request && request->queryType == eDataTypeCvionRateDetail)
        return "查询折算率明细";
    return "查询";
}

} // namespace

CEmbeddedDataService::CEmbeddedDataService(const QString& databasePath, int latencyMs)
    : m_impl(boost::make_shared<Impl>())
    , m_watch(new CDeadlineWatch)
    , m_worker(new CServiceWorker("embedded-data-service", latencyMs))
{
    m_impl->path = databasePath;
    if (CPostgresDialect::isUri(databasePath)) {
        m_impl->dialectPtr = std::make_unique<CPostgresDialect>();
    } else {
        m_impl->dialectPtr = std::make_unique<CSqliteDialect>();
    }
    m_impl->connection = QStringLiteral("creditdata-%1").arg(++s_instances);
}

CEmbeddedDataService::~CEmbeddedDataService()
{
    boost::shared_ptr<Impl> impl = m_impl;
    // Behind every queued request, so they are all answered before the file closes; the watch
    // still ends any of them that is stuck.
    m_worker->post([impl] { impl->close(); });
    m_worker.reset();
    m_watch.reset();
}

void CEmbeddedDataService::query(const boost::shared_ptr<CVoprQueryDataReq>& request,
                                 const DVK::QueryCallback& callback)
{
    const standin::ServiceTimeouts timeouts = standin::serviceTimeouts();
    const auto call = boost::make_shared<CServiceCall>(timeouts.queryMs, timeouts.reserveMs);
    auto answer = [callback](const utils::RQError& error, const std::vector<IDataPtr>& records) {
        if (!error.isSuccess()) {
            serviceLogInfo("[CEmbeddedDataService] query failed:%s", error.errorMsg().c_str());
        }
        const std::string reply = "{\"count\":" + std::to_string(records.size()) + "}";
        if (callback) {
            callback(error, records, static_cast<int>(records.size()), bson::BSONObj(reply));
        }
    };
    boost::shared_ptr<Impl> impl = m_impl;
    auto task = [impl, call, timeouts, request, answer] {
        if (!call->start()) {
            return;
        }
        if (request) {
            serviceLogInfo("[CEmbeddedDataService] query:%s", request->toLog().c_str());
        }
        std::vector<IDataPtr> records;
        utils::RQError error;
        try {
            error = impl->query(request, records, *call, timeouts);
        } catch (const std::exception& e) {
            error = utils::RQError::failure(std::string("查询失败: ") + e.what());
        }
        if (!error.isSuccess()) {
            records.clear();
        }
        if (call->finish()) {
            answer(error, records);
        }
    };
    const char* action = queryAction(request);
    m_watch->arm(call->deadline(), [call, answer, action] {
        if (call->expire()) {
            answer(utils::RQError::failure(call->timedOutText(action)), std::vector<IDataPtr>());
        }
    });
    auto dropped = [call, answer] {
        if (call->start() && call->finish()) {
            answer(utils::RQError::failure("服务已停止"), std::vector<IDataPtr>());
        }
    };
    m_worker->post(task, dropped);
}

void CEmbeddedDataService::operate(const boost::shared_ptr<COperateDataReq>& request,
                                   const DVK::OperateCallback& callback)
{
    const standin::ServiceTimeouts timeouts = standin::serviceTimeouts();
    const auto call = boost::make_shared<CServiceCall>(timeouts.uploadMs, timeouts.reserveMs);
    auto answer = [callback](const utils::RQError& error, const std::string& reply) {
        if (!error.isSuccess()) {
            serviceLogInfo("[CEmbeddedDataService] operate failed:%s", error.errorMsg().c_str());
        }
        if (callback) {
            callback(error, bson::BSONObj(reply));
        }
    };
    boost::shared_ptr<Impl> impl = m_impl;
    auto task = [impl, call, timeouts, request, answer] {
        if (!call->start()) {
            return;
        }
        if (request) {
            serviceLogInfo("[CEmbeddedDataService] operate:%s", request->toLog().c_str());
        }
        std::string reply;
        utils::RQError error;
        try {
            error = impl->operate(request, reply, *call, timeouts);
        } catch (const std::exception& e) {
            error = utils::RQError::failure(std::string("保存失败: ") + e.what());
        }
        if (call->finish()) {
            answer(error, reply);
        }
    };
    m_watch->arm(call->deadline(), [call, answer] {
        if (call->expire()) {
            answer(utils::RQError::failure(call->timedOutText("保存上传数据")), std::string());
        }
    });
    auto dropped = [call, answer] {
        if (call->start() && call->finish()) {
            answer(utils::RQError::failure("服务已停止"), std::string());
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

void CEmbeddedDataService::waitIdle()
{
    m_worker->waitIdle();
    // A call the watch ended may still be answering there.
    m_watch->waitIdle();
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
