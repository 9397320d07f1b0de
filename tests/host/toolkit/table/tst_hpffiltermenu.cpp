#include "hpffiltermenu.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QToolButton>
#include <QtTest>

class TestHpfFilterMenu : public QObject
{
    Q_OBJECT
private slots:
    void searchNarrowsAndChooses_data();
    void searchNarrowsAndChooses();
    void manyValuesListCappedButAllSearchable();
};

namespace {

QStringList listed(const QListWidget* list)
{
    QStringList texts;
    for (int i = 0; i < list->count(); ++i)
        texts << list->item(i)->data(Qt::UserRole).toString();
    return texts;
}

// Types into the search. Qt fades the clear button in with an animation that has no owner and is
// deleted only when it finishes: wait for that, so no test ends with it still running.
void search(WB::CHpfFilterMenu& menu, const QString& text)
{
    menu.searchEdit()->setText(text);
    if (text.isEmpty())
        return;
    const auto* clearButton = menu.searchEdit()->findChild<QToolButton*>();
    QVERIFY(clearButton);
    QTRY_COMPARE(clearButton->property("opacity").toReal(), 1.0);
}

// The values the menu chose when "确定" was clicked; "<none>" when it emitted nothing.
QString chosenOnOk(WB::CHpfFilterMenu& menu)
{
    QSignalSpy spy(&menu, &WB::CHpfFilterMenu::filterChosen);
    QTest::mouseClick(menu.findChild<QPushButton*>("filterOk"), Qt::LeftButton);
    return spy.isEmpty() ? QStringLiteral("<none>") : spy.first().at(1).toStringList().join(QLatin1Char('|'));
}

} // namespace

// The search narrows the list case-insensitively over the texts; "全选" ticks every match and
// "确定" filters by the ticked matches only (all values ticked means no filter).
void TestHpfFilterMenu::searchNarrowsAndChooses_data()
{
    QTest::addColumn<QStringList>("values");
    QTest::addColumn<QStringList>("current");
    QTest::addColumn<QString>("search");
    QTest::addColumn<bool>("selectAll");
    QTest::addColumn<QStringList>("expectedListed");
    QTest::addColumn<QString>("expectedChosen");

    const QStringList codes = {"000001", "300750", "600000", "600036"};
    QTest::newRow("no search, all ticked: no filter") << codes << QStringList() << "" << false << codes << "";
    QTest::newRow("search keeps the matches ticked")
        << codes << QStringList() << "600" << false << QStringList{"600000", "600036"} << "600000|600036";
    QTest::newRow("search ignores case") << QStringList{"ETF300", "etf50", "银行"} << QStringList() << "Etf" << false
                                         << QStringList{"ETF300", "etf50"} << "ETF300|etf50";
    QTest::newRow("surrounding blanks ignored")
        << codes << QStringList() << "  0036 " << false << QStringList{"600036"} << "600036";
    QTest::newRow("unticked matches stay unticked")
        << codes << QStringList{"000001", "600036"} << "600" << false << QStringList{"600000", "600036"} << "600036";
    QTest::newRow("select all ticks only the matches")
        << codes << QStringList{"000001"} << "600" << true << QStringList{"600000", "600036"} << "600000|600036";
    QTest::newRow("nothing matches: ok refuses")
        << codes << QStringList() << "999" << true << QStringList() << "<none>";
}

void TestHpfFilterMenu::searchNarrowsAndChooses()
{
    QFETCH(QStringList, values);
    QFETCH(QStringList, current);
    QFETCH(QString, search);
    QFETCH(bool, selectAll);
    QFETCH(QStringList, expectedListed);
    QFETCH(QString, expectedChosen);

    WB::CHpfFilterMenu menu(3, values, current, nullptr);
    menu.setAttribute(Qt::WA_DeleteOnClose, false); // on the stack here
    ::search(menu, search);
    QCOMPARE(listed(menu.valueList()), expectedListed);
    if (selectAll)
        QTest::mouseClick(menu.findChild<QPushButton*>("filterSelectAll"), Qt::LeftButton);
    QCOMPARE(chosenOnOk(menu), expectedChosen);
}

// A column of many values lists only the first kMaxListed matches and says so, yet the search
// reaches every value and "全选" + "确定" chooses every match, listed or not.
void TestHpfFilterMenu::manyValuesListCappedButAllSearchable()
{
    QStringList values;
    for (int i = 0; i < 5000; ++i)
        values << QStringLiteral("%1").arg(i, 6, 10, QLatin1Char('0'));
    WB::CHpfFilterMenu menu(0, values, {QStringLiteral("000000")}, nullptr);
    menu.setAttribute(Qt::WA_DeleteOnClose, false); // on the stack here
    QCOMPARE(menu.valueList()->count(), WB::CHpfFilterMenu::kMaxListed);
    QCOMPARE(menu.matchCount(), 5000);
    QVERIFY(!menu.findChild<QLabel*>("filterMore")->isHidden());

    search(menu, QStringLiteral("004999"));
    QCOMPARE(listed(menu.valueList()), QStringList{"004999"});
    QVERIFY(menu.findChild<QLabel*>("filterMore")->isHidden());

    // "4" matches more values than are listed.
    menu.searchEdit()->setText(QStringLiteral("4"));
    const int matches = menu.matchCount();
    QVERIFY(matches > WB::CHpfFilterMenu::kMaxListed);
    QTest::mouseClick(menu.findChild<QPushButton*>("filterSelectAll"), Qt::LeftButton);
    const QStringList chosen = chosenOnOk(menu).split(QLatin1Char('|'));
    QCOMPARE(chosen.size(), matches);
    QVERIFY(chosen.contains(QStringLiteral("004999")));
    QVERIFY(!chosen.contains(QStringLiteral("000000")));
}

QTEST_MAIN(TestHpfFilterMenu)
#include "tst_hpffiltermenu.moc"
