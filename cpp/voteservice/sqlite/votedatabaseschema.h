#pragma once

// The layout of the vote database and its version (PRAGMA user_version). A file is used only when
// every table in it is one of the service's own with exactly its columns, and its version is one
// this build knows; anything else was written by another program or a newer service and is
// refused before anything in it changes. A database of the service's own from before the version
// was kept (version 0, the service's tables) is stamped with the current version as it is.
// Version 2 added history_started, when each history entry's vote started (version 1's entries
// have none and keep their stored time text); install adds it to an older file. Version 3 added
// revocations (of a user's tokens issued before a time), likewise added to an older file. Version 4
// added schedules (the scheduled starts of stored votes), the webhooks, their event queue and its
// heads, likewise.

#include <optional>
#include <string>

struct sqlite3;

namespace quorix::service {

class VoteDatabaseSchema
{
public:
    static constexpr int kVersion = 4;

    // Throws SqliteVoteStorage::Error naming `path` and what is wrong when the file is not usable.
    // Reads only.
    static void check(sqlite3* db, const std::string& path);
    // The version of a file that install() would migrate: one holding tables at an older version.
    // nullopt for a new, empty file and for a file of the current version.
    static std::optional<int> olderVersion(sqlite3* db);
    // Creates the missing tables and indexes and stamps the current version, in one transaction.
    static void install(sqlite3* db);
};

} // namespace quorix::service
