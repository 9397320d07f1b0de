#include "upload/conversionfile.h"
#include "upload/uploadrequest.h"

#include "inputcaps.h"
#include "testfiles.h"
#include "xlsxwriter.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTextCodec>
#include <QtTest>

#include <algorithm>
#include <cstdio>
#include <functional>

#include <sys/stat.h>

namespace {

// Writes the case's file at the path; false when it could not.
using Maker = std::function<bool(const QString& path)>;

const QString kRow = QStringLiteral("SH,600000,浦发银行,0.7");
const QByteArray kMain = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
const QByteArray kPackage = "http://schemas.openxmlformats.org/package/2006/relationships";
const QByteArray kOffice = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";

Maker bytes(const QByteArray& content)
{
    return [content](const QString& path) { return testsupport::writeFile(path, content); };
}

QByteArray randomBytes(quint32 seed, int size)
{
    QRandomGenerator generator(seed);
    QByteArray out(size, Qt::Uninitialized);
    generator.fillRange(reinterpret_cast<quint32*>(out.data()), size / 4);
    return out;
}

Maker workbook(const QList<QStringList>& rows)
{
    return [rows](const QString& path) { return testsupport::writeZip(path, testsupport::workbookEntries(rows)); };
}

QList<QStringList> rateRows(int count, const QString& name)
{
    QList<QStringList> rows;
    for (int i = 0; i < count; ++i)
        rows << QStringList{"SH", "600000", name, "0.7"};
    return rows;
}

// The workbook of those rows with parts replaced or added as given, then with every occurrence
// of a name's bytes replaced (as zip entry names, which the writer makes UTF-8).
Maker package(const testsupport::ZipEntries& parts, const QList<QStringList>& rows,
              const QPair<QByteArray, QByteArray>& rename = {})
{
    return [=](const QString& path) {
        testsupport::ZipEntries entries = testsupport::workbookEntries(rows);
        for (const auto& part : parts) {
            auto same =
                std::find_if(entries.begin(), entries.end(), [&](const auto& e) { return e.first == part.first; });
            if (same != entries.end())
                same->second = part.second;
            else
                entries.append(part);
        }
        QByteArray zip = testsupport::zipBytes(entries);
        if (!rename.first.isEmpty())
            zip.replace(rename.first, rename.second);
        return !zip.isEmpty() && testsupport::writeFile(path, zip);
    };
}

// The path whose file name is the GBK bytes of the path's name: what Qt cannot name, so made and
// removed through the C library.
QByteArray gbkTwin(const QString& path)
{
    return QFile::encodeName(QFileInfo(path).path()) + '/' +
           QTextCodec::codecForName("GBK")->fromUnicode(QFileInfo(path).fileName());
}

// A shipped test workbook with bytes replaced at an offset.
Maker patchedDataFile(const QString& name, int offset, const QByteArray& bytes)
{
    return [=](const QString& path) {
        QByteArray file = testsupport::readFile(
            QDir(qEnvironmentVariable("SOURCE_DIR")).filePath("tests/host/workbook/data/" + name));
        if (file.size() < offset + bytes.size())
            return false;
        file.replace(offset, bytes.size(), bytes);
        return testsupport::writeFile(path, file);
    };
}

// The peak resident size since the last reset, and the current one, in kB.
qint64 statusKb(const char* key)
{
    const QByteArray status = testsupport::readFile(QStringLiteral("/proc/self/status"));
    const int at = status.indexOf(key);
    return at < 0 ? -1 : status.mid(at + int(qstrlen(key)), 32).simplified().split(' ').value(0).toLongLong();
}

void resetPeakResident()
{
    QFile clearRefs(QStringLiteral("/proc/self/clear_refs"));
    if (clearRefs.open(QIODevice::WriteOnly))
        clearRefs.write("5");
}

} // namespace

Q_DECLARE_METATYPE(Maker)

class TestHostileInput : public QObject
{
    Q_OBJECT

private slots:
    void files_data();
    void files();
    void cleanupTestCase() { std::remove(gbkTwin(m_dir.filePath(QStringLiteral("孪生.csv"))).constData()); }

private:
    QTemporaryDir m_dir;
};

void TestHostileInput::files_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<Maker>("make");
    QTest::addColumn<QString>("outcome");

    // A workbook neither reader takes reads as no rows at all.
    const QString emptyFile = QStringLiteral("文件内容为空");
    const QString nothingUsable = QStringLiteral("无可用数据");
    const QString openFailed = QStringLiteral("文件打开失败");

    QTest::newRow("zero-byte xls") << "empty.xls" << bytes(QByteArray()) << emptyFile;
    // Random bytes, alone and behind an xls and a zip signature.
    const QByteArray heads[] = {{}, {}, {}, QByteArray::fromHex("d0cf11e0a1b11ae1"), QByteArray("PK\x03\x04", 4)};
    const char* const names[] = {"random.csv", "random.xls", "random.xlsx", "ole.xls", "zip.xlsx"};
    for (int i = 0; i < 5; ++i)
        QTest::newRow(names[i]) << names[i] << bytes(heads[i] + randomBytes(quint32(i) + 1, 65536))
                                << (i == 0 ? nothingUsable : emptyFile);

    QTest::newRow("the test's workbook reads") << "rates.xlsx" << workbook(rateRows(3, "浦发银行")) << "request 3";
    // 20 cells of 900 kB each: small on disk, 18 MB of text once inflated.
    QTest::newRow("sheet inflating past the text cap")
        << "bomb.xlsx" << workbook(rateRows(20, QString(900 * 1024, QLatin1Char('x')))) << emptyFile;

    QTest::newRow("invalid utf-8 in the name field")
        << "badutf8.csv" << bytes(QByteArray("SH,600000,\xff\xfe\xc3\x28\xe2\x82,0.7\nSZ,000858,\xed\xa0\x80,0.6\n"))
        << "request 2";
    QTest::newRow("invalid gbk in the name field")
        << "badgbk.csv" << bytes(QByteArray("SH,600000,\x81\x20\xfe\x7f\x80,0.7\n")) << "request 1";
    QTest::newRow("invalid utf-8 in the code field")
        << "badcode.csv" << bytes(QByteArray("SH,6000\xff\xfe,x,0.7\n")) << nothingUsable;
    QTest::newRow("1 MB single line of text") << "oneline.csv" << bytes(QByteArray(1024 * 1024, 'a')) << nothingUsable;
    // Split whole, a line of 8 Mi one-letter fields took 490 MB.
    QTest::newRow("a line of fields as long as the csv cap")
        << "fields.csv" << bytes(QByteArray("a,").repeated(int(inputcaps::kMaxCsvBytes / 2))) << nothingUsable;
    QTest::newRow("1 MB ratio field") << "ratio.csv" << bytes(kRow.toUtf8() + QByteArray(1024 * 1024, '7'))
                                      << "request 1";
    QTest::newRow("as many empty lines as the line cap")
        << "lines.csv" << bytes(QByteArray(int(inputcaps::kMaxCsvLines - 1), '\n')) << nothingUsable;
    QTest::newRow("a row and more lines than the line cap")
        << "linesafter.csv" << bytes(kRow.toUtf8() + QByteArray(int(inputcaps::kMaxCsvLines), '\n')) << openFailed;
    QTest::newRow("very long names in a csv")
        << "longnames.csv"
        << bytes(QString("SH,600000," + QString(100000, QChar(0x6d66)) + ",0.7\n").toUtf8().repeated(50))
        << "request 50";
    QTest::newRow("very long names in an xlsx")
        << "longnames.xlsx" << workbook(rateRows(5, QString(300000, QChar(0x6d66)))) << "request 5";

    // Past the csv cap, refused before a byte is read (a sparse file: no disk taken).
    QTest::newRow("csv past its size cap") << "huge.csv" << Maker([](const QString& path) {
        QFile file(path);
        return file.open(QIODevice::WriteOnly) && file.resize(inputcaps::kMaxCsvBytes + 1);
    }) << openFailed;
    // The kernel states 4096 bytes and gives four: a file cut short while read is no whole file.
    QTest::newRow("csv shorter than its stated size") << "shrinking.csv" << Maker([](const QString& path) {
        return QFile::link(QStringLiteral("/sys/devices/system/cpu/online"), path);
    }) << openFailed;
    // Unzipping a Windows archive leaves the same name in GBK bytes beside it: the user's file is
    // the one whose name reads as chosen.
    QTest::newRow("csv beside a twin named in GBK bytes") << "孪生.csv" << Maker([](const QString& path) {
        std::FILE* file = std::fopen(gbkTwin(path).constData(), "wb");
        const bool twinWritten = file && std::fputs(QString(kRow + '\n').repeated(3).toUtf8().constData(), file) >= 0;
        if (file)
            std::fclose(file);
        return twinWritten && testsupport::writeFile(path, kRow.toUtf8());
    }) << "request 1";
    // GBK cannot spell an emoji: such a name comes as the user chose it and is opened so.
    QTest::newRow("csv named with a character outside GBK") << "折算率😀.csv" << bytes(kRow.toUtf8()) << "request 1";
    QTest::newRow("FIFO named like a workbook") << "fifo.xlsx" << Maker([](const QString& path) {
        return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0;
    }) << emptyFile;
    // Each style names one long format; each was once lower-cased and scanned again.
    QTest::newRow("styles naming a 300 kB number format")
        << "styles.xlsx"
        << package({{QStringLiteral("xl/styles.xml"),
                     "<styleSheet xmlns=\"" + kMain + "\"><numFmts><numFmt numFmtId=\"164\" formatCode=\"" +
                         QByteArray(300000, 'y') +
                         "\"/><numFmt numFmtId=\"99999999999999999999\" formatCode=\"yyyy\"/></numFmts><cellXfs>" +
                         QByteArray("<xf numFmtId=\"164\"/>").repeated(20000) + "</cellXfs></styleSheet>"},
                    {QStringLiteral("xl/_rels/workbook.xml.rels"),
                     "<Relationships xmlns=\"" + kPackage + "\"><Relationship Id=\"rId1\" Type=\"" + kOffice +
                         "/worksheet\" Target=\"worksheets/sheet1.xml\"/><Relationship Id=\"rId2\" Type=\"" + kOffice +
                         "/styles\" Target=\"styles.xml\"/></Relationships>"}},
                   rateRows(3, "浦发银行"))
        << "request 3";
    // Once decoded one replace at a time: minutes for these 30 names. The codes, escaped too, must
    // decode to 600000 for their rows to be used.
    QList<QStringList> escaped = rateRows(30, QStringLiteral("_x6D66_").repeated(140000));
    for (QStringList& row : escaped)
        row[1] = QStringLiteral("_x0036__x0030_0_x0030_00");
    QTest::newRow("names of 140,000 _xHHHH_ escapes") << "escapes.xlsx" << workbook(escaped) << "request 30";
    // An attribute of 100 MB inflated, in a part another parser once took for its encoding.
    QTest::newRow("Latin-1 sheet with a huge attribute") << "latin1.xlsx" << Maker([](const QString& path) {
        return testsupport::writeZip(
            path, testsupport::workbookEntries("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><worksheet a=\"" +
                                               QByteArray(100 << 20, 'a') + "\"><sheetData/></worksheet>"));
    }) << emptyFile;
    // The format fixes the mini-stream cut-off at 4096; the file's claim of 0 is not followed.
    QTest::newRow("xls claiming a mini-stream cut-off of 0")
        << "cutoff.xls" << patchedDataFile("libreoffice.xls", 0x38, QByteArray(4, '\0')) << "request 1";
    QTest::newRow("zip parts named alike but for case")
        << "twins.xlsx"
        << package({{QStringLiteral("xl/worksheets/Sheet1.xml"), QByteArray()}}, rateRows(3, "浦发银行")) << emptyFile;
    QTest::newRow("zip part name not UTF-8") << "latin1name.xlsx"
                                             << package({{QStringLiteral("xl/zz.xml"), QByteArray()}},
                                                        rateRows(3, "浦发银行"), {"xl/zz.xml", "xl/\xe9z.xml"})
                                             << emptyFile;
    // Excel allows 1,048,576 rows; as many cells as 300,000 rows of four read.
    QTest::newRow("300,000 rows of four cells")
        << "rows.xlsx" << workbook(rateRows(300000, "浦发银行")) << "request 300000";

    // Kept crashers, their suffix naming the reader they reached, and the fuzzers' seeds, each
    // copied under a plain name: any outcome but a crash or a line used or skipped twice.
    const QDir root(qEnvironmentVariable("SOURCE_DIR"));
    for (const char* folder :
         {"tests/upload/regressions", "fuzz/corpus/fuzz_csv", "fuzz/corpus/fuzz_xlsx", "fuzz/corpus/fuzz_xls"}) {
        const QDir dir(root.filePath(folder));
        for (const QString& name : dir.entryList({"*.csv", "*.xls", "*.xlsx"}, QDir::Files)) {
            QTest::addRow("%s/%s", qPrintable(dir.dirName()), qPrintable(name))
                << QStringLiteral("%1.%2").arg(qHash(dir.filePath(name))).arg(QFileInfo(name).suffix())
                << Maker([source = dir.filePath(name)](const QString& path) { return QFile::copy(source, path); })
                << QString();
        }
    }
}

// Whatever the bytes, the dialog's path ends in one of the user's messages or a
// request, in bounded memory.
void TestHostileInput::files()
{
    QFETCH(QString, name);
    QFETCH(Maker, make);

    const QString path = m_dir.filePath(name);
    QVERIFY(make(path));

    resetPeakResident();
    const qint64 residentBefore = statusKb("VmRSS:");
    const DVK::ConversionFileLines read = DVK::readConversionFile(path);
    QString result = read.message;
    QVERIFY2(result.isEmpty() || QStringList({"文件格式错误", "文件打开失败", "文件内容为空"}).contains(result),
             qPrintable(result));
    if (result.isEmpty()) {
        const DVK::UploadRequestPlan plan = DVK::buildUploadRequest(read.lines, read.separator, {7, "GX", "国信证券"});
        QCOMPARE(int(plan.usedLines.size() + plan.skipped.size()), read.lines.size());
        result = plan.request ? QStringLiteral("request %1").arg(plan.usedLines.size()) : QStringLiteral("无可用数据");
    }
    const qint64 peak = statusKb("VmHWM:");
    QVERIFY2(residentBefore > 0 && peak > 0, "no /proc/self/status");
    QVERIFY2(peak - residentBefore < 200 * 1024,
             qPrintable(QStringLiteral("resident grew by %1 MB").arg((peak - residentBefore) / 1024)));
    QFETCH(QString, outcome);
    if (!outcome.isEmpty())
        QCOMPARE(result, outcome);
}

QTEST_MAIN(TestHostileInput)
#include "tst_hostileinput.moc"
