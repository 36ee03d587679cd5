#pragma once

// RedisBallot ids and deadlines for the scripts that change an open vote (start, user vote, end, close).
// Each call carries a ballot id of this process (its node id and a counter) and an absolute
// deadline on Redis's clock. The script records its result under the ballot id for
// kRecordSeconds and answers a repeated ballot with the recorded result, so a call whose reply was
// lost can be sent again and counts once; a ballot first seen after its deadline is refused (-1)
// and that refusal recorded, so a copy still on its way can never count later.
//
// The deadline is compared with Redis's TIME inside the script: only Redis knows when a copy
// actually runs. This process turns its own clock into Redis's by the offset measured on every
// connect, so a node whose clock is off still gives each request the same time.

#include "voteservice/redis/redisconnection.h"

#include <chrono>
#include <cstdint>
#include <string>

namespace quorix::service {

struct RedisBallot
{
    std::string key;
    // Unix milliseconds on Redis's clock after which the script refuses the ballot.
    std::int64_t deadlineMs = 0;
    // A ballot that never left is tried until its deadline; one that may have reached Redis is sent
    // again past it, so that a try reaches the script after it and learns its fate for certain.
    RedisConnection::RetryWindow retry;
};

class RedisBallots
{
public:
    // How long a request may take to be decided.
    static constexpr std::int64_t kDeadlineMs = 2000;
    // How long after the deadline a lost reply is still asked after.
    static constexpr std::int64_t kResolveMs = 3000;
    // How long Redis keeps a ballot's result.
    static constexpr int kRecordSeconds = 60;
    // What the scripts return for a ballot first seen past its deadline.
    static constexpr long long kPastDeadline = -1;

    explicit RedisBallots(std::uint64_t node, std::int64_t deadlineMs = kDeadlineMs);

    // Measures the offset of Redis's clock from this process's; false when TIME was not answered.
    bool sync(RedisConnection& connection);
    // A new ballot for a script on the keys of the channel: its key carries the channel's hash tag.
    RedisBallot next(std::uint32_t channelId);

private:
    static std::int64_t systemMs();

    std::string m_node;
    std::int64_t m_deadlineMs;
    std::uint64_t m_counter = 0;
    std::int64_t m_redisOffsetMs = 0;
};

} // namespace quorix::service
