#include "bench/service/generatorprocesses.h"

#include <gtest/gtest.h>

namespace quorix::loadgen {
namespace {

// Every viewer (1 .. sessions-1) in exactly one slice, and the shares of the pace add up to it.
TEST(GeneratorProcessesTest, SlicesCoverTheViewersOnceAndShareThePace)
{
    const struct
    {
        std::size_t sessions;
        std::uint32_t processes;
        std::uint32_t pace;
    } rows[] = {{100000, 6, 10000}, {8, 7, 3}, {1001, 3, 0}, {10, 4, 100000000}};
    for (const auto& row : rows) {
        const auto slices = GeneratorProcesses::slices(row.sessions, row.processes, row.pace);
        ASSERT_EQ(slices.size(), row.processes);
        std::size_t next = 1;
        std::uint64_t pace = 0;
        for (const ProcessSlice& slice : slices) {
            EXPECT_EQ(slice.first, next);
            EXPECT_GE(slice.count, (row.sessions - 1) / row.processes);
            next += slice.count;
            pace += slice.votesPerSecond;
        }
        EXPECT_EQ(next, row.sessions);
        EXPECT_EQ(pace, row.pace);
    }
}

} // namespace
} // namespace quorix::loadgen
