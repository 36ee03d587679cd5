#include "bench/service/loadgencommandline.h"

#include <gtest/gtest.h>

namespace quorix::loadgen {
namespace {

constexpr std::uint64_t kFileLimit = 20000;

TEST(LoadgenCommandLineTest, RefusesWithOneLineThatSaysWhy)
{
    const struct
    {
        std::vector<std::string> args;
        std::string error;
    } rows[] = {
        {{"--sessions", "100000"},
         "--sessions 100000 needs --processes 6 or more: one process may open 20000 files"},
        {{"--sessions", "100000", "--processes", "6"},
         "--sessions 100000 needs --nodes 6 or more: one process may open 20000 files"},
        {{"--sessions", "100000", "--processes", "5", "--nodes", "6"},
         "--sessions 100000 needs --processes 6 or more: one process may open 20000 files"},
        {{"--processes", "65"}, "--processes wants 1 to 64, got 65"},
        {{"--sessions", "3", "--processes", "3"}, "--processes wants fewer processes than --sessions"},
        {{"--source-addresses", "255"}, "--source-addresses wants 0 to 254, got 255"},
        {{"--broadcast-hz", "1001"}, "--broadcast-hz wants 1 to 1000, got 1001"},
        {{"--peer", "memcached"}, "--peer: memcached not in {redis,bare}"},
        {{"--fanout-budget", "0"}, "--fanout-budget wants 1 to 1000000000, got 0"},
        {{"--peer", "redis", "--processes", "2"},
         "--peer runs in one process against the services it starts: not with --connect, --processes, "
         "--subscribers or --web-viewers"},
        {{"--data", "/tmp/x", "--nodes", "2"},
         "--data is for one service in its own folder: not with --redis or --nodes"},
        {{"--connect", "127.0.0.1:1", "--subscribers", "5"},
         "--subscribers and --web-viewers need the services it starts (not --connect)"},
        {{"--connect", "127.0.0.1:1", "--web-viewers", "5"},
         "--subscribers and --web-viewers need the services it starts (not --connect)"},
        {{"--pid", "12"}, "--pid goes with --connect"},
        {{"--slice", "1:5"}, "--slice wants FIRST:COUNT within --sessions, with --connect"},
        {{"--connect", "127.0.0.1:1", "--sessions", "10", "--slice", "0:5"},
         "--slice wants FIRST:COUNT within --sessions, with --connect"},
        {{"--connect", "127.0.0.1:1", "--sessions", "10", "--slice", "5:6"},
         "--slice wants FIRST:COUNT within --sessions, with --connect"},
    };
    for (const auto& row : rows) {
        LoadgenCommandLine commandLine;
        EXPECT_EQ(commandLine.parse(row.args, kFileLimit), LoadgenCommandLine::Outcome::Error) << row.error;
        EXPECT_EQ(commandLine.text(), row.error);
    }
}

TEST(LoadgenCommandLineTest, FillsWhatWasLeftToIt)
{
    const struct
    {
        std::vector<std::string> args;
        std::uint32_t nodes;
        std::uint32_t sourceAddresses;
        std::size_t sessions; // of this process
        std::size_t firstIndex;
    } rows[] = {
        {{}, 1, 1, 10000, 0},
        {{"--redis", "127.0.0.1:6379"}, 2, 1, 10000, 0},
        {{"--sessions", "100000", "--processes", "6", "--nodes", "6"}, 6, 10, 100000, 0},
        {{"--sessions", "100000", "--processes", "6", "--nodes", "6", "--source-addresses", "3"},
         6,
         3,
         100000,
         0},
        {{"--connect", "127.0.0.1:1,127.0.0.1:2", "--sessions", "100000", "--slice", "16668:16667"},
         1,
         10,
         16667,
         16668},
    };
    for (const auto& row : rows) {
        LoadgenCommandLine commandLine;
        ASSERT_EQ(commandLine.parse(row.args, kFileLimit), LoadgenCommandLine::Outcome::Run)
            << commandLine.text();
        const LoadgenArguments& args = commandLine.arguments();
        EXPECT_EQ(args.nodes, row.nodes);
        EXPECT_EQ(args.load.sourceAddresses, row.sourceAddresses);
        EXPECT_EQ(args.load.sessions, row.sessions);
        EXPECT_EQ(args.load.firstIndex, row.firstIndex);
    }
}

} // namespace
} // namespace quorix::loadgen
