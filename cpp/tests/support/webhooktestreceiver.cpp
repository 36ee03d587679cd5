#include "tests/support/webhooktestreceiver.h"

#include <boost/asio/ssl/stream.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>

#include <openssl/ssl.h>

namespace quorix::service::test {

namespace {

namespace asio = boost::asio;
namespace http = boost::beast::http;

// Reads one request from the stream and answers it with `status`; false when none came.
template <class Stream> bool exchange(Stream& stream, int status, WebhookTestReceiver::Got& got)
{
    boost::system::error_code ec;
    boost::beast::flat_buffer buffer;
    http::request<http::string_body> request;
    http::read(stream, buffer, request, ec);
    if (ec)
        return false;
    got.timestamp = std::string(request["X-Quorix-Timestamp"]);
    got.signature = std::string(request["X-Quorix-Signature"]);
    got.delivery = std::string(request["X-Quorix-Delivery"]);
    got.body = request.body();
    http::response<http::string_body> response(static_cast<http::status>(status), 11);
    response.body() = std::string(64 * 1024, 'x');
    response.prepare_payload();
    http::write(stream, response, ec);
    return true;
}

} // namespace

WebhookTestReceiver::WebhookTestReceiver() : m_acceptor(m_io, {asio::ip::make_address("127.0.0.1"), 0})
{
    m_thread = std::thread([this] { serve(); });
}

WebhookTestReceiver::WebhookTestReceiver(const std::string& certificateFile, const std::string& keyFile,
                                         const std::string& address)
    : m_acceptor(m_io, {asio::ip::make_address(address), 0}), m_tls(asio::ssl::context::tls_server)
{
    m_tls->use_certificate_chain_file(certificateFile);
    m_tls->use_private_key_file(keyFile, asio::ssl::context::pem);
    m_thread = std::thread([this] { serve(); });
}

WebhookTestReceiver::~WebhookTestReceiver()
{
    m_stopping = true;
    boost::system::error_code ignored;
    asio::ip::tcp::socket wake(m_io);
    wake.connect(m_acceptor.local_endpoint(), ignored);
    m_thread.join();
}

std::string WebhookTestReceiver::url(const std::string& scheme, const std::string& host) const
{
    return scheme + "://" + host + ":" + std::to_string(m_acceptor.local_endpoint().port()) + "/hook";
}

std::vector<WebhookTestReceiver::Got> WebhookTestReceiver::got() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_got;
}

void WebhookTestReceiver::serve()
{
    while (!m_stopping) {
        asio::ip::tcp::socket socket(m_io);
        boost::system::error_code ec;
        m_acceptor.accept(socket, ec);
        if (!ec && !m_stopping)
            answer(socket);
    }
}

void WebhookTestReceiver::answer(asio::ip::tcp::socket& socket)
{
    Got got;
    bool came = false;
    if (m_tls) {
        asio::ssl::stream<asio::ip::tcp::socket&> tls(socket, *m_tls);
        boost::system::error_code ec;
        tls.handshake(asio::ssl::stream_base::server, ec);
        came = !ec && exchange(tls, status.load(), got);
        const char* serverName = SSL_get_servername(tls.native_handle(), TLSEXT_NAMETYPE_host_name);
        got.serverName = serverName ? serverName : "";
    } else {
        came = exchange(socket, status.load(), got);
    }
    if (!came)
        return;
    std::lock_guard<std::mutex> lock(m_mutex);
    m_got.push_back(std::move(got));
}

} // namespace quorix::service::test
