#pragma once

// The webhooks and their event queue in Redis, for RedisVoteStorage. Every key lies in the slot of
// the hash tag {webhooks}, so each step is one script, atomic however many service processes share
// the queue:
//   hooks     hash  channel -> "<progress 0|1> <secret> <url>"
//   queue:C   list  the event ids of channel C, oldest first
//   events    hash  event id -> "<replaceable 0|1> <created at> <body>"
//   attempts  hash  event id -> failed deliveries
//   heads     zset  channel -> the Unix second its head may be taken (due, or the claim's end)
//   eventid   the event id counter
// Claiming moves the channel's score in heads past the claim's end, so that only one process
// delivers a head at a time.

#include "voteservice/core/votestorage.h"
#include "voteservice/redis/rediscommands.h"

namespace quorix::service {

class RedisWebhookQueue
{
public:
    explicit RedisWebhookQueue(RedisCommands& connection) : m_connection(&connection) {}

    void setWebhook(std::uint32_t channelId, const WebhookConfig& config);
    std::optional<WebhookConfig> findWebhook(std::uint32_t channelId) const;
    bool removeWebhook(std::uint32_t channelId);
    std::size_t queue(WebhookEvent event, std::size_t maxPerChannel, std::int64_t nowUnix);
    std::optional<WebhookEvent> claim(std::int64_t nowUnix, std::int64_t leaseSeconds);
    bool finish(const WebhookEvent& event);
    void retry(const WebhookEvent& event, std::int64_t dueAtUnix);
    std::size_t length(std::uint32_t channelId) const;

private:
    // The reply of a script or command, of the given type; throws StorageUnavailable otherwise.
    RedisReply must(const RedisCommands::Args& args, int type) const;

    RedisCommands* m_connection;
};

} // namespace quorix::service
