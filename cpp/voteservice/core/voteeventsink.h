#pragma once

// Where the vote events of this process go: a vote it began, counted, ended or closed. Told on the
// core's thread, so an implementation hands each event on (to a thread of its own) and returns.

#include "voteservice/core/ballotbox.h"

#include <cstdint>
#include <optional>

namespace quorix::service {

enum class VoteEventKind
{
    Begin,
    Progress,
    End,
    Close
};

struct VoteEvent
{
    VoteEventKind kind = VoteEventKind::Begin;
    SubChannelKey place;
    std::uint32_t voteId = 0;
    std::uint32_t jiFangId = 0;
    std::int64_t atUnix = 0;
    // The vote with its counts as it stood; unset when it was gone already.
    std::optional<SharedOpenVote> vote;
};

class VoteEventSink
{
public:
    virtual ~VoteEventSink() = default;
    virtual void voteEvent(VoteEvent event) = 0;
};

} // namespace quorix::service
