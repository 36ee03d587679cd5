#pragma once

// Revocations in the `revocations` table of a data folder's votes.db, on a connection of its own:
// `quorix-voted revoke --data D` writes while the service that holds the folder runs (WAL lets
// both at the file; a writer waits for the other's transaction up to a busy timeout, and the
// folder's lock is not taken), and the service reads it once a second.

#include "voteservice/auth/revocationstore.h"

#include <memory>
#include <string>

struct sqlite3;

namespace quorix::service {

class SqliteRevocationStore : public RevocationStore
{
public:
    // Opens (or creates, mode 0600) the database and adds the table when it is missing; null with
    // a message naming the file when it cannot be opened or is not a vote database.
    static std::unique_ptr<SqliteRevocationStore> open(const std::string& databasePath, std::string& error);
    ~SqliteRevocationStore() override;
    SqliteRevocationStore(const SqliteRevocationStore&) = delete;
    SqliteRevocationStore& operator=(const SqliteRevocationStore&) = delete;

    bool revoke(const Revocation& revocation) override;
    // Empty also when the table cannot be read (the last good list is the caller's to keep).
    std::vector<Revocation> current(std::int64_t nowUnix) override;

private:
    explicit SqliteRevocationStore(sqlite3* db) : m_db(db) {}

    sqlite3* m_db;
};

} // namespace quorix::service
