#pragma once

// Where the open votes live and who applies their rules: one vote open per sub-channel, allowances,
// judge rules, ending once, closing. The core asks the box for every such decision and keeps only
// how it shows each vote to its own sessions. MemoryBallotBox keeps them in this process (the
// default); RedisBallotBox shares them with other service processes, which tell each other what
// changed through notices; each one then updates its own sessions.
//
// find() gives the place's vote as the box last read it: always current for a box in this
// process, as of the last refresh() for a shared one. A user vote's answer may come later (cast),
// so that many votes travel to the shared state together; work queued with after() runs behind
// the answers queued before it, which keeps the frames to one session in order. flush() waits for
// everything queued.

#include "voteservice/core/sessionidentity.h"
#include <quorix/protocol/votemessages.h>
#include "voteservice/core/votestorage.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace quorix::service {

struct SharedOpenVote
{
    VoteInfo record; // as started, with the live counts and judge points
    std::uint32_t jiFangId = 0;
    bool running = true;
    std::int64_t startedAtUnix = 0;
    std::int64_t endsAtUnix = 0;
    // The deadline on this process's steady clock, known to a box that keeps the vote in this
    // process; a box shared with other processes knows endsAtUnix only.
    std::optional<std::int64_t> endsAtMs;
    std::string starterNick;
};

struct TicketUse
{
    std::uint32_t used = 0;
    U32Map perOption;
};

enum class NoticeKind : std::uint32_t
{
    Started = 1,
    Counted = 2,
    Ended = 3,
    Closed = 4,
    ListChanged = 5,
    // Notices may have been missed (the connection to the others dropped): refresh every place.
    Resync = 6
};

struct Notice
{
    NoticeKind kind = NoticeKind::Counted;
    SubChannelKey place;
    std::uint32_t voteId = 0;
    std::uint32_t jiFangId = 0;
};

class BallotBox
{
public:
    using Answer = std::function<void(std::uint32_t result)>;

    virtual ~BallotBox() = default;

    // Opens record (counts zero, ownerUid set) in the place: kResultOk with opened filled,
    // kResultAnotherVoteOpen, or kResultStartStorageError.
    virtual std::uint32_t start(const SubChannelKey& place, const VoteInfo& record, std::int64_t nowUnix,
                                const std::string& starterNick, SharedOpenVote& opened) = 0;
    // The place's open vote (running or ended, not closed) as last read; null when there is none.
    virtual const SharedOpenVote* find(const SubChannelKey& place) const = 0;
    // Reads the place's open vote again for find(); false when it cannot be read.
    virtual bool refresh(const SubChannelKey& place) = 0;
    // This process no longer shows the place: what was read of it may go.
    virtual void forget(const SubChannelKey& place) = 0;
    // True when the box keeps its votes current without reading them (it holds them itself): the
    // core then keeps showing a place no session sits in, so the vote's deadline and broadcast
    // pacing carry on as if it were watched. A shared box would be read for them.
    virtual bool keepsShownWhenUnwatched() const = 0;
    // Takes back an open vote journalled before a restart, with its ballots; the time it had left
    // counts from now.
    virtual void resume(const OpenVoteState& state) = 0;
    // Checks and counts one user vote; answer gets kResultOk or the refusal, possibly later.
    virtual void cast(const SubChannelKey& place, std::uint32_t uid, const PUserVoteReq& req,
                      Answer answer) = 0;
    // The tickets uid used in the place's open vote; false when they cannot be read.
    virtual bool ticketUse(const SubChannelKey& place, std::uint32_t uid, const VoteInfo& record,
                           TicketUse& use) = 0;
    // Ends the vote when it still runs with these numbers and enters entry (its counts filled in
    // from the shared state) into the history: kResultOk when this call ended it,
    // kResultEndNotFound when it was not running, kResultEndStorageError.
    virtual std::uint32_t end(const SubChannelKey& place, std::uint32_t voteId, std::uint32_t jiFangId,
                              const HistoryEntry& entry) = 0;
    // Forgets the open vote: kResultOk, kResultNotFound, or kResultStorageUnavailable.
    virtual std::uint32_t close(const SubChannelKey& place, std::uint32_t voteId, std::uint32_t jiFangId) = 0;
    // Places whose running vote's time ran out by nowUnix (some of them, when there are many);
    // empty when they cannot be read.
    virtual std::vector<SubChannelKey> expired(std::int64_t nowUnix) = 0;
    // How often expired() is worth asking for the places no session of this process sits in.
    virtual std::int64_t expiryCheckPeriodMs() const = 0;

    virtual void after(std::function<void()> work) = 0;
    virtual bool pending() const = 0;
    virtual void flush() = 0;

    // Tells the other processes; a process never receives its own notices.
    virtual void announce(const Notice& notice) = 0;
    // What the other processes announced since the last call.
    virtual std::vector<Notice> takeNotices() = 0;
};

} // namespace quorix::service
