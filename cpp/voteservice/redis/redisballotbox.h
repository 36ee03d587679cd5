#pragma once

// The open votes of every sub-channel kept in Redis and shared by all service processes connected
// to it. Every decision is one script call (redisscripts.h); user votes are queued on the
// connection and go to Redis together at the next flush, so one round trip carries many.

#include "ballotbox.h"
#include "redisbus.h"
#include "redisconnection.h"
#include "redisscripts.h"

namespace quorix::service {

class RedisBallotBox : public BallotBox
{
public:
    // User votes queued before the box sends them without waiting for a flush.
    static constexpr std::size_t kMaxQueued = 2048;

    RedisBallotBox(RedisConnection& connection, RedisScripts& scripts, RedisBus& bus);

    std::uint32_t start(const SubChannelKey& place, const VoteInfo& record, std::int64_t nowUnix,
                        const std::string& starterNick, SharedOpenVote& opened) override;
    bool load(const SubChannelKey& place, std::optional<SharedOpenVote>& vote) override;
    void cast(const SubChannelKey& place, std::uint32_t uid, const PUserVoteReq& req, Answer answer) override;
    bool ticketUse(const SubChannelKey& place, std::uint32_t uid, const VoteInfo& record,
                   TicketUse& use) override;
    std::uint32_t end(const SubChannelKey& place, std::uint32_t voteId, std::uint32_t jiFangId,
                      const HistoryEntry& entry) override;
    std::uint32_t close(const SubChannelKey& place, std::uint32_t voteId, std::uint32_t jiFangId) override;
    std::vector<SubChannelKey> expired(std::int64_t nowUnix) override;

    void after(std::function<void()> work) override { m_connection.after(std::move(work)); }
    bool pending() const override { return m_connection.pending(); }
    void flush() override { m_connection.flush(); }

    void announce(const Notice& notice) override { m_bus.publish(m_connection, notice); }
    std::vector<Notice> takeNotices() override { return m_bus.poll(); }

private:
    static RedisConnection::Args openKeys(const SubChannelKey& place);
    static bool parseView(const redisReply& reply, SharedOpenVote& vote);

    RedisConnection& m_connection;
    RedisScripts& m_scripts;
    RedisBus& m_bus;
};

} // namespace quorix::service
