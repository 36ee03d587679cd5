#pragma once

// Where the shared state lives in Redis. Every key of a channel carries the channel's hash tag
// ("quorix:{chC}:..."), so that all keys a script names lie in one Redis Cluster slot; the same
// layout serves a single Redis. Per sub-channel S of channel C:
//   {chC}:votes:S      hash  voteId -> stored record (encoded VoteInfo)
//   {chC}:open:S       hash  the open vote: voteId, jiFangId, running, type, perUser, perOption,
//                            startedAt, endsAt, starter, record, and one field o:<option> /
//                            j:<judge uid> each
//   {chC}:counts:S     hash  option -> tickets (judge votes: 0 -> total points)
//   {chC}:tickets:S    hash  <uid> -> tickets used (judge votes: points given), <uid>:<option> -> tickets
//   {chC}:hist:S       zset  record key scored by the Unix second the vote ended
//   {chC}:histrec:S    hash  record key -> encoded VoteHistoryRecord, histcnt:S the counts it ended
//                            with, histstart:S the Unix second it started (none for entries written
//                            before it was kept)
//   {chC}:schedules:S  hash  voteId -> "<start at> <missed 0|1> <starter uid> <starter nick>"
// Per channel: {chC}:jifang (counter), {chC}:deadlines (zset of "C:S" with a running vote, scored by
// the Unix second it ends), {chC}:histplaces (set of "C:S" with history), {chC}:votecount (stored
// votes of its sub-channels), {chC}:ballot:<node>:<counter> (the result of one ballot, kept for a
// minute).
// Each in a slot of its own, touched by single-key commands only: the voteid and histkey counters,
// votetotal (stored votes of all channels), runningchannels (zset channel -> the latest deadline
// given there) and historychannels (zset channel -> when history was last added there), the
// indexes the nodes scan for the per-channel keys above; scheduled (zset "C:S:voteId:at" of every
// pending schedule, scored by its start second; the node whose ZREM removes a member starts it); revocations
// (hash "<channel>:<uid>" ->
// "<issued before> <expires at>", Unix seconds), layout (the layout version, redislayoutupgrade.h)
// and the notices channel (on a cluster the shard channel {notices}). The user directory lies in a slot of
// its own: {directory}:users (hash imid -> "<uid> <nick>") and {directory}:seen (zset imid scored by the Unix
// second last seen; users unseen for the history window are pruned with it). The webhooks lie in a
// slot of their own (rediswebhookqueue.h): {webhooks}:hooks, :queue:C, :events, :attempts, :heads,
// :eventid.

#include "voteservice/core/sessionidentity.h"

#include <cstdint>
#include <string>

namespace quorix::service {

class RedisKeys
{
public:
    static constexpr const char* kPrefix = "quorix:";

    // "C:S", the member naming a sub-channel in the per-channel sets.
    static std::string place(const SubChannelKey& place);
    // "quorix:{chC}:", the start of every key of channel C.
    static std::string channel(std::uint32_t channelId);
    static std::string votes(const SubChannelKey& place) { return key("votes:", place); }
    static std::string open(const SubChannelKey& place) { return key("open:", place); }
    static std::string counts(const SubChannelKey& place) { return key("counts:", place); }
    static std::string tickets(const SubChannelKey& place) { return key("tickets:", place); }
    static std::string historyIndex(const SubChannelKey& place) { return key("hist:", place); }
    static std::string historyRecords(const SubChannelKey& place) { return key("histrec:", place); }
    static std::string historyCounts(const SubChannelKey& place) { return key("histcnt:", place); }
    static std::string historyStarts(const SubChannelKey& place) { return key("histstart:", place); }
    static std::string schedules(const SubChannelKey& place) { return key("schedules:", place); }

    static std::string jiFangCounter(std::uint32_t channelId) { return channel(channelId) + "jifang"; }
    static std::string deadlines(std::uint32_t channelId) { return channel(channelId) + "deadlines"; }
    static std::string historyPlaces(std::uint32_t channelId) { return channel(channelId) + "histplaces"; }
    static std::string channelVoteCount(std::uint32_t channelId) { return channel(channelId) + "votecount"; }
    // ballot:<node>:<counter> holds the result of one ballot (redisballots.h).
    static std::string ballot(std::uint32_t channelId, const std::string& ballotId)
    {
        return channel(channelId) + "ballot:" + ballotId;
    }

    static std::string voteCounter() { return global("voteid"); }
    static std::string historyCounter() { return global("histkey"); }
    static std::string voteTotal() { return global("votetotal"); }
    static std::string runningChannels() { return global("runningchannels"); }
    static std::string historyChannels() { return global("historychannels"); }
    static std::string scheduled() { return global("scheduled"); }
    static std::string revocations() { return global("revocations"); }
    static std::string layout() { return global("layout"); }
    static std::string notices() { return global("notices"); }
    // The shard channel of the notices on a Redis Cluster.
    static std::string shardedNotices() { return global("{notices}"); }
    static std::string users() { return global("{directory}:users"); }
    static std::string usersSeen() { return global("{directory}:seen"); }
    // "quorix:{webhooks}:", the start of every webhook key.
    static std::string webhooks() { return global("{webhooks}:"); }

private:
    static std::string global(const char* name) { return std::string(kPrefix) + name; }
    static std::string key(const char* kind, const SubChannelKey& place)
    {
        return channel(place.channelId) + kind + std::to_string(place.subChannelId);
    }
};

} // namespace quorix::service
