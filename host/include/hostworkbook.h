#pragma once
// The client's workbook readers, also reached through hosttoolkit.h; kept apart so that a
// program that only reads files links them without the widget toolkit.

#include "host_export.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

namespace WB {

// ---------------------------------------------------------------------------------------------
// Workbook readers (.xlsx and legacy .xls)
// ---------------------------------------------------------------------------------------------
//
// Both read the first sheet of a workbook in workbook order, hidden or not, as text: each cell
// as a person sees it in Excel's General format (600000, 0.7, TRUE, #N/A; a number stored as text
// keeps its leading zeros). Rows and columns are numbered from 1; a missing cell inside the used
// range is an empty text. A workbook a spreadsheet program would show otherwise than they could
// read it (damaged, in another encoding than UTF-8 or UTF-16, a cell with two values, a value its
// number format does not show, a formula without its result, a hidden or covered value, a
// hidden first sheet, a password) is not read, the reason written to the client's log.
// Both are created, used and destroyed on one thread, which may be a worker thread.

// Reads a whole sheet at once into tab-joined lines, one per row of the used range.
class HOST_EXPORT COdbcExcelReader : public QObject
{
    Q_OBJECT
public:
    explicit COdbcExcelReader(QObject* parent = nullptr);
    ~COdbcExcelReader() override;

    // Replaces lines with the first sheet's rows, each row's cells joined by a tab, when the
    // workbook is read; returns false and leaves lines untouched when it cannot be read. A line
    // break inside a cell stays in that cell's text (a line is an entry of the list, not text
    // ended by a line break); a tab inside a cell becomes a space, so that every field is its
    // cell. firstRowIsData: the first row is a row like any other rather than column names to
    // leave out. A workbook it cannot read has its reason written to the client's log.
    bool open(const QString& path, QStringList& lines, bool firstRowIsData);
    void close();
};

// Reads a workbook cell by cell.
class HOST_EXPORT CExcelReader : public QObject
{
    Q_OBJECT
public:
    explicit CExcelReader(QObject* parent = nullptr);
    ~CExcelReader() override;

    // Prepares the reader; visible is kept for callers that drive a visible application and has
    // no effect here. True when the reader can work.
    bool init(bool visible);
    bool isValid() const;
    // Opens a workbook; false (and no sheets) when it cannot be read, the reason then written to
    // the client's log. Right after COdbcExcelReader opened and refused the same file on this
    // thread, it is refused again without being read, even when the file changed in between.
    bool open(const QString& path);
    int sheetCount() const;
    // The used range of a sheet as inclusive bounds: first and last row, first and last column.
    // A sheet that does not exist or holds no cell gives first 1 and last 0.
    int getSheetStartRow(int sheet) const;
    int getSheetRowCount(int sheet) const;
    int getSheetStartCol(int sheet) const;
    int getSheetColCount(int sheet) const;
    // The text of one cell; empty outside the sheet. trimmed: without surrounding white space.
    QString getData(int sheet, int row, int column, bool trimmed) const;
    void close();
    // Lets go of everything init prepared.
    void exitExcel();

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace WB
