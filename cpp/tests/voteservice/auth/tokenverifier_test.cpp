#include "base64url.h"
#include "keyset.h"
#include "pythonjwt.h"
#include "tokenauth.h"
#include "tokensigner.h"
#include "tokenverifier.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <functional>

namespace quorix::service {
namespace {

using nlohmann::json;

constexpr std::int64_t kNow = 1800000000;
const std::string kSecret = "0123456789abcdef-the-secret";
constexpr std::uint32_t kRevokedUid = 66;

json fullClaims()
{
    return {{"sub", "1001"},
            {"imid", 5001},
            {"role", 255},
            {"channel", 77},
            {"scope", "events vote manage"},
            {"iat", kNow - 60},
            {"exp", kNow + 600}};
}

json withClaim(const std::string& name, json value)
{
    json claims = fullClaims();
    claims[name] = std::move(value);
    return claims;
}

json withClaims(const json& changes)
{
    json claims = fullClaims();
    claims.merge_patch(changes);
    return claims;
}

json withoutClaim(const std::string& name)
{
    json claims = fullClaims();
    claims.erase(name);
    return claims;
}

json hs256(json claims, json headers = json::object(), const std::string& secret = kSecret)
{
    return {
        {"alg", "HS256"}, {"key", secret}, {"headers", std::move(headers)}, {"claims", std::move(claims)}};
}

// A compact JWS signed HS256 by hand: headers Python's jwt would not write (an HS256 token with an
// ES256 key's kid, `crit`).
std::string handSigned(const json& header, const json& claims, const std::string& key)
{
    const std::string input = base64UrlEncode(header.dump()) + "." + base64UrlEncode(claims.dump());
    unsigned char mac[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    HMAC(EVP_sha256(), key.data(), static_cast<int>(key.size()),
         reinterpret_cast<const unsigned char*>(input.data()), input.size(), mac, &size);
    return input + "." + base64UrlEncode(std::string(reinterpret_cast<char*>(mac), size));
}

// Claims for TokenSigner: a manager of channel 77 (uid 1001) or what the caller changes after.
AccessClaims signedClaims(std::int64_t issuedAt, std::int64_t expiresAt)
{
    AccessClaims claims;
    claims.uid = 1001;
    claims.imid = 5001;
    claims.role = 255;
    claims.channelId = 77;
    claims.scopes = ScopeSet::all();
    claims.issuedAt = issuedAt;
    claims.expiresAt = expiresAt;
    return claims;
}

std::string flipLastSignatureCharacter(std::string token)
{
    token.back() = token.back() == 'A' ? 'Q' : 'A';
    return token;
}

std::string replacePayload(const std::string& token, const json& claims)
{
    const std::size_t first = token.find('.'), second = token.rfind('.');
    return token.substr(0, first + 1) + base64UrlEncode(claims.dump()) + token.substr(second);
}

struct Row
{
    const char* name;
    std::function<std::string(const std::vector<std::string>& minted)> token; // minted: Python's tokens
    TokenRefusal expected;
};

class TokenVerifierTest : public ::testing::Test
{
protected:
    // Requests to Python's jwt; a row's token is minted[index].
    static std::vector<json> pythonRequests()
    {
        return {
            hs256(fullClaims()),                                                         // 0
            hs256(withClaim("sub_channel", 3)),                                          // 1
            hs256(withClaim("jti", std::string(64, 'j'))),                               // 2
            hs256(withClaim("nbf", kNow)),                                               // 3
            hs256(withoutClaim("exp")),                                                  // 4
            hs256(withClaim("exp", kNow)),                                               // 5
            hs256(withClaim("nbf", kNow + 1)),                                           // 6
            hs256(withClaim("exp", kNow - 60 + 86401)),                                  // 7
            hs256(withoutClaim("iat")),                                                  // 8
            {{"alg", "none"}, {"key", nullptr}, {"claims", fullClaims()}},               // 9
            hs256(fullClaims(), {{"kid", "nobody"}}),                                    // 10
            hs256(fullClaims(), json::object(), "another secret, as long as the first"), // 11
            hs256(withClaim("sub", 1001)),                                               // 12
            hs256(withClaim("sub", "01001")),                                            // 13
            hs256(withClaim("sub", "4294967296")),                                       // 14
            hs256(withClaim("scope", "events admin")),                                   // 15
            hs256(withoutClaim("scope")),                                                // 16
            hs256(withClaim("jti", std::string(65, 'j'))),                               // 17
            hs256(withClaim("imid", -1)),                                                // 18
            hs256(withClaim("channel", "77")),                                           // 19
            hs256(withClaim("exp", "soon")),                                             // 20
            {{"alg", "HS384"}, {"key", kSecret}, {"claims", fullClaims()}},              // 21
            hs256(withClaim("sub", std::to_string(kRevokedUid))),                        // 22
            hs256(withClaims({{"sub", std::to_string(kRevokedUid)}, {"iat", kNow}})),    // 23
            hs256(withClaim("exp", kNow + 600.5)),                                       // 24
            hs256(withoutClaim("role")),                                                 // 25
        };
    }

    static void SetUpTestSuite()
    {
        std::string whyNot;
        s_minted = test::PythonJwt::run(pythonRequests(), whyNot);
        s_whyNot = whyNot;
    }

    void SetUp() override { ASSERT_FALSE(s_minted.empty()) << s_whyNot; }

    static TokenVerifier verifier(TokenPolicy policy = {})
    {
        TokenVerifier verifier(KeySet::fromSecret(kSecret), policy);
        verifier.replaceRevocations(RevocationList({{77, kRevokedUid, kNow, kNow + 2592000}}));
        return verifier;
    }

    static inline std::vector<std::string> s_minted;
    static inline std::string s_whyNot;
};

std::function<std::string(const std::vector<std::string>&)> minted(std::size_t index)
{
    return [index](const std::vector<std::string>& tokens) { return tokens.at(index); };
}

std::function<std::string(const std::vector<std::string>&)> fixed(std::string token)
{
    return [token](const std::vector<std::string>&) { return token; };
}

TEST_F(TokenVerifierTest, AcceptsOrRefusesEachTokenForItsReason)
{
    const std::string legacy = TokenAuth(kSecret).issue({1001, 5001, 255, 77}, kNow + 600);
    const Row rows[] = {
        {"Python HS256, every claim", minted(0), TokenRefusal::None},
        {"with sub_channel", minted(1), TokenRefusal::None},
        {"jti of 64 bytes", minted(2), TokenRefusal::None},
        {"nbf now", minted(3), TokenRefusal::None},
        {"exp with a fraction", minted(24), TokenRefusal::None},
        {"signed by TokenSigner", fixed(TokenSigner::withSecret(kSecret).sign(signedClaims(kNow, kNow + 60))),
         TokenRefusal::None},
        {"empty", fixed(""), TokenRefusal::Missing},
        {"one part", fixed("abc"), TokenRefusal::Malformed},
        {"three parts of no JSON", fixed("a.b.c"), TokenRefusal::Malformed},
        {"four parts", [](auto& t) { return t[0] + ".e30"; }, TokenRefusal::Malformed},
        {"header not base64url", [](auto& t) { return "!" + t[0]; }, TokenRefusal::Malformed},
        {"crit header", fixed(handSigned({{"alg", "HS256"}, {"crit", {"exp"}}}, fullClaims(), kSecret)),
         TokenRefusal::Malformed},
        {"empty kid", fixed(handSigned({{"alg", "HS256"}, {"kid", ""}}, fullClaims(), kSecret)),
         TokenRefusal::Malformed},
        {"sub a number", minted(12), TokenRefusal::Malformed},
        {"sub with a leading zero", minted(13), TokenRefusal::Malformed},
        {"sub over 32 bits", minted(14), TokenRefusal::Malformed},
        {"unknown scope word", minted(15), TokenRefusal::Malformed},
        {"no scope", minted(16), TokenRefusal::Malformed},
        {"no role", minted(25), TokenRefusal::Malformed},
        {"jti of 65 bytes", minted(17), TokenRefusal::Malformed},
        {"negative imid", minted(18), TokenRefusal::Malformed},
        {"channel a string", minted(19), TokenRefusal::Malformed},
        {"exp a string", minted(20), TokenRefusal::Malformed},
        {"alg none", minted(9), TokenRefusal::BadAlgorithm},
        {"alg none by hand",
         [](auto& t) { return base64UrlEncode(R"({"alg":"none"})") + t[0].substr(t[0].find('.')); },
         TokenRefusal::BadAlgorithm},
        {"HS384 for the HS256 key", minted(21), TokenRefusal::BadAlgorithm},
        {"unknown kid", minted(10), TokenRefusal::UnknownKey},
        {"another secret", minted(11), TokenRefusal::BadSignature},
        {"signature altered", [](auto& t) { return flipLastSignatureCharacter(t[0]); },
         TokenRefusal::BadSignature},
        {"payload altered", [](auto& t) { return replacePayload(t[0], withClaim("role", 0)); },
         TokenRefusal::BadSignature},
        {"no exp", minted(4), TokenRefusal::NoExpiry},
        {"exp now", minted(5), TokenRefusal::Expired},
        {"nbf in a second", minted(6), TokenRefusal::NotYetValid},
        {"lifetime one second over", minted(7), TokenRefusal::LifetimeTooLong},
        {"no iat", minted(8), TokenRefusal::LifetimeTooLong},
        {"issued before its user's revocation", minted(22), TokenRefusal::Revoked},
        {"issued after its user's revocation", minted(23), TokenRefusal::None},
        {"legacy token where not accepted", fixed(legacy), TokenRefusal::Legacy},
    };
    const TokenVerifier check = verifier();
    for (const Row& row : rows) {
        const TokenVerdict verdict = check.verify(row.token(s_minted), kNow);
        EXPECT_EQ(reasonWord(verdict.refusal), std::string(reasonWord(row.expected))) << row.name;
    }
}

TEST_F(TokenVerifierTest, AcceptedTokenGivesItsClaims)
{
    const TokenVerdict verdict = verifier().verify(s_minted.at(1), kNow);
    ASSERT_TRUE(verdict.accepted());
    const AccessClaims& claims = verdict.claims;
    EXPECT_EQ(claims.uid, 1001u);
    EXPECT_EQ(claims.imid, 5001u);
    EXPECT_EQ(claims.role, 255u);
    EXPECT_EQ(claims.channelId, 77u);
    EXPECT_EQ(claims.subChannelId, std::optional<std::uint32_t>(3));
    EXPECT_EQ(claims.scopes, ScopeSet::forRole(255));
    EXPECT_EQ(claims.issuedAt, kNow - 60);
    EXPECT_EQ(claims.expiresAt, kNow + 600);
    EXPECT_EQ(claims.keyId, "");
    EXPECT_EQ(claims.keyFingerprint, KeySet::fromSecret(kSecret)->find("")->fingerprint);
    EXPECT_FALSE(claims.legacy);
    EXPECT_EQ(verifier().verify(s_minted.at(2), kNow).claims.tokenId, std::string(64, 'j'));
}

TEST_F(TokenVerifierTest, LegacyTokensOnlyWhenAcceptedAndForTheClaimedIdentity)
{
    const LegacyIdentity identity{1001, 5001, 255, 77};
    const LegacyIdentity other{1001, 5001, 0, 77};
    const LegacyIdentity revoked{kRevokedUid, 5001, 255, 77};
    const std::string token = TokenAuth(kSecret).issue({1001, 5001, 255, 77}, kNow + 600);
    const TokenVerifier accepting = verifier({86400, true});
    const struct
    {
        const char* name;
        const TokenVerifier& verifier;
        std::string token;
        const LegacyIdentity* claimed;
        TokenRefusal expected;
    } rows[] = {
        {"accepted", accepting, token, &identity, TokenRefusal::None},
        {"not accepted", verifier(), token, &identity, TokenRefusal::Legacy},
        {"accepted but no identity stated", accepting, token, nullptr, TokenRefusal::Legacy},
        {"another role", accepting, token, &other, TokenRefusal::WrongClaims},
        {"expired", accepting, TokenAuth(kSecret).issue({1001, 5001, 255, 77}, kNow - 1), &identity,
         TokenRefusal::Expired},
        {"its user revoked", accepting, TokenAuth(kSecret).issue({kRevokedUid, 5001, 255, 77}, kNow + 9),
         &revoked, TokenRefusal::Revoked},
    };
    for (const auto& row : rows)
        EXPECT_EQ(reasonWord(row.verifier.verify(row.token, kNow, row.claimed).refusal),
                  std::string(reasonWord(row.expected)))
            << row.name;
    const TokenVerdict verdict = accepting.verify(token, kNow, &identity);
    EXPECT_TRUE(verdict.claims.legacy);
    EXPECT_EQ(verdict.claims.scopes, ScopeSet::forRole(255));
    EXPECT_EQ(verdict.claims.expiresAt, kNow + 600);
    EXPECT_EQ(TokenVerifier(KeySet::fromSecret("other secret, long enough"), {86400, true})
                  .stillHonoured(verdict.claims),
              TokenRefusal::UnknownKey);
}

TEST_F(TokenVerifierTest, StillHonouredWhileItsKeyStaysAndItsUserIsNotRevoked)
{
    const AccessClaims claims = verifier().verify(s_minted.at(0), kNow).claims;
    const struct
    {
        const char* name;
        std::shared_ptr<const KeySet> keys;
        std::vector<Revocation> revocations;
        TokenRefusal expected;
    } rows[] = {
        {"same key", KeySet::fromSecret(kSecret), {}, TokenRefusal::None},
        {"another user revoked",
         KeySet::fromSecret(kSecret),
         {{77, 1002, kNow + 5, kNow + 99}},
         TokenRefusal::None},
        {"revoked before its iat",
         KeySet::fromSecret(kSecret),
         {{77, 1001, kNow - 60, kNow + 99}},
         TokenRefusal::None},
        {"secret replaced", KeySet::fromSecret(kSecret + "2"), {}, TokenRefusal::UnknownKey},
        {"revoked after its iat",
         KeySet::fromSecret(kSecret),
         {{77, 1001, kNow - 59, kNow + 99}},
         TokenRefusal::Revoked},
    };
    for (const auto& row : rows) {
        TokenVerifier reloaded(KeySet::fromSecret(kSecret), {});
        reloaded.replaceKeys(row.keys);
        reloaded.replaceRevocations(RevocationList(row.revocations));
        EXPECT_EQ(reasonWord(reloaded.stillHonoured(claims)), std::string(reasonWord(row.expected)))
            << row.name;
    }
}

TEST_F(TokenVerifierTest, SignedTokensVerifyInPython)
{
    AccessClaims claims = signedClaims(kNow, kNow + 60);
    claims.uid = 4242;
    claims.imid = 7;
    claims.role = 0;
    claims.channelId = 9;
    claims.subChannelId = 2;
    claims.scopes = AccessScope::Events;
    claims.tokenId = "id-1";
    std::string whyNot;
    const auto answers = test::PythonJwt::run(
        {{{"alg", "HS256"}, {"key", kSecret}, {"verify", TokenSigner::withSecret(kSecret).sign(claims)}}},
        whyNot);
    ASSERT_EQ(answers.size(), 1u) << whyNot;
    ASSERT_EQ(answers[0].find("refused"), std::string::npos) << answers[0];
    EXPECT_EQ(json::parse(answers[0]), json({{"sub", "4242"},
                                             {"imid", 7},
                                             {"role", 0},
                                             {"channel", 9},
                                             {"sub_channel", 2},
                                             {"scope", "events"},
                                             {"iat", kNow},
                                             {"exp", kNow + 60},
                                             {"jti", "id-1"}}));
}

} // namespace
} // namespace quorix::service
