#include "xlssheetloader.h"

#include "biffdecryption.h"
#include "compounddocument.h"
#include "inputcaps.h"
#include "littleendian.h"
#include "cellsink.h"
#include "officecrypto.h"
#include "xlsxsheetloader.h"

#include <algorithm>
#include <cstring>

namespace WB {

namespace {

enum : quint16
{
    kFormula = 0x0006,
    kFormulaBiff3 = 0x0406, // the same record under the id of older writers
    kColInfo = 0x007D,
    kMergedCells = 0x00E5,
    kRow = 0x0208,
    kEof = 0x000A,
    kDateMode = 0x0022,
    kFilePass = 0x002F,
    kContinue = 0x003C,
    kCodePage = 0x0042,
    kWindow1 = 0x003D,
    kBoundSheet = 0x0085,
    kMulRk = 0x00BD,
    kMulBlank = 0x00BE,
    kRString = 0x00D6,
    kXf = 0x00E0,
    kSst = 0x00FC,
    kLabelSst = 0x00FD,
    kBlank = 0x0201,
    kNumber = 0x0203,
    kLabel = 0x0204,
    kBoolErr = 0x0205,
    kString = 0x0207,
    kRk = 0x027E,
    kFormat = 0x041E,
    kBof = 0x0809,
};

constexpr quint16 kBiff8 = 0x0600;
constexpr quint16 kBiff5 = 0x0500;
constexpr quint16 kGlobalsKind = 0x0005;

using le::f64;
using le::u16;
using le::u32;

// An RK packs a number in 30 bits: an integer or the high bits of a double, maybe times 100.
double rkValue(quint32 rk)
{
    double value;
    if (rk & 2) {
        value = double(qint32(rk) >> 2);
    } else {
        const quint64 bits = quint64(rk & 0xFFFFFFFCu) << 32;
        std::memcpy(&value, &bits, sizeof value);
    }
    return (rk & 1) ? value / 100 : value;
}

QString cellName(int row, int column)
{
    QString letters;
    for (int c = column + 1; c > 0; c = (c - 1) / 26)
        letters.prepend(QLatin1Char(char('A' + (c - 1) % 26)));
    return letters + QString::number(row + 1);
}

bool errorText(quint8 code, QString& text)
{
    switch (code) {
    case 0x00: text = QStringLiteral("#NULL!"); return true;
    case 0x07: text = QStringLiteral("#DIV/0!"); return true;
    case 0x0F: text = QStringLiteral("#VALUE!"); return true;
    case 0x17: text = QStringLiteral("#REF!"); return true;
    case 0x1D: text = QStringLiteral("#NAME?"); return true;
    case 0x24: text = QStringLiteral("#NUM!"); return true;
    case 0x2A: text = QStringLiteral("#N/A"); return true;
    case 0x2B: text = QStringLiteral("#GETTING_DATA"); return true;
    default: return false;
    }
}

QTextCodec* codecFor(quint16 codePage)
{
    QTextCodec* codec = nullptr;
    if (codePage == 10000)
        codec = QTextCodec::codecForName("macintosh");
    else if (codePage != 1200)
        codec = QTextCodec::codecForName("windows-" + QByteArray::number(codePage));
    if (!codec && codePage != 1200)
        codec = QTextCodec::codecForName("CP" + QByteArray::number(codePage));
    return codec ? codec : QTextCodec::codecForName("windows-1252");
}

} // namespace

namespace xls {

// A record's body and the CONTINUE records after it, read as one sequence of bytes, except that
// characters going on in a CONTINUE start again with an option byte giving their width.
class CPieces
{
public:
    void start(const uchar* data, int size)
    {
        m_spans.clear();
        m_spans.push_back(Span{data, size});
        m_span = 0;
        m_at = 0;
    }
    void add(const uchar* data, int size) { m_spans.push_back(Span{data, size}); }

    bool atEnd() const
    {
        for (size_t i = m_span; i < m_spans.size(); ++i) {
            if ((i == m_span ? m_spans[i].size - m_at : m_spans[i].size) > 0)
                return false;
        }
        return true;
    }

    bool bytes(uchar* out, int count)
    {
        while (count > 0) {
            if (m_span >= m_spans.size())
                return false;
            const int take = std::min(count, m_spans[m_span].size - m_at);
            if (take == 0) {
                ++m_span;
                m_at = 0;
                continue;
            }
            if (out) {
                std::memcpy(out, m_spans[m_span].data + m_at, size_t(take));
                out += take;
            }
            m_at += take;
            count -= take;
        }
        return true;
    }
    bool skip(qint64 count)
    {
        while (count > 0) {
            const int step = int(std::min<qint64>(count, 1 << 20));
            if (!bytes(nullptr, step))
                return false;
            count -= step;
        }
        return true;
    }
    template <typename T>
    bool number(T& value)
    {
        uchar raw[sizeof(T)];
        if (!bytes(raw, int(sizeof raw)))
            return false;
        value = le::read<T>(raw);
        return true;
    }

    // A BIFF8 string: character count (lengthBytes wide), options, run count and extension size
    // when flagged, the characters (Latin-1 or UTF-16), then the runs and extension, skipped.
    bool unicodeString(int lengthBytes, QString& out)
    {
        quint16 count = 0;
        quint8 length8 = 0, options = 0;
        if (lengthBytes == 1 ? !number(length8) : !number(count))
            return false;
        if (lengthBytes == 1)
            count = length8;
        if (!number(options))
            return false;
        quint16 runs = 0;
        quint32 extension = 0;
        if (((options & 0x08) && !number(runs)) || ((options & 0x04) && !number(extension)))
            return false;
        return characters(count, options & 0x01, out) && skip(qint64(runs) * 4) && skip(extension);
    }

    // A BIFF5 string: byte count (lengthBytes wide) and bytes in the workbook's code page.
    bool byteString(int lengthBytes, QTextCodec* codec, QString& out)
    {
        quint16 count = 0;
        quint8 length8 = 0;
        if (lengthBytes == 1 ? !number(length8) : !number(count))
            return false;
        if (lengthBytes == 1)
            count = length8;
        QByteArray raw(count, Qt::Uninitialized);
        if (!bytes(reinterpret_cast<uchar*>(raw.data()), count))
            return false;
        out += codec->toUnicode(raw);
        return true;
    }

private:
    struct Span
    {
        const uchar* data;
        int size;
    };

    bool characters(int count, bool wide, QString& out)
    {
        while (count > 0) {
            if (m_span >= m_spans.size())
                return false;
            const int left = m_spans[m_span].size - m_at;
            if (left == 0) {
                ++m_span;
                m_at = 0;
                quint8 options = 0;
                if (m_span >= m_spans.size() || !number(options))
                    return false;
                wide = options & 0x01;
                continue;
            }
            const int take = std::min(count, wide ? left / 2 : left);
            if (take == 0)
                return false; // half a character before the record ends
            const uchar* p = m_spans[m_span].data + m_at;
            const int old = out.size();
            out.resize(old + take);
            QChar* dst = out.data() + old;
            if (wide) {
                for (int i = 0; i < take; ++i)
                    dst[i] = QChar(u16(p + 2 * i));
            } else {
                for (int i = 0; i < take; ++i)
                    dst[i] = QChar(ushort(p[i]));
            }
            m_at += wide ? 2 * take : take;
            count -= take;
        }
        return true;
    }

    std::vector<Span> m_spans;
    size_t m_span = 0;
    int m_at = 0;
};

// Walks the records of a workbook stream from an offset; each record is checked to end inside it.
class CRecords
{
public:
    CRecords(const QByteArray& stream, qint64 at)
        : m_data(reinterpret_cast<const uchar*>(stream.constData()))
        , m_size(stream.size())
        , m_at(at)
    {
    }

    // False at the end of the stream, and on a record running past it (then broken()).
    bool next()
    {
        if (m_at + 4 > m_size) {
            m_broken = m_at != m_size;
            return false;
        }
        type = u16(m_data + m_at);
        length = u16(m_data + m_at + 2);
        if (m_at + 4 + length > m_size) {
            m_broken = true;
            return false;
        }
        offset = m_at;
        data = m_data + m_at + 4;
        m_at += 4 + length;
        return true;
    }
    // Puts this record and the CONTINUE records after it into pieces, stepping past them.
    void withContinues(CPieces& pieces)
    {
        pieces.start(data, length);
        while (m_at + 4 <= m_size && u16(m_data + m_at) == kContinue) {
            const int size = u16(m_data + m_at + 2);
            if (m_at + 4 + size > m_size)
                return;
            pieces.add(m_data + m_at + 4, size);
            m_at += 4 + size;
        }
    }
    bool broken() const { return m_broken; }

    quint16 type = 0;
    int length = 0;
    qint64 offset = 0;
    const uchar* data = nullptr;

private:
    const uchar* m_data;
    qint64 m_size;
    qint64 m_at;
    bool m_broken = false;
};

} // namespace xls

namespace {

bool isCellRecord(quint16 type)
{
    switch (type) {
    case kFormula:
    case kFormulaBiff3:
    case kMulRk:
    case kMulBlank:
    case kRString:
    case kLabelSst:
    case kBlank:
    case kNumber:
    case kLabel:
    case kBoolErr:
    case kRk: return true;
    default: return false;
    }
}

} // namespace

bool CXlsSheetLoader::fail(const QString& message)
{
    m_error = QStringLiteral("xls: ") + message;
    return false;
}

bool CXlsSheetLoader::load(QFile& file, ICellSink& grid, standin::WorkbookReport& sheets)
{
    CCompoundDocument document;
    m_sheets = standin::WorkbookReport();
    if (!document.open(file)) {
        m_error = document.error();
        return false;
    }
    const bool ok = load(document, grid);
    sheets = m_sheets;
    return ok;
}

bool CXlsSheetLoader::loadData(const QByteArray& file, ICellSink& grid)
{
    CCompoundDocument document;
    m_sheets = standin::WorkbookReport();
    if (!document.openData(file)) {
        m_error = document.error();
        return false;
    }
    return load(document, grid);
}

bool CXlsSheetLoader::load(CCompoundDocument& document, ICellSink& grid)
{
    m_sheets = standin::WorkbookReport();
    m_activeTab = -1;
    m_firstSheetType = 0;
    m_biff8 = true;
    m_date1904 = false;
    m_codec = QTextCodec::codecForName("windows-1252");
    m_formats.clear();
    m_xfFormats.clear();
    m_cellFormats = CCellFormats();
    m_covered.clear();
    m_sharedPool.clear();
    m_shared.clear();
    m_error.clear();
    m_pendingRow = m_pendingColumn = -1;

    QByteArray stream;
    const QString name =
        document.hasStream(QStringLiteral("Workbook")) ? QStringLiteral("Workbook") : QStringLiteral("Book");
    if (!document.hasStream(name) && COfficeCrypto::isEncryptedPackage(document)) {
        // An .xlsx package encrypted into the compound document: read once decrypted.
        COfficeCrypto crypto;
        QByteArray package;
        if (!crypto.decrypt(document, package)) {
            m_error = crypto.error();
            return false;
        }
        document = CCompoundDocument(); // the encrypted bytes are done with
        CXlsxSheetLoader xlsx;
        const bool ok = xlsx.loadData(package, grid, m_sheets);
        m_error = xlsx.error();
        if (!ok) {
            m_sheets = standin::WorkbookReport();
            grid.clear();
        }
        return ok;
    }
    if (!document.hasStream(name))
        return fail(QStringLiteral("no Workbook or Book stream in the compound document"));
    if (!document.readStream(name, stream)) {
        m_error = document.error();
        return false;
    }
    CBiffDecryption decryption;
    if (!decryption.inspect(stream) || !decryption.decrypt(stream))
        return fail(decryption.error());
    if (decryption.kind() != CBiffDecryption::EKind::None)
        document = CCompoundDocument(); // the stream is a copy of its own now
    qint64 firstSheet = -1;
    const bool ok = readGlobals(stream, firstSheet) && readSheet(stream, firstSheet, grid);
    m_sharedPool = QString();
    std::vector<std::pair<quint32, quint32>>().swap(m_shared);
    if (!ok) {
        m_sheets = standin::WorkbookReport();
        grid.clear();
        return false;
    }
    if (!grid.finish())
        return fail(grid.error());
    return true;
}

bool CXlsSheetLoader::readGlobals(const QByteArray& stream, qint64& firstSheet)
{
    xls::CRecords record(stream, 0);
    if (!record.next() || record.type != kBof || record.length < 4)
        return fail(QStringLiteral("the workbook stream does not start with a BOF record"));
    const quint16 version = u16(record.data);
    if (version != kBiff8 && version != kBiff5)
        return fail(QStringLiteral("BIFF version 0x%1 is not read (BIFF5 and BIFF8 are)")
                        .arg(version, 4, 16, QLatin1Char('0')));
    if (u16(record.data + 2) != kGlobalsKind)
        return fail(QStringLiteral("the workbook stream does not start with the workbook globals"));
    m_biff8 = version == kBiff8;

    xls::CPieces pieces;
    bool ended = false;
    while (!ended && record.next()) {
        const uchar* d = record.data;
        const int n = record.length;
        switch (record.type) {
        case kEof: ended = true; break;
        case kFilePass: break; // the stream was decrypted before
        case kCodePage:
            if (!m_biff8 && n >= 2)
                m_codec = codecFor(u16(d));
            break;
        case kDateMode: m_date1904 = n >= 2 && u16(d) == 1; break;
        case kFormat: {
            if (n < 3)
                break;
            QString code;
            pieces.start(d + 2, n - 2);
            const bool read = m_biff8 ? pieces.unicodeString(2, code) : pieces.byteString(1, m_codec, code);
            // No real format code is longer; longer ones would only cost memory.
            if (read && code.size() <= inputcaps::kMaxFormatChars)
                m_formats.insert(u16(d), code);
            break;
        }
        case kXf:
            if (n >= 4 && qint64(m_xfFormats.size()) < inputcaps::kMaxCellStyles)
                m_xfFormats.push_back(u16(d + 2));
            break;
        case kSst: {
            if (!m_biff8 || n < 8)
                break;
            record.withContinues(pieces);
            quint32 total = 0, unique = 0;
            pieces.number(total);
            pieces.number(unique);
            // The declared count is not trusted: the strings end where the data does, and a cell
            // pointing past them fails.
            for (quint32 i = 0; i < unique && !pieces.atEnd(); ++i) {
                if (qint64(m_shared.size()) >= inputcaps::kMaxSharedStrings)
                    return fail(QStringLiteral("more than %1 shared strings").arg(inputcaps::kMaxSharedStrings));
                const int start = m_sharedPool.size();
                if (!pieces.unicodeString(2, m_sharedPool))
                    return fail(QStringLiteral("shared string %1 is cut short").arg(i));
                const int half =
                    CCellText::unpairedSurrogate(m_sharedPool.constData() + start, m_sharedPool.size() - start);
                if (half >= 0)
                    return unpaired(QStringLiteral("shared string %1").arg(i), m_sharedPool.at(start + half));
                if (m_sharedPool.size() > inputcaps::kMaxSharedChars)
                    return fail(QStringLiteral("shared strings larger than the %1 MiB cap")
                                    .arg(inputcaps::kMaxSharedChars * 2 / inputcaps::kMiB));
                m_shared.emplace_back(quint32(start), quint32(m_sharedPool.size() - start));
            }
            break;
        }
        case kWindow1:
            // The first window's: the one the workbook opens in.
            if (n >= 12 && m_activeTab < 0)
                m_activeTab = u16(d + 10);
            break;
        case kBoundSheet:
            if (n >= 6 && !readSheetEntry(d, n, pieces, firstSheet))
                return false;
            break;
        default: break;
        }
    }
    if (!ended)
        return fail(QStringLiteral("the workbook globals end without an EOF record (truncated stream?)"));
    if (m_sheets.sheetCount == 0)
        return fail(QStringLiteral("the workbook lists no sheet"));
    if (m_activeTab >= 0 && m_sheets.activeSheet == 0 && m_activeTab < m_sheets.sheetCount)
        m_sheets.activeSheet = m_activeTab + 1; // its window came after the sheets: no name
    switch (m_firstSheetType) {
    case 0: break;
    case 2: return fail(QStringLiteral("the first sheet is a chart, not a worksheet"));
    case 1: return fail(QStringLiteral("the first sheet is a macro sheet, not a worksheet"));
    default: return fail(QStringLiteral("the first sheet is of the type %1, not a worksheet").arg(m_firstSheetType));
    }

    // A FORMAT record may redefine a built-in id.
    for (auto format = m_formats.constBegin(); format != m_formats.constEnd(); ++format)
        m_cellFormats.define(format.key(), format.value());
    for (quint16 format : m_xfFormats)
        m_cellFormats.addStyle(format);
    return true;
}

// A BOUNDSHEET record: where a sheet starts, whether it is hidden, its kind and its name.
bool CXlsSheetLoader::readSheetEntry(const uchar* d, int n, xls::CPieces& pieces, qint64& firstSheet)
{
    const int index = ++m_sheets.sheetCount;
    if (index != 1 && index != m_activeTab + 1)
        return true;
    QString name;
    pieces.start(d + 6, n - 6);
    if (n > 6 && !(m_biff8 ? pieces.unicodeString(1, name) : pieces.byteString(1, m_codec, name)))
        return fail(QStringLiteral("the name of sheet %1 is cut short").arg(index));
    if (index == m_activeTab + 1) {
        m_sheets.activeSheet = index;
        m_sheets.activeSheetName = name;
    }
    if (index == 1) {
        firstSheet = u32(d);
        m_firstSheetType = d[5];
        m_sheets.sheet = 1;
        m_sheets.sheetName = name;
        const int state = d[4] & 0x03;
        m_sheets.sheetState = state == 1   ? standin::ESheetState::Hidden
                              : state == 2 ? standin::ESheetState::VeryHidden
                                           : standin::ESheetState::Visible;
    }
    return true;
}

bool CXlsSheetLoader::putNumber(ICellSink& grid, int row, int column, double value, quint16 xf)
{
    const CNumberFormat& format = m_cellFormats.ofStyle(xf);
    if (!format.plain()) {
        const EShown shown = format.shows(value);
        if (shown == EShown::NoDigit || shown == EShown::Scaled)
            return fail(formatRefusal(cellName(row, column), value, format));
        if (shown != EShown::Value)
            return putText(grid, row, column, format.text(value, m_date1904));
    }
    QChar text[CCellText::kNumberChars];
    return put(grid, row, column, text, CCellText::writeNumber(value, text));
}

bool CXlsSheetLoader::putStyledText(ICellSink& grid, int row, int column, const QChar* chars, int length, quint16 xf)
{
    const CNumberFormat& format = m_cellFormats.ofStyle(xf);
    if (length > 0 && format.hidesText())
        return fail(textFormatRefusal(cellName(row, column), format));
    return put(grid, row, column, chars, length);
}

bool CXlsSheetLoader::put(ICellSink& grid, int row, int column, const QChar* chars, int length)
{
    if (length > 0)
        m_covered.value(qint64(row) + 1, qint64(column) + 1);
    if (grid.addCell(qint64(row) + 1, qint64(column) + 1, chars, length))
        return true;
    return fail(grid.error());
}

bool CXlsSheetLoader::putText(ICellSink& grid, int row, int column, const QString& text)
{
    const int half = CCellText::unpairedSurrogate(text.constData(), text.size());
    if (half >= 0)
        return unpaired(QStringLiteral("the text of cell %1").arg(cellName(row, column)), text.at(half));
    return put(grid, row, column, text.constData(), text.size());
}

bool CXlsSheetLoader::unpaired(const QString& what, QChar half)
{
    return fail(QStringLiteral("%1 holds an unpaired surrogate (U+%2)")
                    .arg(what, QString::number(half.unicode(), 16).toUpper()));
}

bool CXlsSheetLoader::readSheet(const QByteArray& stream, qint64 at, ICellSink& grid)
{
    if (at < 0 || at >= stream.size())
        return fail(QStringLiteral("the first sheet's offset %1 lies outside the workbook stream").arg(at));
    xls::CRecords record(stream, at);
    if (!record.next() || record.type != kBof)
        return fail(QStringLiteral("no BOF record at the first sheet's offset %1").arg(at));
    // A cell takes 14 bytes or more (header, place, style, value) in all but MULRK records.
    grid.reserve((stream.size() - at) / 14);

    xls::CPieces pieces;
    QString text;
    int depth = 1;
    const auto tooShort = [&]() {
        return fail(QStringLiteral("record 0x%1 at offset %2 is too short")
                        .arg(record.type, 4, 16, QLatin1Char('0'))
                        .arg(record.offset));
    };

    while (depth > 0 && record.next()) {
        const quint16 type = record.type;
        if (type == kBof) {
            ++depth; // an embedded chart's substream, skipped
            continue;
        }
        if (type == kEof) {
            --depth;
            continue;
        }
        if (depth > 1)
            continue;
        if (m_pendingRow >= 0 && isCellRecord(type))
            return fail(QStringLiteral("the text result of the formula at %1 is missing (no STRING record)")
                            .arg(cellName(m_pendingRow, m_pendingColumn)));
        const uchar* d = record.data;
        const int n = record.length;
        const int row = n >= 4 ? u16(d) : 0;
        const int column = n >= 4 ? u16(d + 2) : 0;
        bool ok = true;
        switch (type) {
        case kLabelSst: {
            if (n < 10)
                return tooShort();
            const quint32 index = u32(d + 6);
            if (index >= m_shared.size())
                return fail(QStringLiteral("cell %1 refers to shared string %2 of %3")
                                .arg(cellName(row, column))
                                .arg(index)
                                .arg(m_shared.size()));
            const auto& s = m_shared[index];
            ok = putStyledText(grid, row, column, m_sharedPool.constData() + s.first, int(s.second), u16(d + 4));
            break;
        }
        case kLabel:
        case kRString:
            if (n < 8)
                return tooShort();
            text.clear();
            record.withContinues(pieces);
            if (!pieces.skip(6) || !(m_biff8 ? pieces.unicodeString(2, text) : pieces.byteString(2, m_codec, text)))
                return fail(QStringLiteral("the text of cell %1 is cut short").arg(cellName(row, column)));
            if (CCellText::unpairedSurrogate(text.constData(), text.size()) >= 0)
                ok = putText(grid, row, column, text);
            else
                ok = putStyledText(grid, row, column, text.constData(), text.size(), u16(d + 4));
            break;
        case kNumber:
            if (n < 14)
                return tooShort();
            ok = putNumber(grid, row, column, f64(d + 6), u16(d + 4));
            break;
        case kRk:
            if (n < 10)
                return tooShort();
            ok = putNumber(grid, row, column, rkValue(u32(d + 6)), u16(d + 4));
            break;
        case kMulRk: {
            if (n < 6)
                return tooShort();
            const int count = (n - 6) / 6;
            for (int i = 0; i < count && ok; ++i) {
                const uchar* cell = d + 4 + 6 * i;
                ok = putNumber(grid, row, column + i, rkValue(u32(cell + 2)), u16(cell));
            }
            break;
        }
        case kBoolErr: {
            if (n < 8)
                return tooShort();
            if (d[7] == 0) {
                ok = putText(grid, row, column, d[6] ? QStringLiteral("TRUE") : QStringLiteral("FALSE"));
            } else if (!errorText(d[6], text)) {
                return fail(
                    QStringLiteral("cell %1 holds the unknown error code %2").arg(cellName(row, column)).arg(d[6]));
            } else {
                ok = putText(grid, row, column, text);
            }
            break;
        }
        case kFormula:
        case kFormulaBiff3:
            if (n < 20)
                return tooShort();
            ok = readFormula(d, grid);
            break;
        case kRow:
            // Its options' fDyZero: the row is hidden.
            if (n >= 16 && (u16(d + 12) & 0x0020))
                m_covered.hideRow(qint64(u16(d)) + 1);
            break;
        case kColInfo:
            if (n >= 10 && (u16(d + 8) & 0x0001))
                m_covered.hideColumns(qint64(u16(d)) + 1, qint64(u16(d + 2)) + 1);
            break;
        case kMergedCells: ok = readMerges(d, n); break;
        case kString: ok = readFormulaText(record, pieces, grid); break;
        default: break;
        }
        if (!ok)
            return false;
    }
    if (record.broken() || depth > 0)
        return fail(QStringLiteral("the first sheet ends without an EOF record (truncated stream?)"));
    if (m_pendingRow >= 0)
        return fail(QStringLiteral("the text result of the formula at %1 is missing (no STRING record)")
                        .arg(cellName(m_pendingRow, m_pendingColumn)));
    const QString unseen = m_covered.refusal();
    m_covered.clear();
    return unseen.isEmpty() || fail(unseen);
}

// MERGEDCELLS: a count, then first and last row, first and last column of each range.
bool CXlsSheetLoader::readMerges(const uchar* d, int n)
{
    if (n < 2)
        return true;
    const int count = std::min<int>(u16(d), (n - 2) / 8);
    for (int i = 0; i < count; ++i) {
        const uchar* range = d + 2 + 8 * i;
        if (!m_covered.merge(qint64(u16(range)) + 1, qint64(u16(range + 4)) + 1, qint64(u16(range + 2)) + 1,
                             qint64(u16(range + 6)) + 1))
            return fail(QStringLiteral("the first sheet merges more cells than any sheet a person reads"));
    }
    return true;
}

// A FORMULA record of at least 20 bytes: its cached result, or for a text result the cell the next
// STRING record fills.
bool CXlsSheetLoader::readFormula(const uchar* d, ICellSink& grid)
{
    const int row = u16(d);
    const int column = u16(d + 2);
    const uchar* result = d + 6;
    if (result[6] != 0xFF || result[7] != 0xFF)
        return putNumber(grid, row, column, f64(result), u16(d + 4));
    QString text;
    switch (result[0]) {
    case 0:
        m_pendingRow = row;
        m_pendingColumn = column;
        m_pendingXf = u16(d + 4);
        return true;
    case 1: return putText(grid, row, column, result[2] ? QStringLiteral("TRUE") : QStringLiteral("FALSE"));
    case 2:
        if (!errorText(result[2], text))
            return fail(QStringLiteral("the formula at %1 gives the unknown error code %2")
                            .arg(cellName(row, column))
                            .arg(result[2]));
        return putText(grid, row, column, text);
    case 3: return true; // an empty text shows nothing
    default:
        return fail(QStringLiteral("the formula at %1 has a result of unknown type %2")
                        .arg(cellName(row, column))
                        .arg(result[0]));
    }
}

// A STRING record: the text result of the formula just before it.
bool CXlsSheetLoader::readFormulaText(xls::CRecords& record, xls::CPieces& pieces, ICellSink& grid)
{
    if (m_pendingRow < 0)
        return fail(QStringLiteral("a STRING record at offset %1 follows no formula").arg(record.offset));
    QString text;
    record.withContinues(pieces);
    if (!(m_biff8 ? pieces.unicodeString(2, text) : pieces.byteString(2, m_codec, text)))
        return fail(QStringLiteral("the text result of the formula at %1 is cut short")
                        .arg(cellName(m_pendingRow, m_pendingColumn)));
    const bool ok =
        CCellText::unpairedSurrogate(text.constData(), text.size()) >= 0
            ? putText(grid, m_pendingRow, m_pendingColumn, text)
            : putStyledText(grid, m_pendingRow, m_pendingColumn, text.constData(), text.size(), m_pendingXf);
    m_pendingRow = m_pendingColumn = -1;
    return ok;
}

} // namespace WB
