#include "httplistener.h"

#include "httpconnection.h"
#include "servicelog.h"

namespace quorix::service {

namespace asio = boost::asio;

namespace {
constexpr std::chrono::milliseconds kAcceptRetry(100);
}

HttpListener::HttpListener(asio::io_context& io, CoreGateway& gateway, const Clock& clock,
                           const WebLimits& limits, const std::optional<std::string>& secret)
    : m_context(std::make_shared<WebContext>(io, gateway, clock, limits)), m_acceptor(io), m_retryTimer(io)
{
    if (secret)
        m_context->auth.emplace(*secret);
}

HttpListener::~HttpListener()
{
    stop();
}

bool HttpListener::listen(const std::string& host, std::uint16_t port, std::string& error)
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
        error = "cannot listen for HTTP on " + host + ":" + std::to_string(port) + ": " + ec.message();
        return false;
    }
    accept();
    return true;
}

std::uint16_t HttpListener::port() const
{
    boost::system::error_code ec;
    const auto endpoint = m_acceptor.local_endpoint(ec);
    return ec ? 0 : endpoint.port();
}

void HttpListener::stop()
{
    if (m_stopped)
        return;
    m_stopped = true;
    boost::system::error_code ec;
    m_acceptor.close(ec);
    m_retryTimer.cancel();
    m_context->clients.shutdownAll();
}

void HttpListener::setPages(StaticFiles pages)
{
    m_context->pages = std::move(pages);
}

void HttpListener::setMetricsText(std::function<std::string()> metricsText)
{
    m_context->metricsText = std::move(metricsText);
}

void HttpListener::setMetrics(ServiceMetrics& metrics)
{
    m_context->metrics = &metrics;
    m_context->metricsText = [&metrics] { return metrics.exposition(); };
}

void HttpListener::accept()
{
    m_acceptor.async_accept([this](const boost::system::error_code& ec, asio::ip::tcp::socket socket) {
        if (m_stopped)
            return;
        if (ec) {
            // Out of descriptors and the like: wait a little instead of spinning.
            if (ec != asio::error::operation_aborted)
                ServiceLog::line("http accept failed: " + ec.message());
            m_retryTimer.expires_after(kAcceptRetry);
            m_retryTimer.async_wait([this](const boost::system::error_code& waitError) {
                if (!waitError && !m_stopped)
                    accept();
            });
            return;
        }
        onAccepted(std::move(socket));
        accept();
    });
}

void HttpListener::onAccepted(asio::ip::tcp::socket socket)
{
    const std::size_t open = m_context->clients.size();
    const std::size_t limit = m_context->limits.maxConnections;
    if (open >= limit + kRefusalSlack) {
        boost::system::error_code ec;
        socket.close(ec);
        return;
    }
    std::make_shared<HttpConnection>(std::move(socket), m_context, open >= limit)->start();
}

} // namespace quorix::service
