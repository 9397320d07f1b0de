#include "hosttoolkit.h"

#include <QMouseEvent>
#include <QSignalSpy>
#include <QTest>

class TestDialogs : public QObject
{
    Q_OBJECT

private slots:
    void innerWidgetFillsBelowTitleBar();
    void closeButtonRejects();
    void titleBarDragsTheDialog_data();
    void titleBarDragsTheDialog();
};

// The inner widget becomes the dialog's child and fills it below the title bar, inside the border.
void TestDialogs::innerWidgetFillsBelowTitleBar()
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
    QCOMPARE(dialog.innerWidget(), inner);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    const int top = WB::CCustomDialog::titleBarHeight();
    QCOMPARE(inner->geometry(), QRect(1, top, 798, 600 - top - 1));
    dialog.resize(500, 600);
    QTRY_COMPARE(inner->geometry(), QRect(1, top, 498, 600 - top - 1));
}

// The × ends the dialog with 0, as done(0) would.
void TestDialogs::closeButtonRejects()
{
    WB::CCommonDialog dialog(nullptr);
    dialog.resize(460, 380);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    auto* close = dialog.findChild<QAbstractButton*>(QStringLiteral("dialogCloseButton"));
    QVERIFY(close);
    QVERIFY(close->isVisible());
    QVERIFY(close->geometry().right() <= dialog.width() - 1);
    QVERIFY(close->geometry().bottom() < WB::CCustomDialog::titleBarHeight());
    QSignalSpy finished(&dialog, &QDialog::finished);
    QTest::mouseClick(close, Qt::LeftButton);
    QCOMPARE(finished.count(), 1);
    QCOMPARE(finished.at(0).at(0).toInt(), 0);
    QVERIFY(!dialog.isVisible());
}

void TestDialogs::titleBarDragsTheDialog_data()
{
    QTest::addColumn<QPoint>("grab");
    QTest::addColumn<QPoint>("expectedShift");
    QTest::newRow("title bar moves it") << QPoint(100, 10) << QPoint(40, 25);
    QTest::newRow("body does not") << QPoint(100, 100) << QPoint(0, 0);
}

void TestDialogs::titleBarDragsTheDialog()
{
    QFETCH(QPoint, grab);
    QFETCH(QPoint, expectedShift);
    WB::CCustomDialog dialog(nullptr);
    dialog.setGeometry(100, 100, 460, 380);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    const QPoint start = dialog.pos();
    const QPoint global = dialog.mapToGlobal(grab);
    const QPoint shift(40, 25);

    QMouseEvent press(QEvent::MouseButtonPress, grab, global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&dialog, &press);
    QMouseEvent move(QEvent::MouseMove, grab + shift, global + shift, Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&dialog, &move);
    QMouseEvent release(QEvent::MouseButtonRelease, grab + shift, global + shift, Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(&dialog, &release);
    QTRY_COMPARE(dialog.pos(), start + expectedShift);
}

QTEST_MAIN(TestDialogs)
#include "tst_dialogs.moc"
