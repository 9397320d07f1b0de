#include "upload/uploadrequest.h"

#include <QVector>

#include <boost/make_shared.hpp>
#include <boost/pointer_cast.hpp>

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <memory>

namespace DVK {

namespace {

constexpr int kUploadOperation = 2;

// Writes the UTF-8 of text to out, which has room for three bytes a character; false at a
// surrogate.
bool encodeBasicPlane(const QChar* text, int size, char* out, size_t& length)
{
    char* p = out;
    for (int i = 0; i < size; ++i) {
        const char16_t c = text[i].unicode();
        if (c < 0x80) {
            *p++ = static_cast<char>(c);
        } else if (c < 0x800) {
            *p++ = static_cast<char>(0xC0 | (c >> 6));
            *p++ = static_cast<char>(0x80 | (c & 0x3F));
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            return false;
        } else {
            *p++ = static_cast<char>(0xE0 | (c >> 12));
            *p++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            *p++ = static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    length = size_t(p - out);
    return true;
}

// UTF-16 to UTF-8 into out, replacing what it held: a short field goes through a buffer on the
// stack in one pass, and a string kept across lines is reused rather than made anew. Surrogates
// take Qt's encoder, whose handling of lone ones we keep.
void utf8(const QChar* text, int size, std::string& out)
{
    constexpr int kShort = 64;
    size_t length = 0;
    if (size <= kShort) {
        char buffer[3 * kShort];
        if (encodeBasicPlane(text, size, buffer, length)) {
            // A key string kept across lines is refilled in place, as most lines' keys are as long
            // as the last one's; an empty string is made at once rather than grown.
            if (out.size() == length) {
                std::memcpy(&out[0], buffer, length);
            } else {
                out = std::string(buffer, length);
            }
            return;
        }
    } else {
        out.resize(3 * size_t(size));
        if (encodeBasicPlane(text, size, &out[0], length)) {
            out.resize(length);
            return;
        }
    }
    const QByteArray bytes = QString::fromRawData(text, size).toUtf8();
    out.assign(bytes.constData(), static_cast<size_t>(bytes.size()));
}

struct Field
{
    const QChar* begin = nullptr;
    int size = 0;
};

// The first four fields of a line and whether there are more than three, without a list per line.
// Same fields as QString::split(separator, Qt::KeepEmptyParts) for a one-character separator.
bool firstFourFields(const QString& line, QChar separator, Field (&fields)[4])
{
    const QChar* data = line.constData();
    const QChar* const end = data + line.size();
    int count = 0;
    const QChar* start = data;
    for (const QChar* p = data; p != end && count < 3; ++p) {
        if (*p == separator) {
            fields[count++] = {start, int(p - start)};
            start = p + 1;
        }
    }
    if (count < 3)
        return false;
    // The fourth field runs to the next separator or the end of the line.
    const QChar* p = start;
    while (p != end && *p != separator)
        ++p;
    fields[3] = {start, int(p - start)};
    return true;
}

// A ratio written plainly ("0.65", "1", "0.5") read without Qt's locale-aware parse: both round
// correctly, so the value is the same. Signs, exponents, blanks, leading zeros and the like are
// left to Qt, which alone decides what is not a number.
bool plainDecimal(const QChar* text, int size, double& value)
{
    constexpr int kLongest = 24;
    if (size > 0 && text[size - 1] == QLatin1Char('\r'))
        --size; // the line end of a CRLF file, which Qt skips as white space
    if (size == 0 || size > kLongest)
        return false;
    char buffer[kLongest];
    int dot = -1;
    for (int i = 0; i < size; ++i) {
        const char16_t c = text[i].unicode();
        if (c == '.') {
            if (dot >= 0)
                return false;
            dot = i;
        } else if (c < '0' || c > '9') {
            return false;
        }
        buffer[i] = char(c);
    }
    if (dot == 0 || dot == size - 1 || (buffer[0] == '0' && size > 1 && dot != 1))
        return false;
    // Up to 15 digits, the digits as a whole number and the power of ten are both exact doubles,
    // so their one correctly rounded quotient is the correctly rounded value.
    const int digitCount = dot < 0 ? size : size - 1;
    if (digitCount <= 15) {
        static const double kPowers[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                         1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
        const int decimals = dot < 0 ? 0 : size - dot - 1;
        int64_t digits = 0;
        for (int i = 0; i < size; ++i) {
            if (i != dot)
                digits = digits * 10 + (buffer[i] - '0');
        }
        value = double(digits) / kPowers[decimals];
        return true;
    }
    const std::from_chars_result parsed = std::from_chars(buffer, buffer + size, value);
    return parsed.ec == std::errc() && parsed.ptr == buffer + size;
}

// Subjects made in blocks that each share one count: a heap block and a count per record cost a
// large upload a good part of its building time. Each subject keeps its block alive.
class SubjectBlock
{
public:
    explicit SubjectBlock(size_t capacity)
        : m_capacity(capacity)
        , m_storage(std::allocator<rqservice::CStkSubjects>().allocate(capacity))
    {
    }
    ~SubjectBlock()
    {
        while (m_size > 0)
            m_storage[--m_size].~CStkSubjects();
        std::allocator<rqservice::CStkSubjects>().deallocate(m_storage, m_capacity);
    }
    SubjectBlock(const SubjectBlock&) = delete;
    SubjectBlock& operator=(const SubjectBlock&) = delete;

    bool full() const { return m_size == m_capacity; }
    // Without "()": every member starts as its declaration says, and zeroing the record before
    // that was a pass of its own.
    rqservice::CStkSubjects* add() { return ::new (static_cast<void*>(m_storage + m_size++)) rqservice::CStkSubjects; }

private:
    size_t m_capacity = 0;
    size_t m_size = 0;
    rqservice::CStkSubjects* m_storage = nullptr;
};

class SubjectMaker
{
public:
    explicit SubjectMaker(size_t expected)
        : m_remaining(expected)
    {
    }
    rqservice::CStkSubjectsPtr make()
    {
        if (!m_block || m_block->full()) {
            constexpr size_t kBlockSize = 256; // well below the size glibc would map on its own
            m_block = boost::make_shared<SubjectBlock>(std::max<size_t>(1, std::min(m_remaining, kBlockSize)));
        }
        if (m_remaining > 0)
            --m_remaining;
        return rqservice::CStkSubjectsPtr(m_block, m_block->add());
    }

private:
    size_t m_remaining;
    boost::shared_ptr<SubjectBlock> m_block;
};

} // namespace

UploadBroker chooseUploadBroker(const std::string& brokerId, const std::string& brokerName,
                                const std::vector<rqservice::IDataPtr>& brokers)
{
    UploadBroker broker;
    broker.brokerId = brokerId;
    broker.brokerName = brokerName;
    for (const rqservice::IDataPtr& record : brokers) {
        const auto info = boost::dynamic_pointer_cast<rqservice::CVoprCvionRateBaseInfo>(record);
        if (info && info->brokerId == brokerId) {
            broker.brokerKeyNo = info->brokerKeyNo;
            break;
        }
    }
    return broker;
}

UploadRequestPlan buildUploadRequest(const QStringList& lines, const QString& separator, const UploadBroker& broker)
{
    UploadRequestPlan plan;
    plan.detail = boost::make_shared<rqservice::CVoprCvionRateDetail>();
    plan.detail->brokerKeyNo = broker.brokerKeyNo;
    plan.detail->brokerId = broker.brokerId;
    plan.detail->brokerName = broker.brokerName;
    plan.detail->subjects.reserve(static_cast<size_t>(lines.size()));
    plan.usedLines.reserve(static_cast<size_t>(lines.size()));

    const rqservice::IDataCenterPtr dataCenter = rqservice::TraderCenter::instance()->getDataCenter();
    const bool oneCharSeparator = separator.size() == 1;
    QVector<QStringRef> split;
    SubjectMaker subjects(static_cast<size_t>(lines.size()));
    Field fields[4];
    std::string key1;
    std::string key2;
    for (int i = 0; i < lines.size(); ++i) {
        const QString& line = lines.at(i);
        bool enough = false;
        if (oneCharSeparator) {
            enough = firstFourFields(line, separator.at(0), fields);
        } else {
            split = line.splitRef(separator, Qt::KeepEmptyParts, Qt::CaseSensitive);
            enough = split.size() > 3;
            for (int f = 0; enough && f < 4; ++f)
                fields[f] = {split.at(f).constData(), split.at(f).size()};
        }
        if (!enough) {
            plan.skipped.push_back({i, int(EUploadSkip::TooFewFields)});
            continue;
        }
        const rqservice::InstrumentRecordPtr security =
            dataCenter ? (utf8(fields[0].begin, fields[0].size, key1), utf8(fields[1].begin, fields[1].size, key2),
                          dataCenter->findInstrument(key1, key2))
                       : rqservice::InstrumentRecordPtr();
        if (!security) {
            plan.skipped.push_back({i, int(EUploadSkip::UnknownSecurity)});
            continue;
        }
        double ratio = 0.0;
        bool isNumber = plainDecimal(fields[3].begin, fields[3].size, ratio);
        if (!isNumber)
            ratio = QStringRef(&line, int(fields[3].begin - line.constData()), fields[3].size).toDouble(&isNumber);
        if (!isNumber) {
            plan.warnings.push_back({i, int(EUploadWarning::RatioNotANumber)});
        } else if (!(ratio >= 0.0 && ratio <= 1.0)) {
            plan.warnings.push_back({i, int(EUploadWarning::RatioOutOfRange)});
        }

        rqservice::CStkSubjectsPtr subject = subjects.make();
        subject->brokerKeyNo = plan.detail->brokerKeyNo;
        subject->brokerId = plan.detail->brokerId;
        subject->brokerName = plan.detail->brokerName;
        subject->exchangeName = security->exchangeName;
        subject->stockCode = security->stockCode;
        utf8(fields[2].begin, fields[2].size, subject->stockName);
        subject->ratio = ratio;
        plan.detail->subjects.push_back(std::move(subject));
        plan.usedLines.push_back(i);
    }

    if (!plan.detail->subjects.empty()) {
        plan.request = boost::make_shared<rqservice::COperateDataReq>();
        plan.request->dataType = rqservice::eDataTypeCvionRateDetail;
        plan.request->operateType = kUploadOperation;
        plan.request->dataList.push_back(plan.detail);
    }
    return plan;
}

QString uploadSkipText(EUploadSkip kind)
{
    switch (kind) {
    case EUploadSkip::TooFewFields: return QStringLiteral("fewer than 4 fields");
    case EUploadSkip::UnknownSecurity: return QStringLiteral("unknown security");
    }
    return QString();
}

QString uploadWarningText(EUploadWarning kind)
{
    switch (kind) {
    case EUploadWarning::RatioNotANumber: return QStringLiteral("ratio is not a number, sent as 0");
    case EUploadWarning::RatioOutOfRange: return QStringLiteral("ratio is outside 0..1");
    }
    return QString();
}

} // namespace DVK
