#pragma once

// quorix-voted as a child process of a test: started with the given options (plus a free port),
// its port read from its first log line, its further log drained; killed when destroyed.

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
    VotedProcess(const std::string& program, const std::vector<std::string>& options);
    ~VotedProcess();
    VotedProcess(const VotedProcess&) = delete;
    VotedProcess& operator=(const VotedProcess&) = delete;

    // 0 when it did not start listening.
    std::uint16_t port() const { return m_port; }
    void kill(int signal);

private:
    pid_t m_pid = -1;
    std::uint16_t m_port = 0;
    FILE* m_log = nullptr;
    std::thread m_drain;
};

} // namespace quorix::service::test
