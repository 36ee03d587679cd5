#pragma once

// A ballot box that tells a VoteEventSink of every change this process makes to a vote. The core
// announces each change it made itself (start, counts, end, close) to its box, once, so the
// announcements are the events: this box passes everything to the box it wraps and turns each
// announcement into a VoteEvent with the vote as the wrapped box holds it. Progress is told at
// most once a second per sub-channel: counts that came sooner are told once the second is over
// (at the core's next tick, which takes the notices), unless the vote ended first. Called on the
// core's thread, like any box.

#include "voteservice/core/ballotbox.h"
#include "voteservice/core/clock.h"
#include "voteservice/core/voteeventsink.h"

#include <unordered_map>

namespace quorix::service {

class EventReportingBallotBox : public BallotBox
{
public:
    static constexpr std::int64_t kProgressPeriodMs = 1000;

    EventReportingBallotBox(BallotBox& inner, VoteEventSink& sink, const Clock& clock)
        : m_inner(inner), m_sink(sink), m_clock(clock)
    {}

    std::uint32_t start(const SubChannelKey& place, const VoteInfo& record, std::int64_t nowUnix,
                        const std::string& starterNick, SharedOpenVote& opened) override
    {
        return m_inner.start(place, record, nowUnix, starterNick, opened);
    }
    const SharedOpenVote* find(const SubChannelKey& place) const override { return m_inner.find(place); }
    bool refresh(const SubChannelKey& place) override { return m_inner.refresh(place); }
    // Keeps the vote it forgets: a close forgets the vote before it is announced.
    void forget(const SubChannelKey& place) override;
    bool keepsShownWhenUnwatched() const override { return m_inner.keepsShownWhenUnwatched(); }
    void resume(const OpenVoteState& state) override { m_inner.resume(state); }
    void cast(const SubChannelKey& place, std::uint32_t uid, const PUserVoteReq& req, Answer answer) override
    {
        m_inner.cast(place, uid, req, std::move(answer));
    }
    bool ticketUse(const SubChannelKey& place, std::uint32_t uid, const VoteInfo& record,
                   TicketUse& use) override
    {
        return m_inner.ticketUse(place, uid, record, use);
    }
    std::uint32_t end(const SubChannelKey& place, std::uint32_t voteId, std::uint32_t jiFangId,
                      const HistoryEntry& entry) override
    {
        return m_inner.end(place, voteId, jiFangId, entry);
    }
    // Keeps the vote it closes, for the close's event.
    std::uint32_t close(const SubChannelKey& place, std::uint32_t voteId, std::uint32_t jiFangId) override;
    std::vector<SubChannelKey> expired(std::int64_t nowUnix) override { return m_inner.expired(nowUnix); }
    std::int64_t expiryCheckPeriodMs() const override { return m_inner.expiryCheckPeriodMs(); }
    void after(std::function<void()> work) override { m_inner.after(std::move(work)); }
    bool pending() const override { return m_inner.pending(); }
    void flush() override { m_inner.flush(); }
    void announce(const Notice& notice) override;
    // Also tells the progress owed since the last one.
    std::vector<Notice> takeNotices() override;

private:
    // False for a progress event sooner than kProgressPeriodMs after the place's last one.
    bool progressDue(const SubChannelKey& place) const;
    void keep(const SubChannelKey& place);
    void report(VoteEventKind kind, const Notice& notice);

    BallotBox& m_inner;
    VoteEventSink& m_sink;
    const Clock& m_clock;
    std::optional<std::pair<SubChannelKey, SharedOpenVote>> m_forgotten;
    std::unordered_map<SubChannelKey, std::int64_t, SubChannelKeyHash> m_lastProgressMs;
    std::unordered_map<SubChannelKey, Notice, SubChannelKeyHash> m_progressOwed;
};

} // namespace quorix::service
