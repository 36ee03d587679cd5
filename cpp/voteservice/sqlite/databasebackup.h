#pragma once

// A consistent copy of a vote database through SQLite's online backup API. The copy is read in one
// read transaction, so with the WAL journal the service that has the database open keeps writing
// and answering meanwhile. It is written to a new file beside the target, checked with
// PRAGMA integrity_check, synced and only then renamed to the target's name: the target never
// names half a copy.

#include <string>

struct sqlite3;

namespace quorix::service {

class DatabaseBackup
{
public:
    // Copies the main database of `source` to outPath and returns the pages copied. Throws
    // SqliteVoteStorage::Error with the reason; no file is left behind then.
    static int copy(sqlite3* source, const std::string& outPath);
    // The same for FOLDER/votes.db, opened without the folder's lock (a running service holds it)
    // and checked to be a vote database first.
    static int copyDataFolder(const std::string& folder, const std::string& outPath);
};

} // namespace quorix::service
