#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace WB {

// Hands pieces of bytes, in order, to a consumer on a thread of its own while the caller makes
// the next: a large part's inflating and its XML parse each take a core. At most a few pieces
// wait in memory; the caller waits when they are there.
class CPiecePipeline
{
public:
    // Returns false to stop: the pieces after are dropped. Runs on the pipeline's thread.
    using Consumer = std::function<bool(const char* data, size_t size, bool last)>;

    explicit CPiecePipeline(Consumer consumer);
    ~CPiecePipeline();
    CPiecePipeline(const CPiecePipeline&) = delete;
    CPiecePipeline& operator=(const CPiecePipeline&) = delete;

    // False when no thread can be had: the caller consumes the pieces itself.
    bool start();
    // Queues a copy of the piece. False once the consumer stopped; after the last piece, waits
    // for the consumer's end and tells whether it took every piece.
    bool push(const char* data, size_t size, bool last);
    // Drops what waits, lets the consumer end the piece it is on, and waits for the thread: what
    // the consumer wrote may be read after.
    void stop();

private:
    struct Piece
    {
        std::string bytes;
        bool last = false;
    };

    void run();

    Consumer m_consumer;
    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Piece> m_queue; // guarded by m_mutex, as are the spares and the flags below
    std::vector<std::string> m_spare;
    bool m_stopping = false;
    bool m_ended = false;  // the consumer will take no more
    bool m_failed = false; // it said stop, or threw
};

} // namespace WB
