#include "voteservice/redis/redislayoutupgrade.h"

#include "voteservice/redis/rediskeys.h"

namespace quorix::service {

namespace {

// KEYS layout; ARGV version. Old names are quorix:<kind>:<channel>:<sub-channel> and the globals
// quorix:deadlines (zset "C:S" -> end), histplaces (set "C:S"), channelvotes (hash C -> count),
// jifang (counter), users and usersseen.
const char kUpgradeScript[] = R"lua(
if redis.call('GET', KEYS[1]) == ARGV[1] then return 0 end
local moved = 0
local channels = {}
local function tagged(channel) return 'quorix:{ch' .. channel .. '}:' end
for _, kind in ipairs({'votes', 'open', 'counts', 'tickets', 'hist', 'histrec', 'histcnt', 'histstart'}) do
  local cursor = '0'
  repeat
    local page = redis.call('SCAN', cursor, 'MATCH', 'quorix:' .. kind .. ':*', 'COUNT', 1000)
    cursor = page[1]
    for _, key in ipairs(page[2]) do
      local channel, sub = string.match(key, '^quorix:' .. kind .. ':(%d+):(%d+)$')
      if channel then
        redis.call('RENAME', key, tagged(channel) .. kind .. ':' .. sub)
        channels[channel] = true
        moved = moved + 1
      end
    end
  until cursor == '0'
end
local deadlines = redis.call('ZRANGEBYSCORE', 'quorix:deadlines', '-inf', '+inf', 'WITHSCORES')
for i = 1, #deadlines, 2 do
  local channel = string.match(deadlines[i], '^(%d+):%d+$')
  if channel then
    redis.call('ZADD', tagged(channel) .. 'deadlines', deadlines[i + 1], deadlines[i])
    local latest = redis.call('ZSCORE', 'quorix:runningchannels', channel)
    if not latest or tonumber(latest) < tonumber(deadlines[i + 1]) then
      redis.call('ZADD', 'quorix:runningchannels', deadlines[i + 1], channel)
    end
    moved = moved + 1
  end
end
local now = redis.call('TIME')[1]
for _, place in ipairs(redis.call('SMEMBERS', 'quorix:histplaces')) do
  local channel = string.match(place, '^(%d+):%d+$')
  if channel then
    redis.call('SADD', tagged(channel) .. 'histplaces', place)
    redis.call('ZADD', 'quorix:historychannels', now, channel)
    moved = moved + 1
  end
end
local counts = redis.call('HGETALL', 'quorix:channelvotes')
for i = 1, #counts, 2 do
  if string.match(counts[i], '^%d+$') and tonumber(counts[i + 1]) > 0 then
    redis.call('SET', tagged(counts[i]) .. 'votecount', counts[i + 1])
    moved = moved + 1
  end
end
local jifang = redis.call('GET', 'quorix:jifang')
if jifang then
  for channel in pairs(channels) do redis.call('SET', tagged(channel) .. 'jifang', jifang) end
end
redis.call('DEL', 'quorix:deadlines', 'quorix:histplaces', 'quorix:channelvotes', 'quorix:jifang')
for old, new in pairs({['quorix:users'] = 'quorix:{directory}:users', ['quorix:usersseen'] = 'quorix:{directory}:seen'}) do
  if redis.call('EXISTS', old) == 1 then
    redis.call('RENAME', old, new)
    moved = moved + 1
  end
end
redis.call('SET', KEYS[1], ARGV[1])
return moved
)lua";

} // namespace

long long RedisLayoutUpgrade::run(RedisCommands& connection, std::string& error)
{
    const RedisReply reply = connection.command({"EVAL", kUpgradeScript, "1", RedisKeys::layout(), kVersion});
    if (reply && reply->type == REDIS_REPLY_INTEGER)
        return reply->integer;
    error = "Redis did not move the keys to the current layout" +
            (reply && reply->type == REDIS_REPLY_ERROR ? ": " + RedisConnection::errorText(reply.get())
                                                       : std::string());
    return -1;
}

} // namespace quorix::service
