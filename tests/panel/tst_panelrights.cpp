#include "panel/creditdatapanel.h"
#include "upload/creditdatasendfiledialog.h"
#include "detail/creditdataquerydialog.h"

#include "creditdataprobes.h"
#include "scriptedservice.h"
#include "standinservice.h"
#include "standintoolkit.h"

#include <QtTest>

using testsupport::PanelProbe;

class TestPanelRights : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanupTestCase() { standin::setMessageInterceptor(standin::MessageInterceptor()); }
    void withheldRights_data();
    void withheldRights();

private:
    boost::shared_ptr<testsupport::CScriptedService> m_service;
};

void TestPanelRights::init()
{
    standin::setClientCenterOutage(false);
    standin::setCaptureMessages(true);
    standin::setMessageInterceptor([](const standin::MessageRecord&) { return int(QMessageBox::Ok); });
    m_service = testsupport::CScriptedService::install();
}

void TestPanelRights::withheldRights_data()
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
void TestPanelRights::withheldRights()
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

QTEST_MAIN(TestPanelRights)
#include "tst_panelrights.moc"
