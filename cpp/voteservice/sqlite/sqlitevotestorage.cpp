#include "voteservice/sqlite/sqlitevotestorage.h"

#include "voteservice/sqlite/databasebackup.h"
#include "voteservice/sqlite/datafolderlock.h"
#include <quorix/protocol/mpak.h>
#include "voteservice/core/recordvalidator.h"
#include "voteservice/sqlite/votedatabaseschema.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <limits>

namespace quorix::service {

namespace {

// A stored vote must meet the rules the service checked before storing it, whoever wrote the
// file; the owner, running counts and judges' points an open vote carries were not part of that.
bool meetsRecordRules(VoteInfo vote)
{
    vote.ownerUid = 0;
    vote.optionTickets.clear();
    for (auto& [uid, judge] : vote.judges)
        judge.points = 0;
    return RecordValidator::isValid(vote);
}

bool meetsRecordRules(const VoteHistoryRecord&)
{
    return true;
}

template <class Record> bool decodeBlob(const void* data, int size, Record& out)
{
    if (data == nullptr || size <= 0)
        return false;
    try {
        return mpak::decode(std::string(static_cast<const char*>(data), std::size_t(size)), out) &&
               meetsRecordRules(out);
    } catch (const std::exception&) {
        return false;
    }
}

// Start times outside the Unix seconds a 32-bit clock counts cannot be the service's own.
bool plausibleUnixTime(std::int64_t seconds)
{
    return seconds >= 0 && seconds <= std::int64_t(std::numeric_limits<std::uint32_t>::max());
}

// A new database file is readable by its owner only; SQLite gives its -wal and -shm files the
// database file's mode.
void createPrivateFile(const std::string& path)
{
    const int descriptor = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (descriptor >= 0)
        ::close(descriptor);
}

} // namespace

// A prepared statement, reset after each use so it can be bound again.
class SqliteVoteStorage::Statement
{
public:
    // writeFailed is set when a write through this statement fails.
    Statement(sqlite3* db, const char* sql, bool& writeFailed) : m_db(db), m_writeFailed(writeFailed)
    {
        if (sqlite3_prepare_v2(db, sql, -1, &m_stmt, nullptr) != SQLITE_OK)
            throw Error(std::string("cannot prepare: ") + sqlite3_errmsg(db));
    }
    ~Statement() { sqlite3_finalize(m_stmt); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    Statement& bind(int index, std::int64_t value)
    {
        sqlite3_bind_int64(m_stmt, index, value);
        return *this;
    }
    Statement& bind(int index, const std::string& text)
    {
        sqlite3_bind_text(m_stmt, index, text.data(), int(text.size()), SQLITE_TRANSIENT);
        return *this;
    }
    Statement& blob(int index, const std::string& bytes)
    {
        sqlite3_bind_blob(m_stmt, index, bytes.data(), int(bytes.size()), SQLITE_TRANSIENT);
        return *this;
    }
    Statement& place(const SubChannelKey& key)
    {
        return bind(1, std::int64_t(key.channelId)).bind(2, std::int64_t(key.subChannelId));
    }
    // Next row: true while there is one. A query that fails (a damaged page, say) makes the storage
    // unavailable for that request only; a failed write throws Error, since what it should have
    // saved is lost.
    bool step()
    {
        const int rc = sqlite3_step(m_stmt);
        if (rc == SQLITE_ROW)
            return true;
        if (rc != SQLITE_DONE) {
            const std::string message = sqlite3_errmsg(m_db);
            const bool query = sqlite3_stmt_readonly(m_stmt) != 0;
            reset();
            if (query)
                throw StorageUnavailable("database read failed: " + message);
            m_writeFailed = true;
            throw Error("database write failed: " + message);
        }
        reset();
        return false;
    }
    // Runs a statement that returns no rows.
    void run()
    {
        while (step()) {
        }
    }
    void reset()
    {
        sqlite3_reset(m_stmt);
        sqlite3_clear_bindings(m_stmt);
    }
    std::int64_t integer(int column) const { return sqlite3_column_int64(m_stmt, column); }
    std::string text(int column) const
    {
        const auto* data = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, column));
        return data ? std::string(data, std::size_t(sqlite3_column_bytes(m_stmt, column))) : std::string();
    }
    template <class Record> bool record(int column, Record& out) const
    {
        return decodeBlob(sqlite3_column_blob(m_stmt, column), sqlite3_column_bytes(m_stmt, column), out);
    }
    // The record in the column after `keyColumn`, which must carry the row's key: a record filed
    // under another key would be answered under an id that does not reach its row.
    template <class Record> bool keyedRecord(int keyColumn, std::uint32_t Record::*key, Record& out) const
    {
        return record(keyColumn + 1, out) && std::int64_t(out.*key) == integer(keyColumn);
    }
    int changes() const { return sqlite3_changes(m_db); }

private:
    sqlite3* m_db;
    bool& m_writeFailed;
    sqlite3_stmt* m_stmt = nullptr;
};

SqliteVoteStorage::SqliteVoteStorage(const std::string& path, std::size_t maxDirectoryEntries)
    : m_maxDirectoryEntries(maxDirectoryEntries)
{
    createPrivateFile(path);
    const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX;
    if (sqlite3_open_v2(path.c_str(), &m_db, flags, nullptr) != SQLITE_OK) {
        const std::string message = m_db ? sqlite3_errmsg(m_db) : "out of memory";
        sqlite3_close(m_db);
        throw Error("cannot open " + path + ": " + message);
    }
    try {
        exec("PRAGMA busy_timeout=5000");
        // Before anything changes the file: one of another program stays as it is.
        VoteDatabaseSchema::check(m_db, path);
        if (const std::optional<int> from = VoteDatabaseSchema::olderVersion(m_db)) {
            m_migrationCopy = path + ".v" + std::to_string(*from) + ".bak";
            DatabaseBackup::copy(m_db, m_migrationCopy);
        }
        exec("PRAGMA journal_mode=WAL");
        exec("PRAGMA synchronous=FULL");
        VoteDatabaseSchema::install(m_db);
        Statement& count = statement("SELECT count(*) FROM directory");
        m_directorySize = count.step() ? std::size_t(count.integer(0)) : 0;
        count.reset();
    } catch (const std::exception& e) {
        m_statements.clear();
        sqlite3_close(m_db);
        // A query failing here means the file cannot be used at all, not one refused request. The
        // message names the file, as the schema check's own messages do.
        const std::string what = e.what();
        throw Error(what.rfind(path, 0) == 0 ? what : path + ": " + what);
    }
}

SqliteVoteStorage::~SqliteVoteStorage()
{
    commit();
    m_statements.clear();
    sqlite3_close(m_db);
}

void SqliteVoteStorage::exec(const char* sql)
{
    char* message = nullptr;
    if (sqlite3_exec(m_db, sql, nullptr, nullptr, &message) != SQLITE_OK) {
        const std::string text = message ? message : "unknown error";
        sqlite3_free(message);
        throw Error(std::string("database error: ") + text);
    }
}

SqliteVoteStorage::Statement& SqliteVoteStorage::statement(const char* sql) const
{
    for (auto& [text, stmt] : m_statements) {
        if (text == sql)
            return *stmt;
    }
    m_statements.emplace_back(sql, std::make_unique<Statement>(m_db, sql, m_writeFailed));
    return *m_statements.back().second;
}

void SqliteVoteStorage::beginWrite()
{
    if (m_inTransaction)
        return;
    exec("BEGIN IMMEDIATE");
    m_inTransaction = true;
}

bool SqliteVoteStorage::answers(std::string& reason)
{
    if (m_writeFailed) {
        reason = "a database write failed";
        return false;
    }
    try {
        Statement& probe = statement("SELECT 1 FROM votes LIMIT 1");
        probe.step();
        probe.reset();
    } catch (const StorageUnavailable& e) {
        reason = e.what();
        return false;
    }
    return true;
}

// After a failed write or commit the transaction may hold part of a request's writes, so it is
// rolled back and nothing is committed again: what was committed before stays as it was.
bool SqliteVoteStorage::commit()
{
    if (!m_writeFailed && m_inTransaction &&
        sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK)
        m_writeFailed = true;
    if (m_writeFailed) {
        if (sqlite3_get_autocommit(m_db) == 0)
            sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        m_inTransaction = false;
        return false;
    }
    m_inTransaction = false;
    return true;
}

void SqliteVoteStorage::keepFolderLock(std::unique_ptr<DataFolderLock> lock)
{
    m_folderLock = std::move(lock);
}

std::uint32_t SqliteVoteStorage::nextCounter(const char* name)
{
    beginWrite();
    Statement& read = statement("SELECT value FROM counters WHERE name = ?1");
    read.bind(1, std::string(name));
    std::int64_t value = read.step() ? read.integer(0) : 0;
    read.reset();
    value = (value + 1) & 0xffffffff;
    if (value == 0)
        value = 1;
    statement("INSERT OR REPLACE INTO counters (name, value) VALUES (?1, ?2)")
        .bind(1, std::string(name))
        .bind(2, value)
        .run();
    return std::uint32_t(value);
}

// ---- stored votes -------------------------------------------------------------------------------

std::uint32_t SqliteVoteStorage::addVote(const SubChannelKey& place, VoteInfo vote)
{
    std::uint32_t id = nextCounter("vote_id");
    while (findVote(place, id))
        id = nextCounter("vote_id");
    vote.voteId = id;
    statement("INSERT INTO votes (channel, sub, vote_id, record) VALUES (?1, ?2, ?3, ?4)")
        .place(place)
        .bind(3, id)
        .blob(4, mpak::encode(vote))
        .run();
    return id;
}

std::optional<VoteInfo> SqliteVoteStorage::findVote(const SubChannelKey& place, std::uint32_t voteId) const
{
    Statement& select =
        statement("SELECT vote_id, record FROM votes WHERE channel = ?1 AND sub = ?2 AND vote_id = ?3");
    select.place(place).bind(3, voteId);
    std::optional<VoteInfo> found;
    if (select.step()) {
        VoteInfo vote;
        if (select.keyedRecord(0, &VoteInfo::voteId, vote))
            found = std::move(vote);
        select.reset();
    }
    return found;
}

bool SqliteVoteStorage::replaceVote(const SubChannelKey& place, const VoteInfo& vote)
{
    beginWrite();
    Statement& update =
        statement("UPDATE votes SET record = ?4 WHERE channel = ?1 AND sub = ?2 AND vote_id = ?3");
    update.place(place).bind(3, vote.voteId).blob(4, mpak::encode(vote)).run();
    return update.changes() > 0;
}

bool SqliteVoteStorage::removeVote(const SubChannelKey& place, std::uint32_t voteId)
{
    beginWrite();
    Statement& remove = statement("DELETE FROM votes WHERE channel = ?1 AND sub = ?2 AND vote_id = ?3");
    remove.place(place).bind(3, voteId).run();
    return remove.changes() > 0;
}

VoteList SqliteVoteStorage::votes(const SubChannelKey& place) const
{
    Statement& select =
        statement("SELECT vote_id, record FROM votes WHERE channel = ?1 AND sub = ?2 ORDER BY vote_id");
    select.place(place);
    VoteList list;
    while (select.step()) {
        VoteInfo vote;
        if (select.keyedRecord(0, &VoteInfo::voteId, vote))
            list.push_back(std::move(vote));
    }
    return list;
}

std::size_t SqliteVoteStorage::channelVoteCount(std::uint32_t channelId) const
{
    // Counted in the primary key's index, whose entries lead with the channel.
    Statement& count = statement("SELECT count(*) FROM votes WHERE channel = ?1");
    count.bind(1, channelId);
    const std::size_t votes = count.step() ? std::size_t(count.integer(0)) : 0;
    count.reset();
    return votes;
}

std::size_t SqliteVoteStorage::totalVoteCount() const
{
    Statement& count = statement("SELECT count(*) FROM votes");
    const std::size_t votes = count.step() ? std::size_t(count.integer(0)) : 0;
    count.reset();
    return votes;
}

// ---- history ------------------------------------------------------------------------------------

std::uint32_t SqliteVoteStorage::addHistory(const SubChannelKey& place, HistoryEntry entry)
{
    const std::uint32_t key = nextCounter("record_key");
    entry.record.recordKey = key;
    statement("INSERT OR REPLACE INTO history (record_key, channel, sub, ended_at, record) "
              "VALUES (?3, ?1, ?2, ?4, ?5)")
        .place(place)
        .bind(3, key)
        .bind(4, entry.endedAtUnix)
        .blob(5, mpak::encode(entry.record))
        .run();
    statement("INSERT OR REPLACE INTO history_started (record_key, started_at) VALUES (?1, ?2)")
        .bind(1, key)
        .bind(2, entry.startedAtUnix)
        .run();
    return key;
}

std::vector<HistoryEntry> SqliteVoteStorage::history(const SubChannelKey& place, std::int64_t sinceUnix) const
{
    Statement& select = statement("SELECT h.ended_at, h.record_key, h.record, s.started_at FROM history h "
                                  "LEFT JOIN history_started s ON s.record_key = h.record_key "
                                  "WHERE h.channel = ?1 AND h.sub = ?2 AND h.ended_at >= ?3 "
                                  "ORDER BY h.ended_at DESC, h.record_key DESC");
    select.place(place).bind(3, sinceUnix);
    std::vector<HistoryEntry> entries;
    while (select.step()) {
        HistoryEntry entry;
        entry.endedAtUnix = select.integer(0);
        // None (NULL) for an entry from before the start was kept; an implausible one counts as none.
        const std::int64_t startedAt = select.integer(3);
        entry.startedAtUnix = plausibleUnixTime(startedAt) ? startedAt : 0;
        if (select.keyedRecord(1, &VoteHistoryRecord::recordKey, entry.record))
            entries.push_back(std::move(entry));
    }
    return entries;
}

void SqliteVoteStorage::pruneHistory(std::int64_t beforeUnix)
{
    beginWrite();
    statement("DELETE FROM history_started WHERE record_key IN "
              "(SELECT record_key FROM history WHERE ended_at < ?1)")
        .bind(1, beforeUnix)
        .run();
    statement("DELETE FROM history WHERE ended_at < ?1").bind(1, beforeUnix).run();
}

// ---- directory ----------------------------------------------------------------------------------

void SqliteVoteStorage::recordUser(std::uint32_t imid, const DirectoryEntry& entry)
{
    beginWrite();
    Statement& update = statement("UPDATE directory SET uid = ?2, nick = ?3 WHERE imid = ?1");
    update.bind(1, imid).bind(2, entry.uid).bind(3, entry.nick).run();
    if (update.changes() > 0 || m_directorySize >= m_maxDirectoryEntries)
        return;
    statement("INSERT INTO directory (imid, uid, nick) VALUES (?1, ?2, ?3)")
        .bind(1, imid)
        .bind(2, entry.uid)
        .bind(3, entry.nick)
        .run();
    ++m_directorySize;
}

std::optional<DirectoryEntry> SqliteVoteStorage::findUser(std::uint32_t imid) const
{
    Statement& select = statement("SELECT uid, nick FROM directory WHERE imid = ?1");
    select.bind(1, imid);
    std::optional<DirectoryEntry> found;
    if (select.step()) {
        found = DirectoryEntry{std::uint32_t(select.integer(0)), select.text(1)};
        select.reset();
    }
    return found;
}

// ---- schedules ----------------------------------------------------------------------------------

void SqliteVoteStorage::saveSchedule(const VoteSchedule& schedule)
{
    beginWrite();
    statement("INSERT OR REPLACE INTO schedules (channel, sub, vote_id, start_at, starter_uid, starter_nick, "
              "missed) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7)")
        .place(schedule.place)
        .bind(3, schedule.voteId)
        .bind(4, schedule.atUnix)
        .bind(5, schedule.starterUid)
        .bind(6, schedule.starterNick)
        .bind(7, schedule.missed ? 1 : 0)
        .run();
}

bool SqliteVoteStorage::removeSchedule(const SubChannelKey& place, std::uint32_t voteId)
{
    beginWrite();
    Statement& remove = statement("DELETE FROM schedules WHERE channel = ?1 AND sub = ?2 AND vote_id = ?3");
    remove.place(place).bind(3, voteId).run();
    return remove.changes() > 0;
}

std::vector<VoteSchedule> SqliteVoteStorage::readSchedules(Statement& select) const
{
    std::vector<VoteSchedule> found;
    while (select.step()) {
        VoteSchedule schedule;
        schedule.place = {std::uint32_t(select.integer(0)), std::uint32_t(select.integer(1))};
        schedule.voteId = std::uint32_t(select.integer(2));
        schedule.atUnix = select.integer(3);
        schedule.starterUid = std::uint32_t(select.integer(4));
        schedule.starterNick = select.text(5);
        schedule.missed = select.integer(6) != 0;
        if (plausibleUnixTime(schedule.atUnix))
            found.push_back(std::move(schedule));
    }
    return found;
}

std::vector<VoteSchedule> SqliteVoteStorage::schedules(const SubChannelKey& place) const
{
    Statement& select = statement("SELECT channel, sub, vote_id, start_at, starter_uid, starter_nick, missed "
                                  "FROM schedules WHERE channel = ?1 AND sub = ?2 ORDER BY vote_id");
    return readSchedules(select.place(place));
}

std::vector<VoteSchedule> SqliteVoteStorage::dueSchedules(std::int64_t nowUnix, std::size_t limit) const
{
    Statement& select = statement("SELECT channel, sub, vote_id, start_at, starter_uid, starter_nick, missed "
                                  "FROM schedules WHERE missed = 0 AND start_at <= ?1 ORDER BY start_at "
                                  "LIMIT ?2");
    return readSchedules(select.bind(1, nowUnix).bind(2, std::int64_t(limit)));
}

bool SqliteVoteStorage::claimSchedule(const VoteSchedule& schedule)
{
    beginWrite();
    Statement& claim = statement("DELETE FROM schedules WHERE channel = ?1 AND sub = ?2 AND vote_id = ?3 AND "
                                 "start_at = ?4 AND missed = 0");
    claim.place(schedule.place).bind(3, schedule.voteId).bind(4, schedule.atUnix).run();
    return claim.changes() > 0;
}

// ---- open votes ---------------------------------------------------------------------------------

void SqliteVoteStorage::saveOpenVote(const OpenVoteState& state)
{
    removeOpenVote(state.place);
    statement("INSERT INTO open_votes (channel, sub, ji_fang_id, started_at, starter_nick, running, record) "
              "VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7)")
        .place(state.place)
        .bind(3, state.jiFangId)
        .bind(4, state.startedAtUnix)
        .bind(5, state.starterNick)
        .bind(6, state.running ? 1 : 0)
        .blob(7, mpak::encode(state.record))
        .run();
    for (const Ballot& ballot : state.ballots)
        addBallot(state.place, ballot);
}

void SqliteVoteStorage::addBallot(const SubChannelKey& place, const Ballot& ballot)
{
    beginWrite();
    statement("INSERT INTO ballots (channel, sub, uid, option_id, tickets) VALUES (?1, ?2, ?3, ?4, ?5)")
        .place(place)
        .bind(3, ballot.uid)
        .bind(4, ballot.optionId)
        .bind(5, ballot.tickets)
        .run();
}

void SqliteVoteStorage::markOpenVoteEnded(const SubChannelKey& place)
{
    beginWrite();
    statement("UPDATE open_votes SET running = 0 WHERE channel = ?1 AND sub = ?2").place(place).run();
}

void SqliteVoteStorage::removeOpenVote(const SubChannelKey& place)
{
    beginWrite();
    statement("DELETE FROM open_votes WHERE channel = ?1 AND sub = ?2").place(place).run();
    statement("DELETE FROM ballots WHERE channel = ?1 AND sub = ?2").place(place).run();
}

std::vector<OpenVoteState> SqliteVoteStorage::openVotes() const
{
    std::vector<OpenVoteState> states;
    Statement& select = statement(
        "SELECT channel, sub, ji_fang_id, started_at, starter_nick, running, record FROM open_votes");
    while (select.step()) {
        OpenVoteState state;
        state.place = {std::uint32_t(select.integer(0)), std::uint32_t(select.integer(1))};
        state.jiFangId = std::uint32_t(select.integer(2));
        state.startedAtUnix = select.integer(3);
        state.starterNick = select.text(4);
        state.running = select.integer(5) != 0;
        if (plausibleUnixTime(state.startedAtUnix) && select.record(6, state.record))
            states.push_back(std::move(state));
    }
    Statement& ballots =
        statement("SELECT uid, option_id, tickets FROM ballots WHERE channel = ?1 AND sub = ?2 "
                  "ORDER BY rowid");
    for (OpenVoteState& state : states) {
        ballots.place(state.place);
        while (ballots.step())
            state.ballots.push_back(Ballot{std::uint32_t(ballots.integer(0)),
                                           std::uint32_t(ballots.integer(1)),
                                           std::uint32_t(ballots.integer(2))});
    }
    return states;
}

// ---- webhooks -----------------------------------------------------------------------------------

void SqliteVoteStorage::setWebhook(std::uint32_t channelId, const WebhookConfig& config)
{
    beginWrite();
    statement("INSERT OR REPLACE INTO webhooks (channel, url, secret, progress) VALUES (?1, ?2, ?3, ?4)")
        .bind(1, std::int64_t(channelId))
        .bind(2, config.url)
        .bind(3, config.secret)
        .bind(4, config.progress ? 1 : 0)
        .run();
}

std::optional<WebhookConfig> SqliteVoteStorage::findWebhook(std::uint32_t channelId) const
{
    Statement& query = statement("SELECT url, secret, progress FROM webhooks WHERE channel = ?1");
    query.bind(1, std::int64_t(channelId));
    if (!query.step())
        return std::nullopt;
    WebhookConfig config{query.text(0), query.text(1), query.integer(2) != 0};
    query.reset();
    return config;
}

bool SqliteVoteStorage::removeWebhook(std::uint32_t channelId)
{
    beginWrite();
    Statement& remove = statement("DELETE FROM webhooks WHERE channel = ?1");
    remove.bind(1, std::int64_t(channelId)).run();
    return remove.changes() > 0;
}

std::int64_t SqliteVoteStorage::webhookHead(std::uint32_t channelId) const
{
    Statement& query = statement("SELECT min(id) FROM webhook_events WHERE channel = ?1");
    query.bind(1, std::int64_t(channelId));
    const std::int64_t head = query.step() ? query.integer(0) : 0;
    query.reset();
    return head;
}

std::size_t SqliteVoteStorage::queueWebhookEvent(WebhookEvent event, std::size_t maxPerChannel,
                                                 std::int64_t nowUnix)
{
    beginWrite();
    const auto channel = std::int64_t(event.channelId);
    const std::size_t length = webhookQueueLength(event.channelId);
    if (length == 0) {
        statement("INSERT OR REPLACE INTO webhook_heads (channel, free_at) VALUES (?1, ?2)")
            .bind(1, channel)
            .bind(2, nowUnix)
            .run();
    }
    if (event.replaceable && length > 1) {
        Statement& replace =
            statement("UPDATE webhook_events SET body = ?2 WHERE id = (SELECT max(id) FROM webhook_events "
                      "WHERE channel = ?1) AND replaceable = 1 AND CASE WHEN json_valid(body) THEN "
                      "json_extract(body, '$.subChannelId') END = ?3");
        replace.bind(1, channel).bind(2, event.body).bind(3, std::int64_t(event.subChannelId)).run();
        if (replace.changes() > 0)
            return 0;
    }
    std::size_t dropped = 0;
    if (length >= std::max<std::size_t>(maxPerChannel, 2)) {
        statement("DELETE FROM webhook_events WHERE id = (SELECT id FROM webhook_events WHERE channel = ?1 "
                  "ORDER BY id LIMIT 1 OFFSET 1)")
            .bind(1, channel)
            .run();
        dropped = 1;
    }
    statement("INSERT INTO webhook_events (channel, created_at, attempts, replaceable, body) "
              "VALUES (?1, ?2, 0, ?3, ?4)")
        .bind(1, channel)
        .bind(2, event.createdAtUnix)
        .bind(3, event.replaceable ? 1 : 0)
        .bind(4, event.body)
        .run();
    return dropped;
}

std::optional<WebhookEvent> SqliteVoteStorage::claimWebhookEvent(std::int64_t nowUnix,
                                                                 std::int64_t leaseSeconds)
{
    Statement& due = statement("SELECT e.id, e.channel, e.created_at, e.attempts, e.replaceable, e.body "
                               "FROM webhook_heads h JOIN webhook_events e ON e.id = (SELECT min(id) FROM "
                               "webhook_events WHERE channel = h.channel) WHERE h.free_at <= ?1 LIMIT 1");
    due.bind(1, nowUnix);
    if (!due.step())
        return std::nullopt;
    WebhookEvent event;
    event.id = std::uint64_t(due.integer(0));
    event.channelId = std::uint32_t(due.integer(1));
    event.createdAtUnix = due.integer(2);
    event.attempts = std::uint32_t(due.integer(3));
    event.replaceable = due.integer(4) != 0;
    event.body = due.text(5);
    due.reset();
    beginWrite();
    statement("UPDATE webhook_heads SET free_at = ?2 WHERE channel = ?1")
        .bind(1, std::int64_t(event.channelId))
        .bind(2, nowUnix + leaseSeconds)
        .run();
    return event;
}

bool SqliteVoteStorage::finishWebhookEvent(const WebhookEvent& event)
{
    if (webhookHead(event.channelId) != std::int64_t(event.id))
        return false;
    beginWrite();
    const auto channel = std::int64_t(event.channelId);
    statement("DELETE FROM webhook_events WHERE id = ?1").bind(1, std::int64_t(event.id)).run();
    if (webhookHead(event.channelId) == 0)
        statement("DELETE FROM webhook_heads WHERE channel = ?1").bind(1, channel).run();
    else
        statement("UPDATE webhook_heads SET free_at = 0 WHERE channel = ?1").bind(1, channel).run();
    return true;
}

void SqliteVoteStorage::retryWebhookEvent(const WebhookEvent& event, std::int64_t dueAtUnix)
{
    if (webhookHead(event.channelId) != std::int64_t(event.id))
        return;
    beginWrite();
    statement("UPDATE webhook_events SET attempts = attempts + 1 WHERE id = ?1")
        .bind(1, std::int64_t(event.id))
        .run();
    statement("UPDATE webhook_heads SET free_at = ?2 WHERE channel = ?1")
        .bind(1, std::int64_t(event.channelId))
        .bind(2, dueAtUnix)
        .run();
}

std::size_t SqliteVoteStorage::webhookQueueLength(std::uint32_t channelId) const
{
    Statement& query = statement("SELECT count(*) FROM webhook_events WHERE channel = ?1");
    query.bind(1, std::int64_t(channelId));
    const std::size_t length = query.step() ? std::size_t(query.integer(0)) : 0;
    query.reset();
    return length;
}

} // namespace quorix::service
