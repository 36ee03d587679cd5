#include "voteservice/sqlite/votedatabaseschema.h"

#include "voteservice/sqlite/sqlitevotestorage.h"

#include <sqlite3.h>

#include <algorithm>
#include <functional>
#include <vector>

namespace quorix::service {

namespace {

const char* const kTablesSql = R"sql(
CREATE TABLE IF NOT EXISTS counters (name TEXT PRIMARY KEY, value INTEGER NOT NULL);
CREATE TABLE IF NOT EXISTS votes (
  channel INTEGER NOT NULL, sub INTEGER NOT NULL, vote_id INTEGER NOT NULL, record BLOB NOT NULL,
  PRIMARY KEY (channel, sub, vote_id));
CREATE TABLE IF NOT EXISTS history (
  record_key INTEGER PRIMARY KEY, channel INTEGER NOT NULL, sub INTEGER NOT NULL,
  ended_at INTEGER NOT NULL, record BLOB NOT NULL);
CREATE INDEX IF NOT EXISTS history_place ON history (channel, sub, ended_at);
CREATE TABLE IF NOT EXISTS history_started (
  record_key INTEGER PRIMARY KEY, started_at INTEGER NOT NULL);
CREATE TABLE IF NOT EXISTS directory (imid INTEGER PRIMARY KEY, uid INTEGER NOT NULL, nick TEXT NOT NULL);
CREATE TABLE IF NOT EXISTS open_votes (
  channel INTEGER NOT NULL, sub INTEGER NOT NULL, ji_fang_id INTEGER NOT NULL,
  started_at INTEGER NOT NULL, starter_nick TEXT NOT NULL, running INTEGER NOT NULL,
  record BLOB NOT NULL, PRIMARY KEY (channel, sub));
CREATE TABLE IF NOT EXISTS ballots (
  channel INTEGER NOT NULL, sub INTEGER NOT NULL, uid INTEGER NOT NULL,
  option_id INTEGER NOT NULL, tickets INTEGER NOT NULL);
CREATE INDEX IF NOT EXISTS ballots_place ON ballots (channel, sub);
CREATE TABLE IF NOT EXISTS schedules (
  channel INTEGER NOT NULL, sub INTEGER NOT NULL, vote_id INTEGER NOT NULL, start_at INTEGER NOT NULL,
  starter_uid INTEGER NOT NULL, starter_nick TEXT NOT NULL, missed INTEGER NOT NULL,
  PRIMARY KEY (channel, sub, vote_id));
CREATE INDEX IF NOT EXISTS schedules_due ON schedules (missed, start_at);
CREATE TABLE IF NOT EXISTS revocations (
  channel INTEGER NOT NULL, uid INTEGER NOT NULL, issued_before INTEGER NOT NULL,
  expires_at INTEGER NOT NULL, PRIMARY KEY (channel, uid));
CREATE TABLE IF NOT EXISTS webhooks (
  channel INTEGER PRIMARY KEY, url TEXT NOT NULL, secret TEXT NOT NULL, progress INTEGER NOT NULL);
CREATE TABLE IF NOT EXISTS webhook_events (
  id INTEGER PRIMARY KEY AUTOINCREMENT, channel INTEGER NOT NULL, created_at INTEGER NOT NULL,
  attempts INTEGER NOT NULL, replaceable INTEGER NOT NULL, body TEXT NOT NULL);
CREATE INDEX IF NOT EXISTS webhook_events_channel ON webhook_events (channel, id);
CREATE TABLE IF NOT EXISTS webhook_heads (channel INTEGER PRIMARY KEY, free_at INTEGER NOT NULL);
)sql";

struct TableLayout
{
    const char* name;
    std::vector<std::string> columns;
};

// The columns of each table as kTablesSql creates them, in order.
const std::vector<TableLayout>& ownTables()
{
    static const std::vector<TableLayout> tables = {
        {"counters", {"name", "value"}},
        {"votes", {"channel", "sub", "vote_id", "record"}},
        {"history", {"record_key", "channel", "sub", "ended_at", "record"}},
        {"history_started", {"record_key", "started_at"}},
        {"directory", {"imid", "uid", "nick"}},
        {"open_votes", {"channel", "sub", "ji_fang_id", "started_at", "starter_nick", "running", "record"}},
        {"ballots", {"channel", "sub", "uid", "option_id", "tickets"}},
        {"revocations", {"channel", "uid", "issued_before", "expires_at"}},
        {"webhooks", {"channel", "url", "secret", "progress"}},
        {"webhook_events", {"id", "channel", "created_at", "attempts", "replaceable", "body"}},
        {"webhook_heads", {"channel", "free_at"}},
        {"schedules", {"channel", "sub", "vote_id", "start_at", "starter_uid", "starter_nick", "missed"}},
    };
    return tables;
}

// Runs a query with one optional text parameter and hands each row's first column on.
void query(sqlite3* db, const char* sql, const std::string& parameter,
           const std::function<void(sqlite3_stmt*)>& row)
{
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr) != SQLITE_OK) {
        const std::string message = sqlite3_errmsg(db);
        sqlite3_finalize(stmt);
        throw SqliteVoteStorage::Error("database error: " + message);
    }
    if (!parameter.empty())
        sqlite3_bind_text(stmt, 1, parameter.data(), int(parameter.size()), SQLITE_TRANSIENT);
    int rc = SQLITE_ROW;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW)
        row(stmt);
    const std::string message = sqlite3_errmsg(db);
    sqlite3_finalize(stmt);
    if (rc != SQLITE_DONE)
        throw SqliteVoteStorage::Error("database error: " + message);
}

std::string columnText(sqlite3_stmt* stmt)
{
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
    return text ? std::string(text, std::size_t(sqlite3_column_bytes(stmt, 0))) : std::string();
}

std::string joined(const std::vector<std::string>& names)
{
    std::string text;
    for (const std::string& name : names)
        text += (text.empty() ? "" : ", ") + name;
    return text;
}

void checkTable(sqlite3* db, const std::string& path, const std::string& table)
{
    const auto& tables = ownTables();
    const auto own = std::find_if(tables.begin(), tables.end(),
                                  [&](const TableLayout& layout) { return table == layout.name; });
    if (own == tables.end())
        throw SqliteVoteStorage::Error(path + " is not a vote database: it has a table " + table +
                                       " this service does not know");
    std::vector<std::string> columns;
    query(db, "SELECT name FROM pragma_table_info(?1)", table,
          [&](sqlite3_stmt* stmt) { columns.push_back(columnText(stmt)); });
    if (columns != own->columns)
        throw SqliteVoteStorage::Error(path + " is not a vote database: its table " + table +
                                       " has columns (" + joined(columns) + "), this service's has (" +
                                       joined(own->columns) + ")");
}

} // namespace

void VoteDatabaseSchema::check(sqlite3* db, const std::string& path)
{
    std::int64_t version = 0;
    query(db, "PRAGMA user_version", {},
          [&](sqlite3_stmt* stmt) { version = sqlite3_column_int64(stmt, 0); });
    if (version > kVersion)
        throw SqliteVoteStorage::Error(path + " has schema version " + std::to_string(version) +
                                       "; this service knows up to " + std::to_string(kVersion));
    if (version < 0)
        throw SqliteVoteStorage::Error(path + " has an unknown schema version " + std::to_string(version));
    std::vector<std::string> tables;
    query(db,
          "SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE 'sqlite\\_%' ESCAPE '\\'",
          {}, [&](sqlite3_stmt* stmt) { tables.push_back(columnText(stmt)); });
    for (const std::string& table : tables)
        checkTable(db, path, table);
}

std::optional<int> VoteDatabaseSchema::olderVersion(sqlite3* db)
{
    std::int64_t version = 0;
    std::int64_t tables = 0;
    query(db, "PRAGMA user_version", {},
          [&](sqlite3_stmt* stmt) { version = sqlite3_column_int64(stmt, 0); });
    query(db, "SELECT count(*) FROM sqlite_master WHERE type = 'table'", {},
          [&](sqlite3_stmt* stmt) { tables = sqlite3_column_int64(stmt, 0); });
    if (tables == 0 || version >= kVersion)
        return std::nullopt;
    return int(version);
}

void VoteDatabaseSchema::install(sqlite3* db)
{
    const std::string sql = std::string("BEGIN IMMEDIATE;") + kTablesSql +
                            "PRAGMA user_version=" + std::to_string(kVersion) + ";COMMIT;";
    char* message = nullptr;
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
        const std::string text = message ? message : "unknown error";
        sqlite3_free(message);
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        throw SqliteVoteStorage::Error("database error: " + text);
    }
}

} // namespace quorix::service
