#include "hosttoolkit.h"

// Placeholder until the parsers land: every workbook reads as unreadable.
namespace WB {

COdbcExcelReader::COdbcExcelReader(QObject* parent) : QObject(parent) {}
COdbcExcelReader::~COdbcExcelReader() = default;
bool COdbcExcelReader::open(const QString&, QStringList&, bool)
{
    m_lastError = QStringLiteral("workbook reading is not available");
    return false;
}
void COdbcExcelReader::close() {}
QString COdbcExcelReader::lastError() const { return m_lastError; }

struct CExcelReader::Private
{
};
CExcelReader::CExcelReader(QObject* parent) : QObject(parent), d(new Private) {}
CExcelReader::~CExcelReader() = default;
bool CExcelReader::init(bool) { return false; }
bool CExcelReader::isValid() const { return false; }
bool CExcelReader::open(const QString&) { return false; }
int CExcelReader::sheetCount() const { return 0; }
int CExcelReader::getSheetStartRow(int) const { return 1; }
int CExcelReader::getSheetRowCount(int) const { return 0; }
int CExcelReader::getSheetStartCol(int) const { return 1; }
int CExcelReader::getSheetColCount(int) const { return 0; }
QString CExcelReader::getData(int, int, int, bool) const { return QString(); }
void CExcelReader::close() {}
void CExcelReader::exitExcel() {}
QString CExcelReader::lastError() const { return QString(); }

} // namespace WB
