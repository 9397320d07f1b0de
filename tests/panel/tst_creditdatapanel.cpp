// The panel: the summary's one business rule on plain records (one row per broker name, the latest
// upload wins), answers and failures, its layout parameter, events it cannot act on, lifetime.
#include "panel/creditdatapanel.h"
#include "panel/brokersummary.h"
#include "panel/creditdatamaindata.h"
#include "panel/creditdatamaintable.h"
#include "upload/creditdatasendfiledialog.h"
#include "detail/creditdataquerydialog.h"

#include "creditdataprobes.h"
#include "common/clientunavailable.h"
#include "scriptedservice.h"
#include "standinservice.h"
#include "standintoolkit.h"

#include <QTableView>
#include <QtTest>

#include <boost/make_shared.hpp>

#include <memory>

using testsupport::PanelProbe;

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

class TestCreditDataPanel : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void table();
    void condense_data();
    void condense();
    void answers_data();
    void answers();
    void paramRoundTrip_data();
    void paramRoundTrip();
    void eventsThatOpenNothing_data();
    void eventsThatOpenNothing();
    void destroyedWithQueryOutstanding();
    void withheldRights_data();
    void withheldRights();

private:
    // Queues the answer, sends a query and waits until the panel has applied it, its mask shown meanwhile.
    void answer(PanelProbe& panel, const testsupport::ScriptedAnswer& scripted);

    boost::shared_ptr<testsupport::CScriptedService> m_service;
    QStringList m_boxes; // "<server type> <success> <title> <text>" of every message box shown
};

void TestCreditDataPanel::init()
{
    standin::setClientCenterOutage(false);
    standin::setGrantedRights({10079, 10413});
    m_boxes.clear();
    standin::setMessageInterceptor([this](const standin::MessageRecord& box) {
        m_boxes << QStringLiteral("%1 %2 %3 %4").arg(box.serverType).arg(box.success).arg(box.title, box.text);
        return int(QMessageBox::Ok);
    });
    utils::CSingletonT<utils::CLogCenter>::instance()->setLogEnabled(true);
    m_service = testsupport::CScriptedService::install();
}

// The summary table's headers and a row's texts ("-" past either end), the same from every text
// getter, which follows getText; the first three columns filter, none holds a number, no text is
// coloured. A new row names no broker. The host's defaults kept but for row numbers and the menu's
// refresh entry.
void TestCreditDataPanel::table()
{
    DVK::CCreditDataMainTable summary(1331, nullptr);
    DVK::CCreditDataMainData broker;
    broker.brokerName = QStringLiteral("华泰证券");
    broker.tradingDay = QStringLiteral("20240110");
    broker.lastUploadDate = QStringLiteral("20240105");
    const QString brokerTexts("-|华泰证券|20240110|20240105|-|-");
    QCOMPARE(testsupport::columnAspects(summary, broker),
             (QMap<QString, QString>{{"headers", "|券商名|当前交易日|最近上传日期|操作|"},
                                     {"texts", brokerTexts},
                                     {"search texts", brokerTexts},
                                     {"filter", "0|1|2"}}));
    QCOMPARE(testsupport::textFromAllOfDerived<DVK::CCreditDataMainData>(), QStringLiteral("derived1"));
    testsupport::checkTrimmedTable<DVK::CCreditDataMainTable>(1331);
}

void TestCreditDataPanel::condense_data()
{
    QTest::addColumn<QStringList>("received");
    QTest::addColumn<QStringList>("rows");
    const auto row = [](const char* name, const QStringList& received, const QStringList& rows) {
        QTest::newRow(name) << received << rows;
    };

    row("later date second: replaced broker moves last",
        {"1|a|国信|20240105", "3|c|中信|20240107", "2|b|国信|20240110"},
        {"3|c|中信|20240107@1", "2|b|国信|20240110@2"});
    row("later date first: kept broker keeps its place",
        {"1|a|国信|20240110", "3|c|中信|20240107", "2|b|国信|20240105"},
        {"1|a|国信|20240110@0", "3|c|中信|20240107@1"});
    row("replaced twice: last each time",
        {"1|a|国信|20240101", "3|c|中信|20240107", "1|a|国信|20240102", "4|d|华泰|20240107", "1|a|国信|20240103"},
        {"3|c|中信|20240107@1", "4|d|华泰|20240107@3", "1|a|国信|20240103@4"});
    row("equal dates: first received stays, in place",
        {"1|a|国信|20240110", "3|c|中信|20240107", "2|b|国信|20240110", "5|e|国信|20240110"},
        {"1|a|国信|20240110@0", "3|c|中信|20240107@1"});
    row("grouped by name, not by key", {"5|x|国信|20240105", "5|y|国信|20240110"}, {"5|y|国信|20240110@1"});
    row("names compared exactly", {"1|a|Guosen|20240105", "2|b|guosen|20240110", "3|c|Guosen |20240110"},
        {"1|a|Guosen|20240105@0", "2|b|guosen|20240110@1", "3|c|Guosen |20240110@2"});
    row("same key text, different names: two rows", {"1|a|国信|20240105", "1|a|中信|20240105"},
        {"1|a|国信|20240105@0", "1|a|中信|20240105@1"});
    row("other record types and nulls skipped", {"detail", "null", "1|a|国信|20240105", "detail"},
        {"1|a|国信|20240105@2"});
    row("unparsable date loses to a valid one", {"1|a|国信|2024-01-10", "2|b|国信|20240105"}, {"2|b|国信|20240105@1"});
    row("unparsable date never replaces", {"1|a|国信|20240105", "2|b|国信|20241399"}, {"1|a|国信|20240105@0"});
    row("two unparsable dates: first stays", {"1|a|国信|", "2|b|国信|n/a"}, {"1|a|国信|@0"});
    row("empty answer", {}, {});
}

// The rows of an answer and their order.
void TestCreditDataPanel::condense()
{
    QFETCH(QStringList, received);
    QTEST(texts(DVK::condenseBrokerSummary(testsupport::summaryAnswer(received).records)), "rows");
}

void TestCreditDataPanel::answer(PanelProbe& panel, const testsupport::ScriptedAnswer& scripted)
{
    m_service->queueQueryAnswer(scripted);
    const int before = m_service->queryCount();
    panel.request();
    QCOMPARE(m_service->queryCount(), before + 1);
    QVERIFY(!panel.loadingMask->isHidden());
    QCOMPARE(panel.loadingMask->attachedTo(), static_cast<QWidget*>(&panel));
    QTRY_VERIFY(panel.loadingMask->isHidden());
}

void TestCreditDataPanel::answers_data()
{
    QTest::addColumn<QStringList>("received");
    QTest::addColumn<QString>("serverMessage"); // not null: the answer is a failure with this text
    QTest::addColumn<bool>("logging");
    QTest::addColumn<bool>("clientGiven"); // false: the client centre has no client, nothing is sent
    QTest::addColumn<QStringList>("rows"); // "key|name|trading day|last upload|-" after the answer
    QTest::addColumn<int>("records");      // the records the panel keeps
    QTest::addColumn<QString>("box");      // the failure box's text; empty: none
    QTest::addColumn<QString>("outcome");  // the log line after the query's; empty: none

    // Before each: an answer of two brokers.
    const QStringList before{"1____a____0|国信|20240112|20240105|-", "2____b____1|中信|20240112|20240105|-"};
    QTest::newRow("later date second: replaced broker moves last")
        << QStringList({"1|a|国信|20240105", "3|c|中信|20240107", "2|b|国信|20240110"}) << QString() << true << true
        << QStringList({"3____c____1|中信|20240112|20240107|-", "2____b____2|国信|20240112|20240110|-"}) << 3
        << QString() << "onData success: dataSize 3";
    QTest::newRow("empty answer clears") << QStringList() << QString() << true << true << QStringList() << 0
                                         << QString() << "onData success: dataSize 0";
    QTest::newRow("failed: the server's text")
        << QStringList() << "券商不存在" << true << true << before << 2 << "券商不存在"
        << "onData error:券商不存在";
    QTest::newRow("failed: empty text, client logging off")
        << QStringList() << "" << false << true << before << 2 << "获取数据错误!" << QString();
    QTest::newRow("no client: no mask, told why")
        << QStringList() << QString() << true << false << before << 2 << DVK::clientUnavailableText() << QString();
}

// Each answer replaces the rows with its condensed summary (condense has the rules;
// withheldRights the rows' buttons) and keeps every record received. A failure keeps rows and
// records and shows the server's text (or a default) in the host's failure box "提示". Query and
// outcome are logged unless the client switched logging off. A query that cannot be sent puts up no
// mask (nothing would take it down) and is reported as a failure. The next answer shows as usual.
void TestCreditDataPanel::answers()
{
    QFETCH(QStringList, received);
    QFETCH(QString, serverMessage);
    QFETCH(bool, logging);
    QFETCH(bool, clientGiven);
    QFETCH(QStringList, rows);
    QFETCH(int, records);
    QFETCH(QString, box);
    QFETCH(QString, outcome);

    PanelProbe panel;
    answer(panel, testsupport::summaryAnswer({"1|a|国信|20240105", "2|b|中信|20240105"}));
    utils::CSingletonT<utils::CLogCenter>::instance()->setLogEnabled(logging);
    testsupport::CLogCapture log;
    testsupport::ScriptedAnswer scripted = testsupport::summaryAnswer(received);
    if (!serverMessage.isNull())
        scripted.error = utils::RQError::failure(serverMessage.toStdString());
    if (clientGiven) {
        answer(panel, scripted);
    } else {
        standin::setClientCenterOutage(true);
        panel.request();
        standin::setClientCenterOutage(false);
        QVERIFY(panel.loadingMask->isHidden());
        QCOMPARE(m_service->queryCount(), 1);
    }

    const QStringList boxes{QStringLiteral("%1 0 提示 %2").arg(int(DVK::eServerCallbackMsgFailure)).arg(box)};
    QTRY_COMPARE(m_boxes, box.isEmpty() ? QStringList() : boxes);
    QVERIFY(panel.loadingMask->isHidden());
    QCOMPARE(testsupport::rowTexts(panel.table->getDataModel()), rows);
    QCOMPARE(panel.table->visibleRowCount(), rows.size());
    QCOMPARE(int(panel.records.size()), records);
    // The query and its outcome, at INFO.
    QStringList lines;
    if (logging)
        lines << "20000 [CCreditDataPanel] queryData:" + QString::fromStdString(m_service->queries().back()->toLog());
    if (!outcome.isEmpty())
        lines << "20000 [CCreditDataPanel] " + outcome;
    QCOMPARE(testsupport::capturedLines(log, "[CCreditDataPanel]"), lines);

    answer(panel, testsupport::summaryAnswer({"3|c|华泰|20240107"}));
    QCOMPARE(testsupport::rowTexts(panel.table->getDataModel()), QStringList{"3____c____0|华泰|20240112|20240107|-"});
    QCOMPARE(m_boxes.size(), box.isEmpty() ? 0 : 1);
}

void TestCreditDataPanel::paramRoundTrip_data()
{
    QTest::addColumn<QString>("param"); // "<saved>" stands for what param() gave
    QTest::addColumn<bool>("restores");

    QTest::newRow("as saved") << QStringLiteral("<saved>") << true;
    QTest::newRow("further parts ignored") << QStringLiteral("<saved>;other;") << true;
    QTest::newRow("empty changes nothing") << QString() << false;
}

// What param() gives, handed back through setParam, restores the table's layout; "" changes nothing.
void TestCreditDataPanel::paramRoundTrip()
{
    QFETCH(QString, param);
    QFETCH(bool, restores);

    PanelProbe source;
    static_cast<QTableView*>(source.table->view())->setColumnHidden(1, true); // as the user does
    source.table->sortByColumn(2, Qt::DescendingOrder);
    const QString saved = source.param();
    QCOMPARE(saved, source.table->saveConfigStr());

    PanelProbe target;
    const QString initial = target.param();
    QVERIFY(!initial.isEmpty() && initial != saved);
    target.setParam(param.replace(QLatin1String("<saved>"), saved));
    QCOMPARE(target.param(), restores ? saved : initial);
    QCOMPARE(target.table->isColumnVisible(1), !restores);
}

void TestCreditDataPanel::eventsThatOpenNothing_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("key"); // "1____a____0" is the broker's row
    QTest::addColumn<bool>("handled");

    QTest::newRow("row button, unknown key") << 228 << 0 << QStringLiteral("nope") << true;
    QTest::newRow("row button, other button id") << 228 << 1 << QStringLiteral("1____a____0") << true;
    QTest::newRow("row button, not a summary row") << 228 << 0 << QStringLiteral("foreign") << true;
    QTest::newRow("other button passes on") << 5 << 999 << QString() << false;
}

// Events the panel cannot act on open no dialog and send no query.
void TestCreditDataPanel::eventsThatOpenNothing()
{
    QFETCH(int, type);
    QFETCH(int, index);
    QFETCH(QString, key);

    PanelProbe panel;
    answer(panel, testsupport::summaryAnswer({"1|a|国信|20240105"}));
    panel.table->getDataModel()->addData(boost::make_shared<testsupport::KeyedRow>("foreign"));
    QCOMPARE(panel.table->getDataModel()->getDataIndexByKey("1____a____0"), 0);
    const int queries = m_service->queryCount();

    // Type 5 carries the id in the second argument, 228 the button id in the third.
    QTEST(WB::deliverEvent(panel.table, type, type == 5 ? index : 3, type == 5 ? 0 : index, key), "handled");
    QVERIFY(!panel.queryDialog);
    QCOMPARE(m_service->queryCount(), queries);
}

// An answer arriving after the panel is gone is dropped, not delivered to freed memory.
void TestCreditDataPanel::destroyedWithQueryOutstanding()
{
    m_service->setHolding(true);
    auto panel = std::make_unique<PanelProbe>();
    panel->request();
    QCOMPARE(m_service->pendingCount(), 1);
    panel.reset();

    testsupport::CLogCapture log;
    QVERIFY(m_service->releaseQuery(testsupport::summaryAnswer({"1|a|国信|20240105"})));
    m_service->waitDelivered();
    QCoreApplication::processEvents();
    QCOMPARE(testsupport::capturedLines(log, "[CCreditDataPanel]"), QStringList());
}

void TestCreditDataPanel::withheldRights_data()
{
    QTest::addColumn<QVector<int>>("rights");
    QTest::addColumn<QStringList>("buttons"); // the tool bar's, "<id> <text>", left to right
    const QString refresh("201 刷新"), upload("200 上传融资融券折算率");
    QTest::newRow("neither right") << QVector<int>() << QStringList();
    QTest::newRow("upload only") << QVector<int>({10413}) << QStringList{upload};
    QTest::newRow("query only") << QVector<int>({10079}) << QStringList{refresh};
    QTest::newRow("both rights") << QVector<int>({10079, 10413}) << QStringList{refresh, upload};
}

// Through the real widgets, rights decide the tool bar's buttons, the operation column and
// whether any request goes out. Nothing is sent on construction; with 10079 every switchSystem (same
// system or not), request and refresh click sends one summary query with the default key; without
// it no summary or detail request ever leaves the panel, the operation column is hidden and no row
// has a button, even when rows arrive and clicks are forged; without 10413 there is no upload button
// and its click opens nothing.
void TestCreditDataPanel::withheldRights()
{
    QFETCH(QVector<int>, rights);
    const bool mayQuery = rights.contains(10079);
    standin::setGrantedRights(std::set<int>(rights.begin(), rights.end()));

    PanelProbe panel;
    panel.resize(600, 400);
    panel.show();
    QVERIFY(QTest::qWaitForWindowExposed(&panel));
    auto* toolbar = panel.findChild<QWidget*>(QStringLiteral("creditDataToolbar"));
    QVERIFY(toolbar);
    auto controls = toolbar->findChildren<WB::CSmallNormalButton*>();
    std::sort(controls.begin(), controls.end(), [](QWidget* a, QWidget* b) { return a->x() < b->x(); });
    QStringList found;
    for (WB::CSmallNormalButton* button : controls)
        found << QStringLiteral("%1 %2").arg(button->id()).arg(button->text());
    QTEST(found, "buttons");
    QCOMPARE(panel.table->isColumnVisible(3), mayQuery);
    QVERIFY(panel.loadingMask->isHidden());
    QCOMPARE(m_service->queryCount(), 0);

    panel.switchSystem(2, QStringLiteral("融资融券"));
    panel.switchSystem(2, QStringLiteral("融资融券"));
    panel.request();
    if (auto* refresh = panel.findChild<WB::CSmallNormalButton*>(QStringLiteral("creditDataRefreshButton")))
        refresh->click();
    else
        WB::deliverEvent(&panel, 5, 201, 0, QString()); // a refresh click, forged
    QTRY_VERIFY(panel.loadingMask->isHidden());
    QCOMPARE(m_service->queryCount(), mayQuery ? 4 : 0);
    for (const auto& query : m_service->queries()) {
        QCOMPARE(query->queryType, 12294);
        QCOMPARE(query->queryKey, rqservice::CVoprQueryDataReq().queryKey);
    }
    QCOMPARE(panel.systemId(), 2);

    // Rows as a summary answer brings them: with the query right each has one enabled "查询" button, else none.
    emit panel.sigOnDataCallBack(testsupport::summaryAnswer({"7|GX|国信证券|20240105", "9|HT|华泰证券|"}).records);
    QTRY_COMPARE(panel.table->getDataModel()->rowCount(), 2);
    QCOMPARE(panel.table->isColumnVisible(3), mayQuery);
    auto* delegate = qobject_cast<WB::CBaseTableColumnMultiButtonsDelegate*>(panel.table->columnDelegate(3));
    QVERIFY(delegate);
    QStringList rowButtons;
    for (int i = 0; i < panel.table->getDataModel()->rowCount(); ++i) {
        for (const WB::ButtonData& button : delegate->itemButtons(panel.table->getDataModel()->getData(i)->getKey()))
            rowButtons << QStringLiteral("%1 %2 %3").arg(button.id).arg(button.text).arg(button.disabled);
    }
    QCOMPARE(rowButtons, mayQuery ? QStringList({"0 查询 0", "0 查询 0"}) : QStringList());

    // A forged row click: the dialog it opens is closed as soon as it shows.
    const int before = m_service->queryCount();
    QTimer closer;
    connect(&closer, &QTimer::timeout, this, [] {
        if (auto* modal = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
            modal->done(0);
    });
    closer.start(0);
    const QString key = QString::fromStdString(panel.table->getDataModel()->getData(0)->getKey());
    QVERIFY(WB::deliverEvent(panel.table, 228, 3, 0, key));
    QCOMPARE(m_service->queryCount(), before + (mayQuery ? 1 : 0));
    QCOMPARE(panel.findChild<DVK::CCreditDataQueryDialog*>() != nullptr, mayQuery);

    WB::deliverEvent(&panel, 5, 200, 0, QString());
    QCOMPARE(panel.findChild<DVK::CCreditDataSendFileDialog*>() != nullptr, rights.contains(10413));
    QCOMPARE(m_service->queryCount(), before + (mayQuery ? 1 : 0));
    QVERIFY(m_service->operations().empty());
}

QTEST_MAIN(TestCreditDataPanel)
#include "tst_creditdatapanel.moc"
