#include "voteservice/web/httplistener.h"

#include "voteservice/web/framejson.h"
#include "voteservice/web/httpconnection.h"
#include "voteservice/core/servicelog.h"

namespace quorix::service {

namespace asio = boost::asio;

namespace {
// Written at once to a connection over its address's limits, before anything of it is read.
const std::string& addressRefusal()
{
    static const std::string body = FrameJson::error("too many connections from this address", {}, {});
    static const std::string text = "HTTP/1.1 429 Too Many Requests\r\n"
                                    "Server: quorix-voted\r\n"
                                    "Content-Type: application/json\r\n"
                                    "Cache-Control: no-store\r\n"
                                    "Retry-After: 1\r\n"
                                    "Connection: close\r\n"
                                    "Content-Length: " +
                                    std::to_string(body.size()) + "\r\n\r\n" + body;
    return text;
}
} // namespace

HttpListener::HttpListener(asio::io_context& io, CoreGateway& gateway, const Clock& clock,
                           const WebLimits& limits, WebAccess access)
    : m_context(std::make_shared<WebContext>(io, gateway, clock, limits, std::move(access))),
      m_listener(io, "HTTP"),
      m_addressLimits(limits.maxConnectionsPerAddress, limits.maxNewConnectionsPerAddressPerSecond)
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

void HttpListener::drain()
{
    m_listener.stop();
    m_context->clients.drainAll();
}

void HttpListener::setWebhooks(WebhookRegistry& webhooks)
{
    m_context->webhooks = &webhooks;
}

void HttpListener::setPages(StaticFiles pages)
{
    m_context->pages = std::move(pages);
}

void HttpListener::setTls(std::shared_ptr<asio::ssl::context> tls)
{
    m_context->tls = std::move(tls);
}

void HttpListener::setReloadableLimits(const WebLimits& limits)
{
    WebLimits& held = m_context->limits;
    held.maxConnections = limits.maxConnections;
    held.requestsPerSecond = limits.requestsPerSecond;
    held.requestBurst = limits.requestBurst;
    m_context->plainRequests.setRate(limits.requestsPerSecond, limits.requestBurst);
    held.maxConnectionsPerAddress = limits.maxConnectionsPerAddress;
    held.maxNewConnectionsPerAddressPerSecond = limits.maxNewConnectionsPerAddressPerSecond;
    m_addressLimits.setBounds(limits.maxConnectionsPerAddress, limits.maxNewConnectionsPerAddressPerSecond);
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
    boost::system::error_code ec;
    const asio::ip::tcp::endpoint peer = socket.remote_endpoint(ec);
    AddressLimiter::Admission admission;
    if (!ec) {
        admission = m_addressLimits.admit(peer.address(), m_context->clock.steadyMs());
        if (admission.verdict != AddressLimiter::Verdict::Admitted)
            return refuseForAddress(socket, peer.address(), admission);
    }
    // Answers and broadcasts are small writes that must leave at once, as on the host transport:
    // with Nagle's rule one would wait for the peer's (often delayed) acknowledgement of the last.
    socket.set_option(asio::ip::tcp::no_delay(true), ec);
    std::make_shared<HttpConnection>(std::move(socket), m_context, open >= limit, std::move(admission.lease))
        ->start();
}

void HttpListener::refuseForAddress(asio::ip::tcp::socket& socket, const asio::ip::address& address,
                                    const AddressLimiter::Admission& admission)
{
    if (m_context->metrics)
        m_context->metrics->addressLimitRefused(Transport::Http);
    if (admission.logNow)
        ServiceLog::line(m_addressLimits.refusalLine("web connection", address, admission));
    boost::system::error_code ec;
    if (!m_context->tls) {
        // A fresh socket's send buffer takes the answer at once; nothing waits for it.
        socket.non_blocking(true, ec);
        socket.write_some(asio::buffer(addressRefusal()), ec);
        socket.shutdown(asio::ip::tcp::socket::shutdown_both, ec);
    }
    socket.close(ec);
}

} // namespace quorix::service
