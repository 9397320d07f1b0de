#pragma once

#include <QByteArray>
#include <QString>

namespace standin {
struct WorkbookReport;
}

class QFile;

namespace WB {

class ICellSink;

// Loads the first sheet of an .xlsx package (the first <sheet> of the workbook part, found
// through the package relationships) into a grid, streaming every part through expat.
class CXlsxSheetLoader
{
public:
    // False with error() when the package or its first sheet cannot be read as a spreadsheet
    // program would show it. sheets gets the workbook's sheets, the one read and the one shown.
    // The file is the caller's, open while the parts are read.
    bool load(QFile& file, ICellSink& grid, standin::WorkbookReport& sheets);
    // The same for a package's bytes in memory (a decrypted package).
    bool loadData(const QByteArray& package, ICellSink& grid, standin::WorkbookReport& sheets);
    QString error() const { return m_error; }

private:
    bool load(QFile* file, const QByteArray* package, ICellSink& grid, standin::WorkbookReport& sheets);

    QString m_error;
};

} // namespace WB
