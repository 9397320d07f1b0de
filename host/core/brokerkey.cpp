#include "brokerkey.h"

#include <climits>

namespace rqservice {

bool CBrokerKey::parse(const std::string& text, CBrokerKey& key)
{
    size_t i = 0;
    const bool negative = i < text.size() && text[i] == '-';
    if (negative) {
        ++i;
    }
    const size_t digitsBegin = i;
    long long value = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
        value = value * 10 + (text[i] - '0');
        if (value > static_cast<long long>(INT_MAX) + 1) {
            return false;
        }
        ++i;
    }
    if (i == digitsBegin) {
        return false;
    }
    if (negative) {
        value = -value;
    }
    if (value > INT_MAX || value < INT_MIN) {
        return false;
    }
    if (text.compare(i, 4, "____") != 0) {
        return false;
    }
    key.brokerKeyNo = static_cast<int>(value);
    key.brokerId = text.substr(i + 4);
    return true;
}

std::string CBrokerKey::toString() const
{
    return std::to_string(brokerKeyNo) + "____" + brokerId;
}

} // namespace rqservice
