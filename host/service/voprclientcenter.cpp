#include "hostservice.h"
#include "hosttoolkit.h"

#include "answerguard.h"
#include "clientoutage.h"
#include "embeddeddataservice.h"
#include "metatypes.h"

#include <QApplication>
#include <QCoreApplication>
#include <QPointer>
#include <QThread>

#include <boost/make_shared.hpp>
#include <boost/thread/mutex.hpp>

#include <atomic>

namespace DVK {

struct CVoprClientCenter::Private
{
    mutable boost::mutex mutex;
    IServiceBackendPtr backend;
    bool embedded = false; // backend is the embedded service this centre opened itself
    QString databasePath;
    int latencyMs = 0;
    bool capture = false;
    std::vector<ServerMessage> captured;

    IServiceBackendPtr currentBackend()
    {
        boost::mutex::scoped_lock lock(mutex);
        if (!backend) {
            const QString path =
                databasePath.isEmpty() ? rqservice::CEmbeddedDataService::defaultDatabasePath() : databasePath;
            backend = boost::make_shared<rqservice::CEmbeddedDataService>(path, latencyMs);
            embedded = true;
        }
        return backend;
    }

    // The old backend dies outside the lock: its last answers may call back into the centre.
    IServiceBackendPtr swapBackend(IServiceBackendPtr next, bool isEmbedded)
    {
        boost::mutex::scoped_lock lock(mutex);
        IServiceBackendPtr old = backend;
        backend = next;
        embedded = isEmbedded;
        return old;
    }
};

namespace {

std::atomic<bool> g_outage{false};

// The embedded service's thread and database must close while Qt is still there, not during
// static destruction after main.
void closeBackendAtExit()
{
    utils::CSingletonT<CVoprClientCenter>::instance()->setBackend(IServiceBackendPtr());
}

bool onGuiThread()
{
    const QCoreApplication* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

void showServerMessage(EServerCallbackMsgType type, bool success, QWidget* parent, const QString& title,
                       const QString& text, bool beep)
{
    if (beep && !success && qobject_cast<QApplication*>(QCoreApplication::instance())) {
        QApplication::beep();
    }
    WB::MessageRecord record;
    record.kind = WB::MessageRecord::ServerMessage;
    record.title = title;
    record.text = text;
    record.serverType = type;
    record.success = success;
    int result = 0;
    WB::CMessageBox::dispatch(parent, record, QMessageBox::Ok, QMessageBox::NoButton, &result);
}

} // namespace

CVoprClientCenter::CVoprClientCenter()
    : d(new Private)
{
    rqservice::registerServiceMetaTypes();
    qAddPostRoutine(closeBackendAtExit);
}

CVoprClientCenter::~CVoprClientCenter()
{
    IServiceBackendPtr old = d->swapBackend(IServiceBackendPtr(), false);
    old.reset();
    delete d;
}

void setClientCenterOutage(bool outage)
{
    g_outage = outage;
}

CVoprClientPtr CVoprClientCenter::getClientByName(const std::string& /*name*/)
{
    if (g_outage) {
        return CVoprClientPtr();
    }
    return boost::make_shared<CVoprClient>(d->currentBackend());
}

void CVoprClientCenter::operateData_async(const boost::shared_ptr<rqservice::COperateDataReq>& request,
                                          const OperateCallback& callback, unsigned char /*flag*/)
{
    CAnswerGuard::operate(d->currentBackend(), request, callback);
}

void CVoprClientCenter::showServerMsgCallBack(EServerCallbackMsgType type, bool success, QWidget* parent,
                                              const QString& title, const QString& text, bool /*modal*/, bool beep)
{
    {
        boost::mutex::scoped_lock lock(d->mutex);
        if (d->capture) {
            ServerMessage message;
            message.type = type;
            message.success = success;
            message.title = title;
            message.text = text;
            d->captured.push_back(message);
            return;
        }
    }
    // The toolkit's boxes are always modal, so the modal flag needs nothing more here.
    if (onGuiThread() || !QCoreApplication::instance()) {
        showServerMessage(type, success, parent, title, text, beep);
        return;
    }
    // Widgets live on the GUI thread only; the parent may be gone by the time the box shows.
    QPointer<QWidget> guardedParent(parent);
    const bool hadParent = parent != nullptr;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [type, success, guardedParent, hadParent, title, text, beep] {
            if (hadParent && !guardedParent) {
                return;
            }
            showServerMessage(type, success, guardedParent.data(), title, text, beep);
        },
        Qt::QueuedConnection);
}

void CVoprClientCenter::setBackend(IServiceBackendPtr backend)
{
    IServiceBackendPtr old = d->swapBackend(backend, false);
    old.reset();
}

IServiceBackendPtr CVoprClientCenter::backend()
{
    return d->currentBackend();
}

void CVoprClientCenter::setDatabasePath(const QString& path)
{
    IServiceBackendPtr old;
    {
        boost::mutex::scoped_lock lock(d->mutex);
        d->databasePath = path;
        if (d->embedded) {
            // Reopened on the new file at the next request.
            old.swap(d->backend);
            d->embedded = false;
        }
    }
    old.reset();
}

QString CVoprClientCenter::databasePath() const
{
    boost::mutex::scoped_lock lock(d->mutex);
    return d->databasePath;
}

void CVoprClientCenter::setLatencyMs(int ms)
{
    boost::shared_ptr<rqservice::CEmbeddedDataService> service;
    {
        boost::mutex::scoped_lock lock(d->mutex);
        d->latencyMs = ms > 0 ? ms : 0;
        service = boost::dynamic_pointer_cast<rqservice::CEmbeddedDataService>(d->backend);
    }
    if (service) {
        service->setLatencyMs(ms);
    }
}

int CVoprClientCenter::latencyMs() const
{
    boost::mutex::scoped_lock lock(d->mutex);
    return d->latencyMs;
}

void CVoprClientCenter::setCaptureMessages(bool capture)
{
    boost::mutex::scoped_lock lock(d->mutex);
    d->capture = capture;
}

std::vector<ServerMessage> CVoprClientCenter::takeCapturedMessages()
{
    boost::mutex::scoped_lock lock(d->mutex);
    std::vector<ServerMessage> messages;
    messages.swap(d->captured);
    return messages;
}

} // namespace DVK
