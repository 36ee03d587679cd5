#pragma once

// The byte stream of one host connection: a plain TCP socket, or TLS over one when the server has a
// certificate. It answers the socket calls a session makes, so the session reads and writes the
// same way over either.
//
// Over TLS the readiness-based calls keep their meaning without touching OpenSSL synchronously:
// async_wait(wait_read) (the only wait it offers) reads decrypted bytes into a small buffer of the stream's
// own and completes when some are there; read_some() hands them out and then reports would_block.
// write_some() always reports would_block, so the bytes go through async_write(), which needs one write in
// flight at a time. Writes of several buffers are packed into one TLS record of at most kTlsRecordBytes.

#include <boost/asio.hpp>
#include <boost/asio/ssl.hpp>

#include <algorithm>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace quorix::service {

namespace asio = boost::asio;

class SessionStream
{
public:
    using executor_type = asio::ip::tcp::socket::executor_type;
    using TlsStream = asio::ssl::stream<asio::ip::tcp::socket>;
    using HandshakeHandler = std::function<void(const boost::system::error_code&)>;

    static constexpr std::size_t kTlsReadBytes = 4096;
    static constexpr std::size_t kTlsRecordBytes = 16 * 1024;
    static constexpr std::size_t kKeptRecordCapacity = 512;

    // Plain when tls is null.
    SessionStream(asio::ip::tcp::socket socket, const std::shared_ptr<asio::ssl::context>& tls);

    bool isTls() const { return m_tls != nullptr; }
    asio::ip::tcp::socket& socket() { return m_tls ? m_tls->next_layer() : m_plain; }
    const asio::ip::tcp::socket& socket() const { return m_tls ? m_tls->next_layer() : m_plain; }
    executor_type get_executor() { return m_plain.get_executor(); }

    // The TLS handshake as the server; a plain stream completes at once (from the executor).
    void async_handshake(HandshakeHandler handler);

    template <typename Option> void set_option(const Option& option, boost::system::error_code& ec)
    {
        socket().set_option(option, ec);
    }
    void non_blocking(bool mode, boost::system::error_code& ec) { socket().non_blocking(mode, ec); }
    asio::ip::tcp::endpoint remote_endpoint(boost::system::error_code& ec) const
    {
        return socket().remote_endpoint(ec);
    }
    void shutdown(asio::socket_base::shutdown_type what, boost::system::error_code& ec)
    {
        socket().shutdown(what, ec);
    }
    void close(boost::system::error_code& ec) { socket().close(ec); }

    void async_wait(asio::socket_base::wait_type what,
                    std::function<void(const boost::system::error_code&)> handler);
    std::size_t read_some(const asio::mutable_buffer& buffer, boost::system::error_code& ec);
    template <typename ConstBuffers>
    std::size_t write_some(const ConstBuffers& buffers, boost::system::error_code& ec)
    {
        if (!m_tls)
            return m_plain.write_some(buffers, ec);
        ec = asio::error::would_block;
        return 0;
    }

    template <typename ConstBuffers, typename Handler>
    void async_write_some(const ConstBuffers& buffers, Handler&& handler)
    {
        if (!m_tls)
            return m_plain.async_write_some(buffers, std::forward<Handler>(handler));
        packRecord(asio::buffer_sequence_begin(buffers), asio::buffer_sequence_end(buffers));
        m_tls->async_write_some(asio::buffer(m_record),
                                [this, handler = std::forward<Handler>(handler)](
                                    const boost::system::error_code& ec, std::size_t written) mutable {
                                    // An idle session keeps no record-sized buffer.
                                    if (m_record.capacity() > kKeptRecordCapacity)
                                        std::vector<char>().swap(m_record);
                                    handler(ec, written);
                                });
    }

private:
    template <typename Iterator> void packRecord(Iterator begin, Iterator end)
    {
        m_record.clear();
        for (Iterator it = begin; it != end && m_record.size() < kTlsRecordBytes; ++it) {
            const asio::const_buffer part(*it);
            const std::size_t take = std::min(part.size(), kTlsRecordBytes - m_record.size());
            const char* bytes = static_cast<const char*>(part.data());
            m_record.insert(m_record.end(), bytes, bytes + take);
        }
    }

    asio::ip::tcp::socket m_plain; // the socket itself when plain; unused (closed) over TLS
    std::unique_ptr<TlsStream> m_tls;
    std::vector<char> m_readBuffer; // TLS: decrypted bytes not yet handed out
    std::size_t m_readOffset = 0;
    std::vector<char> m_record; // TLS: the plaintext of the write in flight
};

} // namespace quorix::service
