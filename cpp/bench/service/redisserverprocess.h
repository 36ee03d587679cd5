#pragma once

// A redis-server of the load generator's own: on a free loopback port, saving nothing to disk,
// ended when this object goes.

#include <sys/types.h>

#include <cstdint>
#include <string>

namespace quorix::loadgen {

class RedisServerProcess
{
public:
    RedisServerProcess() = default;
    ~RedisServerProcess();
    RedisServerProcess(const RedisServerProcess&) = delete;
    RedisServerProcess& operator=(const RedisServerProcess&) = delete;

    // Starts it for up to maxClients clients and waits until it answers; false with why.
    bool start(std::uint64_t maxClients, std::string& error);
    pid_t pid() const { return m_pid; }
    std::uint16_t port() const { return m_port; }
    std::string address() const { return "127.0.0.1:" + std::to_string(m_port); }

private:
    bool answers() const;

    pid_t m_pid = 0;
    std::uint16_t m_port = 0;
};

} // namespace quorix::loadgen
