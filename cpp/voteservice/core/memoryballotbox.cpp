#include "voteservice/core/memoryballotbox.h"

#include "voteservice/core/resultcode.h"

#include <algorithm>

namespace quorix::service {

namespace {

std::uint32_t judgeTotal(const VoteInfo& vote)
{
    std::uint32_t total = 0;
    for (const auto& [uid, judge] : vote.judges)
        total += judge.points;
    return total;
}

// The record with every count at zero, as a run starts.
void clearCounts(VoteInfo& record)
{
    record.optionTickets.clear();
    for (const auto& [optionId, text] : record.options)
        record.optionTickets[optionId] = 0;
    if (record.voteType == kJudgeVote)
        record.optionTickets = {{0, 0}};
}

} // namespace

MemoryBallotBox::MemoryBallotBox(const Clock& clock, VoteStorage& storage)
    : m_clock(clock), m_storage(storage)
{}

std::uint32_t MemoryBallotBox::start(const SubChannelKey& place, const VoteInfo& record, std::int64_t nowUnix,
                                     const std::string& starterNick, SharedOpenVote& opened)
{
    if (m_votes.count(place) != 0)
        return kResultAnotherVoteOpen;
    Vote vote;
    SharedOpenVote& shared = vote.shared;
    shared.record = record;
    shared.jiFangId = nextJiFangId(nowUnix);
    shared.startedAtUnix = nowUnix;
    shared.endsAtUnix = nowUnix + std::int64_t(record.limitTime);
    shared.endsAtMs = m_clock.steadyMs() + std::int64_t(record.limitTime) * 1000;
    shared.starterNick = starterNick;
    m_storage.saveOpenVote(OpenVoteState{place, record, shared.jiFangId, nowUnix, starterNick, true, {}});
    opened = shared;
    m_deadlines[place] = *shared.endsAtMs;
    m_votes.emplace(place, std::move(vote));
    return kResultOk;
}

std::uint32_t MemoryBallotBox::nextJiFangId(std::int64_t nowUnix)
{
    // Never below the current Unix second, so a restarted service does not repeat the numbers
    // clients may still hold from before the restart.
    m_lastJiFangId = std::max(m_lastJiFangId + 1, static_cast<std::uint32_t>(nowUnix));
    if (m_lastJiFangId == 0)
        m_lastJiFangId = 1;
    return m_lastJiFangId;
}

const SharedOpenVote* MemoryBallotBox::find(const SubChannelKey& place) const
{
    const auto it = m_votes.find(place);
    return it == m_votes.end() ? nullptr : &it->second.shared;
}

void MemoryBallotBox::resume(const OpenVoteState& state)
{
    Vote vote;
    SharedOpenVote& shared = vote.shared;
    shared.record = state.record;
    clearCounts(shared.record);
    for (const Ballot& ballot : state.ballots)
        replayBallot(vote, ballot);
    shared.jiFangId = state.jiFangId;
    shared.running = state.running;
    shared.startedAtUnix = state.startedAtUnix;
    shared.endsAtUnix = state.startedAtUnix + std::int64_t(shared.record.limitTime);
    const std::int64_t leftSeconds = shared.endsAtUnix - m_clock.unixSeconds();
    shared.endsAtMs = m_clock.steadyMs() + std::max<std::int64_t>(0, leftSeconds) * 1000;
    shared.starterNick = state.starterNick;
    m_lastJiFangId = std::max(m_lastJiFangId, state.jiFangId);
    if (state.running)
        m_deadlines[state.place] = *shared.endsAtMs;
    else
        m_deadlines.erase(state.place);
    m_votes[state.place] = std::move(vote);
}

void MemoryBallotBox::replayBallot(Vote& vote, const Ballot& ballot)
{
    VoteInfo& record = vote.shared.record;
    if (record.voteType == kJudgeVote) {
        const auto judge = record.judges.find(ballot.uid);
        if (judge == record.judges.end())
            return;
        judge->second.points = ballot.tickets;
        record.optionTickets[0] = judgeTotal(record);
        return;
    }
    if (record.options.count(ballot.optionId) == 0)
        return;
    TicketUse& use = vote.tickets[ballot.uid];
    use.used += ballot.tickets;
    use.perOption[ballot.optionId] += ballot.tickets;
    record.optionTickets[ballot.optionId] += ballot.tickets;
}

void MemoryBallotBox::cast(const SubChannelKey& place, std::uint32_t uid, const PUserVoteReq& req,
                           Answer answer)
{
    answer(countBallot(place, uid, req));
}

std::uint32_t MemoryBallotBox::countBallot(const SubChannelKey& place, std::uint32_t uid,
                                           const PUserVoteReq& req)
{
    const auto it = m_votes.find(place);
    if (it == m_votes.end())
        return kResultNotRunning;
    Vote& vote = it->second;
    const SharedOpenVote& shared = vote.shared;
    if (shared.record.voteId != req.voteId || shared.jiFangId != req.jiFangId || !shared.running)
        return kResultNotRunning;
    if (req.voteType != shared.record.voteType)
        return kResultWrongVoteType;
    const std::uint32_t result =
        shared.record.voteType == kJudgeVote ? castJudgeScore(vote, uid, req) : castTicket(vote, uid, req);
    if (result == kResultOk)
        m_storage.addBallot(place, Ballot{uid, req.optionId, req.tickets});
    return result;
}

std::uint32_t MemoryBallotBox::castTicket(Vote& vote, std::uint32_t uid, const PUserVoteReq& req)
{
    VoteInfo& record = vote.shared.record;
    if (req.tickets != 1)
        return kResultBadTicketCount;
    if (record.options.count(req.optionId) == 0)
        return kResultNoSuchOption;
    TicketUse& use = vote.tickets[uid];
    if (use.used >= record.ticketLimit(kTicketsPerUser))
        return kResultNoTicketsLeft;
    std::uint32_t& onOption = use.perOption[req.optionId];
    if (onOption >= record.ticketLimit(kTicketsPerOption))
        return kResultOptionFull;
    ++onOption;
    ++use.used;
    ++record.optionTickets[req.optionId];
    return kResultOk;
}

std::uint32_t MemoryBallotBox::castJudgeScore(Vote& vote, std::uint32_t uid, const PUserVoteReq& req)
{
    VoteInfo& record = vote.shared.record;
    const auto judge = record.judges.find(uid);
    if (judge == record.judges.end())
        return kResultNotAJudge;
    if (req.optionId != 0)
        return kResultNoSuchOption;
    if (req.tickets < 1 || req.tickets > 5)
        return kResultBadTicketCount;
    if (judge->second.points != 0)
        return kResultAlreadyScored;
    judge->second.points = req.tickets;
    record.optionTickets[0] = judgeTotal(record);
    return kResultOk;
}

bool MemoryBallotBox::ticketUse(const SubChannelKey& place, std::uint32_t uid, const VoteInfo& /*record*/,
                                TicketUse& use)
{
    const auto vote = m_votes.find(place);
    if (vote == m_votes.end())
        return true;
    const auto mine = vote->second.tickets.find(uid);
    if (mine != vote->second.tickets.end())
        use = mine->second;
    return true;
}

std::uint32_t MemoryBallotBox::end(const SubChannelKey& place, std::uint32_t voteId, std::uint32_t jiFangId,
                                   const HistoryEntry& entry)
{
    const auto it = m_votes.find(place);
    if (it == m_votes.end())
        return kResultEndNotFound;
    SharedOpenVote& shared = it->second.shared;
    if (shared.record.voteId != voteId || shared.jiFangId != jiFangId || !shared.running)
        return kResultEndNotFound;
    shared.running = false;
    m_deadlines.erase(place);
    m_storage.markOpenVoteEnded(place);
    HistoryEntry ended = entry;
    ended.record.optionTickets = shared.record.voteType == kJudgeVote ? U32Map{{0, judgeTotal(shared.record)}}
                                                                      : shared.record.optionTickets;
    m_storage.addHistory(place, std::move(ended));
    return kResultOk;
}

std::uint32_t MemoryBallotBox::close(const SubChannelKey& place, std::uint32_t voteId, std::uint32_t jiFangId)
{
    const auto it = m_votes.find(place);
    if (it == m_votes.end() || it->second.shared.record.voteId != voteId ||
        it->second.shared.jiFangId != jiFangId)
        return kResultNotFound;
    m_votes.erase(it);
    m_deadlines.erase(place);
    m_storage.removeOpenVote(place);
    return kResultOk;
}

std::vector<SubChannelKey> MemoryBallotBox::expired(std::int64_t /*nowUnix*/)
{
    // The steady clock, to the millisecond, as the deadlines were set.
    const std::int64_t nowMs = m_clock.steadyMs();
    std::vector<SubChannelKey> places;
    for (const auto& [place, endsAtMs] : m_deadlines) {
        if (endsAtMs <= nowMs)
            places.push_back(place);
    }
    return places;
}

} // namespace quorix::service
