#pragma once

// Revocations in the shared Redis (RedisKeys::revocations), seen by every node: `quorix-voted
// revoke --redis` writes them, each service reads them once a second.

#include "voteservice/auth/revocationstore.h"

namespace quorix::service {

class RedisCommands;

class RedisRevocationStore : public RevocationStore
{
public:
    explicit RedisRevocationStore(RedisCommands& redis) : m_redis(redis) {}

    bool revoke(const Revocation& revocation) override;
    // Empty also when Redis cannot be reached (the last good list is the caller's to keep).
    std::vector<Revocation> current(std::int64_t nowUnix) override;

private:
    RedisCommands& m_redis;
};

} // namespace quorix::service
