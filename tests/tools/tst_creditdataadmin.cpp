// The admin tool's restore, run as a program on a database the data service filled.

#include "pgtestserver.h"
#include "servicecalls.h"
#include "toolrun.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

namespace {

using testsupport::onPostgres;
using testsupport::ToolRun;

// The audit account a file records is the operating system's: a known one.
ToolRun runAdmin(const QStringList& arguments)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("USER"), QStringLiteral("os-account"));
    return testsupport::runProgram(QStringLiteral(ADMIN_PATH), arguments, environment);
}

} // namespace

class TestCreditDataAdmin : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        if (onPostgres() && !testsupport::CPgTestServer::available())
            QFAIL("CREDITDATA_TEST_ENGINE=postgresql needs the server of tests/pg/pgcluster.sh (PGTEST_STATE)");
    }

    void restore_data()
    {
        QTest::addColumn<QStringList>("arguments"); // %a: the older of two uploads, %b: the newer, %h: another broker's
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("says");   // part of what it prints, on stdout or stderr
        QTest::addColumn<QString>("detail"); // CITIC's rows afterwards, as citicDetail says them
        const QStringList citic{"--broker-name", "中信证券"};
        const auto row = [](const char* name, const QStringList& arguments, int exitCode, const char* says,
                            const char* detail) { QTest::newRow(name) << arguments << exitCode << says << detail; };
        row("the older upload back", citic + QStringList{"--upload", "%a"}, 0, "+1 \u22120 ~2 =0", "3 x 0.5");
        row("by id", {"--broker-id", "CITIC", "--upload", "%a"}, 0, "in upload %a", "3 x 0.5");
        row("a dry run shows and stores nothing", citic + QStringList{"--upload", "%a", "--dry-run"}, 0,
            "+1 \u22120 ~2 =0", "2 x 0.6");
        row("the newest again changes nothing", citic + QStringList{"--upload", "%b"}, 0, "+0 \u22120 ~0 =2",
            "2 x 0.6");
        row("another broker's upload", citic + QStringList{"--upload", "%h"}, 7, "has no upload %h", "2 x 0.6");
        row("a number no upload has", citic + QStringList{"--upload", "999999"}, 7, "has no upload 999999", "2 x 0.6");
        row("no such broker", {"--broker-name", "无此券商", "--upload", "%a"}, 6, "brokers there: 中信证券 (CITIC)",
            "2 x 0.6");
        row("no upload named", citic, 1, "--upload needs", "2 x 0.6");
        row("an upload number that is none", citic + QStringList{"--upload", "-3"}, 1, "--upload needs", "2 x 0.6");
    }

    // restore stores an earlier upload of the broker again as its newest, by the account that
    // runs it, recorded as restored from it, after printing what that changes; anything else it
    // refuses with its reason and stores nothing.
    void restore()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, says);
        QTemporaryDir dir;
        const QString database = testsupport::newDatabase(dir);
        QVERIFY(!database.isEmpty());
        QMap<QString, QString> ids;
        int uploads = 0;
        {
            rqservice::CEmbeddedDataService service(database);
            for (const double ratio : {0.5, 0.6}) {
                const int count = ratio < 0.55 ? 3 : 2;
                QVERIFY(testsupport::operateService(
                            service, testsupport::uploadRequest(1, "CITIC", testsupport::uniformRows(count, ratio)))
                            .isSuccess());
            }
            const auto citic = testsupport::historyOf(service, "1____CITIC").history.uploads;
            const auto htsc = testsupport::historyOf(service, "2____HTSC").history.uploads;
            QVERIFY(citic.size() >= 2 && !htsc.empty());
            ids = {{"%b", QString::number(citic[0].id)},
                   {"%a", QString::number(citic[1].id)},
                   {"%h", QString::number(htsc[0].id)}};
            uploads = int(citic.size());
        }
        for (QString& argument : arguments)
            argument = ids.value(argument, argument);
        for (auto id = ids.cbegin(); id != ids.cend(); ++id)
            says.replace(id.key(), id.value());

        const ToolRun run = runAdmin(QStringList{"restore", "--db", database} + arguments);
        QVERIFY2(run.exitCode == exitCode, qPrintable(run.out + run.err));
        QVERIFY2((run.out + run.err).contains(says), qPrintable(run.out + run.err));

        rqservice::CEmbeddedDataService service(database);
        QTEST(testsupport::citicDetail(service), "detail");
        const auto after = testsupport::historyOf(service, "1____CITIC").history.uploads;
        const bool stored = exitCode == 0 && !arguments.contains("--dry-run");
        QCOMPARE(int(after.size()), uploads + (stored ? 1 : 0));
        if (!stored)
            return;
        const rqservice::UploadEntry& newest = after.front();
        QCOMPARE(QString::number(newest.restoredFrom), arguments.at(arguments.indexOf("--upload") + 1));
        QCOMPARE(QString::fromStdString(newest.user), onPostgres() ? QString("credit") : QString("os-account"));
        QVERIFY2(run.out.contains(QStringLiteral("is now upload %1").arg(newest.id)), qPrintable(run.out));
    }

    // Where there is nothing of ours the tool makes nothing: no file, no tables.
    void refusedWhereNoDatabaseIs_data()
    {
        QTest::addColumn<QString>("database"); // %d: a temporary folder
        QTest::addColumn<QString>("says");
        QTest::newRow("no file") << "%d/none.sqlite"
                                 << "no database at %d/none.sqlite";
        QTest::newRow("an unknown scheme") << "postgresq://u:pw@/credit?host=%d"
                                           << "unknown database address";
    }

    void refusedWhereNoDatabaseIs()
    {
        QFETCH(QString, database);
        QFETCH(QString, says);
        QTemporaryDir dir;
        database.replace("%d", dir.path());
        says.replace("%d", dir.path());
        const ToolRun run = runAdmin({"restore", "--db", database, "--broker-name", "中信证券", "--upload", "1"});
        QCOMPARE(run.exitCode, 5);
        QVERIFY2(run.err.contains(says), qPrintable(run.err));
        QVERIFY2(!run.err.contains("pw@"), qPrintable(run.err));
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
    }
};

QTEST_GUILESS_MAIN(TestCreditDataAdmin)
#include "tst_creditdataadmin.moc"
