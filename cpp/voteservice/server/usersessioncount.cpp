#include "voteservice/server/usersessioncount.h"

namespace quorix::service {

bool UserSessionCount::tryAdd(SessionId id, std::uint32_t channelId, std::uint32_t uid)
{
    const std::uint64_t user = key(channelId, uid);
    const auto it = m_sessions.find(user);
    const std::size_t count = it == m_sessions.end() ? 0 : it->second;
    if (count >= m_maxPerUser || !m_userOf.emplace(id, user).second)
        return false;
    m_sessions[user] = count + 1;
    return true;
}

void UserSessionCount::remove(SessionId id)
{
    const auto session = m_userOf.find(id);
    if (session == m_userOf.end())
        return;
    const auto it = m_sessions.find(session->second);
    if (--it->second == 0)
        m_sessions.erase(it);
    m_userOf.erase(session);
}

} // namespace quorix::service
