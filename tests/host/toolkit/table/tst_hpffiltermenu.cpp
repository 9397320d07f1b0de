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
};

// The search narrows the list case-insensitively over the texts; "全选" ticks every match and
// "确定" filters by the ticked matches only (all values ticked means no filter). Of many values
// only the first kMaxListed matches are listed, and the menu says so, yet the search, "全选" and
// "确定" reach every one.
void TestHpfFilterMenu::searchNarrowsAndChooses_data()
{
    QTest::addColumn<QStringList>("values");
    QTest::addColumn<QStringList>("current");
    QTest::addColumn<QString>("search");
    QTest::addColumn<bool>("selectAll");
    QTest::addColumn<QStringList>("expectedListed");
    QTest::addColumn<bool>("expectedMore");      // the menu says more match than it lists
    QTest::addColumn<QString>("expectedChosen"); // what "确定" chooses, "<none>" when it refuses

    const QStringList codes = {"000001", "300750", "600000", "600036"};
    QStringList many;
    for (int i = 0; i < 5000; ++i)
        many << QStringLiteral("%1").arg(i, 6, 10, QLatin1Char('0'));
    const QStringList fours = many.filter(QStringLiteral("4"));
    const int cap = WB::CHpfFilterMenu::kMaxListed;
    QTest::newRow("no search, all ticked: no filter") << codes << QStringList() << "" << false << codes << false << "";
    QTest::newRow("search keeps the matches ticked")
        << codes << QStringList() << "600" << false << QStringList{"600000", "600036"} << false << "600000|600036";
    QTest::newRow("search ignores case") << QStringList{"ETF300", "etf50", "银行"} << QStringList() << "Etf" << false
                                         << QStringList{"ETF300", "etf50"} << false << "ETF300|etf50";
    QTest::newRow("surrounding blanks ignored")
        << codes << QStringList() << "  0036 " << false << QStringList{"600036"} << false << "600036";
    QTest::newRow("unticked matches stay unticked") << codes << QStringList{"000001", "600036"} << "600" << false
                                                    << QStringList{"600000", "600036"} << false << "600036";
    QTest::newRow("select all ticks only the matches") << codes << QStringList{"000001"} << "600" << true
                                                       << QStringList{"600000", "600036"} << false << "600000|600036";
    QTest::newRow("nothing matches: ok refuses")
        << codes << QStringList() << "999" << true << QStringList() << false << "<none>";
    QTest::newRow("many values: the first listed")
        << many << QStringList() << "" << false << QStringList(many.mid(0, cap)) << true << "";
    QTest::newRow("many values: the search reaches past the list")
        << many << QStringList() << "004999" << false << QStringList{"004999"} << false << "004999";
    QTest::newRow("many values: select all chooses every match, listed or not")
        << many << QStringList{"000000"} << "4" << true << QStringList(fours.mid(0, cap)) << true << fours.join('|');
}

void TestHpfFilterMenu::searchNarrowsAndChooses()
{
    QFETCH(QStringList, values);
    QFETCH(QStringList, current);
    QFETCH(QString, search);
    QFETCH(bool, selectAll);
    QFETCH(QStringList, expectedListed);
    QFETCH(bool, expectedMore);
    QFETCH(QString, expectedChosen);

    WB::CHpfFilterMenu menu(3, values, current, nullptr);
    menu.setAttribute(Qt::WA_DeleteOnClose, false); // on the stack here
    menu.searchEdit()->setText(search);
    if (!search.isEmpty()) {
        // Qt fades the clear button in with an animation that has no owner and is deleted only
        // when it finishes: wait for that, so no test ends with it still running.
        const auto* clearButton = menu.searchEdit()->findChild<QToolButton*>();
        QVERIFY(clearButton);
        QTRY_COMPARE(clearButton->property("opacity").toReal(), 1.0);
    }
    QStringList listed;
    for (int i = 0; i < menu.valueList()->count(); ++i)
        listed << menu.valueList()->item(i)->data(Qt::UserRole).toString();
    QCOMPARE(listed, expectedListed);
    QCOMPARE(!menu.findChild<QLabel*>("filterMore")->isHidden(), expectedMore);
    if (selectAll)
        QTest::mouseClick(menu.findChild<QPushButton*>("filterSelectAll"), Qt::LeftButton);
    QSignalSpy chosen(&menu, &WB::CHpfFilterMenu::filterChosen);
    QTest::mouseClick(menu.findChild<QPushButton*>("filterOk"), Qt::LeftButton);
    QCOMPARE(chosen.isEmpty() ? QStringLiteral("<none>") : chosen.first().at(1).toStringList().join('|'),
             expectedChosen);
}

QTEST_MAIN(TestHpfFilterMenu)
#include "tst_hpffiltermenu.moc"
