#include "voteservice/server/revokerequest.h"

#include "voteservice/server/clisupport.h"
#include "voteservice/server/redisoptions.h"
#include "voteservice/auth/tokenverifier.h"

#include <CLI/CLI.hpp>

#include <ctime>

namespace quorix::service {

namespace {

std::string utcText(std::int64_t unix)
{
    const std::time_t time = static_cast<std::time_t>(unix);
    std::tm parts{};
    char text[32] = {};
    if (gmtime_r(&time, &parts))
        std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S UTC", &parts);
    return text;
}

} // namespace

void RevokeRequest::addOptionsTo(CLI::App& command)
{
    command.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    addNumberOption(command, "--uid", 0, 0xffffffffu, "wants a number from 0 to 4294967295",
                    [this](std::uint64_t value) { uid = static_cast<std::uint32_t>(value); })
        ->description("the user whose tokens are refused (needed)");
    addNumberOption(command, "--channel", 0, 0xffffffffu, "wants a number from 0 to 4294967295",
                    [this](std::uint64_t value) { channelId = static_cast<std::uint32_t>(value); })
        ->description("the channel of those tokens (needed)");
    addNumberOption(command, "--before", 0, 1ull << 40, "wants Unix seconds",
                    [this](std::uint64_t value) { before = value; })
        ->type_name("UNIX_SECONDS")
        ->description("refuse the tokens issued before this second (default: now)");
    CLI::Option* data = command
                            .add_option_function<std::string>(
                                "--data",
                                [this](const std::string& folder) {
                                    if (folder.empty())
                                        throw CLI::ValidationError("--data wants a folder");
                                    dataDir = folder;
                                },
                                "store it in DIR/votes.db, the data folder of the services to tell (they may "
                                "be running)")
                            ->type_name("DIR");
    CLI::Option* place =
        RedisOptions::addTo(command, redis, "store it in this Redis, shared by the services to tell", false);
    CLI::Option* cluster = RedisOptions::addClusterTo(command, redisCluster, place);
    data->excludes(place);
    data->excludes(cluster);
}

std::vector<RedisAddress> RevokeRequest::redisClusterSeeds() const
{
    return RedisOptions::withCredentials(redis, redisCluster);
}

bool RevokeRequest::revocationAt(const CLI::App& command, std::int64_t now, Revocation& out,
                                 std::string& error) const
{
    for (const char* name : {"--uid", "--channel"}) {
        if (command.count(name) == 0) {
            error = std::string("revoke needs ") + name;
            return false;
        }
    }
    if (dataDir.empty() && !usesRedis()) {
        error = "revoke needs --data, --redis or --redis-cluster: where the services read revocations";
        return false;
    }
    for (const char* name : RedisOptions::kCredentialOptions) {
        if (!usesRedis() && command.count(name) > 0) {
            error = std::string(name) + " requires --redis or --redis-cluster";
            return false;
        }
    }
    if (redis.given() && !redis.consistent(error))
        return false;
    if (!RedisOptions::consistent(redisClusterSeeds(), error))
        return false;
    const std::int64_t issuedBefore = before ? static_cast<std::int64_t>(*before) : now;
    out = {channelId, uid, issuedBefore, issuedBefore + TokenPolicy::kLongestLifetimeSeconds};
    return true;
}

std::string RevokeRequest::describe(const Revocation& revocation) const
{
    std::string place = "the data folder " + dataDir;
    if (redis.given())
        place = "Redis " + redis.describe();
    if (usesRedisCluster()) {
        place = "the Redis Cluster seeded by";
        for (const RedisAddress& seed : redisCluster)
            place += (&seed == &redisCluster.front() ? " " : ",") + seed.describe();
    }
    return "revoked the tokens of uid " + std::to_string(revocation.uid) + " in channel " +
           std::to_string(revocation.channelId) + " issued before " +
           std::to_string(revocation.issuedBefore) + " (" + utcText(revocation.issuedBefore) + ") in " +
           place + "; kept until " + std::to_string(revocation.expiresAt) + " (" +
           utcText(revocation.expiresAt) + ")";
}

} // namespace quorix::service
