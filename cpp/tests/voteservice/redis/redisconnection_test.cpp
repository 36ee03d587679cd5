// The round-trip hook of the Redis connection against a real redis-server: one timing per command
// and per flushed batch, none for queued work alone or for commands that got no reply. Each
// transport (TCP, a Unix socket, TLS with the service's ACL) carries pipelined commands and the
// notices a subscriber reads without blocking; TLS refuses a server it cannot verify; error replies
// saying this Redis cannot serve now count as lost replies on a dropped connection; an OOM reply is
// handed on, logged once per burst.

#include "voteservice/redis/redisbus.h"
#include "voteservice/redis/redisconnection.h"
#include "tests/support/redistestserver.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <thread>
#include <vector>

using namespace quorix::service;
using namespace quorix::service::test;

namespace {

TEST(RedisConnectionTest, EveryRoundTripThatBroughtRepliesIsTimedOnce)
{
    if (!RedisTestServer::installed())
        GTEST_SKIP() << "redis-server is not installed (scripts/setup installs it)";
    RedisTestServer redis;
    ASSERT_TRUE(redis.start()) << "redis-server did not start";
    RedisConnection connection(redis.redisAddress());
    std::vector<double> trips;
    connection.setRoundTripHook([&](double seconds) { trips.push_back(seconds); });
    std::string error;
    ASSERT_TRUE(connection.connect(error)) << error;

    ASSERT_TRUE(connection.command({"PING"}));
    EXPECT_EQ(trips.size(), 1u) << "one command";

    int replies = 0;
    for (const char* key : {"a", "b", "c"})
        connection.append({"SET", key, "1"}, [&](const redisReply* reply) { replies += reply != nullptr; });
    connection.flush();
    EXPECT_EQ(replies, 3);
    EXPECT_EQ(trips.size(), 2u) << "three queued commands, one flush";

    bool worked = false;
    connection.after([&] { worked = true; });
    connection.flush();
    EXPECT_TRUE(worked);
    EXPECT_EQ(trips.size(), 2u) << "queued work alone goes nowhere";

    redis.stop();
    EXPECT_FALSE(connection.command({"PING"}));
    EXPECT_EQ(trips.size(), 2u) << "a command without a reply";
    for (double seconds : trips) {
        EXPECT_GE(seconds, 0.0);
        EXPECT_LT(seconds, 2.0);
    }
}

// A Unix socket at path whose one peer gets `answer` to whatever it sends; then the socket is
// closed when `close` says so, else kept open until the peer closes it.
std::thread answerOnce(const std::string& path, const std::string& answer, bool close)
{
    const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    path.copy(address.sun_path, sizeof address.sun_path - 1);
    ::unlink(path.c_str());
    EXPECT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::listen(listener, 1);
    return std::thread([listener, answer, close] {
        const int peer = ::accept(listener, nullptr, nullptr);
        char request[256];
        if (::read(peer, request, sizeof request) > 0) {
            EXPECT_EQ(::send(peer, answer.data(), answer.size(), MSG_NOSIGNAL), ssize_t(answer.size()));
        }
        if (close)
            ::shutdown(peer, SHUT_WR);
        // Until the client has closed its end.
        while (::read(peer, request, sizeof request) > 0) {
        }
        ::close(peer);
        ::close(listener);
    });
}

TEST(RedisConnectionTest, BytesThatAreNoReplyOfOursDropTheConnection)
{
    const std::string path = ::testing::TempDir() + "/redisconnection-fake.sock";
    const struct
    {
        const char* name;
        std::string answer;
        bool close; // false: the refusal must come at once, not after the reply timeout
    } rows[] = {
        {"an array of two million elements", "*2000000\r\n", false},
        {"not the protocol", "hello\r\n", false},
        {"a bulk string cut short", "$10\r\nabc", true},
        {"nothing", "", true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::thread server = answerOnce(path, row.answer, row.close);
        RedisAddress address;
        address.transport = RedisAddress::Transport::Unix;
        address.socketPath = path;
        RedisConnection connection(address);
        std::string error;
        ASSERT_TRUE(connection.connect(error)) << error;
        const auto started = std::chrono::steady_clock::now();
        EXPECT_FALSE(connection.command({"PING"}));
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(1));
        EXPECT_FALSE(connection.usable());
        server.join();
    }
    ::unlink(path.c_str());
}

bool skipWithoutRedis()
{
    return !RedisTestServer::installed();
}

TEST(RedisConnectionTest, EveryTransportCarriesCommandsAndNotices)
{
    if (skipWithoutRedis())
        GTEST_SKIP() << "redis-server is not installed (scripts/setup installs it)";
    struct Row
    {
        const char* name;
        std::function<void(RedisTestServer&)> setUp;
        std::function<void(RedisAddress&)> change; // what the client does otherwise
        const char* refusal;                       // empty: connects
    };
    const auto tlsWithAcl = [](RedisTestServer& redis) {
        redis.useTls();
        redis.useAcl(RedisTestServer::serviceAcl(), RedisTestServer::kServicePassword);
    };
    const Row rows[] = {
        {"plain TCP", [](RedisTestServer&) {}, [](RedisAddress&) {}, ""},
        {"Unix socket", [](RedisTestServer& redis) { redis.useUnixSocket(); }, [](RedisAddress&) {}, ""},
        {"TLS with the service's ACL", tlsWithAcl, [](RedisAddress&) {}, ""},
        {"TLS by the certificate's DNS name", tlsWithAcl, [](RedisAddress& a) { a.host = "localhost"; }, ""},
        {"TLS to an address the certificate does not name",
         [&](RedisTestServer& redis) {
             tlsWithAcl(redis);
             redis.addArguments({"--bind", "127.0.0.1", "127.0.0.2"});
         },
         [](RedisAddress& a) { a.host = "127.0.0.2"; }, "IP address mismatch"},
        {"TLS with a CA that did not sign the server's certificate", tlsWithAcl,
         [](RedisAddress& a) { a.caFile = a.certificateFile; }, "certificate"},
        {"TLS without a client certificate", tlsWithAcl,
         [](RedisAddress& a) { a.certificateFile = a.keyFile = ""; }, "cannot reach"},
        {"a wrong password", tlsWithAcl, [](RedisAddress& a) { a.password = "not the password at all"; },
         "Redis refused the credentials of user quorix"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        RedisTestServer redis;
        row.setUp(redis);
        std::string error;
        ASSERT_TRUE(redis.start(&error)) << error;
        RedisAddress address = redis.redisAddress();
        row.change(address);
        RedisConnection connection(address);
        if (*row.refusal != '\0') {
            EXPECT_FALSE(connection.connect(error));
            EXPECT_NE(error.find(row.refusal), std::string::npos) << error;
            continue;
        }
        ASSERT_TRUE(connection.connect(error)) << error;
        int replies = 0;
        for (const char* value : {"1", "2", "3"})
            connection.append({"SET", "quorix:test", value},
                              [&](const redisReply* reply) { replies += reply != nullptr; });
        connection.flush();
        EXPECT_EQ(replies, 3);
        const RedisReply got = connection.command({"GET", "quorix:test"});
        ASSERT_TRUE(got && got->type == REDIS_REPLY_STRING);
        EXPECT_STREQ(got->str, "3");

        RedisBus sender(address), receiver(address);
        ASSERT_TRUE(sender.start(error) && receiver.start(error)) << error;
        const Notice notice{NoticeKind::Started, {10, 20}, 7, 8};
        sender.publish(connection, notice);
        connection.flush();
        std::vector<Notice> heard;
        for (int i = 0; i < 100 && heard.empty(); ++i) {
            heard = receiver.poll();
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        ASSERT_EQ(heard.size(), 1u);
        EXPECT_EQ(heard[0].voteId, 7u);
    }
}

TEST(RedisConnectionTest, RepliesThatMeanRedisCannotServeNowAreLost)
{
    if (skipWithoutRedis())
        GTEST_SKIP() << "redis-server is not installed (scripts/setup installs it)";
    RedisTestServer redis;
    ASSERT_TRUE(redis.start()) << "redis-server did not start";
    RedisConnection connection(redis.redisAddress());
    std::string error;
    ASSERT_TRUE(connection.connect(error)) << error;
    struct Row
    {
        const char* error;
        bool lost;
        const char* logged; // empty: no line
    };
    const Row rows[] = {
        {"READONLY You can't write against a read only replica.", true, "Redis cannot serve now (READONLY"},
        {"MASTERDOWN Link with MASTER is down", true, "Redis cannot serve now (MASTERDOWN"},
        {"CLUSTERDOWN The cluster is down", true, "Redis cannot serve now (CLUSTERDOWN"},
        {"TRYAGAIN Multiple keys request during rehashing of slot", true, "Redis cannot serve now (TRYAGAIN"},
        {"LOADING Redis is loading the dataset in memory", true, "Redis cannot serve now (LOADING"},
        {"OOM command not allowed when used memory > 'maxmemory'.", false,
         "is out of memory and refuses writes"},
        {"OOM the same burst", false, ""},
        {"READONLYISH not one of them", false, ""},
        {"ERR something else", false, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.error);
        const std::uint64_t connects = connection.connects();
        ::testing::internal::CaptureStderr();
        const RedisReply reply =
            connection.command({"EVAL", "return redis.error_reply(ARGV[1])", "0", row.error});
        const std::string log = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(reply == nullptr, row.lost);
        if (reply) {
            EXPECT_EQ(reply->type, REDIS_REPLY_ERROR);
            EXPECT_STREQ(reply->str, row.error);
        }
        EXPECT_EQ(connection.usable(), !row.lost);
        if (*row.logged == '\0')
            EXPECT_EQ(log, "");
        else
            EXPECT_NE(log.find(row.logged), std::string::npos) << log;
        // A lost reply's connection is made again for the next command.
        std::this_thread::sleep_for(std::chrono::milliseconds(row.lost ? 550 : 0));
        EXPECT_TRUE(connection.command({"PING"}));
        EXPECT_EQ(connection.connects(), connects + (row.lost ? 1 : 0));
    }
}

} // namespace
