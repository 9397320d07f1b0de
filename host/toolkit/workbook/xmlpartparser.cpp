#include "xmlpartparser.h"

#include <expat.h>

#include <cstring>

namespace WB {

const char* xmlLocalName(const char* name)
{
    const char* bar = std::strrchr(name, ':');
    return bar ? bar + 1 : name;
}

CXmlPartParser::CXmlPartParser(const QString& partName)
    : m_parser(XML_ParserCreate(nullptr))
    , m_partName(partName)
{
    if (!m_parser) {
        m_error = QStringLiteral("xml: out of memory");
        return;
    }
    XML_SetUserData(m_parser, this);
    XML_SetElementHandler(m_parser, &CXmlPartParser::onStart, &CXmlPartParser::onEnd);
    XML_SetCharacterDataHandler(m_parser, &CXmlPartParser::onCharacters);
    XML_SetStartDoctypeDeclHandler(m_parser, &CXmlPartParser::onDoctype);
}

CXmlPartParser::~CXmlPartParser()
{
    if (m_parser)
        XML_ParserFree(m_parser);
}

bool CXmlPartParser::feed(const char* data, int size, bool last)
{
    if (!m_error.isEmpty())
        return false;
    if (XML_Parse(m_parser, data, size, last ? 1 : 0) == XML_STATUS_ERROR) {
        if (m_error.isEmpty()) {
            m_error = QStringLiteral("xml: %1 at line %2 of %3")
                          .arg(QString::fromUtf8(XML_ErrorString(XML_GetErrorCode(m_parser))))
                          .arg(XML_GetCurrentLineNumber(m_parser))
                          .arg(m_partName);
        }
        return false;
    }
    return m_error.isEmpty();
}

const char* CXmlPartParser::attribute(const char** attributes, const char* localName)
{
    for (int i = 0; attributes[i]; i += 2) {
        if (std::strcmp(xmlLocalName(attributes[i]), localName) == 0)
            return attributes[i + 1];
    }
    return nullptr;
}

void CXmlPartParser::fail(const QString& reason)
{
    if (m_error.isEmpty())
        m_error = reason;
    XML_StopParser(m_parser, XML_FALSE);
}

void CXmlPartParser::onStart(void* self, const char* name, const char** attributes)
{
    auto* p = static_cast<CXmlPartParser*>(self);
    if (!p->m_error.isEmpty())
        return;
    if (++p->m_elements > kMaxElements) {
        p->fail(QStringLiteral("xml: %1 holds more than %2 elements").arg(p->m_partName).arg(kMaxElements));
        return;
    }
    if (++p->m_depth > kMaxDepth) {
        p->fail(QStringLiteral("xml: %1 nests deeper than %2 elements").arg(p->m_partName).arg(kMaxDepth));
        return;
    }
    p->startElement(xmlLocalName(name), attributes);
}

void CXmlPartParser::onEnd(void* self, const char* name)
{
    auto* p = static_cast<CXmlPartParser*>(self);
    --p->m_depth;
    if (p->m_error.isEmpty())
        p->endElement(xmlLocalName(name));
}

void CXmlPartParser::onCharacters(void* self, const char* text, int length)
{
    auto* p = static_cast<CXmlPartParser*>(self);
    if (p->m_error.isEmpty())
        p->characters(text, length);
}

void CXmlPartParser::onDoctype(void* self, const char*, const char*, const char*, int)
{
    auto* p = static_cast<CXmlPartParser*>(self);
    p->fail(QStringLiteral("xml: %1 declares a DTD").arg(p->m_partName));
}

} // namespace WB
