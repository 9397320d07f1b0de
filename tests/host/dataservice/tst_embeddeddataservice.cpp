// The embedded data service on a real SQLite file, or (CREDITDATA_TEST_ENGINE=postgresql) on
// a database of the throwaway PostgreSQL server: history, uploads, validation, text it cannot
// store, programs uploading at once, schema versions, and databases that are not its own.
#include "brokerkey.h"
#include "embeddeddataservice.h"
#include "pgtestserver.h"
#include "scriptedservice.h"
#include "servicecalls.h"
#include "standinservice.h"
#include "testfiles.h"

#include <QElapsedTimer>
#include <QScopeGuard>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimeZone>
#include <QtTest>

#include <boost/make_shared.hpp>

#include <functional>
#include <limits>
#include <map>

using rqservice::CEmbeddedDataService;
using testsupport::onPostgres;
using testsupport::QueryOutcome;
using Rows = testsupport::SubjectRows;
using testsupport::operateService;
using testsupport::queryService;
using testsupport::uploadRequest;

// A file's bytes made from those this program wrote.
using FileBytes = std::function<QByteArray(const QByteArray& ours)>;

Q_DECLARE_METATYPE(Rows)
Q_DECLARE_METATYPE(FileBytes)

namespace {

boost::shared_ptr<rqservice::CStkSubjects> row(const char* exchange, const char* code, const char* name, double ratio)
{
    return testsupport::makeSubject(-1, "", exchange, code, name, ratio);
}

Rows sampleRows()
{
    return {row("上交所", "600000", "浦发银行", 0.65), row("深交所", "000858", "五粮液", 0.7),
            row("深交所", "300750", "宁德时代", 0.55), row("上交所", "600036", "招商银行", 0.6),
            row("北交所", "430047", "诺思兰德", 0)};
}

// The first sample rows, one for each ratio; an invalid ratio: a null subject.
Rows withRatios(const QVariantList& ratios)
{
    Rows rows = sampleRows();
    rows.resize(size_t(ratios.size()));
    for (int i = 0; i < ratios.size(); ++i) {
        if (ratios[i].isValid())
            rows[size_t(i)]->ratio = ratios[i].toDouble();
        else
            rows[size_t(i)].reset();
    }
    return rows;
}

boost::shared_ptr<rqservice::CVoprCvionRateDetail> detailOf(const QueryOutcome& outcome)
{
    return outcome.error.isSuccess() && outcome.records.size() == 1
               ? boost::dynamic_pointer_cast<rqservice::CVoprCvionRateDetail>(outcome.records.front())
               : nullptr;
}

// One line per subject, so a whole detail compares in one QCOMPARE.
QStringList detailLines(const QueryOutcome& outcome)
{
    const auto detail = detailOf(outcome);
    if (!detail)
        return {QString::fromStdString("error: " + outcome.error.errorMsg())};
    QStringList lines;
    for (const auto& s : detail->subjects)
        lines << QString::fromStdString(s->toLog());
    return lines;
}

// The detail lines of rows uploaded for HTSC, numbered from 1 in upload order.
QStringList htscLines(const Rows& rows)
{
    QStringList lines;
    for (const auto& s : rows) {
        auto back = testsupport::makeSubject(2, "HTSC", s->exchangeName, s->stockCode, s->stockName, s->ratio,
                                             lines.size() + 1);
        back->brokerName = "华泰证券";
        lines << QString::fromStdString(back->toLog());
    }
    return lines;
}

// An upload of rows for the broker of key ("<number>____<id>"; one that does not parse: broker 0).
boost::shared_ptr<rqservice::COperateDataReq> uploadFor(const QString& key, const Rows& rows)
{
    rqservice::CBrokerKey broker;
    rqservice::CBrokerKey::parse(key.toStdString(), broker);
    return uploadRequest(broker.brokerKeyNo, broker.brokerId, rows);
}

// Another program's connection to the service's database (a SQLite file's, or the superuser's on
// the server) that runs statements, and keeps a transaction they open until end().
class OtherProgram
{
public:
    OtherProgram(const QString& location, const QStringList& statements)
    {
        m_open = true;
        QSqlDatabase db = QSqlDatabase::addDatabase(onPostgres() ? "QPSQL" : "QSQLITE", "other-program");
        db.setHostName(testsupport::CPgTestServer::socketDir());
        db.setUserName("postgres");
        db.setDatabaseName(onPostgres() ? testsupport::CPgTestServer::databaseOf(location) : location);
        QVERIFY(db.open());
        QSqlQuery q(db);
        for (const QString& sql : statements)
            QVERIFY2(q.exec(sql), qPrintable(sql + ": " + q.lastError().text()));
    }
    ~OtherProgram() { end(); }
    void end()
    {
        if (!m_open)
            return;
        m_open = false;
        QSqlQuery(QSqlDatabase::database("other-program")).exec("ROLLBACK");
        QSqlDatabase::removeDatabase("other-program");
    }

private:
    bool m_open = false;
};

} // namespace

class TestEmbeddedDataService : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QLocale::setDefault(QLocale::c());
        // The account a file records: the operating system's, whatever the client says.
        qputenv("USER", "os-account");
        if (onPostgres() && !testsupport::CPgTestServer::available())
            QFAIL("CREDITDATA_TEST_ENGINE=postgresql needs the server of tests/pg/pgcluster.sh (PGTEST_STATE)");
    }

    void init()
    {
        m_service.reset(); // before its database goes
        m_dir.reset(new QTemporaryDir);
        QVERIFY(m_dir->isValid());
        m_location = testsupport::newDatabase(*m_dir);
        QVERIFY(!m_location.isEmpty());
        m_service.reset(new CEmbeddedDataService(m_location));
    }

    void summaryOneRecordPerBroker_data()
    {
        QTest::addColumn<QStringList>("uploads"); // brokers uploaded for before the summary, in order
        QTest::newRow("the demo's history") << QStringList();
        QTest::newRow("three more for one broker") << QStringList{"2____HTSC", "2____HTSC", "2____HTSC"};
        QTest::newRow("a first upload for the broker that had none") << QStringList{"6____HTZQ", "1____CITIC"};
    }

    // The summary answers one record per broker, each carrying its latest upload's date and number
    // (none for a broker that never uploaded), however many uploads each has.
    void summaryOneRecordPerBroker()
    {
        QFETCH(QStringList, uploads);
        for (const QString& key : uploads)
            QVERIFY(operateService(*m_service, uploadFor(key, sampleRows())).isSuccess());
        const QueryOutcome outcome = queryService(*m_service, 12294);
        QVERIFY2(outcome.error.isSuccess(), outcome.error.errorMsg().c_str());
        const QString trading = CEmbeddedDataService::tradingDay(QDate::currentDate()).toString("yyyyMMdd");
        QStringList shown;
        QStringList latest;
        for (const rqservice::IDataPtr& record : outcome.records) {
            auto info = boost::dynamic_pointer_cast<rqservice::CVoprCvionRateBaseInfo>(record);
            QVERIFY(info);
            QCOMPARE(QString::fromStdString(info->tradingDay), trading);
            const std::string key = rqservice::CBrokerKey{info->brokerKeyNo, info->brokerId}.toString();
            shown << QStringLiteral("%1 %2 %3")
                         .arg(QString::fromStdString(key), QString::fromStdString(info->lastUploadDate))
                         .arg(standin::uploadId(*info));
            const auto history = testsupport::historyOf(*m_service, key, 1).history.uploads;
            const rqservice::UploadEntry last = history.empty() ? rqservice::UploadEntry() : history.front();
            latest << QStringLiteral("%1 %2 %3")
                          .arg(QString::fromStdString(key), QString::fromStdString(last.date))
                          .arg(last.id);
        }
        QCOMPARE(shown, latest);
        QCOMPARE(shown.size(), 6); // the demo's brokers, each once
        const auto never = detailOf(queryService(*m_service, 12295, "6____HTZQ"));
        QVERIFY(never);
        QCOMPARE(never->subjects.empty(), !uploads.contains("6____HTZQ"));
    }

    // Each upload records the account that sent it (the database's login; a file's: the operating
    // system's), beside it the user the client knows at the call (none: nothing), when and how
    // many rows; the history lists a broker's uploads newest first, each one's rows as sent.
    void auditTrailNewestFirst()
    {
        const QStringList users{"张三", "li.si", ""};
        for (int i = 0; i < users.size(); ++i) {
            standin::setUserName(users[i]);
            const Rows rows = testsupport::uniformRows(3 + i, (i + 1) / 10.0);
            QVERIFY(operateService(*m_service, uploadRequest(2, "HTSC", rows)).isSuccess());
        }
        standin::setUserName(QStringLiteral("demo"));
        const testsupport::HistoryOutcome outcome = testsupport::historyOf(*m_service, "2____HTSC", 4);
        QVERIFY2(outcome.error.isSuccess(), outcome.error.errorMsg().c_str());
        QCOMPARE(outcome.history.brokerName, std::string("华泰证券"));
        const std::string today = QDate::currentDate().toString("yyyyMMdd").toStdString();
        QStringList listed;
        for (const rqservice::UploadEntry& u : outcome.history.uploads) {
            const auto rows = uploadRowsOf("2____HTSC", u.id);
            listed << QStringLiteral("%1 %2 [%3] %4 %5 x %6")
                          .arg(u.date == today ? "today" : "before", QString::fromStdString(u.user),
                               QString::fromStdString(u.clientUser))
                          .arg(u.rows)
                          .arg(rows.size())
                          .arg(rows.empty() ? 0 : rows.back()->ratio);
        }
        const QString account = onPostgres() ? "credit" : "os-account";
        QCOMPARE(listed.mid(0, 3),
                 (QStringList{"today " + account + " [] 5 5 x 0.3", "today " + account + " [li.si] 4 4 x 0.2",
                              "today " + account + " [张三] 3 3 x 0.1"}));
        QVERIFY2(listed.size() == 4 && listed[3].startsWith("before demo []"), qPrintable(listed.join(" | ")));
        // An upload is read only as its own broker's.
        const auto citic = testsupport::historyOf(*m_service, "1____CITIC", 1).history.uploads;
        QVERIFY(!citic.empty() && !uploadRowsOf("1____CITIC", citic.front().id).empty());
        QVERIFY(uploadRowsOf("2____HTSC", citic.front().id).empty());
    }

    void previousSchemaMigrated_data()
    {
        QTest::addColumn<bool>("readOnly");
        QTest::newRow("opened to write: upgraded") << false;
        QTest::newRow("opened read-only: read as it is") << true;
    }

    // A database of the previous version gains the audit columns once, all or nothing: its uploads
    // keep their rows and show their user as unknown, and new uploads record theirs. Opened for
    // reading only, it is read as it is and stays byte for byte (or table for table) the same.
    void previousSchemaMigrated()
    {
        QFETCH(bool, readOnly);
        m_service.reset();
        runOnDatabase(testsupport::previousSchema(onPostgres()));
        const QByteArray before = snapshot();

        m_service.reset(new CEmbeddedDataService(m_location, 0,
                                                 readOnly ? CEmbeddedDataService::EAccess::ReadOnly
                                                          : CEmbeddedDataService::EAccess::ReadWrite));
        const auto listing = [&] {
            const testsupport::HistoryOutcome outcome = testsupport::historyOf(*m_service, "1____CITIC");
            QStringList out;
            for (const auto& u : outcome.history.uploads)
                out << QString::fromStdString(std::to_string(u.id) + ' ' + u.date + ' ' + u.time + " [" + u.clientUser +
                                              "] " + std::to_string(u.rows));
            return outcome.error.isSuccess() ? out : QStringList{testsupport::outcomeText(outcome.error)};
        };
        QCOMPARE(listing(), (QStringList{"2 20240105 000000 [] 2", "1 20240104 235959 [] 1"}));
        QCOMPARE(testsupport::citicDetail(*m_service), QString("2 x -1"));

        standin::setUserName(QStringLiteral("王五"));
        const utils::RQError uploaded = operateService(*m_service, uploadRequest(1, "CITIC", sampleRows()));
        standin::setUserName(QStringLiteral("demo"));
        if (readOnly) {
            QVERIFY2(!uploaded.isSuccess() && uploaded.errorMsg().find("未做任何改动") != std::string::npos,
                     uploaded.errorMsg().c_str());
            QCOMPARE(listing().size(), 2);
            m_service.reset();
            QCOMPARE(snapshot(), before);
            return;
        }
        QVERIFY2(uploaded.isSuccess(), uploaded.errorMsg().c_str());
        QCOMPARE(listing().mid(1), (QStringList{"2 20240105 000000 [] 2", "1 20240104 235959 [] 1"}));
        QVERIFY2(listing().first().contains("[王五] 5"), qPrintable(listing().first()));
        m_service.reset();
        QVERIFY(snapshot() != before);
    }

    void storedTextComesBackExact_data()
    {
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QStringList>("codes");   // none: 600000 on
        QTest::addColumn<QVariantList>("ratios"); // none: hundredths
        QTest::newRow("quotes, backslashes, braces")
            << QStringList{"A\"B", "C\\D", "\\\"", "{x,y}", "a\tb"} << QStringList() << QVariantList();
        QTest::newRow("NULL and blanks") << QStringList{"NULL", "", " ", "null", "''"} << QStringList()
                                         << QVariantList();
        QTest::newRow("beyond the BMP and mixed")
            << QStringList{"𠀀𠀁", "😀证券", "é", "证券"} << QStringList() << QVariantList();
        // Every digit a ratio file carries, and the range's own ends.
        const QVariantList digits{0.123456789012345,
                                  0.30000000000000004,
                                  1e-9,
                                  0.99999999999999989,
                                  1.0,
                                  std::numeric_limits<double>::denorm_min(),
                                  0.0,
                                  1.0 / 3,
                                  2.0 / 3};
        QTest::newRow("ratios of every digit, 0 and 1 themselves")
            << QStringList(QVector<QString>(digits.size(), "证券").toList()) << QStringList() << digits;
        QTest::newRow("long and odd codes and names")
            << QStringList{QString(300, QChar(0x8BC1)), "名", "名", "名", QString(2000, 'n')}
            << QStringList{QString(64, '9'), "SH600000.XSHG", "00 0858", "600000 ", "０００８５８"}
            << QVariantList{0.1, 0.2, 0.3, 0.4, 0.5};
        QStringList many;
        for (int i = 0; i < 450; ++i)
            many << QStringLiteral("证券%1").arg(i);
        QTest::newRow("450 rows, several statements, the last one short") << many << QStringList() << QVariantList();
        for (int i = 450; i < 50001; ++i)
            many << QStringLiteral("证券%1").arg(i);
        QTest::newRow("50,001 rows, past one array chunk") << many << QStringList() << QVariantList();
    }

    // Every stored text and ratio reads back exactly, in order, as the broker's latest upload,
    // whatever it holds and however many rows the upload has: the bulk insert writes rows in
    // batches and the read converts each cell. -1 finds the broker by its id alone.
    void storedTextComesBackExact()
    {
        QFETCH(QStringList, names);
        QFETCH(QStringList, codes);
        QFETCH(QVariantList, ratios);
        static const char* const exchanges[] = {"", "上交所", "上交所", "深交所"};
        Rows rows;
        QStringList sent;
        for (int i = 0; i < names.size(); ++i) {
            const std::string code = codes.isEmpty() ? std::to_string(600000 + i) : codes[i].toStdString();
            const double ratio = ratios.isEmpty() ? (i % 101) / 100.0 : ratios[i].toDouble();
            rows.push_back(row(exchanges[i % 4], code.c_str(), names[i].toStdString().c_str(), ratio));
            sent << QString::number(ratio, 'g', 17);
        }
        const utils::RQError stored = operateService(*m_service, uploadRequest(-1, "HTSC", rows));
        QVERIFY2(stored.isSuccess(), stored.errorMsg().c_str());
        const QueryOutcome outcome = queryService(*m_service, 12295, "2____HTSC");
        QCOMPARE(detailLines(outcome), htscLines(rows));
        QStringList read; // the log's lines round a ratio; 17 digits tell every double apart
        for (const auto& s : detailOf(outcome)->subjects)
            read << QString::number(s->ratio, 'g', 17);
        QCOMPARE(read, sent);
    }

    void rejectedRequestKeepsPrevious_data()
    {
        QTest::addColumn<int>("type");        // query type, or data type of an upload
        QTest::addColumn<int>("operateType"); // 0 for a query
        QTest::addColumn<QString>("key");
        QTest::addColumn<Rows>("rows"); // of an upload
        QTest::addColumn<QStringList>("messageParts");

        const QString citic("1____CITIC");
        QTest::newRow("unknown query type") << 1 << 0 << "" << Rows() << QStringList{"不支持的查询类型: 1"};
        for (const char* key : {"7___ABC", "2147483648____A", "-____A", " 1____A"})
            QTest::addRow("malformed key \"%s\"", key)
                << 12295 << 0 << key << Rows() << QStringList{"查询条件格式错误"};
        // The broker key reads back unchanged in the message; the id keeps a fifth underscore.
        for (const char* key : {"7____ABC", "0____", "1_____CITIC"})
            QTest::addRow("unknown broker \"%s\"", key)
                << 12295 << 0 << key << Rows() << QStringList{QString("未找到券商: ") + key};
        QTest::newRow("upload, unknown id with -1")
            << 12295 << 2 << "-1____NOPE" << withRatios({0.5}) << QStringList{"未找到券商: -1____NOPE"};
        QTest::newRow("upload, number and id of different brokers")
            << 12295 << 2 << "2____CITIC" << withRatios({0.5}) << QStringList{"未找到券商: 2____CITIC"};
        QTest::newRow("operate type 1") << 12295 << 1 << citic << withRatios({0.5})
                                        << QStringList{"不支持的操作类型: 1"};
        QTest::newRow("data type 12294") << 12294 << 2 << citic << withRatios({0.5})
                                         << QStringList{"不支持的数据类型: 12294"};
        QTest::newRow("only null subjects")
            << 12295 << 2 << citic << withRatios({QVariant(), QVariant()}) << QStringList{"上传内容为空"};
        QTest::newRow("65 instead of 0.65 in the middle") << 12295 << 2 << citic << withRatios({0.5, 0.6, 65.0, 0.4})
                                                          << QStringList{"第3条", "300750", "宁德时代", "65", "0 到 1"};
        QTest::newRow("every bad ratio named") << 12295 << 2 << citic << withRatios({0.5, -5.0, 1e308, 0.4})
                                               << QStringList{"(2 条)", "第2条 深交所 000858 五粮液 的折算率 -5",
                                                              "第3条 深交所 300750 宁德时代 的折算率 1e+308"};
        QTest::newRow("just past either end, named to the last digit")
            << 12295 << 2 << citic << withRatios({0.5, 1.0000000000000002, -std::numeric_limits<double>::denorm_min()})
            << QStringList{"(2 条)", "的折算率 1.0000000000000002 超出范围", "的折算率 -5e-324 超出范围"};
        QTest::newRow("not a number") << 12295 << 2 << citic
                                      << withRatios({0.5, std::numeric_limits<double>::quiet_NaN()})
                                      << QStringList{"第2条", "不是有效数字"};
        Rows twice = sampleRows();
        twice.push_back(row("深交所", "000858", "五粮液", 0.3));
        QTest::newRow("one security twice, named by both rows")
            << 12295 << 2 << citic << twice
            << QStringList{"同一证券出现多次 (1 条): 第6条 深交所 000858 五粮液 (与第2条重复)"};

        // Text an engine cannot store as it is, in the second row: refused alike on every engine
        // before anything is written, quoting none of it (none of the "坏" around it).
        using rqservice::CStkSubjects;
        using namespace std::string_literals;
        const QString utf8("证券名称含有无法保存的字符: 无效的 UTF-8 编码");
        const struct
        {
            const char* name;
            std::string CStkSubjects::*field;
            std::string text;
            QString reason;
        } unstorable[] = {
            {"NUL in a name", &CStkSubjects::stockName, "坏名\0字"s,
             "第2条 (证券代码 000858) 的证券名称含有无法保存的字符: 空字符"},
            {"NUL in a code", &CStkSubjects::stockCode, "坏\0"s, "第2条的证券代码含有无法保存的字符: 空字符"},
            {"unpaired surrogate in a name", &CStkSubjects::stockName, "坏名\xED\xA0\x80",
             "证券名称含有无法保存的字符: 不成对的代理字符"},
            {"UTF-8 cut short in an exchange", &CStkSubjects::exchangeName, "坏\xE6\x89",
             "交易所含有无法保存的字符: 无效的 UTF-8 编码"},
            {"low surrogate in a name", &CStkSubjects::stockName, "坏\xED\xBF\xBF", "不成对的代理字符"},
            {"overlong NUL", &CStkSubjects::stockName, "坏\xC0\x80", utf8},
            {"overlong three bytes", &CStkSubjects::stockName, "坏\xE0\x80\x80", utf8},
            {"beyond U+10FFFF", &CStkSubjects::stockName, "坏\xF4\x90\x80\x80", utf8},
            {"cut short before more text", &CStkSubjects::stockName, "坏\xE6\x89\x41", utf8},
            {"stray continuation byte", &CStkSubjects::stockName, "坏\x80", utf8},
            {"a byte no UTF-8 has", &CStkSubjects::stockName, "坏\xF8\x88\x80\x80\x80", utf8},
        };
        for (const auto& odd : unstorable) {
            Rows rows = sampleRows();
            (*rows[1]).*odd.field = odd.text;
            QTest::newRow(odd.name) << 12295 << 2 << citic << rows << QStringList{odd.reason, "未做任何改动"};
        }
        QTest::newRow("NUL in the broker id") << 12295 << 2 << QString::fromStdString("1____坏\0"s) << sampleRows()
                                              << QStringList{"券商代码含有无法保存的字符: 空字符", "未做任何改动"};
    }

    // A refused request names its reason, returns no records, and leaves the last upload as it was.
    void rejectedRequestKeepsPrevious()
    {
        QFETCH(int, type);
        QFETCH(int, operateType);
        QFETCH(QString, key);
        QFETCH(Rows, rows);
        QFETCH(QStringList, messageParts);

        const auto before = state();
        QVERIFY(before.first.size() >= 20);
        utils::RQError error;
        if (operateType == 0) {
            const QueryOutcome outcome = queryService(*m_service, type, key.toStdString());
            QVERIFY(outcome.records.empty());
            error = outcome.error;
        } else {
            const auto request = uploadFor(key, rows);
            request->dataType = type;
            request->operateType = operateType;
            error = operateService(*m_service, request);
        }
        QVERIFY(!error.isSuccess());
        const QString message = QString::fromStdString(error.errorMsg());
        for (const QString& part : messageParts)
            QVERIFY2(message.contains(part), qPrintable(message));
        QVERIFY2(!message.contains(QStringLiteral("坏")), qPrintable(message));
        QCOMPARE(state(), before);
    }

    // An upload whose third row fails names the reason and keeps not one of its rows; the service
    // writes again once the fault is gone.
    void failedRowLosesNothing()
    {
        if (onPostgres())
            QSKIP("SQLite's own faults; the server's are in tst_postgresdataservice");
        const auto before = state();
        runOnDatabase({"CREATE TRIGGER fail_third BEFORE INSERT ON ratios WHEN NEW.line_no = 3 BEGIN "
                       "SELECT RAISE(ABORT, 'disk I/O error'); END"});
        const utils::RQError error = operateService(*m_service, uploadRequest(1, "CITIC", sampleRows()));
        QVERIFY2(!error.isSuccess() && error.errorMsg().find("disk I/O error") != std::string::npos,
                 error.errorMsg().c_str());
        QCOMPARE(state(), before);

        runOnDatabase({"DROP TRIGGER fail_third"});
        QVERIFY(operateService(*m_service, uploadRequest(1, "CITIC", sampleRows())).isSuccess());
        QCOMPARE(state().first.size(), 5);
    }

    void concurrentUploads_data()
    {
        QTest::addColumn<int>("rows");             // of each upload
        QTest::addColumn<bool>("held");            // CITIC's first upload holds its broker past the others' time limit
        QTest::addColumn<QStringList>("sqlite");   // another program's write transaction, open while the
        QTest::addColumn<QStringList>("postgres"); // calls run: on this engine's tables
        QTest::addColumn<int>("holdMs");           // it ends this long after the calls start; -1: once all answered
        QTest::addColumn<QStringList>("told");     // a pattern of what each of the eight uploads is told
        const QStringList sqliteWrite{"BEGIN IMMEDIATE", "INSERT INTO brokers VALUES (99, 'X', 'X')"};
        const QStringList pgWrite{"BEGIN", "INSERT INTO brokers VALUES (99, 'X', 'X')",
                                  "LOCK TABLE uploads IN EXCLUSIVE MODE"};
        const QStringList landed(QVector<QString>(8, "^ok$").toList());
        QStringList queued = landed;
        queued[0] = "连接已断开"; // let go of only when the case ends
        queued[1] = "该券商的另一次上传正在进行, 3 秒内未能完成";
        const QStringList landedOrNothing(QVector<QString>(8, "^ok$|未做任何改动").toList());
        const QStringList nothing(QVector<QString>(8, "未做任何改动").toList());
        QTest::newRow("eight uploads, four brokers, two each")
            << 40000 << false << QStringList() << QStringList() << 0 << landed;
        QTest::newRow("one broker held past the time limit")
            << 50 << true << QStringList() << QStringList() << 0 << queued;
        QTest::newRow("another program writing for a second")
            << 500 << false << sqliteWrite << pgWrite << 1000 << landedOrNothing;
        QTest::newRow("another program writing past the limits")
            << 500 << false << sqliteWrite << pgWrite << -1 << nothing;
    }

    // Eight programs upload at once, two for each of four brokers, while another reads: other
    // brokers' uploads go on while one broker's are queued, and each upload lands whole, or fails
    // within its time limit saying that nothing changed. The history holds exactly the uploads that
    // landed, each broker's detail is one of them, and every read is answered in time with one
    // upload whole: the one before or one that landed.
    void concurrentUploads()
    {
        QFETCH(int, rows);
        QFETCH(bool, held);
        QFETCH(QStringList, sqlite);
        QFETCH(QStringList, postgres);
        QFETCH(int, holdMs);
        QFETCH(QStringList, told);
        if (held && !onPostgres())
            QSKIP("SQLite has one writer at a time: a file held by another program is tst_databasefaults'");
        const size_t before = uploadCount();
        const QString citicBefore = testsupport::citicDetail(*m_service);
        static const std::pair<int, const char*> brokers[] = {{1, "CITIC"}, {2, "HTSC"}, {3, "GTJA"}, {4, "CMS"}};
        std::vector<std::unique_ptr<CEmbeddedDataService>> programs;
        std::vector<boost::shared_ptr<testsupport::PendingUpload>> uploads;
        auto start = [&](int i) {
            programs.emplace_back(new CEmbeddedDataService(m_location));
            const Rows same = testsupport::uniformRows(rows + i, (i + 1) / 10.0);
            const auto& broker = brokers[i / 2];
            uploads.push_back(
                testsupport::startUpload(*programs.back(), uploadRequest(broker.first, broker.second, same)));
        };
        const QString sleeper("SELECT pid FROM pg_stat_activity WHERE wait_event = 'PgSleep'");
        std::unique_ptr<testsupport::ScopedTimeouts> limits;
        if (held) {
            // CITIC's first upload stops on its upload row, holding CITIC, with time enough to spare.
            runOnDatabase(
                {"CREATE SEQUENCE gate", "GRANT ALL ON SEQUENCE gate TO credit",
                 "CREATE FUNCTION hold() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN IF NEW.broker_key_no = 1 "
                 "AND nextval('gate') = 1 THEN PERFORM pg_sleep(60); END IF; RETURN NEW; END $$",
                 "CREATE TRIGGER hold BEFORE INSERT ON uploads FOR EACH ROW EXECUTE FUNCTION hold()"});
            limits.reset(new testsupport::ScopedTimeouts(20000, 20000));
            start(0);
            QTRY_VERIFY(!testsupport::CPgTestServer::scalar("postgres", sleeper).isEmpty());
            limits.reset();
        }
        const bool busy = holdMs != 0;
        if (held || busy)
            limits.reset(new testsupport::ScopedTimeouts(2000, 3000));
        OtherProgram other(m_location, onPostgres() ? postgres : sqlite);
        QElapsedTimer clock;
        clock.start();
        for (int i = held ? 1 : 0; i < 8; ++i)
            start(i);
        CEmbeddedDataService reader(m_location);
        const testsupport::TimedCall summary = testsupport::timedSummary(reader);
        QSet<QString> read; // CITIC's detail, as read while the uploads go on
        const auto going = [&] {
            return std::any_of(uploads.begin() + (held ? 1 : 0), uploads.end(),
                               [](const auto& u) { return !u->answers; });
        };
        do {
            read.insert(testsupport::citicDetail(reader));
            if (holdMs > 0 && clock.elapsed() >= holdMs)
                other.end();
        } while (going());
        for (int i = held ? 1 : 0; i < 8; ++i)
            programs[size_t(i)]->waitIdle();
        const qint64 waited = clock.elapsed();
        other.end();
        if (held) {
            QVERIFY(testsupport::CPgTestServer::exec(
                "postgres", {QStringLiteral("SELECT pg_terminate_backend(pid) FROM (%1) s").arg(sleeper)}));
            programs.front()->waitIdle();
            QVERIFY2(waited >= 2000 && waited < 3000 + testsupport::kAnswerSlackMs,
                     qPrintable(QString::number(waited)));
        }

        std::map<int, QStringList> landed;
        int count = 0;
        for (int i = 0; i < 8; ++i) {
            const auto& upload = *uploads[size_t(i)];
            QCOMPARE(upload.answers.load(), 1);
            const QString outcome = testsupport::outcomeText(upload.error);
            QVERIFY2(outcome.contains(QRegularExpression(told[i])),
                     qPrintable(QStringLiteral("%1: %2").arg(i).arg(outcome)));
            if (held || busy)
                QVERIFY2((held && i == 0) || upload.answeredMs < 3000 + testsupport::kAnswerSlackMs,
                         qPrintable(QStringLiteral("%1: %2 ms").arg(i).arg(upload.answeredMs.load())));
            if (outcome == "ok") {
                landed[brokers[i / 2].first] << QStringLiteral("%1 x %2").arg(rows + i).arg((i + 1) / 10.0);
                ++count;
            }
        }
        QVERIFY2(summary.outcome == "ok 6" && summary.answeredMs < 2000 + testsupport::kAnswerSlackMs,
                 qPrintable(QStringLiteral("%1 after %2 ms").arg(summary.outcome).arg(summary.answeredMs)));
        for (const QString& whole : read)
            QVERIFY2(whole == citicBefore || landed[1].contains(whole), qPrintable(whole));
        QCOMPARE(uploadCount(), before + size_t(count));
        for (const auto& [keyNo, id] : brokers) {
            const auto detail = detailOf(queryService(*m_service, 12295, std::to_string(keyNo) + "____" + id));
            QVERIFY(detail && !detail->subjects.empty());
            const QString shown =
                QStringLiteral("%1 x %2").arg(detail->subjects.size()).arg(detail->subjects.back()->ratio);
            QVERIFY2(landed[keyNo].isEmpty() || landed[keyNo].contains(shown), qPrintable(shown));
        }
        // Once the other program has let go, the next upload lands.
        QVERIFY(operateService(*m_service, uploadRequest(1, "CITIC", testsupport::uniformRows(3, 0.5))).isSuccess());
    }

    void uploadPastItsLimitNeverLands_data()
    {
        QTest::addColumn<int>("rows");
        QTest::addColumn<int>("latencyMs");        // of the service thread, before each call it runs
        QTest::addColumn<QStringList>("sqlite");   // what makes the engine slow; neither: the service is
        QTest::addColumn<QStringList>("postgres"); // none for an engine: not a case of that engine
        QTest::addColumn<int>("busyMs");           // the service's thread may stay busy after the answer
        QTest::addColumn<QString>("told");
        const QString unchanged = QStringLiteral("数据库未在 0.3 秒内应答, 未做任何改动");
        QTest::newRow("expired while queued") << 2000 << 800 << QStringList() << QStringList() << 1000 << unchanged;
        // Each row takes the engine a few milliseconds: seconds of writing, broken off at the deadline.
        QTest::newRow("expired while writing")
            << 2000 << 0
            << QStringList{"CREATE TRIGGER slow BEFORE INSERT ON ratios BEGIN SELECT count(*) "
                           "FROM ratios a, brokers b, brokers c, brokers d LIMIT 1; END"}
            << QStringList{"CREATE FUNCTION slow() RETURNS trigger LANGUAGE plpgsql AS "
                           "$$ BEGIN PERFORM pg_sleep(0.002); RETURN NEW; END $$",
                           "CREATE TRIGGER slow BEFORE INSERT ON ratios FOR EACH ROW EXECUTE FUNCTION slow()"}
            << 1000 << unchanged;
        // A statement of a few long steps outlives SQLite's interrupt: the deadline falls before the commit.
        QStringList steps;
        for (int i = 0; i < 30; ++i)
            steps << "length(hex(zeroblob(NEW.line_no * 3000000)))";
        QTest::newRow("expired before its commit")
            << 1 << 0
            << QStringList{"CREATE TRIGGER slow BEFORE INSERT ON ratios BEGIN SELECT " + steps.join(" + ") + "; END"}
            << QStringList() << 10000 << unchanged;
        // The server is told to commit; whether it did cannot be known once the connection is cut.
        QTest::newRow("expired while committing")
            << 1 << 0 << QStringList()
            << QStringList{"CREATE FUNCTION slow() RETURNS trigger LANGUAGE plpgsql AS "
                           "$$ BEGIN PERFORM pg_sleep(2); RETURN NULL; END $$",
                           "CREATE CONSTRAINT TRIGGER slow AFTER INSERT ON uploads DEFERRABLE INITIALLY DEFERRED "
                           "FOR EACH ROW EXECUTE FUNCTION slow()"}
            // The server's own statement limit ends the commit first: it rolls back, for certain.
            << 1000 << QStringLiteral("数据库未在 0.3 秒内应答, 未做任何改动");
    }

    // An upload whose time is up, wherever it is, is answered then and once; told that nothing
    // changed, it never lands afterwards.
    void uploadPastItsLimitNeverLands()
    {
        QFETCH(int, rows);
        QFETCH(int, latencyMs);
        QFETCH(QStringList, sqlite);
        QFETCH(QStringList, postgres);
        QFETCH(int, busyMs);
        QFETCH(QString, told);
        const QStringList slow = onPostgres() ? postgres : sqlite;
        if (slow.isEmpty() && latencyMs == 0)
            QSKIP("not a case of this engine");
        const auto before = state();
        runOnDatabase(slow);
        m_service->setLatencyMs(latencyMs);
        const testsupport::ScopedTimeouts limits(5000, 300);
        const testsupport::TimedCall call =
            testsupport::timedUpload(*m_service, uploadRequest(1, "CITIC", testsupport::uniformRows(rows, 0.3)));
        m_service->setLatencyMs(0);
        QVERIFY2(call.outcome.contains(told), qPrintable(call.outcome));
        QVERIFY2(call.answeredMs < 300 + testsupport::kAnswerSlackMs, qPrintable(QString::number(call.answeredMs)));
        QVERIFY2(call.busyAfterMs < busyMs, qPrintable(QString::number(call.busyAfterMs)));
        if (told.contains(QStringLiteral("未做任何改动")))
            QCOMPARE(state(), before);
    }

    void heldByAnotherProgram_data()
    {
        QTest::addColumn<QString>("hold");     // what the other program runs and keeps open
        QTest::addColumn<QString>("read");     // the summary's outcome, or part of its message
        QTest::addColumn<QString>("uploaded"); // a pattern of the upload's message
        const char* const busy = "占用|未在 2 秒内应答";
        // name, hold, read, uploaded
        const char* const rows[][4] = {
            {"SQLite: exclusive transaction", "BEGIN EXCLUSIVE", "占用", busy},
            {"SQLite: write transaction", "BEGIN IMMEDIATE; INSERT INTO brokers VALUES (99, 'X', 'X')", "ok 6", busy},
            {"SQLite: reader at commit", "BEGIN; SELECT count(*) FROM ratios", "ok 6", busy},
            {"PostgreSQL: a reader's share lock on the ratios", "BEGIN; LOCK TABLE ratios IN SHARE MODE", "ok 6",
             "保存上传数据失败"},
            {"PostgreSQL: a table locked whole", "BEGIN; LOCK TABLE uploads IN ACCESS EXCLUSIVE MODE",
             "数据库未在 1 秒内应答, 未做任何改动", "保存上传数据失败"},
        };
        for (const auto& held : rows)
            QTest::newRow(held[0]) << QString(held[1]) << QString(held[2]) << QString(held[3]);
    }

    // While another program holds the database past a call's time limit, a query reads or says
    // that it waited, and an upload says within its limit that nothing was changed and writes
    // nothing. The service's thread is free within a second of each answer, while the other still
    // holds on, so the next call starts at once; once the other lets go, the next upload lands.
    void heldByAnotherProgram()
    {
        QFETCH(QString, hold);
        QFETCH(QString, read);
        QFETCH(QString, uploaded);
        if (!QString(QTest::currentDataTag()).startsWith(onPostgres() ? "PostgreSQL" : "SQLite"))
            QSKIP("another engine's case");
        const auto before = state();
        const QByteArray original = snapshot();
        OtherProgram other(m_location, hold.split(';', Qt::SkipEmptyParts));
        const testsupport::ScopedTimeouts limits(1000, 2000);
        const testsupport::TimedCall summary = testsupport::timedSummary(*m_service);
        // Large enough that its pages outgrow SQLite's cache before the commit.
        const testsupport::TimedCall upload =
            testsupport::timedUpload(*m_service, uploadRequest(1, "CITIC", testsupport::uniformRows(100000, 0.9)));
        other.end();

        QVERIFY2(summary.outcome.contains(read), qPrintable(summary.outcome));
        QVERIFY2(upload.outcome.contains(QRegularExpression(uploaded)) && upload.outcome.contains("未做任何改动"),
                 qPrintable(upload.outcome));
        QVERIFY2(summary.answeredMs < 1000 + testsupport::kAnswerSlackMs,
                 qPrintable(QString::number(summary.answeredMs)));
        QVERIFY2(upload.answeredMs < 2000 + testsupport::kAnswerSlackMs,
                 qPrintable(QString::number(upload.answeredMs)));
        QVERIFY2(summary.busyAfterMs < 1000 && upload.busyAfterMs < 1000,
                 qPrintable(QStringLiteral("%1, %2").arg(summary.busyAfterMs).arg(upload.busyAfterMs)));
        QCOMPARE(snapshot(), original);
        QCOMPARE(state(), before);
        QVERIFY(operateService(*m_service, uploadRequest(1, "CITIC", testsupport::uniformRows(3, 0.5))).isSuccess());
        QCOMPARE(testsupport::citicDetail(*m_service), QStringLiteral("3 x 0.5"));
    }

    void foreignDatabaseRefusedUntouched_data()
    {
        QTest::addColumn<QStringList>("schema"); // what another program keeps in a new database
        QTest::addColumn<bool>("readOnly");      // opened as the preview opens it
        QTest::addColumn<QString>("reason");
        const QString foreign("不是本程序的数据库");
        for (const bool readOnly : {false, true}) {
            const char* how = readOnly ? ", read-only" : "";
            QTest::addRow("another program's table%s", how)
                << QStringList{"CREATE TABLE orders (id INTEGER, item TEXT)", "INSERT INTO orders VALUES (1, 'tea')"}
                << readOnly << foreign;
            QTest::addRow("one of our tables' names, other columns%s", how)
                << QStringList{"CREATE TABLE brokers (id INTEGER, name TEXT)", "INSERT INTO brokers VALUES (1, 'x')"}
                << readOnly << foreign;
        }
        QTest::newRow("another table beside one of ours")
            << QStringList{"CREATE TABLE brokers (x INTEGER)", "CREATE TABLE notes (t TEXT)",
                           "INSERT INTO notes VALUES ('a')"}
            << false << foreign;
        QTest::newRow("one of our tables with a column more")
            << QStringList{"CREATE TABLE brokers (broker_key_no INTEGER, broker_id TEXT, broker_name TEXT, region "
                           "TEXT)"}
            << false << foreign;
        QTest::newRow("SQLite: another table, a user version of its own")
            << QStringList{"CREATE TABLE orders (id INTEGER)", "PRAGMA user_version = 7"} << false << foreign;
        QTest::newRow("an empty database, read-only") << QStringList() << true << QString("没有本程序的数据表");
    }

    // A database that is not this program's is neither adopted nor touched: every call says why.
    // Opened for reading only, an empty one is refused too.
    void foreignDatabaseRefusedUntouched()
    {
        QFETCH(QStringList, schema);
        QFETCH(bool, readOnly);
        QFETCH(QString, reason);
        if (onPostgres() && QString(QTest::currentDataTag()).startsWith("SQLite"))
            QSKIP("a SQLite file's own case");
        m_service.reset();
        runOnDatabase(schema); // on SQLite, an empty database is a file of no bytes
        checkRefusedUntouched(readOnly, reason);
    }

    void newerVersionRefusedUntouched_data()
    {
        QTest::addColumn<bool>("readOnly");
        QTest::newRow("opened to write") << false;
        QTest::newRow("opened read-only") << true;
    }

    // This program's database as a newer version left it is read by no call and left as it was.
    void newerVersionRefusedUntouched()
    {
        QFETCH(bool, readOnly);
        QVERIFY(state().second > 0);
        m_service.reset();
        runOnDatabase({onPostgres() ? "UPDATE credit_schema SET version = 99" : "PRAGMA user_version = 99"});
        checkRefusedUntouched(readOnly, "由更新版本的程序写入 (数据库版本 99");
    }

    void unreadableFileRefusedUntouched_data()
    {
        QTest::addColumn<FileBytes>("file");
        QTest::addColumn<bool>("readOnly");
        QTest::addColumn<QString>("reason");
        const auto cut = [](int kept) { return FileBytes([kept](const QByteArray& ours) { return ours.left(kept); }); };
        const FileBytes garbage = [](const QByteArray&) { return QByteArray(8192, 'Z'); };
        QTest::newRow("not a database") << garbage << false << "损坏";
        QTest::newRow("not a database, read-only") << garbage << true << "损坏";
        QTest::newRow("an empty file, read-only") << cut(0) << true << "没有本程序的数据表";
        // Damaged after it was written: nothing the user might recover is lost.
        QTest::newRow("pages after the first overwritten") << FileBytes([](const QByteArray& ours) {
            return ours.left(4096) + QByteArray(ours.size() - 4096, char(0xA5));
        }) << false << "损坏";
        QTest::newRow("cut after the first page") << cut(4096) << false << "损坏";
        QTest::newRow("cut in the header page") << cut(60) << false << "损坏";
    }

    // A file whose bytes are no database of this program's is refused by every call and left as it was.
    void unreadableFileRefusedUntouched()
    {
        QFETCH(FileBytes, file);
        QFETCH(bool, readOnly);
        QFETCH(QString, reason);
        if (onPostgres())
            QSKIP("a SQLite file's own case");
        QVERIFY(state().second > 0);
        m_service.reset();
        QVERIFY(testsupport::writeFile(m_location, file(testsupport::readFile(m_location))));
        checkRefusedUntouched(readOnly, reason);
    }

    // Read-only, with no file nor folder there: refused, and nothing is made.
    void missingFileNotMadeReadOnly()
    {
        if (onPostgres())
            QSKIP("a SQLite file's own case");
        m_service.reset();
        m_location = m_dir->filePath("gone/credit.sqlite");
        checkRefusedUntouched(true, "打开数据库失败");
    }

    void uploadStampedInItsDatabasesZone_data()
    {
        QTest::addColumn<QString>("zone"); // the client's, and on PostgreSQL the database's too
        QTest::newRow("UTC") << "UTC";
        QTest::newRow("eight hours ahead") << "Asia/Shanghai";
        QTest::newRow("fourteen hours ahead") << "Pacific/Kiritimati";
        QTest::newRow("behind, with summer time") << "America/Los_Angeles";
    }

    // An upload's date and time are the moment it was stored, on the database's clock in its
    // zone (a file's: the client's), whichever zone the uploading client's session asks for;
    // the summary dates the broker by that day, and trades on the client's.
    void uploadStampedInItsDatabasesZone()
    {
        QFETCH(QString, zone);
        const QByteArray savedZone = qgetenv("TZ");
        const auto restore = qScopeGuard([&] {
            qunsetenv("PGTZ");
            qputenv("TZ", savedZone);
        });
        qputenv("TZ", zone.toUtf8());
        if (onPostgres())
            runOnDatabase({QStringLiteral("ALTER DATABASE %1 SET timezone TO '%2'")
                               .arg(testsupport::CPgTestServer::databaseOf(m_location), zone)});
        QVERIFY(queryService(*m_service, 12294).error.isSuccess()); // the tables made in the database's zone
        qputenv("PGTZ", "Etc/GMT+12");
        CEmbeddedDataService client(m_location);
        const QDateTime before = QDateTime::currentDateTimeUtc();
        QVERIFY(operateService(client, uploadRequest(1, "CITIC", sampleRows())).isSuccess());
        const QDateTime after = QDateTime::currentDateTimeUtc();
        const auto uploads = testsupport::historyOf(client, "1____CITIC", 1).history.uploads;
        QVERIFY(!uploads.empty());
        const QString date = QString::fromStdString(uploads.front().date);
        const QString time = QString::fromStdString(uploads.front().time);
        const QDateTime stamp(QDate::fromString(date, "yyyyMMdd"), QTime::fromString(time, "HHmmss"),
                              QTimeZone(zone.toUtf8()));
        QVERIFY2(stamp.toSecsSinceEpoch() >= before.toSecsSinceEpoch() && stamp <= after,
                 qPrintable(date + ' ' + time + " for " + before.toString(Qt::ISODate)));
        const QStringList days{
            CEmbeddedDataService::tradingDay(before.toTimeZone(QTimeZone(zone.toUtf8())).date()).toString("yyyyMMdd"),
            CEmbeddedDataService::tradingDay(QDate::currentDate()).toString("yyyyMMdd")};
        for (const rqservice::IDataPtr& record : queryService(client, 12294).records) {
            const auto info = boost::dynamic_pointer_cast<rqservice::CVoprCvionRateBaseInfo>(record);
            QVERIFY(info && days.contains(QString::fromStdString(info->tradingDay)));
            if (info->brokerKeyNo == 1)
                QCOMPARE(QString::fromStdString(info->lastUploadDate), date);
        }
    }

    // A weekend day trades as the Friday before it.
    void tradingDay()
    {
        QCOMPARE(CEmbeddedDataService::tradingDay(QDate(2024, 3, 9)), QDate(2024, 3, 8));   // saturday
        QCOMPARE(CEmbeddedDataService::tradingDay(QDate(2024, 6, 2)), QDate(2024, 5, 31));  // sunday, across a month
        QCOMPARE(CEmbeddedDataService::tradingDay(QDate(2024, 3, 11)), QDate(2024, 3, 11)); // monday
    }

private:
    // What every call of a service opened on the database says, and that the database stays as it was.
    void checkRefusedUntouched(bool readOnly, const QString& reason)
    {
        const QByteArray original = snapshot();
        m_service.reset(new CEmbeddedDataService(m_location, 0,
                                                 readOnly ? CEmbeddedDataService::EAccess::ReadOnly
                                                          : CEmbeddedDataService::EAccess::ReadWrite));
        const QStringList outcomes = testsupport::everyCall(*m_service);
        // The upload of a read-only service is refused before the database is opened.
        for (const QString& outcome : outcomes.mid(0, readOnly ? 2 : 3))
            QVERIFY2(outcome.contains(reason), qPrintable(outcome));
        QVERIFY2(!readOnly || outcomes.last().startsWith("无权上传"), qPrintable(outcomes.last()));
        m_service.reset();
        QCOMPARE(snapshot(), original);
    }
    // Runs SQL on the service's database as another program would.
    void runOnDatabase(const QStringList& statements) { OtherProgram(m_location, statements).end(); }
    // The database as another program sees it: its tables and columns on the server, its bytes
    // (and any journal beside them) in a file.
    QByteArray snapshot() const
    {
        if (onPostgres())
            return testsupport::CPgTestServer::scalar(
                       testsupport::CPgTestServer::databaseOf(m_location),
                       "SELECT count(*) || ':' || coalesce(string_agg(table_schema || '.' || table_name || '.' || "
                       "column_name, ',' ORDER BY table_name, column_name), '') FROM information_schema.columns "
                       "WHERE table_schema NOT IN ('pg_catalog', 'information_schema')")
                .toUtf8();
        const QByteArray none = QFileInfo::exists(QFileInfo(m_location).path()) ? "no file" : "no folder";
        return (QFile::exists(m_location) ? testsupport::readFile(m_location) : none) +
               (QFile::exists(m_location + "-journal") ? "+journal" : "");
    }
    // The previous upload, as a failed request must leave it: CITIC's detail and its uploads.
    QPair<QStringList, size_t> state() const
    {
        return {detailLines(queryService(*m_service, 12295, "1____CITIC")),
                testsupport::historyOf(*m_service, "1____CITIC").history.uploads.size()};
    }
    std::vector<rqservice::CStkSubjectsPtr> uploadRowsOf(const std::string& key, long long id) const
    {
        auto rows = boost::make_shared<std::vector<rqservice::CStkSubjectsPtr>>();
        m_service->uploadRows(
            key, id, [rows](const utils::RQError&, const std::vector<rqservice::CStkSubjectsPtr>& r) { *rows = r; });
        m_service->waitIdle();
        return *rows;
    }
    // Every upload of the demo's first four brokers.
    size_t uploadCount() const
    {
        size_t count = 0;
        for (const char* key : {"1____CITIC", "2____HTSC", "3____GTJA", "4____CMS"})
            count += testsupport::historyOf(*m_service, key).history.uploads.size();
        return count;
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_location; // the file, or the URI of a new PostgreSQL database
    std::unique_ptr<CEmbeddedDataService> m_service;
};

QTEST_GUILESS_MAIN(TestEmbeddedDataService)
#include "tst_embeddeddataservice.moc"
