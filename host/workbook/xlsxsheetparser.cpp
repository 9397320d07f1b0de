#include "xlsxsheetparser.h"

#include "inputcaps.h"
#include "cellsink.h"

#include <charconv>
#include <cstring>

namespace WB {

namespace {

// The one-letter names of the elements met for every cell, without a call.
inline bool isLetter(const char* name, char letter)
{
    return name[0] == letter && !name[1];
}

// A whole number of digits only, within 1..max; 0 for anything else.
qint64 positiveNumber(const char* p, qint64 max)
{
    if (!*p)
        return 0;
    qint64 value = 0;
    for (; *p; ++p) {
        if (*p < '0' || *p > '9')
            return 0;
        value = value * 10 + (*p - '0');
        if (value > max)
            return 0;
    }
    return value;
}

QString cellName(qint64 row, qint64 column)
{
    QString letters;
    for (qint64 c = column; c > 0; c = (c - 1) / 26)
        letters.prepend(QLatin1Char(char('A' + (c - 1) % 26)));
    return letters + QString::number(row);
}

int hexDigit(QChar c)
{
    const ushort u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    return -1;
}

// OOXML strings carry characters XML cannot hold as _xHHHH_; decoded in one pass, in place.
QString decodeEscapes(QString text)
{
    int from = text.indexOf(QLatin1String("_x"));
    if (from < 0)
        return text;
    QChar* out = text.data() + from;
    const QChar* in = out;
    const QChar* const end = text.constData() + text.size();
    while (in < end) {
        if (end - in >= 7 && in[0] == QLatin1Char('_') && in[1] == QLatin1Char('x') && in[6] == QLatin1Char('_')) {
            int code = 0;
            for (int i = 2; i < 6 && code >= 0; ++i) {
                const int digit = hexDigit(in[i]);
                code = digit < 0 ? -1 : code * 16 + digit;
            }
            if (code >= 0) {
                *out++ = QChar(ushort(code));
                in += 7;
                continue;
            }
        }
        *out++ = *in++;
    }
    text.truncate(int(out - text.constData()));
    return text;
}

} // namespace

void CStringItemParser::beginItem()
{
    m_itemOpen = true;
    m_item.clear();
    m_itemDepth = m_ignore = 0;
    m_hasText = m_inRun = m_runHasText = m_collecting = false;
}

QString CStringItemParser::itemText() const
{
    return decodeEscapes(QString::fromUtf8(m_item.data(), int(m_item.size())));
}

void CStringItemParser::itemStart(const char* name)
{
    ++m_itemDepth;
    if (m_ignore > 0) {
        ++m_ignore;
        return;
    }
    bool& seen = m_inRun ? m_runHasText : m_hasText;
    if (isLetter(name, 't')) {
        if (seen) {
            fail(QStringLiteral("xlsx: a string holds a second text at %1").arg(where()));
            return;
        }
        seen = m_collecting = true;
        setTextOnly(true);
    } else if (m_inRun ? isName(name, "rPr") : (isName(name, "rPh") || isName(name, "phoneticPr"))) {
        // Formatting and phonetic hints: no part of the text.
        refuseForeignInside(false);
        m_ignore = 1;
    } else if (!m_inRun && isLetter(name, 'r')) {
        m_inRun = true;
        m_runHasText = false;
    } else {
        fail(QStringLiteral("xlsx: <%1> inside a string at %2").arg(shortText(name), where()));
    }
}

bool CStringItemParser::itemEnd()
{
    if (m_itemDepth-- == 0) {
        m_itemOpen = false;
        return false;
    }
    if (m_ignore > 0) {
        --m_ignore;
    } else if (m_collecting) {
        m_collecting = false;
        setTextOnly(false);
    } else {
        m_inRun = false;
    }
    return true;
}

void CStringItemParser::characters(const char* text, int length)
{
    if (!m_collecting)
        return;
    if (m_item.size() + size_t(length) > size_t(inputcaps::kMaxCellTextBytes)) {
        fail(
            QStringLiteral("xlsx: a string longer than %1 bytes at %2").arg(inputcaps::kMaxCellTextBytes).arg(where()));
        return;
    }
    m_item.append(text, size_t(length));
}

CSharedStringsParser::CSharedStringsParser(const QString& part)
    : CStringItemParser(part, EXmlVocabulary::Spreadsheet)
{
}

void CSharedStringsParser::startElement(const char* name, const char**)
{
    if (inItem()) {
        itemStart(name);
    } else if (m_ignore > 0) {
        ++m_ignore;
    } else if (!m_rootSeen) {
        m_rootSeen = true;
        refuseAlternateInside();
        if (!isName(name, "sst"))
            fail(QStringLiteral("xlsx: %1 is a <%2>, not shared strings").arg(partName(), shortText(name)));
    } else if (isName(name, "si")) {
        beginItem();
        refuseForeignInside(true);
    } else {
        m_ignore = 1;
    }
}

void CSharedStringsParser::endElement(const char*)
{
    if (inItem()) {
        if (!itemEnd())
            add(itemText());
    } else if (m_ignore > 0) {
        --m_ignore;
    }
}

void CSharedStringsParser::add(const QString& text)
{
    if (qint64(items.size()) >= inputcaps::kMaxSharedStrings) {
        fail(QStringLiteral("xlsx: more than %1 shared strings").arg(inputcaps::kMaxSharedStrings));
        return;
    }
    if (qint64(pool.size()) + text.size() > inputcaps::kMaxSharedChars) {
        fail(QStringLiteral("xlsx: shared strings larger than the %1 MiB cap")
                 .arg(inputcaps::kMaxSharedChars * 2 / inputcaps::kMiB));
        return;
    }
    items.emplace_back(quint32(pool.size()), quint32(text.size()));
    pool += text;
}

CSheetParser::CSheetParser(const QString& part, ICellSink& grid, const CSharedStringsParser& shared,
                           const CCellFormats& formats, bool date1904, bool fullCalcOnLoad)
    : CStringItemParser(part, EXmlVocabulary::Spreadsheet)
    , m_grid(grid)
    , m_shared(shared)
    , m_formats(formats)
    , m_date1904(date1904)
    , m_fullCalcOnLoad(fullCalcOnLoad)
{
}

void CSheetParser::startElement(const char* name, const char** attributes)
{
    if (inItem()) {
        itemStart(name);
        return;
    }
    if (m_ignore > 0) {
        ++m_ignore;
        return;
    }
    switch (m_level) {
    case ELevel::Start:
        if (!isName(name, "worksheet"))
            fail(QStringLiteral("xlsx: %1 is a <%2>, not a worksheet").arg(partName(), shortText(name)));
        m_level = ELevel::Worksheet;
        break;
    case ELevel::Worksheet:
        if (isName(name, "cols")) {
            m_level = ELevel::Columns;
        } else if (isName(name, "mergeCells")) {
            m_level = ELevel::Merges;
        } else if (!isName(name, "sheetData")) {
            m_ignore = 1;
        } else if (m_sheetDataSeen) {
            fail(QStringLiteral("xlsx: %1 holds a second <sheetData>").arg(partName()));
        } else if (insideAlternate()) {
            fail(QStringLiteral(
                     "xlsx: the cells of %1 stand inside mc:AlternateContent: spreadsheet programs differ on it")
                     .arg(partName()));
        } else {
            m_sheetDataSeen = true;
            m_level = ELevel::SheetData;
            refuseAlternateInside();
        }
        break;
    case ELevel::Columns:
        if (isName(name, "col"))
            column(attributes);
        m_ignore = 1;
        break;
    case ELevel::Merges:
        if (isName(name, "mergeCell"))
            mergeCell(attributes);
        m_ignore = 1;
        break;
    case ELevel::SheetData:
        if (isName(name, "row")) {
            startRow(attributes);
            refuseForeignInside(true);
        } else
            unexpected(name);
        break;
    case ELevel::Row:
        if (isLetter(name, 'c')) {
            startCell(attributes);
        } else if (isName(name, "extLst")) {
            // Extensions hold other namespaces by design; none of them holds a cell.
            refuseForeignInside(false);
            m_ignore = 1;
        } else {
            unexpected(name);
        }
        break;
    case ELevel::Cell: cellChild(name); break;
    case ELevel::Value:
    case ELevel::Done: unexpected(name); break;
    }
}

void CSheetParser::endElement(const char*)
{
    if (inItem()) {
        if (!itemEnd())
            m_inline = itemText();
        return;
    }
    if (m_ignore > 0) {
        --m_ignore;
        return;
    }
    switch (m_level) {
    case ELevel::Value:
        setTextOnly(false);
        m_level = ELevel::Cell;
        break;
    case ELevel::Cell:
        endCell();
        m_level = ELevel::Row;
        break;
    case ELevel::Row: m_level = ELevel::SheetData; break;
    case ELevel::SheetData:
    case ELevel::Columns:
    case ELevel::Merges: m_level = ELevel::Worksheet; break;
    case ELevel::Worksheet: {
        m_level = ELevel::Done;
        const QString unseen = m_covered.refusal();
        m_covered.clear(); // before the lines are made of the cells
        if (!unseen.isEmpty())
            fail(QStringLiteral("xlsx: ") + unseen);
        break;
    }
    case ELevel::Start:
    case ELevel::Done: break;
    }
}

void CSheetParser::characters(const char* text, int length)
{
    if (inItem()) {
        CStringItemParser::characters(text, length);
        return;
    }
    if (m_level != ELevel::Value)
        return;
    if (m_value.size() + size_t(length) > size_t(inputcaps::kMaxCellTextBytes)) {
        fail(QStringLiteral("xlsx: cell text longer than %1 bytes at %2")
                 .arg(inputcaps::kMaxCellTextBytes)
                 .arg(where()));
        return;
    }
    m_value.append(text, size_t(length));
}

void CSheetParser::unexpected(const char* name)
{
    fail(QStringLiteral("xlsx: <%1> where it does not belong at %2").arg(shortText(name), where()));
}

void CSheetParser::startRow(const char** attributes)
{
    m_level = ELevel::Row;
    const char* r = attribute(attributes, "r");
    m_rowCounter = r ? positiveNumber(r, inputcaps::kMaxRow) : m_rowCounter + 1;
    m_columnCounter = 0;
    const char* hidden = attribute(attributes, "hidden");
    if (hidden && (isName(hidden, "1") || isName(hidden, "true")))
        m_covered.hideRow(m_rowCounter);
    if (m_rowCounter < 1 || m_rowCounter > inputcaps::kMaxRow)
        fail(QStringLiteral("xlsx: row %1 at %2 lies outside the sheet")
                 .arg(r ? shortText(r) : QString::number(m_rowCounter), where()));
}

// A reference as Excel writes it: column letters, then the row number.
bool CSheetParser::parseReference(const char* ref)
{
    qint64 column = 0;
    const char* p = ref;
    for (; *p >= 'A' && *p <= 'Z' && p - ref < 3; ++p)
        column = column * 26 + (*p - 'A' + 1);
    const qint64 row = p > ref ? positiveNumber(p, inputcaps::kMaxRow) : 0;
    if (row < 1 || column < 1 || column > inputcaps::kMaxColumn)
        return false;
    m_row = row;
    m_column = column;
    return true;
}

void CSheetParser::startCell(const char** attributes)
{
    m_level = ELevel::Cell;
    m_value.clear();
    m_inline.clear();
    m_values = 0;
    m_formula = false;
    m_type = EType::Number;
    m_style = 0;
    // One pass over the attributes: this runs for every cell.
    const char* ref = nullptr;
    const char* type = nullptr;
    for (int i = 0; attributes[i]; i += 2) {
        const char* name = attributes[i];
        if (name[0] && !name[1]) {
            if (name[0] == 'r')
                ref = attributes[i + 1];
            else if (name[0] == 't')
                type = attributes[i + 1];
            else if (name[0] == 's')
                m_style = int(qBound<qint64>(-1, toInt64(attributes[i + 1]), inputcaps::kMaxCellStyles));
        }
    }
    if (ref) {
        if (!parseReference(ref)) {
            fail(QStringLiteral("xlsx: the cell reference %1 at %2 names no cell").arg(shortText(ref), where()));
            return;
        }
        m_columnCounter = m_column;
    } else {
        m_row = m_rowCounter;
        m_column = ++m_columnCounter;
        if (m_column > inputcaps::kMaxColumn) {
            fail(QStringLiteral("xlsx: a cell past the last column at %1").arg(where()));
            return;
        }
    }
    // Every writer writes a sheet's cells in order; that a cell comes after the last one read
    // is what tells, without remembering them all, that none is given twice.
    const qint64 key = m_row * (inputcaps::kMaxColumn + 1) + m_column;
    if (key <= m_lastKey) {
        const QString cell = cellName(m_row, m_column);
        fail(key == m_lastKey
                 ? QStringLiteral("xlsx: the cell %1 is given twice in %2").arg(cell, partName())
                 : QStringLiteral("xlsx: the cell %1 comes after %2 in %3: cells out of order")
                       .arg(cell,
                            cellName(m_lastKey / (inputcaps::kMaxColumn + 1), m_lastKey % (inputcaps::kMaxColumn + 1)),
                            partName()));
        return;
    }
    m_lastKey = key;
    if (!type || isName(type, "n"))
        m_type = EType::Number;
    else if (isName(type, "s"))
        m_type = EType::Shared;
    else if (isName(type, "inlineStr"))
        m_type = EType::Inline;
    else if (isName(type, "str"))
        m_type = EType::FormulaText;
    else if (isName(type, "b"))
        m_type = EType::Boolean;
    else if (isName(type, "e"))
        m_type = EType::Error;
    else if (isName(type, "d"))
        m_type = EType::Date;
    else
        fail(QStringLiteral("xlsx: the cell %1 has the unknown type %2")
                 .arg(cellName(m_row, m_column), shortText(type)));
}

void CSheetParser::cellChild(const char* name)
{
    const bool value = isLetter(name, 'v');
    const bool inlineText = isName(name, "is");
    if (!value && !inlineText) {
        if (isLetter(name, 'f') || isName(name, "extLst")) {
            m_formula = m_formula || isLetter(name, 'f');
            refuseForeignInside(false);
            m_ignore = 1;
        } else {
            unexpected(name);
        }
        return;
    }
    if (++m_values > 1) {
        fail(QStringLiteral("xlsx: the cell %1 holds a second value at %2").arg(cellName(m_row, m_column), where()));
    } else if (inlineText != (m_type == EType::Inline)) {
        fail((inlineText ? QStringLiteral("xlsx: the cell %1 holds an inline string but is not of that type")
                         : QStringLiteral("xlsx: the inline-string cell %1 holds a <v>"))
                 .arg(cellName(m_row, m_column)));
    } else if (inlineText) {
        beginItem();
    } else {
        m_level = ELevel::Value;
        setTextOnly(true);
    }
}

void CSheetParser::endCell()
{
    if (m_formula) {
        static const QString kSaveAgain = QStringLiteral("open it in a spreadsheet program, save it, upload again");
        // A text result may be empty; any other is a number, a boolean or an error, never nothing.
        const bool noResult = m_values == 0 || (m_value.empty() && m_type != EType::FormulaText);
        if (noResult || m_fullCalcOnLoad) {
            fail(noResult ? QStringLiteral("xlsx: the cell %1 holds a formula without its result "
                                           "(a spreadsheet program computes it on opening): %2")
                                .arg(cellName(m_row, m_column), kSaveAgain)
                          : QStringLiteral("xlsx: the workbook asks to be recalculated on opening, so the result "
                                           "kept with the formula of the cell %1 may not be what it shows: %2")
                                .arg(cellName(m_row, m_column), kSaveAgain));
            return;
        }
    }
    if (!m_value.empty() && (m_type == EType::Boolean || m_type == EType::Error || m_type == EType::Date))
        m_covered.value(m_row, m_column);
    bool ok = true;
    switch (m_type) {
    case EType::Shared: {
        if (m_value.empty())
            return;
        const char* begin = m_value.data();
        quint64 index = 0;
        const auto res = std::from_chars(begin, begin + m_value.size(), index);
        if (res.ec != std::errc() || res.ptr != begin + m_value.size() || index >= m_shared.items.size()) {
            fail(QStringLiteral("xlsx: shared string %1 of the cell %2 does not exist")
                     .arg(QString::fromStdString(m_value).left(64), cellName(m_row, m_column)));
            return;
        }
        const auto& item = m_shared.items[size_t(index)];
        ok = addText(m_shared.pool.constData() + item.first, int(item.second));
        break;
    }
    case EType::Inline: ok = addText(m_inline.constData(), m_inline.size()); break;
    case EType::FormulaText: {
        const QString text = decodeEscapes(QString::fromUtf8(m_value.data(), int(m_value.size())));
        ok = addText(text.constData(), text.size());
        break;
    }
    case EType::Error:
        ok = m_grid.addCell(m_row, m_column, QString::fromUtf8(m_value.data(), int(m_value.size())));
        break;
    case EType::Boolean:
        if (m_value.empty())
            return;
        if (m_value != "1" && m_value != "true" && m_value != "0" && m_value != "false") {
            fail(QStringLiteral("xlsx: the cell %1 holds the boolean %2")
                     .arg(cellName(m_row, m_column), QString::fromStdString(m_value).left(64)));
            return;
        }
        ok = m_grid.addCell(m_row, m_column,
                            m_value == "1" || m_value == "true" ? QStringLiteral("TRUE") : QStringLiteral("FALSE"));
        break;
    case EType::Date:
        ok = m_grid.addCell(m_row, m_column,
                            CCellText::fromIsoDateTime(QString::fromUtf8(m_value.data(), int(m_value.size()))));
        break;
    case EType::Number: ok = addNumber(); break;
    }
    if (!ok)
        fail(QStringLiteral("xlsx: ") + m_grid.error());
}

bool CSheetParser::addText(const QChar* text, int length)
{
    if (length > 0) {
        const CNumberFormat& format = m_formats.ofStyle(m_style);
        if (format.hidesText()) {
            fail(QStringLiteral("xlsx: ") + textFormatRefusal(cellName(m_row, m_column), format));
            return true;
        }
        m_covered.value(m_row, m_column);
    }
    return m_grid.addCell(m_row, m_column, text, length);
}

void CSheetParser::column(const char** attributes)
{
    const char* hidden = attribute(attributes, "hidden");
    if (!hidden || !(isName(hidden, "1") || isName(hidden, "true")))
        return;
    const char* min = attribute(attributes, "min");
    const char* max = attribute(attributes, "max");
    if (min && max)
        m_covered.hideColumns(toInt64(min), toInt64(max));
}

void CSheetParser::mergeCell(const char** attributes)
{
    const char* ref = attribute(attributes, "ref");
    const char* colon = ref ? std::strchr(ref, ':') : nullptr;
    if (!colon)
        return;
    const std::string first(ref, size_t(colon - ref));
    const qint64 row = m_row, column = m_column;
    if (!parseReference(first.c_str()))
        return;
    const qint64 firstRow = m_row, firstColumn = m_column;
    const bool ok = parseReference(colon + 1);
    const qint64 lastRow = m_row, lastColumn = m_column;
    m_row = row;
    m_column = column;
    if (ok && !m_covered.merge(firstRow, firstColumn, lastRow, lastColumn))
        fail(QStringLiteral("xlsx: %1 merges more cells than any sheet a person reads").arg(partName()));
}

bool CSheetParser::addNumber()
{
    if (m_value.empty())
        return true;
    const CNumberFormat& format = m_formats.ofStyle(m_style);
    m_covered.value(m_row, m_column);
    // Most numbers are stored as General shows them: skip the round trip through double.
    if (format.plain() && m_value.size() <= 32 && CCellText::isGeneralNumber(m_value.data(), int(m_value.size()))) {
        QChar text[32];
        for (size_t i = 0; i < m_value.size(); ++i)
            text[i] = QLatin1Char(m_value[i]);
        return m_grid.addCell(m_row, m_column, text, int(m_value.size()));
    }
    size_t start = 0;
    while (start < m_value.size() && m_value[start] == ' ')
        ++start;
    double number = 0;
    const char* begin = m_value.data() + start;
    const char* end = m_value.data() + m_value.size();
    const auto res = std::from_chars(begin, end, number);
    if (res.ec != std::errc() || res.ptr != end)
        return m_grid.addCell(m_row, m_column, QString::fromUtf8(m_value.data(), int(m_value.size())));
    if (!format.plain()) {
        const EShown shown = format.shows(number);
        if (shown == EShown::NoDigit || shown == EShown::Scaled) {
            fail(QStringLiteral("xlsx: ") + formatRefusal(cellName(m_row, m_column), number, format));
            return true;
        }
        if (shown != EShown::Value) {
            const CNumberFormat::EClash clash = format.clash(number, m_date1904);
            if (clash != CNumberFormat::EClash::None) {
                fail(QStringLiteral("xlsx: ") + clashRefusal(cellName(m_row, m_column), number, format, clash));
                return true;
            }
            return m_grid.addCell(m_row, m_column, format.text(number, m_date1904));
        }
    }
    QChar text[CCellText::kNumberChars];
    return m_grid.addCell(m_row, m_column, text, CCellText::writeNumber(number, text));
}

} // namespace WB
