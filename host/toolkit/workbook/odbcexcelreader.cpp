#include "hosttoolkit.h"

#include "workbookloader.h"
#include "workbooklog.h"

// Cell texts, dates and the used range are those of CWorkbookLoader (see CCellText): numbers in
// General format, date-formatted numbers as yyyy-MM-dd (plus " hh:mm:ss" when the time of day is
// not midnight), time-only formats as hh:mm:ss. Lines start at the first row holding a value and
// end at the last; a blank row inside that range is a line of empty fields, and every line has
// one field per column from the first to the last used column.
namespace WB {

COdbcExcelReader::COdbcExcelReader(QObject* parent)
    : QObject(parent)
{
}

COdbcExcelReader::~COdbcExcelReader() = default;

bool COdbcExcelReader::open(const QString& path, QStringList& lines, bool firstRowIsData)
{
    CWorkbookLoader loader;
    if (!loader.load(path)) {
        logWorkbook(QStringLiteral("[COdbcExcelReader] open %1 failed: %2").arg(path, loader.error()));
        return false;
    }
    const CSheetGrid& grid = loader.grid();
    // A tab or a line break would split a cell; the cell reader carries those.
    if (grid.hasTabOrLineBreak()) {
        logWorkbook(QStringLiteral("[COdbcExcelReader] open %1 failed: a cell holds a tab or a line break").arg(path));
        return false;
    }
    lines = grid.lines(QLatin1Char('\t'), !firstRowIsData);
    return true;
}

void COdbcExcelReader::close() {}

} // namespace WB
