#include "previewoptions.h"

#include <cmath>

namespace DVK {

const char kPreviewUsage[] =
    "usage: creditdata-preview FILE [--securities CSV] [--broker-id ID --broker-name NAME --broker-key N]\n"
    "                          [--json | --count]\n"
    "       creditdata-preview FILE --changes (--broker-name NAME | --broker-id ID) [--db PATH|URI]\n"
    "                          [--max-change X] [--strict] [--securities CSV] [--json]\n"
    "       creditdata-preview --history (--broker-name NAME | --broker-id ID) [--db PATH|URI]\n"
    "                          [--last N] [--json]\n"
    "Shows what uploading FILE (.csv, .xls, .xlsx) would send, without sending it.\n"
    "  --securities CSV  security master to look codes up in (header exchange,code,name)\n"
    "  --json            one JSON object: message, separator, lines, used, skipped, warnings\n"
    "                    (with --changes, and changes)\n"
    "  --count           one line: lines read, used, skipped, warnings\n"
    "  --changes         what the upload would change on the server: the broker's current ratios\n"
    "                    asked as the detail dialog asks them, compared by exchange and code\n"
    "  --db PATH|URI     the data service's database as the demo host takes it: a SQLite file or\n"
    "                    postgresql://user@host:port/dbname (default: the demo host's file)\n"
    "  --max-change X    a ratio moving by more than X is a warning, as is every removal (0.1)\n"
    "  --strict          exit 4 when there is any warning\n"
    "  --history         the broker's uploads, newest first: when, by whom, how many rows and\n"
    "                    what each changed against the one before it (as --changes counts)\n"
    "  --last N          how many uploads --history lists (20)\n"
    "Exit: 0 something would be sent, 1 bad argument, 2 file refused, unreadable or empty,\n"
    "3 nothing usable, 4 a warning under --strict, 5 the data service cannot answer (or no\n"
    "database there), 6 no such broker on the server, 7 the data service would refuse the upload\n"
    "(a line's text it cannot store).\n";

bool parsePreviewOptions(const QStringList& args, PreviewOptions& options, QString& error)
{
    error.clear();
    for (int i = 1; i < args.size(); ++i) {
        QString arg = args.at(i);
        QString inlineValue;
        bool hasInline = false;
        const int equals = arg.indexOf(QLatin1Char('='));
        if (arg.startsWith(QLatin1String("--")) && equals > 2) {
            inlineValue = arg.mid(equals + 1);
            arg.truncate(equals);
            hasInline = true;
        }
        auto value = [&](QString& out) {
            if (hasInline) {
                out = inlineValue;
                return true;
            }
            if (i + 1 >= args.size()) {
                error = QStringLiteral("%1 needs a value").arg(arg);
                return false;
            }
            out = args.at(++i);
            return true;
        };
        QString text;
        if (arg == QLatin1String("--json")) {
            options.json = true;
        } else if (arg == QLatin1String("--count")) {
            options.countOnly = true;
        } else if (arg == QLatin1String("--changes")) {
            options.changes = true;
        } else if (arg == QLatin1String("--strict")) {
            options.strict = true;
        } else if (arg == QLatin1String("--history")) {
            options.history = true;
        } else if (arg == QLatin1String("--last")) {
            if (!value(text))
                return false;
            bool ok = false;
            options.last = text.toInt(&ok);
            if (!ok || options.last < 1) {
                error = QStringLiteral("--last takes a number of uploads from 1, not \"%1\"").arg(text);
                return false;
            }
        } else if (arg == QLatin1String("--securities")) {
            if (!value(options.securities))
                return false;
        } else if (arg == QLatin1String("--db")) {
            if (!value(options.database))
                return false;
            if (options.database.isEmpty()) {
                error = QStringLiteral("--db needs a file or a URI");
                return false;
            }
        } else if (arg == QLatin1String("--broker-id")) {
            if (!value(text))
                return false;
            options.broker.brokerId = text.toUtf8().toStdString();
            options.brokerIdGiven = true;
        } else if (arg == QLatin1String("--broker-name")) {
            if (!value(text))
                return false;
            options.broker.brokerName = text.toUtf8().toStdString();
            options.brokerNameGiven = true;
        } else if (arg == QLatin1String("--broker-key")) {
            if (!value(text))
                return false;
            bool ok = false;
            options.broker.brokerKeyNo = text.toInt(&ok);
            if (!ok) {
                error = QStringLiteral("--broker-key takes a whole number, not \"%1\"").arg(text);
                return false;
            }
            options.brokerKeyGiven = true;
        } else if (arg == QLatin1String("--max-change")) {
            if (!value(text))
                return false;
            bool ok = false;
            options.maxChange = text.toDouble(&ok);
            if (!ok || !std::isfinite(options.maxChange) || options.maxChange < 0) {
                error = QStringLiteral("--max-change takes a ratio from 0 up, not \"%1\"").arg(text);
                return false;
            }
            options.maxChangeGiven = true;
        } else if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            error.clear();
            return false;
        } else if (arg.startsWith(QLatin1String("--")) || !options.file.isEmpty()) {
            error = QStringLiteral("unexpected argument \"%1\"").arg(args.at(i));
            return false;
        } else {
            options.file = arg;
        }
    }
    if (options.history) {
        if (!options.file.isEmpty() || options.changes) {
            error = QStringLiteral("--history takes no file and no --changes");
        } else if (!options.brokerIdGiven && !options.brokerNameGiven) {
            error = QStringLiteral("--history needs --broker-name or --broker-id");
        } else if (options.brokerKeyGiven || options.countOnly || options.strict || options.maxChangeGiven ||
                   !options.securities.isEmpty()) {
            error = QStringLiteral("--history takes only --broker-name, --broker-id, --db, --last and --json");
        }
        return error.isEmpty();
    }
    if (options.file.isEmpty()) {
        error = QStringLiteral("no file given");
        return false;
    }
    if (options.changes) {
        if (!options.brokerIdGiven && !options.brokerNameGiven) {
            error = QStringLiteral("--changes needs --broker-name or --broker-id");
        } else if (options.brokerKeyGiven) {
            error = QStringLiteral("--changes takes the broker's key number from the server, not --broker-key");
        } else if (options.countOnly) {
            error = QStringLiteral("--changes and --count cannot be combined");
        }
    } else if (!options.database.isEmpty() || options.strict || options.maxChangeGiven) {
        error = QStringLiteral("--db, --max-change and --strict need --changes");
    }
    return error.isEmpty();
}

} // namespace DVK
