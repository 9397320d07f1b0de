#pragma once

#include <QString>

#include <memory>

namespace WB {

// What a part is written in: the readers understand these namespaces and no other.
enum class EXmlVocabulary
{
    Spreadsheet,  // SpreadsheetML, transitional or strict, with the office relationships (r:id)
    Relationships // a package's relationships
};

// A streaming parse of one XML part by expat in namespace mode, the one XML path of the readers.
// Subclasses see only the elements of the part's vocabulary, by local name; an element of any
// other namespace is skipped with all it holds, and markup compatibility is applied as a
// spreadsheet program applies it (ignorable namespaces skipped, an alternate content's first
// choice whose requirements are understood, else its fallback); where a subclass asks, an element
// of another namespace is refused instead. Refused, each with its reason: a
// part not in UTF-8 or UTF-16 (whatever else it declares), a DTD, any well-formedness error, a
// root outside the vocabulary, markup-compatibility rules the readers cannot honour, a tag,
// comment or instruction past the token cap, nesting or elements past their caps, and a parse
// needing more memory than its cap (expat keeps every distinct name it meets).
class CXmlPartParser
{
public:
    CXmlPartParser(const QString& partName, EXmlVocabulary vocabulary);
    virtual ~CXmlPartParser();
    CXmlPartParser(const CXmlPartParser&) = delete;
    CXmlPartParser& operator=(const CXmlPartParser&) = delete;

    // Feeds the next piece of the part; last marks its end. False once the parse failed. A part
    // of several pieces is parsed on a thread of its own: what the subclass gathers may be read
    // once the last piece was taken, or after error().
    bool feed(const char* data, int size, bool last);
    // Why the parse failed (empty while it did not); waits for the parse to end.
    QString error() const;

    // An attribute without a prefix (no namespace), or nullptr: a prefixed attribute of the same
    // local name is another attribute, and a namespace declaration is none.
    static const char* attribute(const char** attributes, const char* name);
    // r:id: "id" in the office document relationships namespace, or nullptr.
    static const char* relationshipId(const char** attributes);

    // For the subclasses' attribute values.
    static bool isName(const char* name, const char* expected);
    // std::atoll without the locale: leading white space, a sign, digits, saturating.
    static qint64 toInt64(const char* text);
    // At most 64 characters of a text from the part, for a reason.
    static QString shortText(const char* text);
    // The same in double quotes.
    static QString quotedText(const char* text);

protected:
    virtual void startElement(const char* localName, const char** attributes) = 0;
    virtual void endElement(const char* localName) = 0;
    virtual void characters(const char*, int) {}
    // While set, an element of any namespace inside the current one refuses the part: a value
    // is text, and text split by markup would be read differently by every reader.
    void setTextOnly(bool textOnly) { m_textOnly = textOnly; }
    // For the element just started and what it holds (until an element inside says otherwise):
    // an element of another namespace inside refuses the part instead of being skipped. Where a
    // spreadsheet program skips one and another reader takes it for a cell, neither is safe.
    void refuseForeignInside(bool refuse);
    // For the element just started and all it holds: markup-compatibility alternate content
    // inside refuses the part. Programs resolve it differently (Excel takes a choice requiring
    // SpreadsheetML, others the fallback), so no reading of a value inside one is safe.
    void refuseAlternateInside();
    // Whether the element just started stands in the taken branch of an alternate content.
    bool insideAlternate() const;
    void fail(const QString& reason);
    const QString& partName() const { return m_partName; }
    // "line N of part", for reasons.
    QString where() const;

private:
    struct Private;
    friend struct Private;

    std::unique_ptr<Private> d;
    QString m_partName;
    QString m_error;
    bool m_textOnly = false;
};

} // namespace WB
