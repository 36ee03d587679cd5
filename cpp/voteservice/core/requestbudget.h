#pragma once

#include <cstdint>

namespace quorix::service {

// A token bucket: `ratePerSecond` requests a second on average, bursts of up to `burst`.
class RequestBudget
{
public:
    RequestBudget(std::uint32_t burst, std::int64_t nowMs);

    // Takes one request from the bucket; false when it is empty.
    bool take(std::uint32_t ratePerSecond, std::uint32_t burst, std::int64_t nowMs);

private:
    std::int64_t m_lastMs;
    // Thousandths of a request, so refills at any rate stay exact in integers.
    std::int64_t m_milliTokens;
};

} // namespace quorix::service
