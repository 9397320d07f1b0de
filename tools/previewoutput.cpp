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
    for (const UploadLineNote& note : plan.skipped) {
        skipped.append(
            QJsonObject{{"line", note.line + 1}, {"reason", uploadSkipText(EUploadSkip(note.kind))}});
    }
    QJsonArray warnings;
    for (const UploadLineNote& note : plan.warnings) {
        warnings.append(
            QJsonObject{{"line", note.line + 1}, {"warning", uploadWarningText(EUploadWarning(note.kind))}});
    }
    return QJsonObject{{"message", content.message},
                       {"kind", content.kind},
                       {"separator", content.separator},
                       {"lines", QJsonArray::fromStringList(content.lines)},
                       {"used", used},
                       {"skipped", skipped},
                       {"warnings", warnings}};
}

void printPreview(const ConversionFileLines& content, const UploadRequestPlan& plan)
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
                        qUtf8Printable(uploadSkipText(EUploadSkip(plan.skipped[skipped++].kind))),
                        qUtf8Printable(content.lines.at(i).left(80)));
        }
    }
    for (const UploadLineNote& note : plan.warnings) {
        std::printf("%6d warning  %s\n", note.line + 1,
                    qUtf8Printable(uploadWarningText(EUploadWarning(note.kind))));
    }
    if (plan.request) {
        std::printf("would send: %s\n", plan.request->toLog().c_str());
    } else {
        std::printf("would send nothing: 无可用数据\n");
    }
}

void printJson(const QJsonObject& object)
{
    std::fputs(QJsonDocument(object).toJson(QJsonDocument::Indented).constData(), stdout);
}

} // namespace DVK
