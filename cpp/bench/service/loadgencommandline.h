#pragma once

// The command line of quorix-loadgen: its options, their defaults, and the checks that a run's
// sessions fit the processes that will hold them.

#include "bench/service/loadrun.h"

#include <CLI/CLI.hpp>

#include <cstdint>
#include <string>
#include <vector>

namespace quorix::loadgen {

struct LoadgenArguments
{
    LoadOptions load;
    std::string server;
    std::string connect;
    std::uint32_t broadcastHz = 10;
    std::uint64_t fanoutBudget = 50000; // of the started services
    std::int64_t answerHoldMs = 200;    // of the started services
    std::string dataDir;                // empty: the started service keeps everything in memory
    std::string redis;                  // HOST:PORT; set: the started services share their state there
    // Services started; 0 until parsed: 2 with --redis, else 1. More than one without --redis
    // starts a redis-server for them.
    std::uint32_t nodes = 0;
    std::string pids;
    std::uint32_t processes = 1;       // generator processes
    std::uint32_t sourceAddresses = 0; // 0 until parsed: one per 10000 sessions
    std::string peer; // "redis": the same workload against a bare redis-server too; "bare": the fan-out alone
    // Set in a generator process started by another: its sessions FIRST:COUNT of all of them.
    std::string slice;
    std::uint64_t deadlineSeconds = 180;
};

class LoadgenCommandLine
{
public:
    enum class Outcome
    {
        Run,
        Help,
        Version,
        Error
    };

    // defaultServer: the quorix-voted started unless --server names another.
    explicit LoadgenCommandLine(std::string defaultServer = "quorix-voted");
    LoadgenCommandLine(const LoadgenCommandLine&) = delete;
    LoadgenCommandLine& operator=(const LoadgenCommandLine&) = delete;

    // args excludes the program name; fileLimit is how many files one process may open.
    Outcome parse(const std::vector<std::string>& args, std::uint64_t fileLimit);
    // Help or Version: what to print; Error: the reason, one line.
    const std::string& text() const { return m_text; }
    LoadgenArguments& arguments() { return m_args; }
    // Session range of a generator process started by another (from --slice).
    std::size_t sliceFirst() const { return m_sliceFirst; }

private:
    void addOptions();
    std::string check(std::uint64_t fileLimit);
    std::string checkFit(std::uint64_t fileLimit) const;

    LoadgenArguments m_args;
    CLI::App m_app;
    std::string m_text;
    std::size_t m_sliceFirst = 0;
};

} // namespace quorix::loadgen
