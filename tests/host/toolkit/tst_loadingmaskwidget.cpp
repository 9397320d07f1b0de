#include "hosttoolkit.h"

#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

class TestLoadingMaskWidget : public QObject
{
    Q_OBJECT

private slots:
    void coversAndFollows_data();
    void coversAndFollows();
    void blocksMouseAndKeyboard();
    void busyOnlyWhileShown();
};

void TestLoadingMaskWidget::coversAndFollows_data()
{
    QTest::addColumn<int>("depth"); // 0: the mask's parent itself, 2: a grandchild
    QTest::newRow("parent") << 0;
    QTest::newRow("grandchild") << 2;
}

// The mask covers exactly the target, wherever it sits below the mask's parent, follows it and
// stays on top, even of children created after attaching.
void TestLoadingMaskWidget::coversAndFollows()
{
    QFETCH(int, depth);
    QWidget window;
    window.resize(400, 300);
    QWidget* target = &window;
    for (int i = 0; i < depth; ++i) {
        target = new QWidget(target);
        target->setGeometry(10 + i * 7, 20 + i * 5, 300 - i * 40, 200 - i * 40);
    }
    WB::CLoadingMaskWidget mask(QStringLiteral("正在获取数据..."), &window);
    mask.hide();
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    mask.attach(target);
    QVERIFY(mask.isVisible());
    QCOMPARE(mask.attachedTo(), target);
    const auto expected = [&] { return QRect(target->mapTo(&window, QPoint(0, 0)), target->size()); };
    QCOMPARE(mask.geometry(), expected());
    target->resize(target->width() - 30, target->height() + 15);
    QCOMPARE(mask.geometry(), expected());
    if (target != &window) {
        target->move(target->pos() + QPoint(4, 6));
        QCOMPARE(mask.geometry(), expected());
    }
    (new QWidget(&window))->show();
    QTRY_COMPARE(window.childAt(mask.geometry().center()), static_cast<QWidget*>(&mask));
}

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

// A dialog attaches its mask before exec(): the mask turns up, covering, when the dialog shows.
// Hidden, the mask turns nothing and no longer follows its target; attaching again resumes; a
// target that dies takes the mask down with it instead of leaving it dangling.
void TestLoadingMaskWidget::busyOnlyWhileShown()
{
    WB::CCommonDialog dialog(nullptr);
    dialog.resize(800, 600);
    WB::CLoadingMaskWidget mask(QStringLiteral("正在获取数据..."), &dialog);
    mask.hide();
    mask.attach(&dialog);
    auto* timer = mask.findChild<QTimer*>(QStringLiteral("loadingMaskTimer"));
    QVERIFY(timer);
    QVERIFY(!timer->isActive());
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QVERIFY(mask.isVisible());
    QVERIFY(timer->isActive());
    QCOMPARE(mask.geometry(), dialog.rect());
    QCOMPARE(dialog.childAt(400, 10), static_cast<QWidget*>(&mask)); // the title bar's × too

    auto* target = new QWidget(&dialog);
    target->setGeometry(10, 10, 100, 100);
    target->show();
    mask.attach(target);
    mask.hide();
    QVERIFY(!timer->isActive());
    target->resize(150, 120);
    QCOMPARE(mask.size(), QSize(100, 100));
    mask.attach(target);
    QVERIFY(timer->isActive());
    QCOMPARE(mask.size(), QSize(150, 120));
    delete target;
    QVERIFY(!mask.attachedTo());
    QVERIFY(mask.isHidden());
}

QTEST_MAIN(TestLoadingMaskWidget)
#include "tst_loadingmaskwidget.moc"
