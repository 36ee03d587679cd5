// The web face against an in-process quorix-voted over loopback: every endpoint's answers and
// refusals, a vote run through the API reaching event subscribers and viewers, and the limits the
// host transport and the web share.

#include "httplistener.h"
#include "memoryvotestorage.h"
#include "resultcode.h"
#include "servicetestsupport.h"
#include "systemclock.h"
#include "tcptestclient.h"
#include "votedprocess.h"
#include "voteserver.h"
#include "webtestclient.h"

#include <quorix/protocol/hostcontrol.h>

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <future>
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

// quorix-voted's server and web face on their own thread, both on free loopback ports.
class WebService
{
public:
    // With a clock given, the service's time is that clock's (the tests' budgets then never refill).
    explicit WebService(ServerOptions options = {}, WebLimits limits = {}, Clock* clock = nullptr)
        : m_clock(clock != nullptr ? *clock : m_systemClock)
    {
        options.host = "127.0.0.1";
        options.port = 0;
        m_server = std::make_unique<VoteServer>(m_io, options, m_clock, storage);
        m_web = std::make_unique<HttpListener>(m_io, *m_server, m_clock, limits, options.secret);
        m_web->setMetrics(m_server->metrics());
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
            EXPECT_EQ(reply.allow, "GET, HEAD");
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

TEST(WebServiceTest, HealthFollowsTheStorage)
{
    WebService service;
    WebTestClient client(service.httpPort);
    EXPECT_EQ(client.request("GET", "/healthz").body, R"({"status":"ok"})");
    service.storage.healthy = false;
    const HttpReply failing = client.request("GET", "/api/v1/healthz");
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

TEST(WebServiceTest, WithASecretOnlySignedIdentitiesAreServed)
{
    ServerOptions options;
    options.secret = kSecret;
    WebService service(options);
    WebTestClient client(service.httpPort);
    const TokenAuth auth(kSecret);
    const std::int64_t expiry = SystemClock().unixSeconds() + 600;
    const std::string manager = auth.issue({1, 0, 255, 10}, expiry);
    const std::string viewer = auth.issue({2, 0, 0, 10}, expiry);
    struct Row
    {
        std::string target;
        std::string bearer;
        int status;
    };
    const Row rows[] = {
        {kChannel + "/votes?" + kManager, manager, 200},
        {kChannel + "/votes?" + kManager + "&token=" + manager, "", 200},
        {kChannel + "/votes?" + kManager, "", 401},
        {kChannel + "/votes?" + kManager, viewer, 401},
        {kChannel + "/votes?uid=2", viewer, 403},
        {kChannel + "/subchannels/20/vote?uid=2", viewer, 404},
        {"/api/v1/channels/11/subchannels/20/vote?uid=2", viewer, 401},
        {"/api/v1/channels/11/subchannels/20/vote?uid=2&channel=10", viewer, 403},
    };
    for (const Row& row : rows) {
        std::map<std::string, std::string> headers;
        if (!row.bearer.empty())
            headers["Authorization"] = "Bearer " + row.bearer;
        const HttpReply reply = client.request("GET", row.target, headers);
        EXPECT_EQ(reply.status, row.status) << row.target << ": " << reply.body;
    }
    EXPECT_FALSE(client.openWebSocket("/api/v1/session?uid=2&channel=10"));
    EXPECT_EQ(client.refusedStatus, 401);
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

    const HttpReply state = api.request("GET", kChannel + "/subchannels/20/vote?uid=5");
    ASSERT_EQ(state.status, 200);
    EXPECT_EQ(state.json()["status"], "running");
    EXPECT_EQ(state.json()["vote"]["voteId"], voteId);
    EXPECT_GT(state.json()["remainingSeconds"].get<int>(), 0);

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
    while (const auto message = viewer.readMessage())
        floodRefused = floodRefused || (*message)["result"] == kResultTooManyRequests;
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

} // namespace
} // namespace quorix::service::test
