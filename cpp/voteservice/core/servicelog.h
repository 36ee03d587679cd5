#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quorix::service {

// One line per event on standard error: UTC time, then the text. When standard error is the
// systemd journal's stream (JOURNAL_STREAM names it), the line carries its priority as the <N>
// prefix the journal reads instead, and no time: the journal keeps its own.
class ServiceLog
{
public:
    // syslog priorities
    enum class Priority
    {
        Error = 3,
        Warning = 4,
        Info = 6
    };

    static void line(const std::string& text) { line(Priority::Info, text); }
    // Written only when at least as severe as the level (Info, all lines, unless set otherwise).
    static void line(Priority priority, const std::string& text);
    static void setLevel(Priority least);
    // "error", "warning" or "info" (--log-level); nullopt for any other word.
    static std::optional<Priority> levelNamed(std::string_view word);
    // Whether the stream whose device and inode are `dev` and `ino` is the one journalStream (the
    // "DEVICE:INODE" text of JOURNAL_STREAM) names.
    static bool isJournalStream(const char* journalStream, unsigned long long dev, unsigned long long ino);
};

} // namespace quorix::service
