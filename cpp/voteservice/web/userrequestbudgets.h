#pragma once

// The request budget of plain web requests, per user (a uid within a channel). Each plain request is
// a fresh core session whose own budget starts full; this gives a user's plain requests together
// the limit one host session has (CoreOptions: 20 a second, bursts of 40). Users idle long enough to
// have a full budget again are forgotten, so the table stays bounded.

#include "voteservice/core/requestbudget.h"

#include <cstddef>
#include <cstdint>
#include <unordered_map>

namespace quorix::service {

class UserRequestBudgets
{
public:
    static constexpr std::size_t kMaxUsers = 100000;

    UserRequestBudgets(std::uint32_t ratePerSecond, std::uint32_t burst);

    // Takes one request from the user's budget; false when it is spent.
    bool take(std::uint32_t channelId, std::uint32_t uid, std::int64_t nowMs);
    std::size_t users() const { return m_users.size(); }
    // A new rate and burst, for the budgets already held as well.
    void setRate(std::uint32_t ratePerSecond, std::uint32_t burst)
    {
        m_ratePerSecond = ratePerSecond;
        m_burst = burst;
    }

private:
    struct User
    {
        RequestBudget budget;
        std::int64_t lastMs;
    };
    void forgetRefilled(std::int64_t nowMs);

    std::uint32_t m_ratePerSecond;
    std::uint32_t m_burst;
    std::unordered_map<std::uint64_t, User> m_users;
};

} // namespace quorix::service
