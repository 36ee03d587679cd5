#pragma once

// The options that say where a Redis is and how to log in to it, shared by the server and the
// revoke command: --redis, --redis-user, --redis-password-file, --redis-ca-file, --redis-cert and
// --redis-key, each kept in one RedisAddress as the parse reads it.

#include "redisaddress.h"

#include <string>

namespace CLI {
class App;
class Option;
} // namespace CLI

namespace quorix::service {

class RedisOptions
{
public:
    // Adds the options to app; returns --redis, described by what. The others need --redis. A
    // password file that cannot be used ends the parse with a CLI::ValidationError.
    static CLI::Option* addTo(CLI::App& app, RedisAddress& address, const std::string& what);
};

} // namespace quorix::service
