#include "workbookloader.h"

#include "refusalmemory.h"
#include "regularfile.h"
#include "xlssheetloader.h"
#include "xlsxsheetloader.h"

#include <QFile>
#include <QFileInfo>

#include <new>

namespace WB {

namespace {

const char kZipSignature[] = "PK\x03\x04";
const char kOle2Signature[] = "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1";

} // namespace

bool CWorkbookLoader::load(const QString& path, ERefusal refusal, ICellSink* sink)
{
    clear();
    const QString absolutePath = QFileInfo(path).absoluteFilePath();
    // Opened once: what is checked, recalled and read is one file, whatever the path names meanwhile.
    QFile file;
    const bool opened = openRegularFile(file, path, m_error);
    if (refusal == ERefusal::Recall) {
        QString reason;
        if (CRefusalMemory::take(absolutePath, reason)) {
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
    bool ok = false;
    try {
        ok = read(file, cells);
    } catch (const std::bad_alloc&) {
        cells.clear();
        m_error = QStringLiteral("workbook: 内存不足 (out of memory) reading the workbook: nothing was read");
    }
    if (ok && m_sheets.sheetState != standin::ESheetState::Visible) {
        ok = false;
        m_error = QStringLiteral("workbook: the first sheet \"%1\" is %2: a spreadsheet program shows another sheet")
                      .arg(m_sheets.sheetName.left(64), m_sheets.sheetState == standin::ESheetState::Hidden
                                                            ? QStringLiteral("hidden")
                                                            : QStringLiteral("very hidden"));
    }
    if (ok)
        return true;
    cells.clear();
    const QString error = m_error;
    m_sheets = standin::WorkbookReport();
    m_error = error;
    if (refusal == ERefusal::Remember && opened)
        CRefusalMemory::remember(absolutePath, m_error);
    return false;
}

bool CWorkbookLoader::read(QFile& file, ICellSink& sink)
{
    const QByteArray head = file.peek(8);
    if (head.startsWith(QByteArray(kZipSignature, 4))) {
        CXlsxSheetLoader loader;
        const bool ok = loader.load(file, sink, m_sheets);
        m_error = loader.error();
        return ok;
    }
    if (head == QByteArray(kOle2Signature, 8)) {
        CXlsSheetLoader loader;
        const bool ok = loader.load(file, sink, m_sheets);
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
