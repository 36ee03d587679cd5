#include "voteservice/web/streamsession.h"

#include "voteservice/auth/opencredentials.h"
#include "voteservice/core/servicelog.h"
#include "voteservice/web/ssechannel.h"
#include "voteservice/web/websocketchannel.h"

#include <boost/beast/websocket.hpp>

#include <utility>

namespace quorix::service {

StreamSession::StreamSession(std::shared_ptr<WebContext> context, const SessionIdentity& identity)
    : m_context(std::move(context)), m_identity(identity)
{}

StreamSession::~StreamSession()
{
    releaseCoreSession();
}

void StreamSession::releaseCoreSession()
{
    if (m_session && m_registered)
        m_context->access.credentials->remove(*m_session);
    m_registered = false;
    if (m_session)
        m_context->gateway.closeSession(*m_session);
    m_session.reset();
}

void StreamSession::registerClaims(const AccessClaims& claims)
{
    OpenCredentials* credentials = m_context->access.credentials;
    if (!credentials || !m_session)
        return;
    const std::weak_ptr<StreamSession> weak = weak_from_this();
    credentials->add(*m_session, claims, [weak](TokenRefusal refusal) {
        if (const auto session = weak.lock())
            session->dishonoured(refusal);
    });
    m_registered = true;
}

// OpenCredentials has forgotten the session already; the stream ends as a flood or a stop ends it.
void StreamSession::dishonoured(TokenRefusal refusal)
{
    m_registered = false;
    ServiceLog::line("closing the web stream of uid " + std::to_string(m_identity.uid) + " in channel " +
                     std::to_string(m_identity.channelId) + ": token " + reasonWord(refusal));
    releaseCoreSession();
    closeChannel(static_cast<std::uint16_t>(boost::beast::websocket::close_code::policy_error));
}

std::optional<WebResponse> StreamSession::begin(const std::shared_ptr<StreamSession>& session,
                                                WebStream& stream, TextChannel::Request& request,
                                                bool eventStream, const std::optional<AccessClaims>& claims)
{
    SessionId id = 0;
    const Transport transport = eventStream ? Transport::Sse : Transport::WebSocket;
    switch (session->m_context->gateway.openSession(*session, session->m_identity, transport, id)) {
    case CoreGateway::Opened::Yes:
        break;
    case CoreGateway::Opened::TooManyForUser:
        return WebResponse::error(429, "too many sessions for this user");
    case CoreGateway::Opened::ServiceFull:
        return WebResponse::error(503, "service full");
    case CoreGateway::Opened::Stopped:
        return WebResponse::error(503, "service stopping");
    }
    session->m_session = id;
    if (claims)
        session->registerClaims(*claims);
    session->m_slot = session->m_context->clients.add(session);
    const WebLimits& limits = session->m_context->limits;
    if (eventStream)
        session->m_channel =
            std::make_unique<SseChannel>(std::move(stream), limits, session->m_context->metrics);
    else
        session->m_channel =
            std::make_unique<WebSocketChannel>(std::move(stream), limits, session->m_context->metrics);
    StreamSession* raw = session.get();
    // The channel's pending operations hold the session; its handlers may use it directly.
    session->m_channel->start(
        session, std::move(request),
        [raw] {
            if (raw->m_session)
                raw->m_context->gateway.whenSent(*raw->m_session);
        },
        [raw](const std::string& text) {
            if (!raw->m_draining)
                raw->onText(text);
        },
        [raw] { raw->ended(); });
    for (SharedText& text : std::exchange(session->m_early, {}))
        session->m_channel->send(std::move(text), {});
    return std::nullopt;
}

void StreamSession::sendText(std::string text, std::chrono::milliseconds hold)
{
    sendText(std::make_shared<const std::string>(std::move(text)), hold);
}

// Before the channel is there nothing is written yet: an early text waits unheld.
void StreamSession::sendText(SharedText text, std::chrono::milliseconds hold)
{
    if (m_channel)
        m_channel->send(std::move(text), hold);
    else
        m_early.push_back(std::move(text));
}

void StreamSession::closeChannel(std::uint16_t code)
{
    if (m_channel)
        m_channel->close(code);
}

void StreamSession::onText(const std::string&) {}

void StreamSession::ended()
{
    releaseCoreSession();
}

void StreamSession::close()
{
    if (m_session && m_registered)
        m_context->access.credentials->remove(*m_session);
    m_registered = false;
    m_session.reset();
    closeChannel(static_cast<std::uint16_t>(boost::beast::websocket::close_code::policy_error));
}

void StreamSession::drain()
{
    m_draining = true;
}

void StreamSession::goingAway()
{
    if (m_channel)
        m_channel->finish(static_cast<std::uint16_t>(boost::beast::websocket::close_code::going_away));
}

void StreamSession::shutdown()
{
    ended();
    if (m_channel)
        m_channel->abort();
}

} // namespace quorix::service
