#include "xlsworkbookglobals.h"

#include "biffrecords.h"
#include "celltext.h"
#include "inputcaps.h"

namespace WB {

using namespace xls;
using le::u16;
using le::u32;

bool CXlsWorkbookGlobals::fail(const QString& message)
{
    m_error = message;
    return false;
}

void CXlsWorkbookGlobals::dropSharedStrings()
{
    m_sharedPool = QString();
    std::vector<std::pair<quint32, quint32>>().swap(m_shared);
}

bool CXlsWorkbookGlobals::read(const QByteArray& stream)
{
    *this = CXlsWorkbookGlobals();
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
                    return fail(
                        unpairedRefusal(QStringLiteral("shared string %1").arg(i), m_sharedPool.at(start + half)));
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
            if (n >= 6 && !readSheetEntry(d, n, pieces))
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
bool CXlsWorkbookGlobals::readSheetEntry(const uchar* d, int n, xls::CPieces& pieces)
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
        m_firstSheet = u32(d);
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

} // namespace WB
