#pragma once
// The stand-in client's own controls over its service layer: what answers the client centre,
// where the embedded service keeps its data, captured server messages, granted rights and the
// security master. For the demo client, tests, benchmarks and tools; a plug-in never sees it
// (the real client has none of it). Each is defined beside the class it controls
// (core/, client/ or dataservice/).

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

// The embedded service's database: a file (a relative path is taken from the current folder)
// or a postgresql:// URI; empty for the default file. Takes effect the next time the embedded
// service is opened (at once, if it is the current backend).
HOST_EXPORT void setDatabasePath(const QString& path);
HOST_EXPORT QString databasePath();
// A database location as a message, a log line or a tool may show it: a URI's password, in its
// user part or as password= in its query, replaced by "***"; everything else as written.
HOST_EXPORT QString maskedDatabaseLocation(const QString& location);
// What a new database gets when the embedded service creates its tables: the demo brokers
// with earlier uploads of theirs (the default: the demo's own file shows something on first
// run), or only the brokers given, no upload. A program that creates a team's database asks for
// the second unless its operator asked for demo data.
struct SeedBroker
{
    int keyNo = 0;
    QString id;
    QString name;
};
HOST_EXPORT void setNewDatabaseSeed(bool demoData, const std::vector<SeedBroker>& brokers);

// Delay in milliseconds added before every answer of the embedded service (0: none).
HOST_EXPORT void setLatencyMs(int ms);
HOST_EXPORT int latencyMs();

// How long the embedded data service lets a call take. Every call is answered by its deadline,
// counted from the moment it was made; a call that runs out is answered with a message saying
// the server did not answer in time and nothing was changed, and its connection is cut so the
// next call starts afresh. Tests shorten them; the demo's headless runs wait longer than all.
struct ServiceTimeouts
{
    // A summary or detail is waited for under the panel's loading mask: longer than any sound
    // answer (a 100,000-row detail reads in well under a second), short enough to retry by hand.
    int queryMs = 15000;
    // An upload of the largest file the readers take writes in a few seconds; the rest is for
    // queueing behind another upload for the same broker (or another program's write on SQLite).
    int uploadMs = 60000;
    // Kept back from a call's time for waiting on a lock, so that the wait running out still
    // leaves time to roll back and say why before the deadline.
    int reserveMs = 1000;
    // Connecting to a server that does not answer (libpq counts whole seconds, at least 2).
    int connectMs = 5000;
    // TCP keep-alive probes (seconds): a server that vanished while the connection idled between
    // calls is known before the next call has to wait for it. libpq ignores them on Unix sockets.
    int keepAliveIdleS = 10;
    int keepAliveIntervalS = 3;
    int keepAliveCount = 3;
};

HOST_EXPORT void setServiceTimeouts(const ServiceTimeouts& timeouts);
HOST_EXPORT ServiceTimeouts serviceTimeouts();

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
// The user the client's user manager knows as logged in, recorded with every upload (default:
// the system's login name).
HOST_EXPORT void setUserName(const QString& name);
HOST_EXPORT QString userName();

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
