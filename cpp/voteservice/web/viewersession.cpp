#include "voteservice/web/viewersession.h"

#include "voteservice/core/resultcode.h"
#include "voteservice/web/resultwords.h"

#include <quorix/protocol/jsontext.h>
#include <quorix/protocol/votemessages.h>

namespace quorix::service {

using Json = nlohmann::ordered_json;

ViewerSession::ViewerSession(std::shared_ptr<WebContext> context, const SessionIdentity& identity)
    : StreamSession(std::move(context), identity)
{}

std::optional<WebResponse> ViewerSession::open(WebStream& stream, TextChannel::Request& request,
                                               std::shared_ptr<WebContext> context,
                                               const SessionIdentity& identity,
                                               const std::optional<AccessClaims>& claims)
{
    const std::shared_ptr<StreamSession> viewer(new ViewerSession(std::move(context), identity));
    return begin(viewer, stream, request, false, claims);
}

// ---- client → core ------------------------------------------------------------------------------

void ViewerSession::onText(const std::string& text)
{
    const ParsedSessionRequest parsed = SessionRequestParser::parse(text);
    if (!parsed.request)
        return sendError(parsed.error, parsed.field, parsed.id);
    if (m_asked.size() >= kMaxInFlight)
        return refuseInFlight(parsed.id);
    ask(*parsed.request);
}

// Refused here, the request still costs the session's budget: a viewer that floods faster than the
// core answers is dropped by the core's rule all the same.
void ViewerSession::refuseInFlight(const Json& id)
{
    sendError("too many requests waiting for answers", {}, id);
    if (const auto core = session())
        m_context->gateway.spendRequest(*core);
}

void ViewerSession::ask(const SessionRequest& request)
{
    const auto id = session();
    if (!id)
        return;
    const SessionIdentity& who = m_identity;
    // The vote's type and round as last shown; for another vote the core refuses.
    Shown vote;
    if (m_shown && m_shown->voteId == request.voteId)
        vote = *m_shown;
    std::uint32_t minType = VOTE_SYSTEM_USER_VOTE_REQ;
    std::string body;
    if (request.kind == SessionRequest::Kind::Tickets) {
        minType = VOTE_SYSTEM_USER_VOTE_STATE_REQ;
        body = mpak::encode(PUserVoteStateReq{
            who.channelId, who.subChannelId, request.voteId, vote.voteType, vote.jiFangId, who.uid, {}, {}});
    } else {
        const std::uint32_t optionId = request.kind == SessionRequest::Kind::Vote ? request.optionId : 0;
        body = mpak::encode(PUserVoteReq{who.channelId,
                                         who.subChannelId,
                                         request.voteId,
                                         vote.voteType,
                                         vote.jiFangId,
                                         who.uid,
                                         optionId,
                                         request.tickets,
                                         {}});
    }
    m_asked.push_back(Asked{request.kind, request.id});
    // A session that floods is closed by the gateway (close()).
    m_context->gateway.handle(*id, minType, body);
}

// ---- core → client ------------------------------------------------------------------------------

void ViewerSession::send(const OutFrame& frame)
{
    const FrameJsonCache::Entry& entry =
        m_context->frames.lookup(frame, m_identity.place(), m_context->gateway);
    const auto& decoded = entry.decoded;
    if (!decoded)
        return;
    const std::chrono::milliseconds hold(frame.holdMs());
    switch (decoded->minType) {
    case VOTE_SYSTEM_BROADCAST_VOTE:
        return showVote(entry);
    case VOTE_SYSTEM_USER_VOTE_RES:
        return answerVote(decoded->body, hold);
    case VOTE_SYSTEM_USER_VOTE_STATE_RES:
        return answerTickets(decoded->body, hold);
    case VOTE_SYSTEM_CLOSE_VOTEUI_RES: {
        Json closed = Json::object();
        closed["type"] = "close";
        closed["voteId"] = decoded->body.value("voteId", 0u);
        closed["jiFangId"] = decoded->body.value("jiFangId", 0u);
        if (m_shown && m_shown->voteId == closed["voteId"].get<std::uint32_t>())
            m_shown.reset();
        return sendJson(closed);
    }
    default:
        return; // the channel's vote list and the like: not for viewers here
    }
}

void ViewerSession::showVote(const FrameJsonCache::Entry& entry)
{
    m_shown = entry.round;
    sendText(entry.viewerText);
}

void ViewerSession::answerVote(const Json& body, std::chrono::milliseconds hold)
{
    if (m_asked.empty())
        return;
    const Asked asked = std::move(m_asked.front());
    m_asked.pop_front();
    const std::uint32_t result = body.value("result", 0u);
    Json message = Json::object();
    message["type"] = "result";
    message["id"] = asked.id;
    message["request"] = SessionRequest::kindName(asked.kind);
    message["result"] = result;
    message["reason"] = ResultWords::words(VOTE_SYSTEM_USER_VOTE_REQ, result);
    sendJson(message, hold);
}

void ViewerSession::answerTickets(const Json& body, std::chrono::milliseconds hold)
{
    if (m_asked.empty())
        return;
    const Asked asked = std::move(m_asked.front());
    m_asked.pop_front();
    const std::uint32_t state = body.value("state", 0u);
    if (state == kTicketStateRefused) {
        // Refused: the code travels in aux1. Any other state is a ticket state (2: full allowance).
        const std::uint32_t result = body.value("aux1", 0u);
        Json message = Json::object();
        message["type"] = "result";
        message["id"] = asked.id;
        message["request"] = "tickets";
        message["result"] = result;
        message["reason"] = ResultWords::words(VOTE_SYSTEM_USER_VOTE_STATE_REQ, result);
        return sendJson(message, hold);
    }
    const std::uint32_t perUser = body.value("ticketsPerUser", 0u);
    const std::uint32_t used = body.value("ticketsUsed", 0u);
    Json message = Json::object();
    message["type"] = "tickets";
    message["id"] = asked.id;
    message["voteId"] = body.contains("vote") ? body.at("vote").value("voteId", 0u) : 0u;
    message["remaining"] = perUser > used ? perUser - used : 0;
    message["perOption"] = body.value("usedPerOption", Json::object());
    sendJson(message, hold);
}

void ViewerSession::sendJson(const Json& message, std::chrono::milliseconds hold)
{
    sendText(JsonText::write(message), hold);
}

void ViewerSession::sendError(const std::string& error, const std::string& field, const Json& id)
{
    Json message = Json::object();
    message["type"] = "error";
    if (!id.is_null())
        message["id"] = id;
    message["error"] = error;
    if (!field.empty())
        message["field"] = field;
    sendJson(message);
}

} // namespace quorix::service
