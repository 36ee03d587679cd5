#pragma once

// Where one Redis is and how to reach it: plain TCP (HOST:PORT), TLS (tls://HOST:PORT) or a Unix
// socket (unix:/path), with the ACL user and password sent by AUTH on every connection, and for
// TLS the CA that signs the server's certificate and an optional client certificate.

#include <cstdint>
#include <string>

namespace quorix::service {

struct RedisAddress
{
    enum class Transport
    {
        Tcp,
        Tls,
        Unix
    };

    Transport transport = Transport::Tcp;
    std::string host;
    std::uint16_t port = 0;
    std::string socketPath;
    // No password: no AUTH. A password without a user: AUTH password (the default user).
    std::string user;
    std::string password;
    // TLS only. No CA file: the system's trusted CAs. A client certificate needs its key.
    std::string caFile;
    std::string certificateFile;
    std::string keyFile;

    static RedisAddress tcp(std::string host, std::uint16_t port);
    // Reads the place part (HOST:PORT, tls://HOST:PORT, unix:/path) into out, keeping its other
    // fields; false with a one-line message naming the option.
    static bool parse(const std::string& option, const std::string& text, RedisAddress& out,
                      std::string& error);
    bool given() const { return port != 0 || !socketPath.empty(); }
    // After every option was read: false with a message when TLS files go with a place that is not
    // TLS, or a client certificate lacks its key (or the other way round).
    bool consistent(std::string& error) const;
    // As written on the command line, for log lines; never the password.
    std::string describe() const;
    bool operator==(const RedisAddress& other) const;
    bool operator!=(const RedisAddress& other) const { return !(*this == other); }
};

} // namespace quorix::service
