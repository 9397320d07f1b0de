#include "upload/conversionfile.h"
#include "upload/uploadrequest.h"

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
    void textFiles_data();
    void textFiles();
    void refusedNames_data();
    void refusedNames();
    void unreadableText();
    void workbooks_data();
    void workbooks();

private:
    QTemporaryDir m_dir;
};

void TestConversionFile::textFiles_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("lines");

    const QString row = QStringLiteral("上海,600000,浦发银行,0.7");
    QTest::newRow("utf-8") << "a.csv" << row.toUtf8() << QStringList{row};
    QTest::newRow("gbk reads as the same text") << "b.csv" << gbk(row) << QStringList{row};
    QTest::newRow("crlf keeps the carriage return")
        << "c.csv" << QByteArray("SH,1,x,0.5\r\nSZ,2,y,0.6\r\n") << QStringList{"SH,1,x,0.5\r", "SZ,2,y,0.6\r", ""};
    QTest::newRow("gbk with crlf") << "d.csv" << gbk(row + "\r\n" + row) << QStringList{row + QLatin1Char('\r'), row};
    QTest::newRow("blank lines kept") << "e.csv" << QByteArray("x\n\n\ny\n") << QStringList{"x", "", "", "y", ""};
    QTest::newRow("empty file is one empty line") << "f.csv" << QByteArray() << QStringList{""};
    QTest::newRow("quotes and commas stay as written")
        << "g.csv" << QByteArray("\"a,b\",c") << QStringList{"\"a,b\",c"};
    QTest::newRow("lone carriage returns do not split") << "h.csv" << QByteArray("a\rb") << QStringList{"a\rb"};
    QTest::newRow("utf-8 byte-order mark dropped")
        << "i.csv" << QByteArray("\xEF\xBB\xBF") + row.toUtf8() << QStringList{row};
    QTest::newRow("chinese name with spaces") << "折算率 文件 (1).csv" << row.toUtf8() << QStringList{row};
    QTest::newRow("name that is only the suffix") << ".csv" << row.toUtf8() << QStringList{row};
}

// A csv is GBK or UTF-8 text split on line feeds alone, every line kept as it stands.
void TestConversionFile::textFiles()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, lines);

    QFile file(m_dir.filePath(name));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    file.close();

    const DVK::ConversionFileLines read = DVK::readConversionFile(file.fileName());
    QCOMPARE(read.message, QString());
    QCOMPARE(read.separator, QStringLiteral(","));
    QCOMPARE(read.lines, lines);
}

void TestConversionFile::refusedNames_data()
{
    QTest::addColumn<QString>("name");
    // Workbooks with macros, templates, add-ins, binary and other programs' books among them.
    for (const char* suffix : {"CSV", "XLS", "XLSX", "txt", "xlsm", "xltx", "xltm", "xlsb", "xlam", "xla", "xlt", "ods"})
        QTest::addRow("%s", suffix) << QStringLiteral("rates.%1").arg(QLatin1String(suffix));
    QTest::newRow("dated name") << "rates.20240105.csv";
    QTest::newRow("no suffix") << "rates";
    QTest::newRow("trailing dot") << "rates.csv.";
}

// Only the complete suffixes csv, xls and xlsx are read, compared case-sensitively.
void TestConversionFile::refusedNames()
{
    QFETCH(QString, name);
    QFile file(m_dir.filePath(name));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("SH,600000,浦发银行,0.7\n");
    file.close();

    const DVK::ConversionFileLines read = DVK::readConversionFile(file.fileName());
    QCOMPARE(read.message, kFormatError);
    QVERIFY(read.lines.isEmpty());
}

// A csv that cannot be read says so rather than passing for a file without usable rows.
void TestConversionFile::unreadableText()
{
    QVERIFY(QDir(m_dir.path()).mkpath(QStringLiteral("folder.csv")));
    QCOMPARE(DVK::readConversionFile(m_dir.filePath(QStringLiteral("folder.csv"))).message, kOpenFailed);
    QCOMPARE(DVK::readConversionFile(m_dir.filePath(QStringLiteral("missing.csv"))).message, kOpenFailed);
}

void TestConversionFile::workbooks_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("separator");
    QTest::addColumn<QString>("firstLines");
    QTest::addColumn<QString>("sent"); // the request's first two subjects

    const QString source = QString::fromLocal8Bit(qgetenv("SOURCE_DIR"));
    const QString examples = source + QStringLiteral("/examples/");
    QTest::newRow("xlsx") << examples + "rates.xlsx" << QString() << "\t"
                          << "交易所\t证券代码\t证券名称\t折算率|SSE\t600009\t上海机场\t0.55"
                          << "600009 上海机场 0.55|600050 中国联通 0.55";
    QTest::newRow("xls") << examples + "rates.xls" << QString() << "\t"
                         << "交易所\t证券代码\t证券名称\t折算率|SH\t600004\t白云机场\t0.55"
                         << "600004 白云机场 0.55|600010 包钢股份 0.5";
    // A comma in a name beside the ratio, a tab in another, a header wrapped over two lines.
    for (const char* suffix : {"xlsx", "xls"}) {
        QTest::addRow("wrapped header, comma and tab in names, %s", suffix)
            << source + "/tests/host/toolkit/workbook/data/wrapped." + suffix << QString() << "\t"
            << "交易所\t证券代码\t证券名称\t折算\n比例|SH\t600009\t上海机场,0.9\t0.55"
            << "600009 上海机场,0.9 0.55|600000 浦发 银行 0.7";
    }
    QTest::newRow("text named xlsx") << "@text.xlsx" << kEmpty << "," << QString() << QString();
    QTest::newRow("zero bytes xlsx") << "@empty.xlsx" << kEmpty << "," << QString() << QString();
}

// Workbooks go to the tab-joined reader; what neither reader can read ends with a message.
void TestConversionFile::workbooks()
{
    QFETCH(QString, path);
    QFETCH(QString, message);
    QFETCH(QString, separator);
    QFETCH(QString, firstLines);
    QFETCH(QString, sent);

    if (path.startsWith(QLatin1Char('@'))) {
        QFile file(m_dir.filePath(path.mid(1)));
        QVERIFY(file.open(QIODevice::WriteOnly));
        if (!path.contains(QLatin1String("empty")))
            file.write("SH,600000,浦发银行,0.7\n");
        path = file.fileName();
    }
    const DVK::ConversionFileLines read = DVK::readConversionFile(path);
    QCOMPARE(read.message, message);
    QCOMPARE(read.separator, separator);
    QCOMPARE(QStringList(read.lines.mid(0, 2)).join(QLatin1Char('|')), firstLines);
    const DVK::UploadRequestPlan plan = DVK::buildUploadRequest(read.lines, read.separator, DVK::UploadBroker());
    QStringList subjects;
    for (const auto& s : plan.detail->subjects) {
        if (subjects.size() < 2)
            subjects << QStringLiteral("%1 %2 %3").arg(QString::fromStdString(s->stockCode),
                                                       QString::fromStdString(s->stockName)).arg(s->ratio);
    }
    QCOMPARE(subjects.join(QLatin1Char('|')), sent);
}

QTEST_MAIN(TestConversionFile)
#include "tst_conversionfile.moc"
