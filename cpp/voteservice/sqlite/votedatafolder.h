#pragma once

// The folder a durable vote service keeps its files in: created readable by its owner only (0700),
// locked for this process (DataFolderLock), its database votes.db opened (files 0600). Used by
// quorix-voted and by the host's embedded service, so both obey the same lock.

#include "voteservice/sqlite/sqlitevotestorage.h"

#include <memory>
#include <string>
#include <vector>

namespace quorix::service {

struct VoteDataFolder
{
    std::string databasePath;
    // Null when the folder cannot be used; error says why.
    std::unique_ptr<SqliteVoteStorage> storage;
    std::string error;
    // The folder is used, but the operator should hear of these.
    std::vector<std::string> warnings;

    static VoteDataFolder open(const std::string& folder);
};

} // namespace quorix::service
