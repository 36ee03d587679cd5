#pragma once

// The processes a chaos run attacks: in Redis mode a redis-server writing an append-only file
// synced on every write and several quorix-voted --redis nodes over it; in failover mode a primary
// redis-server and its replica behind one address (a proxy, as a managed Redis's endpoint), the
// replica promoted when the primary dies; in cluster mode a Redis Cluster of three primaries and
// three replicas with the documented service ACL, and quorix-voted --redis-cluster nodes over it;
// in SQLite mode one quorix-voted --data node. Thread-safe: the fault
// thread kills, pauses and restarts while the driver asks which nodes answer.

#include "tests/support/cuttingproxy.h"
#include "tests/support/redistestcluster.h"
#include "tests/support/redistestserver.h"
#include "tests/support/votedprocess.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace quorix::service::test {

enum class ChaosMode
{
    Redis,
    Failover,
    Cluster,
    Sqlite
};

// The modes by the names scripts/chaos takes.
inline constexpr std::pair<const char*, ChaosMode> kModeNames[] = {{"failover", ChaosMode::Failover},
                                                                   {"cluster", ChaosMode::Cluster},
                                                                   {"redis", ChaosMode::Redis},
                                                                   {"sqlite", ChaosMode::Sqlite}};

inline const char* modeName(ChaosMode mode)
{
    for (const auto& [name, known] : kModeNames) {
        if (known == mode)
            return name;
    }
    return "?";
}

class ChaosCluster
{
public:
    // minReplicas below 0 leaves --redis-min-replicas to the nodes' default.
    ChaosCluster(std::string votedPath, ChaosMode mode, int nodes, int minReplicas = -1);
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
    // Failover mode: the replica's link stalls for lagMs while the primary goes on, then the primary
    // is killed (SIGKILL) and what the link held lost, the replica promoted and the address moved to
    // it, and the old primary started empty as the new one's replica.
    bool failOver(int lagMs);
    // Resumes paused nodes and starts killed ones.
    bool heal();
    enum class PrimaryKill
    {
        Rejoined,   // the replica was promoted, the killed one is its replica now
        NoFailover, // no replica took the slots over in time
        NotRejoined // promoted, but the killed one did not come back as a replica in time
    };
    // Cluster mode: the link of a primary drawn with pick to its replica is cut (the replica cannot
    // log in again), so that the replica falls lagMs behind, then the primary gets SIGKILL; once its
    // replica is promoted, it is started again so that it rejoins as a replica.
    PrimaryKill killPrimary(std::uint64_t pick, int lagMs);
    // Processor seconds (used_cpu_sys + used_cpu_user of INFO cpu) all Redis servers have used;
    // 0 in SQLite mode.
    double redisCpuSeconds() const;
    // Cluster mode: SIGSTOP of one Redis server drawn with pick for pauseMs, then SIGCONT.
    void pauseRedis(std::uint64_t pick, int pauseMs);
    // Ends one node with SIGKILL and starts a fresh process in its place (SQLite mode) or adds a
    // fresh node (Redis mode); its port.
    std::uint16_t freshNode();

private:
    std::unique_ptr<VotedProcess> launch() const;
    // The address the nodes are given.
    std::string redisAddress() const;
    // Makes m_replica follow m_redis over a fresh link and waits until it has caught up.
    bool follow();

    std::string m_votedPath;
    ChaosMode m_mode;
    std::string m_dataDir;
    std::unique_ptr<RedisTestServer> m_redis;
    std::unique_ptr<RedisTestServer> m_replica;
    std::unique_ptr<RedisTestCluster> m_redisCluster;
    std::unique_ptr<CuttingProxy> m_endpoint;
    // The replica's link to the primary, which a failover stalls and then cuts.
    std::unique_ptr<CuttingProxy> m_replication;
    mutable std::mutex m_mutex;
    std::vector<std::unique_ptr<VotedProcess>> m_nodes; // null while killed
    std::vector<bool> m_paused;
    int m_minReplicas;
};

} // namespace quorix::service::test
