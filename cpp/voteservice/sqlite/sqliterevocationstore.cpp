#include "voteservice/sqlite/sqliterevocationstore.h"

#include "voteservice/sqlite/sqlitevotestorage.h"
#include "voteservice/sqlite/votedatabaseschema.h"

#include <sqlite3.h>

#include <fcntl.h>
#include <unistd.h>

namespace quorix::service {

namespace {

constexpr int kBusyTimeoutMs = 5000;

// The statement's rows through `row`; false when it cannot be prepared or stepped.
template <class Row> bool run(sqlite3* db, const char* sql, const std::vector<std::int64_t>& values, Row row)
{
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr) != SQLITE_OK) {
        sqlite3_finalize(stmt);
        return false;
    }
    for (std::size_t i = 0; i < values.size(); ++i)
        sqlite3_bind_int64(stmt, int(i + 1), values[i]);
    int rc = SQLITE_ROW;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW)
        row(stmt);
    sqlite3_finalize(stmt);
    return rc == SQLITE_DONE;
}

bool execute(sqlite3* db, const char* sql)
{
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

// A file of the current version (the running service made it so) is used as it is: opening then
// takes no write lock, which the service may hold for a moment.
bool isCurrent(sqlite3* db)
{
    std::int64_t version = 0;
    return run(db, "PRAGMA user_version", {},
               [&](sqlite3_stmt* stmt) { version = sqlite3_column_int64(stmt, 0); }) &&
           version == VoteDatabaseSchema::kVersion;
}

} // namespace

std::unique_ptr<SqliteRevocationStore> SqliteRevocationStore::open(const std::string& databasePath,
                                                                   std::string& error)
{
    // As the storage creates it: readable by the owner only.
    const int descriptor = ::open(databasePath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (descriptor >= 0)
        ::close(descriptor);
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(databasePath.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr) !=
        SQLITE_OK) {
        error = "cannot open " + databasePath + ": " + (db ? sqlite3_errmsg(db) : "out of memory");
        sqlite3_close(db);
        return nullptr;
    }
    std::unique_ptr<SqliteRevocationStore> store(new SqliteRevocationStore(db));
    try {
        sqlite3_busy_timeout(db, kBusyTimeoutMs);
        VoteDatabaseSchema::check(db, databasePath);
        if (!isCurrent(db)) {
            if (!execute(db, "PRAGMA journal_mode=WAL"))
                throw SqliteVoteStorage::Error(std::string("database error: ") + sqlite3_errmsg(db));
            VoteDatabaseSchema::install(db);
        }
    } catch (const SqliteVoteStorage::Error& e) {
        const std::string what = e.what();
        error = what.rfind(databasePath, 0) == 0 ? what : databasePath + ": " + what;
        return nullptr;
    }
    return store;
}

SqliteRevocationStore::~SqliteRevocationStore()
{
    sqlite3_close(m_db);
}

bool SqliteRevocationStore::revoke(const Revocation& revocation)
{
    // A later time replaces an earlier one of the same user, never the other way round.
    return run(m_db,
               "INSERT INTO revocations (channel, uid, issued_before, expires_at) VALUES (?1, ?2, ?3, ?4) "
               "ON CONFLICT (channel, uid) DO UPDATE SET issued_before = excluded.issued_before, "
               "expires_at = excluded.expires_at WHERE excluded.issued_before > revocations.issued_before",
               {revocation.channelId, revocation.uid, revocation.issuedBefore, revocation.expiresAt},
               [](sqlite3_stmt*) {});
}

std::vector<Revocation> SqliteRevocationStore::current(std::int64_t nowUnix)
{
    // Forgetting the expired ones is a tidy-up: a failure (the file busy) leaves them to the next time.
    run(m_db, "DELETE FROM revocations WHERE expires_at < ?1", {nowUnix}, [](sqlite3_stmt*) {});
    std::vector<Revocation> revocations;
    const bool read =
        run(m_db, "SELECT channel, uid, issued_before, expires_at FROM revocations WHERE expires_at >= ?1",
            {nowUnix}, [&](sqlite3_stmt* stmt) {
                revocations.push_back({std::uint32_t(sqlite3_column_int64(stmt, 0)),
                                       std::uint32_t(sqlite3_column_int64(stmt, 1)),
                                       sqlite3_column_int64(stmt, 2), sqlite3_column_int64(stmt, 3)});
            });
    return read ? revocations : std::vector<Revocation>();
}

} // namespace quorix::service
