#include "hosttoolkit.h"

#include <QTest>

#include <cmath>
#include <limits>

Q_DECLARE_METATYPE(utils::CFlags<utils::EFormatNumberFlag>)

class TestFormatDoubleNumber : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::German)); }
    void formats_data();
    void formats();
};

void TestFormatDoubleNumber::formats_data()
{
    using utils::eFormatNumberNone;
    using utils::eFormatNumberPercent;
    using utils::eFormatNumberThousands;
    typedef utils::CFlags<utils::EFormatNumberFlag> Flags;
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("precision");
    QTest::addColumn<Flags>("flags");
    QTest::addColumn<bool>("trimZeros");
    QTest::addColumn<QString>("expected");

    const double inf = std::numeric_limits<double>::infinity();
    const double max = std::numeric_limits<double>::max();
    QTest::newRow("precision 0") << 0.85 << 0 << Flags(eFormatNumberNone) << false << "1";
    QTest::newRow("precision 2") << 0.85 << 2 << Flags(eFormatNumberNone) << false << "0.85";
    QTest::newRow("precision 4 pads") << 0.85 << 4 << Flags(eFormatNumberNone) << false << "0.8500";
    QTest::newRow("half rounds up, not to the binary value") << 1.005 << 2 << Flags(eFormatNumberNone) << false << "1.01";
    QTest::newRow("2.675") << 2.675 << 2 << Flags(eFormatNumberNone) << false << "2.68";
    QTest::newRow("carry through nines") << 9.996 << 2 << Flags(eFormatNumberNone) << false << "10.00";
    QTest::newRow("round down") << 0.12345 << 4 << Flags(eFormatNumberNone) << false << "0.1235";
    QTest::newRow("negative") << -1234.5 << 2 << Flags(eFormatNumberNone) << false << "-1234.50";
    QTest::newRow("negative rounds away from zero") << -0.125 << 2 << Flags(eFormatNumberNone) << false << "-0.13";
    QTest::newRow("negative to zero has no sign") << -0.001 << 2 << Flags(eFormatNumberNone) << false << "0.00";
    QTest::newRow("grouping") << 1234567.891 << 2 << Flags(eFormatNumberThousands) << false << "1,234,567.89";
    QTest::newRow("grouping negative") << -1234567.0 << 0 << Flags(eFormatNumberThousands) << false << "-1,234,567";
    QTest::newRow("grouping three digits") << 999.0 << 0 << Flags(eFormatNumberThousands) << false << "999";
    QTest::newRow("grouping after carry") << 999999.999 << 2 << Flags(eFormatNumberThousands) << false
                                          << "1,000,000.00";
    QTest::newRow("percent") << 0.1234 << 2 << Flags(eFormatNumberPercent) << false << "12.34%";
    QTest::newRow("percent trimmed") << 0.125 << 2 << Flags(eFormatNumberPercent) << true << "12.5%";
    QTest::newRow("trim all decimals") << 3.0 << 4 << Flags(eFormatNumberNone) << true << "3";
    QTest::newRow("trim keeps integer zeros") << 100.0 << 2 << Flags(eFormatNumberNone) << true << "100";
    QTest::newRow("negative precision is 0") << 2.5 << -3 << Flags(eFormatNumberNone) << false << "3";
    QTest::newRow("huge precision is capped") << 0.1 << 40 << Flags(eFormatNumberNone) << false
                                              << "0.100000000000000";
    QTest::newRow("tiny value") << 1e-9 << 2 << Flags(eFormatNumberNone) << false << "0.00";
    QTest::newRow("NaN") << std::nan("") << 2 << Flags(eFormatNumberNone) << false << "--";
    QTest::newRow("+inf") << inf << 2 << Flags(eFormatNumberThousands) << false << "--";
    QTest::newRow("-inf") << -inf << 2 << Flags(eFormatNumberNone) << false << "--";
    QTest::newRow("max marks no value") << max << 2 << Flags(eFormatNumberNone) << false << "--";
    QTest::newRow("-max") << -max << 2 << Flags(eFormatNumberNone) << false << "--";
    QTest::newRow("percent overflow") << max / 10 << 2 << Flags(eFormatNumberPercent) << false << "--";
}

// Fixed decimals with '.' whatever the locale, grouping and percent by flag, invalid values
// as the given text.
void TestFormatDoubleNumber::formats()
{
    QFETCH(double, value);
    QFETCH(int, precision);
    QFETCH(utils::CFlags<utils::EFormatNumberFlag>, flags);
    QFETCH(bool, trimZeros);
    QFETCH(QString, expected);
    QCOMPARE(WB::formatDoubleNumber(value, precision, flags, trimZeros, QStringLiteral("--")), expected);
}

QTEST_MAIN(TestFormatDoubleNumber)
#include "tst_formatdoublenumber.moc"
