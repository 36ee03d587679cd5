// The data folder of a durable vote service: one service per folder, and files only its owner can
// read.

#include "voteservice/sqlite/datafolderlock.h"
#include "voteservice/sqlite/votedatabaseschema.h"
#include "voteservice/sqlite/votedatafolder.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

using namespace quorix::service;

namespace {

namespace fs = std::filesystem;

class DataFolderTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        base = ::testing::TempDir() + "/quorix-datafolder-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::remove_all(base);
        fs::create_directories(base);
        m_umask = ::umask(022);
    }
    void TearDown() override
    {
        ::umask(m_umask);
        fs::remove_all(base);
    }
    static unsigned modeOf(const std::string& path)
    {
        struct stat info = {};
        EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
        return info.st_mode & 07777;
    }

    std::string base;

private:
    mode_t m_umask = 0;
};

TEST_F(DataFolderTest, ASecondOpenIsRefusedWhileTheFirstHoldsTheFolder)
{
    const std::string folder = base + "/data";
    VoteDataFolder first = VoteDataFolder::open(folder);
    ASSERT_TRUE(first.storage) << first.error;

    VoteDataFolder second = VoteDataFolder::open(folder);
    EXPECT_FALSE(second.storage);
    EXPECT_EQ(second.error, "data folder " + folder + " is in use by process " + std::to_string(::getpid()));

    first.storage.reset();
    VoteDataFolder third = VoteDataFolder::open(folder);
    EXPECT_TRUE(third.storage) << "closing the database releases the folder: " << third.error;
}

TEST_F(DataFolderTest, TheLockFileNamesItsHolderAndTheFolderIsNamedAsGiven)
{
    const std::string given = base + "/named/";
    fs::create_directories(given);
    std::string error;
    auto lock = DataFolderLock::acquire(given, error);
    ASSERT_TRUE(lock) << error;
    std::string again;
    EXPECT_FALSE(DataFolderLock::acquire(given, again));
    EXPECT_EQ(again, "data folder " + given + " is in use by process " + std::to_string(::getpid()));
    EXPECT_FALSE(VoteDataFolder::open(given).storage);
}

TEST_F(DataFolderTest, ANewFolderAndItsFilesAreTheOwnersOnly)
{
    for (const std::string given : {"/parent/data", "/slashed/data/"}) {
        const std::string folder = base + given;
        VoteDataFolder opened = VoteDataFolder::open(folder);
        ASSERT_TRUE(opened.storage) << given << ": " << opened.error;
        EXPECT_TRUE(opened.warnings.empty()) << given;
        opened.storage->recordUser(7, {70, "seven"});
        ASSERT_TRUE(opened.storage->commit());

        EXPECT_EQ(modeOf(folder), 0700u) << given;
        for (const char* file : {"lock", "votes.db", "votes.db-wal", "votes.db-shm"})
            EXPECT_EQ(modeOf(folder + "/" + file), 0600u) << given << file;
        const std::string parent = base + given.substr(0, given.find('/', 1));
        EXPECT_EQ(modeOf(parent), 0755u) << "folders above it follow the umask";
    }
}

TEST_F(DataFolderTest, AnExistingFolderOpenToOthersIsUsedWithAWarning)
{
    const struct
    {
        const char* name;
        unsigned mode;
        const char* warning; // null: none
    } rows[] = {
        {"open", 0755, "(mode 0755); consider chmod 700 "},
        {"group", 0750, "(mode 0750); consider chmod 700 "},
        {"private", 0700, nullptr},
    };
    for (const auto& row : rows) {
        const std::string folder = base + "/" + row.name;
        fs::create_directories(folder);
        ASSERT_EQ(::chmod(folder.c_str(), row.mode), 0);
        VoteDataFolder opened = VoteDataFolder::open(folder);
        EXPECT_TRUE(opened.storage) << row.name << ": " << opened.error;
        EXPECT_EQ(modeOf(folder), row.mode) << "the operator's folder is left as it is";
        if (!row.warning) {
            EXPECT_TRUE(opened.warnings.empty()) << row.name;
            continue;
        }
        ASSERT_EQ(opened.warnings.size(), 1u) << row.name;
        EXPECT_EQ(opened.warnings[0],
                  "data folder " + folder + " is readable by others " + row.warning + folder);
    }
}

// Migrating an older database is told to the operator, with where the old file is kept.
TEST_F(DataFolderTest, AMigratedDatabaseNamesTheCopyOfItsOldFile)
{
    const std::string folder = base + "/older";
    const std::string database = folder + "/votes.db";
    {
        VoteDataFolder::open(folder);
    }
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(database.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "PRAGMA user_version=1", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);

    VoteDataFolder opened = VoteDataFolder::open(folder);
    ASSERT_TRUE(opened.storage) << opened.error;
    ASSERT_EQ(opened.warnings.size(), 1u);
    EXPECT_EQ(opened.warnings[0],
              database + " had an older schema: a copy from before its migration to version " +
                  std::to_string(VoteDatabaseSchema::kVersion) + " is kept as " + database + ".v1.bak");
    EXPECT_EQ(modeOf(database + ".v1.bak"), 0600u);
}

} // namespace
