#include "voteservice/server/sessionstream.h"

#include <cstring>
#include <utility>

namespace quorix::service {

SessionStream::SessionStream(asio::ip::tcp::socket socket, const std::shared_ptr<asio::ssl::context>& tls)
    : m_plain(tls ? asio::ip::tcp::socket(socket.get_executor()) : std::move(socket)),
      m_tls(tls ? std::make_unique<TlsStream>(std::move(socket), *tls) : nullptr)
{}

void SessionStream::async_handshake(HandshakeHandler handler)
{
    if (!m_tls)
        return asio::post(get_executor(), [handler = std::move(handler)] { handler({}); });
    m_tls->async_handshake(asio::ssl::stream_base::server, std::move(handler));
}

void SessionStream::async_wait(asio::socket_base::wait_type what,
                               std::function<void(const boost::system::error_code&)> handler)
{
    if (!m_tls)
        return m_plain.async_wait(what, std::move(handler));
    if (what != asio::socket_base::wait_read)
        return asio::post(get_executor(),
                          [handler = std::move(handler)] { handler(asio::error::operation_not_supported); });
    if (m_readOffset < m_readBuffer.size())
        return asio::post(get_executor(), [handler = std::move(handler)] { handler({}); });
    m_readBuffer.resize(kTlsReadBytes);
    m_readOffset = 0;
    m_tls->async_read_some(
        asio::buffer(m_readBuffer),
        [this, handler = std::move(handler)](const boost::system::error_code& ec, std::size_t received) {
            m_readBuffer.resize(received);
            handler(ec);
        });
}

std::size_t SessionStream::read_some(const asio::mutable_buffer& buffer, boost::system::error_code& ec)
{
    if (!m_tls)
        return m_plain.read_some(buffer, ec);
    const std::size_t waiting = m_readBuffer.size() - m_readOffset;
    if (waiting == 0) {
        ec = asio::error::would_block;
        return 0;
    }
    ec = {};
    const std::size_t n = std::min(waiting, buffer.size());
    std::memcpy(buffer.data(), m_readBuffer.data() + m_readOffset, n);
    m_readOffset += n;
    if (m_readOffset == m_readBuffer.size()) {
        m_readBuffer.clear();
        m_readOffset = 0;
    }
    return n;
}

} // namespace quorix::service
