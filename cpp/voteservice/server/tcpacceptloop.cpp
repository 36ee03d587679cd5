#include "voteservice/server/tcpacceptloop.h"

#include "voteservice/core/servicelog.h"

#include <cctype>
#include <chrono>
#include <utility>

namespace quorix::service {

namespace asio = boost::asio;

namespace {
constexpr std::chrono::milliseconds kAcceptRetry(100);

std::string lowercase(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}
} // namespace

TcpAcceptLoop::TcpAcceptLoop(asio::io_context& io, std::string name)
    : m_name(std::move(name)), m_acceptor(io), m_retryTimer(io)
{}

bool TcpAcceptLoop::listen(const std::string& host, std::uint16_t port, Handler onAccepted,
                           std::string& error)
{
    boost::system::error_code ec;
    const asio::ip::address address = asio::ip::make_address(host, ec);
    if (ec) {
        error = "not an IP address: " + host;
        return false;
    }
    const asio::ip::tcp::endpoint endpoint(address, port);
    m_acceptor.open(endpoint.protocol(), ec);
    if (!ec)
        m_acceptor.set_option(asio::ip::tcp::acceptor::reuse_address(true), ec);
    if (!ec)
        m_acceptor.bind(endpoint, ec);
    if (!ec)
        m_acceptor.listen(asio::socket_base::max_listen_connections, ec);
    if (ec) {
        const std::string what = m_name.empty() ? "" : "for " + m_name + " ";
        error = "cannot listen " + what + "on " + host + ":" + std::to_string(port) + ": " + ec.message();
        return false;
    }
    m_onAccepted = std::move(onAccepted);
    acceptNext();
    return true;
}

std::uint16_t TcpAcceptLoop::port() const
{
    boost::system::error_code ec;
    const auto endpoint = m_acceptor.local_endpoint(ec);
    return ec ? 0 : endpoint.port();
}

void TcpAcceptLoop::stop()
{
    m_stopped = true;
    boost::system::error_code ec;
    m_acceptor.close(ec);
    m_retryTimer.cancel();
}

void TcpAcceptLoop::acceptNext()
{
    m_acceptor.async_accept([this](const boost::system::error_code& ec, asio::ip::tcp::socket socket) {
        if (m_stopped)
            return;
        if (ec) {
            if (ec != asio::error::operation_aborted)
                ServiceLog::line((m_name.empty() ? "" : lowercase(m_name) + " ") +
                                 "accept failed: " + ec.message());
            m_retryTimer.expires_after(kAcceptRetry);
            m_retryTimer.async_wait([this](const boost::system::error_code& waitError) {
                if (!waitError && !m_stopped)
                    acceptNext();
            });
            return;
        }
        m_onAccepted(std::move(socket));
        acceptNext();
    });
}

} // namespace quorix::service
