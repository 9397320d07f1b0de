#include "answerguard.h"

#include "heaptrimmer.h"
#include "hostlog.h"
#include "serviceworker.h"

#include <QCoreApplication>
#include <QThread>

#include <boost/make_shared.hpp>
#include <boost/thread/thread.hpp>

#include <atomic>
#include <exception>

namespace {

// Answers that must not run where they were given (the GUI or the caller's thread) and the
// failures of backends that threw are delivered from here.
CServiceWorker& fallbackWorker()
{
    static CServiceWorker worker("answer-guard");
    return worker;
}

bool onGuiThread()
{
    const QCoreApplication* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

template <class Callback>
struct Once
{
    Callback callback;
    boost::thread::id callerThread;
    std::atomic<bool> answered{false};

    bool claim()
    {
        if (answered.exchange(true)) {
            rqservice::serviceLogInfo("[CVoprClientCenter] a second answer to one request was dropped");
            return false;
        }
        return true;
    }

    bool mustMove() const { return boost::this_thread::get_id() == callerThread || onGuiThread(); }
};

template <class Fn>
void deliver(bool moveAway, Fn fn)
{
    if (!moveAway) {
        fn();
        return;
    }
    // If the fallback worker is gone (process exit), answering in place beats not answering.
    fallbackWorker().post(fn, fn);
}

std::string failureText(const char* what)
{
    return std::string("服务调用失败: ") + (what && *what ? what : "未知错误");
}

// Hands a request to the backend; every way that can fail on the caller's side becomes a failed
// answer instead.
template <class Fail, class Send>
void sendOrFail(bool hasBackend, bool hasRequest, const char* noRequestText, const Fail& fail, const Send& send)
{
    if (!hasBackend) {
        fail("服务不可用");
        return;
    }
    if (!hasRequest) {
        fail(noRequestText);
        return;
    }
    try {
        send();
    } catch (const std::exception& e) {
        fail(failureText(e.what()));
    } catch (...) {
        fail(failureText(nullptr));
    }
}

} // namespace

namespace DVK {

void CAnswerGuard::query(const standin::IServiceBackendPtr& backend,
                         const boost::shared_ptr<rqservice::CVoprQueryDataReq>& request, const QueryCallback& callback)
{
    typedef Once<QueryCallback> State;
    boost::shared_ptr<State> state = boost::make_shared<State>();
    state->callback = callback;
    state->callerThread = boost::this_thread::get_id();

    QueryCallback guarded = [state](const utils::RQError& error, const std::vector<rqservice::IDataPtr>& records,
                                    int count, bson::BSONObj reply) {
        if (!state->claim() || !state->callback) {
            return;
        }
        deliver(state->mustMove(), [state, error, records, count, reply] {
            state->callback(error, records, count, reply);
            CHeapTrimmer::afterAnswer();
        });
    };
    auto fail = [&guarded](const std::string& message) {
        // From the fallback worker: we are still on the caller's thread here.
        auto answer = [guarded, message] {
            guarded(utils::RQError::failure(message), std::vector<rqservice::IDataPtr>(), 0, bson::BSONObj());
        };
        fallbackWorker().post(answer, answer);
    };
    sendOrFail(bool(backend), bool(request), "查询请求为空", fail, [&] { backend->query(request, guarded); });
}

void CAnswerGuard::operate(const standin::IServiceBackendPtr& backend,
                           const boost::shared_ptr<rqservice::COperateDataReq>& request,
                           const OperateCallback& callback)
{
    typedef Once<OperateCallback> State;
    boost::shared_ptr<State> state = boost::make_shared<State>();
    state->callback = callback;
    state->callerThread = boost::this_thread::get_id();

    OperateCallback guarded = [state](const utils::RQError& error, bson::BSONObj reply) {
        if (!state->claim() || !state->callback) {
            return;
        }
        deliver(state->mustMove(), [state, error, reply] {
            state->callback(error, reply);
            // The request and what was built for it are let go about now.
            CHeapTrimmer::afterAnswer();
        });
    };
    auto fail = [&guarded](const std::string& message) {
        auto answer = [guarded, message] { guarded(utils::RQError::failure(message), bson::BSONObj()); };
        fallbackWorker().post(answer, answer);
    };
    sendOrFail(bool(backend), bool(request), "操作请求为空", fail, [&] { backend->operate(request, guarded); });
}

} // namespace DVK
