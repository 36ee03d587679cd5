#include "voteservice/server/tcpsession.h"

#include <linux/sockios.h>
#include <sys/ioctl.h>

#include <array>
#include <utility>

namespace quorix::service {

namespace {
// Buffers kept between frames stay small, so idle sessions cost little memory.
constexpr std::size_t kKeptPartialCapacity = 256;
constexpr std::size_t kScratchBytes = 64 * 1024;
// Reads per readiness before other sessions get their turn.
constexpr int kReadsPerWakeup = 4;
constexpr std::size_t kKeptQueueCapacity = 8;
constexpr std::size_t kMaxFramesPerWrite = 64;

std::uint32_t u32le(const unsigned char* p)
{
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) |
           (std::uint32_t(p[3]) << 24);
}
} // namespace

TcpSession::TcpSession(SessionStream socket, SessionId id, Owner& owner, std::size_t maxQueuedBytes,
                       const Clock& clock, std::weak_ptr<FlushBatch> flushes)
    : m_socket(std::move(socket)), m_id(id), m_owner(owner), m_maxQueuedBytes(maxQueuedBytes), m_clock(clock),
      m_flushes(std::move(flushes)), m_acceptedAtMs(clock.steadyMs())
{}

void TcpSession::start(int socketSendBuffer)
{
    boost::system::error_code ec;
    m_socket.set_option(asio::ip::tcp::no_delay(true), ec);
    if (socketSendBuffer > 0)
        m_socket.set_option(asio::socket_base::send_buffer_size(socketSendBuffer), ec);
    m_socket.non_blocking(true, ec);
    if (ec)
        return close();
    m_socket.async_handshake(
        [self = shared_from_this()](const boost::system::error_code& error) { self->onHandshake(error); });
}

void TcpSession::onHandshake(const boost::system::error_code& ec)
{
    if (m_closed)
        return;
    if (ec) {
        m_owner.onHandshakeFailed(*this, ec.message());
        return close();
    }
    waitReadable();
}

std::string TcpSession::peer() const
{
    boost::system::error_code ec;
    const asio::ip::tcp::endpoint remote = m_socket.remote_endpoint(ec);
    if (ec)
        return "unknown peer";
    return remote.address().to_string() + ":" + std::to_string(remote.port());
}

void TcpSession::waitReadable()
{
    m_socket.async_wait(asio::ip::tcp::socket::wait_read,
                        [self = shared_from_this()](const boost::system::error_code& ec) {
                            if (ec)
                                return self->close();
                            self->onReadable();
                        });
}

void TcpSession::onReadable()
{
    if (!m_handlingFrames)
        return discardInput();
    static thread_local std::array<char, kScratchBytes> scratch;
    for (int round = 0; round < kReadsPerWakeup && !m_closed && !m_closing; ++round) {
        boost::system::error_code ec;
        const std::size_t n = m_socket.read_some(asio::buffer(scratch), ec);
        if (ec == asio::error::would_block || ec == asio::error::try_again)
            break;
        if (ec || n == 0)
            return close();
        const bool hadPartial = !m_partial.empty();
        std::size_t used = 0;
        if (!hadPartial) {
            used = consumeFrames(scratch.data(), n);
            m_partial.assign(scratch.data() + used, n - used);
        } else {
            m_partial.append(scratch.data(), n);
            used = consumeFrames(m_partial.data(), m_partial.size());
            m_partial.erase(0, used);
        }
        notePartialFrame(hadPartial && used == 0);
        if (m_partial.capacity() > kKeptPartialCapacity && m_partial.size() <= kKeptPartialCapacity)
            m_partial.shrink_to_fit();
        if (n < scratch.size())
            break;
    }
    if (!m_closed && !m_closing)
        waitReadable();
}

void TcpSession::discardInput()
{
    static thread_local std::array<char, kScratchBytes> scratch;
    for (int round = 0; round < kReadsPerWakeup && !m_closed; ++round) {
        boost::system::error_code ec;
        const std::size_t n = m_socket.read_some(asio::buffer(scratch), ec);
        if (ec == asio::error::would_block || ec == asio::error::try_again)
            break;
        if (ec || n == 0)
            return close();
    }
    if (!m_closed)
        waitReadable();
}

void TcpSession::stopHandlingFrames()
{
    m_handlingFrames = false;
    m_partial.clear();
    m_partialSinceMs.reset();
}

void TcpSession::goAway(const OutFrame& last)
{
    if (m_closed || m_closing)
        return;
    stopHandlingFrames();
    send(last);
    m_goingAway = true;
    if (!m_writing)
        flush();
}

bool TcpSession::deliveredAll()
{
    if (!m_goingAway || m_writing || !m_queue.empty())
        return false;
    int unacknowledged = 0;
    return ::ioctl(m_socket.socket().native_handle(), SIOCOUTQ, &unacknowledged) == 0 && unacknowledged == 0;
}

void TcpSession::notePartialFrame(bool sameFrameAsBefore)
{
    if (m_partial.empty())
        m_partialSinceMs.reset();
    else if (!sameFrameAsBefore)
        m_partialSinceMs = m_clock.steadyMs();
}

std::size_t TcpSession::consumeFrames(const char* data, std::size_t size)
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(data);
    std::size_t used = 0;
    while (!m_closed && !m_closing && m_handlingFrames && size - used >= 4) {
        const std::uint32_t length = u32le(bytes + used);
        if (length < kMinFrameBytes || length > kMaxFrameBytes) {
            close();
            break;
        }
        if (size - used - 4 < length)
            break;
        const unsigned char* frame = bytes + used + 4;
        const std::size_t payloadSize = std::size_t(frame[8]) | (std::size_t(frame[9]) << 8);
        if (payloadSize != length - kMinFrameBytes) {
            close();
            break;
        }
        // Reused by every frame of the thread: a payload costs no allocation once it has grown.
        static thread_local std::string payload;
        payload.assign(reinterpret_cast<const char*>(frame) + kMinFrameBytes, payloadSize);
        used += 4 + length;
        m_owner.onFrame(*this, u32le(frame), u32le(frame + 4), payload);
    }
    return used;
}

void TcpSession::send(const OutFrame& frame)
{
    if (m_closed || m_closing || m_goingAway || frame.isNull())
        return;
    if (m_queuedBytes + frame.wire().size() > m_maxQueuedBytes) {
        m_owner.onQueueCut();
        return dropLater();
    }
    m_queuedBytes += frame.wire().size();
    m_queue.push_back(frame);
    if (frame.holdMs() > 0)
        return holdUntil(m_clock.steadyMs() + frame.holdMs());
    scheduleFlush();
}

void TcpSession::holdUntil(std::int64_t dueMs)
{
    // A write already under way or a hold already set takes this frame along.
    if (m_writing || m_holding)
        return;
    const auto flushes = m_flushes.lock();
    if (!flushes)
        return scheduleFlush();
    m_holding = true;
    flushes->addLater(shared_from_this(), dueMs);
}

void TcpSession::releaseHeld()
{
    if (m_holding && !m_closed)
        scheduleFlush();
}

void TcpSession::scheduleFlush()
{
    // A posted flush or a write in flight takes every frame queued meanwhile.
    if (m_writing)
        return;
    m_holding = false;
    m_writing = true;
    // After the current handler: a read's answers and a tick's broadcasts all queue first.
    if (const auto flushes = m_flushes.lock())
        return flushes->add(shared_from_this());
    // The server that batched the writes is gone.
    asio::post(m_socket.get_executor(), [self = shared_from_this()] { self->flush(); });
}

void TcpSession::flush()
{
    while (!m_closed) {
        if (m_queue.empty()) {
            m_writing = false;
            if (m_closing)
                close();
            else if (m_goingAway) {
                boost::system::error_code ec;
                m_socket.shutdown(asio::ip::tcp::socket::shutdown_send, ec);
            }
            return;
        }
        takeQueuedFrames();
        WriteBuffers buffers;
        for (const OutFrame& frame : m_inflight)
            buffers.emplace_back(frame.wire().data(), frame.wire().size());
        // Most writes fit into the socket at once: one system call and no pending operation.
        boost::system::error_code ec;
        const std::size_t sentNow = m_socket.write_some(buffers, ec);
        const bool wouldBlock = ec == asio::error::would_block || ec == asio::error::try_again;
        if (!wouldBlock && (ec || sentNow == asio::buffer_size(buffers))) {
            if (!wrote(ec, sentNow))
                return;
            continue;
        }
        // The rest waits until the socket takes it.
        skipSent(buffers, wouldBlock ? 0 : sentNow);
        asio::async_write(m_socket, buffers,
                          [self = shared_from_this(), sentNow = wouldBlock ? 0 : sentNow](
                              const boost::system::error_code& ec, std::size_t sentLater) {
                              if (self->wrote(ec, sentNow + sentLater))
                                  self->flush();
                          });
        return;
    }
}

void TcpSession::takeQueuedFrames()
{
    // m_inflight is empty here; taking the whole queue is a swap, and both keep their capacity.
    if (m_queue.size() <= kMaxFramesPerWrite)
        return m_inflight.swap(m_queue);
    const auto end = m_queue.begin() + kMaxFramesPerWrite;
    m_inflight.assign(std::make_move_iterator(m_queue.begin()), std::make_move_iterator(end));
    m_queue.erase(m_queue.begin(), end);
}

void TcpSession::skipSent(WriteBuffers& buffers, std::size_t sent)
{
    auto first = buffers.begin();
    while (sent >= first->size()) {
        sent -= first->size();
        ++first;
    }
    *first += sent;
    buffers.erase(buffers.begin(), first);
}

bool TcpSession::wrote(const boost::system::error_code& ec, std::size_t sent)
{
    // A closed session's owner may be gone.
    if (!m_closed && sent > 0)
        m_owner.onBytesSent(sent);
    for (const OutFrame& frame : m_inflight)
        m_queuedBytes -= frame.wire().size();
    m_inflight.clear();
    if (m_inflight.capacity() > kKeptQueueCapacity)
        std::vector<OutFrame>().swap(m_inflight);
    if (m_queue.empty() && m_queue.capacity() > kKeptQueueCapacity)
        std::vector<OutFrame>().swap(m_queue);
    if (!ec)
        return true;
    m_writing = false;
    close();
    return false;
}

void TcpSession::closeAfterFlush()
{
    if (m_closed)
        return;
    m_closing = true;
    // Held frames leave first.
    if (m_holding)
        scheduleFlush();
    else if (!m_writing)
        close();
}

void TcpSession::dropLater()
{
    m_closing = true;
    m_queue.clear();
    asio::post(m_socket.get_executor(), [self = shared_from_this()] { self->close(); });
}

void TcpSession::close()
{
    if (m_closed)
        return;
    m_closed = true;
    boost::system::error_code ec;
    m_socket.shutdown(asio::ip::tcp::socket::shutdown_both, ec);
    m_socket.close(ec);
    m_queue.clear();
    std::string().swap(m_partial);
    m_owner.onClosed(*this);
}

} // namespace quorix::service
