#include "httplistener.h"

#include "httpconnection.h"

namespace quorix::service {

namespace asio = boost::asio;

HttpListener::HttpListener(asio::io_context& io, CoreGateway& gateway, const Clock& clock,
                           const WebLimits& limits, WebAccess access)
    : m_context(std::make_shared<WebContext>(io, gateway, clock, limits, std::move(access))),
      m_listener(io, "HTTP")
{}

HttpListener::~HttpListener()
{
    stop();
}

bool HttpListener::listen(const std::string& host, std::uint16_t port, std::string& error)
{
    return m_listener.listen(
        host, port, [this](asio::ip::tcp::socket socket) { onAccepted(std::move(socket)); }, error);
}

std::uint16_t HttpListener::port() const
{
    return m_listener.port();
}

void HttpListener::stop()
{
    if (m_stopped)
        return;
    m_stopped = true;
    m_listener.stop();
    m_context->clients.shutdownAll();
}

void HttpListener::setPages(StaticFiles pages)
{
    m_context->pages = std::move(pages);
}

void HttpListener::setTls(std::shared_ptr<asio::ssl::context> tls)
{
    m_context->tls = std::move(tls);
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
