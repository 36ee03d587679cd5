#include "voteservice/core/timetextformatter.h"

#include <cstdlib>
#include <ctime>
#include <fstream>

namespace quorix::service {

namespace {

constexpr const char* kUtc = "UTC";

std::string zoneFolder()
{
    const char* folder = std::getenv("TZDIR");
    return folder != nullptr && *folder != '\0' ? folder : "/usr/share/zoneinfo";
}

// A name inside the zone folder: relative, without a way up out of it.
bool isPlainZoneName(const std::string& zone)
{
    return !zone.empty() && zone.front() != '/' && zone.find("..") == std::string::npos;
}

// Zone files begin with the magic "TZif"; anything else in the folder is not a zone.
bool isZoneFile(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    char magic[4] = {};
    return file.read(magic, sizeof magic) && std::string(magic, sizeof magic) == "TZif";
}

} // namespace

bool TimeTextFormatter::knowsZone(const std::string& zone)
{
    return zone == kUtc || (isPlainZoneName(zone) && isZoneFile(zoneFolder() + "/" + zone));
}

bool TimeTextFormatter::useZone(const std::string& zone)
{
    if (zone.empty()) {
        unsetenv("TZ");
    } else {
        if (!knowsZone(zone))
            return false;
        // "UTC0" is UTC as a rule, needing no zone file.
        setenv("TZ", zone == kUtc ? "UTC0" : zone.c_str(), 1);
    }
    tzset();
    return true;
}

std::string TimeTextFormatter::format(std::int64_t unixSeconds) const
{
    const std::time_t t = static_cast<std::time_t>(unixSeconds);
    std::tm parts{};
    if (localtime_r(&t, &parts) == nullptr)
        return {};
    char text[32];
    return std::string(text, std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &parts));
}

} // namespace quorix::service
