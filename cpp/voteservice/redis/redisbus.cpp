#include "redisbus.h"

#include "rediskeys.h"

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

RedisBus::RedisBus(RedisAddress address) : m_subscriber(std::move(address)), m_node(randomNode())
{
    // Waits for the confirmation, so that notices published afterwards are certain to arrive.
    m_subscriber.setConnectedHook([](RedisConnection& connection) {
        const RedisReply confirmed = connection.command({"SUBSCRIBE", RedisKeys::notices()});
        return confirmed && confirmed->type == REDIS_REPLY_ARRAY;
    });
}

bool RedisBus::start(std::string& error)
{
    if (!m_subscriber.connect(error))
        return false;
    m_seenConnects = m_subscriber.connects();
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
    connection.append({"PUBLISH", RedisKeys::notices(), encode(notice, m_node)}, [](const redisReply*) {});
}

std::vector<Notice> RedisBus::poll()
{
    std::vector<Notice> notices;
    if (!m_subscriber.ready())
        return notices;
    if (m_subscriber.connects() != m_seenConnects) {
        m_seenConnects = m_subscriber.connects();
        notices.push_back(Notice{NoticeKind::Resync, {}, 0, 0});
    }
    for (int taken = 0; taken < kMaxMessagesPerPoll; ++taken) {
        const RedisReply reply = m_subscriber.replyIfReady();
        if (!reply)
            break;
        take(reply.get(), notices);
    }
    return notices;
}

void RedisBus::take(const redisReply* reply, std::vector<Notice>& notices) const
{
    // A pushed message is ["message", channel, text]; the subscription's confirmation is skipped.
    if (reply->type != REDIS_REPLY_ARRAY || reply->elements != 3 ||
        reply->element[0]->type != REDIS_REPLY_STRING ||
        std::strcmp(reply->element[0]->str, "message") != 0 || reply->element[2]->type != REDIS_REPLY_STRING)
        return;
    Notice notice;
    std::uint64_t node = 0;
    if (decode(std::string(reply->element[2]->str, reply->element[2]->len), notice, node) && node != m_node)
        notices.push_back(notice);
}

} // namespace quorix::service
