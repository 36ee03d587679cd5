#pragma once

// What the service keeps between requests: the stored votes of every sub-channel, the history of
// ended votes and the directory of users seen (for the nickname query). The running state of a
// vote (counts, who spent what) lives in the core; a vote's result reaches storage as history.

#include "sessionidentity.h"
#include "voterecords.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quorix::service {

struct DirectoryEntry
{
    std::uint32_t uid = 0;
    std::string nick;
};

struct HistoryEntry
{
    std::int64_t endedAtUnix = 0;
    VoteHistoryRecord record;
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

    // Adds an ended vote; its record key is assigned here (increasing) and returned.
    virtual std::uint32_t addHistory(const SubChannelKey& place, HistoryEntry entry) = 0;
    // Entries that ended at or after sinceUnix, newest first.
    virtual std::vector<HistoryEntry> history(const SubChannelKey& place, std::int64_t sinceUnix) const = 0;
    // Forgets entries that ended before the given time.
    virtual void pruneHistory(std::int64_t beforeUnix) = 0;

    virtual void recordUser(std::uint32_t imid, const DirectoryEntry& entry) = 0;
    virtual std::optional<DirectoryEntry> findUser(std::uint32_t imid) const = 0;
};

} // namespace quorix::service
