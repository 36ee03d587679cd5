#pragma once

#include "voteservice/redis/redisaddress.h"
#include "voteservice/auth/revocationlist.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace CLI {
class App;
}

namespace quorix::service {

// What `quorix-voted revoke` is asked to store: every token of a user of a channel issued before
// --before (default now) is refused, by the services of the data folder or of the Redis (or Redis
// Cluster) named.
// The revocation is kept for the longest lifetime a token can have after that time.
struct RevokeRequest
{
    std::uint32_t uid = 0;
    std::uint32_t channelId = 0;
    std::optional<std::uint64_t> before; // Unix seconds
    std::string dataDir;
    // --redis, or with --redis-cluster the credentials every seed is reached with.
    RedisAddress redis;
    std::vector<RedisAddress> redisCluster;

    bool usesRedisCluster() const { return !redisCluster.empty(); }
    bool usesRedis() const { return redis.given() || usesRedisCluster(); }
    // The cluster's seeds with the credentials of the options.
    std::vector<RedisAddress> redisClusterSeeds() const;
    // Adds the command's options to command, each kept in a field of this as the parse reads it.
    void addOptionsTo(CLI::App& command);
    // After command parsed the options: the revocation to store, or false with a message when the
    // user, the channel or the place to store it is missing, or the Redis options do not fit.
    bool revocationAt(const CLI::App& command, std::int64_t now, Revocation& out, std::string& error) const;
    // The line the command prints once it is stored.
    std::string describe(const Revocation& revocation) const;
};

} // namespace quorix::service
