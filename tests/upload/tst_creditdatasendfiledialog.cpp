#include "upload/creditdatasendfiledialog.h"

#include "creditdataprobes.h"
#include "scriptedservice.h"
#include "standintoolkit.h"
#include "testfiles.h"
#include "xlsxwriter.h"

#include <QFileDialog>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <boost/make_shared.hpp>

#include <memory>

using DVK::CCreditDataSendFileDialog;

namespace {

template <class W>
W* child(QWidget* dialog, const char* name)
{
    return dialog->findChild<W*>(QString::fromLatin1(name));
}

std::vector<rqservice::IDataPtr> brokers()
{
    return {testsupport::makeBaseInfo(7, "GX", "国信证券", "20240112", "20240105"),
            boost::make_shared<rqservice::CStkSubjects>(),
            testsupport::makeBaseInfo(9, "HT", "华泰证券", "20240112", ""),
            testsupport::makeBaseInfo(5, "CITIC", "中信证券", "20240112", ""),
            testsupport::makeBaseInfo(8, "GX", "国信证券", "20240112", "20240101")};
}

// Runs fn once the modal dialog (or file dialog) it waits for is up.
void whenModal(std::function<void(QWidget*)> fn)
{
    auto* timer = new QTimer(qApp);
    QObject::connect(timer, &QTimer::timeout, [timer, fn] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            timer->stop();
            timer->deleteLater();
            fn(modal);
        }
    });
    timer->start(10);
}

} // namespace

class TestCreditDataSendFileDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase() { standin::setMessageInterceptor(standin::MessageInterceptor()); }

    void browseCancelledEmptiesField();
    void outcomes_data();
    void outcomes();
    void destroyedWithUploadOutstanding();
    void destroyedWhileReading();
    void panelOpensDialogOnce_data();
    void panelOpensDialogOnce();

private:
    QString writeFile(const QString& name, const QByteArray& bytes);
    void send(CCreditDataSendFileDialog& dialog, const QString& path);

    boost::shared_ptr<testsupport::CScriptedService> m_service;
    QStringList m_boxes; // "<kind> <server type> <success> <text>" of every message shown
    QTemporaryDir m_dir;
};

void TestCreditDataSendFileDialog::initTestCase()
{
    standin::setMessageInterceptor([this](const standin::MessageRecord& record) {
        m_boxes << QStringLiteral("%1 %2 %3 %4")
                       .arg(int(record.kind))
                       .arg(record.serverType)
                       .arg(record.success)
                       .arg(record.title + QLatin1Char('/') + record.text);
        return int(QMessageBox::Ok);
    });
}

void TestCreditDataSendFileDialog::init()
{
    standin::setGrantedRights({10079, 10413});
    m_service = testsupport::CScriptedService::install();
    m_boxes.clear();
}

QString TestCreditDataSendFileDialog::writeFile(const QString& name, const QByteArray& bytes)
{
    return testsupport::writeFile(m_dir.filePath(name), bytes) ? m_dir.filePath(name) : QString();
}

void TestCreditDataSendFileDialog::send(CCreditDataSendFileDialog& dialog, const QString& path)
{
    child<QLineEdit>(&dialog, "sendFileEdit")->setText(path);
    QVERIFY(dialog.handleEvent(5, 402, 0, QString(), nullptr));
}

// Cancelling the file dialog leaves the field empty, so the next send only says that no file was
// chosen: no mask, no reading.
void TestCreditDataSendFileDialog::browseCancelledEmptiesField()
{
    CCreditDataSendFileDialog dialog(nullptr);
    QSignalSpy reads(&dialog, SIGNAL(sigSendFileData(QString)));
    auto* edit = child<QLineEdit>(&dialog, "sendFileEdit");
    edit->setText(QStringLiteral("/tmp/old.csv"));
    QString caption;
    whenModal([&caption](QWidget* modal) {
        caption = modal->windowTitle();
        if (auto* files = qobject_cast<QFileDialog*>(modal)) {
            caption += QLatin1Char('|') + files->nameFilters().join(QLatin1Char(';'));
        }
        qobject_cast<QDialog*>(modal)->reject();
    });
    QVERIFY(dialog.handleEvent(5, 401, 0, QString(), nullptr));
    QCOMPARE(caption, QStringLiteral("选择文件|Excel Files(*.xls *.xlsx);Excel Files(*.csv);Text Files(*.txt)"));
    QCOMPARE(edit->text(), QString());
    QVERIFY(dialog.handleEvent(5, 402, 0, QString(), nullptr));
    QCOMPARE(m_boxes, QStringList({"0 -1 0 提示/未选择文件"}));
    QVERIFY(child<WB::CLoadingMaskWidget>(&dialog, "sendFileLoadingMask")->isHidden());
    QCoreApplication::processEvents();
    QCOMPARE(reads.count(), 0);
}

void TestCreditDataSendFileDialog::outcomes_data()
{
    QTest::addColumn<QString>("file"); // written from content, or a workbook of the tests' data
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("serverError"); // empty: the server accepts
    QTest::addColumn<int>("choice");          // the combo's item
    QTest::addColumn<QStringList>("boxes");
    QTest::addColumn<QString>("sent"); // "keyNo id name: code name ratio, ..."; empty: nothing

    const QByteArray good = "交易所,代码,名称,折算率\r\nSH,600000,浦发银行,0.7\r\n";
    const QStringList accepted{"2 0 1 提示/发送成功"};
    const auto row = [](const char* tag, const QString& file, const QByteArray& content, const QString& serverError,
                        int choice, const QStringList& boxes, const char* sent) {
        QTest::newRow(tag) << file << content << serverError << choice << boxes << sent;
    };
    row("accepted: success message, ends with 1", "ok.csv", good, "", 0, accepted,
        "7 GX 国信证券: 600000 浦发银行 0.7");
    row("refused by the server: its message, stays open", "ok.csv", good, "折算率超出范围", 0,
        {"2 1 0 提示/折算率超出范围"}, "7 GX 国信证券: 600000 浦发银行 0.7");
    row("nothing usable: warning, then the same as a server message", "none.csv", "a,b\nXX,1,x,0.5\n", "", 0,
        {"1 -1 0 提示/无可用数据", "2 1 0 提示/无可用数据"}, "");
    row("refused kind", "rates.txt", good, "", 0, {"2 1 0 提示/文件格式错误"}, "");
    row("csv, the second broker", "two.csv", "SZ,000858,五粮液,0.6\nBJ,830799,艾融软件,0.3,x\n", "", 1, accepted,
        "9 HT 华泰证券: 000858 五粮液 0.6, 830799 艾融软件 0.3");
    // A name holding a comma beside its ratio, a tab in another, a header wrapped in its cell.
    const QString data = qEnvironmentVariable("SOURCE_DIR") + QStringLiteral("/tests/host/workbook/data/");
    row("xlsx with commas, tabs and line breaks in cells, the third broker", data + "wrapped.xlsx", "", "", 2, accepted,
        "5 CITIC 中信证券: 600009 上海机场,0.9 0.55, 600000 浦发 银行 0.7");
    row("xls with commas, tabs and line breaks in cells, the fourth broker (its id the first's)", data + "wrapped.xls",
        "", "", 3, accepted, "7 GX 国信证券: 600009 上海机场,0.9 0.55, 600000 浦发 银行 0.7");
}

// Each way a send can end: the message the user sees, whether the dialog ends with 1, and the mask
// hidden again. The request carries the broker chosen in the combo (key number of the first record
// with its id) and one subject per usable line, in file order, each field from its own cell.
void TestCreditDataSendFileDialog::outcomes()
{
    QFETCH(QString, file);
    QFETCH(QByteArray, content);
    QFETCH(QString, serverError);
    QFETCH(int, choice);
    QFETCH(QStringList, boxes);
    QFETCH(QString, sent);

    if (!serverError.isEmpty())
        m_service->setOperateOutcome(utils::RQError::failure(serverError.toStdString()));
    int reports = 0; // counted on this thread: a QSignalSpy would be written by the worker as it emits
    CCreditDataSendFileDialog dialog(nullptr);
    dialog.setBrokerList(brokers());
    child<WB::CComboBox>(&dialog, "sendFileBrokerCombo")->setCurrentIndex(choice);
    dialog.setResult(-1);
    const auto count = [&reports] { ++reports; };
    connect(&dialog, &CCreditDataSendFileDialog::sigSendFileData, &dialog, count, Qt::QueuedConnection);
    connect(&dialog, &CCreditDataSendFileDialog::sigSendCallBack, &dialog, count, Qt::QueuedConnection);
    send(dialog, content.isEmpty() ? file : writeFile(file, content));
    QCOMPARE(child<WB::CLoadingMaskWidget>(&dialog, "sendFileLoadingMask")->attachedTo(),
             static_cast<QWidget*>(&dialog));

    QTRY_COMPARE(m_boxes, boxes);
    const int operations = sent.isEmpty() ? 0 : 1;
    QCOMPARE(int(m_service->operations().size()), operations);
    QCOMPARE(dialog.result(), operations && serverError.isEmpty() ? 1 : -1);
    QVERIFY(child<WB::CLoadingMaskWidget>(&dialog, "sendFileLoadingMask")->isHidden());
    // The worker reports exactly once; the server's answer is one more report.
    QTRY_COMPARE(reports, 1 + operations);
    QCoreApplication::processEvents();
    QCOMPARE(reports, 1 + operations);
    if (operations) {
        const auto detail = boost::dynamic_pointer_cast<rqservice::CVoprCvionRateDetail>(
            m_service->operations().front()->dataList.front());
        QStringList subjects;
        for (const auto& s : detail->subjects)
            subjects << QStringLiteral("%1 %2 %3").arg(WB::sToQs(s->stockCode), WB::sToQs(s->stockName)).arg(s->ratio);
        QCOMPARE(QStringLiteral("%1 %2 %3: ")
                         .arg(detail->brokerKeyNo)
                         .arg(WB::sToQs(detail->brokerId), WB::sToQs(detail->brokerName)) +
                     subjects.join(", "),
                 sent);
    }

    // Refused by the server, the file still chosen and sent again once it accepts ends the dialog with 1.
    if (!serverError.isEmpty()) {
        m_service->setOperateOutcome(utils::RQError());
        QVERIFY(dialog.handleEvent(5, 402, 0, QString(), nullptr));
        QTRY_COMPARE(dialog.result(), 1);
    }
}

// An upload answered after its dialog is gone reaches nobody.
void TestCreditDataSendFileDialog::destroyedWithUploadOutstanding()
{
    m_service->setHoldingOperations(true);
    auto dialog = std::make_unique<CCreditDataSendFileDialog>(nullptr);
    send(*dialog, writeFile("one.csv", "SH,600000,浦发银行,0.7\n"));
    QTRY_COMPARE(int(m_service->operations().size()), 1);
    dialog.reset();

    QVERIFY(m_service->releaseOperation(utils::RQError()));
    m_service->waitDelivered();
    QCoreApplication::processEvents();
    QCOMPARE(m_boxes, QStringList());
}

// The dialog destroyed while its worker still reads a big file: the worker finishes on its own,
// touches nothing of the dead dialog, and nothing is shown or sent.
void TestCreditDataSendFileDialog::destroyedWhileReading()
{
    // Read in full by both workbook readers and then refused, so the worker ends with a log line
    // the test can wait for; 18 MB of cell text keeps it busy well past the delete.
    const QString path = m_dir.filePath(QStringLiteral("big.xlsx"));
    const QVector<QStringList> rows(20, {"SH", "600000", QString(900 * 1024, QLatin1Char('x')), "0.7"});
    QVERIFY(testsupport::writeZip(path, testsupport::workbookEntries(rows.toList())));
    utils::CSingletonT<utils::CLogCenter>::instance()->setLogEnabled(true);
    testsupport::CLogCapture log;
    auto dialog = std::make_unique<CCreditDataSendFileDialog>(nullptr);
    send(*dialog, path);
    dialog.reset();

    QTRY_VERIFY_WITH_TIMEOUT(!testsupport::capturedLines(log, "[CCreditDataSendFileDialog] readFile:").isEmpty(),
                             120000);
    QCoreApplication::processEvents();
    QCOMPARE(m_boxes, QStringList());
    QVERIFY(m_service->operations().empty());
}

void TestCreditDataSendFileDialog::panelOpensDialogOnce_data()
{
    QTest::addColumn<int>("closeWith");
    QTest::addColumn<int>("queries");
    QTest::newRow("accepted dialog refreshes once") << 1 << 1;
    QTest::newRow("closed dialog refreshes nothing") << 0 << 0;
}

// The upload button makes the dialog once and hands it the current brokers before every showing:
// every summary record one item in list order (name shown, id as data), others skipped, the chosen
// file kept. An upload that ends with 1 sends one summary query.
void TestCreditDataSendFileDialog::panelOpensDialogOnce()
{
    QFETCH(int, closeWith);
    QFETCH(int, queries);

    testsupport::ScriptedAnswer summary;
    summary.records = brokers();
    m_service->queueQueryAnswer(summary);
    testsupport::PanelProbe panel;
    panel.request();
    QTRY_COMPARE(int(panel.records.size()), 5);
    const int before = m_service->queryCount();

    QList<QPointer<QDialog>> seen;
    QStringList offered; // the combo's items and the file, at each showing
    for (int round = 0; round < 2; ++round) {
        whenModal([&](QWidget* modal) {
            seen << qobject_cast<QDialog*>(modal);
            auto* combo = child<QComboBox>(modal, "sendFileBrokerCombo");
            for (int i = 0; i < combo->count(); ++i)
                offered << combo->itemText(i) + QLatin1Char('=') + combo->itemData(i, Qt::UserRole).toString();
            offered << child<QLineEdit>(modal, "sendFileEdit")->text();
            child<QLineEdit>(modal, "sendFileEdit")->setText(QStringLiteral("/tmp/a.csv"));
            qobject_cast<QDialog*>(modal)->done(closeWith);
        });
        QVERIFY(panel.handleEvent(5, 200, 0, QString(), nullptr));
    }
    QCOMPARE(seen.size(), 2);
    QVERIFY(seen.at(0) && seen.at(0) == seen.at(1));
    QCOMPARE(seen.at(0)->parentWidget(), static_cast<QWidget*>(&panel));
    const QStringList items{"国信证券=GX", "华泰证券=HT", "中信证券=CITIC", "国信证券=GX"};
    QCOMPARE(offered, items + QStringList{QString()} + items + QStringList{"/tmp/a.csv"});
    QCOMPARE(m_service->queryCount() - before, 2 * queries);
}

QTEST_MAIN(TestCreditDataSendFileDialog)
#include "tst_creditdatasendfiledialog.moc"
