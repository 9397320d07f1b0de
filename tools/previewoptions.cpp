#include "previewoptions.h"

#include <QCommandLineParser>

#include <cmath>

namespace DVK {

const char kPreviewUsage[] =
    "usage: creditdata-preview FILE [--securities CSV] [--broker-id ID --broker-name NAME --broker-key N]\n"
    "                          [--json | --count]\n"
    "       creditdata-preview FILE --changes (--broker-name NAME | --broker-id ID) [--db PATH|URI]\n"
    "                          [--max-change X] [--strict] [--securities CSV] [--json]\n"
    "       creditdata-preview --history (--broker-name NAME | --broker-id ID) [--db PATH|URI]\n"
    "                          [--last N] [--code CODE] [--json]\n";

namespace {

const char kDescription[] = "Shows what uploading FILE (.csv, .xls, .xlsx) would send, without sending it.\n\n"
                            "Exit: 0 something would be sent, 1 bad argument, 2 file refused, unreadable or empty,\n"
                            "3 nothing usable, 4 a warning under --strict, 5 the data service cannot answer (or no\n"
                            "database there), 6 no such broker on the server (or a name several brokers share), 7 the\n"
                            "data service would refuse the upload (a line's text it cannot store).";

// The mode the options ask for is one of three; what does not belong to it is refused.
QString modeError(const PreviewOptions& options, bool lastGiven, bool codeGiven)
{
    if (options.json && options.countOnly)
        return QStringLiteral("--json and --count cannot be combined");
    if (options.history) {
        if (!options.file.isEmpty() || options.changes)
            return QStringLiteral("--history takes no file and no --changes");
        if (!options.brokerIdGiven && !options.brokerNameGiven)
            return QStringLiteral("--history needs --broker-name or --broker-id");
        if (options.brokerKeyGiven || options.countOnly || options.strict || options.maxChangeGiven ||
            !options.securities.isEmpty())
            return QStringLiteral("--history takes only --broker-name, --broker-id, --db, --last, --code and --json");
        if (codeGiven && options.code.empty())
            return QStringLiteral("--code needs a security code");
        return QString();
    }
    if (lastGiven)
        return QStringLiteral("--last needs --history");
    if (codeGiven)
        return QStringLiteral("--code needs --history");
    if (options.file.isEmpty())
        return QStringLiteral("no file given");
    if (options.changes) {
        if (!options.brokerIdGiven && !options.brokerNameGiven)
            return QStringLiteral("--changes needs --broker-name or --broker-id");
        if (options.brokerKeyGiven)
            return QStringLiteral("--changes takes the broker's key number from the server, not --broker-key");
        if (options.countOnly)
            return QStringLiteral("--changes and --count cannot be combined");
        return QString();
    }
    if (!options.database.isEmpty() || options.strict || options.maxChangeGiven)
        return QStringLiteral("--db, --max-change and --strict need --changes");
    return QString();
}

} // namespace

bool parsePreviewOptions(const QStringList& args, PreviewOptions& options, QString& error)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromLatin1(kPreviewUsage) + QLatin1Char('\n') +
                                     QString::fromLatin1(kDescription));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("The conversion-rate file to preview."),
                                 QStringLiteral("[FILE]"));
    const QCommandLineOption securities(
        QStringLiteral("securities"),
        QStringLiteral("Security master to look codes up in (header exchange,code,name)."), QStringLiteral("CSV"));
    const QCommandLineOption brokerId(QStringLiteral("broker-id"), QStringLiteral("The broker's id."),
                                      QStringLiteral("ID"));
    const QCommandLineOption brokerName(QStringLiteral("broker-name"), QStringLiteral("The broker's name."),
                                        QStringLiteral("NAME"));
    const QCommandLineOption brokerKey(QStringLiteral("broker-key"),
                                       QStringLiteral("The broker's key number (a plain preview only)."),
                                       QStringLiteral("N"));
    const QCommandLineOption json(
        QStringLiteral("json"),
        QStringLiteral("One JSON object: message, separator, lines, used, skipped, warnings (with --changes, and "
                       "changes)."));
    const QCommandLineOption count(QStringLiteral("count"),
                                   QStringLiteral("One line: lines read, used, skipped, warnings."));
    const QCommandLineOption changes(
        QStringLiteral("changes"),
        QStringLiteral("What the upload would change on the server: the broker's current ratios asked as the "
                       "detail dialog asks them, compared by exchange and code."));
    const QCommandLineOption db(QStringLiteral("db"),
                                QStringLiteral("The data service's database as the demo host takes it: a SQLite "
                                               "file or postgresql://user@host:port/dbname (default: the demo "
                                               "host's file)."),
                                QStringLiteral("PATH|URI"));
    const QCommandLineOption maxChange(
        QStringLiteral("max-change"),
        QStringLiteral("A ratio moving by more than X is a warning, as is every removal (0.1)."), QStringLiteral("X"));
    const QCommandLineOption strict(QStringLiteral("strict"), QStringLiteral("Exit 4 when there is any warning."));
    const QCommandLineOption history(
        QStringLiteral("history"),
        QStringLiteral("The broker's uploads, newest first: when, by whom, how many rows and what each changed "
                       "against the one before it (as --changes counts)."));
    const QCommandLineOption last(QStringLiteral("last"), QStringLiteral("How many uploads --history lists (20)."),
                                  QStringLiteral("N"));
    const QCommandLineOption code(
        QStringLiteral("code"),
        QStringLiteral("With --history: one security's ratio through those uploads, oldest first: when, by whom, "
                       "old and new."),
        QStringLiteral("CODE"));
    parser.addOptions({securities, brokerId, brokerName, brokerKey, json, count, changes, db, maxChange, strict,
                       history, last, code});

    error.clear();
    if (!parser.parse(args)) {
        error = parser.errorText();
        return false;
    }
    if (parser.isSet(QStringLiteral("help")))
        parser.showHelp(0);
    const QStringList files = parser.positionalArguments();
    if (files.size() > 1) {
        error = QStringLiteral("unexpected argument \"%1\"").arg(files.at(1));
        return false;
    }
    options.file = files.value(0);
    options.securities = parser.value(securities);
    options.json = parser.isSet(json);
    options.countOnly = parser.isSet(count);
    options.changes = parser.isSet(changes);
    options.strict = parser.isSet(strict);
    options.history = parser.isSet(history);
    options.code = parser.value(code).trimmed().toUtf8().toStdString();
    options.brokerIdGiven = parser.isSet(brokerId);
    options.broker.brokerId = parser.value(brokerId).toUtf8().toStdString();
    options.brokerNameGiven = parser.isSet(brokerName);
    options.broker.brokerName = parser.value(brokerName).toUtf8().toStdString();
    bool ok = true;
    if (parser.isSet(last)) {
        options.last = parser.value(last).toInt(&ok);
        if (!ok || options.last < 1) {
            error = QStringLiteral("--last takes a number of uploads from 1, not \"%1\"").arg(parser.value(last));
            return false;
        }
    }
    if (parser.isSet(db)) {
        options.database = parser.value(db);
        if (options.database.isEmpty()) {
            error = QStringLiteral("--db needs a file or a URI");
            return false;
        }
    }
    options.brokerKeyGiven = parser.isSet(brokerKey);
    if (options.brokerKeyGiven) {
        options.broker.brokerKeyNo = parser.value(brokerKey).toInt(&ok);
        if (!ok) {
            error = QStringLiteral("--broker-key takes a whole number, not \"%1\"").arg(parser.value(brokerKey));
            return false;
        }
    }
    options.maxChangeGiven = parser.isSet(maxChange);
    if (options.maxChangeGiven) {
        options.maxChange = parser.value(maxChange).toDouble(&ok);
        if (!ok || !std::isfinite(options.maxChange) || options.maxChange < 0) {
            error = QStringLiteral("--max-change takes a ratio from 0 up, not \"%1\"").arg(parser.value(maxChange));
            return false;
        }
    }
    error = modeError(options, parser.isSet(last), parser.isSet(code));
    return error.isEmpty();
}

} // namespace DVK
