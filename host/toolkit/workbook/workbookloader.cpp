#include "workbookloader.h"

#include "refusalmemory.h"
#include "regularfile.h"
#include "xlssheetloader.h"
#include "xlsxsheetloader.h"

#include <QFile>
#include <QFileInfo>

namespace WB {

namespace {

const char kZipSignature[] = "PK\x03\x04";
const char kOle2Signature[] = "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1";

} // namespace

bool CWorkbookLoader::load(const QString& path)
{
    clear();
    QFile file;
    if (!openRegularFile(file, path, m_error))
        return false;
    const QString absolutePath = QFileInfo(path).absoluteFilePath();
    const QByteArray fingerprint = fileFingerprint(file);
    if (CRefusalMemory::recall(absolutePath, fingerprint, m_error)) {
        m_error += QStringLiteral(" (refused before, file unchanged)");
        return false;
    }
    file.seek(0);
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
        CRefusalMemory::remember(absolutePath, fingerprint, m_error);
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
