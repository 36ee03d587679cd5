// Short fault-injection runs (scripts/chaos runs long ones): Redis nodes killed, paused and
// Redis restarted, a Redis primary failed over to its lagging replica, Redis Cluster primaries
// killed (their lagging replicas promoted) while 30 channels vote, and a single SQLite node killed,
// while viewers vote through the TCP transport. The seed comes from QUORIX_CHAOS_SEED or the clock and is
// printed, so a failing run can be repeated with scripts/chaos --seed.

#include "tests/chaos/chaosrun.h"
#include "tests/support/redistestserver.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <iostream>

using namespace quorix::service::test;

namespace {

std::uint64_t seed()
{
    if (const char* given = std::getenv("QUORIX_CHAOS_SEED"))
        return std::strtoull(given, nullptr, 10);
    return std::uint64_t(std::chrono::system_clock::now().time_since_epoch().count());
}

struct ModeRow
{
    ChaosMode mode;
    const char* name;
    int seconds;
    int nodes;
    int channels;
};

class ChaosTest : public ::testing::TestWithParam<ModeRow>
{
};

} // namespace

TEST_P(ChaosTest, EveryAnswerHoldsAfterTheFaults)
{
    const ModeRow& row = GetParam();
    if (row.mode != ChaosMode::Sqlite && !RedisTestServer::installed())
        GTEST_SKIP() << "redis-server is not installed (scripts/setup installs it)";
    ChaosOptions options;
    options.votedPath = QUORIX_VOTED_PATH;
    options.mode = row.mode;
    options.seconds = row.seconds;
    options.nodes = row.nodes;
    options.channels = row.channels;
    options.seed = seed();
    options.viewers = 200;
    options.roundSeconds = 10;
    std::cout << "chaos " << row.name << " seed " << options.seed << std::endl;
    ChaosReport report;
    std::string error;
    ChaosRun run(options);
    ASSERT_TRUE(run.run(report, error)) << error;
    std::cout << report;
    EXPECT_TRUE(report.violations.empty())
        << "repeat with: scripts/chaos --mode " << row.name << " --seed " << options.seed;
    EXPECT_GT(report.acknowledged, 0u);
    EXPECT_GE(report.rounds, 1u);
    int faults = 0;
    for (const auto& [kind, count] : report.faults)
        faults += kind == "restart failed" ? 0 : count;
    EXPECT_GT(faults, 0);
    for (const char* failure : {"restart failed", "no failover", "primary not rejoined"})
        EXPECT_EQ(report.faults.count(failure), 0u) << failure;
    EXPECT_EQ(report.lostAcknowledged, 0u);
}

INSTANTIATE_TEST_SUITE_P(Modes, ChaosTest,
                         ::testing::Values(ModeRow{ChaosMode::Redis, "redis", 30, 3, 1},
                                           ModeRow{ChaosMode::Failover, "failover", 25, 3, 1},
                                           ModeRow{ChaosMode::Cluster, "cluster", 45, 3, 30},
                                           ModeRow{ChaosMode::Sqlite, "sqlite", 25, 1, 1}),
                         [](const auto& info) { return std::string(info.param.name); });
