#pragma once

// The last frame the core sent to web sessions, decoded once: a broadcast goes to every session of
// a sub-channel with the same frame, and turning it into JSON per subscriber would cost as much as
// all the rest of its delivery. Keeps the frame, so its bytes (the key) cannot be reused meanwhile.

#include "voteservice/server/coregateway.h"
#include "voteservice/web/framejson.h"
#include "voteservice/web/outgoingtextqueue.h"

#include <optional>
#include <string>

namespace quorix::service {

class FrameJsonCache
{
public:
    // The vote a broadcast shows, as a user vote must name it.
    struct VoteRound
    {
        std::uint32_t voteId = 0;
        std::uint32_t voteType = 0;
        std::uint32_t jiFangId = 0;
    };
    struct Entry
    {
        std::optional<FrameJson::Decoded> decoded; // empty: not a whole vote message
        // A vote broadcast's state (FrameJson::voteState) for the place, as JSON text.
        std::string stateText;
        // The same as a /session viewer's "vote" message: one text queued to all of them.
        SharedText viewerText;
        VoteRound round; // of a vote broadcast, read once rather than per viewer
    };

    // The place's broadcast rate comes from the gateway when the frame is decoded.
    const Entry& lookup(const OutFrame& frame, const SubChannelKey& place, CoreGateway& gateway);

private:
    OutFrame m_frame;
    SubChannelKey m_place;
    Entry m_entry;
};

} // namespace quorix::service
