#include "redisbackend.h"

#include "redislayoutupgrade.h"
#include "servicelog.h"

namespace quorix::service {

RedisBackend::RedisBackend(const RedisAddress& address)
    : m_connection(address), m_bus(address), m_ballots(m_bus.node()),
      m_storage(m_connection, m_scripts, m_replicaWait),
      m_box(m_connection, m_scripts, m_bus, m_ballots, m_replicaWait)
{
    m_connection.setConnectedHook([this](RedisConnection& connection) {
        return m_scripts.load(connection) && m_ballots.sync(connection);
    });
    m_connection.setFlushHook([this] { m_replicaWait.appendWait(m_connection); });
}

std::unique_ptr<RedisBackend> RedisBackend::open(const RedisAddress& address, std::string& error)
{
    std::unique_ptr<RedisBackend> backend(new RedisBackend(address));
    if (!backend->m_connection.connect(error))
        return nullptr;
    const long long moved = RedisLayoutUpgrade::run(backend->m_connection, error);
    if (moved < 0 || !backend->m_bus.start(error))
        return nullptr;
    if (moved > 0)
        ServiceLog::line("moved " + std::to_string(moved) + " Redis key(s) to the layout with hash tags");
    return backend;
}

int RedisBackend::waitForReplicas(int asked)
{
    const int connected = RedisReplicaWait::connectedReplicas(m_connection);
    const int replicas = asked >= 0 ? asked : (connected > 0 ? 1 : 0);
    m_replicaWait.setReplicas(replicas);
    return connected;
}

} // namespace quorix::service
