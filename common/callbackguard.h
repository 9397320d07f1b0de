#pragma once
// Keeps a callback that may come late (a service's answer, a file worker's hand-over) from
// reaching an object that is being destroyed.

#include <boost/make_shared.hpp>
#include <boost/shared_ptr.hpp>
#include <boost/thread/recursive_mutex.hpp>

#include <utility>

namespace DVK {

// Nothing cancels a request to the client centre or stops a file worker, so their callbacks may
// come after the owner is gone. The owner holds one guard, wraps every such callback with it and
// calls invalidate() first thing in its destructor. A wrapped callback runs only until then, and
// holds the guard's lock while it runs, so invalidate() waits for one under way and the owner is
// never destroyed beneath it. Wrapped callbacks are therefore kept short: they log, compare,
// copy and emit.
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
        // Recursive: a callback run on the owner's own thread emits straight into the owner's
        // slot, which may make another wrapped call on that thread.
        boost::recursive_mutex mutex;
        bool alive = true;
    };
    boost::shared_ptr<State> m_state;
};

} // namespace DVK
