#include "redisbackend.h"

namespace quorix::service {

RedisBackend::RedisBackend(const RedisAddress& address)
    : m_connection(address), m_bus(address), m_ballots(m_bus.node()), m_storage(m_connection, m_scripts),
      m_box(m_connection, m_scripts, m_bus, m_ballots)
{
    m_connection.setConnectedHook([this](RedisConnection& connection) {
        return m_scripts.load(connection) && m_ballots.sync(connection);
    });
}

std::unique_ptr<RedisBackend> RedisBackend::open(const RedisAddress& address, std::string& error)
{
    std::unique_ptr<RedisBackend> backend(new RedisBackend(address));
    if (!backend->m_connection.connect(error) || !backend->m_bus.start(error))
        return nullptr;
    return backend;
}

} // namespace quorix::service
