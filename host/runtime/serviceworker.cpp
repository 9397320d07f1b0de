#include "serviceworker.h"

#include <boost/date_time/posix_time/posix_time_types.hpp>
#include <boost/thread/condition_variable.hpp>
#include <boost/thread/mutex.hpp>

#include <deque>
#include <exception>
#include <iostream>

struct CServiceWorker::State
{
    std::string name;
    mutable boost::mutex mutex;
    boost::condition_variable wake;
    boost::condition_variable idle;
    std::deque<Task> queue;
    int latencyMs = 0;
    bool stopping = false;
    bool finished = false;
    bool busy = false;
    boost::thread::id threadId;

    void run()
    {
        boost::unique_lock<boost::mutex> lock(mutex);
        threadId = boost::this_thread::get_id();
        for (;;) {
            wake.wait(lock, [this] { return stopping || !queue.empty(); });
            if (queue.empty()) {
                break; // stopping and drained
            }
            if (latencyMs > 0 && !stopping) {
                // Interruptible by stop, so a slow worker still shuts down at once.
                wake.timed_wait(lock, boost::posix_time::milliseconds(latencyMs), [this] { return stopping; });
            }
            Task task = std::move(queue.front());
            queue.pop_front();
            busy = true;
            lock.unlock();
            runTask(task);
            // The task may hold the last reference to something that must die off the lock.
            task = Task();
            lock.lock();
            busy = false;
            if (queue.empty()) {
                idle.notify_all();
            }
        }
        finished = true;
        idle.notify_all();
    }

    void runTask(const Task& task)
    {
        // A task that throws must not take the thread, and every later answer, with it.
        try {
            if (task) {
                task();
            }
        } catch (const std::exception& e) {
            std::cerr << "[CServiceWorker] " << name << ": task failed: " << e.what() << std::endl;
        } catch (...) {
            std::cerr << "[CServiceWorker] " << name << ": task failed" << std::endl;
        }
    }
};

CServiceWorker::CServiceWorker(const std::string& name, int latencyMs)
    : m_state(new State)
{
    m_state->name = name;
    m_state->latencyMs = latencyMs > 0 ? latencyMs : 0;
    boost::shared_ptr<State> state = m_state;
    m_thread = boost::thread([state] { state->run(); });
    boost::unique_lock<boost::mutex> lock(m_state->mutex);
    m_state->threadId = m_thread.get_id();
}

CServiceWorker::~CServiceWorker()
{
    {
        boost::unique_lock<boost::mutex> lock(m_state->mutex);
        m_state->stopping = true;
        m_state->wake.notify_all();
    }
    if (boost::this_thread::get_id() == m_thread.get_id()) {
        // Destroyed by one of its own tasks: joining would deadlock; the thread owns the state.
        m_thread.detach();
    } else if (m_thread.joinable()) {
        m_thread.join();
    }
}

bool CServiceWorker::post(Task task, Task onDropped)
{
    {
        boost::unique_lock<boost::mutex> lock(m_state->mutex);
        if (!m_state->finished) {
            m_state->queue.push_back(std::move(task));
            m_state->wake.notify_all();
            return true;
        }
    }
    m_state->runTask(onDropped);
    return false;
}

void CServiceWorker::setLatencyMs(int ms)
{
    boost::unique_lock<boost::mutex> lock(m_state->mutex);
    m_state->latencyMs = ms > 0 ? ms : 0;
}

int CServiceWorker::latencyMs() const
{
    boost::unique_lock<boost::mutex> lock(m_state->mutex);
    return m_state->latencyMs;
}

const std::string& CServiceWorker::name() const
{
    return m_state->name;
}

boost::thread::id CServiceWorker::threadId() const
{
    boost::unique_lock<boost::mutex> lock(m_state->mutex);
    return m_state->threadId;
}

bool CServiceWorker::isWorkerThread() const
{
    return boost::this_thread::get_id() == threadId();
}

void CServiceWorker::waitIdle()
{
    boost::unique_lock<boost::mutex> lock(m_state->mutex);
    m_state->idle.wait(lock, [this] { return m_state->finished || (m_state->queue.empty() && !m_state->busy); });
}
