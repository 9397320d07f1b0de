// Row buttons: a click on an enabled button reaches the receiver as event 228 with the row key
// and the button id, from the event loop once the mouse event is over; nothing else does.
#include "hpftestmodel.h"

#include <QHeaderView>
#include <QTableView>
#include <QtTest>

#include <memory>

using namespace hpftest;

class TestMultiButtonsDelegate : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void click_data();
    void click();
    void deliveredAfterTheMouseEvent_data();
    void deliveredAfterTheMouseEvent();

private:
    QRect cellRect(int row) const { return m_table->view()->visualRect(m_table->view()->model()->index(row, 3)); }
    QVector<QRect> rects(int row) const
    {
        const QString key = m_table->view()->model()->index(row, 3).data(Qt::UserRole + 1).toString();
        return m_delegate->buttonRects(key.toStdString(), cellRect(row));
    }

    WB::CStandardHpfTable* m_table = nullptr;
    WB::CBaseTableColumnMultiButtonsDelegate* m_delegate = nullptr;
    Recorder m_recorder;
    Recorder m_parent; // the table's window, to which it passes the events it is sent
};

void TestMultiButtonsDelegate::init()
{
    m_recorder.events.clear();
    m_parent.events.clear();
    auto* model = new TestModel;
    for (const char* key : {"券商A", "券商B", "券商C"})
        model->addData(row(key, {"甲", "1", "x", "-"}));
    m_table = new WB::CStandardHpfTable(1331, &m_parent, WB::EBaseTableMenuFlags(0xFF));
    m_table->setDataModel(model);
    m_delegate = new WB::CBaseTableColumnMultiButtonsDelegate(3, &m_recorder);
    m_table->setColumnDelegate(3, m_delegate);
    m_delegate->setItemButtons("券商A", {WB::ButtonData(0, "查询", WB::eBlueButton)}, true);
    m_delegate->setItemButtons("券商B",
                               {WB::ButtonData(0, "查询", WB::eBlueButton),
                                WB::ButtonData(7, "删除", WB::eRedButton, false, {{0, "删除该券商"}})},
                               true);
    m_delegate->setItemButtons("券商C", {WB::ButtonData(0, "查询", WB::eBlueButton, true)}, true);
    m_parent.resize(700, 300);
    m_table->resize(700, 300);
    m_parent.show();
    QVERIFY(QTest::qWaitForWindowExposed(&m_parent));
    static_cast<QTableView*>(m_table->view())->horizontalHeader()->resizeSection(3, 160);
}

void TestMultiButtonsDelegate::cleanup()
{
    delete m_table; // and its model with it
    m_table = nullptr;
}

void TestMultiButtonsDelegate::click_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("press");        // the button pressed, -1: the empty left edge of the cell
    QTest::addColumn<int>("release");      // the button the mouse is released over
    QTest::addColumn<QString>("expected"); // "type:column:id:key", empty for no event
    QTest::addColumn<bool>("removed");     // the row's buttons set to an empty list before the click

    QTest::newRow("single button") << 0 << 0 << 0 << "228:3:0:券商A" << false;
    QTest::newRow("second of two buttons") << 1 << 1 << 1 << "228:3:7:券商B" << false;
    QTest::newRow("disabled button") << 2 << 0 << 0 << "" << false;
    QTest::newRow("beside the buttons") << 0 << -1 << -1 << "" << false;
    QTest::newRow("released over another button") << 1 << 0 << 1 << "" << false;
    QTest::newRow("where removed buttons were") << 0 << 0 << 0 << "" << true;
}

// Only a press and release on the same enabled button is a click (an empty list removes a row's
// buttons); afterwards a full click on
// another row's button still works and is the button's, not a row selection.
void TestMultiButtonsDelegate::click()
{
    QFETCH(int, row);
    QFETCH(int, press);
    QFETCH(int, release);
    QFETCH(QString, expected);
    QFETCH(bool, removed);

    const QVector<QRect> buttons = rects(row);
    QVERIFY(!buttons.isEmpty());
    if (removed) {
        m_delegate->setItemButtons("券商A", {}, true);
        QVERIFY(rects(row).isEmpty());
    }
    const QPoint edge(cellRect(row).left() + 2, cellRect(row).center().y());
    QWidget* viewport = m_table->view()->viewport();
    QTest::mousePress(viewport, Qt::LeftButton, {}, press >= 0 ? buttons[press].center() : edge);
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, release >= 0 ? buttons[release].center() : edge);
    QCoreApplication::sendPostedEvents();
    QCOMPARE(m_recorder.events.join(','), expected);

    m_recorder.events.clear();
    static_cast<QTableView*>(m_table->view())->selectRow(2);
    QTest::mouseClick(viewport, Qt::LeftButton, {}, rects(1)[1].center());
    QCoreApplication::sendPostedEvents();
    QCOMPARE(m_recorder.events, QStringList{"228:3:7:券商B"});
    QCOMPARE(m_table->view()->selectionModel()->selectedRows(), QModelIndexList{m_table->view()->model()->index(2, 0)});
}

void TestMultiButtonsDelegate::deliveredAfterTheMouseEvent_data()
{
    QTest::addColumn<bool>("tableReceives"); // else a receiver of its own; the table passes it up to its parent
    QTest::addColumn<QString>("deleted");    // what goes away between the click and its delivery
    QTest::addColumn<QStringList>("delivered");

    const QStringList click{"228:3:0:券商A"};
    QTest::newRow("table receives, nothing deleted") << true << "" << click;
    QTest::newRow("table receives, table deleted") << true << "table" << QStringList();
    QTest::newRow("own receiver deleted, table kept") << false << "receiver" << QStringList();
}

// A click reaches its receiver only after the view's mouse handler is done (so a receiver may run a
// modal dialog that deletes the table); a table or receiver deleted before delivery gets nothing.
void TestMultiButtonsDelegate::deliveredAfterTheMouseEvent()
{
    QFETCH(bool, tableReceives);
    QFETCH(QString, deleted);
    QFETCH(QStringList, delivered);

    auto own = std::make_unique<Recorder>();
    m_delegate = new WB::CBaseTableColumnMultiButtonsDelegate(
        3, tableReceives ? static_cast<WB::CEventDeliverer*>(m_table) : own.get());
    m_table->setColumnDelegate(3, m_delegate);
    m_delegate->setItemButtons("券商A", {WB::ButtonData(0, "查询", WB::eBlueButton)}, true);
    QTest::mouseClick(m_table->view()->viewport(), Qt::LeftButton, {}, rects(0)[0].center());
    QVERIFY(m_parent.events.isEmpty() && own->events.isEmpty());
    if (deleted == QLatin1String("table")) {
        delete m_table;
        m_table = nullptr;
    } else if (deleted == QLatin1String("receiver")) {
        own.reset();
    }

    QCoreApplication::sendPostedEvents();
    QCOMPARE(m_parent.events, tableReceives ? delivered : QStringList());
    QCOMPARE(own ? own->events : QStringList(), tableReceives ? QStringList() : delivered);
}

QTEST_MAIN(TestMultiButtonsDelegate)
#include "tst_multibuttonsdelegate.moc"
