// Shows what an upload of a conversion-rate file would send, without sending it: the same
// reading and request building as the upload dialog.

#include "upload/conversionfile.h"
#include "upload/uploadrequest.h"

#include "standinservice.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

#include <cstdio>
#include <exception>
#include <thread>

namespace {

constexpr int kExitSends = 0;
constexpr int kExitUsage = 1;
constexpr int kExitNoLines = 2;
constexpr int kExitNothingUsable = 3;

struct Options
{
    QString file;
    QString securities;
    DVK::UploadBroker broker;
    bool json = false;
    bool countOnly = false;
};

const char kUsage[] =
    "usage: creditdata-preview FILE [--securities CSV] [--broker-id ID --broker-name NAME --broker-key N]\n"
    "                          [--json | --count]\n"
    "Shows what uploading FILE (.csv, .xls, .xlsx) would send, without sending it.\n"
    "  --securities CSV  security master to look codes up in (header exchange,code,name)\n"
    "  --json            one JSON object: message, separator, lines, used, skipped, warnings\n"
    "  --count           one line: lines read, used, skipped, warnings\n"
    "Exit: 0 something would be sent, 2 file refused, unreadable or empty, 3 nothing usable.\n";

bool parse(const QStringList& args, Options& options, QString& error)
{
    for (int i = 1; i < args.size(); ++i) {
        const QString& arg = args.at(i);
        auto value = [&](QString& out) {
            if (i + 1 >= args.size()) {
                error = QStringLiteral("%1 needs a value").arg(arg);
                return false;
            }
            out = args.at(++i);
            return true;
        };
        QString text;
        if (arg == QLatin1String("--json")) {
            options.json = true;
        } else if (arg == QLatin1String("--count")) {
            options.countOnly = true;
        } else if (arg == QLatin1String("--securities")) {
            if (!value(options.securities))
                return false;
        } else if (arg == QLatin1String("--broker-id")) {
            if (!value(text))
                return false;
            options.broker.brokerId = text.toUtf8().toStdString();
        } else if (arg == QLatin1String("--broker-name")) {
            if (!value(text))
                return false;
            options.broker.brokerName = text.toUtf8().toStdString();
        } else if (arg == QLatin1String("--broker-key")) {
            if (!value(text))
                return false;
            bool ok = false;
            options.broker.brokerKeyNo = text.toInt(&ok);
            if (!ok) {
                error = QStringLiteral("--broker-key takes a whole number, not \"%1\"").arg(text);
                return false;
            }
        } else if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            error.clear();
            return false;
        } else if (arg.startsWith(QLatin1String("--")) || !options.file.isEmpty()) {
            error = QStringLiteral("unexpected argument \"%1\"").arg(arg);
            return false;
        } else {
            options.file = arg;
        }
    }
    if (options.file.isEmpty()) {
        error = QStringLiteral("no file given");
        return false;
    }
    return true;
}

QString separatorName(const QString& separator)
{
    return separator == QLatin1String("\t") ? QStringLiteral("tab") : QStringLiteral("comma");
}

QJsonObject toJson(const DVK::ConversionFileLines& content, const DVK::UploadRequestPlan& plan)
{
    QJsonArray used;
    for (size_t i = 0; i < plan.usedLines.size(); ++i) {
        const auto& subject = plan.detail->subjects.at(i);
        used.append(QJsonObject{{"line", plan.usedLines[i] + 1},
                                {"exchangeName", QString::fromStdString(subject->exchangeName)},
                                {"stockCode", QString::fromStdString(subject->stockCode)},
                                {"stockName", QString::fromStdString(subject->stockName)},
                                {"ratio", subject->ratio}});
    }
    QJsonArray skipped;
    for (const DVK::UploadLineNote& note : plan.skipped) {
        skipped.append(
            QJsonObject{{"line", note.line + 1}, {"reason", DVK::uploadSkipText(DVK::EUploadSkip(note.kind))}});
    }
    QJsonArray warnings;
    for (const DVK::UploadLineNote& note : plan.warnings) {
        warnings.append(
            QJsonObject{{"line", note.line + 1}, {"warning", DVK::uploadWarningText(DVK::EUploadWarning(note.kind))}});
    }
    return QJsonObject{{"message", content.message},
                       {"kind", content.kind},
                       {"separator", content.separator},
                       {"lines", QJsonArray::fromStringList(content.lines)},
                       {"used", used},
                       {"skipped", skipped},
                       {"warnings", warnings}};
}

void printText(const DVK::ConversionFileLines& content, const DVK::UploadRequestPlan& plan)
{
    std::printf("file kind: %s, separator: %s (%s)\n", qUtf8Printable(content.kind),
                qUtf8Printable(separatorName(content.separator)), qUtf8Printable(content.detail));
    std::printf("lines read: %d\n", static_cast<int>(content.lines.size()));
    size_t used = 0;
    size_t skipped = 0;
    for (int i = 0; i < content.lines.size(); ++i) {
        if (used < plan.usedLines.size() && plan.usedLines[used] == i) {
            const auto& s = plan.detail->subjects.at(used++);
            std::printf("%6d used     %s %s %s %.15g\n", i + 1, s->exchangeName.c_str(), s->stockCode.c_str(),
                        s->stockName.c_str(), s->ratio);
        } else if (skipped < plan.skipped.size() && plan.skipped[skipped].line == i) {
            std::printf("%6d skipped  %s: %s\n", i + 1,
                        qUtf8Printable(DVK::uploadSkipText(DVK::EUploadSkip(plan.skipped[skipped++].kind))),
                        qUtf8Printable(content.lines.at(i).left(80)));
        }
    }
    for (const DVK::UploadLineNote& note : plan.warnings) {
        std::printf("%6d warning  %s\n", note.line + 1,
                    qUtf8Printable(DVK::uploadWarningText(DVK::EUploadWarning(note.kind))));
    }
    if (plan.request) {
        std::printf("would send: %s\n", plan.request->toLog().c_str());
    } else {
        std::printf("would send nothing: 无可用数据\n");
    }
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    Options options;
    QString error;
    if (!parse(QCoreApplication::arguments(), options, error)) {
        if (!error.isEmpty())
            std::fprintf(stderr, "creditdata-preview: %s\n", qUtf8Printable(error));
        std::fputs(kUsage, error.isEmpty() ? stdout : stderr);
        return error.isEmpty() ? 0 : kExitUsage;
    }
    if (!options.securities.isEmpty() && !standin::loadSecurityMaster(options.securities)) {
        std::fprintf(stderr, "creditdata-preview: cannot read the security master %s\n",
                     qUtf8Printable(options.securities));
        return kExitUsage;
    }

    // The client has its securities loaded long before an upload; here they load while the
    // file is read, and the request is built once both are done.
    std::thread securities;
    if (options.securities.isEmpty()) {
        securities = std::thread([] {
            try {
                rqservice::TraderCenter::instance()->getDataCenter();
            } catch (...) {
                // Asked again, on this thread, by the request building below.
            }
        });
    }
    DVK::ConversionFileLines content;
    DVK::UploadRequestPlan plan;
    try {
        content = DVK::readConversionFile(options.file);
        if (securities.joinable())
            securities.join();
        if (content.message.isEmpty())
            plan = DVK::buildUploadRequest(content.lines, content.separator, options.broker);
    } catch (const std::exception& e) {
        if (securities.joinable())
            securities.join();
        std::fprintf(stderr, "creditdata-preview: %s could not be read: %s\n", qUtf8Printable(options.file), e.what());
        return kExitNoLines;
    }

    if (options.json) {
        QJsonObject object = toJson(content, plan);
        if (content.message.isEmpty() && !plan.request)
            object.insert(QStringLiteral("message"), QStringLiteral("无可用数据"));
        std::fputs(QJsonDocument(object).toJson(QJsonDocument::Indented).constData(), stdout);
    } else if (options.countOnly) {
        std::printf("lines %d used %d skipped %d warnings %d%s%s\n", static_cast<int>(content.lines.size()),
                    static_cast<int>(plan.usedLines.size()), static_cast<int>(plan.skipped.size()),
                    static_cast<int>(plan.warnings.size()), content.message.isEmpty() ? "" : " message ",
                    qUtf8Printable(content.message));
    } else if (!content.message.isEmpty()) {
        std::printf("file kind: %s\nnothing read: %s (%s)\n", qUtf8Printable(content.kind),
                    qUtf8Printable(content.message), qUtf8Printable(content.detail));
    } else {
        printText(content, plan);
    }
    return !content.message.isEmpty() ? kExitNoLines : plan.request ? kExitSends : kExitNothingUsable;
}
