#pragma once

// A TCP proxy on a free loopback port in front of a server (redis-server in the tests), which can
// be told to break the next connection that carries a given text at the worst moment:
//
//   cutAfterReply(text): the request is forwarded, the server's reply read and thrown away, and
//                        the connection closed, so the client never learns what happened;
//   cutBefore(text, ms): the request is dropped unsent, the connection closed, and for ms every
//                        new connection is closed at once, as a server that is away.
//
// Everything else is forwarded unchanged. redirect() moves it to another server, as a failover does;
// hold() stops every byte where it is (a link that stalls), cutAll() closes every connection and
// drops what it held.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace quorix::service::test {

class CuttingProxy
{
public:
    explicit CuttingProxy(std::uint16_t serverPort);
    ~CuttingProxy();
    CuttingProxy(const CuttingProxy&) = delete;
    CuttingProxy& operator=(const CuttingProxy&) = delete;

    std::uint16_t port() const { return m_port; }
    // New connections go to this server from now on (an address that moved to a promoted replica).
    void redirect(std::uint16_t serverPort) { m_serverPort = serverPort; }
    void hold(bool holding) { m_holding = holding; }
    void cutAll() { ++m_generation; }
    void cutAfterReply(const std::string& text);
    void cutBefore(const std::string& text, int awayMs);
    // How many connections were cut so far.
    int cuts() const { return m_cuts; }

private:
    enum class Cut
    {
        None,
        AfterReply,
        Before
    };

    void acceptLoop();
    void forward(int client);
    // The cut to make for a request holding these bytes, once; None for the others.
    Cut takeCut(const char* data, std::size_t size);
    bool away() const;

    std::atomic<std::uint16_t> m_serverPort;
    std::uint16_t m_port = 0;
    int m_listener = -1;
    std::atomic<bool> m_stopping{false};
    std::atomic<int> m_cuts{0};
    std::atomic<bool> m_holding{false};
    std::atomic<int> m_generation{0};
    std::mutex m_mutex;
    Cut m_cut = Cut::None;
    std::string m_text;
    int m_awayMs = 0;
    std::chrono::steady_clock::time_point m_awayUntil{};
    std::thread m_acceptor;
    std::vector<std::thread> m_forwarders;
};

} // namespace quorix::service::test
