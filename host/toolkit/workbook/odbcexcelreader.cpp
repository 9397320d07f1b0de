#include "hosttoolkit.h"

#include "corelog.h"
#include "workbookloader.h"

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
        rqservice::coreLogInfo("[COdbcExcelReader] open %s: %s", path.toUtf8().constData(),
                               loader.error().toUtf8().constData());
        return false;
    }
    const CSheetGrid& grid = loader.grid();
    // A tab or a line break would split a cell; the cell reader carries those.
    if (grid.hasTabOrLineBreak()) {
        rqservice::coreLogInfo("[COdbcExcelReader] open %s: a cell holds a tab or a line break",
                               path.toUtf8().constData());
        return false;
    }
    lines = grid.lines(QLatin1Char('\t'), !firstRowIsData);
    return true;
}

void COdbcExcelReader::close() {}

} // namespace WB
