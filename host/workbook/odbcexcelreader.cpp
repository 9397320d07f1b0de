#include "hostworkbook.h"

#include "tablines.h"
#include "workbookloader.h"
#include "workbooklog.h"
#include "workbookreport.h"

// Cell texts, dates and the used range are those of CWorkbookLoader (see CCellText): numbers in
// General format, date-formatted numbers as yyyy-MM-dd (plus " hh:mm:ss" when the time of day is
// not midnight), time-only formats as hh:mm:ss. Lines start at the first row holding a value and
// end at the last; a blank row inside that range is a line of empty fields, and every line has
// one field per column from the first to the last used column. A line break inside a cell stays
// in its field; a tab becomes a space (the report says on which lines).
namespace WB {

COdbcExcelReader::COdbcExcelReader(QObject* parent)
    : QObject(parent)
{
}

COdbcExcelReader::~COdbcExcelReader() = default;

bool COdbcExcelReader::open(const QString& path, QStringList& lines, bool firstRowIsData)
{
    CWorkbookLoader loader;
    // The lines are made as the cells arrive; cells out of order are read into a grid instead.
    CTabLines streamed(!firstRowIsData);
    bool ok = loader.load(path, CWorkbookLoader::ERefusal::Remember, &streamed);
    const bool inGrid = !ok && streamed.outOfOrder();
    if (inGrid)
        ok = loader.load(path, CWorkbookLoader::ERefusal::Remember);
    standin::WorkbookReport report = loader.sheets();
    report.reader = QStringLiteral("COdbcExcelReader");
    report.path = path;
    if (!ok) {
        report.refusal = loader.error();
        reportWorkbook(report);
        logWorkbook(QStringLiteral("[COdbcExcelReader] open %1 failed: %2").arg(path, report.refusal));
        return false;
    }
    lines =
        inGrid ? loader.grid().tabJoinedLines(!firstRowIsData, report.tabLines) : streamed.takeLines(report.tabLines);
    reportWorkbook(report);
    logWorkbookRead(report);
    return true;
}

void COdbcExcelReader::close() {}

} // namespace WB
