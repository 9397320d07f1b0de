#include "upload/uploadrequest.h"

#include "scriptedservice.h"
#include "standinservice.h"

#include <QtTest>

#include <boost/make_shared.hpp>

namespace {

// Each subject as "exchange code name ratio", plus the skipped and warned lines as "index:kind".
QStringList describe(const DVK::UploadRequestPlan& plan)
{
    QStringList out;
    for (const auto& s : plan.detail->subjects) {
        out << QStringLiteral("%1 %2 %3 %4")
                   .arg(QString::fromStdString(s->exchangeName), QString::fromStdString(s->stockCode),
                        QString::fromStdString(s->stockName))
                   .arg(s->ratio);
    }
    for (const DVK::UploadSkippedLine& note : plan.skipped)
        out << QStringLiteral("skip %1:%2").arg(note.line).arg(int(note.reason));
    for (const DVK::UploadWarnedLine& note : plan.warnings)
        out << QStringLiteral("warn %1:%2").arg(note.line).arg(int(note.warning));
    return out;
}

// What the request must make of each line, split whole: the reference the request's own split,
// which stops past the fourth field, is held to.
QStringList describeSplitWhole(const QStringList& lines, const QString& separator)
{
    QStringList subjects, notes;
    const rqservice::IDataCenterPtr center = rqservice::TraderCenter::instance()->getDataCenter();
    for (int i = 0; i < lines.size(); ++i) {
        const QStringList fields = lines[i].split(separator, Qt::KeepEmptyParts, Qt::CaseSensitive);
        const rqservice::InstrumentRecordPtr security =
            fields.size() > 3
                ? center->findInstrument(fields[0].toUtf8().toStdString(), fields[1].toUtf8().toStdString())
                : rqservice::InstrumentRecordPtr();
        if (!security) {
            notes << QStringLiteral("skip %1:%2").arg(i).arg(fields.size() > 3 ? 1 : 0);
            continue;
        }
        subjects << QStringLiteral("%1 %2 %3 %4")
                        .arg(QString::fromStdString(security->exchangeName),
                             QString::fromStdString(security->stockCode), fields[2])
                        .arg(fields[3].toDouble());
    }
    return subjects + notes;
}

} // namespace

class TestUploadRequest : public QObject
{
    Q_OBJECT

private slots:
    void lines_data();
    void lines();
    void sameAsSplittingWholeLines_data();
    void sameAsSplittingWholeLines();
    void requestShape();
    void brokerChoice_data();
    void brokerChoice();
};

void TestUploadRequest::lines_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QString>("separator");
    QTest::addColumn<QStringList>("expected");
    // Lines, and what becomes of them, each joined with '|'. Skip kinds: 0 too few fields, 1 unknown
    // security. Warning kinds: 0 not a number, 1 outside 0..1.
    const auto row = [](const char* tag, const QString& lines, const QString& expected, const char* separator = ",") {
        QTest::newRow(tag) << lines.split('|') << separator << expected.split('|');
    };
    row("title row and trailing empty line skipped", "交易所,证券代码,证券名称,折算率\r|SH,600000,浦发银行,0.7\r|",
        "上交所 600000 浦发银行 0.7|skip 0:1|skip 2:0");
    row("file order kept, gaps closed",
        "SZ,000858,五粮液,0.6|XX,1,x,0.1|SH,600519,贵州茅台,0.65|SH,600000,浦发银行,0.5",
        "深交所 000858 五粮液 0.6|上交所 600519 贵州茅台 0.65|上交所 600000 浦发银行 0.5|skip 1:1");
    row("three fields are too few", "SH,600000,浦发银行", "skip 0:0");
    row("fields past the fourth ignored", "SH,600000,浦发银行,0.7,备注,,x", "上交所 600000 浦发银行 0.7");
    row("ratio that is no number goes as 0", "SH,600000,浦发银行,七成|SH,600000,浦发银行,70%",
        "上交所 600000 浦发银行 0|上交所 600000 浦发银行 0|warn 0:0|warn 1:0");
    row("0 and 1 are in range", "SH,600000,浦发银行,1|SH,600000,浦发银行,0",
        "上交所 600000 浦发银行 1|上交所 600000 浦发银行 0");
    row("ratio out of range warned, sent as written", "SH,600000,浦发银行,65", "上交所 600000 浦发银行 65|warn 0:1");
    row("quoted comma splits the field", "SH,600000,\"浦发,银行\",0.7", "上交所 600000 \"浦发 0|warn 0:0");
    row("lost zeros", "深圳,858,五粮液,0.6", "深交所 000858 五粮液 0.6");
    row("the detail dialog's export: code, exchange, ratio, name", "600000,上交所,0.70,浦发银行|858,深圳,0.6,五粮液",
        "skip 0:1|skip 1:1");
    row("name kept untrimmed", "SH,600000, 浦发 ,0.7", "上交所 600000  浦发  0.7");
    row("tab separated, commas inside fields stay", "SH\t600000\t浦发,银行\t0.7|SH,600000,浦发银行,0.7",
        "上交所 600000 浦发,银行 0.7|skip 1:0", "\t");
    row("byte-order mark before the first key", "\uFEFFSH,600000,浦发银行,0.7", "上交所 600000 浦发银行 0.7");
    row("no usable line", "|a,b|XX,999999,x,0.5", "skip 0:0|skip 1:0|skip 2:1");
    row("empty fourth field at the end of the line", "SH,600000,浦发银行,|SH,600000,,0.5",
        "上交所 600000 浦发银行 0|上交所 600000  0.5|warn 0:0");
}

// One subject per line with more than three fields whose keys name a known security, in file
// order; without one there is a detail record but no request.
void TestUploadRequest::lines()
{
    QFETCH(QStringList, lines);
    QFETCH(QString, separator);
    const DVK::UploadRequestPlan plan = DVK::buildUploadRequest(lines, separator, DVK::UploadBroker());
    QTEST(describe(plan), "expected");
    QCOMPARE(plan.usedLines.size(), plan.detail->subjects.size());
    QCOMPARE(bool(plan.request), !plan.usedLines.empty());
}

void TestUploadRequest::sameAsSplittingWholeLines_data()
{
    QTest::addColumn<QString>("separator");
    QTest::newRow("comma") << ",";
    QTest::newRow("tab") << "\t";
}

// Every line of up to seven fields drawn from keys, names, ratios, empty fields and the other
// separator, short or long, gives what splitting it whole gives.
void TestUploadRequest::sameAsSplittingWholeLines()
{
    QFETCH(QString, separator);
    const QString other = separator == "," ? "\t" : ",";
    const QStringList pieces{QString(), "SH", "600000", "0.7", "浦发" + other + "银行"};
    QStringList lines{QString()};
    for (int length = 1; length <= 7; ++length) {
        std::vector<int> pick(size_t(length), 0);
        for (;;) {
            QStringList fields;
            for (const int p : pick)
                fields << pieces[p];
            lines << fields.join(separator);
            // And as a line longer than any conversion-rate line, split only as far as is read:
            // a long field in each place in turn.
            if (length <= 5) {
                fields.insert(lines.size() % (length + 1), QString(1030, QLatin1Char('x')));
                lines << fields.join(separator);
            }
            size_t k = 0;
            while (k < pick.size() && ++pick[k] == pieces.size())
                pick[k++] = 0;
            if (k == pick.size())
                break;
        }
    }
    const DVK::UploadRequestPlan plan = DVK::buildUploadRequest(lines, separator, DVK::UploadBroker());
    QStringList got = describe(plan);
    got.erase(std::remove_if(got.begin(), got.end(), [](const QString& t) { return t.startsWith("warn"); }), got.end());
    QCOMPARE(got, describeSplitWhole(lines, separator));
    QVERIFY(plan.usedLines.size() > 1000);
}

// The request: type 12295, operation 2, exactly the one detail record whose broker every subject repeats.
void TestUploadRequest::requestShape()
{
    const DVK::UploadRequestPlan plan =
        DVK::buildUploadRequest({"SH,600000,浦发银行,0.7", "SZ,000001,平安银行,0.5"}, ",", {7, "ABC", "国信证券"});
    QVERIFY(plan.request);
    QCOMPARE(plan.request->dataType, 12295);
    QCOMPARE(plan.request->operateType, 2);
    QCOMPARE(plan.request->dataList.size(), size_t(1));
    QCOMPARE(plan.request->dataList.front(), rqservice::IDataPtr(plan.detail));
    QCOMPARE(plan.usedLines, std::vector<int>({0, 1}));
    // Every subject repeats the broker; the server numbers the lines.
    for (const auto& s : plan.detail->subjects)
        QCOMPARE(QStringLiteral("%1 %2 %3 %4")
                     .arg(s->brokerKeyNo)
                     .arg(QString::fromStdString(s->brokerId), QString::fromStdString(s->brokerName))
                     .arg(standin::lineNo(*s)),
                 QStringLiteral("7 ABC 国信证券 -1"));
}

void TestUploadRequest::brokerChoice_data()
{
    QTest::addColumn<QString>("brokerId");
    QTest::addColumn<int>("keyNo");
    QTest::newRow("an id on two records: the first's key") << "B" << 3;
    QTest::newRow("no such id") << "Z" << -1;
    QTest::newRow("empty id matches no broker") << "" << -1;
    QTest::newRow("ids compare exactly") << "b" << -1;
}

// The key number comes from the first summary record carrying the chosen id.
void TestUploadRequest::brokerChoice()
{
    QFETCH(QString, brokerId);
    const std::vector<rqservice::IDataPtr> brokers = {
        boost::make_shared<rqservice::CStkSubjects>(), testsupport::makeBaseInfo(1, "A", "甲", "", ""),
        testsupport::makeBaseInfo(3, "B", "乙", "", ""), testsupport::makeBaseInfo(2, "B", "乙", "", "")};
    const DVK::UploadBroker broker = DVK::chooseUploadBroker(brokerId.toStdString(), "名", brokers);
    QTEST(broker.brokerKeyNo, "keyNo");
    QCOMPARE(QString::fromStdString(broker.brokerId), brokerId);
    QCOMPARE(broker.brokerName, std::string("名"));
}

QTEST_MAIN(TestUploadRequest)
#include "tst_uploadrequest.moc"
