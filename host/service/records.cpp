#include "hostservice.h"

#include "hostaccess.h"

#include <QString>

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

// Appends the parts of a key, each behind "____" but the first, in one allocation: a detail of a
// hundred thousand rows asks every row for its key.
class KeyBuilder
{
public:
    // expected: the texts' bytes; room is added for two numbers and four separators.
    explicit KeyBuilder(std::size_t expected) { m_key.reserve(expected + 56); }
    KeyBuilder& number(long long value)
    {
        separate();
        char digits[std::numeric_limits<long long>::digits10 + 3];
        const char* end = std::to_chars(digits, digits + sizeof digits, value).ptr;
        m_key.append(digits, std::size_t(end - digits));
        return *this;
    }
    KeyBuilder& text(const std::string& value)
    {
        separate();
        m_key += value;
        return *this;
    }
    std::string take() { return std::move(m_key); }

private:
    void separate()
    {
        if (m_parts++ > 0)
            m_key.append("____", 4);
    }
    std::string m_key;
    int m_parts = 0;
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
    return KeyBuilder(brokerId.size()).number(brokerKeyNo).text(brokerId).number(m_uploadId).take();
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
    return KeyBuilder(brokerId.size() + exchangeName.size() + stockCode.size())
        .number(brokerKeyNo)
        .text(brokerId)
        .text(exchangeName)
        .text(stockCode)
        .number(m_lineNo)
        .take();
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
    return KeyBuilder(brokerId.size()).number(brokerKeyNo).text(brokerId).take();
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
