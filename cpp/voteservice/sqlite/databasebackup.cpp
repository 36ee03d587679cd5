#include "voteservice/sqlite/databasebackup.h"

#include "voteservice/sqlite/sqlitevotestorage.h"
#include "voteservice/sqlite/votedatabaseschema.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>
#include <vector>

namespace quorix::service {

namespace {

using Error = SqliteVoteStorage::Error;

// A source busy with a checkpoint or a write lock is asked again this many times, 20 ms apart.
constexpr int kBusyRetries = 500;

// The file the copy is written to, removed with its journal unless it was renamed to the target.
class PartialCopy
{
public:
    explicit PartialCopy(const std::string& outPath) : m_path(outPath + ".partial-XXXXXX")
    {
        // mkstemp creates it 0600, under a name nobody else has.
        const int descriptor = ::mkstemp(m_path.data());
        if (descriptor < 0)
            throw Error("cannot create a file beside " + outPath + ": " + std::strerror(errno));
        ::close(descriptor);
    }
    ~PartialCopy()
    {
        if (m_renamed)
            return;
        for (const char* suffix : {"", "-journal", "-wal", "-shm"})
            std::remove((m_path + suffix).c_str());
    }
    PartialCopy(const PartialCopy&) = delete;
    PartialCopy& operator=(const PartialCopy&) = delete;

    const std::string& path() const { return m_path; }
    // Makes the file durable and gives it the target's name.
    void commitAs(const std::string& outPath)
    {
        syncPath(m_path, O_RDONLY);
        if (std::rename(m_path.c_str(), outPath.c_str()) != 0)
            throw Error("cannot rename the copy to " + outPath + ": " + std::strerror(errno));
        m_renamed = true;
        const std::filesystem::path folder = std::filesystem::path(outPath).parent_path();
        syncPath(folder.empty() ? "." : folder.string(), O_RDONLY | O_DIRECTORY);
    }

private:
    static void syncPath(const std::string& path, int flags)
    {
        const int descriptor = ::open(path.c_str(), flags | O_CLOEXEC);
        const bool synced = descriptor >= 0 && ::fsync(descriptor) == 0;
        const int reason = errno;
        if (descriptor >= 0)
            ::close(descriptor);
        if (!synced)
            throw Error("cannot sync " + path + ": " + std::strerror(reason));
    }

    std::string m_path;
    bool m_renamed = false;
};

class Connection
{
public:
    Connection(const std::string& path, int flags)
    {
        if (sqlite3_open_v2(path.c_str(), &m_db, flags, nullptr) != SQLITE_OK) {
            const std::string message = m_db ? sqlite3_errmsg(m_db) : "out of memory";
            sqlite3_close(m_db);
            throw Error("cannot open " + path + ": " + message);
        }
        sqlite3_busy_timeout(m_db, 5000);
    }
    ~Connection() { close(); }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    sqlite3* get() const { return m_db; }
    void close()
    {
        sqlite3_close(m_db);
        m_db = nullptr;
    }

private:
    sqlite3* m_db = nullptr;
};

int copyPages(sqlite3* source, sqlite3* target)
{
    sqlite3_backup* backup = sqlite3_backup_init(target, "main", source, "main");
    if (backup == nullptr)
        throw Error(std::string("cannot start the backup: ") + sqlite3_errmsg(target));
    int rc = SQLITE_OK;
    for (int attempt = 0; attempt <= kBusyRetries; ++attempt) {
        // Every page in one step: one read transaction, one consistent state.
        rc = sqlite3_backup_step(backup, -1);
        if (rc != SQLITE_BUSY && rc != SQLITE_LOCKED)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    const int pages = sqlite3_backup_pagecount(backup);
    sqlite3_backup_finish(backup);
    if (rc != SQLITE_DONE)
        throw Error(std::string("backup failed: ") + sqlite3_errstr(rc));
    return pages;
}

void checkIntegrity(sqlite3* db, const std::string& path)
{
    std::vector<std::string> rows;
    const int rc = sqlite3_exec(
        db, "PRAGMA integrity_check",
        [](void* out, int, char** values, char**) {
            static_cast<std::vector<std::string>*>(out)->push_back(values[0] ? values[0] : "");
            return 0;
        },
        &rows, nullptr);
    if (rc != SQLITE_OK)
        throw Error("cannot check the copy " + path + ": " + sqlite3_errmsg(db));
    if (rows != std::vector<std::string>{"ok"})
        throw Error("the copy fails PRAGMA integrity_check: " + (rows.empty() ? "no answer" : rows.front()));
}

bool sameFile(const std::string& a, const std::string& b)
{
    std::error_code ec;
    return std::filesystem::equivalent(a, b, ec);
}

} // namespace

int DatabaseBackup::copy(sqlite3* source, const std::string& outPath)
{
    const char* sourcePath = sqlite3_db_filename(source, "main");
    if (sourcePath != nullptr && sameFile(sourcePath, outPath))
        throw Error("the copy cannot replace its own database " + outPath);
    PartialCopy partial(outPath);
    Connection target(partial.path(), SQLITE_OPEN_READWRITE);
    const int pages = copyPages(source, target.get());
    checkIntegrity(target.get(), partial.path());
    target.close();
    partial.commitAs(outPath);
    return pages;
}

int DatabaseBackup::copyDataFolder(const std::string& folder, const std::string& outPath)
{
    const std::string path = (std::filesystem::path(folder) / "votes.db").string();
    if (::access(path.c_str(), F_OK) != 0)
        throw Error("no vote database at " + path + ": " + std::strerror(errno));
    // Without SQLITE_OPEN_CREATE: a mistyped folder is an error, not a new empty database.
    Connection source(path, SQLITE_OPEN_READWRITE);
    VoteDatabaseSchema::check(source.get(), path);
    return copy(source.get(), outPath);
}

} // namespace quorix::service
