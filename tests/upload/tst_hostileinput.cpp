#include "upload/conversionfile.h"
#include "upload/uploadrequest.h"

#include "testfiles.h"
#include "xlsxwriter.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTextCodec>
#include <QtTest>

#include <functional>

namespace {

// Writes the case's file at the path; false when it could not.
using Maker = std::function<bool(const QString& path)>;

const QString kRow = QStringLiteral("SH,600000,浦发银行,0.7");

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

QByteArray repeatedLine(const QString& line, int count)
{
    QStringList lines;
    for (int i = 0; i < count; ++i)
        lines << line;
    return lines.join(QLatin1Char('\n')).toUtf8();
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

// The peak resident size since the last reset, and the current one, in kB.
qint64 statusKb(const char* key)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(key))
            return line.mid(int(qstrlen(key))).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
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

    QTest::newRow("zero-byte xls") << "empty.xls" << bytes(QByteArray()) << emptyFile;
    QTest::newRow("random bytes csv") << "random.csv" << bytes(randomBytes(1, 65536)) << nothingUsable;
    QTest::newRow("random bytes xls") << "random.xls" << bytes(randomBytes(2, 65536)) << emptyFile;
    QTest::newRow("random bytes xlsx") << "random.xlsx" << bytes(randomBytes(3, 65536)) << emptyFile;
    QTest::newRow("random bytes behind an xls signature")
        << "ole.xls" << bytes(QByteArray::fromHex("d0cf11e0a1b11ae1") + randomBytes(4, 65536)) << emptyFile;
    QTest::newRow("random bytes behind a zip signature")
        << "zip.xlsx" << bytes(QByteArray("PK\x03\x04", 4) + randomBytes(5, 65536)) << emptyFile;

    QTest::newRow("the test's workbook reads") << "rates.xlsx" << workbook(rateRows(3, "浦发银行")) << "request 3";
    QTest::newRow("truncated xlsx") << "truncated.xlsx" << Maker([](const QString& path) {
        QFile file(path);
        if (!testsupport::writeZip(path, testsupport::workbookEntries(rateRows(200, "浦发银行"))) ||
            !file.open(QIODevice::ReadWrite))
            return false;
        return file.resize(file.size() / 2);
    }) << emptyFile;
    QTest::newRow("zip without a workbook") << "nobook.xlsx" << Maker([](const QString& path) {
        return testsupport::writeZip(path, {{QStringLiteral("readme.txt"), QByteArray("SH,600000,浦发银行,0.7")}});
    }) << emptyFile;
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
    QTest::newRow("1 MB single line of commas") << "commas.csv" << bytes(QByteArray(1024 * 1024, ',')) << nothingUsable;
    QTest::newRow("1 MB ratio field") << "ratio.csv" << bytes(kRow.toUtf8() + QByteArray(1024 * 1024, '7'))
                                      << "request 1";
    QTest::newRow("a million empty lines") << "lines.csv" << bytes(QByteArray(1000000, '\n')) << nothingUsable;
    QTest::newRow("a million empty lines after a row")
        << "linesafter.csv" << bytes(kRow.toUtf8() + QByteArray(1000000, '\n')) << "request 1";
    QTest::newRow("very long names in a csv")
        << "longnames.csv" << bytes(repeatedLine("SH,600000," + QString(100000, QChar(0x6d66)) + ",0.7", 50))
        << "request 50";
    QTest::newRow("very long names in an xlsx")
        << "longnames.xlsx" << workbook(rateRows(5, QString(300000, QChar(0x6d66)))) << "request 5";

}

// Whatever the bytes, the dialog's path ends in one of the user's messages or a
// request, in bounded memory.
void TestHostileInput::files()
{
    QFETCH(QString, name);
    QFETCH(Maker, make);
    QFETCH(QString, outcome);

    const QString path = m_dir.filePath(name);
    QVERIFY(make(path));

    resetPeakResident();
    const qint64 residentBefore = statusKb("VmRSS:");
    const DVK::ConversionFileLines read = DVK::readConversionFile(path);
    QString result = read.message;
    if (result.isEmpty()) {
        DVK::UploadBroker broker;
        broker.brokerKeyNo = 7;
        broker.brokerId = "GX";
        broker.brokerName = "国信证券";
        const DVK::UploadRequestPlan plan = DVK::buildUploadRequest(read.lines, read.separator, broker);
        result = plan.request ? QStringLiteral("request %1").arg(plan.usedLines.size()) : QStringLiteral("无可用数据");
    }
    const qint64 peak = statusKb("VmHWM:");
    QVERIFY2(residentBefore > 0 && peak > 0, "no /proc/self/status");
    QVERIFY2(peak - residentBefore < 200 * 1024,
             qPrintable(QStringLiteral("resident grew by %1 MB").arg((peak - residentBefore) / 1024)));
    QCOMPARE(result, outcome);
}

QTEST_MAIN(TestHostileInput)
#include "tst_hostileinput.moc"
