#include "hosttoolkit.h"
#include "standintoolkit.h"

#include <QApplication>
#include <QMutex>
#include <QPointer>
#include <QThread>

namespace WB {

namespace {

using standin::MessageRecord;

QMutex g_interceptorMutex;
standin::MessageInterceptor g_interceptor;

QMessageBox::Icon iconFor(const MessageRecord& record)
{
    const bool calm =
        record.kind == MessageRecord::Information || (record.kind == MessageRecord::ServerMessage && record.success);
    return calm ? QMessageBox::Information : QMessageBox::Warning;
}

int showBox(QWidget* parent, const MessageRecord& record, QMessageBox::StandardButtons buttons,
            QMessageBox::StandardButton defaultButton, bool noCloseButton)
{
    // Heap-allocated and guarded: if the parent dies during exec() it takes the box with it.
    QPointer<QMessageBox> box = new QMessageBox(iconFor(record), record.title, record.text, buttons, parent);
    box->setObjectName(QStringLiteral("messageBox"));
    if (defaultButton != QMessageBox::NoButton)
        box->setDefaultButton(defaultButton);
    if (noCloseButton)
        box->setWindowFlags((box->windowFlags() | Qt::CustomizeWindowHint | Qt::WindowTitleHint) &
                            ~Qt::WindowCloseButtonHint);
    const int answer = box->exec();
    delete box.data();
    return answer;
}

bool dispatchWith(QWidget* parent, const MessageRecord& record, QMessageBox::StandardButtons buttons,
                  QMessageBox::StandardButton defaultButton, bool noCloseButton, int* result)
{
    standin::MessageInterceptor interceptor;
    {
        QMutexLocker lock(&g_interceptorMutex);
        interceptor = g_interceptor;
    }
    if (interceptor) {
        const int answer = interceptor(record);
        if (result)
            *result = answer;
        return true;
    }

    if (!qApp || QThread::currentThread() != qApp->thread()) {
        // No widget off the GUI thread: the box is shown there later and the caller cannot wait.
        qWarning("CMessageBox: \"%s\" asked for off the GUI thread; shown later without an answer",
                 qPrintable(record.title));
        if (qApp) {
            QPointer<QWidget> guardedParent = parent;
            QMetaObject::invokeMethod(
                qApp, [=] { showBox(guardedParent, record, buttons, defaultButton, noCloseButton); },
                Qt::QueuedConnection);
        }
        if (result)
            *result = QMessageBox::NoButton;
        return false;
    }

    const int answer = showBox(parent, record, buttons, defaultButton, noCloseButton);
    if (result)
        *result = answer;
    return true;
}

} // namespace

namespace {

int showOfKind(MessageRecord::Kind kind, QWidget* parent, const QString& title, const QString& text,
               QMessageBox::StandardButtons buttons, QMessageBox::StandardButton defaultButton, bool noCloseButton)
{
    MessageRecord record;
    record.kind = kind;
    record.title = title;
    record.text = text;
    int answer = QMessageBox::NoButton;
    dispatchWith(parent, record, buttons, defaultButton, noCloseButton, &answer);
    return answer;
}

} // namespace

int CMessageBox::information(QWidget* parent, const QString& title, const QString& text,
                             QMessageBox::StandardButtons buttons, QMessageBox::StandardButton defaultButton,
                             bool noCloseButton)
{
    return showOfKind(MessageRecord::Information, parent, title, text, buttons, defaultButton, noCloseButton);
}

int CMessageBox::warning(QWidget* parent, const QString& title, const QString& text,
                         QMessageBox::StandardButtons buttons, QMessageBox::StandardButton defaultButton,
                         bool noCloseButton)
{
    return showOfKind(MessageRecord::Warning, parent, title, text, buttons, defaultButton, noCloseButton);
}

} // namespace WB

namespace standin {

void setMessageInterceptor(MessageInterceptor interceptor)
{
    QMutexLocker lock(&WB::g_interceptorMutex);
    WB::g_interceptor = std::move(interceptor);
}

bool dispatchMessage(QWidget* parent, const MessageRecord& record, QMessageBox::StandardButtons buttons,
                     QMessageBox::StandardButton defaultButton, int* result)
{
    return WB::dispatchWith(parent, record, buttons, defaultButton, false, result);
}

} // namespace standin
