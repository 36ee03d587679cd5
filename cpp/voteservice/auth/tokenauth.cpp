#include "voteservice/auth/tokenauth.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <cctype>

namespace quorix::service {

namespace {
constexpr std::size_t kMaxExpiryDigits = 12;
}

TokenAuth::TokenAuth(std::string secret) : m_secret(std::move(secret)) {}

std::string TokenAuth::signatureHex(const TokenClaims& claims, std::int64_t expiryUnix) const
{
    const std::string message = std::to_string(claims.uid) + "|" + std::to_string(claims.imid) + "|" +
                                std::to_string(claims.role) + "|" + std::to_string(claims.channelId) + "|" +
                                std::to_string(expiryUnix);
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int digestSize = 0;
    HMAC(EVP_sha256(), m_secret.data(), static_cast<int>(m_secret.size()),
         reinterpret_cast<const unsigned char*>(message.data()), message.size(), digest, &digestSize);
    static const char kHex[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(2 * digestSize);
    for (unsigned int i = 0; i < digestSize; ++i) {
        hex.push_back(kHex[digest[i] >> 4]);
        hex.push_back(kHex[digest[i] & 0x0f]);
    }
    return hex;
}

std::string TokenAuth::issue(const TokenClaims& claims, std::int64_t expiryUnix) const
{
    return std::to_string(expiryUnix) + "." + signatureHex(claims, expiryUnix);
}

TokenCheck TokenAuth::check(const std::string& token, const TokenClaims& claims, std::int64_t nowUnix) const
{
    if (token.empty())
        return TokenCheck::Missing;
    const std::size_t dot = token.find('.');
    if (dot == std::string::npos || dot == 0 || dot > kMaxExpiryDigits)
        return TokenCheck::Malformed;
    std::int64_t expiry = 0;
    for (std::size_t i = 0; i < dot; ++i) {
        if (!std::isdigit(static_cast<unsigned char>(token[i])))
            return TokenCheck::Malformed;
        expiry = expiry * 10 + (token[i] - '0');
    }
    if (expiry < nowUnix)
        return TokenCheck::Expired;
    const std::string expected = signatureHex(claims, expiry);
    const std::string given = token.substr(dot + 1);
    // Constant-time comparison, so the signature cannot be guessed byte by byte from timing.
    const bool matches =
        given.size() == expected.size() && CRYPTO_memcmp(given.data(), expected.data(), given.size()) == 0;
    return matches ? TokenCheck::Valid : TokenCheck::WrongSignature;
}

const char* TokenAuth::describe(TokenCheck check)
{
    switch (check) {
    case TokenCheck::Valid:
        return "valid";
    case TokenCheck::Missing:
        return "no token";
    case TokenCheck::Malformed:
        return "not <expiry>.<signature>";
    case TokenCheck::Expired:
        return "expired";
    case TokenCheck::WrongSignature:
        return "signature does not match this uid, imid, role and channel";
    }
    return "unknown";
}

} // namespace quorix::service
