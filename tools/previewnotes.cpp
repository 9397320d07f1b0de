#include "previewnotes.h"

#include "hostservice.h"
#include "uploadvalidation.h"
#include "utf8sequence.h"

#include <QFile>
#include <QJsonArray>

#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace DVK {

namespace {

const QString kUndecodable = QStringLiteral("undecodable bytes, shown as U+FFFD");
const QString kUtf8AsGbk = QStringLiteral("UTF-8 bytes in a file read as GBK, shown as GBK reads them");
const QString kTab = QStringLiteral("a tab inside a cell, read as a space");
const QString kSwapped = QStringLiteral("the code stands before the exchange: a line gives the exchange first, then "
                                        "the code (a detail export's layout is no conversion-rate file)");

QString stateName(standin::ESheetState state)
{
    switch (state) {
    case standin::ESheetState::Hidden: return QStringLiteral("hidden");
    case standin::ESheetState::VeryHidden: return QStringLiteral("veryHidden");
    case standin::ESheetState::Visible: break;
    }
    return QStringLiteral("visible");
}

// Well-formed UTF-8 holding a character of three bytes or more (as Chinese in UTF-8 is): what
// a line of GBK text almost never is.
bool looksUtf8(const char* p, const char* end)
{
    const auto* at = reinterpret_cast<const unsigned char*>(p);
    const auto* stop = reinterpret_cast<const unsigned char*>(end);
    bool wide = false;
    char32_t code = 0;
    std::size_t bad = 0;
    while (at < stop) {
        if (*at < 0x80) {
            ++at;
            continue;
        }
        const std::size_t length = utf8::sequenceAt(at, stop, code, bad);
        if (length == 0)
            return false;
        wide = wide || length >= 3;
        at += length;
    }
    return wide;
}

// What one look at every character of every line finds.
struct LineScan
{
    bool replacement = false; // a U+FFFD in some line
    bool mayRefuse = false;   // a NUL or a surrogate in some line
};

// Each 16-bit lane of v that is zero has its high bit set in the result (and lanes above a zero
// one may too): nonzero exactly when some lane is zero.
constexpr std::uint64_t kLaneLow = 0x0001000100010001ull;
constexpr std::uint64_t kLaneHigh = 0x8000800080008000ull;
std::uint64_t zeroLanes(std::uint64_t v)
{
    return (v - kLaneLow) & ~v & kLaneHigh;
}

// Every character is looked at: four at a time, without a branch per character.
LineScan scanLines(const QStringList& lines)
{
    std::uint64_t replacement = 0;
    std::uint64_t refuse = 0;
    for (const QString& line : lines) {
        const ushort* c = line.utf16();
        const int n = line.size();
        int i = 0;
        for (; i + 4 <= n; i += 4) {
            std::uint64_t word;
            std::memcpy(&word, c + i, sizeof word);
            replacement |= zeroLanes(word ^ (kLaneLow * 0xFFFD));
            refuse |= zeroLanes(word) | zeroLanes((word & (kLaneLow * 0xF800)) ^ (kLaneLow * 0xD800));
        }
        for (; i < n; ++i) {
            replacement |= unsigned(c[i] == 0xFFFD);
            refuse |= unsigned(c[i] == 0) | unsigned((c[i] & 0xF800) == 0xD800);
        }
    }
    return {replacement != 0, refuse != 0};
}

// The lines the reader did not decode as their bytes are written: a U+FFFD the bytes do not hold
// (bytes neither encoding reads), or UTF-8 in a file the client's guess read as GBK. The file is
// looked at again and taken line by line as the reader split it; a UTF-8 file without a U+FFFD
// in its text needs no second look.
void markUndecodable(const QString& path, const ConversionFileLines& content, bool replacement, PreviewNotes& notes)
{
    // The reading said which encoding it took the bytes in; deciding again would read them twice.
    const bool gbk = content.detail == QLatin1String("text read as GBK");
    if (!gbk && !replacement)
        return;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return;
    // Mapped rather than copied: each byte is looked at once.
    const qint64 size = file.size();
    const uchar* mapped = size > 0 ? file.map(0, size) : nullptr;
    const QByteArray copy = mapped ? QByteArray() : file.readAll();
    const char* const begin = mapped ? reinterpret_cast<const char*>(mapped) : copy.constData();
    const char* const stop = begin + (mapped ? size : copy.size());
    // U+FFFD as the file writes it, in its encoding.
    const QByteArray written = gbk ? QByteArray("\x84\x31\xA4\x37") : QByteArray("\xEF\xBF\xBD");
    const QChar replacementChar(0xFFFD);
    std::vector<std::pair<int, const QString*>> marked;
    const char* from = begin;
    const int count = content.lines.size();
    for (int i = 0; i < count; ++i) {
        const char* end = static_cast<const char*>(std::memchr(from, '\n', size_t(stop - from)));
        // Other line breaks than the text's: not the bytes the reader split.
        if ((end == nullptr) != (i + 1 == count))
            return;
        if (!end)
            end = stop;
        const QString& text = content.lines[i];
        const QString* warning = nullptr;
        if (replacement && text.contains(replacementChar) &&
            text.count(replacementChar) > QByteArray::fromRawData(from, int(end - from)).count(written))
            warning = &kUndecodable;
        else if (gbk && looksUtf8(from, end))
            warning = &kUtf8AsGbk;
        if (warning)
            marked.emplace_back(i, warning);
        from = end + 1;
    }
    for (const auto& [line, warning] : marked)
        notes.lineWarnings[line] << *warning;
    notes.undecodableLines += int(marked.size());
}

// The text as UTF-8 with an unpaired surrogate kept as its own three bytes: QString::toUtf8 would
// make it a "?" and hide what the service is shown.
std::string keptUtf8(const QStringRef& text)
{
    std::string out;
    const auto put = [&out](uint code, int bytes) {
        static const unsigned char lead[] = {0, 0, 0xC0, 0xE0, 0xF0};
        char buffer[4];
        for (int k = bytes - 1; k > 0; --k, code >>= 6)
            buffer[k] = char(0x80 | (code & 0x3F));
        buffer[0] = char(lead[bytes] | code);
        out.append(buffer, size_t(bytes));
    };
    for (int i = 0; i < text.size(); ++i) {
        const uint c = text.at(i).unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            put(QChar::surrogateToUcs4(ushort(c), text.at(++i).unicode()), 4);
        else
            put(c, c < 0x80 ? 1 : c < 0x800 ? 2 : 3);
    }
    return out;
}

// The third field of a used line: the name the request sends. Exchange and code come from the
// security master.
QStringRef nameField(const QString& line, const QString& separator)
{
    int start = 0;
    for (int k = 0; k < 2; ++k) {
        const int at = line.indexOf(separator, start);
        if (at < 0)
            return QStringRef();
        start = at + separator.size();
    }
    const int end = line.indexOf(separator, start);
    return line.midRef(start, end < 0 ? -1 : end - start);
}

// The service's words for a name it would not store (see rqservice::unstorable), or empty.
QString refusal(const QStringRef& name)
{
    const char* why = rqservice::unstorable(keptUtf8(name));
    return why ? QStringLiteral("证券名称含有无法保存的字符: ") + QString::fromUtf8(why) : QString();
}

} // namespace

PreviewNotes previewNotes(const QString& path, const ConversionFileLines& content, const UploadRequestPlan& plan)
{
    PreviewNotes notes;
    notes.workbook = content.kind == QLatin1String("xls") || content.kind == QLatin1String("xlsx");
    if (notes.workbook) {
        notes.report = standin::lastWorkbookReport();
        // A tab-joined line's fields are its cells; in a comma-joined one a tab is no separator.
        if (content.separator == QLatin1String("\t")) {
            for (const int line : notes.report.tabLines)
                notes.lineWarnings[line] << kTab;
        }
    }
    const LineScan scan = scanLines(content.lines);
    if (content.kind == QLatin1String("csv") && content.message.isEmpty())
        markUndecodable(path, content, scan.replacement, notes);
    // The service stores well-formed UTF-8 without a NUL (rqservice::unstorable); a name made
    // UTF-8 by Qt is well-formed but for a NUL or a surrogate it turned into "?". Without either in
    // any line there is nothing it would refuse.
    const bool mayRefuse = scan.mayRefuse;
    for (size_t i = 0; mayRefuse && i < plan.usedLines.size(); ++i) {
        // The service judges the name as sent; a "?" in it may be an unpaired surrogate the
        // conversion to UTF-8 replaced, so then the name as the file gives it is judged.
        const std::string& sent = plan.detail->subjects[i]->stockName;
        const char* why = rqservice::unstorable(sent);
        QString reason = why ? QStringLiteral("证券名称含有无法保存的字符: ") + QString::fromUtf8(why) : QString();
        if (reason.isEmpty() && sent.find('?') != std::string::npos)
            reason = refusal(nameField(content.lines.at(plan.usedLines[i]), content.separator));
        if (!reason.isEmpty())
            notes.refused[plan.usedLines[i]] = reason;
    }
    // A line of no known security whose two keys, the other way round, would name one.
    const rqservice::IDataCenterPtr securities = rqservice::TraderCenter::instance()->getDataCenter();
    for (const UploadSkippedLine& skipped : plan.skipped) {
        if (!securities || skipped.reason != EUploadSkip::UnknownSecurity)
            continue;
        // The first two fields only: a line may be megabytes of separators.
        const QString& line = content.lines.at(skipped.line);
        const int first = line.indexOf(content.separator);
        if (first < 0)
            continue;
        const int second = line.indexOf(content.separator, first + content.separator.size());
        const QString key1 = line.left(first);
        const QString key2 =
            line.mid(first + content.separator.size(), second < 0 ? -1 : second - first - content.separator.size());
        if (securities->findInstrument(key2.toUtf8().toStdString(), key1.toUtf8().toStdString()))
            notes.lineWarnings[skipped.line] << kSwapped;
    }
    return notes;
}

int storableLines(const UploadRequestPlan& plan, const PreviewNotes& notes)
{
    return int(plan.usedLines.size() - notes.refused.size());
}

void addPreviewNotes(QJsonObject& object, const PreviewNotes& notes)
{
    if (notes.workbook) {
        const standin::WorkbookReport& r = notes.report;
        QJsonObject workbook{{"sheets", r.sheetCount}, {"warnings", QJsonArray::fromStringList(r.sheetWarnings())}};
        if (r.sheet > 0)
            workbook.insert(QStringLiteral("sheet"),
                            QJsonObject{{"index", r.sheet}, {"name", r.sheetName}, {"state", stateName(r.sheetState)}});
        if (r.activeSheet > 0)
            workbook.insert(QStringLiteral("opensOn"),
                            QJsonObject{{"index", r.activeSheet}, {"name", r.activeSheetName}});
        if (!r.refusal.isEmpty())
            workbook.insert(QStringLiteral("refusal"), r.refusal);
        object.insert(QStringLiteral("workbook"), workbook);
    }
    QJsonArray used;
    for (const QJsonValue& value : object.value(QStringLiteral("used")).toArray()) {
        if (!notes.refused.count(value.toObject().value(QStringLiteral("line")).toInt() - 1))
            used.append(value);
    }
    object.insert(QStringLiteral("used"), used);
    QJsonArray refused;
    for (const auto& [line, reason] : notes.refused)
        refused.append(QJsonObject{{"line", line + 1}, {"reason", reason}});
    object.insert(QStringLiteral("refused"), refused);
    QJsonArray warnings = object.value(QStringLiteral("warnings")).toArray();
    QJsonArray undecodable;
    for (const auto& [line, texts] : notes.lineWarnings) {
        for (const QString& text : texts) {
            warnings.append(QJsonObject{{"line", line + 1}, {"warning", text}});
            if (text == kUndecodable || text == kUtf8AsGbk)
                undecodable.append(line + 1);
        }
    }
    object.insert(QStringLiteral("warnings"), warnings);
    object.insert(QStringLiteral("undecodable"), undecodable);
}

QString oneLine(QString text)
{
    return text.replace(QLatin1Char('\n'), QLatin1String("\\n")).replace(QLatin1Char('\r'), QLatin1String("\\r"));
}

} // namespace DVK
