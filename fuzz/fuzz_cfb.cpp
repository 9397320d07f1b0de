// A legacy workbook's bytes straight into the compound-document and BIFF reader, without a file:
// sectors, chains, the mini stream, and the records of the globals and the first sheet. The
// lines made as the cells arrive must be the grid's, whenever the cells come in order.
#include "sheetgrid.h"
#include "tablines.h"
#include "xlssheetloader.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray file = QByteArray::fromRawData(reinterpret_cast<const char*>(data), int(size));
    WB::CSheetGrid grid;
    WB::CXlsSheetLoader loader;
    const bool read = loader.loadData(file, grid);
    std::vector<int> tabs;
    const QStringList lines = read ? grid.tabJoinedLines(false, tabs) : QStringList();
    // A read sheet answers one line per row of its used range.
    if (read && lines.size() != (grid.isEmpty() ? 0 : grid.lastRow() - grid.firstRow() + 1))
        __builtin_trap();
    WB::CTabLines made(false);
    const bool madeRead = WB::CXlsSheetLoader().loadData(file, made);
    if (made.outOfOrder())
        return 0;
    std::vector<int> madeTabs;
    if (madeRead != read || (read && (made.takeLines(madeTabs) != lines || madeTabs != tabs)))
        __builtin_trap();
    return 0;
}
