#pragma once

// History times as users read them, "YYYY-MM-DD HH:MM:SS", in the process's time zone. The zone is
// the C library's (TZ): the service chooses it once at startup (useZone), before any thread starts,
// and formats with localtime_r, which reads it without changing it.

#include <cstdint>
#include <string>

namespace quorix::service {

class TimeTextFormatter
{
public:
    // True for "UTC" and for a zone the system's time zone database holds (an IANA name such as
    // "Asia/Shanghai").
    static bool knowsZone(const std::string& zone);
    // Makes zone the process's zone; an empty name returns to the system's own. False, with the zone
    // unchanged, for a zone knowsZone refuses.
    static bool useZone(const std::string& zone);

    std::string format(std::int64_t unixSeconds) const;
};

} // namespace quorix::service
