#pragma once
// Conversion-rate files for the benchmarks and bench/compare.sh: exchange,code,name,ratio, every
// row a security of the master it is read against. A fixed seed gives the same bytes on every
// run; nothing generated is committed.
#include <QString>

namespace ratefiles {

enum class Kind
{
    Utf8Csv, // UTF-8, LF
    GbkCsv,  // GBK, CRLF
    Xlsx,    // shared strings, deflated
    Xls,     // BIFF8 through LibreOffice; needs soffice
};

// Which securities a file's rows name.
enum class Securities
{
    // Each once: the shipped master's, then made-up ones; read against masterFile(rows), since
    // the service refuses an upload naming a security twice.
    EachOnce,
    // The shipped master's over and over: every row resolves against the master a program loads
    // by default. Only for reading (creditdata-preview --count), never for an upload.
    ShippedCycle,
};

// The file of `rows` rows of that kind in folder, made on first use and reused after (also by
// later runs when folder persists). Empty when it could not be made (no soffice for .xls).
QString file(Kind kind, int rows, const QString& folder, Securities securities = Securities::EachOnce);

// A security master (exchange,code,name) naming every security of a file of `rows` rows, which
// names each once: the shipped master, then made-up securities. Made in folder on first use.
QString masterFile(int rows, const QString& folder);

// The folder the benchmarks share between runs, under the system's temporary folder.
QString cacheFolder();

const char* kindName(Kind kind);

// An .xlsx whose sheet inflates to a little over a gigabyte (blanks between elements: well formed
// and highly compressible), made on first use in folder. Empty when it could not be made.
QString inflatingXlsx(const QString& folder);

} // namespace ratefiles
