#include "hostservice.h"

#include "utf8sequence.h"

#include <QTextCodec>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <iconv.h>
#include <limits>

namespace {

// Index of the first byte at or after i that is not ASCII (size when there is none), eight bytes
// at a time: a Chinese file is mostly codes, ratios and separators.
size_t skipAscii(const std::string& text, size_t i)
{
    const size_t size = text.size();
    for (; i + 8 <= size; i += 8) {
        uint64_t word;
        std::memcpy(&word, text.data() + i, 8);
        if (word & 0x8080808080808080ull) {
            break;
        }
    }
    while (i < size && static_cast<unsigned char>(text[i]) < 0x80) {
        ++i;
    }
    return i;
}

bool isAscii(const std::string& text)
{
    return skipAscii(text, 0) == text.size();
}

bool hasUtf8Bom(const std::string& text)
{
    return text.size() >= 3 && static_cast<unsigned char>(text[0]) == 0xEF &&
           static_cast<unsigned char>(text[1]) == 0xBB && static_cast<unsigned char>(text[2]) == 0xBF;
}

// Broken UTF-8 sequences, counted up to limit: past it the count no longer matters.
size_t utf8BrokenCount(const std::string& s, size_t limit)
{
    size_t broken = 0;
    for (size_t i = skipAscii(s, 0); i < s.size() && broken < limit; i = skipAscii(s, i)) {
        const auto* at = reinterpret_cast<const unsigned char*>(s.data()) + i;
        char32_t code = 0;
        size_t bad = 0;
        const size_t len = utf8::sequenceAt(at, at + (s.size() - i), code, bad);
        if (len) {
            i += len;
        } else {
            ++broken;
            i += bad;
        }
    }
    return broken;
}

// Broken sequences when read as GB18030, stepping one byte past each, as safeGbk2Utf8 does.
size_t gb18030BrokenCount(const std::string& s)
{
    auto at = [&s](size_t i) { return static_cast<unsigned char>(s[i]); };
    size_t broken = 0;
    for (size_t i = skipAscii(s, 0); i < s.size(); i = skipAscii(s, i)) {
        const unsigned char b0 = at(i);
        if (b0 >= 0x81 && b0 <= 0xFE && i + 1 < s.size()) {
            const unsigned char b1 = at(i + 1);
            if ((b1 >= 0x40 && b1 <= 0x7E) || (b1 >= 0x80 && b1 <= 0xFE)) {
                i += 2;
                continue;
            }
            if (b1 >= 0x30 && b1 <= 0x39 && i + 3 < s.size() && at(i + 2) >= 0x81 && at(i + 2) <= 0xFE &&
                at(i + 3) >= 0x30 && at(i + 3) <= 0x39) {
                i += 4;
                continue;
            }
        }
        ++broken;
        ++i;
    }
    return broken;
}

const char kReplacement[] = "\xEF\xBF\xBD";

// Converts with iconv; stopOnError: give up (false) at the first bad sequence, otherwise
// replace it with U+FFFD and go on with the next byte.
bool iconvConvert(const char* to, const char* from, const std::string& in, std::string& out, bool stopOnError)
{
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        return false;
    }
    out.clear();
    out.reserve(in.size() * 3 / 2 + 16);
    char buffer[4096];
    char* src = const_cast<char*>(in.data());
    size_t srcLeft = in.size();
    bool ok = true;
    while (srcLeft > 0) {
        char* dst = buffer;
        size_t dstLeft = sizeof buffer;
        const size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
        const int err = errno;
        out.append(buffer, static_cast<size_t>(dst - buffer));
        if (r != static_cast<size_t>(-1)) {
            continue;
        }
        if (err == E2BIG) {
            continue;
        }
        if (stopOnError) {
            ok = false;
            break;
        }
        // EILSEQ, or EINVAL for a sequence cut off by the end of the text.
        out += kReplacement;
        ++src;
        --srcLeft;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    if (ok) {
        // Flush any shift state (none for these encodings, but harmless).
        char* dst = buffer;
        size_t dstLeft = sizeof buffer;
        iconv(cd, nullptr, nullptr, &dst, &dstLeft);
        out.append(buffer, static_cast<size_t>(dst - buffer));
    }
    iconv_close(cd);
    return ok;
}

// GB18030's two-byte codes: lead 81..FE, trail 40..7E or 80..FE.
constexpr unsigned kTrails = 0xFF - 0x40;
constexpr size_t kTwoByteCodes = size_t(0xFE - 0x81 + 1) * kTrails;

// Each two-byte code's character (0 where it is none, or is not one BMP character), taken from
// iconv itself once, so that decoding with it gives what iconv gives.
struct CTwoByteTable
{
    uint16_t unit[kTwoByteCodes] = {};
    bool ready = false;
};

CTwoByteTable makeTwoByteTable()
{
    CTwoByteTable table;
    iconv_t cd = iconv_open("UTF-32LE", "GB18030");
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        return table;
    }
    bool ok = true;
    for (unsigned lead = 0x81; lead <= 0xFE && ok; ++lead) {
        char in[2 * kTrails];
        size_t codes = 0;
        for (unsigned trail = 0x40; trail <= 0xFE; ++trail) {
            if (trail != 0x7F) {
                in[2 * codes] = static_cast<char>(lead);
                in[2 * codes + 1] = static_cast<char>(trail);
                ++codes;
            }
        }
        // The codes of one lead in one call; one that iconv refuses is stepped over.
        char* src = in;
        size_t srcLeft = 2 * codes;
        while (srcLeft > 0 && ok) {
            char32_t out[kTrails];
            char* dst = reinterpret_cast<char*>(out);
            size_t dstLeft = sizeof out;
            char* const from = src;
            const size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
            const int err = errno;
            const size_t done = static_cast<size_t>(src - from) / 2;
            // One character per code, or the table cannot say which code made which.
            if (static_cast<size_t>(src - from) % 2 != 0 ||
                static_cast<size_t>(dst - reinterpret_cast<char*>(out)) != done * sizeof(char32_t)) {
                ok = false;
                break;
            }
            for (size_t k = 0; k < done; ++k) {
                const size_t at = static_cast<size_t>(from - in) / 2 + k;
                const unsigned trail = static_cast<unsigned char>(in[2 * at + 1]);
                const char32_t c = out[k];
                if (c >= 0x80 && c < 0x10000 && (c < 0xD800 || c > 0xDFFF)) {
                    table.unit[(lead - 0x81) * kTrails + (trail - 0x40)] = static_cast<uint16_t>(c);
                }
            }
            if (r == static_cast<size_t>(-1)) {
                if (err != EILSEQ || srcLeft < 2) {
                    ok = false;
                    break;
                }
                src += 2;
                srcLeft -= 2;
                iconv(cd, nullptr, nullptr, nullptr, nullptr);
            }
        }
    }
    iconv_close(cd);
    table.ready = ok;
    return table;
}

// GBK text as a client writes it, ASCII and two-byte codes only, converted as iconv would; false
// (out unspecified) at anything else (four-byte codes, broken bytes), which iconv then converts.
bool twoByteToUtf8(const std::string& in, std::string& out)
{
    static const CTwoByteTable table = makeTwoByteTable();
    if (!table.ready) {
        return false;
    }
    // At most three bytes of UTF-8 for two of GBK, one for one.
    out.resize(in.size() + in.size() / 2 + 8);
    const auto* p = reinterpret_cast<const unsigned char*>(in.data());
    const auto* const end = p + in.size();
    auto* o = reinterpret_cast<unsigned char*>(&out[0]);
    while (p < end) {
        uint64_t word;
        if (end - p >= 8 && (std::memcpy(&word, p, 8), (word & 0x8080808080808080ull) == 0)) {
            std::memcpy(o, p, 8);
            p += 8;
            o += 8;
            continue;
        }
        const unsigned b0 = *p;
        if (b0 < 0x80) {
            *o++ = static_cast<unsigned char>(b0);
            ++p;
            continue;
        }
        if (b0 < 0x81 || b0 > 0xFE || end - p < 2 || p[1] < 0x40 || p[1] == 0xFF) {
            return false;
        }
        const unsigned c = table.unit[(b0 - 0x81) * kTrails + (p[1] - 0x40)];
        if (c == 0) {
            return false;
        }
        o = reinterpret_cast<unsigned char*>(utf8::writeSequence(c, reinterpret_cast<char*>(o)));
        p += 2;
    }
    out.resize(static_cast<size_t>(o - reinterpret_cast<unsigned char*>(&out[0])));
    return true;
}

} // namespace

namespace utils {

bool isGBKCode(const std::string& text)
{
    if (text.empty() || isAscii(text) || hasUtf8Bom(text)) {
        return false;
    }
    // Clean UTF-8 is UTF-8: one broken sequence is all this pass looks for.
    if (utf8BrokenCount(text, 1) == 0) {
        return false;
    }
    // Neither or only GBK reads it cleanly: the fewer broken sequences win, a tie goes to UTF-8.
    // Counting UTF-8's stops once it has more than GBK's: a GBK file is not read twice over.
    const size_t gbBroken = gb18030BrokenCount(text);
    return utf8BrokenCount(text, gbBroken + 1) > gbBroken;
}

void safeGbk2Utf8(std::string& text)
{
    if (text.empty() || isAscii(text)) {
        return;
    }
    std::string out;
    if (twoByteToUtf8(text, out) || iconvConvert("UTF-8", "GB18030", text, out, false)) {
        text.swap(out);
        return;
    }
    // No iconv module for GB18030 on this system: Qt's codec replaces broken bytes likewise.
    if (QTextCodec* codec = QTextCodec::codecForName("GB18030")) {
        const QByteArray utf8 = codec->toUnicode(text.data(), static_cast<int>(text.size())).toUtf8();
        text.assign(utf8.constData(), static_cast<size_t>(utf8.size()));
    }
}

void safeUtf82GbkOrigin(std::string& text)
{
    if (text.empty() || isAscii(text) || utf8BrokenCount(text, 1) != 0) {
        return;
    }
    std::string out;
    if (iconvConvert("GBK", "UTF-8", text, out, true)) {
        text.swap(out);
    }
}

} // namespace utils

namespace {

constexpr size_t kShortText = 256;

// A table fill converts a hundred thousand short names and codes: decoded on the stack, each
// takes one allocation of its own size, where QString::fromUtf8 reserves a unit per byte and
// decodes more slowly. Anything but plain well-formed text (a BOM, a sequence the decoder would
// replace, a character outside the BMP) goes the library's way. At most kShortText bytes.
QString decodeShort(const std::string& text)
{
    const size_t size = text.size();
    ushort units[kShortText];
    ushort* out = units;
    const auto* in = reinterpret_cast<const unsigned char*>(text.data());
    const auto* end = in + size;
    while (in < end) {
        // Codes, numbers and separators: eight plain bytes at a time.
        uint64_t word;
        if (end - in >= 8 && (std::memcpy(&word, in, 8), (word & 0x8080808080808080ull) == 0)) {
            for (int k = 0; k < 8; ++k) {
                out[k] = in[k];
            }
            out += 8;
            in += 8;
            continue;
        }
        char32_t code = 0;
        size_t bad = 0;
        const size_t length = utf8::sequenceAt(in, end, code, bad);
        // The library replaces a broken sequence, pairs a character outside the BMP and drops a
        // leading BOM: those texts go its way.
        if (length == 0 || length == 4 || code == 0xFEFF) {
            return QString::fromUtf8(text.data(), static_cast<int>(size));
        }
        in += length;
        *out++ = static_cast<ushort>(code);
    }
    return QString(reinterpret_cast<const QChar*>(units), static_cast<int>(out - units));
}

} // namespace

namespace WB {

QString sToQs(const std::string& text)
{
    // The library's decoder sizes its result at one UTF-16 unit per byte, and a QString holds at
    // most about 2^30 units: a larger text is refused whole rather than cut short by a narrowed size.
    const size_t kLargest = size_t(std::numeric_limits<int>::max()) / sizeof(QChar) - 64;
    const size_t size = text.size();
    if (size > kLargest) {
        return QString();
    }
    if (size == 0 || size > kShortText) {
        return QString::fromUtf8(text.data(), static_cast<int>(size));
    }
    return decodeShort(text);
}

} // namespace WB
