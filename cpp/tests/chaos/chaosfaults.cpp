#include "tests/chaos/chaosfaults.h"

#include <algorithm>
#include <chrono>
#include <random>

namespace quorix::service::test {

ChaosFaults::ChaosFaults(ChaosCluster& cluster, ChaosMode mode, std::uint64_t seed)
    : m_cluster(cluster), m_mode(mode), m_seed(seed)
{}

ChaosFaults::~ChaosFaults()
{
    stop();
}

void ChaosFaults::start()
{
    m_thread = std::thread([this] { run(m_seed); });
}

void ChaosFaults::stop()
{
    m_stopping = true;
    if (m_thread.joinable())
        m_thread.join();
    if (!m_cluster.heal())
        count("restart failed");
}

std::map<std::string, int> ChaosFaults::counts() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_counts;
}

void ChaosFaults::count(const std::string& kind)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    ++m_counts[kind];
}

void ChaosFaults::wait(int ms)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!m_stopping && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
}

void ChaosFaults::run(std::uint64_t seed)
{
    std::mt19937_64 random(seed);
    while (!m_stopping) {
        wait(int(std::uniform_int_distribution<int>(2000, 5000)(random)));
        const std::uint64_t draw = random();
        const int node = int(std::uniform_int_distribution<int>(0, m_cluster.nodeCount() - 1)(random));
        const int recoverMs = std::uniform_int_distribution<int>(500, 3000)(random);
        if (!m_stopping)
            applyOne(draw, node, recoverMs);
    }
}

void ChaosFaults::applyOne(std::uint64_t draw, int node, int recoverMs)
{
    if (m_mode == ChaosMode::Cluster && draw % 5 >= 2)
        return applyToRedisCluster(draw, recoverMs);
    // Failover mode fails the primary over half the time.
    const int kinds = m_mode == ChaosMode::Redis ? 3 : m_mode == ChaosMode::Failover ? 4 : 2;
    switch (std::min<std::uint64_t>(draw % std::uint64_t(kinds), 2)) {
    case 0:
        m_cluster.kill(node);
        count("node killed");
        wait(recoverMs);
        if (!m_cluster.restart(node))
            count("restart failed");
        break;
    case 1:
        m_cluster.pause(node);
        count("node paused");
        wait(recoverMs);
        m_cluster.resume(node);
        break;
    default:
        if (m_mode == ChaosMode::Failover) {
            count(m_cluster.failOver(recoverMs / 3) ? "primary failed over" : "restart failed");
            break;
        }
        if (m_cluster.restartRedis())
            count("redis restarted");
        else
            count("restart failed");
        break;
    }
}

void ChaosFaults::applyToRedisCluster(std::uint64_t draw, int recoverMs)
{
    // Two draws in three kill a primary, its replica 0.18 to 0.6 s behind; the pause stays below the node
    // timeout, so it is a stall, not a failover.
    const std::uint64_t pick = draw / 5;
    if (draw % 5 == 4) {
        m_cluster.pauseRedis(pick, std::min(recoverMs / 2, RedisTestCluster::kNodeTimeoutMs * 3 / 4));
        count("redis paused");
        return;
    }
    const ChaosCluster::PrimaryKill killed = m_cluster.killPrimary(pick, 100 + recoverMs / 6);
    count("primary killed");
    if (killed == ChaosCluster::PrimaryKill::NoFailover)
        count("no failover");
    else
        count("failover seen");
    if (killed == ChaosCluster::PrimaryKill::NotRejoined)
        count("primary not rejoined");
}

} // namespace quorix::service::test
