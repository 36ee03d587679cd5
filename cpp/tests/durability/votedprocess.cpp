#include "votedprocess.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace quorix::service::test {

VotedProcess::VotedProcess(const std::string& program, const std::vector<std::string>& options)
{
    int fds[2];
    if (::pipe(fds) != 0)
        return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDERR_FILENO);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    std::vector<std::string> args{program, "--listen", "127.0.0.1:0"};
    args.insert(args.end(), options.begin(), options.end());
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    const int spawned = posix_spawn(&m_pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    if (spawned != 0) {
        m_pid = -1;
        ::close(fds[0]);
        return;
    }
    m_log = ::fdopen(fds[0], "r");
    char line[1024];
    while (std::fgets(line, sizeof line, m_log)) {
        const std::string text = line;
        const auto at = text.find("listening on 127.0.0.1:");
        if (at != std::string::npos) {
            m_port = static_cast<std::uint16_t>(std::stoi(text.substr(at + 23)));
            break;
        }
    }
    // Keeps the pipe from filling; ends when the process has gone.
    m_drain = std::thread([log = m_log] {
        char rest[1024];
        while (std::fgets(rest, sizeof rest, log)) {
        }
    });
}

VotedProcess::~VotedProcess()
{
    kill(SIGKILL);
    if (m_drain.joinable())
        m_drain.join();
    if (m_log)
        std::fclose(m_log);
}

void VotedProcess::kill(int signal)
{
    if (m_pid <= 0)
        return;
    ::kill(m_pid, signal);
    ::waitpid(m_pid, nullptr, 0);
    m_pid = -1;
}

} // namespace quorix::service::test
