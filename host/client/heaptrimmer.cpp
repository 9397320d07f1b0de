#include "heaptrimmer.h"

#include <boost/thread/condition_variable.hpp>
#include <boost/thread/mutex.hpp>
#include <boost/thread/thread.hpp>

#include <atomic>
#include <chrono>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace DVK {

namespace {

void trimHeap()
{
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}

// One thread for the process, started by the first answer and left to end with it: the answer's
// own records are let go on the service's thread just after it is handed over, so the trim waits
// for a quiet moment instead of running in the middle of that.
class Trimmer
{
public:
    void request()
    {
        if (m_delayMs.load() < 0)
            return;
        {
            boost::mutex::scoped_lock lock(m_mutex);
            m_due = Clock::now() + std::chrono::milliseconds(m_delayMs.load());
            m_pending = true;
            if (!m_started) {
                try {
                    boost::thread(&Trimmer::run, this).detach();
                    m_started = true;
                } catch (const std::exception&) {
                    // No thread to be had: memory is then given back at the next answer's trim.
                    m_pending = false;
                    lock.unlock();
                    trimNow();
                    return;
                }
            }
        }
        m_changed.notify_all();
    }

    void setDelayMs(int ms) { m_delayMs = ms; }
    int trims() const { return m_trims.load(); }

private:
    using Clock = std::chrono::steady_clock;

    void trimNow()
    {
        trimHeap();
        ++m_trims;
    }

    void run()
    {
        boost::mutex::scoped_lock lock(m_mutex);
        for (;;) {
            while (!m_pending)
                m_changed.wait(lock);
            // A later answer moves the moment on.
            while (m_pending && Clock::now() < m_due) {
                const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(m_due - Clock::now());
                m_changed.wait_for(lock, boost::chrono::milliseconds(wait.count() + 1));
            }
            m_pending = false;
            lock.unlock();
            trimNow();
            lock.lock();
        }
    }

    boost::mutex m_mutex;
    boost::condition_variable m_changed;
    Clock::time_point m_due;
    bool m_pending = false;
    bool m_started = false;
    std::atomic<int> m_delayMs{1000};
    std::atomic<int> m_trims{0};
};

// Never destroyed: its thread may still wait when the process ends.
Trimmer& trimmer()
{
    static Trimmer* instance = new Trimmer;
    return *instance;
}

} // namespace

void CHeapTrimmer::afterAnswer()
{
    trimmer().request();
}

void CHeapTrimmer::setDelayMs(int ms)
{
    trimmer().setDelayMs(ms);
}

int CHeapTrimmer::trims()
{
    return trimmer().trims();
}

} // namespace DVK
