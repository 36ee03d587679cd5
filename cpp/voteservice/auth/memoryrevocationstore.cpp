#include "voteservice/auth/memoryrevocationstore.h"

#include <algorithm>

namespace quorix::service {

bool MemoryRevocationStore::revoke(const Revocation& revocation)
{
    const auto same = std::find_if(m_revocations.begin(), m_revocations.end(), [&](const Revocation& r) {
        return r.channelId == revocation.channelId && r.uid == revocation.uid;
    });
    if (same == m_revocations.end())
        m_revocations.push_back(revocation);
    else if (revocation.issuedBefore > same->issuedBefore)
        *same = revocation;
    return true;
}

std::vector<Revocation> MemoryRevocationStore::current(std::int64_t nowUnix)
{
    m_revocations.erase(std::remove_if(m_revocations.begin(), m_revocations.end(),
                                       [nowUnix](const Revocation& r) { return r.expiresAt < nowUnix; }),
                        m_revocations.end());
    return m_revocations;
}

} // namespace quorix::service
