#pragma once
// Turns the lines of a conversion-rate file into the one upload request for a broker: what the
// upload dialog sends and the preview tool shows.

#include "hostservice.h"

#include <QString>
#include <QStringList>

#include <boost/shared_ptr.hpp>

#include <string>
#include <vector>

namespace DVK {

// The broker an upload is for, as the dialog's broker choice gives it.
struct UploadBroker
{
    int brokerKeyNo = -1; // -1 when no summary record carries the chosen broker id
    std::string brokerId;
    std::string brokerName;
};

// The chosen id and name; the key number comes from the first summary record with that id.
UploadBroker chooseUploadBroker(const std::string& brokerId, const std::string& brokerName,
                                const std::vector<rqservice::IDataPtr>& brokers);

enum class EUploadSkip
{
    TooFewFields,    // three fields or fewer
    UnknownSecurity, // the security master knows no security by fields 1 and 2
};

enum class EUploadWarning
{
    RatioNotANumber, // sent as 0
    RatioOutOfRange, // below 0 or above 1
};

struct UploadSkippedLine
{
    int line = 0; // index into the lines
    EUploadSkip reason = EUploadSkip::TooFewFields;
};

struct UploadWarnedLine
{
    int line = 0; // index into the lines
    EUploadWarning warning = EUploadWarning::RatioNotANumber;
};

struct UploadRequestPlan
{
    boost::shared_ptr<rqservice::CVoprCvionRateDetail> detail; // always made
    boost::shared_ptr<rqservice::COperateDataReq> request;     // null when no line is usable
    std::vector<int> usedLines;                                // the line of each subject, in order
    std::vector<UploadSkippedLine> skipped;                    // in line order
    std::vector<UploadWarnedLine> warnings;                    // for used lines, in line order
};

// One subject per line of more than three fields whose first two fields name a known security,
// in file order; the exchange and code come from the security master, the name from field 3 and
// the ratio from field 4 (0 when it is not a number). Fields are split on separator as they
// stand: no quoting, no trimming. The dialog runs it on the GUI thread, the preview tool on its own.
UploadRequestPlan buildUploadRequest(const QStringList& lines, const QString& separator, const UploadBroker& broker);

QString uploadSkipText(EUploadSkip kind);
QString uploadWarningText(EUploadWarning kind);

} // namespace DVK
