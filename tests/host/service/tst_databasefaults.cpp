// The embedded data service on a database it may read but not write, one another process holds,
// and one that is damaged.
#include "embeddeddataservice.h"
#include "servicecalls.h"
#include "testfiles.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
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

// A fresh database with the demo's history, closed again; its history count.
int freshDatabase(const QString& path)
{
    CEmbeddedDataService service(path);
    return historyOf(service).second;
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
    void readOnly_data();
    void readOnly();
    void heldByAnotherProcess_data();
    void heldByAnotherProcess();
    void damagedFileUntouched_data();
    void damagedFileUntouched();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestDatabaseFaults::readOnly_data()
{
    QTest::addColumn<bool>("folderToo");
    QTest::newRow("read-only file") << false;
    QTest::newRow("read-only file in a read-only folder") << true;
}

// A database that cannot be written still answers queries; an upload fails saying so and the
// rows it had stay as they were.
void TestDatabaseFaults::readOnly()
{
    QFETCH(bool, folderToo);
    const QString path = m_dir->filePath(QStringLiteral("credit.sqlite"));
    QPair<QString, int> history;
    {
        CEmbeddedDataService service(path);
        history = historyOf(service);
        QCOMPARE(history.first, QStringLiteral("ok"));
        QVERIFY(history.second > 0);
    }
    const QByteArray before = readFile(path);

    QStringList locked{path};
    if (folderToo)
        locked << m_dir->path();
    if (!makeReadOnly(locked, true)) {
        makeReadOnly(locked, false);
        QSKIP("running as root on a file system without the immutable attribute (chattr): root writes anyway");
    }
    QString uploaded;
    QPair<QString, int> after;
    {
        CEmbeddedDataService service(path);
        after = historyOf(service);
        uploaded = upload(service);
    }
    QVERIFY(makeReadOnly(locked, false));

    QCOMPARE(after, history);
    QVERIFY2(uploaded != QLatin1String("ok") && !uploaded.startsWith(QLatin1String("answered ")), qPrintable(uploaded));
    QCOMPARE(readFile(path), before);
}

void TestDatabaseFaults::heldByAnotherProcess_data()
{
    QTest::addColumn<QString>("hold"); // what the other process (the sqlite3 shell) runs and keeps open
    QTest::addColumn<bool>("readsBlocked");
    QTest::newRow("exclusive transaction") << "BEGIN EXCLUSIVE;" << true;
    QTest::newRow("write transaction") << "BEGIN IMMEDIATE; INSERT INTO brokers VALUES (99, 'X', 'X');" << false;
    QTest::newRow("reader at commit") << "BEGIN; SELECT count(*) FROM ratios;" << false;
}

// While another process holds the file past a call's time limit, an upload says within that
// limit that the database is in use and nothing was changed, and writes nothing; a query reads
// or says the same. Once the other lets go, the history is as before and the next upload lands.
void TestDatabaseFaults::heldByAnotherProcess()
{
    QFETCH(QString, hold);
    QFETCH(bool, readsBlocked);
    if (QStandardPaths::findExecutable(QStringLiteral("sqlite3")).isEmpty())
        QSKIP("the sqlite3 shell plays the other process (scripts/setup.sh installs it)");
    const QString path = m_dir->filePath(QStringLiteral("credit.sqlite"));
    const int history = freshDatabase(path);
    QVERIFY(history > 0);
    const QByteArray before = readFile(path);

    QProcess other;
    other.start(QStringLiteral("sqlite3"), {path});
    QVERIFY(other.waitForStarted());
    other.write(hold.toUtf8() + "\nSELECT 'held';\n");
    while (!other.readAllStandardOutput().contains("held")) {
        QVERIFY2(other.waitForReadyRead(10000), other.readAllStandardError().constData());
    }
    QString uploaded;
    QPair<QString, int> read;
    qint64 uploadMs = 0;
    qint64 readMs = 0;
    {
        const testsupport::ScopedTimeouts limits(1000, 2000);
        CEmbeddedDataService service(path);
        QElapsedTimer clock;
        clock.start();
        read = historyOf(service);
        readMs = clock.restart();
        // Many statements, each of which could wait as long as the whole call may.
        uploaded = upload(service, 2000);
        uploadMs = clock.elapsed();
    }
    other.closeWriteChannel(); // the shell ends, its transaction with it
    QVERIFY(other.waitForFinished(10000));

    QVERIFY2(uploaded.contains(QStringLiteral("占用")) && uploaded.contains(QStringLiteral("未做任何改动")),
             qPrintable(uploaded));
    QVERIFY2(uploadMs < 2000 + testsupport::kAnswerSlackMs, qPrintable(QString::number(uploadMs)));
    QVERIFY2(readsBlocked ? read.first.contains(QStringLiteral("占用")) : read == qMakePair(QString("ok"), history),
             qPrintable(read.first));
    QVERIFY2(readMs < 1000 + testsupport::kAnswerSlackMs, qPrintable(QString::number(readMs)));
    QCOMPARE(readFile(path), before);
    CEmbeddedDataService reopened(path);
    QCOMPARE(historyOf(reopened), qMakePair(QStringLiteral("ok"), history));
    QCOMPARE(upload(reopened, 3, 0.5), QStringLiteral("ok"));
    QCOMPARE(citicDetail(reopened), QStringLiteral("3 x 0.5"));
}

void TestDatabaseFaults::damagedFileUntouched_data()
{
    QTest::addColumn<int>("keep");      // bytes of the sound file kept from its start
    QTest::addColumn<bool>("truncate"); // cut there, or overwrite the rest with noise
    QTest::newRow("pages after the first overwritten") << 4096 << false;
    QTest::newRow("cut after the first page") << 4096 << true;
    QTest::newRow("cut in the header page") << 60 << true;
}

// A database damaged after it was written: queries and uploads name the damage, and the file
// stays byte for byte as it was, so nothing the user might recover is lost.
void TestDatabaseFaults::damagedFileUntouched()
{
    QFETCH(int, keep);
    QFETCH(bool, truncate);
    const QString path = m_dir->filePath(QStringLiteral("credit.sqlite"));
    QVERIFY(freshDatabase(path) > 0);
    QByteArray damaged = readFile(path);
    QVERIFY(damaged.size() > keep * 2);
    if (truncate)
        damaged.truncate(keep);
    else
        damaged.replace(keep, damaged.size() - keep, QByteArray(damaged.size() - keep, char(0xA5)));
    QVERIFY(testsupport::writeFile(path, damaged));

    QStringList answers;
    {
        CEmbeddedDataService service(path);
        answers = testsupport::everyCall(service);
    }
    for (const QString& answer : answers)
        QVERIFY2(answer.contains(QStringLiteral("损坏")), qPrintable(answers.join(" | ")));
    QCOMPARE(readFile(path), damaged);
    QVERIFY(!QFile::exists(path + QStringLiteral("-journal")));
}

QTEST_MAIN(TestDatabaseFaults)
#include "tst_databasefaults.moc"
