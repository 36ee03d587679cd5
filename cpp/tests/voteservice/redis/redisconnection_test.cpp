// The round-trip hook of the Redis connection against a real redis-server: one timing per command
// and per flushed batch, none for queued work alone or for commands that got no reply.

#include "redisconnection.h"
#include "redistestserver.h"

#include <gtest/gtest.h>

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
    RedisConnection connection("127.0.0.1", redis.port());
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

} // namespace
