// The hostile-file runner: makes one or more files of each class of crafted input, reads each in a
// fresh process through the upload's own path (the file read, then the request built), and prints
// per class the worst wall time and peak resident memory. Fails when a crafted file takes more
// than 5 s or 200 MB, or a valid file more than about four times its text (the rows as csv).
//
//   hostile_files [--folder DIR] [--timeout SECONDS] [CLASS...]
//   hostile_files --read PATH        (one read, in the child)
#include "upload/conversionfile.h"
#include "upload/uploadrequest.h"

#include "inputcaps.h"
#include "zipwriter.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr double kMaxSeconds = 5.0;
constexpr long kMaxPeakKb = 200 * 1000;
// "About four times" the valid files' text: a list of short lines alone is that (two bytes a
// character, a string's header and its slot in the list), whoever reads it.
constexpr double kMaxValidRatio = 5.0;
// A child never gets more: the files made to crash the old code must not take the machine.
constexpr rlim_t kChildAddressSpace = 6ULL << 30;

const QByteArray kMainNs = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
const QByteArray kRelNs = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
const QByteArray kPkgNs = "http://schemas.openxmlformats.org/package/2006/relationships";
const QByteArray kHead = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";

long statusKb(const char* key)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(key))
            return line.mid(int(std::strlen(key))).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

// --- the child: one read -------------------------------------------------------------------------

int readOne(const QString& path)
{
    const long before = statusKb("VmRSS:");
    const DVK::ConversionFileLines read = DVK::readConversionFile(path);
    const long readPeak = statusKb("VmHWM:");
    QString outcome = read.message;
    if (outcome.isEmpty()) {
        DVK::UploadBroker broker;
        broker.brokerKeyNo = 7;
        broker.brokerId = "GX";
        const DVK::UploadRequestPlan plan = DVK::buildUploadRequest(read.lines, read.separator, broker);
        outcome = plan.request ? QStringLiteral("request %1").arg(plan.usedLines.size())
                               : QStringLiteral("no usable line of %1").arg(read.lines.size());
    }
    // The process's own peak: the fork's copy of the runner's pages before exec does not count.
    std::printf("%ld %ld %ld %s\n", before, readPeak, statusKb("VmHWM:"), outcome.toUtf8().constData());
    return 0;
}

// --- files of each class -------------------------------------------------------------------------

bool writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

// A file of that many zero bytes that takes no disk.
bool writeSparse(const QString& path, qint64 size)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.resize(size);
}

bool writeWorkbook(const QString& path, const QByteArray& sheet, const QByteArray& styles = QByteArray(),
                   const QByteArray& strings = QByteArray())
{
    QByteArray rels = kHead + "<Relationships xmlns=\"" + kPkgNs + "\"><Relationship Id=\"rId1\" Type=\"" + kRelNs +
                      "/worksheet\" Target=\"worksheets/sheet1.xml\"/>";
    if (!styles.isEmpty())
        rels += "<Relationship Id=\"rId2\" Type=\"" + kRelNs + "/styles\" Target=\"styles.xml\"/>";
    if (!strings.isEmpty())
        rels += "<Relationship Id=\"rId3\" Type=\"" + kRelNs + "/sharedStrings\" Target=\"sharedStrings.xml\"/>";
    rels += "</Relationships>";
    testsupport::ZipEntries entries{
        {QStringLiteral("xl/workbook.xml"),
         kHead + "<workbook xmlns=\"" + kMainNs + "\" xmlns:r=\"" + kRelNs +
             "\"><sheets><sheet name=\"s\" sheetId=\"1\" r:id=\"rId1\"/></sheets></workbook>"},
        {QStringLiteral("xl/_rels/workbook.xml.rels"), rels}};
    if (!styles.isEmpty())
        entries.append({QStringLiteral("xl/styles.xml"), styles});
    if (!strings.isEmpty())
        entries.append({QStringLiteral("xl/sharedStrings.xml"), strings});
    entries.append({QStringLiteral("xl/worksheets/sheet1.xml"), sheet});
    return testsupport::writeZipFile(path, entries);
}

QByteArray sheetOf(const QByteArray& rows)
{
    return kHead + "<worksheet xmlns=\"" + kMainNs + "\"><sheetData>" + rows + "</sheetData></worksheet>";
}

QByteArray rateRowsXml(int count, int columns)
{
    static const char* const cells[] = {"SH", "600000", "浦发银行", "0.7"};
    QByteArray rows;
    rows.reserve(count * 40 * columns);
    for (int r = 1; r <= count; ++r) {
        const QByteArray n = QByteArray::number(r);
        rows += "<row r=\"" + n + "\">";
        for (int c = 0; c < columns; ++c)
            rows += QByteArray("<c r=\"") + char('A' + c) + n + "\" t=\"inlineStr\"><is><t>" + cells[c % 4] +
                    "</t></is></c>";
        rows += "</row>";
    }
    return rows;
}

QByteArray repeatedLine(const QByteArray& line, qint64 count)
{
    QByteArray csv;
    csv.reserve(int(count * line.size()));
    for (qint64 r = 0; r < count; ++r)
        csv += line;
    return csv;
}

QByteArray rateCsv(int count)
{
    return repeatedLine("SH,600000,浦发银行,0.7\n", count);
}

// Styles where every cell style names one very long custom format.
QByteArray longFormatStyles(int formatChars, int styles)
{
    QByteArray out = kHead + "<styleSheet xmlns=\"" + kMainNs +
                     "\"><numFmts count=\"1\"><numFmt numFmtId=\"164\" "
                     "formatCode=\"" +
                     QByteArray(formatChars, '0') + "\"/></numFmts><cellXfs>";
    for (int i = 0; i < styles; ++i)
        out += "<xf numFmtId=\"164\"/>";
    return out + "</cellXfs></styleSheet>";
}

// A compound document of sectors of 4096 bytes whose one stream, "Workbook", of `data` sectors is
// also its mini stream, with a mini FAT chaining all of it and a header claiming every stream is
// small: a reader trusting the cut-off and walking whole chains copies the file three times.
QByteArray bigStreamsDocument(quint32 data)
{
    const quint32 bytes = 4096, ids = bytes / 4;
    const quint32 miniSectors = data * (bytes / 64);
    const quint32 miniFat = (miniSectors + ids - 1) / ids;
    quint32 fat = 1;
    while (fat * ids < fat + 1 + miniFat + data)
        ++fat;
    const quint32 sectors = fat + 1 + miniFat + data;
    QByteArray file(int(bytes * (sectors + 1)), '\0');
    auto put32 = [&file](qint64 at, quint32 v) { std::memcpy(file.data() + at, &v, 4); };
    auto put16 = [&file](qint64 at, quint16 v) { std::memcpy(file.data() + at, &v, 2); };
    auto sector = [](quint32 s) { return qint64(s + 1) * bytes; };
    std::memcpy(file.data(), "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);
    put16(0x18, 0x3E);
    put16(0x1A, 4);
    put16(0x1C, 0xFFFE);
    put16(0x1E, 12);
    put16(0x20, 6);
    put32(0x2C, fat);
    put32(0x30, fat);        // directory
    put32(0x38, 0xFFFFFFFF); // mini cut-off: "every stream"
    put32(0x3C, fat + 1);    // mini FAT
    put32(0x40, miniFat);
    put32(0x44, 0xFFFFFFFE); // no DIFAT: 109 FAT sectors cover 436 MiB
    for (quint32 i = 0; i < 109; ++i)
        put32(0x4C + 4 * i, i < fat ? i : 0xFFFFFFFF);
    // FAT: its own sectors, the directory's end, then chains for the mini FAT and the data.
    std::vector<quint32> table(size_t(fat) * ids, 0xFFFFFFFF);
    for (quint32 i = 0; i < fat; ++i)
        table[i] = 0xFFFFFFFD;
    table[fat] = 0xFFFFFFFE;
    for (quint32 i = 0; i < miniFat; ++i)
        table[fat + 1 + i] = i + 1 < miniFat ? fat + 2 + i : 0xFFFFFFFE;
    const quint32 first = fat + 1 + miniFat;
    for (quint32 i = 0; i < data; ++i)
        table[first + i] = i + 1 < data ? first + i + 1 : 0xFFFFFFFE;
    for (size_t i = 0; i < table.size(); ++i)
        put32(sector(quint32(i / ids)) + qint64(i % ids) * 4, table[i]);
    for (quint32 i = 0; i < miniSectors; ++i)
        put32(sector(fat + 1 + i / ids) + qint64(i % ids) * 4, i + 1 < miniSectors ? i + 1 : 0xFFFFFFFE);
    // Directory: the root (the mini stream over the data) and "Workbook" over the same sectors.
    const auto entry = [&](int index, const char* name, quint8 type, quint32 start, quint32 size) {
        const qint64 at = sector(fat) + 128 * index;
        int n = 0;
        for (; name[n]; ++n)
            put16(at + 2 * n, quint16(name[n]));
        put16(at + 0x40, quint16(2 * (n + 1)));
        file[int(at + 0x42)] = char(type);
        put32(at + 0x44, 0xFFFFFFFF);
        put32(at + 0x48, 0xFFFFFFFF);
        put32(at + 0x4C, index == 0 ? 1 : 0xFFFFFFFF);
        put32(at + 0x74, start);
        put32(at + 0x78, size);
    };
    entry(0, "Root Entry", 5, first, data * bytes);
    // Read through the mini stream, the stream starts at its first mini sector; through the FAT,
    // sector 0 is the FAT's own and the chain is refused at once.
    entry(1, "Workbook", 2, 0, data * bytes - bytes);
    return file;
}

// Encrypts a package with the default password by the fixture script (Python and openssl): agile
// with spin iterations declared and none spent on its verifier, or standard when spin is negative.
bool encryptPackage(const QString& plain, const QString& encrypted, qint64 spin = -1)
{
    QStringList arguments{QStringLiteral(FIXTURE_TOOLS "/encrypted_books.py"), QStringLiteral("--encrypt"),
                          spin < 0 ? QStringLiteral("standard") : QStringLiteral("agile"), plain, encrypted};
    if (spin >= 0)
        arguments << QString::number(spin);
    QProcess python;
    python.start(QStringLiteral("/usr/bin/python3"), arguments);
    return python.waitForFinished(600000) && python.exitStatus() == QProcess::NormalExit && python.exitCode() == 0;
}

// The committed encrypted fixtures, or a copy of one cut to a fraction of its bytes.
bool encryptedFixture(const QString& name, const QString& path, double fraction = 1.0)
{
    QFile file(QStringLiteral(ENCRYPTED_FIXTURES "/") + name);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = file.readAll();
    return writeBytes(path, bytes.left(int(bytes.size() * fraction)));
}

struct Sample
{
    QString name;
    QString path;
    bool valid = false;
    qint64 textBytes = 0; // valid files: the rows as csv
    qint64 fileText = 0;  // and the file's own text: the csv, or the workbook's inflated parts
};

struct Class
{
    const char* name;
    std::function<bool(const QString& folder, std::vector<Sample>& out)> make;
};

std::vector<Class> classes()
{
    const auto one = [](std::vector<Sample>& out, const QString& path, const char* name) {
        out.push_back(Sample{QString::fromLatin1(name), path});
        return true;
    };
    return {
        {"csv: one line of 1.25 GiB, and one past the cap",
         [one](const QString& dir, std::vector<Sample>& out) {
             return writeSparse(dir + "/huge.csv", 1280LL << 20) && one(out, dir + "/huge.csv", "1.25 GiB") &&
                    writeSparse(dir + "/cap.csv", inputcaps::kMaxCsvBytes + 1) && one(out, dir + "/cap.csv", "cap + 1");
         }},
        {"csv: the largest within the caps (line feeds, commas, short lines, rates)",
         [one](const QString& dir, std::vector<Sample>& out) {
             const qint64 lines = inputcaps::kMaxCsvLines;
             const qint64 width = inputcaps::kMaxCsvBytes / lines;
             return writeBytes(dir + "/feeds.csv", QByteArray(int(lines - 1), '\n')) &&
                    one(out, dir + "/feeds.csv", "line feeds") &&
                    writeBytes(dir + "/commas.csv", QByteArray(int(inputcaps::kMaxCsvBytes), ',')) &&
                    one(out, dir + "/commas.csv", "one line of commas") &&
                    writeBytes(dir + "/short.csv",
                               repeatedLine("SH,999999," + QByteArray(int(width) - 15, 'x') + ",0.7\n", lines - 1)) &&
                    one(out, dir + "/short.csv", "lines of unknown securities") &&
                    writeBytes(dir + "/rates.csv", rateCsv(int(lines - 1))) && one(out, dir + "/rates.csv", "rates") &&
                    writeBytes(dir + "/fields.csv", QByteArray("a,").repeated(int(inputcaps::kMaxCsvBytes / 2))) &&
                    one(out, dir + "/fields.csv", "one line of 8 Mi one-letter fields");
         }},
        {"xlsx: styles naming one long number format",
         [one](const QString& dir, std::vector<Sample>& out) {
             return writeWorkbook(dir + "/styles.xlsx", sheetOf(rateRowsXml(10, 4)),
                                  longFormatStyles(3 << 20, 100000)) &&
                    one(out, dir + "/styles.xlsx", "3 MB format x 100,000 styles");
         }},
        {"xlsx: cells of _xHHHH_ escapes",
         [one](const QString& dir, std::vector<Sample>& out) {
             QByteArray rows;
             const QByteArray escapes = QByteArray("_x0041_").repeated(140000);
             for (int r = 1; r <= 8; ++r)
                 rows += "<row r=\"" + QByteArray::number(r) + "\"><c r=\"A" + QByteArray::number(r) +
                         "\" t=\"inlineStr\"><is><t>" + escapes + "</t></is></c></row>";
             return writeWorkbook(dir + "/escapes.xlsx", sheetOf(rows)) &&
                    one(out, dir + "/escapes.xlsx", "8 x 140,000");
         }},
        {"xlsx: a part in another encoding with one huge attribute",
         [one](const QString& dir, std::vector<Sample>& out) {
             const QByteArray sheet = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><worksheet xmlns=\"" + kMainNs +
                                      "\" a=\"" + QByteArray(200 << 20, 'a') + "\"><sheetData/></worksheet>";
             return writeWorkbook(dir + "/latin1.xlsx", sheet) && one(out, dir + "/latin1.xlsx", "200 MB attribute");
         }},
        {"xlsx: tokens at and past the token cap, in UTF-8 and UTF-16",
         [one](const QString& dir, std::vector<Sample>& out) {
             const int cap = int(inputcaps::kMaxTokenBytes);
             // Sixty tags just under the cap, which expat would read again from their start with
             // every piece of the part were they fed to it cut.
             const QByteArray tag = "<c a=\"" + QByteArray(cap - 16, 'x') + "\"/>";
             QByteArray many;
             many.reserve(60 * tag.size() + 4096);
             many += kHead + "<worksheet xmlns=\"" + kMainNs + "\">";
             for (int i = 0; i < 60; ++i)
                 many += tag;
             many += "<sheetData/></worksheet>";
             const QByteArray past =
                 sheetOf("").replace("<sheetData>", "<!--" + QByteArray(200 << 20, '>') + "--><sheetData>");
             const QString text = QString::fromLatin1("<worksheet xmlns=\"" + kMainNs + "\" a=\"" +
                                                      QByteArray(100 << 20, 'y') + "\"><sheetData/></worksheet>");
             const QByteArray utf16 =
                 QByteArray("\xFF\xFE") + QByteArray(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
             return writeWorkbook(dir + "/tags.xlsx", many) && one(out, dir + "/tags.xlsx", "60 tags of 4 MiB") &&
                    writeWorkbook(dir + "/comment.xlsx", past) && one(out, dir + "/comment.xlsx", "a 200 MB comment") &&
                    writeWorkbook(dir + "/utf16.xlsx", utf16) && one(out, dir + "/utf16.xlsx", "UTF-16, a 200 MB tag");
         }},
        {"xlsx: a million distinct element names, and one tag of 200,000 namespaces",
         [one](const QString& dir, std::vector<Sample>& out) {
             QByteArray names;
             names.reserve(16 << 20);
             for (int i = 0; i < 1000000; ++i)
                 names += "<n" + QByteArray::number(i) + "/>";
             QByteArray spaces = "<worksheet xmlns=\"" + kMainNs + "\"";
             for (int i = 0; i < 200000; ++i)
                 spaces += " xmlns:p" + QByteArray::number(i) + "=\"u\"";
             spaces += "><sheetData/></worksheet>";
             // Beside the cells, where a sheet may hold anything of its own namespace.
             const QByteArray sheet =
                 kHead + "<worksheet xmlns=\"" + kMainNs + "\">" + names + "<sheetData/></worksheet>";
             return writeWorkbook(dir + "/names.xlsx", sheet) && one(out, dir + "/names.xlsx", "1 M names") &&
                    writeWorkbook(dir + "/spaces.xlsx", spaces) &&
                    one(out, dir + "/spaces.xlsx", "200,000 declarations");
         }},
        {"xlsx: rows that must understand many prefixes, thousands of bindings in scope",
         [one](const QString& dir, std::vector<Sample>& out) {
             // Every prefix names the main namespace, so each row is read: the cost is the lookups.
             const auto sheet = [](int listed) {
                 QByteArray head = kHead + "<worksheet xmlns=\"" + kMainNs +
                                   "\" xmlns:mc=\"http://schemas.openxmlformats.org/markup-compatibility/2006\"";
                 for (int i = 0; i < 20000; ++i)
                     head += " xmlns:p" + QByteArray::number(i) + "=\"" + kMainNs + "\"";
                 QByteArray must;
                 for (int i = 0; i < listed; ++i)
                     must += (i ? " p" : "p") + QByteArray::number(i * 7);
                 QByteArray rows;
                 for (int r = 1; r <= 100000; ++r)
                     rows += "<row r=\"" + QByteArray::number(r) + "\" mc:MustUnderstand=\"" + must + "\"/>";
                 return head + "><sheetData>" + rows + "</sheetData></worksheet>";
             };
             return writeWorkbook(dir + "/must.xlsx", sheet(inputcaps::kMaxCompatibilityPrefixes)) &&
                    one(out, dir + "/must.xlsx", "100,000 rows of 64 prefixes, 20,000 bindings") &&
                    writeWorkbook(dir + "/mustpast.xlsx", sheet(inputcaps::kMaxCompatibilityPrefixes + 1)) &&
                    one(out, dir + "/mustpast.xlsx", "a row of 65 prefixes");
         }},
        {"xls: one stream that is also the mini stream, cut-off claimed past it",
         [one](const QString& dir, std::vector<Sample>& out) {
             return writeBytes(dir + "/streams64.xls", bigStreamsDocument((60 << 20) / 4096)) &&
                    one(out, dir + "/streams64.xls", "64 MB file") &&
                    writeBytes(dir + "/streams31.xls", bigStreamsDocument((31 << 20) / 4096 - 8)) &&
                    one(out, dir + "/streams31.xls", "31 MiB");
         }},
        {"xlsx: sheet inflating past the part cap",
         [one](const QString& dir, std::vector<Sample>& out) {
             QByteArray sheet;
             sheet.reserve((1100 << 20) + 256);
             sheet += kHead + "<worksheet xmlns=\"" + kMainNs + "\">";
             sheet.append(1100 << 20, ' ');
             sheet += "<sheetData/></worksheet>";
             return writeWorkbook(dir + "/bomb.xlsx", sheet) && one(out, dir + "/bomb.xlsx", "1.1 GB of blanks");
         }},
        {"xlsx: as many rows of four as the cell cap allows",
         [one](const QString& dir, std::vector<Sample>& out) {
             return writeWorkbook(dir + "/rows.xlsx", sheetOf(rateRowsXml(int(inputcaps::kMaxCells / 4), 4))) &&
                    one(out, dir + "/rows.xlsx", "rates");
         }},
        {"xlsx: more cells than the cell cap",
         [one](const QString& dir, std::vector<Sample>& out) {
             QByteArray rows;
             rows.reserve(160 << 20);
             for (int r = 1; r <= 2500000; ++r)
                 rows += "<row><c t=\"inlineStr\"><is><t>x</t></is></c></row>";
             return writeWorkbook(dir + "/cells.xlsx", sheetOf(rows)) && one(out, dir + "/cells.xlsx", "2.5 M cells");
         }},
        {"xlsx: millions of empty elements",
         [one](const QString& dir, std::vector<Sample>& out) {
             return writeWorkbook(dir + "/elements.xlsx", sheetOf(QByteArray("<row/>").repeated(30000000))) &&
                    one(out, dir + "/elements.xlsx", "30 M rows");
         }},
        {"xlsx: two parts whose names differ in case",
         [one](const QString& dir, std::vector<Sample>& out) {
             const QString path = dir + "/twins.xlsx";
             return testsupport::writeZipFile(
                        path, {{QStringLiteral("xl/workbook.xml"),
                                kHead + "<workbook xmlns=\"" + kMainNs + "\" xmlns:r=\"" + kRelNs +
                                    "\"><sheets><sheet name=\"s\" sheetId=\"1\" r:id=\"rId1\"/></sheets></workbook>"},
                               {QStringLiteral("xl/_rels/workbook.xml.rels"),
                                kHead + "<Relationships xmlns=\"" + kPkgNs + "\"><Relationship Id=\"rId1\" Type=\"" +
                                    kRelNs + "/worksheet\" Target=\"worksheets/sheet1.xml\"/></Relationships>"},
                               {QStringLiteral("xl/worksheets/sheet1.xml"), sheetOf(rateRowsXml(3, 4))},
                               {QStringLiteral("xl/worksheets/Sheet1.xml"), sheetOf(rateRowsXml(9, 4))}}) &&
                    one(out, path, "sheet1.xml and Sheet1.xml");
         }},
        {"xlsx and xls: a FIFO named like a workbook",
         [one](const QString& dir, std::vector<Sample>& out) {
             return ::mkfifo(QFile::encodeName(dir + "/fifo.xlsx").constData(), 0600) == 0 &&
                    one(out, dir + "/fifo.xlsx", "fifo.xlsx") &&
                    ::mkfifo(QFile::encodeName(dir + "/fifo.xls").constData(), 0600) == 0 &&
                    one(out, dir + "/fifo.xls", "fifo.xls");
         }},
        {"encrypted xlsx: the password hash at the largest spin count, and one past it",
         [one](const QString& dir, std::vector<Sample>& out) {
             return writeWorkbook(dir + "/small.xlsx", sheetOf(rateRowsXml(10, 4))) &&
                    encryptPackage(dir + "/small.xlsx", dir + "/spin.xlsx", inputcaps::kMaxSpinCount) &&
                    one(out, dir + "/spin.xlsx", "5,000,000 iterations") &&
                    encryptPackage(dir + "/small.xlsx", dir + "/past.xlsx", inputcaps::kMaxSpinCount + 1) &&
                    one(out, dir + "/past.xlsx", "5,000,001 iterations") &&
                    encryptPackage(dir + "/small.xlsx", dir + "/legal.xlsx", 10000000) &&
                    one(out, dir + "/legal.xlsx", "10,000,000 iterations, the format's largest") &&
                    encryptPackage(dir + "/small.xlsx", dir + "/huge.xlsx", 1LL << 40) &&
                    one(out, dir + "/huge.xlsx", "2^40 iterations");
         }},
        {"encrypted xlsx and xls: sizes declared past their streams",
         [one](const QString& dir, std::vector<Sample>& out) {
             return encryptedFixture("bad_package_size.xlsx", dir + "/package.xlsx") &&
                    one(out, dir + "/package.xlsx", "a package of 2^62 bytes") &&
                    encryptedFixture("bad_standard_header.xlsx", dir + "/header.xlsx") &&
                    one(out, dir + "/header.xlsx", "a header of 2 GiB") &&
                    encryptedFixture("bad_salt.xlsx", dir + "/salt.xlsx") && one(out, dir + "/salt.xlsx", "salt") &&
                    encryptedFixture("bad_filepass_cut.xls", dir + "/filepass.xls") &&
                    one(out, dir + "/filepass.xls", "FILEPASS cut short");
         }},
        {"encrypted xlsx and xls: truncated packages and documents",
         [one](const QString& dir, std::vector<Sample>& out) {
             bool ok = encryptedFixture("bad_package_cut.xlsx", dir + "/package.xlsx") &&
                       one(out, dir + "/package.xlsx", "package stream cut in half");
             for (const double fraction : {0.25, 0.5, 0.75, 0.99}) {
                 const QString tag = QString::number(int(fraction * 100));
                 ok = ok && encryptedFixture("agile.xlsx", dir + "/agile" + tag + ".xlsx", fraction) &&
                      one(out, dir + "/agile" + tag + ".xlsx", "agile, cut") &&
                      encryptedFixture("rc4.xls", dir + "/rc4" + tag + ".xls", fraction) &&
                      one(out, dir + "/rc4" + tag + ".xls", "RC4 .xls, cut");
             }
             return ok;
         }},
        {"encrypted xlsx: a sheet inflating past the part cap",
         [one](const QString& dir, std::vector<Sample>& out) {
             QByteArray sheet;
             sheet.reserve((1100 << 20) + 256);
             sheet += kHead + "<worksheet xmlns=\"" + kMainNs + "\">";
             sheet.append(1100 << 20, ' ');
             sheet += "<sheetData/></worksheet>";
             return writeWorkbook(dir + "/bomb.xlsx", sheet) &&
                    encryptPackage(dir + "/bomb.xlsx", dir + "/encrypted.xlsx") &&
                    one(out, dir + "/encrypted.xlsx", "1.1 GB of blanks, encrypted");
         }},
        {"encrypted xlsx: as many rows of four as the cell cap allows",
         [one](const QString& dir, std::vector<Sample>& out) {
             return writeWorkbook(dir + "/rows.xlsx", sheetOf(rateRowsXml(int(inputcaps::kMaxCells / 4), 4))) &&
                    encryptPackage(dir + "/rows.xlsx", dir + "/encrypted.xlsx") &&
                    one(out, dir + "/encrypted.xlsx", "rates, encrypted");
         }},
        {"valid: 300,000 rows x 4 columns, xlsx and csv",
         [](const QString& dir, std::vector<Sample>& out) {
             const QByteArray csv = rateCsv(300000);
             const QByteArray sheet = sheetOf(rateRowsXml(300000, 4));
             if (!writeWorkbook(dir + "/valid.xlsx", sheet) || !writeBytes(dir + "/valid.csv", csv))
                 return false;
             out.push_back(Sample{QStringLiteral("xlsx"), dir + "/valid.xlsx", true, csv.size(), sheet.size()});
             out.push_back(Sample{QStringLiteral("csv"), dir + "/valid.csv", true, csv.size(), csv.size()});
             return true;
         }},
    };
}

// --- the parent: one fresh process per file ------------------------------------------------------

struct Run
{
    double seconds = 0;
    long peakKb = 0;
    long baseKb = 0;
    long readPeakKb = 0;
    QString outcome;
};

Run runChild(const QString& self, const QString& path, double timeout)
{
    Run run;
    int pipeFds[2];
    if (::pipe(pipeFds) != 0) {
        run.outcome = QStringLiteral("no pipe");
        return run;
    }
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(pipeFds[1], STDOUT_FILENO);
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
        const struct rlimit limit
        {
            kChildAddressSpace, kChildAddressSpace
        };
        ::setrlimit(RLIMIT_AS, &limit);
        const QByteArray program = QFile::encodeName(self), file = QFile::encodeName(path);
        ::execl(program.constData(), program.constData(), "--read", file.constData(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(pipeFds[1]);
    int status = 0;
    struct rusage usage
    {
    };
    bool killed = false;
    for (;;) {
        const pid_t done = ::wait4(pid, &status, WNOHANG, &usage);
        if (done == pid)
            break;
        const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (!killed && elapsed > timeout) {
            ::kill(pid, SIGKILL);
            killed = true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    run.peakKb = usage.ru_maxrss;
    QByteArray output;
    char buffer[4096];
    for (ssize_t n; (n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0;)
        output.append(buffer, int(n));
    ::close(pipeFds[0]);
    if (killed) {
        run.outcome = QStringLiteral("killed after %1 s").arg(timeout);
    } else if (WIFSIGNALED(status)) {
        run.outcome = QStringLiteral("died of signal %1 (%2)").arg(WTERMSIG(status)).arg(strsignal(WTERMSIG(status)));
    } else {
        const QList<QByteArray> fields = output.trimmed().split(' ');
        run.baseKb = fields.value(0).toLong();
        run.readPeakKb = fields.value(1).toLong();
        run.peakKb = fields.value(2).toLong();
        run.outcome = QString::fromUtf8(fields.mid(3).join(' '));
        if (WEXITSTATUS(status) != 0)
            run.outcome = QStringLiteral("exit %1 %2").arg(WEXITSTATUS(status)).arg(run.outcome);
    }
    return run;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.size() == 2 && args[0] == QLatin1String("--read"))
        return readOne(args[1]);

    QString folder;
    double timeout = 30;
    QStringList only;
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--folder") && i + 1 < args.size())
            folder = args[++i];
        else if (args[i] == QLatin1String("--timeout") && i + 1 < args.size())
            timeout = args[++i].toDouble();
        else
            only << args[i];
    }
    QTemporaryDir temporary;
    if (folder.isEmpty())
        folder = temporary.path();
    QDir().mkpath(folder);

    bool failed = false;
    std::printf("%-72s %9s %9s  %s\n", "class (file)", "worst s", "peak MB", "outcome of the worst");
    for (const Class& c : classes()) {
        const QString name = QString::fromUtf8(c.name);
        if (!only.isEmpty() &&
            !std::any_of(only.begin(), only.end(), [&](const QString& o) { return name.contains(o); }))
            continue;
        const QString dir = folder + QStringLiteral("/") + QString::number(qHash(name));
        QDir(dir).removeRecursively();
        QDir().mkpath(dir);
        std::vector<Sample> samples;
        if (!c.make(dir, samples)) {
            std::printf("%-72s could not be made\n", c.name);
            failed = true;
            continue;
        }
        Run worst;
        QString worstName;
        for (const Sample& s : samples) {
            const Run run = runChild(app.applicationFilePath(), s.path, timeout);
            std::fprintf(stderr, "  %s: %.2f s, %ld MB, %s\n", qPrintable(s.name), run.seconds, run.peakKb / 1000,
                         qPrintable(run.outcome));
            if (s.valid) {
                const double grown = double(run.readPeakKb - run.baseKb) * 1024;
                const double ratio = grown / double(s.fileText);
                std::printf("    %s: the read grew %.1f MB: %.1f times the file's text (%.1f MB), %.1f times the "
                            "rows as csv\n",
                            qPrintable(s.name), grown / 1e6, ratio, double(s.fileText) / 1e6,
                            grown / double(s.textBytes));
                if (ratio > kMaxValidRatio || run.outcome.startsWith(QLatin1String("killed")) ||
                    run.outcome.startsWith(QLatin1String("died")))
                    failed = true;
            } else if (run.seconds > kMaxSeconds || run.peakKb > kMaxPeakKb ||
                       run.outcome.startsWith(QLatin1String("died")) || run.outcome.startsWith(QLatin1String("exit"))) {
                failed = true;
            }
            if (run.seconds >= worst.seconds || run.peakKb >= worst.peakKb) {
                worst.seconds = std::max(worst.seconds, run.seconds);
                worst.peakKb = std::max(worst.peakKb, run.peakKb);
                worst.outcome = run.outcome;
                worstName = s.name;
            }
        }
        std::printf("%-72s %9.2f %9ld  %s: %s\n", qPrintable(name + " (" + QString::number(samples.size()) + ")"),
                    worst.seconds, worst.peakKb / 1000, qPrintable(worstName), qPrintable(worst.outcome));
        std::fflush(stdout);
        QDir(dir).removeRecursively();
    }
    std::printf(failed ? "hostile files: a bound was passed\n" : "hostile files: every file within its bounds\n");
    return failed ? 1 : 0;
}
