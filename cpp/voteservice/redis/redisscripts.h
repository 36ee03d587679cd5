#pragma once

// The Lua scripts that make each change to an open vote one atomic step in Redis, however many
// service processes share it. Loaded with SCRIPT LOAD on every connection and called by their
// SHA1; a server that has forgotten a script (NOSCRIPT) gets it again with EVAL.
//
// Start, Cast, End and Close run once per ballot (redisballots.h): their last key is the ballot's,
// their last argument its deadline, and they return RedisBallots::kPastDeadline for a ballot first
// seen after it. Such calls may be given a time until which a lost reply is asked for again.

#include "voteservice/redis/redisconnection.h"

#include <string>
#include <vector>

namespace quorix::service {

class RedisScripts
{
public:
    enum Id
    {
        // KEYS open, counts, tickets, jifang, deadlines, ballot; ARGV now, voteId, type, perUser,
        // perOption, endsAt, starter, record, option ids, judge uids, place, deadline. Returns the
        // jiFangId, 0 when a vote is open.
        Start,
        // KEYS open, counts, tickets, ballot; ARGV voteId, jiFangId, voteType, uid, optionId, tickets,
        // deadline. Returns the result code.
        Cast,
        // KEYS open, counts, hist, histrec, histcnt, histstart, histplaces, deadlines, ballot; ARGV
        // voteId, jiFangId, endedAt, history record, place, startedAt, record key, deadline. Returns
        // the record key, 0 when it was not running.
        End,
        // KEYS open, counts, tickets, deadlines, ballot; ARGV voteId, jiFangId, place, deadline. Returns
        // 1 when closed.
        Close,
        // KEYS open, counts, tickets. Returns {open fields, counts, judge points} or {} when none.
        View,
        // KEYS histplaces of a channel, then hist, histrec, histcnt, histstart of each of its places;
        // ARGV beforeUnix, then each place. Drops history older than beforeUnix and places left
        // without history; returns 0 when the channel has none left.
        PruneHistory,
        // KEYS users, usersseen; ARGV beforeUnix. Drops users unseen since then.
        PruneUsers,
        // KEYS an index of channels; ARGV channel, cut. Drops the channel when its score is below the
        // cut; returns 1 when it did.
        ForgetChannel,
        // KEYS votes, votecount; ARGV voteId, record. Stores the vote; returns 1 when it is new.
        StoreVote,
        // KEYS votes, votecount; ARGV voteId. Returns 1 when it was removed.
        RemoveVote,
        Count
    };

    RedisScripts();

    // SCRIPT LOAD of every script; false when the connection failed.
    bool load(RedisConnection& connection);
    RedisReply call(RedisCommands& connection, Id id, const RedisConnection::Args& keys,
                    const RedisConnection::Args& args, RedisConnection::RetryUntil retryUntil = {});
    void callLater(RedisCommands& connection, Id id, const RedisConnection::Args& keys,
                   const RedisConnection::Args& args, RedisConnection::Done done,
                   RedisConnection::RetryUntil retryUntil = {});

    const std::string& source(Id id) const { return m_sources[id]; }

private:
    RedisConnection::Args invocation(const char* verb, const std::string& body,
                                     const RedisConnection::Args& keys,
                                     const RedisConnection::Args& args) const;

    std::vector<std::string> m_sources;
    std::vector<std::string> m_shas;
};

} // namespace quorix::service
