#pragma once

// An EC P-256 key (ES256) through OpenSSL 3: made from a JWK's coordinates, read from a PEM private
// key, or freshly generated; written as PEM and as a JWK with its RFC 7638 thumbprint.

#include <nlohmann/json_fwd.hpp>

#include <memory>
#include <optional>
#include <string>

struct evp_pkey_st;

namespace quorix::service {

class EcP256Key
{
public:
    // The public key of a JWK's `x` and `y` (32 bytes each, big-endian); nullopt when they are not
    // a point of the curve.
    static std::optional<EcP256Key> fromCoordinates(const std::string& x, const std::string& y);
    // A PEM private key (SEC 1 or PKCS #8, without a pass phrase); nullopt when it is not P-256.
    static std::optional<EcP256Key> fromPrivatePem(const std::string& pem);
    static std::optional<EcP256Key> generate();

    std::string publicPem() const;
    // PKCS #8; empty for a public key.
    std::string privatePem() const;
    // The public JWK {"kty":"EC","crv":"P-256","x","y","alg":"ES256","use":"sig","kid"}.
    nlohmann::json publicJwk(const std::string& keyId) const;
    // RFC 7638: base64url of SHA-256 over {"crv","kty","x","y"} in that order, without spaces.
    std::string thumbprint() const;

private:
    explicit EcP256Key(std::shared_ptr<evp_pkey_st> key);
    bool coordinates(std::string& x, std::string& y) const;

    std::shared_ptr<evp_pkey_st> m_key;
};

} // namespace quorix::service
