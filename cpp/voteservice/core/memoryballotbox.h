#pragma once

// The open votes of one service process, kept in memory and journalled to its storage (start,
// every accepted ballot, end, close) so that a restarted service resumes them; ended votes go
// into the storage's history. Answers are given at once and nothing is shared, so there are no
// notices. Deadlines follow the process's steady clock to the millisecond.

#include "voteservice/core/ballotbox.h"
#include "voteservice/core/clock.h"

#include <map>
#include <unordered_map>

namespace quorix::service {

class MemoryBallotBox : public BallotBox
{
public:
    MemoryBallotBox(const Clock& clock, VoteStorage& storage);

    std::uint32_t start(const SubChannelKey& place, const VoteInfo& record, std::int64_t nowUnix,
                        const std::string& starterNick, SharedOpenVote& opened) override;
    const SharedOpenVote* find(const SubChannelKey& place) const override;
    bool refresh(const SubChannelKey& /*place*/) override { return true; }
    void forget(const SubChannelKey& /*place*/) override {}
    bool keepsShownWhenUnwatched() const override { return true; }
    void resume(const OpenVoteState& state) override;
    void cast(const SubChannelKey& place, std::uint32_t uid, const PUserVoteReq& req, Answer answer) override;
    bool ticketUse(const SubChannelKey& place, std::uint32_t uid, const VoteInfo& record,
                   TicketUse& use) override;
    std::uint32_t end(const SubChannelKey& place, std::uint32_t voteId, std::uint32_t jiFangId,
                      const HistoryEntry& entry) override;
    std::uint32_t close(const SubChannelKey& place, std::uint32_t voteId, std::uint32_t jiFangId) override;
    std::vector<SubChannelKey> expired(std::int64_t nowUnix) override;
    // Its votes stay shown, so the core ends them by their own deadline; a look now and then
    // finds none.
    std::int64_t expiryCheckPeriodMs() const override { return 1000; }

    void after(std::function<void()> work) override { work(); }
    bool pending() const override { return false; }
    void flush() override {}

    void announce(const Notice& /*notice*/) override {}
    std::vector<Notice> takeNotices() override { return {}; }

private:
    struct Vote
    {
        SharedOpenVote shared;                                // live counts and judge points
        std::unordered_map<std::uint32_t, TicketUse> tickets; // by uid
    };

    std::uint32_t countBallot(const SubChannelKey& place, std::uint32_t uid, const PUserVoteReq& req);
    static std::uint32_t castTicket(Vote& vote, std::uint32_t uid, const PUserVoteReq& req);
    static std::uint32_t castJudgeScore(Vote& vote, std::uint32_t uid, const PUserVoteReq& req);
    static void replayBallot(Vote& vote, const Ballot& ballot);
    std::uint32_t nextJiFangId(std::int64_t nowUnix);

    const Clock& m_clock;
    VoteStorage& m_storage;
    std::unordered_map<SubChannelKey, Vote, SubChannelKeyHash> m_votes;
    std::map<SubChannelKey, std::int64_t> m_deadlines; // of the running votes, in steady ms
    std::uint32_t m_lastJiFangId = 0;
};

} // namespace quorix::service
