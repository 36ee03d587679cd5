#include "voteservice/redis/redisaddress.h"

#include "voteservice/core/hostport.h"

#include <sys/un.h>

#include <tuple>

namespace quorix::service {

namespace {

constexpr const char* kTlsScheme = "tls://";
constexpr const char* kUnixScheme = "unix:";

bool startsWith(const std::string& text, const char* prefix)
{
    return text.rfind(prefix, 0) == 0;
}

// HOST:PORT with a port from 1 to 65535; an IPv6 host in brackets.
bool readHostPort(const std::string& text, std::string& host, std::uint16_t& port)
{
    return HostPort::split(text, host, port) && port != 0;
}

} // namespace

RedisAddress RedisAddress::tcp(std::string host, std::uint16_t port)
{
    RedisAddress address;
    address.host = std::move(host);
    address.port = port;
    return address;
}

bool RedisAddress::parse(const std::string& option, const std::string& text, RedisAddress& out,
                         std::string& error)
{
    if (startsWith(text, kUnixScheme)) {
        const std::string path = text.substr(std::char_traits<char>::length(kUnixScheme));
        if (path.empty() || path.size() >= sizeof(sockaddr_un{}.sun_path)) {
            error = option + " wants unix:/path/to/socket (at most " +
                    std::to_string(sizeof(sockaddr_un{}.sun_path) - 1) + " bytes), got " + text;
            return false;
        }
        out.transport = Transport::Unix;
        out.socketPath = path;
        out.host.clear();
        out.port = 0;
        return true;
    }
    const bool tls = startsWith(text, kTlsScheme);
    std::string host;
    std::uint16_t port = 0;
    if (!readHostPort(tls ? text.substr(std::char_traits<char>::length(kTlsScheme)) : text, host, port)) {
        error = option + " wants HOST:PORT, tls://HOST:PORT or unix:/path/to/socket, got " + text;
        return false;
    }
    out.transport = tls ? Transport::Tls : Transport::Tcp;
    out.host = host;
    out.port = port;
    out.socketPath.clear();
    return true;
}

bool RedisAddress::consistent(std::string& error) const
{
    const bool tlsFiles = !caFile.empty() || !certificateFile.empty() || !keyFile.empty();
    if (tlsFiles && transport != Transport::Tls)
        error = "--redis-ca-file, --redis-cert and --redis-key need --redis tls://HOST:PORT";
    else if (certificateFile.empty() != keyFile.empty())
        error = "--redis-cert and --redis-key go together";
    else if (!user.empty() && password.empty())
        error = "--redis-user needs --redis-password-file";
    else
        return true;
    return false;
}

std::string RedisAddress::describe() const
{
    if (transport == Transport::Unix)
        return kUnixScheme + socketPath;
    const std::string place =
        (host.find(':') == std::string::npos ? host : "[" + host + "]") + ":" + std::to_string(port);
    return transport == Transport::Tls ? kTlsScheme + place : place;
}

bool RedisAddress::operator==(const RedisAddress& other) const
{
    const auto fields = [](const RedisAddress& a) {
        return std::tie(a.transport, a.host, a.port, a.socketPath, a.user, a.password, a.caFile,
                        a.certificateFile, a.keyFile);
    };
    return fields(*this) == fields(other);
}

} // namespace quorix::service
