#pragma once

#include "coveredcells.h"
#include "numberformat.h"
#include "standinworkbook.h"

#include <QHash>
#include <QString>
#include <QTextCodec>

#include <vector>

class QFile;

namespace WB {

class CCompoundDocument;
class ICellSink;

namespace xls {
class CPieces;
class CRecords;
} // namespace xls

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
    bool readGlobals(const QByteArray& stream, qint64& firstSheet);
    bool readSheetEntry(const uchar* record, int length, xls::CPieces& pieces, qint64& firstSheet);
    bool readSheet(const QByteArray& stream, qint64 at, ICellSink& grid);
    bool readFormula(const uchar* record, ICellSink& grid);
    bool readMerges(const uchar* record, int length);
    bool readFormulaText(xls::CRecords& record, xls::CPieces& pieces, ICellSink& grid);
    bool put(ICellSink& grid, int row, int column, const QChar* chars, int length);
    bool putText(ICellSink& grid, int row, int column, const QString& text);
    // Refuses what holds half a surrogate pair.
    bool unpaired(const QString& what, QChar half);
    // A number as its cell style shows it: General, or a date or time.
    bool putNumber(ICellSink& grid, int row, int column, double value, quint16 xf);
    // A text, unless its cell style hides it.
    bool putStyledText(ICellSink& grid, int row, int column, const QChar* chars, int length, quint16 xf);

    standin::WorkbookReport m_sheets;
    int m_activeTab = -1; // 0-based, from WINDOW1
    quint8 m_firstSheetType = 0;
    bool m_biff8 = true;
    bool m_date1904 = false;
    QTextCodec* m_codec = nullptr; // of BIFF5's 8-bit texts
    QHash<int, QString> m_formats;
    std::vector<quint16> m_xfFormats;
    CCellFormats m_cellFormats;
    CCoveredCells m_covered;
    QString m_sharedPool;
    std::vector<std::pair<quint32, quint32>> m_shared; // offset and length in m_sharedPool
    // The cell whose formula gave a text result, which the next STRING record carries.
    int m_pendingRow = -1;
    int m_pendingColumn = -1;
    quint16 m_pendingXf = 0;
    QString m_error;
};

} // namespace WB
