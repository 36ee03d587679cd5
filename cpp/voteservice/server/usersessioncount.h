#pragma once

// The open sessions of the service, by session id, and how many each user has, so that one identity
// cannot take every session of the service. A user is a uid within a channel: the same uid in
// another channel counts apart.

#include "voteservice/core/sessionidentity.h"

#include <cstddef>
#include <cstdint>
#include <unordered_map>

namespace quorix::service {

class UserSessionCount
{
public:
    explicit UserSessionCount(std::size_t maxPerUser) : m_maxPerUser(maxPerUser) {}

    // Counts the session for the user; false (and nothing counted) when the user has the most
    // allowed or the id is counted already.
    bool tryAdd(SessionId id, std::uint32_t channelId, std::uint32_t uid);
    // Forgets the session; nothing when it was not counted.
    void remove(SessionId id);
    // A new bound for the sessions to come; users above it keep theirs until they close.
    void setMaxPerUser(std::size_t maxPerUser) { m_maxPerUser = maxPerUser; }
    // Open sessions of every user.
    std::size_t size() const { return m_userOf.size(); }

private:
    static std::uint64_t key(std::uint32_t channelId, std::uint32_t uid)
    {
        return (std::uint64_t(channelId) << 32) | uid;
    }

    std::size_t m_maxPerUser;
    std::unordered_map<std::uint64_t, std::size_t> m_sessions;
    std::unordered_map<SessionId, std::uint64_t> m_userOf;
};

} // namespace quorix::service
