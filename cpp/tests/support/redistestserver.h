#pragma once

// A redis-server of the test's own on a free loopback port, without persistence, in a fresh
// folder; stopped when destroyed. available() is false when no redis-server is installed.

#include <sys/types.h>

#include <cstdint>
#include <string>

namespace quorix::service::test {

class RedisTestServer
{
public:
    RedisTestServer();
    ~RedisTestServer();
    RedisTestServer(const RedisTestServer&) = delete;
    RedisTestServer& operator=(const RedisTestServer&) = delete;

    static bool installed();
    // Starts it (again on the same port after stop()); false when it did not answer in time.
    bool start();
    void stop();

    std::uint16_t port() const { return m_port; }
    std::string address() const { return "127.0.0.1:" + std::to_string(m_port); }

private:
    pid_t m_pid = -1;
    std::uint16_t m_port = 0;
    std::string m_dir;
};

} // namespace quorix::service::test
