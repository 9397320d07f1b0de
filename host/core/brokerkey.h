#pragma once
// The broker key of a detail query: decimal brokerKeyNo, four underscores, brokerId.

#include "host_export.h"

#include <string>

namespace rqservice {

class HOST_EXPORT CBrokerKey
{
public:
    int brokerKeyNo = -1;
    std::string brokerId;

    // Strict: an optional minus and one or more decimal digits within int range, exactly four
    // underscores, then the id (the rest, possibly empty, taken as it is; an id may itself start
    // with an underscore, so "7_____A" is broker 7 with id "_A"). No blanks or plus sign.
    static bool parse(const std::string& text, CBrokerKey& key);
    std::string toString() const;
};

} // namespace rqservice
