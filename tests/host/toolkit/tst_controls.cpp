// Layout lists, the safe line edit and the text label.
#include "hosttoolkit.h"

#include <QApplication>
#include <QClipboard>
#include <QHelpEvent>
#include <QTest>
#include <QToolTip>

class TestControls : public QObject
{
    Q_OBJECT

private slots:
    void anchors_data();
    void anchors();
    void fixedStretchAndSpaces();
    void innerStretchWidgetFillsItsParent();
    void stripsControlCharacters_data();
    void stripsControlCharacters();
    void toolTipOnlyWhenCut_data();
    void toolTipOnlyWhenCut();
};

void TestControls::anchors_data()
{
    QTest::addColumn<int>("orientation");
    QTest::addColumn<int>("anchor");
    QTest::addColumn<QRect>("expected");
    // A 300x36 row with margins 3 (left), 5 (top), 0 (right), 5 (bottom): a 26-high band at y 5.
    QTest::newRow("row: start") << int(Qt::Horizontal) << 0 << QRect(3, 5, 70, 16);
    QTest::newRow("row: centre") << int(Qt::Horizontal) << 1 << QRect(3, 10, 70, 16);
    QTest::newRow("row: end") << int(Qt::Horizontal) << 2 << QRect(3, 15, 70, 16);
    QTest::newRow("row: fill") << int(Qt::Horizontal) << 3 << QRect(3, 5, 70, 26);
    // A 200x200 column with margins 10, 10, 20, 15: a 170-wide band from x 10.
    QTest::newRow("column: centre") << int(Qt::Vertical) << 1 << QRect(70, 10, 50, 20);
    QTest::newRow("column: end") << int(Qt::Vertical) << 2 << QRect(130, 10, 50, 20);
    QTest::newRow("column: fill") << int(Qt::Vertical) << 3 << QRect(10, 10, 170, 20);
}

// Across the list a widget sits at the start, centre or end of the band inside the margins, or fills it.
void TestControls::anchors()
{
    QFETCH(int, orientation);
    QFETCH(int, anchor);
    QFETCH(QRect, expected);
    const bool row = orientation == Qt::Horizontal;
    WB::CWidgetList list(Qt::Orientation(orientation), nullptr);
    list.setFixedSize(row ? QSize(300, 36) : QSize(200, 200));
    list.setSpacing(0);
    if (row)
        list.setMargin(3, 5, 0, 5);
    else
        list.setMargin(10, 10, 20, 15);
    auto* w = new QWidget(&list);
    if (anchor != WB::eAnchorFill)
        w->setFixedSize(expected.size());
    else if (row)
        w->setFixedWidth(expected.width());
    else
        w->setFixedHeight(expected.height());
    list.addFixedWidget(w, anchor, false);
    list.addStretchSpace(1);
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));
    QCOMPARE(w->geometry(), expected);
}

// Fixed widgets keep their length, stretched ones share the rest by factor, prepend goes first.
void TestControls::fixedStretchAndSpaces()
{
    WB::CWidgetList row(Qt::Horizontal, nullptr);
    row.setFixedSize(400, 30);
    row.setSpacing(0);
    row.setMargin(0, 0, 0, 0);
    auto* fixed = new QWidget(&row);
    fixed->setFixedWidth(70);
    auto* one = new QWidget(&row);
    auto* three = new QWidget(&row);
    auto* first = new QWidget(&row);
    first->setFixedWidth(40);
    row.addFixedWidget(fixed, 3, false);
    row.addFixedSpace(10);
    row.addStretchWidget(one, 1, 3, false);
    row.addStretchWidget(three, 3, 3, false);
    row.addFixedWidget(first, 3, true);
    row.show();
    QVERIFY(QTest::qWaitForWindowExposed(&row));

    QCOMPARE(first->geometry(), QRect(0, 0, 40, 30));
    QCOMPARE(fixed->geometry(), QRect(40, 0, 70, 30));
    // 400 - 40 - 70 - 10 = 280 shared 1:3.
    QCOMPARE(one->geometry(), QRect(120, 0, 70, 30));
    QCOMPARE(three->geometry(), QRect(190, 0, 210, 30));
}

// The inner widget fills its parent less the margins (left, top, right, bottom), also on resize;
// a second one replaces the first.
void TestControls::innerStretchWidgetFillsItsParent()
{
    QWidget panel;
    panel.resize(300, 200);
    auto* list = new WB::CWidgetList(Qt::Vertical, &panel);
    WB::setInnerStretchWidget(list, 1, 32, 2, 3);
    panel.show();
    QVERIFY(QTest::qWaitForWindowExposed(&panel));
    QCOMPARE(list->geometry(), QRect(1, 32, 297, 165));
    panel.resize(500, 400);
    QTRY_COMPARE(list->geometry(), QRect(1, 32, 497, 365));

    auto* other = new QWidget(&panel);
    WB::setInnerStretchWidget(other, 0, 0, 0, 0);
    QTRY_COMPARE(other->geometry(), QRect(0, 0, 500, 400));
    QVERIFY(list->isHidden());
}

void TestControls::stripsControlCharacters_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("expected");
    QTest::newRow("clean path kept") << QStringLiteral("D:/折算率/券商A.xlsx")
                                     << QStringLiteral("D:/折算率/券商A.xlsx");
    QTest::newRow("tab, CR LF of a copied cell")
        << QStringLiteral("C:/da\tta.csv\r\n") << QStringLiteral("C:/data.csv");
    QTest::newRow("bell, escape, NUL") << QString::fromUtf8("x\ay\x1bz", 6) + QChar(0) << QStringLiteral("xyz");
    QTest::newRow("DEL and C1") << QStringLiteral("a\x7f") + QChar(0x85) + QStringLiteral("b") << QStringLiteral("ab");
    QTest::newRow("line and paragraph separators")
        << QStringLiteral("上") + QChar(0x2028) + QStringLiteral("传") + QChar(0x2029) << QStringLiteral("上传");
    QTest::newRow("only controls") << QStringLiteral("\n\n\t") << QString();
}

// Pasted, inserted or set, the text never keeps a control character.
void TestControls::stripsControlCharacters()
{
    QFETCH(QString, input);
    QFETCH(QString, expected);

    DVK::CSafeLineEdit edit(404, nullptr);
    QApplication::clipboard()->setText(input);
    edit.paste();
    QCOMPARE(edit.text(), expected);
    QCOMPARE(edit.cursorPosition(), expected.size());
    edit.setText(QStringLiteral("[]"));
    edit.setCursorPosition(1);
    edit.insert(input);
    QCOMPARE(edit.text(), QStringLiteral("[") + expected + QStringLiteral("]"));
    QCOMPARE(edit.cursorPosition(), 1 + expected.size());
    edit.setText(input);
    QCOMPARE(edit.text(), expected);
}

void TestControls::toolTipOnlyWhenCut_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("expectTip");
    QTest::newRow("fits") << QStringLiteral("a.csv") << false;
    QTest::newRow("cut") << QStringLiteral("/home/运营/融资融券/折算率/2024-06-28/华泰证券 折算率 最终版.xlsx") << true;
}

// The whole text shows as a tool tip only while the widget cannot show it whole; the label the
// same way.
void TestControls::toolTipOnlyWhenCut()
{
    QFETCH(QString, text);
    QFETCH(bool, expectTip);
    QWidget window;
    auto* edit = new DVK::CSafeLineEdit(404, &window);
    edit->setGeometry(10, 10, 187, 26);
    edit->setText(text);
    auto* label = new WB::CSimpleTextWidget(text, &window);
    label->setFlag(386);
    label->setGeometry(10, 50, 120, 26);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    for (QWidget* w : {static_cast<QWidget*>(edit), static_cast<QWidget*>(label)}) {
        QToolTip::hideText();
        QHelpEvent help(QEvent::ToolTip, QPoint(5, 5), w->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(w, &help);
        QCOMPARE(QToolTip::isVisible() ? QToolTip::text() : QString(), expectTip ? text : QString());
    }
}

QTEST_MAIN(TestControls)
#include "tst_controls.moc"
