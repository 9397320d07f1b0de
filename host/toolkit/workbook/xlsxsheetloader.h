#pragma once

#include <QString>

namespace WB {

class CSheetGrid;

// Loads the first sheet of an .xlsx package (the first <sheet> of the workbook part, found
// through the package relationships) into a grid, streaming every part through our XML scanner.
class CXlsxSheetLoader
{
public:
    // False with error() when the package or its first sheet cannot be read.
    bool load(const QString& path, CSheetGrid& grid);
    int sheetCount() const { return m_sheetCount; }
    QString error() const { return m_error; }

private:
    int m_sheetCount = 0;
    QString m_error;
};

} // namespace WB
