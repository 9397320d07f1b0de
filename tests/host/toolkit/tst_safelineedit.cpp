// The safe line edit the upload dialog takes a path in.
#include "hosttoolkit.h"

#include <QApplication>
#include <QClipboard>
#include <QTest>

class TestSafeLineEdit : public QObject
{
    Q_OBJECT

private slots:
    void stripsControlCharacters_data();
    void stripsControlCharacters();
};

void TestSafeLineEdit::stripsControlCharacters_data()
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
void TestSafeLineEdit::stripsControlCharacters()
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

QTEST_MAIN(TestSafeLineEdit)
#include "tst_safelineedit.moc"
