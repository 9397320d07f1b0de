#pragma once
// The namespaces the readers know, and how an expanded name from expat in namespace mode
// ("uri<kXmlNameSeparator>local") is taken apart.

#include <expat.h>

#include <cstddef>

namespace WB {

// Expat joins a namespace and a local name with this: no XML name or namespace holds it.
constexpr XML_Char kXmlNameSeparator = '\x01';

enum class ENamespace
{
    None, // no namespace at all
    Other,
    Spreadsheet,
    OfficeRelationships,
    PackageRelationships,
    Compatibility
};

struct KnownNamespace
{
    const char* uri;
    size_t length;
    ENamespace ns;
};

ENamespace namespaceOfUri(const char* uri, size_t length);

// The namespace of an expanded name, and its local part. A part names one namespace over and
// over: hint, the last one found, is tried first and updated.
ENamespace namespaceOf(const char* name, const char*& local, const KnownNamespace*& hint);
ENamespace namespaceOf(const char* name, const char*& local);

} // namespace WB
