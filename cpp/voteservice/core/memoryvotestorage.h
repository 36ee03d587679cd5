#pragma once

#include "voteservice/core/votestorage.h"

#include <deque>
#include <map>
#include <unordered_map>

namespace quorix::service {

// Storage in memory, lost when the process ends. The user directory holds at most
// maxDirectoryEntries users; past that, new users are not recorded (known ones are still updated).
class MemoryVoteStorage : public VoteStorage
{
public:
    explicit MemoryVoteStorage(std::size_t maxDirectoryEntries = 200000);

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

    void setWebhook(std::uint32_t channelId, const WebhookConfig& config) override;
    std::optional<WebhookConfig> findWebhook(std::uint32_t channelId) const override;
    bool removeWebhook(std::uint32_t channelId) override;
    std::size_t queueWebhookEvent(WebhookEvent event, std::size_t maxPerChannel,
                                  std::int64_t nowUnix) override;
    std::optional<WebhookEvent> claimWebhookEvent(std::int64_t nowUnix, std::int64_t leaseSeconds) override;
    bool finishWebhookEvent(const WebhookEvent& event) override;
    void retryWebhookEvent(const WebhookEvent& event, std::int64_t dueAtUnix) override;
    std::size_t webhookQueueLength(std::uint32_t channelId) const override;
    void saveSchedule(const VoteSchedule& schedule) override;
    bool removeSchedule(const SubChannelKey& place, std::uint32_t voteId) override;
    std::vector<VoteSchedule> schedules(const SubChannelKey& place) const override;
    std::vector<VoteSchedule> dueSchedules(std::int64_t nowUnix, std::size_t limit) const override;
    bool claimSchedule(const VoteSchedule& schedule) override;

private:
    // A channel's webhook queue and when its head may be taken next (due, or the claim's end).
    struct WebhookQueue
    {
        std::deque<WebhookEvent> events;
        std::int64_t headFreeAtUnix = 0;
    };

    static std::uint32_t nextId(std::uint32_t& counter);

    std::map<SubChannelKey, std::map<std::uint32_t, VoteInfo>> m_votes;
    std::unordered_map<std::uint32_t, std::size_t> m_votesPerChannel;
    std::size_t m_voteCount = 0;
    std::map<SubChannelKey, std::deque<HistoryEntry>> m_history; // oldest first
    std::unordered_map<std::uint32_t, DirectoryEntry> m_directory;
    std::map<SubChannelKey, std::map<std::uint32_t, VoteSchedule>> m_schedules;
    std::size_t m_maxDirectoryEntries;
    // Touched by the webhook sender's thread only, never by the core's: the members above are the
    // core's, these the sender's.
    std::map<std::uint32_t, WebhookConfig> m_webhooks;
    std::map<std::uint32_t, WebhookQueue> m_webhookQueues;
    std::uint64_t m_lastWebhookEventId = 0;
    std::uint32_t m_lastVoteId = 0;
    std::uint32_t m_lastRecordKey = 0;
};

} // namespace quorix::service
