#include "voteservice/core/voteservicecore.h"

#include "voteservice/core/nicksanitizer.h"
#include "voteservice/core/recordvalidator.h"
#include "voteservice/core/resultcode.h"
#include "voteservice/core/historyextend.h"
#include "voteservice/core/scheduleextend.h"
#include "voteservice/core/servicelog.h"
#include <quorix/protocol/serviceframe.h>

#include <algorithm>
#include <vector>

namespace quorix::service {

namespace {

// Room an answer needs around its records (result fields, counts, extend).
constexpr std::size_t kAnswerOverhead = 32;

// The record as stored: counts, points and the starter belong to a run, not to the stored vote.
VoteInfo storedForm(VoteInfo vote)
{
    vote.ownerUid = 0;
    vote.optionTickets.clear();
    for (auto& [uid, judge] : vote.judges)
        judge.points = 0;
    return vote;
}

// The running record as a viewer of a vote whose results come at its end sees it: every option
// and judge listed, every count and point zero.
VoteInfo withoutCounts(VoteInfo vote)
{
    for (auto& [optionId, tickets] : vote.optionTickets)
        tickets = 0;
    for (auto& [uid, judge] : vote.judges)
        judge.points = 0;
    return vote;
}

// Sessions that may manage the place see a vote's counts while it runs, whatever it shows others.
bool seesLiveCounts(const SessionIdentity& identity)
{
    return identity.scopes.has(AccessScope::Manage) && identity.isManager();
}

std::uint32_t storageFailureCode(std::uint32_t minType)
{
    switch (minType) {
    case VOTE_SYSTEM_START_VOTE_REQ:
        return kResultStartStorageError;
    case VOTE_SYSTEM_END_VOTE_REQ:
        return kResultEndStorageError;
    default:
        return kResultStorageUnavailable;
    }
}

// The result code an answer carries.
template <class Answer> std::uint32_t resultOf(const Answer& answer)
{
    return answer.result;
}
std::uint32_t resultOf(const PBatchDeleteVoteRes& answer)
{
    return answer.aux1;
}
std::uint32_t resultOf(const PQueryNicknameRes& answer)
{
    return answer.aux1;
}
std::uint32_t resultOf(const PUserVoteStateRes& answer)
{
    return answer.state == kTicketStateRefused ? answer.aux1 : std::uint32_t(kResultOk);
}

// The answer to a refused request: every field at its default but the result code, where
// resultOf reads it.
template <class Answer> Answer refusal(std::uint32_t code)
{
    Answer answer;
    answer.result = code;
    return answer;
}
template <> PBatchDeleteVoteRes refusal(std::uint32_t code)
{
    PBatchDeleteVoteRes answer;
    answer.aux1 = code;
    return answer;
}
template <> PQueryNicknameRes refusal(std::uint32_t code)
{
    PQueryNicknameRes answer;
    answer.aux1 = code;
    return answer;
}
template <> PUserVoteStateRes refusal(std::uint32_t code)
{
    PUserVoteStateRes answer;
    answer.state = kTicketStateRefused;
    answer.aux1 = code;
    return answer;
}

// The vote and run an answer names, for the audit trail (0: none).
template <class Answer> std::pair<std::uint32_t, std::uint32_t> subjectOf(const Answer&)
{
    return {0, 0};
}
std::pair<std::uint32_t, std::uint32_t> subjectOf(const PCreateVoteRes& answer)
{
    return {answer.voteId, 0};
}
std::pair<std::uint32_t, std::uint32_t> subjectOf(const PStartVoteRes& answer)
{
    return {answer.voteId, answer.jiFangId};
}

std::uint32_t judgeTotal(const VoteInfo& vote)
{
    std::uint32_t total = 0;
    for (const auto& [uid, judge] : vote.judges)
        total += judge.points;
    return total;
}

constexpr std::int64_t kFanoutPlanPeriodMs = 100;
constexpr std::int64_t kScheduleCheckPeriodMs = 250;
// Due schedules claimed per check; more wait for the next second.
constexpr std::size_t kSchedulesPerCheck = 16;

std::string placeText(const SubChannelKey& place)
{
    return std::to_string(place.channelId) + ":" + std::to_string(place.subChannelId);
}

} // namespace

VoteServiceCore::VoteServiceCore(Clock& clock, VoteStorage& storage, OutputSink& sink, CoreOptions options,
                                 BallotBox* box)
    : m_clock(clock), m_storage(storage), m_sink(sink), m_options(options),
      m_metrics(options.metrics != nullptr ? *options.metrics : m_noMetrics), m_audit(options.audit),
      m_ownBox(box == nullptr ? std::make_unique<MemoryBallotBox>(clock, storage) : nullptr),
      m_box(box == nullptr ? *m_ownBox : *box), m_fanout(options.fanoutBudget, options.broadcastHz)
{
    m_options.broadcastHz = std::max<std::uint32_t>(1, m_options.broadcastHz);
    m_lastPruneMs = m_clock.steadyMs();
    m_lastFanoutPlanMs = m_lastPruneMs - kFanoutPlanPeriodMs;
}

std::int64_t VoteServiceCore::broadcastPeriodMs() const
{
    return 1000 / m_options.broadcastHz;
}

std::uint32_t VoteServiceCore::broadcastHzIn(const SubChannelKey& place) const
{
    const auto it = m_places.find(place);
    if (it == m_places.end() || !it->second.open || !it->second.open->running || it->second.open->hz == 0)
        return m_options.broadcastHz;
    return it->second.open->hz;
}

std::vector<std::pair<SubChannelKey, std::uint32_t>> VoteServiceCore::runningRates() const
{
    std::vector<std::pair<SubChannelKey, std::uint32_t>> rates;
    rates.reserve(m_running.size());
    for (const SubChannelKey& place : m_running)
        rates.emplace_back(place, broadcastHzIn(place));
    return rates;
}

std::int64_t VoteServiceCore::answerHoldMs(const Session& s) const
{
    if (m_options.answerHoldMs <= 0)
        return 0;
    const std::int64_t intervalMs = 1000 / std::max<std::uint32_t>(broadcastHzIn(s.identity.place()), 1);
    return std::min(m_options.answerHoldMs, intervalMs);
}

const SessionIdentity* VoteServiceCore::identity(SessionId id) const
{
    const auto it = m_sessions.find(id);
    return it == m_sessions.end() ? nullptr : &it->second.identity;
}

// ---- sessions -----------------------------------------------------------------------------------

bool VoteServiceCore::openSession(SessionId id, const SessionIdentity& identity)
{
    settle();
    const std::int64_t now = m_clock.steadyMs();
    const std::string nick = NickSanitizer::clean(identity.nick, identity.uid);
    Session session{identity, RequestBudget(m_options.requestBurst, now), 0, now - broadcastPeriodMs(), id,
                    nullptr};
    session.identity.nick = nick;
    const auto [added, isNew] = m_sessions.emplace(id, std::move(session));
    if (!isNew)
        return false;
    m_storage.recordUser(identity.imid, DirectoryEntry{identity.uid, nick, m_clock.unixSeconds()});
    joinPlace(added->second);
    return true;
}

Disposition VoteServiceCore::moveSession(SessionId id, std::uint32_t subChannelId)
{
    settle();
    const auto it = m_sessions.find(id);
    Disposition disposition = Disposition::Keep;
    if (it == m_sessions.end() || !spendBudget(it->second, disposition) ||
        it->second.identity.subChannelId == subChannelId)
        return disposition;
    leavePlace(id, it->second.identity.place());
    it->second.ride = Ride::None;
    it->second.identity.subChannelId = subChannelId;
    joinPlace(it->second);
    return disposition;
}

bool VoteServiceCore::spendRequest(SessionId id, Disposition& disposition)
{
    const auto it = m_sessions.find(id);
    return it != m_sessions.end() && spendBudget(it->second, disposition);
}

void VoteServiceCore::closeSession(SessionId id)
{
    settle();
    const auto it = m_sessions.find(id);
    if (it == m_sessions.end())
        return;
    leavePlace(id, it->second.identity.place());
    m_sessions.erase(it);
    m_runningVoteOwed.erase(id);
}

void VoteServiceCore::joinPlace(Session& session)
{
    const SubChannelKey place = session.identity.place();
    SubChannel& sub = m_places[place];
    session.place = &sub;
    const bool fresh = sub.members.empty() && !sub.open;
    sub.members.insert(session.id);
    // A place nobody sat in, and so not shown, starts showing its vote now.
    if (fresh)
        refreshOpen(place, sub);
    if (sub.open && sub.open->running)
        offerRunningVote(session.id);
}

void VoteServiceCore::offerRunningVote(SessionId id)
{
    const auto it = m_sessions.find(id);
    if (it == m_sessions.end())
        return;
    // A session moving back and forth would otherwise bring the whole vote back with every move.
    const std::int64_t now = m_clock.steadyMs();
    if (now - it->second.runningVoteSentMs < broadcastPeriodMs())
        m_runningVoteOwed.insert(id);
    else
        sendRunningVote(id, it->second, now);
}

void VoteServiceCore::sendRunningVote(SessionId id, Session& session, std::int64_t now)
{
    const auto place = m_places.find(session.identity.place());
    if (place == m_places.end() || !place->second.open || !place->second.open->running)
        return;
    const SharedOpenVote* vote = m_box.find(place->first);
    if (vote == nullptr)
        return;
    session.runningVoteSentMs = now;
    deliver(id, voteBroadcast(*vote, *place->second.open, kVoteStarted, 0,
                              countsHiddenFrom(session.identity, vote->record, true)));
}

void VoteServiceCore::sendOwedRunningVotes(std::int64_t now)
{
    for (auto it = m_runningVoteOwed.begin(); it != m_runningVoteOwed.end();) {
        const auto session = m_sessions.find(*it);
        if (session != m_sessions.end() && now - session->second.runningVoteSentMs < broadcastPeriodMs()) {
            ++it;
            continue;
        }
        if (session != m_sessions.end())
            sendRunningVote(*it, session->second, now);
        it = m_runningVoteOwed.erase(it);
    }
}

void VoteServiceCore::leavePlace(SessionId id, const SubChannelKey& place)
{
    const auto it = m_places.find(place);
    if (it == m_places.end())
        return;
    it->second.members.erase(id);
    if (!it->second.members.empty() || (it->second.open && m_box.keepsShownWhenUnwatched()))
        return;
    m_running.erase(place);
    m_places.erase(it);
    m_box.forget(place);
}

// ---- dispatch -----------------------------------------------------------------------------------

Disposition VoteServiceCore::handle(SessionId id, std::uint32_t minType, const std::string& body)
{
    // Answers still owed to earlier votes go first; a user vote may join them.
    if (minType != VOTE_SYSTEM_USER_VOTE_REQ)
        m_box.flush();
    const auto it = m_sessions.find(id);
    if (it == m_sessions.end())
        return Disposition::Close;
    m_audit.begin(it->second.identity, minType, m_clock.unixSeconds());
    m_asking = id;
    const Disposition disposition = answer(it->second, id, minType, body);
    m_asking = 0;
    m_audit.finish();
    return disposition;
}

Disposition VoteServiceCore::answer(Session& session, SessionId id, std::uint32_t minType,
                                    const std::string& body)
{
    Disposition disposition = Disposition::Keep;
    if (!spendBudget(session, disposition)) {
        if (disposition == Disposition::Keep)
            refuse(id, minType, kResultTooManyRequests);
        else
            m_audit.answered(minType, kResultTooManyRequests, 0, 0); // dropped without an answer
        return disposition;
    }
    m_answered = false;
    try {
        dispatch(session, id, minType, body);
    } catch (const StorageUnavailable&) {
        if (!m_answered)
            refuse(id, minType, storageFailureCode(minType));
    }
    return Disposition::Keep;
}

void VoteServiceCore::noteAnswer(SessionId id, std::uint32_t requestMinType, std::uint32_t result,
                                 std::uint32_t voteId, std::uint32_t jiFangId)
{
    m_metrics.requestAnswered(requestMinType, result);
    if (id == m_asking)
        m_audit.answered(requestMinType, result, voteId, jiFangId);
}

bool VoteServiceCore::spendBudget(Session& session, Disposition& disposition)
{
    if (session.budget.take(m_options.requestsPerSecond, m_options.requestBurst, m_clock.steadyMs())) {
        session.refusedInRow = 0;
        return true;
    }
    m_metrics.floodRefused();
    if (++session.refusedInRow >= m_options.maxRefusedInRow)
        disposition = Disposition::Close;
    return false;
}

// The scope of the session's token a request needs: managing needs `manage` (and a manager role,
// checked with the body), votes and judge scores `vote`, every read `events`.
std::optional<AccessScope> VoteServiceCore::scopeNeeded(std::uint32_t minType)
{
    switch (minType) {
    case VOTE_SYSTEM_CREATE_VOTE_REQ:
    case VOTE_SYSTEM_UPDATE_VOTE_REQ:
    case VOTE_SYSTEM_START_VOTE_REQ:
    case VOTE_SYSTEM_END_VOTE_REQ:
    case VOTE_SYSTEM_DELETE_VOTE_REQ:
    case VOTE_SYSTEM_BATCH_DELETE_VOTE_REQ:
    case VOTE_SYSTEM_QUERY_ALL_VOTE_REQ:
    case VOTE_SYSTEM_CLOSE_VOTEUI_REQ:
        return AccessScope::Manage;
    case VOTE_SYSTEM_USER_VOTE_REQ:
        return AccessScope::Vote;
    case VOTE_SYSTEM_USER_VOTE_STATE_REQ:
    case VOTE_SYSTEM_QUERY_VOTE_HIS_RECORD_REQ:
    case VOTE_SYSTEM_QUERY_NICKNAME_REQ:
        return AccessScope::Events;
    default:
        return std::nullopt;
    }
}

void VoteServiceCore::dispatch(Session& s, SessionId id, std::uint32_t minType, const std::string& body)
{
    const std::optional<AccessScope> needed = scopeNeeded(minType);
    if (needed && !s.identity.scopes.has(*needed))
        return refuse(id, minType, kResultScopeMissing);
    // Anything but a request of the protocol is dropped.
    visitVoteMessage(minType, [&](auto message) {
        using Message = decltype(message);
        if constexpr (Message::kind == VoteMessageKind::Request) {
            typename Message::Body request;
            if (decodeOr(id, minType, body, request))
                serve(message, s, id, request);
        }
    });
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
    if (replacingId == 0 && !roomForNewVote(place, stored.size()))
        return kResultListFull;
    // The whole list must still fit into one answer frame, with its schedules.
    std::size_t listBytes =
        kAnswerOverhead + mpak::wireSize(vote) + ScheduleExtend::wireBytes(scheduleEntries(place));
    for (const VoteInfo& other : stored) {
        if (other.voteId != replacingId)
            listBytes += mpak::wireSize(other);
    }
    return listBytes <= mpak::kMaxFramePayload ? kResultOk : kResultListFull;
}

bool VoteServiceCore::roomForNewVote(const SubChannelKey& place, std::size_t inSubChannel) const
{
    return inSubChannel < m_options.maxVotesPerSubChannel &&
           m_storage.channelVoteCount(place.channelId) < m_options.maxVotesPerChannel &&
           m_storage.totalVoteCount() < m_options.maxVotesTotal;
}

void VoteServiceCore::serve(VoteMessage<VOTE_SYSTEM_CREATE_VOTE_REQ>, Session& s, SessionId id,
                            const PCreateVoteReq& req)
{
    const SubChannelKey place = s.identity.place();
    PCreateVoteRes res;
    res.result = checkManager(s, req.channelId, req.subChannelId);
    if (res.result == kResultOk)
        res.result = checkStorable(place, req.vote, 0);
    if (res.result == kResultOk)
        res.voteId = m_storage.addVote(place, storedForm(req.vote));
    sendTo(id, VOTE_SYSTEM_CREATE_VOTE_RES, res);
    if (res.result == kResultOk)
        listChanged(place);
}

void VoteServiceCore::serve(VoteMessage<VOTE_SYSTEM_UPDATE_VOTE_REQ>, Session& s, SessionId id,
                            const PUpdateVoteReq& req)
{
    const SubChannelKey place = s.identity.place();
    PUpdateVoteRes res;
    res.voteId = req.voteId;
    res.result = checkManager(s, req.channelId, req.subChannelId);
    if (res.result == kResultOk)
        syncOpen(place);
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
        listChanged(place);
}

std::uint32_t VoteServiceCore::deleteOne(const SubChannelKey& place, std::uint32_t voteId)
{
    if (!m_storage.findVote(place, voteId))
        return kResultNotFound;
    if (isOpen(place, voteId))
        return kResultVoteOpen;
    m_storage.removeVote(place, voteId);
    m_storage.removeSchedule(place, voteId);
    return kResultOk;
}

void VoteServiceCore::serve(VoteMessage<VOTE_SYSTEM_DELETE_VOTE_REQ>, Session& s, SessionId id,
                            const PDeleteVoteReq& req)
{
    PDeleteVoteRes res;
    res.voteId = req.voteId;
    res.result = checkManager(s, req.channelId, req.subChannelId);
    if (res.result == kResultOk) {
        syncOpen(s.identity.place());
        res.result = deleteOne(s.identity.place(), req.voteId);
    }
    sendTo(id, VOTE_SYSTEM_DELETE_VOTE_RES, res);
    if (res.result == kResultOk)
        listChanged(s.identity.place());
}

void VoteServiceCore::serve(VoteMessage<VOTE_SYSTEM_BATCH_DELETE_VOTE_REQ>, Session& s, SessionId id,
                            const PBatchDeleteVoteReq& req)
{
    std::vector<std::uint32_t> asked;
    for (const auto& [voteId, voteType] : req.voteTypes)
        asked.push_back(voteId);
    m_audit.aboutVotes(std::move(asked));
    PBatchDeleteVoteRes res;
    res.aux1 = checkManager(s, req.channelId, req.subChannelId);
    if (res.aux1 == kResultOk) {
        syncOpen(s.identity.place());
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
        listChanged(s.identity.place());
}

void VoteServiceCore::serve(VoteMessage<VOTE_SYSTEM_QUERY_ALL_VOTE_REQ>, Session& s, SessionId id,
                            const PQueryAllVoteReq& req)
{
    PQueryAllVoteRes res;
    res.result = checkManager(s, req.channelId, req.subChannelId);
    if (res.result == kResultOk) {
        res.votes = m_storage.votes(s.identity.place());
        res.extend = scheduleEntries(s.identity.place());
    }
    sendTo(id, VOTE_SYSTEM_QUERY_ALL_VOTE_RES, res);
}

void VoteServiceCore::pushVoteList(const SubChannelKey& place)
{
    const auto it = m_places.find(place);
    if (it == m_places.end())
        return;
    PBroadcastChannelVote push;
    push.votes = m_storage.votes(place);
    push.extend = scheduleEntries(place);
    sendToAll(it->second, encodeFrame(VOTE_SYSTEM_BROADCAST_CHANNEL_VOTE, push));
}

void VoteServiceCore::listChanged(const SubChannelKey& place)
{
    pushVoteList(place);
    announce(NoticeKind::ListChanged, place, 0, 0);
}

// ---- running a vote -----------------------------------------------------------------------------

bool VoteServiceCore::isOpen(const SubChannelKey& place, std::uint32_t voteId) const
{
    const auto it = m_places.find(place);
    if (it == m_places.end() || !it->second.open)
        return false;
    const SharedOpenVote* vote = m_box.find(place);
    return vote != nullptr && vote->record.voteId == voteId;
}

const SharedOpenVote* VoteServiceCore::shownVote(const SubChannelKey& place, std::uint32_t voteId,
                                                 std::uint32_t jiFangId)
{
    if (!isOpen(place, voteId))
        return nullptr;
    const SharedOpenVote* vote = m_box.find(place);
    return vote->jiFangId == jiFangId ? vote : nullptr;
}

void VoteServiceCore::serve(VoteMessage<VOTE_SYSTEM_START_VOTE_REQ>, Session& s, SessionId id,
                            const PStartVoteReq& req)
{
    if (ScheduleExtend::asksSchedule(req.extend))
        return serveSchedule(s, id, req);
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
    SharedOpenVote opened;
    if (res.result == kResultOk) {
        res.result = m_box.start(place, runningRecord(*stored, s.identity.uid), m_clock.unixSeconds(),
                                 s.identity.nick, opened);
    }
    if (res.result == kResultOk)
        res.jiFangId = opened.jiFangId;
    sendTo(id, VOTE_SYSTEM_START_VOTE_RES, res);
    if (res.result == kResultOk)
        showStarted(place, opened);
}

void VoteServiceCore::showStarted(const SubChannelKey& place, const SharedOpenVote& opened)
{
    // A scheduled start may come where this process has no session: the others show it.
    if (const auto it = m_places.find(place); it != m_places.end()) {
        adopt(place, it->second, opened);
        broadcastVote(it->second, opened, kVoteStarted, 1);
    }
    announce(NoticeKind::Started, place, opened.record.voteId, opened.jiFangId);
}

// ---- scheduled starts ---------------------------------------------------------------------------

void VoteServiceCore::serveSchedule(Session& s, SessionId id, const PStartVoteReq& req)
{
    const SubChannelKey place = s.identity.place();
    const bool cancel = ScheduleExtend::cancels(req.extend);
    m_audit.actAs(cancel ? "cancelSchedule" : "schedule");
    PStartVoteRes res;
    res.voteId = req.voteId;
    res.result = req.uid == s.identity.uid ? checkManager(s, req.channelId, req.subChannelId)
                                           : std::uint32_t(kResultIdentityMismatch);
    if (res.result == kResultOk && !m_storage.findVote(place, req.voteId))
        res.result = kResultNotFound;
    if (res.result == kResultOk && cancel)
        res.result = m_storage.removeSchedule(place, req.voteId) ? kResultOk : kResultNoSchedule;
    else if (res.result == kResultOk)
        res.result = schedule(s, req.voteId, req.extend, res.extend);
    sendTo(id, VOTE_SYSTEM_START_VOTE_RES, res);
    if (res.result == kResultOk)
        listChanged(place);
}

std::uint32_t VoteServiceCore::schedule(const Session& s, std::uint32_t voteId, const ExtendMap& asked,
                                        ExtendMap& answer)
{
    const std::optional<std::int64_t> at = ScheduleExtend::startAt(asked);
    const std::int64_t now = m_clock.unixSeconds();
    if (!at)
        return kResultMalformed;
    m_audit.aboutStartAt(*at);
    if (*at <= now)
        return kResultStartTimePassed;
    if (*at - now > m_options.maxScheduleAheadSeconds)
        return kResultStartTimeTooFar;
    const SubChannelKey place = s.identity.place();
    const VoteSchedule entry{place, voteId, *at, s.identity.uid, s.identity.nick, false};
    // The list with this entry must still fit into one answer frame.
    std::vector<VoteSchedule> schedules = m_storage.schedules(place);
    schedules.push_back(entry);
    std::size_t listBytes =
        kAnswerOverhead + ScheduleExtend::wireBytes(ScheduleExtend::listEntries(schedules));
    for (const VoteInfo& vote : m_storage.votes(place))
        listBytes += mpak::wireSize(vote);
    if (listBytes > mpak::kMaxFramePayload)
        return kResultListFull;
    m_storage.saveSchedule(entry);
    answer[ScheduleExtend::kStartAt] = std::to_string(*at);
    return kResultOk;
}

void VoteServiceCore::startDueSchedules()
{
    for (const VoteSchedule& due : m_storage.dueSchedules(m_clock.unixSeconds(), kSchedulesPerCheck)) {
        if (m_storage.claimSchedule(due))
            startScheduled(due);
    }
}

void VoteServiceCore::startScheduled(const VoteSchedule& due)
{
    const std::int64_t now = m_clock.unixSeconds();
    const std::optional<VoteInfo> stored = m_storage.findVote(due.place, due.voteId);
    SharedOpenVote opened;
    const std::uint32_t result =
        stored ? m_box.start(due.place, runningRecord(*stored, due.starterUid), now, due.starterNick, opened)
               : std::uint32_t(kResultNotFound);
    if (result == kResultStartStorageError) {
        m_storage.saveSchedule(due); // pending again: the next check tries once more
        return;
    }
    m_audit.scheduled(due, result == kResultOk ? "scheduledStart" : "scheduleMissed", result,
                      result == kResultOk ? opened.jiFangId : 0, now);
    if (result == kResultOk) {
        showStarted(due.place, opened);
    } else {
        ServiceLog::line(ServiceLog::Priority::Warning,
                         "the scheduled start of vote " + std::to_string(due.voteId) + " in " +
                             placeText(due.place) + " was missed: " +
                             (result == kResultAnotherVoteOpen ? "another vote is open"
                                                               : "result " + std::to_string(result)));
        // Kept as missed for the manager to see, unless the vote itself is gone.
        if (stored) {
            VoteSchedule missed = due;
            missed.missed = true;
            m_storage.saveSchedule(missed);
        }
    }
    listChanged(due.place);
}

ExtendMap VoteServiceCore::scheduleEntries(const SubChannelKey& place) const
{
    return ScheduleExtend::listEntries(m_storage.schedules(place));
}

VoteInfo VoteServiceCore::runningRecord(const VoteInfo& stored, std::uint32_t starterUid)
{
    VoteInfo record = stored;
    record.ownerUid = starterUid;
    record.optionTickets.clear();
    for (const auto& [optionId, text] : record.options)
        record.optionTickets[optionId] = 0;
    if (record.voteType == kJudgeVote)
        record.optionTickets = {{0, 0}};
    return record;
}

void VoteServiceCore::resumeOpenVotes()
{
    const std::int64_t now = m_clock.steadyMs();
    for (const OpenVoteState& state : m_storage.openVotes()) {
        m_box.resume(state);
        // A running vote whose time ran out while the service was down ends now, into the history.
        if (refreshOpen(state.place) && m_running.count(state.place) != 0)
            tickPlace(state.place, m_places[state.place], now);
    }
}

void VoteServiceCore::serve(VoteMessage<VOTE_SYSTEM_END_VOTE_REQ>, Session& s, SessionId id,
                            const PEndVoteReq& req)
{
    const SubChannelKey place = s.identity.place();
    PEndVoteRes res;
    res.voteId = req.voteId;
    res.jiFangId = req.jiFangId;
    res.result = checkManager(s, req.channelId, req.subChannelId);
    if (res.result == kResultOk) {
        syncOpen(place);
        const SharedOpenVote* vote = shownVote(place, req.voteId, req.jiFangId);
        res.result = vote == nullptr || !vote->running
                         ? std::uint32_t(kResultEndNotFound)
                         : m_box.end(place, req.voteId, req.jiFangId, historyOf(*vote));
    }
    sendTo(id, VOTE_SYSTEM_END_VOTE_RES, res);
    if (res.result == kResultOk)
        showEnded(place, res.jiFangId, true);
}

void VoteServiceCore::serve(VoteMessage<VOTE_SYSTEM_CLOSE_VOTEUI_REQ>, Session& s, SessionId id,
                            const PCloseVoteReq& req)
{
    const SubChannelKey place = s.identity.place();
    PCloseVoteUiRes res;
    res.voteId = req.voteId;
    res.jiFangId = req.jiFangId;
    res.result = checkManager(s, req.channelId, req.subChannelId);
    if (res.result != kResultOk)
        return sendTo(id, VOTE_SYSTEM_CLOSE_VOTEUI_RES, res);
    syncOpen(place);
    const SharedOpenVote* vote = shownVote(place, res.voteId, res.jiFangId);
    if (vote == nullptr) {
        res.result = kResultNotFound;
        return sendTo(id, VOTE_SYSTEM_CLOSE_VOTEUI_RES, res);
    }
    // Closing a running vote ends it first, so its result reaches the viewers and the history.
    if (vote->running) {
        const std::uint32_t ended = m_box.end(place, res.voteId, res.jiFangId, historyOf(*vote));
        if (ended == kResultEndStorageError) {
            res.result = kResultStorageUnavailable;
            return sendTo(id, VOTE_SYSTEM_CLOSE_VOTEUI_RES, res);
        }
        showEnded(place, res.jiFangId, ended == kResultOk);
    }
    res.result = m_box.close(place, res.voteId, res.jiFangId);
    if (res.result != kResultOk)
        return sendTo(id, VOTE_SYSTEM_CLOSE_VOTEUI_RES, res);
    SubChannel& sub = m_places[place];
    stopShowing(place, sub);
    // The asker is one of the sessions told.
    noteAnswer(id, VOTE_SYSTEM_CLOSE_VOTEUI_REQ, kResultOk, res.voteId, res.jiFangId);
    sendToAll(sub, encodeFrame(VOTE_SYSTEM_CLOSE_VOTEUI_RES, res));
    announce(NoticeKind::Closed, place, res.voteId, res.jiFangId);
}

HistoryEntry VoteServiceCore::historyOf(const SharedOpenVote& vote) const
{
    HistoryEntry entry;
    entry.endedAtUnix = m_clock.unixSeconds();
    entry.startedAtUnix = vote.startedAtUnix;
    VoteHistoryRecord& record = entry.record;
    record.name = vote.record.name;
    record.voteType = vote.record.voteType;
    record.timeText = m_options.timeText.format(vote.startedAtUnix);
    record.adminNick = vote.starterNick;
    if (vote.record.voteType == kJudgeVote) {
        record.options = {{0, vote.record.name}};
        record.optionTickets = {{0, judgeTotal(vote.record)}};
    } else {
        record.options = vote.record.options;
        record.optionTickets = vote.record.optionTickets;
    }
    return entry;
}

void VoteServiceCore::showStartInZone(HistoryEntry& entry) const
{
    // Without a start instant (stored before they were kept), or one the C library cannot show, the
    // stored text stands.
    if (entry.startedAtUnix == 0)
        return;
    std::string text = m_options.timeText.format(entry.startedAtUnix);
    if (!text.empty())
        entry.record.timeText = std::move(text);
}

// ---- tickets ------------------------------------------------------------------------------------

void VoteServiceCore::serve(VoteMessage<VOTE_SYSTEM_USER_VOTE_REQ>, Session& s, SessionId id,
                            const PUserVoteReq& req)
{
    PUserVoteRes res;
    res.result = req.uid == s.identity.uid ? checkPlace(s, req.channelId, req.subChannelId)
                                           : std::uint32_t(kResultIdentityMismatch);
    if (res.result != kResultOk)
        return sendTo(id, VOTE_SYSTEM_USER_VOTE_RES, res);
    // The session cannot move or leave before the answer: both settle the box first.
    m_box.cast(s.identity.place(), s.identity.uid, req,
               [this, &s](std::uint32_t result) { voteAnswered(s, result); });
}

void VoteServiceCore::voteAnswered(Session& s, std::uint32_t result)
{
    PUserVoteRes res;
    res.result = result;
    sendTo(s.id, VOTE_SYSTEM_USER_VOTE_RES, res, answerHoldMs(s));
    if (result == kResultOk)
        m_metrics.voteAccepted();
    std::optional<ShownVote>& shown = s.place->open;
    if (result != kResultOk || !shown)
        return;
    shown->dirty = true;
    shown->countedHere = true;
    if (s.ride == Ride::None) {
        s.ride = Ride::Waiting;
        s.place->riders.push_back(s.id);
    }
}

void VoteServiceCore::serve(VoteMessage<VOTE_SYSTEM_USER_VOTE_STATE_REQ>, Session& s, SessionId id,
                            const PUserVoteStateReq& req)
{
    PUserVoteStateRes res;
    res.voteType = req.voteType;
    std::uint32_t code = req.uid == s.identity.uid ? checkPlace(s, req.channelId, req.subChannelId)
                                                   : std::uint32_t(kResultIdentityMismatch);
    if (code == kResultOk)
        syncOpen(s.identity.place());
    const SharedOpenVote* vote =
        code == kResultOk ? shownVote(s.identity.place(), req.voteId, req.jiFangId) : nullptr;
    if (code == kResultOk && vote == nullptr)
        code = kResultNotFound;
    TicketUse use;
    if (code == kResultOk && !m_box.ticketUse(s.identity.place(), s.identity.uid, vote->record, use))
        code = kResultStorageUnavailable;
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
    const bool running = s.place->open && s.place->open->running;
    res.vote =
        countsHiddenFrom(s.identity, vote->record, running) ? withoutCounts(vote->record) : vote->record;
    for (const auto& [optionId, text] : vote->record.options)
        res.usedPerOption[optionId] = 0;
    res.ticketsUsed = use.used;
    for (const auto& [optionId, used] : use.perOption)
        res.usedPerOption[optionId] = used;
    sendTo(id, VOTE_SYSTEM_USER_VOTE_STATE_RES, res);
}

// ---- queries ------------------------------------------------------------------------------------

void VoteServiceCore::serve(VoteMessage<VOTE_SYSTEM_QUERY_VOTE_HIS_RECORD_REQ>, Session& s, SessionId id,
                            const PQueryVoteHisRecordReq& req)
{
    PQueryVoteHisRecordRes res;
    res.result = checkPlace(s, req.channelId, req.subChannelId);
    if (res.result == kResultOk) {
        const std::int64_t since = m_clock.unixSeconds() - m_options.historyWindowSeconds;
        // Newest first, as many as fit into one answer frame.
        std::size_t bytes = kAnswerOverhead;
        for (HistoryEntry& entry : m_storage.history(s.identity.place(), since)) {
            showStartInZone(entry);
            const std::uint32_t key = entry.record.recordKey;
            bytes += 4 + mpak::wireSize(entry.record);
            if (entry.startedAtUnix > 0)
                bytes += HistoryExtend::wireBytes(key, entry.startedAtUnix);
            if (bytes > mpak::kMaxFramePayload)
                break;
            if (entry.startedAtUnix > 0)
                res.extend[HistoryExtend::key(key)] = HistoryExtend::value(entry.startedAtUnix);
            res.records.emplace(key, std::move(entry.record));
        }
    }
    sendTo(id, VOTE_SYSTEM_QUERY_VOTE_HIS_RECORD_RES, res);
}

void VoteServiceCore::serve(VoteMessage<VOTE_SYSTEM_QUERY_NICKNAME_REQ>, Session&, SessionId id,
                            const PQueryNicknameReq& req)
{
    PQueryNicknameRes res;
    res.imid = req.imid;
    if (const auto user = m_storage.findUser(req.imid)) {
        res.uid = user->uid;
        // A directory written before nicks were cleaned may still hold such a nick.
        res.nick = NickSanitizer::clean(user->nick, user->uid);
    }
    sendTo(id, VOTE_SYSTEM_QUERY_NICKNAME_RES, res);
}

// ---- time ---------------------------------------------------------------------------------------

void VoteServiceCore::tick()
{
    const std::int64_t now = m_clock.steadyMs();
    try {
        m_box.flush();
        for (const Notice& notice : m_box.takeNotices())
            applyNotice(notice);
        if (now - m_lastExpiryCheckMs >= m_box.expiryCheckPeriodMs()) {
            m_lastExpiryCheckMs = now;
            endExpired();
        }
        if (now - m_lastScheduleCheckMs >= kScheduleCheckPeriodMs) {
            m_lastScheduleCheckMs = now;
            startDueSchedules();
        }
        sendOwedRunningVotes(now);
        planFanout(now);
        tickRunning(now);
        if (now - m_lastPruneMs >= 60000) {
            m_lastPruneMs = now;
            m_storage.pruneHistory(m_clock.unixSeconds() - m_options.historyWindowSeconds);
        }
    } catch (const StorageUnavailable&) {
        return; // tried again on the next tick
    }
}

void VoteServiceCore::tickRunning(std::int64_t now)
{
    const std::vector<SubChannelKey> running(m_running.begin(), m_running.end());
    for (const SubChannelKey& place : running) {
        const auto it = m_places.find(place);
        if (it == m_places.end() || !it->second.open)
            m_running.erase(place);
        else
            tickPlace(place, it->second, now);
    }
}

void VoteServiceCore::tickPlace(const SubChannelKey& place, SubChannel& sub, std::int64_t now)
{
    ShownVote& shown = *sub.open;
    const std::uint32_t jiFangId = shown.jiFangId;
    if (now >= shown.endsAtMs) {
        // Every process may try; the box ends it once.
        const SharedOpenVote* vote = m_box.find(place);
        const std::uint32_t code = vote == nullptr
                                       ? std::uint32_t(kResultEndNotFound)
                                       : m_box.end(place, shown.voteId, jiFangId, historyOf(*vote));
        if (code != kResultEndStorageError)
            showEnded(place, jiFangId, code == kResultOk);
        return;
    }
    if (shown.countedHere) {
        shown.countedHere = false;
        announce(NoticeKind::Counted, place, shown.voteId, jiFangId);
    }
    const std::int64_t periodMs = shown.hz == 0 ? broadcastPeriodMs() : 1000 / shown.hz;
    if (!shown.dirty || now - shown.lastBroadcastMs < periodMs || !refreshOpen(place, sub))
        return;
    if (sub.open && sub.open->running)
        broadcastVote(sub, *m_box.find(place), kVoteStarted, 0);
    else if (sub.open)
        showEnded(place, jiFangId, false);
}

void VoteServiceCore::planFanout(std::int64_t now)
{
    // Audiences change with every join and leave; a plan period behind is close enough, and the
    // plan sorts every running place.
    if (now - m_lastFanoutPlanMs < kFanoutPlanPeriodMs)
        return;
    m_lastFanoutPlanMs = now;
    std::vector<ShownVote*> shown;
    std::vector<std::size_t> audiences;
    for (const SubChannelKey& place : m_running) {
        const auto it = m_places.find(place);
        if (it == m_places.end() || !it->second.open)
            continue;
        shown.push_back(&*it->second.open);
        audiences.push_back(it->second.members.size());
    }
    const FanoutBudget::Plan plan = m_fanout.plan(audiences);
    for (std::size_t i = 0; i < shown.size(); ++i)
        shown[i]->hz = plan.hz[i];
    m_metrics.fanoutPlanned(plan.lowestHz, plan.framesPerSecond);
}

// ---- the ballot box -----------------------------------------------------------------------------

void VoteServiceCore::settle()
{
    m_box.flush();
}

void VoteServiceCore::announce(NoticeKind kind, const SubChannelKey& place, std::uint32_t voteId,
                               std::uint32_t jiFangId)
{
    m_box.announce(Notice{kind, place, voteId, jiFangId});
}

void VoteServiceCore::endExpired()
{
    // Places where this process has sessions are ended by their own deadline (tickRunning).
    for (const SubChannelKey& place : m_box.expired(m_clock.unixSeconds())) {
        if (m_places.count(place) == 0)
            endUnattended(place);
    }
}

void VoteServiceCore::endUnattended(const SubChannelKey& place)
{
    if (!m_box.refresh(place))
        return;
    if (const SharedOpenVote* vote = m_box.find(place); vote != nullptr && vote->running) {
        const std::uint32_t voteId = vote->record.voteId;
        const std::uint32_t jiFangId = vote->jiFangId;
        if (m_box.end(place, voteId, jiFangId, historyOf(*vote)) == kResultOk)
            announce(NoticeKind::Ended, place, voteId, jiFangId);
    }
    m_box.forget(place);
}

bool VoteServiceCore::refreshOpen(const SubChannelKey& place)
{
    return refreshOpen(place, m_places[place]);
}

bool VoteServiceCore::refreshOpen(const SubChannelKey& place, SubChannel& sub)
{
    if (!m_box.refresh(place))
        return false;
    if (const SharedOpenVote* vote = m_box.find(place))
        adopt(place, sub, *vote);
    else
        stopShowing(place, sub);
    return true;
}

void VoteServiceCore::syncOpen(const SubChannelKey& place)
{
    if (!refreshOpen(place))
        throw StorageUnavailable("the open votes cannot be read");
}

void VoteServiceCore::adopt(const SubChannelKey& place, SubChannel& sub, const SharedOpenVote& shared)
{
    const std::int64_t now = m_clock.steadyMs();
    const bool wasRunning = sub.open && sub.open->running;
    if (!sub.open || sub.open->jiFangId != shared.jiFangId) {
        sub.open = ShownVote{};
        sub.open->lastBroadcastMs = now;
        // A vote that had ended before this process showed it shows no end broadcast.
        sub.open->endShown = !shared.running;
    }
    ShownVote& shown = *sub.open;
    shown.voteId = shared.record.voteId;
    shown.jiFangId = shared.jiFangId;
    shown.running = shared.running;
    shown.endsAtMs =
        shared.endsAtMs ? *shared.endsAtMs : now + (shared.endsAtUnix - m_clock.unixSeconds()) * 1000;
    if (shown.running && !wasRunning)
        m_running.insert(place);
    else if (!shown.running && wasRunning)
        m_running.erase(place);
}

void VoteServiceCore::stopShowing(const SubChannelKey& place, SubChannel& sub)
{
    sub.open.reset();
    m_running.erase(place);
    m_box.forget(place);
}

void VoteServiceCore::showEnded(const SubChannelKey& place, std::uint32_t jiFangId, bool tell)
{
    // Keep what was shown in case the vote was closed meanwhile: its sessions still see the end.
    std::optional<ShownVote> shownBefore;
    std::optional<SharedOpenVote> before;
    auto it = m_places.find(place);
    const SharedOpenVote* vote = m_box.find(place);
    if (it != m_places.end() && it->second.open && it->second.open->jiFangId == jiFangId && vote != nullptr) {
        shownBefore = it->second.open;
        before = *vote;
    }
    refreshOpen(place);
    it = m_places.find(place);
    if (it == m_places.end())
        return;
    SubChannel& sub = it->second;
    vote = m_box.find(place);
    const bool closedMeanwhile = !sub.open && before;
    if (closedMeanwhile) {
        sub.open = shownBefore;
        vote = &*before;
    }
    if (sub.open && sub.open->jiFangId == jiFangId && !sub.open->endShown) {
        sub.open->running = false;
        sub.open->endShown = true;
        m_running.erase(place);
        broadcastVote(sub, *vote, kVoteEnded, 0);
        if (tell)
            announce(NoticeKind::Ended, place, vote->record.voteId, jiFangId);
    }
    if (closedMeanwhile)
        stopShowing(place, sub);
}

void VoteServiceCore::applyNotice(const Notice& notice)
{
    if (notice.kind == NoticeKind::Resync) {
        std::vector<SubChannelKey> places;
        for (const auto& [place, sub] : m_places)
            places.push_back(place);
        for (const SubChannelKey& place : places) {
            if (refreshOpen(place) && m_places[place].open)
                m_places[place].open->dirty = true;
            pushVoteList(place);
        }
        return;
    }
    const auto it = m_places.find(notice.place);
    if (it == m_places.end())
        return;
    SubChannel& sub = it->second;
    switch (notice.kind) {
    case NoticeKind::Started:
        if (refreshOpen(notice.place) && sub.open && sub.open->running &&
            sub.open->jiFangId == notice.jiFangId)
            broadcastVote(sub, *m_box.find(notice.place), kVoteStarted, 1);
        return;
    case NoticeKind::Counted:
        if (sub.open && sub.open->jiFangId == notice.jiFangId)
            sub.open->dirty = true;
        return;
    case NoticeKind::Ended:
        return showEnded(notice.place, notice.jiFangId, false);
    case NoticeKind::Closed: {
        if (sub.open && sub.open->jiFangId == notice.jiFangId)
            stopShowing(notice.place, sub);
        PCloseVoteUiRes closed;
        closed.voteId = notice.voteId;
        closed.jiFangId = notice.jiFangId;
        return sendToAll(sub, encodeFrame(VOTE_SYSTEM_CLOSE_VOTEUI_RES, closed));
    }
    case NoticeKind::ListChanged:
        return pushVoteList(notice.place);
    case NoticeKind::Resync:
        return;
    }
}

// ---- output -------------------------------------------------------------------------------------

bool VoteServiceCore::countsHiddenFrom(const SessionIdentity& identity, const VoteInfo& record, bool running)
{
    return running && record.resultsAtEnd() && !seesLiveCounts(identity);
}

OutFrame VoteServiceCore::voteBroadcast(const SharedOpenVote& vote, const ShownVote& shown,
                                        std::uint32_t status, std::uint32_t fullAllowance,
                                        bool countsHidden) const
{
    PBroadcastVote push;
    push.fullAllowance = fullAllowance;
    push.status = status;
    if (status == kVoteStarted) {
        const std::int64_t left = std::max<std::int64_t>(0, shown.endsAtMs - m_clock.steadyMs());
        push.remainSeconds = static_cast<std::uint32_t>((left + 999) / 1000);
    }
    push.jiFangId = vote.jiFangId;
    push.vote = countsHidden ? withoutCounts(vote.record) : vote.record;
    return encodeFrame(VOTE_SYSTEM_BROADCAST_VOTE, push);
}

void VoteServiceCore::broadcastVote(SubChannel& sub, const SharedOpenVote& vote, std::uint32_t status,
                                    std::uint32_t fullAllowance)
{
    ShownVote& shown = *sub.open;
    shown.dirty = false;
    shown.lastBroadcastMs = m_clock.steadyMs();
    m_metrics.broadcastSent();
    const OutFrame frame = voteBroadcast(vote, shown, status, fullAllowance);
    const bool hides = status == kVoteStarted && vote.record.resultsAtEnd();
    sendToAudience(sub, frame, hides ? voteBroadcast(vote, shown, status, fullAllowance, true) : frame);
}

// A fan-out to thousands of sessions takes the I/O side a while to write; those whose answers wait
// for it (the riders) get it first, so a vote's broadcast reaches its voter early in the pass.
void VoteServiceCore::sendToAudience(SubChannel& sub, const OutFrame& frame, const OutFrame& hidden)
{
    if (frame.isNull())
        return;
    // Asked once for the whole place: the box's pending answers decide for every member alike.
    const bool behind = m_box.pending();
    const auto send = [&](SessionId id, const Session& session) {
        const OutFrame& shown = seesLiveCounts(session.identity) ? frame : hidden;
        if (shown.isNull())
            return;
        if (behind)
            deliver(id, shown);
        else
            m_sink.deliver(id, shown);
    };
    for (SessionId id : std::exchange(sub.riders, {})) {
        const auto it = m_sessions.find(id);
        if (it == m_sessions.end() || it->second.place != &sub || it->second.ride != Ride::Waiting)
            continue;
        it->second.ride = Ride::Served;
        send(id, it->second);
    }
    for (SessionId member : sub.members) {
        const auto it = m_sessions.find(member);
        if (it != m_sessions.end() && std::exchange(it->second.ride, Ride::None) != Ride::Served)
            send(member, it->second);
    }
}

void VoteServiceCore::sendToAll(const SubChannel& sub, const OutFrame& frame)
{
    if (frame.isNull())
        return;
    // Asked once for the whole place: a broadcast may reach thousands of sessions.
    if (m_box.pending()) {
        for (SessionId member : sub.members)
            deliver(member, frame);
        return;
    }
    for (SessionId member : sub.members)
        m_sink.deliver(member, frame);
}

template <class Message> OutFrame VoteServiceCore::encodeFrame(std::uint32_t minType, const Message& message)
{
    try {
        return OutFrame::encode(kVoteMajorType, minType, message);
    } catch (const mpak::PackError&) {
        return {};
    }
}

template <class Message>
void VoteServiceCore::sendTo(SessionId id, std::uint32_t minType, const Message& message, std::int64_t holdMs)
{
    const OutFrame frame = encodeFrame(minType, message);
    if (id == m_asking)
        m_answered = true;
    // Every answer's type follows its request's.
    const auto [voteId, jiFangId] = subjectOf(message);
    noteAnswer(id, minType - 1, resultOf(message), voteId, jiFangId);
    if (!frame.isNull())
        deliver(id, holdMs > 0 ? frame.heldUpTo(holdMs) : frame);
}

template <class Request>
bool VoteServiceCore::decodeOr(SessionId id, std::uint32_t minType, const std::string& body, Request& request)
{
    if (mpak::decode(body, request))
        return true;
    refuse(id, minType, kResultMalformed);
    return false;
}

void VoteServiceCore::deliver(SessionId id, const OutFrame& frame)
{
    // Behind answers the box still owes, so each session gets its frames in order.
    if (m_box.pending()) {
        m_box.after([this, id, frame] { m_sink.deliver(id, frame); });
        return;
    }
    m_sink.deliver(id, frame);
}

void VoteServiceCore::refuse(SessionId id, std::uint32_t minType, std::uint32_t code)
{
    visitVoteMessage(minType, [&](auto message) {
        using Message = decltype(message);
        if constexpr (Message::kind == VoteMessageKind::Request) {
            constexpr std::uint32_t answerType = Message::minType + 1;
            sendTo(id, answerType, refusal<VoteBody<answerType>>(code));
        }
    });
}

} // namespace quorix::service
