#include "upload/creditdatasendfiledialog.h"

#include "common/clientunavailable.h"
#include "common/pluginlog.h"
#include "upload/conversionfile.h"
#include "upload/uploadrequest.h"

#include <QFileDialog>
#include <QPainter>
#include <QThread>

#include <boost/bind/bind.hpp>
#include <boost/pointer_cast.hpp>
#include <boost/thread/thread.hpp>

#include <exception>

namespace DVK {

namespace {

constexpr int kBrokerComboId = 400;
constexpr int kBrowseButtonId = 401;
constexpr int kSendButtonId = 402;
constexpr int kCloseButtonId = 403;
constexpr int kFileEditId = 404;
// Where the picture stands under the rows.
constexpr QRect kImageArea(155, 130, 265, 161);

WB::CSimpleTextWidget* makeLabel(const QString& text, QWidget* parent)
{
    auto* label = new WB::CSimpleTextWidget(text, parent);
    label->setFlag(Qt::AlignRight | Qt::AlignVCenter | Qt::TextSingleLine);
    label->setFixedWidth(120);
    return label;
}

WB::CWidgetList* makeRow(QWidget* parent, int left, int top, int right, int bottom)
{
    auto* row = new WB::CWidgetList(Qt::Horizontal, parent);
    row->setFixedHeight(36);
    row->setMargin(left, top, right, bottom);
    return row;
}

// What the user is told when reading throws, a file too large for the memory left included.
QString readFailedText()
{
    return QStringLiteral("文件打开失败");
}

// Reads without touching any dialog and without letting anything escape the worker's thread; a
// failed read leaves its reason in the log.
ConversionFileLines readAndLog(const QString& path)
{
    ConversionFileLines content;
    try {
        content = readConversionFile(path);
    } catch (const std::exception& e) {
        content = ConversionFileLines();
        content.message = readFailedText();
        content.detail = QString::fromLocal8Bit(e.what());
    } catch (...) {
        content = ConversionFileLines();
        content.message = readFailedText();
    }
    if (!content.message.isEmpty() && pluginLogEnabled()) {
        rqStdLogNew(g_RQStdLogger, kPluginLogLevel, "[CCreditDataSendFileDialog] readFile:%s %s (%s)",
                    path.toUtf8().constData(), content.message.toUtf8().constData(),
                    content.detail.toUtf8().constData());
    }
    return content;
}

// The body of readFile and of the send button's worker: reads without touching any dialog, then
// hands the outcome over once. Nothing escapes: a hand-over that throws (no memory for the
// signal) is tried once more with a bare failure so that the mask still goes away.
template <class HandOver>
void readAndHandOver(const QString& path, const HandOver& handOver) noexcept
{
    try {
        handOver(readAndLog(path));
    } catch (...) {
        try {
            ConversionFileLines failed;
            failed.message = readFailedText();
            handOver(failed);
        } catch (...) {
        }
    }
}

} // namespace

CCreditDataSendFileDialog::CCreditDataSendFileDialog(QWidget* parent)
    : WB::CCommonDialog(parent)
{
    setObjectName(QStringLiteral("creditDataSendFileDialog"));
    setTitle(QStringLiteral("上传融资融券折算率文件"));
    setFixedSize(460, 380);
    createUi();
    connect(this, SIGNAL(sigSendCallBack(bool, QString)), this, SLOT(slotSendCallBack(bool, QString)));
    connect(this, SIGNAL(sigSendFileData(QString)), this, SLOT(slotSendFileData(QString)));
}

CCreditDataSendFileDialog::~CCreditDataSendFileDialog()
{
    // Waits for a hand-over under way, never for a read: a worker still reading finds the guard closed.
    m_callbackGuard.invalidate();
}

void CCreditDataSendFileDialog::createUi()
{
    auto* outer = new WB::CWidgetList(Qt::Vertical, this);
    outer->setObjectName(QStringLiteral("sendFileOuterList"));
    outer->setSpacing(0);
    outer->setMargin(10, 10, 20, 15);

    WB::CWidgetList* brokerRow = makeRow(outer, 5, 5, 0, 5);
    brokerRow->setSpacing(0);
    brokerRow->addFixedWidget(makeLabel(QStringLiteral("所属证券公司: "), brokerRow), WB::eAnchorFill, false);
    m_brokerCombo = new WB::CComboBox(kBrokerComboId, brokerRow);
    m_brokerCombo->setObjectName(QStringLiteral("sendFileBrokerCombo"));
    m_brokerCombo->setFixedWidth(257);
    brokerRow->addFixedWidget(m_brokerCombo, WB::eAnchorFill, false);
    outer->addFixedWidget(brokerRow, WB::eAnchorFill, false);

    WB::CWidgetList* fileRow = makeRow(outer, 5, 5, 0, 5);
    fileRow->setSpacing(0);
    fileRow->addFixedWidget(makeLabel(QStringLiteral("融资融券折算率文件: "), fileRow), WB::eAnchorFill, false);
    m_fileEdit = new CSafeLineEdit(kFileEditId, fileRow);
    m_fileEdit->setObjectName(QStringLiteral("sendFileEdit"));
    m_fileEdit->setReadOnly(true);
    m_fileEdit->setFixedSize(187, 26);
    fileRow->addFixedWidget(m_fileEdit, WB::eAnchorCenter, false);
    auto* browseButton = new WB::CSmallNormalButton(kBrowseButtonId, true, WB::eBlueButton, fileRow);
    browseButton->setObjectName(QStringLiteral("sendFileBrowseButton"));
    browseButton->setText(QStringLiteral("浏览..."));
    browseButton->setFixedSize(70, 26);
    fileRow->addFixedWidget(browseButton, WB::eAnchorCenter, false);
    outer->addFixedWidget(fileRow, WB::eAnchorFill, false);

    WB::CWidgetList* buttonRow = makeRow(outer, 5, 5, 5, 5);
    auto* sendButton = new WB::CSmallNormalButton(kSendButtonId, true, WB::eBlueButton, buttonRow);
    sendButton->setObjectName(QStringLiteral("sendFileSendButton"));
    sendButton->setFixedWidth(80);
    sendButton->setText(QStringLiteral("发送文件"));
    buttonRow->addStretchSpace(1);
    buttonRow->addFixedWidget(sendButton, WB::eAnchorCenter, false);
    auto* closeButton = new WB::CSmallNormalButton(kCloseButtonId, true, WB::eBlueButton, buttonRow);
    closeButton->setObjectName(QStringLiteral("sendFileCloseButton"));
    closeButton->setFixedWidth(60);
    closeButton->setText(QStringLiteral("关闭"));
    buttonRow->addFixedSpace(10);
    buttonRow->addFixedWidget(closeButton, WB::eAnchorCenter, false);

    outer->addStretchSpace(1);
    outer->addFixedWidget(buttonRow, WB::eAnchorFill, false);
    setInnerWidget(outer);

    m_image = std::make_unique<WB::CImage>(QStringLiteral("img_send_file_credit"));
    m_loadingMask = new WB::CLoadingMaskWidget(QStringLiteral("正在上传数据..."), this);
    m_loadingMask->setObjectName(QStringLiteral("sendFileLoadingMask"));
    m_loadingMask->hide();
}

void CCreditDataSendFileDialog::setBrokerList(const std::vector<rqservice::IDataPtr>& brokers)
{
    m_brokers = brokers;
    if (!m_brokerCombo) {
        return;
    }
    m_brokerCombo->clear();
    for (const rqservice::IDataPtr& record : m_brokers) {
        const auto info = boost::dynamic_pointer_cast<rqservice::CVoprCvionRateBaseInfo>(record);
        if (info) {
            m_brokerCombo->addItem(WB::sToQs(info->brokerName), QVariant(WB::sToQs(info->brokerId)));
        }
    }
}

bool CCreditDataSendFileDialog::handleEvent(int type, int id, int index, QString key, void* data)
{
    if (type == WB::eEventButtonClicked) {
        switch (id) {
        case kBrowseButtonId: {
            const QString path =
                QFileDialog::getOpenFileName(nullptr, tr("选择文件"), QStringLiteral("."),
                                             tr("Excel Files(*.xls *.xlsx);;Excel Files(*.csv);;Text Files(*.txt)"));
            if (m_fileEdit) {
                m_fileEdit->setText(path);
            }
            return true;
        }
        case kSendButtonId:
            if (m_fileEdit && m_fileEdit->text().isEmpty()) {
                WB::CMessageBox::information(this, QStringLiteral("提示"), QStringLiteral("未选择文件"),
                                             QMessageBox::Ok, QMessageBox::NoButton, false);
            } else {
                sendFile();
            }
            return true;
        case kCloseButtonId: done(QDialog::Rejected); return true;
        default: break;
        }
    }
    return WB::CBaseDialog::handleEvent(type, id, index, key, data);
}

void CCreditDataSendFileDialog::paintEvent(QPaintEvent* event)
{
    WB::CCustomDialog::paintEvent(event);
    QPainter painter(this);
    painter.setPen(QColor(219, 219, 219, 255));
    if (m_image) {
        m_image->drawImage(&painter, kImageArea.x(), kImageArea.y(), kImageArea.width(), kImageArea.height());
    }
}

void CCreditDataSendFileDialog::sendFile()
{
    const QString path = m_fileEdit ? m_fileEdit->text() : QString();
    if (m_loadingMask) {
        m_loadingMask->attach(this);
    }
    m_lines.clear();
    // The worker reads into its own memory and reaches the dialog only through the guard, so a
    // dialog destroyed during a long read is never touched and never waits for the read.
    auto handOver = m_callbackGuard.wrap([this](const ConversionFileLines& content) { handOverLines(content); });
    try {
        boost::thread worker([handOver, path] { readAndHandOver(path, handOver); });
        worker.detach();
    } catch (const std::exception&) {
        slotSendCallBack(false, QStringLiteral("无法启动文件读取线程, 请稍后重试"));
    }
}

void CCreditDataSendFileDialog::readFile(QString path)
{
    readAndHandOver(path, [this](const ConversionFileLines& content) { handOverLines(content); });
}

void CCreditDataSendFileDialog::handOverLines(const ConversionFileLines& content)
{
    if (QThread::currentThread() == thread()) {
        takeLines(content.lines, content.separator, content.message);
        return;
    }
    // One queued call carries a read's lines with that read's separator, so a second read can
    // never pair its lines with the first one's separator, and m_lines is only touched here.
    QMetaObject::invokeMethod(
        this,
        [this, lines = content.lines, separator = content.separator, message = content.message] {
            takeLines(lines, separator, message);
        },
        Qt::QueuedConnection);
}

void CCreditDataSendFileDialog::takeLines(const QStringList& lines, const QString& separator, const QString& message)
{
    m_lines = lines;
    if (!message.isEmpty()) {
        emit sigSendCallBack(false, message);
    } else {
        emit sigSendFileData(separator);
    }
}

void CCreditDataSendFileDialog::slotSendFileData(QString separator)
{
    std::string brokerId;
    std::string brokerName;
    if (m_brokerCombo) {
        brokerId =
            m_brokerCombo->itemData(m_brokerCombo->currentIndex(), Qt::UserRole).toString().toUtf8().toStdString();
        brokerName = m_brokerCombo->currentText().toUtf8().toStdString();
    }
    const UploadRequestPlan plan =
        buildUploadRequest(m_lines, separator, chooseUploadBroker(brokerId, brokerName, m_brokers));
    if (plan.request) {
        using namespace boost::placeholders;
        const OperateCallback callback =
            m_callbackGuard.wrap(boost::bind(&CCreditDataSendFileDialog::onSendCallBack, this, _1, _2));
        utils::CSingletonT<CVoprClientCenter>::instance()->operateData_async(plan.request, callback,
                                                                             kClientRequestFlag);
        return;
    }

    if (m_loadingMask) {
        m_loadingMask->hide();
    }
    const QString text = QStringLiteral("无可用数据");
    WB::CMessageBox::warning(this, QStringLiteral("提示"), text, QMessageBox::Ok, QMessageBox::NoButton, false);
    utils::CSingletonT<CVoprClientCenter>::instance()->showServerMsgCallBack(eServerCallbackMsgFailure, false, this,
                                                                             QStringLiteral("提示"), text, true, false);
}

void CCreditDataSendFileDialog::onSendCallBack(const utils::RQError& error, bson::BSONObj)
{
    emit sigSendCallBack(error.isSuccess(), WB::sToQs(error.errorMsg()));
}

void CCreditDataSendFileDialog::slotSendCallBack(bool ok, QString message)
{
    if (m_loadingMask) {
        m_loadingMask->hide();
    }
    CVoprClientCenter* center = utils::CSingletonT<CVoprClientCenter>::instance();
    if (ok) {
        center->showServerMsgCallBack(eServerCallbackMsgSuccess, true, this, QStringLiteral("提示"),
                                      QStringLiteral("发送成功"), true, false);
        done(QDialog::Accepted);
    } else {
        center->showServerMsgCallBack(eServerCallbackMsgFailure, false, this, QStringLiteral("提示"), message, true,
                                      false);
    }
}

} // namespace DVK
