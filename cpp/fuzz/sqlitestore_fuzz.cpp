// The SQLite vote storage opening a data folder whose database it did not write, then the service
// core resuming the open votes found there and answering requests. The database is a small valid
// one (votes of every kind, an open vote with ballots, history, users) that the input damages:
// either bytes of the file are overwritten, or rows with hostile values go in through SQLite.
// Nothing may crash or misuse memory; a database the storage cannot use is refused with its
// error; every vote record that loads passes the record rules, every frame the core sends
// decodes completely as its minor type's answer, and every connection and statement an input
// opens is closed again.
//
// Input: one byte choosing the damage (even: overwrite bytes, odd: insert rows), its script, then
// requests (session, minor type, body) for three sessions in the seeded places.

#include "fuzz/checkingsink.h"
#include "fuzz/fuzzclock.h"
#include "fuzz/fuzzinput.h"
#include "voteservice/core/recordvalidator.h"
#include "fuzz/sqlitememorypool.h"
#include "voteservice/sqlite/sqlitevotestorage.h"
#include "voteservice/core/voteservicecore.h"

#include <sqlite3.h>
#include <unistd.h>

#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <set>
#include <string>

namespace {

namespace fs = std::filesystem;
using namespace quorix;
using namespace quorix::service;

constexpr std::int64_t kNowUnix = FuzzClock::kStartUnix;
constexpr std::size_t kMaxRequests = 16;

[[noreturn]] void fault(const char* what)
{
    std::fprintf(stderr, "sqlite store fuzz: %s\n", what);
    std::abort();
}

fs::path dataDir;
fs::path dbPath;
std::string seedBytes;
std::size_t idleBlocks = 0; // SQLite blocks in use with no connection open

// ---- the seed database --------------------------------------------------------------------------

VoteInfo baseVote(const char* name, std::uint32_t type)
{
    VoteInfo vote;
    vote.name = name;
    vote.limitTime = 60;
    vote.voteType = type;
    vote.ownerUid = 1000;
    vote.limits = {{kTicketsPerUser, 2}, {kTicketsPerOption, 1}};
    return vote;
}

VoteInfo normalVote()
{
    VoteInfo vote = baseVote("Q1", kNormalVote);
    vote.options = {{1, "A"}, {2, "B"}};
    return vote;
}

VoteInfo groupVote()
{
    VoteInfo vote = baseVote("G", kGroupVote);
    vote.options = {{1, "A"}, {2, "B"}};
    vote.optionGroup = {{1, 0}, {2, 1}};
    vote.groupNames = {{0, "red"}, {1, "blue"}};
    return vote;
}

VoteInfo judgeVote()
{
    VoteInfo vote = baseVote("J", kJudgeVote);
    JudgeInfo judge;
    judge.uid = 1002;
    judge.imid = 5002;
    judge.nick = "judge";
    vote.judges = {{1002, judge}};
    vote.judgeOrder = {{0, 1002}};
    return vote;
}

void removeDatabaseFiles()
{
    std::error_code ec;
    for (const char* suffix : {"", "-wal", "-shm", "-journal"})
        fs::remove(dbPath.string() + suffix, ec);
}

// A small page size keeps the file short, so overwritten bytes land in its structure more often.
void createSmallPageDatabase()
{
    sqlite3* db = nullptr;
    if (sqlite3_open(dbPath.c_str(), &db) != SQLITE_OK ||
        sqlite3_exec(
            db, "PRAGMA page_size=512; CREATE TABLE counters (name TEXT PRIMARY KEY, value INTEGER NOT NULL)",
            nullptr, nullptr, nullptr) != SQLITE_OK)
        fault("cannot create the seed database");
    sqlite3_close(db);
}

void writeSeedDatabase()
{
    removeDatabaseFiles();
    createSmallPageDatabase();
    SqliteVoteStorage storage(dbPath.string());
    const SubChannelKey place{10, 20};
    const SubChannelKey judgePlace{10, 21};
    storage.addVote(place, normalVote());
    storage.addVote(place, groupVote());
    storage.addVote(judgePlace, judgeVote());
    OpenVoteState open;
    open.place = place;
    open.record = normalVote();
    open.record.voteId = 1;
    open.jiFangId = std::uint32_t(kNowUnix - 10);
    open.startedAtUnix = kNowUnix - 10;
    open.starterNick = "owner";
    open.ballots = {{1001, 1, 1}, {1003, 2, 1}};
    storage.saveOpenVote(open);
    OpenVoteState judging;
    judging.place = judgePlace;
    judging.record = judgeVote();
    judging.record.voteId = 3;
    judging.jiFangId = open.jiFangId + 1;
    judging.startedAtUnix = kNowUnix - 100;
    judging.starterNick = "owner";
    judging.running = false;
    judging.ballots = {{1002, 0, 7}};
    storage.saveOpenVote(judging);
    HistoryEntry ended;
    ended.endedAtUnix = kNowUnix - 3600;
    ended.record.name = "old";
    ended.record.adminNick = "owner";
    ended.record.options = {{1, "A"}};
    ended.record.optionTickets = {{1, 3}};
    storage.addHistory(place, ended);
    storage.recordUser(5000, {1000, "owner"});
    storage.recordUser(5001, {1001, "viewer"});
    if (!storage.commit())
        fault("cannot commit the seed database");
}

std::string readFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeFile(const fs::path& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// ---- damage -------------------------------------------------------------------------------------

// Overwrites up to eight runs of the file, each at an offset the input picks; the top bit of a
// run's first byte also cuts the file there.
void overwriteBytes(FuzzInput& in)
{
    std::string bytes = seedBytes;
    const unsigned runs = in.u8() % 9;
    for (unsigned i = 0; i < runs && !bytes.empty(); ++i) {
        const std::uint8_t how = in.u8();
        const std::size_t offset = in.u32() % bytes.size();
        const std::string run = in.bytes(64);
        bytes.replace(offset, std::min(run.size(), bytes.size() - offset),
                      run.substr(0, bytes.size() - offset));
        if (how & 0x80)
            bytes.resize(offset);
    }
    writeFile(dbPath, bytes);
}

const std::int64_t kExtremes[] = {0,
                                  -1,
                                  std::numeric_limits<std::int64_t>::min(),
                                  std::numeric_limits<std::int64_t>::max(),
                                  std::numeric_limits<std::uint32_t>::max(),
                                  std::int64_t(std::numeric_limits<std::uint32_t>::max()) + 1,
                                  kNowUnix,
                                  -kNowUnix};

// What a column usually holds: the kind of value a valid row has there.
enum class Column
{
    Channel,
    Sub,
    Small,
    Time,
    Record,
    Text
};

// Binds a value of the column's kind most of the time, otherwise anything SQLite stores.
void bindValue(sqlite3_stmt* stmt, int index, Column column, FuzzInput& in)
{
    const std::uint8_t kind = in.u8();
    if (kind < 0xc0) {
        switch (column) {
        case Column::Channel:
            sqlite3_bind_int64(stmt, index, 10 + kind % 2);
            return;
        case Column::Sub:
            sqlite3_bind_int64(stmt, index, 20 + kind % 3);
            return;
        case Column::Small:
            sqlite3_bind_int64(stmt, index, in.u16());
            return;
        case Column::Time:
            sqlite3_bind_int64(stmt, index, kNowUnix - in.u16());
            return;
        case Column::Record:
        case Column::Text: {
            const std::string bytes = in.bytes(column == Column::Record ? 4096 : 64);
            if (column == Column::Record)
                sqlite3_bind_blob(stmt, index, bytes.data(), int(bytes.size()), SQLITE_TRANSIENT);
            else
                sqlite3_bind_text(stmt, index, bytes.data(), int(bytes.size()), SQLITE_TRANSIENT);
            return;
        }
        }
    }
    const std::string bytes = in.bytes(256);
    switch (kind % 5) {
    case 0:
        sqlite3_bind_int64(stmt, index, in.u32());
        return;
    case 1:
        sqlite3_bind_int64(stmt, index, kExtremes[in.u8() % std::size(kExtremes)]);
        return;
    case 2:
        sqlite3_bind_text(stmt, index, bytes.data(), int(bytes.size()), SQLITE_TRANSIENT);
        return;
    case 3:
        sqlite3_bind_blob(stmt, index, bytes.data(), int(bytes.size()), SQLITE_TRANSIENT);
        return;
    default:
        sqlite3_bind_double(stmt, index, double(in.u32()) * 1e300);
        return;
    }
}

struct Insert
{
    const char* sql;
    std::initializer_list<Column> columns;
};

const Insert kInserts[] = {
    {"INSERT OR REPLACE INTO votes (channel, sub, vote_id, record) VALUES (?, ?, ?, ?)",
     {Column::Channel, Column::Sub, Column::Small, Column::Record}},
    {"INSERT OR REPLACE INTO history (record_key, channel, sub, ended_at, record) VALUES (?, ?, ?, ?, ?)",
     {Column::Small, Column::Channel, Column::Sub, Column::Time, Column::Record}},
    {"INSERT OR REPLACE INTO directory (imid, uid, nick) VALUES (?, ?, ?)",
     {Column::Small, Column::Small, Column::Text}},
    {"INSERT OR REPLACE INTO open_votes (channel, sub, ji_fang_id, started_at, starter_nick, running, "
     "record) "
     "VALUES (?, ?, ?, ?, ?, ?, ?)",
     {Column::Channel, Column::Sub, Column::Small, Column::Time, Column::Text, Column::Small,
      Column::Record}},
    {"INSERT INTO ballots (channel, sub, uid, option_id, tickets) VALUES (?, ?, ?, ?, ?)",
     {Column::Channel, Column::Sub, Column::Small, Column::Small, Column::Small}},
    {"INSERT OR REPLACE INTO counters (name, value) VALUES (?, ?)", {Column::Text, Column::Small}},
};

// Inserts up to eight rows through SQLite, as another program writing into the folder could.
void insertRows(FuzzInput& in)
{
    writeFile(dbPath, seedBytes);
    sqlite3* db = nullptr;
    if (sqlite3_open(dbPath.c_str(), &db) != SQLITE_OK)
        fault("cannot open the copy of the seed database");
    // One transaction, unsynced: a refused row fails only its own statement.
    sqlite3_exec(db, "PRAGMA synchronous=OFF; BEGIN", nullptr, nullptr, nullptr);
    const unsigned rows = in.u8() % 9;
    for (unsigned i = 0; i < rows; ++i) {
        const Insert& insert = kInserts[in.u8() % std::size(kInserts)];
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(db, insert.sql, -1, &stmt, nullptr) != SQLITE_OK)
            fault("a row statement does not prepare");
        int index = 1;
        for (Column column : insert.columns)
            bindValue(stmt, index++, column, in);
        sqlite3_step(stmt); // a constraint may refuse the row; the database stays as it was
        sqlite3_finalize(stmt);
    }
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(db);
}

// ---- the service on the damaged database --------------------------------------------------------

// Where the hostile rows may land, and where the sessions' requests write.
const SubChannelKey kRowPlaces[] = {{10, 20}, {10, 21}, {10, 22}, {11, 20}, {11, 21}, {11, 22}};
const SubChannelKey kSessionPlaces[] = {{10, 20}, {10, 21}};

template <std::size_t N> void checkStoredVotes(const VoteStorage& storage, const SubChannelKey (&places)[N])
{
    for (const SubChannelKey& place : places)
        for (const VoteInfo& vote : storage.votes(place))
            if (!RecordValidator::isValid(vote))
                fault("a stored vote that breaks the record rules was loaded");
}

// The core resumes these; those it starts itself come from stored votes that passed the rules.
void checkOpenVotes(const VoteStorage& storage)
{
    for (OpenVoteState open : storage.openVotes()) {
        // The rules apply to the vote as stored, without what running it adds.
        open.record.ownerUid = 0;
        open.record.optionTickets.clear();
        for (auto& [uid, judge] : open.record.judges)
            judge.points = 0;
        if (!RecordValidator::isValid(open.record))
            fault("an open vote that breaks the record rules was loaded");
    }
}

SessionIdentity identity(std::uint32_t uid, std::uint32_t role, std::uint32_t sub)
{
    SessionIdentity who;
    who.uid = uid;
    who.imid = uid + 4000;
    who.nick = "n";
    who.role = role;
    who.channelId = 10;
    who.subChannelId = sub;
    return who;
}

void serve(FuzzInput& in)
{
    SqliteVoteStorage storage(dbPath.string());
    checkStoredVotes(storage, kRowPlaces);
    checkOpenVotes(storage);
    storage.history({10, 20}, 0);
    storage.findUser(5001);
    FuzzClock clock;
    CheckingSink sink(fault);
    VoteServiceCore core(clock, storage, sink);
    core.resumeOpenVotes();
    const SessionIdentity people[] = {identity(1000, 255, 20), identity(1001, 20, 20),
                                      identity(1000, 255, 21)};
    for (SessionId id = 0; id < std::size(people); ++id) {
        sink.open.insert(id);
        core.openSession(id, people[id]);
    }
    for (std::size_t i = 0; i < kMaxRequests && !in.empty(); ++i) {
        const SessionId id = in.u8() % std::size(people);
        const std::uint32_t minType = in.u8() % 40;
        core.handle(id, minType, in.bytes(2048));
    }
    clock.advance(3600 * 1000);
    core.tick();
    storage.commit();
    checkStoredVotes(storage, kSessionPlaces);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    if (!SqliteMemoryPool::install())
        fault("SQLite was initialised before its memory pool was installed");
    // Nor need every allocation take the lock that keeps SQLite's memory statistics.
    sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);
    // Only this process opens the files, so connections may hold them exclusively; the WAL index
    // then lives in memory instead of a mapped file created and removed for every input.
    if (sqlite3_vfs* exclusive = sqlite3_vfs_find("unix-excl"))
        sqlite3_vfs_register(exclusive, 1);
    // Shared memory when the machine has it: the storage syncs every commit.
    const fs::path base = fs::is_directory("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
    dataDir = base / ("quorix-sqlitestore-fuzz-" + std::to_string(::getpid()));
    fs::create_directories(dataDir);
    dbPath = dataDir / "votes.db";
    writeSeedDatabase();
    seedBytes = readFile(dbPath);
    if (seedBytes.empty() || fs::exists(dbPath.string() + "-wal"))
        fault("the seed database was not written back into one file");
    idleBlocks = SqliteMemoryPool::blocksInUse();
    std::atexit([] {
        std::error_code ec;
        fs::remove_all(dataDir, ec);
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // Both kinds of damage rewrite the database file; the last input removed the rest.
    FuzzInput in(data, size);
    if (in.u8() % 2 == 0)
        overwriteBytes(in);
    else
        insertRows(in);
    try {
        serve(in);
    } catch (const SqliteVoteStorage::Error&) {
        // The storage refused the database or a write failed on it: a reported failure.
    } catch (const StorageUnavailable&) {
        // A query failed on a damaged page outside a request, where the core would refuse it.
    }
    if (SqliteMemoryPool::blocksInUse() != idleBlocks)
        fault("a connection or statement was left open");
    // libFuzzer ends without running exit handlers, so no input leaves its database behind.
    removeDatabaseFiles();
    return 0;
}
