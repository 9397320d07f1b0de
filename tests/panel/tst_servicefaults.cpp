#include "panel/creditdatapanel.h"
#include "detail/creditdataquerydialog.h"
#include "detail/creditdataquerytable.h"
#include "upload/creditdatasendfiledialog.h"

#include "creditdataprobes.h"
#include "scriptedservice.h"
#include "standinservice.h"
#include "standintoolkit.h"
#include "testfiles.h"

#include <QLineEdit>
#include <QTemporaryDir>
#include <QtTest>

#include <boost/make_shared.hpp>

using testsupport::PanelProbe;

namespace {

const char kFailure[] = "服务暂不可用";

boost::shared_ptr<rqservice::CVoprCvionRateBaseInfo> broker(int keyNo, const std::string& id)
{
    return boost::dynamic_pointer_cast<rqservice::CVoprCvionRateBaseInfo>(
        testsupport::makeBaseInfo(keyNo, id, "国信证券", "20240112", "20240105"));
}

testsupport::ScriptedAnswer detailOf(const std::vector<std::string>& codes)
{
    auto detail = boost::make_shared<rqservice::CVoprCvionRateDetail>();
    for (const std::string& code : codes)
        detail->subjects.push_back(testsupport::makeSubject(7, "GX", "上交所", code, "x", 0.5));
    testsupport::ScriptedAnswer answer;
    answer.records.push_back(detail);
    return answer;
}

// The codes the detail dialog's table shows, in order.
QStringList shownCodes(DVK::CCreditDataQueryDialog& dialog)
{
    auto* table = dialog.findChild<DVK::CCreditDataQueryTable*>(QStringLiteral("creditDataQueryTable"));
    QStringList out;
    for (int i = 0; table && i < table->visibleRowCount(); ++i)
        out << table->visibleRow(i)->getText(0);
    return out;
}

} // namespace

class TestServiceFaults : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase() { standin::setMessageInterceptor(standin::MessageInterceptor()); }

    void detailAnswersReversed();
    void failingServicePanel();
    void failingServiceDetail();
    void failingServiceUpload();

private:
    // Every query and every upload from now on fails.
    void failEverything();

    boost::shared_ptr<testsupport::CScriptedService> m_service;
    QStringList m_boxes; // the text of every message box or server message shown
    QTemporaryDir m_dir;
};

void TestServiceFaults::initTestCase()
{
    standin::setCaptureMessages(false);
    standin::setMessageInterceptor([this](const standin::MessageRecord& record) {
        m_boxes << record.text;
        return int(QMessageBox::Ok);
    });
}

void TestServiceFaults::init()
{
    standin::setClientCenterOutage(false);
    standin::setGrantedRights({10079, 10413});
    m_service = testsupport::CScriptedService::install();
    m_boxes.clear();
}

void TestServiceFaults::failEverything()
{
    for (int i = 0; i < 10; ++i)
        m_service->queueQueryAnswer({utils::RQError::failure(kFailure), {}});
    m_service->setOperateOutcome(utils::RQError::failure(kFailure));
}

// Two detail requests answered in reverse order: the dialog shows the second broker's rows, not
// the late answer to the first.
void TestServiceFaults::detailAnswersReversed()
{
    DVK::CCreditDataQueryDialog dialog(nullptr);
    m_service->setHolding(true);
    dialog.setData(broker(7, "GX"));
    dialog.setData(broker(8, "HT"));
    QCOMPARE(m_service->pendingCount(), 2);

    QVERIFY(m_service->releaseNewestQuery(detailOf({"600519", "600000"})));
    QVERIFY(m_service->releaseQuery(detailOf({"000001"})));
    m_service->waitDelivered();
    QCoreApplication::processEvents();
    QTRY_COMPARE(shownCodes(dialog), QStringList({"600519", "600000"}));
    QCOMPARE(m_boxes, QStringList());
}

// A service failing every call: the panel says so each time, keeps its mask down, and still
// sends and shows the next answer.
void TestServiceFaults::failingServicePanel()
{
    failEverything();
    PanelProbe panel;
    for (int i = 1; i <= 2; ++i) {
        panel.request();
        QTRY_COMPARE(m_boxes.size(), i);
        QVERIFY(panel.loadingMask->isHidden());
    }
    QCOMPARE(m_boxes, QStringList({kFailure, kFailure}));

    m_service = testsupport::CScriptedService::install();
    m_service->queueQueryAnswer({utils::RQError(), {broker(7, "GX")}});
    panel.request();
    QTRY_COMPARE(panel.table->getDataModel()->rowCount(), 1);
    QVERIFY(panel.loadingMask->isHidden());
}

void TestServiceFaults::failingServiceDetail()
{
    failEverything();
    DVK::CCreditDataQueryDialog dialog(nullptr);
    for (int i = 1; i <= 2; ++i) {
        dialog.setData(broker(7, "GX"));
        QTRY_COMPARE(m_boxes.size(), i);
        QCOMPARE(shownCodes(dialog), QStringList());
    }
    QCOMPARE(m_boxes, QStringList({kFailure, kFailure}));

    m_service = testsupport::CScriptedService::install();
    m_service->queueQueryAnswer(detailOf({"600000"}));
    dialog.setData(broker(7, "GX"));
    QTRY_COMPARE(shownCodes(dialog), QStringList({"600000"}));
}

void TestServiceFaults::failingServiceUpload()
{
    failEverything();
    const QString path = m_dir.filePath(QStringLiteral("rates.csv"));
    QVERIFY(testsupport::writeFile(path, "SH,600000,浦发银行,0.7\n"));

    DVK::CCreditDataSendFileDialog dialog(nullptr);
    dialog.setBrokerList({broker(7, "GX")});
    dialog.setResult(-1);
    dialog.findChild<QLineEdit*>(QStringLiteral("sendFileEdit"))->setText(path);
    auto* mask = dialog.findChild<WB::CLoadingMaskWidget*>(QStringLiteral("sendFileLoadingMask"));
    for (int i = 1; i <= 2; ++i) {
        QVERIFY(dialog.handleEvent(5, 402, 0, QString(), nullptr));
        QTRY_COMPARE(m_boxes.size(), i);
        QVERIFY(mask->isHidden());
    }
    QCOMPARE(m_boxes, QStringList({kFailure, kFailure}));
    QCOMPARE(int(m_service->operations().size()), 2);
    QCOMPARE(dialog.result(), -1);

    m_service->setOperateOutcome(utils::RQError());
    QVERIFY(dialog.handleEvent(5, 402, 0, QString(), nullptr));
    QTRY_COMPARE(dialog.result(), 1);
}

QTEST_MAIN(TestServiceFaults)
#include "tst_servicefaults.moc"
