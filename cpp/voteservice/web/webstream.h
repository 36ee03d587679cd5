#pragma once

// The byte stream of one web connection: Beast's TCP stream, or TLS over it when the server has a
// certificate (HTTPS, and WSS once upgraded). It is an asynchronous read and write stream, so HTTP
// reads and writes, WebSocket streams and event streams run over either alike; the timeouts and
// the socket belong to the TCP layer beneath. It carries the connection's place in its source
// address's count along when an upgrade hands it on.

#include "voteservice/server/addresslimiter.h"

#include <boost/asio/ssl.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/ssl.hpp>
#include <boost/beast/websocket/ssl.hpp>
#include <boost/beast/websocket/teardown.hpp>

#include <memory>
#include <utility>

namespace quorix::service {

class WebStream
{
public:
    using TlsStream = boost::beast::ssl_stream<boost::beast::tcp_stream>;
    using executor_type = boost::beast::tcp_stream::executor_type;

    // Plain when tls is null.
    WebStream(boost::asio::ip::tcp::socket socket, const std::shared_ptr<boost::asio::ssl::context>& tls);

    bool isTls() const { return m_tls != nullptr; }
    executor_type get_executor() { return tcp().get_executor(); }
    boost::beast::tcp_stream& tcp() { return m_tls ? boost::beast::get_lowest_layer(*m_tls) : m_plain; }
    boost::asio::ip::tcp::socket& socket() { return tcp().socket(); }
    void expires_after(std::chrono::steady_clock::duration after) { tcp().expires_after(after); }
    void expires_never() { tcp().expires_never(); }
    void close() { tcp().close(); }
    void holdLease(AddressLimiter::Lease lease) { m_lease = std::move(lease); }

    // The TLS handshake as the server; a plain stream completes at once (from the executor).
    template <typename Handler> void async_handshake(Handler&& handler)
    {
        if (m_tls)
            return m_tls->async_handshake(boost::asio::ssl::stream_base::server,
                                          std::forward<Handler>(handler));
        boost::asio::post(get_executor(), [handler = std::forward<Handler>(handler)]() mutable {
            handler(boost::beast::error_code());
        });
    }

    template <typename MutableBuffers, typename Token>
    auto async_read_some(const MutableBuffers& buffers, Token&& token)
    {
        return boost::asio::async_initiate<Token, void(boost::beast::error_code, std::size_t)>(
            [this](auto handler, const MutableBuffers& into) {
                if (m_tls)
                    m_tls->async_read_some(into, std::move(handler));
                else
                    m_plain.async_read_some(into, std::move(handler));
            },
            token, buffers);
    }

    template <typename ConstBuffers, typename Token>
    auto async_write_some(const ConstBuffers& buffers, Token&& token)
    {
        return boost::asio::async_initiate<Token, void(boost::beast::error_code, std::size_t)>(
            [this](auto handler, const ConstBuffers& from) {
                if (m_tls)
                    m_tls->async_write_some(from, std::move(handler));
                else
                    m_plain.async_write_some(from, std::move(handler));
            },
            token, buffers);
    }

    // How Beast closes the stream on a timeout or a failure: the TCP connection beneath.
    friend void beast_close_socket(WebStream& stream) { stream.close(); }

    // How a WebSocket over this stream ends the connection: the TLS close over TLS, else TCP's.
    friend void teardown(boost::beast::role_type role, WebStream& stream, boost::beast::error_code& ec)
    {
        using boost::beast::websocket::teardown;
        if (stream.m_tls)
            teardown(role, *stream.m_tls, ec);
        else
            teardown(role, stream.m_plain, ec);
    }

    template <typename TeardownHandler>
    friend void async_teardown(boost::beast::role_type role, WebStream& stream, TeardownHandler&& handler)
    {
        using boost::beast::websocket::async_teardown;
        if (stream.m_tls)
            async_teardown(role, *stream.m_tls, std::forward<TeardownHandler>(handler));
        else
            async_teardown(role, stream.m_plain, std::forward<TeardownHandler>(handler));
    }

private:
    boost::beast::tcp_stream m_plain; // the connection when plain; unused over TLS
    std::unique_ptr<TlsStream> m_tls;
    AddressLimiter::Lease m_lease;
};

} // namespace quorix::service
