#pragma once

// Session tokens: "<expiry>.<hex HMAC-SHA256(secret, "<uid>|<imid>|<role>|<channelId>|<expiry>")>",
// expiry in Unix seconds. Whoever holds the secret (the host's back end) issues them; quorix-voted
// checks them in the HELLO.

#include <cstdint>
#include <string>

namespace quorix::service {

// Why a token was accepted or refused; the refusal reasons are for the service's log.
enum class TokenCheck
{
    Valid,
    Missing,   // empty
    Malformed, // not "<digits>.<signature>"
    Expired,
    WrongSignature // forged, or signed for another uid, imid, role or channel
};

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
    // Valid when the token is well formed, signed for these claims and not expired at nowUnix.
    TokenCheck check(const std::string& token, const TokenClaims& claims, std::int64_t nowUnix) const;
    bool verify(const std::string& token, const TokenClaims& claims, std::int64_t nowUnix) const
    {
        return check(token, claims, nowUnix) == TokenCheck::Valid;
    }
    // A few words for a log line; never any part of the token.
    static const char* describe(TokenCheck check);

private:
    std::string signatureHex(const TokenClaims& claims, std::int64_t expiryUnix) const;

    std::string m_secret;
};

} // namespace quorix::service
