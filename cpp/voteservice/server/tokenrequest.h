#pragma once

#include "voteservice/auth/accessclaims.h"
#include "voteservice/auth/tokensigner.h"
#include "voteservice/auth/tokenverifier.h"

#include <cstdint>
#include <optional>
#include <string>

namespace CLI {
class App;
}

namespace quorix::service {

// What `quorix-voted token` is asked to sign: an identity with its scopes, signed with the secret
// of --secret-file (HS256) or the private key of --signing-key (ES256), issued now and valid for
// --ttl seconds or until --expiry.
struct TokenRequest
{
    // The longest --ttl, as the longest lifetime a service can be told to allow.
    static constexpr std::uint64_t kMaxTtlSeconds = TokenPolicy::kLongestLifetimeSeconds;

    std::optional<TokenSigner> signer;
    AccessClaims claims; // the identity; scopes when --scope was given
    std::optional<std::string> scopeWords;
    std::optional<std::uint64_t> expiry; // Unix seconds, the token's `exp`
    std::uint64_t ttlSeconds = 86400;    // from now, when no expiry was given

    // Adds the command's options to command, each kept in a field of this as the parse reads it.
    void addOptionsTo(CLI::App& command);
    // After command parsed the options: the claims to sign (issued at now, with a random `jti`
    // unless --jti gave one), or false with a message when the key or a part of the identity is
    // missing or the expiry is not within the longest lifetime from now.
    bool claimsAt(const CLI::App& command, std::int64_t now, AccessClaims& out, std::string& error) const;
};

} // namespace quorix::service
