// The vote counts the core asks before every create, in each storage that runs without a server
// (the Redis storage's are checked in redisballotbox_test).

#include "servicetestsupport.h"
#include "sqlitevotestorage.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace quorix::service::test {
namespace {

class SqliteCountTest : public ::testing::Test
{
protected:
    void SetUp() override { removeFiles(); }
    void TearDown() override { removeFiles(); }
    void removeFiles()
    {
        for (const char* suffix : {"", "-wal", "-shm"})
            std::remove((path + suffix).c_str());
    }

    const std::string path = ::testing::TempDir() + "/quorix-vote-counts.db";
};

TEST(MemoryVoteStorageTest, VoteCountsFollowAddsAndRemovals)
{
    MemoryVoteStorage storage;
    expectVoteCountsFollowChanges(storage);
}

TEST_F(SqliteCountTest, VoteCountsFollowAddsAndRemovals)
{
    SqliteVoteStorage storage(path);
    expectVoteCountsFollowChanges(storage);
}

TEST_F(SqliteCountTest, VoteCountsSurviveARestart)
{
    {
        SqliteVoteStorage storage(path);
        storage.addVote({10, 20}, normalVote("a", 2, 1, 1));
        storage.addVote({10, 21}, normalVote("b", 2, 1, 1));
        storage.addVote({11, 20}, normalVote("c", 2, 1, 1));
        ASSERT_TRUE(storage.commit());
    }
    SqliteVoteStorage storage(path);
    EXPECT_EQ(storage.channelVoteCount(10), 2u);
    EXPECT_EQ(storage.channelVoteCount(11), 1u);
    EXPECT_EQ(storage.totalVoteCount(), 3u);
}

} // namespace
} // namespace quorix::service::test
