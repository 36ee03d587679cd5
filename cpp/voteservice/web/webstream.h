#pragma once

// The byte stream of one web connection: Beast's TCP stream, or TLS over it when the server has a
// certificate (HTTPS, and WSS once upgraded). It is an asynchronous read and write stream, so HTTP
// reads and writes, WebSocket streams and event streams run over either alike; the timeouts and
// the socket belong to the TCP layer beneath. It carries the connection's place in its source
// address's count along when an upgrade hands it on.
//
// It can gather writes: while gathering, a write completes at once (from the executor) into a
// buffer of the stream, and the first write after gathering ends sends the gathered bytes and its
// own in one write to the socket (one system call, over TLS one record). A WebSocket channel
// gathers only while another message of its batch follows, so whatever Beast writes meanwhile (a
// pong, a ping, a close frame) leaves with that message within the same batch, or with the
// teardown that ends the connection: nothing gathered waits for anything outside the stream.

#include "voteservice/server/addresslimiter.h"

#include <boost/asio/ssl.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/ssl.hpp>
#include <boost/beast/websocket/ssl.hpp>
#include <boost/beast/websocket/teardown.hpp>

#include <memory>
#include <string>
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
    void gatherWrites(bool gather) { m_gathering = gather; }

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
                if (!m_gathering && m_gathered.empty())
                    return writeSome(from, std::move(handler));
                const std::size_t size = boost::asio::buffer_size(from);
                const std::size_t at = m_gathered.size();
                m_gathered.resize(at + size);
                boost::asio::buffer_copy(boost::asio::buffer(&m_gathered[at], size), from);
                if (m_gathering)
                    return boost::asio::post(
                        get_executor(), boost::beast::bind_front_handler(std::move(handler),
                                                                         boost::beast::error_code(), size));
                writeGathered(
                    [size, handler = std::move(handler)](const boost::beast::error_code& ec) mutable {
                        handler(ec, ec ? 0 : size);
                    });
            },
            token, buffers);
    }

    // How Beast closes the stream on a timeout or a failure: the TCP connection beneath.
    friend void beast_close_socket(WebStream& stream) { stream.close(); }

    // How a WebSocket over this stream ends the connection: the TLS close over TLS, else TCP's;
    // gathered bytes (a close frame among them) go first.
    friend void teardown(boost::beast::role_type role, WebStream& stream, boost::beast::error_code& ec)
    {
        using boost::beast::websocket::teardown;
        stream.m_gathering = false;
        if (!stream.m_gathered.empty()) {
            boost::beast::error_code ignored;
            if (stream.m_tls)
                boost::asio::write(*stream.m_tls, boost::asio::buffer(stream.m_gathered), ignored);
            else
                boost::asio::write(stream.m_plain, boost::asio::buffer(stream.m_gathered), ignored);
            std::string().swap(stream.m_gathered);
        }
        if (stream.m_tls)
            teardown(role, *stream.m_tls, ec);
        else
            teardown(role, stream.m_plain, ec);
    }

    template <typename TeardownHandler>
    friend void async_teardown(boost::beast::role_type role, WebStream& stream, TeardownHandler&& handler)
    {
        stream.m_gathering = false;
        if (stream.m_gathered.empty())
            return stream.teardownNow(role, std::forward<TeardownHandler>(handler));
        stream.writeGathered(
            [&stream, role, handler = std::forward<TeardownHandler>(handler)](
                const boost::beast::error_code&) mutable { stream.teardownNow(role, std::move(handler)); });
    }

private:
    template <typename ConstBuffers, typename Handler>
    void writeSome(const ConstBuffers& from, Handler&& handler)
    {
        if (m_tls)
            m_tls->async_write_some(from, std::forward<Handler>(handler));
        else
            m_plain.async_write_some(from, std::forward<Handler>(handler));
    }

    // Writes every gathered byte, then lets go of the buffer (an idle connection holds none) and
    // calls done(ec).
    template <typename Done> void writeGathered(Done&& done)
    {
        auto written = [this, done = std::forward<Done>(done)](const boost::beast::error_code& ec,
                                                               std::size_t) mutable {
            std::string().swap(m_gathered);
            done(ec);
        };
        if (m_tls)
            boost::asio::async_write(*m_tls, boost::asio::buffer(m_gathered), std::move(written));
        else
            boost::asio::async_write(m_plain, boost::asio::buffer(m_gathered), std::move(written));
    }

    template <typename TeardownHandler>
    void teardownNow(boost::beast::role_type role, TeardownHandler&& handler)
    {
        using boost::beast::websocket::async_teardown;
        if (m_tls)
            async_teardown(role, *m_tls, std::forward<TeardownHandler>(handler));
        else
            async_teardown(role, m_plain, std::forward<TeardownHandler>(handler));
    }

    boost::beast::tcp_stream m_plain; // the connection when plain; unused over TLS
    std::unique_ptr<TlsStream> m_tls;
    AddressLimiter::Lease m_lease;
    bool m_gathering = false;
    std::string m_gathered; // written while gathering, not yet sent
};

} // namespace quorix::service
