// tovo-host's service transport given two quorix-voted nodes that share one redis-server: killed
// under it, the first node's place is taken by the second, where the running vote goes on and the
// host's viewer keeps voting within the same allowance. Killed, the host waits out its backoff
// first; stopped with SIGTERM, the node says it is going away and the host moves at once.

#include "tests/support/redistestserver.h"
#include "voteservice/core/resultcode.h"
#include "tests/support/servicetestsupport.h"
#include "host/transports/tcpservicetransport.h"
#include "tests/support/tcptestclient.h"
#include "tests/support/votedprocess.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTest>

#include <gtest/gtest.h>

#include <signal.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <vector>

using namespace quorix;
using namespace quorix::service;
using namespace quorix::service::test;

namespace {

// The frames of the vote protocol the transport received.
struct Inbox
{
    std::vector<mpak::ServiceFrame> frames;

    template <class Message> std::optional<Message> next(std::uint32_t minType)
    {
        if (!QTest::qWaitFor([&] { return find(minType) != frames.end(); }, 5000))
            return std::nullopt;
        const auto it = find(minType);
        Message message;
        const bool decoded = mpak::decode(it->payload, message);
        frames.erase(frames.begin(), it + 1);
        return decoded ? std::optional<Message>(message) : std::nullopt;
    }

    std::vector<mpak::ServiceFrame>::iterator find(std::uint32_t minType)
    {
        return std::find_if(frames.begin(), frames.end(), [&](const mpak::ServiceFrame& f) {
            return f.maxType == kVoteMajorType && f.minType == minType;
        });
    }
};

// Two nodes on one Redis, a host's transport at the first and a vote running; the first node then
// gets the signal.
void failOver(int signal, bool atOnce)
{
    RedisTestServer redis;
    ASSERT_TRUE(redis.start());
    auto first = std::make_unique<VotedProcess>(
        QUORIX_VOTED_PATH, std::vector<std::string>{"--listen", "127.0.0.1:0", "--redis", redis.address()});
    VotedProcess second(QUORIX_VOTED_PATH, {"--listen", "127.0.0.1:0", "--redis", redis.address()});
    ASSERT_TRUE(first->waitForPort() != 0 && second.waitForPort() != 0);

    HostIdentity viewer;
    viewer.uid = 100;
    viewer.imid = 900;
    viewer.role = 25;
    viewer.channelId = 10;
    viewer.subChannelId = 20;
    TcpServiceTransport transport(
        ServiceAddresses{{"127.0.0.1", first->port()}, {"127.0.0.1", second.port()}}, viewer, QString());
    transport.setBackoff(ReconnectBackoff([] { return 0.0; }));
    Inbox inbox;
    QObject::connect(&transport, &ServiceTransport::frameArrived,
                     [&](const std::string& frame) { inbox.frames.push_back(mpak::decodeFrame(frame)); });
    transport.start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return transport.isReady(); }, 5000));

    TcpTestClient boss;
    ASSERT_TRUE(boss.connect(second.port()));
    ASSERT_EQ(boss.hello(identity(1, 255)), 0u);
    boss.sendVote(VOTE_SYSTEM_CREATE_VOTE_REQ, PCreateVoteReq{10, 20, normalVote("moved", 2, 2, 2, 600), {}});
    const auto created = boss.waitForMessage<PCreateVoteRes>(VOTE_SYSTEM_CREATE_VOTE_RES);
    ASSERT_TRUE(created && created->result == kResultOk);
    boss.sendVote(VOTE_SYSTEM_START_VOTE_REQ, PStartVoteReq{10, 20, created->voteId, 1, {}});
    const auto started = boss.waitForMessage<PStartVoteRes>(VOTE_SYSTEM_START_VOTE_RES);
    ASSERT_TRUE(started && started->result == kResultOk);
    const auto shown = inbox.next<PBroadcastVote>(VOTE_SYSTEM_BROADCAST_VOTE);
    ASSERT_TRUE(shown) << "the start at the second node did not reach the host at the first";
    EXPECT_EQ(shown->jiFangId, started->jiFangId);

    const auto vote = [&](std::uint32_t optionId) {
        const PUserVoteReq req{10, 20, started->voteId, kNormalVote, started->jiFangId, 100, optionId, 1, {}};
        transport.sendFrame(mpak::encodeFrame(kVoteMajorType, VOTE_SYSTEM_USER_VOTE_REQ, mpak::encode(req)));
        const auto answer = inbox.next<PUserVoteRes>(VOTE_SYSTEM_USER_VOTE_RES);
        return answer ? answer->result : 999u;
    };
    EXPECT_EQ(vote(0), kResultOk);

    first->signal(signal);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !transport.isReady(); }, 5000));
    QElapsedTimer away;
    away.start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return transport.isReady(); }, 5000)) << "the host did not reconnect";
    if (atOnce)
        EXPECT_LT(away.elapsed(), ReconnectBackoff::kFirstDelayMs);
    else
        EXPECT_GE(away.elapsed(), ReconnectBackoff::kFirstDelayMs);
    EXPECT_EQ(transport.describe(), QStringLiteral("127.0.0.1:%1").arg(second.port()));
    // The second node may first show the vote as it last read it, a moment before the first node's
    // count reached it; its next broadcast brings that count.
    auto late = inbox.next<PBroadcastVote>(VOTE_SYSTEM_BROADCAST_VOTE);
    while (late && late->vote.optionTickets != U32Map{{0, 1}, {1, 0}})
        late = inbox.next<PBroadcastVote>(VOTE_SYSTEM_BROADCAST_VOTE);
    ASSERT_TRUE(late) << "no running vote with the first node's count at the second node";
    EXPECT_EQ(late->status, kVoteStarted);
    EXPECT_EQ(late->jiFangId, started->jiFangId);
    EXPECT_EQ(late->vote.optionTickets, (U32Map{{0, 1}, {1, 0}}));
    EXPECT_EQ(vote(1), kResultOk);
    EXPECT_EQ(vote(1), kResultNoTicketsLeft);
    if (signal == SIGTERM) {
        EXPECT_EQ(first->exitStatusWithin(5000), 0);
    }
}

} // namespace

TEST(RedisHostFailoverTest, HostMovesToTheOtherNodeAndKeepsVoting)
{
    if (!RedisTestServer::installed())
        GTEST_SKIP() << "redis-server is not installed (scripts/setup installs it)";
    int argc = 1;
    char name[] = "redishostfailover_test";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    const struct
    {
        int signal;
        bool atOnce; // without waiting out the backoff's first step
    } rows[] = {{SIGKILL, false}, {SIGTERM, true}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.signal == SIGKILL ? "SIGKILL" : "SIGTERM");
        failOver(row.signal, row.atOnce);
    }
}
