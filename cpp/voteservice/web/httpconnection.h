#pragma once

// One HTTP connection of the web face (HTTPS after a TLS handshake when the server has a
// certificate): reads requests within the header and body limits (431, 413),
// with an idle timeout before a request's first bytes and a read timeout for the rest, routes them
// (404, 405), refuses browsers of other origins and, without keys, names other than loopback ones
// (403), establishes who asks and what the token allows (400, 401, 403), sells stream tickets,
// answers plain requests through an ApiRequest and keeps the connection alive between them. Every
// answer carries the SecurityHeaders. An events or session request hands the connection
// over to a WebSocket or SSE stream. A connection over the limit is read once and answered 503.
// When the service drains, an idle connection closes and a busy one closes after its answer.

#include "voteservice/web/apirequest.h"
#include "voteservice/web/requestidentity.h"
#include "voteservice/web/webclientregistry.h"
#include "voteservice/web/webcontext.h"
#include "voteservice/web/webresponse.h"
#include "voteservice/web/webstream.h"

#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>

#include <memory>
#include <optional>

namespace quorix::service {

class HttpConnection : public std::enable_shared_from_this<HttpConnection>, public WebClient
{
public:
    using Request = boost::beast::http::request<boost::beast::http::string_body>;

    HttpConnection(boost::asio::ip::tcp::socket socket, std::shared_ptr<WebContext> context,
                   bool overCapacity, AddressLimiter::Lease lease);

    void start();
    void shutdown() override;
    // Closes the connection when it waits for a request; a request being read or answered gets
    // its answer with Connection: close.
    void drain() override;

private:
    void onHandshake(const boost::system::error_code& ec);
    void readNext();
    void onFirstBytes(const boost::system::error_code& ec);
    void readRequest();
    void onRequest(const boost::system::error_code& ec);
    void refuseUnreadable(const boost::system::error_code& ec);
    void dispatch(Request request);
    void servePage(const Request& request, std::string_view target);
    // A 403 for a browser request from another origin, or without keys for a Host that is not loopback.
    std::optional<WebResponse> browserRefusal(const Request& request, const WebRoute& route) const;
    // Routed requests that need an identity: plain API requests, tickets and streams.
    void dispatchToCore(Request request, const WebRoute& route, const QueryParameters& query);
    // The claims of the request's ?ticket=, which it spends; a 401 when it is not good (any more).
    std::optional<WebResponse> redeemTicket(const QueryParameters& query,
                                            std::optional<AccessClaims>& claims);
    void issueTicket(const IdentityOutcome& who);
    // GET, PUT and DELETE of the channel's webhook, answered by the webhook sender.
    void serveWebhook(const Request& request, const IdentityOutcome& who);
    static WebResponse webhookResponse(const WebhookRegistry::Answer& answer);
    // A narrower token for the caller (TokenMint).
    void mintToken(const Request& request, const IdentityOutcome& who);
    void serveHealth();
    void serveMetrics(const Request& request);
    void openEvents(Request request, const QueryParameters& query, const IdentityOutcome& who);
    void write(WebResponse response);
    void onWritten(const boost::system::error_code& ec);
    void closeSocket();

    static constexpr std::size_t kFirstReadBytes = 4096;

    WebStream m_stream;
    boost::beast::flat_buffer m_buffer;
    std::optional<boost::beast::http::request_parser<boost::beast::http::string_body>> m_parser;
    std::shared_ptr<WebContext> m_context;
    WebClientRegistry::Slot m_slot;
    std::unique_ptr<ApiRequest> m_api;
    std::shared_ptr<boost::beast::http::response<boost::beast::http::string_body>> m_response;
    boost::asio::ip::address m_peer;
    bool m_loopbackPeer = false;
    bool m_overCapacity = false;
    bool m_keepAlive = true;
    // The request being answered is a HEAD: its answer has the headers of a GET and no body.
    bool m_head = false;
    bool m_shutDown = false;
    // Between requests, or in the TLS handshake: nothing would be lost by closing now.
    bool m_idle = true;
    bool m_draining = false;
};

} // namespace quorix::service
