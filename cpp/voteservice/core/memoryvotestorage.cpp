#include "voteservice/core/memoryvotestorage.h"

#include <algorithm>

namespace quorix::service {

MemoryVoteStorage::MemoryVoteStorage(std::size_t maxDirectoryEntries)
    : m_maxDirectoryEntries(maxDirectoryEntries)
{}

std::uint32_t MemoryVoteStorage::nextId(std::uint32_t& counter)
{
    ++counter;
    if (counter == 0)
        ++counter;
    return counter;
}

std::uint32_t MemoryVoteStorage::addVote(const SubChannelKey& place, VoteInfo vote)
{
    auto& votes = m_votes[place];
    std::uint32_t id = nextId(m_lastVoteId);
    while (votes.count(id) != 0)
        id = nextId(m_lastVoteId);
    vote.voteId = id;
    votes.emplace(id, std::move(vote));
    ++m_votesPerChannel[place.channelId];
    ++m_voteCount;
    return id;
}

std::optional<VoteInfo> MemoryVoteStorage::findVote(const SubChannelKey& place, std::uint32_t voteId) const
{
    const auto sub = m_votes.find(place);
    if (sub == m_votes.end())
        return std::nullopt;
    const auto it = sub->second.find(voteId);
    if (it == sub->second.end())
        return std::nullopt;
    return it->second;
}

bool MemoryVoteStorage::replaceVote(const SubChannelKey& place, const VoteInfo& vote)
{
    const auto sub = m_votes.find(place);
    if (sub == m_votes.end())
        return false;
    const auto it = sub->second.find(vote.voteId);
    if (it == sub->second.end())
        return false;
    it->second = vote;
    return true;
}

bool MemoryVoteStorage::removeVote(const SubChannelKey& place, std::uint32_t voteId)
{
    const auto sub = m_votes.find(place);
    if (sub == m_votes.end() || sub->second.erase(voteId) == 0)
        return false;
    if (sub->second.empty())
        m_votes.erase(sub);
    const auto channel = m_votesPerChannel.find(place.channelId);
    if (--channel->second == 0)
        m_votesPerChannel.erase(channel);
    --m_voteCount;
    return true;
}

VoteList MemoryVoteStorage::votes(const SubChannelKey& place) const
{
    VoteList list;
    const auto sub = m_votes.find(place);
    if (sub == m_votes.end())
        return list;
    list.reserve(sub->second.size());
    for (const auto& [id, vote] : sub->second)
        list.push_back(vote);
    return list;
}

std::size_t MemoryVoteStorage::channelVoteCount(std::uint32_t channelId) const
{
    const auto it = m_votesPerChannel.find(channelId);
    return it == m_votesPerChannel.end() ? 0 : it->second;
}

std::size_t MemoryVoteStorage::totalVoteCount() const
{
    return m_voteCount;
}

std::uint32_t MemoryVoteStorage::addHistory(const SubChannelKey& place, HistoryEntry entry)
{
    const std::uint32_t key = nextId(m_lastRecordKey);
    entry.record.recordKey = key;
    m_history[place].push_back(std::move(entry));
    return key;
}

std::vector<HistoryEntry> MemoryVoteStorage::history(const SubChannelKey& place, std::int64_t sinceUnix) const
{
    std::vector<HistoryEntry> entries;
    const auto sub = m_history.find(place);
    if (sub == m_history.end())
        return entries;
    for (auto it = sub->second.rbegin(); it != sub->second.rend() && it->endedAtUnix >= sinceUnix; ++it)
        entries.push_back(*it);
    return entries;
}

void MemoryVoteStorage::pruneHistory(std::int64_t beforeUnix)
{
    for (auto sub = m_history.begin(); sub != m_history.end();) {
        auto& entries = sub->second;
        while (!entries.empty() && entries.front().endedAtUnix < beforeUnix)
            entries.pop_front();
        sub = entries.empty() ? m_history.erase(sub) : std::next(sub);
    }
}

void MemoryVoteStorage::recordUser(std::uint32_t imid, const DirectoryEntry& entry)
{
    const auto it = m_directory.find(imid);
    if (it != m_directory.end()) {
        it->second = entry;
        return;
    }
    if (m_directory.size() < m_maxDirectoryEntries)
        m_directory.emplace(imid, entry);
}

std::optional<DirectoryEntry> MemoryVoteStorage::findUser(std::uint32_t imid) const
{
    const auto it = m_directory.find(imid);
    if (it == m_directory.end())
        return std::nullopt;
    return it->second;
}

void MemoryVoteStorage::setWebhook(std::uint32_t channelId, const WebhookConfig& config)
{
    m_webhooks[channelId] = config;
}

std::optional<WebhookConfig> MemoryVoteStorage::findWebhook(std::uint32_t channelId) const
{
    const auto it = m_webhooks.find(channelId);
    return it == m_webhooks.end() ? std::nullopt : std::optional<WebhookConfig>(it->second);
}

bool MemoryVoteStorage::removeWebhook(std::uint32_t channelId)
{
    return m_webhooks.erase(channelId) != 0;
}

std::size_t MemoryVoteStorage::queueWebhookEvent(WebhookEvent event, std::size_t maxPerChannel,
                                                 std::int64_t nowUnix)
{
    WebhookQueue& queue = m_webhookQueues[event.channelId];
    std::deque<WebhookEvent>& events = queue.events;
    if (events.empty())
        queue.headFreeAtUnix = nowUnix;
    if (event.replaceable && events.size() > 1 && events.back().replaceable &&
        events.back().subChannelId == event.subChannelId) {
        events.back().body = std::move(event.body);
        return 0;
    }
    std::size_t dropped = 0;
    if (events.size() >= std::max<std::size_t>(maxPerChannel, 2)) {
        events.erase(events.begin() + 1);
        dropped = 1;
    }
    event.id = ++m_lastWebhookEventId;
    event.attempts = 0;
    events.push_back(std::move(event));
    return dropped;
}

std::optional<WebhookEvent> MemoryVoteStorage::claimWebhookEvent(std::int64_t nowUnix,
                                                                 std::int64_t leaseSeconds)
{
    for (auto& [channelId, queue] : m_webhookQueues) {
        if (queue.events.empty() || queue.headFreeAtUnix > nowUnix)
            continue;
        queue.headFreeAtUnix = nowUnix + leaseSeconds;
        return queue.events.front();
    }
    return std::nullopt;
}

bool MemoryVoteStorage::finishWebhookEvent(const WebhookEvent& event)
{
    const auto it = m_webhookQueues.find(event.channelId);
    if (it == m_webhookQueues.end() || it->second.events.empty() || it->second.events.front().id != event.id)
        return false;
    it->second.events.pop_front();
    it->second.headFreeAtUnix = 0;
    if (it->second.events.empty())
        m_webhookQueues.erase(it);
    return true;
}

void MemoryVoteStorage::retryWebhookEvent(const WebhookEvent& event, std::int64_t dueAtUnix)
{
    const auto it = m_webhookQueues.find(event.channelId);
    if (it == m_webhookQueues.end() || it->second.events.empty() || it->second.events.front().id != event.id)
        return;
    ++it->second.events.front().attempts;
    it->second.headFreeAtUnix = dueAtUnix;
}

std::size_t MemoryVoteStorage::webhookQueueLength(std::uint32_t channelId) const
{
    const auto it = m_webhookQueues.find(channelId);
    return it == m_webhookQueues.end() ? 0 : it->second.events.size();
}

void MemoryVoteStorage::saveSchedule(const VoteSchedule& schedule)
{
    m_schedules[schedule.place][schedule.voteId] = schedule;
}

bool MemoryVoteStorage::removeSchedule(const SubChannelKey& place, std::uint32_t voteId)
{
    const auto sub = m_schedules.find(place);
    if (sub == m_schedules.end() || sub->second.erase(voteId) == 0)
        return false;
    if (sub->second.empty())
        m_schedules.erase(sub);
    return true;
}

std::vector<VoteSchedule> MemoryVoteStorage::schedules(const SubChannelKey& place) const
{
    std::vector<VoteSchedule> found;
    if (const auto sub = m_schedules.find(place); sub != m_schedules.end()) {
        for (const auto& [voteId, schedule] : sub->second)
            found.push_back(schedule);
    }
    return found;
}

std::vector<VoteSchedule> MemoryVoteStorage::dueSchedules(std::int64_t nowUnix, std::size_t limit) const
{
    std::vector<VoteSchedule> due;
    for (const auto& [place, entries] : m_schedules) {
        for (const auto& [voteId, schedule] : entries) {
            if (due.size() == limit)
                return due;
            if (!schedule.missed && schedule.atUnix <= nowUnix)
                due.push_back(schedule);
        }
    }
    return due;
}

bool MemoryVoteStorage::claimSchedule(const VoteSchedule& schedule)
{
    const auto sub = m_schedules.find(schedule.place);
    if (sub == m_schedules.end())
        return false;
    const auto it = sub->second.find(schedule.voteId);
    if (it == sub->second.end() || it->second.missed || it->second.atUnix != schedule.atUnix)
        return false;
    removeSchedule(schedule.place, schedule.voteId);
    return true;
}

} // namespace quorix::service
