#include "embeddeddataservice.h"

#include "brokerkey.h"
#include "creditqueries.h"
#include "creditschema.h"
#include "deadlinewatch.h"
#include "servicecall.h"
#include "serviceworker.h"
#include "hostlog.h"
#include "postgresdialect.h"
#include "postgreslocation.h"
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
    bool readOnly = false;
    bool ready = false; // schema checked on this connection
    int version = 0;    // the schema version of the database, once ready

    // ---- service thread only below ----

    QString shownPath() const { return standin::maskedDatabaseLocation(path); }

    // The connection for call, which may break it from then on.
    utils::RQError open(QSqlDatabase& db, CServiceCall& call, const standin::ServiceTimeouts& timeouts)
    {
        // Nothing is made for an address of another kind: no file, no folder.
        if (CPostgresLocation::isUnknownScheme(path)) {
            return utils::RQError::failure(
                "打开数据库失败: unknown database address " + shownPath().toStdString() +
                " (只支持 postgresql:// 或 postgres:// 地址, 或数据库文件的路径), 未做任何改动");
        }
        if (CPostgresLocation::isUri(path)) {
            const QString refused = CPostgresLocation(path).error();
            if (!refused.isEmpty())
                return utils::RQError::failure("打开数据库失败: " + refused.toStdString() + ": " +
                                               shownPath().toStdString());
        }
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
            dialect().prepareConnection(db, path, timeouts, std::min(timeouts.connectMs, call.remainingMs()), readOnly);
            if (!db.open() || !dialect().configure(db)) {
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
                CCreditSchema(db, dialect())
                    .prepare(shownPath(), tradingDay(QDate::currentDate()), call.waitMs(), readOnly, version);
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
        serviceLogInfo("[CEmbeddedDataService] query:%s", request->toLog().c_str());
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

    utils::RQError operate(const boost::shared_ptr<COperateDataReq>& request, const QString& user, std::string& reply,
                           CServiceCall& call, const standin::ServiceTimeouts& timeouts)
    {
        if (request) {
            serviceLogInfo("[CEmbeddedDataService] operate:%s", request->toLog().c_str());
        }
        // Checked before the database is touched: a bad upload never opens or creates it.
        boost::shared_ptr<CVoprCvionRateDetail> detail;
        const utils::RQError valid = validateUpload(request, detail);
        if (!valid.isSuccess()) {
            return valid;
        }
        if (readOnly) {
            return utils::RQError::failure("无权上传: 数据库以只读方式打开, 未做任何改动");
        }
        QSqlDatabase db;
        const utils::RQError opened = open(db, call, timeouts);
        if (!opened.isSuccess()) {
            return opened;
        }
        if (version < CCreditSchema::kVersion) {
            return utils::RQError::failure("保存上传数据失败: 数据库为旧版本 (版本 " + std::to_string(version) +
                                           "), 需由数据库所有者账号打开一次完成升级后才能上传, 未做任何改动");
        }
        return CUploadWriter(db, dialect()).write(*detail, user, 0, call, reply);
    }

    // Upload uploadId of the broker of key again, as a new upload through the same write path.
    utils::RQError restore(const std::string& key, long long uploadId, const QString& user, std::string& reply,
                           CServiceCall& call, const standin::ServiceTimeouts& timeouts)
    {
        if (readOnly) {
            return utils::RQError::failure("无权上传: 数据库以只读方式打开, 未做任何改动");
        }
        QSqlDatabase db;
        utils::RQError error = open(db, call, timeouts);
        CCreditQueries::Broker found;
        if (error.isSuccess())
            error = broker(db, key, found);
        std::vector<CStkSubjectsPtr> rows;
        if (error.isSuccess())
            error = CCreditQueries(db, dialect()).uploadRows(found, uploadId, rows);
        if (!error.isSuccess())
            return error;
        if (rows.empty()) {
            return utils::RQError::failure("恢复失败: 该券商没有编号为 " + std::to_string(uploadId) +
                                           " 的上传, 未做任何改动");
        }
        if (version < CCreditSchema::kVersion) {
            return utils::RQError::failure("恢复失败: 数据库为旧版本 (版本 " + std::to_string(version) +
                                           "), 需由数据库所有者账号打开一次完成升级, 未做任何改动");
        }
        auto detail = boost::make_shared<CVoprCvionRateDetail>();
        detail->brokerKeyNo = found.keyNo;
        detail->brokerId = found.id;
        detail->brokerName = found.name;
        detail->subjects = rows;
        // Rows stored before every rule held are checked like any upload's.
        auto request = boost::make_shared<COperateDataReq>();
        request->dataType = eDataTypeCvionRateDetail;
        request->operateType = 2;
        request->dataList.push_back(detail);
        boost::shared_ptr<CVoprCvionRateDetail> checked;
        const utils::RQError valid = validateUpload(request, checked);
        if (!valid.isSuccess())
            return valid;
        return CUploadWriter(db, dialect()).write(*checked, user, uploadId, call, reply);
    }

    // The broker named by key, on an open database.
    utils::RQError broker(QSqlDatabase& db, const std::string& key, CCreditQueries::Broker& found)
    {
        CBrokerKey parsed;
        if (unstorable(key) || !CBrokerKey::parse(key, parsed)) {
            return utils::RQError::failure("查询条件格式错误, 应为 券商编号____券商代码");
        }
        return CCreditQueries(db, dialect()).findBroker(parsed.brokerKeyNo, parsed.brokerId, found);
    }

    utils::RQError history(const std::string& key, int count, UploadHistory& history, CServiceCall& call,
                           const standin::ServiceTimeouts& timeouts)
    {
        QSqlDatabase db;
        utils::RQError error = open(db, call, timeouts);
        CCreditQueries::Broker found;
        if (error.isSuccess())
            error = broker(db, key, found);
        if (!error.isSuccess())
            return error;
        history.brokerKeyNo = found.keyNo;
        history.brokerId = found.id;
        history.brokerName = found.name;
        history.accounts =
            CPostgresLocation::isUri(path) ? UploadHistory::eDatabaseAccounts : UploadHistory::eSystemAccounts;
        return CCreditQueries(db, dialect()).history(found.keyNo, count, version, history.uploads);
    }

    utils::RQError uploadRows(const std::string& key, long long uploadId, std::vector<CStkSubjectsPtr>& rows,
                              CServiceCall& call, const standin::ServiceTimeouts& timeouts)
    {
        QSqlDatabase db;
        utils::RQError error = open(db, call, timeouts);
        CCreditQueries::Broker found;
        if (error.isSuccess())
            error = broker(db, key, found);
        return error.isSuccess() ? CCreditQueries(db, dialect()).uploadRows(found, uploadId, rows) : error;
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

CEmbeddedDataService::CEmbeddedDataService(const QString& databasePath, int latencyMs, EAccess access)
    : m_impl(boost::make_shared<Impl>())
    , m_watch(new CDeadlineWatch)
    , m_worker(new CServiceWorker("embedded-data-service", latencyMs))
{
    m_impl->path = databasePath;
    m_impl->readOnly = access == EAccess::ReadOnly;
    if (CPostgresLocation::isUri(databasePath)) {
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

template <class Result, class Work, class Answer>
void CEmbeddedDataService::run(int budgetMs, const char* action, Work work, Answer answer)
{
    const standin::ServiceTimeouts timeouts = standin::serviceTimeouts();
    const auto call = boost::make_shared<CServiceCall>(budgetMs, timeouts.reserveMs);
    boost::shared_ptr<Impl> impl = m_impl;
    auto task = [impl, call, timeouts, work, answer, action] {
        if (!call->start()) {
            return;
        }
        Result result{};
        utils::RQError error;
        try {
            error = work(*impl, result, *call, timeouts);
        } catch (const std::exception& e) {
            error = utils::RQError::failure(std::string(action) + "失败: " + e.what());
        }
        if (!error.isSuccess()) {
            result = Result();
        }
        if (call->finish()) {
            answer(error, result);
        }
    };
    // The watch answers a call still running at its deadline and breaks off its statement.
    m_watch->arm(call->deadline(), [call, answer, action] {
        if (call->expire()) {
            answer(utils::RQError::failure(call->timedOutText(action)), Result());
        }
    });
    auto dropped = [call, answer] {
        if (call->start() && call->finish()) {
            answer(utils::RQError::failure("服务已停止"), Result());
        }
    };
    m_worker->post(task, dropped);
}

void CEmbeddedDataService::query(const boost::shared_ptr<CVoprQueryDataReq>& request,
                                 const DVK::QueryCallback& callback)
{
    auto answer = [callback](const utils::RQError& error, const std::vector<IDataPtr>& records) {
        if (!error.isSuccess()) {
            serviceLogInfo("[CEmbeddedDataService] query failed:%s", error.errorMsg().c_str());
        }
        const std::string reply = "{\"count\":" + std::to_string(records.size()) + "}";
        if (callback) {
            callback(error, records, static_cast<int>(records.size()), bson::BSONObj(reply));
        }
    };
    run<std::vector<IDataPtr>>(
        standin::serviceTimeouts().queryMs, queryAction(request),
        [request](Impl& impl, std::vector<IDataPtr>& records, CServiceCall& c, const standin::ServiceTimeouts& t) {
            return impl.query(request, records, c, t);
        },
        answer);
}

void CEmbeddedDataService::operate(const boost::shared_ptr<COperateDataReq>& request,
                                   const DVK::OperateCallback& callback)
{
    auto answer = [callback](const utils::RQError& error, const std::string& reply) {
        if (!error.isSuccess()) {
            serviceLogInfo("[CEmbeddedDataService] operate failed:%s", error.errorMsg().c_str());
        }
        if (callback) {
            callback(error, bson::BSONObj(reply));
        }
    };
    // Who sends it is asked when it is sent, as the client's user manager knows it then.
    const QString user = standin::userName();
    run<std::string>(
        standin::serviceTimeouts().uploadMs, "保存上传数据",
        [request, user](Impl& impl, std::string& reply, CServiceCall& c, const standin::ServiceTimeouts& t) {
            return impl.operate(request, user, reply, c, t);
        },
        answer);
}

void CEmbeddedDataService::history(const std::string& key, int count, const HistoryCallback& callback)
{
    run<UploadHistory>(
        standin::serviceTimeouts().queryMs, "查询上传记录",
        [key, count](Impl& impl, UploadHistory& history, CServiceCall& c, const standin::ServiceTimeouts& t) {
            return impl.history(key, count, history, c, t);
        },
        [callback](const utils::RQError& error, const UploadHistory& history) {
            if (callback)
                callback(error, history);
        });
}

void CEmbeddedDataService::restore(const std::string& key, long long uploadId, const RestoreCallback& callback)
{
    const QString user = standin::userName();
    run<std::string>(
        standin::serviceTimeouts().uploadMs, "恢复上传",
        [key, uploadId, user](Impl& impl, std::string& reply, CServiceCall& c, const standin::ServiceTimeouts& t) {
            return impl.restore(key, uploadId, user, reply, c, t);
        },
        [callback](const utils::RQError& error, const std::string& reply) {
            if (callback)
                callback(error, reply);
        });
}

void CEmbeddedDataService::uploadRows(const std::string& key, long long uploadId, const RowsCallback& callback)
{
    run<std::vector<CStkSubjectsPtr>>(
        standin::serviceTimeouts().queryMs, "查询折算率明细",
        [key, uploadId](Impl& impl, std::vector<CStkSubjectsPtr>& rows, CServiceCall& c,
                        const standin::ServiceTimeouts& t) { return impl.uploadRows(key, uploadId, rows, c, t); },
        [callback](const utils::RQError& error, const std::vector<CStkSubjectsPtr>& rows) {
            if (callback)
                callback(error, rows);
        });
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

bool CEmbeddedDataService::isServerLocation(const QString& location)
{
    return CPostgresLocation::isUri(location) || CPostgresLocation::isUnknownScheme(location);
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
