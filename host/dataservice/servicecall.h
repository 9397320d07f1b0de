#pragma once
// One call to the embedded data service against its deadline. The service thread runs it and
// the watch ends it when its time is up; exactly one of them answers, and an upload never
// begins to commit once the caller has been told it timed out.

#include <boost/function.hpp>
#include <boost/thread/mutex.hpp>

#include <chrono>
#include <string>

class CServiceCall
{
public:
    typedef std::chrono::steady_clock Clock;
    // Breaks a blocking read or write of the connection in use; called from the watch's thread.
    typedef boost::function<void()> Interrupt;

    // budgetMs from now; reserveMs of it is kept from lock waits (see waitMs).
    CServiceCall(int budgetMs, int reserveMs);

    Clock::time_point deadline() const { return m_deadline; }
    int remainingMs() const;
    // How long a lock or a busy file may still be waited for: the time left less the reserve.
    int waitMs() const;

    // Service thread. False when the deadline passed while the call was queued: it has been
    // answered and must not run.
    bool start();
    // Service thread: how to break the connection now in use, until clearInterrupt. False (and
    // nothing kept) when the call has already timed out.
    bool setInterrupt(Interrupt interrupt);
    void clearInterrupt();
    bool expired() const;
    // Service thread, right before an upload commits: false when it is too late (roll back); the
    // service thread then answers, unless the watch already did.
    bool beginCommit();
    // The connection was broken while a commit was under way: whether it took is unknown.
    bool commitInterrupted() const;
    // Service thread, last: true when the service thread is to answer, false when the watch did.
    bool finish();

    // The watch, at the deadline: breaks the connection; true when the watch is to answer that
    // the call timed out (a commit under way answers for itself once its connection breaks).
    bool expire();

    // The user's messages, naming this call's time limit.
    // "<action>失败: 数据库未在 N 秒内应答, 未做任何改动, 请稍后重试"
    std::string timedOutText(const char* action) const;
    // "<action>失败: <reason>, N 秒内未能完成, 未做任何改动, 请稍后重试"
    std::string waitedOutText(const char* action, const char* reason) const;
    // A commit whose answer never came.
    std::string commitUnknownText() const;

private:
    enum EState
    {
        eQueued,
        eRunning,
        eCommitting,
        eExpired,
        eDone,
    };

    std::string seconds() const;

    mutable boost::mutex m_mutex;
    EState m_state = eQueued;
    bool m_commitInterrupted = false;
    Interrupt m_interrupt;
    const int m_budgetMs;
    const int m_reserveMs;
    const Clock::time_point m_deadline;
};
