#pragma once

// The core's frames as the web face shows them: decoded to JSON by the contract library exactly as
// quorix-wire prints them, and the vote state built from a vote broadcast.

#include "voteservice/core/outframe.h"
#include "voteservice/core/sessionidentity.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <optional>
#include <string>

namespace quorix::service {

class FrameJson
{
public:
    using Json = nlohmann::ordered_json;

    // The frame's minor type and its body as JSON; nullopt for a frame that is not a whole vote
    // message.
    struct Decoded
    {
        std::uint32_t minType = 0;
        Json body;
        OutFrame frame;
    };
    static std::optional<Decoded> decode(const OutFrame& frame);

    // {"channelId","subChannelId","status","remainingSeconds","broadcastHz","jiFangId","vote","rank"}
    // of a broadcast body; broadcastHz is the place's count broadcast rate in force, rank lists the
    // option ids in the order the desktop window shows them.
    static Json voteState(const Json& broadcastBody, const SubChannelKey& place, std::uint32_t broadcastHz);

    // Adds "results" to a decoded VoteInfo: "end" when it shows its counts to viewers only once it
    // has ended (limits key 2 is 1), "live" otherwise.
    static void showResults(Json& vote);

    // The votes of a vote list body (query answer or push), each with "results" and "schedule":
    // {"at","state":"pending"|"missed"[,"reason"]} from the body's extend, null without one.
    static Json listedVotes(const Json& listBody);
    // {"voteId","name","at","state"} of each listed vote that has a schedule.
    static Json schedulesOf(const Json& listedVotes);

    // The records of a history answer body, newest first, each with "startedAt": the Unix second
    // the vote started, from the body's extend; absent for an entry stored without it.
    static Json historyRecords(const Json& historyBody);

    // The error body of every refused request.
    static std::string error(const std::string& reason, const std::string& field = {},
                             std::optional<std::uint32_t> result = std::nullopt);
};

} // namespace quorix::service
