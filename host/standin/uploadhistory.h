#pragma once
// A broker's stored uploads as their history lists them: who sent each, when, and how many rows.

#include <string>
#include <vector>

namespace rqservice {

struct UploadEntry
{
    long long id = 0;
    std::string date; // yyyyMMdd
    std::string time; // HHmmss
    std::string user; // empty: unknown (stored before uploads recorded their user)
    long long rows = 0;
};

struct UploadHistory
{
    int brokerKeyNo = -1;
    std::string brokerId;
    std::string brokerName;
    std::vector<UploadEntry> uploads; // newest first
};

} // namespace rqservice
