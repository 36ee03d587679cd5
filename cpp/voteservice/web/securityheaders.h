#pragma once

// The header fields every answer of the web face carries, whatever it is (pages, API, CSV, event
// streams, WebSocket upgrades, errors): no content-type sniffing, no Referer to anywhere, no framing
// (a page's own policy replaces the default one, which allows nothing), and under TLS a year of
// HTTPS only (Strict-Transport-Security).

#include <string>
#include <utility>
#include <vector>

namespace quorix::service {

class SecurityHeaders
{
public:
    using Fields = std::vector<std::pair<std::string, std::string>>;

    // Answers that are no page load nothing and may be framed by nobody.
    static constexpr const char* kDefaultPolicy = "default-src 'none'; frame-ancestors 'none'";

    static Fields fields(bool tls);
    // The same as header lines ("Name: value\r\n" each), for answers written by hand.
    static std::string lines(bool tls);
};

} // namespace quorix::service
