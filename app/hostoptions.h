#pragma once

#include <QString>
#include <QStringList>

#include <set>

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
    int detailRow = -1;   // with a screenshot: open this summary row's detail first
    QString uploadFile;   // with a screenshot: upload this file through the panel's dialog first
    QString uploadBroker; // the broker to upload for; empty: the dialog's first
};

// Parses arguments (argv[0] first). On a bad argument returns false with error set; --help and
// --version print and exit as QCommandLineParser does.
bool parseHostOptions(const QStringList& arguments, HostOptions& options, QString& error);

// Qt's application object takes "-plugin X" and "--plugin X" for itself before the options are
// parsed. Given the raw argv, returns the error for such an argument, or an empty text.
QString qtClaimedArgumentError(const QStringList& rawArguments);

// "10079,10413" to the rights; "" or "none" grants none. False on anything not a number.
bool parseRights(const QString& text, std::set<int>& rights);
