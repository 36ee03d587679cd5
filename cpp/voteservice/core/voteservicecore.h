#pragma once

// The vote service without a transport. The transport (TCP server or an in-process host) opens a
// session for every connected client with the identity it established, moves it between
// sub-channels, hands it every vote request body, and calls tick() often (every 10 to 100 ms).
// Answers and pushes leave through the OutputSink, synchronously and in order.
//
// Who asks comes from the session, never from a body: bodies whose uid or channel numbers differ
// from the session's are refused. A refused or malformed request gets an answer with a non-zero
// result (resultcode.h); nothing a client sends makes the core throw or corrupt its state.
// Single-threaded: every call must come from one thread at a time.
//
// The open votes live in a BallotBox: the core asks it for every decision about them and keeps,
// per sub-channel it shows, only how it shows the vote there (deadline, broadcast pacing, end
// shown). Without a box given, the core keeps them in this process (MemoryBallotBox, journalled
// to the storage); a shared box (Redis) holds them for several service processes, the core shows
// only the sub-channels its sessions sit in and follows the other processes' notices (from
// tick()) to update its own sessions.

#include "voteservice/core/auditrecorder.h"
#include "voteservice/core/auditsink.h"
#include "voteservice/core/ballotbox.h"
#include "voteservice/core/clock.h"
#include "voteservice/core/coremetrics.h"
#include "voteservice/core/fanoutbudget.h"
#include "voteservice/core/memoryballotbox.h"
#include "voteservice/core/outputsink.h"
#include "voteservice/core/requestbudget.h"
#include "voteservice/core/sessionidentity.h"
#include "voteservice/core/timetextformatter.h"
#include <quorix/protocol/votemessagetable.h>
#include "voteservice/core/votestorage.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

namespace quorix::service {

struct CoreOptions
{
    // Coalesced count broadcasts per sub-channel and second, at most.
    std::uint32_t broadcastHz = 10;
    // Count broadcast frames this process sends a second, at most, over all its sessions: a
    // sub-channel's rate falls below broadcastHz (to 1 Hz at least) as its audience grows
    // (FanoutBudget). Start and end broadcasts are never held back.
    std::uint64_t fanoutBudget = 50000;
    // A vote's answer may wait for the session's next frame, the broadcast that counts it, so both
    // leave in one packet: at most one broadcast interval of the place and never more than this
    // (0: every answer at once). Transports that batch writes honour it (OutFrame::holdMs).
    std::int64_t answerHoldMs = 200;
    // Requests a session may make: an average rate and a burst.
    std::uint32_t requestsPerSecond = 20;
    std::uint32_t requestBurst = 40;
    // A session refused this many times in a row for flooding is to be disconnected.
    std::uint32_t maxRefusedInRow = 100;
    // Stored votes, at most: per sub-channel, over all sub-channels of one channel, and in the whole
    // service. A create beyond any of them is refused with kResultListFull.
    std::size_t maxVotesPerSubChannel = 100;
    std::size_t maxVotesPerChannel = 1000;
    std::size_t maxVotesTotal = 100000;
    std::int64_t historyWindowSeconds = 7 * 24 * 3600;
    // A start may be scheduled at most this far ahead.
    std::int64_t maxScheduleAheadSeconds = 30 * 24 * 3600;
    // Writes the history's start times (timeText), in the process's zone.
    TimeTextFormatter timeText;
    // Where the core counts its requests, votes, broadcasts and flood refusals; null counts nothing.
    CoreMetrics* metrics = nullptr;
    // Where the core records every manager request and its answer; null records nothing.
    AuditSink* audit = nullptr;
};

enum class Disposition
{
    Keep,
    Close
};

class VoteServiceCore
{
public:
    // Without a box the open votes stay in this process, journalled to storage.
    VoteServiceCore(Clock& clock, VoteStorage& storage, OutputSink& sink, CoreOptions options = {},
                    BallotBox* box = nullptr);

    // Adds a session; false when the id is already in use. A session joining a sub-channel with a
    // running vote receives that vote's broadcast at once.
    bool openSession(SessionId id, const SessionIdentity& identity);
    // Moves a session to another sub-channel of its channel (late-join broadcast as above, at most
    // broadcastHz times a second per session). A move costs one request of the session's budget;
    // a move beyond it is ignored, and Close means the session flooded and should be dropped.
    Disposition moveSession(SessionId id, std::uint32_t subChannelId);
    void closeSession(SessionId id);
    // Spends one request of the session's budget on a request the transport answers itself (a web
    // token); false when none is left, and Close then once the session has flooded.
    bool spendRequest(SessionId id, Disposition& disposition);

    // One vote request (major type 2500). Close means the session flooded and should be dropped.
    Disposition handle(SessionId id, std::uint32_t minType, const std::string& body);

    // Ends votes whose time ran out, starts the scheduled votes that are due (every quarter second)
    // and sends due coalesced broadcasts.
    void tick();

    // Takes back the open votes the storage journalled before a restart, with their ballots and
    // remaining time; a running vote whose time ran out meanwhile ends at once (into the history).
    // Call once, before the first session opens.
    void resumeOpenVotes();

    std::size_t sessionCount() const { return m_sessions.size(); }
    // A new flood-control rate and burst, for the sessions already open as well.
    void setRequestRate(std::uint32_t requestsPerSecond, std::uint32_t requestBurst)
    {
        m_options.requestsPerSecond = requestsPerSecond;
        m_options.requestBurst = requestBurst;
    }
    void setFanoutBudget(std::uint64_t framesPerSecond) { m_fanout.setFramesPerSecond(framesPerSecond); }
    void setAnswerHold(std::int64_t ms) { m_options.answerHoldMs = ms; }
    // The count broadcast rate in force in the place (broadcastHz where no vote runs).
    std::uint32_t broadcastHzIn(const SubChannelKey& place) const;
    // A shared state still owes answers to requests handled so far (they reach the sink later).
    bool answersOwed() const { return m_box.pending(); }
    // Waits for the answers a shared state owes, which then reach the sink.
    void settleAnswers() { settle(); }
    // The count broadcast rate of every place where a vote runs.
    std::vector<std::pair<SubChannelKey, std::uint32_t>> runningRates() const;
    const SessionIdentity* identity(SessionId id) const;
    std::int64_t broadcastPeriodMs() const;
    // The scope of the session's token a request of this type needs (nullopt: none); a session
    // without it is answered kResultScopeMissing.
    static std::optional<AccessScope> scopeNeeded(std::uint32_t minType);

private:
    // How this process shows a place's open vote to its sessions; the vote itself is the box's.
    struct ShownVote
    {
        std::uint32_t voteId = 0;
        std::uint32_t jiFangId = 0;
        bool running = true;
        std::int64_t endsAtMs = 0;
        bool dirty = false;
        std::int64_t lastBroadcastMs = 0;
        bool countedHere = false; // votes accepted here that the other processes were not told of
        bool endShown = false;    // the end broadcast went to this process's sessions
        std::uint32_t hz = 0;     // count broadcasts a second, set by the fan-out plan
    };
    struct SubChannel
    {
        std::unordered_set<SessionId> members;
        std::optional<ShownVote> open;
        // Members whose accepted vote waits for the next count broadcast, in the order they voted:
        // that broadcast reaches them first, so their held answers leave at the head of the fan-out.
        std::vector<SessionId> riders;
    };
    // Where a session stands in its place's next count broadcast.
    enum class Ride : std::uint8_t
    {
        None,    // in the member pass, as everyone
        Waiting, // listed in riders
        Served   // reached in the riders pass; the member pass skips it once
    };
    struct Session
    {
        SessionIdentity identity;
        RequestBudget budget;
        std::uint32_t refusedInRow = 0;
        std::int64_t runningVoteSentMs = 0; // the last late-join broadcast sent to it
        SessionId id = 0;
        // The one it sits in. Answers owed to the session arrive before it moves or leaves: both
        // settle the box first.
        SubChannel* place = nullptr;
        Ride ride = Ride::None;
    };

    // Takes one request from the session's budget; when none is left, false, and Close in
    // `disposition` once the session has been refused too often in a row.
    bool spendBudget(Session& session, Disposition& disposition);
    Disposition answer(Session& session, SessionId id, std::uint32_t minType, const std::string& body);
    // Counts an answer to the asking session's request, and completes its audit entry.
    void noteAnswer(SessionId id, std::uint32_t requestMinType, std::uint32_t result, std::uint32_t voteId,
                    std::uint32_t jiFangId);
    void dispatch(Session& session, SessionId id, std::uint32_t minType, const std::string& body);
    // One per request, picked by the request's row of the message table; the body is decoded.
    void serve(VoteMessage<VOTE_SYSTEM_CREATE_VOTE_REQ>, Session& s, SessionId id, const PCreateVoteReq& req);
    void serve(VoteMessage<VOTE_SYSTEM_UPDATE_VOTE_REQ>, Session& s, SessionId id, const PUpdateVoteReq& req);
    void serve(VoteMessage<VOTE_SYSTEM_DELETE_VOTE_REQ>, Session& s, SessionId id, const PDeleteVoteReq& req);
    void serve(VoteMessage<VOTE_SYSTEM_BATCH_DELETE_VOTE_REQ>, Session& s, SessionId id,
               const PBatchDeleteVoteReq& req);
    void serve(VoteMessage<VOTE_SYSTEM_START_VOTE_REQ>, Session& s, SessionId id, const PStartVoteReq& req);
    void serve(VoteMessage<VOTE_SYSTEM_END_VOTE_REQ>, Session& s, SessionId id, const PEndVoteReq& req);
    void serve(VoteMessage<VOTE_SYSTEM_CLOSE_VOTEUI_REQ>, Session& s, SessionId id, const PCloseVoteReq& req);
    void serve(VoteMessage<VOTE_SYSTEM_USER_VOTE_REQ>, Session& s, SessionId id, const PUserVoteReq& req);
    void serve(VoteMessage<VOTE_SYSTEM_USER_VOTE_STATE_REQ>, Session& s, SessionId id,
               const PUserVoteStateReq& req);
    void serve(VoteMessage<VOTE_SYSTEM_QUERY_VOTE_HIS_RECORD_REQ>, Session& s, SessionId id,
               const PQueryVoteHisRecordReq& req);
    void serve(VoteMessage<VOTE_SYSTEM_QUERY_ALL_VOTE_REQ>, Session& s, SessionId id,
               const PQueryAllVoteReq& req);
    void serve(VoteMessage<VOTE_SYSTEM_QUERY_NICKNAME_REQ>, Session& s, SessionId id,
               const PQueryNicknameReq& req);

    static std::uint32_t checkPlace(const Session& s, std::uint32_t channelId, std::uint32_t subChannelId);
    static std::uint32_t checkManager(const Session& s, std::uint32_t channelId, std::uint32_t subChannelId);
    std::uint32_t checkStorable(const SubChannelKey& place, const VoteInfo& vote,
                                std::uint32_t replacingId) const;
    bool roomForNewVote(const SubChannelKey& place, std::size_t inSubChannel) const;
    std::uint32_t deleteOne(const SubChannelKey& place, std::uint32_t voteId);
    bool isOpen(const SubChannelKey& place, std::uint32_t voteId) const;
    // The vote shown in the place with these numbers, or null.
    const SharedOpenVote* shownVote(const SubChannelKey& place, std::uint32_t voteId, std::uint32_t jiFangId);

    static VoteInfo runningRecord(const VoteInfo& stored, std::uint32_t starterUid);
    // Shows a vote just started in the place (when this process shows it) and tells the others.
    void showStarted(const SubChannelKey& place, const SharedOpenVote& opened);

    // A start request whose extend asks to schedule the start or to cancel the schedule
    // (scheduleextend.h).
    void serveSchedule(Session& s, SessionId id, const PStartVoteReq& req);
    std::uint32_t schedule(const Session& s, std::uint32_t voteId, const ExtendMap& asked, ExtendMap& answer);
    // Claims and starts the schedules due now; each claimed once over every process.
    void startDueSchedules();
    void startScheduled(const VoteSchedule& due);
    // The vote list's extend: the place's schedules.
    ExtendMap scheduleEntries(const SubChannelKey& place) const;
    HistoryEntry historyOf(const SharedOpenVote& vote) const;
    // Writes the entry's timeText from its start instant in this process's zone.
    void showStartInZone(HistoryEntry& entry) const;
    // countsHidden: the record with every count zero (a vote whose results are shown at its end,
    // to a session that does not see them live).
    OutFrame voteBroadcast(const SharedOpenVote& vote, const ShownVote& shown, std::uint32_t status,
                           std::uint32_t fullAllowance, bool countsHidden = false) const;
    // Whether the session is kept from the vote's counts now: the vote shows its results at its end,
    // still runs, and the session may not manage the place (manage scope and a manager role).
    static bool countsHiddenFrom(const SessionIdentity& identity, const VoteInfo& record, bool running);
    void broadcastVote(SubChannel& sub, const SharedOpenVote& vote, std::uint32_t status,
                       std::uint32_t fullAllowance);
    void pushVoteList(const SubChannelKey& place);
    void listChanged(const SubChannelKey& place);
    void joinPlace(Session& session);
    void leavePlace(SessionId id, const SubChannelKey& place);
    void offerRunningVote(SessionId id);
    void sendRunningVote(SessionId id, Session& session, std::int64_t now);
    void sendOwedRunningVotes(std::int64_t now);

    void voteAnswered(Session& s, std::uint32_t result);
    // Reads the place's open vote from the box and shows it; false when it cannot be read.
    bool refreshOpen(const SubChannelKey& place);
    bool refreshOpen(const SubChannelKey& place, SubChannel& sub);
    void syncOpen(const SubChannelKey& place);
    void adopt(const SubChannelKey& place, SubChannel& sub, const SharedOpenVote& shared);
    void stopShowing(const SubChannelKey& place, SubChannel& sub);
    void showEnded(const SubChannelKey& place, std::uint32_t jiFangId, bool tell);
    void tickRunning(std::int64_t now);
    // Gives every running vote here its count broadcast rate within the fan-out budget.
    void planFanout(std::int64_t now);
    // Ends the place's running vote when its time ran out, else sends its due broadcast.
    void tickPlace(const SubChannelKey& place, SubChannel& sub, std::int64_t now);
    void endExpired();
    void endUnattended(const SubChannelKey& place);
    void applyNotice(const Notice& notice);
    void announce(NoticeKind kind, const SubChannelKey& place, std::uint32_t voteId, std::uint32_t jiFangId);
    void settle();

    void refuse(SessionId id, std::uint32_t minType, std::uint32_t code);
    void deliver(SessionId id, const OutFrame& frame);
    // holdMs: how long the frame may wait for the session's next write (OutFrame::heldUpTo).
    template <class Message>
    void sendTo(SessionId id, std::uint32_t minType, const Message& message, std::int64_t holdMs = 0);
    std::int64_t answerHoldMs(const Session& s) const;
    void sendToAll(const SubChannel& sub, const OutFrame& frame);
    // A count broadcast: the riders first, then every other member; frame to the members that see
    // the counts, hidden (zero counts; frame itself when the vote hides nothing) to the others.
    void sendToAudience(SubChannel& sub, const OutFrame& frame, const OutFrame& hidden);
    template <class Message> static OutFrame encodeFrame(std::uint32_t minType, const Message& message);
    template <class Request>
    bool decodeOr(SessionId id, std::uint32_t minType, const std::string& body, Request& request);

    Clock& m_clock;
    VoteStorage& m_storage;
    OutputSink& m_sink;
    CoreOptions m_options;
    CoreMetrics m_noMetrics;
    CoreMetrics& m_metrics;
    AuditRecorder m_audit;
    std::unique_ptr<MemoryBallotBox> m_ownBox; // when no box was given
    BallotBox& m_box;
    // The request being handled and whether it was answered (a failed storage then answers it).
    SessionId m_asking = 0;
    bool m_answered = false;
    std::unordered_map<SessionId, Session> m_sessions;
    std::unordered_map<SubChannelKey, SubChannel, SubChannelKeyHash> m_places;
    std::set<SubChannelKey> m_running;
    // Sessions that re-entered a place with a running vote sooner than the broadcast period after
    // they were last sent it: they get it on a later tick.
    std::unordered_set<SessionId> m_runningVoteOwed;
    std::int64_t m_lastPruneMs = 0;
    std::int64_t m_lastExpiryCheckMs = 0;
    std::int64_t m_lastScheduleCheckMs = 0;
    FanoutBudget m_fanout;
    std::int64_t m_lastFanoutPlanMs = 0;
};

} // namespace quorix::service
