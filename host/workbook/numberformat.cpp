#include "numberformat.h"

#include "inputcaps.h"

#include <cmath>

namespace WB {

namespace {

// The codes of the built-in ids as a spreadsheet program writes them; the East Asian ids are
// dates or times whatever the locale spells them.
QString builtinCode(int id)
{
    switch (id) {
    case 1: return QStringLiteral("0");
    case 2: return QStringLiteral("0.00");
    case 3: return QStringLiteral("#,##0");
    case 4: return QStringLiteral("#,##0.00");
    case 5: return QStringLiteral("\"$\"#,##0_);\\(\"$\"#,##0\\)");
    case 6: return QStringLiteral("\"$\"#,##0_);[Red]\\(\"$\"#,##0\\)");
    case 7: return QStringLiteral("\"$\"#,##0.00_);\\(\"$\"#,##0.00\\)");
    case 8: return QStringLiteral("\"$\"#,##0.00_);[Red]\\(\"$\"#,##0.00\\)");
    case 9: return QStringLiteral("0%");
    case 10: return QStringLiteral("0.00%");
    case 11: return QStringLiteral("0.00E+00");
    case 12: return QStringLiteral("# ?/?");
    case 13: return QStringLiteral("# ?\?/??");
    case 14: return QStringLiteral("m/d/yyyy");
    case 15: return QStringLiteral("d-mmm-yy");
    case 16: return QStringLiteral("d-mmm");
    case 17: return QStringLiteral("mmm-yy");
    case 18: return QStringLiteral("h:mm AM/PM");
    case 19: return QStringLiteral("h:mm:ss AM/PM");
    case 20: return QStringLiteral("h:mm");
    case 21: return QStringLiteral("h:mm:ss");
    case 22: return QStringLiteral("m/d/yyyy h:mm");
    case 37: return QStringLiteral("#,##0 ;(#,##0)");
    case 38: return QStringLiteral("#,##0 ;[Red](#,##0)");
    case 39: return QStringLiteral("#,##0.00;(#,##0.00)");
    case 40: return QStringLiteral("#,##0.00;[Red](#,##0.00)");
    case 41: return QStringLiteral("_(* #,##0_);_(* \\(#,##0\\);_(* \"-\"_);_(@_)");
    case 42: return QStringLiteral("_(\"$\"* #,##0_);_(\"$\"* \\(#,##0\\);_(\"$\"* \"-\"_);_(@_)");
    case 43: return QStringLiteral("_(* #,##0.00_);_(* \\(#,##0.00\\);_(* \"-\"??_);_(@_)");
    case 44: return QStringLiteral("_(\"$\"* #,##0.00_);_(\"$\"* \\(#,##0.00\\);_(\"$\"* \"-\"??_);_(@_)");
    case 45: return QStringLiteral("mm:ss");
    case 46: return QStringLiteral("[h]:mm:ss");
    case 47: return QStringLiteral("mm:ss.0");
    case 48: return QStringLiteral("##0.0E+0");
    case 49: return QStringLiteral("@");
    case 27:
    case 28:
    case 29:
    case 30:
    case 31:
    case 36:
    case 50:
    case 51:
    case 52:
    case 53:
    case 54:
    case 57:
    case 58: return QStringLiteral("yyyy\"年\"m\"月\"d\"日\"");
    case 32:
    case 33:
    case 34:
    case 35:
    case 55:
    case 56: return QStringLiteral("h\"时\"mm\"分\"ss\"秒\"");
    default: return QString(); // General, and ids no writer defines
    }
}

// Where the section starting at from ends: at the next ";" outside quotes and escapes.
int sectionEnd(const QString& code, int from)
{
    for (int i = from; i < code.size(); ++i) {
        const QChar c = code.at(i);
        if (c == QLatin1Char('"')) {
            const int close = code.indexOf(QLatin1Char('"'), i + 1);
            i = close < 0 ? code.size() : close;
        } else if (c == QLatin1Char('\\') || c == QLatin1Char('_') || c == QLatin1Char('*')) {
            ++i;
        } else if (c == QLatin1Char(';')) {
            return i;
        }
    }
    return code.size();
}

bool isElapsedUnit(const QString& inner)
{
    if (inner.isEmpty())
        return false;
    const QChar first = inner.at(0).toLower();
    if (first != QLatin1Char('h') && first != QLatin1Char('m') && first != QLatin1Char('s'))
        return false;
    for (const QChar c : inner) {
        if (c.toLower() != first)
            return false;
    }
    return true;
}

// [<0.5], [>=1], [<>0] and the like: the section's condition. False when inner is none.
bool readCondition(const QString& inner, char& condition, double& operand)
{
    const QChar first = inner.isEmpty() ? QChar() : inner.at(0);
    if (first != QLatin1Char('<') && first != QLatin1Char('>') && first != QLatin1Char('='))
        return false;
    int at = 1;
    condition = first.toLatin1();
    if (inner.size() > 1 && first == QLatin1Char('<') && inner.at(1) == QLatin1Char('=')) {
        condition = 'l';
        at = 2;
    } else if (inner.size() > 1 && first == QLatin1Char('>') && inner.at(1) == QLatin1Char('=')) {
        condition = 'g';
        at = 2;
    } else if (inner.size() > 1 && first == QLatin1Char('<') && inner.at(1) == QLatin1Char('>')) {
        condition = 'n';
        at = 2;
    }
    bool ok = false;
    operand = inner.mid(at).trimmed().toDouble(&ok);
    if (!ok)
        condition = 0;
    return true;
}

// A comma after a digit that no digit of the same part follows divides by 1000. order holds the
// digit placeholders (0), points and commas, in order.
bool scalesByThousands(const QByteArray& order)
{
    for (int k = 1; k < order.size(); ++k) {
        if (order[k] != ',' || (order[k - 1] != '0' && order[k - 1] != ','))
            continue;
        int next = k + 1;
        while (next < order.size() && order[next] == ',')
            ++next;
        if (next == order.size() || order[next] != '0')
            return true;
    }
    return false;
}

QString padded(qint64 value, int width)
{
    return QStringLiteral("%1").arg(value, width, 10, QLatin1Char('0'));
}

} // namespace

CNumberFormat CNumberFormat::builtin(int id)
{
    CNumberFormat format = fromCode(builtinCode(id));
    return format;
}

CNumberFormat CNumberFormat::fromCode(const QString& code)
{
    CNumberFormat format;
    if (code.isEmpty() || code.size() > inputcaps::kMaxFormatChars)
        return format;
    format.m_code = code;
    std::vector<Section> sections;
    for (int start = 0;;) {
        const int end = sectionEnd(code, start);
        sections.push_back(parseSection(code, start, end));
        if (end >= code.size() || sections.size() == 4)
            break;
        start = end + 1;
    }
    if (sections.size() == 4) {
        format.m_hidesText = !sections[3].hasAt;
        sections.pop_back();
    }
    // A negative section chosen by the sign shows the number without it.
    const bool conditional = sections[0].condition || (sections.size() > 1 && sections[1].condition);
    for (size_t i = 1; i < sections.size(); ++i)
        sections[i].showsSign = conditional;
    format.m_sections = std::move(sections);
    format.m_plain = !format.m_hidesText;
    for (const Section& section : format.m_sections)
        format.m_plain =
            format.m_plain && section.shown == EShown::Value && !section.condition && !section.optionalDigits;
    return format;
}

CNumberFormat::Section CNumberFormat::parseSection(const QString& code, int start, int end)
{
    Section s;
    s.start = start;
    s.end = end;
    bool general = false, date = false, time = false, monthOrMinute = false, elapsed = false;
    bool afterPoint = false, afterExponent = false, scientific = false;
    int integerDigits = 0, zeroPlaceholders = 0;
    QByteArray order; // digit placeholders (0), points and commas, in order, for the scaling rule
    for (int i = start; i < end; ++i) {
        const QChar c = code.at(i).toLower();
        switch (c.unicode()) {
        case '"': {
            const int close = code.indexOf(QLatin1Char('"'), i + 1);
            i = close < 0 || close >= end ? end : close;
            break;
        }
        case '\\':
        case '_':
        case '*': ++i; break;
        case '[': {
            const int close = code.indexOf(QLatin1Char(']'), i);
            if (close < 0 || close >= end) {
                i = end;
                break;
            }
            const QString inner = code.mid(i + 1, close - i - 1);
            if (!readCondition(inner, s.condition, s.operand) && isElapsedUnit(inner))
                elapsed = time = true;
            i = close;
            break;
        }
        case 'g':
            if (code.midRef(i, 7).compare(QLatin1String("general"), Qt::CaseInsensitive) == 0) {
                general = true;
                i += 6;
            }
            break;
        case '0':
        case '#':
        case '?':
            zeroPlaceholders += !afterExponent && c == QLatin1Char('0') ? 1 : 0;
            if (afterExponent) {
                s.exponentDigits += c == QLatin1Char('0') ? 1 : 0;
            } else if (afterPoint) {
                ++s.decimals;
                s.zeroDecimals += c == QLatin1Char('0') ? 1 : 0;
                order += '0';
            } else {
                ++integerDigits;
                order += '0';
            }
            break;
        case '.':
            if (!afterExponent) {
                afterPoint = true;
                order += '.';
            }
            break;
        case ',':
            if (!afterExponent)
                order += ',';
            break;
        case 'e':
            if (i + 1 < end && (code.at(i + 1) == QLatin1Char('+') || code.at(i + 1) == QLatin1Char('-')) &&
                !order.isEmpty()) {
                scientific = afterExponent = true;
                s.exponentPlus = code.at(i + 1) == QLatin1Char('+');
                s.exponentDigits = 0;
                ++i;
            } else {
                date = true;
            }
            break;
        case 'y':
        case 'd':
        case 'b': date = true; break;
        case 'h': time = true; break;
        case 's': time = s.seconds = true; break;
        case 'm': monthOrMinute = true; break;
        case '@': s.hasAt = true; break;
        case '%': s.percent = true; break;
        default: break;
        }
    }
    if (elapsed) {
        s.shown = EShown::Elapsed;
    } else if (date || (monthOrMinute && !time)) {
        s.shown = EShown::Date;
    } else if (time) {
        s.shown = EShown::Time;
    } else if (general || s.hasAt) {
        s.shown = EShown::Value;
    } else if (order.count('0') == 0) {
        s.shown = EShown::NoDigit;
    } else if (scientific) {
        s.shown = EShown::Scientific;
        s.mantissaDigits = qMax(integerDigits, 1);
        s.exponentDigits = qMax(s.exponentDigits, 1);
    } else {
        s.optionalDigits = zeroPlaceholders == 0;
        if (scalesByThousands(order))
            s.shown = EShown::Scaled;
    }
    return s;
}

const CNumberFormat::Section* CNumberFormat::sectionFor(double value) const
{
    const size_t n = m_sections.size();
    if (n == 0)
        return nullptr;
    const bool conditional = m_sections[0].condition || (n > 1 && m_sections[1].condition);
    if (!conditional) {
        if (n == 1)
            return &m_sections[0];
        if (n == 2)
            return value < 0 ? &m_sections[1] : &m_sections[0];
        return value > 0 ? &m_sections[0] : value < 0 ? &m_sections[1] : &m_sections[2];
    }
    size_t i = 0;
    for (; i < n && m_sections[i].condition; ++i) {
        const Section& s = m_sections[i];
        const bool match = s.condition == '<'   ? value < s.operand
                           : s.condition == '>' ? value > s.operand
                           : s.condition == '=' ? value == s.operand
                           : s.condition == 'l' ? value <= s.operand
                           : s.condition == 'g' ? value >= s.operand
                                                : value != s.operand;
        if (match)
            return &s;
    }
    return i < n ? &m_sections[i] : &m_sections[n - 1];
}

EShown CNumberFormat::shows(double value) const
{
    const Section* section = sectionFor(value);
    if (!section)
        return EShown::Value;
    if (section->shown == EShown::Value && section->optionalDigits) {
        // "#.##" shows 0 and 0.001 as "." alone.
        const double seen = std::fabs(value) * (section->percent ? 100 : 1) * std::pow(10.0, section->decimals);
        if (std::round(seen) == 0)
            return EShown::NoDigit;
    }
    return section->shown;
}

QString CNumberFormat::text(double value, bool date1904) const
{
    const Section* section = sectionFor(value);
    if (!section)
        return CCellText::fromNumber(value);
    switch (section->shown) {
    case EShown::Date: return CCellText::fromSerial(value, EDateKind::Date, date1904, section->decimals);
    case EShown::Time: return CCellText::fromSerial(value, EDateKind::Time, date1904, section->decimals);
    case EShown::Elapsed: return elapsedText(*section, value);
    case EShown::Scientific: return scientificText(*section, value);
    default: return CCellText::fromNumber(value);
    }
}

CNumberFormat::EClash CNumberFormat::clash(double value, bool date1904) const
{
    const Section* section = sectionFor(value);
    if (!section || (section->shown != EShown::Date && section->shown != EShown::Time) || !(value >= 0) ||
        value >= 2958466)
        return EClash::None;
    const bool date = section->shown == EShown::Date;
    if (date && !date1904 && value > 0 && value < 1)
        return EClash::DayZero;
    if (!section->seconds)
        return EClash::None; // the second that rounding moves is not shown
    const int digits = qBound(0, section->decimals, 3);
    const double perSecond = std::pow(10.0, digits);
    const double units = value * 86400.0 * perSecond;
    const double past = units - std::floor(units);
    // A time typed as whole seconds is stored a hair off them, and a writer keeping 15 digits of
    // a serial cuts it by up to 9 microseconds: no program shows that.
    constexpr double kHairSeconds = 1e-4;
    if (past < 0.5 || past > 1 - kHairSeconds * perSecond)
        return EClash::None;
    // Rounding that reaches the next day: a date moves to it everywhere; a clock alone stops at
    // the day's last unit in one program and wraps to 00:00:00 in another.
    const bool nextDay = std::floor(std::round(units) / (86400.0 * perSecond)) > std::floor(value);
    if (digits > 0)
        return nextDay && !date ? EClash::Rounding : EClash::None;
    return nextDay && date ? EClash::None : EClash::Rounding;
}

// The section's tokens with the time counted past whole days in its bracketed unit.
QString CNumberFormat::elapsedText(const Section& section, double value) const
{
    if (!std::isfinite(value) || value < 0 || value > 1e9)
        return CCellText::fromNumber(value); // a spreadsheet program shows no negative time
    const qint64 total = std::llround(value * 86400.0);
    QString out;
    QChar big = QChar(); // the bracketed unit: what comes after it counts within it
    for (int i = section.start; i < section.end; ++i) {
        const QChar c = m_code.at(i);
        const QChar lower = c.toLower();
        int run = 1;
        while (i + run < section.end && m_code.at(i + run).toLower() == lower)
            ++run;
        if (c == QLatin1Char('"')) {
            const int close = m_code.indexOf(QLatin1Char('"'), i + 1);
            const int stop = close < 0 || close >= section.end ? section.end : close;
            out += m_code.mid(i + 1, stop - i - 1);
            i = stop;
        } else if (c == QLatin1Char('\\')) {
            if (i + 1 < section.end)
                out += m_code.at(++i);
        } else if (c == QLatin1Char('_')) {
            out += QLatin1Char(' ');
            ++i;
        } else if (c == QLatin1Char('*')) {
            ++i;
        } else if (c == QLatin1Char('[')) {
            const int close = m_code.indexOf(QLatin1Char(']'), i);
            const QString inner = m_code.mid(i + 1, close - i - 1);
            if (isElapsedUnit(inner)) {
                big = inner.at(0).toLower();
                const qint64 count = big == QLatin1Char('h')   ? total / 3600
                                     : big == QLatin1Char('m') ? total / 60
                                                               : total;
                out += padded(count, inner.size());
            }
            i = close < 0 ? section.end : close;
        } else if (lower == QLatin1Char('h')) {
            out += padded((total / 3600) % 24, qMin(run, 2));
            i += run - 1;
        } else if (lower == QLatin1Char('m')) {
            out += padded(big == QLatin1Char('m') ? total / 60 : (total / 60) % 60, qMin(run, 2));
            i += run - 1;
        } else if (lower == QLatin1Char('s')) {
            out += padded(total % 60, qMin(run, 2));
            i += run - 1;
        } else {
            out += c;
        }
    }
    return out;
}

QString CNumberFormat::scientificText(const Section& section, double value)
{
    if (!std::isfinite(value))
        return CCellText::fromNumber(value);
    const double magnitude = std::fabs(value);
    int exponent = 0;
    if (magnitude > 0) {
        exponent = int(std::floor(std::log10(magnitude)));
        if (section.mantissaDigits > 1) // engineering: the exponent a multiple of the digits before the point
            exponent = int(std::floor(double(exponent) / section.mantissaDigits)) * section.mantissaDigits;
    }
    QString mantissa;
    for (int pass = 0; pass < 2; ++pass) {
        mantissa = QString::number(magnitude / std::pow(10.0, exponent), 'f', section.decimals);
        const int point = mantissa.indexOf(QLatin1Char('.'));
        const int whole = point < 0 ? mantissa.size() : point;
        if (magnitude == 0 || whole <= section.mantissaDigits)
            break;
        exponent += section.mantissaDigits; // rounding carried into another digit: 9.9996 is 1.000E+01
    }
    // "#" decimals show only what is not a trailing zero.
    int keep = mantissa.size();
    const int point = mantissa.indexOf(QLatin1Char('.'));
    if (point >= 0) {
        const int least = point + 1 + section.zeroDecimals;
        while (keep > least && mantissa.at(keep - 1) == QLatin1Char('0'))
            --keep;
        if (keep == point + 1)
            --keep;
    }
    mantissa.truncate(keep);
    QString out = value < 0 && section.showsSign ? QStringLiteral("-") : QString();
    out += mantissa + QLatin1Char('E');
    if (exponent < 0)
        out += QLatin1Char('-');
    else if (section.exponentPlus)
        out += QLatin1Char('+');
    out += padded(std::abs(exponent), section.exponentDigits);
    return out;
}

} // namespace WB

namespace WB {

CCellFormats::CCellFormats()
{
    m_formats.push_back(CNumberFormat());
}

void CCellFormats::define(int id, const QString& code)
{
    if (m_byId.size() >= inputcaps::kMaxNumberFormats)
        return;
    const auto known = m_byId.constFind(id);
    if (known != m_byId.constEnd()) {
        m_formats[*known] = CNumberFormat::fromCode(code);
        return;
    }
    m_byId.insert(id, quint32(m_formats.size()));
    m_formats.push_back(CNumberFormat::fromCode(code));
}

void CCellFormats::addStyle(int formatId)
{
    auto known = m_byId.constFind(formatId);
    if (known == m_byId.constEnd()) {
        const CNumberFormat format = CNumberFormat::builtin(formatId);
        if (format.code().isEmpty()) {
            m_styles.push_back(0);
            return;
        }
        known = m_byId.insert(formatId, quint32(m_formats.size()));
        m_formats.push_back(format);
    }
    m_styles.push_back(*known);
}

QString formatRefusal(const QString& cell, double value, const CNumberFormat& format)
{
    switch (format.shows(value)) {
    case EShown::NoDigit:
        return QStringLiteral("the cell %1 holds %2, which its number format \"%3\" shows without a digit of it")
            .arg(cell, CCellText::fromNumber(value), format.code());
    case EShown::Scaled:
        return QStringLiteral("the cell %1 holds %2, which its number format \"%3\" shows divided by thousands")
            .arg(cell, CCellText::fromNumber(value), format.code());
    default: return QString();
    }
}

QString clashRefusal(const QString& cell, double value, const CNumberFormat& format, CNumberFormat::EClash clash)
{
    switch (clash) {
    case CNumberFormat::EClash::DayZero:
        return QStringLiteral("the cell %1 holds %2, which its number format \"%3\" shows on day 0, a day spreadsheet "
                              "programs differ on (1900-01-00, 1899-12-30)")
            .arg(cell, CCellText::fromNumber(value), format.code());
    case CNumberFormat::EClash::Rounding:
        return QStringLiteral("the cell %1 holds %2, a time half or more past the last second (or part of one) its "
                              "number format \"%3\" shows, which spreadsheet programs differ on (one rounds it up, "
                              "another cuts it)")
            .arg(cell, CCellText::fromNumber(value), format.code());
    default: return QString();
    }
}

QString textFormatRefusal(const QString& cell, const CNumberFormat& format)
{
    if (!format.hidesText())
        return QString();
    return QStringLiteral("the cell %1 holds a text its number format \"%2\" does not show").arg(cell, format.code());
}

} // namespace WB
