// Shows what an upload of a conversion-rate file would send, without sending it: the same
// reading and request building as the upload dialog; with --changes, what it would change on
// the server.

#include "previewchanges.h"
#include "previewhistory.h"
#include "previewnotes.h"
#include "previewoptions.h"
#include "previewoutput.h"

#include "programend.h"
#include "standinservice.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <system_error>
#include <thread>

using namespace DVK;

int main(int argc, char* argv[])
{
    // Out of memory or threads (an address-space limit): a message and exit 2, never a signal.
    standin::endWithMessageOnFailure("creditdata-preview", ePreviewNoLines);
    QCoreApplication app(argc, argv);
    PreviewOptions options;
    QString error;
    if (!parsePreviewOptions(QCoreApplication::arguments(), options, error)) {
        std::fprintf(stderr, "creditdata-preview: %s\n%s(--help: every option)\n", qUtf8Printable(error),
                     kPreviewUsage);
        return ePreviewUsage;
    }
    if (options.changes || options.history) {
        // The demo host's names: its data folder holds the default database.
        QCoreApplication::setOrganizationName(QStringLiteral("CreditData"));
        QCoreApplication::setApplicationName(QStringLiteral("DemoHost"));
    }
    if (options.history)
        return previewHistory(options);
    if (!options.securities.isEmpty() && !standin::loadSecurityMaster(options.securities)) {
        std::fprintf(stderr, "creditdata-preview: cannot read the security master %s\n",
                     qUtf8Printable(options.securities));
        return ePreviewUsage;
    }

    // The client has its securities loaded long before an upload; here they load while the
    // file is read, and the request is built once both are done.
    // Where no thread can be had (an address-space limit, a process cap), they load on this
    // thread when the request building below asks for them.
    std::thread securities;
    if (options.securities.isEmpty()) {
        try {
            securities = std::thread([] {
                try {
                    rqservice::TraderCenter::instance()->getDataCenter();
                } catch (...) {
                    // Asked again, on this thread, by the request building below.
                }
            });
        } catch (const std::system_error&) {
        }
    }
    ConversionFileLines content;
    UploadRequestPlan plan;
    PreviewNotes notes;
    try {
        content = readConversionFile(options.file);
        if (securities.joinable())
            securities.join();
        if (content.message.isEmpty() && !options.changes)
            plan = buildUploadRequest(content.lines, content.separator, options.broker);
        notes = previewNotes(options.file, content, plan);
    } catch (const std::exception& e) {
        if (securities.joinable())
            securities.join();
        std::fprintf(stderr, "creditdata-preview: %s could not be read: %s\n", qUtf8Printable(options.file), e.what());
        return ePreviewNoLines;
    }
    if (content.message.isEmpty() && options.changes) {
        try {
            return previewChanges(options, content);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "creditdata-preview: the changes could not be worked out: %s\n", e.what());
            return ePreviewNoService;
        }
    }

    // Why nothing was read: the workbook reader's own reason, or how the file was taken.
    const QString reason = notes.workbook && !notes.report.refusal.isEmpty() ? notes.report.refusal : content.detail;
    int lineWarnings = 0;
    for (const auto& line : notes.lineWarnings)
        lineWarnings += line.second.size();
    if (options.json) {
        QJsonObject object = previewJson(content, plan);
        if (content.message.isEmpty() && !plan.request)
            object.insert(QStringLiteral("message"), QStringLiteral("无可用数据"));
        if (!content.message.isEmpty())
            object.insert(QStringLiteral("reason"), reason);
        addPreviewNotes(object, notes);
        printJson(object);
    } else if (options.countOnly) {
        std::printf("lines %d used %d skipped %d warnings %d refused %d undecodable %d%s%s\n",
                    static_cast<int>(content.lines.size()), storableLines(plan, notes),
                    static_cast<int>(plan.skipped.size()), static_cast<int>(plan.warnings.size()) + lineWarnings,
                    static_cast<int>(notes.refused.size()), notes.undecodableLines,
                    content.message.isEmpty() ? "" : " message ", qUtf8Printable(content.message));
    } else if (!content.message.isEmpty()) {
        std::printf("file kind: %s\nnothing read: %s (%s)\n", qUtf8Printable(content.kind),
                    qUtf8Printable(content.message), qUtf8Printable(reason));
    } else {
        printPreview(content, plan, notes);
    }
    // A count or JSON gives the message only: why nothing was read (out of memory, say) goes to stderr.
    if (!content.message.isEmpty() && (options.json || options.countOnly))
        std::fprintf(stderr, "creditdata-preview: nothing read: %s (%s)\n", qUtf8Printable(content.message),
                     qUtf8Printable(reason));
    const int code = !content.message.isEmpty() ? ePreviewNoLines
                     : !plan.request            ? ePreviewNothingUsable
                     : notes.refused.empty()    ? ePreviewSends
                                                : ePreviewServiceRefuses;
    // Everything is said: the hundreds of thousands of lines and records need not be taken apart
    // one by one (a tenth of the run for a large file), the system takes the memory back whole.
    std::fflush(stdout);
    std::fflush(stderr);
    std::_Exit(code);
}
