// Row buttons: a click on an enabled button reaches the receiver as event 228 with the row key
// and the button id; nothing else does.
#include "hpftestmodel.h"

#include <QHeaderView>
#include <QTableView>
#include <QtTest>

using namespace hpftest;

namespace {

struct Event
{
    int type, id, index;
    QString key;
};

class Recorder : public WB::CEventDeliverer
{
public:
    bool handleEvent(int type, int id, int index, QString key, void*) override
    {
        events.append({type, id, index, key});
        return true;
    }
    QVector<Event> events;
};

} // namespace

class TestMultiButtonsDelegate : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void click_data();
    void click();
    void releaseOnOtherButtonIsNoClick();
    void pressOnButtonKeepsSelection();
    void buttonsPerRow();

private:
    QRect cellRect(int row) const
    {
        return m_table->view()->visualRect(m_table->view()->model()->index(row, 3));
    }

    TestModel* m_model = nullptr;
    WB::CStandardHpfTable* m_table = nullptr;
    WB::CBaseTableColumnMultiButtonsDelegate* m_delegate = nullptr;
    Recorder m_recorder;
};

void TestMultiButtonsDelegate::init()
{
    m_recorder.events.clear();
    m_model = new TestModel;
    m_model->addData(row("券商A", {"甲", "1", "x", "-"}, {0, 1}));
    m_model->addData(row("券商B", {"乙", "2", "y", "-"}, {0, 2}));
    m_model->addData(row("券商C", {"丙", "3", "z", "-"}, {0, 3}));
    m_table = new WB::CStandardHpfTable(1331, nullptr, WB::EBaseTableMenuFlags(0xFF));
    m_table->setDataModel(m_model);
    m_delegate = new WB::CBaseTableColumnMultiButtonsDelegate(3, &m_recorder);
    m_table->setColumnDelegate(3, m_delegate);
    m_delegate->setItemButtons("券商A", {WB::ButtonData(0, "查询", WB::eBlueButton)}, true);
    m_delegate->setItemButtons("券商B",
                               {WB::ButtonData(0, "查询", WB::eBlueButton),
                                WB::ButtonData(7, "删除", WB::eRedButton, false, {{0, "删除该券商"}})},
                               true);
    m_delegate->setItemButtons("券商C", {WB::ButtonData(0, "查询", WB::eBlueButton, true)}, true);
    m_table->resize(700, 300);
    m_table->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_table));
    static_cast<QTableView*>(m_table->view())->horizontalHeader()->resizeSection(3, 160);
}

void TestMultiButtonsDelegate::cleanup()
{
    delete m_table; // and its model with it
    m_table = nullptr;
    m_model = nullptr;
}

void TestMultiButtonsDelegate::click_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("button"); // -1: the empty left edge of the cell
    QTest::addColumn<QString>("expected"); // "type:column:id:key", empty for no event

    QTest::newRow("single button") << 0 << 0 << "228:3:0:券商A";
    QTest::newRow("second of two buttons") << 1 << 1 << "228:3:7:券商B";
    QTest::newRow("first of two buttons") << 1 << 0 << "228:3:0:券商B";
    QTest::newRow("disabled button") << 2 << 0 << "";
    QTest::newRow("beside the buttons") << 0 << -1 << "";
}

void TestMultiButtonsDelegate::click()
{
    QFETCH(int, row);
    QFETCH(int, button);
    QFETCH(QString, expected);

    const QString key = m_table->view()->model()->index(row, 3).data(Qt::UserRole + 1).toString();
    const QVector<QRect> rects = m_delegate->buttonRects(key.toStdString(), cellRect(row));
    QVERIFY(!rects.isEmpty());
    const QPoint at = button >= 0 ? rects[button].center() : QPoint(cellRect(row).left() + 2, cellRect(row).center().y());
    QTest::mouseClick(m_table->view()->viewport(), Qt::LeftButton, {}, at);

    QStringList seen;
    for (const Event& e : m_recorder.events)
        seen.append(QStringLiteral("%1:%2:%3:%4").arg(e.type).arg(e.id).arg(e.index).arg(e.key));
    QCOMPARE(seen.join(','), expected);
}

// Pressing one button and letting go over another is no click.
void TestMultiButtonsDelegate::releaseOnOtherButtonIsNoClick()
{
    QWidget* viewport = m_table->view()->viewport();
    const QVector<QRect> rects = m_delegate->buttonRects("券商B", cellRect(1));
    QCOMPARE(rects.size(), 2);
    QTest::mousePress(viewport, Qt::LeftButton, {}, rects[0].center());
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, rects[1].center());
    QCOMPARE(m_recorder.events.size(), 0);
    // The next full click still works.
    QTest::mouseClick(viewport, Qt::LeftButton, {}, rects[1].center());
    QCOMPARE(m_recorder.events.size(), 1);
    QCOMPARE(m_recorder.events[0].index, 7);
}

// A click on a row button is the button's, not a row selection.
void TestMultiButtonsDelegate::pressOnButtonKeepsSelection()
{
    static_cast<QTableView*>(m_table->view())->selectRow(2);
    const QVector<QRect> rects = m_delegate->buttonRects("券商A", cellRect(0));
    QTest::mouseClick(m_table->view()->viewport(), Qt::LeftButton, {}, rects[0].center());
    const QModelIndexList selected = m_table->view()->selectionModel()->selectedRows();
    QCOMPARE(selected.size(), 1);
    QCOMPARE(selected.front().row(), 2);
}

// Buttons are kept per row key; an empty list removes them, and rects sit inside the cell.
void TestMultiButtonsDelegate::buttonsPerRow()
{
    QCOMPARE(m_delegate->column(), 3);
    QCOMPARE(m_delegate->itemButtons("券商B").size(), 2);
    QCOMPARE(m_delegate->itemButtons("券商B")[1].texts.value(0), QStringLiteral("删除该券商"));
    QVERIFY(m_delegate->itemButtons("nobody").isEmpty());

    const QRect cell = cellRect(1);
    const QVector<QRect> rects = m_delegate->buttonRects("券商B", cell);
    QVERIFY(cell.contains(rects[0]) && cell.contains(rects[1]));
    QVERIFY(rects[0].right() < rects[1].left());
    // Centred: equal room on both sides, give or take a pixel.
    QVERIFY(qAbs((rects[0].left() - cell.left()) - (cell.right() - rects[1].right())) <= 1);

    m_delegate->setItemButtons("券商B", {}, true);
    QVERIFY(m_delegate->itemButtons("券商B").isEmpty());
    QVERIFY(m_delegate->buttonRects("券商B", cell).isEmpty());
    QTest::mouseClick(m_table->view()->viewport(), Qt::LeftButton, {}, rects[0].center());
    QCOMPARE(m_recorder.events.size(), 0);

    m_delegate->clearItemButtons();
    QVERIFY(m_delegate->itemButtons("券商A").isEmpty());
}

QTEST_MAIN(TestMultiButtonsDelegate)
#include "tst_multibuttonsdelegate.moc"
