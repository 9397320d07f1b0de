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
    using namespace utils;
    typedef utils::CFlags<utils::EFormatNumberFlag> Flags;
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("precision");
    QTest::addColumn<Flags>("flags");
    QTest::addColumn<bool>("trimZeros");
    QTest::addColumn<QString>("expected");

    const double max = std::numeric_limits<double>::max();
    const Flags none(eFormatNumberNone), thousands(eFormatNumberThousands), percent(eFormatNumberPercent);
    QTest::newRow("precision 0 rounds") << 0.85 << 0 << none << false << "1";
    QTest::newRow("half rounds up, not to the binary value") << 1.005 << 2 << none << false << "1.01";
    QTest::newRow("negative rounds away from zero") << -0.125 << 2 << none << false << "-0.13";
    QTest::newRow("negative to zero has no sign") << -0.001 << 2 << none << false << "0.00";
    QTest::newRow("grouping after a carry through nines") << 999999.999 << 2 << thousands << false << "1,000,000.00";
    QTest::newRow("grouping negative, six digits") << -123456.0 << 0 << thousands << false << "-123,456";
    QTest::newRow("percent trimmed") << 0.125 << 2 << percent << true << "12.5%";
    QTest::newRow("trim keeps integer zeros") << 100.0 << 2 << none << true << "100";
    QTest::newRow("negative precision is 0") << 2.5 << -3 << none << false << "3";
    QTest::newRow("huge precision is capped") << 0.1 << 40 << none << false << "0.100000000000000";
    QTest::newRow("NaN") << std::nan("") << 2 << none << false << "--";
    QTest::newRow("-inf") << -std::numeric_limits<double>::infinity() << 2 << thousands << false << "--";
    QTest::newRow("max marks no value") << max << 2 << none << false << "--";
    QTest::newRow("percent overflow") << max / 10 << 2 << percent << false << "--";
}

// Fixed decimals with '.' whatever the locale, grouping and percent by flag, invalid values
// as the given text.
void TestFormatDoubleNumber::formats()
{
    QFETCH(double, value);
    QFETCH(int, precision);
    QFETCH(utils::CFlags<utils::EFormatNumberFlag>, flags);
    QFETCH(bool, trimZeros);
    QTEST(WB::formatDoubleNumber(value, precision, flags, trimZeros, QStringLiteral("--")), "expected");
}

QTEST_MAIN(TestFormatDoubleNumber)
#include "tst_formatdoublenumber.moc"
