#include "xmlnamespaces.h"

#include <cstring>

namespace WB {

namespace {

#define KNOWN(uri, ns)                                                                                                 \
    {                                                                                                                  \
        uri, sizeof(uri) - 1, ns                                                                                       \
    }
const KnownNamespace kKnown[] = {
    KNOWN("http://schemas.openxmlformats.org/spreadsheetml/2006/main", ENamespace::Spreadsheet),
    KNOWN("http://purl.oclc.org/ooxml/spreadsheetml/main", ENamespace::Spreadsheet),
    KNOWN("http://schemas.openxmlformats.org/officeDocument/2006/relationships", ENamespace::OfficeRelationships),
    KNOWN("http://purl.oclc.org/ooxml/officeDocument/relationships", ENamespace::OfficeRelationships),
    KNOWN("http://schemas.openxmlformats.org/package/2006/relationships", ENamespace::PackageRelationships),
    KNOWN("http://schemas.openxmlformats.org/markup-compatibility/2006", ENamespace::Compatibility),
};
#undef KNOWN

const KnownNamespace* knownNamespace(const char* uri, size_t length)
{
    for (const KnownNamespace& known : kKnown) {
        if (known.length == length && std::memcmp(known.uri, uri, length) == 0)
            return &known;
    }
    return nullptr;
}

} // namespace

ENamespace namespaceOfUri(const char* uri, size_t length)
{
    const KnownNamespace* known = knownNamespace(uri, length);
    return known ? known->ns : ENamespace::Other;
}

ENamespace namespaceOf(const char* name, const char*& local, const KnownNamespace*& hint)
{
    if (hint && std::strncmp(name, hint->uri, hint->length) == 0 && name[hint->length] == kXmlNameSeparator) {
        local = name + hint->length + 1;
        return hint->ns;
    }
    const char* separator = std::strchr(name, kXmlNameSeparator);
    if (!separator) {
        local = name;
        return ENamespace::None;
    }
    local = separator + 1;
    const KnownNamespace* known = knownNamespace(name, size_t(separator - name));
    if (!known)
        return ENamespace::Other;
    hint = known;
    return known->ns;
}

ENamespace namespaceOf(const char* name, const char*& local)
{
    const KnownNamespace* hint = nullptr;
    return namespaceOf(name, local, hint);
}

} // namespace WB
