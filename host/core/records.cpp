#include "hostservice.h"

#include "hostaccess.h"

#include <QString>

#include <algorithm>
#include <charconv>
#include <limits>

namespace {

// Quoted and escaped, so that a field holding a quote or a line break keeps the log one line.
std::string quoted(const std::string& text)
{
    std::string out;
    out.reserve(text.size() + 2);
    out += '"';
    for (char c : text) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default: out += c; break;
        }
    }
    out += '"';
    return out;
}

// Locale-independent: the client sets the C locale from the user's environment.
std::string number(double value)
{
    return QString::number(value, 'g', 12).toStdString();
}

// The parts of a key joined by "____", written into one string of its exact size: a detail of a
// hundred thousand rows asks every row for its key.
class KeyBuilder
{
public:
    KeyBuilder& number(long long value)
    {
        Part& part = next();
        part.data = part.digits;
        part.size = std::size_t(std::to_chars(part.digits, part.digits + sizeof part.digits, value).ptr - part.digits);
        return *this;
    }
    KeyBuilder& text(const std::string& value)
    {
        Part& part = next();
        part.data = value.data();
        part.size = value.size();
        return *this;
    }
    std::string take() const
    {
        static const char kSeparator[] = "____";
        const std::size_t separator = sizeof kSeparator - 1;
        std::size_t size = m_count > 0 ? (m_count - 1) * separator : 0;
        for (int i = 0; i < m_count; ++i)
            size += m_parts[i].size;
        std::string key(size, '\0');
        char* out = &key[0];
        for (int i = 0; i < m_count; ++i) {
            if (i > 0)
                out = std::copy(kSeparator, kSeparator + separator, out);
            out = std::copy(m_parts[i].data, m_parts[i].data + m_parts[i].size, out);
        }
        return key;
    }

private:
    struct Part
    {
        const char* data = nullptr;
        std::size_t size = 0;
        char digits[std::numeric_limits<long long>::digits10 + 3];
    };
    Part& next() { return m_parts[m_count++]; }

    Part m_parts[5];
    int m_count = 0;
};

} // namespace

namespace rqservice {

IData::~IData() = default;
IDataCenter::~IDataCenter() = default;

std::string CVoprQueryDataReq::getCsKey() const
{
    return "query____" + std::to_string(queryType) + "____" + queryKey;
}

std::string CVoprQueryDataReq::toLog() const
{
    return "CVoprQueryDataReq{queryType=" + std::to_string(queryType) + ", queryKey=" + quoted(queryKey) + "}";
}

std::string CVoprCvionRateBaseInfo::getCsKey() const
{
    // One record per upload, so the upload tells two records of one broker apart.
    return KeyBuilder().number(brokerKeyNo).text(brokerId).number(m_uploadId).take();
}

std::string CVoprCvionRateBaseInfo::toLog() const
{
    return "CVoprCvionRateBaseInfo{brokerKeyNo=" + std::to_string(brokerKeyNo) + ", brokerId=" + quoted(brokerId) +
           ", brokerName=" + quoted(brokerName) + ", tradingDay=" + quoted(tradingDay) +
           ", lastUploadDate=" + quoted(lastUploadDate) + ", uploadId=" + std::to_string(m_uploadId) + "}";
}

std::string CStkSubjects::getCsKey() const
{
    // The line keeps a security listed twice in one upload as two keys.
    return KeyBuilder().number(brokerKeyNo).text(brokerId).text(exchangeName).text(stockCode).number(m_lineNo).take();
}

std::string CStkSubjects::toLog() const
{
    return "CStkSubjects{brokerKeyNo=" + std::to_string(brokerKeyNo) + ", brokerId=" + quoted(brokerId) +
           ", brokerName=" + quoted(brokerName) + ", exchangeName=" + quoted(exchangeName) +
           ", stockCode=" + quoted(stockCode) + ", stockName=" + quoted(stockName) + ", ratio=" + number(ratio) +
           ", lineNo=" + std::to_string(m_lineNo) + "}";
}

std::string CVoprCvionRateDetail::getCsKey() const
{
    return KeyBuilder().number(brokerKeyNo).text(brokerId).take();
}

std::string CVoprCvionRateDetail::toLog() const
{
    // An upload may hold thousands of subjects: their count is enough for the log.
    return "CVoprCvionRateDetail{brokerKeyNo=" + std::to_string(brokerKeyNo) + ", brokerId=" + quoted(brokerId) +
           ", brokerName=" + quoted(brokerName) + ", subjects=" + std::to_string(subjects.size()) + "}";
}

std::string COperateDataReq::getCsKey() const
{
    return "operate____" + std::to_string(dataType) + "____" + std::to_string(operateType);
}

std::string COperateDataReq::toLog() const
{
    std::string list;
    for (const IDataPtr& item : dataList) {
        if (!list.empty()) {
            list += ", ";
        }
        list += item ? item->toLog() : std::string("null");
    }
    return "COperateDataReq{dataType=" + std::to_string(dataType) + ", operateType=" + std::to_string(operateType) +
           ", dataList=[" + list + "]}";
}

std::string InstrumentRecord::getCsKey() const
{
    return exchangeId + "|" + stockCode;
}

std::string InstrumentRecord::toLog() const
{
    return "InstrumentRecord{exchangeId=" + quoted(exchangeId) + ", exchangeName=" + quoted(exchangeName) +
           ", stockCode=" + quoted(stockCode) + ", stockName=" + quoted(stockName) + "}";
}

} // namespace rqservice

namespace standin {

long long uploadId(const rqservice::CVoprCvionRateBaseInfo& info)
{
    return CHostAccess::uploadId(info);
}

void setUploadId(rqservice::CVoprCvionRateBaseInfo& info, long long id)
{
    CHostAccess::uploadId(info) = id;
}

int lineNo(const rqservice::CStkSubjects& subject)
{
    return CHostAccess::lineNo(subject);
}

void setLineNo(rqservice::CStkSubjects& subject, int line)
{
    CHostAccess::lineNo(subject) = line;
}

} // namespace standin
