// Workbooks encrypted with the default password, held against LibreOffice, which opens them
// without asking: each kind reads as LibreOffice shows it (its csv) and as the same workbook
// saved unencrypted reads. A password other than the default, or a damaged header, is refused
// with its reason in both readers' log lines.
#include "hosttoolkit.h"
#include "logcapture.h"
#include "standinworkbook.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString kSource = QString::fromLocal8Bit(qgetenv("SOURCE_DIR"));

QString dataFile(const QString& name)
{
    return kSource + QStringLiteral("/tests/host/workbook/data/encrypted/") + name;
}

// A field as LibreOffice's csv writes it.
QString csvField(const QString& text)
{
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) && !text.contains(QLatin1Char('\n')))
        return text;
    return QLatin1Char('"') + QString(text).replace(QLatin1String("\""), QLatin1String("\"\"")) + QLatin1Char('"');
}

// The cell reader's first sheet as csv lines, after its name and the number of sheets; or
// "refused: " and the reason.
QString ours(const QString& path)
{
    WB::CExcelReader reader;
    reader.init(false);
    reader.open(path);
    const standin::WorkbookReport report = standin::lastWorkbookReport();
    QStringList lines;
    for (int row = reader.getSheetStartRow(1); row <= reader.getSheetRowCount(1); ++row) {
        QStringList fields;
        for (int column = reader.getSheetStartCol(1); column <= reader.getSheetColCount(1); ++column)
            fields << csvField(reader.getData(1, row, column, false));
        lines << fields.join(QLatin1Char(','));
    }
    reader.close();
    reader.exitExcel();
    if (!report.refusal.isEmpty())
        return QStringLiteral("refused: ") + report.refusal;
    return QStringLiteral("%1 sheets, %2\n").arg(report.sheetCount).arg(report.sheetName) +
           lines.join(QLatin1Char('\n'));
}

// What the readers logged of a refusal, one line each.
QStringList refusals(const testsupport::CLogCapture& log)
{
    QStringList lines;
    for (const testsupport::CapturedLine& line : log.lines()) {
        const QString text = QString::fromStdString(line.message);
        if (text.contains(QLatin1String(" failed: ")))
            lines << text;
    }
    return lines;
}

} // namespace

class TestEncryptedWorkbooks : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void readsAsLibreOfficeAndThePlainBook_data();
    void readsAsLibreOfficeAndThePlainBook();
    void refusesWithTheReason_data();
    void refusesWithTheReason();

private:
    QTemporaryDir m_dir;
};

// LibreOffice converts every encrypted book once, in a profile of its own.
void TestEncryptedWorkbooks::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY2(!QStandardPaths::findExecutable(QStringLiteral("soffice")).isEmpty(),
             "LibreOffice is needed (scripts/setup.sh --tests installs libreoffice-calc-nogui)");
    QStringList files;
    for (const QString& name : QDir(dataFile(QString())).entryList({"*.xls", "*.xlsx"}, QDir::Files)) {
        if (!name.startsWith(QLatin1String("plain.")) && !name.startsWith(QLatin1String("bad_")) &&
            !name.contains(QLatin1String("_password")))
            files << dataFile(name);
    }
    QProcess soffice;
    soffice.start(
        QStringLiteral("soffice"),
        QStringList{QStringLiteral("--headless"),
                    QStringLiteral("-env:UserInstallation=file://") + m_dir.filePath(QStringLiteral("profile")),
                    QStringLiteral("--convert-to"), QStringLiteral("csv:Text - txt - csv (StarCalc):44,34,76"),
                    QStringLiteral("--outdir"), m_dir.filePath(QStringLiteral("csv"))} +
            files);
    QVERIFY2(soffice.waitForFinished(300000), "LibreOffice did not finish converting");
}

void TestEncryptedWorkbooks::readsAsLibreOfficeAndThePlainBook_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("plain");

    const auto row = [](const char* name, const char* file, const char* plain) {
        QTest::newRow(name) << file << plain;
    };
    row("xls, XOR obfuscation", "xor.xls", "plain.xls");
    row("xls, RC4 and MD5, as LibreOffice encrypts a protected book", "rc4.xls", "plain.xls");
    row("xls, RC4 and MD5, another salt", "rc4_own.xls", "plain.xls");
    row("xls, RC4 with a CryptoAPI key (SHA-1)", "cryptoapi.xls", "plain.xls");
    row("xlsx, standard encryption (AES-128 ECB, SHA-1)", "standard.xlsx", "plain.xlsx");
    row("xlsx, agile encryption (AES-256 CBC, SHA-512)", "agile.xlsx", "plain.xlsx");
}

// Decrypted with the default password, a book reads cell for cell as LibreOffice shows it and as
// the same book saved without encryption reads.
void TestEncryptedWorkbooks::readsAsLibreOfficeAndThePlainBook()
{
    QFETCH(QString, file);
    QFETCH(QString, plain);

    const QString read = ours(dataFile(file));
    QCOMPARE(read, ours(dataFile(plain)));
    QFile csv(m_dir.filePath(QStringLiteral("csv/") + QFileInfo(file).completeBaseName() + QStringLiteral(".csv")));
    QVERIFY2(csv.open(QIODevice::ReadOnly), "LibreOffice did not open the book");
    const QString shown =
        QString::fromUtf8(csv.readAll()).replace(QLatin1String("\r\n"), QLatin1String("\n")).trimmed();
    QCOMPARE(read.section(QLatin1Char('\n'), 1), shown);
    QVERIFY(shown.count(QLatin1Char('\n')) > 100);
}

void TestEncryptedWorkbooks::refusesWithTheReason_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("reason");

    const auto row = [](const char* name, const char* file, const QString& reason) {
        QTest::newRow(name) << file << reason;
    };
    const QString other =
        QStringLiteral("the workbook is password-protected (%1 with a password other than the default)");
    row("xls, XOR, another password", "xor_password.xls", other.arg("XOR obfuscation"));
    row("xls, XOR, the default key with another verifier", "bad_xor_verifier.xls", other.arg("XOR obfuscation"));
    row("xls, RC4, another password", "rc4_password.xls", other.arg("RC4 encryption"));
    row("xls, CryptoAPI, another password", "cryptoapi_password.xls", other.arg("RC4 CryptoAPI encryption"));
    row("xlsx, standard, another password", "standard_password.xlsx", other.arg("standard encryption"));
    row("xlsx, agile, another password", "agile_password.xlsx", other.arg("agile encryption"));
    row("FILEPASS cut short", "bad_filepass_cut.xls", "the RC4 encryption header (FILEPASS) is cut short");
    row("FILEPASS of an unknown RC4 version", "bad_rc4_version.xls",
        "the encryption header (FILEPASS) has the unknown RC4 version 9.9");
    row("FILEPASS of an unknown method", "bad_method.xls", "(FILEPASS) names the unknown method 7");
    row("standard header larger than its stream", "bad_standard_header.xlsx",
        "the encryption header declares 2147483632 bytes of 212");
    row("package declaring 2^62 bytes", "bad_package_size.xlsx",
        "the encrypted package declares 4611686018427387904 bytes but holds");
    row("package cut in half", "bad_package_cut.xlsx", "declares 9900 bytes but holds 4942 (truncated?)");
    row("spin count past five million", "bad_spin_count.xlsx",
        "the encryption header's spinCount is \"10000001\" (0 to 5000000 read)");
    row("header XML not well-formed", "bad_xml.xlsx", "the encryption header is no well-formed XML");
    row("cipher other than AES", "bad_cipher.xlsx", "encrypted with DES in ChainingModeCBC");
    // Decrypted, a package meets every check and cap a plain one meets.
    row("decrypted: a row past the last", "inner_pastend.xlsx",
        "row 1048577 at line 1 of xl/worksheets/sheet1.xml lies outside");
    row("decrypted: entity expansion", "inner_entities.xlsx", "xl/worksheets/sheet1.xml declares a DTD");
    row("salt shorter than declared", "bad_salt.xlsx", "salt has 16 bytes, not the 99 declared");
}

// Both readers refuse, and each one's log line gives the reason; the preview shows the same
// report's reason.
void TestEncryptedWorkbooks::refusesWithTheReason()
{
    QFETCH(QString, file);
    QFETCH(QString, reason);

    const testsupport::CLogCapture log;
    WB::COdbcExcelReader tabs;
    QStringList lines;
    QVERIFY(!tabs.open(dataFile(file), lines, true));
    QCOMPARE(ours(dataFile(file)).startsWith(QLatin1String("refused: ")), true);
    QVERIFY2(standin::lastWorkbookReport().refusal.contains(reason), qPrintable(standin::lastWorkbookReport().refusal));
    const QStringList logged = refusals(log);
    QCOMPARE(logged.size(), 2);
    for (const QString& line : logged)
        QVERIFY2(line.contains(reason), qPrintable(line));
}

QTEST_MAIN(TestEncryptedWorkbooks)
#include "tst_encryptedworkbooks.moc"
