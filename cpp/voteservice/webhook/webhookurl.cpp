#include "voteservice/webhook/webhookurl.h"

#include <boost/asio/ip/address.hpp>

#include <algorithm>
#include <cstdlib>

namespace quorix::service {

namespace {

bool printable(const std::string& text)
{
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte >= 0x7f)
            return false;
    }
    return true;
}

// Letters, digits, '-' and '.' (a name or an IPv4 address), or an IPv6 address in brackets.
bool plausibleHost(const std::string& host)
{
    if (host.size() > 2 && host.front() == '[' && host.back() == ']')
        return host.find_first_not_of("0123456789abcdefABCDEF:.", 1) == host.size() - 1;
    return !host.empty() &&
           host.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-.") ==
               std::string::npos;
}

} // namespace

std::optional<WebhookUrl> WebhookUrl::parse(const std::string& text, bool allowHttp, std::string& reason)
{
    WebhookUrl url;
    if (text.size() > kMaxLength) {
        reason = "url is longer than " + std::to_string(kMaxLength) + " characters";
        return std::nullopt;
    }
    if (!printable(text) || text.find('#') != std::string::npos) {
        reason = "url holds spaces, control characters, non-ASCII or a fragment";
        return std::nullopt;
    }
    std::size_t at = 0;
    if (text.compare(0, 8, "https://") == 0) {
        at = 8;
    } else if (text.compare(0, 7, "http://") == 0 && allowHttp) {
        url.tls = false;
        url.port = 80;
        at = 7;
    } else {
        reason = allowHttp ? "url is not http:// or https://" : "url is not https://";
        return std::nullopt;
    }
    const std::size_t pathStart = std::min(text.find_first_of("/?", at), text.size());
    const std::string authority = text.substr(at, pathStart - at);
    if (authority.find('@') != std::string::npos) {
        reason = "url names a user";
        return std::nullopt;
    }
    const std::size_t colon = authority.rfind(':');
    const bool hasPort = colon != std::string::npos && authority.find(']', colon) == std::string::npos;
    url.host = hasPort ? authority.substr(0, colon) : authority;
    if (hasPort) {
        const std::string port = authority.substr(colon + 1);
        char* end = nullptr;
        const long number = std::strtol(port.c_str(), &end, 10);
        if (port.empty() || *end != '\0' || number < 1 || number > 65535) {
            reason = "url has no port number from 1 to 65535";
            return std::nullopt;
        }
        url.port = static_cast<std::uint16_t>(number);
    }
    if (url.host.size() > kMaxHostLength || !plausibleHost(url.host)) {
        reason = "url has no host name";
        return std::nullopt;
    }
    if (pathStart < text.size())
        url.target = (text[pathStart] == '?' ? "/" : "") + text.substr(pathStart);
    return url;
}

std::string WebhookUrl::hostHeader() const
{
    const bool ownPort = port == (tls ? 443 : 80);
    return ownPort ? host : host + ":" + std::to_string(port);
}

std::string WebhookUrl::bareHost() const
{
    return host.size() > 2 && host.front() == '[' ? host.substr(1, host.size() - 2) : host;
}

bool WebhookUrl::hostIsAddress() const
{
    boost::system::error_code notAddress;
    boost::asio::ip::make_address(bareHost(), notAddress);
    return !notAddress;
}

} // namespace quorix::service
