#pragma once
// A broker's stored uploads as their history lists them: who sent each, when, and how many rows.

#include <string>
#include <vector>

namespace rqservice {

struct UploadEntry
{
    long long id = 0;
    std::string date;           // yyyyMMdd
    std::string time;           // HHmmss
    std::string user;           // the database's account; empty: unknown (stored before it was recorded)
    std::string clientUser;     // what the client said its user was; empty: nothing
    long long restoredFrom = 0; // the upload it restored, 0: none
    long long rows = 0;         // as the database counted them
};

struct UploadHistory
{
    int brokerKeyNo = -1;
    std::string brokerId;
    std::string brokerName;
    enum EAccounts
    {
        eDatabaseAccounts, // user: the database's login role
        eSystemAccounts,   // user: the operating system's account that ran the service (a file)
    };
    EAccounts accounts = eDatabaseAccounts;
    std::vector<UploadEntry> uploads; // newest first
};

} // namespace rqservice
