#include "hosttoolkit.h"
#include "logcapture.h"
#include "standinworkbook.h"
#include "testfiles.h"
#include "xlsxwriter.h"

#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <thread>

using namespace WB;

namespace {

QString dataFile(const QString& name)
{
    return QString::fromLocal8Bit(qgetenv("SOURCE_DIR")) + QStringLiteral("/tests/host/workbook/data/") + name;
}

// What the readers logged, one line each: all of it, or only why they refused.
QString logged(const testsupport::CLogCapture& log, bool refusalsOnly = true)
{
    QStringList lines;
    for (const testsupport::CapturedLine& line : log.lines()) {
        const QString text = QString::fromStdString(line.message);
        const bool reader =
            text.startsWith(QLatin1String("[CExcelReader]")) || text.startsWith(QLatin1String("[COdbcExcelReader]"));
        if (reader && (!refusalsOnly || text.contains(QLatin1String(" failed: "))))
            lines << text;
    }
    return lines.join(QLatin1Char('\n'));
}

// The tab-joined reader's lines joined by "|", or "refused".
QString readLines(const QString& path)
{
    COdbcExcelReader reader;
    QStringList lines;
    return reader.open(path, lines, true) ? lines.join(QLatin1Char('|')) : QStringLiteral("refused");
}

// Reads a workbook as the upload dialog's fallback does: the cell reader's used range, cells
// joined by ",", rows by "|".
QString readCells(const QString& path)
{
    CExcelReader reader;
    if (!reader.init(false) || !reader.isValid())
        return QStringLiteral("<init failed>");
    reader.open(path);
    QStringList rows;
    for (int row = reader.getSheetStartRow(1); row <= reader.getSheetRowCount(1); ++row) {
        QStringList cells;
        for (int col = reader.getSheetStartCol(1); col <= reader.getSheetColCount(1); ++col)
            cells << reader.getData(1, row, col, false);
        rows << cells.join(QLatin1Char(','));
    }
    reader.close();
    reader.exitExcel();
    return rows.join(QLatin1Char('|'));
}

// The xlsxwriter book as Excel's General format shows it: rich text, formulas' cached values,
// 15 digits, 1E-12 and -2.5E+30, a blank row inside the range.
const char kXlsxwriterBook[] = "exchange,code,name,ratio,when,ok|SH,600000,浦发银行,0.7,2024-03-15,TRUE"
                               "|SZ,1,平安银行,0.3,#DIV/0!,FALSE|,,,,,|600000,123456789012346000,,1E-12,,-2.5E+30";

} // namespace

class TestWorkbookReaders : public QObject
{
    Q_OBJECT

private slots:
    void readsWorkbooks_data();
    void readsWorkbooks();
    void endsHostileWorkbooksCleanly_data();
    void endsHostileWorkbooksCleanly();
    void remembersARefusalForTheFallbackOnly_data();
    void remembersARefusalForTheFallbackOnly();
    void readsACorrectedFileAfresh();
    void keepsARefusalForAFileChangedBetweenTheReads();
    void readsLocalHeadersLeavingTheCompressedSizeToTheDescriptor_data();
    void readsLocalHeadersLeavingTheCompressedSizeToTheDescriptor();

private:
    QTemporaryDir m_dir;
    int m_files = 0;
};

void TestWorkbookReaders::readsWorkbooks_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("cells");
    QTest::addColumn<QString>("lines");  // null: the cells, tab-joined
    QTest::addColumn<QString>("logged"); // the tab-joined reader's log line after the path

    // Every real writer's book is read as openpyxl or xlrd reads it (tst_workbookdifferential);
    // here the books those readers do not take, and what the log says of the sheet read.
    const QString rates = QStringLiteral("sheet 1 of 1, \"Rates\""), ofTwo = QStringLiteral("sheet 1 of 2, \"Rates\"");
    const QString tab = rates + QStringLiteral("; a tab inside a cell read as a space on line ");
    QTest::newRow("BIFF5 Book stream in code page 936: RK, MULRK, formula text, BOOLERR")
        << "biff5.xls"
        << QString::fromUtf8("交易所,代码,名称,折算率,日期|SH,000001,平安银行,0.7,2024-03-15"
                             "|SZ,600000,12.5,1.25,13:30:00|TRUE,#DIV/0!,浦发银行,,")
        << QString() << rates;
    QTest::newRow("shared string and formula text going on 8-bit to UTF-16 in CONTINUE")
        << "continue.xls" << QString::fromUtf8("折算率,|abababababababababab中国,|SH,abc平安银") << QString() << rates;
    QTest::newRow("archive comment holding a stray end-record signature")
        << "comment.xlsx" << QString::fromUtf8(kXlsxwriterBook) << QString() << ofTwo;
    QTest::newRow("part names in another case than the relationships name them")
        << "case.xlsx" << QString::fromUtf8(kXlsxwriterBook) << QString() << ofTwo;
    for (const char* suffix : {"xlsx", "xls"}) {
        QTest::addRow("a tab and a line break, %s", suffix)
            << QStringLiteral("linebreak.%1").arg(QLatin1String(suffix))
            << "code,note|000001,tab\there|000002,two\nlines"
            << "code\tnote|000001\ttab here|000002\ttwo\nlines" << tab + "2";
        QTest::addRow("a wrapped header, a comma and a tab in names, %s", suffix)
            << QStringLiteral("wrapped.%1").arg(QLatin1String(suffix))
            << "交易所,证券代码,证券名称,折算\n比例|SH,600009,上海机场,0.9,0.55|SH,600000,浦发\t银行,0.7"
            << "交易所\t证券代码\t证券名称\t折算\n比例|SH\t600009\t上海机场,0.9\t0.55|SH\t600000\t浦发 银行\t0.7"
            << tab + "3";
    }
}

// Both readers give the cells' texts, the tab-joined one as lines: a line break stays in its
// cell's field, a tab becomes a space (the log says on which line), so no cell moves a value
// into another field. Paths reach the parsers in the file system's encoding, not as Latin-1. The
// first sheet in workbook order is read, whatever is shown first; the log says which, and warns
// when it is hidden or not the one the workbook opens on.
void TestWorkbookReaders::readsWorkbooks()
{
    QFETCH(QString, file);
    QFETCH(QString, cells);
    QFETCH(QString, lines);
    QFETCH(QString, logged);

    const QString path = m_dir.filePath(QString::fromUtf8("折算率 文件%1.").arg(m_files++) + QFileInfo(file).suffix());
    QVERIFY(QFile::copy(dataFile(file), path));
    const testsupport::CLogCapture log;
    QCOMPARE(readLines(path), lines.isNull() ? QString(cells).replace(QLatin1Char(','), QLatin1Char('\t')) : lines);
    QCOMPARE(::logged(log, false), QStringLiteral("[COdbcExcelReader] open %1: %2").arg(path, logged));
    QCOMPARE(readCells(path), cells);
    QCOMPARE(::logged(log), QString());
}

void TestWorkbookReaders::endsHostileWorkbooksCleanly_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("reason");

    // name, file, a part of the reason logged
    static const char* const rows[][3] = {
        {"truncated zip", "hostile_truncated.xlsx", "zip: "},
        {"zip without workbook", "hostile_noworkbook.xlsx", "no workbook part"},
        {"csv named .xlsx", "hostile_text.xlsx", "neither a zip package"},
        {"text named .xls", "hostile_text.xls", "neither a zip package"},
        {"sheet inflating past the cap", "hostile_bomb_padding.xlsx", "256 MiB cap"},
        {"millions of cells", "hostile_bomb_cells.xlsx", "cell cap"},
        {"millions of elements", "hostile_bomb_elements.xlsx", "elements"},
        {"A1 and XFD1048576", "hostile_corners.xlsx", "1048576 rows x 16384 columns"},
        {"row past the last", "hostile_pastend.xlsx", "row 1048577"},
        {"millions of shared strings", "hostile_sst.xlsx", "shared strings"},
        {"rows nested deep", "hostile_deep.xlsx", "<row> where it does not belong"},
        {"a row inside a row", "hostile_garbled.xlsx", "<row> where it does not belong"},
        {"entity expansion", "hostile_entities.xlsx", "DTD"},
        {"damaged stored sheet", "hostile_crc.xlsx", "xml: "},
        {"zip: CRC mismatch in a well-formed stored part", "hostile_zip_crc.xlsx", "xl/sharedStrings.xml: crc error"},
        {"zip: central directory past the end", "hostile_zip_directory.xlsx", "central directory lies past the end"},
        {"zip: local header offset past the data", "hostile_zip_local.xlsx", "sheet1.xml: the local header is missing"},
        {"zip: encrypted parts", "hostile_zip_encrypted.xlsx", "encrypted parts are not supported"},
        {"zip: bzip2 parts", "hostile_zip_bzip2.xlsx", "compression method 12 not supported"},
        {"zip: a part named twice", "hostile_zip_twice.xlsx", "xl/worksheets/sheet1.xml is in the archive twice"},
        {"xls cut short", "hostile_cut.xls", "(truncated file?)"},
        {"xls without its FAT sector", "hostile_truncated.xls", "FAT sector 9 lies past the end"},
        {"xls sector chain loop", "hostile_fat_loop.xls", "Workbook: sector chain loops at sector 0"},
        {"xls sector index out of range", "hostile_sector_range.xls", "sector index 16777200 out of range"},
        {"xls stream larger than the file", "hostile_stream_size.xls", "declares 4294967040 bytes"},
        {"xls STRING without its FORMULA", "hostile_lonely_string.xls", "follows no formula"},
        {"xls formula text without STRING", "hostile_no_string.xls", "formula at C4 is missing"},
        {"xls stream without BOF", "hostile_no_bof.xls", "does not start with a BOF record"},
        {"xls cell given twice", "hostile_duplicate.xls", "row 2, column 2 is given twice"},
        {"xls half a surrogate pair", "hostile_surrogate.xls", "shared string 0 holds an unpaired surrogate (U+D800)"},
        {"missing file", "no_such_file.xlsx", "cannot open"},
        {"the first sheet hidden, another shown, xlsx", "sheets.xlsx", "the first sheet \"旧折算率\" is hidden"},
        {"the first sheet hidden, another shown, xls", "sheets.xls", "the first sheet \"旧折算率\" is hidden"},
    };
    for (const auto& row : rows)
        QTest::newRow(row[0]) << QString(row[1]) << QString(row[2]);

    // A local header naming its part otherwise than the central directory does.
    {
        QByteArray bytes = testsupport::zipBytes(testsupport::workbookEntries({{"SH", "600000", "浦发银行", "0.7"}}));
        const int local = bytes.indexOf("xl/worksheets/sheet1.xml");
        bytes[local + 19] = '2';
        const QString file = m_dir.filePath(QStringLiteral("zip%1.xlsx").arg(m_files++));
        QVERIFY(testsupport::writeFile(file, bytes));
        QTest::newRow("zip: the local name differs from the central one")
            << file << QStringLiteral("sheet1.xml: the local header names it \"xl/worksheets/sheet2.xml\"");
    }

    // Each size a zip states for its first part (what lies past it is the next part, not the
    // directory), in the local header or data descriptor and in the central directory, a byte
    // short or long, in one place or in all.
    const QByteArray name = "xl/workbook.xml";
    for (int variant = 0; variant < 4; ++variant) {
        const bool stored = variant & 1, descriptor = variant & 2;
        const QByteArray good = testsupport::zipBytes(
            testsupport::workbookEntries({{"SH", "600000", "浦发银行", "0.7"}}), stored, descriptor);
        const int central = good.lastIndexOf(name) - 26, packed = qFromLittleEndian<qint32>(good.constData() + central);
        const int local = descriptor ? good.indexOf(name) + name.size() + packed + 8 : good.indexOf(name) - 12;
        const QList<QPair<const char*, QList<int>>> places{{"local", {local}},
                                                           {"central", {central}},
                                                           {"both", {local, central}},
                                                           {"local, size", {local + 4}},
                                                           {"central, size", {central + 4}},
                                                           {"both, size", {local + 4, central + 4}},
                                                           {"all", {local, local + 4, central, central + 4}}};
        for (const auto& place : places) {
            for (const qint32 delta : {-1, 1}) {
                QByteArray bytes = good;
                for (const int at : place.second)
                    qToLittleEndian(qFromLittleEndian<qint32>(bytes.constData() + at) + delta, bytes.data() + at);
                const QString file = m_dir.filePath(QStringLiteral("zip%1.xlsx").arg(m_files++));
                QVERIFY(testsupport::writeFile(file, bytes));
                QTest::addRow("zip %s%s: stated sizes, %s %+d", stored ? "stored" : "deflated",
                              descriptor ? " with a data descriptor" : "", place.first, delta)
                    << file << QString::fromLatin1(name);
            }
        }
    }
}

// False, lines untouched, empty bounds and the reason; no crash, no hang.
void TestWorkbookReaders::endsHostileWorkbooksCleanly()
{
    QFETCH(QString, file);
    QFETCH(QString, reason);

    const QString path = file.startsWith(QLatin1Char('/')) ? file : dataFile(file);
    const testsupport::CLogCapture log;
    COdbcExcelReader reader;
    QStringList lines{QStringLiteral("untouched")};
    QVERIFY(!reader.open(path, lines, true));
    QCOMPARE(lines, QStringList{QStringLiteral("untouched")});

    CExcelReader cells;
    QVERIFY(cells.init(false));
    QVERIFY(!cells.open(path));
    const std::vector<int> bounds{cells.getSheetStartRow(1), cells.getSheetRowCount(1), cells.getSheetStartCol(1),
                                  cells.getSheetColCount(1)};
    QCOMPARE(bounds, (std::vector<int>{1, 0, 1, 0}));
    // Each reader logs the reason; the second is told it without reading the file again.
    const QStringList reasons = logged(log).split(QLatin1Char('\n'));
    QCOMPARE(reasons.size(), 2);
    QVERIFY2(reasons[0].startsWith(QLatin1String("[COdbcExcelReader]")) && reasons[0].contains(reason),
             qPrintable(reasons[0]));
    QVERIFY2(reasons[1].startsWith(QLatin1String("[CExcelReader]")) && reasons[1].contains(reason),
             qPrintable(reasons[1]));
    if (QFileInfo(path).isFile())
        QVERIFY2(reasons[1].endsWith(QLatin1String("(refused before by the first reader)")), qPrintable(reasons[1]));
}

void TestWorkbookReaders::remembersARefusalForTheFallbackOnly_data()
{
    QTest::addColumn<QString>("between");
    QTest::addColumn<bool>("recalled");
    QTest::newRow("the fallback right after, on the same thread") << "nothing" << true;
    QTest::newRow("a fallback on another thread") << "another thread" << false;
    QTest::newRow("after another workbook was opened") << "another open" << false;
}

// A refusal is told to the fallback that follows it on the same thread, without reading the
// file again, and to nothing else: any other open reads the file.
void TestWorkbookReaders::remembersARefusalForTheFallbackOnly()
{
    QFETCH(QString, between);

    const QString path = dataFile(QStringLiteral("hostile_garbled.xlsx"));
    const testsupport::CLogCapture log;
    QCOMPARE(readLines(path), QStringLiteral("refused"));
    if (between == QLatin1String("another open"))
        QVERIFY(readLines(dataFile(QStringLiteral("openpyxl.xlsx"))) != QLatin1String("refused"));
    if (between == QLatin1String("another thread"))
        std::thread([&path] { readCells(path); }).join();
    else
        readCells(path);
    const QStringList reasons = logged(log).split(QLatin1Char('\n'));
    QCOMPARE(reasons.size(), 2);
    QVERIFY2(reasons[1].contains(QLatin1String("<row> where it does not belong")), qPrintable(reasons[1]));
    QTEST(reasons[1].endsWith(QLatin1String("(refused before by the first reader)")), "recalled");
}

// A damaged workbook put right in place, with its size, time and inode as they were (as cp -p
// restores it), is read afresh at the next upload in the same process.
void TestWorkbookReaders::readsACorrectedFileAfresh()
{
    QList<QStringList> rows;
    for (int i = 0; i < 3000; ++i)
        rows << QStringList{"SH", "600000", "浦发银行", "0.7"};
    // Stored, and damaged in the middle: the ends of the file stay as they are.
    const QByteArray good = testsupport::zipBytes(testsupport::workbookEntries(rows), true);
    QByteArray damaged = good;
    const int middle = damaged.indexOf("<row r=\"1500\">");
    QVERIFY(middle > 128 * 1024 && good.size() - middle > 128 * 1024);
    damaged[middle + 1] = 'x';
    const QString path = m_dir.filePath(QStringLiteral("rates.xlsx"));
    const QDateTime stamp = QDateTime::fromSecsSinceEpoch(1700000000);
    const QString lines = QStringLiteral("SH\t600000\t浦发银行\t0.7|").repeated(3000).chopped(1);
    for (const auto& [bytes, read] : {std::pair(damaged, QStringLiteral("refused")), std::pair(good, lines)}) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QCOMPARE(file.write(bytes), qint64(bytes.size()));
        QVERIFY(file.setFileTime(stamp, QFileDevice::FileModificationTime));
        file.close();
        QCOMPARE(readLines(path), read);
    }
}

// A refusal for what the file holds is final for the fallback, even when the file was put right
// between the two reads: the fallback would send what no one checked.
void TestWorkbookReaders::keepsARefusalForAFileChangedBetweenTheReads()
{
    const QString path = m_dir.filePath(QStringLiteral("changed.xlsx"));
    QVERIFY(QFile::copy(dataFile(QStringLiteral("hostile_garbled.xlsx")), path));
    const testsupport::CLogCapture log;
    QCOMPARE(readLines(path), QStringLiteral("refused"));
    QVERIFY(QFile::remove(path));
    QVERIFY(testsupport::writeZip(path, testsupport::workbookEntries({{"SH", "600000", "浦发银行", "0.7"}})));
    QCOMPARE(readCells(path), QString());
    const QStringList reasons = logged(log).split(QLatin1Char('\n'));
    QCOMPARE(reasons.size(), 2);
    QVERIFY2(reasons[1].endsWith(QLatin1String("(refused before by the first reader)")), qPrintable(reasons[1]));
    // The next upload reads it afresh.
    QCOMPARE(readLines(path), QStringLiteral("SH\t600000\t浦发银行\t0.7"));
}

void TestWorkbookReaders::readsLocalHeadersLeavingTheCompressedSizeToTheDescriptor_data()
{
    QTest::addColumn<bool>("stored");
    QTest::addColumn<int>("delta"); // added to the uncompressed size the local headers give
    QTest::addColumn<bool>("read");
    QTest::newRow("deflated, the true size") << false << 0 << true;
    QTest::newRow("stored, the true size") << true << 0 << true;
    QTest::newRow("deflated, a byte more") << false << 1 << false;
    QTest::newRow("deflated, a byte less") << false << -1 << false;
}

// Local headers flagged for a data descriptor that give compressed 0 and the true uncompressed
// size, as some writers do, while the descriptor and the central directory agree: read.
void TestWorkbookReaders::readsLocalHeadersLeavingTheCompressedSizeToTheDescriptor()
{
    QFETCH(bool, stored);
    QFETCH(int, delta);
    QFETCH(bool, read);

    QByteArray bytes =
        testsupport::zipBytes(testsupport::workbookEntries({{"SH", "600000", "浦发银行", "0.7"}}), stored, true);
    // Each central entry's size, copied into its local header.
    for (int at = bytes.indexOf("PK\x01\x02"); at >= 0; at = bytes.indexOf("PK\x01\x02", at + 4)) {
        const quint32 size = qFromLittleEndian<quint32>(bytes.constData() + at + 24);
        const quint32 local = qFromLittleEndian<quint32>(bytes.constData() + at + 42);
        qToLittleEndian<quint32>(size + quint32(delta), bytes.data() + local + 22);
    }
    const QString path = m_dir.filePath(QStringLiteral("quirk%1.xlsx").arg(m_files++));
    QVERIFY(testsupport::writeFile(path, bytes));
    QCOMPARE(readLines(path), read ? QStringLiteral("SH\t600000\t浦发银行\t0.7") : QStringLiteral("refused"));
}

QTEST_MAIN(TestWorkbookReaders)
#include "tst_workbookreaders.moc"
