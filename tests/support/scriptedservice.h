#pragma once
// A service whose answers the test decides, delivered from a thread of its own like the real one.

#include "hostservice.h"
#include "standinservice.h"

#include <QStringList>

#include <memory>
#include <vector>

namespace testsupport {

// A scripted answer: the outcome and, for queries, the records.
struct ScriptedAnswer
{
    utils::RQError error;
    std::vector<rqservice::IDataPtr> records;
};

class CScriptedService : public standin::IServiceBackend
{
public:
    CScriptedService();
    ~CScriptedService() override; // answers every query still held with a failure

    // Installs a new scripted service as the client centre's backend and returns it.
    static boost::shared_ptr<CScriptedService> install();

    // Automatic mode (the default): each query is answered at once, from the service thread,
    // with the next queued answer, or with an empty success when none is queued.
    void query(const boost::shared_ptr<rqservice::CVoprQueryDataReq>& request,
               const DVK::QueryCallback& callback) override;
    // Every operate request is recorded and answered from the service thread with the operate
    // outcome (success unless set), or held while operations are held.
    void operate(const boost::shared_ptr<rqservice::COperateDataReq>& request,
                 const DVK::OperateCallback& callback) override;
    void setOperateOutcome(const utils::RQError& outcome);
    void setHoldingOperations(bool hold);
    // Answers the oldest held operation; false when none is held.
    bool releaseOperation(const utils::RQError& outcome);
    std::vector<boost::shared_ptr<rqservice::COperateDataReq>> operations() const;
    void queueQueryAnswer(const ScriptedAnswer& answer);

    // Held mode: queries wait until the test releases them, oldest first.
    void setHolding(bool hold);
    int pendingCount() const;
    // Answers the oldest held query; false when none is held.
    bool releaseQuery(const ScriptedAnswer& answer);
    // Answers the newest held query instead: answers overtaking one another.
    bool releaseNewestQuery(const ScriptedAnswer& answer);

    // Every query received so far, in order.
    std::vector<boost::shared_ptr<rqservice::CVoprQueryDataReq>> queries() const;
    int queryCount() const { return static_cast<int>(queries().size()); }
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
// An answer of "keyNo|id|name|lastUploadDate" summaries (trading day 20240112, the upload numbered by
// its place in the answer); "null" is an empty pointer, any other item a record of another type.
ScriptedAnswer summaryAnswer(const QStringList& items);

} // namespace testsupport
