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
    void closeButtonEndsWithZero();
    void messageOffTheGuiThreadIsQueued();
};

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
    std::thread([&] {
        delivered = standin::dispatchMessage(nullptr, record, QMessageBox::Ok, QMessageBox::NoButton, &result);
    }).join();
    QVERIFY(!delivered);
    QCOMPARE(result, int(QMessageBox::NoButton));

    // The box runs a loop of its own: a timer notes where and what it is, and answers it.
    QString shown;
    QTimer answerer;
    connect(&answerer, &QTimer::timeout, this, [&shown] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            shown =
                QStringLiteral("%1|%2|%3").arg(box->thread() == qApp->thread()).arg(box->windowTitle(), box->text());
            box->button(QMessageBox::Ok)->click();
        }
    });
    answerer.start(10);
    QTRY_COMPARE(shown, QStringLiteral("1|提示|文件打开失败"));
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
    QCOMPARE(QList<QVariantList>(finished), QList<QVariantList>{{0}});
    QVERIFY(!dialog.isVisible());
}

QTEST_MAIN(TestDialogs)
#include "tst_dialogs.moc"
