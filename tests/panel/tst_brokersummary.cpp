// The summary's one business rule, on plain records: one row per broker name, the latest upload wins.
#include "panel/brokersummary.h"

#include "scriptedservice.h"

#include <QtTest>

namespace {

// Each row as "keyNo|id|name|date@upload" (the upload, from the row key, tells which record won).
QStringList texts(const std::vector<boost::shared_ptr<DVK::CCreditDataMainData>>& rows)
{
    QStringList out;
    for (const auto& row : rows) {
        out << QStringLiteral("%1|%2|%3|%4@%5")
                   .arg(row->brokerKeyNo)
                   .arg(QString::fromStdString(row->brokerId), row->brokerName, row->lastUploadDate,
                        row->rowKey.section(QStringLiteral("____"), -1));
    }
    return out;
}

} // namespace

class TestBrokerSummary : public QObject
{
    Q_OBJECT

private slots:
    void condense_data();
    void condense();
};

void TestBrokerSummary::condense_data()
{
    QTest::addColumn<QStringList>("received");
    QTest::addColumn<QStringList>("rows");

    QTest::newRow("later date second: replaced broker moves last")
        << QStringList({"1|a|国信|20240105", "3|c|中信|20240107", "2|b|国信|20240110"})
        << QStringList({"3|c|中信|20240107@1", "2|b|国信|20240110@2"});
    QTest::newRow("later date first: kept broker keeps its place")
        << QStringList({"1|a|国信|20240110", "3|c|中信|20240107", "2|b|国信|20240105"})
        << QStringList({"1|a|国信|20240110@0", "3|c|中信|20240107@1"});
    QTest::newRow("replaced twice: last each time")
        << QStringList({"1|a|国信|20240101", "3|c|中信|20240107", "1|a|国信|20240102", "4|d|华泰|20240107",
                        "1|a|国信|20240103"})
        << QStringList({"3|c|中信|20240107@1", "4|d|华泰|20240107@3", "1|a|国信|20240103@4"});
    QTest::newRow("equal dates: first received stays, in place")
        << QStringList({"1|a|国信|20240110", "3|c|中信|20240107", "2|b|国信|20240110", "5|e|国信|20240110"})
        << QStringList({"1|a|国信|20240110@0", "3|c|中信|20240107@1"});
    QTest::newRow("grouped by name, not by key")
        << QStringList({"5|x|国信|20240105", "5|y|国信|20240110"}) << QStringList({"5|y|国信|20240110@1"});
    QTest::newRow("names compared exactly")
        << QStringList({"1|a|Guosen|20240105", "2|b|guosen|20240110", "3|c|Guosen |20240110"})
        << QStringList({"1|a|Guosen|20240105@0", "2|b|guosen|20240110@1", "3|c|Guosen |20240110@2"});
    QTest::newRow("same key text, different names: two rows")
        << QStringList({"1|a|国信|20240105", "1|a|中信|20240105"})
        << QStringList({"1|a|国信|20240105@0", "1|a|中信|20240105@1"});
    QTest::newRow("other record types and nulls skipped")
        << QStringList({"detail", "null", "1|a|国信|20240105", "detail"}) << QStringList({"1|a|国信|20240105@2"});
    QTest::newRow("unparsable date loses to a valid one")
        << QStringList({"1|a|国信|2024-01-10", "2|b|国信|20240105"}) << QStringList({"2|b|国信|20240105@1"});
    QTest::newRow("unparsable date never replaces")
        << QStringList({"1|a|国信|20240105", "2|b|国信|20241399"}) << QStringList({"1|a|国信|20240105@0"});
    QTest::newRow("two unparsable dates: first stays")
        << QStringList({"1|a|国信|", "2|b|国信|n/a"}) << QStringList({"1|a|国信|@0"});
    QTest::newRow("empty answer") << QStringList() << QStringList();
}

// The rows of an answer and their order.
void TestBrokerSummary::condense()
{
    QFETCH(QStringList, received);
    QFETCH(QStringList, rows);
    QCOMPARE(texts(DVK::condenseBrokerSummary(testsupport::summaryAnswer(received).records)), rows);
}

QTEST_APPLESS_MAIN(TestBrokerSummary)
#include "tst_brokersummary.moc"
