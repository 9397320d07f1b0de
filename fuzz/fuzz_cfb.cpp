// A legacy workbook's bytes straight into the compound-document and BIFF reader, without a file:
// sectors, chains, the mini stream, and the records of the globals and the first sheet.
#include "sheetgrid.h"
#include "xlssheetloader.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray file = QByteArray::fromRawData(reinterpret_cast<const char*>(data), int(size));
    WB::CSheetGrid grid;
    WB::CXlsSheetLoader loader;
    if (!loader.loadData(file, grid))
        return 0;
    // A read sheet answers one line per row of its used range.
    const int rows = grid.isEmpty() ? 0 : grid.lastRow() - grid.firstRow() + 1;
    if (grid.lines(QLatin1Char('\t'), false).size() != rows)
        __builtin_trap();
    return 0;
}
