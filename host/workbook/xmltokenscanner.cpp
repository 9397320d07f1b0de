#include "xmltokenscanner.h"

#include "inputcaps.h"

#include <QtGlobal>

#include <cstring>

namespace WB {

CXmlTokenScanner::EWidth CXmlTokenScanner::widthOf(const std::string& head)
{
    if (head.size() < 2)
        return CXmlTokenScanner::EWidth::Bytes;
    const auto b0 = static_cast<unsigned char>(head[0]), b1 = static_cast<unsigned char>(head[1]);
    if ((b0 == 0xFE && b1 == 0xFF) || b0 == 0)
        return CXmlTokenScanner::EWidth::Utf16BE;
    if ((b0 == 0xFF && b1 == 0xFE) || b1 == 0)
        return CXmlTokenScanner::EWidth::Utf16LE;
    return CXmlTokenScanner::EWidth::Bytes;
}

bool CXmlTokenScanner::scan(const char* data, size_t size, size_t& safe)
{
    m_openedHere = false;
    const bool ok = m_width == EWidth::Bytes ? scanBytes(data, size) : scanUnits(data, size);
    if (!ok)
        return false;
    safe = m_state == EState::Text ? size : m_openedHere ? m_tokenStart : kOpen;
    if (m_state != EState::Text) {
        // A token within one piece is shorter than the piece: only one going on is measured.
        m_carried = m_openedHere ? size - m_tokenStart : m_carried + size;
        if (qint64(m_carried) > inputcaps::kMaxTokenBytes)
            return false;
    }
    return true;
}

void CXmlTokenScanner::open(size_t at, bool here)
{
    m_state = EState::Open;
    m_tokenStart = at;
    m_openedHere = here;
}

bool CXmlTokenScanner::close(size_t end)
{
    m_state = EState::Text;
    const bool within = m_openedHere || qint64(m_carried + end) <= inputcaps::kMaxTokenBytes;
    m_carried = 0;
    return within;
}

void CXmlTokenScanner::step(unsigned c)
{
    switch (m_state) {
    case EState::Open:
        m_state = c == '!' ? EState::Bang : c == '?' ? EState::Instruction : EState::Tag;
        m_run = 0;
        if (m_state == EState::Tag)
            tag(c);
        break;
    case EState::Bang:
        m_state = c == '-' ? EState::BangDash : c == '[' ? EState::CData : EState::Tag;
        m_run = 0;
        if (m_state == EState::Tag)
            tag(c);
        break;
    case EState::BangDash:
        m_state = c == '-' ? EState::Comment : EState::Tag;
        m_run = 0;
        if (m_state == EState::Tag)
            tag(c);
        break;
    case EState::Comment:
        if (c == '>' && m_run >= 2)
            m_state = EState::Text;
        m_run = c == '-' ? m_run + 1 : 0;
        break;
    case EState::Instruction:
        if (c == '>' && m_run == 1)
            m_state = EState::Text;
        m_run = c == '?' ? 1 : 0;
        break;
    case EState::CData:
        if (c == '>' && m_run >= 2)
            m_state = EState::Text;
        m_run = c == ']' ? m_run + 1 : 0;
        break;
    case EState::Tag: tag(c); break;
    case EState::Quote:
        if (c == m_quote)
            m_state = EState::Tag;
        break;
    case EState::Text: break;
    }
}

void CXmlTokenScanner::tag(unsigned c)
{
    if (c == '"' || c == '\'') {
        m_quote = c;
        m_state = EState::Quote;
    } else if (c == '>') {
        m_state = EState::Text;
    }
}

// UTF-8: text by memchr, tags and their quoted values in one tight loop; the rare tokens (comments,
// instructions, CDATA) unit by unit.
bool CXmlTokenScanner::scanBytes(const char* data, size_t size)
{
    size_t i = 0;
    while (i < size) {
        switch (m_state) {
        case EState::Text: {
            const void* lt = std::memchr(data + i, '<', size - i);
            if (!lt)
                return true;
            i = size_t(static_cast<const char*>(lt) - data);
            open(i, true);
            ++i;
            break;
        }
        case EState::Tag:
            for (; i < size; ++i) {
                const char c = data[i];
                if (c == '>') {
                    if (!close(++i))
                        return false;
                    break;
                }
                if (c == '"' || c == '\'') {
                    const void* q = std::memchr(data + i + 1, c, size - i - 1);
                    if (!q) {
                        m_quote = static_cast<unsigned char>(c);
                        m_state = EState::Quote;
                        return true;
                    }
                    i = size_t(static_cast<const char*>(q) - data);
                }
            }
            break;
        case EState::Quote: {
            const void* q = std::memchr(data + i, int(m_quote), size - i);
            if (!q)
                return true;
            i = size_t(static_cast<const char*>(q) - data) + 1;
            m_state = EState::Tag;
            break;
        }
        default:
            step(static_cast<unsigned char>(data[i++]));
            if (m_state == EState::Text && !close(i))
                return false;
            break;
        }
    }
    return true;
}

// UTF-16: unit by unit; an odd byte waits for its other half.
bool CXmlTokenScanner::scanUnits(const char* data, size_t size)
{
    for (size_t i = 0; i < size; ++i) {
        const unsigned byte = static_cast<unsigned char>(data[i]);
        if (!m_hasHalf) {
            m_half = byte;
            m_halfAt = i;
            m_halfHere = true;
            m_hasHalf = true;
            continue;
        }
        m_hasHalf = false;
        const unsigned unit = m_width == EWidth::Utf16LE ? (m_half | byte << 8) : (m_half << 8 | byte);
        const bool low = unit >= 0xDC00 && unit <= 0xDFFF;
        if (low != m_afterHigh) {
            m_unpaired = true;
            return false;
        }
        m_afterHigh = unit >= 0xD800 && unit <= 0xDBFF;
        if (m_state == EState::Text) {
            if (unit == '<')
                open(m_halfAt, m_halfHere);
        } else {
            step(unit);
            if (m_state == EState::Text && !close(i + 1))
                return false;
        }
        m_halfHere = false;
    }
    if (m_hasHalf)
        m_halfHere = false;
    return true;
}

} // namespace WB
