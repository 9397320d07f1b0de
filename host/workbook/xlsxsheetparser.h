#pragma once
// The parts of an .xlsx package that hold cell values: the shared strings and the sheet.

#include "coveredcells.h"
#include "numberformat.h"
#include "xmlpartparser.h"

#include <QString>

#include <string>
#include <vector>

namespace WB {

class ICellSink;

// A string item, shared (<si>) or inline (<is>): its text, or its runs' texts joined, phonetic
// hints left out. Where one text belongs, a second refuses the part: nothing is joined that a
// spreadsheet program would not show joined.
class CStringItemParser : public CXmlPartParser
{
public:
    using CXmlPartParser::CXmlPartParser;

protected:
    bool inItem() const { return m_itemOpen; }
    void beginItem();
    // The item's text once its element has ended.
    QString itemText() const;
    void itemStart(const char* name);
    // False when the element ending is the item itself.
    bool itemEnd();
    void characters(const char* text, int length) override;

private:
    std::string m_item;
    int m_itemDepth = 0, m_ignore = 0;
    bool m_itemOpen = false, m_hasText = false, m_inRun = false, m_runHasText = false, m_collecting = false;
};

// Shared strings in one pool.
class CSharedStringsParser : public CStringItemParser
{
public:
    explicit CSharedStringsParser(const QString& part);

    QString pool;
    std::vector<std::pair<quint32, quint32>> items; // offset and length in pool

protected:
    void startElement(const char* name, const char** attributes) override;
    void endElement(const char* name) override;

private:
    void add(const QString& text);

    int m_ignore = 0;
    bool m_rootSeen = false;
};

// A worksheet's cells into a grid, each as its number format shows it (General for most). A cell
// holds one value of its type; every cell comes after the one before it (what every writer
// writes), so no cell is given twice. Refused: a value no one sees (a format showing none of its
// digits, or scaling them; a hidden row or column; under a merged range), a formula whose result
// is not there or stale, alternate content around rows, cells or values.
class CSheetParser : public CStringItemParser
{
public:
    CSheetParser(const QString& part, ICellSink& grid, const CSharedStringsParser& shared, const CCellFormats& formats,
                 bool date1904, bool fullCalcOnLoad);

protected:
    void startElement(const char* name, const char** attributes) override;
    void endElement(const char* name) override;
    void characters(const char* text, int length) override;

private:
    enum class ELevel
    {
        Start,
        Worksheet,
        SheetData,
        Row,
        Cell,
        Value,
        Columns,
        Merges,
        Done
    };
    enum class EType
    {
        Number,
        Shared,
        Inline,
        FormulaText,
        Boolean,
        Error,
        Date
    };

    void unexpected(const char* name);
    void startRow(const char** attributes);
    bool parseReference(const char* ref);
    void startCell(const char** attributes);
    void cellChild(const char* name);
    void endCell();
    bool addNumber();
    bool addText(const QChar* text, int length);
    void column(const char** attributes);
    void mergeCell(const char** attributes);

    ICellSink& m_grid;
    const CSharedStringsParser& m_shared;
    const CCellFormats& m_formats;
    const bool m_date1904;
    const bool m_fullCalcOnLoad;
    CCoveredCells m_covered;
    bool m_formula = false; // the cell holds an <f>
    ELevel m_level = ELevel::Start;
    int m_ignore = 0; // inside an element of no concern: its depth there
    bool m_sheetDataSeen = false;
    qint64 m_rowCounter = 0;    // the last <row>'s number
    qint64 m_columnCounter = 0; // the last cell's column in that row
    qint64 m_row = 0;
    qint64 m_column = 0;
    qint64 m_lastKey = 0; // the last cell's row and column in one number
    int m_style = 0;
    int m_values = 0; // <v> and <is> of the cell
    EType m_type = EType::Number;
    std::string m_value;
    QString m_inline;
};

} // namespace WB
