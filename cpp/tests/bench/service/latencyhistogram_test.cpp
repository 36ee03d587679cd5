#include "bench/service/latencyhistogram.h"
#include "bench/service/loadresults.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace quorix::loadgen {
namespace {

// The nearest-rank percentile of the values themselves.
double exactPercentile(std::vector<double> values, double p)
{
    std::sort(values.begin(), values.end());
    return values[static_cast<std::size_t>(p * double(values.size() - 1) + 0.5)];
}

// Parts measured apart (one fast process, one slow) merged give the percentiles of all the values,
// to within a bucket (1 %); averaging the parts' percentiles would not.
TEST(LatencyHistogramTest, MergedPartsGiveThePercentilesOfAllValues)
{
    std::mt19937 random(7);
    std::lognormal_distribution<double> fast(3.0, 0.5), slow(6.0, 0.3);
    std::vector<double> all;
    LatencyHistogram fastPart, slowPart, merged;
    for (int i = 0; i < 9000; ++i) {
        all.push_back(fast(random));
        fastPart.add(all.back());
    }
    for (int i = 0; i < 1000; ++i) {
        all.push_back(slow(random));
        slowPart.add(all.back());
    }
    // Through the text form, as a generator process hands it over.
    LatencyHistogram fastRead, slowRead;
    ASSERT_TRUE(fastRead.fromText(fastPart.toText()));
    ASSERT_TRUE(slowRead.fromText(slowPart.toText()));
    merged.merge(fastRead);
    merged.merge(slowRead);
    EXPECT_EQ(merged.count(), 10000u);
    for (const double p : {0.0, 0.5, 0.9, 0.95, 0.99, 1.0}) {
        const double exact = exactPercentile(all, p);
        EXPECT_NEAR(merged.percentile(p), exact, exact * 0.0101) << "p" << p;
    }
    EXPECT_EQ(merged.max(), *std::max_element(all.begin(), all.end()));
}

TEST(LatencyHistogramTest, RefusesMalformedText)
{
    for (const char* text : {"", "-1", "5 3", "5 3:x", "5 99999:1", "5 1:2 junk"}) {
        LatencyHistogram histogram;
        EXPECT_FALSE(histogram.fromText(text)) << text;
    }
}

TEST(LoadResultsTest, MergeNoticesFinalTotalsThatDisagree)
{
    const struct
    {
        std::vector<std::uint64_t> firstPart, secondPart;
        bool differ;
    } rows[] = {
        {{7, 7}, {7}, false},
        {{7, 7}, {8}, true},
        {{7, 8}, {7}, true},
        {{}, {7}, false},
    };
    for (const auto& row : rows) {
        LoadResults first, second, read;
        for (std::uint64_t total : row.firstPart)
            first.addFinalTotal(total);
        for (std::uint64_t total : row.secondPart)
            second.addFinalTotal(total);
        second.refusedByCode[4] = 2;
        second.broadcastBytes = 300;
        ASSERT_TRUE(resultsFromText(resultsToText(second), read));
        mergeResults(first, read);
        EXPECT_EQ(first.finalSessions, row.firstPart.size() + row.secondPart.size());
        EXPECT_EQ(first.finalTotalsDiffer, row.differ);
        EXPECT_EQ(first.refusedByCode[4], 2u);
        EXPECT_EQ(first.broadcastBytes, 300u);
    }
}

} // namespace
} // namespace quorix::loadgen
