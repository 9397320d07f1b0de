#include "securitymaster.h"

#include <QList>

#include <cstring>

#include <boost/make_shared.hpp>

namespace {

// White space a spreadsheet or editor leaves around a key: ASCII blanks, the no-break and the
// ideographic space, and the byte-order mark a UTF-8 file starts with.
size_t blankAt(const std::string& text, size_t begin, size_t end, bool fromEnd)
{
    static const char* const wide[] = {"\xE3\x80\x80", "\xC2\xA0", "\xEF\xBB\xBF"};
    const unsigned char c = static_cast<unsigned char>(fromEnd ? text[end - 1] : text[begin]);
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f') {
        return 1;
    }
    for (const char* blank : wide) {
        const size_t n = std::char_traits<char>::length(blank);
        if (end - begin >= n && text.compare(fromEnd ? end - n : begin, n, blank) == 0) {
            return n;
        }
    }
    return 0;
}

std::string trimmed(const std::string& text)
{
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end) {
        const size_t n = blankAt(text, begin, end, false);
        if (n == 0) {
            break;
        }
        begin += n;
    }
    while (end > begin) {
        const size_t n = blankAt(text, begin, end, true);
        if (n == 0) {
            break;
        }
        end -= n;
    }
    return text.substr(begin, end - begin);
}

std::string upperAscii(std::string text)
{
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return text;
}

const std::unordered_map<std::string, std::string>& exchangeAliases()
{
    static const std::unordered_map<std::string, std::string> aliases = {
        {"SH", "SH"},
        {"SSE", "SH"},
        {"SHSE", "SH"},
        {"XSHG", "SH"},
        {"上海", "SH"},
        {"上交所", "SH"},
        {"上海证券交易所", "SH"},
        {"沪", "SH"},
        {"SZ", "SZ"},
        {"SZSE", "SZ"},
        {"XSHE", "SZ"},
        {"深圳", "SZ"},
        {"深交所", "SZ"},
        {"深圳证券交易所", "SZ"},
        {"深", "SZ"},
        {"BJ", "BJ"},
        {"BSE", "BJ"},
        {"BJSE", "BJ"},
        {"北京", "BJ"},
        {"北交所", "BJ"},
        {"北京证券交易所", "BJ"},
        {"京", "BJ"},
    };
    return aliases;
}

bool allDigits(const std::string& text)
{
    if (text.empty()) {
        return false;
    }
    for (char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
    }
    return true;
}

// 1 SH, 2 SZ, 3 BJ for an exchange written in ASCII letters only, in any case; 0 otherwise.
uint32_t plainExchange(const std::string& text)
{
    if (text.empty() || text.size() > 4) {
        return 0;
    }
    char upper[5] = {};
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        } else if (c < 'A' || c > 'Z') {
            return 0;
        }
        upper[i] = c;
    }
    // By length first: this runs once for every line of an upload.
    switch (text.size()) {
    case 2:
        return std::memcmp(upper, "SH", 2) == 0   ? 1
               : std::memcmp(upper, "SZ", 2) == 0 ? 2
               : std::memcmp(upper, "BJ", 2) == 0 ? 3
                                                  : 0;
    case 3: return std::memcmp(upper, "SSE", 3) == 0 ? 1 : std::memcmp(upper, "BSE", 3) == 0 ? 3 : 0;
    default: break;
    }
    static const struct
    {
        const char* name;
        uint32_t id;
    } names[] = {{"SHSE", 1}, {"XSHG", 1}, {"SZSE", 2}, {"XSHE", 2}, {"BJSE", 3}};
    for (const auto& name : names) {
        if (std::memcmp(upper, name.name, 4) == 0) {
            return name.id;
        }
    }
    return 0;
}

uint32_t exchangeNumber(const std::string& exchangeId)
{
    return exchangeId == "SH" ? 1 : exchangeId == "SZ" ? 2 : exchangeId == "BJ" ? 3 : 0;
}

// The code of one to six ASCII digits as a number; -1 otherwise.
long plainCode(const std::string& text)
{
    if (text.empty() || text.size() > 6) {
        return -1;
    }
    long code = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            return -1;
        }
        code = code * 10 + (c - '0');
    }
    return code;
}

uint32_t plainKey(uint32_t exchange, long code)
{
    return exchange * 1000000u + static_cast<uint32_t>(code);
}

} // namespace

namespace rqservice {

CSecurityMaster::CSecurityMaster() = default;

std::string CSecurityMaster::normalizeExchange(const std::string& text)
{
    const auto& aliases = exchangeAliases();
    const auto it = aliases.find(upperAscii(trimmed(text)));
    return it == aliases.end() ? std::string() : it->second;
}

std::string CSecurityMaster::normalizeCode(const std::string& text)
{
    std::string code = trimmed(text);
    // A spreadsheet that took the code for a number may write "858.0".
    const size_t dot = code.find('.');
    if (dot != std::string::npos) {
        const std::string fraction = code.substr(dot + 1);
        if (fraction.find_first_not_of('0') != std::string::npos) {
            return std::string();
        }
        code.resize(dot);
    }
    if (!allDigits(code) || code.size() > 6) {
        return std::string();
    }
    return std::string(6 - code.size(), '0') + code;
}

std::string CSecurityMaster::exchangeName(const std::string& exchangeId)
{
    if (exchangeId == "SH")
        return "上交所";
    if (exchangeId == "SZ")
        return "深交所";
    if (exchangeId == "BJ")
        return "北交所";
    return std::string();
}

size_t CSecurityMaster::loadCsv(const QByteArray& csv)
{
    QByteArray data = csv;
    if (data.startsWith("\xEF\xBB\xBF")) {
        data.remove(0, 3);
    }
    size_t loaded = 0;
    const QList<QByteArray> lines = data.split('\n');
    for (const QByteArray& rawLine : lines) {
        const QByteArray line = rawLine.trimmed();
        if (line.isEmpty() || line.startsWith('#') || line.toLower().startsWith("exchange,")) {
            continue;
        }
        const int first = line.indexOf(',');
        const int second = first < 0 ? -1 : line.indexOf(',', first + 1);
        if (second < 0) {
            continue;
        }
        const std::string exchangeId = normalizeExchange(line.left(first).toStdString());
        const std::string code = normalizeCode(line.mid(first + 1, second - first - 1).toStdString());
        std::string name = trimmed(line.mid(second + 1).toStdString());
        if (name.size() >= 2 && name.front() == '"' && name.back() == '"') {
            name = name.substr(1, name.size() - 2);
        }
        if (exchangeId.empty() || code.empty()) {
            continue;
        }
        InstrumentRecordPtr record = boost::make_shared<InstrumentRecord>();
        record->exchangeId = exchangeId;
        record->exchangeName = exchangeName(exchangeId);
        record->stockCode = code;
        record->stockName = name;
        if (m_byKey.emplace(exchangeId + "|" + code, record).second) {
            m_records.push_back(record);
            ++loaded;
        }
    }
    indexByNumber();
    return loaded;
}

void CSecurityMaster::indexByNumber()
{
    m_byNumber.clear();
    m_byNumber.reserve(m_records.size());
    for (const InstrumentRecordPtr& record : m_records)
        m_byNumber.emplace(plainKey(exchangeNumber(record->exchangeId), plainCode(record->stockCode)), record);
}

InstrumentRecordPtr CSecurityMaster::lookup(const std::string& exchangeText, const std::string& codeText) const
{
    const std::string exchangeId = normalizeExchange(exchangeText);
    if (exchangeId.empty()) {
        return InstrumentRecordPtr();
    }
    const std::string code = normalizeCode(codeText);
    if (code.empty()) {
        return InstrumentRecordPtr();
    }
    const auto it = m_byKey.find(exchangeId + "|" + code);
    return it == m_byKey.end() ? InstrumentRecordPtr() : it->second;
}

InstrumentRecordPtr CSecurityMaster::lookupPlain(const std::string& exchangeText, const std::string& codeText) const
{
    const uint32_t exchange = plainExchange(exchangeText);
    const long code = exchange ? plainCode(codeText) : -1;
    if (code < 0) {
        return InstrumentRecordPtr();
    }
    const auto it = m_byNumber.find(plainKey(exchange, code));
    return it == m_byNumber.end() ? InstrumentRecordPtr() : it->second;
}

InstrumentRecordPtr CSecurityMaster::findInstrument(const std::string& key1, const std::string& key2)
{
    // An upload spells nearly every line this way; a hit here is what lookup(key1, key2) finds.
    if (InstrumentRecordPtr found = lookupPlain(key1, key2)) {
        return found;
    }
    // The exchange first, the code second, as every conversion-rate file lays them out: a file
    // with the two the other way round (the detail dialog's own export) is not one, and its
    // names and ratios stand in other columns too.
    return lookup(key1, key2);
}

size_t CSecurityMaster::size() const
{
    return m_records.size();
}

const std::vector<InstrumentRecordPtr>& CSecurityMaster::records() const
{
    return m_records;
}

} // namespace rqservice
