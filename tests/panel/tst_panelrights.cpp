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
    QTest::newRow("neither right") << QVector<int>();
    QTest::newRow("upload only") << QVector<int>({10413});
    QTest::newRow("query only") << QVector<int>({10079});
    QTest::newRow("both rights") << QVector<int>({10079, 10413});
}

// Through the real widgets: without 10079 no summary or detail request ever leaves the panel, the
// operation column is hidden and no row has a button, even when rows arrive and row clicks are
// forged; without 10413 there is no upload button and its click opens nothing.
void TestPanelRights::withheldRights()
{
    QFETCH(QVector<int>, rights);
    const bool mayQuery = rights.contains(10079);
    const bool mayUpload = rights.contains(10413);
    standin::setGrantedRights(std::set<int>(rights.begin(), rights.end()));

    PanelProbe panel;
    panel.resize(600, 400);
    panel.show();
    QVERIFY(QTest::qWaitForWindowExposed(&panel));
    panel.switchSystem(2, QStringLiteral("融资融券"));
    panel.request();
    auto* refresh = panel.findChild<WB::CSmallNormalButton*>(QStringLiteral("creditDataRefreshButton"));
    QCOMPARE(refresh != nullptr, mayQuery);
    WB::deliverEvent(&panel, 5, 201, 0, QString()); // a refresh click, forged when there is no button
    QTRY_VERIFY(panel.loadingMask->isHidden());
    QCOMPARE(m_service->queryCount(), mayQuery ? 3 : 0);

    // Rows as a summary answer brings them: with the query right each has its "查询" button, else none.
    emit panel.sigOnDataCallBack({testsupport::makeBaseInfo(7, "GX", "国信证券", "20240112", "20240105"),
                                  testsupport::makeBaseInfo(9, "HT", "华泰证券", "20240112", "")});
    QTRY_COMPARE(panel.table->getDataModel()->rowCount(), 2);
    QCOMPARE(panel.table->isColumnVisible(3), mayQuery);
    auto* delegate = qobject_cast<WB::CBaseTableColumnMultiButtonsDelegate*>(panel.table->columnDelegate(3));
    QVERIFY(delegate);
    QStringList buttons;
    for (const WB::IBaseHpfTableDataPtr& row : panel.table->getDataModel()->rows()) {
        for (const WB::ButtonData& button : delegate->itemButtons(row->getKey()))
            buttons << QStringLiteral("%1 %2").arg(button.id).arg(button.text);
    }
    QCOMPARE(buttons, mayQuery ? QStringList({"0 查询", "0 查询"}) : QStringList());

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

    auto* upload = panel.findChild<WB::CSmallNormalButton*>(QStringLiteral("creditDataUploadButton"));
    QCOMPARE(upload != nullptr, mayUpload);
    QStringList ids;
    for (WB::CSmallNormalButton* button : panel.findChildren<WB::CSmallNormalButton*>())
        ids << QString::number(button->id());
    QCOMPARE(ids.contains(QStringLiteral("200")), mayUpload);
    WB::deliverEvent(&panel, 5, 200, 0, QString());
    QCOMPARE(panel.findChild<DVK::CCreditDataSendFileDialog*>() != nullptr, mayUpload);
    QCOMPARE(m_service->queryCount(), before + (mayQuery ? 1 : 0));
    QVERIFY(m_service->operations().empty());
}

QTEST_MAIN(TestPanelRights)
#include "tst_panelrights.moc"
