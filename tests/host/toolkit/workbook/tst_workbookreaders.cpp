#include "hosttoolkit.h"
#include "logcapture.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace WB;

namespace {

QString dataFile(const QString& name)
{
    return QString::fromLocal8Bit(qgetenv("SOURCE_DIR")) + QStringLiteral("/tests/host/toolkit/workbook/data/") + name;
}

// What the readers logged about why they refused, one line each.
QString loggedReasons(const testsupport::CLogCapture& log)
{
    QStringList reasons;
    for (const testsupport::CapturedLine& line : log.lines()) {
        const QString text = QString::fromStdString(line.message);
        if (text.startsWith(QLatin1String("[CExcelReader]")) || text.startsWith(QLatin1String("[COdbcExcelReader]")))
            reasons << text;
    }
    return reasons.join(QLatin1Char('\n'));
}

// Reads a workbook as the upload dialog's fallback does: the cell reader's used range, cells
// joined by ",", rows by "|".
QString readCells(const QString& path, QString* error = nullptr)
{
    const testsupport::CLogCapture log;
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
    if (error)
        *error = loggedReasons(log);
    reader.close();
    reader.exitExcel();
    return rows.join(QLatin1Char('|'));
}

// The texts every writer's variant of the openpyxl book must give: a range from B3, a blank row,
// leading zeros kept, 15 digits, General numbers, dates with and without time, a time of day.
const char kOpenpyxlBook[] = "交易所,代码,名称,折算率,日期,标志|SH,000001,平安银行,0.7,2024-03-15,TRUE"
                             "|SZ,600000,浦发银行,0.3,2024-03-15 13:45:30,FALSE|,,,,,"
                             "|SH,123456789012346000,中国 石化,0.7,2024-01-02,#N/A|SZ,1,,12.5,09:30:00,#DIV/0!";
const char kXlsxwriterBook[] = "exchange,code,name,ratio,when,ok|SH,600000,浦发银行,0.7,2024-03-15,TRUE"
                               "|SZ,1,平安银行,0.3,#DIV/0!,FALSE|,,,,,|600000,123456789012346000,,1E-12,,-2.5E+30";
// The formula book: text, number, date, boolean and error results as LibreOffice computed them
// (it gives #VALUE! for SQRT(-1)), an empty text result, long text results split over records.
const char kFormulasBook[] = "交易所,代码,名称,折算率,日期,标志,错误|SH,000001,平安银行,0.7,2024-03-15,TRUE,#DIV/0!"
                             "|SZ,600000,浦发银行,0.3,2024-03-15 13:45:30,FALSE,#N/A|SH,000001,,0.3,,TRUE,#N/A"
                             "|SZ,600000,%1,#VALUE!,#VALUE!,FALSE,#REF!|SH,6,%2,3E-12,#NAME?,#REF!,#DIV/0!"
                             "|#NULL!,#NUM!,#NAME?,#VALUE!,#REF!,#NUM!,%3";
const char kSheetjsBook[] =
    "交易所,代码,名称,折算率,|SH,000001,平安银行,0.7,2024-03-15|SZ,600000,浦发银行,0.3,#N/A|,,,,|SH,000300,,TRUE,";

} // namespace

class TestWorkbookReaders : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void readsWorkbooks_data();
    void readsWorkbooks();
    void refusesCellsWithTabOrLineBreak_data();
    void refusesCellsWithTabOrLineBreak();
    void endsHostileWorkbooksCleanly_data();
    void endsHostileWorkbooksCleanly();
    void readsPathsWithChineseAndSpaces();
};

void TestWorkbookReaders::initTestCase()
{
    QVERIFY2(QFile::exists(dataFile(QStringLiteral("openpyxl.xlsx"))), "SOURCE_DIR must point at the sources");
}

void TestWorkbookReaders::readsWorkbooks_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("expected");

    QTest::newRow("openpyxl: shared strings, range from B3, dates, errors")
        << "openpyxl.xlsx" << QString::fromUtf8(kOpenpyxlBook);
    QTest::newRow("LibreOffice .xlsx from openpyxl") << "libreoffice.xlsx" << QString::fromUtf8(kOpenpyxlBook);
    QTest::newRow("LibreOffice .xls from openpyxl: booleans and errors")
        << "libreoffice.xls" << QString::fromUtf8(kOpenpyxlBook);
    QTest::newRow("xlsxwriter: rich text, formulas with cached values, 1E-12")
        << "xlsxwriter.xlsx" << QString::fromUtf8(kXlsxwriterBook);
    QTest::newRow("LibreOffice .xls from xlsxwriter: text, number, error and boolean formulas")
        << "xlsxwriter_libreoffice.xls" << QString::fromUtf8(kXlsxwriterBook);
    QTest::newRow("first sheet in sheet2.xml behind an absolute target")
        << "reordered.xlsx" << QString::fromUtf8(kXlsxwriterBook);
    QTest::newRow("SheetJS: strings without a shared table") << "sheetjs.xlsx" << QString::fromUtf8(kSheetjsBook);
    QTest::newRow("SheetJS: shared strings") << "sheetjs_sst.xlsx" << QString::fromUtf8(kSheetjsBook);
    QTest::newRow("ExcelJS: rich text, formula results, errors")
        << "exceljs.xlsx"
        << QString::fromUtf8("交易所,代码,名称,折算率,日期|SH,000001,平安银行,0.7,2024-03-15"
                             "|SZ,600000,浦发银行,0.3,#N/A|,,,,|TRUE,#DIV/0!,,,");
    // xlwt stores formulas without a result: its two formula cells (last row) read empty.
    QTest::newRow("xlwt legacy .xls: boolean and error cells, formulas without results")
        << "xlwt.xls"
        << QString::fromUtf8("交易所,代码,名称,折算率,日期|SH,000001,平安银行,0.7,2024-03-15"
                             "|SZ,600000,浦发银行,0.3,2024-03-15 13:45:30|,,,,|SH,123456789012346000,,TRUE,12.5"
                             "|#NULL!,#DIV/0!,#VALUE!,#REF!,#NAME?|#NUM!,#N/A,FALSE,,");
    const QString formulas = QString::fromUtf8(kFormulasBook)
                                 .arg(QString::fromUtf8("平安").repeated(3000), QStringLiteral("ab").repeated(5000),
                                      QString::fromUtf8("中国石化").repeated(2500));
    QTest::newRow("LibreOffice .xls: formula results, long texts over CONTINUE") << "formulas.xls" << formulas;
    QTest::newRow("LibreOffice .xlsx of the same formulas") << "formulas.xlsx" << formulas;
    QTest::newRow("BIFF5 Book stream in code page 936: RK, MULRK, formula text, BOOLERR")
        << "biff5.xls"
        << QString::fromUtf8("交易所,代码,名称,折算率,日期|SH,000001,平安银行,0.7,2024-03-15"
                             "|SZ,600000,12.5,1.25,13:30:00|TRUE,#DIV/0!,浦发银行,,");
    QTest::newRow("shared string and formula text going on 8-bit to UTF-16 in CONTINUE")
        << "continue.xls" << QString::fromUtf8("折算率,|abababababababababab中国,|SH,abc平安银");
    QTest::newRow("one cell at XFD1048576") << "corner_cell.xlsx"
                                            << "far";
    // The same book in the package layouts zip writers use.
    QTest::newRow("ZIP64 end records and ZIP64 sizes in every header")
        << "zip64.xlsx" << QString::fromUtf8(kXlsxwriterBook);
    QTest::newRow("ZIP64 extra fields in the local headers only")
        << "zip64_local.xlsx" << QString::fromUtf8(kXlsxwriterBook);
    QTest::newRow("stored parts") << "stored.xlsx" << QString::fromUtf8(kXlsxwriterBook);
    QTest::newRow("sizes in data descriptors after the data")
        << "descriptors.xlsx" << QString::fromUtf8(kXlsxwriterBook);
    QTest::newRow("archive comment holding a stray end-record signature")
        << "comment.xlsx" << QString::fromUtf8(kXlsxwriterBook);
    QTest::newRow("part names in another case than the relationships name them")
        << "case.xlsx" << QString::fromUtf8(kXlsxwriterBook);
}

// Both readers give the same texts: the cell reader's rows equal the tab reader's lines.
void TestWorkbookReaders::readsWorkbooks()
{
    QFETCH(QString, file);
    QFETCH(QString, expected);

    QString error;
    QCOMPARE(readCells(dataFile(file), &error), expected);
    QCOMPARE(error, QString());

    const testsupport::CLogCapture log;
    COdbcExcelReader reader;
    QStringList lines;
    QVERIFY2(reader.open(dataFile(file), lines, true), qPrintable(loggedReasons(log)));
    QCOMPARE(loggedReasons(log), QString());
    QCOMPARE(lines.join(QLatin1Char('|')).replace(QLatin1Char('\t'), QLatin1Char(',')), expected);
    reader.close();
}

void TestWorkbookReaders::refusesCellsWithTabOrLineBreak_data()
{
    QTest::addColumn<QString>("file");
    QTest::newRow("xlsx") << "linebreak.xlsx";
    QTest::newRow("xls") << "linebreak.xls";
}

// The tab reader refuses and leaves lines alone; the cell reader carries tab and line break.
void TestWorkbookReaders::refusesCellsWithTabOrLineBreak()
{
    QFETCH(QString, file);
    const testsupport::CLogCapture log;
    COdbcExcelReader reader;
    QStringList lines{QStringLiteral("untouched")};
    QVERIFY(!reader.open(dataFile(file), lines, true));
    QCOMPARE(lines, QStringList{QStringLiteral("untouched")});
    QVERIFY(loggedReasons(log).contains(QLatin1String("tab")));

    QCOMPARE(readCells(dataFile(file)), QStringLiteral("code,note|000001,tab\there|000002,two\nlines"));
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
        {"deep nesting", "hostile_deep.xlsx", "nests deeper"},
        {"garbled xml", "hostile_garbled.xlsx", "xml: "},
        {"entity expansion", "hostile_entities.xlsx", "DTD"},
        {"damaged stored sheet", "hostile_crc.xlsx", "xml: "},
        {"zip: CRC mismatch in a well-formed stored part", "hostile_zip_crc.xlsx", "xl/sharedStrings.xml: crc error"},
        {"zip: central directory past the end", "hostile_zip_directory.xlsx", "central directory lies past the end"},
        {"zip: deflate stream cut short", "hostile_zip_cut.xlsx", "sheet1.xml: compressed data ends early"},
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
        {"missing file", "no_such_file.xlsx", "cannot open"},
    };
    for (const auto& row : rows)
        QTest::newRow(row[0]) << QString(row[1]) << QString(row[2]);
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
    QCOMPARE(QString("%1..%2 x %3..%4")
                 .arg(cells.getSheetStartRow(1))
                 .arg(cells.getSheetRowCount(1))
                 .arg(cells.getSheetStartCol(1))
                 .arg(cells.getSheetColCount(1)),
             QStringLiteral("1..0 x 1..0"));
    // Each reader logs the reason; the second is told it without reading the file again.
    const QStringList reasons = loggedReasons(log).split(QLatin1Char('\n'));
    QCOMPARE(reasons.size(), 2);
    QVERIFY2(reasons[0].startsWith(QLatin1String("[COdbcExcelReader]")) && reasons[0].contains(reason),
             qPrintable(reasons[0]));
    QVERIFY2(reasons[1].startsWith(QLatin1String("[CExcelReader]")) && reasons[1].contains(reason),
             qPrintable(reasons[1]));
    if (QFileInfo(path).isFile())
        QVERIFY2(reasons[1].endsWith(QLatin1String("(refused before, file unchanged)")), qPrintable(reasons[1]));
}

// Paths reach the parsers in the file system's encoding, not as Latin-1.
void TestWorkbookReaders::readsPathsWithChineseAndSpaces()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString xlsx = dir.filePath(QString::fromUtf8("折算率 文件.xlsx"));
    const QString xls = dir.filePath(QString::fromUtf8("折算率 文件.xls"));
    QVERIFY(QFile::copy(dataFile(QStringLiteral("xlsxwriter.xlsx")), xlsx));
    QVERIFY(QFile::copy(dataFile(QStringLiteral("xlwt.xls")), xls));
    QCOMPARE(readCells(xlsx), QString::fromUtf8(kXlsxwriterBook));
    QVERIFY(readCells(xls).startsWith(QString::fromUtf8("交易所,代码")));
}

QTEST_MAIN(TestWorkbookReaders)
#include "tst_workbookreaders.moc"
