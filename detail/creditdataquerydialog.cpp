#include "detail/creditdataquerydialog.h"

#include "common/clientunavailable.h"
#include "common/detailquerykey.h"
#include "common/pluginlog.h"
#include "detail/creditdataquerydata.h"
#include "detail/creditdataquerymodel.h"
#include "detail/creditdataquerytable.h"

#include <boost/bind/bind.hpp>
#include <boost/make_shared.hpp>
#include <boost/pointer_cast.hpp>

namespace DVK {

namespace {

constexpr int kDetailTableId = 1332;

} // namespace

CCreditDataQueryDialog::CCreditDataQueryDialog(QWidget* parent)
    : WB::CCommonDialog(parent)
{
    setObjectName(QStringLiteral("creditDataQueryDialog"));
    setTitle(QStringLiteral("查询"));
    setMinimumSize(500, 600);
    resize(800, 600);
    createUi();
    connect(this, SIGNAL(sigOnDataCallBack(std::vector<rqservice::IDataPtr>)), this,
            SLOT(slotOnDataCallBack(std::vector<rqservice::IDataPtr>)), Qt::AutoConnection);
    connect(this, SIGNAL(sigMsgCallBack(bool, QString)), this, SLOT(slotMsgCallBack(bool, QString)),
            Qt::AutoConnection);
}

CCreditDataQueryDialog::~CCreditDataQueryDialog()
{
    m_callbackGuard.invalidate();
}

void CCreditDataQueryDialog::createUi()
{
    m_table = new CCreditDataQueryTable(kDetailTableId, this);
    m_table->setObjectName(QStringLiteral("creditDataQueryTable"));
    setInnerWidget(m_table);

    m_loadingMask = new WB::CLoadingMaskWidget(QStringLiteral("正在获取数据..."), this);
    m_loadingMask->setObjectName(QStringLiteral("creditDataQueryMask"));
    m_loadingMask->hide();
}

void CCreditDataQueryDialog::setData(boost::shared_ptr<rqservice::CVoprCvionRateBaseInfo> baseInfo)
{
    m_baseInfo = std::move(baseInfo);
    request();
}

void CCreditDataQueryDialog::request()
{
    // No row of the previous broker may stay visible while this broker's answer is awaited.
    if (m_table && m_table->getDataModel()) {
        m_table->getDataModel()->clear();
        m_table->updateTable();
    }

    auto req = boost::make_shared<rqservice::CVoprQueryDataReq>();
    req->queryType = rqservice::eDataTypeCvionRateDetail;
    if (m_baseInfo) {
        req->queryKey = detailQueryKey(m_baseInfo->brokerKeyNo, m_baseInfo->brokerId);
    }
    if (pluginLogEnabled()) {
        rqStdLogNew(g_RQStdLogger, kPluginLogLevel, "[CCreditDataQueryDialog] queryData:%s", req->toLog().c_str());
    }

    using namespace boost::placeholders;
    const QueryCallback answer = boost::bind(&CCreditDataQueryDialog::onDataCallBack, this, _1, _2, _3, _4);
    // Answers may overtake one another: one to an older request than the newest is dropped.
    const int requestNo = ++m_lastRequest;
    const QueryCallback callback = [this, requestNo, answer](const utils::RQError& error,
                                                             const std::vector<rqservice::IDataPtr>& records, int count,
                                                             bson::BSONObj reply) {
        if (requestNo == m_lastRequest.load()) {
            answer(error, records, count, reply);
        }
    };
    CVoprClientPtr client = utils::CSingletonT<CVoprClientCenter>::instance()->getClientByName("");
    if (!client) {
        // Nothing will answer, so no mask: it takes every key, and the dialog could not be closed.
        // Reported as a failed answer would be, from the event loop, over the running dialog.
        QMetaObject::invokeMethod(
            this, [this] { emit sigMsgCallBack(false, clientUnavailableText()); }, Qt::QueuedConnection);
        return;
    }
    // Attached before the hand-off so that an answer given at once still finds it to hide.
    if (m_loadingMask) {
        m_loadingMask->attach(this);
    }
    client->queryData_async(req, m_callbackGuard.wrap(callback), kClientRequestFlag);
}

void CCreditDataQueryDialog::onDataCallBack(const utils::RQError& error,
                                            const std::vector<rqservice::IDataPtr>& records, int, bson::BSONObj)
{
    if (error.isSuccess()) {
        emit sigOnDataCallBack(records);
    } else {
        emit sigMsgCallBack(false, WB::sToQs(error.errorMsg()));
    }
}

void CCreditDataQueryDialog::slotOnDataCallBack(const std::vector<rqservice::IDataPtr>& records)
{
    if (m_loadingMask) {
        m_loadingMask->hide();
    }
    if (!m_table || !m_table->getDataModel()) {
        return;
    }
    CCreditDataQueryModel* model = m_table->getDataModel();
    model->clear();
    if (records.empty()) {
        m_table->updateTable();
        m_table->adjustColumnWidth();
        return;
    }

    // One broker is asked for, so only the first record is read.
    const auto detail = boost::dynamic_pointer_cast<rqservice::CVoprCvionRateDetail>(records.front());
    if (detail) {
        for (const rqservice::CStkSubjectsPtr& subject : detail->subjects) {
            if (!subject) {
                continue;
            }
            auto row = boost::make_shared<CCreditDataQueryData>();
            row->brokerKeyNo = subject->brokerKeyNo;
            row->rowKey = WB::sToQs(subject->getCsKey());
            row->stockCode = WB::sToQs(subject->stockCode);
            row->exchangeName = WB::sToQs(subject->exchangeName);
            row->ratio = subject->ratio;
            row->stockName = WB::sToQs(subject->stockName);
            model->addData(WB::IBaseHpfTableDataPtr(row));
        }
    }
    m_table->updateTable();
    m_table->adjustColumnWidth();
}

void CCreditDataQueryDialog::slotMsgCallBack(bool, QString text)
{
    if (m_loadingMask) {
        m_loadingMask->hide();
    }
    WB::CMessageBox::information(this, QStringLiteral("提示"), text, QMessageBox::Ok, QMessageBox::NoButton, false);
}

} // namespace DVK
