#pragma once

// The web face of quorix-voted: accepts HTTP connections on the server's io_context and serves the
// API, the event streams and the viewer sessions in front of the server's core (CoreGateway).
// Connections beyond the limit are answered 503; a few more than that are closed unanswered. A
// connection beyond its source address's limits is answered 429 before anything is read (over TLS
// it is closed before the handshake).

#include "voteservice/server/addresslimiter.h"
#include "voteservice/server/coregateway.h"
#include "voteservice/server/tcpacceptloop.h"
#include "voteservice/web/webaccess.h"
#include "voteservice/web/webcontext.h"

#include <boost/asio.hpp>

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace quorix::service {

class HttpListener
{
public:
    // Connections beyond the limit that still get their 503; more are closed at once.
    static constexpr std::size_t kRefusalSlack = 64;

    // With a verifier in access, requests need tokens; without, only loopback peers are served.
    HttpListener(boost::asio::io_context& io, CoreGateway& gateway, const Clock& clock,
                 const WebLimits& limits, WebAccess access);
    ~HttpListener();
    HttpListener(const HttpListener&) = delete;
    HttpListener& operator=(const HttpListener&) = delete;

    bool listen(const std::string& host, std::uint16_t port, std::string& error);
    std::uint16_t port() const;
    // Stops accepting and ends every connection and its core session.
    void stop();
    // Stops accepting and taking requests: idle connections close, requests in flight are answered
    // with Connection: close, streams stop taking the client's messages (the server then ends them).
    void drain();
    // Where /metrics takes its text.
    void setMetricsText(std::function<std::string()> metricsText);
    // Serves these figures at /metrics and counts the web face's bytes and cut streams into them.
    void setMetrics(ServiceMetrics& metrics);
    // Serves the channels' webhooks (GET, PUT, DELETE …/webhook) through this registry.
    void setWebhooks(WebhookRegistry& webhooks);
    // The web root the pages are served from (StaticFiles).
    void setPages(StaticFiles pages);
    // Serves HTTPS and WSS with this context from the next connection on.
    void setTls(std::shared_ptr<boost::asio::ssl::context> tls);
    // A reload's bounds: connections at once, per address, and the users' plain request rate, from
    // the next connection or request on; connections already open stay. The other limits keep theirs.
    void setReloadableLimits(const WebLimits& limits);
    std::size_t connectionCount() const { return m_context->clients.size(); }

private:
    void onAccepted(boost::asio::ip::tcp::socket socket);
    void refuseForAddress(boost::asio::ip::tcp::socket& socket, const boost::asio::ip::address& address,
                          const AddressLimiter::Admission& admission);

    std::shared_ptr<WebContext> m_context;
    TcpAcceptLoop m_listener;
    AddressLimiter m_addressLimits;
    bool m_stopped = false;
};

} // namespace quorix::service
