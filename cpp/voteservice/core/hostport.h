#pragma once

// HOST:PORT as the service's options take it: the last colon splits, the port is 0 to 65535 in
// decimal digits only, and an IPv6 host may stand in brackets (which are taken off).

#include <cstdint>
#include <string>

namespace quorix::service {

class HostPort
{
public:
    static bool split(const std::string& text, std::string& host, std::uint16_t& port);
};

} // namespace quorix::service
