#include "upload/uploadrequest.h"

#include <QVector>

#include <boost/make_shared.hpp>
#include <boost/pointer_cast.hpp>

namespace DVK {

namespace {

constexpr int kUploadOperation = 2;

std::string utf8(const QStringRef& text)
{
    const QByteArray bytes = text.toUtf8();
    return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
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
    plan.usedLines.reserve(static_cast<size_t>(lines.size()));

    const rqservice::IDataCenterPtr dataCenter = rqservice::TraderCenter::instance()->getDataCenter();
    for (int i = 0; i < lines.size(); ++i) {
        // References into the line: a 100,000-line file must not cost a string per field.
        const QVector<QStringRef> fields = lines.at(i).splitRef(separator, Qt::KeepEmptyParts, Qt::CaseSensitive);
        if (fields.size() <= 3) {
            plan.skipped.push_back({i, int(EUploadSkip::TooFewFields)});
            continue;
        }
        const rqservice::InstrumentRecordPtr security =
            dataCenter ? dataCenter->findInstrument(utf8(fields.at(0)), utf8(fields.at(1)))
                       : rqservice::InstrumentRecordPtr();
        if (!security) {
            plan.skipped.push_back({i, int(EUploadSkip::UnknownSecurity)});
            continue;
        }
        bool isNumber = false;
        const double ratio = fields.at(3).toDouble(&isNumber);
        if (!isNumber) {
            plan.warnings.push_back({i, int(EUploadWarning::RatioNotANumber)});
        } else if (!(ratio >= 0.0 && ratio <= 1.0)) {
            plan.warnings.push_back({i, int(EUploadWarning::RatioOutOfRange)});
        }

        auto subject = boost::make_shared<rqservice::CStkSubjects>();
        subject->brokerKeyNo = plan.detail->brokerKeyNo;
        subject->brokerId = plan.detail->brokerId;
        subject->brokerName = plan.detail->brokerName;
        subject->exchangeName = security->exchangeName;
        subject->stockCode = security->stockCode;
        subject->stockName = utf8(fields.at(2));
        subject->ratio = ratio;
        plan.detail->subjects.push_back(subject);
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
