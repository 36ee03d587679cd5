#include "servicelog.h"

#include <chrono>
#include <cstdio>
#include <ctime>

namespace quorix::service {

void ServiceLog::line(const std::string& text)
{
    const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    std::tm parts{};
    gmtime_r(&now, &parts);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &parts);
    std::fprintf(stderr, "%s quorix-voted: %s\n", stamp, text.c_str());
    std::fflush(stderr);
}

} // namespace quorix::service
