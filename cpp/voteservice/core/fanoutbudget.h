#pragma once

// Shares one node's budget of vote-state frames per second among the sub-channels with a running
// vote. A sub-channel whose sessions here times the full broadcast rate fit its fair share keeps
// the full rate; a larger audience gets the largest whole rate within its share, never below 1 Hz.
// Water-filling: the shares are handed out from the smallest audience up, so what a small
// sub-channel leaves over goes to the larger ones.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace quorix::service {

class FanoutBudget
{
public:
    // What the plan sends in all: the lowest rate in force (fullHz without audiences) and the
    // frames per second the rates add up to.
    struct Plan
    {
        std::vector<std::uint32_t> hz; // one per audience, in the order given
        std::uint32_t lowestHz = 0;
        std::uint64_t framesPerSecond = 0;
    };

    FanoutBudget(std::uint64_t framesPerSecond, std::uint32_t fullHz);

    void setFramesPerSecond(std::uint64_t framesPerSecond) { m_framesPerSecond = framesPerSecond; }
    std::uint32_t fullHz() const { return m_fullHz; }

    // The rate of each sub-channel, given its sessions on this node.
    Plan plan(const std::vector<std::size_t>& audiences) const;

private:
    std::uint64_t m_framesPerSecond;
    std::uint32_t m_fullHz;
};

} // namespace quorix::service
