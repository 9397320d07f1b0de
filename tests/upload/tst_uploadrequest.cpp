#include "upload/uploadrequest.h"

#include "scriptedservice.h"
#include "standinservice.h"

#include <QtTest>

#include <boost/make_shared.hpp>

#include <cstring>
#include <map>
#include <random>

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
    for (const DVK::UploadLineNote& note : plan.skipped)
        out << QStringLiteral("skip %1:%2").arg(note.line).arg(note.kind);
    for (const DVK::UploadLineNote& note : plan.warnings)
        out << QStringLiteral("warn %1:%2").arg(note.line).arg(note.kind);
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
    void noUsableLine();
    void subjectsOutliveThePlan();
    void ratioAsQtReadsIt();
    void brokerChoice_data();
    void brokerChoice();
};

void TestUploadRequest::lines_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QString>("separator");
    QTest::addColumn<QStringList>("expected");

    // Skip kinds: 0 too few fields, 1 unknown security. Warning kinds: 0 not a number, 1 outside 0..1.
    QTest::newRow("title row and trailing empty line skipped")
        << QStringList{"交易所,证券代码,证券名称,折算率\r", "SH,600000,浦发银行,0.7\r", ""} << ","
        << QStringList{"上交所 600000 浦发银行 0.7", "skip 0:1", "skip 2:0"};
    QTest::newRow("file order kept, gaps closed")
        << QStringList{"SZ,000858,五粮液,0.6", "XX,1,x,0.1", "SH,600519,贵州茅台,0.65", "SH,600000,浦发银行,0.5"} << ","
        << QStringList{"深交所 000858 五粮液 0.6", "上交所 600519 贵州茅台 0.65", "上交所 600000 浦发银行 0.5",
                       "skip 1:1"};
    QTest::newRow("three fields are too few") << QStringList{"SH,600000,浦发银行"} << "," << QStringList{"skip 0:0"};
    QTest::newRow("fields past the fourth ignored")
        << QStringList{"SH,600000,浦发银行,0.7,备注,,x"} << "," << QStringList{"上交所 600000 浦发银行 0.7"};
    QTest::newRow("ratio that is no number goes as 0")
        << QStringList{"SH,600000,浦发银行,七成", "SH,600000,浦发银行,70%"} << ","
        << QStringList{"上交所 600000 浦发银行 0", "上交所 600000 浦发银行 0", "warn 0:0", "warn 1:0"};
    QTest::newRow("ratio out of range warned, sent as written")
        << QStringList{"SH,600000,浦发银行,65"} << "," << QStringList{"上交所 600000 浦发银行 65", "warn 0:1"};
    QTest::newRow("quoted comma splits the field")
        << QStringList{"SH,600000,\"浦发,银行\",0.7"} << "," << QStringList{"上交所 600000 \"浦发 0", "warn 0:0"};
    QTest::newRow("keys in the other order and lost zeros")
        << QStringList{"858,深圳,五粮液,0.6"} << "," << QStringList{"深交所 000858 五粮液 0.6"};
    QTest::newRow("name kept untrimmed") << QStringList{"SH,600000, 浦发 ,0.7"} << ","
                                         << QStringList{"上交所 600000  浦发  0.7"};
    QTest::newRow("tab separated, commas inside fields stay")
        << QStringList{"SH\t600000\t浦发,银行\t0.7", "SH,600000,浦发银行,0.7"} << "\t"
        << QStringList{"上交所 600000 浦发,银行 0.7", "skip 1:0"};
    QTest::newRow("byte-order mark before the first key") << QStringList{QStringLiteral("\uFEFFSH,600000,浦发银行,0.7")}
                                                          << "," << QStringList{"上交所 600000 浦发银行 0.7"};
    QTest::newRow("empty fourth field at the end of the line")
        << QStringList{"SH,600000,浦发银行,", "SH,600000,,0.5"} << ","
        << QStringList{"上交所 600000 浦发银行 0", "上交所 600000  0.5", "warn 0:0"};
    QTest::newRow("names outside the basic plane and lone surrogates")
        << QStringList{QStringLiteral("SH,600000,\U00020000\u00E9\u0800,0.7"),
                       QStringLiteral("SH,600000,x") + QChar(0xD800) + QStringLiteral(",0.7")}
        << "," << QStringList{QStringLiteral("上交所 600000 \U00020000\u00E9\u0800 0.7"), "上交所 600000 x? 0.7"};
    QTest::newRow("separator of two characters") << QStringList{"SH::600000::浦发银行::0.7", "SH::600000::浦发银行"}
                                                 << "::" << QStringList{"上交所 600000 浦发银行 0.7", "skip 1:0"};
    QTest::newRow("plain keys that name no listed security fall through to the full rules")
        << QStringList{"sh,600000,浦发银行,0.7", "SH,1234567,x,0.7", "SZ,600000,x,0.7", "SH, 600000,浦发银行,0.7"}
        << "," << QStringList{"上交所 600000 浦发银行 0.7", "上交所 600000 浦发银行 0.7", "skip 1:1", "skip 2:1"};
}

// One subject per line with more than three fields whose keys name a known security, in file order.
void TestUploadRequest::lines()
{
    QFETCH(QStringList, lines);
    QFETCH(QString, separator);
    QFETCH(QStringList, expected);

    const DVK::UploadRequestPlan plan = DVK::buildUploadRequest(lines, separator, DVK::UploadBroker());
    QCOMPARE(describe(plan), expected);
    QCOMPARE(plan.usedLines.size(), plan.detail->subjects.size());
}

// The request: type 12295, operation 2, exactly the one detail record whose broker every subject repeats.
void TestUploadRequest::requestShape()
{
    DVK::UploadBroker broker{7, "ABC", "国信证券"};
    const DVK::UploadRequestPlan plan =
        DVK::buildUploadRequest({"SH,600000,浦发银行,0.7", "SZ,000001,平安银行,0.5"}, ",", broker);
    QVERIFY(plan.request);
    QCOMPARE(plan.request->dataType, 12295);
    QCOMPARE(plan.request->operateType, 2);
    QCOMPARE(plan.request->dataList.size(), size_t(1));
    QCOMPARE(plan.request->dataList.front(), rqservice::IDataPtr(plan.detail));
    QCOMPARE(
        QString::fromStdString(plan.detail->toLog()),
        QStringLiteral("CVoprCvionRateDetail{brokerKeyNo=7, brokerId=\"ABC\", brokerName=\"国信证券\", subjects=2}"));
    QCOMPARE(plan.usedLines, std::vector<int>({0, 1}));
    for (const auto& subject : plan.detail->subjects) {
        QCOMPARE(subject->brokerKeyNo, 7);
        QCOMPARE(subject->brokerId, std::string("ABC"));
        QCOMPARE(subject->brokerName, std::string("国信证券"));
        QCOMPARE(standin::lineNo(*subject), -1); // the server numbers the lines
    }
}

// Without a usable line there is a detail record but no request.
void TestUploadRequest::noUsableLine()
{
    const DVK::UploadRequestPlan plan = DVK::buildUploadRequest({"", "a,b", "XX,999999,x,0.5"}, ",", {});
    QVERIFY(!plan.request);
    QVERIFY(plan.detail && plan.detail->subjects.empty());
    QCOMPARE(plan.skipped.size(), size_t(3));
}

// Subjects share storage in blocks of a few hundred: one kept alone must stay whole when the plan,
// the request and every other subject are gone, wherever it sat in its block.
void TestUploadRequest::subjectsOutliveThePlan()
{
    QStringList lines;
    for (int i = 0; i < 700; ++i)
        lines << (i % 3 ? QStringLiteral("SH,600000,名%1,0.5") : QStringLiteral("x")).arg(i);
    std::vector<rqservice::CStkSubjectsPtr> kept;
    {
        const DVK::UploadRequestPlan plan =
            DVK::buildUploadRequest(lines, QStringLiteral(","), {3, "B", "一个不短于十五字节的券商名"});
        QCOMPARE(plan.detail->subjects.size(), size_t(466));
        for (size_t i : {size_t(0), size_t(255), size_t(256), size_t(465)})
            kept.push_back(plan.detail->subjects.at(i));
    }
    const QStringList names{"名1", "名383", "名385", "名698"};
    for (size_t i = 0; i < kept.size(); ++i) {
        QCOMPARE(QString::fromStdString(kept[i]->stockName), names.at(int(i)));
        QCOMPARE(kept[i]->brokerName, std::string("一个不短于十五字节的券商名"));
        QCOMPARE(kept[i]->stockCode, std::string("600000"));
    }
    kept.erase(kept.begin() + 1, kept.end() - 1);
    QCOMPARE(QString::fromStdString(kept.back()->stockName), QStringLiteral("名698"));
}

// Every ratio, however written, is the double QString::toDouble gives, bit for bit, with the same
// warning: plain decimals take a quicker parse than the rest.
void TestUploadRequest::ratioAsQtReadsIt()
{
    QStringList ratios{"0",
                       "1",
                       "0.5",
                       "0.65",
                       "00.5",
                       "01",
                       "1.",
                       ".5",
                       "-0",
                       "+0.5",
                       "0.5 ",
                       "0.5\r",
                       "1\r",
                       "\r",
                       "0.5\r\r",
                       "\r0.5",
                       " 0.5",
                       "1e-1",
                       "0x1",
                       "1;5",
                       "0..5",
                       "inf",
                       "nan",
                       "０.５",
                       "0.1000000000000000055511151231257827",
                       "9007199254740993",
                       "0.30000000000000004",
                       "123456789012345678901234",
                       "0.000000000000000000001"};
    std::mt19937 random(11);
    for (int i = 0; i < 5000; ++i) {
        QString text;
        const int length = 1 + int(random() % 26);
        for (int k = 0; k < length; ++k)
            text += QChar('0' + char(random() % 10));
        if (random() % 4)
            text.insert(int(random() % uint(text.size() + 1)), QLatin1Char('.'));
        if (random() % 2)
            text += QLatin1Char('\r');
        ratios << text;
    }
    QStringList lines;
    for (const QString& ratio : ratios)
        lines << QStringLiteral("SH,600000,x,") + ratio;
    const DVK::UploadRequestPlan plan = DVK::buildUploadRequest(lines, QStringLiteral(","), {});
    QCOMPARE(plan.detail->subjects.size(), size_t(ratios.size()));
    std::map<int, int> warnings;
    for (const DVK::UploadLineNote& note : plan.warnings)
        warnings[note.line] = note.kind;
    for (int i = 0; i < ratios.size(); ++i) {
        bool ok = false;
        const double expected = ratios.at(i).toDouble(&ok);
        const double actual = plan.detail->subjects.at(size_t(i))->ratio;
        if (std::memcmp(&expected, &actual, sizeof(double)) != 0)
            QFAIL(qPrintable(QStringLiteral("\"%1\" read as %2, not %3")
                                 .arg(ratios.at(i))
                                 .arg(actual, 0, 'g', 17)
                                 .arg(expected, 0, 'g', 17)));
        const int warning = !ok                                     ? int(DVK::EUploadWarning::RatioNotANumber)
                            : !(expected >= 0.0 && expected <= 1.0) ? int(DVK::EUploadWarning::RatioOutOfRange)
                                                                    : -1;
        const auto found = warnings.find(i);
        QCOMPARE(found == warnings.end() ? -1 : found->second, warning);
    }
}

void TestUploadRequest::brokerChoice_data()
{
    QTest::addColumn<QString>("brokerId");
    QTest::addColumn<int>("keyNo");
    QTest::newRow("first record with the id wins") << "B" << 2;
    QTest::newRow("no such id") << "Z" << -1;
    QTest::newRow("empty id matches no broker") << "" << -1;
    QTest::newRow("ids compare exactly") << "b" << -1;
}

// The key number comes from the first summary record carrying the chosen id.
void TestUploadRequest::brokerChoice()
{
    QFETCH(QString, brokerId);
    QFETCH(int, keyNo);
    const std::vector<rqservice::IDataPtr> brokers = {
        boost::make_shared<rqservice::CStkSubjects>(), testsupport::makeBaseInfo(1, "A", "甲", "", ""),
        testsupport::makeBaseInfo(2, "B", "乙", "", ""), testsupport::makeBaseInfo(3, "B", "乙", "", "")};
    const DVK::UploadBroker broker = DVK::chooseUploadBroker(brokerId.toStdString(), "名", brokers);
    QCOMPARE(broker.brokerKeyNo, keyNo);
    QCOMPARE(QString::fromStdString(broker.brokerId), brokerId);
    QCOMPARE(broker.brokerName, std::string("名"));
}

QTEST_MAIN(TestUploadRequest)
#include "tst_uploadrequest.moc"
