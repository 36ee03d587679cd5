#include "voteservice/auth/tokenverifier.h"

#include "voteservice/auth/base64url.h"
#include "voteservice/auth/tokenauth.h"
#include "voteservice/auth/tokenclaimsreader.h"

#include <jwt.h>
#include <nlohmann/json.hpp>

#include <cstdlib>
#include <memory>
#include <string>
#include <utility>

namespace quorix::service {

namespace {

using nlohmann::json;

// Far above what a transport lets through (2048 bytes); bounds the work on bytes from anywhere.
constexpr std::size_t kMaxTokenBytes = 8192;

struct JwtFree
{
    void operator()(jwt_t* jwt) const { jwt_free(jwt); }
};
struct CharFree
{
    void operator()(char* text) const { std::free(text); }
};

// The three dot-separated parts of a compact JWS; false when there are not exactly three.
bool splitCompact(std::string_view token, std::string_view parts[3])
{
    for (int i = 0; i < 2; ++i) {
        const std::size_t dot = token.find('.');
        if (dot == std::string_view::npos)
            return false;
        parts[i] = token.substr(0, dot);
        token.remove_prefix(dot + 1);
    }
    parts[2] = token;
    return token.find('.') == std::string_view::npos;
}

std::optional<json> decodeJsonPart(std::string_view part)
{
    const auto bytes = base64UrlDecode(part);
    if (!bytes)
        return std::nullopt;
    json value = json::parse(*bytes, nullptr, false);
    if (value.is_discarded() || !value.is_object())
        return std::nullopt;
    return value;
}

// "EXPIRY.HEX": digits, a dot, and the 64 hex digits of an HMAC-SHA256.
bool looksLegacy(std::string_view token)
{
    const std::size_t dot = token.find('.');
    if (dot == std::string_view::npos || dot == 0 || dot > 12 || token.size() - dot - 1 != 64)
        return false;
    for (std::size_t i = 0; i < token.size(); ++i) {
        const char c = token[i];
        const bool digit = c >= '0' && c <= '9';
        if (i < dot ? !digit : (i > dot && !digit && !(c >= 'a' && c <= 'f')))
            return false;
    }
    return true;
}

TokenRefusal legacyRefusal(TokenCheck check)
{
    switch (check) {
    case TokenCheck::Valid:
        return TokenRefusal::None;
    case TokenCheck::Missing:
        return TokenRefusal::Missing;
    case TokenCheck::Malformed:
        return TokenRefusal::Malformed;
    case TokenCheck::Expired:
        return TokenRefusal::Expired;
    case TokenCheck::WrongSignature:
        return TokenRefusal::WrongClaims;
    }
    return TokenRefusal::Malformed;
}

// The header's `kid`: absent is the secret's key (empty); present must be a non-empty string.
bool readKeyId(const json& header, std::string& keyId)
{
    const auto kid = header.find("kid");
    if (kid == header.end())
        return true;
    if (!kid->is_string() || kid->get_ref<const std::string&>().empty())
        return false;
    keyId = kid->get<std::string>();
    return true;
}

// The header's `alg` and `kid` of a compact JWS whose three parts decode (the payload to a JSON
// object, so that a failure of the library later means the signature); false otherwise.
bool readHeader(std::string_view token, std::string& algorithm, std::string& keyId)
{
    std::string_view parts[3];
    if (!splitCompact(token, parts))
        return false;
    const auto header = decodeJsonPart(parts[0]);
    if (!header || !decodeJsonPart(parts[1]) || base64UrlDecode(parts[2]) == std::nullopt)
        return false;
    const auto alg = header->find("alg");
    // Extensions the token marks critical are not understood here (RFC 7515 §4.1.11).
    if (alg == header->end() || !alg->is_string() || !readKeyId(*header, keyId) || header->contains("crit"))
        return false;
    algorithm = alg->get<std::string>();
    return true;
}

// The library checks the signature with the key material; the algorithm was fixed by the key before.
TokenRefusal checkSignature(const std::string& token, const KeySet::Key& key, json& payload)
{
    jwt_t* decoded = nullptr;
    const int failed =
        jwt_decode(&decoded, token.c_str(), reinterpret_cast<const unsigned char*>(key.material.data()),
                   static_cast<int>(key.material.size()));
    const std::unique_ptr<jwt_t, JwtFree> owner(decoded);
    if (failed != 0 || !decoded || jwt_str_alg(key.algorithm.c_str()) != jwt_get_alg(decoded))
        return TokenRefusal::BadSignature;
    const std::unique_ptr<char, CharFree> grants(jwt_get_grants_json(decoded, nullptr));
    if (!grants)
        return TokenRefusal::Malformed;
    payload = json::parse(grants.get(), nullptr, false);
    return payload.is_discarded() ? TokenRefusal::Malformed : TokenRefusal::None;
}

// The claims of a token whose signature holds: their shape, then time, lifetime and revocation.
TokenRefusal checkClaims(const json& payload, std::int64_t nowUnix, const TokenPolicy& policy,
                         const RevocationList& revocations, AccessClaims& claims)
{
    bool hasIssuedAt = false;
    std::int64_t notBefore = 0;
    if (const TokenRefusal refusal = TokenClaimsReader::read(payload, claims, hasIssuedAt, notBefore);
        refusal != TokenRefusal::None)
        return refusal;
    // RFC 7519 §4.1.4: the token is valid before `exp`, not at it.
    if (claims.expiresAt <= nowUnix)
        return TokenRefusal::Expired;
    if (notBefore > nowUnix)
        return TokenRefusal::NotYetValid;
    if (!hasIssuedAt || claims.expiresAt - claims.issuedAt > policy.maxLifetimeSeconds)
        return TokenRefusal::LifetimeTooLong;
    return revocations.revokes(claims) ? TokenRefusal::Revoked : TokenRefusal::None;
}

} // namespace

TokenVerifier::TokenVerifier(std::shared_ptr<const KeySet> keys, TokenPolicy policy)
    : m_keys(std::move(keys)), m_policy(policy)
{}

TokenVerdict TokenVerifier::verify(std::string_view token, std::int64_t nowUnix,
                                   const LegacyIdentity* claimed) const
{
    if (token.empty())
        return {TokenRefusal::Missing, {}};
    if (token.size() > kMaxTokenBytes)
        return {TokenRefusal::Malformed, {}};
    if (looksLegacy(token))
        return verifyLegacy(token, nowUnix, claimed);
    std::string algorithm, keyId;
    if (!readHeader(token, algorithm, keyId))
        return {TokenRefusal::Malformed, {}};
    if (algorithm == "none")
        return {TokenRefusal::BadAlgorithm, {}};
    const KeySet::Key* key = m_keys->find(keyId);
    if (!key)
        return {TokenRefusal::UnknownKey, {}};
    // The key names the algorithm, never the token: an HS256 token "signed" with a public key is refused.
    if (algorithm != key->algorithm)
        return {TokenRefusal::BadAlgorithm, {}};
    json payload;
    if (const TokenRefusal refusal = checkSignature(std::string(token), *key, payload);
        refusal != TokenRefusal::None)
        return {refusal, {}};
    TokenVerdict verdict;
    verdict.claims.keyId = keyId;
    verdict.claims.keyFingerprint = key->fingerprint;
    verdict.refusal = checkClaims(payload, nowUnix, m_policy, m_revocations, verdict.claims);
    return verdict;
}

TokenVerdict TokenVerifier::verifyLegacy(std::string_view token, std::int64_t nowUnix,
                                         const LegacyIdentity* claimed) const
{
    if (!m_policy.acceptLegacy || !claimed)
        return {TokenRefusal::Legacy, {}};
    const KeySet::Key* key = m_keys->find("");
    if (!key)
        return {TokenRefusal::UnknownKey, {}};
    const TokenClaims identity{claimed->uid, claimed->imid, claimed->role, claimed->channelId};
    const TokenCheck check = TokenAuth(key->material).check(std::string(token), identity, nowUnix);
    TokenVerdict verdict{legacyRefusal(check), {}};
    AccessClaims& claims = verdict.claims;
    claims.uid = claimed->uid;
    claims.imid = claimed->imid;
    claims.role = claimed->role;
    claims.channelId = claimed->channelId;
    claims.scopes = ScopeSet::forRole(claimed->role);
    claims.expiresAt = std::stoll(std::string(token.substr(0, token.find('.'))));
    claims.keyFingerprint = key->fingerprint;
    claims.legacy = true;
    if (verdict.accepted() && m_revocations.revokes(claims))
        verdict.refusal = TokenRefusal::Revoked;
    return verdict;
}

TokenRefusal TokenVerifier::stillHonoured(const AccessClaims& claims) const
{
    const KeySet::Key* key = m_keys->find(claims.keyId);
    if (!key || key->fingerprint != claims.keyFingerprint)
        return TokenRefusal::UnknownKey;
    return m_revocations.revokes(claims) ? TokenRefusal::Revoked : TokenRefusal::None;
}

} // namespace quorix::service
