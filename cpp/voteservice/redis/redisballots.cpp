#include "voteservice/redis/redisballots.h"

#include "voteservice/redis/rediskeys.h"

#include <cstdlib>

namespace quorix::service {

RedisBallots::RedisBallots(std::uint64_t node, std::int64_t deadlineMs)
    : m_node(std::to_string(node)), m_deadlineMs(deadlineMs)
{}

std::int64_t RedisBallots::systemMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

bool RedisBallots::sync(RedisConnection& connection)
{
    const std::int64_t before = systemMs();
    const RedisReply reply = connection.command({"TIME"});
    if (!reply || reply->type != REDIS_REPLY_ARRAY || reply->elements != 2)
        return false;
    const std::int64_t seconds = std::strtoll(reply->element[0]->str, nullptr, 10);
    const std::int64_t micros = std::strtoll(reply->element[1]->str, nullptr, 10);
    // Redis read its clock about halfway through the round trip.
    const std::int64_t localMs = before + (systemMs() - before) / 2;
    m_redisOffsetMs = seconds * 1000 + micros / 1000 - localMs;
    return true;
}

RedisBallot RedisBallots::next(std::uint32_t channelId)
{
    RedisBallot ballot;
    ballot.key = RedisKeys::ballot(channelId, m_node + ":" + std::to_string(++m_counter));
    ballot.deadlineMs = systemMs() + m_redisOffsetMs + m_deadlineMs;
    const auto now = RedisConnection::Clock::now();
    ballot.retry.unsentUntil = now + std::chrono::milliseconds(m_deadlineMs);
    ballot.retry.sentUntil = now + std::chrono::milliseconds(m_deadlineMs + kResolveMs);
    return ballot;
}

} // namespace quorix::service
