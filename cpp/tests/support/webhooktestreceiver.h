#pragma once

// A webhook receiver of a test's own on a free port of a loopback address: answers every POST with `status`,
// one connection at a time, over plain TCP or, given a certificate and key, over TLS, and keeps what it got.
// A TLS handshake that fails is no request. The answer's body is longer than a sender reads.

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ssl/context.hpp>

#include <atomic>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace quorix::service::test {

class WebhookTestReceiver
{
public:
    struct Got
    {
        std::string timestamp, signature, delivery, body;
        std::string serverName; // the TLS hello's SNI; empty without
    };

    WebhookTestReceiver();
    WebhookTestReceiver(const std::string& certificateFile, const std::string& keyFile,
                        const std::string& address = "127.0.0.1");
    ~WebhookTestReceiver();
    WebhookTestReceiver(const WebhookTestReceiver&) = delete;
    WebhookTestReceiver& operator=(const WebhookTestReceiver&) = delete;

    // SCHEME://HOST:PORT/hook
    std::string url(const std::string& scheme = "http", const std::string& host = "127.0.0.1") const;
    std::vector<Got> got() const;

    std::atomic<int> status{200};

private:
    void serve();
    void answer(boost::asio::ip::tcp::socket& socket);

    boost::asio::io_context m_io;
    boost::asio::ip::tcp::acceptor m_acceptor;
    std::optional<boost::asio::ssl::context> m_tls;
    std::atomic<bool> m_stopping{false};
    mutable std::mutex m_mutex;
    std::vector<Got> m_got;
    std::thread m_thread;
};

} // namespace quorix::service::test
