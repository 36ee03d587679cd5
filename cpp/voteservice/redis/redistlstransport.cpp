#include "voteservice/redis/redistlstransport.h"

#include "voteservice/redis/pipesignalhold.h"
#include "voteservice/redis/redissockettransport.h"

#include <openssl/err.h>
#include <openssl/x509v3.h>

#include <arpa/inet.h>
#include <poll.h>
#include <unistd.h>

namespace quorix::service {

namespace {

using Clock = std::chrono::steady_clock;

// OpenSSL's first queued reason, without its codes; the fallback when the queue is empty.
std::string openSslReason(const char* fallback)
{
    const unsigned long code = ERR_get_error();
    ERR_clear_error();
    const char* reason = code != 0 ? ERR_reason_error_string(code) : nullptr;
    return reason != nullptr ? reason : fallback;
}

long long nowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch()).count();
}

bool isIpAddress(const std::string& host)
{
    unsigned char bytes[16];
    return inet_pton(AF_INET, host.c_str(), bytes) == 1 || inet_pton(AF_INET6, host.c_str(), bytes) == 1;
}

} // namespace

RedisTlsTransport::RedisTlsTransport(int fd, SSL_CTX* context, SSL* session)
    : m_fd(fd), m_context(context), m_session(session)
{}

RedisTlsTransport::~RedisTlsTransport()
{
    SSL_free(m_session);
    SSL_CTX_free(m_context);
    ::close(m_fd);
}

SSL_CTX* RedisTlsTransport::makeContext(const RedisAddress& address, std::string& error)
{
    SSL_CTX* context = SSL_CTX_new(TLS_client_method());
    if (context == nullptr) {
        error = "TLS: " + openSslReason("no context");
        return nullptr;
    }
    SSL_CTX_set_min_proto_version(context, TLS1_2_VERSION);
    SSL_CTX_set_verify(context, SSL_VERIFY_PEER, nullptr);
    const bool trusted = address.caFile.empty()
                             ? SSL_CTX_set_default_verify_paths(context) == 1
                             : SSL_CTX_load_verify_locations(context, address.caFile.c_str(), nullptr) == 1;
    if (!trusted)
        error = "cannot use the Redis CA file " + address.caFile + ": " + openSslReason("unreadable");
    else if (!address.certificateFile.empty() &&
             SSL_CTX_use_certificate_chain_file(context, address.certificateFile.c_str()) != 1)
        error = "cannot use the Redis client certificate " + address.certificateFile + ": " +
                openSslReason("unreadable");
    else if (!address.keyFile.empty() &&
             (SSL_CTX_use_PrivateKey_file(context, address.keyFile.c_str(), SSL_FILETYPE_PEM) != 1 ||
              SSL_CTX_check_private_key(context) != 1))
        error = "cannot use the Redis client key " + address.keyFile + ": " + openSslReason("unreadable");
    else
        return context;
    SSL_CTX_free(context);
    return nullptr;
}

std::unique_ptr<RedisTlsTransport> RedisTlsTransport::open(const RedisAddress& address, int timeoutMs,
                                                           std::string& error)
{
    const long long deadline = nowMs() + timeoutMs;
    SSL_CTX* context = makeContext(address, error);
    if (context == nullptr)
        return nullptr;
    const int fd = RedisSocketTransport::connectTcp(address.host, address.port, timeoutMs, error);
    if (fd < 0) {
        SSL_CTX_free(context);
        return nullptr;
    }
    SSL* session = SSL_new(context);
    std::unique_ptr<RedisTlsTransport> transport(new RedisTlsTransport(fd, context, session));
    if (session == nullptr || SSL_set_fd(session, fd) != 1) {
        error = "TLS: " + openSslReason("no session");
        return nullptr;
    }
    X509_VERIFY_PARAM* checks = SSL_get0_param(session);
    const bool named = isIpAddress(address.host)
                           ? X509_VERIFY_PARAM_set1_ip_asc(checks, address.host.c_str()) == 1
                           : SSL_set1_host(session, address.host.c_str()) == 1 &&
                                 SSL_set_tlsext_host_name(session, address.host.c_str()) == 1;
    if (!named) {
        error = "TLS: cannot check the name " + address.host;
        return nullptr;
    }
    for (;;) {
        ERR_clear_error();
        const PipeSignalHold hold;
        const int result = SSL_connect(session);
        if (result == 1)
            return transport;
        bool timedOut = false;
        if (!transport->waitAsAsked(result, deadline, timedOut)) {
            const long verified = SSL_get_verify_result(session);
            error = "TLS handshake with " + address.describe() + " failed: " +
                    (verified != X509_V_OK ? X509_verify_cert_error_string(verified) : transport->m_error);
            return nullptr;
        }
    }
}

bool RedisTlsTransport::waitAsAsked(int result, long long deadlineMs, bool& timedOut)
{
    timedOut = false;
    const int reason = SSL_get_error(m_session, result);
    short events = 0;
    if (reason == SSL_ERROR_WANT_READ)
        events = POLLIN;
    else if (reason == SSL_ERROR_WANT_WRITE)
        events = POLLOUT;
    if (events == 0) {
        m_error = reason == SSL_ERROR_ZERO_RETURN ? std::string("Redis closed the connection")
                                                  : openSslReason("the connection broke");
        return false;
    }
    const long long left = deadlineMs - nowMs();
    if (!RedisSocketTransport::waitFor(m_fd, events,
                                       RedisSocketTransport::deadlineIn(int(left > 0 ? left : 0)))) {
        timedOut = true;
        m_error = "no answer in time";
        return false;
    }
    return true;
}

bool RedisTlsTransport::writeAll(const char* data, std::size_t size, int timeoutMs)
{
    const long long deadline = nowMs() + timeoutMs;
    while (size > 0) {
        std::size_t written = 0;
        ERR_clear_error();
        const PipeSignalHold hold;
        const int result = SSL_write_ex(m_session, data, size, &written);
        if (result == 1) {
            data += written;
            size -= written;
            continue;
        }
        bool timedOut = false;
        if (!waitAsAsked(result, deadline, timedOut))
            return false;
    }
    return true;
}

long RedisTlsTransport::readSome(char* buffer, std::size_t capacity, int timeoutMs)
{
    const long long deadline = nowMs() + timeoutMs;
    for (;;) {
        std::size_t got = 0;
        ERR_clear_error();
        // A read that fails sends Redis an alert, on a socket that may be closed.
        const PipeSignalHold hold;
        const int result = SSL_read_ex(m_session, buffer, capacity, &got);
        if (result == 1)
            return long(got);
        bool timedOut = false;
        if (!waitAsAsked(result, deadline, timedOut))
            return timedOut ? 0 : -1;
    }
}

} // namespace quorix::service
