// The table's radix sort against a comparison sort: thousands of awkward values (texts sharing
// long prefixes, extensions, NUL and surrogate units; signed zeros, extremes, NaN and infinities),
// a shuffled subset of the rows as a filter leaves them, both orders.
#include "hpfradixsort.h"

#include <QtTest>

#include <algorithm>
#include <limits>
#include <random>
#include <type_traits>

using namespace WB::hpf;

class TestHpfRadixSort : public QObject
{
    Q_OBJECT

private slots:
    void matchesComparison_data();
    void matchesComparison();
};

void TestHpfRadixSort::matchesComparison_data()
{
    QTest::addColumn<int>("kind"); // EColumnKind
    QTest::addColumn<bool>("descending");
    for (const auto& kind : {std::make_pair("text", eKindText), std::make_pair("int", eKindInt),
                             std::make_pair("longlong", eKindLonglong), std::make_pair("double", eKindDouble)}) {
        QTest::addRow("%s ascending", kind.first) << int(kind.second) << false;
        QTest::addRow("%s descending", kind.first) << int(kind.second) << true;
    }
}

// The order of a stable sort by the three-way comparison, missing numbers last either way and
// ties in the order the rows were added.
void TestHpfRadixSort::matchesComparison()
{
    QFETCH(int, kind);
    QFETCH(bool, descending);

    const double inf = std::numeric_limits<double>::infinity(), nan = std::numeric_limits<double>::quiet_NaN();
    const QVector<double> numbers = {
        0.0,          -0.0,          1.5, -1.5, 0.25, 1e300, -1e300, -9.223372036854775808e18,
        2147483647.0, -2147483648.0, 7,   7,    inf,  -inf,  nan,    std::numeric_limits<double>::max()};
    const QVector<QChar> units = {QChar('a'), QChar('b'), QChar(0), QChar(0x4E2D), QChar(0xD83D), QChar(0xFFFF)};
    const int total = 3000;
    // A double as a narrower column holds it: missing stays missing, a number beyond the type is 42.
    const auto narrowed = [](double d, auto missing) -> decltype(missing) {
        return isMissing(d) ? missing : std::abs(d) < double(missing) ? decltype(missing)(d) : 42;
    };
    std::mt19937 random(11);
    QVector<QString> texts;
    QVector<double> doubles;
    QVector<int> ints;
    QVector<long long> longs;
    std::vector<int> rows;
    for (int i = 0; i < total; ++i) {
        QString text = QStringLiteral("abcdefg").left(int(random() % 8));
        for (int n = int(random() % 6); n > 0; --n)
            text.append(units[int(random() % units.size())]);
        texts.append(text);
        const double d =
            random() % 4 ? numbers[int(random() % numbers.size())] : double(int(random() % 2001) - 1000) / 8;
        doubles.append(d);
        ints.append(narrowed(d, std::numeric_limits<int>::max()));
        longs.append(narrowed(d, std::numeric_limits<long long>::max()));
        if (random() % 5)
            rows.push_back(i);
    }
    std::shuffle(rows.begin(), rows.end(), random);

    std::vector<int> expected = rows;
    std::sort(expected.begin(), expected.end());
    // The comparison puts a missing number after any other: so it stays, descending too.
    const auto expect = [&](auto compare, auto missing) {
        std::stable_sort(expected.begin(), expected.end(), [&](int a, int b) {
            if (missing(a) || missing(b) || !descending)
                return compare(a, b) < 0;
            return compare(b, a) < 0;
        });
    };
    const auto byNumber = [&](const auto& values) {
        using Number = typename std::decay_t<decltype(values)>::value_type;
        expect([&](int a, int b) { return compareNumbers(values[a], values[b]); },
               [&](int r) { return isMissing(values[r]); });
        sortByNumber<Number>(rows, total, descending, [&](int r) { return values[r]; });
    };
    switch (EColumnKind(kind)) {
    case eKindText:
        expect([&](int a, int b) { return QString::compare(texts[a], texts[b], Qt::CaseSensitive); },
               [](int) { return false; });
        sortByText(rows, total, descending, [&](int r) { return texts[r]; });
        break;
    case eKindInt: byNumber(ints); break;
    case eKindLonglong: byNumber(longs); break;
    case eKindDouble: byNumber(doubles); break;
    }
    QCOMPARE(rows.size(), expected.size());
    const auto differs = std::mismatch(rows.begin(), rows.end(), expected.begin());
    QCOMPARE(int(differs.first - rows.begin()), int(rows.size())); // the first place they differ
}

QTEST_MAIN(TestHpfRadixSort)
#include "tst_hpfradixsort.moc"
