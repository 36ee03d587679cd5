#include "voteservice/webhook/webhookpayload.h"

#include "voteservice/core/outframe.h"
#include "voteservice/server/auditline.h"
#include "voteservice/web/framejson.h"

#include <algorithm>

namespace quorix::service {

namespace {

// The vote as its broadcast frame shows it, decoded as the web face decodes that frame.
std::optional<FrameJson::Json> stateOf(const VoteEvent& event, std::uint32_t broadcastHz)
{
    if (!event.vote)
        return std::nullopt;
    const SharedOpenVote& vote = *event.vote;
    PBroadcastVote push;
    const bool running =
        vote.running && event.kind != VoteEventKind::End && event.kind != VoteEventKind::Close;
    push.status = running ? kVoteStarted : kVoteEnded;
    if (running)
        push.remainSeconds =
            static_cast<std::uint32_t>(std::max<std::int64_t>(0, vote.endsAtUnix - event.atUnix));
    push.jiFangId = vote.jiFangId;
    push.vote = vote.record;
    std::optional<FrameJson::Decoded> decoded;
    try {
        decoded = FrameJson::decode(OutFrame::encode(kVoteMajorType, VOTE_SYSTEM_BROADCAST_VOTE, push));
    } catch (const mpak::PackError&) {
        return std::nullopt;
    }
    if (!decoded)
        return std::nullopt;
    return FrameJson::voteState(decoded->body, event.place, broadcastHz);
}

} // namespace

const char* WebhookPayload::typeName(VoteEventKind kind)
{
    switch (kind) {
    case VoteEventKind::Begin:
        return "vote.begin";
    case VoteEventKind::Progress:
        return "vote.progress";
    case VoteEventKind::End:
        return "vote.end";
    case VoteEventKind::Close:
        return "vote.close";
    }
    return "vote.unknown";
}

std::string WebhookPayload::body(const VoteEvent& event, std::uint32_t broadcastHz)
{
    FrameJson::Json body = FrameJson::Json::object();
    body["type"] = typeName(event.kind);
    body["channelId"] = event.place.channelId;
    body["subChannelId"] = event.place.subChannelId;
    body["voteId"] = event.voteId;
    body["jiFangId"] = event.jiFangId;
    body["time"] = AuditLine::utcTime(event.atUnix);
    body["timeUnix"] = event.atUnix;
    if (auto state = stateOf(event, broadcastHz))
        body["state"] = std::move(*state);
    return body.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

} // namespace quorix::service
