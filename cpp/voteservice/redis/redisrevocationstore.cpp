#include "voteservice/redis/redisrevocationstore.h"

#include "voteservice/redis/rediscommands.h"
#include "voteservice/redis/rediskeys.h"

#include <cstdio>
#include <string>

namespace quorix::service {

namespace {

// Keeps the later of two revocations of one user, in one step on the Redis side.
const char kRevokeScript[] = R"lua(
local old = redis.call('HGET', KEYS[1], ARGV[1])
if old then
  local before = tonumber(string.match(old, '^(%-?%d+)'))
  if before and before >= tonumber(ARGV[2]) then return 0 end
end
redis.call('HSET', KEYS[1], ARGV[1], ARGV[2] .. ' ' .. ARGV[3])
return 1
)lua";

std::string field(std::uint32_t channelId, std::uint32_t uid)
{
    return std::to_string(channelId) + ":" + std::to_string(uid);
}

// "<channel>:<uid>" and "<issued before> <expires at>"; false for anything else.
bool parse(const redisReply* key, const redisReply* value, Revocation& out)
{
    if (key->type != REDIS_REPLY_STRING || value->type != REDIS_REPLY_STRING)
        return false;
    const std::string k(key->str, key->len), v(value->str, value->len);
    unsigned long channel = 0, uid = 0;
    long long before = 0, expires = 0;
    char end = 0;
    if (std::sscanf(k.c_str(), "%lu:%lu%c", &channel, &uid, &end) != 2 ||
        std::sscanf(v.c_str(), "%lld %lld%c", &before, &expires, &end) != 2 || channel > 0xffffffffUL ||
        uid > 0xffffffffUL)
        return false;
    out = {std::uint32_t(channel), std::uint32_t(uid), before, expires};
    return true;
}

} // namespace

bool RedisRevocationStore::revoke(const Revocation& revocation)
{
    const RedisReply reply = m_redis.command(
        {"EVAL", kRevokeScript, "1", RedisKeys::revocations(), field(revocation.channelId, revocation.uid),
         std::to_string(revocation.issuedBefore), std::to_string(revocation.expiresAt)});
    return reply && reply->type == REDIS_REPLY_INTEGER;
}

std::vector<Revocation> RedisRevocationStore::current(std::int64_t nowUnix)
{
    const RedisReply reply = m_redis.command({"HGETALL", RedisKeys::revocations()});
    if (!reply || reply->type != REDIS_REPLY_ARRAY)
        return {};
    std::vector<Revocation> revocations;
    RedisCommands::Args forget{"HDEL", RedisKeys::revocations()};
    for (std::size_t i = 0; i + 1 < reply->elements; i += 2) {
        Revocation revocation;
        const redisReply* key = reply->element[i];
        if (parse(key, reply->element[i + 1], revocation) && revocation.expiresAt >= nowUnix)
            revocations.push_back(revocation);
        else if (key->type == REDIS_REPLY_STRING)
            forget.emplace_back(key->str, key->len);
    }
    // Expired (or unreadable) ones go; a lost reply leaves them to the next time.
    if (forget.size() > 2)
        m_redis.command(forget);
    return revocations;
}

} // namespace quorix::service
