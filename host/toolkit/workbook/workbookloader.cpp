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

bool CWorkbookLoader::load(const QString& path, ERefusal refusal, ICellSink* sink)
{
    clear();
    const QString absolutePath = QFileInfo(path).absoluteFilePath();
    QByteArray fingerprint;
    {
        QFile file;
        if (openRegularFile(file, path, m_error))
            fingerprint = fileFingerprint(file);
    }
    if (refusal == ERefusal::Recall) {
        QString reason;
        if (CRefusalMemory::take(absolutePath, fingerprint, reason)) {
            m_error = reason;
            m_recalled = true;
            return false;
        }
    } else {
        CRefusalMemory::forget();
    }
    if (!m_error.isEmpty())
        return false;
    ICellSink& cells = sink ? *sink : m_grid;
    if (read(path, cells))
        return true;
    cells.clear();
    const QString error = m_error;
    m_sheets = standin::WorkbookReport();
    m_error = error;
    if (refusal == ERefusal::Remember && !fingerprint.isEmpty())
        CRefusalMemory::remember(absolutePath, fingerprint, m_error);
    return false;
}

bool CWorkbookLoader::read(const QString& path, ICellSink& sink)
{
    QFile file;
    if (!openRegularFile(file, path, m_error))
        return false;
    const QByteArray head = file.read(8);
    file.close();
    if (head.startsWith(QByteArray(kZipSignature, 4))) {
        CXlsxSheetLoader loader;
        const bool ok = loader.load(path, sink, m_sheets);
        m_error = loader.error();
        return ok;
    }
    if (head == QByteArray(kOle2Signature, 8)) {
        CXlsSheetLoader loader;
        const bool ok = loader.load(path, sink, m_sheets);
        m_error = loader.error();
        return ok;
    }
    m_error = head.isEmpty() ? QStringLiteral("workbook: the file is empty")
                             : QStringLiteral("workbook: neither a zip package (.xlsx) nor a compound document (.xls)");
    return false;
}

void CWorkbookLoader::clear()
{
    m_recalled = false;
    m_grid.clear();
    m_sheets = standin::WorkbookReport();
    m_error.clear();
}

} // namespace WB
