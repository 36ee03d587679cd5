#pragma once

// What a service checks of its Redis before it starts, on a connection of its own: that the
// credentials are taken, that Redis does not evict keys when its memory is full (maxmemory-policy,
// read from INFO memory since managed Redis often refuses CONFIG), and that the ACL allows every
// command, key and channel the service uses. Each command is probed harmlessly: on a probe key
// holding a string, so that writes to other types fail on the type after the ACL let them through,
// and a PUBLISH of an empty notice, which every node skips.

#include "voteservice/redis/redisaddress.h"

#include <string>
#include <vector>

namespace quorix::service {

class RedisPreflight
{
public:
    enum class Verdict
    {
        Ready,
        Unreachable,
        // Credentials, eviction or ACL: starting would not help until the setup changes.
        Refused
    };

    // Ready, possibly with warnings (eviction allowed); otherwise a one-line message.
    // cluster: the node is a seed of a Redis Cluster, which the service also asks CLUSTER SLOTS and
    // ASKING.
    static Verdict check(const RedisAddress& address, bool allowEviction, bool cluster, std::string& message,
                         std::vector<std::string>& warnings);
    // The value of maxmemory_policy in INFO's text; empty when it has none.
    static std::string evictionPolicy(const std::string& info);
};

} // namespace quorix::service
