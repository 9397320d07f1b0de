#include "deadlinewatch.h"

#include <boost/date_time/posix_time/posix_time_types.hpp>
#include <boost/thread/condition_variable.hpp>
#include <boost/thread/mutex.hpp>

#include <exception>
#include <iostream>
#include <map>

struct CDeadlineWatch::State
{
    boost::mutex mutex;
    boost::condition_variable wake;
    boost::condition_variable idle;
    std::multimap<Clock::time_point, Action> armed;
    bool stopping = false;
    bool running = false;

    // An action that throws must not take the thread, and every later deadline, with it.
    static void fire(const Action& action)
    {
        try {
            action();
        } catch (const std::exception& e) {
            std::cerr << "[CDeadlineWatch] action failed: " << e.what() << std::endl;
        } catch (...) {
            std::cerr << "[CDeadlineWatch] action failed" << std::endl;
        }
    }

    void run()
    {
        boost::unique_lock<boost::mutex> lock(mutex);
        while (!stopping) {
            if (armed.empty()) {
                wake.wait(lock);
                continue;
            }
            const auto first = armed.begin();
            if (first->first > Clock::now()) {
                const auto wait =
                    std::chrono::duration_cast<std::chrono::milliseconds>(first->first - Clock::now()).count() + 1;
                wake.timed_wait(lock, boost::posix_time::milliseconds(wait));
                continue;
            }
            Action action = std::move(first->second);
            armed.erase(first);
            running = true;
            lock.unlock();
            fire(action);
            action = Action(); // what it holds dies off the lock
            lock.lock();
            running = false;
            idle.notify_all();
        }
    }
};

CDeadlineWatch::CDeadlineWatch()
    : m_state(new State)
{
    boost::shared_ptr<State> state = m_state;
    m_thread = boost::thread([state] { state->run(); });
}

CDeadlineWatch::~CDeadlineWatch()
{
    std::multimap<Clock::time_point, Action> dropped;
    {
        boost::unique_lock<boost::mutex> lock(m_state->mutex);
        m_state->stopping = true;
        dropped.swap(m_state->armed);
        m_state->wake.notify_all();
    }
    if (boost::this_thread::get_id() == m_thread.get_id())
        m_thread.detach(); // destroyed by one of its own actions: the thread owns the state
    else
        m_thread.join();
}

void CDeadlineWatch::arm(Clock::time_point when, Action action)
{
    boost::unique_lock<boost::mutex> lock(m_state->mutex);
    m_state->armed.emplace(when, std::move(action));
    m_state->wake.notify_all();
}

void CDeadlineWatch::waitIdle()
{
    boost::unique_lock<boost::mutex> lock(m_state->mutex);
    m_state->idle.wait(lock, [this] { return !m_state->running; });
}
