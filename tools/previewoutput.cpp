#include "previewoutput.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <cstdio>

namespace DVK {

namespace {

QString separatorName(const QString& separator)
{
    return separator == QLatin1String("\t") ? QStringLiteral("tab") : QStringLiteral("comma");
}

} // namespace

QJsonObject previewJson(const ConversionFileLines& content, const UploadRequestPlan& plan)
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
    for (const UploadSkippedLine& note : plan.skipped)
        skipped.append(QJsonObject{{"line", note.line + 1}, {"reason", uploadSkipText(note.reason)}});
    QJsonArray warnings;
    for (const UploadWarnedLine& note : plan.warnings)
        warnings.append(QJsonObject{{"line", note.line + 1}, {"warning", uploadWarningText(note.warning)}});
    return QJsonObject{{"message", content.message},
                       {"kind", content.kind},
                       {"separator", content.separator},
                       {"lines", QJsonArray::fromStringList(content.lines)},
                       {"used", used},
                       {"skipped", skipped},
                       {"warnings", warnings}};
}

void printPreview(const ConversionFileLines& content, const UploadRequestPlan& plan, const PreviewNotes& notes)
{
    std::printf("file kind: %s, separator: %s (%s)\n", qUtf8Printable(content.kind),
                qUtf8Printable(separatorName(content.separator)), qUtf8Printable(content.detail));
    if (notes.workbook) {
        std::printf("workbook: %s\n", qUtf8Printable(notes.report.sheetText()));
        for (const QString& warning : notes.report.sheetWarnings())
            std::printf("warning: %s\n", qUtf8Printable(warning));
    }
    std::printf("lines read: %d\n", static_cast<int>(content.lines.size()));
    size_t used = 0;
    size_t skipped = 0;
    for (int i = 0; i < content.lines.size(); ++i) {
        if (used < plan.usedLines.size() && plan.usedLines[used] == i) {
            const auto& s = plan.detail->subjects.at(used++);
            const auto refused = notes.refused.find(i);
            if (refused != notes.refused.end())
                std::printf("%6d refused  %s\n", i + 1, qUtf8Printable(refused->second));
            else
                std::printf("%6d used     %s %s %s %.15g\n", i + 1, s->exchangeName.c_str(), s->stockCode.c_str(),
                            qUtf8Printable(oneLine(QString::fromStdString(s->stockName))), s->ratio);
        } else if (skipped < plan.skipped.size() && plan.skipped[skipped].line == i) {
            std::printf("%6d skipped  %s: %s\n", i + 1, qUtf8Printable(uploadSkipText(plan.skipped[skipped++].reason)),
                        qUtf8Printable(oneLine(content.lines.at(i).left(80))));
        }
        const auto warnings = notes.lineWarnings.find(i);
        if (warnings != notes.lineWarnings.end()) {
            for (const QString& warning : warnings->second)
                std::printf("%6d warning  %s\n", i + 1, qUtf8Printable(warning));
        }
    }
    for (const UploadWarnedLine& note : plan.warnings)
        std::printf("%6d warning  %s\n", note.line + 1, qUtf8Printable(uploadWarningText(note.warning)));
    const auto lines = [](size_t n) { return QStringLiteral("%1 line%2").arg(n).arg(n == 1 ? "" : "s"); };
    if (notes.undecodableLines > 0)
        std::printf("undecodable bytes, shown as U+FFFD, on %s\n",
                    qUtf8Printable(lines(size_t(notes.undecodableLines))));
    if (plan.request) {
        std::printf("would send: %s\n", plan.request->toLog().c_str());
        if (!notes.refused.empty())
            std::printf("the data service would refuse it: text it cannot store on %s\n",
                        qUtf8Printable(lines(notes.refused.size())));
    } else {
        std::printf("would send nothing: 无可用数据\n");
    }
}

void printJson(const QJsonObject& object)
{
    std::fputs(QJsonDocument(object).toJson(QJsonDocument::Indented).constData(), stdout);
}

} // namespace DVK
