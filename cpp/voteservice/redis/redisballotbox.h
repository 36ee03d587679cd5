#pragma once

// The open votes of every sub-channel kept in Redis and shared by all service processes connected
// to it. Every decision is one script call (redisscripts.h); user votes are queued on the
// connection and go to Redis together at the next flush, so one round trip carries many. find()
// answers from what refresh() (or this process's start) last read.
//
// Start, user votes, end and close each carry a ballot (redisballots.h): a call whose reply was lost
// goes again with the same ballot, so it takes effect once and its answer is the true one; it is
// refused as unreachable storage only when Redis did not take it before its deadline.

#include "voteservice/core/ballotbox.h"
#include "voteservice/redis/redisballots.h"
#include "voteservice/redis/redisbus.h"
#include "voteservice/redis/redisconnection.h"
#include "voteservice/redis/redisreplicawait.h"
#include "voteservice/redis/redisscripts.h"

#include <unordered_map>

namespace quorix::service {

class RedisBallotBox : public BallotBox
{
public:
    // User votes queued before the box sends them without waiting for a flush.
    static constexpr std::size_t kMaxQueued = 2048;
    // Channels with a running vote looked at per expired() call, in turn; places it reports at most.
    static constexpr std::size_t kChannelsPerLook = 256;
    static constexpr std::size_t kMaxExpiredPerLook = 64;
    // How long after its last deadline a channel stays in runningChannels.
    static constexpr std::int64_t kIdleChannelSeconds = 600;

    RedisBallotBox(RedisCommands& connection, RedisScripts& scripts, RedisBus& bus, RedisBallots& ballots,
                   RedisReplicaWait& replicaWait);

    std::uint32_t start(const SubChannelKey& place, const VoteInfo& record, std::int64_t nowUnix,
                        const std::string& starterNick, SharedOpenVote& opened) override;
    const SharedOpenVote* find(const SubChannelKey& place) const override;
    bool refresh(const SubChannelKey& place) override;
    void forget(const SubChannelKey& place) override { m_seen.erase(place); }
    bool keepsShownWhenUnwatched() const override { return false; }
    // Redis keeps the open votes itself, across restarts of the service processes.
    void resume(const OpenVoteState& /*state*/) override {}
    void cast(const SubChannelKey& place, std::uint32_t uid, const PUserVoteReq& req, Answer answer) override;
    bool ticketUse(const SubChannelKey& place, std::uint32_t uid, const VoteInfo& record,
                   TicketUse& use) override;
    std::uint32_t end(const SubChannelKey& place, std::uint32_t voteId, std::uint32_t jiFangId,
                      const HistoryEntry& entry) override;
    std::uint32_t close(const SubChannelKey& place, std::uint32_t voteId, std::uint32_t jiFangId) override;
    std::vector<SubChannelKey> expired(std::int64_t nowUnix) override;
    // Each look is a round trip to Redis.
    std::int64_t expiryCheckPeriodMs() const override { return 1000; }

    void after(std::function<void()> work) override { m_connection.after(std::move(work)); }
    bool pending() const override { return m_connection.pending(); }
    void flush() override { m_connection.flush(); }

    void announce(const Notice& notice) override { m_bus.publish(m_connection, notice); }
    std::vector<Notice> takeNotices() override { return m_bus.poll(); }

    // The place's open vote (running or ended, not closed) as Redis holds it now; false when it
    // cannot be read.
    bool load(const SubChannelKey& place, std::optional<SharedOpenVote>& vote);

private:
    static RedisConnection::Args openKeys(const SubChannelKey& place);
    static bool parseView(const redisReply& reply, SharedOpenVote& vote);
    // The script's integer reply to a call with a new ballot; null when it did not reach Redis, or
    // Redis refused the ballot as past its deadline, or a change it made (changed(reply)) was not
    // confirmed by the replicas asked for.
    RedisReply callOnce(RedisScripts::Id id, const SubChannelKey& place, RedisConnection::Args keys,
                        RedisConnection::Args args, bool (*changed)(const redisReply&));
    // Raises the channel's score in an index of channels (runningChannels, historyChannels) before a
    // script adds to the channel's keys; false when Redis did not take it.
    bool indexChannel(const std::string& index, const SubChannelKey& place, std::int64_t score);
    // The places of a channel's deadlines reply ([place, deadline, ...]) whose deadline has passed.
    static void takeExpired(const redisReply& deadlines, std::int64_t nowUnix,
                            std::vector<SubChannelKey>& places);

    RedisCommands& m_connection;
    RedisScripts& m_scripts;
    RedisBus& m_bus;
    RedisBallots& m_ballots;
    RedisReplicaWait& m_replicaWait;
    // What was last read of the places this process shows.
    std::unordered_map<SubChannelKey, SharedOpenVote, SubChannelKeyHash> m_seen;
    // Where the next expired() call goes on in runningChannels.
    std::size_t m_scanFrom = 0;
};

} // namespace quorix::service
