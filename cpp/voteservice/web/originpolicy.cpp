#include "voteservice/web/originpolicy.h"

#include <boost/asio/ip/address.hpp>

#include <algorithm>
#include <cctype>

namespace quorix::service {

namespace {
std::string lowered(std::string_view text)
{
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

// The host of "HOST[:PORT]" or "[V6][:PORT]", without brackets; empty when the port is not digits.
std::string_view hostPart(std::string_view authority)
{
    std::string_view port;
    std::string_view host = authority;
    if (!authority.empty() && authority.front() == '[') {
        const std::size_t close = authority.find(']');
        if (close == std::string_view::npos)
            return {};
        host = authority.substr(1, close - 1);
        port = authority.substr(close + 1);
        if (!port.empty() && port.front() != ':')
            return {};
    } else {
        const std::size_t colon = authority.rfind(':');
        if (colon != std::string_view::npos) {
            host = authority.substr(0, colon);
            port = authority.substr(colon);
        }
    }
    if (!port.empty()) {
        port.remove_prefix(1);
        if (port.empty() ||
            !std::all_of(port.begin(), port.end(), [](unsigned char c) { return std::isdigit(c); }))
            return {};
    }
    return host;
}

bool isValidAuthority(std::string_view authority)
{
    if (authority.empty() || hostPart(authority).empty())
        return false;
    return std::all_of(authority.begin(), authority.end(), [](unsigned char c) {
        return std::isalnum(c) || c == '.' || c == '-' || c == ':' || c == '[' || c == ']' || c == '_';
    });
}
} // namespace

OriginPolicy::OriginPolicy(const std::vector<std::string>& allowed)
{
    for (const std::string& origin : allowed) {
        std::string normal = normalise(origin);
        if (!normal.empty())
            m_allowed.push_back(std::move(normal));
    }
}

std::string OriginPolicy::normalise(std::string_view text)
{
    std::string origin = lowered(text);
    if (!origin.empty() && origin.back() == '/')
        origin.pop_back();
    std::string_view scheme;
    for (const std::string_view candidate : {std::string_view("http://"), std::string_view("https://")})
        if (std::string_view(origin).substr(0, candidate.size()) == candidate)
            scheme = candidate;
    if (scheme.empty() || !isValidAuthority(std::string_view(origin).substr(scheme.size())))
        return {};
    const std::string_view defaultPort = scheme == "http://" ? ":80" : ":443";
    if (origin.size() > defaultPort.size() &&
        std::string_view(origin).substr(origin.size() - defaultPort.size()) == defaultPort)
        origin.resize(origin.size() - defaultPort.size());
    return origin;
}

bool OriginPolicy::allowsOrigin(std::string_view origin, std::string_view host, bool tls) const
{
    const std::string asked = normalise(origin);
    if (asked.empty())
        return false; // "null" (a sandboxed or file page) and anything unreadable
    if (std::find(m_allowed.begin(), m_allowed.end(), asked) != m_allowed.end())
        return true;
    return !host.empty() && asked == normalise(std::string(tls ? "https://" : "http://") + std::string(host));
}

bool OriginPolicy::isLoopbackHost(std::string_view header)
{
    const std::string host = lowered(hostPart(header));
    if (host.empty())
        return false;
    const std::string_view name(host);
    if (name == "localhost" || name == "localhost." ||
        (name.size() > 10 && name.substr(name.size() - 10) == ".localhost"))
        return true;
    boost::system::error_code ec;
    const boost::asio::ip::address address = boost::asio::ip::make_address(host, ec);
    return !ec && address.is_loopback();
}

} // namespace quorix::service
