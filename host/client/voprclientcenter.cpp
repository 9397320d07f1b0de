#include "hostservice.h"
#include "hosttoolkit.h"
#include "standinservice.h"
#include "standintoolkit.h"

#include "answerguard.h"
#include "embeddeddataservice.h"
#include "hostaccess.h"
#include "metatypes.h"
#include "voprclientprivate.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFileInfo>
#include <QPointer>
#include <QThread>

#include <boost/make_shared.hpp>
#include <boost/thread/mutex.hpp>

#include <atomic>

namespace DVK {

using standin::IServiceBackendPtr;
using standin::ServerMessage;

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
    standin::setBackend(IServiceBackendPtr());
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
    standin::MessageRecord record;
    record.kind = standin::MessageRecord::ServerMessage;
    record.title = title;
    record.text = text;
    record.serverType = type;
    record.success = success;
    int result = 0;
    standin::dispatchMessage(parent, record, QMessageBox::Ok, QMessageBox::NoButton, &result);
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
}

CVoprClientPtr CVoprClientCenter::getClientByName(const std::string& /*name*/)
{
    if (g_outage) {
        return CVoprClientPtr();
    }
    std::unique_ptr<CVoprClient::Private> client(new CVoprClient::Private);
    client->backend = d->currentBackend();
    return CVoprClientPtr(new CVoprClient(std::move(client)));
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

} // namespace DVK

namespace standin {

DVK::CVoprClientCenter::Private& CHostAccess::centre()
{
    return *utils::CSingletonT<DVK::CVoprClientCenter>::instance()->d;
}

void setBackend(IServiceBackendPtr backend)
{
    IServiceBackendPtr old = CHostAccess::centre().swapBackend(backend, false);
    old.reset();
}

IServiceBackendPtr backend()
{
    auto& d = CHostAccess::centre();
    return d.currentBackend();
}

void setDatabasePath(const QString& path)
{
    auto& d = CHostAccess::centre();
    IServiceBackendPtr old;
    {
        boost::mutex::scoped_lock lock(d.mutex);
        const bool file = !path.isEmpty() && !rqservice::CEmbeddedDataService::isServerLocation(path);
        d.databasePath = file ? QFileInfo(path).absoluteFilePath() : path;
        if (d.embedded) {
            // Reopened on the new file at the next request.
            old.swap(d.backend);
            d.embedded = false;
        }
    }
    old.reset();
}

QString databasePath()
{
    auto& d = CHostAccess::centre();
    boost::mutex::scoped_lock lock(d.mutex);
    return d.databasePath;
}

void setLatencyMs(int ms)
{
    auto& d = CHostAccess::centre();
    boost::shared_ptr<rqservice::CEmbeddedDataService> service;
    {
        boost::mutex::scoped_lock lock(d.mutex);
        d.latencyMs = ms > 0 ? ms : 0;
        service = boost::dynamic_pointer_cast<rqservice::CEmbeddedDataService>(d.backend);
    }
    if (service) {
        service->setLatencyMs(ms);
    }
}

int latencyMs()
{
    auto& d = CHostAccess::centre();
    boost::mutex::scoped_lock lock(d.mutex);
    return d.latencyMs;
}

namespace {
boost::mutex g_timeoutsMutex;
ServiceTimeouts g_timeouts;
} // namespace

void setServiceTimeouts(const ServiceTimeouts& timeouts)
{
    boost::mutex::scoped_lock lock(g_timeoutsMutex);
    g_timeouts = timeouts;
}

ServiceTimeouts serviceTimeouts()
{
    boost::mutex::scoped_lock lock(g_timeoutsMutex);
    return g_timeouts;
}

void setCaptureMessages(bool capture)
{
    auto& d = CHostAccess::centre();
    boost::mutex::scoped_lock lock(d.mutex);
    d.capture = capture;
}

std::vector<ServerMessage> takeCapturedMessages()
{
    auto& d = CHostAccess::centre();
    boost::mutex::scoped_lock lock(d.mutex);
    std::vector<ServerMessage> messages;
    messages.swap(d.captured);
    return messages;
}

} // namespace standin

void standin::setClientCenterOutage(bool outage)
{
    DVK::g_outage = outage;
}
