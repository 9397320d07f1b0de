#pragma once

#include <QString>
#include <QStringList>

#include <set>
#include <vector>

namespace standin {
struct SeedBroker;
}

// What the demo host was asked to do on its command line.
struct HostOptions
{
    std::set<int> rights{10079, 10413};
    QString databasePath; // empty: the default in the user's data folder
    QString userName;     // the logged-in user the client's user manager knows; empty: the system's login name
    QString screenshotPath;
    QString galleryDir;
    QString pluginPath; // --panel-plugin (or --plugin=PATH); empty: the plug-in beside the executable
    int latencyMs = 0;
    int detailRow = -1;    // with a screenshot: open this summary row's detail first
    QString uploadFile;    // with a screenshot: upload this file through the panel's dialog first
    QString uploadBroker;  // the broker to upload for; empty: the dialog's first
    bool demoData = false; // --demo-data: a new team database gets the demo brokers and uploads too
    QString brokersFile;   // --brokers: the brokers a new database gets, and no upload
};

// Parses arguments (argv[0] first). On a bad argument returns false with error set; --help and
// --version print and exit as QCommandLineParser does.
bool parseHostOptions(const QStringList& arguments, HostOptions& options, QString& error);

// Qt's application object takes "-plugin X" and "--plugin X" for itself before the options are
// parsed. Given the raw argv, returns the error for such an argument, or an empty text.
QString qtClaimedArgumentError(const QStringList& rawArguments);

// Whether the raw argv asks for the help (which is then printed without a display).
bool asksForHelp(const QStringList& rawArguments);

// A PostgreSQL location: a team's database, which gets no demo data unless asked.
bool isTeamDatabase(const QString& location);

// The brokers of a --brokers file: UTF-8 lines "key number,broker id,broker name"; blank lines
// and lines starting with # are skipped. False with error naming the line on anything else, on a
// key number or id given twice, and on a file without a broker.
bool readSeedBrokers(const QString& path, std::vector<standin::SeedBroker>& brokers, QString& error);

// "10079,10413" to the rights; "" or "none" grants none. False on anything not a number.
bool parseRights(const QString& text, std::set<int>& rights);
