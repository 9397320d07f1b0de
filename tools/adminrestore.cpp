#include "adminrestore.h"

#include "brokerlookup.h"
#include "changesreport.h"
#include "serviceanswer.h"
#include "uploadchanges.h"

#include "common/detailquerykey.h"
#include "upload/uploadrequest.h"

#include "embeddeddataservice.h"
#include "standinservice.h"

#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

#include <boost/make_shared.hpp>
#include <boost/pointer_cast.hpp>

#include <cstdio>
#include <vector>

namespace DVK {

namespace {

using Records = std::vector<rqservice::IDataPtr>;
using Rows = std::vector<rqservice::CStkSubjectsPtr>;
using Service = rqservice::CEmbeddedDataService;

int fail(int status, const QString& message)
{
    std::fprintf(stderr, "creditdata-admin: %s\n", qUtf8Printable(message));
    return status;
}

bool ask(Service& service, int queryType, const std::string& key, Records& records, QString& message)
{
    auto request = boost::make_shared<rqservice::CVoprQueryDataReq>();
    request->queryType = queryType;
    request->queryKey = key;
    return waitForAnswer<Records>(
        [&](std::function<void(const utils::RQError&, const Records&)> keep) {
            service.query(request, [keep](const utils::RQError& error, const Records& records, int, bson::BSONObj) {
                keep(error, records);
            });
        },
        records, message);
}

// The broker's rows now, as the detail dialog reads them: the first record's.
bool currentRows(Service& service, const std::string& key, Rows& rows, QString& message)
{
    Records records;
    if (!ask(service, rqservice::eDataTypeCvionRateDetail, key, records, message))
        return false;
    const auto detail =
        records.empty() ? nullptr : boost::dynamic_pointer_cast<rqservice::CVoprCvionRateDetail>(records.front());
    rows = detail ? detail->subjects : Rows();
    return true;
}

// What the restore would change, printed; false with a status in status when it cannot be asked.
bool showChanges(Service& reader, const QString& shown, const UploadBroker& broker, const std::string& key,
                 const AdminRestoreOptions& options, int& status)
{
    QString message;
    Rows restored;
    const bool answered = waitForAnswer<Rows>(
        [&](std::function<void(const utils::RQError&, const Rows&)> keep) {
            reader.uploadRows(key, options.upload, keep);
        },
        restored, message);
    if (!answered) {
        status =
            fail(eAdminNoService,
                 QStringLiteral("the data service did not answer for upload %1: %2").arg(options.upload).arg(message));
        return false;
    }
    // Every upload holds a row: none means the broker has no upload of that number.
    if (restored.empty()) {
        status = fail(eAdminRefused,
                      QStringLiteral("%1 (%2) has no upload %3; --history lists its uploads")
                          .arg(QString::fromStdString(broker.brokerName), QString::fromStdString(broker.brokerId))
                          .arg(options.upload));
        return false;
    }
    Rows current;
    if (!currentRows(reader, key, current, message)) {
        status =
            fail(eAdminNoService, QStringLiteral("the data service did not answer the detail query: %1").arg(message));
        return false;
    }
    const UploadChanges changes = compareUpload(current, restored, options.maxChange);
    ChangesContext context;
    context.broker = &broker;
    context.database = shown;
    context.serverRows = current.size();
    context.fileRows = restored.size();
    context.source = QStringLiteral("in upload %1").arg(options.upload);
    context.maxChange = options.maxChange;
    std::printf("Restoring upload %lld as the newest would change:\n", options.upload);
    std::fputs(qUtf8Printable(changesText(changes, context)), stdout);
    return true;
}

} // namespace

int adminRestore(const AdminRestoreOptions& options)
{
    const QString location = options.database.isEmpty() ? Service::defaultDatabasePath() : options.database;
    const bool file = !Service::isServerLocation(location);
    const QString shown = file ? QFileInfo(location).absoluteFilePath() : standin::maskedDatabaseLocation(location);
    // The service would make a new file with demo data: there is nothing in it to restore.
    if (file && !QFileInfo::exists(location))
        return fail(eAdminNoService, QStringLiteral("no database at %1").arg(shown));
    // What the tool says is its output; the service's log lines would run through it.
    utils::CSingletonT<utils::CLogCenter>::instance()->setLogEnabled(false);

    UploadBroker broker;
    std::string key;
    {
        // Looked at for reading only first: a database without our tables is refused, not made.
        Service reader(location, 0, Service::EAccess::ReadOnly);
        Records summary;
        QString message;
        if (!ask(reader, rqservice::eDataTypeCvionRateBaseInfo, std::string(), summary, message))
            return fail(eAdminNoService,
                        QStringLiteral("the data service did not answer the summary query: %1").arg(message));
        const BrokerLookup lookup = lookUpBroker(summary, options.brokerIdGiven ? &options.brokerId : nullptr,
                                                 options.brokerNameGiven ? &options.brokerName : nullptr);
        if (!lookup.refusal.isEmpty())
            return fail(eAdminNoBroker, lookup.refusal);
        if (!lookup.record)
            return fail(eAdminNoBroker,
                        QStringLiteral("no such broker on %1; brokers there: %2").arg(shown, knownBrokers(summary)));
        if (!lookup.note.isEmpty())
            std::fprintf(stderr, "creditdata-admin: %s\n", qUtf8Printable(lookup.note));
        broker = {lookup.record->brokerKeyNo, lookup.record->brokerId, lookup.record->brokerName};
        key = detailQueryKey(broker.brokerKeyNo, broker.brokerId);
        int status = eAdminDone;
        if (!showChanges(reader, shown, broker, key, options, status))
            return status;
    }
    if (options.dryRun)
        return eAdminDone;

    Service writer(location);
    std::string reply;
    QString message;
    const bool stored = waitForAnswer<std::string>(
        [&](std::function<void(const utils::RQError&, const std::string&)> keep) {
            writer.restore(key, options.upload, keep);
        },
        reply, message, standin::serviceTimeouts().uploadMs);
    if (!stored)
        return fail(eAdminRefused, QStringLiteral("upload %1 was not restored: %2").arg(options.upload).arg(message));
    const QJsonObject answer = QJsonDocument::fromJson(QByteArray::fromStdString(reply)).object();
    std::printf("Restored: upload %lld is now upload %lld, the newest of %s (restored from %lld)\n", options.upload,
                static_cast<long long>(answer.value(QStringLiteral("uploadId")).toDouble()),
                qUtf8Printable(QString::fromStdString(broker.brokerName)), options.upload);
    return eAdminDone;
}

} // namespace DVK
