#include "bench/service/generatorprocesses.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

extern char** environ;

namespace quorix::loadgen {

GeneratorProcesses::GeneratorProcesses(boost::asio::io_context& io, Events events)
    : m_io(io), m_events(std::move(events))
{}

GeneratorProcesses::~GeneratorProcesses()
{
    for (const auto& child : m_children) {
        if (child->toChild >= 0)
            ::close(child->toChild);
        if (child->pid > 0) {
            ::kill(child->pid, SIGTERM);
            ::waitpid(child->pid, nullptr, 0);
        }
        if (child->reader.joinable())
            child->reader.join();
    }
}

std::vector<ProcessSlice> GeneratorProcesses::slices(std::size_t sessions, std::uint32_t processes,
                                                     std::uint32_t votesPerSecond)
{
    const std::size_t viewers = sessions - 1;
    std::vector<ProcessSlice> result;
    std::size_t first = 1;
    std::uint64_t paceGiven = 0;
    for (std::uint32_t k = 0; k < processes; ++k) {
        const std::size_t count = viewers / processes + (k < viewers % processes ? 1 : 0);
        // Shares of the pace that add up to it: each slice gets the pace up to its end less the
        // pace already given.
        const std::uint64_t paceToEnd = std::uint64_t(votesPerSecond) * (first - 1 + count) / viewers;
        result.push_back({first, count, static_cast<std::uint32_t>(paceToEnd - paceGiven)});
        paceGiven = paceToEnd;
        first += count;
    }
    return result;
}

bool GeneratorProcesses::start(const std::string& program, const std::vector<std::string>& args,
                               const std::vector<ProcessSlice>& slices, std::string& error)
{
    for (std::size_t i = 0; i < slices.size(); ++i) {
        int toChild[2], fromChild[2];
        if (::pipe2(toChild, O_CLOEXEC) != 0 || ::pipe2(fromChild, O_CLOEXEC) != 0) {
            error = std::string("pipe: ") + std::strerror(errno);
            return false;
        }
        std::vector<std::string> all{program};
        all.insert(all.end(), args.begin(), args.end());
        for (const std::string& more :
             {std::string("--slice"), std::to_string(slices[i].first) + ":" + std::to_string(slices[i].count),
              std::string("--rate"), std::to_string(slices[i].votesPerSecond)})
            all.push_back(more);
        std::vector<char*> argv;
        for (std::string& a : all)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, toChild[0], STDIN_FILENO);
        posix_spawn_file_actions_adddup2(&actions, fromChild[1], STDOUT_FILENO);
        auto child = std::make_unique<Child>();
        const int spawned =
            posix_spawn(&child->pid, program.c_str(), &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(toChild[0]);
        ::close(fromChild[1]);
        if (spawned != 0) {
            ::close(toChild[1]);
            ::close(fromChild[0]);
            error = "could not start " + program + ": " + std::strerror(spawned);
            return false;
        }
        child->toChild = toChild[1];
        Child& started = *child;
        m_children.push_back(std::move(child));
        started.reader = std::thread([this, &started, fd = fromChild[0], i] { readLines(started, fd, i); });
    }
    return true;
}

void GeneratorProcesses::post(std::function<void()> work)
{
    boost::asio::post(m_io, std::move(work));
}

// On its own thread: what the process says, handed to the io_context's thread.
void GeneratorProcesses::readLines(Child& child, int fromChild, std::size_t number)
{
    FILE* in = ::fdopen(fromChild, "r");
    char line[4096];
    bool inResults = false;
    const std::string who = "generator process " + std::to_string(number + 1);
    while (in != nullptr && std::fgets(line, sizeof line, in)) {
        const std::string text(line);
        if (inResults && text == "end\n") {
            child.ended = true;
            inResults = false;
        } else if (inResults) {
            child.results += text;
        } else if (text == "results\n") {
            inResults = true;
        } else if (text == "ready\n") {
            post([this] {
                if (++m_ready == m_children.size())
                    m_events.allReady();
            });
        } else if (text == "voted\n") {
            post([this] {
                if (++m_voted == m_children.size())
                    m_events.allVoted();
            });
        }
    }
    if (in != nullptr)
        std::fclose(in);
    if (!child.ended)
        post([this, who] { m_events.failed(who + " ended before its results"); });
}

void GeneratorProcesses::beginVoting(std::uint32_t voteId, std::uint32_t jiFangId)
{
    const std::string line = "vote " + std::to_string(voteId) + " " + std::to_string(jiFangId) + "\n";
    for (const auto& child : m_children) {
        if (::write(child->toChild, line.data(), line.size()) != ssize_t(line.size()))
            m_events.failed("could not tell a generator process to vote");
    }
}

bool GeneratorProcesses::collect(LoadResults& into, std::string& error)
{
    for (std::size_t i = 0; i < m_children.size(); ++i) {
        Child& child = *m_children[i];
        ::close(child.toChild);
        child.toChild = -1;
        child.reader.join();
        int status = 0;
        rusage usage{};
        ::wait4(child.pid, &status, 0, &usage);
        into.generatorChildrenCpuSeconds += double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                                            double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
        child.pid = 0;
        LoadResults part;
        if (!child.ended || !resultsFromText(child.results, part)) {
            error = "generator process " + std::to_string(i + 1) + " gave no results";
            return false;
        }
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            error = "generator process " + std::to_string(i + 1) + " failed";
            return false;
        }
        mergeResults(into, part);
    }
    return true;
}

} // namespace quorix::loadgen
