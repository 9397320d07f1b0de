#pragma once
// The stand-in client's own controls over its service layer: what answers the client centre,
// where the embedded service keeps its data, captured server messages, granted rights and the
// security master. For the demo client, tests, benchmarks and tools; a plug-in never sees it
// (the real client has none of it).

#include "hostservice.h"

#include <QString>

#include <boost/shared_ptr.hpp>

#include <set>
#include <vector>

namespace standin {

// What answers the client centre's requests. Both calls return at once; the callback is called
// exactly once, later, on a thread that is not the caller's.
class HOST_EXPORT IServiceBackend
{
public:
    virtual ~IServiceBackend();
    virtual void query(const boost::shared_ptr<rqservice::CVoprQueryDataReq>& request,
                       const DVK::QueryCallback& callback) = 0;
    virtual void operate(const boost::shared_ptr<rqservice::COperateDataReq>& request,
                         const DVK::OperateCallback& callback) = 0;
};

typedef boost::shared_ptr<IServiceBackend> IServiceBackendPtr;

// The server behind every client of the client centre. Until one is set, the embedded service
// on the database path (default: the user's data folder) is opened on first use; setting a
// null backend goes back to that. The old backend answers what it still holds, then dies.
HOST_EXPORT void setBackend(IServiceBackendPtr backend);
// The current backend, opening the embedded service when none is set; never null.
HOST_EXPORT IServiceBackendPtr backend();

// The embedded service's database file; empty for the default. Takes effect the next time the
// embedded service is opened (at once, if it is the current backend).
HOST_EXPORT void setDatabasePath(const QString& path);
HOST_EXPORT QString databasePath();
// Delay in milliseconds added before every answer of the embedded service (0: none).
HOST_EXPORT void setLatencyMs(int ms);
HOST_EXPORT int latencyMs();

// What CVoprClientCenter::showServerMsgCallBack was asked to show.
struct ServerMessage
{
    DVK::EServerCallbackMsgType type = DVK::eServerCallbackMsgSuccess;
    bool success = true;
    QString title;
    QString text;
};

// While capturing, showServerMsgCallBack shows nothing and only records what it was asked.
HOST_EXPORT void setCaptureMessages(bool capture);
// The messages recorded since the last call, oldest first; the record is emptied.
HOST_EXPORT std::vector<ServerMessage> takeCapturedMessages();

// The rights CUserManager::checkUserAuth grants (default: 10079 and 10413).
HOST_EXPORT void setGrantedRights(const std::set<int>& rights);
HOST_EXPORT std::set<int> grantedRights();

// Replaces the security master of TraderCenter with the one in a CSV file (exchange,code,name).
// Returns false and keeps the current one when the file cannot be read.
HOST_EXPORT bool loadSecurityMaster(const QString& csvPath);

// The server's numbers inside the record keys: the upload a summary record stands for, and a
// detail row's line within its upload (so a security listed twice stays two rows).
HOST_EXPORT long long uploadId(const rqservice::CVoprCvionRateBaseInfo& info);
HOST_EXPORT void setUploadId(rqservice::CVoprCvionRateBaseInfo& info, long long id);
HOST_EXPORT int lineNo(const rqservice::CStkSubjects& subject);
HOST_EXPORT void setLineNo(rqservice::CStkSubjects& subject, int line);

// While set, CVoprClientCenter::getClientByName answers null for every name, as a client centre
// without a connection does.
HOST_EXPORT void setClientCenterOutage(bool outage);

} // namespace standin
