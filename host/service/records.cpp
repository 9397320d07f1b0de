#include "hostservice.h"

#include <QString>

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

std::string brokerKey(int brokerKeyNo, const std::string& brokerId)
{
    return std::to_string(brokerKeyNo) + "____" + brokerId;
}

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
    return brokerKey(brokerKeyNo, brokerId) + "____" + std::to_string(uploadId);
}

std::string CVoprCvionRateBaseInfo::toLog() const
{
    return "CVoprCvionRateBaseInfo{brokerKeyNo=" + std::to_string(brokerKeyNo) + ", brokerId=" + quoted(brokerId) +
           ", brokerName=" + quoted(brokerName) + ", tradingDay=" + quoted(tradingDay) +
           ", lastUploadDate=" + quoted(lastUploadDate) + ", uploadId=" + std::to_string(uploadId) + "}";
}

std::string CStkSubjects::getCsKey() const
{
    // lineNo keeps a security listed twice in one upload as two keys.
    return brokerKey(brokerKeyNo, brokerId) + "____" + exchangeName + "____" + stockCode + "____" +
           std::to_string(lineNo);
}

std::string CStkSubjects::toLog() const
{
    return "CStkSubjects{brokerKeyNo=" + std::to_string(brokerKeyNo) + ", brokerId=" + quoted(brokerId) +
           ", brokerName=" + quoted(brokerName) + ", exchangeName=" + quoted(exchangeName) +
           ", stockCode=" + quoted(stockCode) + ", stockName=" + quoted(stockName) + ", ratio=" + number(ratio) +
           ", lineNo=" + std::to_string(lineNo) + "}";
}

std::string CVoprCvionRateDetail::getCsKey() const
{
    return brokerKey(brokerKeyNo, brokerId);
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
