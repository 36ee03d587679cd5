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
// Given a BallotBox, the open votes live there, shared with other service processes: the core
// asks the box for every decision about them, keeps a copy per sub-channel its sessions sit in,
// and follows the other processes' notices (from tick()) to update its own sessions.

#include "ballotbox.h"
#include "clock.h"
#include "outputsink.h"
#include "requestbudget.h"
#include "sessionidentity.h"
#include <quorix/protocol/votemessages.h>
#include "votestorage.h"

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <unordered_set>

namespace quorix::service {

struct CoreOptions
{
    // Coalesced count broadcasts per sub-channel and second, at most.
    std::uint32_t broadcastHz = 10;
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
};

enum class Disposition
{
    Keep,
    Close
};

class VoteServiceCore
{
public:
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

    // One vote request (major type 2500). Close means the session flooded and should be dropped.
    Disposition handle(SessionId id, std::uint32_t minType, const std::string& body);

    // Ends votes whose time ran out and sends due coalesced broadcasts.
    void tick();

    // Takes back the open votes the storage journalled before a restart, with their ballots and
    // remaining time; a running vote whose time ran out meanwhile ends at once (into the history).
    // Call once, before the first session opens.
    void resumeOpenVotes();

    std::size_t sessionCount() const { return m_sessions.size(); }
    const SessionIdentity* identity(SessionId id) const;
    std::int64_t broadcastPeriodMs() const;

private:
    struct Ledger
    {
        std::uint32_t used = 0;
        U32Map perOption;
    };
    struct OpenVote
    {
        VoteInfo record; // live counts
        std::uint32_t jiFangId = 0;
        bool running = true;
        std::int64_t endsAtMs = 0;
        std::int64_t startedAtUnix = 0;
        std::string starterNick;
        std::unordered_map<std::uint32_t, Ledger> ledgers; // by uid
        bool dirty = false;
        std::int64_t lastBroadcastMs = 0;
        bool countedHere = false; // votes accepted here that the other processes were not told of
        bool endShown = false;    // the end broadcast went to this process's sessions
    };
    struct SubChannel
    {
        std::unordered_set<SessionId> members;
        std::optional<OpenVote> open;
    };
    struct Session
    {
        SessionIdentity identity;
        RequestBudget budget;
        std::uint32_t refusedInRow = 0;
        std::int64_t runningVoteSentMs = 0; // the last late-join broadcast sent to it
    };

    // Takes one request from the session's budget; when none is left, false, and Close in
    // `disposition` once the session has been refused too often in a row.
    bool spendBudget(Session& session, Disposition& disposition);
    void dispatch(Session& session, SessionId id, std::uint32_t minType, const std::string& body);
    void handleCreate(Session& s, SessionId id, const std::string& body);
    void handleUpdate(Session& s, SessionId id, const std::string& body);
    void handleDelete(Session& s, SessionId id, const std::string& body);
    void handleBatchDelete(Session& s, SessionId id, const std::string& body);
    void handleStart(Session& s, SessionId id, const std::string& body);
    void handleEnd(Session& s, SessionId id, const std::string& body);
    void handleClose(Session& s, SessionId id, const std::string& body);
    void handleUserVote(Session& s, SessionId id, const std::string& body);
    void handleTicketState(Session& s, SessionId id, const std::string& body);
    void handleHistory(Session& s, SessionId id, const std::string& body);
    void handleQueryAll(Session& s, SessionId id, const std::string& body);
    void handleNickname(SessionId id, const std::string& body);

    static std::uint32_t checkPlace(const Session& s, std::uint32_t channelId, std::uint32_t subChannelId);
    static std::uint32_t checkManager(const Session& s, std::uint32_t channelId, std::uint32_t subChannelId);
    std::uint32_t checkStorable(const SubChannelKey& place, const VoteInfo& vote,
                                std::uint32_t replacingId) const;
    bool roomForNewVote(const SubChannelKey& place, std::size_t inSubChannel) const;
    std::uint32_t deleteOne(const SubChannelKey& place, std::uint32_t voteId);
    bool isOpen(const SubChannelKey& place, std::uint32_t voteId) const;
    OpenVote* openVote(const SubChannelKey& place, std::uint32_t voteId, std::uint32_t jiFangId);
    std::uint32_t castTicket(OpenVote& vote, std::uint32_t uid, const PUserVoteReq& req);
    std::uint32_t castJudgeScore(OpenVote& vote, std::uint32_t uid, const PUserVoteReq& req);
    static void replayBallot(OpenVote& vote, const Ballot& ballot);

    void startVote(const SubChannelKey& place, const VoteInfo& stored, const Session& starter);
    static VoteInfo runningRecord(const VoteInfo& stored, std::uint32_t starterUid);
    std::uint32_t nextJiFangId();
    void finishVote(const SubChannelKey& place, SubChannel& sub);
    void recordHistory(const SubChannelKey& place, const OpenVote& vote);
    HistoryEntry historyOf(const OpenVote& vote) const;
    OutFrame voteBroadcast(const OpenVote& vote, std::uint32_t status, std::uint32_t fullAllowance) const;
    void broadcastVote(SubChannel& sub, std::uint32_t status, std::uint32_t fullAllowance);
    void pushVoteList(const SubChannelKey& place);
    void listChanged(const SubChannelKey& place);
    void joinPlace(SessionId id, const SubChannelKey& place);
    void leavePlace(SessionId id, const SubChannelKey& place);
    void offerRunningVote(SessionId id);
    void sendRunningVote(SessionId id, Session& session, std::int64_t now);
    void sendOwedRunningVotes(std::int64_t now);

    // The shared mode (a ballot box is given).
    void startShared(Session& s, SessionId id, const SubChannelKey& place, const VoteInfo& stored,
                     PStartVoteRes& res);
    void endShared(SessionId id, const SubChannelKey& place, PEndVoteRes& res);
    void closeShared(SessionId id, const SubChannelKey& place, PCloseVoteUiRes& res);
    void castShared(SessionId id, const SubChannelKey& place, const PUserVoteReq& req);
    std::uint32_t ticketUseShared(const SubChannelKey& place, const OpenVote& vote, std::uint32_t uid,
                                  Ledger& ledger);
    // Reads the place's open vote from the box into the copy; false when it cannot be read.
    bool refreshOpen(const SubChannelKey& place);
    void syncOpen(const SubChannelKey& place);
    void adopt(const SubChannelKey& place, SubChannel& sub, const SharedOpenVote& shared);
    void showEnded(const SubChannelKey& place, std::uint32_t jiFangId, bool tell);
    void tickShared(std::int64_t now);
    void endUnattended();
    void applyNotice(const Notice& notice);
    void announce(NoticeKind kind, const SubChannelKey& place, std::uint32_t voteId, std::uint32_t jiFangId);
    void settle();

    void refuse(SessionId id, std::uint32_t minType, std::uint32_t code);
    void deliver(SessionId id, const OutFrame& frame);
    template <class Message> void sendTo(SessionId id, std::uint32_t minType, const Message& message);
    void sendToAll(const SubChannel& sub, const OutFrame& frame);
    template <class Message> static OutFrame encodeFrame(std::uint32_t minType, const Message& message);
    template <class Request>
    bool decodeOr(SessionId id, std::uint32_t minType, const std::string& body, Request& request);

    Clock& m_clock;
    VoteStorage& m_storage;
    OutputSink& m_sink;
    CoreOptions m_options;
    BallotBox* m_box;
    // The request being handled and whether it was answered (a failed storage then answers it).
    SessionId m_asking = 0;
    bool m_answered = false;
    std::unordered_map<SessionId, Session> m_sessions;
    std::unordered_map<SubChannelKey, SubChannel, SubChannelKeyHash> m_places;
    std::set<SubChannelKey> m_running;
    // Sessions that re-entered a place with a running vote sooner than the broadcast period after
    // they were last sent it: they get it on a later tick.
    std::unordered_set<SessionId> m_runningVoteOwed;
    std::uint32_t m_lastJiFangId = 0;
    std::int64_t m_lastPruneMs = 0;
    std::int64_t m_lastExpiryCheckMs = 0;
};

} // namespace quorix::service
