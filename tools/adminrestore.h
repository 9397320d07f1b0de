#pragma once
// Taking a wrong upload back: an earlier upload of a broker stored again as its newest, by an
// account with the upload right, through the upload's own write path.

#include <QString>

#include <string>

namespace DVK {

// Exit statuses of the admin tool.
enum EAdminExit
{
    eAdminDone = 0,      // restored, or with --dry-run shown what a restore would change
    eAdminUsage = 1,     // a bad argument
    eAdminNoService = 5, // no database there, or the data service did not answer
    eAdminNoBroker = 6,  // no such broker, or a name several brokers share
    eAdminRefused = 7,   // no such upload of that broker, no upload right, or rows the service refuses
};

struct AdminRestoreOptions
{
    QString database; // --db; empty: the demo host's default
    std::string brokerId;
    std::string brokerName;
    bool brokerIdGiven = false;
    bool brokerNameGiven = false;
    long long upload = 0;
    bool dryRun = false;
    double maxChange = 0.1;
};

// Finds the broker and the upload for reading only, prints what restoring it changes against the
// broker's rows now (as the preview's --changes prints an upload's), then, unless a dry run,
// stores it. Returns an EAdminExit; every refusal is said on stderr.
int adminRestore(const AdminRestoreOptions& options);

} // namespace DVK
