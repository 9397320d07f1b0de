#pragma once
// Markup compatibility as a spreadsheet program applies it to the parts it reads: the namespaces
// in scope, what mc:MustUnderstand and mc:ProcessContent ask of an element, and which child of an
// mc:AlternateContent stands for it.

#include "xmlnamespaces.h"
#include "xmlpartparser.h"

#include <QString>

#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

namespace WB {

class CMarkupCompatibility
{
public:
    enum class EChild
    {
        Take,  // the branch that stands for the alternate content
        Skip,  // skipped with all it holds
        Refuse // the part is refused
    };

    // where: "line N of part", asked only for a reason.
    CMarkupCompatibility(EXmlVocabulary vocabulary, std::function<QString()> where);

    // Namespace declarations as the parse opens and closes them.
    void bind(const char* prefix, const char* uri);
    void unbind(const char* prefix);

    // Why an element read cannot be, for its mc:MustUnderstand or mc:ProcessContent; empty when
    // they are honoured.
    QString refusalOfAttributes(const char** attributes);

    void openAlternate();
    void closeAlternate();
    // A child of the innermost alternate content: the first choice whose requirements are all
    // understood, or else the fallback, is taken; the rest is skipped. refusal says why not.
    EChild alternateChild(ENamespace ns, const char* local, const char** attributes, QString& refusal);

private:
    struct Alternate
    {
        bool taken = false;
        bool fallbackSeen = false;
    };

    // The namespaces whose elements and attributes the readers act on.
    bool understands(ENamespace ns) const;
    // Whether every prefix of a list names a namespace we understand; an undeclared prefix or a
    // list too long is refused, as the rules require. notUnderstood: the first namespace that is not.
    bool prefixesUnderstood(const char* list, const char* attributeName, std::string& notUnderstood, QString& refusal);

    const EXmlVocabulary m_vocabulary;
    const std::function<QString()> m_where;
    std::vector<Alternate> m_alternates;
    // Each prefix's namespaces in scope, innermost last: a lookup costs the same whatever is bound.
    std::unordered_map<std::string, std::vector<std::string>> m_bindings;
    std::string m_prefix; // the one looked up, its room kept
};

} // namespace WB
