#pragma once

// A subscriber of a sub-channel's vote events, over WebSocket or SSE: a core session in the place
// whose frames become numbered events. The first event is a snapshot of the place's running vote
// (or none), taken once the frames of the join have arrived; then vote.begin, vote.progress (as
// often as the core's broadcast pacing sends them), vote.end and vote.close; vote.schedule with
// the place's scheduled starts whenever they change (scheduled, cancelled, started, missed); and,
// to a subscriber that may manage the place, vote.list whenever its stored votes change.

#include "voteservice/web/streamsession.h"
#include "voteservice/web/webstream.h"

namespace quorix::service {

class EventSubscriber : public StreamSession
{
public:
    // Opens the subscription over the stream; otherwise the response to answer with.
    static std::optional<WebResponse> open(WebStream& stream, TextChannel::Request& request,
                                           std::shared_ptr<WebContext> context,
                                           const SessionIdentity& identity, bool eventStream,
                                           const std::optional<AccessClaims>& claims);

    void send(const OutFrame& frame) override;
    void framesSent() override;

    // The event type a frame stands for, or null when it is none (answers; vote lists, which become
    // vote.list and vote.schedule).
    static const char* eventType(const FrameJson::Decoded& frame);

private:
    EventSubscriber(std::shared_ptr<WebContext> context, const SessionIdentity& identity, bool eventStream);
    // members: the text of a JSON object whose first members are channelId and subChannelId.
    void emit(const char* type, const std::string& members);
    FrameJson::Json placeMembers() const;
    // A vote list push: vote.list (the place only: the votes are the manager's to read with GET
    // /votes) to a subscriber with the manage scope and a manager role, and the schedules.
    void showList(const FrameJson::Json& listBody);
    // vote.schedule when the schedules of a vote list push differ from those last sent.
    void showSchedules(const FrameJson::Json& listBody);

    bool m_eventStream;
    bool m_snapshotSent = false;
    std::optional<std::string> m_snapshot; // the last state before the snapshot went out
    std::uint64_t m_seq = 0;
    std::string m_schedulesSent = "[]";
};

} // namespace quorix::service
