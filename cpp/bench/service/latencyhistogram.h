#pragma once

// Latencies kept as counts in buckets 1 % wide (from 1 µs to over an hour), so that the parts
// measured by several generator processes merge by adding counts and their percentiles stay those
// of all the values together, to within one bucket.

#include <cstdint>
#include <string>
#include <vector>

namespace quorix::loadgen {

class LatencyHistogram
{
public:
    LatencyHistogram();

    void add(double milliseconds);
    void merge(const LatencyHistogram& other);
    // The value at fraction p (0 to 1) of the sorted values: the upper edge of its bucket, never
    // above the largest value; 0 when empty.
    double percentile(double p) const;
    double max() const { return m_maxMs; }
    std::uint64_t count() const { return m_count; }

    // "MAX INDEX:COUNT ..." for the buckets holding values, and back; false on malformed text.
    std::string toText() const;
    bool fromText(const std::string& text);

private:
    static std::size_t bucketOf(double milliseconds);
    static double upperEdgeMs(std::size_t bucket);

    std::vector<std::uint64_t> m_buckets;
    std::uint64_t m_count = 0;
    double m_maxMs = 0;
};

} // namespace quorix::loadgen
