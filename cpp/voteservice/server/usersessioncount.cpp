#include "voteservice/server/usersessioncount.h"

namespace quorix::service {

bool UserSessionCount::tryAdd(std::uint32_t channelId, std::uint32_t uid)
{
    const auto it = m_sessions.find(key(channelId, uid));
    const std::size_t count = it == m_sessions.end() ? 0 : it->second;
    if (count >= m_maxPerUser)
        return false;
    m_sessions[key(channelId, uid)] = count + 1;
    return true;
}

void UserSessionCount::remove(std::uint32_t channelId, std::uint32_t uid)
{
    const auto it = m_sessions.find(key(channelId, uid));
    if (it == m_sessions.end())
        return;
    if (--it->second == 0)
        m_sessions.erase(it);
}

} // namespace quorix::service
