#pragma once

// Reads the claims of a verified JWT's payload into AccessClaims. Only the shape is checked here
// (types and bounds); times, lifetime and revocations are the verifier's.

#include "voteservice/auth/accessclaims.h"
#include "voteservice/auth/tokenrefusal.h"

#include <nlohmann/json_fwd.hpp>

namespace quorix::service {

class TokenClaimsReader
{
public:
    // Malformed for a payload that is not an object, a missing or mistyped `sub`, `imid`, `role`,
    // `channel` or `scope`, an unknown scope word, a mistyped time, `sub_channel` or `jti`, or a
    // `jti` over kMaxTokenIdBytes; NoExpiry without `exp`. `iat` and `nbf` may be absent
    // (hasIssuedAt, notBefore tell).
    static TokenRefusal read(const nlohmann::json& payload, AccessClaims& claims, bool& hasIssuedAt,
                             std::int64_t& notBefore);

    static constexpr std::size_t kMaxTokenIdBytes = 64;
};

} // namespace quorix::service
