#pragma once

// One client connection of quorix-voted: reads length-prefixed frames, writes queued frames.
// Lives in a shared_ptr while the owner holds it or an operation is pending. All calls on the
// io_context's single thread.
//
// Reading waits for readability without a buffer and then reads into one scratch area shared by
// all sessions of the thread; a session keeps only the bytes of a frame that has not fully arrived.
// An idle session therefore holds no read buffer, and one read takes in every frame that is there.

#include "voteservice/server/addresslimiter.h"
#include "voteservice/core/clock.h"
#include "voteservice/server/flushbatch.h"
#include "voteservice/core/outframe.h"
#include "voteservice/core/sessionidentity.h"
#include "voteservice/server/sessionoutput.h"
#include "voteservice/server/sessionstream.h"

#include <boost/asio.hpp>
#include <boost/container/small_vector.hpp>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace quorix::service {

namespace asio = boost::asio;

class TcpSession : public std::enable_shared_from_this<TcpSession>, public SessionOutput
{
public:
    class Owner
    {
    public:
        virtual ~Owner() = default;
        // One well-formed frame. The owner may close the session from here.
        virtual void onFrame(TcpSession& session, std::uint32_t maxType, std::uint32_t minType,
                             const std::string& payload) = 0;
        // Called once, when the connection has closed for any reason.
        virtual void onClosed(TcpSession& session) = 0;
        // Bytes went out to the socket (any part of a frame).
        virtual void onBytesSent(std::size_t bytes) = 0;
        // The session is being dropped: a frame would have passed its output queue's bound.
        virtual void onQueueCut() = 0;
        // The TLS handshake failed; the session closes next.
        virtual void onHandshakeFailed(TcpSession& session, const std::string& reason) = 0;
    };

    static constexpr std::uint32_t kMinFrameBytes = 10;
    static constexpr std::uint32_t kMaxFrameBytes = 10 + 65535;

    // The batch writes the session's queued frames after each handler (shared by the sessions
    // of one io_context).
    TcpSession(SessionStream socket, SessionId id, Owner& owner, std::size_t maxQueuedBytes,
               const Clock& clock, std::weak_ptr<FlushBatch> flushes);

    void start(int socketSendBuffer);
    // Queues a frame; the frames queued during one handler leave together, in one gathered write
    // after it. A frame with a hold (an answer) waits up to that long for the next frame without
    // one and leaves with it. A session whose queue would pass the bound is dropped (later, never
    // from inside this call, so callers iterating over sessions are safe).
    void send(const OutFrame& frame) override;
    // Sends what is queued, then closes; nothing more is read.
    void closeAfterFlush();
    void close() override;
    // The service drains: the frames that arrive from now on are read and dropped unhandled.
    void stopHandlingFrames();
    // Sends what is queued and then `last`, ends the stream's sending side once they are out, and
    // closes when the peer closes its side. Reading on until then keeps unread bytes from turning
    // the close into a reset that could discard what was sent.
    void goAway(const OutFrame& last);
    // After goAway: everything is written and the peer's system has acknowledged every byte, so a
    // close now loses nothing the peer was sent, even if the peer never closes its side.
    bool deliveredAll();
    // The connection's place in its address's count, released when the session is destroyed.
    void holdLease(AddressLimiter::Lease lease) { m_lease = std::move(lease); }

    SessionId id() const { return m_id; }
    // The remote address as "ip:port", or "unknown peer" once the socket no longer has one.
    std::string peer() const;
    bool welcomed = false;
    std::int64_t acceptedAtMs() const { return m_acceptedAtMs; }
    // When the first bytes of a frame that has not fully arrived came in; nullopt between frames.
    std::optional<std::int64_t> partialFrameSinceMs() const { return m_partialSinceMs; }

private:
    friend class FlushBatch;

    void onHandshake(const boost::system::error_code& ec);
    void waitReadable();
    void onReadable();
    // Handles the complete frames at the front of the bytes; returns how many bytes it used.
    std::size_t consumeFrames(const char* bytes, std::size_t size);
    void notePartialFrame(bool sameFrameAsBefore);
    // The buffers of one gathered write; up to this many frames without a heap block.
    using WriteBuffers = boost::container::small_vector<asio::const_buffer, 4>;

    void scheduleFlush();
    // Leaves the queued frames until dueMs unless another frame comes first.
    void holdUntil(std::int64_t dueMs);
    // The hold came due: what is still held is written now.
    void releaseHeld();
    // The one place that writes: the queued frames (up to a bound per write) in one gathered
    // write, again while more are queued and the socket takes them at once.
    void flush();
    void takeQueuedFrames();
    static void skipSent(WriteBuffers& buffers, std::size_t sent);
    // Settles the frames in flight; false when the write failed and the session closed.
    bool wrote(const boost::system::error_code& ec, std::size_t sent);
    void dropLater();
    void discardInput();

    SessionStream m_socket;
    AddressLimiter::Lease m_lease;
    SessionId m_id;
    Owner& m_owner;
    std::size_t m_maxQueuedBytes;
    const Clock& m_clock;
    std::weak_ptr<FlushBatch> m_flushes;
    std::int64_t m_acceptedAtMs;
    std::string m_partial;
    std::optional<std::int64_t> m_partialSinceMs;
    std::vector<OutFrame> m_queue;
    std::vector<OutFrame> m_inflight;
    std::size_t m_queuedBytes = 0;
    // A flush is posted or a write is in flight; the frames queued meanwhile wait for it.
    bool m_writing = false;
    // Queued frames wait for a later write (holdUntil); the batch releases them when due.
    bool m_holding = false;
    bool m_closing = false;
    bool m_closed = false;
    bool m_handlingFrames = true;
    bool m_goingAway = false;
};

} // namespace quorix::service
