#include "redisbackend.h"

namespace quorix::service {

RedisBackend::RedisBackend(const std::string& host, std::uint16_t port)
    : m_connection(host, port), m_bus(host, port), m_ballots(m_bus.node()),
      m_storage(m_connection, m_scripts), m_box(m_connection, m_scripts, m_bus, m_ballots)
{
    m_connection.setConnectedHook([this](RedisConnection& connection) {
        return m_scripts.load(connection) && m_ballots.sync(connection);
    });
}

std::unique_ptr<RedisBackend> RedisBackend::open(const std::string& host, std::uint16_t port,
                                                 std::string& error)
{
    std::unique_ptr<RedisBackend> backend(new RedisBackend(host, port));
    if (!backend->m_connection.connect(error) || !backend->m_bus.start(error))
        return nullptr;
    return backend;
}

} // namespace quorix::service
