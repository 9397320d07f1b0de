#include "markupcompatibility.h"

#include "inputcaps.h"

#include <utility>

namespace WB {

CMarkupCompatibility::CMarkupCompatibility(EXmlVocabulary vocabulary, std::function<QString()> where)
    : m_vocabulary(vocabulary)
    , m_where(std::move(where))
{
}

void CMarkupCompatibility::bind(const char* prefix, const char* uri)
{
    m_bindings[prefix ? prefix : ""].emplace_back(uri ? uri : "");
}

void CMarkupCompatibility::unbind(const char* prefix)
{
    const auto bound = m_bindings.find(prefix ? prefix : "");
    if (bound != m_bindings.end() && !bound->second.empty())
        bound->second.pop_back();
}

bool CMarkupCompatibility::understands(ENamespace ns) const
{
    if (m_vocabulary == EXmlVocabulary::Relationships)
        return ns == ENamespace::PackageRelationships;
    return ns == ENamespace::Spreadsheet || ns == ENamespace::OfficeRelationships;
}

bool CMarkupCompatibility::prefixesUnderstood(const char* list, const char* attributeName, std::string& notUnderstood,
                                              QString& refusal)
{
    const char* p = list;
    int listed = 0;
    while (*p) {
        while (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r')
            ++p;
        const char* start = p;
        while (*p && *p != ' ' && *p != '\t' && *p != '\n' && *p != '\r')
            ++p;
        if (p == start)
            break;
        if (++listed > inputcaps::kMaxCompatibilityPrefixes) {
            refusal = QStringLiteral("xml: mc:%1 at %2 lists more than %3 prefixes")
                          .arg(QLatin1String(attributeName), m_where())
                          .arg(inputcaps::kMaxCompatibilityPrefixes);
            return false;
        }
        m_prefix.assign(start, size_t(p - start));
        const auto bound = m_bindings.find(m_prefix);
        if (bound == m_bindings.end() || bound->second.empty()) {
            refusal = QStringLiteral("xml: mc:%1 names the undeclared prefix %2 at %3")
                          .arg(QLatin1String(attributeName), CXmlPartParser::quotedText(m_prefix.c_str()), m_where());
            return false;
        }
        const std::string& uri = bound->second.back();
        if (!understands(namespaceOfUri(uri.data(), uri.size()))) {
            notUnderstood = uri;
            return false;
        }
    }
    return true;
}

QString CMarkupCompatibility::refusalOfAttributes(const char** attributes)
{
    for (int i = 0; attributes[i]; i += 2) {
        const char* local = nullptr;
        // Cells' attributes are one letter: no namespace can be in them.
        if (!attributes[i][1] || namespaceOf(attributes[i], local) != ENamespace::Compatibility)
            continue;
        if (CXmlPartParser::isName(local, "ProcessContent"))
            return QStringLiteral("xml: mc:ProcessContent at %1 is not read").arg(m_where());
        if (CXmlPartParser::isName(local, "MustUnderstand")) {
            std::string uri;
            QString refusal;
            if (!prefixesUnderstood(attributes[i + 1], "MustUnderstand", uri, refusal))
                return !refusal.isEmpty()
                           ? refusal
                           : QStringLiteral("xml: %1 must be understood in the namespace %2, which is not read")
                                 .arg(m_where(), CXmlPartParser::quotedText(uri.c_str()));
        }
    }
    return QString();
}

void CMarkupCompatibility::openAlternate()
{
    m_alternates.push_back(Alternate());
}

void CMarkupCompatibility::closeAlternate()
{
    m_alternates.pop_back();
}

CMarkupCompatibility::EChild CMarkupCompatibility::alternateChild(ENamespace ns, const char* local,
                                                                  const char** attributes, QString& refusal)
{
    Alternate& alternate = m_alternates.back();
    const bool choice = ns == ENamespace::Compatibility && CXmlPartParser::isName(local, "Choice");
    const bool fallback = ns == ENamespace::Compatibility && CXmlPartParser::isName(local, "Fallback");
    if ((!choice && !fallback) || alternate.fallbackSeen) {
        refusal = QStringLiteral("xml: <%1> inside mc:AlternateContent at %2")
                      .arg(QString::fromUtf8(local).left(64), m_where());
        return EChild::Refuse;
    }
    bool take = !alternate.taken;
    if (choice) {
        const char* needs = CXmlPartParser::attribute(attributes, "Requires");
        if (!needs) {
            refusal = QStringLiteral("xml: mc:Choice without Requires at %1").arg(m_where());
            return EChild::Refuse;
        }
        std::string uri;
        take = take && prefixesUnderstood(needs, "Requires", uri, refusal);
        if (!refusal.isEmpty())
            return EChild::Refuse;
    } else {
        alternate.fallbackSeen = true;
    }
    if (!take)
        return EChild::Skip;
    alternate.taken = true;
    return EChild::Take;
}

} // namespace WB
