#include "tcpsession.h"

namespace quorix::service {

namespace {
// Buffers kept between frames stay small, so idle sessions cost little memory.
constexpr std::size_t kKeptBodyCapacity = 256;
constexpr std::size_t kKeptQueueCapacity = 8;
constexpr std::size_t kMaxFramesPerWrite = 64;

std::uint32_t u32le(const unsigned char* p)
{
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) |
           (std::uint32_t(p[3]) << 24);
}
} // namespace

TcpSession::TcpSession(asio::ip::tcp::socket socket, SessionId id, Owner& owner, std::size_t maxQueuedBytes,
                       std::int64_t acceptedAtMs)
    : m_socket(std::move(socket)), m_id(id), m_owner(owner), m_maxQueuedBytes(maxQueuedBytes),
      m_acceptedAtMs(acceptedAtMs)
{}

void TcpSession::start(int socketSendBuffer)
{
    asio::error_code ec;
    m_socket.set_option(asio::ip::tcp::no_delay(true), ec);
    if (socketSendBuffer > 0)
        m_socket.set_option(asio::socket_base::send_buffer_size(socketSendBuffer), ec);
    readHeader();
}

void TcpSession::readHeader()
{
    asio::async_read(m_socket, asio::buffer(m_header),
                     [self = shared_from_this()](const asio::error_code& ec, std::size_t) {
                         if (ec)
                             return self->close();
                         const std::uint32_t size = u32le(self->m_header.data());
                         if (size < kMinFrameBytes || size > kMaxFrameBytes)
                             return self->close();
                         self->readBody(size);
                     });
}

void TcpSession::readBody(std::uint32_t size)
{
    m_body.resize(size);
    asio::async_read(m_socket, asio::buffer(m_body),
                     [self = shared_from_this()](const asio::error_code& ec, std::size_t) {
                         if (ec)
                             return self->close();
                         self->onBody();
                     });
}

void TcpSession::onBody()
{
    if (m_closed || m_closing)
        return;
    const auto* bytes = reinterpret_cast<const unsigned char*>(m_body.data());
    const std::uint32_t maxType = u32le(bytes);
    const std::uint32_t minType = u32le(bytes + 4);
    const std::size_t payloadSize = std::size_t(bytes[8]) | (std::size_t(bytes[9]) << 8);
    if (payloadSize != m_body.size() - kMinFrameBytes)
        return close();
    m_owner.onFrame(*this, maxType, minType, m_body.substr(kMinFrameBytes));
    if (m_body.capacity() > kKeptBodyCapacity)
        std::string().swap(m_body);
    if (!m_closed && !m_closing)
        readHeader();
}

void TcpSession::send(const OutFrame& frame)
{
    if (m_closed || m_closing || frame.isNull())
        return;
    if (m_queuedBytes + frame.wire().size() > m_maxQueuedBytes)
        return dropLater();
    m_queuedBytes += frame.wire().size();
    m_queue.push_back(frame);
    if (!m_writing)
        writeQueued();
}

void TcpSession::writeQueued()
{
    if (m_queue.empty() || m_closed) {
        m_writing = false;
        if (m_closing && !m_closed)
            close();
        return;
    }
    m_writing = true;
    const std::size_t n = std::min(m_queue.size(), kMaxFramesPerWrite);
    m_inflight.assign(std::make_move_iterator(m_queue.begin()), std::make_move_iterator(m_queue.begin() + n));
    m_queue.erase(m_queue.begin(), m_queue.begin() + n);
    std::vector<asio::const_buffer> buffers;
    buffers.reserve(n);
    for (const OutFrame& frame : m_inflight)
        buffers.emplace_back(frame.wire().data(), frame.wire().size());
    asio::async_write(m_socket, buffers,
                      [self = shared_from_this()](const asio::error_code& ec, std::size_t) {
                          for (const OutFrame& frame : self->m_inflight)
                              self->m_queuedBytes -= frame.wire().size();
                          self->m_inflight.clear();
                          if (self->m_inflight.capacity() > kKeptQueueCapacity)
                              std::vector<OutFrame>().swap(self->m_inflight);
                          if (self->m_queue.empty() && self->m_queue.capacity() > kKeptQueueCapacity)
                              std::vector<OutFrame>().swap(self->m_queue);
                          if (ec) {
                              self->m_writing = false;
                              return self->close();
                          }
                          self->writeQueued();
                      });
}

void TcpSession::closeAfterFlush()
{
    if (m_closed)
        return;
    m_closing = true;
    if (!m_writing)
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
    asio::error_code ec;
    m_socket.shutdown(asio::ip::tcp::socket::shutdown_both, ec);
    m_socket.close(ec);
    m_queue.clear();
    m_owner.onClosed(*this);
}

} // namespace quorix::service
