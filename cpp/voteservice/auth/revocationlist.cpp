#include "voteservice/auth/revocationlist.h"

#include <algorithm>

namespace quorix::service {

RevocationList::RevocationList(const std::vector<Revocation>& revocations)
{
    // Two revocations of one user: the later time refuses every token the earlier one does.
    for (const Revocation& revocation : revocations) {
        auto [it, added] =
            m_before.try_emplace({revocation.channelId, revocation.uid}, revocation.issuedBefore);
        if (!added)
            it->second = std::max(it->second, revocation.issuedBefore);
    }
}

bool RevocationList::revokes(const AccessClaims& claims) const
{
    const auto it = m_before.find({claims.channelId, claims.uid});
    return it != m_before.end() && claims.issuedAt < it->second;
}

} // namespace quorix::service
