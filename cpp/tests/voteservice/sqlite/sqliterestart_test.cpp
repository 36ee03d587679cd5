// The SQLite storage across restarts: what one service wrote, the next one over the same file finds,
// including a vote that was running with its ballots and remaining time.

#include "resultcode.h"
#include "servicetestsupport.h"
#include "sqlitevotestorage.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>

using namespace quorix;
using namespace quorix::service;
using namespace quorix::service::test;

namespace {

// One service run over the database file; the clock outlives it, as the wall clock does.
struct ServiceRun
{
    ServiceRun(ManualClock& clock, const std::string& path) : storage(path), core(clock, storage, sink)
    {
        core.resumeOpenVotes();
    }

    SessionId open(const SessionIdentity& who)
    {
        const SessionId id = ++lastId;
        EXPECT_TRUE(core.openSession(id, who));
        identities[id] = who;
        return id;
    }
    template <class Message> void request(SessionId id, std::uint32_t minType, const Message& message)
    {
        core.handle(id, minType, mpak::encode(message));
    }
    std::uint32_t vote(SessionId id, std::uint32_t voteId, std::uint32_t jiFangId, std::uint32_t voteType,
                       std::uint32_t optionId, std::uint32_t tickets = 1)
    {
        const SessionIdentity& me = identities.at(id);
        request(
            id, VOTE_SYSTEM_USER_VOTE_REQ,
            PUserVoteReq{
                me.channelId, me.subChannelId, voteId, voteType, jiFangId, me.uid, optionId, tickets, {}});
        return sink.last<PUserVoteRes>(id, VOTE_SYSTEM_USER_VOTE_RES).result;
    }
    PUserVoteStateRes ticketState(SessionId id, std::uint32_t voteId, std::uint32_t jiFangId)
    {
        const SessionIdentity& me = identities.at(id);
        request(id, VOTE_SYSTEM_USER_VOTE_STATE_REQ,
                PUserVoteStateReq{me.channelId, me.subChannelId, voteId, 0, jiFangId, me.uid, {}, {}});
        return sink.last<PUserVoteStateRes>(id, VOTE_SYSTEM_USER_VOTE_STATE_RES);
    }
    PQueryVoteHisRecordRes history(SessionId id)
    {
        const SessionIdentity& me = identities.at(id);
        request(id, VOTE_SYSTEM_QUERY_VOTE_HIS_RECORD_REQ,
                PQueryVoteHisRecordReq{me.channelId, me.subChannelId, {}});
        return sink.last<PQueryVoteHisRecordRes>(id, VOTE_SYSTEM_QUERY_VOTE_HIS_RECORD_RES);
    }

    SqliteVoteStorage storage;
    RecordingSink sink;
    VoteServiceCore core;
    std::map<SessionId, SessionIdentity> identities;
    SessionId lastId = 0;
};

class SqliteRestartTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        path = ::testing::TempDir() + "/quorix-restart-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".db";
        removeFiles();
        run = std::make_unique<ServiceRun>(clock, path);
        manager = run->open(identity(1, 255));
        viewer = run->open(identity(2, 25));
    }
    void TearDown() override
    {
        run.reset();
        removeFiles();
    }
    void removeFiles()
    {
        for (const char* suffix : {"", "-wal", "-shm"})
            std::remove((path + suffix).c_str());
    }
    // Ends the service and starts a new one over the same file after downSeconds.
    void restart(std::int64_t downSeconds)
    {
        run.reset();
        clock.advanceSeconds(downSeconds);
        run = std::make_unique<ServiceRun>(clock, path);
        manager = run->open(identity(1, 255));
        viewer = run->open(identity(2, 25));
    }
    std::uint32_t create(const VoteInfo& vote)
    {
        run->request(manager, VOTE_SYSTEM_CREATE_VOTE_REQ, PCreateVoteReq{10, 20, vote, {}});
        return run->sink.last<PCreateVoteRes>(manager, VOTE_SYSTEM_CREATE_VOTE_RES).voteId;
    }
    PStartVoteRes start(std::uint32_t voteId)
    {
        run->request(manager, VOTE_SYSTEM_START_VOTE_REQ, PStartVoteReq{10, 20, voteId, 1, {}});
        return run->sink.last<PStartVoteRes>(manager, VOTE_SYSTEM_START_VOTE_RES);
    }

    void damageTable(const char* table) { damageTree(path, table); }

    ManualClock clock;
    std::string path;
    std::unique_ptr<ServiceRun> run;
    SessionId manager = 0;
    SessionId viewer = 0;
};

} // namespace

TEST_F(SqliteRestartTest, StoredVotesHistoryAndUsersSurviveAndIdsAreNotReused)
{
    const std::uint32_t first = create(normalVote("first", 2, 1, 1));
    const std::uint32_t second = create(judgeVote("second", {2}));
    const PStartVoteRes started = start(first);
    ASSERT_EQ(run->vote(viewer, first, started.jiFangId, kNormalVote, 1), 0u);
    run->request(manager, VOTE_SYSTEM_CLOSE_VOTEUI_REQ, PCloseVoteReq{10, 20, first, started.jiFangId, {}});
    ASSERT_EQ(run->history(manager).records.size(), 1u);

    restart(60);

    run->request(manager, VOTE_SYSTEM_QUERY_ALL_VOTE_REQ, PQueryAllVoteReq{10, 20, {}});
    const auto list = run->sink.last<PQueryAllVoteRes>(manager, VOTE_SYSTEM_QUERY_ALL_VOTE_RES);
    ASSERT_EQ(list.votes.size(), 2u);
    EXPECT_EQ(list.votes[0].voteId, first);
    EXPECT_EQ(list.votes[0].name, "first");
    EXPECT_EQ(list.votes[1].voteId, second);
    EXPECT_EQ(list.votes[1].judges.size(), 1u);

    const auto history = run->history(manager);
    ASSERT_EQ(history.records.size(), 1u);
    const VoteHistoryRecord& record = history.records.begin()->second;
    EXPECT_EQ(record.name, "first");
    EXPECT_EQ(record.optionTickets, (U32Map{{0, 0}, {1, 1}}));

    EXPECT_FALSE(run->storage.openVotes().size()) << "a closed vote is not resumed";
    EXPECT_GT(create(normalVote("third", 2, 1, 1)), second);

    run->request(viewer, VOTE_SYSTEM_QUERY_NICKNAME_REQ, PQueryNicknameReq{identity(1, 255).imid, {}});
    EXPECT_EQ(run->sink.last<PQueryNicknameRes>(viewer, VOTE_SYSTEM_QUERY_NICKNAME_RES).uid, 1u);
}

TEST_F(SqliteRestartTest, ARunningVoteResumesWithItsBallotsAllowancesAndRemainingTime)
{
    const std::uint32_t voteId = create(normalVote("running", 3, 2, 1, 100));
    const PStartVoteRes started = start(voteId);
    clock.advanceSeconds(30);
    ASSERT_EQ(run->vote(viewer, voteId, started.jiFangId, kNormalVote, 0), 0u);
    ASSERT_EQ(run->vote(viewer, voteId, started.jiFangId, kNormalVote, 2), 0u);

    restart(20);

    const auto state = run->ticketState(viewer, voteId, started.jiFangId);
    ASSERT_EQ(state.state, 0u);
    EXPECT_EQ(state.ticketsUsed, 2u);
    EXPECT_EQ(state.usedPerOption, (U32Map{{0, 1}, {1, 0}, {2, 1}}));
    EXPECT_EQ(state.vote.optionTickets, (U32Map{{0, 1}, {1, 0}, {2, 1}}));
    EXPECT_EQ(state.vote.ownerUid, 1u);
    EXPECT_EQ(run->vote(viewer, voteId, started.jiFangId, kNormalVote, 1), 11u)
        << "allowance spent before the restart";

    // The late-join broadcast of the reopened session tells the time left: 100 - 30 - 20.
    const auto joined = run->sink.last<PBroadcastVote>(viewer, VOTE_SYSTEM_BROADCAST_VOTE);
    EXPECT_EQ(joined.status, 0u);
    EXPECT_EQ(joined.jiFangId, started.jiFangId);
    EXPECT_EQ(joined.remainSeconds, 50u);

    clock.advanceSeconds(50);
    run->core.tick();
    EXPECT_EQ(run->sink.last<PBroadcastVote>(viewer, VOTE_SYSTEM_BROADCAST_VOTE).status, 1u);
    ASSERT_EQ(run->history(manager).records.size(), 1u);

    // A new start after the restart never repeats the resumed run's number.
    run->request(manager, VOTE_SYSTEM_CLOSE_VOTEUI_REQ, PCloseVoteReq{10, 20, voteId, started.jiFangId, {}});
    EXPECT_GT(start(voteId).jiFangId, started.jiFangId);
}

TEST_F(SqliteRestartTest, AVoteWhoseTimeRanOutWhileDownEndsAtOnceIntoTheHistory)
{
    const std::uint32_t voteId = create(judgeVote("judged", {2, 3}));
    const PStartVoteRes started = start(voteId);
    ASSERT_EQ(run->vote(viewer, voteId, started.jiFangId, kJudgeVote, 0, 4), 0u);

    restart(400); // the judge vote's limit is 300 seconds

    const auto history = run->history(manager);
    ASSERT_EQ(history.records.size(), 1u);
    EXPECT_EQ(history.records.begin()->second.optionTickets, (U32Map{{0, 4}}));
    EXPECT_EQ(run->vote(viewer, voteId, started.jiFangId, kJudgeVote, 0, 4), 10u) << "no longer running";
    // Ended but still open until a manager closes it: the next start is refused, the close works.
    EXPECT_EQ(start(voteId).result, 4u);
    run->request(manager, VOTE_SYSTEM_CLOSE_VOTEUI_REQ, PCloseVoteReq{10, 20, voteId, started.jiFangId, {}});
    EXPECT_EQ(run->sink.last<PCloseVoteUiRes>(manager, VOTE_SYSTEM_CLOSE_VOTEUI_RES).result, 0u);

    restart(1);
    EXPECT_EQ(run->history(manager).records.size(), 1u) << "ended once, not again on the next restart";
    EXPECT_TRUE(run->storage.openVotes().empty());
}

// The request whose query meets the damage is refused; the service answers the next ones. (Should the
// damage also break a write transaction in progress, its commit fails, and the server stops without
// sending the answers it held.)
TEST_F(SqliteRestartTest, ARequestThatReadsADamagedPageIsRefusedAndTheServiceGoesOn)
{
    create(normalVote("Q1", 2, 1, 1));
    run.reset();
    damageTable("votes");
    restart(0);
    ASSERT_TRUE(run->storage.commit());
    run->request(manager, VOTE_SYSTEM_QUERY_ALL_VOTE_REQ, PQueryAllVoteReq{10, 20, {}});
    EXPECT_EQ(run->sink.last<PQueryAllVoteRes>(manager, VOTE_SYSTEM_QUERY_ALL_VOTE_RES).result,
              kResultStorageUnavailable);
    EXPECT_EQ(run->history(viewer).result, kResultOk) << "the tables that can be read still answer";
    EXPECT_TRUE(run->storage.commit());
    run->request(manager, VOTE_SYSTEM_CREATE_VOTE_REQ, PCreateVoteReq{10, 20, normalVote("Q2", 2, 1, 1), {}});
    EXPECT_EQ(run->sink.last<PCreateVoteRes>(manager, VOTE_SYSTEM_CREATE_VOTE_RES).result,
              kResultStorageUnavailable);
}

// A write that fails may leave part of a request in the open transaction; committing it would
// save half a request (and the held writes of others). What was committed before stays.
TEST_F(SqliteRestartTest, AfterAFailedWriteNothingMoreIsCommitted)
{
    const std::uint32_t kept = create(normalVote("Q1", 2, 1, 1));
    run.reset();
    damageTable("ballots_place");
    restart(0);
    ASSERT_TRUE(run->storage.commit());
    run->storage.addVote({10, 20}, normalVote("Q2", 2, 1, 1));
    EXPECT_THROW(run->storage.addBallot({10, 20}, Ballot{2, 1, 1}), SqliteVoteStorage::Error);
    EXPECT_FALSE(run->storage.commit());
    EXPECT_FALSE(run->storage.commit()) << "a failed storage stays failed";
    run.reset();

    SqliteVoteStorage reopened(path);
    const VoteList votes = reopened.votes({10, 20});
    ASSERT_EQ(votes.size(), 1u);
    EXPECT_EQ(votes[0].voteId, kept);
}

TEST_F(SqliteRestartTest, ADatabaseWhoseDirectoryCannotBeReadIsRefusedWhenOpened)
{
    run.reset();
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
