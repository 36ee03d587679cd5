#pragma once

// The options that say where a Redis is and how to log in to it, shared by the server and the
// revoke command: --redis, --redis-user, --redis-password-file, --redis-ca-file, --redis-cert and
// --redis-key, each kept in one RedisAddress as the parse reads it; and the server's
// --redis-cluster, whose seeds take those credentials.

#include "voteservice/redis/redisaddress.h"

#include <string>
#include <vector>

namespace CLI {
class App;
class Option;
} // namespace CLI

namespace quorix::service {

class RedisOptions
{
public:
    // Seed nodes --redis-cluster takes at most.
    static constexpr std::size_t kMaxSeeds = 16;
    // The options of address that only make sense with a place to reach.
    static constexpr const char* kCredentialOptions[] = {"--redis-user", "--redis-password-file",
                                                         "--redis-ca-file", "--redis-cert", "--redis-key"};

    // Adds the options to app; returns --redis, described by what. The others need --redis unless
    // credentialsNeedPlace is false (the caller then checks them, as with --redis-cluster). A
    // password file that cannot be used ends the parse with a CLI::ValidationError.
    static CLI::Option* addTo(CLI::App& app, RedisAddress& address, const std::string& what,
                              bool credentialsNeedPlace = true);
    // Adds --redis-cluster, which excludes redis: a comma-separated list of seed nodes, each
    // HOST:PORT or tls://HOST:PORT, read into seeds (places only: the credentials stay in the
    // address of addTo).
    static CLI::Option* addClusterTo(CLI::App& app, std::vector<RedisAddress>& seeds, CLI::Option* redis);
    // The seeds, each with the credentials and TLS files of credentials (which --redis-user ...
    // --redis-key filled in).
    static std::vector<RedisAddress> withCredentials(const RedisAddress& credentials,
                                                     const std::vector<RedisAddress>& seeds);
    // False with the message of the first node whose credentials do not fit (RedisAddress::consistent).
    static bool consistent(const std::vector<RedisAddress>& nodes, std::string& error);
    // False with a message naming the option when a seed is not one.
    static bool parseSeeds(const std::string& text, std::vector<RedisAddress>& seeds, std::string& error);
};

} // namespace quorix::service
