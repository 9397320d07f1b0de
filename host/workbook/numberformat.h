#pragma once

#include "celltext.h"

#include <QHash>
#include <QString>

#include <vector>

namespace WB {

// What the section of a number format that applies to a number makes of it.
enum class EShown : unsigned char
{
    Value,      // its digits, General or fixed, grouped, as percent, with text around: the value
    Date,       // a calendar date, with its time of day when it has one
    Time,       // a time of day
    Elapsed,    // hours, minutes or seconds counted past a day ([h]:mm:ss)
    Scientific, // mantissa and exponent (1.235E+04)
    NoDigit,    // literal text only, or nothing: no digit of the number is seen
    Scaled      // thousands commas after the digits divide what is seen by 1000 each
};

// A cell number format, read as a spreadsheet program applies it: the sections (positive,
// negative, zero, text), each with its condition ([<1]), and what each shows of a number. Parsed
// once where the format is defined; a cell then only chooses its section.
class CNumberFormat
{
public:
    CNumberFormat() = default;
    // A custom format's code (at most inputcaps::kMaxFormatChars characters; a longer or empty
    // one shows numbers as General).
    static CNumberFormat fromCode(const QString& code);
    // A built-in format id of either file format; the ids no writer defines show General.
    static CNumberFormat builtin(int id);

    // Every number shows its own value (General, fixed decimals, percent ...): nothing to choose
    // per cell. Text is shown too.
    bool plain() const { return m_plain; }
    // How the section that applies to value shows it.
    EShown shows(double value) const;
    // The text a spreadsheet program shows for value where shows() is Date, Time, Elapsed or
    // Scientific; the General text otherwise.
    QString text(double value, bool date1904) const;
    // Where shows() is Date or Time, whether spreadsheet programs show value as different days
    // or times: a time of day on the 1900 system's day 0 (1900-01-00, 1899-12-30), or a clock
    // showing the second, half or more past the last second (or part of one) it shows, which one
    // program rounds up and another cuts.
    enum class EClash : unsigned char
    {
        None,
        DayZero,
        Rounding
    };
    EClash clash(double value, bool date1904) const;
    // A text cell is not shown: a text section without "@" (";;;" hides every cell).
    bool hidesText() const { return m_hidesText; }
    // The code as written, for reasons; the built-in code for a built-in id.
    const QString& code() const { return m_code; }

private:
    struct Section
    {
        EShown shown = EShown::Value;
        char condition = 0; // '<', '>', '=', 'l' (<=), 'g' (>=), 'n' (<>) or none
        double operand = 0;
        int start = 0, end = 0; // in m_code
        // Scientific: integer and decimal placeholders, of them zeros, exponent digits, "E+".
        int mantissaDigits = 1, decimals = 0, zeroDecimals = 0, exponentDigits = 1;
        bool exponentPlus = true;
        bool hasAt = false;
        bool showsSign = true;
        // Digits only by "#" or "?": a number rounding to zero at its decimals shows none.
        bool optionalDigits = false;
        bool percent = false;
        bool seconds = false; // a date or time showing the second
    };

    static Section parseSection(const QString& code, int start, int end);
    const Section* sectionFor(double value) const;
    QString elapsedText(const Section& section, double value) const;
    static QString scientificText(const Section& section, double value);

    QString m_code;
    std::vector<Section> m_sections; // numeric ones, at most three
    bool m_plain = true;
    bool m_hidesText = false;
};

} // namespace WB

namespace WB {

// The number format of each cell style of a workbook, each format parsed once.
class CCellFormats
{
public:
    CCellFormats();
    // A custom format for an id (it may redefine a built-in one): before the styles naming it.
    void define(int id, const QString& code);
    // The next cell style shows numbers in the format of that id.
    void addStyle(int formatId);
    qint64 styleCount() const { return qint64(m_styles.size()); }
    // General for a style not defined.
    const CNumberFormat& ofStyle(qint64 style) const
    {
        return style >= 0 && style < qint64(m_styles.size()) ? m_formats[m_styles[size_t(style)]] : m_formats[0];
    }

private:
    std::vector<CNumberFormat> m_formats; // General first
    QHash<int, quint32> m_byId;
    std::vector<quint32> m_styles;
};

// Why a number or text of a cell cannot be sent as its value: its format's section shows no digit
// of it, or scales it, or hides the text. Empty when it shows the value (or a date, time ...).
QString formatRefusal(const QString& cell, double value, const CNumberFormat& format);
QString textFormatRefusal(const QString& cell, const CNumberFormat& format);
// Why a date or time cannot be sent as seen: spreadsheet programs show it otherwise, as
// format.clash(value) found.
QString clashRefusal(const QString& cell, double value, const CNumberFormat& format, CNumberFormat::EClash clash);

} // namespace WB
