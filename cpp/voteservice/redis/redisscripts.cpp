#include "voteservice/redis/redisscripts.h"

#include "voteservice/redis/redisballots.h"
#include "voteservice/core/resultcode.h"

namespace quorix::service {

namespace {

std::string code(ResultCode value)
{
    return std::to_string(std::uint32_t(value));
}

// Runs body (a Lua function's statements returning an integer) once per ballot: the last key is
// the ballot's, the last argument its deadline in Unix milliseconds on Redis's clock. A repeated
// ballot gets the result recorded the first time; one first seen past its deadline gets -1,
// recorded too, so no later copy of it can run.
std::string oncePerBallot(const std::string& body)
{
    return "local function run()\n" + body + R"(
end
local ballot = KEYS[#KEYS]
local seen = redis.call('GET', ballot)
if seen then return tonumber(seen) end
local now = redis.call('TIME')
local result = -1
if tonumber(now[1]) * 1000 + math.floor(tonumber(now[2]) / 1000) <= tonumber(ARGV[#ARGV]) then
  result = run()
end
redis.call('SET', ballot, result, 'EX', )" +
           std::to_string(RedisBallots::kRecordSeconds) + R"()
return result
)";
}

std::string startScript()
{
    return R"(
if redis.call('EXISTS', KEYS[1]) == 1 then return 0 end
local id = redis.call('INCR', KEYS[4])
local now = tonumber(ARGV[1])
if id < now then id = now; redis.call('SET', KEYS[4], id) end
if id > 4294967295 then id = 1; redis.call('SET', KEYS[4], id) end
redis.call('DEL', KEYS[2], KEYS[3])
redis.call('HSET', KEYS[1], 'voteId', ARGV[2], 'jiFangId', id, 'running', '1', 'type', ARGV[3],
  'perUser', ARGV[4], 'perOption', ARGV[5], 'startedAt', ARGV[1], 'endsAt', ARGV[6],
  'starter', ARGV[7], 'record', ARGV[8])
for o in string.gmatch(ARGV[9], '%d+') do
  redis.call('HSET', KEYS[1], 'o:' .. o, '1')
  redis.call('HSET', KEYS[2], o, 0)
end
for j in string.gmatch(ARGV[10], '%d+') do redis.call('HSET', KEYS[1], 'j:' .. j, '1') end
if ARGV[3] == '2' then redis.call('HSET', KEYS[2], '0', 0) end
redis.call('ZADD', KEYS[5], ARGV[6], ARGV[11])
return id
)";
}

// The same checks, in the same order, as a single service process makes.
std::string castScript()
{
    return R"(
local uid, opt, t = ARGV[4], ARGV[5], tonumber(ARGV[6])
local f = redis.call('HMGET', KEYS[1], 'voteId', 'jiFangId', 'running', 'type', 'perUser', 'perOption',
  'o:' .. opt, 'j:' .. uid)
if f[1] ~= ARGV[1] or f[2] ~= ARGV[2] or f[3] ~= '1' then return )" +
           code(kResultNotRunning) + R"( end
if f[4] ~= ARGV[3] then return )" +
           code(kResultWrongVoteType) + R"( end
if f[4] == '2' then
  if not f[8] then return )" +
           code(kResultNotAJudge) + R"( end
  if opt ~= '0' then return )" +
           code(kResultNoSuchOption) + R"( end
  if t < 1 or t > 5 then return )" +
           code(kResultBadTicketCount) + R"( end
  if redis.call('HSETNX', KEYS[3], uid, t) == 0 then return )" +
           code(kResultAlreadyScored) + R"( end
  redis.call('HINCRBY', KEYS[2], '0', t)
  return 0
end
if t ~= 1 then return )" +
           code(kResultBadTicketCount) + R"( end
if not f[7] then return )" +
           code(kResultNoSuchOption) + R"( end
local used = redis.call('HMGET', KEYS[3], uid, uid .. ':' .. opt)
if tonumber(used[1] or '0') >= tonumber(f[5]) then return )" +
           code(kResultNoTicketsLeft) + R"( end
if tonumber(used[2] or '0') >= tonumber(f[6]) then return )" +
           code(kResultOptionFull) + R"( end
redis.call('HINCRBY', KEYS[3], uid, 1)
redis.call('HINCRBY', KEYS[3], uid .. ':' .. opt, 1)
redis.call('HINCRBY', KEYS[2], opt, 1)
return 0
)";
}

std::string endScript()
{
    return R"(
local f = redis.call('HMGET', KEYS[1], 'voteId', 'jiFangId', 'running')
if f[1] ~= ARGV[1] or f[2] ~= ARGV[2] or f[3] ~= '1' then return 0 end
redis.call('HSET', KEYS[1], 'running', '0')
redis.call('ZREM', KEYS[8], ARGV[5])
local key = ARGV[7]
redis.call('ZADD', KEYS[3], ARGV[3], key)
redis.call('HSET', KEYS[4], key, ARGV[4])
redis.call('HSET', KEYS[5], key, table.concat(redis.call('HGETALL', KEYS[2]), ' '))
redis.call('HSET', KEYS[6], key, ARGV[6])
redis.call('SADD', KEYS[7], ARGV[5])
return tonumber(key)
)";
}

std::string closeScript()
{
    return R"(
local f = redis.call('HMGET', KEYS[1], 'voteId', 'jiFangId')
if f[1] ~= ARGV[1] or f[2] ~= ARGV[2] then return 0 end
redis.call('DEL', KEYS[1], KEYS[2], KEYS[3])
redis.call('ZREM', KEYS[4], ARGV[3])
return 1
)";
}

std::string viewScript()
{
    return R"(
local f = redis.call('HMGET', KEYS[1], 'voteId', 'jiFangId', 'running', 'startedAt', 'endsAt', 'starter',
  'record', 'type')
if not f[1] then return {} end
local judges = {}
if f[8] == '2' then judges = redis.call('HGETALL', KEYS[3]) end
return {f, redis.call('HGETALL', KEYS[2]), judges}
)";
}

// The places' keys come four by four after the channel's set of places with history, each group
// with its member of that set in ARGV.
std::string pruneHistoryScript()
{
    return R"(
for i = 2, #ARGV do
  local k = 2 + (i - 2) * 4
  local old = redis.call('ZRANGEBYSCORE', KEYS[k], '-inf', '(' .. ARGV[1], 'LIMIT', 0, 1000)
  if #old > 0 then
    redis.call('ZREM', KEYS[k], unpack(old))
    redis.call('HDEL', KEYS[k + 1], unpack(old))
    redis.call('HDEL', KEYS[k + 2], unpack(old))
    redis.call('HDEL', KEYS[k + 3], unpack(old))
  end
  if redis.call('EXISTS', KEYS[k]) == 0 then redis.call('SREM', KEYS[1], ARGV[i]) end
end
return redis.call('EXISTS', KEYS[1])
)";
}

std::string pruneUsersScript()
{
    return R"(
local gone = redis.call('ZRANGEBYSCORE', KEYS[2], '-inf', '(' .. ARGV[1], 'LIMIT', 0, 1000)
if #gone > 0 then
  redis.call('HDEL', KEYS[1], unpack(gone))
  redis.call('ZREM', KEYS[2], unpack(gone))
end
return 0
)";
}

// An index entry goes only while its score is below the cut: a node that adds to the channel
// raises the score first, so an entry still needed is never dropped by a scan that raced it.
std::string forgetChannelScript()
{
    return R"(
local score = redis.call('ZSCORE', KEYS[1], ARGV[1])
if score and tonumber(score) < tonumber(ARGV[2]) then
  redis.call('ZREM', KEYS[1], ARGV[1])
  return 1
end
return 0
)";
}

// The channel's vote count changes with its stored votes in one step, so it stays right whoever
// crashes; the script says whether it changed, for the count of all channels (its own slot).
std::string storeVoteScript()
{
    return R"(
if redis.call('HSET', KEYS[1], ARGV[1], ARGV[2]) == 0 then return 0 end
redis.call('INCR', KEYS[2])
return 1
)";
}

std::string removeVoteScript()
{
    return R"(
if redis.call('HDEL', KEYS[1], ARGV[1]) == 0 then return 0 end
if redis.call('DECR', KEYS[2]) <= 0 then redis.call('DEL', KEYS[2]) end
return 1
)";
}

} // namespace

RedisScripts::RedisScripts()
    : m_sources{oncePerBallot(startScript()),
                oncePerBallot(castScript()),
                oncePerBallot(endScript()),
                oncePerBallot(closeScript()),
                viewScript(),
                pruneHistoryScript(),
                pruneUsersScript(),
                forgetChannelScript(),
                storeVoteScript(),
                removeVoteScript()},
      m_shas(Count)
{}

bool RedisScripts::load(RedisConnection& connection)
{
    for (std::size_t i = 0; i < m_sources.size(); ++i) {
        const RedisReply reply = connection.command({"SCRIPT", "LOAD", m_sources[i]});
        if (!reply || reply->type != REDIS_REPLY_STRING)
            return false;
        m_shas[i] = std::string(reply->str, reply->len);
    }
    return true;
}

RedisConnection::Args RedisScripts::invocation(const char* verb, const std::string& body,
                                               const RedisConnection::Args& keys,
                                               const RedisConnection::Args& args) const
{
    RedisConnection::Args all{verb, body, std::to_string(keys.size())};
    all.insert(all.end(), keys.begin(), keys.end());
    all.insert(all.end(), args.begin(), args.end());
    return all;
}

RedisReply RedisScripts::call(RedisCommands& connection, Id id, const RedisConnection::Args& keys,
                              const RedisConnection::Args& args, RedisConnection::RetryUntil retryUntil)
{
    if (!m_shas[id].empty()) {
        RedisReply reply = connection.command(invocation("EVALSHA", m_shas[id], keys, args), retryUntil);
        if (!reply || reply->type != REDIS_REPLY_ERROR || std::string(reply->str).rfind("NOSCRIPT", 0) != 0)
            return reply;
    }
    return connection.command(invocation("EVAL", m_sources[id], keys, args), retryUntil);
}

void RedisScripts::callLater(RedisCommands& connection, Id id, const RedisConnection::Args& keys,
                             const RedisConnection::Args& args, RedisConnection::Done done,
                             RedisConnection::RetryUntil retryUntil)
{
    if (m_shas[id].empty())
        return connection.append(invocation("EVAL", m_sources[id], keys, args), std::move(done), nullptr,
                                 retryUntil);
    connection.append(invocation("EVALSHA", m_shas[id], keys, args), std::move(done), &m_sources[id],
                      retryUntil);
}

} // namespace quorix::service
