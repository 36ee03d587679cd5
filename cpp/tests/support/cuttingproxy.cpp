#include "tests/support/cuttingproxy.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

namespace quorix::service::test {

namespace {

constexpr int kPollMs = 50;
constexpr int kReplyWaitMs = 2000;

sockaddr_in loopback(std::uint16_t port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    return address;
}

int connectTo(std::uint16_t port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    const sockaddr_in address = loopback(port);
    if (fd >= 0 && ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0)
        return fd;
    if (fd >= 0)
        ::close(fd);
    return -1;
}

bool sendAll(int fd, const char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t sent = ::send(fd, data, size, MSG_NOSIGNAL);
        if (sent <= 0)
            return false;
        data += sent;
        size -= std::size_t(sent);
    }
    return true;
}

// Waits for the server's reply to what was just forwarded and throws it away.
void swallowReply(int server)
{
    pollfd in{server, POLLIN, 0};
    char buffer[4096];
    if (::poll(&in, 1, kReplyWaitMs) > 0)
        (void)::recv(server, buffer, sizeof buffer, 0);
}

} // namespace

CuttingProxy::CuttingProxy(std::uint16_t serverPort) : m_serverPort(serverPort)
{
    m_listener = ::socket(AF_INET, SOCK_STREAM, 0);
    const int yes = 1;
    ::setsockopt(m_listener, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address = loopback(0);
    socklen_t length = sizeof address;
    if (::bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(m_listener, 16) != 0 ||
        ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return;
    m_port = ntohs(address.sin_port);
    m_acceptor = std::thread([this] { acceptLoop(); });
}

CuttingProxy::~CuttingProxy()
{
    m_stopping = true;
    if (m_acceptor.joinable())
        m_acceptor.join();
    for (std::thread& forwarder : m_forwarders)
        forwarder.join();
    ::close(m_listener);
}

void CuttingProxy::cutAfterReply(const std::string& text)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_cut = Cut::AfterReply;
    m_text = text;
}

void CuttingProxy::cutBefore(const std::string& text, int awayMs)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_cut = Cut::Before;
    m_text = text;
    m_awayMs = awayMs;
}

bool CuttingProxy::away() const
{
    return std::chrono::steady_clock::now() < m_awayUntil;
}

CuttingProxy::Cut CuttingProxy::takeCut(const char* data, std::size_t size)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_cut == Cut::None || std::string(data, size).find(m_text) == std::string::npos)
        return Cut::None;
    const Cut cut = m_cut;
    m_cut = Cut::None;
    if (cut == Cut::Before)
        m_awayUntil = std::chrono::steady_clock::now() + std::chrono::milliseconds(m_awayMs);
    ++m_cuts;
    return cut;
}

void CuttingProxy::acceptLoop()
{
    while (!m_stopping) {
        pollfd in{m_listener, POLLIN, 0};
        if (::poll(&in, 1, kPollMs) <= 0)
            continue;
        const int client = ::accept(m_listener, nullptr, nullptr);
        if (client < 0)
            continue;
        bool isAway = false;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            isAway = away();
        }
        if (isAway) {
            ::close(client);
            continue;
        }
        m_forwarders.emplace_back([this, client] { forward(client); });
    }
}

void CuttingProxy::forward(int client)
{
    const int server = connectTo(m_serverPort);
    const int generation = m_generation;
    char buffer[65536];
    while (server >= 0 && !m_stopping && m_generation == generation) {
        if (m_holding) {
            std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs / 10));
            continue;
        }
        pollfd fds[2] = {{client, POLLIN, 0}, {server, POLLIN, 0}};
        if (::poll(fds, 2, kPollMs) <= 0)
            continue;
        if (fds[0].revents != 0) {
            const ssize_t got = ::recv(client, buffer, sizeof buffer, 0);
            if (got <= 0)
                break;
            const Cut cut = takeCut(buffer, std::size_t(got));
            if (cut == Cut::Before)
                break;
            if (!sendAll(server, buffer, std::size_t(got)))
                break;
            if (cut == Cut::AfterReply) {
                swallowReply(server);
                break;
            }
        }
        if (fds[1].revents != 0) {
            const ssize_t got = ::recv(server, buffer, sizeof buffer, 0);
            if (got <= 0 || !sendAll(client, buffer, std::size_t(got)))
                break;
        }
    }
    if (server >= 0)
        ::close(server);
    ::close(client);
}

} // namespace quorix::service::test
