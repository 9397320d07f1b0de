#include "panel/creditdatamaindata.h"
#include "panel/creditdatamainmodel.h"
#include "panel/creditdatamaintable.h"
#include "panel/creditdatapanel.h"

#include "logcapture.h"
#include "scriptedservice.h"

#include <QMetaMethod>
#include <QtTest>

#include <boost/make_shared.hpp>

#include <log4cxx/level.h>

namespace {

// Opens the panel's members to the test.
class PanelProbe : public DVK::CCreditDataPanel
{
public:
    using DVK::CCreditDataPanel::CCreditDataPanel;
    using DVK::CCreditDataPanel::loadingMask;
    using DVK::CCreditDataPanel::queryDialog;
    using DVK::CCreditDataPanel::records;
    using DVK::CCreditDataPanel::table;
};

// A row of some other table, to see that the panel only opens its own rows.
class ForeignRow : public WB::IBaseHpfTableData
{
public:
    std::string getKey() override { return "foreign"; }
};

const char* const kTradingDay = "20240112";

// "keyNo|id|name|date" is a broker summary; "subject" and "detail" are records of other types.
std::vector<rqservice::IDataPtr> makeRecords(const QStringList& specs)
{
    std::vector<rqservice::IDataPtr> out;
    for (const QString& spec : specs) {
        if (spec == QLatin1String("subject")) {
            out.push_back(testsupport::makeSubject(1, "a", "上交所", "600000", "浦发银行", 0.7));
        } else if (spec == QLatin1String("detail")) {
            out.push_back(boost::make_shared<rqservice::CVoprCvionRateDetail>());
        } else {
            const QStringList f = spec.split(QLatin1Char('|'));
            out.push_back(testsupport::makeBaseInfo(f[0].toInt(), f[1].toStdString(), f[2].toStdString(), kTradingDay,
                                                    f[3].toStdString()));
        }
    }
    return out;
}

// Each model row as "keyNo/id|col0|col1|col2|col3", in the model's order.
QStringList modelRows(PanelProbe& panel)
{
    QStringList out;
    for (const WB::IBaseHpfTableDataPtr& data : panel.table->getDataModel()->rows()) {
        const auto row = boost::dynamic_pointer_cast<DVK::CCreditDataMainData>(data);
        if (!row) {
            out << QStringLiteral("?");
            continue;
        }
        out << QStringLiteral("%1/%2|%3|%4|%5|%6")
                   .arg(row->brokerKeyNo)
                   .arg(QString::fromStdString(row->brokerId), row->getText(0), row->getText(1), row->getText(2),
                        row->getText(3));
    }
    return out;
}

QStringList panelLines(const testsupport::CLogCapture& capture)
{
    QStringList out;
    for (const testsupport::CapturedLine& line : capture.lines()) {
        const QString text = QString::fromStdString(line.message);
        if (text.startsWith(QLatin1String("[CCreditDataPanel]"))) {
            out << QStringLiteral("%1 %2").arg(line.level).arg(text);
        }
    }
    return out;
}

} // namespace

class TestCreditDataPanel : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void metaObjectMethods();
    void rightsDecideControls_data();
    void rightsDecideControls();
    void condensing_data();
    void condensing();
    void emptyAnswerClears();
    void failedAnswerKeepsRows_data();
    void failedAnswerKeepsRows();
    void maskCoversPanelWhileQuerying();
    void everySwitchSystemQueries();
    void paramRoundTrip_data();
    void paramRoundTrip();
    void paramWithoutConfigChangesNothing_data();
    void paramWithoutConfigChangesNothing();
    void eventsThatOpenNothing_data();
    void eventsThatOpenNothing();
    void logLines_data();
    void logLines();
    void destroyedWithQueryOutstanding();

private:
    // Queues the answer, sends a query and waits until the panel has applied it.
    void answer(PanelProbe& panel, const testsupport::ScriptedAnswer& scripted);
    DVK::CVoprClientCenter* center() { return utils::CSingletonT<DVK::CVoprClientCenter>::instance(); }

    boost::shared_ptr<testsupport::CScriptedService> m_service;
};

void TestCreditDataPanel::initTestCase()
{
    center()->setCaptureMessages(true);
    WB::CMessageBox::setInterceptor([](const WB::MessageRecord&) { return int(QMessageBox::Ok); });
}

void TestCreditDataPanel::init()
{
    utils::CSingletonT<DVK::CUserManager>::instance()->setGrantedRights({10079, 10413});
    utils::CSingletonT<utils::CLogCenter>::instance()->setLogEnabled(true);
    m_service = testsupport::CScriptedService::install();
    center()->takeCapturedMessages();
}

void TestCreditDataPanel::cleanup()
{
    g_RQStdLogger->setLevel(log4cxx::LevelPtr());
}

void TestCreditDataPanel::answer(PanelProbe& panel, const testsupport::ScriptedAnswer& scripted)
{
    m_service->queueQueryAnswer(scripted);
    const int before = m_service->queryCount();
    panel.request();
    QCOMPARE(m_service->queryCount(), before + 1);
    QVERIFY(!panel.loadingMask->isHidden());
    QTRY_VERIFY(panel.loadingMask->isHidden());
}

// Exactly the two signals and two slots, with the answer type named as the host registers it.
void TestCreditDataPanel::metaObjectMethods()
{
    const QMetaObject& meta = DVK::CCreditDataPanel::staticMetaObject;
    QCOMPARE(meta.className(), "DVK::CCreditDataPanel");
    QStringList methods;
    for (int i = meta.methodOffset(); i < meta.methodCount(); ++i) {
        const QMetaMethod method = meta.method(i);
        methods << QStringLiteral("%1 %2 %3")
                       .arg(method.methodType() == QMetaMethod::Signal ? "signal" : "slot")
                       .arg(method.access() == QMetaMethod::Protected ? "protected" : "public")
                       .arg(QString::fromLatin1(method.methodSignature()));
    }
    QCOMPARE(methods, QStringList({
                          "signal public sigOnDataCallBack(std::vector<rqservice::IDataPtr>)",
                          "signal public sigMsgCallBack(int,QString)",
                          "slot protected slotOnDataCallBack(std::vector<rqservice::IDataPtr>)",
                          "slot protected slotMsgCallBack(int,QString)",
                      }));
}

void TestCreditDataPanel::rightsDecideControls_data()
{
    QTest::addColumn<bool>("mayQuery");
    QTest::addColumn<bool>("mayUpload");
    QTest::addColumn<QStringList>("buttons");

    QTest::newRow("both rights") << true << true
                                 << QStringList({"201 刷新 70x26", "200 上传融资融券折算率 150x26"});
    QTest::newRow("query only") << true << false << QStringList({"201 刷新 70x26"});
    QTest::newRow("upload only") << false << true << QStringList({"200 上传融资融券折算率 150x26"});
    QTest::newRow("neither") << false << false << QStringList();
}

// Rights decide the tool bar's buttons, the operation column and whether any query goes out.
void TestCreditDataPanel::rightsDecideControls()
{
    QFETCH(bool, mayQuery);
    QFETCH(bool, mayUpload);
    QFETCH(QStringList, buttons);

    std::set<int> rights;
    if (mayQuery) {
        rights.insert(10079);
    }
    if (mayUpload) {
        rights.insert(10413);
    }
    utils::CSingletonT<DVK::CUserManager>::instance()->setGrantedRights(rights);

    PanelProbe panel;
    panel.resize(600, 400);
    panel.show();
    QVERIFY(QTest::qWaitForWindowExposed(&panel));

    auto* toolbar = panel.findChild<QWidget*>(QStringLiteral("creditDataToolbar"));
    QVERIFY(toolbar);
    QCOMPARE(toolbar->height(), 36);
    QStringList found;
    const auto controls = toolbar->findChildren<WB::CSmallNormalButton*>();
    for (WB::CSmallNormalButton* button : controls) {
        found << QStringLiteral("%1 %2 %3x%4").arg(button->id()).arg(button->text()).arg(button->width()).arg(
                     button->height());
    }
    QCOMPARE(found, buttons);
    if (mayQuery && mayUpload) {
        QCOMPARE(controls.at(1)->x() - (controls.at(0)->x() + controls.at(0)->width()), 5);
    }
    QCOMPARE(panel.table->isColumnVisible(3), mayQuery);
    QCOMPARE(m_service->queryCount(), 0);

    panel.switchSystem(1, QStringLiteral("融资融券"));
    panel.request();
    for (WB::CSmallNormalButton* button : controls) {
        if (button->id() == 201) {
            button->click();
        }
    }
    QCOMPARE(m_service->queryCount(), mayQuery ? 3 : 0);
}

void TestCreditDataPanel::condensing_data()
{
    QTest::addColumn<QStringList>("received");
    QTest::addColumn<QStringList>("rows");

    const QString day = QString::fromLatin1(kTradingDay);
    auto row = [&](const char* who, const char* name, const char* date) {
        return QStringLiteral("%1|%2|%3|%4|-").arg(QString::fromUtf8(who), QString::fromUtf8(name), day,
                                                    QString::fromUtf8(date));
    };

    QTest::newRow("one broker") << QStringList({"1|a|国信|20240105"}) << QStringList({row("1/a", "国信", "20240105")});
    QTest::newRow("later date second") << QStringList({"1|a|国信|20240105", "2|b|国信|20240110"})
                                       << QStringList({row("2/b", "国信", "20240110")});
    QTest::newRow("later date first") << QStringList({"2|b|国信|20240110", "1|a|国信|20240105"})
                                      << QStringList({row("2/b", "国信", "20240110")});
    QTest::newRow("equal dates: first received stays") << QStringList({"1|a|国信|20240110", "2|b|国信|20240110"})
                                                       << QStringList({row("1/a", "国信", "20240110")});
    QTest::newRow("replaced broker moves last")
        << QStringList({"1|a|国信|20240105", "3|c|中信|20240107", "2|b|国信|20240110"})
        << QStringList({row("3/c", "中信", "20240107"), row("2/b", "国信", "20240110")});
    QTest::newRow("kept broker keeps its place")
        << QStringList({"1|a|国信|20240110", "3|c|中信|20240107", "2|b|国信|20240105"})
        << QStringList({row("1/a", "国信", "20240110"), row("3/c", "中信", "20240107")});
    QTest::newRow("grouped by name, not by key") << QStringList({"5|x|国信|20240105", "5|y|国信|20240110"})
                                                 << QStringList({row("5/y", "国信", "20240110")});
    QTest::newRow("names are case-sensitive") << QStringList({"1|a|Abc|20240105", "2|b|abc|20240110"})
                                              << QStringList({row("1/a", "Abc", "20240105"), row("2/b", "abc", "20240110")});
    QTest::newRow("other record types skipped") << QStringList({"subject", "1|a|国信|20240105", "detail"})
                                                << QStringList({row("1/a", "国信", "20240105")});
    QTest::newRow("unparsable date loses to a valid one") << QStringList({"1|a|国信|2024-01-10", "2|b|国信|20240105"})
                                                          << QStringList({row("2/b", "国信", "20240105")});
    QTest::newRow("unparsable date never replaces") << QStringList({"1|a|国信|20240105", "2|b|国信|20241399"})
                                                    << QStringList({row("1/a", "国信", "20240105")});
    QTest::newRow("never uploaded loses") << QStringList({"1|a|国信|", "2|b|国信|20240105"})
                                          << QStringList({row("2/b", "国信", "20240105")});
}

// One row per broker name with the latest upload date, each with one "查询" button.
void TestCreditDataPanel::condensing()
{
    QFETCH(QStringList, received);
    QFETCH(QStringList, rows);

    PanelProbe panel;
    testsupport::ScriptedAnswer scripted;
    scripted.records = makeRecords(received);
    answer(panel, scripted);

    QCOMPARE(modelRows(panel), rows);
    QCOMPARE(panel.records.size(), scripted.records.size());
    QCOMPARE(panel.table->visibleRowCount(), rows.size());

    auto* delegate = qobject_cast<WB::CBaseTableColumnMultiButtonsDelegate*>(panel.table->columnDelegate(3));
    QVERIFY(delegate);
    for (const WB::IBaseHpfTableDataPtr& row : panel.table->getDataModel()->rows()) {
        const QVector<WB::ButtonData> buttons = delegate->itemButtons(row->getKey());
        QCOMPARE(buttons.size(), 1);
        QCOMPARE(buttons.at(0).id, 0);
        QCOMPARE(buttons.at(0).text, QStringLiteral("查询"));
        QCOMPARE(buttons.at(0).disabled, false);
    }
}

// An empty successful answer empties the table and the kept records.
void TestCreditDataPanel::emptyAnswerClears()
{
    PanelProbe panel;
    testsupport::ScriptedAnswer full;
    full.records = makeRecords({"1|a|国信|20240105", "2|b|中信|20240105"});
    answer(panel, full);
    QCOMPARE(modelRows(panel).size(), 2);

    testsupport::CLogCapture log;
    answer(panel, testsupport::ScriptedAnswer());
    QCOMPARE(modelRows(panel), QStringList());
    QCOMPARE(panel.table->visibleRowCount(), 0);
    QVERIFY(panel.records.empty());
    QVERIFY(panelLines(log).contains(QStringLiteral("20000 [CCreditDataPanel] onData success: dataSize 0")));
}

void TestCreditDataPanel::failedAnswerKeepsRows_data()
{
    QTest::addColumn<QString>("serverMessage");
    QTest::addColumn<QString>("shown");

    QTest::newRow("server's text") << QStringLiteral("券商不存在") << QStringLiteral("券商不存在");
    QTest::newRow("empty text") << QString() << QStringLiteral("获取数据错误!");
}

// A failure shows the server's text (or a default) as a failure box; rows and records stay.
void TestCreditDataPanel::failedAnswerKeepsRows()
{
    QFETCH(QString, serverMessage);
    QFETCH(QString, shown);

    PanelProbe panel;
    testsupport::ScriptedAnswer full;
    full.records = makeRecords({"1|a|国信|20240105"});
    answer(panel, full);
    const QStringList before = modelRows(panel);
    center()->takeCapturedMessages();

    testsupport::CLogCapture log;
    testsupport::ScriptedAnswer failed;
    failed.error = utils::RQError::failure(serverMessage.toStdString());
    answer(panel, failed);

    const std::vector<DVK::ServerMessage> messages = center()->takeCapturedMessages();
    QCOMPARE(messages.size(), size_t(1));
    QCOMPARE(int(messages[0].type), int(DVK::eServerCallbackMsgFailure));
    QCOMPARE(messages[0].success, false);
    QCOMPARE(messages[0].title, QStringLiteral("提示"));
    QCOMPARE(messages[0].text, shown);
    QCOMPARE(modelRows(panel), before);
    QCOMPARE(panel.records.size(), size_t(1));
    QVERIFY(panelLines(log).contains(QStringLiteral("20000 [CCreditDataPanel] onData error:") + serverMessage));
}

// The mask covers the panel from the query until its answer.
void TestCreditDataPanel::maskCoversPanelWhileQuerying()
{
    PanelProbe panel;
    QVERIFY(panel.loadingMask->isHidden());
    QCOMPARE(panel.loadingMask->text(), QStringLiteral("正在获取数据..."));

    m_service->setHolding(true);
    panel.request();
    QCOMPARE(m_service->pendingCount(), 1);
    QVERIFY(!panel.loadingMask->isHidden());
    QCOMPARE(panel.loadingMask->attachedTo(), static_cast<QWidget*>(&panel));

    testsupport::ScriptedAnswer scripted;
    scripted.records = makeRecords({"1|a|国信|20240105"});
    QVERIFY(m_service->releaseQuery(scripted));
    QTRY_VERIFY(panel.loadingMask->isHidden());
    QCOMPARE(modelRows(panel).size(), 1);
}

// The constructor sends nothing; every switchSystem sends a summary query, same system or not.
void TestCreditDataPanel::everySwitchSystemQueries()
{
    PanelProbe panel;
    QCOMPARE(m_service->queryCount(), 0);
    panel.switchSystem(2, QStringLiteral("融资融券"));
    panel.switchSystem(2, QStringLiteral("融资融券"));
    QCOMPARE(m_service->queryCount(), 2);
    for (const auto& query : m_service->queries()) {
        QCOMPARE(query->queryType, 12294);
        QCOMPARE(query->queryKey, rqservice::CVoprQueryDataReq().queryKey);
    }
    QCOMPARE(panel.systemId(), 2);
    QCOMPARE(panel.systemName(), QStringLiteral("融资融券"));
}

void TestCreditDataPanel::paramRoundTrip_data()
{
    QTest::addColumn<QString>("suffix");
    QTest::newRow("as saved") << QString();
    QTest::newRow("further parts ignored") << QStringLiteral(";other;");
}

// What param() gives, handed back through setParam, restores the table's layout.
void TestCreditDataPanel::paramRoundTrip()
{
    QFETCH(QString, suffix);

    PanelProbe source;
    source.table->setColumnVisible(1, false);
    source.table->sortByColumn(2, Qt::DescendingOrder);
    const QString saved = source.param();
    QCOMPARE(saved, source.table->saveConfigStr());

    PanelProbe target;
    QVERIFY(target.param() != saved);
    target.setParam(saved + suffix);
    QCOMPARE(target.param(), saved);
    QVERIFY(!target.table->isColumnVisible(1));
    QCOMPARE(target.table->sortColumn(), 2);
}

void TestCreditDataPanel::paramWithoutConfigChangesNothing_data()
{
    QTest::addColumn<QString>("param");
    QTest::newRow("empty") << QString();
    QTest::newRow("empty first part") << QStringLiteral(";x");
}

void TestCreditDataPanel::paramWithoutConfigChangesNothing()
{
    QFETCH(QString, param);
    PanelProbe panel;
    const QString initial = panel.param();
    QVERIFY(!initial.isEmpty());
    panel.setParam(param);
    QCOMPARE(panel.param(), initial);
}

void TestCreditDataPanel::eventsThatOpenNothing_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("key"); // "@broker": the key of the broker's row
    QTest::addColumn<bool>("handled");

    QTest::newRow("row button, unknown key") << 228 << 0 << QStringLiteral("nope") << true;
    QTest::newRow("row button, other button id") << 228 << 1 << QStringLiteral("@broker") << true;
    QTest::newRow("row button, not a summary row") << 228 << 0 << QStringLiteral("foreign") << true;
    QTest::newRow("upload button, no dialog yet") << 5 << 200 << QString() << true;
    QTest::newRow("other button passes on") << 5 << 999 << QString() << false;
    QTest::newRow("other event passes on") << 6 << 0 << QString() << false;
}

// Events the panel cannot act on open no dialog and send no query.
void TestCreditDataPanel::eventsThatOpenNothing()
{
    QFETCH(int, type);
    QFETCH(int, index);
    QFETCH(QString, key);
    QFETCH(bool, handled);

    PanelProbe panel;
    testsupport::ScriptedAnswer scripted;
    scripted.records = makeRecords({"1|a|国信|20240105"});
    answer(panel, scripted);
    panel.table->getDataModel()->addData(boost::make_shared<ForeignRow>());
    if (key == QLatin1String("@broker")) {
        key = QString::fromStdString(panel.table->getDataModel()->getData(0)->getKey());
    }
    const int queries = m_service->queryCount();

    // Type 5 carries the id in the second argument, 228 the button id in the third.
    const int id = type == 5 ? index : 3;
    const int arg = type == 5 ? 0 : index;
    QCOMPARE(WB::deliverEvent(panel.table, type, id, arg, key), handled);
    QVERIFY(!panel.queryDialog);
    QCOMPARE(m_service->queryCount(), queries);
}

void TestCreditDataPanel::logLines_data()
{
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<bool>("loggerTakesInfo");
    QTest::addColumn<bool>("written");

    QTest::newRow("on") << true << true << true;
    QTest::newRow("client switched logging off") << false << true << false;
    QTest::newRow("logger above INFO") << true << false << false;
}

// The request and its outcome are logged at INFO, only when the client and the logger allow it.
void TestCreditDataPanel::logLines()
{
    QFETCH(bool, enabled);
    QFETCH(bool, loggerTakesInfo);
    QFETCH(bool, written);

    utils::CSingletonT<utils::CLogCenter>::instance()->setLogEnabled(enabled);
    g_RQStdLogger->setLevel(loggerTakesInfo ? log4cxx::Level::getInfo() : log4cxx::Level::getWarn());

    PanelProbe panel;
    testsupport::CLogCapture log;
    testsupport::ScriptedAnswer scripted;
    scripted.records = makeRecords({"1|a|国信|20240105", "2|b|中信|20240105"});
    answer(panel, scripted);

    const QStringList expected = {
        QStringLiteral("20000 [CCreditDataPanel] queryData:") + QString::fromStdString(m_service->queries().back()->toLog()),
        QStringLiteral("20000 [CCreditDataPanel] onData success: dataSize 2"),
    };
    QCOMPARE(panelLines(log), written ? expected : QStringList());
    QCOMPARE(modelRows(panel).size(), 2);
}

// An answer arriving after the panel is gone is dropped, not delivered to freed memory.
void TestCreditDataPanel::destroyedWithQueryOutstanding()
{
    m_service->setHolding(true);
    auto* panel = new PanelProbe;
    panel->request();
    QCOMPARE(m_service->pendingCount(), 1);
    delete panel;

    testsupport::CLogCapture log;
    testsupport::ScriptedAnswer scripted;
    scripted.records = makeRecords({"1|a|国信|20240105"});
    QVERIFY(m_service->releaseQuery(scripted));
    m_service->waitDelivered();
    QCoreApplication::processEvents();
    QCOMPARE(m_service->pendingCount(), 0);
    QCOMPARE(panelLines(log), QStringList());
}

QTEST_MAIN(TestCreditDataPanel)
#include "tst_creditdatapanel.moc"
