#pragma once

#include "coveredcells.h"
#include "standinworkbook.h"
#include "xlsformularesults.h"
#include "xlsworkbookglobals.h"

#include <QString>

class QFile;

namespace WB {

class CCompoundDocument;
class ICellSink;

// Loads the first sheet of a legacy .xls workbook (BIFF8, or BIFF5 in a "Book" stream) into a
// grid. Every cell kind a person sees is read: text (shared or inline), numbers and dates, and
// formulas by the result Excel cached with them (number, text, TRUE/FALSE, #DIV/0! and the
// other errors), booleans and error cells. A formula written without a cached result (as
// xlwt does) has nothing to show and reads empty. Refused as the .xlsx reader refuses them: a
// value its number format does not show, one in a hidden row or column or under a merged range.
class CXlsSheetLoader
{
public:
    // sheets gets the workbook's sheets, the one read and the one it opens on.
    bool load(QFile& file, ICellSink& grid, standin::WorkbookReport& sheets);
    // The same for a compound document's bytes, as fuzzing hands them over.
    bool loadData(const QByteArray& file, ICellSink& grid);
    QString error() const { return m_error; }

private:
    bool fail(const QString& message);
    bool load(CCompoundDocument& document, ICellSink& grid);
    // What one record's reading leaves for the next to reuse, so that a sheet allocates it once.
    struct Scratch;
    bool readSheet(const QByteArray& stream, qint64 at, ICellSink& grid);
    // A record of the sheet's own substream.
    bool readRecord(xls::CRecords& record, ICellSink& grid, Scratch& scratch);
    bool readLabel(xls::CRecords& record, ICellSink& grid, Scratch& scratch);
    bool readMerges(const uchar* record, int length);
    bool show(ICellSink& grid, const CXlsFormulaResults::Shown& shown);
    bool put(ICellSink& grid, int row, int column, const QChar* chars, int length);
    bool putText(ICellSink& grid, int row, int column, const QString& text);
    // A number as its cell style shows it: General, or a date or time.
    bool putNumber(ICellSink& grid, int row, int column, double value, quint16 xf);
    // A text, unless its cell style hides it.
    bool putStyledText(ICellSink& grid, int row, int column, const QChar* chars, int length, quint16 xf);

    standin::WorkbookReport m_sheets;
    CXlsWorkbookGlobals m_globals;
    CXlsFormulaResults m_formulas;
    CCoveredCells m_covered;
    QString m_error;
};

} // namespace WB
