#include "voteservice/redis/redisbackend.h"

#include "voteservice/redis/redisclusterconnection.h"
#include "voteservice/redis/redislayoutupgrade.h"
#include "voteservice/core/servicelog.h"

#include <algorithm>

namespace quorix::service {

RedisBackend::RedisBackend(std::unique_ptr<RedisCommands> connection, RedisBus bus,
                           RedisClusterConnection* cluster)
    : m_connection(std::move(connection)), m_cluster(cluster), m_bus(std::move(bus)), m_ballots(m_bus.node()),
      m_storage(*m_connection, m_scripts, m_replicaWait),
      m_box(*m_connection, m_scripts, m_bus, m_ballots, m_replicaWait)
{
    m_connection->setConnectedHook([this](RedisConnection& connection) {
        return m_scripts.load(connection) && m_ballots.sync(connection);
    });
    m_connection->setFlushHook([this] { m_replicaWait.appendWait(*m_connection); });
}

std::unique_ptr<RedisBackend> RedisBackend::open(const RedisAddress& address, std::string& error)
{
    return started(std::unique_ptr<RedisBackend>(
                       new RedisBackend(std::make_unique<RedisConnection>(address), RedisBus(address))),
                   true, error);
}

std::unique_ptr<RedisBackend> RedisBackend::openCluster(const std::vector<RedisAddress>& seeds,
                                                        std::string& error)
{
    if (seeds.empty()) {
        error = "no seed node of the Redis Cluster given";
        return nullptr;
    }
    auto connection = std::make_unique<RedisClusterConnection>(seeds);
    RedisClusterConnection* cluster = connection.get();
    return started(
        std::unique_ptr<RedisBackend>(new RedisBackend(std::move(connection), RedisBus(seeds), cluster)),
        false, error);
}

std::unique_ptr<RedisBackend> RedisBackend::started(std::unique_ptr<RedisBackend> backend, bool upgradeLayout,
                                                    std::string& error)
{
    if (!backend->m_connection->connect(error))
        return nullptr;
    const long long moved = upgradeLayout ? RedisLayoutUpgrade::run(*backend->m_connection, error) : 0;
    if (moved < 0 || !backend->m_bus.start(error))
        return nullptr;
    if (moved > 0)
        ServiceLog::line("moved " + std::to_string(moved) + " Redis key(s) to the layout with hash tags");
    return backend;
}

int RedisBackend::waitForReplicas(int asked)
{
    int connected = -1;
    int most = -1;
    if (m_cluster == nullptr) {
        connected = most = RedisReplicaWait::connectedReplicas(*m_connection);
    } else {
        // One shard whose replica is away (failed over, not rejoined yet) must not turn WAIT off
        // for all of them.
        for (RedisConnection* primary : m_cluster->primaryConnections()) {
            const int replicas = RedisReplicaWait::connectedReplicas(*primary);
            connected = connected < 0 ? replicas : std::min(connected, replicas);
            most = std::max(most, replicas);
        }
    }
    const int replicas = asked >= 0 ? asked : (most > 0 ? 1 : 0);
    m_replicaWait.setReplicas(replicas);
    if (m_cluster != nullptr)
        m_cluster->confirmRetriedWrites(replicas);
    return connected;
}

} // namespace quorix::service
