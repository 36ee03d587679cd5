#pragma once

// Notices between service processes over Redis publish/subscribe: every process publishes on one
// channel and subscribes to it on a connection of its own, which is read without blocking when
// polled. A process skips its own notices. After the subscription had to be made again, poll()
// reports a Resync, since notices may have been missed meanwhile.
//
// On a Redis Cluster the channel is the shard channel quorix:{notices} (SPUBLISH, SSUBSCRIBE): its
// messages stay within the shard of its slot. The subscription is made at the primary of that slot,
// looked up with CLUSTER SLOTS from the seeds, and looked up again whenever it is lost (the node
// failed, or the slot moved: Redis then ends the subscription with sunsubscribe).

#include "voteservice/core/ballotbox.h"
#include "voteservice/redis/redisconnection.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace quorix::service {

class RedisBus
{
public:
    explicit RedisBus(RedisAddress address);
    // On a Redis Cluster reached through seeds (with the credentials of every node).
    explicit RedisBus(std::vector<RedisAddress> seeds);

    bool start(std::string& error);
    // Queued on connection, sent with its next round trip.
    void publish(RedisCommands& connection, const Notice& notice);
    std::vector<Notice> poll();

    std::uint64_t node() const { return m_node; }
    static std::string encode(const Notice& notice, std::uint64_t node);
    static bool decode(const std::string& text, Notice& notice, std::uint64_t& node);

private:
    void take(const redisReply* reply, std::vector<Notice>& notices);
    void subscribeAt(RedisAddress address);
    // On a cluster, a subscriber connection to the primary of the channel's slot; false when no
    // seed told where it is.
    bool locate(std::string& error);
    const std::string& channel() const;

    std::vector<RedisAddress> m_seeds;
    std::unique_ptr<RedisConnection> m_subscriber;
    std::uint64_t m_node;
    std::uint64_t m_seenConnects = 0;
};

} // namespace quorix::service
