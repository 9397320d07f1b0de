#include "hosttoolkit.h"

#include <QApplication>
#include <QClipboard>
#include <QHelpEvent>
#include <QToolTip>
#include <QTest>

class TestSafeLineEdit : public QObject
{
    Q_OBJECT

private slots:
    void stripsControlCharacters_data();
    void stripsControlCharacters();
    void typingStillWorks();
    void toolTipOnlyWhenCut_data();
    void toolTipOnlyWhenCut();
};

void TestSafeLineEdit::stripsControlCharacters_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("expected");
    QTest::newRow("clean path kept") << QStringLiteral("D:/折算率/券商A.xlsx") << QStringLiteral("D:/折算率/券商A.xlsx");
    QTest::newRow("tab") << QStringLiteral("a\tb") << QStringLiteral("ab");
    QTest::newRow("CR LF of a copied cell") << QStringLiteral("C:/data.csv\r\n") << QStringLiteral("C:/data.csv");
    QTest::newRow("bell, escape, NUL") << QString::fromUtf8("x\ay\x1bz", 6) + QChar(0) << QStringLiteral("xyz");
    QTest::newRow("DEL and C1") << QStringLiteral("a\x7f") + QChar(0x85) + QStringLiteral("b") << QStringLiteral("ab");
    QTest::newRow("line and paragraph separators") << QStringLiteral("上") + QChar(0x2028) + QStringLiteral("传")
                                                          + QChar(0x2029)
                                                   << QStringLiteral("上传");
    QTest::newRow("only controls") << QStringLiteral("\n\n\t") << QString();
}

// Pasted, inserted or set, the text never keeps a control character.
void TestSafeLineEdit::stripsControlCharacters()
{
    QFETCH(QString, input);
    QFETCH(QString, expected);

    DVK::CSafeLineEdit pasted(404, nullptr);
    QApplication::clipboard()->setText(input);
    pasted.paste();
    QCOMPARE(pasted.text(), expected);
    QCOMPARE(pasted.cursorPosition(), expected.size());

    DVK::CSafeLineEdit inserted(404, nullptr);
    inserted.setText(QStringLiteral("[]"));
    inserted.setCursorPosition(1);
    inserted.insert(input);
    QCOMPARE(inserted.text(), QStringLiteral("[") + expected + QStringLiteral("]"));
    QCOMPARE(inserted.cursorPosition(), 1 + expected.size());

    DVK::CSafeLineEdit set(404, nullptr);
    set.setText(input);
    QCOMPARE(set.text(), expected);
}

void TestSafeLineEdit::typingStillWorks()
{
    DVK::CSafeLineEdit edit(404, nullptr);
    QTest::keyClicks(&edit, QStringLiteral("abc"));
    QTest::keyClick(&edit, Qt::Key_Left);
    QTest::keyClicks(&edit, QStringLiteral("X"));
    QCOMPARE(edit.text(), QStringLiteral("abXc"));
    QCOMPARE(edit.id(), 404);
}

void TestSafeLineEdit::toolTipOnlyWhenCut_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("expectTip");
    QTest::newRow("fits") << QStringLiteral("a.csv") << false;
    QTest::newRow("cut") << QStringLiteral("/home/运营/融资融券/折算率/2024-06-28/华泰证券 折算率 最终版.xlsx") << true;
}

// The whole text shows as a tool tip only while the widget cannot show it whole; the label the
// same way.
void TestSafeLineEdit::toolTipOnlyWhenCut()
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

QTEST_MAIN(TestSafeLineEdit)
#include "tst_safelineedit.moc"
