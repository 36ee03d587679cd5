#include "voteservice/server/servicedrain.h"

#include "voteservice/core/servicelog.h"

#include <cstdio>

namespace quorix::service {

namespace {
constexpr std::chrono::milliseconds kPollInterval(10);

std::string secondsText(std::chrono::steady_clock::duration elapsed)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", std::chrono::duration<double>(elapsed).count());
    return text;
}
} // namespace

ServiceDrain::ServiceDrain(boost::asio::io_context& io, VoteServer& server, HttpListener* web,
                           std::chrono::seconds timeout, std::function<void()> onStopped)
    : m_server(server), m_web(web), m_timeout(timeout), m_onStopped(std::move(onStopped)), m_poll(io),
      m_deadline(io)
{}

void ServiceDrain::start()
{
    if (m_running)
        return;
    m_running = true;
    m_started = std::chrono::steady_clock::now();
    ServiceLog::line("draining " + std::to_string(openConnections()) + " connections (at most " +
                     std::to_string(m_timeout.count()) + " s)");
    // The web face first: its streams stop taking requests before the server's last commit.
    if (m_web)
        m_web->drain();
    m_server.drain();
    m_deadline.expires_after(m_timeout);
    m_deadline.async_wait([this](const boost::system::error_code& ec) {
        if (!ec)
            cut("drain timeout after " + std::to_string(m_timeout.count()) + " s");
    });
    watch();
}

void ServiceDrain::cut(const std::string& why)
{
    if (!m_running)
        return;
    ServiceLog::line(ServiceLog::Priority::Warning,
                     why + ": cutting " + std::to_string(openConnections()) +
                         " connections; answers not yet sent to them may be of votes that count");
    stopAll();
}

bool ServiceDrain::over() const
{
    return m_server.drained() && (!m_web || m_web->connectionCount() == 0);
}

std::size_t ServiceDrain::openConnections() const
{
    return m_server.connectionCount() + (m_web ? m_web->connectionCount() : 0);
}

void ServiceDrain::watch()
{
    if (over()) {
        ServiceLog::line("drained in " + secondsText(std::chrono::steady_clock::now() - m_started) + " s");
        return stopAll();
    }
    m_poll.expires_after(kPollInterval);
    m_poll.async_wait([this](const boost::system::error_code& ec) {
        if (!ec && m_running)
            watch();
    });
}

void ServiceDrain::stopAll()
{
    m_running = false;
    m_poll.cancel();
    m_deadline.cancel();
    if (m_web)
        m_web->stop();
    m_server.stop();
    if (m_onStopped)
        m_onStopped();
}

} // namespace quorix::service
