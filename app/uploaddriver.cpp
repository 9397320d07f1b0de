#include "uploaddriver.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QTimer>

namespace {

constexpr int kPollMs = 20;
constexpr int kMaxTries = 250; // five seconds for the dialog to show

QDialog* visibleUploadDialog()
{
    for (QWidget* top : QApplication::topLevelWidgets()) {
        auto* dialog = qobject_cast<QDialog*>(top);
        if (dialog && dialog->isVisible() && dialog->objectName() == QLatin1String("creditDataSendFileDialog"))
            return dialog;
    }
    return nullptr;
}

} // namespace

CUploadDriver::CUploadDriver(QWidget* window, QString file, QString broker, QObject* parent)
    : QObject(parent)
    , m_window(window)
    , m_file(QFileInfo(file).absoluteFilePath())
    , m_broker(std::move(broker))
{
}

bool CUploadDriver::start()
{
    auto* button = m_window->findChild<QAbstractButton*>(QStringLiteral("creditDataUploadButton"));
    if (!button)
        return false;
    m_poll = new QTimer(this);
    m_poll->setInterval(kPollMs);
    connect(m_poll, &QTimer::timeout, this, &CUploadDriver::fillDialog);
    m_poll->start();
    // The click runs the dialog's own event loop; the timer keeps ticking inside it.
    QTimer::singleShot(0, button, &QAbstractButton::click);
    return true;
}

void CUploadDriver::fillDialog()
{
    QDialog* dialog = visibleUploadDialog();
    if (!dialog) {
        if (++m_tries == kMaxTries) {
            m_poll->stop();
            emit failed(QStringLiteral("the upload dialog did not show"));
        }
        return;
    }
    m_poll->stop();
    auto* combo = dialog->findChild<QComboBox*>(QStringLiteral("sendFileBrokerCombo"));
    auto* field = dialog->findChild<QLineEdit*>(QStringLiteral("sendFileEdit"));
    auto* send = dialog->findChild<QAbstractButton*>(QStringLiteral("sendFileSendButton"));
    if (!combo || !field || !send) {
        emit failed(QStringLiteral("the upload dialog lacks its broker choice, file field or send button"));
        return;
    }
    if (!m_broker.isEmpty()) {
        const int index = combo->findText(m_broker);
        if (index < 0) {
            emit failed(QStringLiteral("the upload dialog offers no broker \"%1\"").arg(m_broker));
            return;
        }
        combo->setCurrentIndex(index);
    }
    field->setText(m_file);
    send->click();
}
