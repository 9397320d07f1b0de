#include "previewchanges.h"

#include "changesreport.h"
#include "common/detailquerykey.h"
#include "previewbroker.h"
#include "previewoutput.h"
#include "uploadchanges.h"

#include <boost/pointer_cast.hpp>

#include <cstdio>

namespace DVK {

namespace {

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

} // namespace

int previewChanges(const PreviewOptions& options, const ConversionFileLines& content)
{
    PreviewBroker found;
    QString error;
    const int status = findPreviewBroker(options, found, error);
    if (status != ePreviewSends)
        return fail(options, content, status, error);
    IPreviewServer* const server = found.server.get();
    const UploadBroker broker = chooseUploadBroker(found.record->brokerId, found.record->brokerName, found.summary);

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
