#pragma once

#include "sheetgrid.h"
#include "standinworkbook.h"

#include <QString>

class QFile;

namespace WB {

// Reads the first sheet of a workbook file, .xlsx or .xls as its content says (a zip package or
// an OLE2 compound document), whatever its name ends with. Both workbook readers stand on it.
class CWorkbookLoader
{
public:
    enum class ERefusal
    {
        Remember, // the first reader of an upload: a refusal is kept for the fallback after it
        Recall    // the fallback: a file the first reader just refused is refused again unread
    };

    // False with error() when the file is no workbook or its first sheet cannot be read; the
    // grid is then empty. The cells go to sink when one is given, to the loader's grid otherwise.
    bool load(const QString& path, ERefusal refusal, ICellSink* sink = nullptr);
    const CSheetGrid& grid() const { return m_grid; }
    // The workbook's sheets, the one read and the one it opens on (reader, path and tab lines
    // are the readers' to fill).
    const standin::WorkbookReport& sheets() const { return m_sheets; }
    QString error() const { return m_error; }
    // Whether error() is the first reader's, told to the fallback without reading the file again.
    bool recalled() const { return m_recalled; }
    void clear();

private:
    bool read(QFile& file, ICellSink& sink);

    CSheetGrid m_grid;
    standin::WorkbookReport m_sheets;
    QString m_error;
    bool m_recalled = false;
};

} // namespace WB
