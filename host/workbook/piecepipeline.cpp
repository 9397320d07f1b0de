#include "piecepipeline.h"

#include <system_error>
#include <utility>

namespace WB {

namespace {

// Two pieces parsed while two more are made: enough to keep both cores busy.
constexpr size_t kWaiting = 2;

} // namespace

CPiecePipeline::CPiecePipeline(Consumer consumer)
    : m_consumer(std::move(consumer))
{
}

CPiecePipeline::~CPiecePipeline()
{
    stop();
}

bool CPiecePipeline::start()
{
    try {
        m_thread = std::thread(&CPiecePipeline::run, this);
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

bool CPiecePipeline::push(const char* data, size_t size, bool last)
{
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [this] { return m_queue.size() < kWaiting || m_ended; });
        if (m_ended)
            return false;
        // The buffers go round: fresh pages for every piece cost more than the copy.
        Piece piece;
        if (!m_spare.empty()) {
            piece.bytes = std::move(m_spare.back());
            m_spare.pop_back();
        }
        piece.bytes.assign(data, size);
        piece.last = last;
        m_queue.push_back(std::move(piece));
    }
    m_changed.notify_all();
    if (!last)
        return true;
    if (m_thread.joinable())
        m_thread.join();
    std::lock_guard<std::mutex> lock(m_mutex);
    return !m_failed;
}

void CPiecePipeline::stop()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
        m_queue.clear();
    }
    m_changed.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

void CPiecePipeline::run()
{
    for (;;) {
        Piece piece;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_changed.wait(lock, [this] { return !m_queue.empty() || m_stopping; });
            if (m_queue.empty())
                break;
            piece = std::move(m_queue.front());
            m_queue.pop_front();
        }
        m_changed.notify_all();
        bool ok = false;
        try {
            ok = m_consumer(piece.bytes.data(), piece.bytes.size(), piece.last);
        } catch (...) {
            ok = false;
        }
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!ok || piece.last) {
            m_failed = !ok;
            break;
        }
        m_spare.push_back(std::move(piece.bytes));
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_ended = true;
        m_queue.clear();
    }
    m_changed.notify_all();
}

} // namespace WB
