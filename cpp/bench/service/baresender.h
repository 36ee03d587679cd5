#pragma once

// The bare sender: what the service's fan-out costs with no logic around it. It accepts a number of
// loopback connections, then writes one shared frame to every one of them a number of times, evenly
// over some seconds, with the calls the service's sessions make: one non-blocking sendmsg per
// connection and frame (TCP_NODELAY), the rest through async_write when the socket is full.

#include <boost/asio.hpp>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace quorix::loadgen {

class BareSender
{
public:
    struct Plan
    {
        std::size_t sessions = 0;
        std::size_t frameBytes = 0;
        std::uint64_t ticks = 0; // frames per connection
        double seconds = 0;      // over which the ticks are spread
    };

    BareSender(boost::asio::io_context& io, Plan plan);

    // Listens on a free loopback port; 0 when it cannot.
    std::uint16_t listen();
    // Accepts plan.sessions connections, then sends; returns once every frame was written or a
    // connection failed. False when not every frame went out.
    bool run();
    // Frames handed to the kernel, and this process's processor time while sending.
    std::uint64_t framesWritten() const { return m_framesWritten; }
    double sendingCpuSeconds() const { return m_cpuSeconds; }

private:
    struct Connection
    {
        explicit Connection(boost::asio::io_context& io) : socket(io) {}
        boost::asio::ip::tcp::socket socket;
        std::string inflight; // bytes async_write is sending
        std::string queued;   // frames that came while it was
        bool writing = false;
    };

    void acceptNext();
    void tick();
    void send(Connection& connection);
    void writeInflight(Connection& connection);
    void finishWhenWritten();

    boost::asio::io_context& m_io;
    Plan m_plan;
    std::string m_frame;
    boost::asio::ip::tcp::acceptor m_acceptor;
    std::vector<std::unique_ptr<Connection>> m_connections;
    boost::asio::steady_timer m_timer;
    std::chrono::steady_clock::time_point m_start;
    std::uint64_t m_ticksDone = 0;
    std::uint64_t m_framesWritten = 0;
    std::size_t m_writing = 0;
    bool m_failed = false;
    double m_cpuAtStart = 0;
    double m_cpuSeconds = 0;
};

} // namespace quorix::loadgen
