#pragma once

// A plain Redis stream: a connected TCP or Unix socket, non-blocking, waited on with poll().
// connectTcp() tries each address the host name resolves to; connectUnix() the socket's path.

#include "voteservice/redis/redistransport.h"

#include <chrono>
#include <cstdint>

namespace quorix::service {

class RedisSocketTransport : public RedisTransport
{
public:
    using Deadline = std::chrono::steady_clock::time_point;

    explicit RedisSocketTransport(int fd) : m_fd(fd) {}
    ~RedisSocketTransport() override;
    RedisSocketTransport(const RedisSocketTransport&) = delete;
    RedisSocketTransport& operator=(const RedisSocketTransport&) = delete;

    // The connected socket's descriptor, or -1 with the reason in error.
    static int connectTcp(const std::string& host, std::uint16_t port, int timeoutMs, std::string& error);
    static int connectUnix(const std::string& path, int timeoutMs, std::string& error);
    // Waits until fd is ready for events (POLLIN, POLLOUT) or the deadline; false when not.
    static bool waitFor(int fd, short events, Deadline deadline);
    static Deadline deadlineIn(int timeoutMs);

    bool writeAll(const char* data, std::size_t size, int timeoutMs) override;
    long readSome(char* buffer, std::size_t capacity, int timeoutMs) override;

private:
    int m_fd;
};

} // namespace quorix::service
