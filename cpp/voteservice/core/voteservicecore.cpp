#include "voteservicecore.h"

#include "recordvalidator.h"
#include "resultcode.h"
#include "serviceframe.h"

#include <algorithm>
#include <ctime>
#include <vector>

namespace quorix::service {

namespace {

// Room an answer needs around its records (result fields, counts, extend).
constexpr std::size_t kAnswerOverhead = 32;

std::string utcText(std::int64_t unixSeconds)
{
    const std::time_t t = static_cast<std::time_t>(unixSeconds);
    std::tm parts{};
    gmtime_r(&t, &parts);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &parts);
    return text;
}

// The record as stored: counts, points and the starter belong to a run, not to the stored vote.
VoteInfo storedForm(VoteInfo vote)
{
    vote.ownerUid = 0;
    vote.optionTickets.clear();
    for (auto& [uid, judge] : vote.judges)
        judge.points = 0;
    return vote;
}

std::uint32_t judgeTotal(const VoteInfo& vote)
{
    std::uint32_t total = 0;
    for (const auto& [uid, judge] : vote.judges)
        total += judge.points;
    return total;
}

} // namespace

VoteServiceCore::VoteServiceCore(Clock& clock, VoteStorage& storage, OutputSink& sink, CoreOptions options)
    : m_clock(clock), m_storage(storage), m_sink(sink), m_options(options)
{
    m_options.broadcastHz = std::max<std::uint32_t>(1, m_options.broadcastHz);
    m_lastPruneMs = m_clock.steadyMs();
}

std::int64_t VoteServiceCore::broadcastPeriodMs() const
{
    return 1000 / m_options.broadcastHz;
}

const SessionIdentity* VoteServiceCore::identity(SessionId id) const
{
    const auto it = m_sessions.find(id);
    return it == m_sessions.end() ? nullptr : &it->second.identity;
}

// ---- sessions -----------------------------------------------------------------------------------

bool VoteServiceCore::openSession(SessionId id, const SessionIdentity& identity)
{
    Session session{identity, RequestBudget(m_options.requestBurst, m_clock.steadyMs()), 0};
    if (!m_sessions.emplace(id, std::move(session)).second)
        return false;
    m_storage.recordUser(identity.imid, DirectoryEntry{identity.uid, identity.nick});
    joinPlace(id, identity.place());
    return true;
}

void VoteServiceCore::moveSession(SessionId id, std::uint32_t subChannelId)
{
    const auto it = m_sessions.find(id);
    if (it == m_sessions.end() || it->second.identity.subChannelId == subChannelId)
        return;
    leavePlace(id, it->second.identity.place());
    it->second.identity.subChannelId = subChannelId;
    joinPlace(id, it->second.identity.place());
}

void VoteServiceCore::closeSession(SessionId id)
{
    const auto it = m_sessions.find(id);
    if (it == m_sessions.end())
        return;
    leavePlace(id, it->second.identity.place());
    m_sessions.erase(it);
}

void VoteServiceCore::joinPlace(SessionId id, const SubChannelKey& place)
{
    SubChannel& sub = m_places[place];
    sub.members.insert(id);
    if (sub.open && sub.open->running)
        m_sink.deliver(id, voteBroadcast(*sub.open, kVoteStarted, 0));
}

void VoteServiceCore::leavePlace(SessionId id, const SubChannelKey& place)
{
    const auto it = m_places.find(place);
    if (it == m_places.end())
        return;
    it->second.members.erase(id);
    if (it->second.members.empty() && !it->second.open)
        m_places.erase(it);
}

// ---- dispatch -----------------------------------------------------------------------------------

Disposition VoteServiceCore::handle(SessionId id, std::uint32_t minType, const std::string& body)
{
    const auto it = m_sessions.find(id);
    if (it == m_sessions.end())
        return Disposition::Close;
    Session& session = it->second;
    if (!session.budget.take(m_options.requestsPerSecond, m_options.requestBurst, m_clock.steadyMs())) {
        if (++session.refusedInRow >= m_options.maxRefusedInRow)
            return Disposition::Close;
        refuse(id, minType, kResultTooManyRequests);
        return Disposition::Keep;
    }
    session.refusedInRow = 0;
    dispatch(session, id, minType, body);
    return Disposition::Keep;
}

void VoteServiceCore::dispatch(Session& s, SessionId id, std::uint32_t minType, const std::string& body)
{
    switch (minType) {
    case VOTE_SYSTEM_CREATE_VOTE_REQ:
        return handleCreate(s, id, body);
    case VOTE_SYSTEM_UPDATE_VOTE_REQ:
        return handleUpdate(s, id, body);
    case VOTE_SYSTEM_START_VOTE_REQ:
        return handleStart(s, id, body);
    case VOTE_SYSTEM_END_VOTE_REQ:
        return handleEnd(s, id, body);
    case VOTE_SYSTEM_DELETE_VOTE_REQ:
        return handleDelete(s, id, body);
    case VOTE_SYSTEM_USER_VOTE_REQ:
        return handleUserVote(s, id, body);
    case VOTE_SYSTEM_USER_VOTE_STATE_REQ:
        return handleTicketState(s, id, body);
    case VOTE_SYSTEM_QUERY_VOTE_HIS_RECORD_REQ:
        return handleHistory(s, id, body);
    case VOTE_SYSTEM_BATCH_DELETE_VOTE_REQ:
        return handleBatchDelete(s, id, body);
    case VOTE_SYSTEM_QUERY_ALL_VOTE_REQ:
        return handleQueryAll(s, id, body);
    case VOTE_SYSTEM_QUERY_NICKNAME_REQ:
        return handleNickname(id, body);
    case VOTE_SYSTEM_CLOSE_VOTEUI_REQ:
        return handleClose(s, id, body);
    default:
        return; // not a request of the protocol: dropped
    }
}

std::uint32_t VoteServiceCore::checkPlace(const Session& s, std::uint32_t channelId,
                                          std::uint32_t subChannelId)
{
    const SessionIdentity& me = s.identity;
    return me.channelId == channelId && me.subChannelId == subChannelId ? kResultOk : kResultIdentityMismatch;
}

std::uint32_t VoteServiceCore::checkManager(const Session& s, std::uint32_t channelId,
                                            std::uint32_t subChannelId)
{
    const std::uint32_t code = checkPlace(s, channelId, subChannelId);
    if (code != kResultOk)
        return code;
    return s.identity.isManager() ? kResultOk : kResultNotManager;
}

// ---- stored votes -------------------------------------------------------------------------------

std::uint32_t VoteServiceCore::checkStorable(const SubChannelKey& place, const VoteInfo& vote,
                                             std::uint32_t replacingId) const
{
    if (!RecordValidator::isValid(vote))
        return kResultInvalidRecord;
    const VoteList stored = m_storage.votes(place);
    if (replacingId == 0 && stored.size() >= m_options.maxVotesPerSubChannel)
        return kResultListFull;
    // The whole list must still fit into one answer frame.
    std::size_t listBytes = kAnswerOverhead + mpak::encode(vote).size();
    for (const VoteInfo& other : stored) {
        if (other.voteId != replacingId)
            listBytes += mpak::encode(other).size();
    }
    return listBytes <= mpak::kMaxFramePayload ? kResultOk : kResultListFull;
}

void VoteServiceCore::handleCreate(Session& s, SessionId id, const std::string& body)
{
    PCreateVoteReq req;
    if (!decodeOr(id, VOTE_SYSTEM_CREATE_VOTE_REQ, body, req))
        return;
    const SubChannelKey place = s.identity.place();
    PCreateVoteRes res;
    res.result = checkManager(s, req.channelId, req.subChannelId);
    if (res.result == kResultOk)
        res.result = checkStorable(place, req.vote, 0);
    if (res.result == kResultOk)
        res.voteId = m_storage.addVote(place, storedForm(req.vote));
    sendTo(id, VOTE_SYSTEM_CREATE_VOTE_RES, res);
    if (res.result == kResultOk)
        pushVoteList(place);
}

void VoteServiceCore::handleUpdate(Session& s, SessionId id, const std::string& body)
{
    PUpdateVoteReq req;
    if (!decodeOr(id, VOTE_SYSTEM_UPDATE_VOTE_REQ, body, req))
        return;
    const SubChannelKey place = s.identity.place();
    PUpdateVoteRes res;
    res.voteId = req.voteId;
    res.result = checkManager(s, req.channelId, req.subChannelId);
    if (res.result == kResultOk && req.vote.voteId != req.voteId)
        res.result = kResultInvalidRecord;
    if (res.result == kResultOk && !m_storage.findVote(place, req.voteId))
        res.result = kResultNotFound;
    if (res.result == kResultOk && isOpen(place, req.voteId))
        res.result = kResultVoteOpen;
    if (res.result == kResultOk)
        res.result = checkStorable(place, req.vote, req.voteId);
    if (res.result == kResultOk)
        m_storage.replaceVote(place, storedForm(req.vote));
    sendTo(id, VOTE_SYSTEM_UPDATE_VOTE_RES, res);
    if (res.result == kResultOk)
        pushVoteList(place);
}

std::uint32_t VoteServiceCore::deleteOne(const SubChannelKey& place, std::uint32_t voteId)
{
    if (!m_storage.findVote(place, voteId))
        return kResultNotFound;
    if (isOpen(place, voteId))
        return kResultVoteOpen;
    m_storage.removeVote(place, voteId);
    return kResultOk;
}

void VoteServiceCore::handleDelete(Session& s, SessionId id, const std::string& body)
{
    PDeleteVoteReq req;
    if (!decodeOr(id, VOTE_SYSTEM_DELETE_VOTE_REQ, body, req))
        return;
    PDeleteVoteRes res;
    res.voteId = req.voteId;
    res.result = checkManager(s, req.channelId, req.subChannelId);
    if (res.result == kResultOk)
        res.result = deleteOne(s.identity.place(), req.voteId);
    sendTo(id, VOTE_SYSTEM_DELETE_VOTE_RES, res);
    if (res.result == kResultOk)
        pushVoteList(s.identity.place());
}

void VoteServiceCore::handleBatchDelete(Session& s, SessionId id, const std::string& body)
{
    PBatchDeleteVoteReq req;
    if (!decodeOr(id, VOTE_SYSTEM_BATCH_DELETE_VOTE_REQ, body, req))
        return;
    PBatchDeleteVoteRes res;
    res.aux1 = checkManager(s, req.channelId, req.subChannelId);
    if (res.aux1 == kResultOk) {
        for (const auto& [voteId, voteType] : req.voteTypes) {
            const std::uint32_t code = deleteOne(s.identity.place(), voteId);
            res.aux4[voteId] = code;
            if (code == kResultOk)
                ++res.aux2;
            else if (res.aux1 == kResultOk)
                res.aux1 = code;
        }
    }
    sendTo(id, VOTE_SYSTEM_BATCH_DELETE_VOTE_RES, res);
    if (res.aux2 != 0)
        pushVoteList(s.identity.place());
}

void VoteServiceCore::handleQueryAll(Session& s, SessionId id, const std::string& body)
{
    PQueryAllVoteReq req;
    if (!decodeOr(id, VOTE_SYSTEM_QUERY_ALL_VOTE_REQ, body, req))
        return;
    PQueryAllVoteRes res;
    res.result = checkPlace(s, req.channelId, req.subChannelId);
    if (res.result == kResultOk)
        res.votes = m_storage.votes(s.identity.place());
    sendTo(id, VOTE_SYSTEM_QUERY_ALL_VOTE_RES, res);
}

void VoteServiceCore::pushVoteList(const SubChannelKey& place)
{
    const auto it = m_places.find(place);
    if (it == m_places.end())
        return;
    PBroadcastChannelVote push;
    push.votes = m_storage.votes(place);
    sendToAll(it->second, encodeFrame(VOTE_SYSTEM_BROADCAST_CHANNEL_VOTE, push));
}

// ---- running a vote -----------------------------------------------------------------------------

bool VoteServiceCore::isOpen(const SubChannelKey& place, std::uint32_t voteId) const
{
    const auto it = m_places.find(place);
    return it != m_places.end() && it->second.open && it->second.open->record.voteId == voteId;
}

VoteServiceCore::OpenVote* VoteServiceCore::openVote(const SubChannelKey& place, std::uint32_t voteId,
                                                     std::uint32_t jiFangId)
{
    const auto it = m_places.find(place);
    if (it == m_places.end() || !it->second.open)
        return nullptr;
    OpenVote& vote = *it->second.open;
    return vote.record.voteId == voteId && vote.jiFangId == jiFangId ? &vote : nullptr;
}

void VoteServiceCore::handleStart(Session& s, SessionId id, const std::string& body)
{
    PStartVoteReq req;
    if (!decodeOr(id, VOTE_SYSTEM_START_VOTE_REQ, body, req))
        return;
    const SubChannelKey place = s.identity.place();
    PStartVoteRes res;
    res.voteId = req.voteId;
    res.result = req.uid == s.identity.uid ? checkManager(s, req.channelId, req.subChannelId)
                                           : std::uint32_t(kResultIdentityMismatch);
    std::optional<VoteInfo> stored;
    if (res.result == kResultOk) {
        stored = m_storage.findVote(place, req.voteId);
        if (!stored)
            res.result = kResultNotFound;
    }
    if (res.result == kResultOk && m_places[place].open)
        res.result = kResultAnotherVoteOpen;
    if (res.result != kResultOk) {
        sendTo(id, VOTE_SYSTEM_START_VOTE_RES, res);
        return;
    }
    startVote(place, *stored, s);
    SubChannel& sub = m_places[place];
    res.jiFangId = sub.open->jiFangId;
    sendTo(id, VOTE_SYSTEM_START_VOTE_RES, res);
    broadcastVote(sub, kVoteStarted, 1);
}

void VoteServiceCore::startVote(const SubChannelKey& place, const VoteInfo& stored, const Session& starter)
{
    OpenVote vote;
    vote.record = stored;
    vote.record.ownerUid = starter.identity.uid;
    vote.record.optionTickets.clear();
    for (const auto& [optionId, text] : vote.record.options)
        vote.record.optionTickets[optionId] = 0;
    if (vote.record.voteType == kJudgeVote)
        vote.record.optionTickets = {{0, 0}};
    vote.jiFangId = nextJiFangId();
    const std::int64_t now = m_clock.steadyMs();
    vote.endsAtMs = now + std::int64_t(vote.record.limitTime) * 1000;
    vote.lastBroadcastMs = now;
    vote.startedAtUnix = m_clock.unixSeconds();
    vote.starterNick = starter.identity.nick;
    m_storage.saveOpenVote(
        OpenVoteState{place, vote.record, vote.jiFangId, vote.startedAtUnix, vote.starterNick, true, {}});
    m_places[place].open = std::move(vote);
    m_running.insert(place);
}

void VoteServiceCore::resumeOpenVotes()
{
    const std::int64_t nowMs = m_clock.steadyMs();
    const std::int64_t nowUnix = m_clock.unixSeconds();
    for (const OpenVoteState& state : m_storage.openVotes()) {
        OpenVote vote;
        vote.record = state.record;
        vote.record.optionTickets.clear();
        for (const auto& [optionId, text] : vote.record.options)
            vote.record.optionTickets[optionId] = 0;
        if (vote.record.voteType == kJudgeVote)
            vote.record.optionTickets = {{0, 0}};
        for (const Ballot& ballot : state.ballots)
            replayBallot(vote, ballot);
        vote.jiFangId = state.jiFangId;
        vote.running = state.running;
        vote.startedAtUnix = state.startedAtUnix;
        vote.starterNick = state.starterNick;
        const std::int64_t leftSeconds = state.startedAtUnix + std::int64_t(vote.record.limitTime) - nowUnix;
        vote.endsAtMs = nowMs + std::max<std::int64_t>(0, leftSeconds) * 1000;
        vote.lastBroadcastMs = nowMs;
        m_lastJiFangId = std::max(m_lastJiFangId, state.jiFangId);
        SubChannel& sub = m_places[state.place];
        sub.open = std::move(vote);
        if (!state.running)
            continue;
        m_running.insert(state.place);
        // Its time ran out while the service was down: it ends now and enters the history.
        if (leftSeconds <= 0)
            finishVote(state.place, sub);
    }
}

void VoteServiceCore::replayBallot(OpenVote& vote, const Ballot& ballot)
{
    if (vote.record.voteType == kJudgeVote) {
        const auto judge = vote.record.judges.find(ballot.uid);
        if (judge == vote.record.judges.end())
            return;
        judge->second.points = ballot.tickets;
        vote.record.optionTickets[0] = judgeTotal(vote.record);
        return;
    }
    if (vote.record.options.count(ballot.optionId) == 0)
        return;
    Ledger& ledger = vote.ledgers[ballot.uid];
    ledger.used += ballot.tickets;
    ledger.perOption[ballot.optionId] += ballot.tickets;
    vote.record.optionTickets[ballot.optionId] += ballot.tickets;
}

std::uint32_t VoteServiceCore::nextJiFangId()
{
    // Never below the current Unix second, so a restarted service does not repeat the numbers
    // clients may still hold from before the restart.
    const auto now = static_cast<std::uint32_t>(m_clock.unixSeconds());
    m_lastJiFangId = std::max(m_lastJiFangId + 1, now);
    if (m_lastJiFangId == 0)
        m_lastJiFangId = 1;
    return m_lastJiFangId;
}

void VoteServiceCore::handleEnd(Session& s, SessionId id, const std::string& body)
{
    PEndVoteReq req;
    if (!decodeOr(id, VOTE_SYSTEM_END_VOTE_REQ, body, req))
        return;
    const SubChannelKey place = s.identity.place();
    PEndVoteRes res;
    res.voteId = req.voteId;
    res.jiFangId = req.jiFangId;
    res.result = checkManager(s, req.channelId, req.subChannelId);
    const OpenVote* vote = res.result == kResultOk ? openVote(place, req.voteId, req.jiFangId) : nullptr;
    if (res.result == kResultOk && (vote == nullptr || !vote->running))
        res.result = kResultEndNotFound;
    sendTo(id, VOTE_SYSTEM_END_VOTE_RES, res);
    if (res.result == kResultOk)
        finishVote(place, m_places[place]);
}

void VoteServiceCore::handleClose(Session& s, SessionId id, const std::string& body)
{
    PCloseVoteReq req;
    if (!decodeOr(id, VOTE_SYSTEM_CLOSE_VOTEUI_REQ, body, req))
        return;
    const SubChannelKey place = s.identity.place();
    PCloseVoteUiRes res;
    res.voteId = req.voteId;
    res.jiFangId = req.jiFangId;
    res.result = checkManager(s, req.channelId, req.subChannelId);
    OpenVote* vote = res.result == kResultOk ? openVote(place, req.voteId, req.jiFangId) : nullptr;
    if (res.result == kResultOk && vote == nullptr)
        res.result = kResultNotFound;
    if (res.result != kResultOk) {
        sendTo(id, VOTE_SYSTEM_CLOSE_VOTEUI_RES, res);
        return;
    }
    SubChannel& sub = m_places[place];
    // Closing a running vote ends it first, so its result reaches the viewers and the history.
    if (vote->running)
        finishVote(place, sub);
    sub.open.reset();
    m_storage.removeOpenVote(place);
    sendToAll(sub, encodeFrame(VOTE_SYSTEM_CLOSE_VOTEUI_RES, res));
    if (sub.members.empty())
        m_places.erase(place);
}

void VoteServiceCore::finishVote(const SubChannelKey& place, SubChannel& sub)
{
    OpenVote& vote = *sub.open;
    vote.running = false;
    vote.dirty = false;
    m_running.erase(place);
    m_storage.markOpenVoteEnded(place);
    broadcastVote(sub, kVoteEnded, 0);
    recordHistory(place, vote);
}

void VoteServiceCore::recordHistory(const SubChannelKey& place, const OpenVote& vote)
{
    HistoryEntry entry;
    entry.endedAtUnix = m_clock.unixSeconds();
    VoteHistoryRecord& record = entry.record;
    record.name = vote.record.name;
    record.voteType = vote.record.voteType;
    record.timeText = utcText(vote.startedAtUnix);
    record.adminNick = vote.starterNick;
    if (vote.record.voteType == kJudgeVote) {
        record.options = {{0, vote.record.name}};
        record.optionTickets = {{0, judgeTotal(vote.record)}};
    } else {
        record.options = vote.record.options;
        record.optionTickets = vote.record.optionTickets;
    }
    m_storage.addHistory(place, std::move(entry));
}

// ---- tickets ------------------------------------------------------------------------------------

void VoteServiceCore::handleUserVote(Session& s, SessionId id, const std::string& body)
{
    PUserVoteReq req;
    if (!decodeOr(id, VOTE_SYSTEM_USER_VOTE_REQ, body, req))
        return;
    PUserVoteRes res;
    res.result = req.uid == s.identity.uid ? checkPlace(s, req.channelId, req.subChannelId)
                                           : std::uint32_t(kResultIdentityMismatch);
    OpenVote* vote =
        res.result == kResultOk ? openVote(s.identity.place(), req.voteId, req.jiFangId) : nullptr;
    if (res.result == kResultOk && (vote == nullptr || !vote->running))
        res.result = kResultNotRunning;
    if (res.result == kResultOk && req.voteType != vote->record.voteType)
        res.result = kResultWrongVoteType;
    if (res.result == kResultOk) {
        res.result = vote->record.voteType == kJudgeVote ? castJudgeScore(*vote, s.identity.uid, req)
                                                         : castTicket(*vote, s.identity.uid, req);
    }
    if (res.result == kResultOk) {
        vote->dirty = true;
        m_storage.addBallot(s.identity.place(), Ballot{s.identity.uid, req.optionId, req.tickets});
    }
    sendTo(id, VOTE_SYSTEM_USER_VOTE_RES, res);
}

std::uint32_t VoteServiceCore::castTicket(OpenVote& vote, std::uint32_t uid, const PUserVoteReq& req)
{
    if (req.tickets != 1)
        return kResultBadTicketCount;
    if (vote.record.options.count(req.optionId) == 0)
        return kResultNoSuchOption;
    Ledger& ledger = vote.ledgers[uid];
    if (ledger.used >= vote.record.ticketLimit(kTicketsPerUser))
        return kResultNoTicketsLeft;
    std::uint32_t& onOption = ledger.perOption[req.optionId];
    if (onOption >= vote.record.ticketLimit(kTicketsPerOption))
        return kResultOptionFull;
    ++onOption;
    ++ledger.used;
    ++vote.record.optionTickets[req.optionId];
    return kResultOk;
}

std::uint32_t VoteServiceCore::castJudgeScore(OpenVote& vote, std::uint32_t uid, const PUserVoteReq& req)
{
    const auto judge = vote.record.judges.find(uid);
    if (judge == vote.record.judges.end())
        return kResultNotAJudge;
    if (req.optionId != 0)
        return kResultNoSuchOption;
    if (req.tickets < 1 || req.tickets > 5)
        return kResultBadTicketCount;
    if (judge->second.points != 0)
        return kResultAlreadyScored;
    judge->second.points = req.tickets;
    vote.record.optionTickets[0] = judgeTotal(vote.record);
    return kResultOk;
}

void VoteServiceCore::handleTicketState(Session& s, SessionId id, const std::string& body)
{
    PUserVoteStateReq req;
    if (!decodeOr(id, VOTE_SYSTEM_USER_VOTE_STATE_REQ, body, req))
        return;
    PUserVoteStateRes res;
    res.voteType = req.voteType;
    std::uint32_t code = req.uid == s.identity.uid ? checkPlace(s, req.channelId, req.subChannelId)
                                                   : std::uint32_t(kResultIdentityMismatch);
    const OpenVote* vote =
        code == kResultOk ? openVote(s.identity.place(), req.voteId, req.jiFangId) : nullptr;
    if (code == kResultOk && vote == nullptr)
        code = kResultNotFound;
    if (code != kResultOk) {
        res.state = kTicketStateRefused;
        res.aux1 = code;
        sendTo(id, VOTE_SYSTEM_USER_VOTE_STATE_RES, res);
        return;
    }
    res.state = 0;
    res.voteType = vote->record.voteType;
    res.ticketsPerUser = vote->record.ticketLimit(kTicketsPerUser);
    res.ticketsPerOption = vote->record.ticketLimit(kTicketsPerOption);
    res.vote = vote->record;
    const auto ledger = vote->ledgers.find(s.identity.uid);
    for (const auto& [optionId, text] : vote->record.options)
        res.usedPerOption[optionId] = 0;
    if (ledger != vote->ledgers.end()) {
        res.ticketsUsed = ledger->second.used;
        for (const auto& [optionId, used] : ledger->second.perOption)
            res.usedPerOption[optionId] = used;
    }
    sendTo(id, VOTE_SYSTEM_USER_VOTE_STATE_RES, res);
}

// ---- queries ------------------------------------------------------------------------------------

void VoteServiceCore::handleHistory(Session& s, SessionId id, const std::string& body)
{
    PQueryVoteHisRecordReq req;
    if (!decodeOr(id, VOTE_SYSTEM_QUERY_VOTE_HIS_RECORD_REQ, body, req))
        return;
    PQueryVoteHisRecordRes res;
    res.result = checkPlace(s, req.channelId, req.subChannelId);
    if (res.result == kResultOk) {
        const std::int64_t since = m_clock.unixSeconds() - m_options.historyWindowSeconds;
        // Newest first, as many as fit into one answer frame.
        std::size_t bytes = kAnswerOverhead;
        for (HistoryEntry& entry : m_storage.history(s.identity.place(), since)) {
            bytes += 4 + mpak::encode(entry.record).size();
            if (bytes > mpak::kMaxFramePayload)
                break;
            res.records.emplace(entry.record.recordKey, std::move(entry.record));
        }
    }
    sendTo(id, VOTE_SYSTEM_QUERY_VOTE_HIS_RECORD_RES, res);
}

void VoteServiceCore::handleNickname(SessionId id, const std::string& body)
{
    PQueryNicknameReq req;
    if (!decodeOr(id, VOTE_SYSTEM_QUERY_NICKNAME_REQ, body, req))
        return;
    PQueryNicknameRes res;
    res.imid = req.imid;
    if (const auto user = m_storage.findUser(req.imid)) {
        res.uid = user->uid;
        res.nick = user->nick;
    }
    sendTo(id, VOTE_SYSTEM_QUERY_NICKNAME_RES, res);
}

// ---- time ---------------------------------------------------------------------------------------

void VoteServiceCore::tick()
{
    const std::int64_t now = m_clock.steadyMs();
    const std::vector<SubChannelKey> running(m_running.begin(), m_running.end());
    for (const SubChannelKey& place : running) {
        SubChannel& sub = m_places[place];
        OpenVote& vote = *sub.open;
        if (now >= vote.endsAtMs)
            finishVote(place, sub);
        else if (vote.dirty && now - vote.lastBroadcastMs >= broadcastPeriodMs())
            broadcastVote(sub, kVoteStarted, 0);
    }
    if (now - m_lastPruneMs >= 60000) {
        m_lastPruneMs = now;
        m_storage.pruneHistory(m_clock.unixSeconds() - m_options.historyWindowSeconds);
    }
}

// ---- output -------------------------------------------------------------------------------------

OutFrame VoteServiceCore::voteBroadcast(const OpenVote& vote, std::uint32_t status,
                                        std::uint32_t fullAllowance) const
{
    PBroadcastVote push;
    push.fullAllowance = fullAllowance;
    push.status = status;
    if (status == kVoteStarted) {
        const std::int64_t left = std::max<std::int64_t>(0, vote.endsAtMs - m_clock.steadyMs());
        push.remainSeconds = static_cast<std::uint32_t>((left + 999) / 1000);
    }
    push.jiFangId = vote.jiFangId;
    push.vote = vote.record;
    return encodeFrame(VOTE_SYSTEM_BROADCAST_VOTE, push);
}

void VoteServiceCore::broadcastVote(SubChannel& sub, std::uint32_t status, std::uint32_t fullAllowance)
{
    OpenVote& vote = *sub.open;
    vote.dirty = false;
    vote.lastBroadcastMs = m_clock.steadyMs();
    sendToAll(sub, voteBroadcast(vote, status, fullAllowance));
}

void VoteServiceCore::sendToAll(const SubChannel& sub, const OutFrame& frame)
{
    if (frame.isNull())
        return;
    for (SessionId member : sub.members)
        m_sink.deliver(member, frame);
}

template <class Message> OutFrame VoteServiceCore::encodeFrame(std::uint32_t minType, const Message& message)
{
    try {
        return OutFrame::make(kVoteMajorType, minType, mpak::encode(message));
    } catch (const mpak::PackError&) {
        return {};
    }
}

template <class Message>
void VoteServiceCore::sendTo(SessionId id, std::uint32_t minType, const Message& message)
{
    const OutFrame frame = encodeFrame(minType, message);
    if (!frame.isNull())
        m_sink.deliver(id, frame);
}

template <class Request>
bool VoteServiceCore::decodeOr(SessionId id, std::uint32_t minType, const std::string& body, Request& request)
{
    if (mpak::decode(body, request))
        return true;
    refuse(id, minType, kResultMalformed);
    return false;
}

void VoteServiceCore::refuse(SessionId id, std::uint32_t minType, std::uint32_t code)
{
    switch (minType) {
    case VOTE_SYSTEM_CREATE_VOTE_REQ:
    case VOTE_SYSTEM_UPDATE_VOTE_REQ:
        return sendTo(id, minType + 1, PCreateVoteRes{code, 0, {}});
    case VOTE_SYSTEM_START_VOTE_REQ:
    case VOTE_SYSTEM_END_VOTE_REQ:
    case VOTE_SYSTEM_DELETE_VOTE_REQ:
    case VOTE_SYSTEM_CLOSE_VOTEUI_REQ:
        return sendTo(id, minType + 1, PStartVoteRes{code, 0, 0, 0, 0, {}});
    case VOTE_SYSTEM_USER_VOTE_REQ: {
        PUserVoteRes res;
        res.result = code;
        return sendTo(id, VOTE_SYSTEM_USER_VOTE_RES, res);
    }
    case VOTE_SYSTEM_USER_VOTE_STATE_REQ: {
        PUserVoteStateRes res;
        res.state = kTicketStateRefused;
        res.aux1 = code;
        return sendTo(id, VOTE_SYSTEM_USER_VOTE_STATE_RES, res);
    }
    case VOTE_SYSTEM_QUERY_VOTE_HIS_RECORD_REQ:
        return sendTo(id, VOTE_SYSTEM_QUERY_VOTE_HIS_RECORD_RES, PQueryVoteHisRecordRes{code, 0, 0, {}, {}});
    case VOTE_SYSTEM_BATCH_DELETE_VOTE_REQ:
        return sendTo(id, VOTE_SYSTEM_BATCH_DELETE_VOTE_RES, PBatchDeleteVoteRes{code, 0, 0, {}, {}});
    case VOTE_SYSTEM_QUERY_ALL_VOTE_REQ:
        return sendTo(id, VOTE_SYSTEM_QUERY_ALL_VOTE_RES, PQueryAllVoteRes{code, 0, 0, {}, {}});
    case VOTE_SYSTEM_QUERY_NICKNAME_REQ:
        return sendTo(id, VOTE_SYSTEM_QUERY_NICKNAME_RES, PQueryNicknameRes{code, 0, 0, {}, {}});
    default:
        return;
    }
}

} // namespace quorix::service
