#include "upload/conversionfile.h"

#include "testfiles.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTextCodec>
#include <QtTest>

namespace {

const QString kFormatError = QStringLiteral("文件格式错误");
const QString kOpenFailed = QStringLiteral("文件打开失败");
const QString kEmpty = QStringLiteral("文件内容为空");

QByteArray gbk(const QString& text)
{
    return QTextCodec::codecForName("GBK")->fromUnicode(text);
}

} // namespace

class TestConversionFile : public QObject
{
    Q_OBJECT

private slots:
    void files_data();
    void files();

private:
    QTemporaryDir m_dir;
};

void TestConversionFile::files_data()
{
    QTest::addColumn<QString>("name"); // "@": not written; "/" at the end: a folder
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QStringList>("lines");

    const QString row = QStringLiteral("上海,600000,浦发银行,0.7");
    const auto read = [](const char* tag, const QString& name, const QByteArray& bytes, const QStringList& lines) {
        QTest::newRow(tag) << name << bytes << QString() << lines;
    };
    read("utf-8", "a.csv", row.toUtf8(), {row});
    read("gbk reads as the same text", "b.csv", gbk(row), {row});
    read("crlf keeps the carriage return", "c.csv", "SH,1,x,0.5\r\nSZ,2,y,0.6\r\n",
         {"SH,1,x,0.5\r", "SZ,2,y,0.6\r", ""});
    read("gbk with crlf", "d.csv", gbk(row + "\r\n" + row), {row + QLatin1Char('\r'), row});
    read("blank lines kept", "e.csv", "x\n\n\ny\n", {"x", "", "", "y", ""});
    read("empty file is one empty line", "f.csv", QByteArray(), {""});
    read("quotes and commas stay as written", "g.csv", "\"a,b\",c", {"\"a,b\",c"});
    read("lone carriage returns do not split", "h.csv", "a\rb", {"a\rb"});
    read("utf-8 byte-order mark dropped", "i.csv", "\xEF\xBB\xBF" + row.toUtf8(), {row});
    read("chinese name with spaces", "折算率 文件 (1).csv", row.toUtf8(), {row});
    read("name that is only the suffix", ".csv", row.toUtf8(), {row});
    // Only the complete suffixes csv, xls and xlsx are read, compared case-sensitively; workbooks
    // with macros, templates, add-ins, binary and other programs' books among those refused.
    for (const char* name : {"CSV", "XLS", "XLSX", "txt", "xlsm", "xltx", "xltm", "xlsb", "xlam", "xla", "xlt", "ods",
                             "20240105.csv", "csv."})
        QTest::addRow("rates.%s", name) << QStringLiteral("rates.%1").arg(QLatin1String(name)) << row.toUtf8()
                                        << kFormatError << QStringList();
    QTest::newRow("no suffix") << "rates" << row.toUtf8() << kFormatError << QStringList();
    // A csv that cannot be read says so rather than passing for a file without usable rows.
    QTest::newRow("a folder") << "folder.csv/" << QByteArray() << kOpenFailed << QStringList();
    QTest::newRow("missing") << "@missing.csv" << QByteArray() << kOpenFailed << QStringList();
    // What neither workbook reader can read.
    QTest::newRow("text named xlsx") << "text.xlsx" << row.toUtf8() << kEmpty << QStringList();
    QTest::newRow("zero bytes xlsx") << "empty.xlsx" << QByteArray() << kEmpty << QStringList();
}

// A csv is GBK or UTF-8 text split on line feeds alone, every line kept as it stands; any other
// kind, and a file that cannot be read, ends with a message.
void TestConversionFile::files()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    const QString path = m_dir.filePath(QString(name).remove(QRegularExpression("^@|/$")));
    if (name.endsWith(QLatin1Char('/')))
        QVERIFY(QDir(m_dir.path()).mkpath(name));
    else if (!name.startsWith(QLatin1Char('@')))
        QVERIFY(testsupport::writeFile(path, bytes));

    const DVK::ConversionFileLines read = DVK::readConversionFile(path);
    QTEST(read.message, "message");
    QCOMPARE(read.separator, QStringLiteral(","));
    QTEST(read.lines, "lines");
}

QTEST_MAIN(TestConversionFile)
#include "tst_conversionfile.moc"
