// The table's radix sort against a comparison sort: thousands of awkward values (texts sharing
// long prefixes, extensions, NUL and surrogate units; signed zeros, extremes, NaN and infinities),
// a shuffled subset of the rows as a filter leaves them, both orders.
#include "hpfradixsort.h"

#include <QtTest>

#include <algorithm>
#include <limits>
#include <random>

namespace {

enum EKind
{
    eText,
    eInt,
    eLonglong,
    eDouble,
};

const int kRows = 3000;

} // namespace

class TestHpfRadixSort : public QObject
{
    Q_OBJECT

private slots:
    void matchesComparison_data();
    void matchesComparison();
};

void TestHpfRadixSort::matchesComparison_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<bool>("descending");

    QTest::newRow("text ascending") << int(eText) << false;
    QTest::newRow("text descending") << int(eText) << true;
    QTest::newRow("double ascending") << int(eDouble) << false;
    QTest::newRow("double descending") << int(eDouble) << true;
    QTest::newRow("int ascending") << int(eInt) << false;
    QTest::newRow("int descending") << int(eInt) << true;
    QTest::newRow("longlong ascending") << int(eLonglong) << false;
    QTest::newRow("longlong descending") << int(eLonglong) << true;
}

// The order of a stable sort by the three-way comparison, missing numbers last either way and
// ties in the order the rows were added.
void TestHpfRadixSort::matchesComparison()
{
    QFETCH(int, kind);
    QFETCH(bool, descending);

    const double inf = std::numeric_limits<double>::infinity();
    const QVector<double> numbers = {0.0,
                                     -0.0,
                                     1.5,
                                     -1.5,
                                     0.25,
                                     1e300,
                                     -1e300,
                                     -9.223372036854775808e18,
                                     2147483647.0,
                                     -2147483648.0,
                                     7,
                                     7,
                                     inf,
                                     -inf,
                                     std::numeric_limits<double>::quiet_NaN(),
                                     std::numeric_limits<double>::max()};
    const QVector<QChar> units = {QChar('a'), QChar('b'), QChar(0), QChar(0x4E2D), QChar(0xD83D), QChar(0xFFFF)};
    std::mt19937 random(11);
    QVector<QString> texts;
    QVector<double> doubles;
    QVector<int> ints;
    QVector<long long> longs;
    std::vector<int> rows;
    for (int i = 0; i < kRows; ++i) {
        QString text = QStringLiteral("abcdefg").left(int(random() % 8));
        for (int n = int(random() % 6); n > 0; --n)
            text.append(units[int(random() % units.size())]);
        texts.append(text);
        const double number =
            random() % 4 ? numbers[int(random() % numbers.size())] : double(int(random() % 2001) - 1000) / 8;
        doubles.append(number);
        // Missing stays missing in the narrower types; a whole number beyond them is a plain 42.
        const bool missing = WB::hpf::isMissing(number);
        ints.append(missing ? std::numeric_limits<int>::max() : (std::abs(number) < 2147483647.0 ? int(number) : 42));
        longs.append(missing ? std::numeric_limits<long long>::max()
                             : (std::abs(number) < 9.2e18 ? (long long)(number) : 42));
        if (random() % 5)
            rows.push_back(i);
    }
    std::shuffle(rows.begin(), rows.end(), random);

    const auto compare = [&](int a, int b) {
        switch (kind) {
        case eInt: return WB::hpf::compareNumbers(ints[a], ints[b]);
        case eLonglong: return WB::hpf::compareNumbers(longs[a], longs[b]);
        case eDouble: return WB::hpf::compareNumbers(doubles[a], doubles[b]);
        default: return QString::compare(texts[a], texts[b], Qt::CaseSensitive);
        }
    };
    const auto missing = [&](int r) {
        switch (kind) {
        case eInt: return WB::hpf::isMissing(ints[r]);
        case eLonglong: return WB::hpf::isMissing(longs[r]);
        case eDouble: return WB::hpf::isMissing(doubles[r]);
        default: return false;
        }
    };
    std::vector<int> expected = rows;
    std::sort(expected.begin(), expected.end());
    std::stable_sort(expected.begin(), expected.end(), [&](int a, int b) {
        const int c = compare(a, b);
        return missing(a) || missing(b) || !descending ? c < 0 : c > 0;
    });

    const std::size_t total = std::size_t(kRows);
    switch (kind) {
    case eInt: WB::hpf::sortByNumber<int>(rows, total, descending, [&](int r) { return ints[r]; }); break;
    case eLonglong: WB::hpf::sortByNumber<long long>(rows, total, descending, [&](int r) { return longs[r]; }); break;
    case eDouble: WB::hpf::sortByNumber<double>(rows, total, descending, [&](int r) { return doubles[r]; }); break;
    default: WB::hpf::sortByText(rows, total, descending, [&](int r) { return texts[r]; });
    }
    QCOMPARE(rows.size(), expected.size());
    const auto differs = std::mismatch(rows.begin(), rows.end(), expected.begin());
    QCOMPARE(int(differs.first - rows.begin()), int(rows.size())); // the first place they differ
}

QTEST_MAIN(TestHpfRadixSort)
#include "tst_hpfradixsort.moc"
