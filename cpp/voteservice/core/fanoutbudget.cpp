#include "voteservice/core/fanoutbudget.h"

#include <algorithm>
#include <numeric>

namespace quorix::service {

FanoutBudget::FanoutBudget(std::uint64_t framesPerSecond, std::uint32_t fullHz)
    : m_framesPerSecond(framesPerSecond), m_fullHz(std::max<std::uint32_t>(1, fullHz))
{}

FanoutBudget::Plan FanoutBudget::plan(const std::vector<std::size_t>& audiences) const
{
    Plan plan;
    plan.hz.assign(audiences.size(), m_fullHz);
    plan.lowestHz = m_fullHz;
    std::vector<std::size_t> order(audiences.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::sort(order.begin(), order.end(),
              [&](std::size_t a, std::size_t b) { return audiences[a] < audiences[b]; });

    std::uint64_t left = m_framesPerSecond;
    std::uint64_t sharing = order.size();
    for (const std::size_t index : order) {
        const std::uint64_t audience = audiences[index];
        const std::uint64_t share = left / sharing--;
        const std::uint64_t fits = audience == 0 ? m_fullHz : share / audience;
        const auto hz = static_cast<std::uint32_t>(std::clamp<std::uint64_t>(fits, 1, m_fullHz));
        const std::uint64_t frames = hz * audience;
        left -= std::min(left, frames);
        plan.hz[index] = hz;
        plan.lowestHz = std::min(plan.lowestHz, hz);
        plan.framesPerSecond += frames;
    }
    return plan;
}

} // namespace quorix::service
