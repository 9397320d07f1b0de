#include "previewserver.h"

#include "common/clientunavailable.h"
#include "embeddeddataservice.h"
#include "standinservice.h"

#include <QFileInfo>
#include <QUrl>

#include <boost/make_shared.hpp>

#include <chrono>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>

namespace {

// Past the service's own limit it has broken its promise to answer; this much later we stop waiting.
constexpr int kAnswerSlackMs = 5000;

struct PendingAnswer
{
    std::mutex mutex;
    std::condition_variable answered;
    bool done = false;
    utils::RQError error;
    std::vector<rqservice::IDataPtr> records;
};

class CPreviewServer : public DVK::IPreviewServer
{
public:
    explicit CPreviewServer(const QString& database)
        : m_database(database)
    {
    }

    QString database() const override { return m_database; }

    DVK::PreviewAnswer query(int queryType, const std::string& queryKey) override
    {
        DVK::PreviewAnswer answer;
        auto request = boost::make_shared<rqservice::CVoprQueryDataReq>();
        request->queryType = queryType;
        request->queryKey = queryKey;
        const DVK::CVoprClientPtr client = utils::CSingletonT<DVK::CVoprClientCenter>::instance()->getClientByName("");
        if (!client) {
            answer.message = DVK::clientUnavailableText();
            return answer;
        }
        // Shared with the callback: an answer after we stopped waiting lands here harmlessly.
        auto pending = std::make_shared<PendingAnswer>();
        client->queryData_async(
            request,
            [pending](const utils::RQError& error, const std::vector<rqservice::IDataPtr>& records, int,
                      bson::BSONObj) {
                std::lock_guard<std::mutex> lock(pending->mutex);
                pending->error = error;
                pending->records = records;
                pending->done = true;
                pending->answered.notify_all();
            },
            0);
        const int waitMs = standin::serviceTimeouts().queryMs + kAnswerSlackMs;
        std::unique_lock<std::mutex> lock(pending->mutex);
        if (!pending->answered.wait_for(lock, std::chrono::milliseconds(waitMs), [&] { return pending->done; })) {
            answer.message = QStringLiteral("no answer within %1 s").arg(waitMs / 1000);
        } else if (!pending->error.isSuccess()) {
            answer.message = QString::fromStdString(pending->error.errorMsg());
        } else {
            answer.answered = true;
            answer.records = pending->records;
        }
        return answer;
    }

private:
    QString m_database;
};

} // namespace

extern "C" Q_DECL_EXPORT DVK::IPreviewServer* creditdataOpenPreviewServer(const QString& database, QString& error)
{
    try {
        const QString location =
            database.isEmpty() ? rqservice::CEmbeddedDataService::defaultDatabasePath() : database;
        // Anything with a scheme is a server's address; the service says itself whether it is one.
        const bool file = !location.contains(QLatin1String("://"));
        if (file && !QFileInfo::exists(location)) {
            // The service would make a new one with demo data: nothing an upload should be judged by.
            error = QStringLiteral("no database at %1 (the demo host makes one on its first run)").arg(location);
            return nullptr;
        }
        // The report is the tool's output; the service's log lines would run through it.
        utils::CSingletonT<utils::CLogCenter>::instance()->setLogEnabled(false);
        standin::setDatabasePath(location);
        // A password is never shown.
        return new CPreviewServer(file ? QFileInfo(location).absoluteFilePath()
                                       : QUrl(location).toDisplayString(QUrl::RemovePassword));
    } catch (const std::exception& e) {
        error = QString::fromLocal8Bit(e.what());
    } catch (...) {
        error = QStringLiteral("the data service could not be set up");
    }
    return nullptr;
}
