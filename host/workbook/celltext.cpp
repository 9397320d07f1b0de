#include "celltext.h"

#include <QDate>
#include <QDateTime>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

namespace WB {

namespace {

constexpr int kSignificantDigits = 15;
constexpr int kPlainMinExponent = -10;
constexpr int kPlainMaxExponent = 20;
// Below 1e9 with six decimals at most, a number has 15 digits at most, and two texts of as many
// decimals are further apart than two doubles: the short path finds the one text there is.
constexpr double kFewDecimalsBelow = 1e9;
constexpr int kFewDecimalsMax = 6;

// hh:mm:ss of seconds into the day, and fraction, the digits of the second past them.
QString clockText(qint64 seconds, const QString& fraction)
{
    QString text = QTime(0, 0).addSecs(int(seconds)).toString(QStringLiteral("hh:mm:ss"));
    return fraction.isEmpty() ? text : text + QLatin1Char('.') + fraction;
}

QString dateText(qint64 days, const QString& clock, bool date1904)
{
    QDate date;
    if (date1904)
        date = QDate(1904, 1, 1).addDays(days);
    else if (days == 60) // the 29 February 1900 that Lotus believed in and Excel still shows
        return clock.isEmpty() ? QStringLiteral("1900-02-29") : QStringLiteral("1900-02-29 ") + clock;
    else
        date = days < 60 ? QDate(1899, 12, 31).addDays(days) : QDate(1899, 12, 30).addDays(days);
    const QString text = date.toString(QStringLiteral("yyyy-MM-dd"));
    return clock.isEmpty() ? text : text + QLatin1Char(' ') + clock;
}

} // namespace

bool CCellText::isGeneralNumber(const char* text, int length)
{
    const char* p = text;
    const char* end = text + length;
    const bool negative = p < end && *p == '-';
    if (negative)
        ++p;
    const char* integer = p;
    while (p < end && *p >= '0' && *p <= '9')
        ++p;
    const int integerDigits = int(p - integer);
    if (integerDigits == 0 || integerDigits > kSignificantDigits || (integerDigits > 1 && *integer == '0'))
        return false;
    const bool zeroInteger = *integer == '0';
    if (p == end)
        return !(zeroInteger && negative); // fromNumber writes -0 as 0
    if (*p != '.')
        return false;
    const char* fraction = ++p;
    while (p < end && *p >= '0' && *p <= '9')
        ++p;
    const int fractionDigits = int(p - fraction);
    if (p != end || fractionDigits == 0 || end[-1] == '0')
        return false;
    if (!zeroInteger)
        return integerDigits + fractionDigits <= kSignificantDigits;
    int zeros = 0;
    while (fraction[zeros] == '0')
        ++zeros;
    return -(zeros + 1) >= kPlainMinExponent && fractionDigits - zeros <= kSignificantDigits;
}

QString CCellText::fromNumber(double value)
{
    QChar text[kNumberChars];
    return QString(text, writeNumber(value, text));
}

int CCellText::unpairedSurrogate(const QChar* text, int length)
{
    for (int i = 0; i < length; ++i) {
        if (!text[i].isSurrogate())
            continue;
        if (text[i].isHighSurrogate() && i + 1 < length && text[i + 1].isLowSurrogate())
            ++i;
        else
            return i;
    }
    return -1;
}

// Most cells hold a whole number or a few decimals: value is m / 10^k for the smallest such k
// when that division gives value back, and then m written with k decimals is the shortest text
// that reads back as value, as the general path finds it (at most 15 digits, plain notation).
int CCellText::writeFewDecimals(double value, QChar* text)
{
    if (!(std::fabs(value) < kFewDecimalsBelow) || value == 0)
        return 0;
    double scale = 1;
    for (int decimals = 0; decimals <= kFewDecimalsMax; ++decimals, scale *= 10) {
        const double scaled = double(qint64(std::fabs(value) * scale + 0.5));
        if (scaled / scale != std::fabs(value))
            continue;
        char digits[kSignificantDigits + 1];
        int count = 0;
        for (qint64 m = qint64(scaled); m > 0 || count <= decimals; m /= 10)
            digits[count++] = char('0' + m % 10);
        int n = 0;
        if (value < 0)
            text[n++] = QLatin1Char('-');
        for (int i = count - 1; i >= 0; --i) {
            if (i == decimals - 1)
                text[n++] = QLatin1Char('.');
            text[n++] = QLatin1Char(digits[i]);
        }
        return n;
    }
    return 0;
}

int CCellText::writeNumber(double value, QChar* text)
{
    const int n = writeFewDecimals(value, text);
    return n > 0 ? n : writeGeneral(value, text);
}

int CCellText::writeGeneral(double value, QChar* text)
{
    char out[kNumberChars];
    int n = 0;
    const auto put = [&out, &n](const char* chars, int count) {
        std::memcpy(out + n, chars, size_t(count));
        n += count;
    };
    if (!std::isfinite(value)) {
        put("#NUM!", 5);
    } else if (value == 0) {
        put("0", 1);
    } else {
        // d.dddddddddddddde±x: the value rounded to 15 significant digits, locale-free. The
        // shortest form that reads back as the value is that already when it has 15 digits or
        // fewer (any such decimal survives the trip through a double), and it is much quicker to find.
        char buf[40];
        auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific);
        const int written = int(std::find(buf, res.ptr, 'e') - buf) - (value < 0 ? 1 : 0); // digits and point
        if ((written > 1 ? written - 1 : written) > kSignificantDigits)
            res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific, kSignificantDigits - 1);
        const char* p = buf;
        if (*p == '-') {
            put("-", 1);
            ++p;
        }
        char digits[kSignificantDigits];
        int count = 0;
        for (; p < res.ptr && *p != 'e'; ++p) {
            if (*p >= '0' && *p <= '9' && count < kSignificantDigits)
                digits[count++] = *p;
        }
        int exponent = 0;
        std::from_chars(p + 1 + (p[1] == '+' ? 1 : 0), res.ptr, exponent);
        while (count > 1 && digits[count - 1] == '0')
            --count;
        if (exponent >= kPlainMinExponent && exponent <= kPlainMaxExponent) {
            if (exponent < 0) {
                put("0.", 2);
                for (int i = -1; i > exponent; --i)
                    put("0", 1);
                put(digits, count);
            } else {
                const int intDigits = exponent + 1;
                for (int i = 0; i < intDigits; ++i)
                    put(i < count ? digits + i : "0", 1);
                if (count > intDigits) {
                    put(".", 1);
                    put(digits + intDigits, count - intDigits);
                }
            }
        } else {
            put(digits, 1);
            if (count > 1) {
                put(".", 1);
                put(digits + 1, count - 1);
            }
            put(exponent < 0 ? "E-" : "E+", 2);
            char power[8] = {};
            const auto e = std::to_chars(power, power + sizeof power, std::abs(exponent));
            if (e.ptr - power < 2)
                put("0", 1);
            put(power, int(e.ptr - power));
        }
    }
    for (int i = 0; i < n; ++i)
        text[i] = QLatin1Char(out[i]);
    return n;
}

QString CCellText::fromSerial(double serial, EDateKind kind, bool date1904, int fractionDigits)
{
    // 2958465 is 9999-12-31, the last day Excel shows.
    if (!std::isfinite(serial) || serial < 0 || serial >= 2958466 || kind == EDateKind::None)
        return fromNumber(serial);
    fractionDigits = qBound(0, fractionDigits, 3); // a spreadsheet program shows a millisecond at most
    qint64 scale = 1;
    for (int i = 0; i < fractionDigits; ++i)
        scale *= 10;
    const qint64 perDay = 86400 * scale;
    const qint64 total = std::llround(serial * double(perDay));
    const qint64 days = total / perDay, units = total % perDay;
    const QString fraction =
        fractionDigits ? QString::number(units % scale).rightJustified(fractionDigits, QLatin1Char('0')) : QString();
    if (kind == EDateKind::Time)
        return clockText(units / scale, fraction);
    if (days == 0 && !date1904)
        return fromNumber(serial); // serial 0 is no day (Excel shows 1900-01-00)
    return dateText(days, units ? clockText(units / scale, fraction) : QString(), date1904);
}

QString CCellText::withoutMidnight(const QString& dateTime)
{
    if (dateTime.size() == 19 && dateTime.endsWith(QLatin1String(" 00:00:00")))
        return dateTime.left(10);
    return dateTime;
}

QString CCellText::fromIsoDateTime(const QString& iso)
{
    QDateTime dt = QDateTime::fromString(iso, Qt::ISODate);
    if (!dt.isValid()) {
        const QDate d = QDate::fromString(iso, Qt::ISODate);
        if (d.isValid())
            return d.toString(QStringLiteral("yyyy-MM-dd"));
        const QTime t = QTime::fromString(iso, Qt::ISODate);
        return t.isValid() ? t.toString(QStringLiteral("hh:mm:ss")) : iso;
    }
    if (dt.time() == QTime(0, 0))
        return dt.date().toString(QStringLiteral("yyyy-MM-dd"));
    return dt.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
}

} // namespace WB
