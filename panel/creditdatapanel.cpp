#include "panel/creditdatapanel.h"

#include "common/clientunavailable.h"
#include "common/pluginlog.h"
#include "detail/creditdataquerydialog.h"
#include "panel/brokersummary.h"
#include "panel/creditdatamaindata.h"
#include "panel/creditdatamainmodel.h"
#include "panel/creditdatamaintable.h"
#include "upload/creditdatasendfiledialog.h"

#include <QPainter>
#include <QPointer>

#include <boost/bind/bind.hpp>
#include <boost/make_shared.hpp>
#include <boost/pointer_cast.hpp>

namespace DVK {

namespace {

constexpr int kRightQuery = 10079;
constexpr int kRightUpload = 10413;
constexpr int kUploadButtonId = 200;
constexpr int kRefreshButtonId = 201;
constexpr int kSummaryTableId = 1331;
constexpr int kQueryButtonId = 0;
// What sigMsgCallBack carries with a failure; its slot shows only the message.
constexpr int kQueryFailed = -1;

bool hasRight(int right)
{
    return utils::CSingletonT<CUserManager>::instance()->checkUserAuth(right);
}

} // namespace

CCreditDataPanel::CCreditDataPanel(QWidget* parent)
    : IvoprDockableWidget(false, QStringLiteral("cdd"), parent, true)
{
    setObjectName(QStringLiteral("creditDataPanel"));
    createUi();
    // The host registers it too; doing it here keeps queued answers working on any host.
    qRegisterMetaType<std::vector<rqservice::IDataPtr>>("std::vector<rqservice::IDataPtr>");
    connect(this, SIGNAL(sigOnDataCallBack(std::vector<rqservice::IDataPtr>)), this,
            SLOT(slotOnDataCallBack(std::vector<rqservice::IDataPtr>)), Qt::AutoConnection);
    connect(this, SIGNAL(sigMsgCallBack(int, QString)), this, SLOT(slotMsgCallBack(int, QString)), Qt::AutoConnection);
}

CCreditDataPanel::~CCreditDataPanel()
{
    m_callbackGuard.invalidate();
}

void CCreditDataPanel::createUi()
{
    auto* outerList = new WB::CWidgetList(Qt::Vertical, this);
    outerList->setObjectName(QStringLiteral("creditDataOuterList"));
    outerList->setSpacing(0);
    outerList->setMargin(0, 0, 0, 0);

    auto* toolbar = new WB::CWidgetList(Qt::Horizontal, outerList);
    toolbar->setObjectName(QStringLiteral("creditDataToolbar"));
    toolbar->setFixedHeight(36);
    toolbar->setSpacing(0);
    toolbar->setMargin(3, 5, 0, 5);

    if (hasRight(kRightQuery)) {
        auto* refreshButton = new WB::CSmallNormalButton(kRefreshButtonId, true, WB::eBlueButton, toolbar);
        refreshButton->setObjectName(QStringLiteral("creditDataRefreshButton"));
        refreshButton->setFixedSize(70, 26);
        refreshButton->setText(QStringLiteral("刷新"));
        toolbar->addFixedWidget(refreshButton, WB::eAnchorCenter, false);
    }
    if (hasRight(kRightUpload)) {
        auto* uploadButton = new WB::CSmallNormalButton(kUploadButtonId, true, WB::eBlueButton, toolbar);
        uploadButton->setObjectName(QStringLiteral("creditDataUploadButton"));
        uploadButton->setText(QStringLiteral("上传融资融券折算率"));
        uploadButton->setFixedSize(150, 26);
        toolbar->addFixedSpace(5);
        toolbar->addFixedWidget(uploadButton, WB::eAnchorCenter, false);
    }
    outerList->addFixedWidget(toolbar, WB::eAnchorFill, false);

    table = new CCreditDataMainTable(kSummaryTableId, outerList);
    table->setObjectName(QStringLiteral("creditDataMainTable"));
    // The row buttons' clicks go to the table, which passes them up to this panel as event 228.
    table->setColumnDelegate(eMainColumnOperation,
                             new WB::CBaseTableColumnMultiButtonsDelegate(eMainColumnOperation, table));
    if (!hasRight(kRightQuery)) {
        table->setColumnVisible(eMainColumnOperation, false);
    }
    outerList->addStretchWidget(table, 1, WB::eAnchorFill, false);

    WB::setInnerStretchWidget(outerList, 0, 0, 0, 0);

    loadingMask = new WB::CLoadingMaskWidget(QStringLiteral("正在获取数据..."), this);
    loadingMask->setObjectName(QStringLiteral("creditDataLoadingMask"));
    loadingMask->hide();
}

void CCreditDataPanel::setParam(const QString& param)
{
    const QStringList parts = param.split(QLatin1Char(';'), Qt::KeepEmptyParts, Qt::CaseSensitive);
    if (!parts.isEmpty() && table) {
        table->loadConfigStr(parts.first());
    }
}

QString CCreditDataPanel::param()
{
    QStringList parts;
    if (table) {
        parts << table->saveConfigStr();
    }
    return parts.join(QLatin1Char(';'));
}

void CCreditDataPanel::switchSystem(int systemId, QString systemName)
{
    IvoprDockableWidget::switchSystem(systemId, systemName);
    request();
}

bool CCreditDataPanel::handleEvent(int event, int id, int arg, QString text, void* data)
{
    // A forged or stale click must not reach what the rights withhold.
    if (event == WB::eEventButtonClicked && id == kUploadButtonId && hasRight(kRightUpload)) {
        if (!sendFileDialog) {
            sendFileDialog = new CCreditDataSendFileDialog(this);
        }
        sendFileDialog->setBrokerList(records);
        // The panel (and the dialog with it) may be destroyed while exec() runs.
        const QPointer<CCreditDataPanel> self(this);
        const QPointer<CCreditDataSendFileDialog> dialog(sendFileDialog);
        if (dialog->exec() == QDialog::Accepted && self) {
            request();
        }
        return true;
    }
    if (event == WB::eEventButtonClicked && id == kRefreshButtonId) {
        request();
        return true;
    }
    if (event == WB::eEventRowButtonClicked) {
        CCreditDataMainModel* model = table ? table->getDataModel() : nullptr;
        if (model) {
            const std::string key = text.toUtf8().toStdString();
            if (model->getDataIndexByKey(key) != -1) {
                const auto row = boost::dynamic_pointer_cast<CCreditDataMainData>(model->getDataByKey(key));
                if (row && arg == kQueryButtonId) {
                    showData(row->brokerKeyNo, row->brokerId);
                }
            }
        }
        return true;
    }
    return WB::CBaseWidget::handleEvent(event, id, arg, text, data);
}

void CCreditDataPanel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), QColor(252, 252, 252, 255));
}

void CCreditDataPanel::request()
{
    if (!hasRight(kRightQuery)) {
        return;
    }
    auto req = boost::make_shared<rqservice::CVoprQueryDataReq>();
    req->queryType = rqservice::eDataTypeCvionRateBaseInfo;
    if (pluginLogEnabled()) {
        rqStdLogNew(g_RQStdLogger, kPluginLogLevel, "[CCreditDataPanel] queryData:%s", req->toLog().c_str());
    }

    using namespace boost::placeholders;
    const QueryCallback callback = boost::bind(&CCreditDataPanel::onDataCallBack, this, _1, _2, _3, _4);
    CVoprClientPtr client = utils::CSingletonT<CVoprClientCenter>::instance()->getClientByName("");
    if (!client) {
        // Nothing will answer: report it as a failed answer would be, from the event loop.
        QMetaObject::invokeMethod(
            this, [this] { emit sigMsgCallBack(kQueryFailed, clientUnavailableText()); }, Qt::QueuedConnection);
        return;
    }
    // Shown while the summary is fetched so the user sees the refresh running; either slot hides it.
    // Attached before the hand-off so that an answer given at once still finds it to hide.
    if (loadingMask) {
        loadingMask->attach(this);
    }
    client->queryData_async(req, m_callbackGuard.wrap(callback), kClientRequestFlag);
}

void CCreditDataPanel::onDataCallBack(const utils::RQError& error, const std::vector<rqservice::IDataPtr>& answer, int,
                                      bson::BSONObj)
{
    if (error.isSuccess()) {
        if (pluginLogEnabled()) {
            rqStdLogNew(g_RQStdLogger, kPluginLogLevel, "[CCreditDataPanel] onData success: dataSize %d",
                        static_cast<int>(answer.size()));
        }
        emit sigOnDataCallBack(answer);
    } else {
        if (pluginLogEnabled()) {
            rqStdLogNew(g_RQStdLogger, kPluginLogLevel, "[CCreditDataPanel] onData error:%s", error.errorMsg().c_str());
        }
        emit sigMsgCallBack(kQueryFailed, WB::sToQs(error.errorMsg()));
    }
}

void CCreditDataPanel::slotOnDataCallBack(const std::vector<rqservice::IDataPtr>& answer)
{
    if (loadingMask) {
        loadingMask->hide();
    }
    // Kept before anything else: the upload dialog offers these brokers even without a table.
    records = answer;
    CCreditDataMainModel* model = table ? table->getDataModel() : nullptr;
    if (!model) {
        return;
    }
    model->clear();

    auto* delegate =
        qobject_cast<WB::CBaseTableColumnMultiButtonsDelegate*>(table->columnDelegate(eMainColumnOperation));
    if (delegate) {
        const std::vector<boost::shared_ptr<CCreditDataMainData>> rows = condenseBrokerSummary(records);
        const bool mayQuery = hasRight(kRightQuery);
        for (const auto& row : rows) {
            model->addData(row);
            QVector<WB::ButtonData> buttons;
            if (mayQuery) {
                buttons.append(WB::ButtonData(kQueryButtonId, QStringLiteral("查询"), WB::eBlueButton, false,
                                              QMap<int, QString>()));
            }
            delegate->setItemButtons(row->getKey(), buttons, true);
        }
    }
    table->updateTable();
    table->adjustColumnWidth();
}

void CCreditDataPanel::slotMsgCallBack(int, QString message)
{
    if (message.isEmpty()) {
        message = QStringLiteral("获取数据错误!");
    }
    utils::CSingletonT<CVoprClientCenter>::instance()->showServerMsgCallBack(
        eServerCallbackMsgFailure, false, this, QStringLiteral("提示"), message, true, false);
    if (loadingMask) {
        loadingMask->hide();
    }
}

void CCreditDataPanel::showData(int brokerKeyNo, std::string brokerId)
{
    // Every detail request goes through here: without the query right none leaves the panel.
    if (!hasRight(kRightQuery)) {
        return;
    }
    if (!queryDialog) {
        queryDialog = new CCreditDataQueryDialog(this);
    }
    for (const rqservice::IDataPtr& record : records) {
        const auto info = boost::dynamic_pointer_cast<rqservice::CVoprCvionRateBaseInfo>(record);
        if (info && info->brokerKeyNo == brokerKeyNo && info->brokerId == brokerId) {
            queryDialog->setData(info);
            break;
        }
    }
    // The panel (and the dialog with it) may be destroyed while exec() runs: touch neither after.
    const QPointer<CCreditDataQueryDialog> dialog(queryDialog);
    if (dialog) {
        dialog->exec();
    }
}

} // namespace DVK
