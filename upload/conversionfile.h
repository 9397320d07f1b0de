#pragma once
// Turns a conversion-rate file into text lines: what the upload dialog's worker and the preview
// tool both run, so that a preview shows exactly what an upload would send.

#include <QString>
#include <QStringList>

namespace DVK {

struct ConversionFileLines
{
    QStringList lines;                       // one entry per file row, fields joined by separator
    QString separator = QStringLiteral(","); // "\t" when the tab-joined workbook reader read the file
    QString message;                         // the user's message when the file gives no lines; else empty
    QString kind;                            // the complete suffix the file was taken by
    QString detail;                          // how it was read, or why it failed, for the log
};

// Reads the whole file on the calling thread (never the GUI thread: a workbook may take a while).
// The complete suffix decides, case-sensitively: "csv" is GBK or UTF-8 text split on "\n" with
// empty lines and carriage returns kept; "xls" and "xlsx" go to the tab-joined workbook reader
// and, when it refuses, to the cell reader (fields then joined with ","). Anything else is refused.
ConversionFileLines readConversionFile(const QString& path);

} // namespace DVK
