#include "hostworkbook.h"

#include "workbookloader.h"
#include "workbooklog.h"
#include "workbookreport.h"

// Reads the first sheet only: sheet 1 answers its used range and cells, any other sheet is
// empty. Texts are the cells' own, line breaks and tabs included.
namespace WB {

struct CExcelReader::Private
{
    bool initialised = false;
    CWorkbookLoader loader;
};

CExcelReader::CExcelReader(QObject* parent)
    : QObject(parent)
    , d(new Private)
{
}

CExcelReader::~CExcelReader() = default;

bool CExcelReader::init(bool)
{
    // The parsers are linked in: nothing to start.
    d->initialised = true;
    return d->initialised;
}

bool CExcelReader::isValid() const
{
    return d->initialised;
}

bool CExcelReader::open(const QString& path)
{
    standin::WorkbookReport report;
    report.reader = QStringLiteral("CExcelReader");
    report.path = path;
    if (!d->initialised) {
        d->loader.clear();
        report.refusal = QStringLiteral("the reader is not initialised");
    } else if (d->loader.load(path, CWorkbookLoader::ERefusal::Recall)) {
        report = d->loader.sheets();
        report.reader = QStringLiteral("CExcelReader");
        report.path = path;
        reportWorkbook(report);
        logWorkbookRead(report);
        return true;
    } else {
        report.refusal = d->loader.error();
    }
    reportWorkbook(report);
    logWorkbook(QStringLiteral("[CExcelReader] open %1 failed: %2%3")
                    .arg(path, report.refusal,
                         d->loader.recalled() ? QStringLiteral(" (refused before by the first reader)") : QString()));
    return false;
}

int CExcelReader::sheetCount() const
{
    return d->loader.sheets().sheetCount;
}

int CExcelReader::getSheetStartRow(int sheet) const
{
    return sheet == 1 ? d->loader.grid().firstRow() : 1;
}

int CExcelReader::getSheetRowCount(int sheet) const
{
    return sheet == 1 ? d->loader.grid().lastRow() : 0;
}

int CExcelReader::getSheetStartCol(int sheet) const
{
    return sheet == 1 ? d->loader.grid().firstColumn() : 1;
}

int CExcelReader::getSheetColCount(int sheet) const
{
    return sheet == 1 ? d->loader.grid().lastColumn() : 0;
}

QString CExcelReader::getData(int sheet, int row, int column, bool trimmed) const
{
    if (sheet != 1)
        return QString();
    const QString text = d->loader.grid().text(row, column);
    return trimmed ? text.trimmed() : text;
}

void CExcelReader::close()
{
    d->loader.clear();
}

void CExcelReader::exitExcel()
{
    d->loader.clear();
    d->initialised = false;
}

} // namespace WB
