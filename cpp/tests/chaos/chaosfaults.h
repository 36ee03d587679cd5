#pragma once

// The faults of a chaos run, drawn from its seed and applied on a thread of their own: every 2 to 5
// seconds one node is killed with SIGKILL (and started again 0.5 to 3 seconds later), paused with
// SIGSTOP (and continued with SIGCONT 0.5 to 3 seconds later), or, in Redis mode, redis-server is
// killed and started again on its append-only file; in failover mode (half the faults) the primary
// is killed while its replica lags 0.17 to 1 second behind, and the replica promoted. One fault at a time, so
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
    // Faults applied so far by kind ("node killed", "node paused", "redis restarted"), and
    // restarts that failed ("restart failed").
    std::map<std::string, int> counts() const;

private:
    void run(std::uint64_t seed);
    void applyOne(std::uint64_t draw, int node, int recoverMs);
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
