#pragma once

// Which browser pages may talk to the web face, and which names it may be reached by. A browser
// sends `Origin` with every WebSocket upgrade and every cross-site POST; a page of another site (or
// one that DNS rebinding pointed at this service) must not drive it with the browser's access. An
// origin is allowed when it is the request's own (the scheme of the connection and its `Host`) or
// one of --allowed-origin. Without token checks the `Host` must name a loopback address as well,
// since the identity is then taken on the peer's word. Pure: no sockets.

#include <string>
#include <string_view>
#include <vector>

namespace quorix::service {

class OriginPolicy
{
public:
    OriginPolicy() = default;
    // allowed: origins as --allowed-origin takes them ("https://votes.example", a port when not the
    // scheme's default).
    explicit OriginPolicy(const std::vector<std::string>& allowed);

    // Whether a request with this Origin header and Host header may go on; tls: the connection
    // speaks HTTPS, which makes its own origin https://HOST.
    bool allowsOrigin(std::string_view origin, std::string_view host, bool tls) const;
    // Whether a Host header names this machine: localhost (or a name under .localhost), an address
    // of 127.0.0.0/8 or ::1 (in brackets), with or without a port.
    static bool isLoopbackHost(std::string_view host);
    // An origin in the form compared: scheme and host in lower case, without a trailing '/' and
    // without the scheme's default port; empty when text is not http(s)://HOST[:PORT].
    static std::string normalise(std::string_view text);

private:
    std::vector<std::string> m_allowed; // normalised
};

} // namespace quorix::service
