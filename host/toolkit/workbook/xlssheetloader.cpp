#include "xlssheetloader.h"

#include "celltext.h"
#include "sheetgrid.h"

#include <QFile>
#include <QFileInfo>

#include <freexl.h>

#include <memory>

namespace WB {

namespace {

struct FreeXlCloser
{
    void operator()(const void* handle) const { freexl_close(handle); }
};
using FreeXlHandle = std::unique_ptr<const void, FreeXlCloser>;

QString freexlError(int code)
{
    const char* what = "";
    switch (code) {
    case FREEXL_FILE_NOT_FOUND: what = " (file not found)"; break;
    case FREEXL_INSUFFICIENT_MEMORY: what = " (out of memory)"; break;
    case FREEXL_INVALID_CFBF_HEADER: what = " (not a compound document)"; break;
    case FREEXL_CFBF_READ_ERROR: what = " (read error, truncated file?)"; break;
    case FREEXL_CFBF_SEEK_ERROR: what = " (seek error, truncated file?)"; break;
    case FREEXL_BIFF_WORKBOOK_NOT_FOUND: what = " (no workbook stream)"; break;
    case FREEXL_BIFF_INVALID_BOF: what = " (invalid BOF record)"; break;
    case FREEXL_BIFF_INVALID_SST: what = " (invalid shared strings)"; break;
    case FREEXL_CRAFTED_FILE: what = " (corrupted file)"; break;
    default: break;
    }
    return QStringLiteral("freexl: error %1%2").arg(code).arg(QLatin1String(what));
}

} // namespace

bool CXlsSheetLoader::load(const QString& path, CSheetGrid& grid)
{
    m_sheetCount = 0;
    m_error.clear();
    const qint64 size = QFileInfo(path).size();
    if (size > kMaxFileBytes) {
        m_error = QStringLiteral("xls: file larger than the %1 MiB cap").arg(kMaxFileBytes / (1024 * 1024));
        return false;
    }

    const QByteArray name = QFile::encodeName(path);
    const void* raw = nullptr;
    const int rc = freexl_open(name.constData(), &raw);
    FreeXlHandle handle(raw);
    if (rc != FREEXL_OK) {
        m_error = freexlError(rc);
        return false;
    }
    unsigned int count = 0;
    if (freexl_get_info(handle.get(), FREEXL_BIFF_SHEET_COUNT, &count) != FREEXL_OK || count == 0) {
        m_error = QStringLiteral("xls: the workbook lists no sheet");
        return false;
    }
    m_sheetCount = int(count);
    unsigned int mode = FREEXL_BIFF_DATEMODE_1900;
    freexl_get_info(handle.get(), FREEXL_BIFF_DATEMODE, &mode);
    if (const int sel = freexl_select_active_worksheet(handle.get(), 0); sel != FREEXL_OK) {
        m_error = freexlError(sel);
        return false;
    }
    unsigned int rows = 0;
    unsigned short columns = 0;
    if (const int dim = freexl_worksheet_dimensions(handle.get(), &rows, &columns); dim != FREEXL_OK) {
        m_error = freexlError(dim);
        return false;
    }
    if (rows > unsigned(CSheetGrid::kMaxRow) || columns > CSheetGrid::kMaxColumn) {
        m_error = QStringLiteral("xls: sheet of %1 rows x %2 columns lies outside the sheet bounds").arg(rows).arg(columns);
        return false;
    }

    for (unsigned int r = 0; r < rows; ++r) {
        for (unsigned short c = 0; c < columns; ++c) {
            FreeXL_CellValue cell;
            if (const int got = freexl_get_cell_value(handle.get(), r, c, &cell); got != FREEXL_OK) {
                m_error = freexlError(got);
                grid.clear();
                return false;
            }
            QString text;
            switch (cell.type) {
            case FREEXL_CELL_INT: text = QString::number(cell.value.int_value); break;
            case FREEXL_CELL_DOUBLE: text = CCellText::fromNumber(cell.value.double_value); break;
            case FREEXL_CELL_TEXT:
            case FREEXL_CELL_SST_TEXT: text = QString::fromUtf8(cell.value.text_value); break;
            case FREEXL_CELL_DATE:
            case FREEXL_CELL_TIME: text = QString::fromUtf8(cell.value.text_value); break;
            case FREEXL_CELL_DATETIME: text = CCellText::withoutMidnight(QString::fromUtf8(cell.value.text_value)); break;
            default: continue;
            }
            if (!grid.addCell(qint64(r) + 1, qint64(c) + 1, text)) {
                m_error = QStringLiteral("xls: ") + grid.error();
                grid.clear();
                return false;
            }
        }
    }
    if (!grid.finish()) {
        m_error = QStringLiteral("xls: ") + grid.error();
        return false;
    }
    return true;
}

} // namespace WB
