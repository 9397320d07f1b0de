#pragma once
// A service whose answers the test decides, delivered from a thread of its own like the real one.

#include "hostservice.h"

#include <boost/thread/condition_variable.hpp>
#include <boost/thread/mutex.hpp>
#include <boost/thread/thread.hpp>

#include <deque>
#include <memory>
#include <vector>

class CServiceWorker;

namespace testsupport {

// A scripted answer: the outcome and, for queries, the records.
struct ScriptedAnswer
{
    utils::RQError error;
    std::vector<rqservice::IDataPtr> records;
};

class CScriptedService : public DVK::IServiceBackend
{
public:
    CScriptedService();
    ~CScriptedService() override;

    // Installs a new scripted service as the client centre's backend and returns it.
    static boost::shared_ptr<CScriptedService> install();

    void query(const boost::shared_ptr<rqservice::CVoprQueryDataReq>& request,
               const DVK::QueryCallback& callback) override;
    void operate(const boost::shared_ptr<rqservice::COperateDataReq>& request,
                 const DVK::OperateCallback& callback) override;

    // Automatic mode (the default): each request is answered at once, from the service thread,
    // with the next queued answer of its kind, or with an empty success when none is queued.
    void queueQueryAnswer(const ScriptedAnswer& answer);
    void queueOperateAnswer(const utils::RQError& error);

    // Held mode: requests wait until the test releases them, oldest first.
    void setHolding(bool hold);
    int pendingCount() const;
    // Answers the oldest held query (or operate request); false when none is held.
    bool releaseQuery(const ScriptedAnswer& answer);
    bool releaseOperate(const utils::RQError& error);

    // Every request received so far, in order.
    std::vector<boost::shared_ptr<rqservice::CVoprQueryDataReq>> queries() const;
    std::vector<boost::shared_ptr<rqservice::COperateDataReq>> operations() const;
    int queryCount() const;
    int operateCount() const;
    // Thread ids on which callbacks were called, to check they are never the GUI thread.
    std::vector<boost::thread::id> callbackThreads() const;
    // Blocks until every answer handed out has been delivered (so the queued signals are posted).
    void waitDelivered();

private:
    struct Private;
    std::unique_ptr<Private> d;
};

// Record builders for tests.
rqservice::IDataPtr makeBaseInfo(int brokerKeyNo, const std::string& brokerId, const std::string& brokerName,
                                 const std::string& tradingDay, const std::string& lastUploadDate,
                                 long long uploadId = 0);
boost::shared_ptr<rqservice::CStkSubjects> makeSubject(int brokerKeyNo, const std::string& brokerId,
                                                       const std::string& exchangeName, const std::string& stockCode,
                                                       const std::string& stockName, double ratio, int lineNo = -1);

} // namespace testsupport
