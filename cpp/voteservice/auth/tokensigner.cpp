#include "voteservice/auth/tokensigner.h"

#include "voteservice/auth/boundedfile.h"
#include "voteservice/auth/ecp256key.h"

#include <jwt.h>

#include <cstdlib>
#include <memory>
#include <utility>

namespace quorix::service {

namespace {

struct JwtFree
{
    void operator()(jwt_t* jwt) const { jwt_free(jwt); }
};
struct CharFree
{
    void operator()(char* text) const { std::free(text); }
};

bool addClaims(jwt_t* jwt, const AccessClaims& claims)
{
    bool ok = jwt_add_grant(jwt, "sub", std::to_string(claims.uid).c_str()) == 0 &&
              jwt_add_grant_int(jwt, "imid", claims.imid) == 0 &&
              jwt_add_grant_int(jwt, "role", claims.role) == 0 &&
              jwt_add_grant_int(jwt, "channel", claims.channelId) == 0 &&
              jwt_add_grant(jwt, "scope", claims.scopes.words().c_str()) == 0 &&
              jwt_add_grant_int(jwt, "iat", claims.issuedAt) == 0 &&
              jwt_add_grant_int(jwt, "exp", claims.expiresAt) == 0;
    if (ok && claims.subChannelId)
        ok = jwt_add_grant_int(jwt, "sub_channel", *claims.subChannelId) == 0;
    if (ok && !claims.tokenId.empty())
        ok = jwt_add_grant(jwt, "jti", claims.tokenId.c_str()) == 0;
    return ok;
}

} // namespace

TokenSigner TokenSigner::withSecret(std::string secret)
{
    TokenSigner signer;
    signer.m_algorithm = "HS256";
    signer.m_key = std::move(secret);
    return signer;
}

std::optional<TokenSigner> TokenSigner::withPrivateKeyFile(const std::string& path, std::string& error)
{
    std::string pem, reason;
    switch (BoundedFile::read(path, kMaxPrivateKeyFileBytes, pem, reason)) {
    case BoundedFile::Outcome::Unreadable:
        error = "cannot read the signing key " + path + ": " + reason;
        return std::nullopt;
    case BoundedFile::Outcome::TooLong:
        error = "the signing key " + path + " is longer than " + std::to_string(kMaxPrivateKeyFileBytes) +
                " bytes";
        return std::nullopt;
    case BoundedFile::Outcome::Read:
        break;
    }
    const auto key = EcP256Key::fromPrivatePem(pem);
    if (!key) {
        error = "the signing key " + path + " holds no EC P-256 private key (PEM, without a pass phrase)";
        return std::nullopt;
    }
    TokenSigner signer;
    signer.m_algorithm = "ES256";
    signer.m_keyId = key->thumbprint();
    // The PKCS #8 form whatever the file's: the one form libjwt is sure to read.
    signer.m_key = key->privatePem();
    return signer;
}

std::string TokenSigner::sign(const AccessClaims& claims) const
{
    jwt_t* created = nullptr;
    if (jwt_new(&created) != 0)
        return {};
    const std::unique_ptr<jwt_t, JwtFree> jwt(created);
    if (!addClaims(jwt.get(), claims) ||
        (!m_keyId.empty() && jwt_add_header(jwt.get(), "kid", m_keyId.c_str()) != 0))
        return {};
    if (jwt_set_alg(jwt.get(), jwt_str_alg(m_algorithm.c_str()),
                    reinterpret_cast<const unsigned char*>(m_key.data()),
                    static_cast<int>(m_key.size())) != 0)
        return {};
    const std::unique_ptr<char, CharFree> token(jwt_encode_str(jwt.get()));
    return token ? std::string(token.get()) : std::string();
}

} // namespace quorix::service
