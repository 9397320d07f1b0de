#pragma once

#include "sheetgrid.h"

#include <QString>

namespace WB {

// Reads the first sheet of a workbook file, .xlsx or .xls as its content says (a zip package or
// an OLE2 compound document), whatever its name ends with.
class CWorkbookLoader
{
public:
    // False with error() when the file is no workbook or its first sheet cannot be read; the
    // grid is then empty.
    bool load(const QString& path);
    const CSheetGrid& grid() const { return m_grid; }
    int sheetCount() const { return m_sheetCount; }
    QString error() const { return m_error; }
    void clear();

private:
    CSheetGrid m_grid;
    int m_sheetCount = 0;
    QString m_error;
};

} // namespace WB
