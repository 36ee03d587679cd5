#pragma once

// Session tokens: "<expiry>.<hex HMAC-SHA256(secret, "<uid>|<imid>|<role>|<channelId>|<expiry>")>",
// expiry in Unix seconds. Whoever holds the secret (the host's back end) issues them; quorix-voted
// checks them in the HELLO.

#include <cstdint>
#include <string>

namespace quorix::service {

struct TokenClaims
{
    std::uint32_t uid = 0;
    std::uint32_t imid = 0;
    std::uint32_t role = 0;
    std::uint32_t channelId = 0;
};

class TokenAuth
{
public:
    explicit TokenAuth(std::string secret);

    std::string issue(const TokenClaims& claims, std::int64_t expiryUnix) const;
    // True when the token is well formed, signed for these claims and not expired at nowUnix.
    bool verify(const std::string& token, const TokenClaims& claims, std::int64_t nowUnix) const;

private:
    std::string signatureHex(const TokenClaims& claims, std::int64_t expiryUnix) const;

    std::string m_secret;
};

} // namespace quorix::service
