#pragma once

// A Redis stream in TLS 1.2 or newer over a TCP socket (OpenSSL, non-blocking, waited on with
// poll()). The server's certificate must chain to the CA file (or the system's CAs without one)
// and name the host (its DNS name, or its IP address when the host is one); a client certificate
// is shown when the address names one.

#include "voteservice/redis/redistransport.h"

#include <openssl/ssl.h>

namespace quorix::service {

class RedisTlsTransport : public RedisTransport
{
public:
    ~RedisTlsTransport() override;
    RedisTlsTransport(const RedisTlsTransport&) = delete;
    RedisTlsTransport& operator=(const RedisTlsTransport&) = delete;

    // Connects and completes the handshake within timeoutMs; null with a one-line reason.
    static std::unique_ptr<RedisTlsTransport> open(const RedisAddress& address, int timeoutMs,
                                                   std::string& error);

    bool writeAll(const char* data, std::size_t size, int timeoutMs) override;
    long readSome(char* buffer, std::size_t capacity, int timeoutMs) override;

private:
    RedisTlsTransport(int fd, SSL_CTX* context, SSL* session);

    static SSL_CTX* makeContext(const RedisAddress& address, std::string& error);
    // Waits as OpenSSL asks after a call returned result; false (with m_error set) when the stream
    // broke or the time ran out, leaving timedOut telling which.
    bool waitAsAsked(int result, long long deadlineMs, bool& timedOut);

    int m_fd;
    SSL_CTX* m_context;
    SSL* m_session;
};

} // namespace quorix::service
