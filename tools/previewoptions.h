#pragma once
// What the preview tool was asked on its command line, and how it ends.

#include "upload/uploadrequest.h"

#include <QString>
#include <QStringList>

#include <string>

namespace DVK {

// Exit statuses: a script stops an upload on anything but 0.
enum EPreviewExit
{
    ePreviewSends = 0,          // something would be sent (with --changes: and --strict found no warning)
    ePreviewUsage = 1,          // a bad argument, or a security master that cannot be read
    ePreviewNoLines = 2,        // file refused, unreadable or empty
    ePreviewNothingUsable = 3,  // no line would be sent: 无可用数据
    ePreviewWarnings = 4,       // --changes --strict: a removal or a ratio moving by more than --max-change
    ePreviewNoService = 5,      // --changes, --history: the data service did not answer, or there is no database
    ePreviewNoBroker = 6,       // --changes, --history: the server knows no such broker, or the name is several
    ePreviewServiceRefuses = 7, // a line's text is one the data service cannot store: it would refuse the upload
};

struct PreviewOptions
{
    QString file;
    QString securities;
    UploadBroker broker;
    bool brokerIdGiven = false;
    bool brokerNameGiven = false;
    bool brokerKeyGiven = false;
    bool json = false;
    bool countOnly = false;
    bool changes = false;
    QString database; // --db; empty: the demo host's default
    double maxChange = 0.1;
    bool maxChangeGiven = false;
    bool strict = false;
    bool history = false; // --history: the broker's uploads instead of a file
    int last = 20;        // --last: how many of them, newest first
    std::string code;     // --code: one security's ratio through those uploads instead
};

// The three ways to call the tool, for the help and for a bad argument.
extern const char kPreviewUsage[];

// Parses arguments (argv[0] first). On a bad argument returns false with error set; --help prints
// and exits as QCommandLineParser does.
bool parsePreviewOptions(const QStringList& args, PreviewOptions& options, QString& error);

} // namespace DVK
