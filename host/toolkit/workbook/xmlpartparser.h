#pragma once

#include <QString>

struct XML_ParserStruct;

namespace WB {

// A streaming parse of one XML part through expat. Subclasses see elements by their local name
// (namespace prefixes dropped) and stop the parse with fail(). Documents with a DTD and nesting
// past kMaxDepth are refused: no spreadsheet part needs either.
class CXmlPartParser
{
public:
    static constexpr int kMaxDepth = 256;

    explicit CXmlPartParser(const QString& partName);
    virtual ~CXmlPartParser();
    CXmlPartParser(const CXmlPartParser&) = delete;
    CXmlPartParser& operator=(const CXmlPartParser&) = delete;

    // Feeds the next piece of the part; last marks its end. False once the parse failed.
    bool feed(const char* data, int size, bool last);
    QString error() const { return m_error; }

    // The attribute's value by local name, or nullptr.
    static const char* attribute(const char** attributes, const char* localName);

protected:
    virtual void startElement(const char* localName, const char** attributes) = 0;
    virtual void endElement(const char* localName) = 0;
    virtual void characters(const char*, int) {}
    void fail(const QString& reason);
    const QString& partName() const { return m_partName; }

private:
    static void onStart(void* self, const char* name, const char** attributes);
    static void onEnd(void* self, const char* name);
    static void onCharacters(void* self, const char* text, int length);
    static void onDoctype(void* self, const char*, const char*, const char*, int);

    XML_ParserStruct* m_parser = nullptr;
    QString m_partName;
    QString m_error;
    int m_depth = 0;
};

// The part of an expat name after its namespace.
const char* xmlLocalName(const char* name);

} // namespace WB
