#include "voteservice/redis/redispreflight.h"

#include "voteservice/redis/redisconnection.h"
#include "voteservice/redis/rediskeys.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace quorix::service {

namespace {

// Every command the service sends, directly or from its scripts, with arguments that change
// nothing (see the class comment). Keep in step with redisscripts.cpp and docs/install.md.
std::vector<RedisConnection::Args> probes(const std::string& key, bool cluster)
{
    std::vector<RedisConnection::Args> clusterProbes;
    if (cluster)
        clusterProbes = {{"CLUSTER", "SLOTS"}, {"ASKING"}, {"SPUBLISH", RedisKeys::shardedNotices(), ""}};
    const std::string nothing = "0000000000000000000000000000000000000000";
    std::vector<RedisConnection::Args> all{
        {"PING"},
        {"INFO", "memory"},
        {"TIME"},
        {"SET", key, "probe"},
        {"GET", key},
        {"EXISTS", key},
        {"INCR", key},
        {"DECR", key},
        {"HGET", key, "f"},
        {"HMGET", key, "f"},
        {"HGETALL", key},
        {"HVALS", key},
        {"HEXISTS", key, "f"},
        {"HSET", key, "f", "1"},
        {"HSETNX", key, "f", "1"},
        {"HINCRBY", key, "f", "1"},
        {"HDEL", key, "f"},
        {"SADD", key, "m"},
        {"SMEMBERS", key},
        {"SREM", key, "m"},
        {"ZADD", key, "1", "m"},
        {"ZREM", key, "m"},
        {"ZSCORE", key, "m"},
        {"ZRANGEBYSCORE", key, "0", "1"},
        {"ZREVRANGEBYSCORE", key, "1", "0"},
        // The webhook queue's lists (rediswebhookqueue.h), in its scripts.
        {"RPUSH", key, "m"},
        {"LLEN", key},
        {"LINDEX", key, "0"},
        {"LREM", key, "1", "m"},
        {"LPOP", key},
        {"EVAL", "return 1", "0"},
        {"EVALSHA", nothing, "0"},
        {"SCRIPT", "LOAD", "return 1"},
        {"PUBLISH", RedisKeys::notices(), ""},
        {"WAIT", "0", "0"},
        // For the layout upgrade at start (redislayoutupgrade.h).
        {"SCAN", "0", "MATCH", key, "COUNT", "1"},
        {"RENAME", key, key},
        {"DEL", key},
    };
    all.insert(all.end(), clusterProbes.begin(), clusterProbes.end());
    // Last: the connection then only takes subscription commands.
    all.push_back(
        {cluster ? "SSUBSCRIBE" : "SUBSCRIBE", cluster ? RedisKeys::shardedNotices() : RedisKeys::notices()});
    return all;
}

std::string lowered(std::string text)
{
    for (char& c : text)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// Refused when Redis evicts keys and that was not allowed; a warning when it was.
RedisPreflight::Verdict evictionVerdict(const RedisAddress& address, const redisReply* info,
                                        bool allowEviction, std::string& message,
                                        std::vector<std::string>& warnings)
{
    const std::string policy = info->type == REDIS_REPLY_STRING
                                   ? RedisPreflight::evictionPolicy(std::string(info->str, info->len))
                                   : "";
    if (policy == "noeviction")
        return RedisPreflight::Verdict::Ready;
    const std::string what = "Redis at " + address.describe() +
                             " may evict keys when its memory is full (maxmemory-policy " +
                             (policy.empty() ? std::string("not in INFO memory") : policy) + ")";
    if (allowEviction) {
        warnings.push_back(what + ": votes may be lost (--redis-allow-eviction)");
        return RedisPreflight::Verdict::Ready;
    }
    message =
        what + ", which loses votes: set maxmemory-policy noeviction, or start with --redis-allow-eviction";
    return RedisPreflight::Verdict::Refused;
}

} // namespace

std::string RedisPreflight::evictionPolicy(const std::string& info)
{
    const std::string field = "maxmemory_policy:";
    const std::size_t at = info.find(field);
    if (at == std::string::npos || (at > 0 && info[at - 1] != '\n'))
        return {};
    const std::size_t from = at + field.size();
    return info.substr(from, info.find_first_of("\r\n", from) - from);
}

RedisPreflight::Verdict RedisPreflight::check(const RedisAddress& address, bool allowEviction, bool cluster,
                                              std::string& message, std::vector<std::string>& warnings)
{
    RedisConnection connection(address);
    if (!connection.connect(message))
        return connection.credentialsRefused() ? Verdict::Refused : Verdict::Unreachable;
    const std::string user = address.user.empty() ? std::string("default") : address.user;
    for (const RedisConnection::Args& probe :
         probes(RedisKeys::kPrefix + std::string("preflight"), cluster)) {
        const RedisReply reply = connection.command(probe);
        if (!reply) {
            message = "Redis at " + address.describe() + " did not answer " + probe[0];
            return Verdict::Unreachable;
        }
        if (reply->type == REDIS_REPLY_ERROR && std::strncmp(reply->str, "NOPERM", 6) == 0) {
            const std::string command =
                lowered(probe.size() > 1 && (probe[0] == "SCRIPT" || probe[0] == "CLUSTER")
                            ? probe[0] + "|" + probe[1]
                            : probe[0]);
            message = "the Redis ACL of user " + user + " does not allow the command " + command +
                      " (with the keys " + RedisKeys::kPrefix + "* and the channel " +
                      (cluster ? RedisKeys::shardedNotices() : RedisKeys::notices()) +
                      "): " + RedisConnection::errorText(reply.get()) +
                      "; docs/install.md lists what the service needs";
            return Verdict::Refused;
        }
        if (probe[0] == "INFO") {
            const Verdict eviction = evictionVerdict(address, reply.get(), allowEviction, message, warnings);
            if (eviction != Verdict::Ready)
                return eviction;
        }
    }
    return Verdict::Ready;
}

} // namespace quorix::service
