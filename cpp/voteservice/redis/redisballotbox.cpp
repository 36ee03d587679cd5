#include "voteservice/redis/redisballotbox.h"

#include "voteservice/redis/rediskeys.h"
#include "voteservice/core/resultcode.h"

#include <cstdio>
#include <cstdlib>
#include <map>

namespace quorix::service {

namespace {

std::string text(const redisReply* reply)
{
    return reply != nullptr && (reply->type == REDIS_REPLY_STRING || reply->type == REDIS_REPLY_STATUS)
               ? std::string(reply->str, reply->len)
               : std::string();
}

std::int64_t number(const redisReply* reply)
{
    return std::strtoll(text(reply).c_str(), nullptr, 10);
}

// A flat [field, value, field, value...] reply of numbers.
std::map<std::uint32_t, std::uint32_t> numberPairs(const redisReply& reply)
{
    std::map<std::uint32_t, std::uint32_t> pairs;
    for (std::size_t i = 0; i + 1 < reply.elements; i += 2)
        pairs[std::uint32_t(number(reply.element[i]))] = std::uint32_t(number(reply.element[i + 1]));
    return pairs;
}

template <class Map> std::string joinedKeys(const Map& map)
{
    std::string joined;
    for (const auto& entry : map)
        joined += std::to_string(entry.first) + " ";
    return joined;
}

bool positive(const redisReply& reply)
{
    return reply.integer > 0;
}

bool isDecided(const redisReply* reply)
{
    return reply != nullptr && reply->type == REDIS_REPLY_INTEGER &&
           reply->integer != RedisBallots::kPastDeadline;
}

} // namespace

RedisBallotBox::RedisBallotBox(RedisCommands& connection, RedisScripts& scripts, RedisBus& bus,
                               RedisBallots& ballots, RedisReplicaWait& replicaWait)
    : m_connection(connection), m_scripts(scripts), m_bus(bus), m_ballots(ballots), m_replicaWait(replicaWait)
{}

RedisReply RedisBallotBox::callOnce(RedisScripts::Id id, const SubChannelKey& place,
                                    RedisConnection::Args keys, RedisConnection::Args args,
                                    bool (*changed)(const redisReply&))
{
    const RedisBallot ballot = m_ballots.next(place.channelId);
    keys.push_back(ballot.key);
    args.push_back(std::to_string(ballot.deadlineMs));
    RedisReply reply = m_scripts.call(m_connection, id, keys, args, ballot.retry);
    if (!isDecided(reply.get()))
        return nullptr;
    if (changed(*reply) && !m_replicaWait.confirm(m_connection))
        return nullptr;
    return reply;
}

RedisConnection::Args RedisBallotBox::openKeys(const SubChannelKey& place)
{
    return {RedisKeys::open(place), RedisKeys::counts(place), RedisKeys::tickets(place)};
}

std::uint32_t RedisBallotBox::start(const SubChannelKey& place, const VoteInfo& record, std::int64_t nowUnix,
                                    const std::string& starterNick, SharedOpenVote& opened)
{
    const std::int64_t endsAt = nowUnix + std::int64_t(record.limitTime);
    if (!indexChannel(RedisKeys::runningChannels(), place, endsAt))
        return kResultStartStorageError;
    RedisConnection::Args keys = openKeys(place);
    keys.push_back(RedisKeys::jiFangCounter(place.channelId));
    keys.push_back(RedisKeys::deadlines(place.channelId));
    const RedisReply reply =
        callOnce(RedisScripts::Start, place, keys,
                 {std::to_string(nowUnix), std::to_string(record.voteId), std::to_string(record.voteType),
                  std::to_string(record.ticketLimit(kTicketsPerUser)),
                  std::to_string(record.ticketLimit(kTicketsPerOption)), std::to_string(endsAt), starterNick,
                  mpak::encode(record), joinedKeys(record.options), joinedKeys(record.judges),
                  RedisKeys::place(place)},
                 positive);
    if (!reply)
        return kResultStartStorageError;
    if (reply->integer == 0)
        return kResultAnotherVoteOpen;
    opened.record = record;
    opened.jiFangId = std::uint32_t(reply->integer);
    opened.running = true;
    opened.startedAtUnix = nowUnix;
    opened.endsAtUnix = endsAt;
    opened.starterNick = starterNick;
    m_seen[place] = opened;
    return kResultOk;
}

const SharedOpenVote* RedisBallotBox::find(const SubChannelKey& place) const
{
    const auto it = m_seen.find(place);
    return it == m_seen.end() ? nullptr : &it->second;
}

bool RedisBallotBox::refresh(const SubChannelKey& place)
{
    std::optional<SharedOpenVote> vote;
    if (!load(place, vote))
        return false;
    if (vote)
        m_seen[place] = std::move(*vote);
    else
        m_seen.erase(place);
    return true;
}

bool RedisBallotBox::load(const SubChannelKey& place, std::optional<SharedOpenVote>& vote)
{
    const RedisReply reply = m_scripts.call(m_connection, RedisScripts::View, openKeys(place), {});
    if (!reply || reply->type != REDIS_REPLY_ARRAY)
        return false;
    if (reply->elements == 0) {
        vote.reset();
        return true;
    }
    SharedOpenVote shared;
    if (!parseView(*reply, shared))
        return false;
    vote = std::move(shared);
    return true;
}

bool RedisBallotBox::parseView(const redisReply& reply, SharedOpenVote& vote)
{
    if (reply.elements != 3 || reply.element[0]->elements != 8)
        return false;
    redisReply** fields = reply.element[0]->element;
    if (!mpak::decode(text(fields[6]), vote.record))
        return false;
    vote.jiFangId = std::uint32_t(number(fields[1]));
    vote.running = text(fields[2]) == "1";
    vote.startedAtUnix = number(fields[3]);
    vote.endsAtUnix = number(fields[4]);
    vote.starterNick = text(fields[5]);
    const auto counts = numberPairs(*reply.element[1]);
    for (auto& [optionId, tickets] : vote.record.optionTickets) {
        const auto it = counts.find(optionId);
        tickets = it == counts.end() ? 0 : it->second;
    }
    const auto points = numberPairs(*reply.element[2]);
    for (auto& [uid, judge] : vote.record.judges) {
        const auto it = points.find(uid);
        judge.points = it == points.end() ? 0 : it->second;
    }
    return true;
}

void RedisBallotBox::cast(const SubChannelKey& place, std::uint32_t uid, const PUserVoteReq& req,
                          Answer answer)
{
    if (m_connection.queued() >= kMaxQueued)
        m_connection.flush();
    const RedisBallot ballot = m_ballots.next(place.channelId);
    RedisConnection::Args keys = openKeys(place);
    keys.push_back(ballot.key);
    m_replicaWait.queued();
    m_scripts.callLater(
        m_connection, RedisScripts::Cast, keys,
        {std::to_string(req.voteId), std::to_string(req.jiFangId), std::to_string(req.voteType),
         std::to_string(uid), std::to_string(req.optionId), std::to_string(req.tickets),
         std::to_string(ballot.deadlineMs)},
        [this, answer = std::move(answer)](const redisReply* reply) mutable {
            m_replicaWait.hold(isDecided(reply) ? std::uint32_t(reply->integer)
                                                : std::uint32_t(kResultStorageUnavailable),
                               std::move(answer));
        },
        ballot.retry);
}

bool RedisBallotBox::ticketUse(const SubChannelKey& place, std::uint32_t uid, const VoteInfo& record,
                               TicketUse& use)
{
    // A judge's points are not tickets: a single process reports none used either.
    if (record.voteType == kJudgeVote)
        return true;
    RedisConnection::Args args{"HMGET", RedisKeys::tickets(place), std::to_string(uid)};
    for (const auto& [optionId, name] : record.options)
        args.push_back(std::to_string(uid) + ":" + std::to_string(optionId));
    const RedisReply reply = m_connection.command(args);
    if (!reply || reply->type != REDIS_REPLY_ARRAY || reply->elements != args.size() - 2)
        return false;
    use.used = std::uint32_t(number(reply->element[0]));
    std::size_t i = 1;
    for (const auto& [optionId, name] : record.options) {
        const auto used = std::uint32_t(number(reply->element[i++]));
        if (used != 0)
            use.perOption[optionId] = used;
    }
    return true;
}

std::uint32_t RedisBallotBox::end(const SubChannelKey& place, std::uint32_t voteId, std::uint32_t jiFangId,
                                  const HistoryEntry& entry)
{
    // The record key comes from the counter of all channels, in its own slot: one it hands out for
    // a vote that turns out not running stays unused.
    const RedisReply recordKey = m_connection.command({"INCR", RedisKeys::historyCounter()});
    if (!recordKey || recordKey->type != REDIS_REPLY_INTEGER ||
        !indexChannel(RedisKeys::historyChannels(), place, entry.endedAtUnix))
        return kResultEndStorageError;
    const RedisReply reply = callOnce(
        RedisScripts::End, place,
        {RedisKeys::open(place), RedisKeys::counts(place), RedisKeys::historyIndex(place),
         RedisKeys::historyRecords(place), RedisKeys::historyCounts(place), RedisKeys::historyStarts(place),
         RedisKeys::historyPlaces(place.channelId), RedisKeys::deadlines(place.channelId)},
        {std::to_string(voteId), std::to_string(jiFangId), std::to_string(entry.endedAtUnix),
         mpak::encode(entry.record), RedisKeys::place(place), std::to_string(entry.startedAtUnix),
         std::to_string(recordKey->integer)},
        positive);
    if (!reply)
        return kResultEndStorageError;
    return reply->integer > 0 ? kResultOk : kResultEndNotFound;
}

std::uint32_t RedisBallotBox::close(const SubChannelKey& place, std::uint32_t voteId, std::uint32_t jiFangId)
{
    RedisConnection::Args keys = openKeys(place);
    keys.push_back(RedisKeys::deadlines(place.channelId));
    const RedisReply reply =
        callOnce(RedisScripts::Close, place, keys,
                 {std::to_string(voteId), std::to_string(jiFangId), RedisKeys::place(place)}, positive);
    if (!reply)
        return kResultStorageUnavailable;
    if (reply->integer != 1)
        return kResultNotFound;
    m_seen.erase(place);
    return kResultOk;
}

bool RedisBallotBox::indexChannel(const std::string& index, const SubChannelKey& place, std::int64_t score)
{
    const RedisReply reply =
        m_connection.command({"ZADD", index, std::to_string(score), std::to_string(place.channelId)});
    return reply && reply->type == REDIS_REPLY_INTEGER;
}

std::vector<SubChannelKey> RedisBallotBox::expired(std::int64_t nowUnix)
{
    std::vector<SubChannelKey> places;
    const RedisReply channels =
        m_connection.command({"ZRANGEBYSCORE", RedisKeys::runningChannels(), "-inf", "+inf", "LIMIT",
                              std::to_string(m_scanFrom), std::to_string(kChannelsPerLook)});
    if (!channels || channels->type != REDIS_REPLY_ARRAY)
        return places;
    m_scanFrom = channels->elements < kChannelsPerLook ? 0 : m_scanFrom + kChannelsPerLook;
    std::vector<std::string> idle;
    for (std::size_t i = 0; i < channels->elements; ++i) {
        const std::string channel = text(channels->element[i]);
        const auto channelId = std::uint32_t(std::strtoul(channel.c_str(), nullptr, 10));
        // The earliest deadlines of the channel; none left when its last running vote ended.
        m_connection.append({"ZRANGEBYSCORE", RedisKeys::deadlines(channelId), "-inf", "+inf", "WITHSCORES",
                             "LIMIT", "0", std::to_string(kMaxExpiredPerLook)},
                            [&places, &idle, channel, nowUnix](const redisReply* reply) {
                                if (reply == nullptr || reply->type != REDIS_REPLY_ARRAY)
                                    return;
                                if (reply->elements == 0)
                                    idle.push_back(channel);
                                takeExpired(*reply, nowUnix, places);
                            });
    }
    m_connection.flush();
    // A channel's entry outlives its last deadline by a while, so that a node whose clock is behind
    // still raises it before a scan would drop it.
    for (const std::string& channel : idle)
        m_scripts.callLater(m_connection, RedisScripts::ForgetChannel, {RedisKeys::runningChannels()},
                            {channel, std::to_string(nowUnix - kIdleChannelSeconds)},
                            [](const redisReply*) {});
    if (places.size() > kMaxExpiredPerLook)
        places.resize(kMaxExpiredPerLook);
    return places;
}

void RedisBallotBox::takeExpired(const redisReply& deadlines, std::int64_t nowUnix,
                                 std::vector<SubChannelKey>& places)
{
    for (std::size_t i = 0; i + 1 < deadlines.elements; i += 2) {
        SubChannelKey place;
        if (number(deadlines.element[i + 1]) <= nowUnix &&
            std::sscanf(text(deadlines.element[i]).c_str(), "%u:%u", &place.channelId, &place.subChannelId) ==
                2)
            places.push_back(place);
    }
}

} // namespace quorix::service
