#pragma once

#include "voteservice/core/votestorage.h"

#include <cstddef>
#include <memory>
#include <stdexcept>
#include <string>

struct sqlite3;
struct sqlite3_stmt;

namespace quorix::service {

class DataFolderLock;

// Storage in one SQLite database file (WAL journal, full sync on commit). Writes go into an open
// transaction that commit() makes durable, so many writes share one sync (group commit); reads see
// the uncommitted writes. Records are kept in the service's own wire encoding. A query that fails
// (a damaged page) throws StorageUnavailable, which refuses one request; a failed write throws Error.
// After a failed write or commit the storage has failed: the open transaction is rolled back and
// every later commit() returns false, so no partly written request ever reaches the disk.
class SqliteVoteStorage : public VoteStorage
{
public:
    class Error : public std::runtime_error
    {
    public:
        using std::runtime_error::runtime_error;
    };

    // Opens or creates the database (a new file gets mode 0600); throws Error when it cannot be
    // opened or is not ours (VoteDatabaseSchema). A file of an older schema version is first copied
    // to PATH.vN.bak (N its version, DatabaseBackup) and then migrated.
    explicit SqliteVoteStorage(const std::string& path, std::size_t maxDirectoryEntries = 200000);
    ~SqliteVoteStorage() override;
    SqliteVoteStorage(const SqliteVoteStorage&) = delete;
    SqliteVoteStorage& operator=(const SqliteVoteStorage&) = delete;

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

    void saveSchedule(const VoteSchedule& schedule) override;
    bool removeSchedule(const SubChannelKey& place, std::uint32_t voteId) override;
    std::vector<VoteSchedule> schedules(const SubChannelKey& place) const override;
    std::vector<VoteSchedule> dueSchedules(std::int64_t nowUnix, std::size_t limit) const override;
    bool claimSchedule(const VoteSchedule& schedule) override;

    void saveOpenVote(const OpenVoteState& state) override;
    void addBallot(const SubChannelKey& place, const Ballot& ballot) override;
    void markOpenVoteEnded(const SubChannelKey& place) override;
    void removeOpenVote(const SubChannelKey& place) override;
    std::vector<OpenVoteState> openVotes() const override;

    void setWebhook(std::uint32_t channelId, const WebhookConfig& config) override;
    std::optional<WebhookConfig> findWebhook(std::uint32_t channelId) const override;
    bool removeWebhook(std::uint32_t channelId) override;
    std::size_t queueWebhookEvent(WebhookEvent event, std::size_t maxPerChannel,
                                  std::int64_t nowUnix) override;
    std::optional<WebhookEvent> claimWebhookEvent(std::int64_t nowUnix, std::int64_t leaseSeconds) override;
    bool finishWebhookEvent(const WebhookEvent& event) override;
    void retryWebhookEvent(const WebhookEvent& event, std::int64_t dueAtUnix) override;
    std::size_t webhookQueueLength(std::uint32_t channelId) const override;

    bool commit() override;
    bool buffersWrites() const override { return true; }
    // Reads the first row of the votes table; false after a failed write or a failed read.
    bool answers(std::string& reason) override;

    // The copy kept before this open migrated the file's schema; empty when it migrated nothing.
    const std::string& migrationCopy() const { return m_migrationCopy; }

    // Holds the data folder's lock until the database is closed.
    void keepFolderLock(std::unique_ptr<DataFolderLock> lock);

private:
    class Statement;

    void exec(const char* sql);
    void beginWrite();
    Statement& statement(const char* sql) const;
    std::uint32_t nextCounter(const char* name);
    // The id of the channel's head event; 0 when its queue is empty.
    std::int64_t webhookHead(std::uint32_t channelId) const;
    std::vector<VoteSchedule> readSchedules(Statement& select) const;

    // First, so that it is released last, after the database is closed.
    std::unique_ptr<DataFolderLock> m_folderLock;
    sqlite3* m_db = nullptr;
    std::size_t m_maxDirectoryEntries;
    bool m_inTransaction = false;
    mutable bool m_writeFailed = false; // set through the statements, which const queries share
    std::size_t m_directorySize = 0;
    std::string m_migrationCopy;
    mutable std::vector<std::pair<const char*, std::unique_ptr<Statement>>> m_statements;
};

} // namespace quorix::service
