// What a cell's number format shows of a number, as a spreadsheet program shows it: the section
// chosen by sign or condition, and a value refused where that section shows none of its digits,
// scales them, or shows a time spreadsheet programs differ on.
#include "numberformat.h"

#include <QtTest>

using namespace WB;

namespace {

// "refused: ..." with the reason's gist, or the text sent for the number.
QString shown(const CNumberFormat& format, double value)
{
    const QString refusal = formatRefusal(QStringLiteral("D2"), value, format);
    if (refusal.contains(QLatin1String("without a digit")))
        return QStringLiteral("refused: no digit");
    if (refusal.contains(QLatin1String("divided by thousands")))
        return QStringLiteral("refused: scaled");
    if (!refusal.isEmpty())
        return QStringLiteral("refused: ") + refusal;
    const QString clash = clashRefusal(QStringLiteral("D2"), value, format, format.clash(value, false));
    if (clash.contains(QLatin1String("day 0")))
        return QStringLiteral("refused: day 0");
    if (clash.contains(QLatin1String("one rounds it up")))
        return QStringLiteral("refused: rounded or cut");
    return format.text(value, false);
}

} // namespace

class TestNumberFormat : public QObject
{
    Q_OBJECT

private slots:
    void showsAsASpreadsheetDoes_data();
    void showsAsASpreadsheetDoes();
    void namesTheCellAndFormat();
    void hidesTextOnlyInAnEmptyTextSection_data();
    void hidesTextOnlyInAnEmptyTextSection();
};

void TestNumberFormat::showsAsASpreadsheetDoes_data()
{
    QTest::addColumn<int>("builtin"); // -1: the code
    QTest::addColumn<QString>("code");
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("expected");

    const auto custom = [](const char* name, const char* code, double value, const char* expected) {
        QTest::newRow(name) << -1 << QString::fromUtf8(code) << value << QString::fromUtf8(expected);
    };
    const auto builtin = [](const char* name, int id, double value, const char* expected) {
        QTest::newRow(name) << id << QString() << value << QString::fromUtf8(expected);
    };
    // Shown as the value: sent as General shows it.
    custom("General", "General", 0.7, "0.7");
    custom("fixed decimals", "0.00", 0.7, "0.7");
    custom("thousands grouping", "#,##0.00", 1234.5, "1234.5");
    custom("percent", "0.00%", 0.55, "0.55");
    custom("a literal suffix", "0.00\"倍\"", 0.7, "0.7");
    custom("a literal prefix, escaped", "\\R0.00", 0.7, "0.7");
    custom("a colour and a negative section", "0.00;[Red]-0.00", -0.7, "-0.7");
    custom("the zero section of digits", "0.00;-0.00;0", 0, "0");
    custom("text section only", "@", 5, "5");
    custom("a comma between digits groups", "#,##0", 1234567, "1234567");
    // A section showing no digit, or scaled.
    custom("a literal only", "\"0.55\"", 0.9, "refused: no digit");
    custom("hidden by ;;;", ";;;", 0.9, "refused: no digit");
    custom("a condition naming a literal", "[<1]\"0.55\";General", 0.9, "refused: no digit");
    custom("the condition not met: the next section", "[<1]\"0.55\";General", 5, "5");
    custom("two conditions, the second met", "[>=1]\"big\";[<0]\"neg\";0.00", -2, "refused: no digit");
    custom("two conditions, neither met", "[>=1]\"big\";[<0]\"neg\";0.00", 0.5, "0.5");
    custom("a literal negative section", "0.00;\"neg\"", -0.7, "refused: no digit");
    custom("a literal negative section, positive value", "0.00;\"neg\"", 0.7, "0.7");
    custom("a dash for zero", "0.00;-0.00;\"-\"", 0, "refused: no digit");
    custom("an empty zero section", "0.00;-0.00;", 0, "refused: no digit");
    custom("a trailing comma after decimals", "0.00,", 550, "refused: scaled");
    custom("a trailing comma after grouping", "#,##0,", 550000, "refused: scaled");
    custom("a comma before the point", "0,.00", 550, "refused: scaled");
    custom("a scaling comma before a suffix", "0.0,\"K\"", 5500, "refused: scaled");
    custom("a comma inside quotes is text", "0.00\",\"", 0.7, "0.7");
    custom("optional digits only, a number", "#.##", 0.7, "0.7");
    custom("optional digits only, zero", "#.##", 0, "refused: no digit");
    custom("optional digits only, rounding to zero", "#.##%", 0.00001, "refused: no digit");
    // Dates, times, elapsed time and exponents: as a spreadsheet shows them.
    custom("a Chinese date", "yyyy\"年\"m\"月\"d\"日\"", 45366, "2024-03-15");
    custom("a time of day", "h:mm:ss", 0.5625, "13:30:00");
    custom("thousandths of a second", "hh:mm:ss.000", 0.563025462962963, "13:30:45.400");
    custom("tenths of a second rounded", "yyyy-mm-dd hh:mm:ss.0", 45366.563025462962963, "2024-03-15 13:30:45.4");
    custom("a date and time rounding into the next day", "yyyy-mm-dd hh:mm:ss", 45366.9999999, "2024-03-16");
    custom("a time past half a second", "hh:mm:ss", 0.9999999, "refused: rounded or cut");
    custom("a date past half a second", "yyyy-mm-dd", 45366.50001, "2024-03-15 12:00:01");
    custom("a time a writer kept to 15 digits", "yyyy-mm-dd hh:mm:ss", 45366.5630208333, "2024-03-15 13:30:45");
    custom("a time under a date format", "yyyy-mm-dd hh:mm", 0.5625, "refused: day 0");
    custom("a time of day 1 under a date format", "yyyy-mm-dd hh:mm", 1.5625, "1900-01-01 13:30:00");
    custom("elapsed hours past a day", "[h]:mm:ss", 10.632060185185185, "255:10:10");
    custom("elapsed hours and minutes", "[h]:mm", 10.632060185185185, "255:10");
    custom("elapsed minutes", "[mm]:ss", 0.5, "720:00");
    custom("scientific", "0.000E+00", 12345.678, "1.235E+04");
    custom("scientific, small", "0.00E+00", 0.00012, "1.20E-04");
    custom("scientific, negative", "0.00E+00", -12345, "-1.23E+04");
    custom("scientific, rounding up a digit", "0.0E+00", 99999, "1.0E+05");
    custom("scientific with optional decimals", "0.##E+0", 1500, "1.5E+3");
    custom("engineering", "##0.0E+0", 12345, "12.3E+3");
    custom("scientific, E- shows no plus", "0.0E-00", 1234, "1.2E03");
    builtin("General id", 0, 0.7, "0.7");
    builtin("built-in scientific", 11, 12345.678, "1.23E+04");
    builtin("built-in elapsed", 46, 10.632060185185185, "255:10:10");
    builtin("East Asian date 27", 27, 45366, "2024-03-15");
    builtin("East Asian date 31", 31, 45366, "2024-03-15");
    builtin("East Asian date 36", 36, 45366, "2024-03-15");
    builtin("East Asian date 50", 50, 45366, "2024-03-15");
    builtin("East Asian date 58", 58, 45366, "2024-03-15");
    builtin("East Asian time 33", 33, 0.5625, "13:30:00");
    builtin("East Asian time 55", 55, 0.5625, "13:30:00");
    builtin("an id no writer defines", 60, 0.7, "0.7");
    builtin("accounting, zero a dash", 41, 0, "refused: no digit");
    builtin("accounting, a number", 41, 5, "5");
}

void TestNumberFormat::showsAsASpreadsheetDoes()
{
    QFETCH(int, builtin);
    QFETCH(QString, code);
    QFETCH(double, value);

    const CNumberFormat format = builtin >= 0 ? CNumberFormat::builtin(builtin) : CNumberFormat::fromCode(code);
    QTEST(shown(format, value), "expected");
}

// The reason names the cell, the value and the format as written.
void TestNumberFormat::namesTheCellAndFormat()
{
    CCellFormats formats;
    formats.define(164, QStringLiteral("[<1]\"0.55\";General"));
    formats.addStyle(0);
    formats.addStyle(164);
    QCOMPARE(formatRefusal(QStringLiteral("D7"), 0.9, formats.ofStyle(1)),
             QStringLiteral("the cell D7 holds 0.9, which its number format \"[<1]\"0.55\";General\" shows without a "
                            "digit of it"));
}

void TestNumberFormat::hidesTextOnlyInAnEmptyTextSection_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<bool>("hides");
    QTest::newRow(";;;") << ";;;" << true;
    QTest::newRow("a literal text section") << "0;-0;0;\"x\"" << true;
    QTest::newRow("a text section showing the text") << "0;-0;0;@\"倍\"" << false;
    QTest::newRow("three sections") << "0;-0;\"-\"" << false;
    QTest::newRow("one section") << "\"0.55\"" << false;
}

void TestNumberFormat::hidesTextOnlyInAnEmptyTextSection()
{
    QFETCH(QString, code);
    QTEST(CNumberFormat::fromCode(code).hidesText(), "hides");
}

QTEST_APPLESS_MAIN(TestNumberFormat)
#include "tst_numberformat.moc"
