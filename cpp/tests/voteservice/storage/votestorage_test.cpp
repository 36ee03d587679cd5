// The storage contract as one suite over every storage: memory, SQLite (a file of the test's own)
// and Redis (a redis-server of the test's own, skipped when none is installed). The counts the core
// asks before every create, and what a service finds after a restart: stored votes, history, users,
// a running vote with its ballots and time left. The cases that need a restart run over the
// storages that keep their data.

#include "voteservice/redis/redisbackend.h"
#include "tests/support/redistestserver.h"
#include "tests/support/servicerun.h"
#include "tests/support/servicetestsupport.h"
#include "voteservice/sqlite/sqlitevotestorage.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
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

    // Another process's connection to the test's Redis.
    std::unique_ptr<RedisBackend> otherRedisNode()
    {
        std::string error;
        auto backend = RedisBackend::open(m_redis.redisAddress(), error);
        EXPECT_TRUE(backend) << error;
        return backend;
    }

    // Ends the service run, if any, and starts one over the storage reopened after downSeconds.
    ServiceRun& restart(std::int64_t downSeconds)
    {
        m_run.reset();
        clock.advanceSeconds(downSeconds);
        VoteStorage& storage = reopen();
        m_run =
            std::make_unique<ServiceRun>(clock, storage, m_redisBackend ? &m_redisBackend->box() : nullptr);
        return *m_run;
    }

    ManualClock clock;

private:
    void close()
    {
        m_run.reset();
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
    std::unique_ptr<ServiceRun> m_run;
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

TEST_P(VoteStorageTest, StoredVotesHistoryAndUsersSurviveARestartAndIdsAreNotReused)
{
    if (!keepsData())
        GTEST_SKIP() << "keeps nothing over a restart";
    ServiceRun* run = &restart(0);
    const std::uint32_t first = run->create(normalVote("first", 2, 1, 1));
    const std::uint32_t second = run->create(judgeVote("second", {2}));
    const PStartVoteRes started = run->start(first);
    ASSERT_EQ(run->vote(run->viewer, first, started.jiFangId, kNormalVote, 1), 0u);
    ASSERT_EQ(run->close(first, started.jiFangId), 0u);
    ASSERT_EQ(run->history(run->manager).records.size(), 1u);

    run = &restart(60);

    run->request(run->manager, VOTE_SYSTEM_QUERY_ALL_VOTE_REQ, PQueryAllVoteReq{10, 20, {}});
    const auto list = run->sink.last<PQueryAllVoteRes>(run->manager, VOTE_SYSTEM_QUERY_ALL_VOTE_RES);
    ASSERT_EQ(list.votes.size(), 2u);
    EXPECT_EQ(list.votes[0].voteId, first);
    EXPECT_EQ(list.votes[0].name, "first");
    EXPECT_EQ(list.votes[1].voteId, second);
    EXPECT_EQ(list.votes[1].judges.size(), 1u);

    const auto history = run->history(run->manager);
    ASSERT_EQ(history.records.size(), 1u);
    const VoteHistoryRecord& record = history.records.begin()->second;
    EXPECT_EQ(record.name, "first");
    EXPECT_EQ(record.optionTickets, (U32Map{{0, 0}, {1, 1}}));

    EXPECT_GT(run->create(normalVote("third", 2, 1, 1)), second);
    run->request(run->viewer, VOTE_SYSTEM_QUERY_NICKNAME_REQ, PQueryNicknameReq{identity(1, 255).imid, {}});
    EXPECT_EQ(run->sink.last<PQueryNicknameRes>(run->viewer, VOTE_SYSTEM_QUERY_NICKNAME_RES).uid, 1u);
    EXPECT_EQ(run->start(first).result, 0u) << "a closed vote is not resumed: it starts again";
}

TEST_P(VoteStorageTest, ARunningVoteResumesWithItsBallotsAllowancesAndRemainingTime)
{
    if (!keepsData())
        GTEST_SKIP() << "keeps nothing over a restart";
    ServiceRun* run = &restart(0);
    const std::uint32_t voteId = run->create(normalVote("running", 3, 2, 1, 100));
    const PStartVoteRes started = run->start(voteId);
    clock.advanceSeconds(30);
    ASSERT_EQ(run->vote(run->viewer, voteId, started.jiFangId, kNormalVote, 0), 0u);
    ASSERT_EQ(run->vote(run->viewer, voteId, started.jiFangId, kNormalVote, 2), 0u);

    run = &restart(20);

    const auto state = run->ticketState(run->viewer, voteId, started.jiFangId);
    ASSERT_EQ(state.state, 0u);
    EXPECT_EQ(state.ticketsUsed, 2u);
    EXPECT_EQ(state.usedPerOption, (U32Map{{0, 1}, {1, 0}, {2, 1}}));
    EXPECT_EQ(state.vote.optionTickets, (U32Map{{0, 1}, {1, 0}, {2, 1}}));
    EXPECT_EQ(state.vote.ownerUid, 1u);
    EXPECT_EQ(run->vote(run->viewer, voteId, started.jiFangId, kNormalVote, 1), 11u)
        << "allowance spent before the restart";

    // The late-join broadcast of the reopened session tells the time left: 100 - 30 - 20.
    const auto joined = run->sink.last<PBroadcastVote>(run->viewer, VOTE_SYSTEM_BROADCAST_VOTE);
    EXPECT_EQ(joined.status, 0u);
    EXPECT_EQ(joined.jiFangId, started.jiFangId);
    EXPECT_EQ(joined.remainSeconds, 50u);

    clock.advanceSeconds(50);
    run->core.tick();
    EXPECT_EQ(run->sink.last<PBroadcastVote>(run->viewer, VOTE_SYSTEM_BROADCAST_VOTE).status, 1u);
    ASSERT_EQ(run->history(run->manager).records.size(), 1u);

    // A new start after the restart never repeats the resumed run's number.
    ASSERT_EQ(run->close(voteId, started.jiFangId), 0u);
    EXPECT_GT(run->start(voteId).jiFangId, started.jiFangId);
}

TEST_P(VoteStorageTest, AVoteWhoseTimeRanOutWhileDownEndsAtOnceIntoTheHistory)
{
    if (!keepsData())
        GTEST_SKIP() << "keeps nothing over a restart";
    ServiceRun* run = &restart(0);
    const std::uint32_t voteId = run->create(judgeVote("judged", {2, 3}));
    const PStartVoteRes started = run->start(voteId);
    ASSERT_EQ(run->vote(run->viewer, voteId, started.jiFangId, kJudgeVote, 0, 4), 0u);

    run = &restart(400); // the judge vote's limit is 300 seconds
    // SQLite ends it as it resumes; Redis, shared by every node, at the first expiry check.
    run->core.tick();

    const auto history = run->history(run->manager);
    ASSERT_EQ(history.records.size(), 1u);
    EXPECT_EQ(history.records.begin()->second.optionTickets, (U32Map{{0, 4}}));
    EXPECT_EQ(run->vote(run->viewer, voteId, started.jiFangId, kJudgeVote, 0, 4), 10u) << "no longer running";
    // Ended but still open until a manager closes it: the next start is refused, the close works.
    EXPECT_EQ(run->start(voteId).result, 4u);
    EXPECT_EQ(run->close(voteId, started.jiFangId), 0u);

    run = &restart(1);
    run->core.tick();
    EXPECT_EQ(run->history(run->manager).records.size(), 1u) << "ended once, not again on the next restart";
    EXPECT_EQ(run->start(voteId).result, 0u) << "closed: nothing of it is resumed";
}

WebhookEvent webhookEvent(std::uint32_t channelId, const std::string& body, bool replaceable = false)
{
    WebhookEvent event;
    event.channelId = channelId;
    event.body = body;
    event.createdAtUnix = 1000;
    event.replaceable = replaceable;
    return event;
}

// A progress event of a sub-channel, with a body that names it as the sender's bodies do.
WebhookEvent progressEvent(std::uint32_t channelId, std::uint32_t subChannelId, const std::string& counts)
{
    WebhookEvent event = webhookEvent(
        channelId, R"({"subChannelId":)" + std::to_string(subChannelId) + R"(,"counts":")" + counts + "\"}",
        true);
    event.subChannelId = subChannelId;
    return event;
}

TEST_P(VoteStorageTest, WebhooksAreStoredShownAndRemoved)
{
    VoteStorage& storage = reopen();
    EXPECT_FALSE(storage.findWebhook(10));
    storage.setWebhook(10, {"https://example.org/hook", "secret-10", true});
    storage.setWebhook(11, {"https://example.org/other", "secret-11", false});
    ASSERT_TRUE(storage.commit());
    VoteStorage& after = keepsData() ? reopen() : storage;
    ASSERT_TRUE(after.findWebhook(10));
    EXPECT_EQ(after.findWebhook(10)->url, "https://example.org/hook");
    EXPECT_EQ(after.findWebhook(10)->secret, "secret-10");
    EXPECT_TRUE(after.findWebhook(10)->progress);
    EXPECT_FALSE(after.findWebhook(11)->progress);
    EXPECT_TRUE(after.removeWebhook(10));
    EXPECT_FALSE(after.removeWebhook(10));
    EXPECT_FALSE(after.findWebhook(10));
    EXPECT_TRUE(after.findWebhook(11));
}

// The queue's contract: heads in order, one claimed per channel at a time, retries, the bound (the
// oldest after the head goes), a waiting progress event replaced by the next, and what survives a
// restart.
TEST_P(VoteStorageTest, TheWebhookQueueDeliversEachChannelInOrderOneAtATime)
{
    VoteStorage* storage = &reopen();
    constexpr std::size_t kLimit = 3;
    for (const char* body : {"a1", "a2", "a3"})
        EXPECT_EQ(storage->queueWebhookEvent(webhookEvent(10, body), kLimit, 100), 0u);
    storage->queueWebhookEvent(webhookEvent(11, "b1"), kLimit, 100);
    ASSERT_TRUE(storage->commit());

    // One head of each channel; nothing more while they are claimed.
    std::map<std::uint32_t, WebhookEvent> heads;
    for (int i = 0; i < 2; ++i) {
        const auto claimed = storage->claimWebhookEvent(100, 60);
        ASSERT_TRUE(claimed);
        heads[claimed->channelId] = *claimed;
    }
    ASSERT_EQ(heads.size(), 2u);
    EXPECT_EQ(heads[10].body, "a1");
    EXPECT_EQ(heads[11].body, "b1");
    EXPECT_FALSE(storage->claimWebhookEvent(159, 60)) << "both heads are claimed";
    EXPECT_TRUE(storage->finishWebhookEvent(heads[11]));

    // A failed attempt: due again at 230, counted.
    storage->retryWebhookEvent(heads[10], 230);
    EXPECT_FALSE(storage->claimWebhookEvent(229, 60));
    const auto again = storage->claimWebhookEvent(230, 60);
    ASSERT_TRUE(again);
    EXPECT_EQ(again->body, "a1");
    EXPECT_EQ(again->attempts, 1u);

    // Full: the oldest event after the head (which may be out) is dropped.
    EXPECT_EQ(storage->queueWebhookEvent(webhookEvent(10, "a4"), kLimit, 230), 1u);
    EXPECT_EQ(storage->webhookQueueLength(10), kLimit);
    EXPECT_TRUE(storage->finishWebhookEvent(*again));
    EXPECT_FALSE(storage->finishWebhookEvent(*again)) << "no longer the head";

    // Progress waiting at the tail is replaced by the next of its sub-channel; never the head, and
    // never another sub-channel's, whose latest counts would be lost.
    storage->queueWebhookEvent(webhookEvent(12, "begin"), kLimit, 230);
    storage->queueWebhookEvent(progressEvent(12, 1, "p1"), kLimit, 230);
    storage->queueWebhookEvent(progressEvent(12, 1, "p2"), kLimit, 230);
    EXPECT_EQ(storage->webhookQueueLength(12), 2u);
    storage->queueWebhookEvent(progressEvent(12, 2, "q1"), kLimit, 230);
    storage->queueWebhookEvent(progressEvent(12, 2, "q2"), kLimit, 230);
    EXPECT_EQ(storage->webhookQueueLength(12), 3u);
    ASSERT_TRUE(storage->commit());

    if (keepsData())
        storage = &reopen();
    std::map<std::uint32_t, std::vector<std::string>> delivered;
    for (std::int64_t now = 300; now < 310; ++now) {
        while (const auto due = storage->claimWebhookEvent(now, 60)) {
            delivered[due->channelId].push_back(due->body);
            ASSERT_TRUE(storage->finishWebhookEvent(*due));
        }
    }
    EXPECT_EQ(delivered[10], (std::vector<std::string>{"a3", "a4"})) << "a2 was dropped";
    EXPECT_EQ(delivered[12], (std::vector<std::string>{"begin", progressEvent(12, 1, "p2").body,
                                                       progressEvent(12, 2, "q2").body}));
    EXPECT_EQ(storage->webhookQueueLength(10), 0u);
}

TEST_P(VoteStorageTest, AWebhookEventClaimedByOneRedisNodeIsNotTakenByAnother)
{
    if (GetParam() != Storage::Redis)
        GTEST_SKIP() << "shared by several processes in Redis only";
    VoteStorage& first = reopen();
    const std::unique_ptr<RedisBackend> second = otherRedisNode();
    ASSERT_TRUE(second);
    first.queueWebhookEvent(webhookEvent(10, "once"), 10, 100);
    const auto claimed = first.claimWebhookEvent(100, 60);
    ASSERT_TRUE(claimed);
    EXPECT_FALSE(second->storage().claimWebhookEvent(159, 60));
    // A node that died holding it: the claim runs out and another node delivers it.
    const auto taken = second->storage().claimWebhookEvent(160, 60);
    ASSERT_TRUE(taken);
    EXPECT_EQ(taken->id, claimed->id);
    EXPECT_TRUE(second->storage().finishWebhookEvent(*taken));
    EXPECT_FALSE(first.finishWebhookEvent(*claimed));
}

// A pending schedule is due from its second on and taken for its start by one claim only, and
// only while it is still the one for that second; a missed one is listed but never due.
TEST_P(VoteStorageTest, AScheduleIsDueAtItsSecondAndClaimedOnce)
{
    VoteStorage& storage = reopen();
    const VoteSchedule first{{10, 20}, 7, 1800000100, 1, "Ann", false};
    storage.saveSchedule(first);
    storage.saveSchedule(VoteSchedule{{10, 21}, 8, 1800000200, 2, "Bo Li", false});
    EXPECT_TRUE(storage.dueSchedules(1800000099, 16).empty());
    const std::vector<VoteSchedule> due = storage.dueSchedules(1800000100, 16);
    ASSERT_EQ(due.size(), 1u);
    EXPECT_EQ(
        std::make_tuple(due[0].place, due[0].voteId, due[0].atUnix, due[0].starterUid, due[0].starterNick),
        std::make_tuple(first.place, first.voteId, first.atUnix, first.starterUid, first.starterNick));
    EXPECT_EQ(storage.dueSchedules(1800000300, 1).size(), 1u) << "at most the limit";

    VoteSchedule later = first;
    later.atUnix += 1;
    EXPECT_FALSE(storage.claimSchedule(later)) << "not the second it is scheduled for";
    EXPECT_TRUE(storage.claimSchedule(first));
    EXPECT_FALSE(storage.claimSchedule(first)) << "claimed once";
    EXPECT_TRUE(storage.schedules({10, 20}).empty());

    VoteSchedule missed = first;
    missed.missed = true;
    storage.saveSchedule(missed);
    ASSERT_EQ(storage.schedules({10, 20}).size(), 1u);
    EXPECT_TRUE(storage.schedules({10, 20})[0].missed);
    EXPECT_FALSE(storage.claimSchedule(missed));
    EXPECT_EQ(storage.dueSchedules(1800000300, 16).size(), 1u) << "only the other place's";
    EXPECT_EQ(storage.schedules({10, 21})[0].starterNick, "Bo Li");
    EXPECT_TRUE(storage.removeSchedule({10, 20}, 7));
    EXPECT_FALSE(storage.removeSchedule({10, 20}, 7));
}

// Schedules are kept with the votes: a restarted service starts the one whose second came while it
// was down at its first check, and still lists the one to come.
TEST_P(VoteStorageTest, SchedulesSurviveARestart)
{
    if (!keepsData())
        GTEST_SKIP() << "keeps nothing over a restart";
    ServiceRun* run = &restart(0);
    const std::uint32_t due = run->create(normalVote("due while down", 2, 1, 1));
    const std::uint32_t later = run->create(normalVote("later", 2, 1, 1));
    const std::int64_t now = clock.unixSeconds();
    ASSERT_EQ(run->schedule(due, now + 30), 0u);
    ASSERT_EQ(run->schedule(later, now + 3600), 0u);

    run = &restart(60);
    clock.advanceMs(250);
    run->core.tick();

    const auto started = run->sink.last<PBroadcastVote>(run->viewer, VOTE_SYSTEM_BROADCAST_VOTE);
    EXPECT_EQ(started.status, kVoteStarted);
    EXPECT_EQ(started.vote.voteId, due);
    run->request(run->manager, VOTE_SYSTEM_QUERY_ALL_VOTE_REQ, PQueryAllVoteReq{10, 20, {}});
    EXPECT_EQ(run->sink.last<PQueryAllVoteRes>(run->manager, VOTE_SYSTEM_QUERY_ALL_VOTE_RES).extend,
              (ExtendMap{{"schedule:" + std::to_string(later), std::to_string(now + 3600) + " pending"}}));
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
