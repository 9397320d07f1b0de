#pragma once

#include <QString>

namespace WB {

// How a cell's number format shows a number: as is, as a calendar date (with its time of day
// when it has one) or as a time of day alone.
enum class EDateKind : unsigned char
{
    None,
    Date,
    Time
};

// Turns stored cell values into the text a person sees in Excel's General format, the same for
// .xlsx and .xls so both readers agree on every cell.
class CCellText
{
public:
    // At most 15 significant digits, no exponent from 1e-10 to 1e21 (600000, 0.7, 0.3 for
    // 0.1+0.2, 123456789012346000), otherwise 1.5E+25.
    static QString fromNumber(double value);
    // The same written to text (at most kNumberChars characters), without a string of its own:
    // a sheet of numbers makes one for each cell otherwise. Returns the length.
    static constexpr int kNumberChars = 32;
    static int writeNumber(double value, QChar* text);
    // Whether fromNumber would give the number written as text back unchanged: plain decimal
    // without leading or trailing zeros, at most 15 significant digits, within 1e-10 to 1e15.
    static bool isGeneralNumber(const char* text, int length);
    // A date serial as yyyy-MM-dd, with " hh:mm:ss" when it has a time of day; Time gives
    // hh:mm:ss alone; fractionDigits (at most 3) more digits of the second when the format shows
    // them. Rounded to what is shown. A serial outside 0001..9999 falls back to the number.
    static QString fromSerial(double serial, EDateKind kind, bool date1904, int fractionDigits = 0);
    // Drops a " 00:00:00" time of day so midnight reads as the date alone.
    static QString withoutMidnight(const QString& dateTime);
    // ISO 8601 date/time text (cells of type "d") in the same shape as fromSerial.
    static QString fromIsoDateTime(const QString& iso);
    // The first UTF-16 surrogate without its other half, or -1: no text a person sees holds one,
    // and it would reach the server as "?".
    static int unpairedSurrogate(const QChar* text, int length);

private:
    // writeNumber's quick path; 0 when it does not apply.
    static int writeFewDecimals(double value, QChar* text);
    static int writeGeneral(double value, QChar* text);
};

} // namespace WB
