// The embedded data service on a database it may read but not write, and on a full disk.
#include "embeddeddataservice.h"
#include "servicecalls.h"
#include "testfiles.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <unistd.h>

using rqservice::CEmbeddedDataService;
using testsupport::citicDetail;
using testsupport::readFile;

namespace {

// The summary's outcome and CITIC's number of uploads.
QPair<QString, int> historyOf(CEmbeddedDataService& service)
{
    const testsupport::QueryOutcome outcome = testsupport::queryService(service, 12294);
    if (!outcome.error.isSuccess())
        return {testsupport::outcomeText(outcome.error), 0};
    const testsupport::HistoryOutcome history = testsupport::historyOf(service, "1____CITIC");
    return {testsupport::outcomeText(history.error), int(history.history.uploads.size())};
}

// The upload's outcome, "ok" or the failure.
QString upload(CEmbeddedDataService& service, int count = 1, double ratio = 0.65)
{
    return testsupport::outcomeText(testsupport::operateService(
        service, testsupport::uploadRequest(1, "CITIC", testsupport::uniformRows(count, ratio))));
}

// A fresh database with the demo's history, closed again; its history as historyOf tells it.
QPair<QString, int> freshDatabase(const QString& path)
{
    CEmbeddedDataService service(path);
    return historyOf(service);
}

// Makes paths unwritable: by mode for an ordinary user; root ignores modes, so the immutable
// attribute then. False when neither takes.
bool makeReadOnly(const QStringList& paths, bool readOnly)
{
    for (const QString& path : paths) {
        if (::geteuid() == 0) {
            if (QProcess::execute(QStringLiteral("chattr"), {readOnly ? "+i" : "-i", path}) != 0)
                return false;
        } else {
            const bool folder = QFileInfo(path).isDir();
            QFile::Permissions mode = QFile::ReadOwner | (folder ? QFile::ExeOwner : QFile::Permissions());
            if (!readOnly)
                mode |= QFile::WriteOwner;
            if (!QFile::setPermissions(path, mode))
                return false;
        }
    }
    return true;
}

} // namespace

class TestDatabaseFaults : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void init()
    {
        m_dir.reset(new QTemporaryDir);
        QVERIFY(m_dir->isValid());
    }

    void readOnly_data()
    {
        QTest::addColumn<bool>("folderToo");
        QTest::newRow("read-only file") << false;
        QTest::newRow("read-only file in a read-only folder") << true;
    }

    // A database that cannot be written still answers queries; an upload fails saying so and the
    // rows it had stay as they were.
    void readOnly()
    {
        QFETCH(bool, folderToo);
        const QString path = m_dir->filePath(QStringLiteral("credit.sqlite"));
        const QPair<QString, int> history = freshDatabase(path);
        QVERIFY2(history.first == QLatin1String("ok") && history.second > 0, qPrintable(history.first));
        const QByteArray before = readFile(path);

        QStringList locked{path};
        if (folderToo)
            locked << m_dir->path();
        if (!makeReadOnly(locked, true)) {
            makeReadOnly(locked, false);
            QSKIP("running as root on a file system without the immutable attribute (chattr): root writes anyway");
        }
        auto service = std::make_unique<CEmbeddedDataService>(path);
        const QPair<QString, int> after = historyOf(*service);
        const QString uploaded = upload(*service);
        service.reset();
        QVERIFY(makeReadOnly(locked, false));

        QCOMPARE(after, history);
        QVERIFY2(uploaded != QLatin1String("ok") && !uploaded.startsWith(QLatin1String("answered ")),
                 qPrintable(uploaded));
        QCOMPARE(readFile(path), before);
    }

    void diskFullLeavesNothing_data()
    {
        QTest::addColumn<int>("roomKiB"); // left on the file system when the upload starts
        QTest::newRow("no room at all") << 0;
        QTest::newRow("room for the journal, not the rows") << 48;
        QTest::newRow("room for some of the rows") << 600;
    }

    // An upload that meets a full disk says so and changes nothing: the file stays byte for byte as it
    // was and no journal stays beside it while the client runs on, so another program reads it at
    // once; once there is room, the same service's next upload lands.
    void diskFullLeavesNothing()
    {
        QFETCH(int, roomKiB);
        if (::geteuid() != 0)
            QSKIP("a full disk is a small tmpfs this test mounts, which takes root (CI runs as root)");
        if (QStandardPaths::findExecutable(QStringLiteral("sqlite3")).isEmpty())
            QSKIP("the sqlite3 shell plays the other reader (scripts/setup.sh installs it)");
        const QString mount = m_dir->filePath(QStringLiteral("small"));
        QVERIFY(QDir().mkpath(mount));
        if (QProcess::execute(QStringLiteral("mount"), {"-t", "tmpfs", "-o", "size=3m", "tmpfs", mount}) != 0)
            QSKIP("this machine lets no test mount a file system (a container without the right to mount)");
        const auto unmount = qScopeGuard([&] { QProcess::execute(QStringLiteral("umount"), {"-l", mount}); });

        const QString path = mount + QStringLiteral("/credit.sqlite");
        QVERIFY(freshDatabase(path).second > 0);
        const QByteArray before = readFile(path);
        // Fill the file system, then give back the room asked for.
        const QString filler = mount + QStringLiteral("/filler");
        {
            QFile fill(filler);
            QVERIFY(fill.open(QIODevice::WriteOnly));
            const QByteArray block(4096, 'F');
            while (fill.write(block) == block.size() && fill.flush()) {
            }
        }
        QVERIFY(QFile::resize(filler, std::max<qint64>(0, QFileInfo(filler).size() - roomKiB * 1024)));

        CEmbeddedDataService service(path);
        const QString failed = upload(service, 40000);
        QVERIFY2(failed.contains(QStringLiteral("磁盘空间已满")), qPrintable(failed));
        // The service still runs with its connection open.
        QVERIFY(!QFile::exists(path + QStringLiteral("-journal")));
        QCOMPARE(readFile(path), before);
        QProcess reader;
        reader.start(QStringLiteral("sqlite3"),
                     {QStringLiteral("-readonly"), path, QStringLiteral("SELECT count(*) FROM uploads")});
        QVERIFY(reader.waitForFinished(10000));
        QVERIFY2(reader.exitCode() == 0 && reader.readAllStandardOutput().trimmed().toInt() > 0,
                 reader.readAllStandardError().constData());

        QVERIFY(QFile::remove(filler));
        QCOMPARE(upload(service, 40000, 0.4), QStringLiteral("ok"));
        QCOMPARE(citicDetail(service), QStringLiteral("40000 x 0.4"));
    }

private:
    std::unique_ptr<QTemporaryDir> m_dir;
};

QTEST_MAIN(TestDatabaseFaults)
#include "tst_databasefaults.moc"
