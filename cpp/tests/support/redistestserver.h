#pragma once

// A redis-server of the test's own on a free loopback port, in a fresh folder; stopped when
// destroyed. Without persistence by default; a durable one writes an append-only file synced on
// every write (appendfsync always) and keeps its folder across stop() and crash(), so a restart
// finds what it saved. available() is false when no redis-server is installed.

#include <sys/types.h>

#include <cstdint>
#include <string>

namespace quorix::service::test {

class RedisTestServer
{
public:
    enum class Persistence
    {
        None,
        AppendFsyncAlways
    };

    explicit RedisTestServer(Persistence persistence = Persistence::None);
    ~RedisTestServer();
    RedisTestServer(const RedisTestServer&) = delete;
    RedisTestServer& operator=(const RedisTestServer&) = delete;

    static bool installed();
    // Starts it (again on the same port after stop()); false when it did not answer in time.
    bool start();
    void stop();
    // SIGKILL, as a crash of the Redis process.
    void crash();

    std::uint16_t port() const { return m_port; }
    std::string address() const { return "127.0.0.1:" + std::to_string(m_port); }

private:
    void endProcess(int signal);

    Persistence m_persistence;
    pid_t m_pid = -1;
    std::uint16_t m_port = 0;
    std::string m_dir;
};

} // namespace quorix::service::test
