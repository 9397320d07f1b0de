#include "upload/conversionfile.h"

#include "hosttoolkit.h"

#include <QFileInfo>

#include <cstring>

#include <string>
#include <vector>

namespace DVK {

namespace {

const QString kFormatError = QStringLiteral("文件格式错误");
const QString kOpenFailed = QStringLiteral("文件打开失败");
const QString kEmptyFile = QStringLiteral("文件内容为空");

void readWorkbook(const QString& path, ConversionFileLines& result)
{
    {
        WB::COdbcExcelReader reader(nullptr);
        if (reader.open(path, result.lines, true)) {
            reader.close();
            result.separator = QStringLiteral("\t");
            result.detail = QStringLiteral("workbook read by the tab-joined reader");
            return;
        }
        result.detail = QStringLiteral("tab-joined reader: %1; ").arg(reader.lastError());
    }

    // The fallback appends to whatever the first reader left in the list.
    WB::CExcelReader reader(nullptr);
    if (!reader.init(false) || !reader.isValid()) {
        result.message = kOpenFailed;
        result.detail += QStringLiteral("cell reader unavailable");
        reader.exitExcel();
        return;
    }
    if (!reader.open(path)) {
        result.detail += QStringLiteral("cell reader: %1").arg(reader.lastError());
    } else {
        result.detail += QStringLiteral("workbook read by the cell reader");
    }
    const int firstRow = reader.getSheetStartRow(1);
    const int lastRow = reader.getSheetRowCount(1);
    const int firstColumn = reader.getSheetStartCol(1);
    const int lastColumn = reader.getSheetColCount(1);
    QStringList cells;
    for (int row = firstRow; row <= lastRow; ++row) {
        cells.clear();
        for (int column = firstColumn; column <= lastColumn; ++column) {
            cells << reader.getData(1, row, column, false);
        }
        result.lines << cells.join(QLatin1Char(','));
    }
    reader.close();
    reader.exitExcel();
}

enum class LineRead
{
    Decoded,
    Broken, // a sequence that is not well-formed UTF-8: the lines are left empty
    Other,  // well-formed so far, but a character Qt alone decides: the lines are left empty
};

// Appends without the reference-count round trip of a copy: QList has no move append.
void appendLine(QStringList& lines, QString& line)
{
    lines.append(QString());
    lines.last().swap(line);
}

// Lines of text[begin, end), split on line feeds; decodeLine(text, from, to, line) writes one line
// into a string of to - from characters, shortening it to fit, and says whether it could. The
// outcome is that of the first line that is not Decoded.
//
// (Decoding the halves of a large text on two threads was tried: making each line's string costs
// as much as decoding it, and the strings had best come from the caller's heap, so it gained
// nothing.)
template <typename DecodeLine>
LineRead decodeLines(const unsigned char* text, size_t begin, size_t end, QStringList& lines, DecodeLine decodeLine)
{
    for (size_t start = begin;;) {
        const auto* lineBreak = static_cast<const unsigned char*>(std::memchr(text + start, '\n', end - start));
        const size_t stop = lineBreak ? size_t(lineBreak - text) : end;
        QString line(int(stop - start), Qt::Uninitialized);
        const LineRead read = decodeLine(text, start, stop, line);
        if (read != LineRead::Decoded)
            return read;
        appendLine(lines, line);
        if (!lineBreak)
            return LineRead::Decoded;
        start = stop + 1;
    }
}

// GBK text of ASCII and two-byte characters only (what every GBK writer produces for Chinese
// names) decoded straight to UTF-16 lines: each distinct character goes through the client's
// converter once, in one batch, so the result is the converter's own. False, with no line added,
// when the text holds anything else (four-byte sequences, stray bytes) and the whole-text
// conversion must decide.
bool decodePlainGbk(const std::string& content, QStringList& lines)
{
    constexpr int kTrails = 0xFF - 0x40;
    auto index = [](unsigned char lead, unsigned char trail) { return (lead - 0x81) * kTrails + (trail - 0x40); };
    std::vector<char16_t> table(size_t(0xFF - 0x81) * kTrails, 0);
    std::string batch;
    const auto* bytes = reinterpret_cast<const unsigned char*>(content.data());
    const size_t size = content.size();
    for (size_t i = 0; i < size;) {
        const unsigned char lead = bytes[i];
        if (lead < 0x80) {
            ++i;
            continue;
        }
        if (lead < 0x81 || lead > 0xFE || i + 1 >= size)
            return false;
        const unsigned char trail = bytes[i + 1];
        if (trail < 0x40 || trail == 0x7F || trail > 0xFE)
            return false;
        char16_t& slot = table[size_t(index(lead, trail))];
        if (slot == 0) {
            slot = 1; // seen; filled in below
            batch += char(lead);
            batch += char(trail);
        }
        i += 2;
    }

    // Each pair must come back as one character of the basic plane, and not as the replacement.
    std::string converted = batch;
    utils::safeGbk2Utf8(converted);
    const QString decoded = QString::fromUtf8(converted.data(), int(converted.size()));
    if (decoded.size() * 2 != int(batch.size()))
        return false;
    for (int k = 0; k < decoded.size(); ++k) {
        const char16_t c = decoded.at(k).unicode();
        if (c == 0xFFFD || (c >= 0xD800 && c <= 0xDFFF) || c < 0x80)
            return false;
        table[size_t(index(uchar(batch[size_t(2 * k)]), uchar(batch[size_t(2 * k + 1)])))] = c;
    }

    // Straight into the lines: a line break is never part of a two-byte character, so this splits
    // as the decoded text would, without the whole text as one more copy.
    const auto decodeLine = [&table, &index](const unsigned char* text, size_t start, size_t stop, QString& line) {
        QChar* out = line.data();
        for (size_t i = start; i < stop;) {
            const unsigned char lead = text[i];
            if (lead < 0x80) {
                *out++ = QChar(char16_t(lead));
                ++i;
            } else {
                *out++ = QChar(table[size_t(index(lead, text[i + 1]))]);
                i += 2;
            }
        }
        line.truncate(int(out - line.constData()));
        return LineRead::Decoded;
    };
    decodeLines(bytes, 0, size, lines, decodeLine);
    return true;
}

// UTF-8 text of one- to three-byte characters, well formed throughout, decoded straight to lines.
// Such text decodes one way only, so the lines are those of Qt's decoder split on line feeds; and
// it is never taken for GBK, so the client's guess need not look at it. Anything Qt alone decides
// (a broken or four-byte sequence, a byte-order mark past the start, a noncharacter) stops it
// with no line added.
LineRead decodePlainUtf8(const std::string& content, QStringList& lines)
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(content.data());
    const size_t size = content.size();
    const bool bom = size >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF;
    const auto decodeLine = [](const unsigned char* text, size_t start, size_t stop, QString& line) {
        QChar* out = line.data();
        for (size_t i = start; i < stop;) {
            const unsigned char b0 = text[i];
            if (b0 < 0x80) {
                *out++ = QChar(char16_t(b0));
                ++i;
            } else if (b0 >= 0xC2 && b0 <= 0xDF) {
                if (stop - i < 2 || (text[i + 1] & 0xC0) != 0x80)
                    return LineRead::Broken;
                *out++ = QChar(char16_t(((b0 & 0x1F) << 6) | (text[i + 1] & 0x3F)));
                i += 2;
            } else if (b0 >= 0xE0 && b0 <= 0xEF) {
                if (stop - i < 3 || (text[i + 1] & 0xC0) != 0x80 || (text[i + 2] & 0xC0) != 0x80)
                    return LineRead::Broken;
                const char16_t c = char16_t(((b0 & 0x0F) << 12) | ((text[i + 1] & 0x3F) << 6) | (text[i + 2] & 0x3F));
                if (c < 0x800 || (c >= 0xD800 && c <= 0xDFFF))
                    return LineRead::Broken;
                if (c == 0xFEFF || (c >= 0xFDD0 && c <= 0xFDEF) || c >= 0xFFFE)
                    return LineRead::Other;
                *out++ = QChar(c);
                i += 3;
            } else {
                return b0 >= 0xF0 && b0 <= 0xF4 ? LineRead::Other : LineRead::Broken;
            }
        }
        line.truncate(int(out - line.constData()));
        return LineRead::Decoded;
    };
    QStringList decoded;
    const LineRead read = decodeLines(bytes, bom ? 3 : 0, size, decoded, decodeLine);
    if (read == LineRead::Decoded)
        lines.swap(decoded);
    return read;
}

void readText(const QString& path, ConversionFileLines& result)
{
    // The client's file helper takes paths in the GBK code page.
    const QByteArray utf8Path = path.toUtf8();
    std::string gbkPath(utf8Path.constData(), static_cast<size_t>(utf8Path.size()));
    utils::safeUtf82GbkOrigin(gbkPath);

    std::string content;
    if (!utils::FileHelper::open(gbkPath, content)) {
        // Said plainly rather than letting an unreadable file pass for one without usable rows.
        result.message = kOpenFailed;
        result.detail = QStringLiteral("cannot read the file");
        return;
    }
    const LineRead utf8 = decodePlainUtf8(content, result.lines);
    if (utf8 == LineRead::Decoded) {
        result.detail = QStringLiteral("text read as UTF-8");
        return;
    }
    // Text that is broken as UTF-8 and plain GBK, without a byte-order mark, is what the client's
    // guess takes for GBK (no sequence broken as GBK, at least one as UTF-8): it need not run.
    const bool bom = content.size() >= 3 && content.compare(0, 3, "\xEF\xBB\xBF") == 0;
    bool decoded = utf8 == LineRead::Broken && !bom && decodePlainGbk(content, result.lines);
    bool gbk = decoded;
    if (!decoded) {
        gbk = utils::isGBKCode(content);
        decoded = gbk && decodePlainGbk(content, result.lines);
    }
    if (!decoded) {
        if (gbk) {
            utils::safeGbk2Utf8(content);
        }
        QString text = WB::sToQs(content);
        std::string().swap(content);
        result.lines = text.split(QLatin1Char('\n'), Qt::KeepEmptyParts, Qt::CaseSensitive);
    }
    result.detail = gbk ? QStringLiteral("text read as GBK") : QStringLiteral("text read as UTF-8");
}

} // namespace

ConversionFileLines readConversionFile(const QString& path)
{
    ConversionFileLines result;
    result.kind = QFileInfo(path).completeSuffix();
    if (result.kind == QLatin1String("xls") || result.kind == QLatin1String("xlsx")) {
        readWorkbook(path, result);
    } else if (result.kind == QLatin1String("csv")) {
        readText(path, result);
    } else {
        result.message = kFormatError;
        result.detail = QStringLiteral("suffix \"%1\" is not csv, xls or xlsx").arg(result.kind);
        return result;
    }
    if (result.message.isEmpty() && result.lines.isEmpty()) {
        result.message = kEmptyFile;
    }
    return result;
}

} // namespace DVK
