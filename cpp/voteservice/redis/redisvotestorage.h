#pragma once

// Stored votes, history and the user directory in Redis, shared by every service process connected
// to it. A request whose data cannot be read or written throws StorageUnavailable (the core then
// refuses it); the connection reconnects by itself. Writes are made when called; commit() only
// waits for the user votes queued on the connection, so that their answers can go out.

#include "voteservice/redis/redisconnection.h"
#include "voteservice/redis/redisreplicawait.h"
#include "voteservice/redis/redisscripts.h"
#include "voteservice/redis/rediswebhookqueue.h"
#include "voteservice/core/votestorage.h"

namespace quorix::service {

class RedisVoteStorage : public VoteStorage
{
public:
    // Channels of historyChannels read per round trip while pruning.
    static constexpr std::size_t kChannelsPerPage = 512;

    RedisVoteStorage(RedisCommands& connection, RedisScripts& scripts, const RedisReplicaWait& replicaWait);

    std::uint32_t addVote(const SubChannelKey& place, VoteInfo vote) override;
    std::optional<VoteInfo> findVote(const SubChannelKey& place, std::uint32_t voteId) const override;
    bool replaceVote(const SubChannelKey& place, const VoteInfo& vote) override;
    bool removeVote(const SubChannelKey& place, std::uint32_t voteId) override;
    VoteList votes(const SubChannelKey& place) const override;
    std::size_t channelVoteCount(std::uint32_t channelId) const override;
    std::size_t totalVoteCount() const override;

    std::uint32_t addHistory(const SubChannelKey& place, HistoryEntry entry) override;
    std::vector<HistoryEntry> history(const SubChannelKey& place, std::int64_t sinceUnix) const override;
    void pruneHistory(std::int64_t beforeUnix) override;

    void recordUser(std::uint32_t imid, const DirectoryEntry& entry) override;
    std::optional<DirectoryEntry> findUser(std::uint32_t imid) const override;

    void setWebhook(std::uint32_t channelId, const WebhookConfig& config) override
    {
        m_webhooks.setWebhook(channelId, config);
    }
    std::optional<WebhookConfig> findWebhook(std::uint32_t channelId) const override
    {
        return m_webhooks.findWebhook(channelId);
    }
    bool removeWebhook(std::uint32_t channelId) override { return m_webhooks.removeWebhook(channelId); }
    std::size_t queueWebhookEvent(WebhookEvent event, std::size_t maxPerChannel,
                                  std::int64_t nowUnix) override
    {
        return m_webhooks.queue(std::move(event), maxPerChannel, nowUnix);
    }
    std::optional<WebhookEvent> claimWebhookEvent(std::int64_t nowUnix, std::int64_t leaseSeconds) override
    {
        return m_webhooks.claim(nowUnix, leaseSeconds);
    }
    bool finishWebhookEvent(const WebhookEvent& event) override { return m_webhooks.finish(event); }
    void retryWebhookEvent(const WebhookEvent& event, std::int64_t dueAtUnix) override
    {
        m_webhooks.retry(event, dueAtUnix);
    }
    std::size_t webhookQueueLength(std::uint32_t channelId) const override
    {
        return m_webhooks.length(channelId);
    }
    void saveSchedule(const VoteSchedule& schedule) override;
    bool removeSchedule(const SubChannelKey& place, std::uint32_t voteId) override;
    std::vector<VoteSchedule> schedules(const SubChannelKey& place) const override;
    std::vector<VoteSchedule> dueSchedules(std::int64_t nowUnix, std::size_t limit) const override;
    bool claimSchedule(const VoteSchedule& schedule) override;

    bool commit() override;
    bool buffersWrites() const override { return true; }
    // One PING round trip; false when Redis cannot be reached.
    bool answers(std::string& reason) override;

private:
    // The reply, of the given type; throws StorageUnavailable otherwise.
    RedisReply must(const RedisConnection::Args& args, int type) const;
    // Runs a script that changes the stored votes of the place and the channel's count; when it
    // changed them, totalChange (INCR or DECR) goes to the count of all. Whether it changed them.
    bool script(RedisScripts::Id id, const SubChannelKey& place, const RedisConnection::Args& args,
                const char* totalChange);
    // Prunes the history of one channel of historyChannels, and its entry there when none is left;
    // true when the entry went.
    bool pruneChannel(const std::string& channel, std::int64_t beforeUnix);
    // Throws StorageUnavailable when the change just written is not confirmed by the replicas.
    void confirmed();
    // The vote's entry in the place's schedules hash, if any.
    std::optional<VoteSchedule> findSchedule(const SubChannelKey& place, std::uint32_t voteId) const;
    // A counter's value; 0 when it does not exist.
    std::size_t counter(const RedisConnection::Args& args) const;

    RedisCommands* m_connection;
    RedisScripts* m_scripts;
    const RedisReplicaWait* m_replicaWait;
    RedisWebhookQueue m_webhooks;
};

} // namespace quorix::service
