// The Redis Cluster routing: key slots against the values redis-cli cluster keyslot gives (and the
// examples of the Redis Cluster documentation), slot maps read from CLUSTER SLOTS replies, and
// MOVED and ASK redirections, with the malformed replies a node could send refused.

#include "voteservice/redis/redisclusterslots.h"
#include "voteservice/redis/redisconnection.h"

#include <gtest/gtest.h>

using namespace quorix::service;

namespace {

// The reply RESP text stands for, as hiredis parses it off the wire.
RedisReply parsed(const std::string& resp)
{
    redisReader* reader = redisReaderCreate();
    void* reply = nullptr;
    const bool ok = redisReaderFeed(reader, resp.data(), resp.size()) == REDIS_OK &&
                    redisReaderGetReply(reader, &reply) == REDIS_OK;
    redisReaderFree(reader);
    return RedisReply(ok ? static_cast<redisReply*>(reply) : nullptr);
}

std::string bulk(const std::string& text)
{
    return "$" + std::to_string(text.size()) + "\r\n" + text + "\r\n";
}

// One node of a CLUSTER SLOTS range: [host, port, id].
std::string node(const std::string& host, int port)
{
    return "*3\r\n" + bulk(host) + ":" + std::to_string(port) + "\r\n" + bulk(std::string(40, 'a'));
}

std::string range(int first, int last, const std::string& primary, const std::string& replicas = "",
                  int replicaCount = 0)
{
    return "*" + std::to_string(3 + replicaCount) + "\r\n:" + std::to_string(first) +
           "\r\n:" + std::to_string(last) + "\r\n" + primary + replicas;
}

std::string slots(const std::vector<std::string>& ranges)
{
    std::string text = "*" + std::to_string(ranges.size()) + "\r\n";
    for (const std::string& r : ranges)
        text += r;
    return text;
}

std::string manyIntegers(int count)
{
    std::string text = "*" + std::to_string(count) + "\r\n";
    for (int i = 0; i < count; ++i)
        text += ":0\r\n";
    return text;
}

// Three primaries, as redis-cli --cluster create splits the slots, with a replica each.
std::string threePrimaries()
{
    return slots({range(0, 5460, node("10.0.0.1", 7000), node("10.0.0.4", 7003), 1),
                  range(5461, 10922, node("10.0.0.2", 7001), node("10.0.0.5", 7004), 1),
                  range(10923, 16383, node("10.0.0.3", 7002), node("10.0.0.6", 7005), 1)});
}

} // namespace

TEST(RedisClusterSlotsTest, AKeysSlotIsThatOfItsHashTag)
{
    const struct
    {
        const char* key;
        std::uint16_t slot; // from redis-cli cluster keyslot
    } rows[] = {
        {"123456789", 12739}, // the documented check value 0x31C3
        {"", 0},
        {"{user1000}.following", 3443},
        {"{user1000}.followers", 3443},
        {"foo{}{bar}", 8363},    // an empty tag: the whole key
        {"foo{{bar}}zap", 4015}, // the tag is "{bar"
        {"foo{bar}{zap}", 5061}, // the first tag only
        {"{", 4092},
        {"}", 12090},
        {"{}", 15257},
        {"a{b", 13340},
        {"quorix:{ch888}:votes:1", 15484},
        {"ch888", 15484},
        {"quorix:{ch1}:open:2", 9930},
        {"quorix:{ch2}:open:2", 5801},
        {"quorix:{ch3}:open:2", 1672},
        {"quorix:{directory}:users", 437},
        {"quorix:voteid", 9682},
        {"\xc3\xa9{\xc3\xbc}x", 9552}, // bytes above 0x7f
    };
    for (const auto& row : rows)
        EXPECT_EQ(RedisClusterSlots::slot(row.key), row.slot) << row.key;
}

TEST(RedisClusterSlotsTest, TheSlotMapComesFromClusterSlotsOrStaysAsItWas)
{
    const std::string bigHost(300, 'h');
    const struct
    {
        const char* name;
        std::string reply;
        bool taken;
        std::uint16_t slot;
        const char* primary; // nullptr: no primary for the slot
        bool complete;
    } rows[] = {
        {"three primaries, first slot", threePrimaries(), true, 0, "10.0.0.1:7000", true},
        {"three primaries, a range's last slot", threePrimaries(), true, 10922, "10.0.0.2:7001", true},
        {"three primaries, last slot", threePrimaries(), true, 16383, "10.0.0.3:7002", true},
        {"two ranges of one primary", slots({range(0, 99, node("h", 1)), range(100, 16383, node("h", 1))}),
         true, 100, "h:1", true},
        {"a gap", slots({range(0, 99, node("h", 1))}), true, 100, nullptr, false},
        {"no ranges at all", "*0\r\n", true, 0, nullptr, false},
        {"an empty host is the node answering", slots({range(0, 16383, node("", 7000))}), true, 5,
         "seed:7000", true},
        {"an unknown host is the node answering", slots({range(0, 16383, node("?", 7000))}), true, 5,
         "seed:7000", true},
        {"a null host is the node answering", slots({range(0, 16383, "*3\r\n$-1\r\n:7000\r\n" + bulk("id"))}),
         true, 5, "seed:7000", true},
        {"Redis 7 metadata after the id",
         slots({range(0, 16383,
                      "*4\r\n" + bulk("h") + ":1\r\n" + bulk("id") + "*2\r\n" + bulk("hostname") +
                          bulk("n1"))}),
         true, 5, "h:1", true},
        {"not an array", "+OK\r\n", false, 0, nullptr, false},
        {"an error", "-ERR This instance has cluster support disabled\r\n", false, 0, nullptr, false},
        {"a range without a primary", "*1\r\n*2\r\n:0\r\n:16383\r\n", false, 0, nullptr, false},
        {"a range ending before it starts", slots({range(10, 9, node("h", 1))}), false, 0, nullptr, false},
        {"a slot beyond 16383", slots({range(0, 16384, node("h", 1))}), false, 0, nullptr, false},
        {"a negative slot", slots({range(-1, 5, node("h", 1))}), false, 0, nullptr, false},
        {"a slot as text", "*1\r\n*3\r\n" + bulk("0") + ":5\r\n" + node("h", 1), false, 0, nullptr, false},
        {"two ranges over one slot", slots({range(0, 100, node("a", 1)), range(100, 16383, node("b", 1))}),
         false, 0, nullptr, false},
        {"port 0", slots({range(0, 16383, node("h", 0))}), false, 0, nullptr, false},
        {"port 70000", slots({range(0, 16383, node("h", 70000))}), false, 0, nullptr, false},
        {"a port as text", slots({range(0, 16383, "*3\r\n" + bulk("h") + bulk("1") + bulk("id"))}), false, 0,
         nullptr, false},
        {"a primary that is no array", slots({range(0, 16383, bulk("h:1"))}), false, 0, nullptr, false},
        {"a primary without a port", slots({range(0, 16383, "*1\r\n" + bulk("h"))}), false, 0, nullptr,
         false},
        {"a host with a space", slots({range(0, 16383, node("a b", 1))}), false, 0, nullptr, false},
        {"a host with a control byte", slots({range(0, 16383, node("a\nb", 1))}), false, 0, nullptr, false},
        {"a host of 300 bytes", slots({range(0, 16383, node(bigHost, 1))}), false, 0, nullptr, false},
        {"more ranges than slots", manyIntegers(16385), false, 0, nullptr, false},
    };
    const RedisReply before = parsed(slots({range(0, 16383, node("before", 9))}));
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        RedisClusterSlots map;
        std::string error;
        ASSERT_TRUE(map.update(*before, "seed", error)) << error;
        const RedisReply reply = parsed(row.reply);
        ASSERT_TRUE(reply);
        const bool taken = map.update(*reply, "seed", error);
        EXPECT_EQ(taken, row.taken) << error;
        if (!row.taken) {
            EXPECT_FALSE(error.empty());
            ASSERT_TRUE(map.primary(0));
            EXPECT_EQ(map.primary(0)->describe(), "before:9") << "a refused reply leaves the map as it was";
            continue;
        }
        const RedisClusterNode* primary = map.primary(row.slot);
        EXPECT_EQ(primary ? primary->describe() : std::string("none"), row.primary ? row.primary : "none");
        EXPECT_EQ(map.complete(), row.complete);
    }
    RedisClusterSlots map;
    std::string error;
    ASSERT_TRUE(map.update(*parsed(threePrimaries()), "seed", error));
    EXPECT_EQ(map.primaries().size(), 3u) << "replicas are not primaries";
}

TEST(RedisClusterSlotsTest, MovedAndAskNameTheSlotAndItsNode)
{
    const struct
    {
        const char* name;
        std::string reply;
        bool redirect;
        RedisRedirect::Kind kind;
        std::uint16_t slot;
        const char* node;
    } rows[] = {
        {"moved", "-MOVED 3999 127.0.0.1:6381\r\n", true, RedisRedirect::Kind::Moved, 3999, "127.0.0.1:6381"},
        {"ask", "-ASK 3999 10.1.2.3:7000\r\n", true, RedisRedirect::Kind::Ask, 3999, "10.1.2.3:7000"},
        {"the last slot", "-MOVED 16383 h:1\r\n", true, RedisRedirect::Kind::Moved, 16383, "h:1"},
        {"a host name", "-MOVED 0 redis-2.example:6379\r\n", true, RedisRedirect::Kind::Moved, 0,
         "redis-2.example:6379"},
        {"no host: the node answering", "-MOVED 12 :7001\r\n", true, RedisRedirect::Kind::Moved, 12, ":7001"},
        {"IPv6", "-MOVED 12 ::1:7001\r\n", true, RedisRedirect::Kind::Moved, 12, "::1:7001"},
        {"IPv6 in brackets", "-ASK 12 [fe80::1]:7001\r\n", true, RedisRedirect::Kind::Ask, 12,
         "fe80::1:7001"},
        {"a slot beyond 16383", "-MOVED 16384 h:1\r\n", false, {}, 0, nullptr},
        {"a slot of six digits", "-MOVED 000001 h:1\r\n", false, {}, 0, nullptr},
        {"a negative slot", "-MOVED -1 h:1\r\n", false, {}, 0, nullptr},
        {"a slot as a word", "-MOVED one h:1\r\n", false, {}, 0, nullptr},
        {"no port", "-MOVED 1 h\r\n", false, {}, 0, nullptr},
        {"port 0", "-MOVED 1 h:0\r\n", false, {}, 0, nullptr},
        {"port 65536", "-MOVED 1 h:65536\r\n", false, {}, 0, nullptr},
        {"no endpoint", "-MOVED 1\r\n", false, {}, 0, nullptr},
        {"a word too many", "-MOVED 1 h:1 more\r\n", false, {}, 0, nullptr},
        {"two spaces", "-MOVED  1 h:1\r\n", false, {}, 0, nullptr},
        {"another error", "-ERR unknown command\r\n", false, {}, 0, nullptr},
        {"a kind that only starts alike", "-MOVEDX 1 h:1\r\n", false, {}, 0, nullptr},
        {"not an error", "+MOVED 1 h:1\r\n", false, {}, 0, nullptr},
        {"a host with a control byte", "-MOVED 1 a\x01:1\r\n", false, {}, 0, nullptr},
        {"a host of 300 bytes", "-MOVED 1 " + std::string(300, 'h') + ":1\r\n", false, {}, 0, nullptr},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const RedisReply reply = parsed(row.reply);
        ASSERT_TRUE(reply);
        const auto redirect = RedisClusterSlots::redirect(reply.get());
        ASSERT_EQ(redirect.has_value(), row.redirect);
        if (!redirect)
            continue;
        EXPECT_EQ(redirect->kind, row.kind);
        EXPECT_EQ(redirect->slot, row.slot);
        EXPECT_EQ(redirect->node.describe(), row.node);
    }
    EXPECT_FALSE(RedisClusterSlots::redirect(nullptr));
}
