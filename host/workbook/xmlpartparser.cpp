#include "xmlpartparser.h"

#include "inputcaps.h"
#include "markupcompatibility.h"
#include "piecepipeline.h"
#include "xmlmemorybudget.h"
#include "xmlnamespaces.h"
#include "xmltokenscanner.h"

#include <expat.h>

#include <cstddef>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <string>
#include <vector>

namespace WB {

namespace {

bool equalsIgnoringCase(const char* a, const char* b)
{
    for (; *a && *b; ++a, ++b) {
        const char x = *a >= 'a' && *a <= 'z' ? char(*a - 32) : *a;
        if (x != *b)
            return false;
    }
    return *a == *b;
}

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
    Private(CXmlPartParser& parserOwner, EXmlVocabulary partVocabulary)
        : owner(parserOwner)
        , vocabulary(partVocabulary)
        , compatibility(partVocabulary, [this] { return owner.where(); })
    {
        CXmlBudgetScope scope(budget);
        parser = XML_ParserCreate_MM(nullptr, xmlBudgetedMemory(), &kXmlNameSeparator);
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
            CXmlBudgetScope scope(budget);
            XML_ParserFree(parser);
        }
    }

    bool failed() const { return !owner.m_error.isEmpty(); }

    void stop(const QString& reason)
    {
        owner.fail(reason);
        XML_StopParser(parser, XML_FALSE);
    }

    ENamespace elementNamespace() const
    {
        return vocabulary == EXmlVocabulary::Relationships ? ENamespace::PackageRelationships : ENamespace::Spreadsheet;
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
                compatibility.openAlternate();
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
        const QString refusal = compatibility.refusalOfAttributes(attributes);
        if (!refusal.isEmpty()) {
            stop(refusal);
            return;
        }
        frames.push_back(
            Frame{EFrame::Delivered, static_cast<unsigned char>(local - name), refusesForeign(), refusesAlternate()});
        owner.startElement(local, attributes);
        if (failed())
            XML_StopParser(parser, XML_FALSE);
    }

    void alternateChild(ENamespace ns, const char* local, const char** attributes)
    {
        QString refusal;
        switch (compatibility.alternateChild(ns, local, attributes, refusal)) {
        case CMarkupCompatibility::EChild::Refuse: stop(refusal); return;
        case CMarkupCompatibility::EChild::Skip: skipDepth = 1; return;
        case CMarkupCompatibility::EChild::Take: frames.push_back(Frame{EFrame::Branch, 0, refusesForeign(), false});
        }
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
            compatibility.closeAlternate();
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
        guarded(user, [&](Private& self) { self.compatibility.bind(prefix, uri); });
    }
    static void XMLCALL onNamespaceEnd(void* user, const XML_Char* prefix)
    {
        guarded(user, [&](Private& self) { self.compatibility.unbind(prefix); });
    }
    static void XMLCALL onDeclaration(void* user, const XML_Char*, const XML_Char* encoding, int)
    {
        auto* d = static_cast<Private*>(user);
        if (!encoding || equalsIgnoringCase(encoding, "UTF-8") || equalsIgnoringCase(encoding, "UTF-16") ||
            equalsIgnoringCase(encoding, "UTF-16LE") || equalsIgnoringCase(encoding, "UTF-16BE"))
            return;
        d->stop(QStringLiteral("xml: %1 declares the encoding %2; parts are read in UTF-8 or UTF-16 only")
                    .arg(d->owner.m_partName, CXmlPartParser::quotedText(encoding)));
    }
    static void XMLCALL onDoctype(void* user, const XML_Char*, const XML_Char*, const XML_Char*, int)
    {
        auto* d = static_cast<Private*>(user);
        d->stop(QStringLiteral("xml: %1 declares a DTD").arg(d->owner.m_partName));
    }

    bool parse(const char* data, size_t size, bool last)
    {
        CXmlBudgetScope scope(budget);
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
    CMarkupCompatibility compatibility;
    XmlMemoryBudget budget;
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

QString CXmlPartParser::quotedText(const char* text)
{
    return QLatin1Char('"') + shortText(text) + QLatin1Char('"');
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
