#pragma once

// quorix-voted as a child process of a test; its standard error (the log) is read line by line.
//
//   VotedProcess voted(QUORIX_VOTED_PATH, {"--listen", "127.0.0.1:0", "--memory"});
//   const std::uint16_t port = voted.waitForPort(); // 0 when it did not start listening
//
// Killed with SIGKILL when destroyed, unless it has ended.
//
// A service (arguments with --listen) gets --max-connections-per-address 0 and
// --max-new-connections-per-address-per-second 0 unless the arguments name either: tests open many
// loopback connections at once, which the per-address defaults would refuse.

#include <sys/types.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace quorix::service::test {

class VotedProcess
{
public:
    // With openFileLimit > 0 the program runs under that open-file limit (soft and hard).
    VotedProcess(const std::string& program, const std::vector<std::string>& args, int openFileLimit = 0);
    ~VotedProcess();
    VotedProcess(const VotedProcess&) = delete;
    VotedProcess& operator=(const VotedProcess&) = delete;

    // The next log line, with its line break; empty once the log has ended.
    std::string readLine();
    // Log lines until the first that holds `text` (returned), or the end of the log (empty).
    std::string readLineWith(const std::string& text);
    // Reads the log up to the "listening on" line and returns its port (0 when the log ended
    // first). The rest of the log is then drained in the background so the pipe never fills.
    std::uint16_t waitForPort();
    std::uint16_t port() const { return m_port; }
    static std::uint16_t portOf(const std::string& line);

    // The exit status once the process has ended within the time (128 + the signal when a signal
    // ended it); -1 while it still runs.
    int exitStatusWithin(int timeoutMs);
    // SIGTERM, then its exit status as exitStatusWithin gives it.
    int terminate();
    // Sends the signal and waits for the process to end.
    void kill(int signal);
    // Sends the signal and returns at once.
    void signal(int signal);
    pid_t pid() const { return m_pid; }

private:
    int reap(int options);

    pid_t m_pid = -1;
    std::uint16_t m_port = 0;
    FILE* m_log = nullptr;
    std::thread m_drain;
};

} // namespace quorix::service::test
