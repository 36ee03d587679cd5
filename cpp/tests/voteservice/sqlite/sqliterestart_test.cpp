// The SQLite storage's own faults across restarts: a damaged page, a failed write, a file that is
// not a database, the directory's limit. What every storage keeps over a restart is the storage
// suite's (cpp/tests/voteservice/storage).

#include "voteservice/core/resultcode.h"
#include "tests/support/servicerun.h"
#include "voteservice/sqlite/sqlitevotestorage.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>

using namespace quorix;
using namespace quorix::service;
using namespace quorix::service::test;

namespace {

class SqliteRestartTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        path = ::testing::TempDir() + "/quorix-restart-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".db";
        removeFiles();
        restart(0);
    }
    void TearDown() override
    {
        stop();
        removeFiles();
    }
    void removeFiles()
    {
        for (const char* suffix : {"", "-wal", "-shm"})
            std::remove((path + suffix).c_str());
    }
    void stop()
    {
        run.reset();
        storage.reset();
    }
    // Ends the service and starts a new one over the same file after downSeconds.
    void restart(std::int64_t downSeconds)
    {
        stop();
        clock.advanceSeconds(downSeconds);
        storage = std::make_unique<SqliteVoteStorage>(path);
        run = std::make_unique<ServiceRun>(clock, *storage);
    }

    void damageTable(const char* table) { damageTree(path, table); }

    ManualClock clock;
    std::string path;
    std::unique_ptr<SqliteVoteStorage> storage;
    std::unique_ptr<ServiceRun> run;
};

} // namespace

// The request whose query meets the damage is refused; the service answers the next ones. (Should the
// damage also break a write transaction in progress, its commit fails, and the server stops without
// sending the answers it held.)
TEST_F(SqliteRestartTest, ARequestThatReadsADamagedPageIsRefusedAndTheServiceGoesOn)
{
    run->create(normalVote("Q1", 2, 1, 1));
    stop();
    damageTable("votes");
    restart(0);
    ASSERT_TRUE(storage->commit());
    run->request(run->manager, VOTE_SYSTEM_QUERY_ALL_VOTE_REQ, PQueryAllVoteReq{10, 20, {}});
    EXPECT_EQ(run->sink.last<PQueryAllVoteRes>(run->manager, VOTE_SYSTEM_QUERY_ALL_VOTE_RES).result,
              kResultStorageUnavailable);
    EXPECT_EQ(run->history(run->viewer).result, kResultOk) << "the tables that can be read still answer";
    EXPECT_TRUE(storage->commit());
    run->request(run->manager, VOTE_SYSTEM_CREATE_VOTE_REQ,
                 PCreateVoteReq{10, 20, normalVote("Q2", 2, 1, 1), {}});
    EXPECT_EQ(run->sink.last<PCreateVoteRes>(run->manager, VOTE_SYSTEM_CREATE_VOTE_RES).result,
              kResultStorageUnavailable);
}

// A write that fails may leave part of a request in the open transaction; committing it would
// save half a request (and the held writes of others). What was committed before stays.
TEST_F(SqliteRestartTest, AfterAFailedWriteNothingMoreIsCommitted)
{
    const std::uint32_t kept = run->create(normalVote("Q1", 2, 1, 1));
    stop();
    damageTable("ballots_place");
    restart(0);
    ASSERT_TRUE(storage->commit());
    storage->addVote({10, 20}, normalVote("Q2", 2, 1, 1));
    EXPECT_THROW(storage->addBallot({10, 20}, Ballot{2, 1, 1}), SqliteVoteStorage::Error);
    EXPECT_FALSE(storage->commit());
    EXPECT_FALSE(storage->commit()) << "a failed storage stays failed";
    stop();

    SqliteVoteStorage reopened(path);
    const VoteList votes = reopened.votes({10, 20});
    ASSERT_EQ(votes.size(), 1u);
    EXPECT_EQ(votes[0].voteId, kept);
}

TEST_F(SqliteRestartTest, ADatabaseWhoseDirectoryCannotBeReadIsRefusedWhenOpened)
{
    stop();
    damageTable("directory");
    EXPECT_THROW(SqliteVoteStorage storage(path), SqliteVoteStorage::Error);
}

TEST(SqliteVoteStorageTest, RefusesAFileThatIsNotADatabase)
{
    const std::string path = ::testing::TempDir() + "/quorix-not-a-db";
    FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fputs(
        "this is not a database, just text long enough to fill a header of one hundred bytes..........",
        file);
    std::fclose(file);
    try {
        SqliteVoteStorage storage(path);
        ADD_FAILURE() << "opened a file that is not a database";
    } catch (const SqliteVoteStorage::Error& e) {
        EXPECT_EQ(std::string(e.what()).rfind(path + ": ", 0), 0u)
            << "the message names the file: " << e.what();
    }
    std::remove(path.c_str());
}

TEST(SqliteVoteStorageTest, DirectoryStopsGrowingAtItsLimitButUpdatesKnownUsers)
{
    const std::string path = ::testing::TempDir() + "/quorix-directory.db";
    for (const char* suffix : {"", "-wal", "-shm"})
        std::remove((path + suffix).c_str());
    {
        SqliteVoteStorage storage(path, 2);
        storage.recordUser(1, {11, "a"});
        storage.recordUser(2, {12, "b"});
        storage.recordUser(3, {13, "c"});
        ASSERT_TRUE(storage.commit());
    }
    SqliteVoteStorage storage(path, 2);
    storage.recordUser(4, {14, "d"});
    storage.recordUser(1, {11, "renamed"});
    EXPECT_FALSE(storage.findUser(3));
    EXPECT_FALSE(storage.findUser(4));
    ASSERT_TRUE(storage.findUser(1));
    EXPECT_EQ(storage.findUser(1)->nick, "renamed");
}
