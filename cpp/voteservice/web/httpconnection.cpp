#include "voteservice/web/httpconnection.h"

#include "voteservice/auth/tokenverifier.h"
#include "voteservice/web/tokenmint.h"

#include "voteservice/web/eventsubscriber.h"
#include "voteservice/auth/opencredentials.h"
#include "voteservice/core/resultcode.h"
#include "voteservice/web/securityheaders.h"
#include "voteservice/core/servicelog.h"
#include "voteservice/web/viewersession.h"
#include "voteservice/web/webrouter.h"
#include "voteservice/web/webhookrequestbody.h"
#include "voteservice/web/websocketchannel.h"

#include <boost/beast/websocket.hpp>

#include <quorix/protocol/jsontext.h>

namespace quorix::service {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;

namespace {
// The peer's address; unspecified (no range holds it) when the socket has none.
asio::ip::address peerAddress(const asio::ip::tcp::socket& socket)
{
    boost::system::error_code ec;
    const auto endpoint = socket.remote_endpoint(ec);
    return ec ? asio::ip::address() : endpoint.address();
}

bool isLoopback(const asio::ip::address& address)
{
    if (address.is_v6() && address.to_v6().is_v4_mapped())
        return asio::ip::make_address_v4(asio::ip::v4_mapped, address.to_v6()).is_loopback();
    return address.is_loopback();
}

std::string_view fieldOf(const HttpConnection::Request& request, http::field field)
{
    const auto value = request[field];
    return std::string_view(value.data(), value.size());
}

// "events" or "events or vote": the scopes of which a request needs one.
std::string scopeWords(ScopeSet scopes)
{
    std::string words = scopes.words();
    for (std::size_t space = words.find(' '); space != std::string::npos; space = words.find(' ', space + 4))
        words.replace(space, 1, " or ");
    return words;
}

std::string peerText(const asio::ip::tcp::socket& socket)
{
    boost::system::error_code ec;
    const auto endpoint = socket.remote_endpoint(ec);
    if (ec)
        return "unknown peer";
    return endpoint.address().to_string() + ":" + std::to_string(endpoint.port());
}

bool wantsEventStream(const HttpConnection::Request& request)
{
    const auto accept = request[http::field::accept];
    return accept.find("text/event-stream") != beast::string_view::npos;
}
} // namespace

HttpConnection::HttpConnection(asio::ip::tcp::socket socket, std::shared_ptr<WebContext> context,
                               bool overCapacity, AddressLimiter::Lease lease)
    : m_stream(std::move(socket), context->tls), m_context(std::move(context)), m_overCapacity(overCapacity)
{
    m_peer = peerAddress(m_stream.socket());
    m_loopbackPeer = isLoopback(m_peer);
    m_stream.holdLease(std::move(lease));
}

void HttpConnection::start()
{
    m_slot = m_context->clients.add(weak_from_this());
    if (!m_stream.isTls())
        return readNext();
    m_stream.expires_after(m_context->limits.readTimeout);
    m_stream.async_handshake(
        [self = shared_from_this()](const boost::system::error_code& ec) { self->onHandshake(ec); });
}

void HttpConnection::drain()
{
    m_draining = true;
    if (m_idle)
        shutdown();
}

void HttpConnection::onHandshake(const boost::system::error_code& ec)
{
    if (m_shutDown)
        return;
    if (ec) {
        ServiceLog::line("TLS handshake with web client " + peerText(m_stream.socket()) +
                         " failed: " + ec.message());
        return closeSocket();
    }
    readNext();
}

void HttpConnection::shutdown()
{
    m_shutDown = true;
    closeSocket();
}

void HttpConnection::closeSocket()
{
    m_api.reset();
    boost::system::error_code ec;
    m_stream.socket().shutdown(asio::ip::tcp::socket::shutdown_both, ec);
    m_stream.close();
}

// ---- reading ------------------------------------------------------------------------------------

void HttpConnection::readNext()
{
    m_api.reset();
    m_head = false;
    m_parser.emplace();
    m_parser->header_limit(static_cast<std::uint32_t>(m_context->limits.headerBytes));
    m_parser->body_limit(m_context->limits.bodyBytes);
    if (m_draining)
        return closeSocket();
    // Bytes of a pipelined request have arrived already: it has begun.
    m_idle = m_buffer.size() == 0;
    if (!m_idle)
        return readRequest();
    // Between requests the idle timeout applies; once a request's first bytes are in, the read
    // timeout for the whole of it. The parser would wait for a complete header before it reports
    // any progress, so the first bytes are read without it.
    m_stream.expires_after(m_context->limits.idleTimeout);
    m_stream.async_read_some(m_buffer.prepare(kFirstReadBytes),
                             [self = shared_from_this()](const boost::system::error_code& ec, std::size_t n) {
                                 self->m_buffer.commit(n);
                                 self->onFirstBytes(ec);
                             });
}

void HttpConnection::onFirstBytes(const boost::system::error_code& ec)
{
    m_idle = false;
    if (m_shutDown)
        return;
    if (ec)
        return onRequest(ec);
    readRequest();
}

void HttpConnection::readRequest()
{
    m_stream.expires_after(m_context->limits.readTimeout);
    http::async_read(m_stream, m_buffer, *m_parser,
                     [self = shared_from_this()](const boost::system::error_code& error, std::size_t) {
                         self->onRequest(error);
                     });
}

void HttpConnection::onRequest(const boost::system::error_code& ec)
{
    if (m_shutDown)
        return;
    if (ec)
        return refuseUnreadable(ec);
    m_stream.expires_never();
    dispatch(m_parser->release());
}

void HttpConnection::refuseUnreadable(const boost::system::error_code& ec)
{
    m_keepAlive = false;
    if (ec == http::error::header_limit)
        return write(WebResponse::error(431, "request header fields too large"));
    if (ec == http::error::body_limit)
        return write(WebResponse::error(413, "request body too large"));
    if (ec == http::error::end_of_stream || ec == beast::error::timeout ||
        ec == asio::error::operation_aborted || ec == asio::error::connection_reset || ec == asio::error::eof)
        return closeSocket();
    write(WebResponse::error(400, "malformed HTTP request"));
}

// ---- dispatch -----------------------------------------------------------------------------------

void HttpConnection::dispatch(Request request)
{
    m_keepAlive = request.keep_alive();
    m_head = request.method() == http::verb::head;
    if (m_overCapacity) {
        m_keepAlive = false;
        return write(WebResponse::error(503, "too many connections"));
    }
    const std::string_view target =
        WebRouter::originForm(std::string_view(request.target().data(), request.target().size()));
    const WebRoute route = WebRouter::route(
        std::string_view(request.method_string().data(), request.method_string().size()), target);
    if (auto refusal = browserRefusal(request, route))
        return write(std::move(*refusal));
    if (m_context->pages && StaticFiles::handles(target))
        return servePage(request, target);
    if (!route.endpoint) {
        WebResponse response =
            WebResponse::error(route.status, route.status == 405 ? "method not allowed" : "not found");
        response.allow = route.allow;
        return write(std::move(response));
    }
    if (*route.endpoint == WebEndpoint::Health)
        return serveHealth();
    if (*route.endpoint == WebEndpoint::Metrics)
        return serveMetrics(request);
    std::string field;
    const auto query = QueryParameters::parse(route.query, field);
    if (!query)
        return write(WebResponse::error(400, "malformed query", field));
    dispatchToCore(std::move(request), route, *query);
}

std::optional<WebResponse> HttpConnection::browserRefusal(const Request& request, const WebRoute& route) const
{
    const std::string_view host = fieldOf(request, http::field::host);
    // A health probe reveals nothing and may come by any name.
    const bool health = route.endpoint == WebEndpoint::Health;
    if (!m_context->access.verifier && !health && !OriginPolicy::isLoopbackHost(host))
        return WebResponse::error(403, "Host is not a loopback name: the service has no keys", "Host");
    // A request without Origin comes from a program, which no other site can drive.
    const std::string_view origin = fieldOf(request, http::field::origin);
    const bool browserWrite = beast::websocket::is_upgrade(request) || request.method() == http::verb::post ||
                              request.method() == http::verb::put || request.method() == http::verb::delete_;
    if (browserWrite && !origin.empty() && !m_context->origins.allowsOrigin(origin, host, m_stream.isTls()))
        return WebResponse::error(403, "origin not allowed", "Origin");
    return std::nullopt;
}

// The pages and their files need no identity: the page itself asks the API with the link's token.
void HttpConnection::servePage(const Request& request, std::string_view target)
{
    if (request.method() != http::verb::get && !m_head) {
        WebResponse response = WebResponse::error(405, "method not allowed");
        response.allow = "GET, HEAD";
        return write(std::move(response));
    }
    const auto etag = request[http::field::if_none_match];
    StaticFiles::Reply reply = m_context->pages->serve(target, std::string_view(etag.data(), etag.size()));
    WebResponse response;
    response.status = static_cast<int>(reply.status);
    response.body = std::move(reply.body);
    response.headers = std::move(reply.headers);
    write(std::move(response));
}

std::optional<WebResponse> HttpConnection::redeemTicket(const QueryParameters& query,
                                                        std::optional<AccessClaims>& claims)
{
    const std::string* ticket = query.find("ticket");
    if (!ticket)
        return std::nullopt;
    claims = m_context->tickets.redeem(*ticket, m_context->clock.steadyMs());
    if (!claims)
        return WebResponse::error(401, "ticket refused: unknown, spent or expired");
    // The token it was bought with may have expired, lost its key or been revoked since.
    TokenRefusal refusal = TokenRefusal::None;
    if (const TokenVerifier* verifier = m_context->access.verifier) {
        if (claims->expiresAt != 0 && claims->expiresAt <= m_context->clock.unixSeconds())
            refusal = TokenRefusal::Expired;
        else
            refusal = verifier->stillHonoured(*claims);
    }
    if (refusal != TokenRefusal::None)
        return WebResponse::error(401, RequestIdentity::refusalText(refusal));
    return std::nullopt;
}

void HttpConnection::dispatchToCore(Request request, const WebRoute& route, const QueryParameters& query)
{
    const WebEndpoint endpoint = *route.endpoint;
    const bool stream = endpoint == WebEndpoint::Events || endpoint == WebEndpoint::Session;
    std::optional<AccessClaims> ticketClaims;
    if (stream) {
        if (auto refusal = redeemTicket(query, ticketClaims))
            return write(std::move(*refusal));
    }
    IdentityRequest asking;
    asking.authorization = fieldOf(request, http::field::authorization);
    asking.query = &query;
    asking.loopbackPeer = m_loopbackPeer;
    asking.pathChannel = route.channelId;
    asking.pathSubChannel = route.subChannelId;
    asking.ticketClaims = ticketClaims ? &*ticketClaims : nullptr;
    IdentityOutcome who =
        RequestIdentity::resolve(m_context->access.verifier, m_context->clock.unixSeconds(), asking);
    if (who.status != 200)
        return write(WebResponse::error(who.status, who.error, who.field));
    who.identity.transport = "web";
    who.identity.peer = peerText(m_stream.socket());
    // The vote changes without a manager role or the manage scope are refused by the core, which
    // audits the attempt. The core lets any session of the place list its votes; the web face keeps
    // the list and its votes, and the user directory's look-up for the judge editor, to managers
    // itself.
    const bool reads = endpoint == WebEndpoint::Votes || endpoint == WebEndpoint::VoteRead ||
                       endpoint == WebEndpoint::User || endpoint == WebEndpoint::Webhook ||
                       endpoint == WebEndpoint::TokenMint;
    if (reads && !who.identity.isManager())
        return write(WebResponse::error(403, "manager role required", "role"));
    const ScopeSet needed = WebRouter::scopesFor(endpoint);
    if (!needed.empty() && who.identity.scopes.intersect(needed).empty())
        return write(WebResponse::error(403, "token lacks the scope " + scopeWords(needed), "scope",
                                        kResultScopeMissing));
    if (endpoint == WebEndpoint::Tickets)
        return issueTicket(who);
    if (endpoint == WebEndpoint::Webhook)
        return serveWebhook(request, who);
    if (endpoint == WebEndpoint::TokenMint)
        return mintToken(request, who);
    if (endpoint == WebEndpoint::Events)
        return openEvents(std::move(request), query, who);
    if (endpoint == WebEndpoint::Session) {
        if (!beast::websocket::is_upgrade(request))
            return write(WebResponse::error(400, "WebSocket upgrade expected"));
        if (auto refusal = WebSocketChannel::handshakeRefusal(request))
            return write(std::move(*refusal));
        if (auto refusal = ViewerSession::open(m_stream, request, m_context, who.identity, who.claims))
            write(std::move(*refusal));
        return;
    }
    if (!m_context->plainRequests.take(who.identity.channelId, who.identity.uid, m_context->clock.steadyMs()))
        return write(WebResponse::error(429, "too many requests", {}, kResultTooManyRequests));
    // The request holds the connection until it answers; the connection drops it after the write.
    m_api = std::make_unique<ApiRequest>(
        *m_context, [self = shared_from_this()](WebResponse response) { self->write(std::move(response)); });
    m_api->run(endpoint, route, query, who.identity, request.body());
}

void HttpConnection::mintToken(const Request& request, const IdentityOutcome& who)
{
    if (!m_context->plainRequests.take(who.identity.channelId, who.identity.uid, m_context->clock.steadyMs()))
        return write(WebResponse::error(429, "too many requests", {}, kResultTooManyRequests));
    TokenMint::Caller caller;
    caller.tokensChecked = m_context->access.verifier != nullptr;
    caller.claims = who.claims ? &*who.claims : nullptr;
    caller.channelId = who.identity.channelId;
    caller.maxLifetimeSeconds = m_context->access.verifier
                                    ? m_context->access.verifier->policy().maxLifetimeSeconds
                                    : TokenMint::kDefaultTtlSeconds;
    const TokenSigner* signer = m_context->access.signer ? m_context->access.signer() : nullptr;
    write(TokenMint::answer(request.body(), caller, signer, m_context->clock.unixSeconds()));
}

void HttpConnection::issueTicket(const IdentityOutcome& who)
{
    if (!m_context->plainRequests.take(who.identity.channelId, who.identity.uid, m_context->clock.steadyMs()))
        return write(WebResponse::error(429, "too many requests", {}, kResultTooManyRequests));
    const AccessClaims claims = who.claims ? *who.claims : RequestIdentity::claimsOf(who.identity);
    std::string ticket;
    switch (m_context->tickets.issue(claims, m_context->clock.steadyMs(), ticket)) {
    case WebTicketStore::Issued::UserFull:
        return write(WebResponse::error(429, "too many tickets for this user"));
    case WebTicketStore::Issued::StoreFull:
        return write(WebResponse::error(503, "too many tickets"));
    case WebTicketStore::Issued::Yes:
        break;
    }
    FrameJson::Json body = FrameJson::Json::object();
    body["ticket"] = ticket;
    body["expiresIn"] = WebTicketStore::kLifetimeMs / 1000;
    write(WebResponse::json(200, body));
}

void HttpConnection::serveWebhook(const Request& request, const IdentityOutcome& who)
{
    if (!m_context->plainRequests.take(who.identity.channelId, who.identity.uid, m_context->clock.steadyMs()))
        return write(WebResponse::error(429, "too many requests", {}, kResultTooManyRequests));
    WebhookRegistry* webhooks = m_context->webhooks;
    if (!webhooks)
        return write(WebResponse::error(503, "webhooks are not served here"));
    // The answer comes on the webhook sender's thread and is written on this connection's.
    auto answer = [self = shared_from_this()](WebhookRegistry::Answer answer) {
        asio::post(self->m_context->io,
                   [self, answer = std::move(answer)] { self->write(webhookResponse(answer)); });
    };
    const std::uint32_t channelId = who.identity.channelId;
    if (request.method() == http::verb::get || request.method() == http::verb::head)
        return webhooks->show(channelId, std::move(answer));
    AuditEntry asker;
    asker.uid = who.identity.uid;
    asker.imid = who.identity.imid;
    asker.role = who.identity.role;
    asker.transport = who.identity.transport;
    asker.peer = who.identity.peer;
    asker.tokenId = who.identity.tokenId;
    if (request.method() == http::verb::delete_)
        return webhooks->remove(channelId, std::move(asker), std::move(answer));
    VoteRequestBody::Refusal refusal;
    const auto body = WebhookRequestBody::read(request.body(), refusal);
    if (!body)
        return write(WebResponse::error(400, refusal.reason, refusal.field));
    webhooks->put(channelId, body->url, body->progress, std::move(asker), std::move(answer));
}

WebResponse HttpConnection::webhookResponse(const WebhookRegistry::Answer& answer)
{
    if (answer.status >= 400)
        return WebResponse::error(answer.status, answer.error, answer.field);
    WebResponse response;
    response.status = answer.status;
    if (answer.status == 204) {
        response.contentType.clear();
        return response;
    }
    FrameJson::Json body = FrameJson::Json::object();
    body["url"] = answer.url;
    body["progress"] = answer.progress;
    if (!answer.secret.empty())
        body["secret"] = answer.secret;
    return WebResponse::json(answer.status, body);
}

void HttpConnection::openEvents(Request request, const QueryParameters& query, const IdentityOutcome& who)
{
    std::uint32_t since = 0;
    if (!query.number("since", since))
        return write(WebResponse::error(400, "since is not a number", "since"));
    // A reconnecting client (since, Last-Event-ID) starts again with a fresh snapshot.
    const bool webSocket = beast::websocket::is_upgrade(request);
    if (!webSocket && !wantsEventStream(request))
        return write(WebResponse::error(400, "WebSocket upgrade or Accept: text/event-stream expected"));
    if (webSocket) {
        if (auto refusal = WebSocketChannel::handshakeRefusal(request))
            return write(std::move(*refusal));
    }
    if (auto refusal =
            EventSubscriber::open(m_stream, request, m_context, who.identity, !webSocket, who.claims))
        write(std::move(*refusal));
}

void HttpConnection::serveHealth()
{
    std::string reason;
    FrameJson::Json body = FrameJson::Json::object();
    if (m_context->gateway.storageHealthy(reason)) {
        body["status"] = "ok";
        return write(WebResponse::json(200, body));
    }
    body["status"] = "failing";
    body["reason"] = reason;
    write(WebResponse::json(503, body));
}

// Peers of --metrics-allow need nothing; anyone else a token with the metrics scope.
void HttpConnection::serveMetrics(const Request& request)
{
    if (!AddressRange::anyContains(m_context->access.metricsPeers, m_peer)) {
        const TokenVerifier* verifier = m_context->access.verifier;
        if (!verifier)
            return write(WebResponse::error(403, "metrics: not a peer of --metrics-allow"));
        const TokenVerdict verdict = RequestIdentity::verifyBearer(
            *verifier, fieldOf(request, http::field::authorization), m_context->clock.unixSeconds());
        if (!verdict.accepted())
            return write(WebResponse::error(401, RequestIdentity::refusalText(verdict.refusal)));
        if (!verdict.claims.scopes.has(AccessScope::Metrics))
            return write(
                WebResponse::error(403, "token lacks the scope metrics", "scope", kResultScopeMissing));
    }
    WebResponse response;
    response.contentType = "text/plain; version=0.0.4; charset=utf-8";
    response.body = m_context->metricsText ? m_context->metricsText() : std::string();
    write(std::move(response));
}

// ---- writing ------------------------------------------------------------------------------------

void HttpConnection::write(WebResponse response)
{
    if (m_shutDown)
        return;
    m_response =
        std::make_shared<http::response<http::string_body>>(static_cast<http::status>(response.status), 11);
    m_response->set(http::field::server, "quorix-voted");
    if (!response.contentType.empty())
        m_response->set(http::field::content_type, response.contentType);
    m_response->set(http::field::cache_control, "no-store");
    for (const auto& [name, value] : SecurityHeaders::fields(m_stream.isTls()))
        m_response->set(name, value);
    if (!response.allow.empty())
        m_response->set(http::field::allow, response.allow);
    for (const auto& [name, value] : response.headers)
        m_response->set(name, value);
    m_response->body() = std::move(response.body);
    m_response->keep_alive(m_keepAlive && !m_draining);
    m_response->prepare_payload();
    // Content-Length stays that of the body a GET would get; a body after it would be read as the
    // start of the next answer.
    if (m_head)
        m_response->body().clear();
    m_stream.expires_after(m_context->limits.readTimeout);
    http::async_write(m_stream, *m_response,
                      [self = shared_from_this()](const boost::system::error_code& ec, std::size_t sent) {
                          if (self->m_context->metrics)
                              self->m_context->metrics->bytesSent(Transport::Http, sent);
                          self->onWritten(ec);
                      });
}

void HttpConnection::onWritten(const boost::system::error_code& ec)
{
    m_response.reset();
    if (ec || !m_keepAlive || m_shutDown || m_draining)
        return closeSocket();
    readNext();
}

} // namespace quorix::service
