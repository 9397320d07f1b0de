#include "upload/conversionfile.h"
#include "upload/creditdatasendfiledialog.h"
#include "upload/uploadrequest.h"
#include "uploadchanges.h"

#include "pgtestserver.h"
#include "scriptedservice.h"
#include "servicecalls.h"
#include "standintoolkit.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <boost/pointer_cast.hpp>

#include <cmath>

namespace {

const QString kSource = QString::fromLocal8Bit(qgetenv("SOURCE_DIR"));

// "SH 600000 name 0.5; ..." to rows of broker 1 ("null": an empty pointer).
std::vector<rqservice::CStkSubjectsPtr> subjectRows(const QString& text)
{
    std::vector<rqservice::CStkSubjectsPtr> rows;
    for (const QString& item : text.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QStringList f = item.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        rows.push_back(f.size() < 4 ? nullptr
                                    : testsupport::makeSubject(1, "CITIC", f[0].toStdString(), f[1].toStdString(),
                                                               f[2].toStdString(), f[3].toDouble()));
    }
    return rows;
}

// "-SH 600000 0.5!" removed, "~SH 600000 0.5>0.6" changed, "+SH 600000 0.6" added, in the
// order given, then "=<unchanged>"; "!" marks a warning, "name A>B" a new name.
QString changesLine(const DVK::UploadChanges& changes)
{
    QStringList out;
    const auto add = [&out](const char* sign, const DVK::SecurityChange& c) {
        const rqservice::CStkSubjects& r = c.row();
        QString item = QStringLiteral("%1%2 %3 ").arg(QLatin1String(sign), QString::fromStdString(r.exchangeName),
                                                      QString::fromStdString(r.stockCode));
        item += c.before && c.after ? QStringLiteral("%1>%2").arg(c.oldRatio()).arg(c.newRatio())
                                    : QString::number(c.before ? c.oldRatio() : c.newRatio());
        if (c.warning)
            item += QLatin1Char('!');
        if (c.nameChanged())
            item += QStringLiteral(" name %1>%2").arg(QString::fromStdString(c.before->stockName),
                                                       QString::fromStdString(c.after->stockName));
        out << item;
    };
    for (const auto& c : changes.removed)
        add("-", c);
    for (const auto& c : changes.changed)
        add("~", c);
    for (const auto& c : changes.added)
        add("+", c);
    out << QStringLiteral("=%1").arg(changes.unchanged);
    return out.join(QLatin1Char(' '));
}

bool onPostgres()
{
    return qEnvironmentVariable("CREDITDATA_TEST_ENGINE") == QLatin1String("postgresql");
}

// Exchange and code to ratio, as the dialog would send the file for broker 1.
QMap<QString, double> sentRatios(const QString& path, boost::shared_ptr<rqservice::COperateDataReq>* request = nullptr)
{
    const DVK::ConversionFileLines content = DVK::readConversionFile(path);
    const DVK::UploadRequestPlan plan =
        DVK::buildUploadRequest(content.lines, content.separator, {1, "CITIC", "中信证券"});
    QMap<QString, double> ratios;
    for (const auto& s : plan.detail->subjects)
        ratios.insert(QString::fromStdString(s->exchangeName + " " + s->stockCode), s->ratio);
    if (request)
        *request = plan.request;
    return ratios;
}

// One line per subject, as both sides can say it.
QString subjectLine(const QString& exchange, const QString& code, const QString& name, double ratio)
{
    return QStringLiteral("%1|%2|%3|%4").arg(exchange, code, name).arg(ratio, 0, 'g', 17);
}

} // namespace

class TestCreditDataPreview : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase() { standin::setMessageInterceptor(standin::MessageInterceptor()); }
    void agreesWithDialog_data();
    void agreesWithDialog();
    void comparesAsStored_data();
    void comparesAsStored();
    void changesAgainstServer_data();
    void changesAgainstServer();

private:
    QStringList m_messages;
    QTemporaryDir m_dir;
};

void TestCreditDataPreview::initTestCase()
{
    standin::setMessageInterceptor([this](const standin::MessageRecord& record) {
        if (record.kind == standin::MessageRecord::ServerMessage)
            m_messages << record.text;
        return int(QMessageBox::Ok);
    });
}

void TestCreditDataPreview::agreesWithDialog_data()
{
    QTest::addColumn<QString>("path");

    const QString source = kSource;
    QDir examples(source + QStringLiteral("/examples"));
    for (const QString& name : examples.entryList(QDir::Files))
        QTest::newRow(qPrintable(QStringLiteral("examples/") + name)) << examples.filePath(name);
    // Workbooks from every writer the readers are tried with, hostile ones included.
    QDir workbooks(source + QStringLiteral("/tests/host/toolkit/workbook/data"));
    for (const QString& name : workbooks.entryList(QDir::Files))
        QTest::newRow(qPrintable(QStringLiteral("workbook/") + name)) << workbooks.filePath(name);
    QTest::newRow("nothing usable") << "@none.csv";
}

// The preview's JSON says exactly what the dialog sends for the same file, or the message it shows.
void TestCreditDataPreview::agreesWithDialog()
{
    QFETCH(QString, path);
    if (path.startsWith(QLatin1Char('@'))) {
        QFile file(m_dir.filePath(path.mid(1)));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("交易所,代码\nXX,1,x,0.5\n");
        path = file.fileName();
    }

    QProcess preview;
    preview.start(QStringLiteral(PREVIEW_PATH),
                  {path, "--json", "--broker-id", "GX", "--broker-name", "国信证券", "--broker-key", "7"});
    QVERIFY(preview.waitForFinished(60000));
    QJsonParseError error;
    const QJsonObject json = QJsonDocument::fromJson(preview.readAllStandardOutput(), &error).object();
    QCOMPARE(error.error, QJsonParseError::NoError);

    auto service = testsupport::CScriptedService::install();
    m_messages.clear();
    DVK::CCreditDataSendFileDialog dialog(nullptr);
    dialog.setBrokerList({testsupport::makeBaseInfo(7, "GX", "国信证券", "20240112", "20240105")});
    dialog.findChild<QLineEdit*>(QStringLiteral("sendFileEdit"))->setText(path);
    QVERIFY(dialog.handleEvent(5, 402, 0, QString(), nullptr));
    // A bomb takes its reader seconds on a busy machine.
    QTRY_VERIFY_WITH_TIMEOUT(!m_messages.isEmpty() || !service->operations().empty(), 60000);

    QStringList previewed;
    for (const QJsonValue& used : json.value(QStringLiteral("used")).toArray()) {
        const QJsonObject o = used.toObject();
        previewed << subjectLine(o.value("exchangeName").toString(), o.value("stockCode").toString(),
                                 o.value("stockName").toString(), o.value("ratio").toDouble());
    }
    QStringList sent;
    if (!service->operations().empty()) {
        const auto detail = boost::dynamic_pointer_cast<rqservice::CVoprCvionRateDetail>(
            service->operations().front()->dataList.front());
        QCOMPARE(detail->brokerKeyNo, 7);
        for (const auto& s : detail->subjects) {
            sent << subjectLine(QString::fromStdString(s->exchangeName), QString::fromStdString(s->stockCode),
                                QString::fromStdString(s->stockName), s->ratio);
        }
    }
    QCOMPARE(previewed, sent);
    const QString shown = sent.isEmpty() ? m_messages.value(0) : QString();
    QCOMPARE(json.value(QStringLiteral("message")).toString(), shown);
    const int exitCode = shown.isEmpty() ? 0 : shown == QStringLiteral("无可用数据") ? 3 : 2;
    QCOMPARE(preview.exitCode(), exitCode);
}

void TestCreditDataPreview::comparesAsStored_data()
{
    QTest::addColumn<QString>("server");
    QTest::addColumn<QString>("file");
    QTest::addColumn<double>("maxChange");
    QTest::addColumn<QString>("expected");

    QTest::newRow("unchanged") << "SH 600000 浦发银行 0.5" << "SH 600000 浦发银行 0.5" << 0.1 << "=1";
    QTest::newRow("empty server: every row added")
        << "" << "SH 600000 浦发银行 0.5; SZ 000001 平安银行 0.6" << 0.1 << "+SH 600000 0.5 +SZ 000001 0.6 =0";
    QTest::newRow("removed: each a warning, largest first")
        << "SH 600000 浦发银行 0.5; SZ 000001 平安银行 0; SZ 000002 万科A 0.7" << "SH 600000 浦发银行 0.5" << 0.1
        << "-SZ 000002 0.7! -SZ 000001 0! =1";
    QTest::newRow("changed ratio: largest first, the limit as written")
        << "SH 600000 a 0.8; SH 600036 b 0.7; SH 600519 c 0.6" << "SH 600000 a 0.7; SH 600036 b 0.4; SH 600519 c 0.6"
        << 0.1 << "~SH 600036 0.7>0.4! ~SH 600000 0.8>0.7 =1";
    QTest::newRow("changed ratio: just past the limit") << "SH 600000 a 0.8" << "SH 600000 a 0.699" << 0.1
                                                        << "~SH 600000 0.8>0.699! =0";
    QTest::newRow("ratio no number") << "SH 600000 a 0.5" << "SH 600000 a nan" << 0.1 << "~SH 600000 0.5>nan! =0";
    QTest::newRow("changed name") << "SH 600000 浦发 0.5" << "SH 600000 浦发银行 0.5" << 0.1
                                  << "~SH 600000 0.5>0.5 name 浦发>浦发银行 =0";
    QTest::newRow("listed twice in the file: the second is added")
        << "SH 600000 a 0.5" << "SH 600000 a 0.5; SH 600000 a 0.6" << 0.1 << "+SH 600000 0.6 =1";
    QTest::newRow("listed twice on the server: the second is removed")
        << "SH 600000 a 0.5; SH 600000 a 0.7" << "SH 600000 a 0.5" << 0.1 << "-SH 600000 0.7! =1";
    QTest::newRow("listed twice on both: the n-th meets the n-th")
        << "SH 600000 a 0.5; SH 600000 a 0.6" << "SH 600000 a 0.6; SH 600000 a 0.5" << 0.1
        << "~SH 600000 0.5>0.6 ~SH 600000 0.6>0.5 =0";
    QTest::newRow("the exchange is part of the key") << "上交所 000001 x 0.5" << "深交所 000001 x 0.5" << 0.1
                                                    << "-上交所 000001 0.5! +深交所 000001 0.5 =0";
    QTest::newRow("null rows skipped") << "null; SH 600000 a 0.5" << "SH 600000 a 0.5; null" << 0.1 << "=1";
}

// Rows meet as the service stores them: by exchange and code, the n-th occurrence with the n-th.
void TestCreditDataPreview::comparesAsStored()
{
    QFETCH(QString, server);
    QFETCH(QString, file);
    QFETCH(double, maxChange);
    QFETCH(QString, expected);
    const auto before = subjectRows(server);
    const auto after = subjectRows(file);
    QCOMPARE(changesLine(DVK::compareUpload(before, after, maxChange)), expected);
}

void TestCreditDataPreview::changesAgainstServer_data()
{
    QTest::addColumn<QString>("uploaded"); // for 中信证券 (CITIC) before the preview; empty: nothing
    QTest::addColumn<QString>("previewed");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("summary"); // the first line of the text

    const QStringList citic{"--broker-name", "中信证券"};
    QTest::newRow("another file against an upload") << "rates_utf8.csv" << "rates.xlsx" << citic << 0
                                                    << "+71 \u221251 ~7 =2";
    QTest::newRow("the same file again") << "rates_utf8.csv" << "rates_utf8.csv" << QStringList{"--broker-id", "CITIC"}
                                         << 0 << "+0 \u22120 ~0 =60";
    QTest::newRow("--strict stops on a removal") << "rates_utf8.csv" << "rates_gbk.csv" << citic + QStringList{"--strict"}
                                                 << 4 << "+34 \u221254 ~3 =3";
    QTest::newRow("a broker with nothing on the server")
        << "" << "rates.xls" << QStringList{"--broker-name", "海通证券"} << 0 << "+50 \u22120 ~0 =0";
    QTest::newRow("no such broker") << "" << "rates.xls" << QStringList{"--broker-name", "无此券商"} << 6 << "";
    QTest::newRow("a file refused") << "rates_utf8.csv" << "README.md" << citic << 2 << "";
    QTest::newRow("a file that sends nothing") << "rates_utf8.csv" << "@none.csv" << citic << 3 << "";
    QTest::newRow("no database there") << "" << "rates.xls" << citic + QStringList{"--db", "@absent"} << 5 << "";
}

// The tool shows what an upload would change on the embedded service's database: counts in the
// text, and in the JSON every old ratio as uploaded and every new one as the file would send it.
void TestCreditDataPreview::changesAgainstServer()
{
    QFETCH(QString, uploaded);
    QFETCH(QString, previewed);
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, summary);

    QTemporaryDir dir;
    const QString database = onPostgres() ? testsupport::CPgTestServer::createDatabase() : dir.filePath("db.sqlite");
    QVERIFY(!database.isEmpty());
    QMap<QString, double> before;
    {
        rqservice::CEmbeddedDataService service(database);
        boost::shared_ptr<rqservice::COperateDataReq> request;
        if (!uploaded.isEmpty())
            before = sentRatios(kSource + "/examples/" + uploaded, &request);
        const utils::RQError made = request ? testsupport::operateService(service, request)
                                            : testsupport::queryService(service, 12294).error;
        QVERIFY2(made.isSuccess(), made.errorMsg().c_str());
    }
    QString path = kSource + "/examples/" + previewed;
    if (previewed.startsWith(QLatin1Char('@'))) {
        QFile file(dir.filePath(previewed.mid(1)));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("交易所,代码\nXX,1,x,0.5\n");
        path = file.fileName();
    }
    const QMap<QString, double> after = sentRatios(path);
    // No database there: a file never made, or a server's database never created.
    arguments.replaceInStrings(QRegularExpression("^@absent$"),
                               onPostgres() ? testsupport::CPgTestServer::uriWithPassword("nosuchdb", "secret")
                                            : dir.filePath("absent.sqlite"));
    arguments = QStringList{path, "--changes", "--db", database} + arguments;

    QProcess text;
    text.start(QStringLiteral(PREVIEW_PATH), arguments);
    QVERIFY(text.waitForFinished(60000));
    QCOMPARE(text.exitCode(), exitCode);
    const QString shown = QString::fromUtf8(text.readAllStandardOutput());
    if (!summary.isEmpty())
        QCOMPARE(shown.section(QLatin1Char('\n'), 0, 0), summary);

    QProcess json;
    json.start(QStringLiteral(PREVIEW_PATH), arguments << "--json");
    QVERIFY(json.waitForFinished(60000));
    QCOMPARE(json.exitCode(), exitCode);
    const QJsonObject changes =
        QJsonDocument::fromJson(json.readAllStandardOutput()).object().value(QStringLiteral("changes")).toObject();
    QCOMPARE(changes.isEmpty(), summary.isEmpty());
    if (summary.isEmpty())
        return;
    const auto rows = [&](const char* kind) { return changes.value(QLatin1String(kind)).toArray(); };
    QCOMPARE(QStringLiteral("+%1 \u2212%2 ~%3 =%4")
                 .arg(rows("added").size())
                 .arg(rows("removed").size())
                 .arg(rows("changed").size())
                 .arg(changes.value(QStringLiteral("unchanged")).toInt()),
             summary);
    for (const char* kind : {"added", "removed", "changed"}) {
        for (const QJsonValue& value : rows(kind)) {
            const QJsonObject o = value.toObject();
            const QString key = o.value("exchange").toString() + " " + o.value("code").toString();
            QCOMPARE(o.value("old").toDouble(qQNaN()), before.value(key, qQNaN()));
            QCOMPARE(o.value("new").toDouble(qQNaN()), after.value(key, qQNaN()));
        }
    }
}

QTEST_MAIN(TestCreditDataPreview)
#include "tst_creditdatapreview.moc"
