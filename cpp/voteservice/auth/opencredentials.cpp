#include "voteservice/auth/opencredentials.h"

#include "voteservice/auth/tokenverifier.h"

#include <utility>
#include <vector>

namespace quorix::service {

void OpenCredentials::add(SessionId session, AccessClaims claims, Closer close)
{
    m_open[session] = Entry{std::move(claims), std::move(close)};
}

void OpenCredentials::remove(SessionId session)
{
    m_open.erase(session);
}

const AccessClaims* OpenCredentials::claimsOf(SessionId session) const
{
    const auto it = m_open.find(session);
    return it == m_open.end() ? nullptr : &it->second.claims;
}

std::size_t OpenCredentials::closeDishonoured(const TokenVerifier& verifier)
{
    // Collected first: a closer may remove its entry (or others) while it runs.
    std::vector<std::pair<Closer, TokenRefusal>> closing;
    for (auto it = m_open.begin(); it != m_open.end();) {
        const TokenRefusal refusal = verifier.stillHonoured(it->second.claims);
        if (refusal == TokenRefusal::None) {
            ++it;
            continue;
        }
        closing.emplace_back(std::move(it->second.close), refusal);
        it = m_open.erase(it);
    }
    for (auto& [close, refusal] : closing)
        close(refusal);
    return closing.size();
}

} // namespace quorix::service
