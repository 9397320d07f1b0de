#include "workbookloader.h"

#include "xlssheetloader.h"
#include "xlsxsheetloader.h"

#include <QFile>

namespace WB {

namespace {

const char kZipSignature[] = "PK\x03\x04";
const char kOle2Signature[] = "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1";

} // namespace

bool CWorkbookLoader::load(const QString& path)
{
    clear();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        m_error = QStringLiteral("cannot open %1: %2").arg(path, file.errorString());
        return false;
    }
    const QByteArray head = file.read(8);
    file.close();

    bool ok = false;
    if (head.startsWith(QByteArray(kZipSignature, 4))) {
        CXlsxSheetLoader loader;
        ok = loader.load(path, m_grid);
        m_sheetCount = loader.sheetCount();
        m_error = loader.error();
    } else if (head == QByteArray(kOle2Signature, 8)) {
        CXlsSheetLoader loader;
        ok = loader.load(path, m_grid);
        m_sheetCount = loader.sheetCount();
        m_error = loader.error();
    } else {
        m_error = head.isEmpty()
                      ? QStringLiteral("workbook: the file is empty")
                      : QStringLiteral("workbook: neither a zip package (.xlsx) nor a compound document (.xls)");
    }
    if (!ok) {
        m_grid.clear();
        m_sheetCount = 0;
    }
    return ok;
}

void CWorkbookLoader::clear()
{
    m_grid.clear();
    m_sheetCount = 0;
    m_error.clear();
}

} // namespace WB
