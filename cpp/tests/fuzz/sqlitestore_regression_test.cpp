// What the SQLite storage loads from a database another program wrote into: vote records that
// break the record rules and open votes with impossible start times stay in the file but are not
// loaded, while the service's own records, running counts included, still are.

#include "voteservice/core/recordvalidator.h"
#include "voteservice/sqlite/sqlitevotestorage.h"

#include <quorix/protocol/mpak.h>

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <limits>
#include <string>

namespace {

namespace fs = std::filesystem;
using namespace quorix;
using namespace quorix::service;

constexpr SubChannelKey kPlace{10, 20};

VoteInfo validVote()
{
    VoteInfo vote;
    vote.name = "Q1";
    vote.limitTime = 60;
    vote.voteType = kNormalVote;
    vote.limits = {{kTicketsPerUser, 2}, {kTicketsPerOption, 1}};
    vote.options = {{1, "A"}, {2, "B"}};
    return vote;
}

class HostileDatabase : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_dir = fs::temp_directory_path() / ("quorix-hostile-db-" + std::to_string(::getpid()) + "-" +
                                             ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
        m_path = (m_dir / "votes.db").string();
        SqliteVoteStorage create(m_path);
    }
    void TearDown() override { fs::remove_all(m_dir); }

    // Writes a row as another program would, past the storage's own checks.
    void insert(const char* sql, std::int64_t number, const std::string& record)
    {
        sqlite3* db = nullptr;
        ASSERT_EQ(SQLITE_OK, sqlite3_open(m_path.c_str(), &db));
        sqlite3_stmt* stmt = nullptr;
        ASSERT_EQ(SQLITE_OK, sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr)) << sqlite3_errmsg(db);
        sqlite3_bind_int64(stmt, 1, number);
        sqlite3_bind_blob(stmt, 2, record.data(), int(record.size()), SQLITE_TRANSIENT);
        EXPECT_EQ(SQLITE_DONE, sqlite3_step(stmt)) << sqlite3_errmsg(db);
        sqlite3_finalize(stmt);
        sqlite3_close(db);
    }
    void insertVote(std::uint32_t voteId, const VoteInfo& vote)
    {
        insert("INSERT INTO votes (channel, sub, vote_id, record) VALUES (10, 20, ?1, ?2)", voteId,
               mpak::encode(vote));
    }
    void insertOpenVote(std::int64_t startedAt, const VoteInfo& record)
    {
        insert("INSERT INTO open_votes (channel, sub, ji_fang_id, started_at, starter_nick, running, record) "
               "VALUES (10, 20, 1, ?1, 'n', 1, ?2)",
               startedAt, mpak::encode(record));
    }

    fs::path m_dir;
    std::string m_path;
};

struct BrokenRule
{
    const char* what;
    void (*breakRule)(VoteInfo&);
};

const BrokenRule kBrokenRules[] = {
    {"no time limit", [](VoteInfo& v) { v.limitTime = 0; }},
    {"time limit past the longest", [](VoteInfo& v) { v.limitTime = RecordValidator::kMaxLimitSeconds + 1; }},
    {"no options", [](VoteInfo& v) { v.options.clear(); }},
    {"eleven options",
     [](VoteInfo& v) {
         for (std::uint32_t id = 1; id <= 11; ++id)
             v.options[id] = "o";
     }},
    {"name not UTF-8", [](VoteInfo& v) { v.name = "\xff\xfe"; }},
    {"unknown vote type", [](VoteInfo& v) { v.voteType = 7; }},
    {"fewer tickets per user than per option", [](VoteInfo& v) { v.limits[kTicketsPerUser] = 0; }},
};

TEST_F(HostileDatabase, StoredVotesBreakingTheRecordRulesAreNotLoaded)
{
    VoteInfo first = validVote();
    first.voteId = 1;
    insertVote(1, first);
    std::uint32_t voteId = 2;
    for (const BrokenRule& rule : kBrokenRules) {
        VoteInfo vote = validVote();
        vote.voteId = voteId;
        rule.breakRule(vote);
        ASSERT_FALSE(RecordValidator::isValid(vote)) << rule.what;
        insertVote(voteId++, vote);
    }
    SqliteVoteStorage storage(m_path);
    const VoteList loaded = storage.votes(kPlace);
    ASSERT_EQ(1u, loaded.size());
    EXPECT_EQ("Q1", loaded.front().name);
    EXPECT_TRUE(storage.findVote(kPlace, 1).has_value());
    for (std::uint32_t id = 2; id < voteId; ++id)
        EXPECT_FALSE(storage.findVote(kPlace, id).has_value()) << kBrokenRules[id - 2].what;
}

// A record must carry its row's key: the service answers with the record's id, and an id that
// does not reach the row could neither be updated nor deleted, nor kept apart in a history answer.
TEST_F(HostileDatabase, RecordsFiledUnderAnotherKeyAreNotLoaded)
{
    VoteInfo vote = validVote();
    vote.voteId = 2;
    insertVote(1, vote);
    insertVote(2, vote);
    VoteHistoryRecord ended;
    ended.name = "old";
    ended.recordKey = 6;
    for (const std::int64_t rowKey : {5, 6})
        insert("INSERT INTO history (record_key, channel, sub, ended_at, record) VALUES (?1, 10, 20, "
               "1800000000, ?2)",
               rowKey, mpak::encode(ended));
    SqliteVoteStorage storage(m_path);
    const VoteList loaded = storage.votes(kPlace);
    ASSERT_EQ(1u, loaded.size());
    EXPECT_EQ(2u, loaded.front().voteId);
    EXPECT_FALSE(storage.findVote(kPlace, 1).has_value());
    EXPECT_TRUE(storage.findVote(kPlace, 2).has_value());
    const auto history = storage.history(kPlace, 0);
    ASSERT_EQ(1u, history.size());
    EXPECT_EQ(6u, history.front().record.recordKey);
}

TEST_F(HostileDatabase, OpenVoteWithImpossibleStartTimeIsNotResumed)
{
    for (const std::int64_t startedAt : {std::numeric_limits<std::int64_t>::max(), std::int64_t(-1),
                                         std::int64_t(std::numeric_limits<std::uint32_t>::max()) + 1,
                                         std::numeric_limits<std::int64_t>::min()}) {
        SCOPED_TRACE(startedAt);
        insertOpenVote(startedAt, validVote());
        SqliteVoteStorage storage(m_path);
        EXPECT_TRUE(storage.openVotes().empty());
        storage.removeOpenVote(kPlace);
    }
}

TEST_F(HostileDatabase, OpenVoteBreakingTheRecordRulesIsNotResumed)
{
    VoteInfo record = validVote();
    record.options.clear();
    insertOpenVote(1'800'000'000, record);
    SqliteVoteStorage storage(m_path);
    EXPECT_TRUE(storage.openVotes().empty());
}

// The running record carries its starter and per-option counts; the rules apply to the vote as
// stored, so a vote at the size limit still resumes with them.
TEST_F(HostileDatabase, RunningRecordAtTheSizeLimitIsResumed)
{
    VoteInfo record = validVote();
    record.auxText2.assign(RecordValidator::kMaxRecordBytes - mpak::encode(record).size(), 'x');
    while (!RecordValidator::isValid(record))
        record.auxText2.pop_back();
    ASSERT_GT(mpak::encode(record).size(), RecordValidator::kMaxRecordBytes - 8);
    record.ownerUid = 1000;
    record.optionTickets = {{1, 3}, {2, 4}};
    ASSERT_FALSE(RecordValidator::isValid(record));
    insertOpenVote(1'800'000'000, record);
    SqliteVoteStorage storage(m_path);
    const auto open = storage.openVotes();
    ASSERT_EQ(1u, open.size());
    EXPECT_EQ(1000u, open.front().record.ownerUid);
    EXPECT_EQ(4u, open.front().record.ticketsOf(2));
}

} // namespace
