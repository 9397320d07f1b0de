#pragma once

#include <cstddef>
#include <string>

namespace WB {

// Finds where XML markup tokens (a tag with its attributes, a comment, a processing instruction,
// a CDATA section) start and end in a part's bytes, without parsing them. Expat keeps a token cut
// between two pieces and reads it again from its start with every further piece, so one long
// token fed in small pieces costs its length squared: with the scanner expat is fed whole tokens
// only, and a token past the token cap (inputcaps.h) is refused before expat holds it.
class CXmlTokenScanner
{
public:
    enum class EWidth
    {
        Bytes, // UTF-8, or what a declaration names: the markup is ASCII either way
        Utf16LE,
        Utf16BE
    };
    static constexpr size_t kOpen = size_t(-1);

    // Expat's own guess from a part's first two bytes: UTF-16 by its byte order mark or by a zero
    // byte, bytes otherwise.
    static EWidth widthOf(const std::string& head);
    void setWidth(EWidth width) { m_width = width; }

    // Scans the next piece. False when a token passes the cap. safe: where the last stretch of the
    // piece in which no token is open ends, or kOpen when a token open before it still is.
    bool scan(const char* data, size_t size, size_t& safe);
    // Why scan failed, or whether a part that ends here ends: UTF-16 that holds half a surrogate
    // pair, which expat would join to whatever unit comes next.
    bool unpaired(bool atEnd) const { return m_unpaired || (atEnd && m_afterHigh); }

private:
    enum class EState
    {
        Text,
        Open,     // after "<"
        Bang,     // after "<!"
        BangDash, // after "<!-"
        Comment,
        Instruction,
        CData,
        Tag,
        Quote
    };

    void open(size_t at, bool here);
    // One unit of a token past its "<", in the states the fast loops leave to it.
    void step(unsigned c);
    void tag(unsigned c);
    // The open token ended before end (a position in the piece); false when it passed the cap.
    bool close(size_t end);
    bool scanBytes(const char* data, size_t size);
    bool scanUnits(const char* data, size_t size);

    EWidth m_width = EWidth::Bytes;
    EState m_state = EState::Text;
    size_t m_carried = 0; // bytes of the open token in the pieces before this one
    size_t m_tokenStart = 0;
    bool m_openedHere = false;
    unsigned m_quote = 0;
    unsigned m_run = 0;  // closing characters seen in a row ("--", "?", "]]")
    unsigned m_half = 0; // UTF-16: the first byte of a unit whose second is still to come
    size_t m_halfAt = 0;
    bool m_halfHere = false;
    bool m_hasHalf = false;
    bool m_afterHigh = false; // the last unit was a high surrogate
    bool m_unpaired = false;
};

} // namespace WB
