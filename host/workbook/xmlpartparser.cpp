#include "xmlpartparser.h"

#include "inputcaps.h"
#include "piecepipeline.h"
#include "xmltokenscanner.h"

#include <expat.h>

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <string>
#include <unordered_map>
#include <vector>

namespace WB {

namespace {

// Expat joins a namespace and a local name with this: no XML name or namespace holds it.
constexpr XML_Char kSeparator = '\x01';

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

ENamespace namespaceOfUri(const char* uri, size_t length)
{
    const KnownNamespace* known = knownNamespace(uri, length);
    return known ? known->ns : ENamespace::Other;
}

// The namespace of an expanded name ("uri<separator>local"), and its local part. A part names
// one namespace over and over: the last one found is tried first.
ENamespace namespaceOf(const char* name, const char*& local, const KnownNamespace*& hint)
{
    if (hint && std::strncmp(name, hint->uri, hint->length) == 0 && name[hint->length] == kSeparator) {
        local = name + hint->length + 1;
        return hint->ns;
    }
    const char* separator = std::strchr(name, kSeparator);
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

bool equalsIgnoringCase(const char* a, const char* b)
{
    for (; *a && *b; ++a, ++b) {
        const char x = *a >= 'a' && *a <= 'z' ? char(*a - 32) : *a;
        if (x != *b)
            return false;
    }
    return *a == *b;
}

QString quoted(const char* text)
{
    return QLatin1Char('"') + QString::fromUtf8(text).left(64) + QLatin1Char('"');
}

// --- Memory: expat's allocations counted against a cap ------------------------------------------

struct Budget
{
    size_t used = 0;
    bool exceeded = false;
};

// The budget expat's allocations on this thread are charged to while we call into it.
thread_local Budget* t_budget = nullptr;

struct alignas(std::max_align_t) Header
{
    size_t size;
    Budget* budget;
};

bool charge(Budget* budget, size_t more)
{
    if (!budget)
        return true;
    if (more > size_t(inputcaps::kMaxXmlParserBytes) - budget->used) {
        budget->exceeded = true;
        return false;
    }
    budget->used += more;
    return true;
}

void* budgetMalloc(size_t size)
{
    Budget* budget = t_budget;
    if (!charge(budget, size))
        return nullptr;
    auto* header = static_cast<Header*>(std::malloc(sizeof(Header) + size));
    if (!header) {
        if (budget)
            budget->used -= size;
        return nullptr;
    }
    header->size = size;
    header->budget = budget;
    return header + 1;
}

void budgetFree(void* pointer)
{
    if (!pointer)
        return;
    Header* header = static_cast<Header*>(pointer) - 1;
    if (header->budget)
        header->budget->used -= header->size;
    std::free(header);
}

void* budgetRealloc(void* pointer, size_t size)
{
    if (!pointer)
        return budgetMalloc(size);
    Header* header = static_cast<Header*>(pointer) - 1;
    Budget* budget = header->budget;
    const size_t old = header->size;
    if (size > old && !charge(budget, size - old))
        return nullptr;
    auto* moved = static_cast<Header*>(std::realloc(header, sizeof(Header) + size));
    if (!moved) {
        if (budget && size > old)
            budget->used -= size - old;
        return nullptr;
    }
    if (budget && size < old)
        budget->used -= old - size;
    moved->size = size;
    return moved + 1;
}

const XML_Memory_Handling_Suite kBudgetSuite = {budgetMalloc, budgetRealloc, budgetFree};

class CBudgetScope
{
public:
    explicit CBudgetScope(Budget& budget)
        : m_previous(t_budget)
    {
        t_budget = &budget;
    }
    ~CBudgetScope() { t_budget = m_previous; }

private:
    Budget* m_previous;
};

} // namespace

struct CXmlPartParser::Private
{
    enum class EFrame : unsigned char
    {
        Delivered, // an element of the vocabulary, handed to the subclass
        Alternate, // mc:AlternateContent
        Branch     // the branch of an alternate content taken: stands for what it holds
    };
    struct Frame
    {
        EFrame kind;
        unsigned char local;  // where a delivered element's local name starts in its expanded name
        bool refuseForeign;   // an element of another namespace inside is refused, not skipped
        bool refuseAlternate; // alternate content inside is refused, not resolved
    };
    bool refusesForeign() const { return !frames.empty() && frames.back().refuseForeign; }
    bool refusesAlternate() const { return !frames.empty() && frames.back().refuseAlternate; }
    struct Alternate
    {
        bool taken = false;
        bool fallbackSeen = false;
    };

    Private(CXmlPartParser& parserOwner, EXmlVocabulary partVocabulary)
        : owner(parserOwner)
        , vocabulary(partVocabulary)
    {
        CBudgetScope scope(budget);
        parser = XML_ParserCreate_MM(nullptr, &kBudgetSuite, &kSeparator);
        if (!parser)
            return;
        XML_SetUserData(parser, this);
        XML_SetElementHandler(parser, &Private::onStart, &Private::onEnd);
        XML_SetCharacterDataHandler(parser, &Private::onText);
        XML_SetNamespaceDeclHandler(parser, &Private::onNamespaceStart, &Private::onNamespaceEnd);
        XML_SetXmlDeclHandler(parser, &Private::onDeclaration);
        XML_SetStartDoctypeDeclHandler(parser, &Private::onDoctype);
    }

    ~Private()
    {
        pipeline.reset();
        if (parser) {
            CBudgetScope scope(budget);
            XML_ParserFree(parser);
        }
    }

    bool failed() const { return !owner.m_error.isEmpty(); }

    void stop(const QString& reason)
    {
        owner.fail(reason);
        XML_StopParser(parser, XML_FALSE);
    }

    // The namespaces whose elements and attributes the readers act on.
    bool understands(ENamespace ns) const
    {
        if (vocabulary == EXmlVocabulary::Relationships)
            return ns == ENamespace::PackageRelationships;
        return ns == ENamespace::Spreadsheet || ns == ENamespace::OfficeRelationships;
    }
    ENamespace elementNamespace() const
    {
        return vocabulary == EXmlVocabulary::Relationships ? ENamespace::PackageRelationships : ENamespace::Spreadsheet;
    }

    // Whether every prefix of a markup-compatibility list names a namespace we understand; an
    // undeclared prefix is refused, as the rules require.
    bool prefixesUnderstood(const char* list, const char* attributeName, std::string& notUnderstood)
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
                stop(QStringLiteral("xml: mc:%1 at %2 lists more than %3 prefixes")
                         .arg(QLatin1String(attributeName), owner.where())
                         .arg(inputcaps::kMaxCompatibilityPrefixes));
                return false;
            }
            prefix.assign(start, size_t(p - start));
            const auto bound = bindings.find(prefix);
            if (bound == bindings.end() || bound->second.empty()) {
                stop(QStringLiteral("xml: mc:%1 names the undeclared prefix %2 at %3")
                         .arg(QLatin1String(attributeName), quoted(prefix.c_str()), owner.where()));
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

    // mc:MustUnderstand and mc:ProcessContent on an element we read.
    bool compatibilityAttributesHonoured(const char** attributes)
    {
        for (int i = 0; attributes[i]; i += 2) {
            const char* local = nullptr;
            // Cells' attributes are one letter: no namespace can be in them.
            if (!attributes[i][1] || namespaceOf(attributes[i], local) != ENamespace::Compatibility)
                continue;
            if (isName(local, "ProcessContent")) {
                stop(QStringLiteral("xml: mc:ProcessContent at %1 is not read").arg(owner.where()));
                return false;
            }
            if (isName(local, "MustUnderstand")) {
                std::string uri;
                if (!prefixesUnderstood(attributes[i + 1], "MustUnderstand", uri)) {
                    if (!failed())
                        stop(QStringLiteral("xml: %1 must be understood in the namespace %2, which is not read")
                                 .arg(owner.where(), quoted(uri.c_str())));
                    return false;
                }
            }
        }
        return true;
    }

    void start(const char* name, const char** attributes)
    {
        if (++elements > inputcaps::kMaxElements) {
            stop(QStringLiteral("xml: %1 holds more than %2 elements")
                     .arg(owner.m_partName)
                     .arg(inputcaps::kMaxElements));
            return;
        }
        if (++depth > inputcaps::kMaxDepth) {
            stop(QStringLiteral("xml: %1 nests deeper than %2 elements")
                     .arg(owner.m_partName)
                     .arg(inputcaps::kMaxDepth));
            return;
        }
        if (skipDepth > 0) {
            ++skipDepth;
            return;
        }
        const char* local = nullptr;
        const ENamespace ns = namespaceOf(name, local, hint);
        if (owner.m_textOnly) {
            stop(QStringLiteral("xml: an element <%1> inside a text value at %2")
                     .arg(QString::fromUtf8(local).left(64), owner.where()));
            return;
        }
        if (frames.empty() && (ns != elementNamespace() || elements > 1)) {
            stop(QStringLiteral("xml: the root element <%1> of %2 is not in the namespace it is read in")
                     .arg(QString::fromUtf8(local).left(64), owner.m_partName));
            return;
        }
        if (!frames.empty() && frames.back().kind == EFrame::Alternate) {
            alternateChild(ns, local, attributes);
            return;
        }
        if (ns == ENamespace::Compatibility) {
            if (isName(local, "AlternateContent") && refusesAlternate()) {
                stop(QStringLiteral("xml: mc:AlternateContent at %1 holds what a row, cell or string holds: "
                                    "spreadsheet programs differ on it")
                         .arg(owner.where()));
            } else if (isName(local, "AlternateContent")) {
                frames.push_back(Frame{EFrame::Alternate, 0, refusesForeign(), false});
                alternates.push_back(Alternate());
            } else {
                stop(QStringLiteral("xml: mc:%1 outside mc:AlternateContent at %2")
                         .arg(QString::fromUtf8(local).left(64), owner.where()));
            }
            return;
        }
        if (ns != elementNamespace()) {
            if (refusesForeign()) {
                stop(QStringLiteral("xml: an element <%1> of another namespace at %2, where readers differ on it")
                         .arg(QString::fromUtf8(local).left(64), owner.where()));
                return;
            }
            skipDepth = 1;
            return;
        }
        if (!compatibilityAttributesHonoured(attributes))
            return;
        frames.push_back(
            Frame{EFrame::Delivered, static_cast<unsigned char>(local - name), refusesForeign(), refusesAlternate()});
        owner.startElement(local, attributes);
        if (failed())
            XML_StopParser(parser, XML_FALSE);
    }

    // A child of mc:AlternateContent: the first choice whose requirements are all understood, or
    // else the fallback, stands for the whole; the rest is skipped.
    void alternateChild(ENamespace ns, const char* local, const char** attributes)
    {
        Alternate& alternate = alternates.back();
        const bool choice = ns == ENamespace::Compatibility && isName(local, "Choice");
        const bool fallback = ns == ENamespace::Compatibility && isName(local, "Fallback");
        if ((!choice && !fallback) || alternate.fallbackSeen) {
            stop(QStringLiteral("xml: <%1> inside mc:AlternateContent at %2")
                     .arg(QString::fromUtf8(local).left(64), owner.where()));
            return;
        }
        bool take = !alternate.taken;
        if (choice) {
            const char* needs = CXmlPartParser::attribute(attributes, "Requires");
            if (!needs) {
                stop(QStringLiteral("xml: mc:Choice without Requires at %1").arg(owner.where()));
                return;
            }
            std::string uri;
            take = take && prefixesUnderstood(needs, "Requires", uri);
            if (failed())
                return;
        } else {
            alternate.fallbackSeen = true;
        }
        if (!take) {
            skipDepth = 1;
            return;
        }
        alternate.taken = true;
        frames.push_back(Frame{EFrame::Branch, 0, refusesForeign(), false});
    }

    void end(const char* name)
    {
        --depth;
        if (skipDepth > 0) {
            --skipDepth;
            return;
        }
        const Frame frame = frames.back();
        frames.pop_back();
        if (frame.kind == EFrame::Alternate) {
            alternates.pop_back();
        } else if (frame.kind == EFrame::Delivered) {
            owner.endElement(name + frame.local);
            if (failed())
                XML_StopParser(parser, XML_FALSE);
        }
    }

    void text(const char* data, int length)
    {
        if (skipDepth > 0 || frames.empty() || frames.back().kind == EFrame::Alternate)
            return;
        owner.characters(data, length);
        if (failed())
            XML_StopParser(parser, XML_FALSE);
    }

    // Nothing may unwind through expat: what a handler throws stops the parse with its reason.
    template <typename Step>
    static void guarded(void* user, Step step)
    {
        auto* d = static_cast<Private*>(user);
        if (d->failed())
            return;
        try {
            step(*d);
        } catch (const std::bad_alloc&) {
            d->stop(QStringLiteral("xml: 内存不足 (out of memory) reading %1").arg(d->owner.m_partName));
        } catch (const std::exception& e) {
            d->stop(QStringLiteral("xml: %1 cannot be read: %2")
                        .arg(d->owner.m_partName, QString::fromLocal8Bit(e.what())));
        }
    }
    static void XMLCALL onStart(void* user, const XML_Char* name, const XML_Char** attributes)
    {
        guarded(user, [&](Private& self) { self.start(name, attributes); });
    }
    static void XMLCALL onEnd(void* user, const XML_Char* name)
    {
        guarded(user, [&](Private& self) { self.end(name); });
    }
    static void XMLCALL onText(void* user, const XML_Char* data, int length)
    {
        guarded(user, [&](Private& self) { self.text(data, length); });
    }
    static void XMLCALL onNamespaceStart(void* user, const XML_Char* prefix, const XML_Char* uri)
    {
        guarded(user, [&](Private& self) { self.bindings[prefix ? prefix : ""].emplace_back(uri ? uri : ""); });
    }
    static void XMLCALL onNamespaceEnd(void* user, const XML_Char* prefix)
    {
        guarded(user, [&](Private& self) {
            const auto bound = self.bindings.find(prefix ? prefix : "");
            if (bound != self.bindings.end() && !bound->second.empty())
                bound->second.pop_back();
        });
    }
    static void XMLCALL onDeclaration(void* user, const XML_Char*, const XML_Char* encoding, int)
    {
        auto* d = static_cast<Private*>(user);
        if (!encoding || equalsIgnoringCase(encoding, "UTF-8") || equalsIgnoringCase(encoding, "UTF-16") ||
            equalsIgnoringCase(encoding, "UTF-16LE") || equalsIgnoringCase(encoding, "UTF-16BE"))
            return;
        d->stop(QStringLiteral("xml: %1 declares the encoding %2; parts are read in UTF-8 or UTF-16 only")
                    .arg(d->owner.m_partName, quoted(encoding)));
    }
    static void XMLCALL onDoctype(void* user, const XML_Char*, const XML_Char*, const XML_Char*, int)
    {
        auto* d = static_cast<Private*>(user);
        d->stop(QStringLiteral("xml: %1 declares a DTD").arg(d->owner.m_partName));
    }

    bool parse(const char* data, size_t size, bool last)
    {
        CBudgetScope scope(budget);
        if (XML_Parse(parser, data, int(size), last ? XML_TRUE : XML_FALSE) == XML_STATUS_OK)
            return !failed();
        if (failed())
            return false;
        const XML_Error code = XML_GetErrorCode(parser);
        if (budget.exceeded) {
            owner.fail(QStringLiteral("xml: %1 needs more than %2 MiB to parse")
                           .arg(owner.m_partName)
                           .arg(inputcaps::kMaxXmlParserBytes / inputcaps::kMiB));
        } else if (code == XML_ERROR_NO_MEMORY) {
            owner.fail(QStringLiteral("xml: 内存不足 (out of memory) reading %1").arg(owner.m_partName));
        } else {
            owner.fail(QStringLiteral("xml: %1 at %2").arg(QString::fromUtf8(XML_ErrorString(code)), owner.where()));
        }
        return false;
    }

    // The parse on the calling thread, or on the pipeline's once a part proves larger than one
    // piece: expat and the cells then take one core while the zip inflates on the other.
    bool submit(const char* data, size_t size, bool last)
    {
        if (!pipeline && !last && ++submitted == 2) {
            auto started = std::make_unique<CPiecePipeline>(
                [this](const char* piece, size_t length, bool final) { return parse(piece, length, final); });
            if (started->start())
                pipeline = std::move(started);
        }
        return pipeline ? pipeline->push(data, size, last) : parse(data, size, last);
    }

    // Waits for the parse; its results and error may be read after.
    void finish()
    {
        if (pipeline)
            pipeline->stop();
    }

    // Hands expat the piece up to the last point where no token is open; the rest waits.
    bool feed(const char* data, size_t size, bool last)
    {
        size_t safe = 0;
        if (!scanner.scan(data, size, safe) || scanner.unpaired(last)) {
            finish();
            if (scanner.unpaired(last))
                owner.fail(QStringLiteral("xml: %1 holds half a UTF-16 surrogate pair").arg(owner.m_partName));
            else
                owner.fail(QStringLiteral("xml: %1 holds a tag, comment or instruction longer than %2 MiB")
                               .arg(owner.m_partName)
                               .arg(inputcaps::kMaxTokenBytes / inputcaps::kMiB));
            return false;
        }
        if (last) {
            if (pending.empty())
                return submit(data, size, true);
            pending.append(data, size);
            const bool ok = submit(pending.data(), pending.size(), true);
            std::string().swap(pending);
            return ok;
        }
        if (safe == CXmlTokenScanner::kOpen) {
            pending.append(data, size);
            return true;
        }
        bool ok = true;
        if (pending.empty()) {
            ok = submit(data, safe, false);
        } else {
            pending.append(data, safe);
            ok = submit(pending.data(), pending.size(), false);
            pending.clear();
        }
        pending.append(data + safe, size - safe);
        return ok;
    }

    CXmlPartParser& owner;
    const EXmlVocabulary vocabulary;
    Budget budget;
    XML_Parser parser = nullptr;
    CXmlTokenScanner scanner;
    bool widthKnown = false;
    std::string pending; // fed, not yet handed to expat: the start of an open token
    std::unique_ptr<CPiecePipeline> pipeline;
    int submitted = 0;
    bool stopped = false; // the calling thread's own view: a feed failed, feed no more
    qint64 elements = 0;
    int depth = 0;
    int skipDepth = 0; // inside an element skipped with all it holds: its depth there
    std::vector<Frame> frames;
    const KnownNamespace* hint = nullptr; // the namespace of the last element
    std::vector<Alternate> alternates;
    // Each prefix's namespaces in scope, innermost last: a lookup costs the same whatever is bound.
    std::unordered_map<std::string, std::vector<std::string>> bindings;
    std::string prefix; // the one looked up, its room kept
};

CXmlPartParser::CXmlPartParser(const QString& partName, EXmlVocabulary vocabulary)
    : d(new Private(*this, vocabulary))
    , m_partName(partName)
{
    if (!d->parser)
        m_error = QStringLiteral("xml: cannot start a parser for %1").arg(partName);
}

CXmlPartParser::~CXmlPartParser() = default;

bool CXmlPartParser::feed(const char* data, int size, bool last)
{
    // Read by the calling thread only: the parse may be writing the error on its own.
    if (d->stopped || !d->parser)
        return false;
    bool ok = true;
    if (!d->widthKnown) {
        // The scanner reads units as expat will: it needs the first two bytes to know them.
        d->pending.append(data, size_t(size));
        if (d->pending.size() < 2 && !last)
            return true;
        d->widthKnown = true;
        d->scanner.setWidth(CXmlTokenScanner::widthOf(d->pending));
        std::string head;
        head.swap(d->pending);
        ok = d->feed(head.data(), head.size(), last);
    } else {
        ok = d->feed(data, size_t(size), last);
    }
    d->stopped = !ok || last;
    return ok;
}

QString CXmlPartParser::error() const
{
    d->finish();
    return m_error;
}

const char* CXmlPartParser::attribute(const char** attributes, const char* name)
{
    for (int i = 0; attributes[i]; i += 2) {
        if (std::strcmp(attributes[i], name) == 0)
            return attributes[i + 1];
    }
    return nullptr;
}

const char* CXmlPartParser::relationshipId(const char** attributes)
{
    for (int i = 0; attributes[i]; i += 2) {
        const char* local = nullptr;
        if (namespaceOf(attributes[i], local) == ENamespace::OfficeRelationships && isName(local, "id"))
            return attributes[i + 1];
    }
    return nullptr;
}

bool CXmlPartParser::isName(const char* name, const char* expected)
{
    return std::strcmp(name, expected) == 0;
}

qint64 CXmlPartParser::toInt64(const char* p)
{
    while (*p == ' ' || (*p >= '\t' && *p <= '\r'))
        ++p;
    const bool negative = *p == '-';
    if (*p == '-' || *p == '+')
        ++p;
    quint64 value = 0;
    bool overflow = false;
    for (; *p >= '0' && *p <= '9'; ++p) {
        const unsigned digit = unsigned(*p - '0');
        if (value > (quint64(std::numeric_limits<qint64>::max()) + 1 - digit) / 10)
            overflow = true;
        else
            value = value * 10 + digit;
    }
    if (negative)
        return overflow || value > quint64(std::numeric_limits<qint64>::max()) ? std::numeric_limits<qint64>::min()
                                                                               : -qint64(value);
    return overflow || value > quint64(std::numeric_limits<qint64>::max()) ? std::numeric_limits<qint64>::max()
                                                                           : qint64(value);
}

QString CXmlPartParser::shortText(const char* text)
{
    return QString::fromUtf8(text).left(64);
}

void CXmlPartParser::fail(const QString& reason)
{
    if (m_error.isEmpty())
        m_error = reason;
}

void CXmlPartParser::refuseForeignInside(bool refuse)
{
    if (!d->frames.empty())
        d->frames.back().refuseForeign = refuse;
}

void CXmlPartParser::refuseAlternateInside()
{
    if (!d->frames.empty())
        d->frames.back().refuseAlternate = true;
}

bool CXmlPartParser::insideAlternate() const
{
    for (const Private::Frame& frame : d->frames)
        if (frame.kind == Private::EFrame::Branch)
            return true;
    return false;
}

QString CXmlPartParser::where() const
{
    const qint64 line = d->parser ? qint64(XML_GetCurrentLineNumber(d->parser)) : 0;
    return QStringLiteral("line %1 of %2").arg(line).arg(m_partName);
}

} // namespace WB
