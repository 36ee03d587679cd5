#include "voteservice/web/userrequestbudgets.h"

#include <algorithm>

namespace quorix::service {

UserRequestBudgets::UserRequestBudgets(std::uint32_t ratePerSecond, std::uint32_t burst)
    : m_ratePerSecond(ratePerSecond), m_burst(burst)
{}

bool UserRequestBudgets::take(std::uint32_t channelId, std::uint32_t uid, std::int64_t nowMs)
{
    const std::uint64_t key = (std::uint64_t(channelId) << 32) | uid;
    auto it = m_users.find(key);
    if (it == m_users.end()) {
        if (m_users.size() >= kMaxUsers)
            forgetRefilled(nowMs);
        // Still full: every user is mid-burst. Starting over costs at most one burst each.
        if (m_users.size() >= kMaxUsers)
            m_users.clear();
        it = m_users.emplace(key, User{RequestBudget(m_burst, nowMs), nowMs}).first;
    }
    it->second.lastMs = nowMs;
    return it->second.budget.take(m_ratePerSecond, m_burst, nowMs);
}

void UserRequestBudgets::forgetRefilled(std::int64_t nowMs)
{
    const std::int64_t refillMs = std::int64_t(m_burst) * 1000 / std::max<std::uint32_t>(1, m_ratePerSecond);
    for (auto it = m_users.begin(); it != m_users.end();) {
        if (nowMs - it->second.lastMs >= refillMs)
            it = m_users.erase(it);
        else
            ++it;
    }
}

} // namespace quorix::service
