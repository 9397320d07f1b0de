#include "xmlpartparser.h"

#include "inputcaps.h"

#include <QTextCodec>

#include <cctype>
#include <cstring>

namespace WB {

namespace {

// An XML declaration longer than this is no declaration a writer made.
constexpr int kLongestDeclaration = 4096;

// The value of the declaration's encoding pseudo-attribute, or empty.
QByteArray declaredEncoding(const QByteArray& declaration)
{
    const int at = declaration.indexOf("encoding");
    if (at < 0)
        return QByteArray();
    const QByteArray rest = declaration.mid(at + 8).trimmed();
    if (!rest.startsWith('='))
        return QByteArray();
    const QByteArray value = rest.mid(1).trimmed();
    if (value.size() < 2 || (value.at(0) != '"' && value.at(0) != '\''))
        return QByteArray();
    const int quote = value.indexOf(value.at(0), 1);
    return quote < 0 ? QByteArray() : value.mid(1, quote - 1);
}

} // namespace

const char* xmlLocalName(const char* name)
{
    const char* bar = std::strrchr(name, ':');
    return bar ? bar + 1 : name;
}

CXmlPartParser::CXmlPartParser(const QString& partName)
    : m_partName(partName)
{
}

CXmlPartParser::~CXmlPartParser() = default;

bool CXmlPartParser::feed(const char* data, int size, bool last)
{
    if (!m_error.isEmpty())
        return false;
    if (!m_decided) {
        m_head.append(data, size);
        if (!chooseEncoding(last))
            return true;
        if (!m_error.isEmpty())
            return false;
        const QByteArray head = m_head;
        m_head = QByteArray();
        return feed(head.constData(), head.size(), last);
    }
    if (!m_decoder)
        return feedScanner(data, size, last);
    const QByteArray utf8 = m_decoder->toUnicode(data, size).toUtf8();
    if (m_decoder->hasFailure() || (last && m_decoder->needsMoreData())) {
        fail(QStringLiteral("xml: %1 is not valid %2").arg(m_partName, QString::fromLatin1(m_encoding)));
        return false;
    }
    return feedScanner(utf8.constData(), utf8.size(), last);
}

bool CXmlPartParser::chooseEncoding(bool last)
{
    const QByteArray& head = m_head;
    if (head.size() < 2 && !last)
        return false;
    m_decided = true;
    // UTF-16, with its byte order mark or by the zero bytes of "<?" or "<r".
    if (head.startsWith("\xFE\xFF") || head.startsWith("\xFF\xFE"))
        m_encoding = "UTF-16";
    else if (head.size() >= 2 && head.at(0) == '\0')
        m_encoding = "UTF-16BE";
    else if (head.size() >= 2 && head.at(1) == '\0')
        m_encoding = "UTF-16LE";
    if (m_encoding.isEmpty()) {
        const int from = head.startsWith("\xEF\xBB\xBF") ? 3 : 0;
        if (head.size() - from < 6 && !last) {
            m_decided = false;
            return false;
        }
        if (head.mid(from, 5) != "<?xml" || head.size() - from < 6 || !std::isspace(uchar(head.at(from + 5))))
            return true;
        // Looked for within the declaration's longest only, however the part arrives in pieces.
        const int close = head.left(kLongestDeclaration).indexOf("?>", from);
        if (close < 0 && !last && head.size() < kLongestDeclaration) {
            m_decided = false;
            return false;
        }
        if (close < 0)
            return true;
        const QByteArray declared = declaredEncoding(head.mid(from, close - from));
        if (declared.isEmpty() || declared.toLower() == "utf-8")
            return true;
        m_encoding = declared;
    }
    QTextCodec* codec = QTextCodec::codecForName(m_encoding);
    if (!codec) {
        fail(QStringLiteral("xml: %1 declares the encoding %2, which is not read")
                 .arg(m_partName, QString::fromLatin1(m_encoding.left(64))));
        return true;
    }
    m_decoder.reset(codec->makeDecoder());
    return true;
}

bool CXmlPartParser::feedScanner(const char* data, qint64 size, bool last)
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
                      .arg(inputcaps::kMaxTokenBytes / inputcaps::kMiB);
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
}

bool CXmlPartParser::start(const char* name, const char** attributes)
{
    if (!m_error.isEmpty())
        return false;
    if (++m_elements > inputcaps::kMaxElements) {
        fail(QStringLiteral("xml: %1 holds more than %2 elements").arg(m_partName).arg(inputcaps::kMaxElements));
        return false;
    }
    if (++m_depth > inputcaps::kMaxDepth) {
        fail(QStringLiteral("xml: %1 nests deeper than %2 elements").arg(m_partName).arg(inputcaps::kMaxDepth));
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

} // namespace WB
