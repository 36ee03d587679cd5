#include "voteservice/server/addresslimiter.h"
#include "voteservice/server/auditjournal.h"
#include "voteservice/server/auditline.h"
#include "voteservice/server/auditlogfile.h"
#include "voteservice/server/descriptorlimit.h"
#include <quorix/protocol/hostcontrol.h>
#include "voteservice/core/memoryvotestorage.h"
#include "voteservice/core/resultcode.h"
#include "tests/support/servicetestsupport.h"
#include "voteservice/sqlite/sqlitevotestorage.h"
#include "voteservice/core/systemclock.h"
#include "voteservice/auth/base64url.h"
#include "tests/support/pythonjwt.h"
#include "tests/support/tcptestclient.h"
#include "voteservice/auth/tokenauth.h"
#include "voteservice/auth/tokensigner.h"
#include "voteservice/auth/tokenverifier.h"
#include "tests/support/votedprocess.h"
#include "voteservice/server/voteserver.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <future>
#include <thread>

extern char** environ;

namespace quorix::service::test {
namespace {

// quorix-voted's server running on its own thread, on a free port of the loopback interface.
class InProcessServer
{
public:
    explicit InProcessServer(ServerOptions options = {}, std::unique_ptr<MemoryVoteStorage> storage =
                                                             std::make_unique<MemoryVoteStorage>())
        : m_storage(std::move(storage))
    {
        options.host = "127.0.0.1";
        options.port = 0;
        m_server = std::make_unique<VoteServer>(m_io, options, m_clock, *m_storage);
        std::string error;
        EXPECT_TRUE(m_server->listen(error)) << error;
        port = m_server->port();
        m_thread = std::thread([this] { m_io.run(); });
    }
    ~InProcessServer()
    {
        asio::post(m_io, [this] { m_server->stop(); });
        m_thread.join();
    }
    std::size_t connections()
    {
        std::promise<std::size_t> count;
        asio::post(m_io, [&] { count.set_value(m_server->connectionCount()); });
        return count.get_future().get();
    }
    std::string metrics()
    {
        std::promise<std::string> text;
        asio::post(m_io, [&] { text.set_value(m_server->metrics().exposition()); });
        return text.get_future().get();
    }

    std::uint16_t port = 0;

private:
    asio::io_context m_io;
    SystemClock m_clock;
    std::unique_ptr<MemoryVoteStorage> m_storage;
    std::unique_ptr<VoteServer> m_server;
    std::thread m_thread;
};

std::string lengthPrefixed(std::uint32_t length, const std::string& rest)
{
    mpak::PackBuffer buffer;
    mpak::Pack pack(buffer);
    pack.push_uint32(length);
    return pack.str() + rest;
}

std::string rawFrame(std::uint32_t maxType, std::uint32_t minType, std::uint16_t declared,
                     const std::string& payload)
{
    mpak::PackBuffer buffer;
    mpak::Pack pack(buffer);
    pack.push_uint32(maxType).push_uint32(minType).push_uint16(declared);
    return pack.str() + payload;
}

std::unique_ptr<TcpTestClient> welcomed(std::uint16_t port, const SessionIdentity& identity)
{
    auto client = std::make_unique<TcpTestClient>();
    EXPECT_TRUE(client->connect(port));
    EXPECT_EQ(client->hello(identity), std::optional<std::uint32_t>(kWelcomeAccepted));
    return client;
}

// The bystander still gets answers and the state accepted before is intact.
void expectServed(TcpTestClient& bystander, std::size_t votes)
{
    ASSERT_TRUE(bystander.sendVote(VOTE_SYSTEM_QUERY_ALL_VOTE_REQ, PQueryAllVoteReq{10, 20, {}}));
    const auto list = bystander.waitForMessage<PQueryAllVoteRes>(VOTE_SYSTEM_QUERY_ALL_VOTE_RES);
    ASSERT_TRUE(list);
    EXPECT_EQ(list->result, 0u);
    EXPECT_EQ(list->votes.size(), votes);
}

TEST(VoteServerTest, ManagerAndViewerRunAVoteOverTcp)
{
    InProcessServer server;
    auto manager = welcomed(server.port, identity(1, 255));
    auto viewer = welcomed(server.port, identity(2, 0));

    ASSERT_TRUE(manager->sendVote(VOTE_SYSTEM_CREATE_VOTE_REQ,
                                  PCreateVoteReq{10, 20, normalVote("Song", 3, 2, 1), {}}));
    const auto created = manager->waitForMessage<PCreateVoteRes>(VOTE_SYSTEM_CREATE_VOTE_RES);
    ASSERT_TRUE(created);
    ASSERT_EQ(created->result, 0u);
    const auto managerList =
        manager->waitForMessage<PBroadcastChannelVote>(VOTE_SYSTEM_BROADCAST_CHANNEL_VOTE);
    const auto viewerList = viewer->waitForMessage<PBroadcastChannelVote>(VOTE_SYSTEM_BROADCAST_CHANNEL_VOTE);
    ASSERT_TRUE(managerList && viewerList);
    ASSERT_EQ(viewerList->votes.size(), 1u);
    EXPECT_EQ(viewerList->votes[0].voteId, created->voteId);

    ASSERT_TRUE(manager->sendVote(VOTE_SYSTEM_START_VOTE_REQ, PStartVoteReq{10, 20, created->voteId, 1, {}}));
    const auto started = manager->waitForMessage<PStartVoteRes>(VOTE_SYSTEM_START_VOTE_RES);
    ASSERT_TRUE(started);
    ASSERT_EQ(started->result, 0u);
    const auto opening = viewer->waitForMessage<PBroadcastVote>(VOTE_SYSTEM_BROADCAST_VOTE);
    ASSERT_TRUE(opening);
    EXPECT_EQ(opening->fullAllowance, 1u);
    EXPECT_EQ(opening->remainSeconds, 300u);
    EXPECT_EQ(opening->vote.ownerUid, 1u);

    ASSERT_TRUE(viewer->sendVote(VOTE_SYSTEM_USER_VOTE_REQ,
                                 PUserVoteReq{10, 20, created->voteId, 0, started->jiFangId, 2, 2, 1, {}}));
    const auto voted = viewer->waitForMessage<PUserVoteRes>(VOTE_SYSTEM_USER_VOTE_RES);
    ASSERT_TRUE(voted);
    EXPECT_EQ(voted->result, 0u);
    ASSERT_TRUE(manager->waitFor(VOTE_SYSTEM_BROADCAST_VOTE)); // the opening broadcast
    const auto counted = manager->waitForMessage<PBroadcastVote>(VOTE_SYSTEM_BROADCAST_VOTE);
    ASSERT_TRUE(counted);
    EXPECT_EQ(counted->fullAllowance, 0u);
    EXPECT_EQ(counted->vote.optionTickets.at(2), 1u);

    ASSERT_TRUE(manager->sendVote(VOTE_SYSTEM_END_VOTE_REQ,
                                  PEndVoteReq{10, 20, created->voteId, 0, started->jiFangId, {}}));
    const auto ended = manager->waitForMessage<PEndVoteRes>(VOTE_SYSTEM_END_VOTE_RES);
    ASSERT_TRUE(ended);
    EXPECT_EQ(ended->result, 0u);
    std::optional<PBroadcastVote> final;
    do
        final = viewer->waitForMessage<PBroadcastVote>(VOTE_SYSTEM_BROADCAST_VOTE);
    while (final && final->status != kVoteEnded);
    ASSERT_TRUE(final);
    EXPECT_EQ(final->vote.optionTickets.at(2), 1u);

    ASSERT_TRUE(manager->sendVote(VOTE_SYSTEM_CLOSE_VOTEUI_REQ,
                                  PCloseVoteReq{10, 20, created->voteId, started->jiFangId, {}}));
    for (TcpTestClient* client : {manager.get(), viewer.get()}) {
        const auto closed = client->waitForMessage<PCloseVoteUiRes>(VOTE_SYSTEM_CLOSE_VOTEUI_RES);
        ASSERT_TRUE(closed);
        EXPECT_EQ(closed->result, 0u);
    }

    ASSERT_TRUE(viewer->sendVote(VOTE_SYSTEM_QUERY_VOTE_HIS_RECORD_REQ, PQueryVoteHisRecordReq{10, 20, {}}));
    const auto history =
        viewer->waitForMessage<PQueryVoteHisRecordRes>(VOTE_SYSTEM_QUERY_VOTE_HIS_RECORD_RES);
    ASSERT_TRUE(history);
    ASSERT_EQ(history->records.size(), 1u);
    EXPECT_EQ(history->records.begin()->second.name, "Song");
    EXPECT_EQ(history->records.begin()->second.adminNick, "user1");
    EXPECT_EQ(history->records.begin()->second.optionTickets, (U32Map{{0, 0}, {1, 0}, {2, 1}}));
}

// Holds its writes for a commit, as SQLite does, so answers wait for commits.
class CommittingStorage : public MemoryVoteStorage
{
public:
    bool buffersWrites() const override { return true; }
};

TEST(VoteServerTest, MetricsFollowAVoteThroughTheServer)
{
    InProcessServer server({}, std::make_unique<CommittingStorage>());
    auto manager = welcomed(server.port, identity(1, 255));
    auto viewer = welcomed(server.port, identity(2, 0));
    manager->sendVote(VOTE_SYSTEM_CREATE_VOTE_REQ, PCreateVoteReq{10, 20, normalVote("Song", 2, 1, 1), {}});
    const auto created = manager->waitForMessage<PCreateVoteRes>(VOTE_SYSTEM_CREATE_VOTE_RES);
    ASSERT_TRUE(created);
    manager->sendVote(VOTE_SYSTEM_START_VOTE_REQ, PStartVoteReq{10, 20, created->voteId, 1, {}});
    const auto started = manager->waitForMessage<PStartVoteRes>(VOTE_SYSTEM_START_VOTE_RES);
    ASSERT_TRUE(started);
    const std::string before = server.metrics();

    // One vote counted, one refused (no tickets left), then a burst past the request budget.
    for (int i = 0; i < 2; ++i) {
        viewer->sendVote(VOTE_SYSTEM_USER_VOTE_REQ,
                         PUserVoteReq{10, 20, created->voteId, 0, started->jiFangId, 2, 1, 1, {}});
        ASSERT_TRUE(viewer->waitFor(VOTE_SYSTEM_USER_VOTE_RES));
        if (i == 0) { // the count after the vote, which its answer rides with
            ASSERT_TRUE(viewer->waitFor(VOTE_SYSTEM_BROADCAST_VOTE));
        }
    }
    for (int i = 0; i < 45; ++i)
        viewer->sendVote(VOTE_SYSTEM_QUERY_ALL_VOTE_REQ, PQueryAllVoteReq{10, 20, {}});
    for (int i = 0; i < 45; ++i)
        ASSERT_TRUE(viewer->waitFor(VOTE_SYSTEM_QUERY_ALL_VOTE_RES));
    const std::string after = server.metrics();

    const auto moved = [&](const std::string& series) {
        return metricSample(after, series).value_or(0) - metricSample(before, series).value_or(0);
    };
    EXPECT_EQ(metricSample(after, R"(quorix_sessions{transport="tcp"})"), std::optional<double>(2));
    EXPECT_EQ(metricSample(after, R"(quorix_requests_total{message="start",result="0"})"),
              std::optional<double>(1));
    EXPECT_EQ(moved(R"(quorix_requests_total{message="vote",result="0"})"), 1);
    EXPECT_EQ(moved(R"(quorix_requests_total{message="vote",result="11"})"), 1);
    EXPECT_EQ(moved("quorix_votes_accepted_total"), 1);
    EXPECT_GE(moved("quorix_broadcasts_total"), 1);
    EXPECT_GE(moved("quorix_flood_refusals_total"), 1);
    EXPECT_EQ(moved(R"(quorix_requests_total{message="query_all",result="19"})"),
              moved("quorix_flood_refusals_total"));
    EXPECT_GT(moved(R"(quorix_bytes_sent_total{transport="tcp"})"), 0);
    EXPECT_GE(moved("quorix_storage_commit_seconds_count"), 1);

    viewer.reset();
    for (int i = 0; i < 100 && metricSample(server.metrics(), R"(quorix_sessions{transport="tcp"})") != 1.0;
         ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(metricSample(server.metrics(), R"(quorix_sessions{transport="tcp"})"),
              std::optional<double>(1));
}

TEST(VoteServerTest, MoveBringsTheRunningVoteAndLateJoinersGetItAfterWelcome)
{
    InProcessServer server;
    auto manager = welcomed(server.port, identity(1, 255));
    auto mover = welcomed(server.port, identity(2, 0, 21));
    manager->sendVote(VOTE_SYSTEM_CREATE_VOTE_REQ, PCreateVoteReq{10, 20, normalVote("Song", 2, 1, 1), {}});
    const auto created = manager->waitForMessage<PCreateVoteRes>(VOTE_SYSTEM_CREATE_VOTE_RES);
    ASSERT_TRUE(created);
    manager->sendVote(VOTE_SYSTEM_START_VOTE_REQ, PStartVoteReq{10, 20, created->voteId, 1, {}});
    ASSERT_TRUE(manager->waitFor(VOTE_SYSTEM_BROADCAST_VOTE));

    ASSERT_TRUE(mover->sendFrame(kControlMajorType, kControlMove, mpak::encode(PMove{20})));
    const auto pushed = mover->waitForMessage<PBroadcastVote>(VOTE_SYSTEM_BROADCAST_VOTE);
    ASSERT_TRUE(pushed);
    EXPECT_EQ(pushed->vote.voteId, created->voteId);

    TcpTestClient late;
    ASSERT_TRUE(late.connect(server.port));
    EXPECT_EQ(late.hello(identity(3, 0)), std::optional<std::uint32_t>(kWelcomeAccepted));
    EXPECT_TRUE(late.waitFor(VOTE_SYSTEM_BROADCAST_VOTE));
}

TEST(VoteServerTest, HostileStreamsCloseOnlyTheirConnection)
{
    InProcessServer server;
    auto manager = welcomed(server.port, identity(1, 255));
    manager->sendVote(VOTE_SYSTEM_CREATE_VOTE_REQ, PCreateVoteReq{10, 20, normalVote("kept", 2, 1, 1), {}});
    ASSERT_TRUE(manager->waitFor(VOTE_SYSTEM_CREATE_VOTE_RES));

    const std::string query = mpak::encode(PQueryAllVoteReq{10, 20, {}});
    std::string longNick(200, 'n');
    const struct
    {
        const char* name;
        bool welcomeFirst;
        std::string bytes;
    } rows[] = {
        {"length below a header", true, lengthPrefixed(9, std::string(9, '\0'))},
        {"length above the largest frame", true, lengthPrefixed(65546, "")},
        {"length of four gigabytes", true, lengthPrefixed(0xffffffffu, "")},
        {"payload length shorter than the frame", true,
         lengthPrefixed(10 + query.size(), rawFrame(2500, 28, 5, query))},
        {"payload length longer than the frame", true,
         lengthPrefixed(10 + query.size(), rawFrame(2500, 28, 65535, query))},
        {"vote message before WELCOME", false,
         lengthPrefixed(10 + query.size(), rawFrame(2500, 28, query.size(), query))},
        {"MOVE before WELCOME", false, lengthPrefixed(14, rawFrame(1, 3, 4, std::string(4, '\0')))},
        {"unknown major type", true, lengthPrefixed(10 + query.size(), rawFrame(7, 28, query.size(), query))},
        {"second HELLO", true, lengthPrefixed(10 + 4, rawFrame(1, 1, 4, std::string(4, '\0')))},
        {"truncated MOVE", true, lengthPrefixed(12, rawFrame(1, 3, 2, std::string(2, '\0')))},
        {"unknown control message", true, lengthPrefixed(14, rawFrame(1, 9, 4, std::string(4, '\0')))},
    };
    for (const auto& row : rows) {
        TcpTestClient hostile;
        ASSERT_TRUE(hostile.connect(server.port));
        if (row.welcomeFirst) {
            ASSERT_EQ(hostile.hello(identity(66, 255)), std::optional<std::uint32_t>(kWelcomeAccepted))
                << row.name;
        }
        ASSERT_TRUE(hostile.sendRaw(row.bytes)) << row.name;
        if (!row.welcomeFirst) {
            const auto refusal = hostile.readFrame();
            PWelcome welcome;
            ASSERT_TRUE(refusal && mpak::decode(refusal->payload, welcome)) << row.name;
            EXPECT_EQ(welcome.result, kWelcomeHelloExpected) << row.name;
        }
        EXPECT_TRUE(hostile.closedWithin()) << row.name;
        expectServed(*manager, 1);
    }
}

TEST(VoteServerTest, FramesSplitOrJoinedInTheStreamAreReadExactly)
{
    InProcessServer server;
    auto client = welcomed(server.port, identity(1, 0));
    const std::string frame =
        mpak::encodeFrame(2500, VOTE_SYSTEM_QUERY_ALL_VOTE_REQ, mpak::encode(PQueryAllVoteReq{10, 20, {}}));
    const std::string one = lengthPrefixed(static_cast<std::uint32_t>(frame.size()), frame);

    ASSERT_TRUE(client->sendRaw(one + one + one.substr(0, 7)));
    for (int i = 0; i < 2; ++i)
        ASSERT_TRUE(client->waitFor(VOTE_SYSTEM_QUERY_ALL_VOTE_RES)) << "joined frame " << i;
    for (std::size_t i = 7; i < one.size(); ++i) {
        ASSERT_TRUE(client->sendRaw(one.substr(i, 1)));
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_TRUE(client->waitFor(VOTE_SYSTEM_QUERY_ALL_VOTE_RES)) << "frame sent byte by byte";
    EXPECT_FALSE(client->waitFor(VOTE_SYSTEM_QUERY_ALL_VOTE_RES, 200)) << "exactly three answers";
}

// ---- tokens --------------------------------------------------------------------------------------

constexpr const char* kServerSecret = "sixteen bytes or more of secret";

// A token of the service's secret for `who`, with these scopes and seconds left.
std::string sessionToken(const SessionIdentity& who, ScopeSet scopes, std::int64_t secondsLeft,
                         std::optional<std::uint32_t> subChannel = std::nullopt)
{
    const std::int64_t now = SystemClock().unixSeconds();
    AccessClaims claims;
    claims.uid = who.uid;
    claims.imid = who.imid;
    claims.role = who.role;
    claims.channelId = who.channelId;
    claims.subChannelId = subChannel;
    claims.scopes = scopes;
    claims.issuedAt = now - 60;
    claims.expiresAt = now + secondsLeft;
    claims.tokenId = "session-jti";
    return TokenSigner::withSecret(kServerSecret).sign(claims);
}

std::optional<PWebTokenAnswer> askWebToken(TcpTestClient& client, const std::string& body)
{
    if (!client.sendFrame(kControlMajorType, kControlWebTokenRequest, body))
        return std::nullopt;
    while (const auto frame = client.readFrame()) {
        PWebTokenAnswer answer;
        if (frame->maxType == kControlMajorType && frame->minType == kControlWebTokenAnswer &&
            mpak::decode(frame->payload, answer))
            return answer;
    }
    return std::nullopt;
}

ServerOptions withSecret()
{
    ServerOptions options;
    options.secret = kServerSecret;
    options.tokens.keys = KeySet::fromSecret(kServerSecret);
    options.tokens.signer = TokenSigner::withSecret(kServerSecret);
    return options;
}

// The token a host asks for its web link: the session's scopes less manage and metrics, two hours at
// most and never past the session's own token, same identity and sub_channel, a fresh jti.
TEST(VoteServerTokenTest, AWebTokenIsNarrowerAndShorterThanTheSessionsOwn)
{
    const ScopeSet all = ScopeSet::all();
    const ScopeSet events = AccessScope::Events;
    const ScopeSet eventsVote = events.with(AccessScope::Vote);
    const struct
    {
        const char* name;
        ScopeSet sessionScopes;
        std::int64_t sessionLeft;
        std::optional<std::uint32_t> pinned;
        std::string body;
        std::uint32_t result;
        ScopeSet granted;
        std::int64_t lifetime;
    } rows[] = {
        {"a manager's day-long token",
         all,
         86000,
         {},
         mpak::encode(PWebTokenRequest{"events vote manage", 0}),
         kWebTokenGranted,
         eventsVote,
         7200},
        {"a shorter lifetime asked",
         all,
         86000,
         {},
         mpak::encode(PWebTokenRequest{"events", 600}),
         kWebTokenGranted,
         events,
         600},
        {"never past the session's token",
         all,
         1800,
         {},
         mpak::encode(PWebTokenRequest{"events vote", 7200}),
         kWebTokenGranted,
         eventsVote,
         1800},
        {"no more than the session has", events, 86000, 20, mpak::encode(PWebTokenRequest{"events vote", 0}),
         kWebTokenGranted, events, 7200},
        {"only what a web page may not hold",
         all,
         86000,
         {},
         mpak::encode(PWebTokenRequest{"manage metrics", 0}),
         kWebTokenNothingToGrant,
         {},
         0},
        {"an unknown scope word",
         all,
         86000,
         {},
         mpak::encode(PWebTokenRequest{"events admin", 0}),
         kWebTokenMalformed,
         {},
         0},
        {"a body that does not decode",
         all,
         86000,
         {},
         std::string("\x05\x00ev", 4),
         kWebTokenMalformed,
         {},
         0},
    };
    InProcessServer server(withSecret());
    TokenVerifier verifier(KeySet::fromSecret(kServerSecret), TokenPolicy{});
    std::uint32_t uid = 100;
    for (const auto& row : rows) {
        const SessionIdentity who = identity(++uid, 255);
        TcpTestClient host;
        ASSERT_TRUE(host.connect(server.port));
        ASSERT_EQ(host.hello(who, sessionToken(who, row.sessionScopes, row.sessionLeft, row.pinned)),
                  std::optional<std::uint32_t>(kWelcomeAccepted))
            << row.name;
        const auto answer = askWebToken(host, row.body);
        ASSERT_TRUE(answer) << row.name;
        EXPECT_EQ(answer->result, row.result) << row.name;
        if (row.result != kWebTokenGranted) {
            EXPECT_TRUE(answer->token.empty()) << row.name;
            continue;
        }
        const std::int64_t now = SystemClock().unixSeconds();
        const TokenVerdict verdict = verifier.verify(answer->token, now);
        ASSERT_TRUE(verdict.accepted()) << row.name << ": " << reasonWord(verdict.refusal);
        const AccessClaims& c = verdict.claims;
        EXPECT_EQ(c.scopes, row.granted) << row.name << ": " << c.scopes.words();
        EXPECT_FALSE(c.scopes.has(AccessScope::Manage)) << row.name;
        EXPECT_NEAR(double(answer->expiresIn), double(row.lifetime), 2) << row.name;
        EXPECT_EQ(c.expiresAt - c.issuedAt, std::int64_t(answer->expiresIn)) << row.name;
        EXPECT_LE(c.expiresAt - now, 7200) << row.name;
        EXPECT_TRUE(c.uid == who.uid && c.imid == who.imid && c.role == who.role &&
                    c.channelId == who.channelId)
            << row.name;
        EXPECT_EQ(c.subChannelId, row.pinned) << row.name;
        EXPECT_EQ(c.tokenId.size(), 32u) << row.name;
        EXPECT_NE(c.tokenId, "session-jti") << row.name;
        // The page that holds it gets in as the same user, and cannot manage.
        TcpTestClient page;
        ASSERT_TRUE(page.connect(server.port));
        ASSERT_EQ(page.hello(who, answer->token), std::optional<std::uint32_t>(kWelcomeAccepted)) << row.name;
        page.sendVote(VOTE_SYSTEM_CREATE_VOTE_REQ, PCreateVoteReq{10, 20, normalVote("v", 2, 1, 1), {}});
        const auto created = page.waitForMessage<PCreateVoteRes>(VOTE_SYSTEM_CREATE_VOTE_RES);
        EXPECT_TRUE(created && created->result == kResultScopeMissing) << row.name;
    }
}

// Without keys nothing is checked and the page needs no token; with keys but nothing to sign with
// (a JWK Set of public keys and no --signing-key) no token can be granted.
TEST(VoteServerTokenTest, WithoutKeysTheWebTokenIsEmptyAndWithoutASigningKeyItIsRefused)
{
    ServerOptions keysOnly = withSecret();
    keysOnly.tokens.signer.reset();
    const SessionIdentity me = identity(1, 255);
    const struct
    {
        const char* name;
        ServerOptions options;
        std::string token;
        std::uint32_t result;
        std::uint32_t expiresIn;
    } rows[] = {
        {"no keys", ServerOptions{}, "", kWebTokenGranted, 7200},
        {"keys without a signer", keysOnly, sessionToken(me, ScopeSet::all(), 600), kWebTokenCannotSign, 0},
    };
    for (const auto& row : rows) {
        InProcessServer server(row.options);
        TcpTestClient host;
        ASSERT_TRUE(host.connect(server.port));
        ASSERT_EQ(host.hello(me, row.token), std::optional<std::uint32_t>(kWelcomeAccepted)) << row.name;
        const auto answer = askWebToken(host, mpak::encode(PWebTokenRequest{"events vote", 0}));
        ASSERT_TRUE(answer) << row.name;
        EXPECT_EQ(answer->result, row.result) << row.name;
        EXPECT_TRUE(answer->token.empty()) << row.name;
        EXPECT_EQ(answer->expiresIn, row.expiresIn) << row.name;
    }
}

// Each web token spends a request of the session's budget, as vote requests do: no signing flood.
TEST(VoteServerTokenTest, WebTokensSpendTheRequestBudget)
{
    InProcessServer server(withSecret());
    const SessionIdentity me = identity(1, 20);
    TcpTestClient host;
    ASSERT_TRUE(host.connect(server.port));
    ASSERT_EQ(host.hello(me, sessionToken(me, ScopeSet::all(), 600)),
              std::optional<std::uint32_t>(kWelcomeAccepted));
    // All asked at once, so that the budget does not refill between them on a slow machine.
    const std::string ask = mpak::encode(PWebTokenRequest{"events", 0});
    for (int i = 0; i < 41; ++i)
        ASSERT_TRUE(host.sendFrame(kControlMajorType, kControlWebTokenRequest, ask));
    std::map<std::uint32_t, int> results;
    for (int answered = 0; answered < 41;) {
        const auto frame = host.readFrame();
        ASSERT_TRUE(frame) << answered << " answered";
        PWebTokenAnswer answer;
        if (frame->minType == kControlWebTokenAnswer && mpak::decode(frame->payload, answer)) {
            ++results[answer.result];
            ++answered;
        }
    }
    EXPECT_EQ(results[kWebTokenGranted], 40);
    EXPECT_EQ(results[kWebTokenTooManyRequests], 1);
}

// A token with a sub_channel holds its session there: a MOVE elsewhere closes it, one to the same
// sub-channel does not; an unpinned session moves freely.
TEST(VoteServerTokenTest, APinnedSessionThatMovesElsewhereIsClosed)
{
    InProcessServer server(withSecret());
    const SessionIdentity me = identity(1, 20);
    TcpTestClient pinned, free;
    ASSERT_TRUE(pinned.connect(server.port) && free.connect(server.port));
    ASSERT_EQ(pinned.hello(me, sessionToken(me, ScopeSet::all(), 600, 20)),
              std::optional<std::uint32_t>(kWelcomeAccepted));
    ASSERT_EQ(free.hello(me, sessionToken(me, ScopeSet::all(), 600)),
              std::optional<std::uint32_t>(kWelcomeAccepted));
    ASSERT_TRUE(pinned.sendFrame(kControlMajorType, kControlMove, mpak::encode(PMove{20})));
    ASSERT_TRUE(free.sendFrame(kControlMajorType, kControlMove, mpak::encode(PMove{21})));
    EXPECT_FALSE(pinned.closedWithin(300)) << "a move to its own sub-channel";
    ASSERT_TRUE(pinned.sendFrame(kControlMajorType, kControlMove, mpak::encode(PMove{21})));
    EXPECT_TRUE(pinned.closedWithin());
    EXPECT_FALSE(free.closedWithin(300));
    EXPECT_EQ(server.connections(), 1u);
}

TEST(VoteServerTest, BadHellosAreRefused)
{
    ServerOptions options;
    options.maxSessions = 2;
    InProcessServer server(options);
    auto first = welcomed(server.port, identity(1, 255));

    SessionIdentity longNick = identity(5, 0);
    longNick.nick.assign(200, 'n');
    SessionIdentity badUtf8 = identity(6, 0);
    badUtf8.nick = "a\xff";
    for (const SessionIdentity& id : {longNick, badUtf8}) {
        TcpTestClient client;
        ASSERT_TRUE(client.connect(server.port));
        EXPECT_EQ(client.hello(id), std::optional<std::uint32_t>(kWelcomeMalformed));
        EXPECT_TRUE(client.closedWithin());
    }
    TcpTestClient truncated;
    ASSERT_TRUE(truncated.connect(server.port));
    ASSERT_TRUE(truncated.sendFrame(kControlMajorType, kControlHello, std::string(6, '\0')));
    const auto refusal = truncated.readFrame();
    PWelcome welcome;
    ASSERT_TRUE(refusal && mpak::decode(refusal->payload, welcome));
    EXPECT_EQ(welcome.result, kWelcomeMalformed);

    auto second = welcomed(server.port, identity(2, 0));
    TcpTestClient third;
    ASSERT_TRUE(third.connect(server.port));
    EXPECT_EQ(third.hello(identity(3, 0)), std::optional<std::uint32_t>(kWelcomeServiceFull));
    expectServed(*first, 0);
}

TEST(VoteServerTest, HelloNicksLoseControlAndDirectionCharacters)
{
    InProcessServer server;
    SessionIdentity sly = identity(7, 0);
    sly.nick = std::string("\u202Eevil\x1b[2J\0\tnick\u2069", 20);
    SessionIdentity empty = identity(8, 0);
    empty.nick = "\u200F\r\n";
    auto slyClient = welcomed(server.port, sly);
    auto emptyClient = welcomed(server.port, empty);
    for (const auto& [imid, nick] : {std::pair{sly.imid, "evilnick"}, std::pair{empty.imid, "8"}}) {
        ASSERT_TRUE(slyClient->sendVote(VOTE_SYSTEM_QUERY_NICKNAME_REQ, PQueryNicknameReq{imid, {}}));
        const auto res = slyClient->waitForMessage<PQueryNicknameRes>(VOTE_SYSTEM_QUERY_NICKNAME_RES);
        ASSERT_TRUE(res);
        EXPECT_EQ(res->nick, nick) << imid;
    }
}

TEST(VoteServerTest, SilentConnectionsAreClosedAfterTheHelloTimeout)
{
    ServerOptions options;
    options.helloTimeoutMs = 100;
    InProcessServer server(options);
    TcpTestClient silent;
    ASSERT_TRUE(silent.connect(server.port));
    EXPECT_TRUE(silent.closedWithin(3000));
    EXPECT_EQ(server.connections(), 0u);
}

TEST(VoteServerTest, BadBodiesAreAnsweredAndTheConnectionKept)
{
    InProcessServer server;
    auto manager = welcomed(server.port, identity(1, 255));
    const std::string create = mpak::encode(PCreateVoteReq{10, 20, normalVote("x", 2, 1, 1), {}});
    ASSERT_TRUE(manager->sendFrame(2500, VOTE_SYSTEM_CREATE_VOTE_REQ, create.substr(0, 30)));
    auto res = manager->waitForMessage<PCreateVoteRes>(VOTE_SYSTEM_CREATE_VOTE_RES);
    ASSERT_TRUE(res);
    EXPECT_EQ(res->result, kResultMalformed);

    mpak::PackBuffer buffer;
    mpak::Pack pack(buffer);
    pack.push_uint32(10).push_uint32(20).push_uint32(0xfffffff0u); // a map claiming billions of entries
    ASSERT_TRUE(manager->sendFrame(2500, VOTE_SYSTEM_BATCH_DELETE_VOTE_REQ, pack.str()));
    const auto batch = manager->waitForMessage<PBatchDeleteVoteRes>(VOTE_SYSTEM_BATCH_DELETE_VOTE_RES);
    ASSERT_TRUE(batch);
    EXPECT_EQ(batch->aux1, kResultMalformed);

    VoteInfo oversized = normalVote("x", 2, 1, 1);
    oversized.options[0].assign(60000, 'o');
    ASSERT_TRUE(manager->sendVote(VOTE_SYSTEM_CREATE_VOTE_REQ, PCreateVoteReq{10, 20, oversized, {}}));
    res = manager->waitForMessage<PCreateVoteRes>(VOTE_SYSTEM_CREATE_VOTE_RES);
    ASSERT_TRUE(res);
    EXPECT_EQ(res->result, kResultInvalidRecord);

    ASSERT_TRUE(manager->sendFrame(2500, 99, "anything"));
    expectServed(*manager, 0);
}

TEST(VoteServerTest, FloodersAreDroppedAndOthersServed)
{
    InProcessServer server;
    auto bystander = welcomed(server.port, identity(1, 255));
    auto flooder = welcomed(server.port, identity(2, 255));
    const std::string frame =
        mpak::encodeFrame(2500, VOTE_SYSTEM_QUERY_ALL_VOTE_REQ, mpak::encode(PQueryAllVoteReq{10, 20, {}}));
    std::string burst;
    for (int i = 0; i < 400; ++i)
        burst += lengthPrefixed(static_cast<std::uint32_t>(frame.size()), frame);
    ASSERT_TRUE(flooder->sendRaw(burst));
    // Answers may be cut short by the reset of the dropped connection; none beyond the burst is served.
    std::size_t served = 0;
    while (auto answer = flooder->waitForMessage<PQueryAllVoteRes>(VOTE_SYSTEM_QUERY_ALL_VOTE_RES, 1000))
        served += answer->result == 0;
    EXPECT_LE(served, 40u);
    EXPECT_TRUE(flooder->closedWithin());
    expectServed(*bystander, 0);
}

TEST(VoteServerTest, OneUserCannotTakeEverySession)
{
    ServerOptions options;
    options.maxSessions = 5;
    options.maxSessionsPerUser = 2;
    InProcessServer server(options);
    const struct
    {
        const char* name;
        std::uint32_t uid;
        std::uint32_t channelId;
        std::uint32_t expected;
    } rows[] = {
        {"first session of a viewer", 5, 10, kWelcomeAccepted},
        {"second session of the viewer", 5, 10, kWelcomeAccepted},
        {"third session of the viewer", 5, 10, kWelcomeTooManyForUser},
        {"fourth session of the viewer", 5, 10, kWelcomeTooManyForUser},
        {"the same uid in another channel", 5, 11, kWelcomeAccepted},
        {"the manager", 1, 10, kWelcomeAccepted},
    };
    std::vector<std::unique_ptr<TcpTestClient>> open;
    for (const auto& row : rows) {
        auto client = std::make_unique<TcpTestClient>();
        ASSERT_TRUE(client->connect(server.port)) << row.name;
        EXPECT_EQ(client->hello(identity(row.uid, 0, 20, row.channelId)),
                  std::optional<std::uint32_t>(row.expected))
            << row.name;
        if (row.expected == kWelcomeAccepted)
            open.push_back(std::move(client));
        else
            EXPECT_TRUE(client->closedWithin()) << row.name;
    }

    // A closed session frees its place for the same user.
    open.front().reset();
    std::optional<std::uint32_t> again;
    for (int attempt = 0; attempt < 50 && again != std::optional<std::uint32_t>(kWelcomeAccepted);
         ++attempt) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        auto client = std::make_unique<TcpTestClient>();
        ASSERT_TRUE(client->connect(server.port));
        again = client->hello(identity(5, 0));
        open.push_back(std::move(client));
    }
    EXPECT_EQ(again, std::optional<std::uint32_t>(kWelcomeAccepted));
}

TEST(VoteServerTest, AMoveFloodIsDroppedWithoutBringingBackTheVoteEachTime)
{
    InProcessServer server;
    auto manager = welcomed(server.port, identity(1, 255));
    manager->sendVote(VOTE_SYSTEM_CREATE_VOTE_REQ, PCreateVoteReq{10, 20, normalVote("Song", 2, 1, 1), {}});
    const auto created = manager->waitForMessage<PCreateVoteRes>(VOTE_SYSTEM_CREATE_VOTE_RES);
    ASSERT_TRUE(created);
    manager->sendVote(VOTE_SYSTEM_START_VOTE_REQ, PStartVoteReq{10, 20, created->voteId, 1, {}});
    ASSERT_TRUE(manager->waitFor(VOTE_SYSTEM_BROADCAST_VOTE));

    auto flooder = welcomed(server.port, identity(2, 0, 21));
    const std::string toVote = lengthPrefixed(14, rawFrame(1, 3, 4, mpak::encode(PMove{20})));
    const std::string away = lengthPrefixed(14, rawFrame(1, 3, 4, mpak::encode(PMove{21})));
    std::string burst;
    for (int i = 0; i < 200; ++i)
        burst += toVote + away;
    ASSERT_TRUE(flooder->sendRaw(burst));
    std::size_t broadcasts = 0;
    while (const auto frame = flooder->readFrame(1000))
        broadcasts += frame->minType == VOTE_SYSTEM_BROADCAST_VOTE;
    EXPECT_LE(broadcasts, 2u);
    EXPECT_TRUE(flooder->closedWithin());
    expectServed(*manager, 1);
}

TEST(VoteServerTest, AFrameThatStopsHalfwayIsClosedAfterTheFrameTimeout)
{
    ServerOptions options;
    options.frameTimeoutMs = 1500;
    InProcessServer server(options);
    const std::string query =
        mpak::encodeFrame(2500, VOTE_SYSTEM_QUERY_ALL_VOTE_REQ, mpak::encode(PQueryAllVoteReq{10, 20, {}}));
    const std::string whole = lengthPrefixed(static_cast<std::uint32_t>(query.size()), query);
    const struct
    {
        const char* name;
        std::string bytes;
    } parked[] = {
        {"part of a length prefix", whole.substr(0, 2)},
        {"the start of a large frame",
         lengthPrefixed(65545, rawFrame(2500, 28, 65535, std::string(30000, 'x')))},
        {"a whole frame and the start of the next", whole + whole.substr(0, 9)},
    };
    std::vector<std::unique_ptr<TcpTestClient>> stalled;
    for (const auto& row : parked) {
        stalled.push_back(welcomed(server.port, identity(10 + std::uint32_t(stalled.size()), 0)));
        ASSERT_TRUE(stalled.back()->sendRaw(row.bytes)) << row.name;
    }

    // A slow sender whose every frame arrives within the timeout stays, though it sends for longer.
    auto steady = welcomed(server.port, identity(1, 255));
    for (int frame = 0; frame < 4; ++frame) {
        for (char byte : whole) {
            ASSERT_TRUE(steady->sendRaw(std::string(1, byte)));
            std::this_thread::sleep_for(std::chrono::milliseconds(400 / whole.size()));
        }
        EXPECT_TRUE(steady->waitFor(VOTE_SYSTEM_QUERY_ALL_VOTE_RES)) << "frame " << frame;
    }
    for (std::size_t i = 0; i < stalled.size(); ++i)
        EXPECT_TRUE(stalled[i]->closedWithin(4000)) << parked[i].name;
    EXPECT_EQ(server.connections(), 1u);
    expectServed(*steady, 0);
}

TEST(VoteServerTest, ReadersThatDoNotReadAreDropped)
{
    ServerOptions options;
    options.maxQueuedBytes = 64 * 1024;
    options.socketSendBuffer = 16 * 1024;
    InProcessServer server(options);
    auto manager = welcomed(server.port, identity(1, 255));
    TcpTestClient slow;
    slow.setReceiveBuffer(4096);
    ASSERT_TRUE(slow.connect(server.port));
    ASSERT_EQ(slow.hello(identity(2, 255)), std::optional<std::uint32_t>(kWelcomeAccepted));

    VoteInfo large = normalVote("large", 10, 1, 1);
    large.auxText2.assign(1000, 'x');
    for (int i = 0; i < 12; ++i) {
        manager->sendVote(VOTE_SYSTEM_CREATE_VOTE_REQ, PCreateVoteReq{10, 20, large, {}});
        ASSERT_TRUE(manager->waitFor(VOTE_SYSTEM_CREATE_VOTE_RES));
    }
    // Each answer is a list of about 14 KB; the slow reader asks for 40 and reads none.
    for (int i = 0; i < 40; ++i)
        slow.sendVote(VOTE_SYSTEM_QUERY_ALL_VOTE_REQ, PQueryAllVoteReq{10, 20, {}});
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_EQ(server.connections(), 1u);
    EXPECT_TRUE(slow.closedWithin(5000));
    expectServed(*manager, 12);
    EXPECT_EQ(metricSample(server.metrics(), "quorix_output_queues_cut_total"), std::optional<double>(1));
}

TEST(VoteServerTest, AReaderThatFallsBehindGetsEveryFrameIntact)
{
    ServerOptions options;
    options.socketSendBuffer = 8 * 1024;
    InProcessServer server(options);
    auto manager = welcomed(server.port, identity(1, 255));
    TcpTestClient behind;
    behind.setReceiveBuffer(4096);
    ASSERT_TRUE(behind.connect(server.port));
    ASSERT_EQ(behind.hello(identity(2, 0)), std::optional<std::uint32_t>(kWelcomeAccepted));

    VoteInfo large = normalVote("large", 10, 1, 1);
    large.auxText2.assign(1500, 'x');
    constexpr std::size_t kVotes = 10;
    for (std::size_t i = 0; i < kVotes; ++i) {
        manager->sendVote(VOTE_SYSTEM_CREATE_VOTE_REQ, PCreateVoteReq{10, 20, large, {}});
        ASSERT_TRUE(manager->waitFor(VOTE_SYSTEM_CREATE_VOTE_RES));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    for (std::size_t i = 1; i <= kVotes; ++i) {
        const auto list = behind.waitForMessage<PBroadcastChannelVote>(VOTE_SYSTEM_BROADCAST_CHANNEL_VOTE);
        ASSERT_TRUE(list) << "push " << i;
        ASSERT_EQ(list->votes.size(), i);
        EXPECT_EQ(list->votes.back().auxText2, large.auxText2);
    }
}

// A storage that holds writes for a commit which fails once told to, as on a full disk.
class FailingCommitStorage : public MemoryVoteStorage
{
public:
    bool commit() override { return !failing; }
    bool buffersWrites() const override { return true; }

    std::atomic<bool> failing{false};
};

TEST(VoteServerTest, AFailedCommitEndsTheServersLoopWithoutAnswering)
{
    asio::io_context io;
    SystemClock clock;
    FailingCommitStorage storage;
    ServerOptions options;
    options.port = 0;
    VoteServer server(io, options, clock, storage);
    std::string error;
    ASSERT_TRUE(server.listen(error)) << error;
    const std::uint16_t port = server.port();
    // Stands for the other work of the program (its signal set), which must not keep it running.
    auto otherWork = asio::make_work_guard(io);
    auto running = std::async(std::launch::async, [&io] { io.run(); });

    auto manager = welcomed(port, identity(1, 255));
    storage.failing = true;
    ASSERT_TRUE(manager->sendVote(VOTE_SYSTEM_CREATE_VOTE_REQ,
                                  PCreateVoteReq{10, 20, normalVote("Unsaved", 2, 1, 1), {}}));
    const bool ended = running.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
    if (!ended)
        io.stop();
    running.wait();
    EXPECT_TRUE(ended) << "the loop went on after the failed commit";
    EXPECT_TRUE(server.storageFailed());
    EXPECT_FALSE(manager->waitFor(VOTE_SYSTEM_CREATE_VOTE_RES, 500)) << "an answer reported an unsaved write";
}

// ---- the audit trail's writers ----------------------------------------------------------------

AuditEntry sampleEntry()
{
    AuditEntry entry;
    entry.unixSeconds = 1800000000;
    entry.action = "start";
    entry.uid = 1;
    entry.imid = 90001;
    entry.role = 255;
    entry.channelId = 10;
    entry.subChannelId = 20;
    entry.voteId = 3;
    entry.jiFangId = 7;
    entry.transport = "tcp";
    entry.peer = "127.0.0.1:40522";
    return entry;
}

std::vector<std::string> linesOf(const std::string& path)
{
    std::ifstream file(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);)
        lines.push_back(line);
    return lines;
}

TEST(AuditLineTest, AnEntryIsOneLineOfJsonWithWhatItHas)
{
    AuditEntry batch = sampleEntry();
    batch.action = "batchDelete";
    batch.result = 2;
    batch.voteId.reset();
    batch.jiFangId.reset();
    batch.voteIds = {4, 5};
    batch.peer.clear();
    batch.transport = "embedded";
    batch.tokenId = "a\"b\xff";
    const struct
    {
        const char* name;
        AuditEntry entry;
        std::string line;
    } rows[] = {
        {"a start", sampleEntry(),
         R"({"time":"2027-01-15T08:00:00Z","action":"start","result":0,"uid":1,"imid":90001,"role":255,)"
         R"("channel":10,"subChannel":20,"voteId":3,"jiFangId":7,"transport":"tcp","peer":"127.0.0.1:40522"})"},
        {"a batch delete with a strange jti", batch,
         R"({"time":"2027-01-15T08:00:00Z","action":"batchDelete","result":2,"uid":1,"imid":90001,"role":255,)"
         R"("channel":10,"subChannel":20,"voteIds":[4,5],"transport":"embedded","jti":"a\"b)"
         "\xef\xbf\xbd\"}"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(AuditLine::json(row.entry), row.line) << row.name;
        const std::vector<std::string> fields = AuditJournal::fields(row.entry);
        ASSERT_FALSE(fields.empty());
        EXPECT_EQ(fields[0], "MESSAGE=" + row.line) << row.name;
        EXPECT_NE(std::find(fields.begin(), fields.end(), "QUORIX_AUDIT=1"), fields.end()) << row.name;
        EXPECT_NE(std::find(fields.begin(), fields.end(), "QUORIX_ACTION=" + row.entry.action), fields.end());
    }
}

// The file is created 0600 and appended to; reopen() follows a rotation, and a reopen that fails
// keeps writing where the writer wrote before.
TEST(AuditLogFileTest, LinesAreAppendedAndReopenFollowsARotation)
{
    const std::string folder = ::testing::TempDir() + "/audit-rotation";
    const std::string moved = folder + "-moved";
    std::filesystem::remove_all(folder);
    std::filesystem::remove_all(moved);
    std::filesystem::create_directories(folder);
    const std::string path = folder + "/audit.log";
    std::string error;
    auto log = AuditLogFile::open(path, error);
    ASSERT_TRUE(log) << error;
    log->record(sampleEntry());
    EXPECT_EQ(std::filesystem::status(path).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);

    std::filesystem::rename(path, path + ".1");
    ASSERT_TRUE(log->reopen(error)) << error;
    log->record(sampleEntry());
    log->record(sampleEntry());
    EXPECT_EQ(linesOf(path + ".1").size(), 1u);
    EXPECT_EQ(linesOf(path).size(), 2u);

    auto again = AuditLogFile::open(path, error);
    ASSERT_TRUE(again) << error;
    again->record(sampleEntry());
    EXPECT_EQ(linesOf(path).size(), 3u) << "an existing file is appended to";

    std::filesystem::rename(folder, moved);
    EXPECT_FALSE(again->reopen(error));
    EXPECT_EQ(error, "cannot open the audit log " + path + ": No such file or directory");
    again->record(sampleEntry());
    EXPECT_EQ(linesOf(moved + "/audit.log").size(), 4u);
    for (const std::string& line : linesOf(moved + "/audit.log"))
        EXPECT_EQ(line, AuditLine::json(sampleEntry()));
    std::filesystem::remove_all(moved);
}

// ---- the program ------------------------------------------------------------------------------

std::string runToken(const std::string& args)
{
    FILE* out = ::popen((std::string(QUORIX_VOTED_PATH) + " token " + args).c_str(), "r");
    char line[4096] = {0}; // a JSON Web Token with every claim is some 500 bytes
    const bool read = out && std::fgets(line, sizeof line, out);
    if (out)
        ::pclose(out);
    std::string token = read ? line : "";
    while (!token.empty() && token.back() == '\n')
        token.pop_back();
    return token;
}

// One limiter's verdicts over a sequence of connection attempts, on the tests' clock.
TEST(AddressLimiterTest, BoundsEachAddressAndSaysWhenToLog)
{
    using Verdict = AddressLimiter::Verdict;
    struct Step
    {
        const char* address;
        std::int64_t atMs;
        Verdict verdict;
        bool logNow = false;
        std::uint64_t refusedBefore = 0;
        bool releaseFirst = false; // the first connection still held closes before this attempt
    };
    const struct
    {
        const char* name;
        std::size_t maxOpen;
        std::uint32_t newPerSecond;
        std::vector<Step> steps;
    } rows[] = {
        {"open connections",
         2,
         0,
         {{"10.0.0.1", 0, Verdict::Admitted},
          {"10.0.0.1", 0, Verdict::Admitted},
          {"10.0.0.1", 0, Verdict::TooManyOpen, true},
          {"10.0.0.2", 0, Verdict::Admitted},
          {"10.0.0.1", 5000, Verdict::Admitted, false, 0, true}}},
        {"an IPv4-mapped address counts as its IPv4 address",
         1,
         0,
         {{"10.0.0.1", 0, Verdict::Admitted}, {"::ffff:10.0.0.1", 0, Verdict::TooManyOpen, true}}},
        {"IPv6 counts per /64",
         2,
         0,
         {{"2001:db8:1:2::1", 0, Verdict::Admitted},
          {"2001:db8:1:2:ffff::9", 0, Verdict::Admitted},
          {"2001:db8:1:2::3", 0, Verdict::TooManyOpen, true},
          {"2001:db8:1:3::1", 0, Verdict::Admitted}}},
        {"new connections per second refill over the second",
         0,
         2,
         {{"10.0.0.1", 0, Verdict::Admitted},
          {"10.0.0.1", 0, Verdict::Admitted},
          {"10.0.0.1", 100, Verdict::TooManyNew, true},
          {"10.0.0.1", 499, Verdict::TooManyNew},
          {"10.0.0.1", 500, Verdict::Admitted},
          {"10.0.0.1", 500, Verdict::TooManyNew}}},
        {"a refusal is logged at most once a second per address, with the count since",
         1,
         0,
         {{"10.0.0.1", 0, Verdict::Admitted},
          {"10.0.0.1", 10, Verdict::TooManyOpen, true},
          {"10.0.0.1", 500, Verdict::TooManyOpen},
          {"10.0.0.1", 900, Verdict::TooManyOpen},
          {"10.0.0.2", 0, Verdict::Admitted},
          {"10.0.0.2", 900, Verdict::TooManyOpen, true},
          {"10.0.0.1", 1010, Verdict::TooManyOpen, true, 2}}},
        {"0 bounds nothing", 0, 0, {{"10.0.0.1", 0, Verdict::Admitted}, {"10.0.0.1", 0, Verdict::Admitted}}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        AddressLimiter limiter(row.maxOpen, row.newPerSecond);
        std::vector<AddressLimiter::Lease> held;
        for (std::size_t i = 0; i < row.steps.size(); ++i) {
            const Step& step = row.steps[i];
            SCOPED_TRACE("step " + std::to_string(i));
            if (step.releaseFirst)
                held.erase(held.begin());
            AddressLimiter::Admission admission =
                limiter.admit(asio::ip::make_address(step.address), 1000000 + step.atMs);
            EXPECT_EQ(admission.verdict, step.verdict);
            EXPECT_EQ(admission.logNow, step.logNow);
            EXPECT_EQ(admission.refusedBefore, step.refusedBefore);
            held.push_back(std::move(admission.lease));
        }
    }
    EXPECT_EQ(AddressLimiter::describe(asio::ip::make_address("2001:db8:1:2:3:4:5:6")), "2001:db8:1:2::/64");
    EXPECT_EQ(AddressLimiter::describe(asio::ip::make_address("::ffff:192.0.2.7")), "192.0.2.7");
}

TEST(AddressLimiterTest, ForgetsIdleAddressesAndOutlivesNoLease)
{
    AddressLimiter::Lease outliving;
    {
        AddressLimiter limiter(4, 4);
        {
            AddressLimiter::Lease lease = limiter.admit(asio::ip::make_address("10.0.0.1"), 0).lease;
            outliving = limiter.admit(asio::ip::make_address("10.0.0.2"), 0).lease;
        }
        EXPECT_EQ(limiter.trackedAddresses(), 2u);
        // A second later the closed address's bucket is full again: it is forgotten.
        limiter.admit(asio::ip::make_address("10.0.0.3"), 2000);
        EXPECT_EQ(limiter.trackedAddresses(), 2u);
    }
    // The limiter is gone; releasing the lease now must not touch it.
}

constexpr const char* kSecret = "correct horse battery staple";

// The claims of a token for identity(1, 255) in channel 10, valid for an hour from now.
nlohmann::json managerClaims(std::int64_t now)
{
    return {{"sub", "1"},
            {"imid", 90001},
            {"role", 255},
            {"channel", 10},
            {"scope", "events vote manage"},
            {"iat", now - 10},
            {"exp", now + 3600}};
}

TEST(VotedProgramTest, WithASecretOnlySignedIdentitiesAreWelcomed)
{
    const std::string secretPath = ::testing::TempDir() + "/voted-secret";
    std::ofstream(secretPath) << kSecret << "\n";
    VotedProcess voted(QUORIX_VOTED_PATH,
                       {"--listen", "127.0.0.1:0", "--memory", "--secret-file", secretPath});
    const std::string startup = voted.readLine();
    EXPECT_NE(startup.find("HELLO tokens required"), std::string::npos) << startup;
    const std::uint16_t port = VotedProcess::portOf(startup);
    ASSERT_NE(port, 0) << startup;

    const SessionIdentity me = identity(1, 255);
    const std::string token =
        runToken("--secret-file " + secretPath + " --uid 1 --imid 90001 --role 255 --channel 10");
    ASSERT_EQ(std::count(token.begin(), token.end(), '.'), 2) << "a JWS compact token: " << token;
    TcpTestClient good;
    ASSERT_TRUE(good.connect(port));
    EXPECT_EQ(good.hello(me, token), std::optional<std::uint32_t>(kWelcomeAccepted));

    SessionIdentity promoted = identity(2, 255);
    TcpTestClient forged;
    ASSERT_TRUE(forged.connect(port));
    EXPECT_EQ(forged.hello(promoted, token), std::optional<std::uint32_t>(kWelcomeBadToken));

    EXPECT_EQ(voted.terminate(), 0);
    EXPECT_TRUE(good.closedWithin());
}

// Tokens made by Python's jwt, an implementation independent of the service's: each refusal of a
// HELLO token is WELCOME 2 with its reason word in the log line, which never holds the token.
TEST(VotedProgramTest, EveryRefusalIsLoggedWithItsReasonAndClaimsButNoToken)
{
    const std::string secretPath = ::testing::TempDir() + "/voted-refusal-secret";
    std::ofstream(secretPath) << kSecret << "\n";
    VotedProcess voted(QUORIX_VOTED_PATH, {"--listen", "127.0.0.1:0", "--memory", "--secret-file", secretPath,
                                           "--max-sessions-per-user", "1"});
    const std::uint16_t port = VotedProcess::portOf(voted.readLine());
    ASSERT_NE(port, 0);
    const std::int64_t now = SystemClock().unixSeconds();
    const auto with = [&](nlohmann::json changes) {
        nlohmann::json claims = managerClaims(now);
        for (auto& [name, value] : changes.items())
            if (value.is_null())
                claims.erase(name);
            else
                claims[name] = value;
        return claims;
    };
    const auto hs256 = [](const nlohmann::json& claims, const std::string& key = kSecret,
                          const nlohmann::json& headers = nlohmann::json::object()) {
        return nlohmann::json{{"alg", "HS256"}, {"key", key}, {"headers", headers}, {"claims", claims}};
    };
    std::string whyNot;
    const std::vector<std::string> minted =
        PythonJwt::run({hs256(managerClaims(now)),
                        hs256(with({{"sub_channel", 21}})),
                        hs256(with({{"iat", now - 100}, {"exp", now - 5}})),
                        hs256(with({{"nbf", now + 600}})),
                        hs256(with({{"iat", now}, {"exp", now + 86401}})),
                        hs256(with({{"iat", nullptr}})),
                        hs256(with({{"exp", nullptr}})),
                        hs256(managerClaims(now), "another secret of enough bytes"),
                        {{"alg", "none"}, {"claims", managerClaims(now)}},
                        hs256(managerClaims(now), kSecret, {{"kid", "k9"}})},
                       whyNot);
    if (minted.empty())
        GTEST_SKIP() << whyNot;
    ASSERT_EQ(minted.size(), 10u);
    const std::string& token = minted[0];
    TcpTestClient holder;
    ASSERT_TRUE(holder.connect(port));
    ASSERT_EQ(holder.hello(identity(1, 255), token), std::optional<std::uint32_t>(kWelcomeAccepted));

    SessionIdentity longNick = identity(5, 20);
    longNick.nick.assign(200, 'n');
    const struct
    {
        const char* name;
        SessionIdentity who;
        std::string token;
        std::uint32_t result;
        std::vector<std::string> logged;
    } rows[] = {
        {"another uid",
         identity(2, 255),
         token,
         kWelcomeBadToken,
         {"WELCOME 2 token refused (wrong-claims)", "uid 2, role 255 in channel 10"}},
        {"another role", identity(1, 200), token, kWelcomeBadToken, {"(wrong-claims)", "role 200"}},
        {"another channel",
         identity(1, 255, 20, 11),
         token,
         kWelcomeBadToken,
         {"(wrong-channel)", "channel 11"}},
        {"another sub-channel than its sub_channel",
         identity(1, 255),
         minted[1],
         kWelcomeBadToken,
         {"(wrong-channel)"}},
        {"expired",
         identity(1, 255),
         minted[2],
         kWelcomeBadToken,
         {"(expired)", "uid 1, role 255 in channel 10"}},
        {"not yet valid", identity(1, 255), minted[3], kWelcomeBadToken, {"(not-yet-valid)"}},
        {"lifetime over the maximum", identity(1, 255), minted[4], kWelcomeBadToken, {"(lifetime-too-long)"}},
        {"no iat", identity(1, 255), minted[5], kWelcomeBadToken, {"(lifetime-too-long)"}},
        {"no exp", identity(1, 255), minted[6], kWelcomeBadToken, {"(no-expiry)"}},
        {"forged", identity(1, 255), minted[7], kWelcomeBadToken, {"(bad-signature)"}},
        {"alg none", identity(1, 255), minted[8], kWelcomeBadToken, {"(bad-algorithm)"}},
        {"unknown kid", identity(1, 255), minted[9], kWelcomeBadToken, {"(unknown-key)"}},
        {"old EXPIRY.HEX token",
         identity(1, 255),
         TokenAuth(kSecret).issue({1, 90001, 255, 10}, now + 600),
         kWelcomeBadToken,
         {"(legacy)"}},
        {"missing", identity(3, 20), "", kWelcomeBadToken, {"(missing)", "uid 3, role 20"}},
        {"garbage", identity(4, 20), "garbage", kWelcomeBadToken, {"(malformed)", "uid 4"}},
        {"a token of 2048 bytes is read",
         identity(4, 20),
         std::string(2048, 'a'),
         kWelcomeBadToken,
         {"(malformed)"}},
        {"a token over 2048 bytes",
         identity(4, 20),
         std::string(2049, 'a'),
         kWelcomeMalformed,
         {"WELCOME 1 malformed HELLO (token over 2048 bytes)"}},
        {"long nick",
         longNick,
         "",
         kWelcomeMalformed,
         {"WELCOME 1 malformed HELLO (nick over 96 bytes)", "uid 5"}},
        {"second session",
         identity(1, 255),
         token,
         kWelcomeTooManyForUser,
         {"WELCOME 5 too many sessions for this user (per-user limit 1)", "uid 1, role 255 in channel 10"}},
    };
    for (const auto& row : rows) {
        TcpTestClient client;
        ASSERT_TRUE(client.connect(port));
        EXPECT_EQ(client.hello(row.who, row.token), std::optional<std::uint32_t>(row.result)) << row.name;
        const std::string line = voted.readLineWith("refused 127.0.0.1:");
        for (const std::string& fragment : row.logged)
            EXPECT_NE(line.find(fragment), std::string::npos) << row.name << ": " << line;
        const std::string signature = row.token.substr(row.token.rfind('.') + 1);
        if (signature.size() > 8) {
            EXPECT_EQ(line.find(signature), std::string::npos) << row.name << ": " << line;
        }
        EXPECT_EQ(line.find(row.who.nick), std::string::npos) << row.name << ": " << line;
    }
    TcpTestClient notHello;
    ASSERT_TRUE(notHello.connect(port));
    ASSERT_TRUE(notHello.sendFrame(2500, 1, ""));
    const std::string line = voted.readLineWith("refused 127.0.0.1:");
    EXPECT_NE(line.find("WELCOME 4 HELLO expected first (first frame was type 2500/1)"), std::string::npos)
        << line;
    EXPECT_EQ(line.find("claimed"), std::string::npos) << line;
    EXPECT_EQ(voted.terminate(), 0);
}

// A JWK Set of HS256 "oct" keys, each kid with its secret.
std::string octKeySet(const std::vector<std::pair<std::string, std::string>>& keys)
{
    nlohmann::json set = {{"keys", nlohmann::json::array()}};
    for (const auto& [kid, secret] : keys)
        set["keys"].push_back(
            {{"kty", "oct"}, {"kid", kid}, {"alg", "HS256"}, {"k", base64UrlEncode(secret)}});
    return set.dump();
}

// Key rotation under open sessions: SIGHUP adds a key (nothing closes), a key file that does not
// parse changes nothing, and removing the old key closes its sessions only, within a second.
TEST(VotedProgramTest, SigHupRotatesKeysUnderOpenSessions)
{
    const std::string dir = ::testing::TempDir();
    const std::string secretPath = dir + "/voted-rotation-secret", keysPath = dir + "/voted-rotation.jwks";
    const std::string oldKey = "the old key of sixteen bytes", newKey = "the new key of sixteen bytes";
    std::ofstream(secretPath) << kSecret << "\n";
    std::ofstream(keysPath) << octKeySet({{"k2025", oldKey}});
    VotedProcess voted(QUORIX_VOTED_PATH, {"--listen", "127.0.0.1:0", "--memory", "--secret-file", secretPath,
                                           "--keys", keysPath});
    const std::uint16_t port = VotedProcess::portOf(voted.readLineWith("listening on"));
    ASSERT_NE(port, 0);
    const std::int64_t now = SystemClock().unixSeconds();
    const auto signedBy = [&](std::uint32_t uid, const std::string& kid, const std::string& key) {
        nlohmann::json claims = managerClaims(now);
        claims["sub"] = std::to_string(uid);
        claims["imid"] = uid + 90000;
        nlohmann::json request = {{"alg", "HS256"}, {"key", key}, {"claims", claims}};
        if (!kid.empty())
            request["headers"] = {{"kid", kid}};
        return request;
    };
    std::string whyNot;
    const std::vector<std::string> tokens = PythonJwt::run(
        {signedBy(1, "", kSecret), signedBy(2, "k2025", oldKey), signedBy(3, "k2026", newKey)}, whyNot);
    if (tokens.empty())
        GTEST_SKIP() << whyNot;
    const auto open = [&](std::uint32_t uid, const std::string& token) {
        auto client = std::make_unique<TcpTestClient>();
        EXPECT_TRUE(client->connect(port));
        EXPECT_EQ(client->hello(identity(uid, 255), token), std::optional<std::uint32_t>(kWelcomeAccepted))
            << "uid " << uid;
        return client;
    };
    const auto reload = [&] {
        ::kill(voted.pid(), SIGHUP);
        return voted.readLineWith("reload: ");
    };
    auto bySecret = open(1, tokens[0]);
    auto byOldKey = open(2, tokens[1]);

    std::ofstream(keysPath) << octKeySet({{"k2025", oldKey}, {"k2026", newKey}});
    std::string line = reload();
    EXPECT_NE(line.find("reload: keys secret, k2025, k2026 (added k2026; removed none)"), std::string::npos)
        << line;
    EXPECT_NE(line.find("0 sessions closed"), std::string::npos) << line;
    EXPECT_EQ(line.find(base64UrlEncode(newKey)), std::string::npos) << "no key material: " << line;
    auto byNewKey = open(3, tokens[2]);

    std::ofstream(keysPath) << "{\"keys\": [";
    line = reload();
    EXPECT_NE(line.find(keysPath), std::string::npos) << line;
    EXPECT_NE(line.find("keeping the keys and TLS read before"), std::string::npos) << line;
    EXPECT_FALSE(byOldKey->closedWithin(300)) << "a broken key file closes nothing";
    auto stillByOldKey = open(2, tokens[1]);

    std::ofstream(keysPath) << octKeySet({{"k2026", newKey}});
    const auto removed = std::chrono::steady_clock::now();
    ::kill(voted.pid(), SIGHUP);
    // Each closed session has its line, then the reload's own.
    EXPECT_NE(voted.readLineWith("WELCOME 2 token refused (unknown-key)"), "");
    line = voted.readLineWith("reload: ");
    EXPECT_NE(line.find("(added none; removed k2025)"), std::string::npos) << line;
    EXPECT_NE(line.find("2 sessions closed"), std::string::npos) << line;
    EXPECT_TRUE(byOldKey->closedWithin(1000));
    EXPECT_TRUE(stillByOldKey->closedWithin(1000));
    EXPECT_LT(std::chrono::steady_clock::now() - removed, std::chrono::milliseconds(1500));
    EXPECT_FALSE(bySecret->closedWithin(300));
    EXPECT_FALSE(byNewKey->closedWithin(300));
    TcpTestClient late;
    ASSERT_TRUE(late.connect(port));
    EXPECT_EQ(late.hello(identity(2, 255), tokens[1]), std::optional<std::uint32_t>(kWelcomeBadToken));
    EXPECT_EQ(voted.terminate(), 0);
    std::remove(keysPath.c_str());
}

// The query of `count` that was first refused for flooding (result 19), counted from 1; 0 when
// every one was answered, -1 when an answer did not come.
int firstFloodRefusal(TcpTestClient& client, int count)
{
    for (int i = 1; i <= count; ++i) {
        if (!client.sendVote(VOTE_SYSTEM_QUERY_ALL_VOTE_REQ, PQueryAllVoteReq{10, 20, {}}))
            return -1;
        const auto answer = client.waitForMessage<PQueryAllVoteRes>(VOTE_SYSTEM_QUERY_ALL_VOTE_RES);
        if (!answer)
            return -1;
        if (answer->result == kResultTooManyRequests)
            return i;
    }
    return 0;
}

// SIGHUP rereads the configuration file under open sessions: a lowered rate holds at once for the
// open sessions, a lowered per-user cap for new ones, no session is dropped, an option that needs a
// restart is named and kept; a file that does not parse changes nothing and says why.
TEST(VotedProgramTest, SigHupRereadsTheConfigurationFileUnderOpenSessions)
{
    const std::string configPath = ::testing::TempDir() + "/voted-reload.conf";
    const auto writeConfig = [&](const std::string& text) {
        std::ofstream(configPath) << "memory = true\n" << text;
    };
    writeConfig("max-sessions-per-user = 3\nrequest-burst = 40\n");
    VotedProcess voted(QUORIX_VOTED_PATH, {"--listen", "127.0.0.1:0", "--config", configPath});
    const std::uint16_t port = VotedProcess::portOf(voted.readLineWith("listening on"));
    ASSERT_NE(port, 0);
    // Two sessions of user 1, and one of its own for each row to flood.
    std::vector<std::unique_ptr<TcpTestClient>> open;
    for (std::uint32_t uid : {1, 1, 10, 11, 12, 13, 14})
        open.push_back(welcomed(port, identity(uid, 255)));
    const auto reload = [&](const std::string& text) {
        writeConfig(text);
        voted.signal(SIGHUP);
        return voted.readLineWith("reload: ");
    };
    const auto helloOf = [&](std::uint32_t uid) {
        TcpTestClient client;
        EXPECT_TRUE(client.connect(port));
        return client.hello(identity(uid, 255));
    };
    EXPECT_EQ(firstFloodRefusal(*open[0], 6), 0) << "a burst of 40";

    const struct
    {
        const char* name;
        std::string config;
        std::vector<std::string> logged; // in the reload's lines, the warning first
        int firstRefusal;                // of a session's next 6 queries
        std::uint32_t thirdOfUser1;      // a third session of user 1
    } rows[] = {
        {"rates and cap lowered, broadcast-hz needs a restart",
         "max-sessions-per-user = 2\nrequest-burst = 5\nrequests-per-second = 1\nbroadcast-hz = 5\n",
         {"reload: broadcast-hz changed, which needs a restart",
          "reload: requests-per-second 20 → 1, request-burst 40 → 5, max-sessions-per-user 3 → 2"},
         6,
         kWelcomeTooManyForUser},
        {"a value out of range",
         "max-sessions-per-user = 0\nrequest-burst = 40\n",
         {"max-sessions-per-user", "nothing changed"},
         6,
         kWelcomeTooManyForUser},
        {"a key no option has",
         "max-sesions-per-user = 9\n",
         {"no option is named max-sesions-per-user"},
         6,
         kWelcomeTooManyForUser},
        {"the same file again",
         "max-sessions-per-user = 2\nrequest-burst = 5\nrequests-per-second = 1\n",
         {"reload: nothing changed"},
         6,
         kWelcomeTooManyForUser},
        {"the cap raised again",
         "max-sessions-per-user = 3\nrequest-burst = 5\nrequests-per-second = 1\n",
         {"reload: max-sessions-per-user 2 → 3"},
         6,
         kWelcomeAccepted},
    };
    std::size_t flooder = 2;
    for (const auto& row : rows) {
        std::string line = reload(row.config);
        for (const std::string& fragment : row.logged) {
            while (!line.empty() && line.find(fragment) == std::string::npos)
                line = voted.readLineWith("reload: ");
            EXPECT_NE(line, "") << row.name << ": " << fragment;
        }
        // Each row floods a session not flooded before, so its bucket holds what the rates allow.
        EXPECT_EQ(firstFloodRefusal(*open[flooder++], 6), row.firstRefusal) << row.name;
        EXPECT_EQ(helloOf(1), std::optional<std::uint32_t>(row.thirdOfUser1)) << row.name;
        for (const auto& client : open)
            EXPECT_FALSE(client->closedWithin(50)) << row.name << ": no session dropped";
    }
    EXPECT_EQ(voted.terminate(), 0);
    std::remove(configPath.c_str());
}

// Options that loosen the checks say so at every start; an old token then still gets in.
TEST(VotedProgramTest, OptionsThatLoosenTheChecksWarnAtEveryStart)
{
    const std::string secretPath = ::testing::TempDir() + "/voted-warning-secret";
    std::ofstream(secretPath) << kSecret << "\n";
    const struct
    {
        std::vector<std::string> args;
        std::string warning;
        std::string token; // welcomed for identity(1, 255)
    } rows[] = {
        {{"--listen", "127.0.0.1:0", "--secret-file", secretPath, "--accept-legacy-tokens"},
         "--accept-legacy-tokens: old EXPIRY.HEX tokens are still accepted",
         TokenAuth(kSecret).issue({1, 90001, 255, 10}, SystemClock().unixSeconds() + 600)},
        {{"--listen", "127.0.0.1:0", "--http", "0.0.0.0:0", "--insecure-no-auth"},
         "--insecure-no-auth: no keys check tokens, every peer is trusted as it claims",
         ""},
    };
    for (const auto& row : rows) {
        std::vector<std::string> args = row.args;
        args.push_back("--memory");
        VotedProcess voted(QUORIX_VOTED_PATH, args);
        const std::uint16_t port = VotedProcess::portOf(voted.readLineWith("listening on"));
        ASSERT_NE(port, 0) << row.warning;
        EXPECT_NE(voted.readLineWith(row.warning), "") << row.warning;
        TcpTestClient client;
        ASSERT_TRUE(client.connect(port));
        EXPECT_EQ(client.hello(identity(1, 255), row.token), std::optional<std::uint32_t>(kWelcomeAccepted))
            << row.warning;
        EXPECT_EQ(voted.terminate(), 0);
    }
}

TEST(VotedProgramTest, WithoutASecretTheStartupLineSaysIdentitiesAreTrusted)
{
    VotedProcess voted(QUORIX_VOTED_PATH, {"--listen", "127.0.0.1:0", "--memory", "--broadcast-hz", "5"});
    const std::string startup = voted.readLine();
    EXPECT_NE(startup.find("identities are trusted"), std::string::npos) << startup;
    EXPECT_NE(startup.find("5 Hz"), std::string::npos) << startup;
    const std::uint16_t port = VotedProcess::portOf(startup);
    ASSERT_NE(port, 0);
    TcpTestClient client;
    ASSERT_TRUE(client.connect(port));
    EXPECT_EQ(client.hello(identity(1, 0)), std::optional<std::uint32_t>(kWelcomeAccepted));
    EXPECT_EQ(voted.terminate(), 0);
}

TEST(VotedProgramTest, SessionsStayWithinTheOpenFileLimit)
{
    const struct
    {
        std::uint64_t limit;
        std::size_t wanted;
        std::size_t expected;
    } rows[] = {
        {1000000, 20000, 20000},
        {20000, 20000, 20000 - DescriptorLimit::kReserved - VoteServer::kHandshakeSlack},
        {1024, 500, 500},
        {1024, 2000, 1024 - DescriptorLimit::kReserved - VoteServer::kHandshakeSlack},
        {50, 100, 1},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(DescriptorLimit::sessionsWithin(row.limit, row.wanted, VoteServer::kHandshakeSlack),
                  row.expected)
            << row.limit << " descriptors, " << row.wanted << " sessions wanted";
    }

    // Past the limit's sessions new clients are told the service is full; none is left waiting.
    constexpr int kLimit = 200;
    const std::size_t served = kLimit - DescriptorLimit::kReserved - VoteServer::kHandshakeSlack;
    VotedProcess voted(QUORIX_VOTED_PATH, {"--listen", "127.0.0.1:0", "--memory", "--max-sessions", "500"},
                       kLimit);
    const std::string startup = voted.readLine();
    const std::uint16_t port = VotedProcess::portOf(startup);
    ASSERT_NE(port, 0) << startup;
    EXPECT_NE(startup.find("at most " + std::to_string(served) + " sessions"), std::string::npos) << startup;

    std::vector<std::unique_ptr<TcpTestClient>> clients;
    std::size_t welcomedCount = 0, full = 0;
    for (int i = 0; i < kLimit + 20; ++i) {
        clients.push_back(std::make_unique<TcpTestClient>());
        ASSERT_TRUE(clients.back()->connect(port));
        const auto result = clients.back()->hello(identity(1000 + i, 0));
        ASSERT_TRUE(result) << "client " << i << " got no WELCOME";
        welcomedCount += *result == kWelcomeAccepted;
        full += *result == kWelcomeServiceFull;
    }
    EXPECT_EQ(welcomedCount, served);
    EXPECT_EQ(full, kLimit + 20 - served);
    EXPECT_EQ(voted.terminate(), 0);
    std::string log;
    for (std::string line = voted.readLine(); !line.empty(); line = voted.readLine())
        log += line;
    EXPECT_NE(log.find("at most " + std::to_string(served) + " sessions instead of 500"), std::string::npos)
        << log;
    // With the web face its connections, up to its limit and the 64 answered 503, take descriptors too.
    clients.clear(); // their sockets would be inherited and count against the child's limit
    constexpr std::size_t kWebConnections = 10;
    VotedProcess web(QUORIX_VOTED_PATH,
                     {"--listen", "127.0.0.1:0", "--memory", "--max-sessions", "500", "--http", "127.0.0.1:0",
                      "--http-max-connections", std::to_string(kWebConnections)},
                     kLimit);
    std::string webStartup = web.readLine();
    while (!webStartup.empty() && webStartup.find(" listening on ") == std::string::npos)
        webStartup = web.readLine();             // the web pages' line comes first
    constexpr std::size_t kWebRefusalSlack = 64; // connections past the limit that are answered 503
    const std::size_t servedBesideWeb = served - kWebConnections - kWebRefusalSlack;
    EXPECT_NE(webStartup.find("at most " + std::to_string(servedBesideWeb) + " sessions"), std::string::npos)
        << webStartup;
    EXPECT_EQ(web.terminate(), 0);
}

TEST(VotedProgramTest, HelpAndBadOptions)
{
    FILE* help = ::popen((std::string(QUORIX_VOTED_PATH) + " --help").c_str(), "r");
    ASSERT_NE(help, nullptr);
    std::string text;
    char chunk[256];
    while (std::fgets(chunk, sizeof chunk, help))
        text += chunk;
    EXPECT_EQ(::pclose(help), 0);
    for (const char* option : {"--listen", "--secret-file", "--broadcast-hz", "--max-sessions",
                               "--max-sessions-per-user", "--help"})
        EXPECT_NE(text.find(option), std::string::npos) << option;

    const std::string shortSecret = ::testing::TempDir() + "/voted-short-secret";
    std::ofstream(shortSecret) << "fifteen bytes..\n";
    const std::string secretOptions = " --uid 1 --imid 2 --role 3 --channel 4 --secret-file ";
    const std::vector<std::string> bads = {" --listen nowhere",
                                           " --broadcast-hz 0",
                                           " --max-sessions x",
                                           " --bogus 1",
                                           " --secret-file /nonexistent/secret",
                                           " --max-sessions-per-user 0",
                                           " --secret-file /dev/zero",
                                           " --secret-file " + shortSecret,
                                           " --memory --data " + ::testing::TempDir() + "/voted-unused",
                                           " --redis 127.0.0.1:6379 --memory",
                                           " token" + secretOptions + shortSecret,
                                           " token" + secretOptions + "/dev/zero"};
    for (const std::string& bad : bads) {
        const int status = std::system((std::string(QUORIX_VOTED_PATH) + bad + " 2>/dev/null").c_str());
        EXPECT_EQ(WEXITSTATUS(status), 2) << bad;
    }
    std::remove(shortSecret.c_str());
}

TEST(VotedProgramTest, ASecondServiceOnTheSameDataFolderIsRefusedUntilTheFirstIsGone)
{
    const std::string folder = ::testing::TempDir() + "/voted-locked-data";
    std::filesystem::remove_all(folder);
    auto first = std::make_unique<VotedProcess>(
        QUORIX_VOTED_PATH, std::vector<std::string>{"--listen", "127.0.0.1:0", "--data", folder});
    ASSERT_NE(VotedProcess::portOf(first->readLine()), 0);

    VotedProcess second(QUORIX_VOTED_PATH, {"--listen", "127.0.0.1:0", "--data", folder});
    const std::string refusal = second.readLine();
    const std::string expected = "quorix-voted: data folder " + folder + " is in use by process " +
                                 std::to_string(first->pid()) + "\n";
    EXPECT_EQ(refusal.substr(refusal.size() - std::min(refusal.size(), expected.size())), expected)
        << refusal;
    EXPECT_EQ(second.exitStatusWithin(5000), 1);

    // A killed holder leaves no stale lock behind.
    first.reset();
    VotedProcess third(QUORIX_VOTED_PATH, {"--listen", "127.0.0.1:0", "--data", folder});
    EXPECT_NE(VotedProcess::portOf(third.readLine()), 0);
    EXPECT_EQ(third.terminate(), 0);
    std::filesystem::remove_all(folder);
}

// A commit that fails (a file size limit stands for a full disk) or a write that fails (a damaged
// index) ends the service at once with status 1; every answered write is still in the file.
TEST(VotedProgramTest, AStorageFailureEndsTheServiceAtOnceKeepingWhatWasAnswered)
{
    const struct
    {
        const char* name;
        bool damagedIndex;
        const char* logged;
    } rows[] = {
        {"commit fails", false, "storage commit failed: stopping without sending"},
        {"write fails", true, "database write failed"},
    };
    for (const auto& row : rows) {
        const std::string folder =
            ::testing::TempDir() + "/voted-failing-" + (row.damagedIndex ? "write" : "commit");
        const std::string database = folder + "/votes.db";
        std::filesystem::remove_all(folder);
        ::mkdir(folder.c_str(), 0700);
        std::uint32_t answered = 0;
        if (row.damagedIndex) {
            {
                SqliteVoteStorage seed(database);
                answered = seed.addVote({10, 20}, normalVote("Answered", 2, 1, 1));
            }
            damageTree(database, "history_place");
        }
        // The file size limit below then fails writes (EFBIG) as a full disk does, without the
        // signal that would otherwise end the process; the child inherits the ignored signal.
        const auto previous = std::signal(SIGXFSZ, SIG_IGN);
        VotedProcess voted(QUORIX_VOTED_PATH, {"--listen", "127.0.0.1:0", "--data", folder});
        std::signal(SIGXFSZ, previous);
        const std::uint16_t port = VotedProcess::portOf(voted.readLine());
        ASSERT_NE(port, 0) << row.name;
        auto manager = welcomed(port, identity(1, 255));
        if (row.damagedIndex) {
            ASSERT_TRUE(
                manager->sendVote(VOTE_SYSTEM_START_VOTE_REQ, PStartVoteReq{10, 20, answered, 1, {}}));
            const auto started = manager->waitForMessage<PStartVoteRes>(VOTE_SYSTEM_START_VOTE_RES);
            ASSERT_TRUE(started && started->result == 0) << row.name;
            // Ending it enters it into the history, whose index is damaged.
            ASSERT_TRUE(manager->sendVote(VOTE_SYSTEM_END_VOTE_REQ,
                                          PEndVoteReq{10, 20, answered, 0, started->jiFangId, {}}));
            EXPECT_FALSE(manager->waitFor(VOTE_SYSTEM_END_VOTE_RES)) << row.name;
        } else {
            ASSERT_TRUE(manager->sendVote(VOTE_SYSTEM_CREATE_VOTE_REQ,
                                          PCreateVoteReq{10, 20, normalVote("Answered", 2, 1, 1), {}}));
            const auto created = manager->waitForMessage<PCreateVoteRes>(VOTE_SYSTEM_CREATE_VOTE_RES);
            ASSERT_TRUE(created && created->result == 0);
            answered = created->voteId;
            ASSERT_GT(voted.pid(), 0);
            const rlimit oneByte{1, 1};
            ASSERT_EQ(::prlimit(voted.pid(), RLIMIT_FSIZE, &oneByte, nullptr), 0);
            ASSERT_TRUE(manager->sendVote(VOTE_SYSTEM_CREATE_VOTE_REQ,
                                          PCreateVoteReq{10, 20, normalVote("Unsaved", 2, 1, 1), {}}));
            EXPECT_FALSE(manager->waitFor(VOTE_SYSTEM_CREATE_VOTE_RES)) << row.name;
        }
        const int status = voted.exitStatusWithin(5000);
        EXPECT_EQ(status, 1) << row.name;
        if (status == -1)
            voted.terminate();
        EXPECT_NE(voted.readLineWith(row.logged), "") << row.name;
        EXPECT_NE(voted.readLineWith("exiting: storage failed"), "") << row.name;

        SqliteVoteStorage after(database);
        const VoteList votes = after.votes({10, 20});
        ASSERT_EQ(votes.size(), 1u) << row.name;
        EXPECT_EQ(votes[0].voteId, answered) << row.name;
        std::filesystem::remove_all(folder);
    }
}

} // namespace
} // namespace quorix::service::test
