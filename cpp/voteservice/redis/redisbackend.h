#pragma once

// Everything a service process needs to share its state through one Redis: the command
// connection (scripts loaded on every connect), the notice subscription, the storage and the
// ballot box over them.

#include "redisballotbox.h"
#include "redisballots.h"
#include "redisbus.h"
#include "redisconnection.h"
#include "redisscripts.h"
#include "redisvotestorage.h"

#include <memory>
#include <string>

namespace quorix::service {

class RedisBackend
{
public:
    // Connects both connections; null with a message when Redis cannot be reached.
    static std::unique_ptr<RedisBackend> open(const RedisAddress& address, std::string& error);

    RedisVoteStorage& storage() { return m_storage; }
    RedisBallotBox& box() { return m_box; }
    RedisConnection& connection() { return m_connection; }

private:
    explicit RedisBackend(const RedisAddress& address);

    RedisConnection m_connection;
    RedisScripts m_scripts;
    RedisBus m_bus;
    RedisBallots m_ballots;
    RedisVoteStorage m_storage;
    RedisBallotBox m_box;
};

} // namespace quorix::service
