// The dialog's close button and the message boxes.
#include "hosttoolkit.h"
#include "standintoolkit.h"

#include <QAbstractButton>
#include <QApplication>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <thread>

class TestDialogs : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void closeButtonEndsWithZero();
    void messageOffTheGuiThreadIsQueued();

private:
    // Describes the first modal message box that turns up into m_shown and presses Yes or Ok.
    QTimer m_answerer;
    QString m_shown;
};

void TestDialogs::initTestCase()
{
    connect(&m_answerer, &QTimer::timeout, this, [this] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !m_shown.isEmpty())
            return;
        // on the GUI thread|title|text|icon|has a close button|No is the default
        m_shown = QStringLiteral("%1|%2|%3|%4|%5|%6")
                      .arg(box->thread() == qApp->thread())
                      .arg(box->windowTitle(), box->text())
                      .arg(box->icon())
                      .arg(box->windowFlags().testFlag(Qt::WindowCloseButtonHint))
                      .arg(box->defaultButton() == box->button(QMessageBox::No));
        (box->button(QMessageBox::Yes) ? box->button(QMessageBox::Yes) : box->button(QMessageBox::Ok))->click();
    });
    m_answerer.setInterval(10);
}

void TestDialogs::cleanup()
{
    m_answerer.stop();
    m_shown.clear();
}

// Asked for on a worker thread, the box is not built there: the caller gets no answer and the
// box appears on the GUI thread afterwards.
void TestDialogs::messageOffTheGuiThreadIsQueued()
{
    standin::MessageRecord record;
    record.kind = standin::MessageRecord::Warning;
    record.title = QStringLiteral("提示");
    record.text = QStringLiteral("文件打开失败");
    bool delivered = true;
    int result = -1;
    std::thread worker([&] {
        delivered = standin::dispatchMessage(nullptr, record, QMessageBox::Ok, QMessageBox::NoButton, &result);
    });
    worker.join();
    QVERIFY(!delivered);
    QCOMPARE(result, int(QMessageBox::NoButton));

    m_answerer.start();
    QTRY_VERIFY(m_shown.startsWith(QStringLiteral("1|提示|文件打开失败|")));
}

// The × in the title bar ends the dialog with 0, as done(0) would.
void TestDialogs::closeButtonEndsWithZero()
{
    WB::CCommonDialog dialog(nullptr);
    dialog.resize(800, 600);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    auto* close = dialog.findChild<QAbstractButton*>(QStringLiteral("dialogCloseButton"));
    QVERIFY(close);
    QSignalSpy finished(&dialog, &QDialog::finished);
    QTest::mouseClick(close, Qt::LeftButton);
    QCOMPARE(finished.count(), 1);
    QCOMPARE(finished.at(0).at(0).toInt(), 0);
    QVERIFY(!dialog.isVisible());
}

QTEST_MAIN(TestDialogs)
#include "tst_dialogs.moc"
