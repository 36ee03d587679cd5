#pragma once

// Signs tokens: `quorix-voted token`, and the service itself when a host asks for a narrower token
// for its web link. HS256 with the secret file's key, or ES256 with a PEM private key and its kid
// (`quorix-voted keygen` writes both), through the JWT library.

#include "voteservice/auth/accessclaims.h"

#include <memory>
#include <optional>
#include <string>

namespace quorix::service {

class TokenSigner
{
public:
    static constexpr std::size_t kMaxPrivateKeyFileBytes = 16384;

    static TokenSigner withSecret(std::string secret);
    // Reads a PEM EC P-256 private key; its kid is the RFC 7638 thumbprint of its public key. Nullopt
    // with a message when the file cannot be read or holds no such key.
    static std::optional<TokenSigner> withPrivateKeyFile(const std::string& path, std::string& error);

    // A compact JWS with header {alg, typ:"JWT", kid (ES256)} and the claims sub, imid, role,
    // channel, scope, iat, exp, and sub_channel and jti when set.
    std::string sign(const AccessClaims& claims) const;
    const std::string& keyId() const { return m_keyId; }
    const std::string& algorithm() const { return m_algorithm; }

private:
    std::string m_algorithm;
    std::string m_keyId;
    std::string m_key; // HS256 secret or PEM private key
};

} // namespace quorix::service
