// One XML part through the readers' one XML path (the token scanner, expat in namespace mode,
// markup compatibility and the limits), cut into pieces where the input says: the first byte gives
// a number of cuts (low three bits) and the vocabulary (bit 3), the next two bytes each the cuts'
// positions; the rest is the part. However it is cut, a part must parse to the same events and the
// same outcome as in one piece.
#include "xmlpartparser.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace {

class CEventCounter : public WB::CXmlPartParser
{
public:
    explicit CEventCounter(WB::EXmlVocabulary vocabulary)
        : CXmlPartParser(QStringLiteral("fuzz.xml"), vocabulary)
    {
    }
    quint64 hash = 1469598103934665603ull;
    qint64 depth = 0;

protected:
    void startElement(const char* name, const char** attributes) override
    {
        ++depth;
        mix(name);
        for (int i = 0; attributes[i]; ++i)
            mix(attributes[i]);
    }
    void endElement(const char* name) override
    {
        --depth;
        mix(name);
    }
    void characters(const char* text, int length) override
    {
        for (int i = 0; i < length; ++i)
            hash = (hash ^ uchar(text[i])) * 1099511628211ull;
    }

private:
    void mix(const char* text)
    {
        for (; *text; ++text)
            hash = (hash ^ uchar(*text)) * 1099511628211ull;
        hash = (hash ^ 0xFF) * 1099511628211ull;
    }
};

struct Outcome
{
    bool ok;
    quint64 hash;
};

Outcome parse(const char* part, size_t size, const std::vector<size_t>& cuts, WB::EXmlVocabulary vocabulary)
{
    CEventCounter parser(vocabulary);
    size_t from = 0;
    bool ok = true;
    for (size_t cut : cuts) {
        if (ok && cut > from) {
            ok = parser.feed(part + from, int(cut - from), false);
            from = cut;
        }
    }
    ok = ok && parser.feed(part + from, int(size - from), true);
    // A part that parsed whole closed every element it opened.
    if (ok && parser.depth != 0)
        __builtin_trap();
    return Outcome{ok, parser.hash};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const size_t count = data[0] & 7;
    if (size < 1 + 2 * count)
        return 0;
    const char* part = reinterpret_cast<const char*>(data + 1 + 2 * count);
    const size_t partSize = size - 1 - 2 * count;
    std::vector<size_t> cuts;
    for (size_t i = 0; i < count; ++i)
        cuts.push_back(partSize ? size_t(data[1 + 2 * i] | data[2 + 2 * i] << 8) % partSize : 0);
    std::sort(cuts.begin(), cuts.end());
    const auto vocabulary = data[0] & 8 ? WB::EXmlVocabulary::Relationships : WB::EXmlVocabulary::Spreadsheet;
    const Outcome whole = parse(part, partSize, {}, vocabulary);
    const Outcome pieces = parse(part, partSize, cuts, vocabulary);
    // Where the part ends before a failure is found, the pieces may see it later; the outcome
    // and, when it parsed, every event must agree.
    if (whole.ok != pieces.ok || (whole.ok && whole.hash != pieces.hash))
        __builtin_trap();
    return 0;
}
