#pragma once

#include <QString>

namespace WB {

class CSheetGrid;

// Loads the first sheet of a legacy .xls (BIFF) workbook into a grid through FreeXL.
class CXlsSheetLoader
{
public:
    // FreeXL holds the whole file and a cell table of the sheet in memory; BIFF8 sheets stop at
    // 65,536 rows x 256 columns, so the file size bounds the rest.
    static constexpr qint64 kMaxFileBytes = 64LL * 1024 * 1024;

    bool load(const QString& path, CSheetGrid& grid);
    int sheetCount() const { return m_sheetCount; }
    QString error() const { return m_error; }

private:
    int m_sheetCount = 0;
    QString m_error;
};

} // namespace WB
