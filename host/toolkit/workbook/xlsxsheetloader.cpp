#include "xlsxsheetloader.h"

#include "celltext.h"
#include "inputcaps.h"
#include "sheetgrid.h"
#include "xmlpartparser.h"
#include "zippackage.h"

#include <QDir>
#include <QHash>

#include <charconv>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace WB {

namespace {

bool isName(const char* name, const char* expected)
{
    return std::strcmp(name, expected) == 0;
}

// std::atoll without the locale: leading white space, a sign, digits, saturating.
qint64 toInt64(const char* p)
{
    while (*p == ' ' || (*p >= '\t' && *p <= '\r'))
        ++p;
    const bool negative = *p == '-';
    if (*p == '-' || *p == '+')
        ++p;
    quint64 value = 0;
    bool overflow = false;
    for (; *p >= '0' && *p <= '9'; ++p) {
        const unsigned digit = unsigned(*p - '0');
        if (value > (quint64(std::numeric_limits<qint64>::max()) + 1 - digit) / 10)
            overflow = true;
        else
            value = value * 10 + digit;
    }
    if (negative)
        return overflow || value > quint64(std::numeric_limits<qint64>::max()) ? std::numeric_limits<qint64>::min()
                                                                               : -qint64(value);
    return overflow || value > quint64(std::numeric_limits<qint64>::max()) ? std::numeric_limits<qint64>::max()
                                                                           : qint64(value);
}

// A number format or style id: 0 to 65535 in every writer's files; -1 for anything else.
int formatId(const char* text)
{
    const qint64 id = text ? toInt64(text) : 0;
    return id >= 0 && id < inputcaps::kMaxNumberFormats ? int(id) : -1;
}

bool isTrue(const char* value)
{
    return value && (isName(value, "1") || isName(value, "true"));
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

QString resolveTarget(const QString& sourceDir, const QString& target)
{
    if (target.startsWith(QLatin1Char('/')))
        return QDir::cleanPath(target.mid(1));
    return QDir::cleanPath(sourceDir.isEmpty() ? target : sourceDir + QLatin1Char('/') + target);
}

QString relsPathOf(const QString& part)
{
    const int slash = part.lastIndexOf(QLatin1Char('/'));
    return part.left(slash + 1) + QLatin1String("_rels/") + part.mid(slash + 1) + QLatin1String(".rels");
}

QString dirOf(const QString& part)
{
    const int slash = part.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? QString() : part.left(slash);
}

bool streamPart(CZipPackage& zip, const QString& part, qint64 cap, CXmlPartParser& parser, QString& error)
{
    const bool ok =
        zip.read(part, cap, [&parser](const char* data, int size, bool last) { return parser.feed(data, size, last); });
    if (!ok)
        error = parser.error().isEmpty() ? zip.error() : parser.error();
    return ok;
}

class CRelsParser : public CXmlPartParser
{
public:
    using CXmlPartParser::CXmlPartParser;
    struct Rel
    {
        QString id, type, target;
    };
    std::vector<Rel> rels;

    const Rel* byId(const QString& id) const
    {
        for (const Rel& r : rels)
            if (r.id == id)
                return &r;
        return nullptr;
    }
    const Rel* byType(const char* suffix) const
    {
        for (const Rel& r : rels)
            if (r.type.endsWith(QLatin1String(suffix)))
                return &r;
        return nullptr;
    }

protected:
    void startElement(const char* name, const char** attributes) override
    {
        if (!isName(name, "Relationship"))
            return;
        const char* mode = attribute(attributes, "TargetMode");
        if (mode && isName(mode, "External"))
            return;
        if (qint64(rels.size()) >= inputcaps::kMaxRelationships) {
            fail(QStringLiteral("xlsx: %1 lists too many relationships").arg(partName()));
            return;
        }
        const char* id = attribute(attributes, "Id");
        const char* type = attribute(attributes, "Type");
        const char* target = attribute(attributes, "Target");
        if (id && target)
            rels.push_back(Rel{QString::fromUtf8(id), QString::fromUtf8(type ? type : ""), QString::fromUtf8(target)});
    }
    void endElement(const char*) override {}
};

class CWorkbookParser : public CXmlPartParser
{
public:
    using CXmlPartParser::CXmlPartParser;
    QString firstSheetRelId;
    int sheetCount = 0;
    bool date1904 = false;

protected:
    void startElement(const char* name, const char** attributes) override
    {
        if (isName(name, "sheet")) {
            if (sheetCount++ == 0) {
                const char* id = attribute(attributes, "id");
                firstSheetRelId = QString::fromUtf8(id ? id : "");
            }
        } else if (isName(name, "workbookPr")) {
            date1904 = isTrue(attribute(attributes, "date1904"));
        }
    }
    void endElement(const char*) override {}
};

// What each cell style shows its numbers as. A custom format's text is read once, where it is
// defined; the styles then only look its kind up.
class CStylesParser : public CXmlPartParser
{
public:
    using CXmlPartParser::CXmlPartParser;
    std::vector<EDateKind> xfDateKinds; // by cell style index

protected:
    void startElement(const char* name, const char** attributes) override
    {
        if (isName(name, "numFmt")) {
            const int id = formatId(attribute(attributes, "numFmtId"));
            const char* code = attribute(attributes, "formatCode");
            if (id < 0 || !code || m_customKinds.size() >= inputcaps::kMaxNumberFormats)
                return;
            // UTF-8 takes at most four bytes a character: longer is past the cap unread.
            const size_t bytes = std::strlen(code);
            const QString text =
                bytes <= size_t(4 * inputcaps::kMaxFormatChars) ? QString::fromUtf8(code, int(bytes)) : QString();
            // A custom format may redefine a built-in id; one past the cap shows numbers as they are.
            m_customKinds.insert(id, text.isEmpty() || text.size() > inputcaps::kMaxFormatChars
                                         ? EDateKind::None
                                         : CCellText::dateKindOf(-1, text));
        } else if (isName(name, "cellXfs")) {
            m_inCellXfs = true;
        } else if (m_inCellXfs && isName(name, "xf")) {
            if (qint64(xfDateKinds.size()) >= inputcaps::kMaxCellStyles) {
                fail(QStringLiteral("xlsx: %1 lists more than %2 cell styles")
                         .arg(partName())
                         .arg(inputcaps::kMaxCellStyles));
                return;
            }
            const char* idText = attribute(attributes, "numFmtId");
            const int id = idText ? formatId(idText) : 0;
            const auto custom = m_customKinds.constFind(id);
            xfDateKinds.push_back(custom != m_customKinds.constEnd() ? *custom : CCellText::dateKindOf(id, QString()));
        }
    }
    void endElement(const char* name) override
    {
        if (isName(name, "cellXfs"))
            m_inCellXfs = false;
    }

private:
    QHash<int, EDateKind> m_customKinds;
    bool m_inCellXfs = false;
};

// Shared strings in one pool; a rich-text item is its runs joined, phonetic hints left out.
class CSharedStringsParser : public CXmlPartParser
{
public:
    using CXmlPartParser::CXmlPartParser;
    QString pool;
    std::vector<std::pair<quint32, quint32>> items;

protected:
    void startElement(const char* name, const char**) override
    {
        if (isName(name, "si")) {
            m_inItem = true;
            m_text.clear();
        } else if (isName(name, "rPh")) {
            m_inPhonetic = true;
        } else if (m_inItem && !m_inPhonetic && isName(name, "t")) {
            m_inText = true;
        }
    }
    void endElement(const char* name) override
    {
        if (isName(name, "t")) {
            m_inText = false;
        } else if (isName(name, "rPh")) {
            m_inPhonetic = false;
        } else if (isName(name, "si")) {
            m_inItem = false;
            if (qint64(items.size()) >= inputcaps::kMaxSharedStrings) {
                fail(QStringLiteral("xlsx: more than %1 shared strings").arg(inputcaps::kMaxSharedStrings));
                return;
            }
            const QString text = decodeEscapes(QString::fromUtf8(m_text.data(), int(m_text.size())));
            if (qint64(pool.size()) + text.size() > inputcaps::kMaxSharedChars) {
                fail(QStringLiteral("xlsx: shared strings larger than the %1 MiB cap")
                         .arg(inputcaps::kMaxSharedChars * 2 / inputcaps::kMiB));
                return;
            }
            items.emplace_back(quint32(pool.size()), quint32(text.size()));
            pool += text;
        }
    }
    void characters(const char* text, int length) override
    {
        if (!m_inText)
            return;
        if (m_text.size() + size_t(length) > size_t(inputcaps::kMaxCellTextBytes)) {
            fail(QStringLiteral("xlsx: a shared string is longer than %1 bytes").arg(inputcaps::kMaxCellTextBytes));
            return;
        }
        m_text.append(text, size_t(length));
    }

private:
    std::string m_text;
    bool m_inItem = false, m_inText = false, m_inPhonetic = false;
};

class CSheetParser : public CXmlPartParser
{
public:
    CSheetParser(const QString& part, CSheetGrid& grid, const CSharedStringsParser& shared,
                 const std::vector<EDateKind>& xfDateKinds, bool date1904)
        : CXmlPartParser(part)
        , m_grid(grid)
        , m_shared(shared)
        , m_xfDateKinds(xfDateKinds)
        , m_date1904(date1904)
    {
    }

protected:
    void startElement(const char* name, const char** attributes) override
    {
        if (m_inCell) {
            if (isName(name, "v")) {
                m_collect = Value;
            } else if (isName(name, "is")) {
                m_inInline = true;
            } else if (isName(name, "rPh")) {
                m_inPhonetic = true;
            } else if (m_inInline && !m_inPhonetic && isName(name, "t")) {
                m_collect = Inline;
            }
            return;
        }
        if (isName(name, "c")) {
            startCell(attributes);
        } else if (isName(name, "row")) {
            const char* r = attribute(attributes, "r");
            m_row = r ? toInt64(r) : m_row + 1;
            m_column = 0;
            if (m_row < 1 || m_row > inputcaps::kMaxRow)
                fail(QStringLiteral("xlsx: row %1 lies outside the sheet").arg(m_row));
        } else if (isName(name, "sheetData")) {
            m_inSheetData = true;
        }
    }

    void endElement(const char* name) override
    {
        if (!m_inCell) {
            if (isName(name, "sheetData"))
                m_inSheetData = false;
            return;
        }
        if (isName(name, "c")) {
            endCell();
        } else if (isName(name, "v") || isName(name, "t")) {
            m_collect = None;
        } else if (isName(name, "is")) {
            m_inInline = false;
        } else if (isName(name, "rPh")) {
            m_inPhonetic = false;
        }
    }

    void characters(const char* text, int length) override
    {
        std::string* target = m_collect == Value ? &m_value : m_collect == Inline ? &m_inline : nullptr;
        if (!target)
            return;
        if (target->size() + size_t(length) > size_t(inputcaps::kMaxCellTextBytes)) {
            fail(QStringLiteral("xlsx: cell text longer than %1 bytes at row %2")
                     .arg(inputcaps::kMaxCellTextBytes)
                     .arg(m_row));
            return;
        }
        target->append(text, size_t(length));
    }

private:
    enum Collect
    {
        None,
        Value,
        Inline
    };

    void startCell(const char** attributes)
    {
        if (!m_inSheetData)
            return;
        m_inCell = true;
        m_value.clear();
        m_inline.clear();
        m_type = 'n';
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
        if (ref && *ref) {
            qint64 column = 0;
            const char* p = ref;
            for (; *p >= 'A' && *p <= 'Z' && column <= inputcaps::kMaxColumn; ++p)
                column = column * 26 + (*p - 'A' + 1);
            if (*p >= '1' && *p <= '9')
                m_row = toInt64(p);
            m_column = column;
        } else {
            ++m_column;
        }
        if (const char* t = type) {
            if (isName(t, "s"))
                m_type = 's';
            else if (isName(t, "inlineStr"))
                m_type = 'i';
            else if (isName(t, "str"))
                m_type = 'f';
            else if (isName(t, "b"))
                m_type = 'b';
            else if (isName(t, "e"))
                m_type = 'e';
            else if (isName(t, "d"))
                m_type = 'd';
        }
    }

    void endCell()
    {
        m_inCell = false;
        m_collect = None;
        m_inInline = m_inPhonetic = false;
        if (m_row < 1 || m_row > inputcaps::kMaxRow || m_column < 1 || m_column > inputcaps::kMaxColumn) {
            fail(QStringLiteral("xlsx: cell at row %1, column %2 lies outside the sheet").arg(m_row).arg(m_column));
            return;
        }
        bool ok = true;
        switch (m_type) {
        case 's': {
            const char* begin = m_value.data();
            quint64 index = 0;
            const auto res = std::from_chars(begin, begin + m_value.size(), index);
            if (m_value.empty())
                return;
            if (res.ec != std::errc() || index >= m_shared.items.size()) {
                fail(QStringLiteral("xlsx: shared string %1 at row %2 does not exist")
                         .arg(QString::fromStdString(m_value))
                         .arg(m_row));
                return;
            }
            const auto& item = m_shared.items[size_t(index)];
            ok = m_grid.addCell(m_row, m_column, m_shared.pool.constData() + item.first, int(item.second));
            break;
        }
        case 'i':
            ok = m_grid.addCell(
                m_row, m_column,
                decodeEscapes(QString::fromUtf8(m_inline.empty() ? m_value.data() : m_inline.data(),
                                                int(m_inline.empty() ? m_value.size() : m_inline.size()))));
            break;
        case 'f':
            ok = m_grid.addCell(m_row, m_column, decodeEscapes(QString::fromUtf8(m_value.data(), int(m_value.size()))));
            break;
        case 'e': ok = m_grid.addCell(m_row, m_column, QString::fromUtf8(m_value.data(), int(m_value.size()))); break;
        case 'b':
            if (!m_value.empty())
                ok = m_grid.addCell(m_row, m_column,
                                    m_value == "1" || m_value == "true" ? QStringLiteral("TRUE")
                                                                        : QStringLiteral("FALSE"));
            break;
        case 'd':
            ok = m_grid.addCell(m_row, m_column,
                                CCellText::fromIsoDateTime(QString::fromUtf8(m_value.data(), int(m_value.size()))));
            break;
        default: {
            if (m_value.empty())
                return;
            const EDateKind kind = m_style >= 0 && size_t(m_style) < m_xfDateKinds.size()
                                       ? m_xfDateKinds[size_t(m_style)]
                                       : EDateKind::None;
            // Most numbers are stored as General shows them: skip the round trip through double.
            if (kind == EDateKind::None && m_value.size() <= 32 &&
                CCellText::isGeneralNumber(m_value.data(), int(m_value.size()))) {
                QChar text[32];
                for (size_t i = 0; i < m_value.size(); ++i)
                    text[i] = QLatin1Char(m_value[i]);
                ok = m_grid.addCell(m_row, m_column, text, int(m_value.size()));
                break;
            }
            size_t start = 0;
            while (start < m_value.size() && m_value[start] == ' ')
                ++start;
            double number = 0;
            const char* begin = m_value.data() + start;
            const char* end = m_value.data() + m_value.size();
            const auto res = std::from_chars(begin, end, number);
            if (res.ec != std::errc() || res.ptr != end) {
                ok = m_grid.addCell(m_row, m_column, QString::fromUtf8(m_value.data(), int(m_value.size())));
                break;
            }
            ok = m_grid.addCell(m_row, m_column,
                                kind == EDateKind::None ? CCellText::fromNumber(number)
                                                        : CCellText::fromSerial(number, kind, m_date1904));
            break;
        }
        }
        if (!ok)
            fail(QStringLiteral("xlsx: ") + m_grid.error());
    }

    CSheetGrid& m_grid;
    const CSharedStringsParser& m_shared;
    const std::vector<EDateKind>& m_xfDateKinds;
    const bool m_date1904;
    qint64 m_row = 0;
    qint64 m_column = 0;
    int m_style = 0;
    char m_type = 'n';
    bool m_inSheetData = false, m_inCell = false, m_inInline = false, m_inPhonetic = false;
    Collect m_collect = None;
    std::string m_value, m_inline;
};

} // namespace

bool CXlsxSheetLoader::load(const QString& path, CSheetGrid& grid)
{
    m_sheetCount = 0;
    m_error.clear();
    CZipPackage zip;
    if (!zip.open(path)) {
        m_error = zip.error();
        return false;
    }

    // The workbook part is named by the package relationships; xl/workbook.xml by convention.
    QString workbookPart = QStringLiteral("xl/workbook.xml");
    if (zip.contains(QStringLiteral("_rels/.rels"))) {
        CRelsParser rootRels(QStringLiteral("_rels/.rels"));
        if (!streamPart(zip, QStringLiteral("_rels/.rels"), inputcaps::kMaxSmallPartBytes, rootRels, m_error))
            return false;
        if (const auto* office = rootRels.byType("/officeDocument"))
            workbookPart = resolveTarget(QString(), office->target);
    }
    if (!zip.contains(workbookPart)) {
        m_error = QStringLiteral("xlsx: no workbook part");
        return false;
    }
    CWorkbookParser workbook(workbookPart);
    if (!streamPart(zip, workbookPart, inputcaps::kMaxSmallPartBytes, workbook, m_error))
        return false;
    m_sheetCount = workbook.sheetCount;
    if (workbook.sheetCount == 0) {
        m_error = QStringLiteral("xlsx: the workbook lists no sheet");
        return false;
    }

    const QString relsPart = relsPathOf(workbookPart);
    CRelsParser rels(relsPart);
    if (!zip.contains(relsPart)) {
        m_error = QStringLiteral("xlsx: no workbook relationships (%1)").arg(relsPart);
        return false;
    }
    if (!streamPart(zip, relsPart, inputcaps::kMaxSmallPartBytes, rels, m_error))
        return false;
    const auto* sheetRel = rels.byId(workbook.firstSheetRelId);
    if (!sheetRel) {
        m_error = QStringLiteral("xlsx: the first sheet's relationship %1 is missing").arg(workbook.firstSheetRelId);
        return false;
    }
    const QString baseDir = dirOf(workbookPart);
    const QString sheetPart = resolveTarget(baseDir, sheetRel->target);

    CStylesParser styles(QStringLiteral("styles"));
    if (const auto* rel = rels.byType("/styles")) {
        const QString part = resolveTarget(baseDir, rel->target);
        if (zip.contains(part) && !streamPart(zip, part, inputcaps::kMaxPartBytes, styles, m_error))
            return false;
    }
    CSharedStringsParser shared(QStringLiteral("sharedStrings"));
    if (const auto* rel = rels.byType("/sharedStrings")) {
        const QString part = resolveTarget(baseDir, rel->target);
        if (zip.contains(part) && !streamPart(zip, part, inputcaps::kMaxPartBytes, shared, m_error))
            return false;
    }

    if (!zip.contains(sheetPart)) {
        m_error = QStringLiteral("xlsx: sheet part %1 missing").arg(sheetPart);
        return false;
    }
    CSheetParser sheet(sheetPart, grid, shared, styles.xfDateKinds, workbook.date1904);
    if (!streamPart(zip, sheetPart, inputcaps::kMaxPartBytes, sheet, m_error)) {
        grid.clear();
        return false;
    }
    if (!grid.finish()) {
        m_error = QStringLiteral("xlsx: ") + grid.error();
        return false;
    }
    return true;
}

} // namespace WB
