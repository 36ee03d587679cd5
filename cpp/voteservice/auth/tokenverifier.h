#pragma once

// Checks tokens: JSON Web Tokens (RFC 7519, JWS compact form) signed HS256 or ES256 by a key of the
// current KeySet, verified by the JWT library, then the claims against the policy. The transports
// call it for every HELLO and web request; the reload swaps the keys and the revocations in, and
// `stillHonoured` tells which open sessions must then be closed.

#include "voteservice/auth/accessclaims.h"
#include "voteservice/auth/keyset.h"
#include "voteservice/auth/revocationlist.h"
#include "voteservice/auth/tokenrefusal.h"

#include <cstdint>
#include <memory>
#include <string_view>

namespace quorix::service {

struct TokenPolicy
{
    // The bounds of --max-token-lifetime; the longest is also how long a revocation is kept.
    static constexpr std::int64_t kShortestLifetimeSeconds = 60;
    static constexpr std::int64_t kLongestLifetimeSeconds = 2592000;

    std::int64_t maxLifetimeSeconds = 86400; // exp - iat at most this (--max-token-lifetime)
    bool acceptLegacy = false;               // "EXPIRY.HEX" tokens too (--accept-legacy-tokens)
};

struct TokenVerdict
{
    TokenRefusal refusal = TokenRefusal::None;
    AccessClaims claims; // meaningful when accepted

    bool accepted() const { return refusal == TokenRefusal::None; }
};

// The identity a legacy token must have been signed for (it carries none of its own).
struct LegacyIdentity
{
    std::uint32_t uid = 0;
    std::uint32_t imid = 0;
    std::uint32_t role = 0;
    std::uint32_t channelId = 0;
};

class TokenVerifier
{
public:
    TokenVerifier(std::shared_ptr<const KeySet> keys, TokenPolicy policy);

    // A JWT, or with acceptLegacy an "EXPIRY.HEX" token signed with the secret for `claimed`
    // (given only by the host transport, whose HELLO states the identity; null elsewhere).
    TokenVerdict verify(std::string_view token, std::int64_t nowUnix,
                        const LegacyIdentity* claimed = nullptr) const;
    // After a reload: None while the key that verified these claims (same kid and fingerprint) is still in
    // the set and their user's tokens of that time are not revoked; UnknownKey or Revoked otherwise.
    TokenRefusal stillHonoured(const AccessClaims& claims) const;

    void replaceKeys(std::shared_ptr<const KeySet> keys) { m_keys = std::move(keys); }
    void replaceRevocations(RevocationList revocations) { m_revocations = std::move(revocations); }
    const KeySet& keys() const { return *m_keys; }
    const RevocationList& revocations() const { return m_revocations; }
    const TokenPolicy& policy() const { return m_policy; }

private:
    TokenVerdict verifyLegacy(std::string_view token, std::int64_t nowUnix,
                              const LegacyIdentity* claimed) const;

    std::shared_ptr<const KeySet> m_keys;
    TokenPolicy m_policy;
    RevocationList m_revocations;
};

} // namespace quorix::service
