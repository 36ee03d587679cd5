#include "voteservice/redis/rediswebhookqueue.h"

#include "voteservice/redis/rediskeys.h"

#include <algorithm>
#include <cstdlib>

namespace quorix::service {

namespace {

// KEYS queue, events, heads, eventid, attempts; ARGV channel, now, max, replaceable, created, body,
// sub-channel. A record is "<replaceable> <created> <body>"; the tail's sub-channel is its body's.
const char kQueueScript[] = R"lua(
local len = redis.call('LLEN', KEYS[1])
if len == 0 then redis.call('ZADD', KEYS[3], ARGV[2], ARGV[1]) end
if ARGV[4] == '1' and len > 1 then
  local tail = redis.call('LINDEX', KEYS[1], -1)
  local record = redis.call('HGET', KEYS[2], tail)
  local sameSub = false
  if record and string.sub(record, 1, 1) == '1' then
    local read, body = pcall(cjson.decode, string.match(record, '^%S+ %S+ (.*)$') or '')
    sameSub = read and type(body) == 'table' and body.subChannelId == tonumber(ARGV[7])
  end
  if sameSub then
    redis.call('HSET', KEYS[2], tail, '1 ' .. ARGV[5] .. ' ' .. ARGV[6])
    return 0
  end
end
local dropped = 0
if len >= tonumber(ARGV[3]) then
  local victim = redis.call('LINDEX', KEYS[1], 1)
  redis.call('LREM', KEYS[1], 1, victim)
  redis.call('HDEL', KEYS[2], victim)
  redis.call('HDEL', KEYS[5], victim)
  dropped = 1
end
local id = redis.call('INCR', KEYS[4])
redis.call('RPUSH', KEYS[1], id)
redis.call('HSET', KEYS[2], id, ARGV[4] .. ' ' .. ARGV[5] .. ' ' .. ARGV[6])
return dropped
)lua";

// KEYS heads, queue, events, attempts; ARGV now, lease, channel. Returns {id, record, attempts},
// or {} when the channel's head is not due (another process claimed it first) or its queue is empty.
const char kClaimScript[] = R"lua(
local due = redis.call('ZSCORE', KEYS[1], ARGV[3])
if not due or tonumber(due) > tonumber(ARGV[1]) then return {} end
local id = redis.call('LINDEX', KEYS[2], 0)
if not id then
  redis.call('ZREM', KEYS[1], ARGV[3])
  return {}
end
redis.call('ZADD', KEYS[1], tonumber(ARGV[1]) + tonumber(ARGV[2]), ARGV[3])
return {id, redis.call('HGET', KEYS[3], id) or '', redis.call('HGET', KEYS[4], id) or '0'}
)lua";

// Due channels claim() looks at before it leaves the rest to the next call: each one it passes
// over was claimed by another process or had an empty queue, which the script removed.
constexpr int kClaimTries = 8;

// KEYS queue, events, attempts, heads; ARGV channel, id. Returns 1 when the id was the head.
const char kFinishScript[] = R"lua(
if redis.call('LINDEX', KEYS[1], 0) ~= ARGV[2] then return 0 end
redis.call('LPOP', KEYS[1])
redis.call('HDEL', KEYS[2], ARGV[2])
redis.call('HDEL', KEYS[3], ARGV[2])
if redis.call('LLEN', KEYS[1]) == 0 then
  redis.call('ZREM', KEYS[4], ARGV[1])
else
  redis.call('ZADD', KEYS[4], 0, ARGV[1])
end
return 1
)lua";

// KEYS queue, attempts, heads; ARGV channel, id, due. Returns 1 when the id was the head.
const char kRetryScript[] = R"lua(
if redis.call('LINDEX', KEYS[1], 0) ~= ARGV[2] then return 0 end
redis.call('HINCRBY', KEYS[2], ARGV[2], 1)
redis.call('ZADD', KEYS[3], ARGV[3], ARGV[1])
return 1
)lua";

std::string key(const char* name)
{
    return RedisKeys::webhooks() + name;
}

std::string queueKey(std::uint32_t channelId)
{
    return RedisKeys::webhooks() + "queue:" + std::to_string(channelId);
}

std::string text(const redisReply* reply)
{
    return reply->str ? std::string(reply->str, reply->len) : std::string();
}

// "<flag> <word> <rest>" split at its first two spaces; false when it has fewer.
bool splitRecord(const std::string& record, char& flag, std::string& word, std::string& rest)
{
    const std::size_t first = record.find(' ');
    const std::size_t second = first == std::string::npos ? first : record.find(' ', first + 1);
    if (first != 1 || second == std::string::npos)
        return false;
    flag = record[0];
    word = record.substr(first + 1, second - first - 1);
    rest = record.substr(second + 1);
    return true;
}

// The event of a claim's reply {id, record, attempts}.
WebhookEvent eventOf(std::uint32_t channelId, const redisReply& claimed)
{
    WebhookEvent event;
    event.channelId = channelId;
    event.id = std::strtoull(text(claimed.element[0]).c_str(), nullptr, 10);
    event.attempts = std::uint32_t(std::strtoul(text(claimed.element[2]).c_str(), nullptr, 10));
    char replaceable = '0';
    std::string created;
    // A record that does not read leaves an empty body, which the sender gives up at once.
    if (!splitRecord(text(claimed.element[1]), replaceable, created, event.body))
        event.body.clear();
    event.replaceable = replaceable == '1';
    event.createdAtUnix = std::strtoll(created.c_str(), nullptr, 10);
    return event;
}

} // namespace

RedisReply RedisWebhookQueue::must(const RedisCommands::Args& args, int type) const
{
    RedisReply reply = m_connection->command(args);
    if (!reply || reply->type != type)
        throw StorageUnavailable("Redis did not answer " + args.front() + " for the webhooks");
    return reply;
}

void RedisWebhookQueue::setWebhook(std::uint32_t channelId, const WebhookConfig& config)
{
    must({"HSET", key("hooks"), std::to_string(channelId),
          std::string(config.progress ? "1 " : "0 ") + config.secret + " " + config.url},
         REDIS_REPLY_INTEGER);
}

std::optional<WebhookConfig> RedisWebhookQueue::findWebhook(std::uint32_t channelId) const
{
    const RedisReply reply = m_connection->command({"HGET", key("hooks"), std::to_string(channelId)});
    if (!reply || (reply->type != REDIS_REPLY_STRING && reply->type != REDIS_REPLY_NIL))
        throw StorageUnavailable("Redis did not answer HGET for the webhooks");
    WebhookConfig config;
    char progress = '0';
    if (reply->type == REDIS_REPLY_NIL ||
        !splitRecord(text(reply.get()), progress, config.secret, config.url))
        return std::nullopt;
    config.progress = progress == '1';
    return config;
}

bool RedisWebhookQueue::removeWebhook(std::uint32_t channelId)
{
    return must({"HDEL", key("hooks"), std::to_string(channelId)}, REDIS_REPLY_INTEGER)->integer > 0;
}

std::size_t RedisWebhookQueue::queue(WebhookEvent event, std::size_t maxPerChannel, std::int64_t nowUnix)
{
    const RedisReply reply =
        must({"EVAL", kQueueScript, "5", queueKey(event.channelId), key("events"), key("heads"),
              key("eventid"), key("attempts"), std::to_string(event.channelId), std::to_string(nowUnix),
              std::to_string(std::max<std::size_t>(maxPerChannel, 2)), event.replaceable ? "1" : "0",
              std::to_string(event.createdAtUnix), event.body, std::to_string(event.subChannelId)},
             REDIS_REPLY_INTEGER);
    return std::size_t(reply->integer);
}

std::optional<WebhookEvent> RedisWebhookQueue::claim(std::int64_t nowUnix, std::int64_t leaseSeconds)
{
    // The due channel first, then a script that names its queue among its keys and claims the head
    // only if it is still due: every key a script touches is in its KEYS, as a cluster wants.
    for (int tries = 0; tries < kClaimTries; ++tries) {
        const RedisReply due =
            must({"ZRANGEBYSCORE", key("heads"), "-inf", std::to_string(nowUnix), "LIMIT", "0", "1"},
                 REDIS_REPLY_ARRAY);
        if (due->elements != 1 || due->element[0]->type != REDIS_REPLY_STRING)
            return std::nullopt;
        const std::uint32_t channelId =
            std::uint32_t(std::strtoul(text(due->element[0]).c_str(), nullptr, 10));
        const RedisReply reply = must({"EVAL", kClaimScript, "4", key("heads"), queueKey(channelId),
                                       key("events"), key("attempts"), std::to_string(nowUnix),
                                       std::to_string(leaseSeconds), text(due->element[0])},
                                      REDIS_REPLY_ARRAY);
        if (reply->elements == 3)
            return eventOf(channelId, *reply);
    }
    return std::nullopt;
}

bool RedisWebhookQueue::finish(const WebhookEvent& event)
{
    return must({"EVAL", kFinishScript, "4", queueKey(event.channelId), key("events"), key("attempts"),
                 key("heads"), std::to_string(event.channelId), std::to_string(event.id)},
                REDIS_REPLY_INTEGER)
               ->integer == 1;
}

void RedisWebhookQueue::retry(const WebhookEvent& event, std::int64_t dueAtUnix)
{
    must({"EVAL", kRetryScript, "3", queueKey(event.channelId), key("attempts"), key("heads"),
          std::to_string(event.channelId), std::to_string(event.id), std::to_string(dueAtUnix)},
         REDIS_REPLY_INTEGER);
}

std::size_t RedisWebhookQueue::length(std::uint32_t channelId) const
{
    return std::size_t(must({"LLEN", queueKey(channelId)}, REDIS_REPLY_INTEGER)->integer);
}

} // namespace quorix::service
