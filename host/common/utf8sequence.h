#pragma once
// The host's one reading of UTF-8: what the codec, the stored-text check and the zip reader
// accept is the same well-formed UTF-8, and nothing else (no overlong form such as C0 80, no
// surrogate, nothing past U+10FFFF). Qt's decoder replaces such forms, which does for display but
// not for deciding what may be stored or what a name is.

#include <cstddef>

namespace utf8 {

// The sequence starting at p (p < end): its length, 1 to 4, with its code point; 0 when it is
// not well-formed, with bad the bytes of its longest well-formed prefix (at least 1), which a
// decoder replaces with one U+FFFD.
inline std::size_t sequenceAt(const unsigned char* p, const unsigned char* end, char32_t& code, std::size_t& bad)
{
    const unsigned char b0 = *p;
    if (b0 < 0x80) {
        code = b0;
        return 1;
    }
    std::size_t need = 0;
    unsigned char low = 0x80, high = 0xBF; // the second byte's range, tighter against overlong forms
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        need = 1;
        code = b0 & 0x1Fu;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        need = 2;
        code = b0 & 0x0Fu;
        low = b0 == 0xE0 ? 0xA0 : 0x80;
        high = b0 == 0xED ? 0x9F : 0xBF; // ED A0..BF would be a surrogate
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        need = 3;
        code = b0 & 0x07u;
        low = b0 == 0xF0 ? 0x90 : 0x80;
        high = b0 == 0xF4 ? 0x8F : 0xBF; // past F4 8F is past U+10FFFF
    } else {
        bad = 1;
        return 0;
    }
    std::size_t k = 1;
    for (; k <= need && p + k < end; ++k) {
        const unsigned char b = p[k];
        if (b < (k == 1 ? low : 0x80) || b > (k == 1 ? high : 0xBF))
            break;
        code = (code << 6) | (b & 0x3Fu);
    }
    if (k == need + 1)
        return k;
    bad = k;
    return 0;
}

// Whether size bytes at data are well-formed UTF-8 throughout.
inline bool isWellFormed(const char* data, std::size_t size)
{
    const auto* p = reinterpret_cast<const unsigned char*>(data);
    const auto* end = p + size;
    char32_t code = 0;
    std::size_t bad = 0;
    while (p < end) {
        const std::size_t length = sequenceAt(p, end, code, bad);
        if (length == 0)
            return false;
        p += length;
    }
    return true;
}

// Writes code (a Unicode scalar value: no surrogate) as its 1 to 4 bytes at out, which has room
// for them; returns the end of what it wrote.
inline char* writeSequence(char32_t code, char* out)
{
    if (code < 0x80) {
        *out++ = char(code);
    } else if (code < 0x800) {
        *out++ = char(0xC0 | (code >> 6));
        *out++ = char(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        *out++ = char(0xE0 | (code >> 12));
        *out++ = char(0x80 | ((code >> 6) & 0x3F));
        *out++ = char(0x80 | (code & 0x3F));
    } else {
        *out++ = char(0xF0 | (code >> 18));
        *out++ = char(0x80 | ((code >> 12) & 0x3F));
        *out++ = char(0x80 | ((code >> 6) & 0x3F));
        *out++ = char(0x80 | (code & 0x3F));
    }
    return out;
}

} // namespace utf8
