#include "previewhistory.h"

#include "changesreport.h"
#include "common/detailquerykey.h"
#include "previewbroker.h"
#include "previewoutput.h"
#include "uploadchanges.h"

#include <QJsonArray>
#include <QStringList>

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>
#include <utility>

namespace DVK {

namespace {

// More than a broker uploads in decades; --last beyond it lists them all.
constexpr int kMostListed = 100000;

struct HistoryLine
{
    rqservice::UploadEntry upload;
    std::size_t added = 0;
    std::size_t removed = 0;
    std::size_t changed = 0;
    std::size_t unchanged = 0;
    std::size_t warnings = 0;
    QString summary; // "+a −r ~c =u"
};

int fail(const PreviewOptions& options, int status, const QString& message)
{
    std::fprintf(stderr, "creditdata-preview: %s\n", qUtf8Printable(message));
    if (options.json)
        printJson(QJsonObject{{"message", message}});
    return status;
}

QString when(const rqservice::UploadEntry& upload)
{
    const QString date = QString::fromStdString(upload.date);
    const QString time = QString::fromStdString(upload.time);
    return QStringLiteral("%1-%2-%3 %4:%5:%6")
        .arg(date.mid(0, 4), date.mid(4, 2), date.mid(6, 2), time.mid(0, 2), time.mid(2, 2), time.mid(4, 2));
}

// The account that stored it, and the client's word for its user where that says otherwise.
QString userText(const rqservice::UploadEntry& upload)
{
    QString text = upload.user.empty() ? QStringLiteral("(unknown)") : terminalText(upload.user);
    if (!upload.clientUser.empty() && upload.clientUser != upload.user)
        text += QStringLiteral(" (client: %1)").arg(terminalText(upload.clientUser));
    return text;
}

QString accountsText(const rqservice::UploadHistory& history)
{
    return history.accounts == rqservice::UploadHistory::eSystemAccounts
               ? QStringLiteral("user: the operating system's account that stored it (a database file has no "
                                "accounts of its own)")
               : QStringLiteral("user: the database account that stored it");
}

QString padded(const QString& s, int width, bool right = false)
{
    const QString fill(std::max(0, width - displayWidth(s)), QLatin1Char(' '));
    return right ? fill + s : s + fill;
}

void printText(const PreviewBroker& found, const rqservice::UploadHistory& history,
               const std::vector<HistoryLine>& lines, bool more)
{
    std::printf("%s (%s, key %d) on %s: %d uploads shown, newest first\n",
                qUtf8Printable(terminalText(found.record->brokerName)),
                qUtf8Printable(terminalText(found.record->brokerId)), found.record->brokerKeyNo,
                qUtf8Printable(found.server->database()), int(lines.size()));
    if (lines.empty())
        return;
    std::printf("%s; date and time: the server's clock; rows: as the database counted them\n",
                qUtf8Printable(accountsText(history)));
    // The upload's number is what a restore and "restored from" name it by.
    int idWidth = displayWidth(QStringLiteral("upload"));
    int userWidth = displayWidth(QStringLiteral("user"));
    int rowsWidth = displayWidth(QStringLiteral("rows"));
    for (const HistoryLine& line : lines) {
        idWidth = std::max(idWidth, displayWidth(QString::number(line.upload.id)));
        userWidth = std::max(userWidth, displayWidth(userText(line.upload)));
        rowsWidth = std::max(rowsWidth, displayWidth(QString::number(line.upload.rows)));
    }
    QStringList out{QStringLiteral("\n%1  %2  %3  %4  changes against the upload before")
                        .arg(padded(QStringLiteral("upload"), idWidth, true),
                             padded(QStringLiteral("date and time"), 19), padded(QStringLiteral("user"), userWidth),
                             padded(QStringLiteral("rows"), rowsWidth, true))};
    for (const HistoryLine& line : lines) {
        out << QStringLiteral("%1  %2  %3  %4  %5%6")
                   .arg(padded(QString::number(line.upload.id), idWidth, true), when(line.upload),
                        padded(userText(line.upload), userWidth),
                        padded(QString::number(line.upload.rows), rowsWidth, true),
                        line.summary + (line.upload.restoredFrom
                                            ? QStringLiteral("  restored from %1").arg(line.upload.restoredFrom)
                                            : QString()),
                        line.warnings ? QStringLiteral("  (%1 warnings)").arg(line.warnings) : QString());
    }
    if (more)
        out << QStringLiteral("(earlier uploads not shown: --last)");
    std::fputs(qUtf8Printable(out.join(QLatin1Char('\n')) + QLatin1Char('\n')), stdout);
}

void printHistoryJson(const PreviewBroker& found, const rqservice::UploadHistory& history,
                      const std::vector<HistoryLine>& lines, bool more)
{
    QJsonArray uploads;
    for (const HistoryLine& line : lines) {
        uploads.append(QJsonObject{
            {"id", double(line.upload.id)},
            {"date", QString::fromStdString(line.upload.date)},
            {"time", QString::fromStdString(line.upload.time)},
            {"user", line.upload.user.empty() ? QJsonValue() : QJsonValue(QString::fromStdString(line.upload.user))},
            {"clientUser", line.upload.clientUser.empty() ? QJsonValue()
                                                          : QJsonValue(QString::fromStdString(line.upload.clientUser))},
            {"restoredFrom", line.upload.restoredFrom ? QJsonValue(double(line.upload.restoredFrom)) : QJsonValue()},
            {"rows", double(line.upload.rows)},
            {"added", double(line.added)},
            {"removed", double(line.removed)},
            {"changed", double(line.changed)},
            {"unchanged", double(line.unchanged)},
            {"warnings", double(line.warnings)}});
    }
    printJson(QJsonObject{{"broker", QJsonObject{{"keyNo", found.record->brokerKeyNo},
                                                 {"id", QString::fromStdString(found.record->brokerId)},
                                                 {"name", QString::fromStdString(found.record->brokerName)}}},
                          {"database", found.server->database()},
                          {"accounts", history.accounts == rqservice::UploadHistory::eSystemAccounts
                                           ? QStringLiteral("operating system")
                                           : QStringLiteral("database")},
                          {"uploads", uploads},
                          {"more", more}});
}

// Asks the rows of one upload; without an answer, says why as the tool fails and gives its exit status.
int askRows(const PreviewOptions& options, const PreviewBroker& found, const std::string& key, long long uploadId,
            std::vector<rqservice::CStkSubjectsPtr>& rows)
{
    const PreviewRows answer = found.server->uploadRows(key, uploadId);
    if (!answer.answered)
        return fail(
            options, ePreviewNoService,
            QStringLiteral("the data service did not answer for upload %1: %2").arg(uploadId).arg(answer.message));
    rows = answer.rows;
    return ePreviewSends;
}

// One security's state in one upload: its name and ratio per exchange that lists the code.
using SecurityState = std::map<std::string, std::pair<std::string, double>>;

SecurityState stateOf(const std::vector<rqservice::CStkSubjectsPtr>& rows, const std::string& code)
{
    SecurityState state;
    for (const rqservice::CStkSubjectsPtr& row : rows) {
        if (row && row->stockCode == code)
            state.emplace(row->exchangeName, std::make_pair(row->stockName, row->ratio));
    }
    return state;
}

struct SecurityStep
{
    rqservice::UploadEntry upload;
    std::string exchange;
    std::string name;
    bool before = false; // in the upload before, with oldRatio
    bool after = false;  // still in this upload, with newRatio
    double oldRatio = 0.0;
    double newRatio = 0.0;
};

// What each upload did to the security, oldest first: it came, went, or took another ratio or name.
void addSteps(const rqservice::UploadEntry& upload, const SecurityState& before, const SecurityState& after,
              std::vector<SecurityStep>& steps)
{
    std::set<std::string> exchanges;
    for (const auto& entry : before)
        exchanges.insert(entry.first);
    for (const auto& entry : after)
        exchanges.insert(entry.first);
    for (const std::string& exchange : exchanges) {
        const auto was = before.find(exchange);
        const auto is = after.find(exchange);
        if (was != before.end() && is != after.end() && was->second == is->second)
            continue;
        SecurityStep step;
        step.upload = upload;
        step.exchange = exchange;
        step.name = is != after.end() ? is->second.first : was->second.first;
        step.before = was != before.end();
        step.after = is != after.end();
        step.oldRatio = step.before ? was->second.second : 0.0;
        step.newRatio = step.after ? is->second.second : 0.0;
        steps.push_back(step);
    }
}

QString ratioText(bool present, double ratio)
{
    return present ? QString::number(ratio, 'g', 12) : QStringLiteral("-");
}

int printSecurityHistory(const PreviewOptions& options, const PreviewBroker& found, const std::string& key,
                         const rqservice::UploadHistory& history, std::size_t listed)
{
    const std::vector<rqservice::UploadEntry>& uploads = history.uploads;
    // The upload before the oldest listed is where the security stood; with none, it was not there.
    SecurityState state;
    std::size_t first = listed;
    if (listed < uploads.size()) {
        std::vector<rqservice::CStkSubjectsPtr> rows;
        if (const int status = askRows(options, found, key, uploads[listed].id, rows); status != ePreviewSends)
            return status;
        state = stateOf(rows, options.code);
    }
    std::vector<SecurityStep> steps;
    while (first-- > 0) {
        std::vector<rqservice::CStkSubjectsPtr> rows;
        if (const int status = askRows(options, found, key, uploads[first].id, rows); status != ePreviewSends)
            return status;
        SecurityState next = stateOf(rows, options.code);
        addSteps(uploads[first], state, next, steps);
        state.swap(next);
    }
    const bool more = uploads.size() > listed;
    const QString code = QString::fromStdString(options.code);
    if (options.json) {
        QJsonArray changes;
        for (const SecurityStep& step : steps) {
            changes.append(
                QJsonObject{{"upload", double(step.upload.id)},
                            {"date", QString::fromStdString(step.upload.date)},
                            {"time", QString::fromStdString(step.upload.time)},
                            {"user", step.upload.user.empty() ? QJsonValue()
                                                              : QJsonValue(QString::fromStdString(step.upload.user))},
                            {"clientUser", step.upload.clientUser.empty()
                                               ? QJsonValue()
                                               : QJsonValue(QString::fromStdString(step.upload.clientUser))},
                            {"exchange", QString::fromStdString(step.exchange)},
                            {"name", QString::fromStdString(step.name)},
                            {"old", step.before ? QJsonValue(step.oldRatio) : QJsonValue()},
                            {"new", step.after ? QJsonValue(step.newRatio) : QJsonValue()}});
        }
        printJson(QJsonObject{{"broker", QJsonObject{{"keyNo", found.record->brokerKeyNo},
                                                     {"id", QString::fromStdString(found.record->brokerId)},
                                                     {"name", QString::fromStdString(found.record->brokerName)}}},
                              {"database", found.server->database()},
                              {"code", code},
                              {"uploads", double(listed)},
                              {"changes", changes},
                              {"more", more}});
        return ePreviewSends;
    }
    std::printf("%s (%s, key %d) on %s: security %s through %d uploads, oldest first\n",
                qUtf8Printable(terminalText(found.record->brokerName)),
                qUtf8Printable(terminalText(found.record->brokerId)), found.record->brokerKeyNo,
                qUtf8Printable(found.server->database()), qUtf8Printable(terminalText(options.code)), int(listed));
    std::printf("%s; date and time: the server's clock\n", qUtf8Printable(accountsText(history)));
    if (steps.empty()) {
        std::printf("\nno upload shown changed it%s\n", more ? " (earlier uploads not shown: --last)" : "");
        return ePreviewSends;
    }
    QStringList out{QString()};
    for (const SecurityStep& step : steps) {
        out << QStringLiteral("%1  %2  upload %3  %4 %5 %6  %7 -> %8")
                   .arg(when(step.upload), userText(step.upload))
                   .arg(step.upload.id)
                   .arg(terminalText(step.exchange), code, terminalText(step.name),
                        ratioText(step.before, step.oldRatio), ratioText(step.after, step.newRatio));
    }
    if (more)
        out << QStringLiteral("(earlier uploads not shown: --last)");
    std::fputs(qUtf8Printable(out.join(QLatin1Char('\n')) + QLatin1Char('\n')), stdout);
    return ePreviewSends;
}

} // namespace

int previewHistory(const PreviewOptions& options)
{
    PreviewBroker found;
    QString error;
    const int status = findPreviewBroker(options, found, error);
    if (status != ePreviewSends)
        return fail(options, status, error);
    const std::string key = detailQueryKey(found.record->brokerKeyNo, found.record->brokerId);
    // One more than listed: the oldest one listed is compared with the upload before it.
    const int asked = std::min(options.last, kMostListed);
    const PreviewHistory history = found.server->history(key, asked + 1);
    if (!history.answered)
        return fail(options, ePreviewNoService,
                    QStringLiteral("the data service did not answer the history query: %1").arg(history.message));
    const std::vector<rqservice::UploadEntry>& uploads = history.history.uploads;
    const std::size_t listed = std::min(uploads.size(), std::size_t(asked));
    if (!options.code.empty())
        return printSecurityHistory(options, found, key, history.history, listed);

    // Two uploads' rows at a time, however long the history.
    std::vector<HistoryLine> lines;
    std::vector<rqservice::CStkSubjectsPtr> newer;
    for (std::size_t i = 0; i < listed; ++i) {
        if (i == 0) {
            std::vector<rqservice::CStkSubjectsPtr> rows;
            if (const int answer = askRows(options, found, key, uploads[0].id, rows); answer != ePreviewSends)
                return answer;
            newer = std::move(rows);
        }
        std::vector<rqservice::CStkSubjectsPtr> older;
        if (i + 1 < uploads.size()) {
            std::vector<rqservice::CStkSubjectsPtr> rows;
            if (const int answer = askRows(options, found, key, uploads[i + 1].id, rows); answer != ePreviewSends)
                return answer;
            older = std::move(rows);
        }
        const UploadChanges changes = compareUpload(older, newer, options.maxChange);
        HistoryLine line;
        line.upload = uploads[i];
        line.added = changes.added.size();
        line.removed = changes.removed.size();
        line.changed = changes.changed.size();
        line.unchanged = changes.unchanged;
        line.warnings = changes.warnings();
        line.summary = changesSummary(changes);
        lines.push_back(line);
        newer.swap(older);
    }
    const bool more = uploads.size() > listed;
    if (options.json)
        printHistoryJson(found, history.history, lines, more);
    else
        printText(found, history.history, lines, more);
    return ePreviewSends;
}

} // namespace DVK
