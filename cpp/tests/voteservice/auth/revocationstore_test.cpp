// One table of revocations against every store: in memory, the SQLite data folder (while the
// folder is held by a running storage, as `revoke --data` meets a running service) and Redis (a
// redis-server of the test's own; skipped when none is installed).

#include "voteservice/auth/memoryrevocationstore.h"
#include "voteservice/redis/redisconnection.h"
#include "voteservice/redis/redisrevocationstore.h"
#include "tests/support/redistestserver.h"
#include "voteservice/sqlite/sqliterevocationstore.h"
#include "voteservice/sqlite/votedatafolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>

namespace quorix::service {

void PrintTo(const Revocation& r, std::ostream* os)
{
    *os << "{" << r.channelId << ", " << r.uid << ", " << r.issuedBefore << ", " << r.expiresAt << "}";
}

namespace test {
namespace {

enum class Store
{
    Memory,
    Sqlite,
    Redis
};

void PrintTo(Store store, std::ostream* os)
{
    *os << (store == Store::Memory ? "Memory" : store == Store::Sqlite ? "Sqlite" : "Redis");
}

constexpr std::int64_t kNow = 1800000000;

struct Step
{
    enum
    {
        Revoke,
        Current
    } what;
    Revocation revocation; // Revoke: added; Current: `now` in issuedBefore
    std::vector<Revocation> expected = {};
};

Step revoke(std::uint32_t channel, std::uint32_t uid, std::int64_t before, std::int64_t expires)
{
    return {Step::Revoke, {channel, uid, before, expires}};
}

Step current(std::int64_t now, std::vector<Revocation> expected)
{
    return {Step::Current, {0, 0, now, 0}, std::move(expected)};
}

struct Scenario
{
    const char* name;
    std::vector<Step> steps;
};

class RevocationStoreTest : public ::testing::TestWithParam<Store>
{
protected:
    void SetUp() override
    {
        switch (GetParam()) {
        case Store::Memory:
            m_store = std::make_unique<MemoryRevocationStore>();
            break;
        case Store::Sqlite:
            openSqlite();
            break;
        case Store::Redis:
            if (!RedisTestServer::installed())
                GTEST_SKIP() << "redis-server is not installed (scripts/setup installs it)";
            std::string why;
            ASSERT_TRUE(m_redisServer.start(&why)) << why;
            m_redis = std::make_unique<RedisConnection>(m_redisServer.redisAddress());
            ASSERT_TRUE(m_redis->connect(why)) << why;
            m_store = std::make_unique<RedisRevocationStore>(*m_redis);
            break;
        }
    }

    // The folder is opened as the service opens it (its lock taken), and the store beside it while
    // the service's transaction is open, as `quorix-voted revoke --data` meets a running service.
    void openSqlite()
    {
        const std::string folder = ::testing::TempDir() + "/revocationstore-" +
                                   ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::filesystem::remove_all(folder);
        m_folder = std::make_unique<VoteDataFolder>(VoteDataFolder::open(folder));
        ASSERT_TRUE(m_folder->storage) << m_folder->error;
        m_folder->storage->recordUser(1, {1, "the service writes"});
        std::string error;
        m_store = SqliteRevocationStore::open(m_folder->databasePath, error);
        ASSERT_TRUE(m_store) << error;
        ASSERT_TRUE(m_folder->storage->commit());
    }

    void play(const Scenario& scenario)
    {
        for (std::size_t i = 0; i < scenario.steps.size(); ++i) {
            const Step& step = scenario.steps[i];
            if (step.what == Step::Revoke) {
                EXPECT_TRUE(m_store->revoke(step.revocation)) << scenario.name << " step " << i;
                continue;
            }
            std::vector<Revocation> got = m_store->current(step.revocation.issuedBefore);
            std::sort(got.begin(), got.end(),
                      [](const Revocation& a, const Revocation& b) { return a.uid < b.uid; });
            EXPECT_EQ(got, step.expected) << scenario.name << " step " << i;
        }
    }

    RedisTestServer m_redisServer;
    std::unique_ptr<RedisConnection> m_redis;
    std::unique_ptr<VoteDataFolder> m_folder;
    std::unique_ptr<RevocationStore> m_store;
};

TEST_P(RevocationStoreTest, KeepsTheLatestRevocationOfEachUserUntilItExpires)
{
    const std::vector<Scenario> scenarios = {
        {"empty", {current(kNow, {})}},
        {"one",
         {revoke(7, 1, kNow, kNow + 100), current(kNow, {{7, 1, kNow, kNow + 100}}),
          current(kNow + 100, {{7, 1, kNow, kNow + 100}})}},
        {"a later time replaces an earlier",
         {revoke(7, 2, kNow, kNow + 100), revoke(7, 2, kNow + 10, kNow + 110),
          current(kNow, {{7, 1, kNow, kNow + 100}, {7, 2, kNow + 10, kNow + 110}})}},
        {"an earlier time leaves a later",
         {revoke(7, 3, kNow + 10, kNow + 110), revoke(7, 3, kNow, kNow + 100),
          current(kNow,
                  {{7, 1, kNow, kNow + 100}, {7, 2, kNow + 10, kNow + 110}, {7, 3, kNow + 10, kNow + 110}})}},
        {"another channel is another user",
         {revoke(8, 3, kNow, kNow + 100), current(kNow, {{7, 1, kNow, kNow + 100},
                                                         {7, 2, kNow + 10, kNow + 110},
                                                         {7, 3, kNow + 10, kNow + 110},
                                                         {8, 3, kNow, kNow + 100}})}},
        {"expired ones are dropped",
         {current(kNow + 101, {{7, 2, kNow + 10, kNow + 110}, {7, 3, kNow + 10, kNow + 110}})}},
        {"and stay dropped when the clock is read earlier again",
         {current(kNow, {{7, 2, kNow + 10, kNow + 110}, {7, 3, kNow + 10, kNow + 110}})}},
        {"a revoked user revoked again after expiry",
         {revoke(7, 1, kNow + 200, kNow + 300), current(kNow + 111, {{7, 1, kNow + 200, kNow + 300}})}},
        {"the largest numbers",
         {revoke(4294967295u, 4294967295u, kNow + 300, kNow + 2592300),
          current(kNow + 111,
                  {{7, 1, kNow + 200, kNow + 300}, {4294967295u, 4294967295u, kNow + 300, kNow + 2592300}})}},
    };
    // One store through every scenario: each begins where the one before ended.
    for (const Scenario& scenario : scenarios)
        play(scenario);
}

INSTANTIATE_TEST_SUITE_P(Stores, RevocationStoreTest,
                         ::testing::Values(Store::Memory, Store::Sqlite, Store::Redis),
                         [](const ::testing::TestParamInfo<Store>& info) {
                             std::ostringstream name;
                             PrintTo(info.param, &name);
                             return name.str();
                         });

} // namespace
} // namespace test
} // namespace quorix::service
