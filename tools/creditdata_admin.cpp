// The administrator's tool for a team's conversion-rate database: what the preview, which only
// reads, must not do.

#include "adminrestore.h"

#include "programend.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cmath>
#include <cstdio>

using namespace DVK;

namespace {

const char kUsage[] = "usage: creditdata-admin restore (--broker-name NAME | --broker-id ID) --upload N\n"
                      "                        [--db PATH|URI] [--dry-run] [--max-change X]\n";

const char kDescription[] =
    "restore: stores upload N of the broker again as its newest upload, recorded as restored from N by\n"
    "the database account that runs it (on PostgreSQL an account with the upload right). First prints\n"
    "what that changes, as creditdata-preview --changes prints an upload's; --dry-run stops there.\n"
    "creditdata-preview --history lists a broker's uploads with their numbers.\n\n"
    "Exit: 0 restored (or shown), 1 bad argument, 5 no database there or no answer, 6 no such broker\n"
    "(or a name several brokers share), 7 refused: no such upload, no upload right, or rows the\n"
    "service refuses.";

bool parse(const QStringList& args, AdminRestoreOptions& options, QString& error)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromLatin1(kUsage) + QLatin1Char('\n') +
                                     QString::fromLatin1(kDescription));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("command"), QStringLiteral("restore"), QStringLiteral("restore"));
    const QCommandLineOption brokerId(QStringLiteral("broker-id"), QStringLiteral("The broker's id."),
                                      QStringLiteral("ID"));
    const QCommandLineOption brokerName(QStringLiteral("broker-name"), QStringLiteral("The broker's name."),
                                        QStringLiteral("NAME"));
    const QCommandLineOption upload(QStringLiteral("upload"), QStringLiteral("The upload to restore, by its number."),
                                    QStringLiteral("N"));
    const QCommandLineOption database(QStringLiteral("db"),
                                      QStringLiteral("The database: a SQLite file or a postgresql:// URI (default: "
                                                     "the demo host's file)."),
                                      QStringLiteral("PATH|URI"));
    const QCommandLineOption dryRun(QStringLiteral("dry-run"), QStringLiteral("Only show what it would change."));
    const QCommandLineOption maxChange(QStringLiteral("max-change"),
                                       QStringLiteral("A ratio moving by more than X is a warning (default 0.1)."),
                                       QStringLiteral("X"));
    parser.addOptions({brokerId, brokerName, upload, database, dryRun, maxChange});
    if (!parser.parse(args)) {
        error = parser.errorText();
        return false;
    }
    if (parser.isSet(QStringLiteral("help")))
        parser.showHelp(0);
    if (parser.positionalArguments() != QStringList{QStringLiteral("restore")}) {
        error = QStringLiteral("the one command is restore");
        return false;
    }
    options.brokerIdGiven = parser.isSet(brokerId);
    options.brokerNameGiven = parser.isSet(brokerName);
    options.brokerId = parser.value(brokerId).toStdString();
    options.brokerName = parser.value(brokerName).toStdString();
    if (!options.brokerIdGiven && !options.brokerNameGiven) {
        error = QStringLiteral("restore needs --broker-name or --broker-id");
        return false;
    }
    bool ok = false;
    options.upload = parser.value(upload).toLongLong(&ok);
    if (!ok || options.upload <= 0) {
        error = QStringLiteral("--upload needs an upload's number (a whole number above 0)");
        return false;
    }
    options.database = parser.value(database);
    options.dryRun = parser.isSet(dryRun);
    if (parser.isSet(maxChange)) {
        options.maxChange = parser.value(maxChange).toDouble(&ok);
        if (!ok || !std::isfinite(options.maxChange) || options.maxChange < 0) {
            error = QStringLiteral("--max-change needs a number of 0 or more");
            return false;
        }
    }
    return true;
}

} // namespace

int main(int argc, char* argv[])
{
    standin::endWithMessageOnFailure("creditdata-admin", eAdminNoService);
    QCoreApplication app(argc, argv);
    // The demo host's names: its data folder holds the default database.
    QCoreApplication::setOrganizationName(QStringLiteral("CreditData"));
    QCoreApplication::setApplicationName(QStringLiteral("DemoHost"));
    AdminRestoreOptions options;
    QString error;
    if (!parse(QCoreApplication::arguments(), options, error)) {
        std::fprintf(stderr, "creditdata-admin: %s\n%s(--help: every option)\n", qUtf8Printable(error), kUsage);
        return eAdminUsage;
    }
    return adminRestore(options);
}
