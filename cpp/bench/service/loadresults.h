#pragma once

// What one load run measured, the text form in which a generator process hands its part to the
// process that started it, and the merge of those parts.

#include "bench/service/latencyhistogram.h"

#include <cstdint>
#include <map>
#include <string>

namespace quorix::loadgen {

struct LoadResults
{
    std::size_t welcomed = 0;
    long rssBeforeKiB = 0;
    long rssIdleKiB = 0;
    long rssWelcomedKiB = 0; // once every session was welcomed, before the subscribers came
    std::uint64_t votesSent = 0;
    std::uint64_t accepted = 0;
    std::map<std::uint32_t, std::uint64_t> refusedByCode;
    double votingSeconds = 0;
    LatencyHistogram latencies;           // vote-to-broadcast, accepted votes only
    LatencyHistogram answerLatencies;     // vote-to-answer, every answered vote
    std::uint64_t broadcastsReceived = 0; // vote broadcasts read by the sessions while voting
    std::uint64_t broadcastBytes = 0;     // their frames' bytes, length prefix included
    std::size_t subscribed = 0;
    std::uint64_t eventsReceived = 0; // by all subscribers, snapshots included
    std::uint64_t viewerMessages = 0; // read by all /session viewers
    // Sessions that read the vote's end broadcast, the total of tickets the first of them read, and
    // whether any read a different total.
    std::size_t finalSessions = 0;
    std::uint64_t finalTotal = 0;
    bool finalTotalsDiffer = false;
    // Processor time the service used while the viewers voted (user plus system).
    double serviceCpuSeconds = 0;
    // Time the service was ready to run but waited for a processor (other processes' load).
    double serviceRunDelaySeconds = 0;
    // Processor time of the generator processes started for the run (not the starting one).
    double generatorChildrenCpuSeconds = 0;

    // Counts one session's reading of the end broadcast.
    void addFinalTotal(std::uint64_t total);
};

// The counted part of results (not the service's memory and processor time, which the starting
// process reads itself) as lines of "name value", and back; false on malformed text.
std::string resultsToText(const LoadResults& results);
bool resultsFromText(const std::string& text, LoadResults& results);

// Adds part to into: counts add up, latencies merge, the voting time is the longest.
void mergeResults(LoadResults& into, const LoadResults& part);

} // namespace quorix::loadgen
