// Start, user votes, end and close through a proxy that cuts the connection to Redis at the worst
// moment: after Redis ran the script, before its reply arrives. The node sends the same ballot
// again and answers what really happened, which took effect once; a ballot that reached Redis only
// after its deadline is refused and was not counted. The scripts' ballot records themselves are
// checked on a plain connection.

#include "tests/support/cuttingproxy.h"
#include "voteservice/redis/redisbackend.h"
#include "voteservice/redis/rediskeys.h"
#include "tests/support/redistestserver.h"
#include "voteservice/core/resultcode.h"
#include "tests/support/servicetestsupport.h"

#include <gtest/gtest.h>

#include <chrono>

using namespace quorix;
using namespace quorix::service;
using namespace quorix::service::test;

namespace {

const SubChannelKey kPlace{10, 20};
constexpr std::int64_t kNow = 1800000000;
constexpr std::uint32_t kViewer = 7;

class RedisExactlyOnceTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!RedisTestServer::installed())
            GTEST_SKIP() << "redis-server is not installed (scripts/setup installs it)";
        ASSERT_TRUE(m_redis.start()) << "redis-server did not start";
        m_proxy = std::make_unique<CuttingProxy>(m_redis.port());
        std::string error;
        node = RedisBackend::open(RedisAddress::tcp("127.0.0.1", m_proxy->port()), error);
        checker = RedisBackend::open(m_redis.redisAddress(), error);
        ASSERT_TRUE(node && checker) << error;
    }

    std::uint32_t castThroughCut(const SharedOpenVote& vote, std::uint32_t optionId)
    {
        const PUserVoteReq req{10, 20, vote.record.voteId, kNormalVote, vote.jiFangId, kViewer, optionId,
                               1,  {}};
        std::uint32_t result = 999;
        node->box().cast(kPlace, kViewer, req, [&](std::uint32_t code) { result = code; });
        node->box().flush();
        return result;
    }

    std::uint32_t ticketsUsed(const VoteInfo& record)
    {
        TicketUse use;
        EXPECT_TRUE(checker->box().ticketUse(kPlace, kViewer, record, use));
        return use.used;
    }

    RedisTestServer m_redis;
    std::unique_ptr<CuttingProxy> m_proxy;
    std::unique_ptr<RedisBackend> node, checker;
};

} // namespace

TEST_F(RedisExactlyOnceTest, EveryChangeAnswersItsTrueResultWhenTheReplyIsCut)
{
    VoteInfo record = normalVote("cut", 3, 3, 2);
    record.voteId = node->storage().addVote(kPlace, record);
    record.ownerUid = 1;
    record.optionTickets = {{0, 0}, {1, 0}, {2, 0}};

    m_proxy->cutAfterReply("EVALSHA");
    SharedOpenVote opened;
    ASSERT_EQ(node->box().start(kPlace, record, kNow, "boss", opened), kResultOk);
    std::optional<SharedOpenVote> seen;
    ASSERT_TRUE(checker->box().load(kPlace, seen) && seen);
    EXPECT_EQ(seen->jiFangId, opened.jiFangId) << "the retry must not have opened another round";

    // The option's allowance of 2 would hide a second count: each cut vote must count exactly once.
    for (std::uint32_t option : {0u, 0u, 1u}) {
        m_proxy->cutAfterReply("EVALSHA");
        EXPECT_EQ(castThroughCut(opened, option), kResultOk) << "option " << option;
    }
    ASSERT_TRUE(checker->box().load(kPlace, seen) && seen);
    EXPECT_EQ(seen->record.optionTickets, (U32Map{{0, 2}, {1, 1}, {2, 0}}));
    EXPECT_EQ(ticketsUsed(seen->record), 3u);

    HistoryEntry entry;
    entry.endedAtUnix = kNow + 5;
    entry.startedAtUnix = kNow;
    entry.record.name = "cut";
    entry.record.options = record.options;
    m_proxy->cutAfterReply("EVALSHA");
    EXPECT_EQ(node->box().end(kPlace, record.voteId, opened.jiFangId, entry), kResultOk);
    const auto history = checker->storage().history(kPlace, 0);
    ASSERT_EQ(history.size(), 1u);
    EXPECT_EQ(history[0].record.optionTickets, (U32Map{{0, 2}, {1, 1}, {2, 0}}));

    m_proxy->cutAfterReply("EVALSHA");
    EXPECT_EQ(node->box().close(kPlace, record.voteId, opened.jiFangId), kResultOk);
    ASSERT_TRUE(checker->box().load(kPlace, seen));
    EXPECT_FALSE(seen.has_value());
    EXPECT_EQ(m_proxy->cuts(), 6);
}

TEST_F(RedisExactlyOnceTest, AVoteReachingRedisOnlyAfterItsDeadlineIsRefusedAndNotCounted)
{
    VoteInfo record = normalVote("late", 2, 2, 1);
    record.voteId = node->storage().addVote(kPlace, record);
    record.optionTickets = {{0, 0}, {1, 0}};
    SharedOpenVote opened;
    ASSERT_EQ(node->box().start(kPlace, record, kNow, "boss", opened), kResultOk);

    m_proxy->cutBefore("EVALSHA", int(RedisBallots::kDeadlineMs) + 500);
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(castThroughCut(opened, 0), kResultStorageUnavailable);
    EXPECT_LT(std::chrono::steady_clock::now() - started,
              std::chrono::milliseconds(RedisBallots::kDeadlineMs + RedisBallots::kResolveMs));
    std::optional<SharedOpenVote> seen;
    ASSERT_TRUE(checker->box().load(kPlace, seen) && seen);
    EXPECT_EQ(seen->record.optionTickets, (U32Map{{0, 0}, {1, 0}}));
    EXPECT_EQ(ticketsUsed(seen->record), 0u);

    EXPECT_EQ(castThroughCut(opened, 0), kResultOk) << "the node carries on once Redis answers";
}

// The cast script on a plain connection: what a ballot's record makes of repeated and late copies.
TEST_F(RedisExactlyOnceTest, TheScriptRecordsEachBallotsResult)
{
    RedisConnection plain(m_redis.redisAddress());
    RedisScripts scripts;
    plain.setConnectedHook([&](RedisConnection& connection) { return scripts.load(connection); });
    std::string error;
    ASSERT_TRUE(plain.connect(error)) << error;
    VoteInfo record = normalVote("records", 2, 1, 1);
    record.voteId = node->storage().addVote(kPlace, record);
    record.optionTickets = {{0, 0}, {1, 0}};
    SharedOpenVote opened;
    ASSERT_EQ(node->box().start(kPlace, record, kNow, "boss", opened), kResultOk);

    const RedisReply time = plain.command({"TIME"});
    const std::int64_t redisNowMs = std::stoll(time->element[0]->str) * 1000;
    struct Row
    {
        const char* ballot;
        std::int64_t deadlineFromNowMs;
        std::uint32_t optionId;
        long long expected;
    };
    const Row rows[] = {
        {"a", 10000, 0, kResultOk},
        {"a", 10000, 1, kResultOk},            // a copy: the first result, not "no tickets left"
        {"b", 10000, 1, kResultNoTicketsLeft}, // a new ballot meets the allowance
        {"b", 10000, 0, kResultNoTicketsLeft},
        {"c", -1000, 1, RedisBallots::kPastDeadline},
        {"c", 10000, 1, RedisBallots::kPastDeadline}, // a late ballot stays refused
    };
    for (const Row& row : rows) {
        const RedisReply reply = scripts.call(
            plain, RedisScripts::Cast,
            {RedisKeys::open(kPlace), RedisKeys::counts(kPlace), RedisKeys::tickets(kPlace),
             RedisKeys::ballot(kPlace.channelId, std::string("test:") + row.ballot)},
            {std::to_string(record.voteId), std::to_string(opened.jiFangId), "0", std::to_string(kViewer),
             std::to_string(row.optionId), "1", std::to_string(redisNowMs + row.deadlineFromNowMs)});
        ASSERT_TRUE(reply && reply->type == REDIS_REPLY_INTEGER);
        EXPECT_EQ(reply->integer, row.expected) << "ballot " << row.ballot;
        const RedisReply ttl =
            plain.command({"TTL", RedisKeys::ballot(kPlace.channelId, std::string("test:") + row.ballot)});
        EXPECT_GT(ttl->integer, RedisBallots::kRecordSeconds - 5);
    }
    std::optional<SharedOpenVote> seen;
    ASSERT_TRUE(checker->box().load(kPlace, seen) && seen);
    EXPECT_EQ(seen->record.optionTickets, (U32Map{{0, 1}, {1, 0}}));
}
