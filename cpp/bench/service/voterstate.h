#pragma once

// What the load generator keeps of one voting session, host connection or /session viewer alike.

#include <chrono>
#include <cstdint>
#include <deque>
#include <vector>

namespace quorix::loadgen {

using Clock = std::chrono::steady_clock;

struct VoterState
{
    // Votes sent and not yet answered, and accepted votes not yet seen in a broadcast (send times).
    std::deque<Clock::time_point> unanswered;
    std::vector<Clock::time_point> awaitingBroadcast;
    std::uint32_t votesSent = 0;
};

} // namespace quorix::loadgen
