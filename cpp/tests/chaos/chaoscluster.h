#pragma once

// The processes a chaos run attacks: in Redis mode a redis-server writing an append-only file
// synced on every write and several quorix-voted --redis nodes over it; in SQLite mode one
// quorix-voted --data node. Thread-safe: the fault thread kills, pauses and restarts while the
// driver asks which nodes answer.

#include "redistestserver.h"
#include "votedprocess.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace quorix::service::test {

enum class ChaosMode
{
    Redis,
    Sqlite
};

class ChaosCluster
{
public:
    ChaosCluster(std::string votedPath, ChaosMode mode, int nodes);
    ~ChaosCluster();
    ChaosCluster(const ChaosCluster&) = delete;
    ChaosCluster& operator=(const ChaosCluster&) = delete;

    // Starts Redis (in Redis mode) and every node; false with a message when one did not start.
    bool start(std::string& error);
    int nodeCount() const { return int(m_nodes.size()); }
    // Ports of the nodes that run and are not paused.
    std::vector<std::uint16_t> answeringPorts() const;
    bool isUp(int node) const;

    void kill(int node);
    void pause(int node);
    void resume(int node);
    // Starts a killed node again (a fresh process on a fresh port).
    bool restart(int node);
    // SIGKILL of redis-server and a start on the same port and append-only file.
    bool restartRedis();
    // Resumes paused nodes and starts killed ones.
    bool heal();
    // Ends one node with SIGKILL and starts a fresh process in its place (SQLite mode) or adds a
    // fresh node (Redis mode); its port.
    std::uint16_t freshNode();

private:
    std::unique_ptr<VotedProcess> launch() const;

    std::string m_votedPath;
    ChaosMode m_mode;
    std::string m_dataDir;
    std::unique_ptr<RedisTestServer> m_redis;
    mutable std::mutex m_mutex;
    std::vector<std::unique_ptr<VotedProcess>> m_nodes; // null while killed
    std::vector<bool> m_paused;
};

} // namespace quorix::service::test
