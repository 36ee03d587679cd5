#include "voteservice/web/eventsubscriber.h"

#include <quorix/protocol/jsontext.h>
#include <quorix/protocol/votemessages.h>

namespace quorix::service {

EventSubscriber::EventSubscriber(std::shared_ptr<WebContext> context, const SessionIdentity& identity,
                                 bool eventStream)
    : StreamSession(std::move(context), identity), m_eventStream(eventStream)
{}

std::optional<WebResponse> EventSubscriber::open(WebStream& stream, TextChannel::Request& request,
                                                 std::shared_ptr<WebContext> context,
                                                 const SessionIdentity& identity, bool eventStream,
                                                 const std::optional<AccessClaims>& claims)
{
    const std::shared_ptr<StreamSession> subscriber(
        new EventSubscriber(std::move(context), identity, eventStream));
    return begin(subscriber, stream, request, eventStream, claims);
}

const char* EventSubscriber::eventType(const FrameJson::Decoded& frame)
{
    if (frame.minType == VOTE_SYSTEM_BROADCAST_VOTE) {
        if (frame.body.value("status", 0u) == kVoteEnded)
            return "vote.end";
        return frame.body.value("fullAllowance", 0u) == 1 ? "vote.begin" : "vote.progress";
    }
    // A close reaches everyone in the place with result 0; a refused close only its requester.
    if (frame.minType == VOTE_SYSTEM_CLOSE_VOTEUI_RES && frame.body.value("result", 1u) == 0)
        return "vote.close";
    return nullptr;
}

void EventSubscriber::send(const OutFrame& frame)
{
    const FrameJsonCache::Entry& entry =
        m_context->frames.lookup(frame, m_identity.place(), m_context->gateway);
    if (!entry.decoded)
        return;
    if (entry.decoded->minType == VOTE_SYSTEM_BROADCAST_CHANNEL_VOTE)
        return showList(entry.decoded->body);
    const char* type = eventType(*entry.decoded);
    if (type == nullptr)
        return;
    if (entry.decoded->minType == VOTE_SYSTEM_CLOSE_VOTEUI_RES) {
        if (!m_snapshotSent) {
            m_snapshot.reset();
            return;
        }
        FrameJson::Json closed = placeMembers();
        closed["voteId"] = entry.decoded->body.value("voteId", 0u);
        closed["jiFangId"] = entry.decoded->body.value("jiFangId", 0u);
        return emit(type, JsonText::write(closed));
    }
    if (!m_snapshotSent)
        m_snapshot = entry.stateText;
    else
        emit(type, entry.stateText);
}

void EventSubscriber::framesSent()
{
    if (m_snapshotSent)
        return;
    m_snapshotSent = true;
    if (m_snapshot)
        return emit("snapshot", *m_snapshot);
    FrameJson::Json none = placeMembers();
    none["vote"] = nullptr;
    emit("snapshot", JsonText::write(none));
}

void EventSubscriber::showList(const FrameJson::Json& listBody)
{
    if (m_snapshotSent && m_identity.scopes.has(AccessScope::Manage) && m_identity.isManager())
        emit("vote.list", JsonText::write(placeMembers()));
    showSchedules(listBody);
}

void EventSubscriber::showSchedules(const FrameJson::Json& listBody)
{
    const FrameJson::Json schedules = FrameJson::schedulesOf(FrameJson::listedVotes(listBody));
    std::string text = JsonText::write(schedules);
    if (text == m_schedulesSent || !m_snapshotSent)
        return;
    m_schedulesSent = std::move(text);
    FrameJson::Json members = placeMembers();
    members["schedules"] = schedules;
    emit("vote.schedule", JsonText::write(members));
}

FrameJson::Json EventSubscriber::placeMembers() const
{
    FrameJson::Json members = FrameJson::Json::object();
    members["channelId"] = m_identity.channelId;
    members["subChannelId"] = m_identity.subChannelId;
    return members;
}

void EventSubscriber::emit(const char* type, const std::string& members)
{
    // members is a JSON object's text that starts with the place; the event puts seq and type first.
    std::string data = "{\"seq\":" + std::to_string(++m_seq) + ",\"type\":\"" + type + "\",";
    data.append(members, 1, std::string::npos);
    if (!m_eventStream)
        return sendText(std::move(data));
    sendText("id: " + std::to_string(m_seq) + "\nevent: " + type + "\ndata: " + data + "\n\n");
}

} // namespace quorix::service
