#include "bench/service/baresender.h"

#include <sys/resource.h>

namespace quorix::loadgen {

namespace asio = boost::asio;

namespace {

double processCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

bool wouldBlock(const boost::system::error_code& ec)
{
    return ec == asio::error::would_block || ec == asio::error::try_again;
}

} // namespace

BareSender::BareSender(asio::io_context& io, Plan plan)
    : m_io(io), m_plan(plan), m_frame(plan.frameBytes, 'x'), m_acceptor(io), m_timer(io)
{}

std::uint16_t BareSender::listen()
{
    boost::system::error_code ec;
    const asio::ip::tcp::endpoint any(asio::ip::address_v4::loopback(), 0);
    m_acceptor.open(any.protocol(), ec);
    if (!ec)
        m_acceptor.bind(any, ec);
    if (!ec)
        m_acceptor.listen(asio::socket_base::max_listen_connections, ec);
    return ec ? 0 : m_acceptor.local_endpoint().port();
}

bool BareSender::run()
{
    acceptNext();
    m_io.run();
    return !m_failed && m_framesWritten == m_plan.sessions * m_plan.ticks;
}

void BareSender::acceptNext()
{
    if (m_connections.size() == m_plan.sessions) {
        m_acceptor.close();
        m_cpuAtStart = processCpuSeconds();
        m_start = std::chrono::steady_clock::now();
        return tick();
    }
    auto connection = std::make_unique<Connection>(m_io);
    asio::ip::tcp::socket& socket = connection->socket;
    m_acceptor.async_accept(
        socket, [this, connection = std::move(connection)](const boost::system::error_code& ec) mutable {
            if (ec) {
                m_failed = true;
                return;
            }
            boost::system::error_code ignored;
            connection->socket.set_option(asio::ip::tcp::no_delay(true), ignored);
            connection->socket.non_blocking(true, ignored);
            m_connections.push_back(std::move(connection));
            acceptNext();
        });
}

void BareSender::tick()
{
    for (const auto& connection : m_connections)
        send(*connection);
    if (++m_ticksDone == m_plan.ticks || m_failed)
        return finishWhenWritten();
    // Tick k is due k/ticks of the way through, so a late tick does not shift the rest.
    const auto due =
        m_start +
        std::chrono::duration_cast<std::chrono::steady_clock::duration>(
            std::chrono::duration<double>(m_plan.seconds * double(m_ticksDone) / double(m_plan.ticks)));
    m_timer.expires_at(due);
    m_timer.async_wait([this](const boost::system::error_code& ec) {
        if (!ec)
            tick();
    });
}

void BareSender::send(Connection& connection)
{
    ++m_framesWritten;
    if (connection.writing) {
        connection.queued += m_frame;
        return;
    }
    // A sequence of buffers, as the service's sessions write: sendmsg, not send.
    const std::vector<asio::const_buffer> buffers{asio::buffer(m_frame)};
    boost::system::error_code ec;
    const std::size_t sentNow = connection.socket.write_some(buffers, ec);
    if (!ec && sentNow == m_frame.size())
        return;
    if (ec && !wouldBlock(ec)) {
        m_failed = true;
        return;
    }
    connection.inflight.assign(m_frame, ec ? 0 : sentNow, std::string::npos);
    writeInflight(connection);
}

void BareSender::writeInflight(Connection& connection)
{
    connection.writing = true;
    ++m_writing;
    asio::async_write(connection.socket, asio::buffer(connection.inflight),
                      [this, &connection](const boost::system::error_code& ec, std::size_t) {
                          connection.writing = false;
                          --m_writing;
                          if (ec) {
                              m_failed = true;
                              return finishWhenWritten();
                          }
                          if (!connection.queued.empty()) {
                              connection.inflight.swap(connection.queued);
                              connection.queued.clear();
                              writeInflight(connection);
                          }
                          finishWhenWritten();
                      });
}

void BareSender::finishWhenWritten()
{
    if (m_ticksDone < m_plan.ticks && !m_failed)
        return;
    if (m_writing != 0 && !m_failed)
        return;
    if (m_cpuSeconds == 0)
        m_cpuSeconds = processCpuSeconds() - m_cpuAtStart;
    m_timer.cancel();
    for (const auto& connection : m_connections) {
        boost::system::error_code ignored;
        connection->socket.shutdown(asio::ip::tcp::socket::shutdown_send, ignored);
    }
    m_io.stop();
}

} // namespace quorix::loadgen
