#include "upload/uploadrequest.h"

#include <boost/make_shared.hpp>
#include <boost/pointer_cast.hpp>

#include <utility>

namespace DVK {

namespace {

constexpr int kUploadOperation = 2;

// A line's fields as the file lays them out; the request reads the first four, the rest is ignored.
enum EConversionField
{
    eFieldKey1, // the two keys the security is looked up by, in this order
    eFieldKey2,
    eFieldName,
    eFieldRatio,
    eFieldsRead,
};

// Longer lines than a conversion-rate line ever is are split only as far as the request reads.
constexpr int kLongLine = 1024;

// The line split by the separator; a long one as far as its first four fields and one more when
// there are more: what the request reads of a line, the same as splitting it whole, without a
// string for each of a million fields past the fourth.
QStringList leadingFields(const QString& line, const QString& separator)
{
    int end = -1;
    for (int found = 0, from = 0; found < eFieldsRead && line.size() > kLongLine && !separator.isEmpty(); ++found) {
        const int at = line.indexOf(separator, from, Qt::CaseSensitive);
        if (at < 0) {
            end = -1;
            break;
        }
        end = from = at + separator.size();
    }
    return (end < 0 ? line : line.left(end)).split(separator, Qt::KeepEmptyParts, Qt::CaseSensitive);
}

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

    for (int i = 0; i < lines.size(); ++i) {
        const QStringList fields = leadingFields(lines.at(i), separator);
        if (fields.size() < eFieldsRead) {
            plan.skipped.push_back({i, EUploadSkip::TooFewFields});
            continue;
        }
        const rqservice::IDataCenterPtr dataCenter = rqservice::TraderCenter::instance()->getDataCenter();
        const rqservice::InstrumentRecordPtr security =
            dataCenter ? dataCenter->findInstrument(fields.at(eFieldKey1).toUtf8().toStdString(),
                                                    fields.at(eFieldKey2).toUtf8().toStdString())
                       : rqservice::InstrumentRecordPtr();
        if (!security) {
            plan.skipped.push_back({i, EUploadSkip::UnknownSecurity});
            continue;
        }

        auto subject = boost::make_shared<rqservice::CStkSubjects>();
        subject->brokerKeyNo = plan.detail->brokerKeyNo;
        subject->brokerId = plan.detail->brokerId;
        subject->brokerName = plan.detail->brokerName;
        subject->exchangeName = security->exchangeName;
        subject->stockCode = security->stockCode;
        subject->stockName = fields.at(eFieldName).toUtf8().toStdString();
        bool isNumber = false;
        subject->ratio = fields.at(eFieldRatio).toDouble(&isNumber);
        if (!isNumber) {
            plan.warnings.push_back({i, EUploadWarning::RatioNotANumber});
        } else if (!(subject->ratio >= 0.0 && subject->ratio <= 1.0)) {
            plan.warnings.push_back({i, EUploadWarning::RatioOutOfRange});
        }
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
