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
    void initTestCase();
    void destroyedWhileReading();

private:
    QTemporaryDir m_dir;
    QStringList m_boxes;
};

void TestUploadLifetime::initTestCase()
{
    standin::setMessageInterceptor([this](const standin::MessageRecord& record) {
        m_boxes << record.text;
        return int(QMessageBox::Ok);
    });
    utils::CSingletonT<utils::CLogCenter>::instance()->setLogEnabled(true);
}

// The dialog destroyed while its worker still reads a big file: the worker finishes on its own,
// touches nothing of the dead dialog, and nothing is shown or sent.
void TestUploadLifetime::destroyedWhileReading()
{
    // Read in full by both workbook readers and then refused, so the worker ends with a log line
    // the test can wait for; 18 MB of cell text keeps it busy well past the delete.
    const QString path = m_dir.filePath(QStringLiteral("big.xlsx"));
    const QString big(900 * 1024, QLatin1Char('x'));
    QList<QStringList> rows;
    for (int i = 0; i < 20; ++i)
        rows << QStringList{"SH", "600000", big, "0.7"};
    QVERIFY(testsupport::writeZip(path, testsupport::workbookEntries(rows)));

    auto service = testsupport::CScriptedService::install();
    m_boxes.clear();
    testsupport::CLogCapture log;
    auto dialog = std::make_unique<DVK::CCreditDataSendFileDialog>(nullptr);
    dialog->findChild<QLineEdit*>(QStringLiteral("sendFileEdit"))->setText(path);
    QVERIFY(dialog->handleEvent(5, 402, 0, QString(), nullptr));
    dialog.reset();

    QTRY_VERIFY_WITH_TIMEOUT(!testsupport::capturedLines(log, "[CCreditDataSendFileDialog] readFile:").isEmpty(),
                             120000);
    QCoreApplication::processEvents();
    QCOMPARE(m_boxes, QStringList());
    QVERIFY(service->operations().empty());
}

QTEST_MAIN(TestUploadLifetime)
#include "tst_uploadlifetime.moc"
