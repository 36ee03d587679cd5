// Which database files the SQLite storage uses: its own, of a version it knows. A file of another
// layout or a newer version is refused when opened, before anything in it changes, instead of
// failing at the first request that meets the difference.

#include "tests/support/servicetestsupport.h"
#include "voteservice/sqlite/sqliterevocationstore.h"
#include "voteservice/sqlite/sqlitevotestorage.h"
#include "voteservice/sqlite/votedatabaseschema.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdio>
#include <filesystem>

using namespace quorix;
using namespace quorix::service;
using namespace quorix::service::test;

namespace {

class VoteDatabaseSchemaTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        path = ::testing::TempDir() + "/quorix-schema-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".db";
        removeFiles();
    }
    void TearDown() override { removeFiles(); }
    void removeFiles()
    {
        for (const char* suffix : {"", "-wal", "-shm"})
            std::remove((path + suffix).c_str());
        for (int version = 0; version < VoteDatabaseSchema::kVersion; ++version)
            std::remove(copyOf(version).c_str());
    }
    std::string copyOf(int version) const { return path + ".v" + std::to_string(version) + ".bak"; }
    // Runs SQL on the file as another program would.
    void execute(const std::string& sql)
    {
        sqlite3* db = nullptr;
        ASSERT_EQ(SQLITE_OK, sqlite3_open(path.c_str(), &db));
        char* message = nullptr;
        EXPECT_EQ(SQLITE_OK, sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message)) << message;
        sqlite3_free(message);
        sqlite3_close(db);
    }
    // The first column of every row of a query, joined by spaces.
    std::string answer(const std::string& sql) { return answerOf(path, sql); }
    static std::string answerOf(const std::string& file, const std::string& sql)
    {
        sqlite3* db = nullptr;
        EXPECT_EQ(SQLITE_OK, sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr)) << file;
        std::string text;
        sqlite3_exec(
            db, sql.c_str(),
            [](void* out, int, char** values, char**) {
                *static_cast<std::string*>(out) += std::string(values[0] ? values[0] : "") + " ";
                return 0;
            },
            &text, nullptr);
        sqlite3_close(db);
        return text;
    }
    // Everything a refused open must leave as it was.
    std::string fingerprint()
    {
        return answer("PRAGMA user_version") + "| " + answer("PRAGMA journal_mode") + "| " +
               answer("SELECT sql FROM sqlite_master ORDER BY name");
    }

    std::string path;
};

TEST_F(VoteDatabaseSchemaTest, AFileOfAnotherLayoutOrANewerVersionIsRefusedAndLeftAsItWas)
{
    const struct
    {
        const char* name;
        bool ownFirst; // the storage made the file before the SQL ran
        const char* sql;
        const char* error;
    } rows[] = {
        {"another votes table", false, "CREATE TABLE votes(x)",
         " is not a vote database: its table votes has columns (x), this service's has (channel, sub, "
         "vote_id, record)"},
        {"another program's tables", false, "CREATE TABLE notes(id INTEGER, body TEXT)",
         " is not a vote database: it has a table notes this service does not know"},
        {"our version number on another layout", false, "CREATE TABLE votes(x); PRAGMA user_version=1",
         "its table votes has columns (x)"},
        {"an extra table in ours", true, "CREATE TABLE extra(a)", "it has a table extra"},
        {"a column added to ours", true, "ALTER TABLE ballots ADD COLUMN weight INTEGER",
         "its table ballots has columns (channel, sub, uid, option_id, tickets, weight)"},
        {"a newer version", true, "PRAGMA user_version=7",
         " has schema version 7; this service knows up to 4"},
        {"a negative version", false, "PRAGMA user_version=-2", " has an unknown schema version -2"},
    };
    for (const auto& row : rows) {
        removeFiles();
        if (row.ownFirst) {
            SqliteVoteStorage create(path);
        }
        execute(row.sql);
        const std::string before = fingerprint();
        try {
            SqliteVoteStorage storage(path);
            ADD_FAILURE() << row.name << ": opened";
        } catch (const SqliteVoteStorage::Error& e) {
            const std::string message = e.what();
            EXPECT_EQ(message.rfind(path, 0), 0u) << row.name << ": names the file: " << message;
            EXPECT_NE(message.find(row.error), std::string::npos) << row.name << ": " << message;
        }
        EXPECT_EQ(fingerprint(), before) << row.name;
    }
}

TEST_F(VoteDatabaseSchemaTest, AnOwnDatabaseFromBeforeTheVersionKeepsItsDataAndIsStamped)
{
    const SubChannelKey place{10, 20};
    std::uint32_t voteId = 0;
    {
        SqliteVoteStorage storage(path);
        voteId = storage.addVote(place, normalVote("kept", 2, 1, 1));
        storage.recordUser(90001, {1, "someone"});
        ASSERT_TRUE(storage.commit());
    }
    execute("PRAGMA user_version=0");

    SqliteVoteStorage storage(path);
    const VoteList votes = storage.votes(place);
    ASSERT_EQ(votes.size(), 1u);
    EXPECT_EQ(votes[0].voteId, voteId);
    EXPECT_EQ(votes[0].name, "kept");
    ASSERT_TRUE(storage.findUser(90001));
    EXPECT_EQ(storage.findUser(90001)->nick, "someone");
    EXPECT_EQ(answer("PRAGMA user_version"), std::to_string(VoteDatabaseSchema::kVersion) + " ");
}

TEST_F(VoteDatabaseSchemaTest, HistoryFromVersionOneKeepsItsTextAndNewHistoryItsStart)
{
    const SubChannelKey place{10, 20};
    constexpr std::int64_t kEnded = 1800000000;
    HistoryEntry entry;
    entry.endedAtUnix = kEnded;
    entry.startedAtUnix = kEnded - 60;
    entry.record.name = "from version 1";
    entry.record.timeText = "2027-01-15 07:59:00";
    {
        SqliteVoteStorage storage(path);
        storage.addHistory(place, entry);
        ASSERT_TRUE(storage.commit());
    }
    // What version 1 left: the same history, no start instants.
    execute("DROP TABLE history_started; PRAGMA user_version=1");
    {
        SqliteVoteStorage storage(path);
        EXPECT_EQ(answer("PRAGMA user_version"), std::to_string(VoteDatabaseSchema::kVersion) + " ");
        entry.endedAtUnix = kEnded + 100;
        entry.startedAtUnix = kEnded + 40;
        entry.record.name = "from version 2";
        storage.addHistory(place, entry);
        ASSERT_TRUE(storage.commit());
    }
    {
        SqliteVoteStorage storage(path);
        const std::vector<HistoryEntry> history = storage.history(place, 0);
        ASSERT_EQ(history.size(), 2u);
        EXPECT_EQ(history[0].record.name, "from version 2");
        EXPECT_EQ(history[0].startedAtUnix, kEnded + 40);
        EXPECT_EQ(history[1].record.name, "from version 1");
        EXPECT_EQ(history[1].startedAtUnix, 0) << "none kept: the stored text stands";
        EXPECT_EQ(history[1].record.timeText, "2027-01-15 07:59:00");

        storage.pruneHistory(kEnded + 100);
        ASSERT_TRUE(storage.commit());
    }
    EXPECT_EQ(answer("SELECT record_key FROM history"), answer("SELECT record_key FROM history_started"))
        << "a pruned entry's start goes with it";
    EXPECT_EQ(answer("SELECT count(*) FROM history"), "1 ");
}

TEST_F(VoteDatabaseSchemaTest, AVersionTwoDatabaseGainsTheRevocationsTableAndKeepsItsVotes)
{
    const SubChannelKey place{10, 20};
    {
        SqliteVoteStorage storage(path);
        storage.addVote(place, normalVote("kept", 2, 1, 1));
        ASSERT_TRUE(storage.commit());
    }
    // What version 2 left: no revocations.
    execute("DROP TABLE revocations; PRAGMA user_version=2");
    std::string error;
    const auto store = SqliteRevocationStore::open(path, error);
    ASSERT_TRUE(store) << error;
    EXPECT_EQ(answer("PRAGMA user_version"), std::to_string(VoteDatabaseSchema::kVersion) + " ");
    EXPECT_TRUE(store->revoke({1, 2, 1800000000, 1802592000}));
    EXPECT_EQ(store->current(1800000000).size(), 1u);
    SqliteVoteStorage storage(path);
    ASSERT_EQ(storage.votes(place).size(), 1u);
    EXPECT_EQ(storage.votes(place)[0].name, "kept");
}

TEST_F(VoteDatabaseSchemaTest, AVersionThreeDatabaseGainsTheWebhookTablesAndKeepsItsVotes)
{
    const SubChannelKey place{10, 20};
    {
        SqliteVoteStorage storage(path);
        storage.addVote(place, normalVote("kept", 2, 1, 1));
        ASSERT_TRUE(storage.commit());
    }
    // What version 3 left: no webhooks.
    execute(
        "DROP TABLE webhooks; DROP TABLE webhook_events; DROP TABLE webhook_heads; PRAGMA user_version=3");
    SqliteVoteStorage storage(path);
    EXPECT_EQ(answer("PRAGMA user_version"), std::to_string(VoteDatabaseSchema::kVersion) + " ");
    ASSERT_EQ(storage.votes(place).size(), 1u);
    storage.setWebhook(10, {"https://example.org/", "secret", false});
    EXPECT_EQ(storage.queueWebhookEvent(WebhookEvent{0, 10, "{}", 1, 0, false}, 10, 1), 0u);
    ASSERT_TRUE(storage.commit());
    EXPECT_EQ(storage.webhookQueueLength(10), 1u);
}

} // namespace

// Before a file of an older version is migrated, a copy of it as it was is kept beside it, whatever
// the step; a file that needs no migration gets none.
TEST_F(VoteDatabaseSchemaTest, AnOlderFileIsCopiedAsItWasBeforeItIsMigrated)
{
    const int previous = VoteDatabaseSchema::kVersion - 1;
    const struct
    {
        const char* name;
        std::string olderSql; // run on a current file to make it the older one; empty: none
        int copiedVersion;    // -1: no copy
    } rows[] = {
        {"from before the version was kept", "PRAGMA user_version=0", 0},
        {"version 1 without start instants", "DROP TABLE history_started; PRAGMA user_version=1", 1},
        {"version 3 without schedules", "DROP TABLE schedules; PRAGMA user_version=3", 3},
        {"the previous version", "PRAGMA user_version=" + std::to_string(previous), previous},
        {"the current version", "", -1},
    };
    const SubChannelKey place{10, 20};
    for (const auto& row : rows) {
        removeFiles();
        {
            SqliteVoteStorage storage(path);
            storage.addVote(place, normalVote("kept", 2, 1, 1));
            ASSERT_TRUE(storage.commit());
        }
        if (!row.olderSql.empty())
            execute(row.olderSql);
        const std::string before = fingerprint();
        SqliteVoteStorage storage(path);
        EXPECT_EQ(answer("PRAGMA user_version"), std::to_string(VoteDatabaseSchema::kVersion) + " ")
            << row.name;
        if (row.copiedVersion < 0) {
            EXPECT_EQ(storage.migrationCopy(), "") << row.name;
            for (int version = 0; version < VoteDatabaseSchema::kVersion; ++version)
                EXPECT_FALSE(std::filesystem::exists(copyOf(version))) << row.name;
            continue;
        }
        const std::string copy = copyOf(row.copiedVersion);
        EXPECT_EQ(storage.migrationCopy(), copy) << row.name;
        ASSERT_TRUE(std::filesystem::exists(copy)) << row.name;
        EXPECT_EQ(answerOf(copy, "PRAGMA integrity_check"), "ok ") << row.name;
        EXPECT_EQ(answerOf(copy, "PRAGMA user_version") + "| " + answerOf(copy, "PRAGMA journal_mode") +
                      "| " + answerOf(copy, "SELECT sql FROM sqlite_master ORDER BY name"),
                  before)
            << row.name << ": the copy is the file as it was";
        EXPECT_EQ(answerOf(copy, "SELECT count(*) FROM votes"), "1 ") << row.name;
        EXPECT_EQ(std::filesystem::status(copy).permissions() & std::filesystem::perms::all,
                  std::filesystem::perms::owner_read | std::filesystem::perms::owner_write)
            << row.name;
    }
}

// A new file has nothing to keep.
TEST_F(VoteDatabaseSchemaTest, ANewFileIsNotCopied)
{
    SqliteVoteStorage storage(path);
    EXPECT_EQ(storage.migrationCopy(), "");
    EXPECT_FALSE(std::filesystem::exists(copyOf(0)));
}
