// The shared open-vote scripts against a real redis-server, with two backends on it standing for
// two service processes: allowances, judge rules, one open vote per sub-channel, ending once into
// the history, notices, and what happens when Redis goes away.

#include "voteservice/redis/redisbackend.h"
#include "voteservice/redis/rediskeys.h"
#include "voteservice/redis/redislayoutupgrade.h"
#include "voteservice/redis/redisclusterslots.h"
#include "tests/support/redistestcluster.h"
#include "tests/support/redistestserver.h"
#include "voteservice/core/resultcode.h"
#include "tests/support/servicetestsupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <thread>

using namespace quorix;
using namespace quorix::service;
using namespace quorix::service::test;

namespace {

const SubChannelKey kPlace{10, 20};
constexpr std::int64_t kNow = 1800000000;

class RedisBallotBoxTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!RedisTestServer::installed())
            GTEST_SKIP() << "redis-server is not installed (scripts/setup installs it)";
        ASSERT_TRUE(m_redis.start()) << "redis-server did not start";
        std::string error;
        a = RedisBackend::open(m_redis.redisAddress(), error);
        b = RedisBackend::open(m_redis.redisAddress(), error);
        ASSERT_TRUE(a && b) << error;
    }

    SharedOpenVote start(RedisBackend& node, const VoteInfo& stored, const SubChannelKey& place = kPlace)
    {
        VoteInfo record = stored;
        record.voteId = node.storage().addVote(place, stored);
        record.ownerUid = 1;
        record.optionTickets.clear();
        for (const auto& [optionId, text] : record.options)
            record.optionTickets[optionId] = 0;
        if (record.voteType == kJudgeVote)
            record.optionTickets = {{0, 0}};
        SharedOpenVote opened;
        EXPECT_EQ(node.box().start(place, record, kNow, "boss", opened), kResultOk);
        return opened;
    }

    static std::uint32_t cast(RedisBackend& node, const SharedOpenVote& vote, std::uint32_t uid,
                              std::uint32_t optionId, std::uint32_t tickets,
                              const SubChannelKey& place = kPlace)
    {
        const PUserVoteReq req{place.channelId,
                               place.subChannelId,
                               vote.record.voteId,
                               vote.record.voteType,
                               vote.jiFangId,
                               uid,
                               optionId,
                               tickets,
                               {}};
        std::uint32_t result = 999;
        node.box().cast(place, uid, req, [&](std::uint32_t code) { result = code; });
        node.box().flush();
        return result;
    }

    RedisTestServer m_redis;
    std::unique_ptr<RedisBackend> a, b;
};

struct CastRow
{
    int node; // 0: a, 1: b
    std::uint32_t uid, optionId, tickets, expected;
};

// Votes on normalVote("split", 3, 3, 2) split between the processes; they leave the counts
// kSplitCounts.
const CastRow kSplitVotes[] = {
    {0, 7, 0, 1, kResultOk},
    {1, 7, 0, 1, kResultOk},
    {0, 7, 0, 1, kResultOptionFull},
    {1, 7, 1, 1, kResultOk},
    {0, 7, 2, 1, kResultNoTicketsLeft},
    {1, 8, 5, 1, kResultNoSuchOption},
    {0, 8, 1, 2, kResultBadTicketCount},
    {1, 8, 1, 1, kResultOk},
};
const U32Map kSplitCounts{{0, 2}, {1, 2}, {2, 0}};

} // namespace

TEST_F(RedisBallotBoxTest, AllowancesHoldWhenVotesAreSplitBetweenProcesses)
{
    const SharedOpenVote vote = start(*a, normalVote("split", 3, 3, 2));
    for (const CastRow& row : kSplitVotes) {
        EXPECT_EQ(cast(row.node == 0 ? *a : *b, vote, row.uid, row.optionId, row.tickets), row.expected)
            << "node " << row.node << " uid " << row.uid << " option " << row.optionId;
    }
    SharedOpenVote stale = vote;
    stale.jiFangId += 1;
    EXPECT_EQ(cast(*b, stale, 9, 0, 1), kResultNotRunning);
    stale = vote;
    stale.record.voteType = kGroupVote;
    EXPECT_EQ(cast(*b, stale, 9, 0, 1), kResultWrongVoteType);

    std::optional<SharedOpenVote> seen;
    ASSERT_TRUE(b->box().load(kPlace, seen));
    ASSERT_TRUE(seen && seen->running);
    EXPECT_EQ(seen->record.optionTickets, kSplitCounts);
    TicketUse use;
    ASSERT_TRUE(a->box().ticketUse(kPlace, 7, seen->record, use));
    EXPECT_EQ(use.used, 3u);
    EXPECT_EQ(use.perOption, (U32Map{{0, 2}, {1, 1}}));
}

TEST_F(RedisBallotBoxTest, JudgesScoreOnceWithinTheRange)
{
    const SharedOpenVote vote = start(*a, judgeVote("judged", {21, 22}));
    const CastRow rows[] = {
        {0, 21, 0, 3, kResultOk},
        {1, 21, 0, 4, kResultAlreadyScored},
        {1, 23, 0, 3, kResultNotAJudge},
        {0, 22, 1, 3, kResultNoSuchOption},
        {1, 22, 0, 6, kResultBadTicketCount},
        {1, 22, 0, 0, kResultBadTicketCount},
        {1, 22, 0, 5, kResultOk},
    };
    for (const CastRow& row : rows)
        EXPECT_EQ(cast(row.node == 0 ? *a : *b, vote, row.uid, row.optionId, row.tickets), row.expected)
            << "judge " << row.uid << " points " << row.tickets;
    std::optional<SharedOpenVote> seen;
    ASSERT_TRUE(a->box().load(kPlace, seen));
    ASSERT_TRUE(seen);
    EXPECT_EQ(seen->record.optionTickets, (U32Map{{0, 8}}));
    EXPECT_EQ(seen->record.judges.at(21).points, 3u);
    EXPECT_EQ(seen->record.judges.at(22).points, 5u);
}

TEST_F(RedisBallotBoxTest, OneOpenVotePerPlaceEndedOnceIntoTheHistory)
{
    const SharedOpenVote vote = start(*a, normalVote("once", 2, 1, 1));
    EXPECT_GE(vote.jiFangId, std::uint32_t(kNow));
    SharedOpenVote other;
    VoteInfo second = normalVote("second", 2, 1, 1);
    second.voteId = b->storage().addVote(kPlace, second);
    EXPECT_EQ(b->box().start(kPlace, second, kNow, "other", other), kResultAnotherVoteOpen);
    const SharedOpenVote elsewhere = start(*b, second, SubChannelKey{10, 21});
    EXPECT_NE(elsewhere.jiFangId, vote.jiFangId);
    ASSERT_EQ(cast(*b, vote, 7, 1, 1), kResultOk);

    HistoryEntry entry;
    entry.endedAtUnix = kNow + 5;
    entry.startedAtUnix = kNow;
    entry.record.name = "once";
    entry.record.options = vote.record.options;
    EXPECT_TRUE(a->box().expired(kNow + 299).empty());
    EXPECT_EQ(a->box().expired(kNow + 300), (std::vector<SubChannelKey>{kPlace, SubChannelKey{10, 21}}));
    EXPECT_EQ(b->box().end(kPlace, vote.record.voteId, vote.jiFangId, entry), kResultOk);
    EXPECT_EQ(a->box().expired(kNow + 300), (std::vector<SubChannelKey>{SubChannelKey{10, 21}}));
    EXPECT_EQ(a->box().end(kPlace, vote.record.voteId, vote.jiFangId, entry), kResultEndNotFound);
    EXPECT_EQ(cast(*a, vote, 8, 0, 1), kResultNotRunning);
    const auto history = a->storage().history(kPlace, kNow);
    ASSERT_EQ(history.size(), 1u);
    EXPECT_EQ(history[0].record.optionTickets, (U32Map{{0, 0}, {1, 1}}));
    EXPECT_EQ(history[0].endedAtUnix, kNow + 5);
    EXPECT_EQ(history[0].startedAtUnix, kNow);

    EXPECT_EQ(a->box().close(kPlace, vote.record.voteId, vote.jiFangId + 1), kResultNotFound);
    EXPECT_EQ(a->box().close(kPlace, vote.record.voteId, vote.jiFangId), kResultOk);
    std::optional<SharedOpenVote> gone;
    ASSERT_TRUE(b->box().load(kPlace, gone));
    EXPECT_FALSE(gone);
    EXPECT_GT(start(*b, second).jiFangId, elsewhere.jiFangId);
}

TEST_F(RedisBallotBoxTest, NoticesReachTheOtherProcessOnly)
{
    a->box().announce(Notice{NoticeKind::Counted, kPlace, 5, 77});
    a->box().flush();
    std::vector<Notice> got;
    for (int i = 0; i < 100 && got.empty(); ++i) {
        got = b->box().takeNotices();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].kind, NoticeKind::Counted);
    EXPECT_EQ(got[0].place, kPlace);
    EXPECT_EQ(got[0].jiFangId, 77u);
    EXPECT_TRUE(a->box().takeNotices().empty());
}

TEST_F(RedisBallotBoxTest, ForgottenScriptsAreSentAgain)
{
    const SharedOpenVote vote = start(*a, normalVote("flushed", 2, 3, 2));
    ASSERT_TRUE(a->connection().command({"SCRIPT", "FLUSH"}));
    EXPECT_EQ(cast(*a, vote, 7, 0, 1), kResultOk);
    EXPECT_EQ(cast(*b, vote, 7, 0, 1), kResultOk);
    EXPECT_EQ(cast(*b, vote, 7, 0, 1), kResultOptionFull);
}

TEST_F(RedisBallotBoxTest, RedisGoneRefusesAndComesBack)
{
    const SharedOpenVote vote = start(*a, normalVote("gone", 2, 2, 2));
    m_redis.stop();
    EXPECT_EQ(cast(*a, vote, 7, 0, 1), kResultStorageUnavailable);
    SharedOpenVote opened;
    EXPECT_EQ(a->box().start(SubChannelKey{10, 22}, vote.record, kNow, "boss", opened),
              kResultStartStorageError);
    EXPECT_EQ(a->box().end(kPlace, vote.record.voteId, vote.jiFangId, HistoryEntry{}),
              kResultEndStorageError);
    EXPECT_THROW(a->storage().votes(kPlace), StorageUnavailable);
    std::optional<SharedOpenVote> seen;
    EXPECT_FALSE(a->box().load(kPlace, seen));

    ASSERT_TRUE(m_redis.start());
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    // A fresh Redis without persistence: the connection and its scripts are back, the vote is not.
    EXPECT_EQ(cast(*a, vote, 7, 0, 1), kResultNotRunning);
    EXPECT_EQ(start(*a, normalVote("again", 2, 2, 2)).record.name, "again");
}

TEST_F(RedisBallotBoxTest, StorageKeepsVotesUsersAndPrunesOldHistory)
{
    RedisVoteStorage& storage = a->storage();
    const std::uint32_t first = storage.addVote(kPlace, normalVote("first", 2, 1, 1));
    const std::uint32_t second = b->storage().addVote(kPlace, normalVote("second", 2, 1, 1));
    EXPECT_NE(first, second);
    VoteList list = storage.votes(kPlace);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].name, "first");
    EXPECT_EQ(list[1].voteId, second);
    VoteInfo renamed = list[0];
    renamed.name = "renamed";
    EXPECT_TRUE(b->storage().replaceVote(kPlace, renamed));
    EXPECT_EQ(storage.findVote(kPlace, first)->name, "renamed");
    renamed.voteId = 999;
    EXPECT_FALSE(storage.replaceVote(kPlace, renamed));
    EXPECT_TRUE(storage.removeVote(kPlace, second));
    EXPECT_FALSE(storage.removeVote(kPlace, second));
    EXPECT_FALSE(storage.findVote(kPlace, second));

    storage.recordUser(4711, DirectoryEntry{7, "名字 with spaces", kNow - 100});
    storage.recordUser(4713, DirectoryEntry{8, "seen later", kNow + 100});
    storage.commit();
    const auto user = b->storage().findUser(4711);
    ASSERT_TRUE(user);
    EXPECT_EQ(user->uid, 7u);
    EXPECT_EQ(user->nick, "名字 with spaces");
    EXPECT_FALSE(b->storage().findUser(4712));

    for (std::int64_t endedAt : {kNow - 100, kNow, kNow + 100}) {
        HistoryEntry entry;
        entry.endedAtUnix = endedAt;
        entry.startedAtUnix = endedAt - 60;
        entry.record.name = std::to_string(endedAt);
        storage.addHistory(kPlace, entry);
    }
    const SubChannelKey oldPlace{10, 21};
    HistoryEntry old;
    old.endedAtUnix = kNow - 100;
    storage.addHistory(oldPlace, old);
    storage.pruneHistory(kNow);
    EXPECT_FALSE(b->storage().findUser(4711)) << "unseen since the cut: pruned";
    EXPECT_TRUE(b->storage().findUser(4713));
    const auto isHistoryPlace = [&](const SubChannelKey& place) {
        return a->connection()
            .command({"SISMEMBER", RedisKeys::historyPlaces(place.channelId), RedisKeys::place(place)})
            ->integer;
    };
    EXPECT_EQ(isHistoryPlace(kPlace), 1);
    EXPECT_EQ(isHistoryPlace(oldPlace), 0) << "a place left without history is forgotten";
    auto kept = b->storage().history(kPlace, 0);
    ASSERT_EQ(kept.size(), 2u);
    EXPECT_EQ(kept[0].endedAtUnix, kNow + 100); // newest first
    EXPECT_EQ(kept[0].startedAtUnix, kNow + 40);
    EXPECT_EQ(kept[1].endedAtUnix, kNow);
    EXPECT_EQ(kept[1].startedAtUnix, kNow - 60);
    const RedisReply starts = a->connection().command({"HLEN", RedisKeys::historyStarts(kPlace)});
    ASSERT_TRUE(starts);
    EXPECT_EQ(starts->integer, 2) << "a pruned entry's start goes with it";

    // History written before starts were kept reads as having none.
    a->connection().command({"DEL", RedisKeys::historyStarts(kPlace)});
    kept = b->storage().history(kPlace, 0);
    ASSERT_EQ(kept.size(), 2u);
    EXPECT_EQ(kept[0].startedAtUnix, 0);
    EXPECT_EQ(kept[0].record.name, std::to_string(kNow + 100));
}

TEST_F(RedisBallotBoxTest, VoteCountsFollowAddsAndRemovalsOnEveryProcess)
{
    expectVoteCountsFollowChanges(a->storage());
    b->storage().addVote({10, 20}, normalVote("from b", 2, 1, 1));
    b->storage().addVote({11, 20}, normalVote("from b", 2, 1, 1));
    EXPECT_EQ(a->storage().channelVoteCount(10), 1u);
    EXPECT_EQ(a->storage().channelVoteCount(11), 1u);
    EXPECT_EQ(a->storage().totalVoteCount(), 2u);
}

TEST_F(RedisBallotBoxTest, KeysOfTheLayoutBeforeHashTagsAreMovedOnceAtStart)
{
    const SharedOpenVote vote = start(*a, normalVote("carried over", 2, 1, 1));
    ASSERT_EQ(cast(*b, vote, 7, 1, 1), kResultOk);
    const SubChannelKey historyPlace{10, 21};
    HistoryEntry ended;
    ended.endedAtUnix = kNow - 10;
    ended.record.name = "ended before";
    a->storage().addHistory(historyPlace, ended);
    a->storage().recordUser(4711, DirectoryEntry{7, "old nick", kNow});
    a->storage().commit();

    // The same state under the names it had before the keys carried hash tags.
    struct Rename
    {
        std::string now, before;
    };
    const Rename renames[] = {
        {RedisKeys::votes(kPlace), "quorix:votes:10:20"},
        {RedisKeys::open(kPlace), "quorix:open:10:20"},
        {RedisKeys::counts(kPlace), "quorix:counts:10:20"},
        {RedisKeys::tickets(kPlace), "quorix:tickets:10:20"},
        {RedisKeys::historyIndex(historyPlace), "quorix:hist:10:21"},
        {RedisKeys::historyRecords(historyPlace), "quorix:histrec:10:21"},
        {RedisKeys::historyStarts(historyPlace), "quorix:histstart:10:21"},
        {RedisKeys::deadlines(10), "quorix:deadlines"},
        {RedisKeys::historyPlaces(10), "quorix:histplaces"},
        {RedisKeys::jiFangCounter(10), "quorix:jifang"},
        {RedisKeys::users(), "quorix:users"},
        {RedisKeys::usersSeen(), "quorix:usersseen"},
    };
    RedisCommands& redis = a->connection();
    for (const Rename& rename : renames)
        ASSERT_EQ(redis.command({"RENAME", rename.now, rename.before})->type, REDIS_REPLY_STATUS)
            << rename.now;
    redis.command(
        {"HSET", "quorix:channelvotes", "10", redis.command({"GET", RedisKeys::channelVoteCount(10)})->str});
    redis.command({"DEL", RedisKeys::channelVoteCount(10), RedisKeys::runningChannels(),
                   RedisKeys::historyChannels(), RedisKeys::layout()});

    std::string error;
    const auto upgraded = RedisBackend::open(m_redis.redisAddress(), error);
    ASSERT_TRUE(upgraded) << error;
    for (const Rename& rename : renames)
        EXPECT_EQ(redis.command({"EXISTS", rename.before})->integer, 0) << rename.before;
    EXPECT_EQ(redis.command({"EXISTS", "quorix:channelvotes"})->integer, 0);
    EXPECT_EQ(upgraded->storage().votes(kPlace).size(), 1u);
    EXPECT_EQ(upgraded->storage().channelVoteCount(10), 1u);
    EXPECT_EQ(upgraded->storage().totalVoteCount(), 1u);
    std::optional<SharedOpenVote> seen;
    ASSERT_TRUE(upgraded->box().load(kPlace, seen) && seen);
    EXPECT_EQ(seen->jiFangId, vote.jiFangId);
    EXPECT_EQ(seen->record.optionTickets, (U32Map{{0, 0}, {1, 1}}));
    EXPECT_EQ(cast(*upgraded, vote, 7, 0, 1), kResultNoTicketsLeft) << "the tickets used came along";
    const auto expired = upgraded->box().expired(vote.endsAtUnix);
    EXPECT_EQ(expired, std::vector<SubChannelKey>{kPlace}) << "the running vote still ends on time";
    const auto history = upgraded->storage().history(historyPlace, 0);
    ASSERT_EQ(history.size(), 1u);
    EXPECT_EQ(history[0].record.name, "ended before");
    ASSERT_TRUE(upgraded->storage().findUser(4711));
    EXPECT_EQ(upgraded->storage().findUser(4711)->nick, "old nick");
    upgraded->storage().pruneHistory(kNow);
    EXPECT_TRUE(upgraded->storage().history(historyPlace, 0).empty()) << "the moved history is pruned";

    // Once only: an old name written after the upgrade is not the service's any more.
    redis.command({"HSET", "quorix:votes:10:22", "1", "stray"});
    EXPECT_EQ(RedisLayoutUpgrade::run(redis, error), 0);
    EXPECT_EQ(redis.command({"EXISTS", "quorix:votes:10:22"})->integer, 1);
    SharedOpenVote next;
    VoteInfo record = normalVote("next", 2, 1, 1);
    record.voteId = upgraded->storage().addVote({10, 23}, record);
    ASSERT_EQ(upgraded->box().start({10, 23}, record, kNow, "boss", next), kResultOk);
    EXPECT_GT(next.jiFangId, vote.jiFangId) << "the channel's jiFangIds go on from the old counter";
}

// Two processes on a Redis Cluster of three primaries, one channel on each.
class RedisClusterBallotBoxTest : public RedisBallotBoxTest
{
protected:
    // replicated: each primary has a replica, and the nodes log in as the documented ACL's user.
    explicit RedisClusterBallotBoxTest(bool replicated = false) : m_cluster(3, replicated ? 1 : 0)
    {
        if (replicated)
            m_cluster.useServiceAcl();
    }

    void SetUp() override
    {
        if (!RedisTestServer::installed())
            GTEST_SKIP() << "redis-server is not installed (scripts/setup installs it)";
        std::string error;
        ASSERT_TRUE(m_cluster.start(&error)) << error;
        a = RedisBackend::openCluster(m_cluster.seeds(), error);
        b = RedisBackend::openCluster(m_cluster.seeds(), error);
        ASSERT_TRUE(a && b) << error;
        for (std::uint32_t channel = 1; m_places.size() < 3; ++channel) {
            const int primary = m_cluster.primaryOf(RedisClusterSlots::slot(RedisKeys::channel(channel)));
            if (std::none_of(m_places.begin(), m_places.end(), [&](const SubChannelKey& place) {
                    return m_primaryOf[place.channelId] == primary;
                })) {
                m_primaryOf[channel] = primary;
                m_places.push_back(SubChannelKey{channel, 20});
            }
        }
    }

    RedisTestCluster m_cluster;
    std::vector<SubChannelKey> m_places;
    std::map<std::uint32_t, int> m_primaryOf;
};

TEST_F(RedisClusterBallotBoxTest, ProcessesShareVotesOnEveryShardAndFollowAMovedSlot)
{
    std::vector<SharedOpenVote> votes;
    for (const SubChannelKey& place : m_places) {
        SCOPED_TRACE("channel " + std::to_string(place.channelId));
        votes.push_back(start(*a, normalVote("split", 3, 3, 2), place));
        for (const CastRow& row : kSplitVotes)
            EXPECT_EQ(cast(row.node == 0 ? *a : *b, votes.back(), row.uid, row.optionId, row.tickets, place),
                      row.expected);
        std::optional<SharedOpenVote> seen;
        ASSERT_TRUE(b->box().load(place, seen) && seen);
        EXPECT_EQ(seen->record.optionTickets, kSplitCounts);
    }
    EXPECT_EQ(a->storage().totalVoteCount(), 3u);
    EXPECT_EQ(b->storage().channelVoteCount(m_places[0].channelId), 1u);
    auto expired = b->box().expired(kNow + 300);
    std::sort(expired.begin(), expired.end(),
              [](const SubChannelKey& x, const SubChannelKey& y) { return x.channelId < y.channelId; });
    EXPECT_EQ(expired, m_places) << "every shard's deadlines are scanned";

    // The first channel's slot moves to the next primary: both processes still hold the old map.
    const SubChannelKey moved = m_places[0];
    std::string error;
    ASSERT_TRUE(m_cluster.moveSlot(RedisClusterSlots::slot(RedisKeys::channel(moved.channelId)),
                                   (m_primaryOf[moved.channelId] + 1) % 3, &error))
        << error;
    EXPECT_EQ(cast(*a, votes[0], 9, 2, 1, moved), kResultOk) << "the script followed MOVED";
    EXPECT_EQ(cast(*b, votes[0], 9, 2, 1, moved), kResultOk);
    EXPECT_EQ(cast(*b, votes[0], 9, 2, 1, moved), kResultOptionFull);
    HistoryEntry entry;
    entry.endedAtUnix = kNow + 5;
    entry.record.name = "moved";
    EXPECT_EQ(a->box().end(moved, votes[0].record.voteId, votes[0].jiFangId, entry), kResultOk);
    const auto history = b->storage().history(moved, 0);
    ASSERT_EQ(history.size(), 1u);
    EXPECT_EQ(history[0].record.optionTickets, (U32Map{{0, 2}, {1, 2}, {2, 2}}));
}

class RedisClusterReplicaBallotBoxTest : public RedisClusterBallotBoxTest
{
protected:
    RedisClusterReplicaBallotBoxTest() : RedisClusterBallotBoxTest(true) {}
};

// A vote queued for a slot that moved is taken up on the slot's new primary, which the batch's WAIT
// (sent where the vote was queued) does not ask: it is answered 0 only once that primary's own
// replica confirmed it, else as uncertain.
TEST_F(RedisClusterReplicaBallotBoxTest, AVoteTakenUpOnAnotherPrimaryWaitsForThatPrimarysReplica)
{
    // Each primary's replica online (it acknowledges), then every write waits for one.
    for (const int primary : m_cluster.primaries()) {
        RedisConnection admin(m_cluster.server(primary).adminAddress());
        std::string error;
        ASSERT_TRUE(admin.connect(error)) << error;
        RedisReply acked;
        for (int tries = 0;
             tries < 50 && !(acked && acked->type == REDIS_REPLY_INTEGER && acked->integer >= 1); ++tries)
            acked = admin.command({"WAIT", "1", "200"});
        ASSERT_TRUE(acked && acked->integer >= 1) << "primary " << primary << " has no replica online";
    }
    for (RedisBackend* node : {a.get(), b.get()})
        node->waitForReplicas(1);
    const SubChannelKey place = m_places[0];
    // A replica that acknowledges late (a busy machine) makes a write uncertain; the start is
    // tried again then, as a manager would.
    std::optional<SharedOpenVote> started;
    for (int tries = 0; tries < 5 && !started; ++tries) {
        try {
            VoteInfo record = normalVote("moved", 3, 3, 2);
            record.voteId = a->storage().addVote(place, record);
            record.ownerUid = 1;
            record.optionTickets = {{0, 0}, {1, 0}, {2, 0}};
            SharedOpenVote opened;
            if (a->box().start(place, record, kNow, "boss", opened) == kResultOk)
                started = opened;
        } catch (const StorageUnavailable&) {
        }
    }
    if (!started)
        GTEST_SKIP() << "no start was confirmed by a replica in time on this machine";
    const SharedOpenVote& vote = *started;
    const std::uint16_t slot = RedisClusterSlots::slot(RedisKeys::channel(place.channelId));
    const int from = m_primaryOf[place.channelId];
    const std::vector<int> primaries = m_cluster.primaries();
    const int to = primaries[0] == from ? primaries[1] : primaries[0];
    std::string error;
    ASSERT_TRUE(m_cluster.moveSlot(slot, to, &error)) << error;
    m_cluster.cutReplication(to);
    EXPECT_EQ(cast(*a, vote, 9, 2, 1, place), kResultStorageUnavailable)
        << "confirmed by the replica of the primary that no longer has the slot";
}
