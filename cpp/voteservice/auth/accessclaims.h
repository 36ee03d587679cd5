#pragma once

// The identity and rights a verified token carries. Set by the token check of a transport and kept
// with the session for as long as it is open, so a key removal or a revocation can find it again.

#include "voteservice/core/accessscope.h"

#include <cstdint>
#include <optional>
#include <string>

namespace quorix::service {

struct AccessClaims
{
    std::uint32_t uid = 0; // `sub`, a decimal string in the token
    std::uint32_t imid = 0;
    std::uint32_t role = 0;
    std::uint32_t channelId = 0;
    std::optional<std::uint32_t> subChannelId; // `sub_channel`: only that sub-channel
    ScopeSet scopes;
    std::int64_t issuedAt = 0;  // `iat`, Unix seconds (0 for a legacy token, which has none)
    std::int64_t expiresAt = 0; // `exp`
    std::string tokenId;        // `jti`, empty when the token has none
    std::string keyId;          // the `kid` that verified it; empty for the secret file's key
    std::string keyFingerprint; // KeySet::Key::fingerprint of that key: a reload that replaced it shows
    bool legacy = false;        // an old "EXPIRY.HEX" token, taken under --accept-legacy-tokens
};

} // namespace quorix::service
