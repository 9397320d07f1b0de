#include "xlssheetloader.h"

#include "biffdecryption.h"
#include "biffrecords.h"
#include "cellsink.h"
#include "celltext.h"
#include "compounddocument.h"
#include "officecrypto.h"
#include "xlsxsheetloader.h"

#include <algorithm>

namespace WB {

using namespace xls;
using le::f64;
using le::u16;
using le::u32;

namespace {

// The fewest bytes a record of this type holds; records of other types check their own.
int minimumLength(quint16 type)
{
    switch (type) {
    case kLabelSst:
    case kRk: return 10;
    case kLabel:
    case kRString:
    case kBoolErr: return 8;
    case kNumber: return 14;
    case kMulRk: return 6;
    case kFormula:
    case kFormulaBiff3: return 20;
    default: return 0;
    }
}

} // namespace

struct CXlsSheetLoader::Scratch
{
    CPieces pieces;
    QString text;
    QString error;
    CXlsFormulaResults::Shown shown;
};

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
    m_covered.clear();
    m_error.clear();
    m_formulas.clear();

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
    if (!m_globals.read(stream))
        return fail(m_globals.error());
    m_sheets = m_globals.sheets();
    const bool ok = readSheet(stream, m_globals.firstSheet(), grid);
    m_globals.dropSharedStrings();
    if (!ok) {
        m_sheets = standin::WorkbookReport();
        grid.clear();
        return false;
    }
    if (!grid.finish())
        return fail(grid.error());
    return true;
}

bool CXlsSheetLoader::putNumber(ICellSink& grid, int row, int column, double value, quint16 xf)
{
    const CNumberFormat& format = m_globals.cellFormats().ofStyle(xf);
    if (!format.plain()) {
        const EShown shown = format.shows(value);
        if (shown == EShown::NoDigit || shown == EShown::Scaled)
            return fail(formatRefusal(cellName(row, column), value, format));
        if (shown != EShown::Value) {
            const CNumberFormat::EClash clash = format.clash(value, m_globals.date1904());
            if (clash != CNumberFormat::EClash::None)
                return fail(clashRefusal(cellName(row, column), value, format, clash));
            return putText(grid, row, column, format.text(value, m_globals.date1904()));
        }
    }
    QChar text[CCellText::kNumberChars];
    return put(grid, row, column, text, CCellText::writeNumber(value, text));
}

bool CXlsSheetLoader::putStyledText(ICellSink& grid, int row, int column, const QChar* chars, int length, quint16 xf)
{
    const CNumberFormat& format = m_globals.cellFormats().ofStyle(xf);
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
        return fail(unpairedRefusal(QStringLiteral("the text of cell %1").arg(cellName(row, column)), text.at(half)));
    return put(grid, row, column, text.constData(), text.size());
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

    Scratch scratch;
    int depth = 1;
    while (depth > 0 && record.next()) {
        if (record.type == kBof) {
            ++depth; // an embedded chart's substream, skipped
            continue;
        }
        if (record.type == kEof) {
            --depth;
            continue;
        }
        if (depth > 1)
            continue;
        if (m_formulas.waiting() && isCellRecord(record.type))
            return fail(m_formulas.missingText());
        if (!readRecord(record, grid, scratch))
            return false;
    }
    if (record.broken() || depth > 0)
        return fail(QStringLiteral("the first sheet ends without an EOF record (truncated stream?)"));
    if (m_formulas.waiting())
        return fail(m_formulas.missingText());
    const QString unseen = m_covered.refusal();
    m_covered.clear();
    return unseen.isEmpty() || fail(unseen);
}

bool CXlsSheetLoader::readRecord(xls::CRecords& record, ICellSink& grid, Scratch& scratch)
{
    const uchar* d = record.data;
    const int n = record.length;
    const int row = n >= 4 ? u16(d) : 0;
    const int column = n >= 4 ? u16(d + 2) : 0;
    if (n < minimumLength(record.type))
        return fail(QStringLiteral("record 0x%1 at offset %2 is too short")
                        .arg(record.type, 4, 16, QLatin1Char('0'))
                        .arg(record.offset));
    switch (record.type) {
    case kLabelSst: {
        const quint32 index = u32(d + 6);
        if (index >= m_globals.sharedCount())
            return fail(QStringLiteral("cell %1 refers to shared string %2 of %3")
                            .arg(cellName(row, column))
                            .arg(index)
                            .arg(m_globals.sharedCount()));
        int length = 0;
        const QChar* chars = m_globals.sharedString(index, length);
        return putStyledText(grid, row, column, chars, length, u16(d + 4));
    }
    case kLabel:
    case kRString: return readLabel(record, grid, scratch);
    case kNumber: return putNumber(grid, row, column, f64(d + 6), u16(d + 4));
    case kRk: return putNumber(grid, row, column, rkValue(u32(d + 6)), u16(d + 4));
    case kMulRk: {
        bool ok = true;
        const int count = (n - 6) / 6;
        for (int i = 0; i < count && ok; ++i) {
            const uchar* cell = d + 4 + 6 * i;
            ok = putNumber(grid, row, column + i, rkValue(u32(cell + 2)), u16(cell));
        }
        return ok;
    }
    case kBoolErr:
        if (d[7] == 0)
            return putText(grid, row, column, d[6] ? QStringLiteral("TRUE") : QStringLiteral("FALSE"));
        if (!errorText(d[6], scratch.text))
            return fail(QStringLiteral("cell %1 holds the unknown error code %2").arg(cellName(row, column)).arg(d[6]));
        return putText(grid, row, column, scratch.text);
    case kFormula:
    case kFormulaBiff3:
        return m_formulas.readFormula(d, scratch.shown, scratch.error) ? show(grid, scratch.shown)
                                                                       : fail(scratch.error);
    case kRow:
        // Its options' fDyZero: the row is hidden.
        if (n >= 16 && (u16(d + 12) & 0x0020))
            m_covered.hideRow(qint64(u16(d)) + 1);
        return true;
    case kColInfo:
        if (n >= 10 && (u16(d + 8) & 0x0001))
            m_covered.hideColumns(qint64(u16(d)) + 1, qint64(u16(d + 2)) + 1);
        return true;
    case kMergedCells: return readMerges(d, n);
    case kString:
        return m_formulas.readText(record, scratch.pieces, m_globals.biff8(), m_globals.codec(), scratch.shown,
                                   scratch.error)
                   ? show(grid, scratch.shown)
                   : fail(scratch.error);
    default: return true;
    }
}

// LABEL and RSTRING: a text of the cell's own, in UTF-16 (BIFF8) or the workbook's code page.
bool CXlsSheetLoader::readLabel(xls::CRecords& record, ICellSink& grid, Scratch& scratch)
{
    const uchar* d = record.data;
    const int row = u16(d);
    const int column = u16(d + 2);
    QString& text = scratch.text;
    text.clear();
    record.withContinues(scratch.pieces);
    if (!scratch.pieces.skip(6) || !(m_globals.biff8() ? scratch.pieces.unicodeString(2, text)
                                                       : scratch.pieces.byteString(2, m_globals.codec(), text)))
        return fail(QStringLiteral("the text of cell %1 is cut short").arg(cellName(row, column)));
    if (CCellText::unpairedSurrogate(text.constData(), text.size()) >= 0)
        return putText(grid, row, column, text);
    return putStyledText(grid, row, column, text.constData(), text.size(), u16(d + 4));
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

bool CXlsSheetLoader::show(ICellSink& grid, const CXlsFormulaResults::Shown& shown)
{
    using EKind = CXlsFormulaResults::Shown::EKind;
    switch (shown.kind) {
    case EKind::Nothing: return true;
    case EKind::Number: return putNumber(grid, shown.row, shown.column, shown.number, shown.xf);
    case EKind::Text: return putText(grid, shown.row, shown.column, shown.text);
    case EKind::StyledText:
        return putStyledText(grid, shown.row, shown.column, shown.text.constData(), shown.text.size(), shown.xf);
    }
    return true;
}

} // namespace WB
