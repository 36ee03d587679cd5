#include "voteservice/core/servicelog.h"

#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace quorix::service {

namespace {

std::atomic<int> g_level{static_cast<int>(ServiceLog::Priority::Info)};

bool stderrIsJournal()
{
    struct stat status
    {
    };
    return fstat(2, &status) == 0 &&
           ServiceLog::isJournalStream(std::getenv("JOURNAL_STREAM"), status.st_dev, status.st_ino);
}

} // namespace

bool ServiceLog::isJournalStream(const char* journalStream, unsigned long long dev, unsigned long long ino)
{
    unsigned long long streamDev = 0, streamIno = 0;
    char rest = 0;
    return journalStream != nullptr &&
           std::sscanf(journalStream, "%llu:%llu%c", &streamDev, &streamIno, &rest) == 2 &&
           streamDev == dev && streamIno == ino;
}

void ServiceLog::setLevel(Priority least)
{
    g_level = static_cast<int>(least);
}

std::optional<ServiceLog::Priority> ServiceLog::levelNamed(std::string_view word)
{
    if (word == "error")
        return Priority::Error;
    if (word == "warning")
        return Priority::Warning;
    if (word == "info")
        return Priority::Info;
    return std::nullopt;
}

void ServiceLog::line(Priority priority, const std::string& text)
{
    // syslog numbers: a larger one is less severe.
    if (static_cast<int>(priority) > g_level)
        return;
    // Decided once: standard error does not change while the service runs.
    static const bool journal = stderrIsJournal();
    if (journal) {
        std::fprintf(stderr, "<%d>%s\n", static_cast<int>(priority), text.c_str());
    } else {
        const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
        std::tm parts{};
        gmtime_r(&now, &parts);
        char stamp[32];
        std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &parts);
        std::fprintf(stderr, "%s quorix-voted: %s\n", stamp, text.c_str());
    }
    std::fflush(stderr);
}

} // namespace quorix::service
