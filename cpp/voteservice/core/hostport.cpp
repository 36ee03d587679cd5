#include "voteservice/core/hostport.h"

namespace quorix::service {

bool HostPort::split(const std::string& text, std::string& host, std::uint16_t& port)
{
    const std::size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 == text.size() || text.size() - colon > 6)
        return false;
    unsigned long value = 0;
    for (std::size_t i = colon + 1; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
        value = value * 10 + unsigned(text[i] - '0');
    }
    if (value > 65535)
        return false;
    host = text.substr(0, colon);
    if (host.size() > 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    port = static_cast<std::uint16_t>(value);
    return true;
}

} // namespace quorix::service
