// The storage the core asks before every create, as one suite over every storage: memory, SQLite
// (a file of the test's own) and Redis (a redis-server of the test's own, skipped when none is
// installed). The cases that need a restart run over the storages that keep their data.

#include "redisbackend.h"
#include "redistestserver.h"
#include "servicetestsupport.h"
#include "sqlitevotestorage.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>

namespace quorix::service::test {
namespace {

enum class Storage
{
    Memory,
    Sqlite,
    Redis
};

class VoteStorageTest : public ::testing::TestWithParam<Storage>
{
protected:
    void SetUp() override
    {
        removeFiles();
        if (GetParam() == Storage::Redis) {
            if (!RedisTestServer::installed())
                GTEST_SKIP() << "redis-server is not installed (scripts/setup installs it)";
            ASSERT_TRUE(m_redis.start()) << "redis-server did not start";
        }
    }
    void TearDown() override
    {
        close();
        removeFiles();
    }

    // The storage of the test's kind, opened afresh: a SQLite or Redis one sees what was committed
    // before it was closed.
    VoteStorage& reopen()
    {
        close();
        switch (GetParam()) {
        case Storage::Memory:
            m_memory = std::make_unique<MemoryVoteStorage>();
            return *m_memory;
        case Storage::Sqlite:
            m_sqlite = std::make_unique<SqliteVoteStorage>(m_path);
            return *m_sqlite;
        case Storage::Redis:
            break;
        }
        std::string error;
        m_redisBackend = RedisBackend::open(m_redis.redisAddress(), error);
        EXPECT_TRUE(m_redisBackend) << error;
        return m_redisBackend->storage();
    }

    bool keepsData() const { return GetParam() != Storage::Memory; }

private:
    void close()
    {
        m_memory.reset();
        m_sqlite.reset();
        m_redisBackend.reset();
    }
    void removeFiles()
    {
        for (const char* suffix : {"", "-wal", "-shm"})
            std::remove((m_path + suffix).c_str());
    }

    const std::string m_path = ::testing::TempDir() + "/quorix-vote-storage.db";
    RedisTestServer m_redis;
    std::unique_ptr<MemoryVoteStorage> m_memory;
    std::unique_ptr<SqliteVoteStorage> m_sqlite;
    std::unique_ptr<RedisBackend> m_redisBackend;
};

TEST_P(VoteStorageTest, VoteCountsFollowAddsAndRemovals)
{
    expectVoteCountsFollowChanges(reopen());
}

TEST_P(VoteStorageTest, VoteCountsSurviveARestart)
{
    if (!keepsData())
        GTEST_SKIP() << "keeps nothing over a restart";
    VoteStorage& before = reopen();
    before.addVote({10, 20}, normalVote("a", 2, 1, 1));
    before.addVote({10, 21}, normalVote("b", 2, 1, 1));
    before.addVote({11, 20}, normalVote("c", 2, 1, 1));
    ASSERT_TRUE(before.commit());
    VoteStorage& after = reopen();
    EXPECT_EQ(after.channelVoteCount(10), 2u);
    EXPECT_EQ(after.channelVoteCount(11), 1u);
    EXPECT_EQ(after.totalVoteCount(), 3u);
}

INSTANTIATE_TEST_SUITE_P(Storages, VoteStorageTest,
                         ::testing::Values(Storage::Memory, Storage::Sqlite, Storage::Redis),
                         [](const ::testing::TestParamInfo<Storage>& info) {
                             return info.param == Storage::Memory   ? "Memory"
                                    : info.param == Storage::Sqlite ? "Sqlite"
                                                                    : "Redis";
                         });

} // namespace
} // namespace quorix::service::test
