#pragma once
// How the table family reads a column: which accessor of a row holds its value, and which
// values mean "no value" (they sort last whichever way the column is sorted).

#include <QVariant>

#include <cmath>
#include <limits>

namespace WB {
namespace hpf {

enum EColumnKind
{
    eKindText,
    eKindInt,
    eKindLonglong,
    eKindDouble,
};

inline EColumnKind columnKind(QVariant::Type type)
{
    switch (type) {
    case QVariant::Int:
    case QVariant::UInt: return eKindInt;
    case QVariant::LongLong:
    case QVariant::ULongLong: return eKindLonglong;
    case QVariant::Double: return eKindDouble;
    default: return eKindText;
    }
}

inline bool isNumericKind(EColumnKind kind)
{
    return kind != eKindText;
}

inline bool isMissing(int v)
{
    return v == std::numeric_limits<int>::max();
}

inline bool isMissing(long long v)
{
    return v == std::numeric_limits<long long>::max();
}

inline bool isMissing(double v)
{
    return !std::isfinite(v) || v == std::numeric_limits<double>::max();
}

// Three-way comparison of two numbers with the missing values after every real one.
template <class T>
inline int compareNumbers(T a, T b)
{
    const bool ma = isMissing(a);
    const bool mb = isMissing(b);
    if (ma || mb)
        return int(ma) - int(mb);
    return a < b ? -1 : (b < a ? 1 : 0);
}

} // namespace hpf
} // namespace WB
