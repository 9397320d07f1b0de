#pragma once
// A thread that runs each armed action when its time comes: the embedded service's way to end a
// call whose service thread is stuck (a frozen server, a lock that is not let go).

#include <boost/function.hpp>
#include <boost/shared_ptr.hpp>
#include <boost/thread/thread.hpp>

#include <chrono>

class CDeadlineWatch
{
public:
    typedef std::chrono::steady_clock Clock;
    typedef boost::function<void()> Action;

    CDeadlineWatch();
    // Drops the actions not yet due and ends the thread.
    ~CDeadlineWatch();

    CDeadlineWatch(const CDeadlineWatch&) = delete;
    CDeadlineWatch& operator=(const CDeadlineWatch&) = delete;

    // Runs action on the watch's thread at when (at once if that has passed).
    void arm(Clock::time_point when, Action action);
    // Blocks while an action is running, so that what it did is seen by the caller.
    void waitIdle();

private:
    struct State;
    boost::shared_ptr<State> m_state;
    boost::thread m_thread;
};
