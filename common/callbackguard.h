#pragma once
// Keeps a service callback from reaching an object that has been destroyed.

#include <boost/make_shared.hpp>
#include <boost/shared_ptr.hpp>
#include <boost/thread/recursive_mutex.hpp>

#include <utility>

namespace DVK {

// The client centre cannot cancel a request, so its callback may fire after the owner is gone.
// The owner holds one guard and calls invalidate() first thing in its destructor; callbacks
// wrapped by the guard share its state and run only while the owner is alive. The lock is held
// while the callback runs (it only logs and emits), so the owner cannot die half-way through.
class CCallbackGuard
{
public:
    CCallbackGuard()
        : m_state(boost::make_shared<State>())
    {
    }
    ~CCallbackGuard() { invalidate(); }
    CCallbackGuard(const CCallbackGuard&) = delete;
    CCallbackGuard& operator=(const CCallbackGuard&) = delete;

    // Waits for a callback running now, then lets none through.
    void invalidate()
    {
        boost::recursive_mutex::scoped_lock lock(m_state->mutex);
        m_state->alive = false;
    }

    template <class Fn>
    auto wrap(Fn fn) const
    {
        return [state = m_state, fn = std::move(fn)](auto&&... args) {
            boost::recursive_mutex::scoped_lock lock(state->mutex);
            if (state->alive) {
                fn(std::forward<decltype(args)>(args)...);
            }
        };
    }

private:
    struct State
    {
        // Recursive: a host that called back on the owner's own thread must not deadlock it.
        boost::recursive_mutex mutex;
        bool alive = true;
    };
    boost::shared_ptr<State> m_state;
};

} // namespace DVK
