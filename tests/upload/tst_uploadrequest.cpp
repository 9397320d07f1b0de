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

} // namespace

class TestUploadRequest : public QObject
{
    Q_OBJECT

private slots:
    void lines_data();
    void lines();
    void requestShape();
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
    // Lines longer than any conversion-rate line are split only as far as the fourth field.
    const QString longField(1030, QLatin1Char('x'));
    row("long line: fields past the fourth ignored", "SH,600000,浦发银行,0.7,," + longField + ",x",
        "上交所 600000 浦发银行 0.7");
    row("long line of three fields is too few", "SH,600000," + longField, "skip 0:0");
    row("long name kept whole", "SH,600000," + longField + ",0.7", "上交所 600000 " + longField + " 0.7");
    row("long first key", longField + ",600000,浦发银行,0.7", "skip 0:1");
    row("long line, tab separated", "SH\t600000\t浦发,银行\t0.7\t" + longField, "上交所 600000 浦发,银行 0.7", "\t");
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

QTEST_MAIN(TestUploadRequest)
#include "tst_uploadrequest.moc"
