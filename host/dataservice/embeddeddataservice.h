#pragma once
// The server behind the client centre when none is set: brokers, their upload history and the
// conversion ratios of each upload in one SQLite file or a shared PostgreSQL database, answered
// from a service thread.

#include "hostservice.h"
#include "standinservice.h"
#include "uploadhistory.h"

#include <QDate>
#include <QString>

#include <memory>

class CDeadlineWatch;
class CServiceWorker;

namespace rqservice {

// Query 12294: one CVoprCvionRateBaseInfo per broker, its latest upload (uploadId 0 and no date
// for a broker that never uploaded). Query 12295, keyed "brokerKeyNo____brokerId": one
// CVoprCvionRateDetail with the subjects of the broker's latest upload, in line order.
// Operate 12295/2 with one CVoprCvionRateDetail: a new upload, its id, date, time, account and
// row count the database's own (on SQLite the operating system's account), the user of
// standin::userName() at the call kept beside as the client's word; all rows or none.
// Every failure is a failed RQError with a message for the user; nothing is half written.
// Every call is answered within its time (standin::serviceTimeouts, read when it is made), and
// the statement still running then is broken off, so the next call starts at once.
class HOST_EXPORT CEmbeddedDataService : public standin::IServiceBackend
{
public:
    enum class EAccess
    {
        ReadWrite,
        // Nothing is ever written: SQLite opens the file read-only, PostgreSQL's transactions
        // are read-only; a database without our tables is refused, an older one read as it is.
        ReadOnly,
    };

    // databasePath: a SQLite file, or a postgresql:// URI of an existing database. The file or
    // the tables are created (with demo data) on the first request if they do not exist.
    explicit CEmbeddedDataService(const QString& databasePath, int latencyMs = 0, EAccess access = EAccess::ReadWrite);
    // Answers every request still queued, then closes the database.
    ~CEmbeddedDataService() override;

    void query(const boost::shared_ptr<CVoprQueryDataReq>& request, const DVK::QueryCallback& callback) override;
    void operate(const boost::shared_ptr<COperateDataReq>& request, const DVK::OperateCallback& callback) override;

    // The stand-in's own reads for its tools (the client asks no such thing), answered like the
    // queries above. key as for 12295. The broker's count newest uploads, newest first:
    typedef boost::function<void(const utils::RQError&, const UploadHistory&)> HistoryCallback;
    void history(const std::string& key, int count, const HistoryCallback& callback);
    // Upload uploadId of the broker of key again as its newest, through the upload's own write
    // path, recorded as restored from it by the account of the connection; reply as an upload's.
    typedef boost::function<void(const utils::RQError&, const std::string&)> RestoreCallback;
    void restore(const std::string& key, long long uploadId, const RestoreCallback& callback);
    // The rows of one of the broker's uploads, as the detail gives the latest one.
    typedef boost::function<void(const utils::RQError&, const std::vector<CStkSubjectsPtr>&)> RowsCallback;
    void uploadRows(const std::string& key, long long uploadId, const RowsCallback& callback);

    QString databasePath() const;
    void setLatencyMs(int ms);
    // Blocks until every request made so far has been answered and has ended. Not from a callback.
    void waitIdle();

    static QString defaultDatabasePath();
    // A server's address (postgresql://..., or some other scheme://, which the service refuses)
    // rather than a database file.
    static bool isServerLocation(const QString& location);
    // The trading day on a given calendar day: that day, or the Friday before a weekend.
    static QDate tradingDay(const QDate& today);

private:
    struct Impl;
    // Runs work on the service thread within budgetMs, answering exactly once.
    template <class Result, class Work, class Answer>
    void run(int budgetMs, const char* action, Work work, Answer answer);

    boost::shared_ptr<Impl> m_impl;          // shared with queued tasks, which may outlive this object
    std::unique_ptr<CDeadlineWatch> m_watch; // outlives the worker: it ends calls stuck in the last tasks
    std::unique_ptr<CServiceWorker> m_worker;
};

} // namespace rqservice
