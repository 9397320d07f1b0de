#include "upload/creditdatasendfiledialog.h"

#include "creditdataprobes.h"
#include "scriptedservice.h"
#include "standintoolkit.h"
#include "xlsxwriter.h"

#include <QLineEdit>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

class TestUploadLifetime : public QObject
{
    Q_OBJECT

private slots:
    void destroyedWhileReading();
};

// The dialog destroyed while its worker still reads a big file: the worker finishes on its own,
// touches nothing of the dead dialog, and nothing is shown or sent.
void TestUploadLifetime::destroyedWhileReading()
{
    // Read in full by both workbook readers and then refused, so the worker ends with a log line
    // the test can wait for; 18 MB of cell text keeps it busy well past the delete.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("big.xlsx"));
    const QVector<QStringList> rows(20, {"SH", "600000", QString(900 * 1024, QLatin1Char('x')), "0.7"});
    QVERIFY(testsupport::writeZip(path, testsupport::workbookEntries(rows.toList())));

    QStringList boxes;
    standin::setMessageInterceptor([&boxes](const standin::MessageRecord& record) {
        boxes << record.text;
        return int(QMessageBox::Ok);
    });
    utils::CSingletonT<utils::CLogCenter>::instance()->setLogEnabled(true);
    auto service = testsupport::CScriptedService::install();
    testsupport::CLogCapture log;
    auto dialog = std::make_unique<DVK::CCreditDataSendFileDialog>(nullptr);
    dialog->findChild<QLineEdit*>(QStringLiteral("sendFileEdit"))->setText(path);
    QVERIFY(dialog->handleEvent(5, 402, 0, QString(), nullptr));
    dialog.reset();

    QTRY_VERIFY_WITH_TIMEOUT(!testsupport::capturedLines(log, "[CCreditDataSendFileDialog] readFile:").isEmpty(),
                             120000);
    QCoreApplication::processEvents();
    QCOMPARE(boxes, QStringList());
    QVERIFY(service->operations().empty());
}

QTEST_MAIN(TestUploadLifetime)
#include "tst_uploadlifetime.moc"
