#pragma once
// The parts of an .xlsx package read before its sheet: relationships, the workbook, the styles.

#include "numberformat.h"
#include "standinworkbook.h"
#include "xmlpartparser.h"

#include <QHash>
#include <QString>

#include <vector>

namespace WB {

// What a relationship points at, by its exact type in either flavour of the format.
enum class ERelation
{
    Other,
    OfficeDocument,
    Worksheet,
    Chartsheet,
    Styles,
    SharedStrings
};

ERelation relationOf(const QString& type);

// A package's relationships; external ones left out.
class CRelsParser : public CXmlPartParser
{
public:
    explicit CRelsParser(const QString& part);

    struct Rel
    {
        QString id, type, target;
    };
    const Rel* byId(const QString& id) const;
    // The one relationship of that kind, or nullptr; a second of the same kind is refused with
    // error set.
    const Rel* byKind(ERelation kind, QString& error) const;

protected:
    void startElement(const char* name, const char** attributes) override;
    void endElement(const char*) override { --m_depth; }

private:
    std::vector<Rel> m_rels;
    int m_depth = 0;
};

// The workbook part: its sheets in order (the first is read), the view it opens on, its epoch.
class CWorkbookParser : public CXmlPartParser
{
public:
    explicit CWorkbookParser(const QString& part);

    standin::WorkbookReport sheets; // count, the first sheet, the sheet the workbook opens on
    QString firstSheetRelId;
    bool date1904 = false;
    // The workbook asks to be recalculated on opening: its formulas' cached results are stale.
    bool fullCalcOnLoad = false;

protected:
    void startElement(const char* name, const char** attributes) override;
    void endElement(const char*) override;

private:
    void sheet(const char** attributes);

    int m_depth = 0;
    bool m_inSheets = false, m_inViews = false, m_viewSeen = false;
    int m_activeTab = 0; // 0-based, as written
};

// The number format of each cell style. A custom format's text is parsed once, where it is
// defined; the styles then only name it.
class CStylesParser : public CXmlPartParser
{
public:
    explicit CStylesParser(const QString& part);

    CCellFormats formats; // by cell style index

protected:
    void startElement(const char* name, const char** attributes) override;
    void endElement(const char*) override;

private:
    void numberFormat(const char** attributes);

    int m_depth = 0;
    bool m_inFormats = false, m_inCellXfs = false;
};

} // namespace WB
