#pragma once
// The stand-in client's own account of the last workbook its readers opened: which sheet was
// read, why a workbook was refused, which cells' tabs became spaces. The readers log the same;
// tools and tests ask it here. A plug-in never sees it (the real client has none of it). Defined
// in workbook/workbookreport.cpp.

#include "host_export.h"

#include <QString>
#include <QStringList>

#include <vector>

namespace standin {

enum class ESheetState
{
    Visible,
    Hidden,
    VeryHidden // hidden so that only a macro shows it again
};

struct HOST_EXPORT WorkbookReport
{
    QString reader; // "COdbcExcelReader" or "CExcelReader"
    QString path;
    QString refusal;    // why the workbook was not read; empty when it was
    int sheetCount = 0; // sheets the workbook lists, of every kind
    int sheet = 0;      // the sheet read, 1-based in workbook order: always the first; 0 when none
    QString sheetName;
    ESheetState sheetState = ESheetState::Visible;
    int activeSheet = 0; // the sheet the workbook opens on, 1-based; 0 when it names none
    QString activeSheetName;
    // Lines (0-based, as the tab-joined reader gave them) in which a tab inside a cell was read as
    // a space: the line's fields stay where the cells are.
    std::vector<int> tabLines;

    // What a user should know about the sheet read: it is hidden, or not the one the workbook
    // opens on. Empty when neither.
    QStringList sheetWarnings() const;
    // "sheet 1 of 3, "Rates"".
    QString sheetText() const;
};

// The report of the last workbook reader open on the calling thread (empty before any).
HOST_EXPORT WorkbookReport lastWorkbookReport();

} // namespace standin
