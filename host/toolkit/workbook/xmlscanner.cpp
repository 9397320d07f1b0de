#include "xmlscanner.h"

#include "inputcaps.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace WB {

namespace {

const char kInvalidToken[] = "not well-formed (invalid token)";
const char kUnclosedToken[] = "unclosed token";
const char kLineFeed[] = "\n";

enum : unsigned char
{
    kPlain = 0,
    kSpecialInText = 1,  // ends a plain run of character data
    kSpecialInValue = 2, // ends a plain run of an attribute value
    kSpecialInCData = 4,
    kNameStart = 8,
    kNameChar = 16,
    kSpace = 32
};

struct CharTable
{
    unsigned char flags[256] = {};
    CharTable()
    {
        for (int c = 0; c < 256; ++c) {
            unsigned char f = 0;
            if (c < 0x20 || c >= 0x80)
                f |= kSpecialInText | kSpecialInValue | kSpecialInCData;
            if (c == '<' || c == '&' || c == ']')
                f |= kSpecialInText;
            if (c == '<' || c == '&' || c == '"' || c == '\'')
                f |= kSpecialInValue;
            if (c == ']')
                f |= kSpecialInCData;
            if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == ':' || c >= 0x80)
                f |= kNameStart | kNameChar;
            if ((c >= '0' && c <= '9') || c == '-' || c == '.')
                f |= kNameChar;
            if (c == ' ' || c == '\t' || c == '\n' || c == '\r')
                f |= kSpace;
            flags[c] = f;
        }
    }
};

const CharTable kTable;

inline unsigned char flagsOf(char c)
{
    return kTable.flags[static_cast<unsigned char>(c)];
}

inline bool isSpace(char c)
{
    return flagsOf(c) & kSpace;
}

bool isXmlChar(quint32 code)
{
    return code == 0x9 || code == 0xA || code == 0xD || (code >= 0x20 && code <= 0xD7FF) ||
           (code >= 0xE000 && code <= 0xFFFD) || (code >= 0x10000 && code <= 0x10FFFF);
}

// The length of the XML character encoded at p; 0 when it is no valid UTF-8 or no XML
// character, -1 when the piece ends inside it.
int utf8Char(const char* p, const char* end)
{
    const auto* u = reinterpret_cast<const unsigned char*>(p);
    const unsigned c = u[0];
    if (c < 0x80)
        return c >= 0x20 || c == 0x9 || c == 0xA || c == 0xD ? 1 : 0;
    int n = 0;
    quint32 code = 0;
    if (c >= 0xC2 && c <= 0xDF) {
        n = 2;
        code = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
        n = 3;
        code = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4;
        code = c & 0x07;
    } else {
        return 0;
    }
    const int available = int(std::min<qint64>(n, end - p));
    for (int i = 1; i < available; ++i) {
        if ((u[i] & 0xC0) != 0x80)
            return 0;
        code = code << 6 | (u[i] & 0x3F);
    }
    if (available < n)
        return -1;
    const bool shortest = n == 2 || (n == 3 && code >= 0x800) || (n == 4 && code >= 0x10000);
    return shortest && isXmlChar(code) ? n : 0;
}

int encodeUtf8(quint32 code, char* out)
{
    if (code < 0x80) {
        out[0] = char(code);
        return 1;
    }
    if (code < 0x800) {
        out[0] = char(0xC0 | code >> 6);
        out[1] = char(0x80 | (code & 0x3F));
        return 2;
    }
    if (code < 0x10000) {
        out[0] = char(0xE0 | code >> 12);
        out[1] = char(0x80 | ((code >> 6) & 0x3F));
        out[2] = char(0x80 | (code & 0x3F));
        return 3;
    }
    out[0] = char(0xF0 | code >> 18);
    out[1] = char(0x80 | ((code >> 12) & 0x3F));
    out[2] = char(0x80 | ((code >> 6) & 0x3F));
    out[3] = char(0x80 | (code & 0x3F));
    return 4;
}

// Decodes the reference at p ('&'). Returns the bytes it takes, -1 when the piece ends inside
// it, 0 when it is wrong (reason set).
int reference(const char* p, const char* end, char* out, int& outLength, const char*& reason)
{
    constexpr qint64 kLongest = 40;
    const qint64 available = std::min<qint64>(end - p - 1, kLongest);
    const auto* semicolon = static_cast<const char*>(std::memchr(p + 1, ';', size_t(std::max<qint64>(available, 0))));
    if (!semicolon) {
        if (end - p - 1 < kLongest)
            return -1;
        reason = kInvalidToken;
        return 0;
    }
    const std::string_view name(p + 1, size_t(semicolon - p - 1));
    const int used = int(semicolon - p + 1);
    if (!name.empty() && name[0] == '#') {
        const bool hex = name.size() > 1 && name[1] == 'x';
        size_t i = hex ? 2 : 1;
        if (i == name.size()) {
            reason = kInvalidToken;
            return 0;
        }
        quint32 code = 0;
        for (; i < name.size(); ++i) {
            const char c = name[i];
            int digit = -1;
            if (c >= '0' && c <= '9')
                digit = c - '0';
            else if (hex && c >= 'a' && c <= 'f')
                digit = c - 'a' + 10;
            else if (hex && c >= 'A' && c <= 'F')
                digit = c - 'A' + 10;
            if (digit < 0) {
                reason = kInvalidToken;
                return 0;
            }
            code = code * (hex ? 16 : 10) + quint32(digit);
            if (code > 0x10FFFF)
                break;
        }
        if (!isXmlChar(code)) {
            reason = "reference to invalid character number";
            return 0;
        }
        outLength = encodeUtf8(code, out);
        return used;
    }
    char c = 0;
    if (name == "amp")
        c = '&';
    else if (name == "lt")
        c = '<';
    else if (name == "gt")
        c = '>';
    else if (name == "quot")
        c = '"';
    else if (name == "apos")
        c = '\'';
    if (!c) {
        const bool isName = !name.empty() && (flagsOf(name[0]) & kNameStart) &&
                            std::all_of(name.begin(), name.end(), [](char n) { return flagsOf(n) & kNameChar; });
        reason = isName ? "undefined entity" : kInvalidToken;
        return 0;
    }
    out[0] = c;
    outLength = 1;
    return used;
}

// Whether the bytes left in the piece could still grow into prefix.
// Line feeds are rare in workbook parts: memchr skips the long stretches between them.
qint64 countLines(const char* p, const char* end)
{
    qint64 count = 0;
    while ((p = static_cast<const char*>(std::memchr(p, '\n', size_t(end - p))))) {
        ++count;
        ++p;
    }
    return count;
}

bool couldBe(const char* p, const char* end, const char* prefix, size_t length)
{
    return size_t(end - p) < length && std::memcmp(p, prefix, size_t(end - p)) == 0;
}

bool startsWith(const char* p, const char* end, const char* prefix, size_t length)
{
    return size_t(end - p) >= length && std::memcmp(p, prefix, length) == 0;
}

} // namespace

bool CXmlScanner::feed(const char* data, qint64 size, bool last)
{
    if (m_error != EError::None)
        return false;
    // scan() answers nullptr for a failure, so never hand it one as a position.
    const char* begin = data ? data : "";
    const char* end = begin + size;
    if (!m_pending.empty()) {
        m_pending.append(data, size_t(size));
        begin = m_pending.data();
        end = begin + m_pending.size();
    }
    const char* p = scan(begin, end, last);
    if (!p) {
        if (m_errorAt)
            m_line += countLines(begin, m_errorAt);
        return false;
    }
    m_line += countLines(begin, p);
    if (last) {
        if (p != end)
            malformed(p, m_state == EState::CData ? "unclosed CDATA section" : kUnclosedToken);
        else if (m_state == EState::CData)
            malformed(p, "unclosed CDATA section");
        else if (!m_rootSeen || !m_rootClosed)
            malformed(p, "no element found");
        std::string().swap(m_pending);
        return m_error == EError::None;
    }
    if (end - p > inputcaps::kMaxTokenBytes) {
        m_error = EError::TokenTooLong;
        return false;
    }
    if (begin == m_pending.data())
        m_pending.erase(0, size_t(p - begin));
    else
        m_pending.assign(p, end);
    return true;
}

void CXmlScanner::put(const char* data, size_t size)
{
    if (m_used + size > m_scratch.size())
        m_scratch.resize(std::max(m_scratch.size() * 2, m_used + size + 256));
    std::memcpy(m_scratch.data() + m_used, data, size);
    m_used += size;
}

const char* CXmlScanner::malformed(const char* at, const char* reason)
{
    m_error = EError::Malformed;
    m_reason = reason;
    m_errorAt = at;
    return nullptr;
}

bool CXmlScanner::emit(const char* text, const char* end)
{
    if (text == end || m_handler.scannedText(text, int(end - text)))
        return true;
    m_error = EError::Stopped;
    return false;
}

const char* CXmlScanner::scan(const char* p, const char* end, bool last)
{
    if (m_atStart) {
        if (couldBe(p, end, "\xEF\xBB\xBF", 3) && !last)
            return p;
        if (startsWith(p, end, "\xEF\xBB\xBF", 3))
            p += 3;
    }
    while (p < end) {
        const char* next = nullptr;
        if (m_state == EState::CData) {
            next = cdata(p, end, last);
        } else if (*p == '<') {
            if (end - p < 2)
                break;
            const char c = p[1];
            if (c == '/')
                next = endTag(p, end);
            else if (c == '!')
                next = markup(p, end, last);
            else if (c == '?')
                next = processingInstruction(p, end);
            else
                next = startTag(p, end);
        } else if (m_stackOffsets.empty()) {
            // Outside the root element only white space stands between the markup.
            const char* q = p;
            while (q < end && isSpace(*q))
                ++q;
            if (q < end && *q != '<')
                return malformed(q, m_rootClosed ? "junk after document element" : "syntax error");
            next = q;
        } else {
            next = text(p, end, last);
        }
        if (!next)
            return nullptr;
        if (next == p)
            break;
        m_atStart = false;
        p = next;
    }
    return p;
}

const char* CXmlScanner::text(const char* p, const char* end, bool last)
{
    const char* run = p;
    while (p < end) {
        while (p < end && !(flagsOf(*p) & kSpecialInText))
            ++p;
        if (p == end)
            break;
        const char c = *p;
        if (c == '<')
            break;
        if (c == '&') {
            char decoded[4];
            int length = 0;
            const char* reason = nullptr;
            const int used = reference(p, end, decoded, length, reason);
            if (used == 0)
                return malformed(p, reason);
            if (!emit(run, p))
                return nullptr;
            if (used < 0)
                return p;
            if (!emit(decoded, decoded + length))
                return nullptr;
            p += used;
            run = p;
        } else if (c == '\r') {
            if (p + 1 == end && !last)
                break;
            if (!emit(run, p) || !emit(kLineFeed, kLineFeed + 1))
                return nullptr;
            p += p + 1 < end && p[1] == '\n' ? 2 : 1;
            run = p;
        } else if (c == ']') {
            if (end - p < 3 && !last)
                break;
            if (end - p >= 3 && p[1] == ']' && p[2] == '>')
                return malformed(p, kInvalidToken);
            ++p;
        } else {
            const int n = utf8Char(p, end);
            if (n == 0 || (n < 0 && last))
                return malformed(p, kInvalidToken);
            if (n < 0)
                break;
            p += n;
        }
    }
    return emit(run, p) ? p : nullptr;
}

const char* CXmlScanner::cdata(const char* p, const char* end, bool last)
{
    const char* run = p;
    while (p < end) {
        while (p < end && !(flagsOf(*p) & kSpecialInCData))
            ++p;
        if (p == end)
            break;
        const char c = *p;
        if (c == ']') {
            if (end - p < 3 && !last)
                break;
            if (end - p >= 3 && p[1] == ']' && p[2] == '>') {
                if (!emit(run, p))
                    return nullptr;
                m_state = EState::Content;
                return p + 3;
            }
            ++p;
        } else if (c == '\r') {
            if (p + 1 == end && !last)
                break;
            if (!emit(run, p) || !emit(kLineFeed, kLineFeed + 1))
                return nullptr;
            p += p + 1 < end && p[1] == '\n' ? 2 : 1;
            run = p;
        } else {
            const int n = utf8Char(p, end);
            if (n == 0 || (n < 0 && last))
                return malformed(p, kInvalidToken);
            if (n < 0)
                break;
            p += n;
        }
    }
    return emit(run, p) ? p : nullptr;
}

const char* CXmlScanner::startTag(const char* p, const char* end)
{
    const char* q = p + 1;
    if (!(flagsOf(*q) & kNameStart))
        return malformed(q, kInvalidToken);
    if (m_rootClosed)
        return malformed(p, "junk after document element");
    while (q < end && (flagsOf(*q) & kNameChar))
        ++q;
    if (q == end)
        return p;
    const size_t nameLength = size_t(q - p - 1);
    m_used = 0;
    put(p + 1, nameLength);
    put("", 1);
    m_attributeOffsets.clear();
    bool selfClosing = false;
    for (;;) {
        const char* afterName = q;
        while (q < end && isSpace(*q))
            ++q;
        if (q == end)
            return p;
        if (*q == '>') {
            ++q;
            break;
        }
        if (*q == '/') {
            if (q + 1 == end)
                return p;
            if (q[1] != '>')
                return malformed(q, kInvalidToken);
            q += 2;
            selfClosing = true;
            break;
        }
        if (q == afterName || !(flagsOf(*q) & kNameStart))
            return malformed(q, kInvalidToken);
        const char* name = q;
        while (q < end && (flagsOf(*q) & kNameChar))
            ++q;
        const char* nameEnd = q;
        while (q < end && isSpace(*q))
            ++q;
        if (q == end)
            return p;
        if (*q != '=')
            return malformed(q, kInvalidToken);
        ++q;
        while (q < end && isSpace(*q))
            ++q;
        if (q == end)
            return p;
        const char quote = *q;
        if (quote != '"' && quote != '\'')
            return malformed(q, kInvalidToken);
        ++q;
        m_attributeOffsets.push_back(quint32(m_used));
        put(name, size_t(nameEnd - name));
        put("", 1);
        m_attributeOffsets.push_back(quint32(m_used));
        // The value, with references decoded and white space turned into spaces.
        for (;;) {
            const char* run = q;
            while (q < end && !(flagsOf(*q) & kSpecialInValue))
                ++q;
            put(run, size_t(q - run));
            if (q == end)
                return p;
            const char c = *q;
            if (c == quote) {
                ++q;
                break;
            }
            if (c == '"' || c == '\'') {
                put(q, 1);
                ++q;
            } else if (c == '<') {
                return malformed(q, kInvalidToken);
            } else if (c == '&') {
                char decoded[4];
                int length = 0;
                const char* reason = nullptr;
                const int used = reference(q, end, decoded, length, reason);
                if (used == 0)
                    return malformed(q, reason);
                if (used < 0)
                    return p;
                put(decoded, size_t(length));
                q += used;
            } else if (c == '\t' || c == '\n' || c == '\r') {
                if (c == '\r' && q + 1 == end)
                    return p;
                put(" ", 1);
                q += c == '\r' && q[1] == '\n' ? 2 : 1;
            } else {
                const int n = utf8Char(q, end);
                if (n == 0)
                    return malformed(q, kInvalidToken);
                if (n < 0)
                    return p;
                put(q, size_t(n));
                q += n;
            }
        }
        put("", 1);
    }

    // Two attributes of one name make the tag malformed; tags hold few, but a hostile one may
    // hold many.
    const size_t count = m_attributeOffsets.size() / 2;
    if (count > 1 && count <= 8) {
        // Names are NUL-ended, so a name's length is the distance to its value.
        for (size_t i = 2; i < m_attributeOffsets.size(); i += 2) {
            const quint32 length = m_attributeOffsets[i + 1] - m_attributeOffsets[i];
            for (size_t j = 0; j < i; j += 2) {
                if (m_attributeOffsets[j + 1] - m_attributeOffsets[j] == length &&
                    std::memcmp(m_scratch.data() + m_attributeOffsets[i], m_scratch.data() + m_attributeOffsets[j],
                                length) == 0)
                    return malformed(p, "duplicate attribute");
            }
        }
    } else if (count > 8) {
        std::vector<std::string_view> names;
        names.reserve(count);
        for (size_t i = 0; i < m_attributeOffsets.size(); i += 2)
            names.emplace_back(m_scratch.data() + m_attributeOffsets[i]);
        std::sort(names.begin(), names.end());
        if (std::adjacent_find(names.begin(), names.end()) != names.end())
            return malformed(p, "duplicate attribute");
    }
    m_attributes.clear();
    for (const quint32 offset : m_attributeOffsets)
        m_attributes.push_back(m_scratch.data() + offset);
    m_attributes.push_back(nullptr);

    m_rootSeen = true;
    m_stackOffsets.push_back(quint32(m_stack.size()));
    m_stack.append(m_scratch.data(), nameLength + 1);
    if (!m_handler.scannedStart(m_scratch.data(), m_attributes.data())) {
        m_error = EError::Stopped;
        return nullptr;
    }
    if (selfClosing) {
        if (!m_handler.scannedEnd(m_stack.data() + m_stackOffsets.back())) {
            m_error = EError::Stopped;
            return nullptr;
        }
        m_stack.resize(m_stackOffsets.back());
        m_stackOffsets.pop_back();
        m_rootClosed = m_stackOffsets.empty();
    }
    return q;
}

const char* CXmlScanner::endTag(const char* p, const char* end)
{
    const char* q = p + 2;
    if (q == end)
        return p;
    if (!(flagsOf(*q) & kNameStart))
        return malformed(q, kInvalidToken);
    while (q < end && (flagsOf(*q) & kNameChar))
        ++q;
    const char* nameEnd = q;
    while (q < end && isSpace(*q))
        ++q;
    if (q == end)
        return p;
    if (*q != '>')
        return malformed(q, kInvalidToken);
    if (m_stackOffsets.empty())
        return malformed(p, "mismatched tag");
    const char* open = m_stack.data() + m_stackOffsets.back();
    const size_t length = size_t(nameEnd - p - 2);
    if (m_stack.size() - m_stackOffsets.back() != length + 1 || std::memcmp(open, p + 2, length) != 0)
        return malformed(p, "mismatched tag");
    if (!m_handler.scannedEnd(open)) {
        m_error = EError::Stopped;
        return nullptr;
    }
    m_stack.resize(m_stackOffsets.back());
    m_stackOffsets.pop_back();
    m_rootClosed = m_stackOffsets.empty();
    return q + 1;
}

const char* CXmlScanner::markup(const char* p, const char* end, bool last)
{
    static const char kComment[] = "<!--";
    static const char kCData[] = "<![CDATA[";
    static const char kDoctype[] = "<!DOCTYPE";
    if (!last && (couldBe(p, end, kComment, 4) || couldBe(p, end, kCData, 9) || couldBe(p, end, kDoctype, 9)))
        return p;
    if (startsWith(p, end, kComment, 4)) {
        // "--" may appear in a comment only as its end.
        for (const char* q = p + 4;;) {
            q = static_cast<const char*>(std::memchr(q, '-', size_t(end - q)));
            if (!q || end - q < 3)
                return p;
            if (q[1] == '-')
                return q[2] == '>' ? q + 3 : malformed(q, kInvalidToken);
            ++q;
        }
    }
    if (startsWith(p, end, kCData, 9)) {
        if (m_stackOffsets.empty())
            return malformed(p, kInvalidToken);
        m_state = EState::CData;
        return p + 9;
    }
    if (startsWith(p, end, kDoctype, 9)) {
        m_error = EError::Doctype;
        m_errorAt = p;
        return nullptr;
    }
    return malformed(p, kInvalidToken);
}

const char* CXmlScanner::processingInstruction(const char* p, const char* end)
{
    const char* q = p + 2;
    if (q == end)
        return p;
    if (!(flagsOf(*q) & kNameStart))
        return malformed(q, kInvalidToken);
    while (q < end && (flagsOf(*q) & kNameChar))
        ++q;
    if (q == end)
        return p;
    const bool isXml = q - p == 5 && (p[2] | 0x20) == 'x' && (p[3] | 0x20) == 'm' && (p[4] | 0x20) == 'l';
    if (isXml && !m_atStart)
        return malformed(p, "XML or text declaration not at start of entity");
    if (*q != '?' && !isSpace(*q))
        return malformed(q, kInvalidToken);
    for (;;) {
        q = static_cast<const char*>(std::memchr(q, '?', size_t(end - q)));
        if (!q || q + 1 == end)
            return p;
        if (q[1] == '>')
            return q + 2;
        ++q;
    }
}

} // namespace WB
