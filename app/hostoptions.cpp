#include "hostoptions.h"

#include "standinservice.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>

#include <set>

bool parseRights(const QString& text, std::set<int>& rights)
{
    std::set<int> parsed;
    const QString trimmed = text.trimmed();
    if (!trimmed.isEmpty() && trimmed.compare(QLatin1String("none"), Qt::CaseInsensitive) != 0) {
        for (const QString& part : trimmed.split(QLatin1Char(','))) {
            bool ok = false;
            const int right = part.trimmed().toInt(&ok);
            if (!ok)
                return false;
            parsed.insert(right);
        }
    }
    rights = parsed;
    return true;
}

QString qtClaimedArgumentError(const QStringList& rawArguments)
{
    for (const QString& argument : rawArguments.mid(1)) {
        if (argument == QLatin1String("--plugin"))
            return QStringLiteral("--plugin PATH is read by Qt itself; write --panel-plugin PATH (or --plugin=PATH)");
    }
    return QString();
}

bool isTeamDatabase(const QString& location)
{
    return location.startsWith(QLatin1String("postgresql://"), Qt::CaseInsensitive) ||
           location.startsWith(QLatin1String("postgres://"), Qt::CaseInsensitive);
}

bool readSeedBrokers(const QString& path, std::vector<standin::SeedBroker>& brokers, QString& error)
{
    QFile file(path);
    // A broker list is a few lines: anything near this is not one.
    constexpr qint64 kMaxBytes = 1024 * 1024;
    if (!file.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("--brokers: cannot read %1: %2").arg(path, file.errorString());
        return false;
    }
    if (file.size() > kMaxBytes) {
        error = QStringLiteral("--brokers: %1 is larger than a broker list (%2 bytes)").arg(path).arg(file.size());
        return false;
    }
    const QByteArray bytes = file.read(kMaxBytes + 1);
    const QString text = QString::fromUtf8(bytes);
    if (text.toUtf8() != bytes) {
        error = QStringLiteral("--brokers: %1 is not UTF-8 text").arg(path);
        return false;
    }
    std::vector<standin::SeedBroker> read;
    std::set<int> keys;
    std::set<QString> ids;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (int i = 0; i < lines.size(); ++i) {
        const QString line = lines.at(i).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        const QString where = QStringLiteral("--brokers: %1 line %2").arg(path).arg(i + 1);
        const QStringList fields = line.split(QLatin1Char(','));
        if (fields.size() != 3) {
            error = where + QStringLiteral(": expected key number,broker id,broker name");
            return false;
        }
        standin::SeedBroker broker;
        bool ok = false;
        broker.keyNo = fields.at(0).trimmed().toInt(&ok);
        broker.id = fields.at(1).trimmed();
        broker.name = fields.at(2).trimmed();
        if (!ok || broker.keyNo <= 0) {
            error = where + QStringLiteral(": the key number must be a whole number from 1");
            return false;
        }
        if (broker.id.isEmpty() || broker.name.isEmpty()) {
            error = where + QStringLiteral(": the broker id and name must not be empty");
            return false;
        }
        if (!keys.insert(broker.keyNo).second || !ids.insert(broker.id).second) {
            error = where + QStringLiteral(": key number %1 or id %2 is given twice").arg(broker.keyNo).arg(broker.id);
            return false;
        }
        read.push_back(broker);
    }
    if (read.empty()) {
        error = QStringLiteral("--brokers: %1 names no broker").arg(path);
        return false;
    }
    brokers = read;
    return true;
}

bool asksForHelp(const QStringList& rawArguments)
{
    for (const QString& argument : rawArguments.mid(1)) {
        if (argument == QLatin1String("--"))
            return false;
        if (argument == QLatin1String("-h") || argument == QLatin1String("--help") || argument == QLatin1String("-?") ||
            argument == QLatin1String("--help-all"))
            return true;
    }
    return false;
}

bool parseHostOptions(const QStringList& arguments, HostOptions& options, QString& error)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Demo trading-operations client: docks the credit data panel on the embedded data service."));
    parser.addHelpOption();
    const QCommandLineOption rights(
        QStringLiteral("rights"),
        QStringLiteral("Granted rights, comma-separated (default 10079,10413; \"none\" for none)."),
        QStringLiteral("list"));
    const QCommandLineOption db(QStringLiteral("db"),
                                QStringLiteral("Database of the embedded service: a SQLite file, or a PostgreSQL URI "
                                               "(postgresql://user@host:port/dbname, ?host=/socket/dir)."),
                                QStringLiteral("path"));
    const QCommandLineOption user(QStringLiteral("user"),
                                  QStringLiteral("The logged-in user, recorded with every upload (default: the "
                                                 "system's login name)."),
                                  QStringLiteral("name"));
    const QCommandLineOption screenshot(
        QStringLiteral("screenshot"),
        QStringLiteral("Wait for the first summary answer, save the main window as PNG, exit."), QStringLiteral("png"));
    const QCommandLineOption latency(QStringLiteral("latency-ms"),
                                     QStringLiteral("Delay added to every answer of the service, in milliseconds."),
                                     QStringLiteral("ms"));
    const QCommandLineOption gallery(QStringLiteral("gallery"),
                                     QStringLiteral("Save pictures of the toolkit's widgets into a folder, then exit."),
                                     QStringLiteral("dir"));
    // Not plain "plugin": Qt takes "--plugin X" for its own plug-ins before we see it (only the
    // "--plugin=X" spelling gets through, so that one is still accepted).
    const QCommandLineOption plugin(QStringList{QStringLiteral("panel-plugin"), QStringLiteral("plugin")},
                                    QStringLiteral("Panel plug-in library to load."), QStringLiteral("path"));
    const QCommandLineOption detail(QStringLiteral("open-detail"),
                                    QStringLiteral("With --screenshot: click the query button of this summary row "
                                                   "(0 is the first) and wait for its detail."),
                                    QStringLiteral("row"));
    const QCommandLineOption upload(QStringLiteral("upload"),
                                    QStringLiteral("With --screenshot: upload this conversion-rate file through the "
                                                   "panel's upload dialog and take the picture on its outcome."),
                                    QStringLiteral("file"));
    const QCommandLineOption uploadBroker(
        QStringLiteral("upload-broker"),
        QStringLiteral("With --upload: the broker to upload for (default: the first)."), QStringLiteral("name"));
    const QCommandLineOption demoData(
        QStringLiteral("demo-data"),
        QStringLiteral("A new PostgreSQL database gets the demo brokers and their uploads too (a new SQLite file "
                       "always does)."));
    const QCommandLineOption brokers(
        QStringLiteral("brokers"),
        QStringLiteral("The brokers a new database gets, and no upload: UTF-8 lines \"key number,broker id,broker "
                       "name\". Without it a new PostgreSQL database gets no broker."),
        QStringLiteral("file"));
    parser.addOptions(
        {rights, db, user, screenshot, latency, gallery, plugin, detail, upload, uploadBroker, demoData, brokers});

    if (!parser.parse(arguments)) {
        error = parser.errorText();
        return false;
    }
    if (parser.isSet(QStringLiteral("help")))
        parser.showHelp(0);
    if (!parser.positionalArguments().isEmpty()) {
        error = QStringLiteral("Unexpected argument: %1").arg(parser.positionalArguments().constFirst());
        return false;
    }
    if (parser.isSet(rights) && !parseRights(parser.value(rights), options.rights)) {
        error = QStringLiteral("--rights takes numbers separated by commas, not \"%1\"").arg(parser.value(rights));
        return false;
    }
    if (parser.isSet(latency)) {
        bool ok = false;
        options.latencyMs = parser.value(latency).toInt(&ok);
        if (!ok || options.latencyMs < 0 || options.latencyMs > 600000) {
            error = QStringLiteral("--latency-ms takes a whole number of milliseconds from 0 to 600000");
            return false;
        }
    }
    if (parser.isSet(detail)) {
        bool ok = false;
        options.detailRow = parser.value(detail).toInt(&ok);
        if (!ok || options.detailRow < 0) {
            error = QStringLiteral("--open-detail takes a row number from 0");
            return false;
        }
    }
    options.databasePath = parser.value(db);
    options.userName = parser.value(user);
    if (parser.isSet(user) && options.userName.trimmed().isEmpty()) {
        error = QStringLiteral("--user needs a name");
        return false;
    }
    options.screenshotPath = parser.value(screenshot);
    options.galleryDir = parser.value(gallery);
    options.pluginPath = parser.value(plugin);
    options.uploadFile = parser.value(upload);
    options.uploadBroker = parser.value(uploadBroker);
    if ((!options.uploadFile.isEmpty() || !options.uploadBroker.isEmpty()) && options.screenshotPath.isEmpty()) {
        error = QStringLiteral("--upload and --upload-broker need --screenshot");
        return false;
    }
    options.demoData = parser.isSet(demoData);
    options.brokersFile = parser.value(brokers);
    if (options.demoData && parser.isSet(brokers)) {
        error = QStringLiteral("--demo-data and --brokers cannot be combined");
        return false;
    }
    if (!options.uploadFile.isEmpty() && options.detailRow >= 0) {
        error = QStringLiteral("--upload and --open-detail cannot be combined");
        return false;
    }
    return true;
}
