#pragma once

// Open sessions per user, so that one identity cannot take every session of the service. A user
// is a uid within a channel: the same uid in another channel counts apart.

#include <cstddef>
#include <cstdint>
#include <unordered_map>

namespace quorix::service {

class UserSessionCount
{
public:
    explicit UserSessionCount(std::size_t maxPerUser) : m_maxPerUser(maxPerUser) {}

    // Counts one more session of the user; false (and nothing counted) when it has the most allowed.
    bool tryAdd(std::uint32_t channelId, std::uint32_t uid);
    void remove(std::uint32_t channelId, std::uint32_t uid);
    // A new bound for the sessions to come; users above it keep theirs until they close.
    void setMaxPerUser(std::size_t maxPerUser) { m_maxPerUser = maxPerUser; }

private:
    static std::uint64_t key(std::uint32_t channelId, std::uint32_t uid)
    {
        return (std::uint64_t(channelId) << 32) | uid;
    }

    std::size_t m_maxPerUser;
    std::unordered_map<std::uint64_t, std::size_t> m_sessions;
};

} // namespace quorix::service
