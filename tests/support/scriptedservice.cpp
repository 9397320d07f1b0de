#include "scriptedservice.h"

#include "serviceworker.h"
#include "standinservice.h"

#include <boost/make_shared.hpp>
#include <boost/thread/mutex.hpp>

#include <deque>

namespace testsupport {

struct CScriptedService::Private
{
    mutable boost::mutex mutex;
    std::deque<ScriptedAnswer> answers;
    bool holding = false;
    std::deque<DVK::QueryCallback> held;
    std::vector<boost::shared_ptr<rqservice::CVoprQueryDataReq>> queries;
    std::vector<boost::shared_ptr<rqservice::COperateDataReq>> operations;
    utils::RQError operateOutcome;
    bool holdingOperations = false;
    std::deque<DVK::OperateCallback> heldOperations;
    std::unique_ptr<CServiceWorker> worker{new CServiceWorker("scripted-service")};

    void deliver(const DVK::QueryCallback& callback, const ScriptedAnswer& answer)
    {
        auto task = [callback, answer] {
            callback(answer.error, answer.records, static_cast<int>(answer.records.size()), bson::BSONObj());
        };
        worker->post(task, task);
    }
    void deliver(const DVK::OperateCallback& callback, const utils::RQError& outcome)
    {
        auto task = [callback, outcome] { callback(outcome, bson::BSONObj()); };
        worker->post(task, task);
    }
    // Answers the oldest (or newest) held call of the queue; false when none is held.
    template <class Callback, class Answer>
    bool release(std::deque<Callback>& queue, bool newest, const Answer& answer)
    {
        Callback callback;
        {
            boost::mutex::scoped_lock lock(mutex);
            if (queue.empty()) {
                return false;
            }
            callback = newest ? queue.back() : queue.front();
            newest ? queue.pop_back() : queue.pop_front();
        }
        deliver(callback, answer);
        return true;
    }
};

CScriptedService::CScriptedService()
    : d(new Private)
{
}

CScriptedService::~CScriptedService()
{
    // A query the test never released still gets its one answer.
    while (releaseQuery(ScriptedAnswer{utils::RQError::failure("服务已停止"), {}})) {
    }
    while (releaseOperation(utils::RQError::failure("服务已停止"))) {
    }
    d->worker.reset();
}

boost::shared_ptr<CScriptedService> CScriptedService::install()
{
    auto service = boost::make_shared<CScriptedService>();
    standin::setBackend(service);
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
            d->held.push_back(callback);
            return;
        }
        if (!d->answers.empty()) {
            answer = d->answers.front();
            d->answers.pop_front();
        }
    }
    d->deliver(callback, answer);
}

void CScriptedService::operate(const boost::shared_ptr<rqservice::COperateDataReq>& request,
                               const DVK::OperateCallback& callback)
{
    utils::RQError outcome;
    {
        boost::mutex::scoped_lock lock(d->mutex);
        d->operations.push_back(request);
        if (d->holdingOperations) {
            d->heldOperations.push_back(callback);
            return;
        }
        outcome = d->operateOutcome;
    }
    d->deliver(callback, outcome);
}

void CScriptedService::setOperateOutcome(const utils::RQError& outcome)
{
    boost::mutex::scoped_lock lock(d->mutex);
    d->operateOutcome = outcome;
}

void CScriptedService::setHoldingOperations(bool hold)
{
    boost::mutex::scoped_lock lock(d->mutex);
    d->holdingOperations = hold;
}

bool CScriptedService::releaseOperation(const utils::RQError& outcome)
{
    return d->release(d->heldOperations, false, outcome);
}

std::vector<boost::shared_ptr<rqservice::COperateDataReq>> CScriptedService::operations() const
{
    boost::mutex::scoped_lock lock(d->mutex);
    return d->operations;
}

void CScriptedService::queueQueryAnswer(const ScriptedAnswer& answer)
{
    boost::mutex::scoped_lock lock(d->mutex);
    d->answers.push_back(answer);
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
    return static_cast<int>(d->held.size());
}

bool CScriptedService::releaseQuery(const ScriptedAnswer& answer)
{
    return d->release(d->held, false, answer);
}

bool CScriptedService::releaseNewestQuery(const ScriptedAnswer& answer)
{
    return d->release(d->held, true, answer);
}

std::vector<boost::shared_ptr<rqservice::CVoprQueryDataReq>> CScriptedService::queries() const
{
    boost::mutex::scoped_lock lock(d->mutex);
    return d->queries;
}

void CScriptedService::waitDelivered()
{
    d->worker->waitIdle();
}

rqservice::IDataPtr makeBaseInfo(int brokerKeyNo, const std::string& brokerId, const std::string& brokerName,
                                 const std::string& tradingDay, const std::string& lastUploadDate, long long uploadId)
{
    auto record = boost::make_shared<rqservice::CVoprCvionRateBaseInfo>();
    record->brokerKeyNo = brokerKeyNo;
    record->brokerId = brokerId;
    record->brokerName = brokerName;
    record->tradingDay = tradingDay;
    record->lastUploadDate = lastUploadDate;
    standin::setUploadId(*record, uploadId);
    return record;
}

boost::shared_ptr<rqservice::CStkSubjects> makeSubject(int brokerKeyNo, const std::string& brokerId,
                                                       const std::string& exchangeName, const std::string& stockCode,
                                                       const std::string& stockName, double ratio, int lineNo)
{
    auto subject = boost::make_shared<rqservice::CStkSubjects>();
    subject->brokerKeyNo = brokerKeyNo;
    subject->brokerId = brokerId;
    subject->exchangeName = exchangeName;
    subject->stockCode = stockCode;
    subject->stockName = stockName;
    subject->ratio = ratio;
    standin::setLineNo(*subject, lineNo);
    return subject;
}

ScriptedAnswer summaryAnswer(const QStringList& items)
{
    ScriptedAnswer out;
    for (const QString& item : items) {
        const QStringList f = item.split(QLatin1Char('|'));
        if (item == QLatin1String("null")) {
            out.records.push_back(rqservice::IDataPtr());
        } else if (f.size() < 4) {
            out.records.push_back(boost::make_shared<rqservice::CVoprCvionRateDetail>());
        } else {
            out.records.push_back(makeBaseInfo(f[0].toInt(), f[1].toStdString(), f[2].toStdString(), "20240112",
                                               f[3].toStdString(), static_cast<long long>(out.records.size())));
        }
    }
    return out;
}

} // namespace testsupport
