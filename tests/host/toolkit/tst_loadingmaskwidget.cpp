#include "hosttoolkit.h"

#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>

class TestLoadingMaskWidget : public QObject
{
    Q_OBJECT

private slots:
    void blocksMouseAndKeyboard();
    void busyOnlyWhileShown();
};

// While shown, clicks and keys meant for covered widgets end at the mask; after hide they arrive.
void TestLoadingMaskWidget::blocksMouseAndKeyboard()
{
    QWidget window;
    window.resize(300, 200);
    auto* button = new WB::CSmallNormalButton(1, false, WB::eBlueButton, &window);
    button->setGeometry(20, 20, 80, 26);
    auto* edit = new QLineEdit(&window);
    edit->setGeometry(20, 60, 150, 26);
    (new QLineEdit(&window))->setGeometry(20, 100, 150, 26); // somewhere for Tab to go
    WB::CLoadingMaskWidget mask(QStringLiteral("正在上传数据..."), &window);
    mask.hide();
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    edit->setFocus();
    QSignalSpy clicked(button, &QAbstractButton::clicked);
    QWindow* handle = window.windowHandle();

    mask.attach(&window);
    QTRY_VERIFY(mask.hasFocus());
    QTest::mouseClick(handle, Qt::LeftButton, Qt::NoModifier, button->geometry().center());
    QTest::keyClick(handle, Qt::Key_A);
    QTest::keyClick(handle, Qt::Key_Tab);
    QCOMPARE(clicked.count(), 0);
    QVERIFY(edit->text().isEmpty());
    QVERIFY(mask.hasFocus());

    mask.hide();
    QTest::mouseClick(handle, Qt::LeftButton, Qt::NoModifier, button->geometry().center());
    QCOMPARE(clicked.count(), 1);
    edit->setFocus();
    QTest::keyClick(handle, Qt::Key_A);
    QCOMPARE(edit->text(), QStringLiteral("a"));
}

// A dialog attaches its mask before exec(): the mask turns up, covering, when the dialog shows,
// and follows the target it is attached to; a target that dies takes the mask down with it
// instead of leaving it dangling.
void TestLoadingMaskWidget::busyOnlyWhileShown()
{
    WB::CCommonDialog dialog(nullptr);
    dialog.resize(800, 600);
    WB::CLoadingMaskWidget mask(QStringLiteral("正在获取数据..."), &dialog);
    mask.hide();
    mask.attach(&dialog);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QVERIFY(mask.isVisible());
    QCOMPARE(dialog.childAt(400, 10), static_cast<QWidget*>(&mask)); // the title bar's × too

    auto* target = new QWidget(&dialog);
    target->setGeometry(10, 10, 100, 100);
    target->show();
    mask.attach(target);
    target->resize(150, 120);
    QCOMPARE(mask.geometry(), QRect(10, 10, 150, 120));
    delete target;
    QVERIFY(!mask.attachedTo());
    QVERIFY(mask.isHidden());
}

QTEST_MAIN(TestLoadingMaskWidget)
#include "tst_loadingmaskwidget.moc"
