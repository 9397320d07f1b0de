#include "previewserver.h"

#include "serviceanswer.h"

#include "common/clientunavailable.h"
#include "embeddeddataservice.h"
#include "standinservice.h"

#include <QFileInfo>

#include <boost/make_shared.hpp>

#include <exception>
#include <functional>
#include <memory>

namespace {

using DVK::waitForAnswer;

class CPreviewServer : public DVK::IPreviewServer
{
public:
    CPreviewServer(const QString& shown, const boost::shared_ptr<rqservice::CEmbeddedDataService>& service)
        : m_database(shown)
        , m_service(service)
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
        using Records = std::vector<rqservice::IDataPtr>;
        answer.answered = waitForAnswer<Records>(
            [&](std::function<void(const utils::RQError&, const Records&)> keep) {
                client->queryData_async(
                    request,
                    [keep](const utils::RQError& error, const Records& records, int, bson::BSONObj) {
                        keep(error, records);
                    },
                    0);
            },
            answer.records, answer.message);
        return answer;
    }

    DVK::PreviewHistory history(const std::string& brokerKey, int count) override
    {
        DVK::PreviewHistory answer;
        answer.answered = waitForAnswer<rqservice::UploadHistory>(
            [&](std::function<void(const utils::RQError&, const rqservice::UploadHistory&)> keep) {
                m_service->history(brokerKey, count, keep);
            },
            answer.history, answer.message);
        return answer;
    }

    DVK::PreviewRows uploadRows(const std::string& brokerKey, long long uploadId) override
    {
        DVK::PreviewRows answer;
        answer.answered = waitForAnswer<std::vector<rqservice::CStkSubjectsPtr>>(
            [&](std::function<void(const utils::RQError&, const std::vector<rqservice::CStkSubjectsPtr>&)> keep) {
                m_service->uploadRows(brokerKey, uploadId, keep);
            },
            answer.rows, answer.message);
        return answer;
    }

private:
    QString m_database;
    boost::shared_ptr<rqservice::CEmbeddedDataService> m_service;
};

} // namespace

extern "C" Q_DECL_EXPORT DVK::IPreviewServer* creditdataOpenPreviewServer(const QString& database, QString& error)
{
    try {
        const QString location = database.isEmpty() ? rqservice::CEmbeddedDataService::defaultDatabasePath() : database;
        // Anything with a scheme is a server's address; the service says itself whether it is one.
        const bool file = !location.contains(QLatin1String("://"));
        const QString shown = file ? QFileInfo(location).absoluteFilePath() : standin::maskedDatabaseLocation(location);
        if (file && !QFileInfo::exists(location)) {
            // The service would make a new one with demo data: nothing an upload should be judged by.
            error = QStringLiteral("no database at %1 (the demo host makes one on its first run)").arg(shown);
            return nullptr;
        }
        // The report is the tool's output; the service's log lines would run through it.
        utils::CSingletonT<utils::CLogCenter>::instance()->setLogEnabled(false);
        // The client centre's queries and the history both go to this one service, which only reads.
        const auto service = boost::make_shared<rqservice::CEmbeddedDataService>(
            location, 0, rqservice::CEmbeddedDataService::EAccess::ReadOnly);
        standin::setBackend(service);
        return new CPreviewServer(shown, service);
    } catch (const std::exception& e) {
        error = QString::fromLocal8Bit(e.what());
    } catch (...) {
        error = QStringLiteral("the data service could not be set up");
    }
    return nullptr;
}
