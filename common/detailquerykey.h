#pragma once
// The key a broker's conversion-rate detail is asked for by: the broker's number, four
// underscores, the broker's id.

#include <charconv>
#include <iterator>
#include <limits>
#include <string>

namespace DVK {

// The server matches the key byte for byte, so the number ignores the host's locale (no grouping).
inline std::string detailQueryKey(int brokerKeyNo, const std::string& brokerId)
{
    char digits[std::numeric_limits<int>::digits10 + 3]; // every digit, a sign
    char* end = std::to_chars(std::begin(digits), std::end(digits), brokerKeyNo).ptr;
    return std::string(std::begin(digits), end) + "____" + brokerId;
}

} // namespace DVK
