#pragma once
// Calls into the embedded data service that wait for its one answer, and the uploads they send.

#include "embeddeddataservice.h"

#include <QElapsedTimer>
#include <QStringList>

#include <atomic>
#include <functional>
#include <string>
#include <vector>

namespace testsupport {

using SubjectRows = std::vector<boost::shared_ptr<rqservice::CStkSubjects>>;

struct QueryOutcome
{
    utils::RQError error;
    std::vector<rqservice::IDataPtr> records;
};

// The answer once the service is idle; a failure when it was answered other than exactly once,
// or on the caller's thread.
QueryOutcome queryService(rqservice::CEmbeddedDataService& service, int type, const std::string& key = std::string());

// The broker's count newest uploads (key as for 12295), once the service is idle.
struct HistoryOutcome
{
    utils::RQError error;
    rqservice::UploadHistory history;
};
HistoryOutcome historyOf(rqservice::CEmbeddedDataService& service, const std::string& key, int count = 100000);

// A restore of upload uploadId of the broker of key; its reply is the new upload's {"uploadId", "brokerKeyNo"}.
struct RestoreOutcome
{
    utils::RQError error;
    long long uploadId = 0; // the new upload's
};
RestoreOutcome restoreUpload(rqservice::CEmbeddedDataService& service, const std::string& key, long long uploadId);

// An upload (data type 12295, operate type 2) of rows for the broker.
boost::shared_ptr<rqservice::COperateDataReq> uploadRequest(int keyNo, const std::string& id, const SubjectRows& rows);
// count rows of one security that all carry ratio, so a detail tells which upload it came from.
SubjectRows uniformRows(int count, double ratio);

// An upload (or a timed query) whose answer is collected later, from whichever thread gives it.
struct PendingUpload
{
    std::atomic<int> answers{0};
    utils::RQError error;
    QString outcome;     // as outcomeText() says it; a query's "ok <records>"
    QElapsedTimer clock; // started with the call; elapsed() at the answer in answeredMs
    std::atomic<qint64> answeredMs{-1};
};
boost::shared_ptr<PendingUpload> startUpload(rqservice::CEmbeddedDataService& service,
                                             const boost::shared_ptr<rqservice::COperateDataReq>& request);
// The upload's answer once the service is idle; a failure when it was not answered exactly once.
utils::RQError operateService(rqservice::CEmbeddedDataService& service,
                              const boost::shared_ptr<rqservice::COperateDataReq>& request);

// Shortens the data service's time limits while it lives; the ones before come back after.
class ScopedTimeouts
{
public:
    ScopedTimeouts(int queryMs, int uploadMs);
    ~ScopedTimeouts();
    ScopedTimeouts(const ScopedTimeouts&) = delete;
    ScopedTimeouts& operator=(const ScopedTimeouts&) = delete;

private:
    standin::ServiceTimeouts m_saved;
};
// How late past its limit a call may be answered on a busy machine.
const int kAnswerSlackMs = 2000;

struct TimedCall
{
    QString outcome;
    qint64 answeredMs = 0;  // from the call
    qint64 busyAfterMs = 0; // the service's thread, from the answer on
};

// A summary query and an upload, timed: each waits for its answer, then for the service's
// thread to be free.
TimedCall timedSummary(rqservice::CEmbeddedDataService& service);
TimedCall timedUpload(rqservice::CEmbeddedDataService& service,
                      const boost::shared_ptr<rqservice::COperateDataReq>& request);

// The tables and version mark of the service's previous schema (version 1, before uploads recorded
// their user and rows), as that program made them on the engine, with CITIC and two uploads of it
// (1: one row of 0.5 at 23:59:59 on 20240104; 2: two rows, 0.6 and 0.7, a second later). On PostgreSQL run as
// the superuser: the statements first become the database's owner.
QStringList previousSchema(bool pg);

// "ok", or the failure's message.
QString outcomeText(const utils::RQError& error);
// CITIC's latest upload as "<rows> x <ratio>" (ratio -1 when the rows disagree), or the failure.
QString citicDetail(rqservice::CEmbeddedDataService& service);
// What a summary query, CITIC's detail and a one-row upload for CITIC answer, in that order.
QStringList everyCall(rqservice::CEmbeddedDataService& service);

} // namespace testsupport
