#include "hosttoolkit.h"

#include <QTest>

class TestWidgetList : public QObject
{
    Q_OBJECT

private slots:
    void anchorsAcrossARow_data();
    void anchorsAcrossARow();
    void anchorsAcrossAColumn_data();
    void anchorsAcrossAColumn();
    void fixedStretchAndSpaces();
    void innerStretchWidgetFillsItsParent();
};

void TestWidgetList::anchorsAcrossARow_data()
{
    QTest::addColumn<int>("anchor");
    QTest::addColumn<int>("height"); // 0: no fixed height
    QTest::addColumn<QRect>("expected");
    // A 36-high row with margins 3 (left), 5 (top), 0 (right), 5 (bottom): a 26-high band at y 5.
    QTest::newRow("tool bar button centred") << 1 << 26 << QRect(3, 5, 70, 26);
    QTest::newRow("start") << 0 << 16 << QRect(3, 5, 70, 16);
    QTest::newRow("centre") << 1 << 16 << QRect(3, 10, 70, 16);
    QTest::newRow("end") << 2 << 16 << QRect(3, 15, 70, 16);
    QTest::newRow("fill") << 3 << 0 << QRect(3, 5, 70, 26);
}

void TestWidgetList::anchorsAcrossARow()
{
    QFETCH(int, anchor);
    QFETCH(int, height);
    QFETCH(QRect, expected);
    WB::CWidgetList row(Qt::Horizontal, nullptr);
    row.setFixedSize(300, 36);
    row.setSpacing(0);
    row.setMargin(3, 5, 0, 5);
    auto* w = new QWidget(&row);
    w->setFixedWidth(70);
    if (height > 0)
        w->setFixedHeight(height);
    row.addFixedWidget(w, anchor, false);
    row.show();
    QVERIFY(QTest::qWaitForWindowExposed(&row));
    QCOMPARE(w->geometry(), expected);
}

void TestWidgetList::anchorsAcrossAColumn_data()
{
    QTest::addColumn<int>("anchor");
    QTest::addColumn<QRect>("expected");
    // Margins 10, 10, 20, 15 leave a 170-wide band from x 10.
    QTest::newRow("start") << 0 << QRect(10, 10, 50, 20);
    QTest::newRow("centre") << 1 << QRect(70, 10, 50, 20);
    QTest::newRow("end") << 2 << QRect(130, 10, 50, 20);
    QTest::newRow("fill") << 3 << QRect(10, 10, 170, 20);
}

void TestWidgetList::anchorsAcrossAColumn()
{
    QFETCH(int, anchor);
    QFETCH(QRect, expected);
    WB::CWidgetList column(Qt::Vertical, nullptr);
    column.setFixedSize(200, 200);
    column.setMargin(10, 10, 20, 15);
    auto* w = new QWidget(&column);
    w->setFixedHeight(20);
    if (anchor != WB::eAnchorFill)
        w->setFixedWidth(50);
    column.addFixedWidget(w, anchor, false);
    column.addStretchSpace(1);
    column.show();
    QVERIFY(QTest::qWaitForWindowExposed(&column));
    QCOMPARE(w->geometry(), expected);
}

// Fixed widgets keep their length, stretched ones share the rest by factor, prepend goes first.
void TestWidgetList::fixedStretchAndSpaces()
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

// The inner widget fills its parent less the margins (left, top, right, bottom), also on resize.
void TestWidgetList::innerStretchWidgetFillsItsParent()
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

    // A second inner widget replaces the first.
    auto* other = new QWidget(&panel);
    WB::setInnerStretchWidget(other, 0, 0, 0, 0);
    QTRY_COMPARE(other->geometry(), QRect(0, 0, 500, 400));
    QVERIFY(list->isHidden());
}

QTEST_MAIN(TestWidgetList)
#include "tst_widgetlist.moc"
