#pragma once

// The host connections that queued frames during the current handler: one posted handler writes
// them all after it, so a broadcast to ten thousand sessions costs one post, not one per session.
// Held in a shared_ptr; the posted handler holds it too, and drops the sessions it did not write
// when the io_context is destroyed before running it.

#include <boost/asio.hpp>

#include <memory>
#include <vector>

namespace quorix::service {

class TcpSession;

class FlushBatch : public std::enable_shared_from_this<FlushBatch>
{
public:
    explicit FlushBatch(boost::asio::io_context& io) : m_io(io) {}

    // The session's queued frames are written once the current handler has returned.
    void add(std::shared_ptr<TcpSession> session);

private:
    void run();

    boost::asio::io_context& m_io;
    std::vector<std::shared_ptr<TcpSession>> m_due;
    std::vector<std::shared_ptr<TcpSession>> m_running; // kept for its capacity
};

} // namespace quorix::service
