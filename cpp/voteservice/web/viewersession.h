#pragma once

// A /session WebSocket: a viewer's core session in its sub-channel. Pushes become messages (the
// vote state on every broadcast, the close of a vote); the client's vote, judgeScore and tickets
// messages become USER_VOTE and USER_VOTE_STATE requests exactly as a host sends them, and their
// answers come back as result or tickets messages carrying the client's id.

#include "voteservice/web/sessionrequestparser.h"
#include "voteservice/web/streamsession.h"
#include "voteservice/web/webstream.h"

#include <deque>

namespace quorix::service {

class ViewerSession : public StreamSession
{
public:
    static constexpr std::size_t kMaxInFlight = 64;

    static std::optional<WebResponse> open(WebStream& stream, TextChannel::Request& request,
                                           std::shared_ptr<WebContext> context,
                                           const SessionIdentity& identity,
                                           const std::optional<AccessClaims>& claims);

    void send(const OutFrame& frame) override;

private:
    struct Asked
    {
        SessionRequest::Kind kind;
        nlohmann::ordered_json id;
    };
    // What the viewer was last shown: a user vote names the running vote's type and round.
    using Shown = FrameJsonCache::VoteRound;

    ViewerSession(std::shared_ptr<WebContext> context, const SessionIdentity& identity);
    void onText(const std::string& text) override;
    void ask(const SessionRequest& request);
    void showVote(const FrameJsonCache::Entry& entry);
    // hold: the core's hold of the answer's frame (OutFrame::holdMs).
    void answerVote(const FrameJson::Json& body, std::chrono::milliseconds hold);
    void answerTickets(const FrameJson::Json& body, std::chrono::milliseconds hold);
    void sendJson(const nlohmann::ordered_json& message, std::chrono::milliseconds hold = {});
    void sendError(const std::string& error, const std::string& field, const nlohmann::ordered_json& id);
    void refuseInFlight(const nlohmann::ordered_json& id);

    std::deque<Asked> m_asked; // in the order the core answers them
    std::optional<Shown> m_shown;
};

} // namespace quorix::service
