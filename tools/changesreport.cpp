#include "changesreport.h"

#include "upload/uploadrequest.h"

#include <QJsonArray>
#include <QLocale>
#include <QStringList>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <vector>

namespace DVK {

namespace {

bool isWide(uint c)
{
    return c >= 0x1100 &&
           (c <= 0x115F || c == 0x2329 || c == 0x232A || (c >= 0x2E80 && c <= 0xA4CF && c != 0x303F) ||
            (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFE10 && c <= 0xFE19) ||
            (c >= 0xFE30 && c <= 0xFE6F) || (c >= 0xFF00 && c <= 0xFF60) || (c >= 0xFFE0 && c <= 0xFFE6) ||
            (c >= 0x1F300 && c <= 0x1F64F) || (c >= 0x1F900 && c <= 0x1F9FF) || (c >= 0x20000 && c <= 0x3FFFD));
}

QString raw(const std::string& utf8)
{
    return QString::fromUtf8(utf8.data(), int(utf8.size()));
}

QString text(const std::string& utf8)
{
    QString out = raw(utf8);
    // A name from a file must not move the terminal's cursor or break the row.
    for (QChar& c : out) {
        if (c.category() == QChar::Other_Control)
            c = QLatin1Char('?');
    }
    return out;
}

QString ratioText(double value)
{
    return QString::number(value, 'g', 15);
}

QString changeText(const SecurityChange& c)
{
    const double delta = c.newRatio() - c.oldRatio();
    // Fewer digits than the ratios: 0.6 - 0.55 reads 0.05, not 0.0499999999999999.
    return (delta > 0 ? QStringLiteral("+") : QString()) + QString::number(delta, 'g', 12);
}

QString grouped(std::size_t n)
{
    return QLocale(QLocale::English, QLocale::UnitedStates).toString(qulonglong(n));
}

QString padded(const QString& s, int width)
{
    return s + QString(std::max(0, width - displayWidth(s)), QLatin1Char(' '));
}

QString rightAligned(const QString& s, int width)
{
    return QString(std::max(0, width - displayWidth(s)), QLatin1Char(' ')) + s;
}

QJsonValue ratioJson(double value)
{
    return std::isfinite(value) ? QJsonValue(value) : QJsonValue(); // JSON has no NaN
}

QJsonArray rowsJson(const std::vector<SecurityChange>& rows)
{
    QJsonArray out;
    for (const SecurityChange& c : rows) {
        const rqservice::CStkSubjects& r = c.row();
        QJsonObject row{{"exchange", raw(r.exchangeName)}, {"code", raw(r.stockCode)}, {"name", raw(r.stockName)}};
        if (c.before)
            row.insert(QStringLiteral("old"), ratioJson(c.before->ratio));
        if (c.after)
            row.insert(QStringLiteral("new"), ratioJson(c.after->ratio));
        if (c.nameChanged())
            row.insert(QStringLiteral("oldName"), raw(c.before->stockName));
        if (c.kind != SecurityChange::Kind::Added)
            row.insert(QStringLiteral("warning"), c.warning);
        out.append(row);
    }
    return out;
}

// Removals and changes interleaved, largest first; then what is new, in file order.
std::vector<const SecurityChange*> readingOrder(const UploadChanges& changes)
{
    std::vector<const SecurityChange*> removed;
    std::vector<const SecurityChange*> changed;
    for (const SecurityChange& c : changes.removed)
        removed.push_back(&c);
    for (const SecurityChange& c : changes.changed)
        changed.push_back(&c);
    std::vector<const SecurityChange*> rows;
    rows.reserve(removed.size() + changed.size() + changes.added.size());
    std::merge(removed.begin(), removed.end(), changed.begin(), changed.end(), std::back_inserter(rows),
               [](const SecurityChange* a, const SecurityChange* b) { return listedBefore(*a, *b); });
    for (const SecurityChange& c : changes.added)
        rows.push_back(&c);
    return rows;
}

// A heading and one line per row, each column as wide as its widest cell on a terminal.
QStringList tableLines(const std::vector<const SecurityChange*>& rows)
{
    struct Cells
    {
        QString head, exchange, code, name, oldRatio, newRatio, change, note;
    };
    std::vector<Cells> cells;
    cells.reserve(rows.size() + 1);
    cells.push_back({QStringLiteral("  "), QStringLiteral("exchange"), QStringLiteral("code"), QStringLiteral("name"),
                     QStringLiteral("old"), QStringLiteral("new"), QStringLiteral("change"), QString()});
    for (const SecurityChange* c : rows) {
        const rqservice::CStkSubjects& r = c->row();
        const char* kind = !c->before ? "+" : !c->after ? "-" : "~";
        cells.push_back({QLatin1String(c->warning ? "!" : " ") + QLatin1String(kind), text(r.exchangeName),
                         text(r.stockCode), text(r.stockName), c->before ? ratioText(c->before->ratio) : QString(),
                         c->after ? ratioText(c->after->ratio) : QString(), changeText(*c),
                         c->nameChanged() ? QStringLiteral("name was %1").arg(text(c->before->stockName)) : QString()});
    }
    int w[6] = {0, 0, 0, 0, 0, 0};
    for (const Cells& row : cells) {
        const QString* cols[6] = {&row.exchange, &row.code, &row.name, &row.oldRatio, &row.newRatio, &row.change};
        for (int i = 0; i < 6; ++i)
            w[i] = std::max(w[i], displayWidth(*cols[i]));
    }
    QStringList lines;
    for (const Cells& row : cells) {
        QString line = row.head + QLatin1Char(' ') + padded(row.exchange, w[0]) + QLatin1Char(' ') +
                       padded(row.code, w[1]) + QLatin1Char(' ') + padded(row.name, w[2]) + QLatin1Char(' ') +
                       rightAligned(row.oldRatio, w[3]) + QLatin1Char(' ') + rightAligned(row.newRatio, w[4]) +
                       QLatin1Char(' ') + rightAligned(row.change, w[5]);
        if (!row.note.isEmpty())
            line += QLatin1String("  ") + row.note;
        lines << line;
    }
    return lines;
}

} // namespace

QString terminalText(const std::string& utf8)
{
    return text(utf8);
}

int displayWidth(const QString& s)
{
    int width = 0;
    for (int i = 0; i < s.size(); ++i) {
        uint c = s.at(i).unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < s.size() && s.at(i + 1).isLowSurrogate()) {
            c = QChar::surrogateToUcs4(s.at(i), s.at(i + 1));
            ++i;
        }
        const QChar::Category category = QChar::category(c);
        if (category == QChar::Mark_NonSpacing || category == QChar::Mark_Enclosing || category == QChar::Other_Format)
            continue;
        width += isWide(c) ? 2 : 1;
    }
    return width;
}

QString changesSummary(const UploadChanges& changes)
{
    return QStringLiteral("+%1 \u2212%2 ~%3 =%4")
        .arg(grouped(changes.added.size()), grouped(changes.removed.size()), grouped(changes.changed.size()),
             grouped(changes.unchanged));
}

QString changesText(const UploadChanges& changes, const ChangesContext& context)
{
    QStringList out;
    out << changesSummary(changes);
    if (context.broker) {
        out << QStringLiteral("%1 (%2, key %3) on %4: %5 rows on the server, %6 %7")
                   .arg(text(context.broker->brokerName), text(context.broker->brokerId))
                   .arg(context.broker->brokerKeyNo)
                   .arg(context.database, grouped(context.serverRows), grouped(context.fileRows), context.source);
    }
    const std::size_t large = changes.warnings() - changes.removed.size();
    out << (changes.warnings() == 0 ? QStringLiteral("no warning: nothing removed, no ratio moves by more than %1")
                                          .arg(ratioText(context.maxChange))
                                    : QStringLiteral("%1 warnings (!): %2 removed, %3 changed by more than %4")
                                          .arg(grouped(changes.warnings()), grouped(changes.removed.size()),
                                               grouped(large), ratioText(context.maxChange)));
    const std::vector<const SecurityChange*> rows = readingOrder(changes);
    if (!rows.empty())
        out << QString() << tableLines(rows);
    return out.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

QJsonObject changesJson(const UploadChanges& changes, const ChangesContext& context)
{
    QJsonObject out{{"database", context.database},          {"maxChange", context.maxChange},
                    {"added", rowsJson(changes.added)},      {"removed", rowsJson(changes.removed)},
                    {"changed", rowsJson(changes.changed)},  {"unchanged", double(changes.unchanged)},
                    {"warnings", double(changes.warnings())}};
    if (context.broker) {
        out.insert(QStringLiteral("broker"), QJsonObject{{"keyNo", context.broker->brokerKeyNo},
                                                         {"id", raw(context.broker->brokerId)},
                                                         {"name", raw(context.broker->brokerName)}});
    }
    return out;
}

} // namespace DVK
