#pragma once

#include <QtGlobal>

#include <string>
#include <vector>

namespace WB {

// A streaming, well-formedness-checking scanner for UTF-8 XML, made for the large parts of a
// workbook (sheets, shared strings) where a general parser's per-event cost dominates a read.
// It checks what the parts' writers could get wrong: tag nesting and matching, attribute syntax
// and duplicates, entity and character references, UTF-8 and XML characters, a single root,
// comments, processing instructions and CDATA. Text is normalised as XML requires (line ends to
// LF, white space in attribute values to spaces). A DTD is refused: entities defined in one are
// what a bomb is made of. Pieces may be cut anywhere; memory held between pieces is bounded by
// the token cap (inputcaps.h), whatever the input.
class CXmlScanner
{
public:
    class IHandler
    {
    public:
        virtual ~IHandler() = default;
        // Qualified names, as written. attributes: name, value, ..., nullptr, values decoded.
        // Each returns false to stop the scan.
        virtual bool scannedStart(const char* name, const char** attributes) = 0;
        virtual bool scannedEnd(const char* name) = 0;
        // Character data inside the root element, possibly in several pieces.
        virtual bool scannedText(const char* text, int length) = 0;
    };

    enum class EError
    {
        None,
        Stopped, // the handler said stop
        Malformed,
        Doctype,
        TokenTooLong // a tag, comment or processing instruction past the token cap
    };

    explicit CXmlScanner(IHandler& handler)
        : m_handler(handler)
    {
    }

    // Scans the next piece; last marks the end of the document. False once the scan failed.
    bool feed(const char* data, qint64 size, bool last);
    EError error() const { return m_error; }
    // What is wrong, in the words of common XML parsers; empty unless error() is Malformed.
    const char* reason() const { return m_reason; }
    // The 1-based line the error was found on.
    qint64 line() const { return m_line; }

private:
    enum class EState
    {
        Content,
        CData
    };

    // Each returns the position scanned up to; nullptr when the scan failed.
    const char* scan(const char* p, const char* end, bool last);
    const char* text(const char* p, const char* end, bool last);
    const char* cdata(const char* p, const char* end, bool last);
    const char* startTag(const char* p, const char* end);
    const char* endTag(const char* p, const char* end);
    const char* markup(const char* p, const char* end, bool last);
    const char* processingInstruction(const char* p, const char* end);
    bool emit(const char* text, const char* end);
    void put(const char* data, size_t size);
    const char* malformed(const char* at, const char* reason);

    IHandler& m_handler;
    EError m_error = EError::None;
    const char* m_reason = "";
    const char* m_errorAt = nullptr;
    qint64 m_line = 1;
    EState m_state = EState::Content;
    bool m_atStart = true;
    bool m_rootSeen = false;
    bool m_rootClosed = false;
    std::string m_pending;               // an unfinished token carried to the next piece
    std::string m_stack;                 // open element names, each ended by a NUL
    std::vector<quint32> m_stackOffsets; // where each open name starts in m_stack
    std::vector<char> m_scratch;         // the tag being read: name and values, NUL-ended
    size_t m_used = 0;                   // of m_scratch
    std::vector<quint32> m_attributeOffsets;
    std::vector<const char*> m_attributes;
};

} // namespace WB
