#include "hosttoolkit.h"

#include <QAbstractButton>
#include <QApplication>
#include <QTest>
#include <QTimer>

#include <thread>

Q_DECLARE_METATYPE(WB::MessageRecord::Kind)

class TestMessageBox : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { WB::CMessageBox::setInterceptor(nullptr); }
    void interceptorGetsTheRecord_data();
    void interceptorGetsTheRecord();
    void realBoxShowsWhatWasAsked_data();
    void realBoxShowsWhatWasAsked();
    void noCloseButtonFlag_data();
    void noCloseButtonFlag();
    void offTheGuiThreadIsQueued();
};

void TestMessageBox::interceptorGetsTheRecord_data()
{
    QTest::addColumn<bool>("warning");
    QTest::newRow("information") << false;
    QTest::newRow("warning") << true;
}

// With an interceptor nothing is shown: it gets the record and its answer is returned.
void TestMessageBox::interceptorGetsTheRecord()
{
    QFETCH(bool, warning);
    QList<WB::MessageRecord> seen;
    WB::CMessageBox::setInterceptor([&](const WB::MessageRecord& record) {
        seen << record;
        // Nothing modal may be up while intercepting.
        return QApplication::activeModalWidget() ? -1 : int(QMessageBox::Yes);
    });
    QWidget parent;
    const int answer = warning ? WB::CMessageBox::warning(&parent, "提示", "未选择文件")
                               : WB::CMessageBox::information(&parent, "提示", "未选择文件");
    QCOMPARE(answer, int(QMessageBox::Yes));
    QCOMPARE(seen.size(), 1);
    QCOMPARE(seen[0].kind, warning ? WB::MessageRecord::Warning : WB::MessageRecord::Information);
    QCOMPARE(seen[0].title, QStringLiteral("提示"));
    QCOMPARE(seen[0].text, QStringLiteral("未选择文件"));

    WB::MessageRecord server;
    server.kind = WB::MessageRecord::ServerMessage;
    server.text = QStringLiteral("发送成功");
    server.success = true;
    int result = 0;
    QVERIFY(WB::CMessageBox::dispatch(&parent, server, QMessageBox::Ok, QMessageBox::NoButton, &result));
    QCOMPARE(result, int(QMessageBox::Yes));
    QCOMPARE(seen.size(), 2);
    QCOMPARE(seen[1].kind, WB::MessageRecord::ServerMessage);
}

void TestMessageBox::realBoxShowsWhatWasAsked_data()
{
    QTest::addColumn<WB::MessageRecord::Kind>("kind");
    QTest::addColumn<bool>("success");
    QTest::addColumn<int>("icon");
    QTest::newRow("information") << WB::MessageRecord::Information << false << int(QMessageBox::Information);
    QTest::newRow("warning") << WB::MessageRecord::Warning << false << int(QMessageBox::Warning);
    QTest::newRow("server success") << WB::MessageRecord::ServerMessage << true << int(QMessageBox::Information);
    QTest::newRow("server failure") << WB::MessageRecord::ServerMessage << false << int(QMessageBox::Warning);
}

// Without an interceptor a real modal box appears with the title, text, icon and default
// button, and the pressed button comes back.
void TestMessageBox::realBoxShowsWhatWasAsked()
{
    QFETCH(WB::MessageRecord::Kind, kind);
    QFETCH(bool, success);
    QFETCH(int, icon);
    WB::MessageRecord record;
    record.kind = kind;
    record.success = success;
    record.title = QStringLiteral("提示");
    record.text = QStringLiteral("文件内容为空");

    QString shown;
    QTimer::singleShot(0, this, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        shown = QStringLiteral("%1|%2|%3|%4")
                    .arg(box->windowTitle(), box->text())
                    .arg(box->icon())
                    .arg(box->defaultButton() == box->button(QMessageBox::No));
        box->button(QMessageBox::Yes)->click();
    });
    QWidget parent;
    int result = 0;
    QVERIFY(WB::CMessageBox::dispatch(&parent, record, QMessageBox::Yes | QMessageBox::No, QMessageBox::No, &result));
    QCOMPARE(shown, QStringLiteral("提示|文件内容为空|%1|1").arg(icon));
    QCOMPARE(result, int(QMessageBox::Yes));
}

void TestMessageBox::noCloseButtonFlag_data()
{
    QTest::addColumn<bool>("noCloseButton");
    QTest::newRow("with close button") << false;
    QTest::newRow("without close button") << true;
}

// The last flag takes the close button off the box's title bar.
void TestMessageBox::noCloseButtonFlag()
{
    QFETCH(bool, noCloseButton);
    int hasClose = -1;
    QTimer::singleShot(0, this, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        hasClose = box->windowFlags().testFlag(Qt::WindowCloseButtonHint) ? 1 : 0;
        box->button(QMessageBox::Ok)->click();
    });
    QWidget parent;
    const int answer = WB::CMessageBox::information(&parent, "提示", "发送成功", QMessageBox::Ok,
                                                    QMessageBox::NoButton, noCloseButton);
    QCOMPARE(answer, int(QMessageBox::Ok));
    QCOMPARE(hasClose, noCloseButton ? 0 : 1);
}

// Asked for on a worker thread, the box is not built there: the caller gets no answer and the
// box appears on the GUI thread afterwards.
void TestMessageBox::offTheGuiThreadIsQueued()
{
    WB::MessageRecord record;
    record.kind = WB::MessageRecord::Warning;
    record.title = QStringLiteral("提示");
    record.text = QStringLiteral("文件打开失败");
    bool delivered = true;
    int result = -1;
    std::thread worker([&] {
        delivered = WB::CMessageBox::dispatch(nullptr, record, QMessageBox::Ok, QMessageBox::NoButton, &result);
    });
    worker.join();
    QVERIFY(!delivered);
    QCOMPARE(result, int(QMessageBox::NoButton));

    QString shownOn;
    QTimer closer;
    connect(&closer, &QTimer::timeout, this, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            shownOn = box->thread() == qApp->thread() ? box->text() : QStringLiteral("wrong thread");
            box->button(QMessageBox::Ok)->click();
        }
    });
    closer.start(10);
    QTRY_COMPARE(shownOn, QStringLiteral("文件打开失败"));
}

QTEST_MAIN(TestMessageBox)
#include "tst_messagebox.moc"
