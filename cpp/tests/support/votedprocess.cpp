#include "tests/support/votedprocess.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>

extern char** environ;

namespace quorix::service::test {

VotedProcess::VotedProcess(const std::string& program, const std::vector<std::string>& args,
                           int openFileLimit)
{
    int fds[2];
    if (::pipe(fds) != 0)
        return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDERR_FILENO);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    std::vector<std::string> all{program};
    const auto given = [&args](const std::string& name) {
        return std::any_of(args.begin(), args.end(), [&name](const std::string& arg) {
            return arg == name || arg.rfind(name + "=", 0) == 0;
        });
    };
    const bool limitsNamed =
        given("--max-connections-per-address") || given("--max-new-connections-per-address-per-second");
    if (openFileLimit > 0)
        all = {"/bin/sh", "-c", "ulimit -n " + std::to_string(openFileLimit) + " && exec \"$0\" \"$@\"",
               program};
    all.insert(all.end(), args.begin(), args.end());
    if (given("--listen") && !limitsNamed)
        all.insert(all.end(), {"--max-connections-per-address", "0",
                               "--max-new-connections-per-address-per-second", "0"});
    std::vector<char*> argv;
    for (std::string& arg : all)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    const int spawned = posix_spawn(&m_pid, all.front().c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    if (spawned != 0) {
        m_pid = -1;
        ::close(fds[0]);
        return;
    }
    m_log = ::fdopen(fds[0], "r");
}

VotedProcess::~VotedProcess()
{
    kill(SIGKILL);
    if (m_drain.joinable())
        m_drain.join();
    if (m_log)
        std::fclose(m_log);
}

std::string VotedProcess::readLine()
{
    char line[1024];
    return m_log && !m_drain.joinable() && std::fgets(line, sizeof line, m_log) ? std::string(line)
                                                                                : std::string();
}

std::string VotedProcess::readLineWith(const std::string& text)
{
    for (std::string line = readLine(); !line.empty(); line = readLine()) {
        if (line.find(text) != std::string::npos)
            return line;
    }
    return {};
}

std::uint16_t VotedProcess::waitForPort()
{
    m_port = portOf(readLineWith("listening on 127.0.0.1:"));
    if (m_log && !m_drain.joinable()) {
        m_drain = std::thread([log = m_log] {
            char rest[1024];
            while (std::fgets(rest, sizeof rest, log)) {
            }
        });
    }
    return m_port;
}

std::uint16_t VotedProcess::portOf(const std::string& line)
{
    const auto at = line.find("listening on 127.0.0.1:");
    return at == std::string::npos ? 0 : static_cast<std::uint16_t>(std::stoi(line.substr(at + 23)));
}

int VotedProcess::exitStatusWithin(int timeoutMs)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (m_pid > 0) {
        const int status = reap(WNOHANG);
        if (status >= 0 || std::chrono::steady_clock::now() > until)
            return status;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return -1;
}

int VotedProcess::terminate()
{
    // Never signals a pid that is not this child's: kill(-1) would reach every process.
    if (m_pid <= 0)
        return -1;
    ::kill(m_pid, SIGTERM);
    return reap(0);
}

void VotedProcess::kill(int signal)
{
    if (m_pid <= 0)
        return;
    ::kill(m_pid, signal);
    reap(0);
}

void VotedProcess::signal(int signal)
{
    if (m_pid > 0)
        ::kill(m_pid, signal);
}

// The exit status once the child has been reaped, -1 while it still runs.
int VotedProcess::reap(int options)
{
    int status = 0;
    if (m_pid <= 0 || ::waitpid(m_pid, &status, options) != m_pid)
        return -1;
    m_pid = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

} // namespace quorix::service::test
