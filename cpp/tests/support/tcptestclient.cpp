#include "tests/support/tcptestclient.h"

#include <quorix/protocol/hostcontrol.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>

namespace quorix::service::test {

TcpTestClient::~TcpTestClient()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool TcpTestClient::connect(std::uint16_t port, const char* from)
{
    m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (m_fd < 0)
        return false;
    if (from != nullptr) {
        sockaddr_in source{};
        source.sin_family = AF_INET;
        if (::inet_pton(AF_INET, from, &source.sin_addr) != 1 ||
            ::bind(m_fd, reinterpret_cast<sockaddr*>(&source), sizeof source) != 0)
            return false;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const int one = 1;
    ::setsockopt(m_fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return ::connect(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
}

void TcpTestClient::setReceiveBuffer(int bytes)
{
    ::setsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
}

bool TcpTestClient::sendRaw(const std::string& bytes)
{
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(m_fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

bool TcpTestClient::sendFrame(std::uint32_t maxType, std::uint32_t minType, const std::string& payload)
{
    const std::string frame = mpak::encodeFrame(maxType, minType, payload);
    mpak::PackBuffer buffer;
    mpak::Pack pack(buffer);
    pack.push_uint32(static_cast<std::uint32_t>(frame.size()));
    return sendRaw(pack.str() + frame);
}

std::optional<std::uint32_t> TcpTestClient::hello(const SessionIdentity& id, const std::string& token)
{
    const PHello hello{id.uid, id.imid, id.nick, id.role, id.channelId, id.subChannelId, token};
    if (!sendFrame(kControlMajorType, kControlHello, mpak::encode(hello)))
        return std::nullopt;
    const auto frame = readFrame();
    PWelcome welcome;
    if (!frame || frame->maxType != kControlMajorType || frame->minType != kControlWelcome ||
        !mpak::decode(frame->payload, welcome))
        return std::nullopt;
    return welcome.result;
}

bool TcpTestClient::readExact(char* out, std::size_t n, int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    std::size_t got = 0;
    while (got < n) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd p{m_fd, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0)
            return false;
        const ssize_t r = ::recv(m_fd, out + got, n - got, 0);
        if (r <= 0) {
            m_closed = true;
            return false;
        }
        got += static_cast<std::size_t>(r);
    }
    return true;
}

std::optional<mpak::ServiceFrame> TcpTestClient::readFrame(int timeoutMs)
{
    unsigned char prefix[4];
    if (!readExact(reinterpret_cast<char*>(prefix), 4, timeoutMs))
        return std::nullopt;
    const std::uint32_t size =
        prefix[0] | (prefix[1] << 8) | (prefix[2] << 16) | (std::uint32_t(prefix[3]) << 24);
    if (size < 10 || size > 65545)
        return std::nullopt;
    std::string frame(size, '\0');
    if (!readExact(frame.data(), size, timeoutMs))
        return std::nullopt;
    return mpak::decodeFrame(frame);
}

std::optional<mpak::ServiceFrame> TcpTestClient::waitFor(std::uint32_t minType, int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        auto frame = readFrame(static_cast<int>(std::max<std::int64_t>(1, left.count())));
        if (!frame)
            return std::nullopt;
        if (frame->maxType == 2500 && frame->minType == minType)
            return frame;
        seen.push_back(std::move(*frame));
    }
    return std::nullopt;
}

bool TcpTestClient::closedWithin(int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    char scratch[4096];
    while (!m_closed && std::chrono::steady_clock::now() < deadline) {
        pollfd p{m_fd, POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0)
            continue;
        const ssize_t r = ::recv(m_fd, scratch, sizeof scratch, 0);
        if (r <= 0)
            m_closed = true;
    }
    return m_closed;
}

} // namespace quorix::service::test
