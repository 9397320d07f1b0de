#pragma once
// Every cap on what a user's file may make the readers hold or do, each with its reason. A file
// may come from anywhere; these keep each read linear in time and bounded in memory whatever its
// bytes claim, and each sits well above what a real conversion-rate file needs. Nothing else
// defines a cap on file input.

#include <cstdint>

namespace inputcaps {

constexpr std::int64_t kMiB = 1024 * 1024;

// --- Memory of one read sheet --------------------------------------------------------------------

// What the cells of one sheet may take once read, text and index together. The readers' callers
// then make one line per row; with this budget a crafted sheet stays within 200 MB in all.
constexpr std::int64_t kSheetBudgetBytes = 96 * kMiB;
// Characters of all cell texts of one sheet (UTF-16, two bytes each): a third of the budget.
constexpr std::int64_t kMaxSheetChars = 16 * kMiB;
// A cell's entry in the sheet's index, in bytes; the index doubles as it grows.
constexpr std::int64_t kCellIndexBytes = 16;
// Cells holding a value: what is left of the budget after the text, at two entries a cell while
// the index grows. About 2 million: a 300,000-row sheet of five columns reads.
constexpr std::int64_t kMaxCells = (kSheetBudgetBytes - 2 * kMaxSheetChars) / (2 * kCellIndexBytes);
// Fields of the used range, blank ones included: each costs a separator when rows become lines,
// so a sheet with two far-apart cells cannot make millions of empty fields.
constexpr std::int64_t kMaxUsedRangeFields = 2 * kMaxCells;
// Excel's own sheet size; a cell outside it is damage.
constexpr std::int64_t kMaxRow = 1048576;
constexpr std::int64_t kMaxColumn = 16384;
// One cell's text while it is read, in UTF-8 bytes: far above Excel's 32,767 characters, so a
// long name pasted from elsewhere still reads.
constexpr std::int64_t kMaxCellTextBytes = kMiB;
// Shared strings: each is a cell's text at most once, so the sheet's own caps bound them.
constexpr std::int64_t kMaxSharedStrings = kMaxCells;
constexpr std::int64_t kMaxSharedChars = kMaxSheetChars;
// Cell styles: Excel's limit (64,000) rounded up; a style is one byte once read.
constexpr std::int64_t kMaxCellStyles = 65536;
// Number formats a workbook defines: format ids are 16 bits wide in both formats.
constexpr std::int64_t kMaxNumberFormats = 65536;
// A number format's text: Excel's own limit. A longer one is no format Excel wrote and is not
// looked at, since each is scanned for date tokens.
constexpr int kMaxFormatChars = 255;

// --- .xlsx packages ------------------------------------------------------------------------------

// Inflated size of one part: a zip bomb stops here, however small the file. Parts are streamed,
// so this bounds time (well under 5 s of scanning), not memory.
constexpr std::int64_t kMaxPartBytes = 256 * kMiB;
// Parts read before the sheet (workbook, relationships): a few kilobytes in any real package.
constexpr std::int64_t kMaxSmallPartBytes = 16 * kMiB;
// Entries of a package's directory, and its size: workbooks hold tens of parts.
constexpr std::int64_t kMaxPackageEntries = 100000;
constexpr std::int64_t kMaxDirectoryBytes = 16 * kMiB;
// Relationships listed in one part: a workbook has one per sheet and a few more.
constexpr std::int64_t kMaxRelationships = 100000;

// --- XML -----------------------------------------------------------------------------------------

// Nesting: spreadsheet parts nest a handful of levels.
constexpr int kMaxDepth = 256;
// Elements of one part: four per cell (row, c, v, t) is what a full sheet needs; past that a
// part is only elements and costs time for nothing.
constexpr std::int64_t kMaxElements = 4 * kMaxCells;
// A tag with its attributes, a comment or a processing instruction: the parser holds one whole
// while it reads it.
constexpr std::int64_t kMaxTokenBytes = 4 * kMiB;
// What the XML parser may allocate for one part: its buffer (a token and a piece), one element's
// attributes, and every distinct element and attribute name met, which it keeps to the part's
// end. Real parts need well under a megabyte; a part of made-up names would grow without end.
constexpr std::int64_t kMaxXmlParserBytes = 32 * kMiB;
// Prefixes one markup-compatibility attribute (mc:MustUnderstand, mc:Choice's Requires) lists:
// a real part names a handful; each is looked up, and thousands on every row are work for nothing.
constexpr int kMaxCompatibilityPrefixes = 64;

// --- .xls compound documents ---------------------------------------------------------------------

// The whole file is read into memory, and its workbook stream copied out of it: 32 MiB is a
// legacy workbook of all its 65,536 rows many times over.
constexpr std::int64_t kMaxXlsBytes = 32 * kMiB;
// Directory entries: a workbook has a handful of streams.
constexpr int kMaxDocumentEntries = 65536;

// --- csv -----------------------------------------------------------------------------------------

// A csv is read whole, then made into one string per line, and each usable line into a record to
// send: the upload costs a few times the bytes and some 300 bytes a line. Lines: as many as the
// largest sheet of four columns has rows (a conversion-rate line has four fields), so a csv sends
// what a workbook could, in under 200 MB.
constexpr std::int64_t kMaxCsvLines = kMaxCells / 4;
// Bytes: those lines at 32 bytes each. A larger file is refused before it is read.
constexpr std::int64_t kMaxCsvBytes = 32 * kMaxCsvLines;

// --- encrypted workbooks -------------------------------------------------------------------------

// The header of an encrypted package: about a kilobyte of XML for a password. One that lists
// certificates as well can pass the compound document's small-stream size (4 KiB); such a header
// would be read in place, and the package after it no more, so it is refused.
constexpr std::int64_t kMaxEncryptionInfoBytes = 4095;
// Iterations of the password hash. Writers use 100,000 (Excel, LibreOffice). The format allows up
// to 10,000,000, but ten million SHA-512 iterations take 3 to 5 s of a busy core, all of the time
// any file may cost; fifty times what writers use stays under 2 s. A larger count is refused
// before any hash is taken.
constexpr std::int64_t kMaxSpinCount = 5000000;
// The decrypted package is no larger than its encrypted stream, which lies in a compound document
// within kMaxXlsBytes; then every cap of a package read from a file holds for it.

} // namespace inputcaps
