#pragma once

// The host connections that queued frames during the current handler: one posted handler writes
// them all after it, so a broadcast to ten thousand sessions costs one post, not one per session.
// Held in a shared_ptr; the posted handler holds it too, and drops the sessions it did not write
// when the io_context is destroyed before running it.
//
// Sessions whose queued frames may wait (answers riding with the next broadcast) are kept apart,
// each until its due time; the server's tick writes those that came due without another frame.

#include <boost/asio.hpp>

#include <cstdint>
#include <memory>
#include <queue>
#include <utility>
#include <vector>

namespace quorix::service {

class TcpSession;

class FlushBatch : public std::enable_shared_from_this<FlushBatch>
{
public:
    explicit FlushBatch(boost::asio::io_context& io) : m_io(io) {}

    // The session's queued frames are written once the current handler has returned.
    void add(std::shared_ptr<TcpSession> session);
    // The session's queued frames are written at dueMs (steady clock) at the latest.
    void addLater(std::shared_ptr<TcpSession> session, std::int64_t dueMs);
    // Writes the held sessions that are due by nowMs and still hold their frames.
    void releaseDue(std::int64_t nowMs);

private:
    using Held = std::pair<std::int64_t, std::shared_ptr<TcpSession>>;
    struct LaterFirst
    {
        bool operator()(const Held& a, const Held& b) const { return a.first > b.first; }
    };

    void run();

    boost::asio::io_context& m_io;
    std::vector<std::shared_ptr<TcpSession>> m_due;
    std::vector<std::shared_ptr<TcpSession>> m_running; // kept for its capacity
    std::priority_queue<Held, std::vector<Held>, LaterFirst> m_held;
};

} // namespace quorix::service
