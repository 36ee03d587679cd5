#pragma once

// Which Redis Cluster primary serves a key: the key's slot (CRC16 of the key, or of its hash tag,
// modulo 16384), a map of slot ranges to primaries read from a CLUSTER SLOTS reply, and the MOVED
// and ASK redirections a node answers for a slot it does not serve. Written by hand: Debian 12
// packages no maintained C or C++ cluster client, and hiredis itself has none.
//
// Replies come from the network: a reply that is not a well-formed slot map, or names a slot,
// host or port out of range, is refused as a whole and leaves the map as it was.

#include <hiredis/hiredis.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorix::service {

struct RedisClusterNode
{
    std::string host;
    std::uint16_t port = 0;

    std::string describe() const { return host + ":" + std::to_string(port); }
    bool operator==(const RedisClusterNode& other) const { return host == other.host && port == other.port; }
};

struct RedisRedirect
{
    enum class Kind
    {
        // The slot has moved for good: the map is out of date.
        Moved,
        // The slot is being migrated: this one command goes to the node, after ASKING.
        Ask
    };
    Kind kind = Kind::Moved;
    std::uint16_t slot = 0;
    // An empty host means the host of the node that answered.
    RedisClusterNode node;
};

class RedisClusterSlots
{
public:
    static constexpr std::uint16_t kSlots = 16384;
    // A host name longer than this is not one a cluster announces.
    static constexpr std::size_t kMaxHostLength = 255;

    // The slot of a key: of the text between its first '{' and the first '}' after it when that
    // is not empty, of the whole key otherwise.
    static std::uint16_t slot(std::string_view key);
    // A MOVED or ASK error reply; none for any other reply or a malformed one.
    static std::optional<RedisRedirect> redirect(const redisReply* reply);

    // Takes the ranges of a CLUSTER SLOTS reply from the node at answeredBy (whose host stands for
    // an empty or unknown one in the reply); false with a message, the map unchanged, when the
    // reply is not a slot map.
    bool update(const redisReply& reply, const std::string& answeredBy, std::string& error);
    // The primary serving the slot; null when no range covers it.
    const RedisClusterNode* primary(std::uint16_t slot) const;
    // Every primary of the map, each once.
    const std::vector<RedisClusterNode>& primaries() const { return m_primaries; }
    // Whether every slot has a primary.
    bool complete() const;

private:
    static constexpr std::uint16_t kNone = 0xffff;

    // The slot ranges of one entry of the reply: [start, end, [host, port, ...], replicas...].
    static bool readRange(const redisReply& entry, const std::string& answeredBy, std::uint16_t& first,
                          std::uint16_t& last, RedisClusterNode& primary, std::string& error);

    std::vector<RedisClusterNode> m_primaries;
    // Per slot, the index of its primary in m_primaries, or kNone.
    std::vector<std::uint16_t> m_owner = std::vector<std::uint16_t>(kSlots, kNone);
};

} // namespace quorix::service
