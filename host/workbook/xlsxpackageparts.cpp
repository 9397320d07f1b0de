#include "xlsxpackageparts.h"

#include "inputcaps.h"

#include <cstring>
#include <limits>

namespace WB {

namespace {

// A number format or style id: 0 to 65535 in every writer's files; -1 for anything else.
int formatId(const char* text)
{
    const qint64 id = text ? CXmlPartParser::toInt64(text) : 0;
    return id >= 0 && id < inputcaps::kMaxNumberFormats ? int(id) : -1;
}

bool isTrue(const char* value)
{
    return value && (CXmlPartParser::isName(value, "1") || CXmlPartParser::isName(value, "true"));
}

} // namespace

ERelation relationOf(const QString& type)
{
    static const QLatin1String prefixes[] = {
        QLatin1String("http://schemas.openxmlformats.org/officeDocument/2006/relationships/"),
        QLatin1String("http://purl.oclc.org/ooxml/officeDocument/relationships/")};
    for (const QLatin1String& prefix : prefixes) {
        if (!type.startsWith(prefix))
            continue;
        const QStringRef kind = type.midRef(prefix.size());
        if (kind == QLatin1String("officeDocument"))
            return ERelation::OfficeDocument;
        if (kind == QLatin1String("worksheet"))
            return ERelation::Worksheet;
        if (kind == QLatin1String("chartsheet"))
            return ERelation::Chartsheet;
        if (kind == QLatin1String("styles"))
            return ERelation::Styles;
        if (kind == QLatin1String("sharedStrings"))
            return ERelation::SharedStrings;
    }
    return ERelation::Other;
}

CRelsParser::CRelsParser(const QString& part)
    : CXmlPartParser(part, EXmlVocabulary::Relationships)
{
}

const CRelsParser::Rel* CRelsParser::byId(const QString& id) const
{
    for (const Rel& r : m_rels)
        if (r.id == id)
            return &r;
    return nullptr;
}

const CRelsParser::Rel* CRelsParser::byKind(ERelation kind, QString& error) const
{
    const Rel* found = nullptr;
    for (const Rel& r : m_rels) {
        if (relationOf(r.type) != kind)
            continue;
        if (found) {
            error = QStringLiteral("xlsx: %1 names two parts of type %2 (%3 and %4)")
                        .arg(partName(), r.type, found->target, r.target);
            return nullptr;
        }
        found = &r;
    }
    return found;
}

void CRelsParser::startElement(const char* name, const char** attributes)
{
    if (m_depth++ == 0) {
        if (!isName(name, "Relationships"))
            fail(QStringLiteral("xlsx: %1 is a <%2>, not relationships").arg(partName(), shortText(name)));
        return;
    }
    if (m_depth != 2 || !isName(name, "Relationship"))
        return;
    const char* mode = attribute(attributes, "TargetMode");
    if (mode && isName(mode, "External"))
        return;
    if (qint64(m_rels.size()) >= inputcaps::kMaxRelationships) {
        fail(QStringLiteral("xlsx: %1 lists too many relationships").arg(partName()));
        return;
    }
    const char* id = attribute(attributes, "Id");
    const char* type = attribute(attributes, "Type");
    const char* target = attribute(attributes, "Target");
    if (!id || !target)
        return;
    const QString key = QString::fromUtf8(id);
    if (byId(key)) {
        fail(QStringLiteral("xlsx: %1 lists the relationship %2 twice").arg(partName(), key.left(64)));
        return;
    }
    m_rels.push_back(Rel{key, QString::fromUtf8(type ? type : ""), QString::fromUtf8(target)});
}

CWorkbookParser::CWorkbookParser(const QString& part)
    : CXmlPartParser(part, EXmlVocabulary::Spreadsheet)
{
}

void CWorkbookParser::startElement(const char* name, const char** attributes)
{
    const int depth = ++m_depth;
    if (depth == 1) {
        if (!isName(name, "workbook"))
            fail(QStringLiteral("xlsx: %1 is a <%2>, not a workbook").arg(partName(), shortText(name)));
    } else if (depth == 2) {
        m_inSheets = isName(name, "sheets");
        m_inViews = isName(name, "bookViews");
        if (isName(name, "workbookPr"))
            date1904 = isTrue(attribute(attributes, "date1904"));
        else if (isName(name, "calcPr"))
            fullCalcOnLoad = isTrue(attribute(attributes, "fullCalcOnLoad"));
    } else if (depth == 3 && m_inViews && isName(name, "workbookView") && !m_viewSeen) {
        m_viewSeen = true;
        const char* tab = attribute(attributes, "activeTab");
        m_activeTab = tab ? int(qBound<qint64>(-1, toInt64(tab), std::numeric_limits<int>::max() - 1)) : 0;
    } else if (depth == 3 && m_inSheets && isName(name, "sheet")) {
        sheet(attributes);
    }
}

void CWorkbookParser::endElement(const char*)
{
    if (--m_depth == 1)
        m_inSheets = m_inViews = false;
    // A view given after the sheets still says which one the workbook opens on, if not its name.
    if (m_depth == 0 && m_viewSeen && sheets.activeSheet == 0 && m_activeTab >= 0 && m_activeTab < sheets.sheetCount)
        sheets.activeSheet = m_activeTab + 1;
}

void CWorkbookParser::sheet(const char** attributes)
{
    const int index = ++sheets.sheetCount;
    const char* name = attribute(attributes, "name");
    if (index == 1) {
        const char* id = relationshipId(attributes);
        if (!id) {
            fail(QStringLiteral("xlsx: the first sheet of %1 names no part (no r:id)").arg(partName()));
            return;
        }
        firstSheetRelId = QString::fromUtf8(id);
        sheets.sheet = 1;
        sheets.sheetName = QString::fromUtf8(name ? name : "").left(255);
        const char* state = attribute(attributes, "state");
        sheets.sheetState = state && isName(state, "hidden")       ? standin::ESheetState::Hidden
                            : state && isName(state, "veryHidden") ? standin::ESheetState::VeryHidden
                                                                   : standin::ESheetState::Visible;
    }
    // Views come before the sheets in every writer's workbook.
    if (m_viewSeen && index == m_activeTab + 1) {
        sheets.activeSheet = index;
        sheets.activeSheetName = QString::fromUtf8(name ? name : "").left(255);
    }
}

CStylesParser::CStylesParser(const QString& part)
    : CXmlPartParser(part, EXmlVocabulary::Spreadsheet)
{
}

void CStylesParser::startElement(const char* name, const char** attributes)
{
    const int depth = ++m_depth;
    if (depth == 1) {
        if (!isName(name, "styleSheet"))
            fail(QStringLiteral("xlsx: %1 is a <%2>, not styles").arg(partName(), shortText(name)));
    } else if (depth == 2) {
        m_inFormats = isName(name, "numFmts");
        m_inCellXfs = isName(name, "cellXfs");
    } else if (depth == 3 && m_inFormats && isName(name, "numFmt")) {
        numberFormat(attributes);
    } else if (depth == 3 && m_inCellXfs && isName(name, "xf")) {
        if (formats.styleCount() >= inputcaps::kMaxCellStyles) {
            fail(QStringLiteral("xlsx: %1 lists more than %2 cell styles")
                     .arg(partName())
                     .arg(inputcaps::kMaxCellStyles));
            return;
        }
        const char* idText = attribute(attributes, "numFmtId");
        formats.addStyle(idText ? formatId(idText) : 0);
    }
}

void CStylesParser::endElement(const char*)
{
    if (--m_depth == 1)
        m_inFormats = m_inCellXfs = false;
}

void CStylesParser::numberFormat(const char** attributes)
{
    const int id = formatId(attribute(attributes, "numFmtId"));
    const char* code = attribute(attributes, "formatCode");
    if (id < 0 || !code)
        return;
    // UTF-8 takes at most four bytes a character: longer is past the cap unread.
    const size_t bytes = std::strlen(code);
    const QString text =
        bytes <= size_t(4 * inputcaps::kMaxFormatChars) ? QString::fromUtf8(code, int(bytes)) : QString();
    // A custom format may redefine a built-in id; one past the cap shows numbers as they are.
    formats.define(id, text);
}

} // namespace WB
