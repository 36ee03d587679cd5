#include "voteservice/redis/redisbus.h"

#include "voteservice/redis/redisclusterslots.h"
#include "voteservice/redis/rediskeys.h"

#include <cstring>
#include <random>
#include <sstream>

namespace quorix::service {

namespace {
// Messages taken per poll, so a flood of notices cannot hold up the service; the rest wait in
// the connection for the next poll.
constexpr int kMaxMessagesPerPoll = 1024;

std::uint64_t randomNode()
{
    std::random_device device;
    return (std::uint64_t(device()) << 32) ^ device();
}
} // namespace

RedisBus::RedisBus(RedisAddress address) : m_node(randomNode())
{
    subscribeAt(std::move(address));
}

RedisBus::RedisBus(std::vector<RedisAddress> seeds) : m_seeds(std::move(seeds)), m_node(randomNode()) {}

const std::string& RedisBus::channel() const
{
    static const std::string notices = RedisKeys::notices(), sharded = RedisKeys::shardedNotices();
    return m_seeds.empty() ? notices : sharded;
}

void RedisBus::subscribeAt(RedisAddress address)
{
    m_subscriber = std::make_unique<RedisConnection>(std::move(address));
    // Waits for the confirmation, so that notices published afterwards are certain to arrive.
    m_subscriber->setConnectedHook(
        [subscribe = RedisConnection::Args{m_seeds.empty() ? "SUBSCRIBE" : "SSUBSCRIBE", channel()}](
            RedisConnection& connection) {
            const RedisReply confirmed = connection.command(subscribe);
            return confirmed && confirmed->type == REDIS_REPLY_ARRAY;
        });
    m_seenConnects = 0;
}

bool RedisBus::locate(std::string& error)
{
    const std::uint16_t slot = RedisClusterSlots::slot(channel());
    for (const RedisAddress& seed : m_seeds) {
        RedisConnection connection(seed);
        if (!connection.connect(error))
            continue;
        const RedisReply reply = connection.command({"CLUSTER", "SLOTS"});
        RedisClusterSlots map;
        if (!reply || !map.update(*reply, seed.host, error) || map.primary(slot) == nullptr)
            continue;
        RedisAddress owner = seed;
        owner.host = map.primary(slot)->host;
        owner.port = map.primary(slot)->port;
        subscribeAt(owner);
        return true;
    }
    error = "no seed of the Redis Cluster told which node serves " + channel() +
            (error.empty() ? "" : ": " + error);
    return false;
}

bool RedisBus::start(std::string& error)
{
    if (!m_seeds.empty() && !locate(error))
        return false;
    if (!m_subscriber->connect(error))
        return false;
    m_seenConnects = m_subscriber->connects();
    return true;
}

std::string RedisBus::encode(const Notice& notice, std::uint64_t node)
{
    return std::to_string(std::uint32_t(notice.kind)) + " " + std::to_string(notice.place.channelId) + " " +
           std::to_string(notice.place.subChannelId) + " " + std::to_string(notice.voteId) + " " +
           std::to_string(notice.jiFangId) + " " + std::to_string(node);
}

bool RedisBus::decode(const std::string& text, Notice& notice, std::uint64_t& node)
{
    std::istringstream in(text);
    std::uint32_t kind = 0;
    if (!(in >> kind >> notice.place.channelId >> notice.place.subChannelId >> notice.voteId >>
          notice.jiFangId >> node))
        return false;
    if (kind < std::uint32_t(NoticeKind::Started) || kind >= std::uint32_t(NoticeKind::Resync))
        return false;
    notice.kind = NoticeKind(kind);
    return true;
}

void RedisBus::publish(RedisCommands& connection, const Notice& notice)
{
    connection.append({m_seeds.empty() ? "PUBLISH" : "SPUBLISH", channel(), encode(notice, m_node)},
                      [](const redisReply*) {});
}

std::vector<Notice> RedisBus::poll()
{
    std::vector<Notice> notices;
    std::string error;
    // On a cluster the node that served the channel may be gone: where it is now is looked up.
    if (!m_subscriber->ready() && (m_seeds.empty() || !locate(error) || !m_subscriber->ready()))
        return notices;
    if (m_subscriber->connects() != m_seenConnects) {
        m_seenConnects = m_subscriber->connects();
        notices.push_back(Notice{NoticeKind::Resync, {}, 0, 0});
    }
    for (int taken = 0; taken < kMaxMessagesPerPoll && m_subscriber->usable(); ++taken) {
        const RedisReply reply = m_subscriber->replyIfReady();
        if (!reply)
            break;
        take(reply.get(), notices);
    }
    return notices;
}

void RedisBus::take(const redisReply* reply, std::vector<Notice>& notices)
{
    // A pushed message is ["message", channel, text] (["smessage", ...] on a cluster); the
    // subscription's confirmation is skipped. A cluster ends a shard subscription whose slot moved.
    if (reply->type != REDIS_REPLY_ARRAY || reply->elements != 3 ||
        reply->element[0]->type != REDIS_REPLY_STRING)
        return;
    const char* kind = reply->element[0]->str;
    if (std::strcmp(kind, "sunsubscribe") == 0)
        return m_subscriber->drop();
    if ((std::strcmp(kind, "message") != 0 && std::strcmp(kind, "smessage") != 0) ||
        reply->element[2]->type != REDIS_REPLY_STRING)
        return;
    Notice notice;
    std::uint64_t node = 0;
    if (decode(std::string(reply->element[2]->str, reply->element[2]->len), notice, node) && node != m_node)
        notices.push_back(notice);
}

} // namespace quorix::service
