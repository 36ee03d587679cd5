#pragma once

// Notices between service processes over Redis publish/subscribe: every process publishes on one
// channel and subscribes to it on a connection of its own, which is read without blocking when
// polled. A process skips its own notices. After the subscription had to be made again, poll()
// reports a Resync, since notices may have been missed meanwhile.

#include "ballotbox.h"
#include "redisconnection.h"

#include <cstdint>
#include <string>
#include <vector>

namespace quorix::service {

class RedisBus
{
public:
    explicit RedisBus(RedisAddress address);

    bool start(std::string& error);
    // Queued on connection, sent with its next round trip.
    void publish(RedisCommands& connection, const Notice& notice);
    std::vector<Notice> poll();

    std::uint64_t node() const { return m_node; }
    static std::string encode(const Notice& notice, std::uint64_t node);
    static bool decode(const std::string& text, Notice& notice, std::uint64_t& node);

private:
    void take(const redisReply* reply, std::vector<Notice>& notices) const;

    RedisConnection m_subscriber;
    std::uint64_t m_node;
    std::uint64_t m_seenConnects = 0;
};

} // namespace quorix::service
