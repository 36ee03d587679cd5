// Two quorix-voted processes sharing one redis-server, with clients on both: allowances hold
// when a viewer splits votes between them, both sides see the same counts, ends, closes, lists
// and history, a vote whose time ran out ends once, and when one process is killed its clients
// carry on at the other with the vote still running; a revocation reaches both. How the nodes reach
// their Redis: a vote over TLS with the ACL docs/install.md gives, one over a Unix socket, and
// the starts refused for wrong credentials, a Redis that evicts keys and an ACL lacking a command;
// after Redis restarts (its append-only file replayed under the ACL), the nodes log in again and
// go on with the vote. On a Redis Cluster both nodes deliver a channel's webhook events, once each
// and in order, to a receiver over TLS.

#include <quorix/protocol/hostcontrol.h>
#include "voteservice/redis/redisballots.h"
#include "voteservice/redis/redisclusterslots.h"
#include "voteservice/redis/rediskeys.h"
#include "tests/support/redistestcluster.h"
#include "tests/support/redistestserver.h"
#include "voteservice/core/resultcode.h"
#include "tests/support/servicetestsupport.h"
#include "voteservice/core/systemclock.h"
#include "tests/support/tcptestclient.h"
#include "voteservice/auth/tokensigner.h"
#include "tests/support/testcertificates.h"
#include "tests/support/votedprocess.h"
#include "tests/support/webhooktestreceiver.h"
#include "voteservice/webhook/webhooksignature.h"
#include "tests/voteservice/web/webtestclient.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <set>
#include <thread>

using namespace quorix;
using namespace quorix::service;
using namespace quorix::service::test;

namespace {

const SubChannelKey kPlace{10, 20};

class RedisTwoNodeTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!RedisTestServer::installed())
            GTEST_SKIP() << "redis-server is not installed (scripts/setup installs it)";
        ASSERT_TRUE(m_redis.start()) << "redis-server did not start";
        for (auto* node : {&a, &b}) {
            *node = std::make_unique<VotedProcess>(
                QUORIX_VOTED_PATH,
                std::vector<std::string>{"--listen", "127.0.0.1:0", "--redis", m_redis.address()});
            ASSERT_NE((*node)->waitForPort(), 0) << "quorix-voted did not start";
        }
    }

    static std::unique_ptr<TcpTestClient> join(const VotedProcess& node, const SessionIdentity& who)
    {
        auto client = std::make_unique<TcpTestClient>();
        EXPECT_TRUE(client->connect(node.port()));
        EXPECT_EQ(client->hello(who), 0u);
        return client;
    }

    static PStartVoteRes createAndStart(TcpTestClient& boss, const VoteInfo& vote,
                                        const SubChannelKey& place = kPlace)
    {
        boss.sendVote(VOTE_SYSTEM_CREATE_VOTE_REQ,
                      PCreateVoteReq{place.channelId, place.subChannelId, vote, {}});
        const auto created = boss.waitForMessage<PCreateVoteRes>(VOTE_SYSTEM_CREATE_VOTE_RES);
        EXPECT_TRUE(created && created->result == kResultOk);
        boss.sendVote(
            VOTE_SYSTEM_START_VOTE_REQ,
            PStartVoteReq{place.channelId, place.subChannelId, created ? created->voteId : 0, 1, {}});
        const auto started = boss.waitForMessage<PStartVoteRes>(VOTE_SYSTEM_START_VOTE_RES);
        EXPECT_TRUE(started && started->result == kResultOk);
        return started.value_or(PStartVoteRes{});
    }

    static std::uint32_t vote(TcpTestClient& viewer, std::uint32_t uid, const PStartVoteRes& started,
                              std::uint32_t optionId, int timeoutMs = 3000,
                              const SubChannelKey& place = kPlace)
    {
        viewer.sendVote(VOTE_SYSTEM_USER_VOTE_REQ, PUserVoteReq{place.channelId,
                                                                place.subChannelId,
                                                                started.voteId,
                                                                kNormalVote,
                                                                started.jiFangId,
                                                                uid,
                                                                optionId,
                                                                1,
                                                                {}});
        const auto answer = viewer.waitForMessage<PUserVoteRes>(VOTE_SYSTEM_USER_VOTE_RES, timeoutMs);
        return answer ? answer->result : 999;
    }

    // Waits for a vote broadcast with the given status and counts.
    static bool sees(TcpTestClient& client, std::uint32_t status, const U32Map& counts, int timeoutMs = 4000)
    {
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (std::chrono::steady_clock::now() < until) {
            const auto push = client.waitForMessage<PBroadcastVote>(VOTE_SYSTEM_BROADCAST_VOTE, 500);
            if (push && push->status == status && push->vote.optionTickets == counts)
                return true;
        }
        return false;
    }

    static HistoryRecords history(TcpTestClient& client, const SubChannelKey& place = kPlace)
    {
        client.sendVote(VOTE_SYSTEM_QUERY_VOTE_HIS_RECORD_REQ,
                        PQueryVoteHisRecordReq{place.channelId, place.subChannelId, {}});
        const auto answer =
            client.waitForMessage<PQueryVoteHisRecordRes>(VOTE_SYSTEM_QUERY_VOTE_HIS_RECORD_RES);
        return answer ? answer->records : HistoryRecords{};
    }

    RedisTestServer m_redis;
    std::unique_ptr<VotedProcess> a, b;
};

// Each row starts its own Redis, set up as the row says.
class RedisLinkTest : public RedisTwoNodeTest
{
protected:
    void SetUp() override
    {
        if (!RedisTestServer::installed())
            GTEST_SKIP() << "redis-server is not installed (scripts/setup installs it)";
    }
};

// Two nodes on a Redis Cluster of three primaries with the documented ACL.
class RedisClusterTwoNodeTest : public RedisTwoNodeTest
{
protected:
    void SetUp() override
    {
        if (!RedisTestServer::installed())
            GTEST_SKIP() << "redis-server is not installed (scripts/setup installs it)";
        std::string error;
        // The service logs in to every node as the user of the documented ACL.
        m_cluster.useServiceAcl();
        ASSERT_TRUE(m_cluster.start(&error)) << error;
        std::vector<std::string> args{"--listen", "127.0.0.1:0"};
        args.insert(args.end(), m_nodeArguments.begin(), m_nodeArguments.end());
        const std::vector<std::string> cluster = m_cluster.votedArguments();
        args.insert(args.end(), cluster.begin(), cluster.end());
        for (auto* node : {&a, &b}) {
            *node = std::make_unique<VotedProcess>(QUORIX_VOTED_PATH, args);
            ASSERT_NE((*node)->waitForPort(), 0) << "quorix-voted did not start";
        }
    }

    // A channel whose keys each primary serves.
    std::vector<std::uint32_t> channelPerPrimary() const
    {
        std::vector<std::uint32_t> channels;
        std::set<int> primaries;
        for (std::uint32_t channel = 1; channels.size() < 3; ++channel) {
            if (primaries.insert(m_cluster.primaryOf(RedisClusterSlots::slot(RedisKeys::channel(channel))))
                    .second)
                channels.push_back(channel);
        }
        return channels;
    }

    RedisTestCluster m_cluster;
    std::vector<std::string> m_nodeArguments; // more for both nodes, set before SetUp()
};

// The cluster's two nodes send every channel's vote events to one receiver over TLS, its
// certificate signed by the test's CA (--webhook, --webhook-ca-file).
class RedisClusterWebhookTest : public RedisClusterTwoNodeTest
{
protected:
    void SetUp() override
    {
        std::ofstream(m_secretFile) << kSecret;
        m_nodeArguments = {
            "--webhook",         receiver.url("https", "localhost"), "--webhook-secret-file", m_secretFile,
            "--webhook-ca-file", m_certificates.path("ca.pem")};
        RedisClusterTwoNodeTest::SetUp();
    }
    void TearDown() override { std::remove(m_secretFile.c_str()); }

    static constexpr const char* kSecret = "the cluster's webhook secret";
    const std::string m_secretFile = ::testing::TempDir() + "/redistwonode-webhook-secret";
    TestCertificates m_certificates{"redistwonode-webhook"};
    WebhookTestReceiver receiver{m_certificates.path("server.pem"), m_certificates.path("server.key")};
};

} // namespace

TEST_F(RedisLinkTest, NodesReachTheirRedisAsToldOrRefuseToStart)
{
    const std::string acl = RedisTestServer::serviceAcl();
    const std::string withoutHincrby = acl.substr(0, acl.find(" +hincrby")) + acl.substr(acl.find(" +hdel"));
    struct Row
    {
        const char* name;
        bool tls, unixSocket;
        std::string aclRule; // empty: no ACL
        std::string password;
        std::vector<std::string> redisArgs, votedArgs;
        int exitStatus; // 0: both nodes run and share a vote
        std::string logText;
    };
    const std::string right = RedisTestServer::kServicePassword;
    const Row rows[] = {
        {"TLS and the documented ACL", true, false, acl, right, {}, {}, 0, "passed the start-up checks"},
        {"a Unix socket", false, true, "", "", {}, {}, 0, "Redis at unix:"},
        {"a wrong password",
         true,
         false,
         acl,
         "sixteen bytes but wrong",
         {},
         {},
         2,
         "Redis refused the credentials of user quorix"},
        {"a Redis that evicts keys",
         false,
         false,
         "",
         "",
         {"--maxmemory-policy", "allkeys-lru"},
         {},
         2,
         "(maxmemory-policy allkeys-lru), which loses votes"},
        {"eviction allowed",
         false,
         false,
         "",
         "",
         {"--maxmemory-policy", "allkeys-lru"},
         {"--redis-allow-eviction"},
         0,
         "votes may be lost (--redis-allow-eviction)"},
        {"an ACL without a command the scripts use",
         true,
         false,
         withoutHincrby,
         right,
         {},
         {},
         2,
         "does not allow the command hincrby"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        // Durable, so that a restart finds the vote and the nodes log in again to go on with it.
        RedisTestServer redis(RedisTestServer::Persistence::AppendFsyncAlways);
        if (row.tls)
            redis.useTls();
        if (row.unixSocket)
            redis.useUnixSocket();
        if (!row.aclRule.empty())
            redis.useAcl(row.aclRule, row.password);
        redis.addArguments(row.redisArgs);
        std::string error;
        ASSERT_TRUE(redis.start(&error)) << error;
        std::vector<std::string> args = redis.votedArguments();
        args.insert(args.end(), {"--listen", "127.0.0.1:0"});
        args.insert(args.end(), row.votedArgs.begin(), row.votedArgs.end());
        std::unique_ptr<VotedProcess> nodes[2];
        for (auto& node : nodes) {
            node = std::make_unique<VotedProcess>(QUORIX_VOTED_PATH, args);
            EXPECT_NE(node->readLineWith(row.logText), "") << "no line with: " << row.logText;
            if (row.exitStatus != 0) {
                EXPECT_EQ(node->exitStatusWithin(5000), row.exitStatus);
                break;
            }
            ASSERT_NE(node->waitForPort(), 0) << "quorix-voted did not start";
        }
        if (row.exitStatus != 0)
            continue;
        auto boss = join(*nodes[0], identity(1, 255));
        auto watcher = join(*nodes[1], identity(200, 25));
        auto viewer = join(*nodes[0], identity(100, 25));
        const PStartVoteRes started = createAndStart(*boss, normalVote("link", 2, 1, 1, 600));
        EXPECT_EQ(vote(*viewer, 100, started, 1), kResultOk);
        EXPECT_TRUE(sees(*watcher, kVoteStarted, {{0, 0}, {1, 1}}))
            << "the count did not reach the other node";
        redis.stop();
        ASSERT_TRUE(redis.start(&error)) << error;
        auto later = join(*nodes[1], identity(101, 25));
        std::uint32_t answer = 999;
        for (int i = 0; i < 10 && answer != kResultOk; ++i)
            answer = vote(*later, 101, started, 1);
        EXPECT_EQ(answer, kResultOk) << "no vote after Redis restarted";
        EXPECT_TRUE(sees(*watcher, kVoteStarted, {{0, 0}, {1, 2}})) << "no count after Redis restarted";
    }
}

TEST_F(RedisTwoNodeTest, ViewersOnBothNodesShareOneVote)
{
    auto boss = join(*a, identity(1, 255));
    auto watcher = join(*b, identity(200, 25));
    auto splitA = join(*a, identity(100, 25));
    auto splitB = join(*b, identity(100, 25));
    auto other = join(*b, identity(101, 25));

    const PStartVoteRes started = createAndStart(*boss, normalVote("two", 3, 3, 1, 600));
    const auto list = watcher->waitForMessage<PBroadcastChannelVote>(VOTE_SYSTEM_BROADCAST_CHANNEL_VOTE);
    ASSERT_TRUE(list && list->votes.size() == 1) << "the list push did not reach the other node";
    EXPECT_EQ(list->votes[0].voteId, started.voteId);
    EXPECT_TRUE(sees(*watcher, kVoteStarted, {{0, 0}, {1, 0}, {2, 0}}))
        << "the start did not reach the other node";

    struct Row
    {
        TcpTestClient* client;
        std::uint32_t uid, optionId, expected;
    } rows[] = {
        {splitA.get(), 100, 0, kResultOk},
        {splitB.get(), 100, 0, kResultOptionFull},
        {splitB.get(), 100, 1, kResultOk},
        {other.get(), 101, 2, kResultOk},
    };
    for (const Row& row : rows)
        EXPECT_EQ(vote(*row.client, row.uid, started, row.optionId), row.expected)
            << "option " << row.optionId;
    EXPECT_TRUE(sees(*watcher, kVoteStarted, {{0, 1}, {1, 1}, {2, 1}})) << "node B's broadcast";
    // Counted at A only: B's viewers learn of it from A's notice.
    EXPECT_EQ(vote(*splitA, 100, started, 2), kResultOk);
    EXPECT_EQ(vote(*splitB, 100, started, 1), kResultNoTicketsLeft);
    const U32Map counts{{0, 1}, {1, 1}, {2, 2}};
    EXPECT_TRUE(sees(*watcher, kVoteStarted, counts)) << "a vote at A did not reach B's broadcast";
    EXPECT_TRUE(sees(*splitA, kVoteStarted, counts)) << "node A's broadcast";
    splitB->sendVote(VOTE_SYSTEM_USER_VOTE_STATE_REQ,
                     PUserVoteStateReq{10, 20, started.voteId, kNormalVote, started.jiFangId, 100, {}, {}});
    const auto state = splitB->waitForMessage<PUserVoteStateRes>(VOTE_SYSTEM_USER_VOTE_STATE_RES);
    ASSERT_TRUE(state && state->state == 0);
    EXPECT_EQ(state->ticketsUsed, 3u);
    EXPECT_EQ(state->usedPerOption, (U32Map{{0, 1}, {1, 1}, {2, 1}}));

    boss->sendVote(VOTE_SYSTEM_END_VOTE_REQ, PEndVoteReq{10, 20, started.voteId, 0, started.jiFangId, {}});
    const auto ended = boss->waitForMessage<PEndVoteRes>(VOTE_SYSTEM_END_VOTE_RES);
    ASSERT_TRUE(ended && ended->result == kResultOk);
    EXPECT_TRUE(sees(*watcher, kVoteEnded, counts)) << "the end did not reach the other node";
    EXPECT_TRUE(sees(*splitA, kVoteEnded, counts));

    const HistoryRecords fromA = history(*boss);
    ASSERT_EQ(fromA.size(), 1u);
    EXPECT_EQ(fromA.begin()->second.optionTickets, counts);
    const HistoryRecords fromB = history(*watcher);
    ASSERT_EQ(fromB.size(), 1u);
    EXPECT_EQ(mpak::encode(fromB.begin()->second), mpak::encode(fromA.begin()->second));

    boss->sendVote(VOTE_SYSTEM_CLOSE_VOTEUI_REQ, PCloseVoteReq{10, 20, started.voteId, started.jiFangId, {}});
    for (TcpTestClient* client : {boss.get(), watcher.get(), splitB.get(), splitA.get()}) {
        const auto closed = client->waitForMessage<PCloseVoteUiRes>(VOTE_SYSTEM_CLOSE_VOTEUI_RES);
        ASSERT_TRUE(closed) << "a session did not see the close";
        EXPECT_EQ(closed->result, kResultOk);
        EXPECT_EQ(closed->jiFangId, started.jiFangId);
    }
}

TEST_F(RedisTwoNodeTest, AVoteWhoseTimeRanOutEndsOnceOnBothNodes)
{
    auto boss = join(*a, identity(1, 255));
    auto watcher = join(*b, identity(200, 25));
    const PStartVoteRes started = createAndStart(*boss, normalVote("short", 2, 1, 1, 1));
    auto viewer = join(*b, identity(100, 25));
    EXPECT_EQ(vote(*viewer, 100, started, 1), kResultOk);
    const U32Map counts{{0, 0}, {1, 1}};
    EXPECT_TRUE(sees(*watcher, kVoteEnded, counts, 5000));
    EXPECT_TRUE(sees(*boss, kVoteEnded, counts, 5000));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(history(*boss).size(), 1u);
    EXPECT_EQ(history(*watcher).size(), 1u);
}

// Two votes of one place scheduled for the same second, both nodes checking their schedules: the
// first is started by one node only (one run, one start broadcast on each node), the second meets
// it open and is listed as missed on both.
TEST_F(RedisTwoNodeTest, AScheduledStartHappensOnceOverBothNodes)
{
    auto boss = join(*a, identity(1, 255));
    auto watcher = join(*b, identity(200, 255));
    std::uint32_t ids[2] = {0, 0};
    for (std::uint32_t& id : ids) {
        boss->sendVote(VOTE_SYSTEM_CREATE_VOTE_REQ, PCreateVoteReq{10, 20, normalVote("timed", 2, 1, 1), {}});
        const auto created = boss->waitForMessage<PCreateVoteRes>(VOTE_SYSTEM_CREATE_VOTE_RES);
        ASSERT_TRUE(created && created->result == kResultOk);
        id = created->voteId;
    }
    const std::int64_t at = SystemClock().unixSeconds() + 2;
    for (const std::uint32_t id : ids) {
        boss->sendVote(VOTE_SYSTEM_START_VOTE_REQ, scheduleRequest(identity(1, 255), id, std::to_string(at)));
        const auto scheduled = boss->waitForMessage<PStartVoteRes>(VOTE_SYSTEM_START_VOTE_RES);
        ASSERT_TRUE(scheduled && scheduled->result == kResultOk);
    }
    std::set<std::uint32_t> runs;
    for (TcpTestClient* client : {boss.get(), watcher.get()}) {
        int starts = 0;
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(4);
        while (std::chrono::steady_clock::now() < until) {
            const auto push = client->waitForMessage<PBroadcastVote>(VOTE_SYSTEM_BROADCAST_VOTE, 200);
            if (push && push->status == kVoteStarted && push->fullAllowance == 1) {
                ++starts;
                runs.insert(push->jiFangId);
                EXPECT_TRUE(push->vote.voteId == ids[0] || push->vote.voteId == ids[1]);
            }
        }
        EXPECT_EQ(starts, 1);
    }
    EXPECT_EQ(runs.size(), 1u) << "one run seen on both nodes";
    watcher->sendVote(VOTE_SYSTEM_QUERY_ALL_VOTE_REQ, PQueryAllVoteReq{10, 20, {}});
    const auto list = watcher->waitForMessage<PQueryAllVoteRes>(VOTE_SYSTEM_QUERY_ALL_VOTE_RES);
    ASSERT_TRUE(list);
    ASSERT_EQ(list->extend.size(), 1u);
    EXPECT_EQ(list->extend.begin()->second, std::to_string(at) + " missed");
}

TEST_F(RedisTwoNodeTest, AVoteNobodyWatchesStillEndsOnTime)
{
    auto boss = join(*a, identity(1, 255));
    const PStartVoteRes started = createAndStart(*boss, normalVote("unwatched", 2, 1, 1, 1));
    boss.reset();
    std::this_thread::sleep_for(std::chrono::milliseconds(2600));
    auto late = join(*b, identity(100, 25));
    EXPECT_EQ(history(*late).size(), 1u) << "the vote did not enter the history without sessions";
    EXPECT_FALSE(late->waitForMessage<PBroadcastVote>(VOTE_SYSTEM_BROADCAST_VOTE, 300))
        << "the vote was still running for a late joiner";
    EXPECT_EQ(vote(*late, 100, started, 0), kResultNotRunning);
}

TEST_F(RedisTwoNodeTest, ClientsOfAKilledNodeCarryOnAtTheOther)
{
    auto boss = join(*a, identity(1, 255));
    auto viewer = join(*a, identity(100, 25));
    auto watcher = join(*b, identity(101, 25));
    const PStartVoteRes started = createAndStart(*boss, normalVote("failover", 2, 2, 2, 600));
    ASSERT_EQ(vote(*viewer, 100, started, 0), kResultOk);

    a->kill(SIGKILL);
    EXPECT_TRUE(viewer->closedWithin(3000));
    // What a host given both addresses does after the drop: the same identity at the next address.
    viewer = join(*b, identity(100, 25));
    const auto late = viewer->waitForMessage<PBroadcastVote>(VOTE_SYSTEM_BROADCAST_VOTE);
    ASSERT_TRUE(late) << "no running vote at the other node";
    EXPECT_EQ(late->status, kVoteStarted);
    EXPECT_EQ(late->jiFangId, started.jiFangId);
    EXPECT_EQ(late->vote.optionTickets, (U32Map{{0, 1}, {1, 0}}));
    EXPECT_EQ(vote(*viewer, 100, started, 0), kResultOk);
    EXPECT_EQ(vote(*viewer, 100, started, 1), kResultNoTicketsLeft);

    boss = join(*b, identity(1, 255));
    boss->sendVote(VOTE_SYSTEM_END_VOTE_REQ, PEndVoteReq{10, 20, started.voteId, 0, started.jiFangId, {}});
    const auto ended = boss->waitForMessage<PEndVoteRes>(VOTE_SYSTEM_END_VOTE_RES);
    ASSERT_TRUE(ended);
    EXPECT_EQ(ended->result, kResultOk);
    EXPECT_TRUE(sees(*watcher, kVoteEnded, {{0, 2}, {1, 0}}));
}

TEST_F(RedisTwoNodeTest, WithoutRedisRequestsAreRefusedAndTheNodesCarryOn)
{
    auto boss = join(*a, identity(1, 255));
    auto viewer = join(*b, identity(100, 25));
    const PStartVoteRes started = createAndStart(*boss, normalVote("outage", 2, 2, 2, 600));
    m_redis.stop();

    // A vote that may have reached Redis is asked after until past its deadline before it is refused.
    constexpr int kResolveMs = int(RedisBallots::kDeadlineMs + RedisBallots::kResolveMs) + 2000;
    EXPECT_EQ(vote(*viewer, 100, started, 0, kResolveMs), kResultStorageUnavailable);
    boss->sendVote(VOTE_SYSTEM_QUERY_ALL_VOTE_REQ, PQueryAllVoteReq{10, 20, {}});
    const auto list = boss->waitForMessage<PQueryAllVoteRes>(VOTE_SYSTEM_QUERY_ALL_VOTE_RES);
    ASSERT_TRUE(list);
    EXPECT_EQ(list->result, kResultStorageUnavailable);
    boss->sendVote(VOTE_SYSTEM_END_VOTE_REQ, PEndVoteReq{10, 20, started.voteId, 0, started.jiFangId, {}});
    const auto ended = boss->waitForMessage<PEndVoteRes>(VOTE_SYSTEM_END_VOTE_RES, kResolveMs);
    ASSERT_TRUE(ended);
    EXPECT_EQ(ended->result, kResultEndStorageError);

    ASSERT_TRUE(m_redis.start());
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    // Redis came back empty (no persistence in tests): the same sessions work on.
    boss->sendVote(VOTE_SYSTEM_CREATE_VOTE_REQ,
                   PCreateVoteReq{10, 20, normalVote("after", 2, 2, 2, 600), {}});
    const auto created = boss->waitForMessage<PCreateVoteRes>(VOTE_SYSTEM_CREATE_VOTE_RES);
    ASSERT_TRUE(created);
    EXPECT_EQ(created->result, kResultOk);
    // The other node re-reads its places after reconnecting (an empty list first), then hears the
    // new list's notice.
    std::optional<PBroadcastChannelVote> pushed;
    for (int i = 0; i < 3 && !(pushed && pushed->votes.size() == 1); ++i)
        pushed = viewer->waitForMessage<PBroadcastChannelVote>(VOTE_SYSTEM_BROADCAST_CHANNEL_VOTE);
    ASSERT_TRUE(pushed && pushed->votes.size() == 1) << "the other node no longer hears notices";
    EXPECT_EQ(pushed->votes[0].name, "after");
}

// `quorix-voted revoke` against the shared Redis (or Redis Cluster) that place names: within about
// a second two nodes on it close the user's sessions and refuse the revoked token; the user's later
// tokens and other users go on.
namespace {

void revocationClosesTheUsersSessionsOnEveryNode(const std::vector<std::string>& place)
{
    const std::string secretPath = ::testing::TempDir() + "/redistwonode-secret";
    const std::string secret = "sixteen bytes or more of secret";
    std::ofstream(secretPath) << secret << "\n";
    std::unique_ptr<VotedProcess> nodes[2];
    for (auto& node : nodes) {
        std::vector<std::string> args{"--listen", "127.0.0.1:0", "--secret-file", secretPath};
        args.insert(args.end(), place.begin(), place.end());
        node = std::make_unique<VotedProcess>(QUORIX_VOTED_PATH, args);
        ASSERT_NE(node->waitForPort(), 0) << "quorix-voted did not start";
    }
    const auto tokenFor = [&](std::uint32_t uid, std::int64_t issuedAt) {
        AccessClaims claims;
        claims.uid = uid;
        claims.imid = uid + 90000;
        claims.role = 25;
        claims.channelId = 10;
        claims.scopes = ScopeSet::forRole(25);
        claims.issuedAt = issuedAt;
        claims.expiresAt = issuedAt + 3600;
        return TokenSigner::withSecret(secret).sign(claims);
    };
    const auto enter = [](const VotedProcess& node, std::uint32_t uid, const std::string& token) {
        auto client = std::make_unique<TcpTestClient>();
        EXPECT_TRUE(client->connect(node.port()));
        const auto welcome = client->hello(identity(uid, 25), token);
        if (welcome != std::optional<std::uint32_t>(kWelcomeAccepted))
            client.reset();
        return client;
    };
    const std::int64_t now = SystemClock().unixSeconds();
    const std::string before = tokenFor(100, now - 10), other = tokenFor(101, now - 10);
    auto onA = enter(*nodes[0], 100, before);
    auto onB = enter(*nodes[1], 100, before);
    auto bystander = enter(*nodes[1], 101, other);
    ASSERT_TRUE(onA && onB && bystander);

    std::string command = std::string(QUORIX_VOTED_PATH) + " revoke --uid 100 --channel 10";
    for (const std::string& arg : place)
        command += " " + arg;
    command += " > /dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    EXPECT_TRUE(onA->closedWithin(2500));
    EXPECT_TRUE(onB->closedWithin(1500));
    EXPECT_FALSE(bystander->closedWithin(300));
    for (const auto& node : nodes) {
        EXPECT_EQ(enter(*node, 100, before), nullptr) << "the revoked token";
        // Issued after the revocation's second: the user is welcome again.
        EXPECT_NE(enter(*node, 100, tokenFor(100, now + 30)), nullptr) << "a later token";
    }
}

} // namespace

TEST_F(RedisTwoNodeTest, ARevocationClosesTheUsersSessionsOnEveryNode)
{
    revocationClosesTheUsersSessionsOnEveryNode({"--redis", m_redis.address()});
}

TEST_F(RedisClusterTwoNodeTest, ARevocationInTheClusterClosesTheUsersSessionsOnEveryNode)
{
    revocationClosesTheUsersSessionsOnEveryNode(m_cluster.votedArguments());
}

TEST_F(RedisClusterTwoNodeTest, ViewersOnBothNodesShareVotesOnEveryShard)
{
    for (const std::uint32_t channel : channelPerPrimary()) {
        SCOPED_TRACE("channel " + std::to_string(channel));
        const SubChannelKey place{channel, 20};
        auto boss = join(*a, identity(1, 255, 20, channel));
        auto watcher = join(*b, identity(200, 25, 20, channel));
        auto splitA = join(*a, identity(100, 25, 20, channel));
        auto splitB = join(*b, identity(100, 25, 20, channel));
        const PStartVoteRes started = createAndStart(*boss, normalVote("sharded", 3, 2, 1, 600), place);
        const struct
        {
            TcpTestClient* client;
            std::uint32_t optionId, expected;
        } rows[] = {
            {splitA.get(), 0, kResultOk},
            {splitB.get(), 0, kResultOptionFull},
            {splitB.get(), 1, kResultOk},
            {splitA.get(), 2, kResultNoTicketsLeft},
        };
        for (const auto& row : rows)
            EXPECT_EQ(vote(*row.client, 100, started, row.optionId, 3000, place), row.expected)
                << "option " << row.optionId;
        const U32Map counts{{0, 1}, {1, 1}, {2, 0}};
        EXPECT_TRUE(sees(*watcher, kVoteStarted, counts)) << "the other node's broadcast";
        boss->sendVote(VOTE_SYSTEM_END_VOTE_REQ,
                       PEndVoteReq{channel, 20, started.voteId, 0, started.jiFangId, {}});
        const auto ended = boss->waitForMessage<PEndVoteRes>(VOTE_SYSTEM_END_VOTE_RES);
        ASSERT_TRUE(ended && ended->result == kResultOk);
        EXPECT_TRUE(sees(*watcher, kVoteEnded, counts));
        const HistoryRecords fromA = history(*boss, place);
        const HistoryRecords fromB = history(*watcher, place);
        ASSERT_EQ(fromA.size(), 1u);
        ASSERT_EQ(fromB.size(), 1u);
        EXPECT_EQ(fromB.begin()->second.optionTickets, counts);
    }
}

// A vote started on one node, ended on the other and closed on the first, then a second started on
// the other and ended on the first: each node queues the events it made in the cluster and both
// deliver, and the receiver gets each event once, signed, in order.
TEST_F(RedisClusterWebhookTest, BothNodesDeliverAChannelsEventsOnceEachInOrder)
{
    auto bossA = join(*a, identity(1, 255));
    auto bossB = join(*b, identity(1, 255)); // the same manager on both nodes
    const auto end = [](TcpTestClient& boss, const PStartVoteRes& started) {
        boss.sendVote(
            VOTE_SYSTEM_END_VOTE_REQ,
            PEndVoteReq{kPlace.channelId, kPlace.subChannelId, started.voteId, 0, started.jiFangId, {}});
        const auto ended = boss.waitForMessage<PEndVoteRes>(VOTE_SYSTEM_END_VOTE_RES);
        EXPECT_TRUE(ended && ended->result == kResultOk);
    };
    const PStartVoteRes first = createAndStart(*bossA, normalVote("first", 2, 1, 1, 600));
    end(*bossB, first);
    bossA->sendVote(VOTE_SYSTEM_CLOSE_VOTEUI_REQ,
                    PCloseVoteReq{kPlace.channelId, kPlace.subChannelId, first.voteId, first.jiFangId, {}});
    const auto closed = bossA->waitForMessage<PCloseVoteUiRes>(VOTE_SYSTEM_CLOSE_VOTEUI_RES);
    EXPECT_TRUE(closed && closed->result == kResultOk);
    const PStartVoteRes second = createAndStart(*bossB, normalVote("second", 2, 1, 1, 600));
    end(*bossA, second);
    const std::string one = std::to_string(first.voteId), two = std::to_string(second.voteId);
    const std::vector<std::string> expected = {"vote.begin " + one, "vote.end " + one, "vote.close " + one,
                                               "vote.begin " + two, "vote.end " + two};

    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (receiver.got().size() < expected.size() && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::this_thread::sleep_for(std::chrono::milliseconds(1500)); // both nodes poll again: no repeats
    std::vector<std::string> events;
    std::set<std::string> deliveries;
    for (const WebhookTestReceiver::Got& got : receiver.got()) {
        const nlohmann::json body = nlohmann::json::parse(got.body);
        events.push_back(body["type"].get<std::string>() + " " + std::to_string(body["voteId"].get<int>()));
        EXPECT_TRUE(deliveries.insert(got.delivery).second) << "delivery " << got.delivery << " again";
        EXPECT_EQ(got.signature, WebhookSignature::sign(kSecret, std::stoll(got.timestamp), got.body));
    }
    EXPECT_EQ(events, expected);
}

// Redis stopped (SIGSTOP) for 10 s under a node with its web face: the core waits for it on its own
// thread, so the votes wait, while new host connections are welcomed, web requests answered and
// /healthz says the storage is not answering; once Redis goes on, so does everything, unrestarted.
TEST_F(RedisTwoNodeTest, AStalledRedisHoldsUpOnlyTheAnswersThatNeedIt)
{
    VotedProcess web(QUORIX_VOTED_PATH,
                     {"--listen", "127.0.0.1:0", "--http", "127.0.0.1:0", "--redis", m_redis.address()});
    const std::uint16_t tcpPort = VotedProcess::portOf(web.readLineWith("listening on 127.0.0.1:"));
    const std::uint16_t httpPort = VotedProcess::portOf(web.readLineWith("http listening on 127.0.0.1:"));
    ASSERT_NE(httpPort, 0);
    auto boss = join(*a, identity(1, 255));
    const PStartVoteRes started = createAndStart(*boss, normalVote("stall", 2, 5, 5, 600));
    TcpTestClient viewer;
    ASSERT_TRUE(viewer.connect(tcpPort));
    ASSERT_EQ(viewer.hello(identity(100, 25)), 0u);
    WebTestClient page(httpPort);
    ASSERT_TRUE(page.openWebSocket("/api/v1/session?uid=101&channel=10&sub=20"));
    ASSERT_EQ(vote(viewer, 100, started, 0), kResultOk);
    ASSERT_TRUE(sees(viewer, kVoteStarted, {{0, 1}, {1, 0}}));

    const auto stalledAt = std::chrono::steady_clock::now();
    ASSERT_EQ(::kill(m_redis.pid(), SIGSTOP), 0);
    viewer.sendVote(VOTE_SYSTEM_USER_VOTE_REQ,
                    PUserVoteReq{10, 20, started.voteId, kNormalVote, started.jiFangId, 100, 1, 1, {}});
    EXPECT_FALSE(viewer.waitForMessage<PUserVoteRes>(VOTE_SYSTEM_USER_VOTE_RES, 1000))
        << "a vote was answered without Redis";
    const auto within = [](auto started, int ms) {
        return std::chrono::steady_clock::now() - started < std::chrono::milliseconds(ms);
    };
    // What the I/O thread answers alone comes at once, Redis or not.
    auto asked = std::chrono::steady_clock::now();
    TcpTestClient late;
    ASSERT_TRUE(late.connect(tcpPort));
    EXPECT_EQ(late.hello(identity(102, 25)), 0u);
    EXPECT_TRUE(within(asked, 1000)) << "WELCOME waited for Redis";
    asked = std::chrono::steady_clock::now();
    EXPECT_EQ(WebTestClient(httpPort).request("GET", "/overlay/10/20").status, 200);
    EXPECT_TRUE(within(asked, 1000)) << "a page waited for Redis";
    HttpReply health;
    for (int tries = 0; tries < 30 && health.status != 503; ++tries) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        asked = std::chrono::steady_clock::now();
        health = WebTestClient(httpPort).request("GET", "/healthz");
        EXPECT_TRUE(within(asked, 1000)) << "/healthz waited for Redis";
    }
    EXPECT_EQ(health.status, 503) << health.body;

    std::this_thread::sleep_until(stalledAt + std::chrono::seconds(10));
    ASSERT_EQ(::kill(m_redis.pid(), SIGCONT), 0);
    // The vote sent in the stall is answered one way or the other: counted once, or refused when
    // its deadline passed before Redis ran it.
    constexpr int kResolveMs = int(RedisBallots::kDeadlineMs + RedisBallots::kResolveMs) + 4000;
    const auto held = viewer.waitForMessage<PUserVoteRes>(VOTE_SYSTEM_USER_VOTE_RES, kResolveMs);
    ASSERT_TRUE(held) << "the vote sent in the stall was never answered";
    EXPECT_TRUE(held->result == kResultOk || held->result == kResultStorageUnavailable) << held->result;
    const std::uint32_t second = held->result == kResultOk ? 1 : 0;
    EXPECT_EQ(vote(late, 102, started, 1, kResolveMs), kResultOk);
    const U32Map counts{{0, 1}, {1, second + 1}};
    EXPECT_TRUE(sees(viewer, kVoteStarted, counts, 8000)) << "broadcasts did not resume";
    bool pageSees = false;
    for (int i = 0; i < 40 && !pageSees; ++i) {
        const auto message = page.waitForType("vote", std::chrono::milliseconds(500));
        pageSees =
            message && (*message)["vote"]["optionTickets"] == nlohmann::json{{"0", 1}, {"1", second + 1}};
    }
    EXPECT_TRUE(pageSees) << "the web viewer's stream did not resume";
    for (int tries = 0; tries < 30 && health.status != 200; ++tries) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        health = WebTestClient(httpPort).request("GET", "/healthz");
    }
    EXPECT_EQ(health.status, 200) << health.body;
}
