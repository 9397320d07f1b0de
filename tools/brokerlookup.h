#pragma once
// Which summary record a broker named on the command line is: the rule the upload dialog keys
// its upload by, and a refusal where a name could mean more than one broker.

#include "hostservice.h"

#include <QString>

#include <boost/shared_ptr.hpp>

#include <string>
#include <vector>

namespace DVK {

struct BrokerLookup
{
    // The first record with what was given. Null when there is none, or the name alone names
    // brokers of different ids.
    boost::shared_ptr<rqservice::CVoprCvionRateBaseInfo> record;
    QString refusal; // a name given alone that names brokers of different ids: which
    QString note;    // the id is on records of other key numbers too: which, and which the dialog takes
};

// brokerId or brokerName may be null (not given); at least one is not.
BrokerLookup lookUpBroker(const std::vector<rqservice::IDataPtr>& summary, const std::string* brokerId,
                          const std::string* brokerName);

// The brokers of a summary for a message: "name (id)" once per id, the first 20; "none".
QString knownBrokers(const std::vector<rqservice::IDataPtr>& summary);

} // namespace DVK
