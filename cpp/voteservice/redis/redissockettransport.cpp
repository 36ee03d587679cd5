#include "voteservice/redis/redissockettransport.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace quorix::service {

namespace {

// A non-blocking socket of the family connected to address within the deadline; -1 with the
// system's reason otherwise.
int connectSocket(int family, const sockaddr* address, socklen_t length,
                  RedisSocketTransport::Deadline deadline, std::string& error)
{
    const int fd = ::socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = std::strerror(errno);
        return -1;
    }
    int result = ::connect(fd, address, length);
    if (result != 0 && errno == EINPROGRESS) {
        if (!RedisSocketTransport::waitFor(fd, POLLOUT, deadline)) {
            error = "no answer in time";
            ::close(fd);
            return -1;
        }
        int failure = 0;
        socklen_t size = sizeof failure;
        ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &failure, &size);
        errno = failure;
        result = failure == 0 ? 0 : -1;
    }
    if (result != 0) {
        error = std::strerror(errno);
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace

RedisSocketTransport::~RedisSocketTransport()
{
    ::close(m_fd);
}

RedisSocketTransport::Deadline RedisSocketTransport::deadlineIn(int timeoutMs)
{
    return std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
}

bool RedisSocketTransport::waitFor(int fd, short events, Deadline deadline)
{
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd ready{fd, events, 0};
        const int count = ::poll(&ready, 1, int(std::max<long long>(0, left.count())));
        if (count > 0)
            return true;
        if (count == 0 || errno != EINTR)
            return false;
    }
}

int RedisSocketTransport::connectTcp(const std::string& host, std::uint16_t port, int timeoutMs,
                                     std::string& error)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const int resolved = ::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found);
    if (resolved != 0) {
        error = gai_strerror(resolved);
        return -1;
    }
    const Deadline deadline = deadlineIn(timeoutMs);
    int fd = -1;
    for (addrinfo* each = found; each != nullptr && fd < 0; each = each->ai_next)
        fd = connectSocket(each->ai_family, each->ai_addr, each->ai_addrlen, deadline, error);
    ::freeaddrinfo(found);
    if (fd >= 0) {
        // Pipelined commands go out at once instead of waiting for the previous reply.
        const int on = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    }
    return fd;
}

int RedisSocketTransport::connectUnix(const std::string& path, int timeoutMs, std::string& error)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) {
        error = "the socket path is too long";
        return -1;
    }
    std::memcpy(address.sun_path, path.data(), path.size());
    return connectSocket(AF_UNIX, reinterpret_cast<const sockaddr*>(&address), sizeof address,
                         deadlineIn(timeoutMs), error);
}

bool RedisSocketTransport::writeAll(const char* data, std::size_t size, int timeoutMs)
{
    const Deadline deadline = deadlineIn(timeoutMs);
    while (size > 0) {
        const ssize_t written = ::send(m_fd, data, size, MSG_NOSIGNAL);
        if (written > 0) {
            data += written;
            size -= std::size_t(written);
        } else if (written < 0 && (errno == EAGAIN || errno == EINTR)) {
            if (!waitFor(m_fd, POLLOUT, deadline)) {
                m_error = "Redis took no more bytes in time";
                return false;
            }
        } else {
            m_error = std::strerror(errno);
            return false;
        }
    }
    return true;
}

long RedisSocketTransport::readSome(char* buffer, std::size_t capacity, int timeoutMs)
{
    const Deadline deadline = deadlineIn(timeoutMs);
    for (;;) {
        const ssize_t got = ::recv(m_fd, buffer, capacity, 0);
        if (got > 0)
            return long(got);
        if (got == 0) {
            m_error = "Redis closed the connection";
            return -1;
        }
        if (errno != EAGAIN && errno != EINTR) {
            m_error = std::strerror(errno);
            return -1;
        }
        if (errno == EAGAIN && !waitFor(m_fd, POLLIN, deadline))
            return 0;
    }
}

} // namespace quorix::service
