// The dialog frame and the message boxes.
#include "hosttoolkit.h"
#include "standintoolkit.h"

#include <QAbstractButton>
#include <QApplication>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <thread>

Q_DECLARE_METATYPE(standin::MessageRecord::Kind)

class TestDialogs : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void innerWidgetAndCloseButton();
    void messageShowsWhatWasAsked_data();
    void messageShowsWhatWasAsked();
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
    standin::setMessageInterceptor(nullptr);
    m_answerer.stop();
    m_shown.clear();
}

void TestDialogs::messageShowsWhatWasAsked_data()
{
    QTest::addColumn<bool>("intercepted");
    QTest::addColumn<standin::MessageRecord::Kind>("kind");
    QTest::addColumn<bool>("success");
    QTest::addColumn<bool>("noCloseButton");
    QTest::addColumn<QString>("expected"); // intercepted: "kind|title|text", else as m_shown

    const auto info = standin::MessageRecord::Information, warn = standin::MessageRecord::Warning,
               server = standin::MessageRecord::ServerMessage;
    QTest::newRow("information intercepted") << true << info << false << false << "0|提示|文件内容为空";
    QTest::newRow("server message intercepted") << true << server << true << false << "2|提示|文件内容为空";
    QTest::newRow("information") << false << info << false << false << "1|提示|文件内容为空|1|1|1";
    QTest::newRow("warning without close button") << false << warn << false << true << "1|提示|文件内容为空|2|0|1";
    QTest::newRow("server success") << false << server << true << false << "1|提示|文件内容为空|1|1|1";
    QTest::newRow("server failure") << false << server << false << false << "1|提示|文件内容为空|2|1|1";
}

// With an interceptor nothing is shown: it gets the record and its answer is returned. Without
// one a real modal box appears with the title, text, icon, default and close button asked for,
// and the pressed button comes back.
void TestDialogs::messageShowsWhatWasAsked()
{
    QFETCH(bool, intercepted);
    QFETCH(standin::MessageRecord::Kind, kind);
    QFETCH(bool, success);
    QFETCH(bool, noCloseButton);
    QFETCH(QString, expected);

    if (intercepted) {
        standin::setMessageInterceptor([&](const standin::MessageRecord& record) {
            m_shown = QStringLiteral("%1|%2|%3").arg(record.kind).arg(record.title, record.text);
            return QApplication::activeModalWidget() ? -1 : int(QMessageBox::Yes);
        });
    }
    m_answerer.start();
    const auto buttons = QMessageBox::Yes | QMessageBox::No;
    QWidget parent;
    int result = 0;
    if (kind == standin::MessageRecord::ServerMessage) {
        standin::MessageRecord record;
        record.kind = kind;
        record.success = success;
        record.title = QStringLiteral("提示");
        record.text = QStringLiteral("文件内容为空");
        QVERIFY(standin::dispatchMessage(&parent, record, buttons, QMessageBox::No, &result));
    } else {
        const auto show =
            kind == standin::MessageRecord::Warning ? &WB::CMessageBox::warning : &WB::CMessageBox::information;
        result = show(&parent, "提示", "文件内容为空", buttons, QMessageBox::No, noCloseButton);
    }
    QCOMPARE(m_shown, expected);
    QCOMPARE(result, int(QMessageBox::Yes));
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

// The inner widget becomes the dialog's child and fills it below the title bar, inside the
// 1px frame, also on resize; the × in the title bar ends the dialog with 0, as done(0) would.
void TestDialogs::innerWidgetAndCloseButton()
{
    QWidget owner;
    WB::CCommonDialog dialog(nullptr);
    dialog.setTitle(QStringLiteral("查询"));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("查询"));
    QVERIFY(dialog.windowFlags().testFlag(Qt::FramelessWindowHint));
    dialog.resize(800, 600);
    auto* inner = new QWidget(&owner);
    dialog.setInnerWidget(inner);
    QCOMPARE(inner->parentWidget(), static_cast<QWidget*>(&dialog));
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    const int top = WB::CCustomDialog::titleBarHeight();
    QCOMPARE(inner->geometry(), QRect(1, top, 798, 600 - top - 1));
    dialog.resize(500, 600);
    QTRY_COMPARE(inner->geometry(), QRect(1, top, 498, 600 - top - 1));

    auto* close = dialog.findChild<QAbstractButton*>(QStringLiteral("dialogCloseButton"));
    QVERIFY(close);
    QVERIFY(close->isVisible());
    QVERIFY(close->geometry().right() <= dialog.width() - 1);
    QVERIFY(close->geometry().bottom() < top);
    QSignalSpy finished(&dialog, &QDialog::finished);
    QTest::mouseClick(close, Qt::LeftButton);
    QCOMPARE(finished.count(), 1);
    QCOMPARE(finished.at(0).at(0).toInt(), 0);
    QVERIFY(!dialog.isVisible());
}

QTEST_MAIN(TestDialogs)
#include "tst_dialogs.moc"
