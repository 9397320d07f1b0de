#pragma once

#include <QtEndian>

#include <cstring>

// Fixed-width fields of the binary formats the readers take (zip, compound document, BIFF), all
// little-endian and unaligned.
namespace WB::le {

template <typename T>
T read(const void* p)
{
    return qFromLittleEndian<T>(p);
}

inline quint16 u16(const void* p)
{
    return qFromLittleEndian<quint16>(p);
}

inline quint32 u32(const void* p)
{
    return qFromLittleEndian<quint32>(p);
}

inline quint64 u64(const void* p)
{
    return qFromLittleEndian<quint64>(p);
}

inline double f64(const void* p)
{
    const quint64 bits = u64(p);
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

} // namespace WB::le
