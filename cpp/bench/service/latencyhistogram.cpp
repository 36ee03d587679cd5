#include "bench/service/latencyhistogram.h"

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <sstream>

namespace quorix::loadgen {

namespace {
constexpr double kGrowth = 1.01;
constexpr double kSmallestMs = 0.001;
// 1.01^2400 µs is about 6.7 hours; anything longer counts in the last bucket.
constexpr std::size_t kBuckets = 2400;
} // namespace

LatencyHistogram::LatencyHistogram() : m_buckets(kBuckets, 0) {}

std::size_t LatencyHistogram::bucketOf(double milliseconds)
{
    if (!(milliseconds > kSmallestMs))
        return 0;
    const double index = std::ceil(std::log(milliseconds / kSmallestMs) / std::log(kGrowth));
    return std::min(kBuckets - 1, static_cast<std::size_t>(index));
}

double LatencyHistogram::upperEdgeMs(std::size_t bucket)
{
    return kSmallestMs * std::pow(kGrowth, double(bucket));
}

void LatencyHistogram::add(double milliseconds)
{
    ++m_buckets[bucketOf(milliseconds)];
    ++m_count;
    m_maxMs = std::max(m_maxMs, milliseconds);
}

void LatencyHistogram::merge(const LatencyHistogram& other)
{
    for (std::size_t i = 0; i < kBuckets; ++i)
        m_buckets[i] += other.m_buckets[i];
    m_count += other.m_count;
    m_maxMs = std::max(m_maxMs, other.m_maxMs);
}

double LatencyHistogram::percentile(double p) const
{
    if (m_count == 0)
        return 0;
    // The same rank as the nearest-rank choice over the sorted values.
    const std::uint64_t rank = static_cast<std::uint64_t>(p * double(m_count - 1) + 0.5) + 1;
    std::uint64_t seen = 0;
    for (std::size_t i = 0; i < kBuckets; ++i) {
        seen += m_buckets[i];
        if (seen >= rank)
            return std::min(upperEdgeMs(i), m_maxMs);
    }
    return m_maxMs;
}

std::string LatencyHistogram::toText() const
{
    std::ostringstream text;
    text.precision(17);
    text << m_maxMs;
    for (std::size_t i = 0; i < kBuckets; ++i) {
        if (m_buckets[i] != 0)
            text << ' ' << i << ':' << m_buckets[i];
    }
    return text.str();
}

bool LatencyHistogram::fromText(const std::string& text)
{
    LatencyHistogram read;
    std::istringstream in(text);
    if (!(in >> read.m_maxMs) || read.m_maxMs < 0)
        return false;
    std::string pair;
    while (in >> pair) {
        std::size_t index = 0;
        std::uint64_t count = 0;
        char extra = 0;
        if (std::sscanf(pair.c_str(), "%zu:%" SCNu64 "%c", &index, &count, &extra) != 2 ||
            index >= kBuckets || pair[0] == '-')
            return false;
        read.m_buckets[index] += count;
        read.m_count += count;
    }
    *this = std::move(read);
    return true;
}

} // namespace quorix::loadgen
