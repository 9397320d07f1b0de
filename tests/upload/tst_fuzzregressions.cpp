#include "upload/conversionfile.h"
#include "upload/uploadrequest.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

class TestFuzzRegressions : public QObject
{
    Q_OBJECT

private slots:
    void files_data();
    void files();

private:
    QTemporaryDir m_dir;
};

void TestFuzzRegressions::files_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("suffix");

    const QDir root(qEnvironmentVariable("SOURCE_DIR"));
    // Kept crashers, named by the reader they reached, and the fuzzers' seeds.
    const QStringList regressions = QDir(root.filePath(QStringLiteral("tests/upload/regressions")))
                                        .entryList({"*.csv", "*.xls", "*.xlsx"}, QDir::Files);
    for (const QString& name : regressions) {
        QTest::newRow(qPrintable(name)) << root.filePath(QStringLiteral("tests/upload/regressions/") + name)
                                        << QFileInfo(name).suffix();
    }
    for (const QString& suffix : {QStringLiteral("csv"), QStringLiteral("xlsx"), QStringLiteral("xls")}) {
        const QDir seeds(root.filePath(QStringLiteral("fuzz/corpus/fuzz_") + suffix));
        for (const QString& name : seeds.entryList(QDir::Files)) {
            QTest::newRow(qPrintable(QStringLiteral("seed %1/%2").arg(suffix, name))) << seeds.filePath(name) << suffix;
        }
    }
}

// Each file, copied under a plain name with its reader's suffix, ends in one of the user's messages
// or in lines that are each used or skipped exactly once.
void TestFuzzRegressions::files()
{
    QFETCH(QString, source);
    QFETCH(QString, suffix);

    const QString path = m_dir.filePath(QStringLiteral("input.") + suffix);
    QFile::remove(path);
    QVERIFY(QFile::copy(source, path));

    const DVK::ConversionFileLines read = DVK::readConversionFile(path);
    if (!read.message.isEmpty()) {
        QVERIFY2(QStringList({"文件格式错误", "文件打开失败", "文件内容为空"}).contains(read.message),
                 qPrintable(read.message));
        return;
    }
    DVK::UploadBroker broker;
    broker.brokerKeyNo = 7;
    broker.brokerId = "GX";
    const DVK::UploadRequestPlan plan = DVK::buildUploadRequest(read.lines, read.separator, broker);
    QCOMPARE(int(plan.usedLines.size() + plan.skipped.size()), read.lines.size());
    QCOMPARE(bool(plan.request), !plan.usedLines.empty());
}

QTEST_MAIN(TestFuzzRegressions)
#include "tst_fuzzregressions.moc"
