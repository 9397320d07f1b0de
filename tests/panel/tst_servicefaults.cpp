// Answers that arrive out of order.
#include "detail/creditdataquerydialog.h"
#include "detail/creditdataquerytable.h"

#include "scriptedservice.h"
#include "standinservice.h"
#include "standintoolkit.h"

#include <QtTest>

#include <boost/make_shared.hpp>

namespace {

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

private:
    boost::shared_ptr<testsupport::CScriptedService> m_service;
    QStringList m_boxes; // the text of every message box or server message shown
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

QTEST_MAIN(TestServiceFaults)
#include "tst_servicefaults.moc"
