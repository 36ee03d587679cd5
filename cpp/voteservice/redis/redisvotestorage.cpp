#include "voteservice/redis/redisvotestorage.h"

#include "voteservice/redis/rediskeys.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace quorix::service {

namespace {

std::string text(const redisReply* reply)
{
    return reply != nullptr && reply->type == REDIS_REPLY_STRING ? std::string(reply->str, reply->len)
                                                                 : std::string();
}

// "option count option count ..." as the end script wrote it.
U32Map parseCounts(const std::string& counts)
{
    U32Map parsed;
    std::istringstream in(counts);
    std::uint32_t optionId = 0, tickets = 0;
    while (in >> optionId >> tickets)
        parsed[optionId] = tickets;
    return parsed;
}

// The member of the index of pending schedules: "C:S:voteId:at".
std::string scheduledMember(const SubChannelKey& place, std::uint32_t voteId, std::int64_t atUnix)
{
    return RedisKeys::place(place) + ":" + std::to_string(voteId) + ":" + std::to_string(atUnix);
}

// A schedules hash value, "<at> <missed> <uid> <nick>"; false when it is not one.
bool parseSchedule(const std::string& value, VoteSchedule& schedule)
{
    long long at = 0;
    unsigned missed = 0, uid = 0;
    int nickAt = 0;
    if (std::sscanf(value.c_str(), "%lld %u %u %n", &at, &missed, &uid, &nickAt) != 3 || nickAt == 0)
        return false;
    schedule.atUnix = at;
    schedule.missed = missed != 0;
    schedule.starterUid = uid;
    schedule.starterNick = value.substr(std::size_t(nickAt));
    return true;
}

} // namespace

RedisVoteStorage::RedisVoteStorage(RedisCommands& connection, RedisScripts& scripts,
                                   const RedisReplicaWait& replicaWait)
    : m_connection(&connection), m_scripts(&scripts), m_replicaWait(&replicaWait), m_webhooks(connection)
{}

void RedisVoteStorage::confirmed()
{
    if (!m_replicaWait->confirm(*m_connection))
        throw StorageUnavailable("Redis replicas did not confirm the change in time");
}

bool RedisVoteStorage::answers(std::string& reason)
{
    const RedisReply reply = m_connection->command({"PING"});
    if (reply && reply->type == REDIS_REPLY_STATUS)
        return true;
    reason = "Redis cannot be reached";
    return false;
}

RedisReply RedisVoteStorage::must(const RedisConnection::Args& args, int type) const
{
    RedisReply reply = m_connection->command(args);
    if (!reply || reply->type != type)
        throw StorageUnavailable("Redis did not answer " + args.front());
    return reply;
}

bool RedisVoteStorage::script(RedisScripts::Id id, const SubChannelKey& place,
                              const RedisConnection::Args& args, const char* totalChange)
{
    const RedisReply reply = m_scripts->call(
        *m_connection, id, {RedisKeys::votes(place), RedisKeys::channelVoteCount(place.channelId)}, args);
    if (!reply || reply->type != REDIS_REPLY_INTEGER)
        throw StorageUnavailable("Redis did not change the stored votes");
    const bool changed = reply->integer == 1;
    // The count of all channels lies in a slot of its own: a process that dies between the two
    // steps leaves it one off, which only moves the cap on all votes by one.
    if (changed)
        must({totalChange, RedisKeys::voteTotal()}, REDIS_REPLY_INTEGER);
    confirmed();
    return changed;
}

std::size_t RedisVoteStorage::counter(const RedisConnection::Args& args) const
{
    const RedisReply reply = m_connection->command(args);
    if (!reply || (reply->type != REDIS_REPLY_STRING && reply->type != REDIS_REPLY_NIL))
        throw StorageUnavailable("Redis did not answer " + args.front());
    // Votes stored before the counters existed may leave one below zero after their removal.
    const long long value = std::strtoll(text(reply.get()).c_str(), nullptr, 10);
    return value > 0 ? std::size_t(value) : 0;
}

std::uint32_t RedisVoteStorage::addVote(const SubChannelKey& place, VoteInfo vote)
{
    const RedisReply id = must({"INCR", RedisKeys::voteCounter()}, REDIS_REPLY_INTEGER);
    vote.voteId = std::uint32_t(id->integer);
    script(RedisScripts::StoreVote, place, {std::to_string(vote.voteId), mpak::encode(vote)}, "INCR");
    return vote.voteId;
}

std::optional<VoteInfo> RedisVoteStorage::findVote(const SubChannelKey& place, std::uint32_t voteId) const
{
    const RedisReply reply = m_connection->command({"HGET", RedisKeys::votes(place), std::to_string(voteId)});
    if (!reply || (reply->type != REDIS_REPLY_STRING && reply->type != REDIS_REPLY_NIL))
        throw StorageUnavailable("Redis did not answer HGET");
    VoteInfo vote;
    if (reply->type == REDIS_REPLY_NIL || !mpak::decode(text(reply.get()), vote))
        return std::nullopt;
    return vote;
}

bool RedisVoteStorage::replaceVote(const SubChannelKey& place, const VoteInfo& vote)
{
    const std::string field = std::to_string(vote.voteId);
    if (must({"HEXISTS", RedisKeys::votes(place), field}, REDIS_REPLY_INTEGER)->integer == 0)
        return false;
    must({"HSET", RedisKeys::votes(place), field, mpak::encode(vote)}, REDIS_REPLY_INTEGER);
    confirmed();
    return true;
}

bool RedisVoteStorage::removeVote(const SubChannelKey& place, std::uint32_t voteId)
{
    return script(RedisScripts::RemoveVote, place, {std::to_string(voteId)}, "DECR");
}

VoteList RedisVoteStorage::votes(const SubChannelKey& place) const
{
    const RedisReply reply = must({"HVALS", RedisKeys::votes(place)}, REDIS_REPLY_ARRAY);
    VoteList list;
    for (std::size_t i = 0; i < reply->elements; ++i) {
        VoteInfo vote;
        if (mpak::decode(text(reply->element[i]), vote))
            list.push_back(std::move(vote));
    }
    // Ids grow with every new vote, so this is the order they were created in.
    std::sort(list.begin(), list.end(),
              [](const VoteInfo& a, const VoteInfo& b) { return a.voteId < b.voteId; });
    return list;
}

std::size_t RedisVoteStorage::channelVoteCount(std::uint32_t channelId) const
{
    return counter({"GET", RedisKeys::channelVoteCount(channelId)});
}

std::size_t RedisVoteStorage::totalVoteCount() const
{
    return counter({"GET", RedisKeys::voteTotal()});
}

std::uint32_t RedisVoteStorage::addHistory(const SubChannelKey& place, HistoryEntry entry)
{
    const RedisReply key = must({"INCR", RedisKeys::historyCounter()}, REDIS_REPLY_INTEGER);
    const std::string field = std::to_string(key->integer);
    entry.record.recordKey = std::uint32_t(key->integer);
    must({"HSET", RedisKeys::historyRecords(place), field, mpak::encode(entry.record)}, REDIS_REPLY_INTEGER);
    must({"HSET", RedisKeys::historyStarts(place), field, std::to_string(entry.startedAtUnix)},
         REDIS_REPLY_INTEGER);
    must({"ZADD", RedisKeys::historyIndex(place), std::to_string(entry.endedAtUnix), field},
         REDIS_REPLY_INTEGER);
    // The channel's index entry first, so that a pruning that raced it cannot drop it.
    must({"ZADD", RedisKeys::historyChannels(), std::to_string(entry.endedAtUnix),
          std::to_string(place.channelId)},
         REDIS_REPLY_INTEGER);
    must({"SADD", RedisKeys::historyPlaces(place.channelId), RedisKeys::place(place)}, REDIS_REPLY_INTEGER);
    return entry.record.recordKey;
}

std::vector<HistoryEntry> RedisVoteStorage::history(const SubChannelKey& place, std::int64_t sinceUnix) const
{
    const RedisReply index = must(
        {"ZREVRANGEBYSCORE", RedisKeys::historyIndex(place), "+inf", std::to_string(sinceUnix), "WITHSCORES"},
        REDIS_REPLY_ARRAY);
    std::vector<HistoryEntry> entries;
    if (index->elements == 0)
        return entries;
    RedisConnection::Args records{"HMGET", RedisKeys::historyRecords(place)};
    RedisConnection::Args counts{"HMGET", RedisKeys::historyCounts(place)};
    RedisConnection::Args starts{"HMGET", RedisKeys::historyStarts(place)};
    for (std::size_t i = 0; i + 1 < index->elements; i += 2) {
        records.push_back(text(index->element[i]));
        counts.push_back(text(index->element[i]));
        starts.push_back(text(index->element[i]));
    }
    const RedisReply recordReply = must(records, REDIS_REPLY_ARRAY);
    const RedisReply countReply = must(counts, REDIS_REPLY_ARRAY);
    const RedisReply startReply = must(starts, REDIS_REPLY_ARRAY);
    for (std::size_t i = 0; i < recordReply->elements && i < countReply->elements && i < startReply->elements;
         ++i) {
        HistoryEntry entry;
        if (!mpak::decode(text(recordReply->element[i]), entry.record))
            continue;
        entry.record.recordKey = std::uint32_t(std::strtoul(records[i + 2].c_str(), nullptr, 10));
        entry.endedAtUnix = std::strtoll(text(index->element[2 * i + 1]).c_str(), nullptr, 10);
        // Missing (read as 0) for an entry written before the start was kept.
        entry.startedAtUnix = std::strtoll(text(startReply->element[i]).c_str(), nullptr, 10);
        // Counts the shared state ended the vote with replace those the ending process had seen.
        if (countReply->element[i]->type == REDIS_REPLY_STRING)
            entry.record.optionTickets = parseCounts(text(countReply->element[i]));
        entries.push_back(std::move(entry));
    }
    return entries;
}

void RedisVoteStorage::pruneHistory(std::int64_t beforeUnix)
{
    const std::string before = std::to_string(beforeUnix);
    for (std::size_t from = 0;;) {
        const RedisReply channels = must({"ZRANGEBYSCORE", RedisKeys::historyChannels(), "-inf", "+inf",
                                          "LIMIT", std::to_string(from), std::to_string(kChannelsPerPage)},
                                         REDIS_REPLY_ARRAY);
        // The channels dropped from the index no longer count towards the next page's start.
        for (std::size_t i = 0; i < channels->elements; ++i)
            from += pruneChannel(text(channels->element[i]), beforeUnix) ? 0 : 1;
        if (channels->elements < kChannelsPerPage)
            break;
    }
    const RedisReply users = m_scripts->call(*m_connection, RedisScripts::PruneUsers,
                                             {RedisKeys::users(), RedisKeys::usersSeen()}, {before});
    if (!users || users->type != REDIS_REPLY_INTEGER)
        throw StorageUnavailable("Redis did not prune the user directory");
}

bool RedisVoteStorage::pruneChannel(const std::string& channel, std::int64_t beforeUnix)
{
    const auto channelId = std::uint32_t(std::strtoul(channel.c_str(), nullptr, 10));
    const RedisReply members = must({"SMEMBERS", RedisKeys::historyPlaces(channelId)}, REDIS_REPLY_ARRAY);
    RedisConnection::Args keys{RedisKeys::historyPlaces(channelId)};
    RedisConnection::Args args{std::to_string(beforeUnix)};
    for (std::size_t i = 0; i < members->elements; ++i) {
        SubChannelKey place;
        const std::string member = text(members->element[i]);
        if (std::sscanf(member.c_str(), "%u:%u", &place.channelId, &place.subChannelId) != 2 ||
            place.channelId != channelId)
            continue;
        for (const std::string& key : {RedisKeys::historyIndex(place), RedisKeys::historyRecords(place),
                                       RedisKeys::historyCounts(place), RedisKeys::historyStarts(place)})
            keys.push_back(key);
        args.push_back(member);
    }
    const RedisReply left = m_scripts->call(*m_connection, RedisScripts::PruneHistory, keys, args);
    if (!left || left->type != REDIS_REPLY_INTEGER)
        throw StorageUnavailable("Redis did not prune the history");
    // A channel added to since the cut keeps its entry (its node raised the score first).
    if (left->integer != 0)
        return false;
    const RedisReply forgotten =
        m_scripts->call(*m_connection, RedisScripts::ForgetChannel, {RedisKeys::historyChannels()},
                        {channel, std::to_string(beforeUnix)});
    return forgotten && forgotten->type == REDIS_REPLY_INTEGER && forgotten->integer == 1;
}

void RedisVoteStorage::recordUser(std::uint32_t imid, const DirectoryEntry& entry)
{
    // Nobody waits for it: it travels with the next round trip.
    const std::string field = std::to_string(imid);
    m_connection->append({"HSET", RedisKeys::users(), field, std::to_string(entry.uid) + " " + entry.nick},
                         [](const redisReply*) {});
    if (entry.seenAtUnix > 0)
        m_connection->append({"ZADD", RedisKeys::usersSeen(), std::to_string(entry.seenAtUnix), field},
                             [](const redisReply*) {});
}

std::optional<DirectoryEntry> RedisVoteStorage::findUser(std::uint32_t imid) const
{
    const RedisReply reply = m_connection->command({"HGET", RedisKeys::users(), std::to_string(imid)});
    if (!reply || (reply->type != REDIS_REPLY_STRING && reply->type != REDIS_REPLY_NIL))
        throw StorageUnavailable("Redis did not answer HGET");
    const std::string value = text(reply.get());
    const std::size_t space = value.find(' ');
    if (space == std::string::npos)
        return std::nullopt;
    return DirectoryEntry{std::uint32_t(std::strtoul(value.c_str(), nullptr, 10)), value.substr(space + 1)};
}

std::optional<VoteSchedule> RedisVoteStorage::findSchedule(const SubChannelKey& place,
                                                           std::uint32_t voteId) const
{
    const RedisReply reply =
        m_connection->command({"HGET", RedisKeys::schedules(place), std::to_string(voteId)});
    if (!reply || (reply->type != REDIS_REPLY_STRING && reply->type != REDIS_REPLY_NIL))
        throw StorageUnavailable("Redis did not answer HGET");
    VoteSchedule schedule;
    schedule.place = place;
    schedule.voteId = voteId;
    if (reply->type == REDIS_REPLY_NIL || !parseSchedule(text(reply.get()), schedule))
        return std::nullopt;
    return schedule;
}

void RedisVoteStorage::saveSchedule(const VoteSchedule& schedule)
{
    // The pending entry it replaces leaves the index first, so that no node starts it.
    if (const auto before = findSchedule(schedule.place, schedule.voteId); before && !before->missed)
        must({"ZREM", RedisKeys::scheduled(),
              scheduledMember(schedule.place, schedule.voteId, before->atUnix)},
             REDIS_REPLY_INTEGER);
    const std::string value = std::to_string(schedule.atUnix) + (schedule.missed ? " 1 " : " 0 ") +
                              std::to_string(schedule.starterUid) + " " + schedule.starterNick;
    must({"HSET", RedisKeys::schedules(schedule.place), std::to_string(schedule.voteId), value},
         REDIS_REPLY_INTEGER);
    if (!schedule.missed)
        must({"ZADD", RedisKeys::scheduled(), std::to_string(schedule.atUnix),
              scheduledMember(schedule.place, schedule.voteId, schedule.atUnix)},
             REDIS_REPLY_INTEGER);
    confirmed();
}

bool RedisVoteStorage::removeSchedule(const SubChannelKey& place, std::uint32_t voteId)
{
    const auto before = findSchedule(place, voteId);
    if (!before)
        return false;
    if (!before->missed)
        must({"ZREM", RedisKeys::scheduled(), scheduledMember(place, voteId, before->atUnix)},
             REDIS_REPLY_INTEGER);
    must({"HDEL", RedisKeys::schedules(place), std::to_string(voteId)}, REDIS_REPLY_INTEGER);
    confirmed();
    return true;
}

std::vector<VoteSchedule> RedisVoteStorage::schedules(const SubChannelKey& place) const
{
    const RedisReply reply = must({"HGETALL", RedisKeys::schedules(place)}, REDIS_REPLY_ARRAY);
    std::vector<VoteSchedule> found;
    for (std::size_t i = 0; i + 1 < reply->elements; i += 2) {
        VoteSchedule schedule;
        schedule.place = place;
        schedule.voteId = std::uint32_t(std::strtoul(text(reply->element[i]).c_str(), nullptr, 10));
        if (schedule.voteId != 0 && parseSchedule(text(reply->element[i + 1]), schedule))
            found.push_back(std::move(schedule));
    }
    std::sort(found.begin(), found.end(),
              [](const VoteSchedule& a, const VoteSchedule& b) { return a.voteId < b.voteId; });
    return found;
}

std::vector<VoteSchedule> RedisVoteStorage::dueSchedules(std::int64_t nowUnix, std::size_t limit) const
{
    const RedisReply due = must({"ZRANGEBYSCORE", RedisKeys::scheduled(), "-inf", std::to_string(nowUnix),
                                 "LIMIT", "0", std::to_string(limit)},
                                REDIS_REPLY_ARRAY);
    std::vector<VoteSchedule> found;
    for (std::size_t i = 0; i < due->elements; ++i) {
        SubChannelKey place;
        unsigned voteId = 0;
        long long at = 0;
        const std::string member = text(due->element[i]);
        if (std::sscanf(member.c_str(), "%u:%u:%u:%lld", &place.channelId, &place.subChannelId, &voteId,
                        &at) != 4)
            continue;
        const auto schedule = findSchedule(place, voteId);
        if (schedule && !schedule->missed && schedule->atUnix == at)
            found.push_back(*schedule);
        else // left by a node that stopped between the two writes of a change
            must({"ZREM", RedisKeys::scheduled(), member}, REDIS_REPLY_INTEGER);
    }
    return found;
}

bool RedisVoteStorage::claimSchedule(const VoteSchedule& schedule)
{
    // One ZREM removes the member: the node that got 1 owns the start.
    const RedisReply claimed = must(
        {"ZREM", RedisKeys::scheduled(), scheduledMember(schedule.place, schedule.voteId, schedule.atUnix)},
        REDIS_REPLY_INTEGER);
    if (claimed->integer != 1)
        return false;
    must({"HDEL", RedisKeys::schedules(schedule.place), std::to_string(schedule.voteId)},
         REDIS_REPLY_INTEGER);
    confirmed();
    return true;
}

bool RedisVoteStorage::commit()
{
    m_connection->flush();
    return true;
}

} // namespace quorix::service
