#pragma once

// The generator processes a load run is split over: each is this program started again with a
// slice of the viewers (--slice) and its share of the vote pace. They talk to the starting
// process in lines over pipes: each says "ready" once its sessions were welcomed and "voted" once
// its votes were answered and broadcast, is told "vote VOTE_ID JIFANG_ID" to begin, and ends by
// writing its results (resultsToText) between "results" and "end".

#include "bench/service/loadresults.h"

#include <boost/asio.hpp>

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace quorix::loadgen {

struct ProcessSlice
{
    std::size_t first = 0;
    std::size_t count = 0;
    std::uint32_t votesPerSecond = 0;
};

class GeneratorProcesses
{
public:
    struct Events
    {
        std::function<void()> allReady;
        std::function<void()> allVoted;
        std::function<void(const std::string&)> failed;
    };

    GeneratorProcesses(boost::asio::io_context& io, Events events);
    // Ends the processes still running.
    ~GeneratorProcesses();
    GeneratorProcesses(const GeneratorProcesses&) = delete;
    GeneratorProcesses& operator=(const GeneratorProcesses&) = delete;

    // The viewers 1 .. sessions-1 in `processes` nearly equal slices, each with its share of the pace.
    static std::vector<ProcessSlice> slices(std::size_t sessions, std::uint32_t processes,
                                            std::uint32_t votesPerSecond);

    // Starts one process of program per slice, with args and its --slice and --rate added.
    bool start(const std::string& program, const std::vector<std::string>& args,
               const std::vector<ProcessSlice>& slices, std::string& error);
    void beginVoting(std::uint32_t voteId, std::uint32_t jiFangId);
    // Waits for every process to end and adds its results to into; false with why when one failed.
    bool collect(LoadResults& into, std::string& error);

private:
    struct Child
    {
        pid_t pid = 0;
        int toChild = -1;
        std::thread reader;
        std::string results;
        bool ended = false; // wrote its results
    };

    void readLines(Child& child, int fromChild, std::size_t number);
    void post(std::function<void()> work);

    boost::asio::io_context& m_io;
    Events m_events;
    std::vector<std::unique_ptr<Child>> m_children;
    std::size_t m_ready = 0;
    std::size_t m_voted = 0;
};

} // namespace quorix::loadgen
