#include "scriptedservice.h"

#include "serviceworker.h"

#include <boost/make_shared.hpp>

namespace testsupport {

namespace {

// What tasks on the service thread touch; shared so it outlives the service if a callback
// drops the last reference to it.
struct Delivery
{
    mutable boost::mutex mutex;
    std::vector<boost::thread::id> threads;

    void record()
    {
        boost::mutex::scoped_lock lock(mutex);
        threads.push_back(boost::this_thread::get_id());
    }
};

} // namespace

struct CScriptedService::Private
{
    mutable boost::mutex mutex;
    std::deque<ScriptedAnswer> queryAnswers;
    std::deque<utils::RQError> operateAnswers;
    bool holding = false;
    std::deque<DVK::QueryCallback> heldQueries;
    std::deque<DVK::OperateCallback> heldOperates;
    std::vector<boost::shared_ptr<rqservice::CVoprQueryDataReq>> queries;
    std::vector<boost::shared_ptr<rqservice::COperateDataReq>> operations;
    boost::shared_ptr<Delivery> delivery = boost::make_shared<Delivery>();
    std::unique_ptr<CServiceWorker> worker{new CServiceWorker("scripted-service")};

    void deliverQuery(const DVK::QueryCallback& callback, const ScriptedAnswer& answer)
    {
        boost::shared_ptr<Delivery> shared = delivery;
        auto task = [shared, callback, answer] {
            shared->record();
            if (callback) {
                callback(answer.error, answer.records, static_cast<int>(answer.records.size()), bson::BSONObj());
            }
        };
        worker->post(task, task);
    }

    void deliverOperate(const DVK::OperateCallback& callback, const utils::RQError& error)
    {
        boost::shared_ptr<Delivery> shared = delivery;
        auto task = [shared, callback, error] {
            shared->record();
            if (callback) {
                callback(error, bson::BSONObj());
            }
        };
        worker->post(task, task);
    }
};

CScriptedService::CScriptedService()
    : d(new Private)
{
}

CScriptedService::~CScriptedService()
{
    // A request the test never released still gets its one answer.
    std::deque<DVK::QueryCallback> queries;
    std::deque<DVK::OperateCallback> operates;
    {
        boost::mutex::scoped_lock lock(d->mutex);
        queries.swap(d->heldQueries);
        operates.swap(d->heldOperates);
    }
    for (const DVK::QueryCallback& callback : queries) {
        d->deliverQuery(callback, ScriptedAnswer{utils::RQError::failure("服务已停止"), {}});
    }
    for (const DVK::OperateCallback& callback : operates) {
        d->deliverOperate(callback, utils::RQError::failure("服务已停止"));
    }
    d->worker.reset();
}

boost::shared_ptr<CScriptedService> CScriptedService::install()
{
    boost::shared_ptr<CScriptedService> service = boost::make_shared<CScriptedService>();
    utils::CSingletonT<DVK::CVoprClientCenter>::instance()->setBackend(service);
    return service;
}

void CScriptedService::query(const boost::shared_ptr<rqservice::CVoprQueryDataReq>& request,
                             const DVK::QueryCallback& callback)
{
    ScriptedAnswer answer;
    {
        boost::mutex::scoped_lock lock(d->mutex);
        d->queries.push_back(request);
        if (d->holding) {
            d->heldQueries.push_back(callback);
            return;
        }
        if (!d->queryAnswers.empty()) {
            answer = d->queryAnswers.front();
            d->queryAnswers.pop_front();
        }
    }
    d->deliverQuery(callback, answer);
}

void CScriptedService::operate(const boost::shared_ptr<rqservice::COperateDataReq>& request,
                               const DVK::OperateCallback& callback)
{
    utils::RQError error;
    {
        boost::mutex::scoped_lock lock(d->mutex);
        d->operations.push_back(request);
        if (d->holding) {
            d->heldOperates.push_back(callback);
            return;
        }
        if (!d->operateAnswers.empty()) {
            error = d->operateAnswers.front();
            d->operateAnswers.pop_front();
        }
    }
    d->deliverOperate(callback, error);
}

void CScriptedService::queueQueryAnswer(const ScriptedAnswer& answer)
{
    boost::mutex::scoped_lock lock(d->mutex);
    d->queryAnswers.push_back(answer);
}

void CScriptedService::queueOperateAnswer(const utils::RQError& error)
{
    boost::mutex::scoped_lock lock(d->mutex);
    d->operateAnswers.push_back(error);
}

// Leaving held mode keeps what is already held: the test still releases those one by one.
void CScriptedService::setHolding(bool hold)
{
    boost::mutex::scoped_lock lock(d->mutex);
    d->holding = hold;
}

int CScriptedService::pendingCount() const
{
    boost::mutex::scoped_lock lock(d->mutex);
    return static_cast<int>(d->heldQueries.size() + d->heldOperates.size());
}

bool CScriptedService::releaseQuery(const ScriptedAnswer& answer)
{
    DVK::QueryCallback callback;
    {
        boost::mutex::scoped_lock lock(d->mutex);
        if (d->heldQueries.empty()) {
            return false;
        }
        callback = d->heldQueries.front();
        d->heldQueries.pop_front();
    }
    d->deliverQuery(callback, answer);
    return true;
}

bool CScriptedService::releaseOperate(const utils::RQError& error)
{
    DVK::OperateCallback callback;
    {
        boost::mutex::scoped_lock lock(d->mutex);
        if (d->heldOperates.empty()) {
            return false;
        }
        callback = d->heldOperates.front();
        d->heldOperates.pop_front();
    }
    d->deliverOperate(callback, error);
    return true;
}

std::vector<boost::shared_ptr<rqservice::CVoprQueryDataReq>> CScriptedService::queries() const
{
    boost::mutex::scoped_lock lock(d->mutex);
    return d->queries;
}

std::vector<boost::shared_ptr<rqservice::COperateDataReq>> CScriptedService::operations() const
{
    boost::mutex::scoped_lock lock(d->mutex);
    return d->operations;
}

int CScriptedService::queryCount() const
{
    boost::mutex::scoped_lock lock(d->mutex);
    return static_cast<int>(d->queries.size());
}

int CScriptedService::operateCount() const
{
    boost::mutex::scoped_lock lock(d->mutex);
    return static_cast<int>(d->operations.size());
}

std::vector<boost::thread::id> CScriptedService::callbackThreads() const
{
    boost::mutex::scoped_lock lock(d->delivery->mutex);
    return d->delivery->threads;
}

void CScriptedService::waitDelivered()
{
    d->worker->waitIdle();
}

rqservice::IDataPtr makeBaseInfo(int brokerKeyNo, const std::string& brokerId, const std::string& brokerName,
                                 const std::string& tradingDay, const std::string& lastUploadDate, long long uploadId)
{
    boost::shared_ptr<rqservice::CVoprCvionRateBaseInfo> record = boost::make_shared<rqservice::CVoprCvionRateBaseInfo>();
    record->brokerKeyNo = brokerKeyNo;
    record->brokerId = brokerId;
    record->brokerName = brokerName;
    record->tradingDay = tradingDay;
    record->lastUploadDate = lastUploadDate;
    record->uploadId = uploadId;
    return record;
}

boost::shared_ptr<rqservice::CStkSubjects> makeSubject(int brokerKeyNo, const std::string& brokerId,
                                                       const std::string& exchangeName, const std::string& stockCode,
                                                       const std::string& stockName, double ratio, int lineNo)
{
    boost::shared_ptr<rqservice::CStkSubjects> subject = boost::make_shared<rqservice::CStkSubjects>();
    subject->brokerKeyNo = brokerKeyNo;
    subject->brokerId = brokerId;
    subject->exchangeName = exchangeName;
    subject->stockCode = stockCode;
    subject->stockName = stockName;
    subject->ratio = ratio;
    subject->lineNo = lineNo;
    return subject;
}

} // namespace testsupport
