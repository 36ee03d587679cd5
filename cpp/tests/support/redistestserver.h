#pragma once

// A redis-server of a test's or a load run's own on a free loopback port, in a fresh folder; stopped
// when destroyed. Without persistence by default; a durable one writes an append-only file synced on
// every write (appendfsync always) and keeps its folder across stop() and crash(), so a restart
// finds what it saved. installed() is false when no redis-server is installed.

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

    // maxClients 0 keeps redis-server's own limit (10,000 clients).
    explicit RedisTestServer(Persistence persistence = Persistence::None, std::uint64_t maxClients = 0);
    ~RedisTestServer();
    RedisTestServer(const RedisTestServer&) = delete;
    RedisTestServer& operator=(const RedisTestServer&) = delete;

    static bool installed();
    // Starts it (again on the same port after stop()); false when it could not be started or did
    // not answer in time, with the reason in whyNot when given.
    bool start(std::string* whyNot = nullptr);
    void stop();
    // SIGKILL, as a crash of the Redis process.
    void crash();

    pid_t pid() const { return m_pid; }
    std::uint16_t port() const { return m_port; }
    std::string address() const { return "127.0.0.1:" + std::to_string(m_port); }

private:
    void endProcess(int signal);

    Persistence m_persistence;
    std::uint64_t m_maxClients;
    pid_t m_pid = -1;
    std::uint16_t m_port = 0;
    std::string m_dir;
};

} // namespace quorix::service::test
