#include "previewbroker.h"

#include "brokerlookup.h"

#include <QCoreApplication>
#include <QLibrary>
#include <QStringList>

#include <boost/pointer_cast.hpp>

#include <cstdio>

namespace DVK {

namespace {

std::unique_ptr<IPreviewServer> openServer(const QString& database, QString& error)
{
    // Loaded here only: a plain preview starts without the client's service layer. Beside the
    // tool in a build, in its private library folder once installed.
    const QString dir = QCoreApplication::applicationDirPath() + QLatin1Char('/');
    QLibrary module(dir + QLatin1String(kPreviewServerModule));
    if (!module.load())
        module.setFileName(dir + QLatin1String(CREDITDATA_TOOL_TO_LIBDIR "/") + QLatin1String(kPreviewServerModule));
    const auto open = reinterpret_cast<OpenPreviewServer>(module.resolve(kOpenPreviewServerSymbol));
    if (!open) {
        error = QStringLiteral("cannot load the data service's module: %1").arg(module.errorString());
        return nullptr;
    }
    return std::unique_ptr<IPreviewServer>(open(database, error));
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
    const BrokerLookup lookup =
        lookUpBroker(summary.records, options.brokerIdGiven ? &options.broker.brokerId : nullptr,
                     options.brokerNameGiven ? &options.broker.brokerName : nullptr);
    if (!lookup.refusal.isEmpty()) {
        message = lookup.refusal;
        return ePreviewNoBroker;
    }
    found.record = lookup.record;
    // On stderr, so that the text and JSON on stdout stay as scripts read them.
    if (!lookup.note.isEmpty())
        std::fprintf(stderr, "creditdata-preview: %s\n", qUtf8Printable(lookup.note));
    if (!found.record) {
        message = QStringLiteral("no broker %1 on %2; brokers there: %3")
                      .arg(brokerAsked(options), found.server->database(), knownBrokers(summary.records));
        return ePreviewNoBroker;
    }
    return ePreviewSends;
}

} // namespace DVK
