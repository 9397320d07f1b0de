#include "previewchanges.h"

#include "changesreport.h"
#include "common/detailquerykey.h"
#include "previewoutput.h"
#include "previewserver.h"
#include "uploadchanges.h"

#include <QCoreApplication>
#include <QLibrary>

#include <boost/pointer_cast.hpp>

#include <cstdio>
#include <memory>
#include <set>

namespace DVK {

namespace {

constexpr int kBrokersNamed = 20; // in the message for a broker the server does not know

int fail(const PreviewOptions& options, const ConversionFileLines& content, int status, const QString& message)
{
    std::fprintf(stderr, "creditdata-preview: %s\n", qUtf8Printable(message));
    if (options.json) {
        QJsonObject object = previewJson(content, UploadRequestPlan());
        object.insert(QStringLiteral("message"), message);
        printJson(object);
    }
    return status;
}

std::unique_ptr<IPreviewServer> openServer(const QString& database, QString& error)
{
    // Loaded here only: a plain preview starts without the client's service layer.
    QLibrary module(QCoreApplication::applicationDirPath() + QLatin1Char('/') + QLatin1String(kPreviewServerModule));
    const auto open = reinterpret_cast<OpenPreviewServer>(module.resolve(kOpenPreviewServerSymbol));
    if (!open) {
        error = QStringLiteral("cannot load the data service's module: %1").arg(module.errorString());
        return nullptr;
    }
    return std::unique_ptr<IPreviewServer>(open(database, error));
}

// The first summary record with the id, as the upload dialog takes its broker; by name when
// only the name is given. Null when there is none.
boost::shared_ptr<rqservice::CVoprCvionRateBaseInfo> findBroker(const PreviewOptions& options,
                                                                const std::vector<rqservice::IDataPtr>& summary)
{
    for (const rqservice::IDataPtr& record : summary) {
        const auto info = boost::dynamic_pointer_cast<rqservice::CVoprCvionRateBaseInfo>(record);
        if (!info)
            continue;
        if (options.brokerIdGiven ? info->brokerId == options.broker.brokerId
                                  : info->brokerName == options.broker.brokerName)
            return info;
    }
    return nullptr;
}

QString knownBrokers(const std::vector<rqservice::IDataPtr>& summary)
{
    std::set<std::string> seen;
    QStringList names;
    for (const rqservice::IDataPtr& record : summary) {
        const auto info = boost::dynamic_pointer_cast<rqservice::CVoprCvionRateBaseInfo>(record);
        if (info && seen.insert(info->brokerId).second && names.size() < kBrokersNamed)
            names << QStringLiteral("%1 (%2)").arg(QString::fromStdString(info->brokerName),
                                                   QString::fromStdString(info->brokerId));
    }
    return names.isEmpty() ? QStringLiteral("none") : names.join(QStringLiteral(", "));
}

QString brokerAsked(const PreviewOptions& options)
{
    QStringList parts;
    if (options.brokerNameGiven)
        parts << QStringLiteral("named %1").arg(QString::fromStdString(options.broker.brokerName));
    if (options.brokerIdGiven)
        parts << QStringLiteral("with id %1").arg(QString::fromStdString(options.broker.brokerId));
    return parts.join(QStringLiteral(" and "));
}

} // namespace

int previewChanges(const PreviewOptions& options, const ConversionFileLines& content)
{
    QString error;
    const std::unique_ptr<IPreviewServer> server = openServer(options.database, error);
    if (!server)
        return fail(options, content, ePreviewNoService, error);

    const PreviewAnswer summary = server->query(rqservice::eDataTypeCvionRateBaseInfo, std::string());
    if (!summary.answered) {
        return fail(options, content, ePreviewNoService,
                    QStringLiteral("the data service did not answer the summary query: %1").arg(summary.message));
    }
    const auto record = findBroker(options, summary.records);
    if (!record || (options.brokerNameGiven && record->brokerName != options.broker.brokerName)) {
        return fail(options, content, ePreviewNoBroker,
                    QStringLiteral("no broker %1 on %2; brokers there: %3")
                        .arg(brokerAsked(options), server->database(), knownBrokers(summary.records)));
    }
    const UploadBroker broker = chooseUploadBroker(record->brokerId, record->brokerName, summary.records);

    const UploadRequestPlan plan = buildUploadRequest(content.lines, content.separator, broker);
    if (!plan.request) {
        if (options.json) {
            QJsonObject object = previewJson(content, plan);
            object.insert(QStringLiteral("message"), QStringLiteral("无可用数据"));
            printJson(object);
        } else {
            printPreview(content, plan);
        }
        return ePreviewNothingUsable;
    }

    // Asked as the detail dialog asks for the broker it shows.
    const PreviewAnswer detail =
        server->query(rqservice::eDataTypeCvionRateDetail, detailQueryKey(broker.brokerKeyNo, broker.brokerId));
    if (!detail.answered) {
        return fail(options, content, ePreviewNoService,
                    QStringLiteral("the data service did not answer the detail query: %1").arg(detail.message));
    }
    // The dialog reads the first record only; a broker with nothing there has no rows.
    std::vector<rqservice::CStkSubjectsPtr> current;
    if (!detail.records.empty()) {
        if (const auto held = boost::dynamic_pointer_cast<rqservice::CVoprCvionRateDetail>(detail.records.front()))
            current = held->subjects;
    }

    const UploadChanges changes = compareUpload(current, plan.detail->subjects, options.maxChange);
    ChangesContext context;
    context.broker = &broker;
    context.database = server->database();
    context.serverRows = current.size();
    context.fileRows = plan.detail->subjects.size();
    context.maxChange = options.maxChange;
    if (options.json) {
        QJsonObject object = previewJson(content, plan);
        object.insert(QStringLiteral("changes"), changesJson(changes, context));
        printJson(object);
    } else {
        std::fputs(qUtf8Printable(changesText(changes, context)), stdout);
    }
    if (options.strict && changes.warnings() > 0) {
        std::fprintf(stderr, "creditdata-preview: --strict: %d warnings, the upload should not go\n",
                     int(changes.warnings()));
        return ePreviewWarnings;
    }
    return ePreviewSends;
}

} // namespace DVK
