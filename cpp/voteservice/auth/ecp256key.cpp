#include "voteservice/auth/ecp256key.h"

#include "voteservice/auth/base64url.h"

#include <nlohmann/json.hpp>
#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/param_build.h>
#include <openssl/pem.h>

#include <cstring>

namespace quorix::service {

namespace {

constexpr std::size_t kCoordinateBytes = 32;
constexpr char kGroup[] = "prime256v1";

std::shared_ptr<EVP_PKEY> owned(EVP_PKEY* key)
{
    return key ? std::shared_ptr<EVP_PKEY>(key, EVP_PKEY_free) : nullptr;
}

bool isP256(EVP_PKEY* key)
{
    char group[64] = {};
    std::size_t length = 0;
    return EVP_PKEY_is_a(key, "EC") &&
           EVP_PKEY_get_utf8_string_param(key, OSSL_PKEY_PARAM_GROUP_NAME, group, sizeof group, &length) ==
               1 &&
           std::strcmp(group, kGroup) == 0;
}

std::string bioText(BIO* bio)
{
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio, &data);
    return size > 0 ? std::string(data, static_cast<std::size_t>(size)) : std::string();
}

// A coordinate as the JWK writes it: exactly 32 big-endian bytes, leading zeros kept.
bool readCoordinate(EVP_PKEY* key, const char* name, std::string& bytes)
{
    BIGNUM* number = nullptr;
    if (EVP_PKEY_get_bn_param(key, name, &number) != 1)
        return false;
    bytes.assign(kCoordinateBytes, '\0');
    const int written =
        BN_bn2binpad(number, reinterpret_cast<unsigned char*>(bytes.data()), kCoordinateBytes);
    BN_free(number);
    return written == static_cast<int>(kCoordinateBytes);
}

} // namespace

EcP256Key::EcP256Key(std::shared_ptr<EVP_PKEY> key) : m_key(std::move(key)) {}

std::optional<EcP256Key> EcP256Key::fromCoordinates(const std::string& x, const std::string& y)
{
    if (x.size() != kCoordinateBytes || y.size() != kCoordinateBytes)
        return std::nullopt;
    // The uncompressed point: 0x04, then x and y.
    std::string point = "\x04" + x + y;
    OSSL_PARAM params[] = {
        OSSL_PARAM_construct_utf8_string(OSSL_PKEY_PARAM_GROUP_NAME, const_cast<char*>(kGroup), 0),
        OSSL_PARAM_construct_octet_string(OSSL_PKEY_PARAM_PUB_KEY, point.data(), point.size()),
        OSSL_PARAM_construct_end(),
    };
    const std::unique_ptr<EVP_PKEY_CTX, void (*)(EVP_PKEY_CTX*)> context(
        EVP_PKEY_CTX_new_from_name(nullptr, "EC", nullptr), EVP_PKEY_CTX_free);
    EVP_PKEY* made = nullptr;
    if (!context || EVP_PKEY_fromdata_init(context.get()) != 1 ||
        EVP_PKEY_fromdata(context.get(), &made, EVP_PKEY_PUBLIC_KEY, params) != 1)
        return std::nullopt;
    std::shared_ptr<EVP_PKEY> key = owned(made);
    // fromdata takes any bytes; the check tells a point of the curve from one that is not.
    const std::unique_ptr<EVP_PKEY_CTX, void (*)(EVP_PKEY_CTX*)> check(
        EVP_PKEY_CTX_new_from_pkey(nullptr, key.get(), nullptr), EVP_PKEY_CTX_free);
    if (!check || EVP_PKEY_public_check(check.get()) != 1)
        return std::nullopt;
    return EcP256Key(std::move(key));
}

std::optional<EcP256Key> EcP256Key::fromPrivatePem(const std::string& pem)
{
    const std::unique_ptr<BIO, int (*)(BIO*)> bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())),
                                                  BIO_free);
    if (!bio)
        return std::nullopt;
    // An empty pass phrase: a key that has one is refused rather than asked for on a terminal.
    std::shared_ptr<EVP_PKEY> key =
        owned(PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, const_cast<char*>("")));
    if (!key || !isP256(key.get()))
        return std::nullopt;
    return EcP256Key(std::move(key));
}

std::optional<EcP256Key> EcP256Key::generate()
{
    std::shared_ptr<EVP_PKEY> key = owned(EVP_EC_gen(kGroup));
    if (!key)
        return std::nullopt;
    return EcP256Key(std::move(key));
}

std::string EcP256Key::publicPem() const
{
    const std::unique_ptr<BIO, int (*)(BIO*)> bio(BIO_new(BIO_s_mem()), BIO_free);
    if (!bio || PEM_write_bio_PUBKEY(bio.get(), m_key.get()) != 1)
        return {};
    return bioText(bio.get());
}

std::string EcP256Key::privatePem() const
{
    BIGNUM* secret = nullptr;
    if (EVP_PKEY_get_bn_param(m_key.get(), OSSL_PKEY_PARAM_PRIV_KEY, &secret) != 1)
        return {};
    BN_clear_free(secret);
    const std::unique_ptr<BIO, int (*)(BIO*)> bio(BIO_new(BIO_s_mem()), BIO_free);
    if (!bio || PEM_write_bio_PrivateKey(bio.get(), m_key.get(), nullptr, nullptr, 0, nullptr, nullptr) != 1)
        return {};
    return bioText(bio.get());
}

bool EcP256Key::coordinates(std::string& x, std::string& y) const
{
    return readCoordinate(m_key.get(), OSSL_PKEY_PARAM_EC_PUB_X, x) &&
           readCoordinate(m_key.get(), OSSL_PKEY_PARAM_EC_PUB_Y, y);
}

nlohmann::json EcP256Key::publicJwk(const std::string& keyId) const
{
    std::string x, y;
    if (!coordinates(x, y))
        return nullptr;
    return {{"kty", "EC"},
            {"crv", "P-256"},
            {"x", base64UrlEncode(x)},
            {"y", base64UrlEncode(y)},
            {"alg", "ES256"},
            {"use", "sig"},
            {"kid", keyId}};
}

std::string EcP256Key::thumbprint() const
{
    std::string x, y;
    if (!coordinates(x, y))
        return {};
    const std::string members = R"({"crv":"P-256","kty":"EC","x":")" + base64UrlEncode(x) + R"(","y":")" +
                                base64UrlEncode(y) + R"("})";
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    EVP_Digest(members.data(), members.size(), digest, &size, EVP_sha256(), nullptr);
    return base64UrlEncode(std::string(reinterpret_cast<char*>(digest), size));
}

} // namespace quorix::service
