#pragma once
// One service thread that runs posted tasks in order, like a server connection's I/O thread.

#include "host_export.h"

#include <boost/function.hpp>
#include <boost/shared_ptr.hpp>
#include <boost/thread/thread.hpp>

#include <string>

class HOST_EXPORT CServiceWorker
{
public:
    typedef boost::function<void()> Task;

    explicit CServiceWorker(const std::string& name = "service", int latencyMs = 0);
    // Runs every task still queued (without the latency), then ends the thread. Safe to call
    // from a task of this worker: the thread is then left to finish the queue on its own.
    ~CServiceWorker();

    CServiceWorker(const CServiceWorker&) = delete;
    CServiceWorker& operator=(const CServiceWorker&) = delete;

    // Queues task behind every task posted before it. Returns false once the thread has ended;
    // onDropped (if any) is then called at once on the caller's thread instead, so that a
    // caller waiting for an answer always hears back.
    bool post(Task task, Task onDropped = Task());

    // Waited before each task, to show what a slow server looks like. 0 for none.
    void setLatencyMs(int ms);
    int latencyMs() const;

    const std::string& name() const;
    boost::thread::id threadId() const;
    bool isWorkerThread() const;

    // Blocks until every task posted before the call has run. Not from a task of this worker.
    void waitIdle();

private:
    struct State;
    boost::shared_ptr<State> m_state;
    boost::thread m_thread;
};
