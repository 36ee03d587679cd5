#pragma once

// The byte stream under a Redis connection. Every call waits at most the time it is given (poll()
// on a non-blocking socket), so a Redis that stops answering cannot stop the service's thread.

#include "voteservice/redis/redisaddress.h"

#include <cstddef>
#include <memory>
#include <string>

namespace quorix::service {

class RedisTransport
{
public:
    virtual ~RedisTransport() = default;

    // Opens the stream the address names (TCP, TLS over TCP, or a Unix socket); null with a
    // one-line reason when it cannot be opened within timeoutMs.
    static std::unique_ptr<RedisTransport> open(const RedisAddress& address, int timeoutMs,
                                                std::string& error);

    // Writes all of data; false with error() set when the stream broke or the time ran out.
    virtual bool writeAll(const char* data, std::size_t size, int timeoutMs) = 0;
    // Bytes read (at least one), 0 when none arrived within timeoutMs (0: only what is there now),
    // or -1 with error() set when the stream broke or was closed.
    virtual long readSome(char* buffer, std::size_t capacity, int timeoutMs) = 0;
    const std::string& error() const { return m_error; }

protected:
    std::string m_error;
};

} // namespace quorix::service
