#pragma once

// The claims of every open session that a token let in, whatever its transport, with the way to
// close it. After a key reload or a revocation the server asks the verifier about each, and closes
// the sessions it no longer honours (within a second of the change).

#include "voteservice/auth/accessclaims.h"
#include "voteservice/core/sessionidentity.h"
#include "voteservice/auth/tokenrefusal.h"

#include <cstddef>
#include <functional>
#include <unordered_map>

namespace quorix::service {

class TokenVerifier;

class OpenCredentials
{
public:
    // Called once when the session is to be closed, with the reason; the transport then closes it
    // as it closes any session (its core session ends with it) and calls remove().
    using Closer = std::function<void(TokenRefusal)>;

    void add(SessionId session, AccessClaims claims, Closer close);
    void remove(SessionId session);
    // Closes every session whose claims the verifier no longer honours; returns how many.
    std::size_t closeDishonoured(const TokenVerifier& verifier);
    std::size_t size() const { return m_open.size(); }
    // The claims a session was let in with; null for a session not registered.
    const AccessClaims* claimsOf(SessionId session) const;

private:
    struct Entry
    {
        AccessClaims claims;
        Closer close;
    };
    std::unordered_map<SessionId, Entry> m_open;
};

} // namespace quorix::service
