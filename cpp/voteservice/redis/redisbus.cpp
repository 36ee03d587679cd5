#include "redisbus.h"

#include "rediskeys.h"

#include <poll.h>

#include <cstring>
#include <random>
#include <sstream>

namespace quorix::service {

namespace {
// Reads per poll, so a flood of notices cannot hold up the service.
constexpr int kMaxReadsPerPoll = 64;

std::uint64_t randomNode()
{
    std::random_device device;
    return (std::uint64_t(device()) << 32) ^ device();
}
} // namespace

RedisBus::RedisBus(std::string host, std::uint16_t port)
    : m_subscriber(std::move(host), port), m_node(randomNode())
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

void RedisBus::publish(RedisConnection& connection, const Notice& notice)
{
    connection.append({"PUBLISH", RedisKeys::notices(), encode(notice, m_node)}, [](const redisReply*) {});
}

std::vector<Notice> RedisBus::poll()
{
    std::vector<Notice> notices;
    redisContext* context = m_subscriber.context();
    if (context == nullptr)
        return notices;
    if (m_subscriber.connects() != m_seenConnects) {
        m_seenConnects = m_subscriber.connects();
        notices.push_back(Notice{NoticeKind::Resync, {}, 0, 0});
    }
    // Messages may already sit in the reader, read together with an earlier reply.
    drain(context, notices);
    for (int round = 0; round < kMaxReadsPerPoll; ++round) {
        pollfd readable{context->fd, POLLIN, 0};
        if (::poll(&readable, 1, 0) <= 0)
            break;
        if (redisBufferRead(context) != REDIS_OK) {
            m_subscriber.drop();
            break;
        }
        drain(context, notices);
    }
    return notices;
}

void RedisBus::drain(redisContext* context, std::vector<Notice>& notices) const
{
    void* raw = nullptr;
    while (redisGetReplyFromReader(context, &raw) == REDIS_OK && raw != nullptr) {
        const RedisReply reply(static_cast<redisReply*>(raw));
        take(reply.get(), notices);
        raw = nullptr;
    }
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
