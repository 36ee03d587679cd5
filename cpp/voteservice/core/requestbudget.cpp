#include "voteservice/core/requestbudget.h"

#include <algorithm>

namespace quorix::service {

RequestBudget::RequestBudget(std::uint32_t burst, std::int64_t nowMs)
    : m_lastMs(nowMs), m_milliTokens(std::int64_t(burst) * 1000)
{}

bool RequestBudget::take(std::uint32_t ratePerSecond, std::uint32_t burst, std::int64_t nowMs)
{
    const std::int64_t capacity = std::int64_t(burst) * 1000;
    const std::int64_t elapsed = std::max<std::int64_t>(0, nowMs - m_lastMs);
    m_lastMs = std::max(m_lastMs, nowMs);
    m_milliTokens = std::min(capacity, m_milliTokens + elapsed * ratePerSecond);
    if (m_milliTokens < 1000)
        return false;
    m_milliTokens -= 1000;
    return true;
}

} // namespace quorix::service
