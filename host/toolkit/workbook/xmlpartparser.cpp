#include "xmlpartparser.h"

#include <expat.h>

#include <cctype>
#include <cstring>

namespace WB {

const char* xmlLocalName(const char* name)
{
    const char* bar = std::strrchr(name, ':');
    return bar ? bar + 1 : name;
}

CXmlPartParser::CXmlPartParser(const QString& partName)
    : m_partName(partName)
{
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
    if (m_backend == EBackend::Undecided) {
        m_head.append(data, size);
        if (!chooseBackend(last))
            return true;
        const QByteArray head = m_head;
        m_head = QByteArray();
        return m_backend == EBackend::Expat ? feedExpat(head.constData(), head.size(), last)
                                            : feedScanner(head.constData(), head.size(), last);
    }
    return m_backend == EBackend::Expat ? feedExpat(data, size, last) : feedScanner(data, size, last);
}

bool CXmlPartParser::chooseBackend(bool last)
{
    constexpr int kLongestDeclaration = 4096;
    const QByteArray& head = m_head;
    if (head.size() < 2 && !last)
        return false;
    // UTF-16, with or without its byte order mark.
    if (head.startsWith("\xFE\xFF") || head.startsWith("\xFF\xFE") ||
        (head.size() >= 2 && (head.at(0) == '\0' || head.at(1) == '\0'))) {
        m_backend = EBackend::Expat;
        return true;
    }
    const int from = head.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    if (head.size() - from < 6 && !last)
        return false;
    m_backend = EBackend::Scanner;
    const QByteArray xml("<?xml");
    if (head.mid(from, 5) != xml || head.size() - from < 6 || !std::isspace(uchar(head.at(from + 5))))
        return true;
    const int close = head.indexOf("?>", from);
    if (close < 0) {
        if (!last && head.size() < kLongestDeclaration) {
            m_backend = EBackend::Undecided;
            return false;
        }
        return true;
    }
    const QByteArray declaration = head.mid(from, close - from);
    const int at = declaration.indexOf("encoding");
    if (at < 0)
        return true;
    const QByteArray rest = declaration.mid(at + 8).trimmed();
    if (!rest.startsWith('='))
        return true;
    const QByteArray value = rest.mid(1).trimmed();
    if (value.size() < 2 || (value.at(0) != '"' && value.at(0) != '\''))
        return true;
    const int quote = value.indexOf(value.at(0), 1);
    if (quote < 0)
        return true;
    if (value.mid(1, quote - 1).toLower() != "utf-8")
        m_backend = EBackend::Expat;
    return true;
}

bool CXmlPartParser::feedScanner(const char* data, int size, bool last)
{
    if (m_scanner.feed(data, size, last))
        return m_error.isEmpty();
    if (!m_error.isEmpty())
        return false;
    switch (m_scanner.error()) {
    case CXmlScanner::EError::Doctype: m_error = QStringLiteral("xml: %1 declares a DTD").arg(m_partName); break;
    case CXmlScanner::EError::TokenTooLong:
        m_error = QStringLiteral("xml: %1 holds a tag longer than %2 MiB")
                      .arg(m_partName)
                      .arg(CXmlScanner::kMaxTokenBytes / (1024 * 1024));
        break;
    default:
        m_error = QStringLiteral("xml: %1 at line %2 of %3")
                      .arg(QString::fromUtf8(m_scanner.reason()))
                      .arg(m_scanner.line())
                      .arg(m_partName);
        break;
    }
    return false;
}

bool CXmlPartParser::feedExpat(const char* data, int size, bool last)
{
    if (!m_parser) {
        m_parser = XML_ParserCreate(nullptr);
        if (!m_parser) {
            m_error = QStringLiteral("xml: out of memory");
            return false;
        }
        XML_SetUserData(m_parser, this);
        XML_SetElementHandler(m_parser, &CXmlPartParser::onStart, &CXmlPartParser::onEnd);
        XML_SetCharacterDataHandler(m_parser, &CXmlPartParser::onCharacters);
        XML_SetStartDoctypeDeclHandler(m_parser, &CXmlPartParser::onDoctype);
    }
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
    if (m_parser)
        XML_StopParser(m_parser, XML_FALSE);
}

bool CXmlPartParser::start(const char* name, const char** attributes)
{
    if (!m_error.isEmpty())
        return false;
    if (++m_elements > kMaxElements) {
        fail(QStringLiteral("xml: %1 holds more than %2 elements").arg(m_partName).arg(kMaxElements));
        return false;
    }
    if (++m_depth > kMaxDepth) {
        fail(QStringLiteral("xml: %1 nests deeper than %2 elements").arg(m_partName).arg(kMaxDepth));
        return false;
    }
    startElement(xmlLocalName(name), attributes);
    return m_error.isEmpty();
}

bool CXmlPartParser::end(const char* name)
{
    --m_depth;
    if (m_error.isEmpty())
        endElement(xmlLocalName(name));
    return m_error.isEmpty();
}

bool CXmlPartParser::scannedText(const char* text, int length)
{
    if (m_error.isEmpty())
        characters(text, length);
    return m_error.isEmpty();
}

void CXmlPartParser::onStart(void* self, const char* name, const char** attributes)
{
    static_cast<CXmlPartParser*>(self)->start(name, attributes);
}

void CXmlPartParser::onEnd(void* self, const char* name)
{
    static_cast<CXmlPartParser*>(self)->end(name);
}

void CXmlPartParser::onCharacters(void* self, const char* text, int length)
{
    static_cast<CXmlPartParser*>(self)->scannedText(text, length);
}

void CXmlPartParser::onDoctype(void* self, const char*, const char*, const char*, int)
{
    auto* p = static_cast<CXmlPartParser*>(self);
    p->fail(QStringLiteral("xml: %1 declares a DTD").arg(p->m_partName));
}

} // namespace WB
