#pragma once

// The faults of a chaos run, drawn from its seed and applied on a thread of their own: every 2 to 5
// seconds one node is killed with SIGKILL (and started again 0.5 to 3 seconds later), paused with
// SIGSTOP (and continued with SIGCONT 0.5 to 3 seconds later), or, in Redis mode, redis-server is
// killed and started again on its append-only file; in failover mode (half the faults) the primary
// is killed while its replica lags 0.17 to 1 second behind, and the replica promoted; in cluster
// mode (three faults in five) a Redis primary's link to its replica is cut, the primary killed
// with SIGKILL 0.18 to 0.6 seconds later, its replica promoted by the cluster and the killed one started
// again to rejoin as a replica, or a Redis server is paused for 0.25 to 1.5 seconds. One fault at a time, so
// a node always answers soon. The same seed draws the same schedule.

#include "tests/chaos/chaoscluster.h"

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>

namespace quorix::service::test {

class ChaosFaults
{
public:
    ChaosFaults(ChaosCluster& cluster, ChaosMode mode, std::uint64_t seed);
    ~ChaosFaults();
    ChaosFaults(const ChaosFaults&) = delete;
    ChaosFaults& operator=(const ChaosFaults&) = delete;

    void start();
    // Stops drawing faults and heals the cluster.
    void stop();
    // Faults applied so far by kind ("node killed", "node paused", "redis restarted", "primary
    // killed", "failover seen", "redis paused"), and what did not recover ("restart failed", "no
    // failover", "primary not rejoined").
    std::map<std::string, int> counts() const;

private:
    void run(std::uint64_t seed);
    void applyOne(std::uint64_t draw, int node, int recoverMs);
    void applyToRedisCluster(std::uint64_t draw, int recoverMs);
    void wait(int ms);
    void count(const std::string& kind);

    ChaosCluster& m_cluster;
    ChaosMode m_mode;
    std::uint64_t m_seed;
    std::atomic<bool> m_stopping{false};
    mutable std::mutex m_mutex;
    std::map<std::string, int> m_counts;
    std::thread m_thread;
};

} // namespace quorix::service::test
