#include "voteservice/webhook/webhookpost.h"

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/ssl/host_name_verification.hpp>
#include <boost/asio/ssl/stream.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/ssl.hpp>

#include <openssl/ssl.h>

#include <memory>
#include <optional>

namespace quorix::service {

namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;

// One exchange, kept alive by the handlers it hands out; plain TCP or TLS over it.
class Exchange : public std::enable_shared_from_this<Exchange>
{
public:
    Exchange(asio::io_context& io, asio::ssl::context& tls, WebhookUrl url, std::chrono::milliseconds timeout,
             WebhookPost::Done done)
        : m_resolver(io), m_deadline(io), m_url(std::move(url)), m_timeout(timeout), m_done(std::move(done))
    {
        if (m_url.tls)
            m_tls.emplace(beast::tcp_stream(io), tls);
        else
            m_plain.emplace(io);
        m_parser.header_limit(WebhookPost::kMaxHeaderBytes);
        m_parser.body_limit(WebhookPost::kMaxBodyBytes);
    }

    void start(const WebhookPost::Headers& headers, std::string body)
    {
        m_request.method(http::verb::post);
        m_request.target(m_url.target);
        m_request.version(11);
        m_request.set(http::field::host, m_url.hostHeader());
        m_request.set(http::field::user_agent, "quorix-voted");
        m_request.set(http::field::content_type, "application/json");
        m_request.set(http::field::connection, "close");
        for (const auto& [name, value] : headers)
            m_request.set(name, value);
        m_request.body() = std::move(body);
        m_request.prepare_payload();
        tcpLayer().expires_after(m_timeout);
        // The stream's own timeout does not cover the name's resolution.
        m_deadline.expires_after(m_timeout);
        m_deadline.async_wait([self = shared_from_this()](const beast::error_code& ec) {
            if (!ec) {
                self->m_resolver.cancel();
                self->tcpLayer().cancel();
            }
        });
        m_resolver.async_resolve(
            m_url.bareHost(), std::to_string(m_url.port),
            [self = shared_from_this()](beast::error_code ec, tcp::resolver::results_type found) {
                self->onResolved(ec, std::move(found));
            });
    }

private:
    beast::tcp_stream& tcpLayer() { return m_tls ? beast::get_lowest_layer(*m_tls) : *m_plain; }

    void finish(WebhookPost::Outcome outcome)
    {
        if (!m_done)
            return;
        auto done = std::move(m_done);
        m_done = nullptr;
        m_deadline.cancel();
        beast::error_code ignored;
        tcpLayer().socket().shutdown(tcp::socket::shutdown_both, ignored);
        done(std::move(outcome));
    }
    void fail(const char* step, const beast::error_code& ec)
    {
        finish({0, std::string(step) + ": " + ec.message()});
    }

    void onResolved(const beast::error_code& ec, const tcp::resolver::results_type& found)
    {
        if (ec)
            return fail("resolve", ec);
        tcpLayer().async_connect(
            found, [self = shared_from_this()](beast::error_code connectEc, const tcp::endpoint&) {
                self->onConnected(connectEc);
            });
    }

    void onConnected(const beast::error_code& ec)
    {
        if (ec)
            return fail("connect", ec);
        if (!m_tls)
            return write();
        // SNI for a name (never for an address, RFC 6066), and the certificate must name the host.
        if (!m_url.hostIsAddress() && !SSL_set_tlsext_host_name(m_tls->native_handle(), m_url.host.c_str()))
            return fail("tls", beast::error_code(static_cast<int>(::ERR_get_error()),
                                                 asio::error::get_ssl_category()));
        m_tls->set_verify_mode(asio::ssl::verify_peer);
        m_tls->set_verify_callback(asio::ssl::host_name_verification(m_url.bareHost()));
        m_tls->async_handshake(asio::ssl::stream_base::client,
                               [self = shared_from_this()](beast::error_code handshakeEc) {
                                   if (handshakeEc)
                                       return self->fail("tls handshake", handshakeEc);
                                   self->write();
                               });
    }

    template <class Stream> void exchange(Stream& stream)
    {
        http::async_write(
            stream, m_request, [self = shared_from_this(), &stream](beast::error_code ec, std::size_t) {
                if (ec)
                    return self->fail("write", ec);
                http::async_read(stream, self->m_buffer, self->m_parser,
                                 [self](beast::error_code readEc, std::size_t) { self->onRead(readEc); });
            });
    }
    void write()
    {
        if (m_tls)
            exchange(*m_tls);
        else
            exchange(*m_plain);
    }

    void onRead(const beast::error_code& ec)
    {
        // A body past the limit still brought its status.
        if (m_parser.is_header_done())
            return finish({static_cast<int>(m_parser.get().result_int()), ec ? ec.message() : std::string()});
        fail("read", ec);
    }

    tcp::resolver m_resolver;
    asio::steady_timer m_deadline;
    std::optional<beast::tcp_stream> m_plain;
    std::optional<beast::ssl_stream<beast::tcp_stream>> m_tls;
    WebhookUrl m_url;
    std::chrono::milliseconds m_timeout;
    WebhookPost::Done m_done;
    http::request<http::string_body> m_request;
    beast::flat_buffer m_buffer{WebhookPost::kMaxHeaderBytes + WebhookPost::kMaxBodyBytes};
    http::response_parser<http::string_body> m_parser;
};

} // namespace

void WebhookPost::send(boost::asio::io_context& io, boost::asio::ssl::context& tls, const WebhookUrl& url,
                       const Headers& headers, std::string body, std::chrono::milliseconds timeout, Done done)
{
    auto exchange = std::make_shared<Exchange>(io, tls, url, timeout, std::move(done));
    exchange->start(headers, std::move(body));
}

} // namespace quorix::service
