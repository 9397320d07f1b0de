#pragma once
// Waiting on a command-line tool's thread for the one answer of a data service call, which comes
// on the service's thread.

#include "hostservice.h"
#include "standinservice.h"

#include <QString>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

namespace DVK {

// Past the service's own limit it has broken its promise to answer; this much later we stop waiting.
constexpr int kAnswerSlackMs = 5000;

template <class Result>
struct PendingAnswer
{
    std::mutex mutex;
    std::condition_variable answered;
    bool done = false;
    utils::RQError error;
    Result result;
};

// Starts a call with a callback that keeps its answer, and waits for that answer no longer than
// limitMs (the service's own limit for the call) and a little more. False with message set when
// there is none, or the answer is a failure.
template <class Result>
bool waitForAnswer(const std::function<void(std::function<void(const utils::RQError&, const Result&)>)>& start,
                   Result& result, QString& message, int limitMs = standin::serviceTimeouts().queryMs)
{
    // Shared with the callback: an answer after we stopped waiting lands here harmlessly.
    auto pending = std::make_shared<PendingAnswer<Result>>();
    start([pending](const utils::RQError& error, const Result& answer) {
        std::lock_guard<std::mutex> lock(pending->mutex);
        pending->error = error;
        pending->result = answer;
        pending->done = true;
        pending->answered.notify_all();
    });
    const int waitMs = limitMs + kAnswerSlackMs;
    std::unique_lock<std::mutex> lock(pending->mutex);
    if (!pending->answered.wait_for(lock, std::chrono::milliseconds(waitMs), [&] { return pending->done; })) {
        message = QStringLiteral("no answer within %1 s").arg(waitMs / 1000);
        return false;
    }
    if (!pending->error.isSuccess()) {
        message = QString::fromStdString(pending->error.errorMsg());
        return false;
    }
    result = pending->result;
    return true;
}

} // namespace DVK
