#include "previewbroker.h"

#include <QCoreApplication>
#include <QLibrary>
#include <QStringList>

#include <boost/pointer_cast.hpp>

#include <set>

namespace DVK {

namespace {

constexpr int kBrokersNamed = 20; // in the message for a broker the server does not know

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

int findPreviewBroker(const PreviewOptions& options, PreviewBroker& found, QString& message)
{
    found.server = openServer(options.database, message);
    if (!found.server)
        return ePreviewNoService;
    const PreviewAnswer summary = found.server->query(rqservice::eDataTypeCvionRateBaseInfo, std::string());
    if (!summary.answered) {
        message = QStringLiteral("the data service did not answer the summary query: %1").arg(summary.message);
        return ePreviewNoService;
    }
    found.summary = summary.records;
    found.record = findBroker(options, summary.records);
    if (!found.record || (options.brokerNameGiven && found.record->brokerName != options.broker.brokerName)) {
        message = QStringLiteral("no broker %1 on %2; brokers there: %3")
                      .arg(brokerAsked(options), found.server->database(), knownBrokers(summary.records));
        return ePreviewNoBroker;
    }
    return ePreviewSends;
}

} // namespace DVK
