#include "upload/conversionfile.h"
#include "upload/creditdatasendfiledialog.h"
#include "upload/uploadrequest.h"
#include "brokerlookup.h"
#include "uploadchanges.h"

#include "pgtestserver.h"
#include "scriptedservice.h"
#include "logcapture.h"
#include "servicecalls.h"
#include "standinservice.h"
#include "testfiles.h"
#include "toolrun.h"
#include "standintoolkit.h"
#include "xlsxwriter.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextCodec>
#include <QtTest>

#include <boost/make_shared.hpp>
#include <boost/pointer_cast.hpp>

#include <utility>
#include <vector>

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
        QString item =
            QStringLiteral("%1%2 %3 ")
                .arg(QLatin1String(sign), QString::fromStdString(r.exchangeName), QString::fromStdString(r.stockCode));
        item += c.before && c.after ? QStringLiteral("%1>%2").arg(c.oldRatio()).arg(c.newRatio())
                                    : QString::number(c.before ? c.oldRatio() : c.newRatio());
        if (c.warning)
            item += QLatin1Char('!');
        if (c.nameChanged())
            item += QStringLiteral(" name %1>%2")
                        .arg(QString::fromStdString(c.before->stockName), QString::fromStdString(c.after->stockName));
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

using testsupport::newDatabase;
using testsupport::onPostgres;
using testsupport::ToolRun;

ToolRun runTool(const QStringList& arguments)
{
    return testsupport::runProgram(QStringLiteral(PREVIEW_PATH), arguments);
}

// A file of the examples, or for "@none.csv" one in dir whose lines name no security.
QString exampleFile(const QString& name, const QTemporaryDir& dir)
{
    if (!name.startsWith(QLatin1Char('@')))
        return kSource + "/examples/" + name;
    const QString path = dir.filePath(name.mid(1));
    return testsupport::writeFile(path, "交易所,代码\nXX,1,x,0.5\n") ? path : QString();
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

// "+a −r ~c =u": what an upload adds, removes, changes and leaves as it was.
QString countsLine(int added, int removed, int changed, int unchanged)
{
    return QStringLiteral("+%1 \u2212%2 ~%3 =%4").arg(added).arg(removed).arg(changed).arg(unchanged);
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
    void saysWhatTheFileHolds_data();
    void saysWhatTheFileHolds();
    void brokerLookup_data();
    void brokerLookup();
    void comparesAsStored_data();
    void comparesAsStored();
    void changesAgainstServer_data();
    void changesAgainstServer();
    void historyListsUploads_data();
    void historyListsUploads();
    void historyFollowsOneSecurity_data();
    void historyFollowsOneSecurity();
    void previewNeverWrites_data();
    void previewNeverWrites();
    void passwordNeverShown();

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

    // The examples, and workbooks from every writer the readers are tried with, hostile ones included.
    for (const QString& folder : {QStringLiteral("/examples"), QStringLiteral("/tests/host/workbook/data"),
                                  QStringLiteral("/tests/host/workbook/data/encrypted")}) {
        const QDir dir(kSource + folder);
        for (const QString& name : dir.entryList(QDir::Files))
            QTest::newRow(qPrintable(dir.dirName() + "/" + name)) << dir.filePath(name);
    }
    QTest::newRow("nothing usable") << "@none.csv";
}

// The preview's JSON says exactly what the dialog sends for the same file, or the message it shows.
void TestCreditDataPreview::agreesWithDialog()
{
    QFETCH(QString, path);
    path = path.startsWith(QLatin1Char('@')) ? exampleFile(path, m_dir) : path;
    const ToolRun preview =
        runTool({path, "--json", "--broker-id", "GX", "--broker-name", "国信证券", "--broker-key", "7"});
    QJsonParseError error;
    const QJsonObject json = QJsonDocument::fromJson(preview.out.toUtf8(), &error).object();
    QCOMPARE(error.error, QJsonParseError::NoError);

    auto service = testsupport::CScriptedService::install();
    m_messages.clear();
    DVK::CCreditDataSendFileDialog dialog(nullptr);
    dialog.setBrokerList({testsupport::makeBaseInfo(7, "GX", "国信证券", "20240112", "20240105")});
    // The send button's read and request, on this thread: the dialog has said or sent on return.
    dialog.readFile(path);

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
    // Sent: 0. Read, but no line usable: 3. Not read at all (the dialog's other messages): 2.
    int exitCode = 2;
    if (shown.isEmpty())
        exitCode = 0;
    else if (shown == QStringLiteral("无可用数据"))
        exitCode = 3;
    QCOMPARE(preview.exitCode, exitCode);
}

void TestCreditDataPreview::saysWhatTheFileHolds_data()
{
    QTest::addColumn<QString>("file"); // a workbook of the tests' data, or written from bytes
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QStringList>("said"); // each in the output

    const QByteArray none;
    const auto row = [](const char* name, const QString& file, const QByteArray& bytes, const QStringList& arguments,
                        int exitCode, const QStringList& said) {
        QTest::newRow(name) << file << bytes << arguments << exitCode << said;
    };
    const auto gbk = [](const char* text) {
        return QTextCodec::codecForName("GBK")->fromUnicode(QString::fromUtf8(text));
    };
    const QString hidden = QStringLiteral("workbook: the first sheet \"旧折算率\" is hidden: a spreadsheet program "
                                          "shows another sheet");
    row("hidden first sheet, xlsx", "sheets.xlsx", none, QStringList(), 2,
        QStringList{"nothing read: 文件内容为空 (" + hidden + ")"});
    row("hidden first sheet, xls, JSON", "sheets.xls", none, QStringList{"--json"}, 2,
        QStringList{"\"reason\": \"" + QString(hidden).replace("\"", "\\\"")});
    row("code and exchange swapped, each line named", "@swapped.csv",
        QByteArray("600000,SH,浦发银行,0.7\n000001,SZ,平安银行,0.3\nSH,600000,浦发银行,0.7\n"), QStringList(), 0,
        QStringList{"     1 warning  the code stands before the exchange: a line gives the exchange first",
                    "     2 warning  the code stands before the exchange", "     3 used     上交所 600000"});
    row("a tab read as a space, a wrapped header", "wrapped.xlsx", none, QStringList(), 0,
        QStringList{"     3 warning  a tab inside a cell, read as a space", "证券名称\t折算\\n比例"});
    row("why a workbook was refused", "hostile_garbled.xlsx", none, QStringList(), 2,
        QStringList{"nothing read: 文件内容为空 (xlsx: <row> where it does not belong at line 1 of "
                    "xl/worksheets/sheet1.xml)\n"});
    row("why a workbook was refused, JSON", "hostile_entities.xlsx", none, QStringList{"--json"}, 2,
        QStringList{"\"reason\": \"xml: xl/worksheets/sheet1.xml declares a DTD\""});
    row("encrypted with another password than the default", "encrypted/agile_password.xlsx", none, QStringList(), 2,
        QStringList{"nothing read: 文件内容为空 (encrypted package: the workbook is password-protected (agile "
                    "encryption with a password other than the default))\n"});
    row("encrypted with the default password, JSON", "encrypted/cryptoapi.xls", none, QStringList{"--json"}, 0,
        QStringList{"\"sheets\": 2", "\"name\": \"折算率\""});
    row("a part declaring GBK", "@gbk.xlsx",
        testsupport::zipBytes(testsupport::workbookEntries(
            "<?xml version=\"1.0\" encoding=\"GBK\"?><worksheet "
            "xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><sheetData/></worksheet>")),
        QStringList(), 2, QStringList{"declares the encoding \"GBK\"; parts are read in UTF-8 or UTF-16 only)"});
    row("a UTF-8 byte order mark, then GBK", "@bom.csv",
        "\xEF\xBB\xBF" + gbk("SH,600000,浦发银行,0.7\nSZ,000001,平安银行,0.5"), QStringList(), 0,
        QStringList{"     1 warning  undecodable bytes, shown as U+FFFD",
                    "     2 warning  undecodable bytes, shown as U+FFFD",
                    "undecodable bytes, shown as U+FFFD, on 2 lines"});
    // GBK reads the UTF-8 lines without a broken byte: they are the ones shown wrong.
    row("one GBK line in a UTF-8 file", "@gbkline.csv",
        QByteArray("SH,600000,浦发银行,0.7\nSH,600000,浦发银行,0.7\nSZ,000001,") + gbk("平安银行,0.5"), QStringList(),
        0, QStringList{"     1 warning  UTF-8 bytes in a file read as GBK", "on 2 lines"});
    row("one UTF-8 line in a GBK file", "@utf8line.csv",
        gbk("SZ,000001,平安银行,0.5\nSZ,000001,平安银行,0.5\n") + "SH,600000,浦发银行,0.7", QStringList{"--json"}, 0,
        QStringList{"\"undecodable\": [\n        3\n    ]",
                    "\"line\": 3,\n            \"warning\": \"UTF-8 bytes in a file read as GBK"});
    row("bad GBK bytes", "@badgbk.csv", gbk("SH,600000,浦发银行,0.7\nSZ,000001,平安") + "\x81\x20" + gbk("银行,0.5"),
        QStringList{"--count"}, 0, QStringList{"undecodable 1"});
    row("U+FFFD written as UTF-8 is no undecodable byte", "@fffd.csv", QByteArray("SH,600000,浦发\xEF\xBF\xBD银行,0.7"),
        QStringList{"--count"}, 0, QStringList{"lines 1 used 1 skipped 0 warnings 0 refused 0 undecodable 0"});
    const QByteArray nul = "SH,600000,浦发" + QByteArray(1, '\0') + "银行,0.7\nSZ,000001,平安银行,0.5";
    row("a NUL the service would not store", "@nul.csv", nul, QStringList(), 7,
        QStringList{"     1 refused  证券名称含有无法保存的字符: 空字符 (U+0000)",
                    "the data service would refuse it: text it cannot store on 1 line"});
    row("a NUL, counted", "@nul.csv", nul, QStringList{"--count"}, 7,
        QStringList{"lines 2 used 1 skipped 0 warnings 0 refused 1 undecodable 0"});
    row("an unpaired surrogate in a workbook, JSON", "@surrogate.xlsx",
        testsupport::zipBytes(
            testsupport::workbookEntries(QList<QStringList>{{"SH", "600000", "浦发_xD800_银行", "0.7"}})),
        QStringList{"--json"}, 7,
        QStringList{"\"reason\": \"证券名称含有无法保存的字符: 不成对的代理字符 (U+D800 至 U+DFFF)\"",
                    "\"used\": [\n    ]"});
    // Lines are looked at four characters at a time: a NUL, a surrogate or a U+FFFD is found at
    // every place of a group of four and in the characters left over after the last group.
    for (int k = 0; k < 4; ++k) {
        const QByteArray name = QByteArray(k, 'a') + '\0' + "b";
        QTest::newRow(qPrintable(QStringLiteral("a NUL at character %1 of its line").arg(10 + k)))
            << QStringLiteral("@nul%1.csv").arg(k) << "SH,600000," + name + ",0.7" << QStringList{"--count"} << 7
            << QStringList{"lines 1 used 0 skipped 0 warnings 0 refused 1 undecodable 0"};
        QTest::newRow(qPrintable(QStringLiteral("a surrogate at character %1 of its line").arg(10 + k)))
            << QStringLiteral("@surrogate%1.xlsx").arg(k)
            << testsupport::zipBytes(testsupport::workbookEntries(
                   QList<QStringList>{{"SH", "600000", QString(k, 'a') + "_xDC00_b", "0.7"}}))
            << QStringList{"--count"} << 7 << QStringList{"lines 1 used 0 skipped 0 warnings 0 refused 1"};
    }
    // A name near the end of its line: its last character left over after the last group of four
    // (a NUL at 12 or 13 of 14 or 15 with no ratio; a surrogate at 12 of 15 or 16 of 19).
    for (int k = 2; k < 4; ++k) {
        QTest::newRow(qPrintable(QStringLiteral("a NUL at character %1 of %2").arg(10 + k).arg(12 + k)))
            << QStringLiteral("@nulend%1.csv").arg(k) << "SH,600000," + QByteArray(k, 'a') + '\0' + ","
            << QStringList{"--count"} << 7 << QStringList{"lines 1 used 0 skipped 0 warnings 1 refused 1"};
    }
    for (int k : {2, 6}) {
        QTest::newRow(qPrintable(QStringLiteral("a surrogate at character %1 of %2").arg(10 + k).arg(13 + k)))
            << QStringLiteral("@surrogateend%1.xlsx").arg(k)
            << testsupport::zipBytes(
                   testsupport::workbookEntries(QList<QStringList>{{"SH", "600000", QString(k, 'a') + "_xDC00_", "1"}}))
            << QStringList{"--count"} << 7 << QStringList{"lines 1 used 0 skipped 0 warnings 0 refused 1"};
    }
    for (const auto& [before, after] : std::vector<std::pair<int, int>>{
             {0, 8}, {1, 7}, {2, 6}, {3, 5}, {4, 4}, {5, 3}, {6, 2}, {7, 1}, {8, 0}, {0, 0}, {2, 0}}) {
        QTest::newRow(qPrintable(QStringLiteral("a U+FFFD at character %1 of %2").arg(before).arg(before + after + 1)))
            << QStringLiteral("@fffd%1_%2.csv").arg(before).arg(after)
            << QByteArray(before, 'a') + "\xFF" + QByteArray(after, 'a') << QStringList{"--count"} << 3
            << QStringList{"lines 1 used 0 skipped 1 warnings 1 refused 0 undecodable 1"};
    }
    // The command line: the parser's --help, and a bad argument refused with exit 1 before any reading.
    const auto option = [&none](const char* name, const QStringList& arguments, int exitCode, const char* said) {
        QTest::newRow(name) << "sheets.xlsx" << none << arguments << exitCode << QStringList{said};
    };
    option("--help", {"--help"}, 0, "[options] [FILE]");
    option("an unknown option", {"--colour"}, 1, "Unknown option 'colour'.");
    option("a missing value", {"--broker-id"}, 1, "Missing value after '--broker-id'.");
    option("a value after =", {"--broker-key=x"}, 1, "--broker-key takes a whole number, not \"x\"");
    option("--last without --history", {"--last", "3"}, 1, "--last needs --history");
    option("--json with --count", {"--json", "--count"}, 1, "--json and --count cannot be combined");
    option("--history with a file", {"--history", "--broker-id", "CITIC"}, 1, "--history takes no file");
    option("a second file", {"other.csv"}, 1, "unexpected argument \"other.csv\"");
}

// The preview says which sheet it read and warns of what a user would not see, says why a file
// was refused, and counts the lines whose bytes were not read as written or whose text the data
// service would refuse, with the service's reason; it refuses a bad command line with its reason.
void TestCreditDataPreview::saysWhatTheFileHolds()
{
    QFETCH(QString, file);
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, said);
    const QString path = file.startsWith(QLatin1Char('@'))
                             ? m_dir.filePath(file.mid(1))
                             : kSource + QStringLiteral("/tests/host/workbook/data/") + file;
    if (!bytes.isEmpty())
        QVERIFY(testsupport::writeFile(path, bytes));
    const ToolRun preview = runTool(QStringList{path} + arguments);
    for (const QString& text : said)
        QVERIFY2((preview.out + preview.err).contains(text), qPrintable(preview.out + preview.err));
    QTEST(preview.exitCode, "exitCode");
}

void TestCreditDataPreview::brokerLookup_data()
{
    QTest::addColumn<QString>("id"); // "-": not given
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("found"); // "key id name", or "-"
    QTest::addColumn<QString>("said");  // in the refusal or the note; empty: neither
    const auto row = [](const char* tag, const char* id, const char* name, const char* found, const char* said) {
        QTest::newRow(tag) << id << name << found << said;
    };
    row("by id", "HT", "-", "9 HT 华泰证券", "");
    row("an id on two key numbers: the first, said", "GX", "-", "7 GX 国信证券", "7, 8");
    row("a name on one id of two key numbers", "-", "国信证券", "7 GX 国信证券", "7, 8");
    row("a name of two ids: refused", "-", "同名", "-", "ZX, ZY");
    row("by id and name", "ZY", "同名", "6 ZY 同名", "");
    row("id and name of different brokers", "HT", "同名", "-", "");
    row("no such id", "gx", "-", "-", "");
}

// A broker named on the command line is the first record with what was given, as the upload
// dialog takes its key; a name of several ids is refused, an id on several key numbers said.
void TestCreditDataPreview::brokerLookup()
{
    QFETCH(QString, id);
    QFETCH(QString, name);
    const std::string idText = id.toStdString(), nameText = name.toStdString();
    const DVK::BrokerLookup lookup = DVK::lookUpBroker(
        {boost::make_shared<rqservice::CStkSubjects>(), testsupport::makeBaseInfo(7, "GX", "国信证券", "", ""),
         testsupport::makeBaseInfo(9, "HT", "华泰证券", "", ""), testsupport::makeBaseInfo(5, "ZX", "同名", "", ""),
         testsupport::makeBaseInfo(8, "GX", "国信证券", "", ""), testsupport::makeBaseInfo(6, "ZY", "同名", "", "")},
        id == "-" ? nullptr : &idText, name == "-" ? nullptr : &nameText);
    const auto& r = lookup.record;
    QTEST(r ? QStringLiteral("%1 %2 %3")
                  .arg(r->brokerKeyNo)
                  .arg(QString::fromStdString(r->brokerId), QString::fromStdString(r->brokerName))
            : QStringLiteral("-"),
          "found");
    QFETCH(QString, said);
    QCOMPARE((lookup.refusal + lookup.note).isEmpty(), said.isEmpty());
    QVERIFY2((lookup.refusal + lookup.note).contains(said), qPrintable(lookup.refusal + lookup.note));
}

void TestCreditDataPreview::comparesAsStored_data()
{
    QTest::addColumn<QString>("server");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("expected");
    const auto row = [](const char* tag, const char* server, const char* file, const char* expected) {
        QTest::newRow(tag) << server << file << expected;
    };
    row("unchanged", "SH 600000 浦发银行 0.5", "SH 600000 浦发银行 0.5", "=1");
    row("empty server: every row added", "", "SH 600000 浦发银行 0.5; SZ 000001 平安银行 0.6",
        "+SH 600000 0.5 +SZ 000001 0.6 =0");
    row("removed: each a warning, largest first", "SH 600000 浦发银行 0.5; SZ 000001 平安银行 0; SZ 000002 万科A 0.7",
        "SH 600000 浦发银行 0.5", "-SZ 000002 0.7! -SZ 000001 0! =1");
    row("changed ratio: largest first, the limit as written", "SH 600000 a 0.8; SH 600036 b 0.7; SH 600519 c 0.6",
        "SH 600000 a 0.7; SH 600036 b 0.4; SH 600519 c 0.6", "~SH 600036 0.7>0.4! ~SH 600000 0.8>0.7 =1");
    row("changed ratio: just past the limit", "SH 600000 a 0.8", "SH 600000 a 0.699", "~SH 600000 0.8>0.699! =0");
    row("ratio no number", "SH 600000 a 0.5", "SH 600000 a nan", "~SH 600000 0.5>nan! =0");
    row("changed name", "SH 600000 浦发 0.5", "SH 600000 浦发银行 0.5", "~SH 600000 0.5>0.5 name 浦发>浦发银行 =0");
    row("listed twice in the file: the second is added", "SH 600000 a 0.5", "SH 600000 a 0.5; SH 600000 a 0.6",
        "+SH 600000 0.6 =1");
    row("listed twice on the server: the second is removed", "SH 600000 a 0.5; SH 600000 a 0.7", "SH 600000 a 0.5",
        "-SH 600000 0.7! =1");
    row("listed twice on both: the n-th meets the n-th", "SH 600000 a 0.5; SH 600000 a 0.6",
        "SH 600000 a 0.6; SH 600000 a 0.5", "~SH 600000 0.5>0.6 ~SH 600000 0.6>0.5 =0");
    row("the exchange is part of the key", "上交所 000001 x 0.5", "深交所 000001 x 0.5",
        "-上交所 000001 0.5! +深交所 000001 0.5 =0");
    row("null rows skipped", "null; SH 600000 a 0.5", "SH 600000 a 0.5; null", "=1");
}

// Rows meet as the service stores them: by exchange and code, the n-th occurrence with the n-th.
void TestCreditDataPreview::comparesAsStored()
{
    QFETCH(QString, server);
    QFETCH(QString, file);
    QTEST(changesLine(DVK::compareUpload(subjectRows(server), subjectRows(file), 0.1)), "expected");
}

void TestCreditDataPreview::changesAgainstServer_data()
{
    QTest::addColumn<QString>("uploaded"); // for 中信证券 (CITIC) before the preview; empty: nothing
    QTest::addColumn<QString>("previewed");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("summary"); // the first line of the text

    const QStringList citic{"--broker-name", "中信证券"};
    const auto row = [](const char* tag, const char* uploaded, const char* previewed, const QStringList& arguments,
                        int exitCode, const QString& summary) {
        QTest::newRow(tag) << uploaded << previewed << arguments << exitCode << summary;
    };
    row("another file against an upload", "rates_utf8.csv", "rates.xlsx", citic, 0, "+71 \u221251 ~7 =2");
    row("the same file again", "rates_utf8.csv", "rates_utf8.csv", {"--broker-id", "CITIC"}, 0, "+0 \u22120 ~0 =60");
    row("--strict stops on a removal", "rates_utf8.csv", "rates_gbk.csv", citic + QStringList{"--strict"}, 4,
        "+34 \u221254 ~3 =3");
    row("a broker with nothing on the server", "", "rates.xls", {"--broker-name", "海通证券"}, 0, "+50 \u22120 ~0 =0");
    row("no such broker", "", "rates.xls", {"--broker-name", "无此券商"}, 6, "");
    row("a file refused", "rates_utf8.csv", "README.md", citic, 2, "");
    row("a file that sends nothing", "rates_utf8.csv", "@none.csv", citic, 3, "");
    row("no database there", "", "rates.xls", citic + QStringList{"--db", "@absent"}, 5, "");
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
    const QString database = newDatabase(dir);
    QVERIFY(!database.isEmpty());
    QMap<QString, double> before;
    {
        rqservice::CEmbeddedDataService service(database);
        boost::shared_ptr<rqservice::COperateDataReq> request;
        if (!uploaded.isEmpty())
            before = sentRatios(kSource + "/examples/" + uploaded, &request);
        const utils::RQError made =
            request ? testsupport::operateService(service, request) : testsupport::queryService(service, 12294).error;
        QVERIFY2(made.isSuccess(), made.errorMsg().c_str());
    }
    const QString path = exampleFile(previewed, dir);
    const QMap<QString, double> after = sentRatios(path);
    // No database there: a file never made, or a server's database never created.
    arguments.replaceInStrings(QRegularExpression("^@absent$"),
                               onPostgres() ? testsupport::CPgTestServer::uriWithPassword("nosuchdb", "secret")
                                            : dir.filePath("absent.sqlite"));
    arguments = QStringList{path, "--changes", "--db", database} + arguments;

    const ToolRun text = runTool(arguments);
    QCOMPARE(text.exitCode, exitCode);
    if (!summary.isEmpty())
        QCOMPARE(text.out.section(QLatin1Char('\n'), 0, 0), summary);

    const ToolRun json = runTool(arguments << "--json");
    QCOMPARE(json.exitCode, exitCode);
    const QJsonObject changes = QJsonDocument::fromJson(json.out.toUtf8()).object().value("changes").toObject();
    QCOMPARE(changes.isEmpty(), summary.isEmpty());
    if (summary.isEmpty())
        return;
    const auto rows = [&](const char* kind) { return changes.value(QLatin1String(kind)).toArray(); };
    QCOMPARE(countsLine(rows("added").size(), rows("removed").size(), rows("changed").size(),
                        changes.value(QStringLiteral("unchanged")).toInt()),
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

void TestCreditDataPreview::historyListsUploads_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("listed"); // of the three uploads below, newest first; -1: those and the demo's
    QTest::addColumn<bool>("more");  // older uploads left out
    const QStringList citic{"--broker-name", "中信证券"};
    QTest::newRow("the two newest") << citic + QStringList{"--last", "2"} << 2 << true;
    QTest::newRow("by id, the newest") << QStringList{"--broker-id", "CITIC", "--last", "1"} << 1 << true;
    QTest::newRow("more than there are") << citic + QStringList{"--last", "500"} << -1 << false;
}

// --history lists the broker's uploads newest first with their user and rows, and counts what each
// changed against the upload before it as --changes would count it; the demo's own uploads end the list.
void TestCreditDataPreview::historyListsUploads()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, listed);
    QFETCH(bool, more);
    QTemporaryDir dir;
    const QString database = newDatabase(dir);
    QVERIFY(!database.isEmpty());
    // Newest first: user, rows, and the changes against the upload before (the first against the demo's).
    const QStringList expected{"王五 80 +0 \u22120 ~0 =80", "li.si 80 +71 \u221251 ~7 =2",
                               "张三 60 +57 \u221233 ~3 =0"};
    {
        rqservice::CEmbeddedDataService service(database);
        if (listed < 0)
            listed = 3 + int(testsupport::historyOf(service, "1____CITIC").history.uploads.size());
        const QStringList files{"rates_utf8.csv", "rates.xlsx", "rates.xlsx"};
        const QStringList users{"张三", "li.si", "王五"};
        for (int i = 0; i < files.size(); ++i) {
            boost::shared_ptr<rqservice::COperateDataReq> request;
            sentRatios(kSource + "/examples/" + files[i], &request);
            standin::setUserName(users[i]);
            QVERIFY(testsupport::operateService(service, request).isSuccess());
        }
        standin::setUserName("demo");
    }
    const ToolRun json = runTool(QStringList{"--history", "--db", database, "--json"} + arguments);
    QCOMPARE(json.exitCode, 0);
    const QJsonObject object = QJsonDocument::fromJson(json.out.toUtf8()).object();
    QStringList shown;
    for (const QJsonValue& upload : object.value("uploads").toArray()) {
        const QJsonObject o = upload.toObject();
        shown << QStringLiteral("%1 %2 ")
                         .arg(o.value("clientUser").toString(o.value("user").toString("?")))
                         .arg(o.value("rows").toInt()) +
                     countsLine(o.value("added").toInt(), o.value("removed").toInt(), o.value("changed").toInt(),
                                o.value("unchanged").toInt());
    }
    QCOMPARE(shown.size(), listed);
    QCOMPARE(shown.mid(0, 3), expected.mid(0, listed));
    for (const QString& demo : shown.mid(3))
        QVERIFY2(demo.startsWith("demo "), qPrintable(demo));
    QCOMPARE(object.value("more").toBool(), more);
    QCOMPARE(object.value("broker").toObject().value("id").toString(), QString("CITIC"));

    const ToolRun text = runTool(QStringList{"--history", "--db", database} + arguments);
    QCOMPARE(text.exitCode, 0);
    const QStringList lines = text.out.split('\n', Qt::SkipEmptyParts);
    QVERIFY2(lines.value(0).startsWith(QStringLiteral("中信证券 (CITIC, key 1) on ")), qPrintable(text.out));
    // The headers, then one line per upload: its number, date and time, user, rows, changes.
    QCOMPARE(lines.size(), 3 + listed + (more ? 1 : 0));
    for (int i = 0; i < std::min(listed, 3); ++i) {
        const QStringList words = lines.at(3 + i).split(' ', Qt::SkipEmptyParts);
        const QStringList said = expected.at(i).split(' ');
        // The account that stored it, the client's word for its user beside it.
        QVERIFY2(lines.at(3 + i).contains("(client: " + said.first() + ")"), qPrintable(lines.at(3 + i)));
        QCOMPARE(words.mid(words.indexOf(said.first() + ")") + 1, 5), said.mid(1));
        QCOMPARE(words.at(0), QString::number(object.value("uploads").toArray().at(i).toObject().value("id").toInt()));
        QCOMPARE(words.at(1), QDate::currentDate().toString("yyyy-MM-dd"));
    }
}

void TestCreditDataPreview::historyFollowsOneSecurity_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<int>("last");
    QTest::addColumn<QStringList>("steps"); // oldest first: "<client user> <name> <old> -> <new>"
    // The three uploads below: a lists both at 0.7 and 0.6, b moves 600000 to 0.65, c drops it
    // and moves 000001 to 0.5.
    QTest::newRow("changed, then gone") << "600000" << 2
                                        << QStringList{"b 浦发银行 0.7 -> 0.65", "c 浦发银行 0.65 -> -"};
    QTest::newRow("an upload that leaves it as it was is no step")
        << "000001" << 2 << QStringList{"c 平安银行 0.6 -> 0.5"};
    QTest::newRow("only the newest, against the one before") << "600000" << 1 << QStringList{"c 浦发银行 0.65 -> -"};
    QTest::newRow("a code no upload lists") << "699999" << 3 << QStringList{};
}

// --history --code follows one security through the uploads listed, oldest first: each upload that
// added it, removed it or moved its ratio, against the upload before it, with who stored it.
void TestCreditDataPreview::historyFollowsOneSecurity()
{
    QFETCH(QString, code);
    QFETCH(int, last);
    QFETCH(QStringList, steps);
    QTemporaryDir dir;
    const QString database = newDatabase(dir);
    QVERIFY(!database.isEmpty());
    {
        rqservice::CEmbeddedDataService service(database);
        const QList<QPair<QString, QByteArray>> uploads{{"a", "SH,600000,浦发银行,0.7\nSZ,000001,平安银行,0.6\n"},
                                                        {"b", "SH,600000,浦发银行,0.65\nSZ,000001,平安银行,0.6\n"},
                                                        {"c", "SZ,000001,平安银行,0.5\n"}};
        for (const auto& upload : uploads) {
            const QString path = dir.filePath(upload.first + ".csv");
            QVERIFY(testsupport::writeFile(path, upload.second));
            boost::shared_ptr<rqservice::COperateDataReq> request;
            sentRatios(path, &request);
            standin::setUserName(upload.first);
            QVERIFY(testsupport::operateService(service, request).isSuccess());
        }
        standin::setUserName("demo");
    }
    const QStringList arguments{"--history", "--broker-name", "中信证券",           "--db", database, "--code",
                                code,        "--last",        QString::number(last)};
    const ToolRun json = runTool(arguments + QStringList{"--json"});
    QCOMPARE(json.exitCode, 0);
    const QJsonObject object = QJsonDocument::fromJson(json.out.toUtf8()).object();
    QCOMPARE(object.value("code").toString(), code);
    QStringList shown;
    for (const QJsonValue& change : object.value("changes").toArray()) {
        const QJsonObject o = change.toObject();
        const auto ratio = [](const QJsonValue& v) {
            return v.isNull() ? QStringLiteral("-") : QString::number(v.toDouble());
        };
        shown << QStringLiteral("%1 %2 %3 -> %4")
                     .arg(o.value("clientUser").toString(), o.value("name").toString(), ratio(o.value("old")),
                          ratio(o.value("new")));
    }
    QCOMPARE(shown, steps);

    const ToolRun text = runTool(arguments);
    QCOMPARE(text.exitCode, 0);
    const QStringList lines = text.out.split('\n', Qt::SkipEmptyParts);
    QVERIFY2(lines.value(0).contains(" security " + code + " through "), qPrintable(text.out));
    QStringList said;
    for (const QString& line : lines.mid(2)) {
        if (line.contains(" -> "))
            said << line.mid(line.lastIndexOf("  ") + 2);
    }
    QStringList expected;
    for (const QString& step : steps)
        expected << step.section(' ', 2);
    QCOMPARE(said, expected);
}

void TestCreditDataPreview::previewNeverWrites_data()
{
    QTest::addColumn<QStringList>("statements"); // what is there before the preview
    QTest::addColumn<int>("exitCode");           // of --history and of --changes
    QTest::addColumn<QString>("says");           // part of the message, or of the history's first upload
    QTest::newRow("an empty database") << QStringList() << 5 << "没有本程序的数据表";
    QTest::newRow("another program's database")
        << QStringList{"CREATE TABLE orders (id INTEGER, item TEXT)", "INSERT INTO orders VALUES (1, 'tea')"} << 5
        << "不是本程序的数据库";
    QTest::newRow("ours, at the previous version") << testsupport::previousSchema(onPostgres()) << 0 << "(unknown)";
}

// --changes and --history only ever read: a database without our tables is refused with a clear
// message and left as it was (a file byte for byte, a server's database without a table or row
// more); one of ours at the previous version is read as it is, not upgraded or stamped.
void TestCreditDataPreview::previewNeverWrites()
{
    QFETCH(QStringList, statements);
    QFETCH(int, exitCode);
    QFETCH(QString, says);
    const bool pg = onPostgres();
    QTemporaryDir dir;
    const QString location = newDatabase(dir);
    const QString name = testsupport::CPgTestServer::databaseOf(location);
    if (pg) {
        QVERIFY(testsupport::CPgTestServer::exec(name, statements));
    } else {
        {
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "writer");
            db.setDatabaseName(location);
            QVERIFY(db.open());
            QSqlQuery q(db);
            for (const QString& sql : statements)
                QVERIFY2(q.exec(sql), qPrintable(sql));
        }
        QSqlDatabase::removeDatabase("writer");
    }
    // Every table, column and row count on the server; the bytes of a file.
    const QString everything(
        "SELECT count(*) || ':' || coalesce(string_agg(table_name || '.' || column_name, ',' ORDER BY table_name, "
        "column_name), '') || ':' || (SELECT coalesce(string_agg(table_name || '=' || (xpath('/row/c/text()', "
        "query_to_xml(format('SELECT count(*) AS c FROM %I.%I', table_schema, table_name), false, true, "
        "'')))[1]::text, "
        "',' ORDER BY table_name), '') FROM information_schema.tables WHERE table_schema NOT IN ('pg_catalog', "
        "'information_schema')) FROM information_schema.columns WHERE table_schema NOT IN ('pg_catalog', "
        "'information_schema')");
    auto snapshot = [&] {
        return pg ? testsupport::CPgTestServer::scalar(name, everything).toUtf8() : testsupport::readFile(location);
    };
    const QByteArray before = snapshot();
    QVERIFY2(!pg || before.count(':') == 2, before.constData());

    const ToolRun history = runTool({"--history", "--broker-name", "中信证券", "--db", location});
    QCOMPARE(history.exitCode, exitCode);
    QVERIFY2((history.out + history.err).contains(says), qPrintable(history.out + history.err));
    const ToolRun changes =
        runTool({kSource + "/examples/rates_utf8.csv", "--changes", "--broker-name", "中信证券", "--db", location});
    QVERIFY2(changes.exitCode == exitCode, qPrintable(changes.err));
    QCOMPARE(snapshot(), before);
    QVERIFY(pg || !QFile::exists(location + "-journal"));
}

// A password in the URI's user part and in its query is shown in none of the places a database
// location appears: the preview's text, JSON and errors, the demo host's output and log, the
// service's messages and log lines.
void TestCreditDataPreview::passwordNeverShown()
{
    if (!onPostgres())
        QSKIP("a URI's own case: run on the throwaway PostgreSQL server");
    const QString good = testsupport::CPgTestServer::createDatabase();
    const QString name = testsupport::CPgTestServer::databaseOf(good);
    const QString dir = testsupport::CPgTestServer::socketDir();
    // The query's password is the one used; the user part's only must not show either.
    const QString uri = QStringLiteral("postgresql://credit:userpartpw@/%1?host=%2&password=secret").arg(name, dir);
    const QString wrong =
        QStringLiteral("postgresql://credit:userpartpw@/%1?password=secret&host=%2").arg("nosuchdb", dir);
    {
        rqservice::CEmbeddedDataService service(uri);
        QVERIFY(testsupport::queryService(service, 12294).error.isSuccess());
    }
    QStringList outputs;
    QList<ToolRun> runs;
    const QStringList citic{"--broker-name", "中信证券"};
    const QString file = kSource + "/examples/rates_utf8.csv";
    for (const QStringList& args :
         {QStringList{file, "--changes", "--db", uri} + citic, QStringList{"--history", "--db", uri} + citic,
          QStringList{"--history", "--db", uri, "--broker-name", "无此券商"},
          QStringList{file, "--changes", "--db", wrong} + citic})
        for (const QString& json : QStringList{"--json", ""})
            runs << runTool(json.isEmpty() ? args : args + QStringList{json});
    for (const ToolRun& run : runs) {
        QVERIFY2(run.out.contains("credit:***@") || run.err.contains("credit:***@"), qPrintable(run.out + run.err));
        outputs << run.out + run.err;
    }
    // The demo host, its log file included.
    QTemporaryDir home;
    QProcess demo;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_DATA_HOME", home.path());
    env.insert("HOME", home.path());
    demo.setProcessEnvironment(env);
    demo.start(QStringLiteral(DEMOHOST_PATH), {"--db", wrong, "--screenshot", home.filePath("shot.png")});
    QVERIFY(demo.waitForFinished(120000));
    outputs << QString::fromUtf8(demo.readAllStandardOutput() + demo.readAllStandardError());
    QVERIFY2(outputs.last().contains("credit:***@"), qPrintable(outputs.last()));
    QDirIterator logs(home.path(), {"*.log"}, QDir::Files, QDirIterator::Subdirectories);
    QVERIFY(logs.hasNext());
    while (logs.hasNext())
        outputs << QString::fromUtf8(testsupport::readFile(logs.next()));
    // The service in this process: its answers and its log.
    {
        testsupport::CLogCapture capture;
        rqservice::CEmbeddedDataService service(wrong);
        outputs << testsupport::everyCall(service);
        for (const testsupport::CapturedLine& line : capture.lines())
            outputs << QString::fromStdString(line.message);
    }
    for (const QString& output : outputs) {
        QVERIFY2(!output.contains("secret") && !output.contains("userpartpw"), qPrintable(output));
    }
    QVERIFY2(outputs.join('\n').contains(":***@/nosuchdb?host="), qPrintable(outputs.join('\n')));
}

QTEST_MAIN(TestCreditDataPreview)
#include "tst_creditdatapreview.moc"
