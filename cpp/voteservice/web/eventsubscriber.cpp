#include "eventsubscriber.h"

#include <quorix/protocol/jsontext.h>
#include <quorix/protocol/votemessages.h>

namespace quorix::service {

EventSubscriber::EventSubscriber(std::shared_ptr<WebContext> context, const SessionIdentity& identity,
                                 bool eventStream)
    : StreamSession(std::move(context), identity), m_eventStream(eventStream)
{}

std::optional<WebResponse> EventSubscriber::open(boost::beast::tcp_stream& stream,
                                                 TextChannel::Request& request,
                                                 std::shared_ptr<WebContext> context,
                                                 const SessionIdentity& identity, bool eventStream)
{
    const std::shared_ptr<StreamSession> subscriber(
        new EventSubscriber(std::move(context), identity, eventStream));
    return begin(subscriber, stream, request, eventStream);
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
    const auto decoded = FrameJson::decode(frame);
    if (!decoded)
        return;
    const char* type = eventType(*decoded);
    if (type == nullptr)
        return;
    const bool isClose = decoded->minType == VOTE_SYSTEM_CLOSE_VOTEUI_RES;
    if (!m_snapshotSent) {
        if (isClose)
            m_snapshot.reset();
        else
            m_snapshot = FrameJson::voteState(decoded->body, m_identity.place());
        return;
    }
    if (isClose) {
        FrameJson::Json closed = FrameJson::Json::object();
        closed["voteId"] = decoded->body.value("voteId", 0u);
        closed["jiFangId"] = decoded->body.value("jiFangId", 0u);
        return emit(type, &closed);
    }
    const FrameJson::Json state = FrameJson::voteState(decoded->body, m_identity.place());
    emit(type, &state);
}

void EventSubscriber::framesSent()
{
    if (m_snapshotSent)
        return;
    m_snapshotSent = true;
    if (m_snapshot)
        return emit("snapshot", &*m_snapshot);
    FrameJson::Json none = FrameJson::Json::object();
    none["vote"] = nullptr;
    emit("snapshot", &none);
}

void EventSubscriber::emit(const char* type, const FrameJson::Json* members)
{
    FrameJson::Json event = FrameJson::Json::object();
    event["seq"] = ++m_seq;
    event["type"] = type;
    event["channelId"] = m_identity.channelId;
    event["subChannelId"] = m_identity.subChannelId;
    FrameJson::appendMembers(event, *members);
    const std::string data = JsonText::write(event);
    if (!m_eventStream)
        return sendText(data);
    sendText("id: " + std::to_string(m_seq) + "\nevent: " + type + "\ndata: " + data + "\n\n");
}

} // namespace quorix::service
