#pragma once

// A webhook's address, read and bounded before it is stored: https://host[:port][/path][?query],
// or http:// when the service allows it (a test or development setup). No user name or password,
// no fragment, no spaces or control characters, at most kMaxLength characters.

#include <cstdint>
#include <optional>
#include <string>

namespace quorix::service {

struct WebhookUrl
{
    static constexpr std::size_t kMaxLength = 2048;
    static constexpr std::size_t kMaxHostLength = 253;

    bool tls = true;
    std::string host;
    std::uint16_t port = 443;
    std::string target = "/"; // path and query, as sent in the request line

    // Nullopt with the reason when the text is not such an address.
    static std::optional<WebhookUrl> parse(const std::string& text, bool allowHttp, std::string& reason);
    // The Host header: the host, with the port unless it is the scheme's own.
    std::string hostHeader() const;
    // The host without an IPv6 address's brackets: what is resolved and what the certificate names.
    std::string bareHost() const;
    // Whether the host is an IP address rather than a name (which alone goes out as SNI).
    bool hostIsAddress() const;
};

} // namespace quorix::service
