#include "hosttoolkit.h"

#include <QLocale>

#include <algorithm>
#include <cmath>

namespace WB {

namespace {

constexpr int kMaxPrecision = 15;

// Rounds a plain decimal digit string ("1234.5678", no sign) half away from zero to precision
// decimals and pads it to exactly that many.
QString roundDecimalText(const QString& digits, int precision)
{
    const int dot = digits.indexOf(QLatin1Char('.'));
    QString intPart = dot < 0 ? digits : digits.left(dot);
    QString fracPart = dot < 0 ? QString() : digits.mid(dot + 1);

    bool roundUp = false;
    if (fracPart.size() > precision) {
        roundUp = fracPart.at(precision) >= QLatin1Char('5');
        fracPart.truncate(precision);
    }
    fracPart = fracPart.leftJustified(precision, QLatin1Char('0'));

    if (roundUp) {
        QString all = intPart + fracPart;
        int i = all.size() - 1;
        for (; i >= 0; --i) {
            if (all.at(i) == QLatin1Char('9')) {
                all[i] = QLatin1Char('0');
            } else {
                all[i] = QChar(all.at(i).unicode() + 1);
                break;
            }
        }
        if (i < 0)
            all.prepend(QLatin1Char('1'));
        intPart = all.left(all.size() - precision);
        fracPart = all.right(precision);
    }
    return precision > 0 ? intPart + QLatin1Char('.') + fracPart : intPart;
}

QString groupThousands(const QString& intPart)
{
    QString grouped;
    grouped.reserve(intPart.size() + intPart.size() / 3);
    const int n = intPart.size();
    for (int i = 0; i < n; ++i) {
        if (i > 0 && (n - i) % 3 == 0)
            grouped += QLatin1Char(',');
        grouped += intPart.at(i);
    }
    return grouped;
}

} // namespace

QString formatDoubleNumber(double value, int precision, utils::CFlags<utils::EFormatNumberFlag> flags, bool trimZeros,
                           const QString& invalidText)
{
    if (!std::isfinite(value) || std::fabs(value) >= std::numeric_limits<double>::max())
        return invalidText;

    precision = qBound(0, precision, kMaxPrecision);
    const bool percent = flags.testFlag(utils::eFormatNumberPercent);
    if (percent) {
        value *= 100.0;
        if (!std::isfinite(value))
            return invalidText;
    }

    // Round the shortest decimal form of the value rather than its binary expansion, so 1.005
    // shows as 1.01 the way a person reading the number expects.
    const QString shortest = QLocale::c().toString(std::fabs(value), 'f', QLocale::FloatingPointShortest);
    QString text = roundDecimalText(shortest, precision);

    if (trimZeros && text.contains(QLatin1Char('.'))) {
        int end = text.size();
        while (text.at(end - 1) == QLatin1Char('0'))
            --end;
        if (text.at(end - 1) == QLatin1Char('.'))
            --end;
        text.truncate(end);
    }

    const int dot = text.indexOf(QLatin1Char('.'));
    if (flags.testFlag(utils::eFormatNumberThousands)) {
        const QString intPart = dot < 0 ? text : text.left(dot);
        text = groupThousands(intPart) + (dot < 0 ? QString() : text.mid(dot));
    }

    // No "-0.00": a negative value that rounds to zero shows as zero.
    const bool allZero =
        std::all_of(text.cbegin(), text.cend(), [](QChar c) { return !c.isDigit() || c == QLatin1Char('0'); });
    if (value < 0 && !allZero)
        text.prepend(QLatin1Char('-'));
    if (percent)
        text += QLatin1Char('%');
    return text;
}

} // namespace WB
