#pragma once

// Where the shared state lives in Redis. Per sub-channel ("<channel>:<sub-channel>"):
//   votes:P     hash  voteId -> stored record (encoded VoteInfo)
//   open:P      hash  the open vote: voteId, jiFangId, running, type, perUser, perOption, startedAt,
//                     endsAt, starter, record, and one field o:<option> / j:<judge uid> each
//   counts:P    hash  option -> tickets (judge votes: 0 -> total points)
//   tickets:P   hash  <uid> -> tickets used (judge votes: points given), <uid>:<option> -> tickets
//   hist:P      zset  record key scored by the Unix second the vote ended
//   histrec:P   hash  record key -> encoded VoteHistoryRecord, histcnt:P the counts it ended with,
//               histstart:P the Unix second it started (none for entries written before it was kept)
// Global: voteid, histkey and jifang counters, histplaces (set of P with history), deadlines (zset
// of P with a running vote, scored by the Unix second it ends), users (hash imid -> "<uid> <nick>"),
// usersseen (zset imid scored by the Unix second last seen; users unseen for the history window
// are pruned with it),
// channelvotes (hash channel -> stored votes of its sub-channels), votetotal (stored votes of all),
// the notices channel, ballot:<node>:<counter> (the result of one ballot, kept for a minute), and
// revocations (hash "<channel>:<uid>" -> "<issued before> <expires at>", Unix seconds).

#include "sessionidentity.h"

#include <cstdint>
#include <string>

namespace quorix::service {

class RedisKeys
{
public:
    static constexpr const char* kPrefix = "quorix:";

    static std::string place(const SubChannelKey& place);
    static std::string votes(const SubChannelKey& place) { return key("votes:", place); }
    static std::string open(const SubChannelKey& place) { return key("open:", place); }
    static std::string counts(const SubChannelKey& place) { return key("counts:", place); }
    static std::string tickets(const SubChannelKey& place) { return key("tickets:", place); }
    static std::string historyIndex(const SubChannelKey& place) { return key("hist:", place); }
    static std::string historyRecords(const SubChannelKey& place) { return key("histrec:", place); }
    static std::string historyCounts(const SubChannelKey& place) { return key("histcnt:", place); }
    static std::string historyStarts(const SubChannelKey& place) { return key("histstart:", place); }

    static std::string voteCounter() { return std::string(kPrefix) + "voteid"; }
    static std::string historyCounter() { return std::string(kPrefix) + "histkey"; }
    static std::string jiFangCounter() { return std::string(kPrefix) + "jifang"; }
    static std::string historyPlaces() { return std::string(kPrefix) + "histplaces"; }
    static std::string deadlines() { return std::string(kPrefix) + "deadlines"; }
    static std::string users() { return std::string(kPrefix) + "users"; }
    static std::string usersSeen() { return std::string(kPrefix) + "usersseen"; }
    static std::string revocations() { return std::string(kPrefix) + "revocations"; }
    static std::string channelVoteCounts() { return std::string(kPrefix) + "channelvotes"; }
    static std::string voteTotal() { return std::string(kPrefix) + "votetotal"; }
    static std::string notices() { return std::string(kPrefix) + "notices"; }
    // ballot:<node>:<counter> holds the result of one ballot (redisballots.h).
    static std::string ballotPrefix(std::uint64_t node)
    {
        return std::string(kPrefix) + "ballot:" + std::to_string(node) + ":";
    }

private:
    static std::string key(const char* kind, const SubChannelKey& place)
    {
        return std::string(kPrefix) + kind + RedisKeys::place(place);
    }
};

} // namespace quorix::service
