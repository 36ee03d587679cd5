#pragma once

// The vote service running inside a host process, without a network.
//
//   EmbeddedVoteService service;                      // own clock, storage and core
//   auto id = service.connect(identity, [](const std::string& frame) { ... });
//   service.send(id, frame);                          // frame as the service link builds it
//   service.move(id, newSubChannelId);
//   service.tick();                                   // every 100 ms, e.g. from a QTimer
//   service.disconnect(id);
//
// Frames in both directions are the service link's: u32 major type, u32 minor type, u16 payload
// length n, n payload bytes (little-endian), without the stream's length prefix. Only major type
// 2500 (vote messages) is accepted from a session.
//
// Everything runs on the caller's thread; the object is not thread-safe. Callbacks are invoked
// from inside connect, send, move and tick, after the core has finished the call, one frame at a
// time and in order. A callback may call send, move or disconnect: the frames those produce are
// delivered after the frames already waiting. Frames for a session that has disconnected by then
// are dropped. Identities are trusted as given: the host vouches for them.
//
// With a durable storage, every call commits its writes before it hands out the frames, so an
// answer never reports a vote that a crash could lose; open votes of the last run resume. When the
// storage fails (disk full, file damaged) the service stops answering rather than report writes it
// could not save; nothing throws out of its calls.

#include "voteservice/core/clock.h"
#include "voteservice/core/memoryvotestorage.h"
#include "voteservice/core/outputsink.h"
#include "voteservice/core/sessionidentity.h"
#include "voteservice/core/systemclock.h"
#include "voteservice/core/voteservicecore.h"

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>

namespace quorix::service {

class EmbeddedVoteService
{
public:
    using FrameCallback = std::function<void(const std::string& frame)>;

    explicit EmbeddedVoteService(CoreOptions options = {});
    // Keeps its data in the given storage (e.g. SQLite in the user's data folder).
    explicit EmbeddedVoteService(std::unique_ptr<VoteStorage> storage, CoreOptions options = {});
    // For tests: time from the given clock, which must outlive the service.
    EmbeddedVoteService(Clock& clock, CoreOptions options = {});
    ~EmbeddedVoteService();
    EmbeddedVoteService(const EmbeddedVoteService&) = delete;
    EmbeddedVoteService& operator=(const EmbeddedVoteService&) = delete;

    // A new session (never 0). A sub-channel with a running vote sends its broadcast at once.
    SessionId connect(const SessionIdentity& identity, FrameCallback onFrame);
    // False when the session is unknown or the frame is not a well-formed vote frame (dropped).
    // A session that floods is disconnected (and false returned).
    bool send(SessionId session, const std::string& frame);
    // A move spends the session's request budget like a frame: one beyond it is ignored, and a
    // session that keeps moving is disconnected as a flooding one is.
    void move(SessionId session, std::uint32_t subChannelId);
    void disconnect(SessionId session);
    void tick();

    std::size_t sessionCount() const { return m_callbacks.size(); }

private:
    class QueueSink : public OutputSink
    {
    public:
        void deliver(SessionId session, const OutFrame& frame) override
        {
            pending.push_back({session, frame});
        }
        std::deque<std::pair<SessionId, OutFrame>> pending;
    };

    void deliverPending();
    // Runs a core call; a storage failure stops the service instead of escaping to the host.
    template <class Call> void guarded(Call call);

    std::unique_ptr<SystemClock> m_ownClock;
    Clock& m_clock;
    std::unique_ptr<VoteStorage> m_storage;
    QueueSink m_sink;
    VoteServiceCore m_core;
    std::unordered_map<SessionId, std::shared_ptr<FrameCallback>> m_callbacks;
    SessionId m_lastId = 0;
    bool m_delivering = false;
    bool m_failed = false;
};

} // namespace quorix::service
