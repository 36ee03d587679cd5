#pragma once

// Everything a service process needs to share its state through one Redis: the command
// connection (scripts loaded on every connect), the notice subscription, the storage and the
// ballot box over them.

#include "voteservice/redis/redisballotbox.h"
#include "voteservice/redis/rediscommands.h"
#include "voteservice/redis/redisballots.h"
#include "voteservice/redis/redisbus.h"
#include "voteservice/redis/redisconnection.h"
#include "voteservice/redis/redisreplicawait.h"
#include "voteservice/redis/redisscripts.h"
#include "voteservice/redis/redisvotestorage.h"

#include <memory>
#include <string>
#include <vector>

namespace quorix::service {

class RedisClusterConnection;

class RedisBackend
{
public:
    // Connects both connections and brings older keys to the current layout (redislayoutupgrade.h);
    // null with a message when Redis cannot be reached or refused the upgrade.
    static std::unique_ptr<RedisBackend> open(const RedisAddress& address, std::string& error);
    // The same over a Redis Cluster reached through its seed nodes (each with the credentials and
    // TLS files every node is reached with); notices go over the shard channel (redisbus.h).
    static std::unique_ptr<RedisBackend> openCluster(const std::vector<RedisAddress>& seeds,
                                                     std::string& error);

    RedisVoteStorage& storage() { return m_storage; }
    RedisBallotBox& box() { return m_box; }
    RedisCommands& connection() { return *m_connection; }
    const RedisReplicaWait& replicaWait() const { return m_replicaWait; }
    // Makes every write wait for asked replicas; asked below 0 means one when the Redis (on a
    // cluster: any primary) has a replica connected now, none otherwise. The replicas connected
    // now (on a cluster the fewest any primary has); -1 when unknown.
    int waitForReplicas(int asked);

private:
    RedisBackend(std::unique_ptr<RedisCommands> connection, RedisBus bus,
                 RedisClusterConnection* cluster = nullptr);
    static std::unique_ptr<RedisBackend> started(std::unique_ptr<RedisBackend> backend, bool upgradeLayout,
                                                 std::string& error);

    std::unique_ptr<RedisCommands> m_connection;
    // m_connection when it is a cluster's.
    RedisClusterConnection* m_cluster;
    RedisScripts m_scripts;
    RedisReplicaWait m_replicaWait;
    RedisBus m_bus;
    RedisBallots m_ballots;
    RedisVoteStorage m_storage;
    RedisBallotBox m_box;
};

} // namespace quorix::service
