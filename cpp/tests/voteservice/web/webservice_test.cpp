// The web face against an in-process quorix-voted over loopback: every endpoint's answers and
// refusals, the scope each needs, stream tickets, origins and hosts, the header set of every answer,
// a vote run through the API reaching event subscribers and viewers, and the limits the host
// transport and the web share.

#include "voteservice/web/httplistener.h"
#include "voteservice/core/memoryvotestorage.h"
#include "voteservice/auth/opencredentials.h"
#include "voteservice/core/recordvalidator.h"
#include "voteservice/core/resultcode.h"
#include "tests/support/servicetestsupport.h"
#include "voteservice/core/systemclock.h"
#include "voteservice/core/timetextformatter.h"
#include "tests/support/tcptestclient.h"
#include "voteservice/auth/tokensigner.h"
#include "voteservice/auth/tokenverifier.h"
#include "tests/support/votedprocess.h"
#include "voteservice/server/voteserver.h"
#include "tests/voteservice/web/webtestclient.h"

#include <quorix/protocol/hostcontrol.h>
#include <quorix/protocol/serviceframe.h>
#include <quorix/protocol/wirejson.h>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <atomic>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <regex>
#include <thread>
#include <vector>

namespace quorix::service::test {
namespace {

const std::string kChannel = "/api/v1/channels/10";
const std::string kManager = "uid=1&role=255&sub=20";
const std::string kSecret = "web-test-secret-0123456789";

// A memory storage whose health probe the test decides.
class ProbedStorage : public MemoryVoteStorage
{
public:
    bool answers(std::string& reason) override
    {
        if (healthy)
            return true;
        reason = "disk on fire";
        return false;
    }
    std::atomic<bool> healthy{true};
};

// How the web face of a WebService is reached: with the tests' key (the host transport stays
// open, so hosts create votes without tokens), the origins and metrics peers it allows, its pages.
struct WebSetup
{
    bool keys = false;
    std::vector<std::string> allowedOrigins;
    std::vector<AddressRange> metricsPeers = AddressRange::loopback();
    std::optional<std::filesystem::path> pages;
    // Narrower tokens are signed with the tests' key; false: the service has no signing key.
    bool signs = true;
};

// quorix-voted's server and web face on their own thread, both on free loopback ports.
class WebService
{
public:
    // With a clock given, the service's time is that clock's (the tests' budgets then never refill).
    // A secret in options is the web face's key as well.
    explicit WebService(ServerOptions options = {}, WebLimits limits = {}, Clock* clock = nullptr,
                        WebSetup setup = {})
        : verifier(KeySet::fromSecret(options.secret.value_or(kSecret)), TokenPolicy{}),
          m_clock(clock != nullptr ? *clock : m_systemClock)
    {
        options.host = "127.0.0.1";
        options.port = 0;
        m_server = std::make_unique<VoteServer>(m_io, options, m_clock, storage);
        WebAccess access;
        access.verifier = setup.keys || options.secret ? &verifier : nullptr;
        access.credentials = &credentials;
        access.allowedOrigins = setup.allowedOrigins;
        access.metricsPeers = setup.metricsPeers;
        if (setup.signs)
            access.signer = [this] { return &signer; };
        m_web = std::make_unique<HttpListener>(m_io, *m_server, m_clock, limits, std::move(access));
        m_web->setMetrics(m_server->metrics());
        if (setup.pages)
            m_web->setPages(StaticFiles(*setup.pages));
        m_web->setMetricsText([] { return std::string("quorix_test 1\n"); });
        std::string error;
        EXPECT_TRUE(m_server->listen(error)) << error;
        EXPECT_TRUE(m_web->listen("127.0.0.1", 0, error)) << error;
        tcpPort = m_server->port();
        httpPort = m_web->port();
        m_thread = std::thread([this] { m_io.run(); });
    }
    ~WebService()
    {
        asio::post(m_io, [this] {
            m_web->stop();
            m_server->stop();
        });
        m_thread.join();
    }

    // A token of the tests' key for uid in channel 10, valid for ten minutes of the service's clock.
    std::string token(std::uint32_t uid, std::uint32_t role, ScopeSet scopes) const
    {
        AccessClaims claims;
        claims.uid = uid;
        claims.imid = uid;
        claims.role = role;
        claims.channelId = 10;
        claims.scopes = scopes;
        claims.issuedAt = m_clock.unixSeconds() - 10;
        claims.expiresAt = m_clock.unixSeconds() + 600;
        return TokenSigner::withSecret(kSecret).sign(claims);
    }

    // Runs f on the service's thread and returns what it returns.
    template <typename F> auto onServiceThread(F f)
    {
        std::packaged_task<decltype(f())()> task(std::move(f));
        auto result = task.get_future();
        asio::post(m_io, [&task] { task(); });
        return result.get();
    }

    // As a reload that dropped the tests' key does: the sessions it let in are closed.
    std::size_t dropTheKey()
    {
        return onServiceThread([this] {
            verifier.replaceKeys(KeySet::fromSecret("a-new-secret-0123456789"));
            return credentials.closeDishonoured(verifier);
        });
    }
    std::size_t openCredentials()
    {
        return onServiceThread([this] { return credentials.size(); });
    }

    // The drain quorix-voted runs on SIGTERM, web face first, on the service's thread.
    void drain()
    {
        std::promise<void> done;
        asio::post(m_io, [&] {
            m_web->drain();
            m_server->drain();
            done.set_value();
        });
        done.get_future().wait();
    }

    // The value of one of the server's series, read on the service's thread.
    double metric(const std::string& series)
    {
        std::promise<double> value;
        asio::post(m_io, [&] {
            value.set_value(metricSample(m_server->metrics().exposition(), series).value_or(-1));
        });
        return value.get_future().get();
    }

    std::uint16_t tcpPort = 0;
    std::uint16_t httpPort = 0;
    ProbedStorage storage;
    TokenVerifier verifier;
    const TokenSigner signer = TokenSigner::withSecret(kSecret);
    OpenCredentials credentials;

private:
    asio::io_context m_io;
    SystemClock m_systemClock;
    Clock& m_clock;
    std::unique_ptr<VoteServer> m_server;
    std::unique_ptr<HttpListener> m_web;
    std::thread m_thread;
};

// Votes are created by a host; the web face only runs them.
std::uint32_t createVote(std::uint16_t tcpPort, const VoteInfo& vote)
{
    TcpTestClient manager;
    EXPECT_TRUE(manager.connect(tcpPort));
    EXPECT_EQ(manager.hello(identity(1, 255)), std::optional<std::uint32_t>(kWelcomeAccepted));
    EXPECT_TRUE(manager.sendVote(VOTE_SYSTEM_CREATE_VOTE_REQ, PCreateVoteReq{10, 20, vote, {}}));
    const auto created = manager.waitForMessage<PCreateVoteRes>(VOTE_SYSTEM_CREATE_VOTE_RES);
    EXPECT_TRUE(created && created->result == 0);
    return created ? created->voteId : 0;
}

std::string voteAction(std::uint32_t voteId, const std::string& action, const std::string& extra = {})
{
    return kChannel + "/votes/" + std::to_string(voteId) + "/" + action + "?" + kManager + extra;
}

TEST(WebServiceTest, EveryEndpointAnswersOrRefusesWithReason)
{
    WebService service;
    const std::uint32_t voteId = createVote(service.tcpPort, normalVote("Song", 3, 1, 1));
    WebTestClient client(service.httpPort);
    struct Row
    {
        const char* method;
        std::string target;
        std::map<std::string, std::string> headers;
        std::string body;
        int status;
        const char* field;  // of the error body, "" when none
        const char* member; // a member the answer has
    };
    const std::string eventsTarget = kChannel + "/events?uid=2";
    const Row rows[] = {
        {"GET", "/healthz", {}, {}, 200, "", "status"},
        {"GET", kChannel + "/votes?" + kManager, {}, {}, 200, "", "votes"},
        {"GET", kChannel + "/history?uid=2&sub=20", {}, {}, 200, "", "history"},
        {"GET", kChannel + "/subchannels/20/vote?uid=2", {}, {}, 404, "", "error"},
        {"GET", "/api/v1/nothing", {}, {}, 404, "", "error"},
        {"DELETE", kChannel + "/votes?" + kManager, {}, {}, 405, "", "error"},
        {"GET", kChannel + "/subchannels/20/vote", {}, {}, 400, "uid", "error"},
        {"GET", kChannel + "/subchannels/20/vote?uid=two", {}, {}, 400, "uid", "error"},
        {"GET", kChannel + "/subchannels/20/vote?uid=2&nick=%zz", {}, {}, 400, "nick", "error"},
        {"GET", kChannel + "/history?uid=2&format=xml", {}, {}, 400, "format", "error"},
        {"GET", eventsTarget, {}, {}, 400, "", "error"},
        {"GET", "/api/v1/session?uid=2&channel=10", {}, {}, 400, "", "error"},
        {"GET", kChannel + "/votes?uid=1&role=255&channel=11", {}, {}, 403, "channel", "error"},
        {"GET", kChannel + "/votes?uid=2&role=0", {}, {}, 403, "role", "error"},
        {"GET", kChannel + "/users/77?uid=7&imid=77&role=255&sub=20", {}, {}, 200, "", "nick"},
        {"GET", kChannel + "/users/4242?" + kManager, {}, {}, 404, "", "error"},
        {"GET", kChannel + "/users/77?uid=2&role=0", {}, {}, 403, "role", "error"},
        {"GET", kChannel + "/users/seven?" + kManager, {}, {}, 404, "", "error"},
        {"POST", voteAction(voteId + 100, "start"), {}, {}, 404, "", "result"},
        {"POST", voteAction(voteId, "stop"), {}, {}, 404, "", "result"},
        {"POST", voteAction(voteId, "close", "&jiFangId=x"), {}, {}, 400, "jiFangId", "error"},
        {"POST", voteAction(voteId, "start"), {}, std::string(70 * 1024, 'x'), 413, "", "error"},
        {"GET", "/healthz", {{"X-Padding", std::string(9 * 1024, 'p')}}, {}, 431, "", "error"},
    };
    for (const Row& row : rows) {
        const HttpReply reply = client.request(row.method, row.target, row.headers, row.body);
        EXPECT_EQ(reply.status, row.status)
            << row.method << " " << row.target.substr(0, 80) << ": " << reply.body;
        const auto json = reply.json();
        EXPECT_TRUE(json.contains(row.member)) << row.target.substr(0, 80) << ": " << reply.body;
        EXPECT_EQ(json.value("field", ""), row.field) << row.target.substr(0, 80);
        if (row.status == 405) {
            EXPECT_EQ(reply.allow, "GET, HEAD, POST");
        }
    }
    const HttpReply metrics = client.request("GET", "/metrics");
    EXPECT_EQ(metrics.status, 200);
    EXPECT_EQ(metrics.contentType, "text/plain; version=0.0.4; charset=utf-8");
    EXPECT_EQ(metrics.body, "quorix_test 1\n");

    // Plain requests of one user share one request budget, as a host session's requests do.
    HttpReply last;
    for (int i = 0; i < 45 && last.status != 429; ++i)
        last = client.request("GET", kChannel + "/subchannels/20/vote?uid=9");
    EXPECT_EQ(last.status, 429);
    EXPECT_EQ(last.json().value("result", 0), int(kResultTooManyRequests));
}

using Json = nlohmann::ordered_json;

// A vote as the API reads it: the JSON the vote list shows (quorix-wire's mapping), edited.
std::string voteBody(const VoteInfo& vote, const std::function<void(Json&)>& edit = {})
{
    const std::string frame = mpak::encodeFrame(kVoteMajorType, VOTE_SYSTEM_CREATE_VOTE_REQ,
                                                mpak::encode(PCreateVoteReq{10, 20, vote, {}}));
    Json json = WireJson::decodeFrame(frame)["body"]["vote"];
    if (edit)
        edit(json);
    return json.dump();
}

std::string votePath(std::uint32_t voteId, const std::string& who = kManager)
{
    return kChannel + "/votes/" + std::to_string(voteId) + "?" + who;
}

// Each vote change of the API, answered as the core decides it for the desktop editor's request:
// the vote's kinds stored and shown, malformed bodies refused naming the member, the core's
// refusals carrying its result. Rows run in order; ids[] holds the votes the creates made.
TEST(WebServiceTest, VotesAreCreatedReadReplacedAndDeletedOverTheApi)
{
    WebService service;
    WebTestClient api(service.httpPort);
    TcpTestClient desktop;
    ASSERT_TRUE(desktop.connect(service.tcpPort));
    ASSERT_EQ(desktop.hello(identity(1, 255)), std::optional<std::uint32_t>(kWelcomeAccepted));
    std::vector<std::uint32_t> ids;
    auto id = [&ids](std::size_t i) { return i < ids.size() ? ids[i] : 0; };
    const std::string votes = kChannel + "/votes?" + kManager;
    static constexpr std::uint32_t kUnknown = 9999;
    enum Target
    {
        List,    // /votes
        Batch,   // /votes:batchDelete
        First,   // /votes/{the first vote created}
        Unknown, // /votes/9999
    };
    using Body = std::function<std::string()>;
    // Bodies are made when their row runs: some name the votes created before.
    const auto vote = [](VoteInfo v, std::function<void(Json&)> edit = {}) -> Body {
        return [v, edit] { return voteBody(v, edit); };
    };
    const auto text = [](std::string t) -> Body { return [t] { return t; }; };
    const Body theOtherTwo = [&] {
        return R"({"voteIds":[)" + std::to_string(id(1)) + "," + std::to_string(id(2)) + "]}";
    };
    const auto asFirst = [&](Json& v) { v["voteId"] = id(0); };
    VoteInfo elevenOptions = normalVote("Many", 10, 1, 1);
    elevenOptions.options[10] = "eleven";
    const VoteInfo two = normalVote("Mine", 2, 1, 1);
    struct Row
    {
        const char* what;
        const char* method;
        Target target;
        Body body;
        int status;
        const char* field;                   // of the error body, "" when none
        std::optional<std::uint32_t> result; // of the error body
        const char* name;                    // of the vote answered, "" when none
        bool manager = true;                 // else a viewer asks
    };
    // clang-format off
    const Row rows[] = {
        {"create a normal vote", "POST", List, vote(normalVote("Song", 3, 2, 1)), 201, "", {}, "Song"},
        {"create a group vote", "POST", List, vote(groupVote("Teams", 2, 3)), 201, "", {}, "Teams"},
        {"create a judge vote", "POST", List, vote(judgeVote("Judged", {501, 502, 503})), 201, "", {}, "Judged"},
        {"read", "GET", First, text(""), 200, "", {}, "Song"},
        {"replace, results at the end", "PUT", First,
         vote(normalVote("Song 2", 4, 2, 1), [&](Json& v) { asFirst(v); v["results"] = "end"; }), 200, "", {},
         "Song 2"},
        {"results neither live nor at the end", "POST", List,
         vote(two, [](Json& v) { v["results"] = "later"; }), 400, "results", {}, ""},
        {"replace with another voteId", "PUT", First,
         vote(two, [&](Json& v) { v["voteId"] = id(1); }), 400, "voteId", {}, ""},
        {"create with a voteId", "POST", List, vote(two, asFirst), 400, "voteId", {}, ""},
        {"bad JSON", "POST", List, text("{\"name\":"), 400, "body", {}, ""},
        {"not an object", "POST", List, text("[1,2]"), 400, "body", {}, ""},
        {"unknown member", "POST", List, vote(two, [](Json& v) { v["colour"] = "red"; }), 400, "colour", {}, ""},
        {"a number as text", "POST", List,
         vote(two, [](Json& v) { v["limitTime"] = "300"; }), 400, "limitTime", {}, ""},
        {"an option id not a number", "POST", List,
         vote(two, [](Json& v) { v["options"]["x"] = "a"; }), 400, "options", {}, ""},
        {"a judge's nick not a text", "POST", List,
         vote(judgeVote("J", {501}), [](Json& v) { v["judges"]["501"]["nick"] = 7; }), 400, "judges.501.nick",
         {}, ""},
        {"too many options", "POST", List, vote(elevenOptions), 409, "options", kResultInvalidRecord, ""},
        {"too many judges", "POST", List,
         vote(judgeVote("J", {501, 502, 503, 504, 505, 506})), 409, "judges", kResultInvalidRecord, ""},
        {"unknown kind", "POST", List,
         vote(two, [](Json& v) { v["voteType"] = 3; }), 409, "voteType", kResultInvalidRecord, ""},
        {"not a manager", "POST", List, vote(two), 403, "", kResultNotManager, "", false},
        {"a viewer reads", "GET", First, text(""), 403, "role", {}, "", false},
        {"read an unknown id", "GET", Unknown, text(""), 404, "", {}, ""},
        {"replace an unknown id", "PUT", Unknown,
         vote(two, [](Json& v) { v["voteId"] = kUnknown; }), 404, "", kResultNotFound, ""},
        {"delete an unknown id", "DELETE", Unknown, text(""), 404, "", kResultNotFound, ""},
        {"batch without ids", "POST", Batch, text(R"({"voteIds":[]})"), 400, "voteIds", {}, ""},
        {"batch with a bad id", "POST", Batch, text(R"({"voteIds":[1,0]})"), 400, "voteIds[1]", {}, ""},
        {"batch with another member", "POST", Batch, text(R"({"voteIds":[1],"all":1})"), 400, "all", {}, ""},
        {"delete", "DELETE", First, text(""), 204, "", {}, ""},
        {"read the deleted", "GET", First, text(""), 404, "", {}, ""},
        {"batch delete", "POST", Batch, theOtherTwo, 200, "", {}, ""},
        {"batch delete again", "POST", Batch, theOtherTwo, 404, "", kResultNotFound, ""},
    };
    // clang-format on
    const auto targetOf = [&](const Row& row) {
        const std::string who = row.manager ? kManager : "uid=2&role=0&sub=20";
        switch (row.target) {
        case List:
            return kChannel + "/votes?" + who;
        case Batch:
            return kChannel + "/votes:batchDelete?" + who;
        case First:
            return votePath(id(0), who);
        default:
            return votePath(kUnknown, who);
        }
    };
    for (const Row& row : rows) {
        const HttpReply reply = api.request(row.method, targetOf(row), {}, row.body());
        ASSERT_EQ(reply.status, row.status) << row.what << ": " << reply.body;
        if (row.status == 204) {
            EXPECT_EQ(reply.body, "") << row.what;
            continue;
        }
        const auto json = reply.json();
        EXPECT_EQ(json.value("field", ""), row.field) << row.what << ": " << reply.body;
        if (row.status >= 400) {
            const auto result =
                json.contains("result") ? std::optional<std::uint32_t>(json["result"]) : std::nullopt;
            EXPECT_EQ(result, row.result) << row.what << ": " << reply.body;
        }
        EXPECT_EQ(json.value("name", ""), row.name) << row.what << ": " << reply.body;
        if (*row.name) {
            const bool atEnd = std::string(row.what).find("results at the end") != std::string::npos;
            EXPECT_EQ(json.value("results", ""), atEnd ? "end" : "live") << row.what;
        }
        if (row.status == 201) {
            ids.push_back(json["voteId"]);
            EXPECT_EQ(reply.headers.count("location") ? reply.headers.at("location") : "",
                      kChannel + "/votes/" + std::to_string(ids.back()))
                << row.what;
        }
        if (std::string(row.what) == "batch delete") {
            EXPECT_EQ(json["deleted"], 2);
            EXPECT_EQ(json["results"][std::to_string(id(1))], 0);
        }
    }
    ASSERT_EQ(ids.size(), 3u);

    // What the API stored is what the desktop window lists, and the other way round: each store
    // pushes the list to the desktop manager at once, and its edit shows on the web.
    std::vector<std::uint32_t> pushed;
    while (const auto push =
               desktop.waitForMessage<PBroadcastChannelVote>(VOTE_SYSTEM_BROADCAST_CHANNEL_VOTE, 500))
        pushed.push_back(static_cast<std::uint32_t>(push->votes.size()));
    EXPECT_EQ(pushed, (std::vector<std::uint32_t>{1, 2, 3, 3, 2, 0})) << "a push after each change";
    const HttpReply created = api.request("POST", votes, {}, voteBody(groupVote("Web", 1, 1)));
    ASSERT_EQ(created.status, 201) << created.body;
    const std::uint32_t webVote = created.json()["voteId"];
    const auto listed = desktop.waitForMessage<PBroadcastChannelVote>(VOTE_SYSTEM_BROADCAST_CHANNEL_VOTE);
    ASSERT_TRUE(listed && listed->votes.size() == 1);
    EXPECT_EQ(listed->votes[0].voteId, webVote);
    EXPECT_EQ(listed->votes[0].groupNames, (TextMap{{0, "Red"}, {1, "Blue"}}));
    VoteInfo edited = listed->votes[0];
    edited.name = "Desktop";
    ASSERT_TRUE(desktop.sendVote(VOTE_SYSTEM_UPDATE_VOTE_REQ, PUpdateVoteReq{10, 20, webVote, edited, {}}));
    const auto updated = desktop.waitForMessage<PUpdateVoteRes>(VOTE_SYSTEM_UPDATE_VOTE_RES);
    ASSERT_TRUE(updated && updated->result == 0);
    EXPECT_EQ(api.request("GET", votePath(webVote)).json().value("name", ""), "Desktop");

    // The list must fit into one answer: creates past that are refused as the desktop's are.
    const std::string large = voteBody(normalVote("Large", 2, 1, 1), [](Json& v) {
        v["auxText2"] = std::string(RecordValidator::kMaxRecordBytes - 200, 'x');
    });
    HttpReply last;
    int stored = 0;
    for (; stored < 20; ++stored) {
        last = api.request("POST", votes, {}, large);
        if (last.status != 201)
            break;
    }
    EXPECT_GT(stored, 1);
    EXPECT_EQ(last.status, 409) << last.body;
    EXPECT_EQ(last.json().value("result", 0u), std::uint32_t(kResultListFull)) << last.body;
}

TEST(WebServiceTest, HealthFollowsTheStorage)
{
    WebService service;
    WebTestClient client(service.httpPort);
    EXPECT_EQ(client.request("GET", "/healthz").body, R"({"status":"ok"})");
    service.storage.healthy = false;
    // The core looks at its storage once a second; the health check answers what it last saw.
    HttpReply failing;
    for (int tries = 0; tries < 40 && failing.status != 503; ++tries) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        failing = client.request("GET", "/api/v1/healthz");
    }
    EXPECT_EQ(failing.status, 503);
    EXPECT_EQ(failing.body, R"({"status":"failing","reason":"disk on fire"})");
}

// A HEAD answer carries the GET's headers and no body, so a kept connection stays in step.
TEST(WebServiceTest, HeadIsAnsweredWithoutABodyOnAKeptConnection)
{
    WebService service;
    WebTestClient client(service.httpPort), reference(service.httpPort);
    ASSERT_TRUE(client.keepOpen());
    struct Row
    {
        std::string target;
        int status;
        const char* allow;
    };
    const Row rows[] = {
        {"/healthz", 200, ""},
        {"/api/v1/metrics", 200, ""},
        {kChannel + "/history?uid=2&sub=20", 200, ""},
        {kChannel + "/subchannels/20/vote?uid=2", 404, ""},
        {kChannel + "/events?uid=2", 405, "GET"},
        {voteAction(1, "start"), 405, "POST"},
    };
    for (const Row& row : rows) {
        const HttpReply head = client.request("HEAD", row.target);
        EXPECT_EQ(head.status, row.status) << row.target;
        EXPECT_EQ(head.allow, row.allow) << row.target;
        EXPECT_EQ(head.body, "") << row.target;
        if (row.status != 405) {
            const HttpReply get = reference.request("GET", row.target);
            EXPECT_EQ(head.contentLength, std::to_string(get.body.size())) << row.target;
        }
        const HttpReply next = client.request("GET", "/healthz");
        EXPECT_EQ(next.status, 200) << "after HEAD " << row.target;
        EXPECT_EQ(next.body, R"({"status":"ok"})") << "after HEAD " << row.target;
    }
}

// Once a request has begun, the whole of it (header too) must arrive within the read timeout,
// however steadily its bytes trickle in; the longer idle timeout is only for the wait before it.
TEST(WebServiceTest, ATricklingRequestIsClosedAfterTheReadTimeout)
{
    WebLimits limits;
    limits.readTimeout = std::chrono::seconds(1);
    limits.idleTimeout = std::chrono::seconds(4);
    WebService service({}, limits);
    struct Row
    {
        const char* what;
        std::string begin;
        std::string trickle;
    };
    const Row rows[] = {
        {"header", "GET /healthz HTTP/1.1\r\n", "X-Slow: 1\r\n"},
        {"body", "POST " + voteAction(1, "start") + " HTTP/1.1\r\nContent-Length: 1000\r\n\r\n", "a"},
    };
    asio::io_context io;
    std::vector<std::unique_ptr<asio::ip::tcp::socket>> sockets;
    for (const Row& row : rows) {
        sockets.push_back(std::make_unique<asio::ip::tcp::socket>(io));
        sockets.back()->connect({asio::ip::make_address("127.0.0.1"), service.httpPort});
        asio::write(*sockets.back(), asio::buffer(row.begin));
        sockets.back()->non_blocking(true);
    }
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::optional<std::chrono::milliseconds>> closedAfter(std::size(rows));
    while (std::chrono::steady_clock::now() - start < limits.idleTimeout) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        for (std::size_t i = 0; i < std::size(rows); ++i) {
            if (closedAfter[i])
                continue;
            boost::system::error_code ec;
            char byte = 0;
            sockets[i]->write_some(asio::buffer(rows[i].trickle), ec);
            if (!ec)
                sockets[i]->read_some(asio::buffer(&byte, 1), ec);
            if (ec && ec != asio::error::would_block)
                closedAfter[i] = std::chrono::duration_cast<std::chrono::milliseconds>(
                    std::chrono::steady_clock::now() - start);
        }
        if (closedAfter[0] && closedAfter[1])
            break;
    }
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        ASSERT_TRUE(closedAfter[i].has_value()) << rows[i].what << " still open after the idle timeout";
        EXPECT_LT(closedAfter[i]->count(), 2500) << rows[i].what;
    }
}

// A WebSocket handshake the service cannot accept is refused in JSON before any core session opens.
TEST(WebServiceTest, UnacceptableWebSocketHandshakesGetAnErrorBody)
{
    WebService service;
    WebTestClient client(service.httpPort);
    const std::string key = "dGhlIHNhbXBsZSBub25jZQ==";
    struct Row
    {
        std::string version;
        std::string key;
        int status;
    };
    const Row rows[] = {
        {"13", "", 400},
        {"13", key + "AAAA", 400},
        {"8", key, 426},
        {"", key, 426},
    };
    for (const std::string& target :
         {kChannel + "/events?uid=2&sub=20", std::string("/api/v1/session?uid=2&channel=10")}) {
        for (const Row& row : rows) {
            std::map<std::string, std::string> headers{{"Upgrade", "websocket"}, {"Connection", "Upgrade"}};
            if (!row.version.empty())
                headers["Sec-WebSocket-Version"] = row.version;
            if (!row.key.empty())
                headers["Sec-WebSocket-Key"] = row.key;
            const HttpReply reply = client.request("GET", target, headers);
            EXPECT_EQ(reply.status, row.status) << target << " version " << row.version << ": " << reply.body;
            const auto body = reply.json();
            EXPECT_TRUE(body.is_object() && !body.value("error", "").empty()) << target << ": " << reply.body;
        }
        EXPECT_TRUE(client.openWebSocket(target)) << target;
    }
}

std::map<std::string, std::string> bearer(const std::string& token)
{
    return {{"Authorization", "Bearer " + token}};
}

TEST(WebServiceTest, WithASecretOnlySignedIdentitiesAreServed)
{
    ServerOptions options;
    options.secret = kSecret;
    WebService service(options);
    WebTestClient client(service.httpPort);
    const std::string manager = service.token(1, 255, ScopeSet::forRole(255));
    const std::string viewer = service.token(2, 0, ScopeSet::forRole(0));
    struct Row
    {
        std::string target;
        std::string bearer;
        int status;
        const char* error; // "" when any
    };
    const Row rows[] = {
        {kChannel + "/votes?" + kManager, manager, 200, ""},
        {kChannel + "/votes?" + kManager + "&token=" + manager, "", 401, "token refused: missing"},
        {kChannel + "/votes?" + kManager, "", 401, "token refused: missing"},
        {kChannel + "/votes?" + kManager, viewer, 401, "token refused: wrong-claims"},
        {kChannel + "/votes?uid=2", viewer, 403, "manager role required"},
        {kChannel + "/subchannels/20/vote?uid=2", viewer, 404, ""},
        {kChannel + "/subchannels/20/vote", viewer, 404, ""},
        {kChannel + "/subchannels/20/vote?uid=2", viewer + "x", 401, "token refused: bad-signature"},
        {"/api/v1/channels/11/subchannels/20/vote?uid=2", viewer, 401, "token refused: wrong-channel"},
        {"/api/v1/channels/11/subchannels/20/vote?uid=2&channel=10", viewer, 401,
         "token refused: wrong-channel"},
    };
    for (const Row& row : rows) {
        const HttpReply reply =
            client.request("GET", row.target,
                           row.bearer.empty() ? std::map<std::string, std::string>() : bearer(row.bearer));
        EXPECT_EQ(reply.status, row.status) << row.target << ": " << reply.body;
        if (*row.error != '\0') {
            EXPECT_EQ(reply.json().value("error", ""), row.error) << row.target;
        }
    }
    EXPECT_FALSE(client.openWebSocket("/api/v1/session?uid=2&channel=10"));
    EXPECT_EQ(client.refusedStatus, 401);
}

// Each endpoint needs its scope (403 naming it) and the management ones a manager's role as well;
// /metrics, with no peer allowed here, a token with the metrics scope.
TEST(WebServiceTest, WithKeysTheTokensScopesDecideEachEndpoint)
{
    WebSetup setup;
    setup.keys = true;
    setup.metricsPeers.clear();
    WebService service({}, {}, nullptr, setup);
    const ScopeSet events = AccessScope::Events;
    const std::string tokens[] = {
        service.token(3, 0, events),                           // watcher
        service.token(4, 0, AccessScope::Vote),                // voter only
        service.token(1, 255, ScopeSet::forRole(255)),         // manager
        service.token(1, 255, events.with(AccessScope::Vote)), // manager's desktop link
        service.token(6, 0, AccessScope::Metrics),             // scraper
    };
    enum Kind
    {
        Get,
        Post,
        Put,
        Delete,
        WebSocket
    };
    const char* const methods[] = {"GET", "POST", "PUT", "DELETE"};
    struct Row
    {
        Kind kind;
        std::string target;
        int allowed;     // the status when the token may
        int statuses[5]; // for each token
        std::string body = {};
    };
    const int ok = 0; // the row's allowed status
    const Row rows[] = {
        {Get, kChannel + "/subchannels/20/vote", 404, {ok, 403, ok, ok, 403}},
        {Get, kChannel + "/history?sub=20", 200, {ok, 403, ok, ok, 403}},
        {Get, kChannel + "/history?sub=20&format=csv", 200, {ok, 403, ok, ok, 403}},
        {Get, kChannel + "/votes?sub=20", 200, {403, 403, ok, 403, 403}},
        {Post, kChannel + "/votes/9999/start?sub=20", 404, {403, 403, ok, 403, 403}},
        {Post, kChannel + "/votes/9999/stop?sub=20", 404, {403, 403, ok, 403, 403}},
        {Post, kChannel + "/votes/9999/close?sub=20", 404, {403, 403, ok, 403, 403}},
        {Post,
         kChannel + "/votes?sub=20",
         409,
         {403, 403, ok, 403, 403},
         voteBody(normalVote("Bad", 11, 1, 1))},
        {Get, kChannel + "/votes/9999?sub=20", 404, {403, 403, ok, 403, 403}},
        {Put,
         kChannel + "/votes/9999?sub=20",
         404,
         {403, 403, ok, 403, 403},
         voteBody(normalVote("Gone", 2, 1, 1), [](Json& v) { v["voteId"] = 9999; })},
        {Delete, kChannel + "/votes/9999?sub=20", 404, {403, 403, ok, 403, 403}},
        {Post,
         kChannel + "/votes:batchDelete?sub=20",
         404,
         {403, 403, ok, 403, 403},
         R"({"voteIds":[9999]})"},
        {WebSocket, kChannel + "/events?sub=20", 101, {ok, 403, ok, ok, 403}},
        {WebSocket, "/api/v1/session?channel=10&sub=20", 101, {ok, ok, ok, ok, 403}},
        {Get, "/metrics", 200, {403, 403, 403, 403, ok}},
        {Post, "/api/v1/tickets", 200, {ok, ok, ok, ok, ok}},
        {Post, kChannel + "/votes/9999/start?sub=20&at=4000000000", 404, {403, 403, ok, 403, 403}},
        {Delete, kChannel + "/votes/9999/schedule?sub=20", 404, {403, 403, ok, 403, 403}},
        {Post, kChannel + "/tokens", 200, {403, 403, ok, 403, 403}, R"({"scope":"events"})"},
    };
    for (const Row& row : rows) {
        for (std::size_t t = 0; t < std::size(tokens); ++t) {
            const int expected = row.statuses[t] == ok ? row.allowed : row.statuses[t];
            WebTestClient client(service.httpPort);
            int status = 0;
            std::string body;
            if (row.kind == WebSocket) {
                status = client.openWebSocket(row.target, bearer(tokens[t])) ? 101 : client.refusedStatus;
            } else {
                const HttpReply reply =
                    client.request(methods[row.kind], row.target, bearer(tokens[t]), row.body);
                status = reply.status;
                body = reply.body;
                if (status == 403) {
                    EXPECT_TRUE(reply.json().value("field", "") == "scope" ||
                                reply.json().value("field", "") == "role")
                        << row.target << " token " << t << ": " << body;
                }
            }
            EXPECT_EQ(status, expected) << row.target << " token " << t << ": " << body;
        }
    }
    WebTestClient client(service.httpPort);
    const HttpReply refused =
        client.request("POST", kChannel + "/votes/9999/start?sub=20", bearer(tokens[3]));
    EXPECT_EQ(refused.body, R"({"error":"token lacks the scope manage","field":"scope","result":22})");
}

// A manager's token is exchanged for a narrower one: the scopes asked for if the caller holds them,
// the same user and channel, no longer than the caller's token lasts; the new token opens the
// events stream and manages nothing. Wider scopes, bad bodies, another channel and a service
// without a signing key are refused.
TEST(WebServiceTest, AManagerIsGivenANarrowerTokenAndNeverAWiderOne)
{
    WebSetup setup;
    setup.keys = true;
    WebService service({}, {}, nullptr, setup);
    const std::string manager =
        service.token(1, 255, ScopeSet(AccessScope::Manage).with(AccessScope::Events));
    const std::string target = kChannel + "/tokens";
    const struct
    {
        const char* what;
        std::string target;
        std::string body;
        int status;
        const char* field;
    } rows[] = {
        {"events only", target, R"({"scope":"events"})", 200, ""},
        {"as much as the caller has", target, R"({"scope":"manage events"})", 200, ""},
        {"one sub-channel, an hour", target, R"({"scope":"events","subChannelId":20,"ttl":3600})", 200, ""},
        {"a scope the caller lacks", target, R"({"scope":"events vote"})", 403, "scope"},
        {"the metrics scope", target, R"({"scope":"metrics"})", 403, "scope"},
        {"an unknown scope", target, R"({"scope":"watch"})", 400, "scope"},
        {"no scope", target, R"({})", 400, "scope"},
        {"a lifetime too short", target, R"({"scope":"events","ttl":5})", 400, "ttl"},
        {"another member", target, R"({"scope":"events","admin":true})", 400, "admin"},
        {"not JSON", target, "events", 400, "body"},
        {"another channel", "/api/v1/channels/11/tokens", R"({"scope":"events"})", 401, ""},
    };
    std::string minted;
    for (const auto& row : rows) {
        WebTestClient client(service.httpPort);
        const HttpReply reply = client.request("POST", row.target, bearer(manager), row.body);
        ASSERT_EQ(reply.status, row.status) << row.what << ": " << reply.body;
        const auto json = reply.json();
        EXPECT_EQ(json.value("field", ""), row.field) << row.what << ": " << reply.body;
        if (row.status != 200)
            continue;
        const TokenVerdict verdict =
            service.verifier.verify(json["token"].get<std::string>(), SystemClock().unixSeconds());
        ASSERT_TRUE(verdict.accepted()) << row.what;
        EXPECT_EQ(verdict.claims.scopes.words(), json["scope"]) << row.what;
        EXPECT_EQ(std::make_tuple(verdict.claims.uid, verdict.claims.role, verdict.claims.channelId),
                  std::make_tuple(1u, 255u, 10u))
            << row.what;
        EXPECT_LE(json["expiresIn"].get<std::int64_t>(), 600) << row.what << ": no longer than the caller's";
        EXPECT_FALSE(verdict.claims.tokenId.empty()) << row.what;
        if (std::string(row.what) == "events only")
            minted = json["token"];
        if (std::string(row.what) == "one sub-channel, an hour") {
            EXPECT_EQ(verdict.claims.subChannelId, std::optional<std::uint32_t>(20u));
        }
    }
    WebTestClient watcher(service.httpPort), lister(service.httpPort);
    EXPECT_TRUE(watcher.openWebSocket(kChannel + "/events?sub=20", bearer(minted)));
    EXPECT_EQ(lister.request("GET", kChannel + "/votes?sub=20", bearer(minted)).status, 403);
    WebTestClient narrower(service.httpPort);
    EXPECT_EQ(narrower.request("POST", target, bearer(minted), R"({"scope":"events"})").status, 403)
        << "an events token may not mint";

    setup.signs = false;
    WebService unsigned_({}, {}, nullptr, setup);
    WebTestClient client(unsigned_.httpPort);
    const HttpReply refused = client.request(
        "POST", target, bearer(unsigned_.token(1, 255, ScopeSet::forRole(255))), R"({"scope":"events"})");
    EXPECT_EQ(refused.status, 503) << refused.body;
    EXPECT_FALSE(refused.json().contains("token"));
}

// A start scheduled over the API, at in the query or the body: refused naming at when it is not a
// whole number, given twice, passed or over 30 days ahead; an unknown vote 404, a viewer 403, a
// cancel of none 404. The list shows the schedule, the events stream tells it, and the vote starts
// at its second; a cancel answers 204.
TEST(WebServiceTest, AStartIsScheduledListedCancelledAndMadeOverTheApi)
{
    WebService service;
    const std::uint32_t voteId = createVote(service.tcpPort, normalVote("Timed", 2, 1, 1));
    WebTestClient api(service.httpPort), events(service.httpPort);
    ASSERT_TRUE(events.openWebSocket(kChannel + "/events?uid=3&sub=20"));
    ASSERT_TRUE(events.waitForType("snapshot"));
    const std::int64_t now = SystemClock().unixSeconds();
    const std::string later = std::to_string(now + 3600);
    const std::string soon = std::to_string(now + 2);
    const std::string start = voteAction(voteId, "start");
    const std::string unschedule = voteAction(voteId, "schedule");
    const struct
    {
        const char* what;
        const char* method;
        std::string target;
        std::string body;
        int status;
        const char* field;
        std::optional<std::uint32_t> result;
    } rows[] = {
        {"not a number", "POST", start + "&at=soon", "", 400, "at", {}},
        {"a negative number", "POST", start + "&at=-5", "", 400, "at", {}},
        {"a fraction in the body", "POST", start, R"({"at":1.5})", 400, "at", {}},
        {"a text in the body", "POST", start, R"({"at":")" + later + R"("})", 400, "at", {}},
        {"in the query and the body",
         "POST",
         start + "&at=" + later,
         R"({"at":)" + later + "}",
         400,
         "at",
         {}},
        {"another member", "POST", start, R"({"when":1})", 400, "when", {}},
        {"a time passed", "POST", start + "&at=" + std::to_string(now - 10), "", 400, "at",
         kResultStartTimePassed},
        {"over 30 days ahead", "POST", start, R"({"at":)" + std::to_string(now + 31 * 86400) + "}", 400, "at",
         kResultStartTimeTooFar},
        {"an unknown vote", "POST", voteAction(voteId + 100, "start", "&at=" + later), "", 404, "",
         kResultNotFound},
        {"a viewer", "POST",
         kChannel + "/votes/" + std::to_string(voteId) + "/start?uid=2&role=0&sub=20&at=" + later, "", 403,
         "", kResultNotManager},
        {"a cancel of none", "DELETE", unschedule, "", 404, "", kResultNoSchedule},
        {"in the body", "POST", start, R"({"at":)" + later + "}", 200, "", {}},
        {"a cancel", "DELETE", unschedule, "", 204, "", {}},
        {"in the query, two seconds ahead", "POST", start + "&at=" + soon, "", 200, "", {}},
    };
    for (const auto& row : rows) {
        const HttpReply reply = api.request(row.method, row.target, {}, row.body);
        ASSERT_EQ(reply.status, row.status) << row.what << ": " << reply.body;
        if (row.status == 204)
            continue;
        const auto json = reply.json();
        EXPECT_EQ(json.value("field", ""), row.field) << row.what << ": " << reply.body;
        if (row.status >= 400) {
            EXPECT_EQ(json.contains("result") ? std::optional<std::uint32_t>(json["result"]) : std::nullopt,
                      row.result)
                << row.what << ": " << reply.body;
        } else {
            EXPECT_EQ(json["schedule"]["state"], "pending") << row.what;
        }
    }
    const auto listed = api.request("GET", kChannel + "/votes?" + kManager).json()["votes"][0];
    EXPECT_EQ(listed["schedule"].dump(), R"({"at":)" + soon + R"(,"state":"pending"})");

    // The events tell each change of the schedules: set, cancelled, set again; then the start.
    std::vector<std::size_t> told;
    std::optional<nlohmann::json> event;
    while ((event = events.readMessage()) && (*event)["type"] == "vote.schedule")
        told.push_back((*event)["schedules"].size());
    EXPECT_EQ(told, (std::vector<std::size_t>{1, 0, 1}));
    ASSERT_TRUE(event) << "no event after the schedules";
    EXPECT_EQ((*event)["type"], "vote.begin");
    EXPECT_EQ((*event)["vote"]["voteId"], voteId);
    EXPECT_GE(SystemClock().unixSeconds(), now + 2) << "not before its second";
    EXPECT_TRUE(api.request("GET", kChannel + "/votes?" + kManager).json()["votes"][0]["schedule"].is_null());
}

// A session whose token has only events watches the vote; its votes the core refuses (result 22).
TEST(WebServiceTest, AWatchersSessionSeesTheVoteButCannotVote)
{
    WebSetup setup;
    setup.keys = true;
    WebService service({}, {}, nullptr, setup);
    const std::uint32_t voteId = createVote(service.tcpPort, normalVote("Song", 3, 1, 1));
    WebTestClient api(service.httpPort), watcher(service.httpPort), voter(service.httpPort);
    ASSERT_EQ(api.request("POST", voteAction(voteId, "start"),
                          bearer(service.token(1, 255, ScopeSet::forRole(255))))
                  .status,
              200);
    ASSERT_TRUE(watcher.openWebSocket("/api/v1/session?channel=10&sub=20",
                                      bearer(service.token(3, 0, AccessScope::Events))));
    ASSERT_TRUE(voter.openWebSocket("/api/v1/session?channel=10&sub=20",
                                    bearer(service.token(4, 0, ScopeSet::forRole(0)))));
    const std::string vote = R"({"type":"vote","voteId":)" + std::to_string(voteId) + R"(,"optionId":0})";
    for (WebTestClient* client : {&watcher, &voter}) {
        ASSERT_TRUE(client->waitForType("vote"));
        ASSERT_TRUE(client->sendText(vote));
    }
    const auto refused = watcher.waitForType("result");
    ASSERT_TRUE(refused);
    EXPECT_EQ((*refused)["result"], kResultScopeMissing);
    EXPECT_EQ((*refused)["reason"], "the token lacks the scope this needs");
    const auto counted = voter.waitForType("result");
    ASSERT_TRUE(counted);
    EXPECT_EQ((*counted)["result"], 0);
}

// A ticket opens one stream, within 30 s, as the token that bought it; a stream it opened is closed
// when that token's key goes away.
TEST(WebServiceTest, ATicketOpensOneStreamAndTheKeysReloadClosesIt)
{
    ManualClock clock;
    WebSetup setup;
    setup.keys = true;
    WebService service({}, {}, &clock, setup);
    const std::string watcher = service.token(3, 0, AccessScope::Events);
    WebTestClient api(service.httpPort);
    auto buy = [&](const std::string& token) {
        const HttpReply reply = api.request("POST", "/api/v1/tickets", bearer(token));
        EXPECT_EQ(reply.status, 200) << reply.body;
        EXPECT_EQ(reply.json().value("expiresIn", 0), 30);
        return reply.json().value("ticket", "");
    };
    const std::string first = buy(watcher), second = buy(watcher), late = buy(watcher);
    EXPECT_GE(first.size(), 32u); // 128 random bits at least
    EXPECT_NE(first, second);
    const HttpReply unbought = api.request("POST", "/api/v1/tickets");
    EXPECT_EQ(unbought.status, 401);
    EXPECT_EQ(unbought.json().value("error", ""), "token refused: missing");

    const std::string events = kChannel + "/events?sub=20&ticket=";
    struct Row
    {
        const char* name;
        std::string target;
        int status; // 101 or the refusal
    };
    WebTestClient stream(service.httpPort);
    ASSERT_TRUE(stream.openWebSocket(events + first));
    ASSERT_TRUE(stream.waitForType("snapshot"));
    const Row rows[] = {
        {"spent", events + first, 401},
        {"unknown", events + std::string(48, 'a'), 401},
        {"claims another uid", events + second + "&uid=5", 401},
        {"spent by the refusal before", events + second, 401},
    };
    for (const Row& row : rows) {
        WebTestClient client(service.httpPort);
        EXPECT_EQ(client.openWebSocket(row.target) ? 101 : client.refusedStatus, row.status) << row.name;
    }
    clock.advanceMs(30000);
    WebTestClient expired(service.httpPort);
    EXPECT_FALSE(expired.openWebSocket(events + late));
    EXPECT_EQ(expired.refusedStatus, 401);
    WebTestClient sse(service.httpPort);
    ASSERT_TRUE(sse.openEventStream(events + buy(watcher)));
    ASSERT_TRUE(sse.readEvent());

    EXPECT_EQ(service.openCredentials(), 2u);
    EXPECT_EQ(service.dropTheKey(), 2u);
    EXPECT_FALSE(stream.readMessage());
    EXPECT_EQ(stream.closeCode(), std::optional<std::uint16_t>(1008));
    EXPECT_FALSE(sse.readEvent());
    EXPECT_EQ(service.openCredentials(), 0u);
}

// Browsers send Origin: an upgrade or a POST from another site's page is refused, the service's
// own pages and --allowed-origin ones are served, and programs (no Origin) are not held back.
TEST(WebServiceTest, CrossOriginUpgradesAndChangesAreRefused)
{
    WebSetup setup;
    setup.keys = true;
    setup.allowedOrigins = {"https://studio.example"};
    WebService service({}, {}, nullptr, setup);
    const std::string manager = service.token(1, 255, ScopeSet::forRole(255));
    struct Row
    {
        const char* method; // "WS" for an upgrade
        std::string target;
        const char* origin; // "" for none
        int status;
    };
    const std::string start = kChannel + "/votes/9999/start?sub=20";
    const std::string events = kChannel + "/events?sub=20";
    const Row rows[] = {
        {"POST", start, "http://127.0.0.1", 404},
        {"POST", start, "", 404},
        {"POST", start, "https://studio.example", 404},
        {"POST", start, "http://evil.example", 403},
        {"POST", start, "null", 403},
        {"POST", "/api/v1/tickets", "http://evil.example", 403},
        {"PUT", kChannel + "/votes/9999?sub=20", "http://evil.example", 403},
        {"DELETE", kChannel + "/votes/9999?sub=20", "http://evil.example", 403},
        {"DELETE", kChannel + "/votes/9999?sub=20", "https://studio.example", 404},
        {"GET", kChannel + "/votes?sub=20", "http://evil.example", 200},
        {"WS", events, "http://127.0.0.1", 101},
        {"WS", events, "", 101},
        {"WS", events, "https://studio.example", 101},
        {"WS", events, "http://evil.example", 403},
        {"WS", events, "http://127.0.0.1:1", 403},
    };
    for (const Row& row : rows) {
        std::map<std::string, std::string> headers = bearer(manager);
        if (*row.origin != '\0')
            headers["Origin"] = row.origin;
        WebTestClient client(service.httpPort);
        int status = 0;
        if (std::string(row.method) == "WS")
            status = client.openWebSocket(row.target, headers) ? 101 : client.refusedStatus;
        else
            status = client.request(row.method, row.target, headers).status;
        EXPECT_EQ(status, row.status) << row.method << " " << row.target << " from " << row.origin;
    }
}

// Without keys a page that DNS rebinding pointed at the service still names its own site in Host.
TEST(WebServiceTest, WithoutKeysTheHostMustBeALoopbackName)
{
    WebService service;
    const std::string port = std::to_string(service.httpPort);
    struct Row
    {
        const char* method;
        std::string target;
        std::string host;
        int status;
    };
    const std::string state = kChannel + "/subchannels/20/vote?uid=2";
    const Row rows[] = {
        {"GET", state, "127.0.0.1:" + port, 404},
        {"GET", state, "localhost:" + port, 404},
        {"GET", state, "[::1]:" + port, 404},
        {"GET", state, "rebound.example:" + port, 403},
        {"GET", state, "", 403},
        {"GET", "/metrics", "rebound.example", 403},
        {"POST", voteAction(1, "start"), "rebound.example", 403},
        {"GET", "/healthz", "rebound.example", 200},
        {"WS", kChannel + "/events?uid=2&sub=20", "rebound.example", 403},
        {"WS", kChannel + "/events?uid=2&sub=20", "localhost", 101},
    };
    for (const Row& row : rows) {
        WebTestClient client(service.httpPort);
        const std::map<std::string, std::string> headers{{"Host", row.host}};
        int status = 0;
        if (std::string(row.method) == "WS")
            status = client.openWebSocket(row.target, headers) ? 101 : client.refusedStatus;
        else
            status = client.request(row.method, row.target, headers).status;
        EXPECT_EQ(status, row.status) << row.target << " as " << row.host;
    }
}

// The same header set on every kind of answer: pages, files, JSON, CSV, errors, streams.
TEST(WebServiceTest, EveryAnswerCarriesTheHeaderSet)
{
    const std::filesystem::path root = ::testing::TempDir() + "/webservice-pages";
    std::filesystem::create_directories(root / "assets");
    for (const char* page : {"vote.html", "overlay.html"})
        std::ofstream(root / page) << "<!doctype html><title>page</title>\n";
    WebSetup setup;
    setup.pages = root;
    WebService service({}, {}, nullptr, setup);
    struct Row
    {
        const char* method;
        std::string target;
        std::map<std::string, std::string> headers;
        std::string body;
        int status;
    };
    const Row rows[] = {
        {"GET", "/vote/10/20", {}, {}, 200},
        {"GET", "/overlay/10/20?uid=1", {}, {}, 200},
        {"GET", "/assets/none.js", {}, {}, 404},
        {"POST", "/vote/10/20", {}, {}, 405},
        {"GET", "/healthz", {}, {}, 200},
        {"GET", "/metrics", {}, {}, 200},
        {"GET", kChannel + "/history?uid=2&sub=20", {}, {}, 200},
        {"GET", kChannel + "/history?uid=2&sub=20&format=csv", {}, {}, 200},
        {"POST", "/api/v1/tickets?uid=2&channel=10", {}, {}, 200},
        {"GET", kChannel + "/subchannels/20/vote?uid=2", {}, {}, 404},
        {"GET", kChannel + "/votes?uid=2", {}, {}, 403},
        {"GET", kChannel + "/votes?uid=%zz", {}, {}, 400},
        {"GET", "/api/v1/nothing", {}, {}, 404},
        {"DELETE", kChannel + "/votes?" + kManager, {}, {}, 405},
        {"POST", voteAction(1, "start"), {}, std::string(70 * 1024, 'x'), 413},
        {"GET", "/healthz", {{"X-Padding", std::string(9 * 1024, 'p')}}, {}, 431},
        {"GET", "/healthz", {{"Host", "rebound.example"}}, {}, 200},
        {"GET", "/metrics", {{"Host", "rebound.example"}}, {}, 403},
    };
    auto expectHeaderSet = [](const std::map<std::string, std::string>& headers, bool page,
                              const std::string& what) {
        auto value = [&](const char* name) {
            const auto it = headers.find(name);
            return it == headers.end() ? std::string() : it->second;
        };
        EXPECT_EQ(value("x-content-type-options"), "nosniff") << what;
        EXPECT_EQ(value("referrer-policy"), "no-referrer") << what;
        EXPECT_NE(value("content-security-policy").find("frame-ancestors 'none'"), std::string::npos) << what;
        EXPECT_EQ(value("content-security-policy").find("default-src 'self'") != std::string::npos, page)
            << what;
        EXPECT_EQ(value("strict-transport-security"), "") << what << ": no HSTS over plain HTTP";
    };
    WebTestClient client(service.httpPort);
    for (const Row& row : rows) {
        const HttpReply reply = client.request(row.method, row.target, row.headers, row.body);
        EXPECT_EQ(reply.status, row.status) << row.method << " " << row.target.substr(0, 60);
        const bool page = reply.status == 200 &&
                          (row.target.rfind("/vote/", 0) == 0 || row.target.rfind("/overlay/", 0) == 0);
        expectHeaderSet(reply.headers, page, std::string(row.method) + " " + row.target.substr(0, 60));
    }
    // The burst is 40 and 20 more come back a second: however slow the requests, 200 exceed it.
    HttpReply flooded;
    for (int i = 0; i < 200 && flooded.status != 429; ++i)
        flooded = client.request("GET", kChannel + "/subchannels/20/vote?uid=9");
    ASSERT_EQ(flooded.status, 429);
    expectHeaderSet(flooded.headers, false, "429");
    ASSERT_TRUE(client.openWebSocket(kChannel + "/events?uid=3&sub=20"));
    expectHeaderSet(client.upgradeHeaders, false, "WebSocket 101");
    WebTestClient sse(service.httpPort);
    ASSERT_TRUE(sse.openEventStream(kChannel + "/events?uid=4&sub=20"));
    ASSERT_TRUE(sse.readEvent());
    for (const char* line :
         {"X-Content-Type-Options: nosniff\n", "Referrer-Policy: no-referrer\n", "frame-ancestors 'none'"})
        EXPECT_NE(sse.eventStreamHead().find(line), std::string::npos) << sse.eventStreamHead();
    std::filesystem::remove_all(root);
}

TEST(WebServiceTest, ConnectionsBeyondTheLimitAreAnswered503)
{
    WebLimits limits;
    limits.maxConnections = 2;
    WebService service({}, limits);
    WebTestClient first(service.httpPort), second(service.httpPort), third(service.httpPort);
    ASSERT_TRUE(first.keepOpen() && second.keepOpen());
    EXPECT_EQ(first.request("GET", "/healthz").status, 200);
    EXPECT_EQ(second.request("GET", "/healthz").status, 200);
    const HttpReply refused = third.request("GET", "/healthz");
    EXPECT_EQ(refused.status, 503);
    EXPECT_EQ(refused.json().value("error", ""), "too many connections");
}

// One address (127.0.0.1) at its limits on either listener; another loopback address still gets in.
TEST(WebServiceTest, AnAddressBeyondItsLimitsIsRefusedBeforeAnyWorkWhileOthersConnect)
{
    enum class Listener
    {
        Host,
        Web
    };
    const struct
    {
        Listener listener;
        std::size_t maxOpen;
        std::uint32_t newPerSecond;
        std::size_t admitted; // connections 127.0.0.1 gets before the refusal
    } rows[] = {
        {Listener::Host, 64, 0, 64},
        {Listener::Web, 64, 0, 64},
        {Listener::Host, 0, 5, 5},
        {Listener::Web, 0, 5, 5},
    };
    for (const auto& row : rows) {
        const bool host = row.listener == Listener::Host;
        SCOPED_TRACE(std::string(host ? "host" : "web") + " open " + std::to_string(row.maxOpen) + " new/s " +
                     std::to_string(row.newPerSecond));
        ServerOptions options;
        WebLimits limits;
        (host ? options.maxConnectionsPerAddress : limits.maxConnectionsPerAddress) = row.maxOpen;
        (host ? options.maxNewConnectionsPerAddressPerSecond : limits.maxNewConnectionsPerAddressPerSecond) =
            row.newPerSecond;
        // The tests' clock stands still: a spent bucket stays spent.
        ManualClock clock;
        WebService service(options, limits, &clock);
        std::vector<std::unique_ptr<TcpTestClient>> sessions;
        std::vector<std::unique_ptr<WebTestClient>> webClients;
        for (std::size_t i = 0; i < row.admitted; ++i) {
            if (host) {
                sessions.push_back(std::make_unique<TcpTestClient>());
                ASSERT_TRUE(sessions.back()->connect(service.tcpPort));
                ASSERT_EQ(sessions.back()->hello(identity(100 + std::uint32_t(i), 25)),
                          std::optional<std::uint32_t>(kWelcomeAccepted));
            } else {
                webClients.push_back(std::make_unique<WebTestClient>(service.httpPort));
                ASSERT_TRUE(webClients.back()->keepOpen());
                ASSERT_EQ(webClients.back()->request("GET", "/healthz").status, 200);
            }
        }
        const char* series = host ? R"(quorix_address_limit_refusals_total{transport="tcp"})"
                                  : R"(quorix_address_limit_refusals_total{transport="http"})";
        if (host) {
            TcpTestClient refused;
            ASSERT_TRUE(refused.connect(service.tcpPort));
            const auto welcome = refused.readFrame();
            ASSERT_TRUE(welcome);
            PWelcome body;
            ASSERT_TRUE(mpak::decode(welcome->payload, body));
            EXPECT_EQ(welcome->minType, kControlWelcome);
            EXPECT_EQ(body.result, kWelcomeServiceFull);
            EXPECT_TRUE(refused.closedWithin());
            TcpTestClient other;
            ASSERT_TRUE(other.connect(service.tcpPort, "127.0.0.2"));
            EXPECT_EQ(other.hello(identity(99, 25)), std::optional<std::uint32_t>(kWelcomeAccepted));
        } else {
            const HttpReply refused = WebTestClient(service.httpPort).request("GET", "/healthz");
            EXPECT_EQ(refused.status, 429);
            EXPECT_EQ(refused.json().value("error", ""), "too many connections from this address");
            EXPECT_EQ(WebTestClient(service.httpPort, "127.0.0.2").request("GET", "/healthz").status, 200);
        }
        EXPECT_EQ(service.metric(series), 1.0);
    }
}

// A request begun before the drain gets its answer, with Connection: close; an idle keep-alive
// connection is closed.
TEST(WebServiceTest, ADrainAnswersTheRequestInFlightAndClosesTheRest)
{
    WebService service;
    WebTestClient idle(service.httpPort);
    ASSERT_TRUE(idle.keepOpen());
    ASSERT_EQ(idle.request("GET", "/healthz").status, 200);
    asio::io_context io;
    asio::ip::tcp::socket begun(io);
    begun.connect({asio::ip::make_address("127.0.0.1"), service.httpPort});
    asio::write(begun, asio::buffer(std::string("GET /healthz HTTP/1.1\r\nHost: x\r\n")));
    // The header's first bytes are in before the drain starts.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    service.drain();

    asio::write(begun, asio::buffer(std::string("\r\n")));
    boost::beast::flat_buffer buffer;
    boost::beast::http::response<boost::beast::http::string_body> answer;
    boost::system::error_code ec;
    boost::beast::http::read(begun, buffer, answer, ec);
    ASSERT_FALSE(ec) << ec.message();
    EXPECT_EQ(answer.result_int(), 200);
    EXPECT_FALSE(answer.keep_alive());
    char byte = 0;
    begun.read_some(asio::buffer(&byte, 1), ec);
    EXPECT_EQ(ec, asio::error::eof);
    EXPECT_EQ(idle.request("GET", "/healthz").status, 0) << "the idle connection was kept";
}

// A change of the stored votes, from a host or the API, reaches a manager's event stream as
// vote.list, without the votes; a viewer's stream is not told.
TEST(WebServiceTest, AManagersEventStreamIsToldWhenTheStoredVotesChange)
{
    WebService service;
    WebTestClient api(service.httpPort), manager(service.httpPort), viewer(service.httpPort);
    ASSERT_TRUE(manager.openWebSocket(kChannel + "/events?" + kManager));
    ASSERT_TRUE(viewer.openWebSocket(kChannel + "/events?uid=3&sub=20"));
    for (WebTestClient* stream : {&manager, &viewer})
        ASSERT_EQ(stream->readMessage().value_or(nullptr)["type"], "snapshot");
    const std::uint32_t voteId = createVote(service.tcpPort, normalVote("Song", 3, 1, 1));
    ASSERT_EQ(api.request("DELETE", kChannel + "/votes/" + std::to_string(voteId) + "?" + kManager).status,
              204);
    for (const char* change : {"created on a host", "deleted over the API"}) {
        const auto told = manager.readMessage();
        ASSERT_TRUE(told) << change;
        EXPECT_EQ(
            told->dump(),
            nlohmann::json(
                {{"seq", (*told)["seq"]}, {"type", "vote.list"}, {"channelId", 10}, {"subChannelId", 20}})
                .dump())
            << change;
    }
    EXPECT_FALSE(viewer.readMessage(std::chrono::milliseconds(300)));
}

TEST(WebServiceTest, AVoteRunThroughTheApiReachesEveryStream)
{
    WebService service;
    const std::uint32_t voteId = createVote(service.tcpPort, normalVote("Song", 3, 2, 1));
    WebTestClient api(service.httpPort), events(service.httpPort), sse(service.httpPort),
        viewer(service.httpPort);
    ASSERT_TRUE(events.openWebSocket(kChannel + "/events?uid=3&sub=20"));
    ASSERT_TRUE(sse.openEventStream(kChannel + "/events?uid=4&sub=20"));
    ASSERT_TRUE(viewer.openWebSocket("/api/v1/session?uid=2&channel=10&sub=20"));
    const auto snapshot = events.readMessage();
    ASSERT_TRUE(snapshot);
    EXPECT_EQ((*snapshot)["seq"], 1);
    EXPECT_EQ((*snapshot)["type"], "snapshot");
    EXPECT_TRUE((*snapshot)["vote"].is_null());
    const auto sseSnapshot = sse.readEvent();
    ASSERT_TRUE(sseSnapshot);
    EXPECT_EQ(sseSnapshot->id, "1");
    EXPECT_EQ(sseSnapshot->type, "snapshot");

    const HttpReply started = api.request("POST", voteAction(voteId, "start"));
    ASSERT_EQ(started.status, 200) << started.body;
    const std::uint32_t jiFangId = started.json()["jiFangId"];
    const auto begin = events.readMessage();
    ASSERT_TRUE(begin);
    EXPECT_EQ((*begin)["seq"], 2);
    EXPECT_EQ((*begin)["type"], "vote.begin");
    EXPECT_EQ((*begin)["status"], "running");
    EXPECT_EQ((*begin)["vote"]["name"], "Song");
    const auto sseBegin = sse.readEvent();
    ASSERT_TRUE(sseBegin);
    EXPECT_EQ(sseBegin->id, "2");
    EXPECT_EQ(sseBegin->type, "vote.begin");
    const auto shown = viewer.waitForType("vote");
    ASSERT_TRUE(shown);
    EXPECT_EQ((*shown)["jiFangId"], jiFangId);
    EXPECT_EQ((*shown)["broadcastHz"], 10);

    const HttpReply state = api.request("GET", kChannel + "/subchannels/20/vote?uid=5");
    ASSERT_EQ(state.status, 200);
    EXPECT_EQ(state.json()["status"], "running");
    EXPECT_EQ(state.json()["vote"]["voteId"], voteId);
    EXPECT_GT(state.json()["remainingSeconds"].get<int>(), 0);
    EXPECT_EQ(state.json()["broadcastHz"], 10) << "a small audience keeps the full rate";
    EXPECT_EQ(state.json()["rank"].size(), state.json()["vote"]["options"].size()) << "every option ranked";

    ASSERT_TRUE(viewer.sendText(R"({"id":7,"type":"vote","voteId":)" + std::to_string(voteId) +
                                R"(,"optionId":1,"tickets":1})"));
    const auto result = viewer.waitForType("result");
    ASSERT_TRUE(result);
    EXPECT_EQ((*result)["id"], 7);
    EXPECT_EQ((*result)["request"], "vote");
    EXPECT_EQ((*result)["result"], 0);
    const auto progress = events.waitForType("vote.progress");
    ASSERT_TRUE(progress);
    EXPECT_EQ((*progress)["vote"]["optionTickets"]["1"], 1);
    ASSERT_TRUE(viewer.sendText(R"({"id":"t","type":"tickets","voteId":)" + std::to_string(voteId) + "}"));
    const auto tickets = viewer.waitForType("tickets");
    ASSERT_TRUE(tickets);
    EXPECT_EQ((*tickets)["remaining"], 1);
    EXPECT_EQ((*tickets)["perOption"]["1"], 1);

    ASSERT_EQ(api.request("POST", voteAction(voteId, "stop")).status, 200);
    const auto ended = events.waitForType("vote.end");
    ASSERT_TRUE(ended);
    EXPECT_EQ((*ended)["status"], "ended");
    const auto viewerEnded = viewer.waitForType("vote");
    ASSERT_TRUE(viewerEnded);
    EXPECT_EQ((*viewerEnded)["status"], "ended");

    const HttpReply history = api.request("GET", kChannel + "/history?uid=5&sub=20");
    ASSERT_EQ(history.status, 200);
    ASSERT_EQ(history.json()["history"].size(), 1u);
    EXPECT_EQ(history.json()["history"][0]["name"], "Song");
    // The start as a Unix second names the instant the text writes in the service's zone.
    const auto startedAt = history.json()["history"][0].value("startedAt", std::int64_t(0));
    EXPECT_GT(startedAt, 0);
    EXPECT_EQ(TimeTextFormatter().format(startedAt), history.json()["history"][0]["timeText"]);
    const HttpReply csv = api.request("GET", kChannel + "/history?uid=5&sub=20&format=csv");
    EXPECT_EQ(csv.contentType, "text/csv; charset=utf-8");
    EXPECT_NE(csv.body.find("Song"), std::string::npos);

    const HttpReply closed =
        api.request("POST", voteAction(voteId, "close", "&jiFangId=" + std::to_string(jiFangId)));
    ASSERT_EQ(closed.status, 200) << closed.body;
    const auto closeEvent = events.waitForType("vote.close");
    ASSERT_TRUE(closeEvent);
    EXPECT_EQ((*closeEvent)["voteId"], voteId);
    std::optional<WebTestClient::Event> sseClose;
    while (!sseClose || sseClose->type != "vote.close") {
        sseClose = sse.readEvent();
        ASSERT_TRUE(sseClose);
    }
    EXPECT_TRUE(viewer.waitForType("close"));
    EXPECT_EQ(api.request("GET", kChannel + "/subchannels/20/vote?uid=5").status, 404);
}

TEST(WebServiceTest, ALateSubscriberStartsWithASnapshotOfTheRunningVote)
{
    WebService service;
    const std::uint32_t voteId = createVote(service.tcpPort, normalVote("Song", 3, 2, 1));
    WebTestClient api(service.httpPort), events(service.httpPort);
    ASSERT_EQ(api.request("POST", voteAction(voteId, "start")).status, 200);
    ASSERT_TRUE(events.openWebSocket(kChannel + "/events?uid=3&sub=20&since=41", {{"Last-Event-ID", "41"}}));
    const auto snapshot = events.readMessage();
    ASSERT_TRUE(snapshot);
    EXPECT_EQ((*snapshot)["seq"], 1);
    EXPECT_EQ((*snapshot)["type"], "snapshot");
    EXPECT_EQ((*snapshot)["status"], "running");
    EXPECT_EQ((*snapshot)["vote"]["voteId"], voteId);
}

TEST(WebServiceTest, OneUserHasOneAllowanceOverWebAndHostTransport)
{
    WebService service;
    const std::uint32_t voteId = createVote(service.tcpPort, normalVote("Song", 3, 1, 1));
    WebTestClient api(service.httpPort), viewer(service.httpPort);
    const HttpReply started = api.request("POST", voteAction(voteId, "start"));
    ASSERT_EQ(started.status, 200);
    const std::uint32_t jiFangId = started.json()["jiFangId"];
    TcpTestClient host;
    ASSERT_TRUE(host.connect(service.tcpPort));
    ASSERT_EQ(host.hello(identity(2, 0)), std::optional<std::uint32_t>(kWelcomeAccepted));
    ASSERT_TRUE(viewer.openWebSocket("/api/v1/session?uid=2&channel=10&sub=20"));
    ASSERT_TRUE(viewer.waitForType("vote"));

    const std::string vote = R"({"type":"vote","voteId":)" + std::to_string(voteId) + R"(,"optionId":0})";
    ASSERT_TRUE(viewer.sendText(vote));
    const auto first = viewer.waitForType("result");
    ASSERT_TRUE(first);
    EXPECT_EQ((*first)["result"], 0);
    ASSERT_TRUE(host.sendVote(VOTE_SYSTEM_USER_VOTE_REQ,
                              PUserVoteReq{10, 20, voteId, kNormalVote, jiFangId, 2, 1, 1, {}}));
    const auto overTcp = host.waitForMessage<PUserVoteRes>(VOTE_SYSTEM_USER_VOTE_RES);
    ASSERT_TRUE(overTcp);
    EXPECT_EQ(overTcp->result, kResultNoTicketsLeft);
    ASSERT_TRUE(viewer.sendText(vote));
    const auto again = viewer.waitForType("result");
    ASSERT_TRUE(again);
    EXPECT_EQ((*again)["result"], kResultNoTicketsLeft);
    EXPECT_EQ((*again)["reason"], "no tickets left");
}

TEST(WebServiceTest, WebSessionsCountTowardsThePerUserLimit)
{
    ServerOptions options;
    options.maxSessionsPerUser = 1;
    WebService service(options);
    WebTestClient viewer(service.httpPort), api(service.httpPort);
    ASSERT_TRUE(viewer.openWebSocket("/api/v1/session?uid=3&channel=10&sub=20"));
    const HttpReply refused = api.request("GET", kChannel + "/subchannels/20/vote?uid=3");
    EXPECT_EQ(refused.status, 429);
    EXPECT_FALSE(api.openWebSocket(kChannel + "/events?uid=3"));
    EXPECT_EQ(api.refusedStatus, 429);
    TcpTestClient host;
    ASSERT_TRUE(host.connect(service.tcpPort));
    EXPECT_EQ(host.hello(identity(3, 0)), std::optional<std::uint32_t>(kWelcomeTooManyForUser));
    // Another user is not held back.
    EXPECT_EQ(api.request("GET", kChannel + "/subchannels/20/vote?uid=4").status, 404);
}

TEST(WebServiceTest, AFloodingViewerIsRefusedThenDropped)
{
    // A stopped clock: on a slow machine the budget would otherwise refill between the messages and
    // break the run of refusals that drops the session.
    ManualClock stopped;
    WebService service({}, {}, &stopped);
    WebTestClient viewer(service.httpPort);
    ASSERT_TRUE(viewer.openWebSocket("/api/v1/session?uid=2&channel=10&sub=20"));
    const std::string ask = R"({"type":"tickets","voteId":1})";
    for (int i = 0; i < 200; ++i)
        ASSERT_TRUE(viewer.sendText(ask));
    bool floodRefused = false;
    // Refused by the core's budget, or here while 64 requests wait for the core's answers.
    while (const auto message = viewer.readMessage())
        floodRefused = floodRefused || message->value("result", 0u) == kResultTooManyRequests ||
                       message->value("error", "") == "too many requests waiting for answers";
    EXPECT_TRUE(floodRefused);
    EXPECT_EQ(viewer.closeCode(), std::optional<std::uint16_t>(1008));
}

TEST(WebServiceTest, ViewerMessagesAreCheckedAndBounded)
{
    WebService service;
    WebTestClient viewer(service.httpPort);
    ASSERT_TRUE(viewer.openWebSocket("/api/v1/session?uid=2&channel=10&sub=20"));
    ASSERT_TRUE(viewer.sendText(R"({"id":3,"type":"vote","voteId":1,"optionId":-1})"));
    const auto error = viewer.waitForType("error");
    ASSERT_TRUE(error);
    EXPECT_EQ((*error)["field"], "optionId");
    EXPECT_EQ((*error)["id"], 3);
    // A vote for no running vote reaches the core, which refuses it.
    ASSERT_TRUE(viewer.sendText(R"({"type":"vote","voteId":1,"optionId":0})"));
    const auto refused = viewer.waitForType("result");
    ASSERT_TRUE(refused);
    EXPECT_NE((*refused)["result"], 0);
    ASSERT_TRUE(viewer.sendText(std::string(17 * 1024, ' ')));
    EXPECT_FALSE(viewer.readMessage());
    EXPECT_EQ(viewer.closeCode(), std::optional<std::uint16_t>(1009));
}

// A viewer's held answers: an answer waits for the next message without a hold and leaves in the
// same write, or alone once its hold is over; a drain or a close sends it first. At 2 broadcasts a
// second the hold is 500 ms; every vote comes well after the last broadcast, so the broadcast that
// counts it comes on the next tick (at most 125 ms), well within the hold.
TEST(WebServiceTest, AViewersHeldAnswerLeavesWithTheNextMessage)
{
    constexpr std::chrono::milliseconds kHold(500);
    const std::string kVote = R"({"id":1,"type":"vote","voteId":V,"optionId":0})";
    const std::string kTickets = R"({"id":2,"type":"tickets","voteId":V})";
    enum class Then
    {
        ReadOnce,  // what arrives in one read of the socket
        Drain,     // the service drains: 1001
        DropTheKey // the viewer's token is no longer honoured: 1008
    };
    struct Row
    {
        const char* name;
        bool ticketSpent; // the viewer's one ticket is spent first: its vote is refused (11)
        std::vector<std::string> asks;
        Then then;
        std::vector<std::string> arrives; // type, and a result's code, of each message in order
        bool afterTheHold;                // not before the hold was over
    } rows[] = {
        {"an accepted vote's answer leaves with the broadcast that counts it",
         false,
         {kVote},
         Then::ReadOnce,
         {"result 0", "vote"},
         false},
        {"a refusal no broadcast follows leaves alone once its hold is over",
         true,
         {kVote},
         Then::ReadOnce,
         {"result 11"},
         true},
        {"an answer without a hold takes the held one along, in order",
         true,
         {kVote, kTickets},
         Then::ReadOnce,
         {"result 11", "tickets"},
         false},
        {"a drain sends the held answer before its 1001, without waiting out the hold",
         true,
         {kVote},
         Then::Drain,
         {"result 11"},
         false},
        {"a close sends the held answer before its 1008, without waiting out the hold",
         true,
         {kVote},
         Then::DropTheKey,
         {"result 11"},
         false},
    };
    const auto arrived = [](const std::vector<nlohmann::json>& messages) {
        std::vector<std::string> seen;
        for (const auto& message : messages)
            seen.push_back(message.value("type", "") +
                           (message.contains("result") ? " " + message["result"].dump() : ""));
        return seen;
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ServerOptions options;
        options.broadcastHz = 2;
        options.answerHoldMs = 1000;
        WebSetup keys;
        keys.keys = true;
        WebService service(options, {}, nullptr, keys);
        const std::uint32_t voteId = createVote(service.tcpPort, normalVote("Song", 3, 1, 1));
        const auto withVote = [voteId](std::string ask) {
            return ask.replace(ask.find('V'), 1, std::to_string(voteId));
        };
        WebTestClient api(service.httpPort), viewer(service.httpPort);
        ASSERT_TRUE(viewer.openWebSocket(
            "/api/v1/session?channel=10&sub=20",
            bearer(service.token(2, 0, ScopeSet(AccessScope::Events).with(AccessScope::Vote)))));
        const std::string manager = service.token(1, 255, ScopeSet::forRole(255));
        ASSERT_EQ(api.request("POST", kChannel + "/votes/" + std::to_string(voteId) + "/start?sub=20",
                              bearer(manager))
                      .status,
                  200);
        ASSERT_EQ(arrived(viewer.readTogether()), std::vector<std::string>{"vote"});
        const auto afterTheLastBroadcast = [] {
            std::this_thread::sleep_for(std::chrono::milliseconds(700));
        };
        if (row.ticketSpent) {
            afterTheLastBroadcast();
            ASSERT_TRUE(viewer.sendText(withVote(R"({"type":"vote","voteId":V,"optionId":1})")));
            ASSERT_EQ(arrived(viewer.readTogether()), (std::vector<std::string>{"result 0", "vote"}));
        }
        afterTheLastBroadcast();
        const auto asked = std::chrono::steady_clock::now();
        for (const std::string& ask : row.asks)
            ASSERT_TRUE(viewer.sendText(withVote(ask)));
        std::vector<nlohmann::json> messages;
        if (row.then != Then::ReadOnce) {
            // The answer is held by then.
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            if (row.then == Then::Drain)
                service.drain();
            else
                ASSERT_EQ(service.dropTheKey(), 1u);
            // Written while the drain or the close ran; the hold would be over 400 ms later.
            messages = viewer.readTogether(kHold / 2);
            while (!viewer.closeCode() && !viewer.readTogether().empty()) {
            }
            EXPECT_EQ(viewer.closeCode(),
                      std::optional<std::uint16_t>(row.then == Then::Drain ? 1001 : 1008));
        } else {
            messages = viewer.readTogether();
        }
        const auto waited = std::chrono::steady_clock::now() - asked;
        EXPECT_EQ(arrived(messages), row.arrives);
        if (row.afterTheHold) {
            EXPECT_GE(waited, kHold);
        }
    }
}

// With SQLite the core's frames wait for the group commit; web answers and events wait with them.
TEST(WebServiceTest, QuorixVotedWithDurableStorageServesTheWebFaceAndStopsWithStreamsOpen)
{
    const std::string data = ::testing::TempDir() + "/webservice-data";
    std::filesystem::remove_all(data);
    VotedProcess voted(QUORIX_VOTED_PATH,
                       {"--listen", "127.0.0.1:0", "--data", data, "--http", "127.0.0.1:0"});
    const std::uint16_t tcpPort = VotedProcess::portOf(voted.readLineWith("listening on 127.0.0.1:"));
    const std::string line = voted.readLineWith("http listening on 127.0.0.1:");
    EXPECT_NE(line.find("(loopback peers only: no --secret-file)"), std::string::npos) << line;
    const std::uint16_t port = VotedProcess::portOf(line);
    ASSERT_NE(port, 0);
    ASSERT_NE(tcpPort, 0);
    const std::uint32_t voteId = createVote(tcpPort, normalVote("Song", 3, 2, 1));
    WebTestClient events(port), api(port);
    ASSERT_TRUE(events.openWebSocket(kChannel + "/events?uid=3&sub=20"));
    ASSERT_TRUE(events.waitForType("snapshot"));
    ASSERT_EQ(api.request("POST", voteAction(voteId, "start")).status, 200);
    EXPECT_TRUE(events.waitForType("vote.begin"));
    EXPECT_EQ(api.request("GET", kChannel + "/subchannels/20/vote?uid=5").json()["vote"]["voteId"], voteId);
    ASSERT_EQ(api.request("POST", voteAction(voteId, "stop")).status, 200);
    EXPECT_TRUE(events.waitForType("vote.end"));
    EXPECT_EQ(api.request("GET", "/healthz").status, 200);
    EXPECT_EQ(voted.terminate(), 0);
}

// Every manager request over both transports leaves one JSON line in --audit-log by the time its
// answer arrives (with SQLite both wait for the group commit), refusals included.
TEST(WebServiceTest, QuorixVotedAuditsEveryManagerRequestOverBothTransports)
{
    const std::string data = ::testing::TempDir() + "/webservice-audit-data";
    const std::string auditPath = ::testing::TempDir() + "/webservice-audit.log";
    std::filesystem::remove_all(data);
    std::filesystem::remove(auditPath);
    VotedProcess voted(QUORIX_VOTED_PATH, {"--listen", "127.0.0.1:0", "--data", data, "--http", "127.0.0.1:0",
                                           "--audit-log", auditPath});
    const std::uint16_t tcpPort = VotedProcess::portOf(voted.readLineWith("listening on 127.0.0.1:"));
    const std::uint16_t httpPort = VotedProcess::portOf(voted.readLineWith("http listening on 127.0.0.1:"));
    ASSERT_NE(tcpPort, 0);
    ASSERT_NE(httpPort, 0);
    TcpTestClient manager, viewer;
    ASSERT_TRUE(manager.connect(tcpPort) && viewer.connect(tcpPort));
    ASSERT_EQ(manager.hello(identity(1, 255)), std::optional<std::uint32_t>(kWelcomeAccepted));
    ASSERT_EQ(viewer.hello(identity(2, 25)), std::optional<std::uint32_t>(kWelcomeAccepted));
    WebTestClient web(httpPort);
    const std::string webViewer = "?uid=2&imid=90002&role=25&sub=20";
    const std::string webManager = "&imid=90001";

    std::uint32_t voteId = 0, second = 0, jiFangId = 0, webVote = 0;
    // Sends over the host transport and waits for the answer's result.
    auto tcp = [](TcpTestClient& client, std::uint32_t minType, const std::string& body) {
        EXPECT_TRUE(client.sendFrame(2500, minType, body));
        const auto answer = client.waitFor(minType + 1);
        EXPECT_TRUE(answer) << "no answer to " << minType;
        return answer ? answer->payload : std::string();
    };
    auto started = [&](const std::string& payload) {
        PStartVoteRes res;
        EXPECT_TRUE(mpak::decode(payload, res));
        jiFangId = res.jiFangId;
    };
    auto webRun = [&](const HttpReply& reply, int status) {
        EXPECT_EQ(reply.status, status) << reply.body;
        if (reply.status == 200)
            jiFangId = reply.json().value("jiFangId", 0u);
    };
    const struct
    {
        const char* name;
        std::function<void()> act;
        const char* action;
        std::uint32_t result;
        std::uint32_t uid;
        const char* transport;
        const std::uint32_t* voteId; // null: the line has none
        bool hasRun;                 // the line's jiFangId is the run's
        const std::uint32_t* batch;  // set: the line's voteIds are this one
    } rows[] = {
        {"create",
         [&] {
             PCreateVoteRes res;
             EXPECT_TRUE(
                 mpak::decode(tcp(manager, VOTE_SYSTEM_CREATE_VOTE_REQ,
                                  mpak::encode(PCreateVoteReq{10, 20, normalVote("Song", 3, 2, 1), {}})),
                              res));
             voteId = res.voteId;
         },
         "create", kResultOk, 1, "tcp", &voteId, false, nullptr},
        {"a viewer's create",
         [&] {
             tcp(viewer, VOTE_SYSTEM_CREATE_VOTE_REQ,
                 mpak::encode(PCreateVoteReq{10, 20, normalVote("Mine", 2, 1, 1), {}}));
         },
         "create", kResultNotManager, 2, "tcp", nullptr, false, nullptr},
        {"update",
         [&] {
             VoteInfo changed = normalVote("Song 2", 3, 2, 1);
             changed.voteId = voteId;
             tcp(manager, VOTE_SYSTEM_UPDATE_VOTE_REQ,
                 mpak::encode(PUpdateVoteReq{10, 20, voteId, changed, {}}));
         },
         "update", kResultOk, 1, "tcp", &voteId, false, nullptr},
        {"start",
         [&] {
             started(tcp(manager, VOTE_SYSTEM_START_VOTE_REQ,
                         mpak::encode(PStartVoteReq{10, 20, voteId, 1, {}})));
         },
         "start", kResultOk, 1, "tcp", &voteId, true, nullptr},
        {"stop",
         [&] {
             tcp(manager, VOTE_SYSTEM_END_VOTE_REQ,
                 mpak::encode(PEndVoteReq{10, 20, voteId, 0, jiFangId, {}}));
         },
         "stop", kResultOk, 1, "tcp", &voteId, true, nullptr},
        {"close",
         [&] {
             tcp(manager, VOTE_SYSTEM_CLOSE_VOTEUI_REQ,
                 mpak::encode(PCloseVoteReq{10, 20, voteId, jiFangId, {}}));
         },
         "close", kResultOk, 1, "tcp", &voteId, true, nullptr},
        {"web start", [&] { webRun(web.request("POST", voteAction(voteId, "start", webManager)), 200); },
         "start", kResultOk, 1, "web", &voteId, true, nullptr},
        {"a web viewer's stop",
         [&] {
             const std::string target = kChannel + "/votes/" + std::to_string(voteId) + "/stop" + webViewer;
             EXPECT_EQ(web.request("POST", target).status, 403);
         },
         "stop", kResultNotManager, 2, "web", &voteId, true, nullptr},
        {"web stop", [&] { webRun(web.request("POST", voteAction(voteId, "stop", webManager)), 200); },
         "stop", kResultOk, 1, "web", &voteId, true, nullptr},
        {"web close",
         [&] {
             webRun(web.request("POST", voteAction(voteId, "close",
                                                   webManager + "&jiFangId=" + std::to_string(jiFangId))),
                    200);
         },
         "close", kResultOk, 1, "web", &voteId, true, nullptr},
        {"web schedule",
         [&] {
             const std::string at = std::to_string(SystemClock().unixSeconds() + 3600);
             EXPECT_EQ(web.request("POST", voteAction(voteId, "start", webManager + "&at=" + at)).status,
                       200);
         },
         "schedule", kResultOk, 1, "web", &voteId, false, nullptr},
        {"web cancel of the schedule",
         [&] { EXPECT_EQ(web.request("DELETE", voteAction(voteId, "schedule", webManager)).status, 204); },
         "cancelSchedule", kResultOk, 1, "web", &voteId, false, nullptr},
        {"web create",
         [&] {
             const HttpReply reply = web.request("POST", kChannel + "/votes?" + kManager + webManager, {},
                                                 voteBody(judgeVote("Web", {7})));
             EXPECT_EQ(reply.status, 201) << reply.body;
             webVote = reply.json().value("voteId", 0u);
         },
         "create", kResultOk, 1, "web", &webVote, false, nullptr},
        {"a web viewer's create",
         [&] {
             EXPECT_EQ(
                 web.request("POST", kChannel + "/votes" + webViewer, {}, voteBody(judgeVote("Mine", {7})))
                     .status,
                 403);
         },
         "create", kResultNotManager, 2, "web", nullptr, false, nullptr},
        {"web update",
         [&] {
             const std::string body =
                 voteBody(judgeVote("Web 2", {7}), [&](Json& v) { v["voteId"] = webVote; });
             EXPECT_EQ(web.request("PUT", votePath(webVote, kManager + webManager), {}, body).status, 200);
         },
         "update", kResultOk, 1, "web", &webVote, false, nullptr},
        {"web delete",
         [&] { EXPECT_EQ(web.request("DELETE", votePath(webVote, kManager + webManager)).status, 204); },
         "delete", kResultOk, 1, "web", &webVote, false, nullptr},
        {"a web batch delete of a deleted vote",
         [&] {
             const std::string body = R"({"voteIds":[)" + std::to_string(webVote) + "]}";
             EXPECT_EQ(web.request("POST", kChannel + "/votes:batchDelete?" + kManager + webManager, {}, body)
                           .status,
                       404);
         },
         "batchDelete", kResultNotFound, 1, "web", nullptr, false, &webVote},
        {"delete",
         [&] {
             tcp(manager, VOTE_SYSTEM_DELETE_VOTE_REQ, mpak::encode(PDeleteVoteReq{10, 20, voteId, 0, {}}));
         },
         "delete", kResultOk, 1, "tcp", &voteId, false, nullptr},
        {"a web start of a deleted vote",
         [&] { EXPECT_EQ(web.request("POST", voteAction(voteId, "start", webManager)).status, 404); },
         "start", kResultNotFound, 1, "web", &voteId, false, nullptr},
        {"create another",
         [&] {
             PCreateVoteRes res;
             EXPECT_TRUE(
                 mpak::decode(tcp(manager, VOTE_SYSTEM_CREATE_VOTE_REQ,
                                  mpak::encode(PCreateVoteReq{10, 20, normalVote("Other", 2, 1, 1), {}})),
                              res));
             second = res.voteId;
         },
         "create", kResultOk, 1, "tcp", &second, false, nullptr},
        {"batch delete",
         [&] {
             tcp(manager, VOTE_SYSTEM_BATCH_DELETE_VOTE_REQ,
                 mpak::encode(PBatchDeleteVoteReq{10, 20, {{second, 0}}, {}}));
         },
         "batchDelete", kResultOk, 1, "tcp", nullptr, false, &second},
    };
    const std::regex rfc3339("\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\dZ");
    std::size_t lines = 0;
    for (const auto& row : rows) {
        row.act();
        std::ifstream file(auditPath);
        std::vector<std::string> written;
        for (std::string line; std::getline(file, line);)
            written.push_back(line);
        ASSERT_EQ(written.size(), ++lines) << row.name << ": its line comes with its answer";
        const nlohmann::json line = nlohmann::json::parse(written.back(), nullptr, false);
        ASSERT_TRUE(line.is_object()) << row.name << ": " << written.back();
        EXPECT_TRUE(std::regex_match(line.value("time", ""), rfc3339)) << row.name << ": " << written.back();
        EXPECT_EQ(line.value("action", ""), row.action) << row.name;
        EXPECT_EQ(line.value("result", 99u), row.result) << row.name;
        EXPECT_EQ(line.value("uid", 0u), row.uid) << row.name;
        EXPECT_EQ(line.value("imid", 0u), row.uid + 90000) << row.name;
        EXPECT_EQ(line.value("role", 0u), row.uid == 1 ? 255u : 25u) << row.name;
        EXPECT_EQ(line.value("channel", 0u), 10u) << row.name;
        EXPECT_EQ(line.value("subChannel", 0u), 20u) << row.name;
        EXPECT_EQ(line.value("transport", ""), row.transport) << row.name;
        EXPECT_EQ(line.value("peer", "").rfind("127.0.0.1:", 0), 0u) << row.name << ": " << written.back();
        EXPECT_EQ(line.contains("voteId"), row.voteId != nullptr) << row.name << ": " << written.back();
        if (row.voteId != nullptr) {
            EXPECT_EQ(line.value("voteId", 0u), *row.voteId) << row.name;
        }
        EXPECT_EQ(line.contains("jiFangId"), row.hasRun) << row.name << ": " << written.back();
        if (row.hasRun) {
            EXPECT_EQ(line.value("jiFangId", 0u), jiFangId) << row.name;
        }
        const std::vector<std::uint32_t> voteIds = line.value("voteIds", std::vector<std::uint32_t>{});
        EXPECT_EQ(voteIds, row.batch ? std::vector<std::uint32_t>{*row.batch} : std::vector<std::uint32_t>{})
            << row.name;
        EXPECT_FALSE(line.contains("nick")) << row.name;
        EXPECT_FALSE(line.contains("jti")) << row.name << ": these tokens have none";
    }
    struct stat status = {};
    ASSERT_EQ(::stat(auditPath.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0600u);
    EXPECT_EQ(voted.terminate(), 0);
    std::filesystem::remove(auditPath);
}

// A SIGHUP that lowers the rates in the configuration file holds at once for the web face's plain
// requests: those of a user seen before and of a new one.
TEST(WebServiceTest, AReloadedRateHoldsForPlainRequests)
{
    const std::string configPath = ::testing::TempDir() + "/webservice-reload.conf";
    const std::string config = "memory = true\nhttp = \"127.0.0.1:0\"\n";
    std::ofstream(configPath) << config;
    VotedProcess voted(QUORIX_VOTED_PATH, {"--listen", "127.0.0.1:0", "--config", configPath});
    const std::uint16_t port = VotedProcess::portOf(voted.readLineWith("http listening on"));
    ASSERT_NE(port, 0);
    WebTestClient client(port);
    // The request of 6 first answered 429, counted from 1; 0 when none was.
    const auto firstRefused = [&](std::uint32_t uid) {
        for (int i = 1; i <= 6; ++i)
            if (client.request("GET", kChannel + "/subchannels/20/vote?uid=" + std::to_string(uid)).status ==
                429)
                return i;
        return 0;
    };
    EXPECT_EQ(firstRefused(9), 0) << "bursts of 40";
    std::ofstream(configPath) << config << "request-burst = 5\nrequests-per-second = 1\n";
    voted.signal(SIGHUP);
    EXPECT_NE(voted.readLineWith("reload: requests-per-second 20 → 1, request-burst 40 → 5"), "");
    EXPECT_EQ(firstRefused(9), 6);
    EXPECT_EQ(firstRefused(8), 6);
    EXPECT_EQ(voted.terminate(), 0);
    std::remove(configPath.c_str());
}

// Whatever is served or refused, no log line holds a token or a ticket; a reload that drops the
// key closes the streams it let in.
TEST(WebServiceTest, NoLogLineHoldsATokenOrATicket)
{
    const std::string secretFile = ::testing::TempDir() + "/webservice-secret";
    std::ofstream(secretFile) << kSecret << "\n";
    VotedProcess voted(QUORIX_VOTED_PATH, {"--listen", "127.0.0.1:0", "--memory", "--http", "127.0.0.1:0",
                                           "--secret-file", secretFile});
    std::string log;
    while (log.find("http listening on") == std::string::npos) {
        const std::string line = voted.readLine();
        ASSERT_FALSE(line.empty()) << log;
        log += line;
    }
    const std::uint16_t port = VotedProcess::portOf(log.substr(log.find("http listening on")));
    WebTestClient client(port);
    AccessClaims claims;
    claims.uid = 2;
    claims.channelId = 10;
    claims.scopes = ScopeSet::forRole(0);
    claims.issuedAt = SystemClock().unixSeconds();
    claims.expiresAt = claims.issuedAt + 600;
    const std::string token = TokenSigner::withSecret(kSecret).sign(claims);
    AccessClaims otherChannel = claims;
    otherChannel.channelId = 11;
    const std::string state = kChannel + "/subchannels/20/vote";
    EXPECT_EQ(client.request("GET", state, bearer(token)).status, 404);
    EXPECT_EQ(client.request("GET", state, bearer(token + "x")).status, 401);
    EXPECT_EQ(
        client.request("GET", state, bearer(TokenSigner::withSecret(kSecret).sign(otherChannel))).status,
        401);
    EXPECT_EQ(client.request("GET", state + "?token=" + token).status, 401);
    const std::string ticket =
        client.request("POST", "/api/v1/tickets", bearer(token)).json().value("ticket", "");
    ASSERT_FALSE(ticket.empty());
    WebTestClient stream(port), again(port);
    ASSERT_TRUE(stream.openWebSocket(kChannel + "/events?sub=20&ticket=" + ticket));
    EXPECT_FALSE(again.openWebSocket(kChannel + "/events?sub=20&ticket=" + ticket));
    ASSERT_TRUE(stream.waitForType("snapshot"));
    // A reload with another secret closes the stream the old key's ticket opened, and says why.
    std::ofstream(secretFile) << "another-web-test-secret-0123456789\n";
    ::kill(voted.pid(), SIGHUP);
    EXPECT_FALSE(stream.readMessage(std::chrono::milliseconds(3000)));
    EXPECT_EQ(stream.closeCode(), std::optional<std::uint16_t>(1008));
    EXPECT_EQ(voted.terminate(), 0);
    for (std::string line = voted.readLine(); !line.empty(); line = voted.readLine())
        log += line;
    EXPECT_NE(log.find("stopped"), std::string::npos) << log;
    EXPECT_NE(log.find("closing the web stream of uid 2 in channel 10: token unknown-key"), std::string::npos)
        << log;
    const std::string signature = token.substr(token.rfind('.') + 1);
    for (const std::string& secret : {token, signature, ticket, std::string(kSecret)})
        EXPECT_EQ(log.find(secret), std::string::npos) << log;
}

} // namespace
} // namespace quorix::service::test
