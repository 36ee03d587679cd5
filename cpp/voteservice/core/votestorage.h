#pragma once

// What the service keeps between requests: the stored votes of every sub-channel, the history of
// ended votes and the directory of users seen (for the nickname query). The core keeps the live
// state of an open vote; a durable storage also journals it (start, every accepted ballot, end,
// close) so that a restarted service resumes it. Writes may be buffered until commit().

#include "voteservice/core/sessionidentity.h"
#include <quorix/protocol/voterecords.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace quorix::service {

struct DirectoryEntry
{
    std::uint32_t uid = 0;
    std::string nick;
    // When the user was last seen (Unix seconds); a store may forget users unseen for the history
    // window. 0 when not known.
    std::int64_t seenAtUnix = 0;
};

struct HistoryEntry
{
    std::int64_t endedAtUnix = 0;
    // When the vote started; its record's timeText is written from it in the zone of the answer.
    // 0 for an entry stored without it, whose stored timeText stands.
    std::int64_t startedAtUnix = 0;
    VoteHistoryRecord record;
};

// One accepted user vote: a ticket on an option, or a judge's points (option 0).
struct Ballot
{
    std::uint32_t uid = 0;
    std::uint32_t optionId = 0;
    std::uint32_t tickets = 0;
};

// An open vote as journalled: the record as started (ownerUid set, no counts) and its ballots.
struct OpenVoteState
{
    SubChannelKey place;
    VoteInfo record;
    std::uint32_t jiFangId = 0;
    std::int64_t startedAtUnix = 0;
    std::string starterNick;
    bool running = true;
    std::vector<Ballot> ballots;
};

// A channel's webhook: where its vote events are POSTed and the secret that signs them.
struct WebhookConfig
{
    std::string url;
    std::string secret;
    bool progress = false; // also vote.progress events
};

// One vote event waiting in a channel's webhook queue, oldest first. Only the head of a channel's
// queue is ever delivered, so the channel's events arrive in order.
struct WebhookEvent
{
    std::uint64_t id = 0; // assigned by queueWebhookEvent, increasing
    std::uint32_t channelId = 0;
    std::string body;
    std::int64_t createdAtUnix = 0;
    std::uint32_t attempts = 0; // failed deliveries so far
    // A progress event: a later replaceable event of the same sub-channel takes its place while it
    // waits at the tail. The sub-channel is the one its body names ("subChannelId").
    bool replaceable = false;
    std::uint32_t subChannelId = 0;
};

// A stored vote to be started at a given second by the manager who scheduled it. Pending until
// a process claims it at that second; a start refused then (another vote open) leaves it missed,
// shown in the vote list until the manager cancels it or schedules the vote again.
struct VoteSchedule
{
    SubChannelKey place;
    std::uint32_t voteId = 0;
    std::int64_t atUnix = 0;
    std::uint32_t starterUid = 0;
    std::string starterNick;
    bool missed = false;
};

// Thrown by a storage that lives elsewhere when it cannot be reached; the request in hand is then
// refused, and the service carries on.
class StorageUnavailable : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

class VoteStorage
{
public:
    virtual ~VoteStorage() = default;

    // Stores a new vote and returns its fresh non-zero id (also written into the stored record).
    virtual std::uint32_t addVote(const SubChannelKey& place, VoteInfo vote) = 0;
    virtual std::optional<VoteInfo> findVote(const SubChannelKey& place, std::uint32_t voteId) const = 0;
    // Replaces the vote with vote.voteId; false when there is none.
    virtual bool replaceVote(const SubChannelKey& place, const VoteInfo& vote) = 0;
    virtual bool removeVote(const SubChannelKey& place, std::uint32_t voteId) = 0;
    // The votes of a sub-channel in the order they were created.
    virtual VoteList votes(const SubChannelKey& place) const = 0;
    // Votes stored in all sub-channels of one channel, and in the whole storage. Asked before every
    // create, so each answers without reading the records.
    virtual std::size_t channelVoteCount(std::uint32_t channelId) const = 0;
    virtual std::size_t totalVoteCount() const = 0;

    // Adds an ended vote; its record key is assigned here (increasing) and returned.
    virtual std::uint32_t addHistory(const SubChannelKey& place, HistoryEntry entry) = 0;
    // Entries that ended at or after sinceUnix, newest first.
    virtual std::vector<HistoryEntry> history(const SubChannelKey& place, std::int64_t sinceUnix) const = 0;
    // Forgets entries that ended before the given time.
    virtual void pruneHistory(std::int64_t beforeUnix) = 0;

    virtual void recordUser(std::uint32_t imid, const DirectoryEntry& entry) = 0;
    virtual std::optional<DirectoryEntry> findUser(std::uint32_t imid) const = 0;

    // Scheduled starts, at most one per stored vote. saveSchedule replaces the vote's entry.
    virtual void saveSchedule(const VoteSchedule& schedule) = 0;
    // False when the vote had none.
    virtual bool removeSchedule(const SubChannelKey& place, std::uint32_t voteId) = 0;
    // The place's entries, pending and missed, by vote id.
    virtual std::vector<VoteSchedule> schedules(const SubChannelKey& place) const = 0;
    // Pending entries of every place due at nowUnix, at most `limit` of them.
    virtual std::vector<VoteSchedule> dueSchedules(std::int64_t nowUnix, std::size_t limit) const = 0;
    // Takes a pending entry for its start: true for exactly one caller over every process sharing
    // the storage, and only while the entry is still the one scheduled at schedule.atUnix. The
    // entry is gone after a true answer until the caller saves it back as missed.
    virtual bool claimSchedule(const VoteSchedule& schedule) = 0;

    // The open-vote journal. A storage that forgets everything at exit keeps none of it.
    virtual void saveOpenVote(const OpenVoteState& /*state*/) {}
    virtual void addBallot(const SubChannelKey& /*place*/, const Ballot& /*ballot*/) {}
    virtual void markOpenVoteEnded(const SubChannelKey& /*place*/) {}
    virtual void removeOpenVote(const SubChannelKey& /*place*/) {}
    virtual std::vector<OpenVoteState> openVotes() const { return {}; }

    // The channels' webhooks, written and read as the API changes them.
    virtual void setWebhook(std::uint32_t channelId, const WebhookConfig& config) = 0;
    virtual std::optional<WebhookConfig> findWebhook(std::uint32_t channelId) const = 0;
    virtual bool removeWebhook(std::uint32_t channelId) = 0;
    // The webhook queue, shared by every process of a shared storage. Its only user is the webhook
    // sender, on a storage handle of its own, which commits after each change. queueWebhookEvent appends the
    // event (a replaceable event replaces a replaceable tail of its sub-channel that is not the head:
    // the latest counts of every sub-channel stay queued); a queue holding
    // maxPerChannel events first drops the oldest event after the head (the head may be in flight).
    // Returns the events dropped (0 or 1).
    virtual std::size_t queueWebhookEvent(WebhookEvent event, std::size_t maxPerChannel,
                                          std::int64_t nowUnix) = 0;
    // Takes the head of one channel whose head is due (not claimed, its retry time reached) and
    // claims it until nowUnix + leaseSeconds: no other caller gets that channel's head until it is
    // finished, retried or the claim runs out.
    virtual std::optional<WebhookEvent> claimWebhookEvent(std::int64_t nowUnix,
                                                          std::int64_t leaseSeconds) = 0;
    // Removes the claimed head (delivered or given up); false when it is no longer the head.
    virtual bool finishWebhookEvent(const WebhookEvent& event) = 0;
    // Counts a failed attempt on the head and makes it due again at dueAtUnix.
    virtual void retryWebhookEvent(const WebhookEvent& event, std::int64_t dueAtUnix) = 0;
    virtual std::size_t webhookQueueLength(std::uint32_t channelId) const = 0;

    // Makes every write so far durable; false when that failed. Answers that report a write must
    // not leave before it returned true.
    virtual bool commit() { return true; }
    // A cheap check that the storage can be read now; false with a reason when it cannot.
    virtual bool answers(std::string& /*reason*/) { return true; }
    // True when writes wait for commit(), so a transport holds answers until then.
    virtual bool buffersWrites() const { return false; }
};

} // namespace quorix::service
