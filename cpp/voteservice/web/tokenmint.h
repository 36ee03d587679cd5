#pragma once

// POST /api/v1/channels/{ch}/tokens: a manager's token exchanged for a narrower one of the same
// user and channel, for a link the console hands on (an overlay's events-only token, say). The body
// {"scope":"events"[, "subChannelId":S][, "ttl":SECONDS]} asks for scopes the caller's token holds;
// the new token never holds more, never another channel or sub-channel, and never outlives the
// caller's token, the verifier's longest lifetime or the ttl asked for (default kDefaultTtlSeconds).
// Pure: the answer is computed from the body, the caller's claims, the signer and the time.

#include "voteservice/auth/accessclaims.h"
#include "voteservice/auth/tokensigner.h"
#include "voteservice/web/webresponse.h"

#include <cstdint>
#include <optional>
#include <string>

namespace quorix::service {

class TokenMint
{
public:
    static constexpr std::int64_t kDefaultTtlSeconds = 86400;

    struct Caller
    {
        // Whether the service checks tokens, and the claims of the caller's token (null: none).
        bool tokensChecked = false;
        const AccessClaims* claims = nullptr;
        std::uint32_t channelId = 0;
        // The verifier's longest lifetime (--max-token-lifetime).
        std::int64_t maxLifetimeSeconds = 0;
    };

    // 200 {"token","scope","channelId","subChannelId","expiresAt","expiresIn"} (token null when no
    // token is checked), or the refusal: 400 for a malformed body, 403 (field scope or subChannelId)
    // for a wider token, 503 without a signing key.
    static WebResponse answer(const std::string& body, const Caller& caller, const TokenSigner* signer,
                              std::int64_t nowUnix);
};

} // namespace quorix::service
