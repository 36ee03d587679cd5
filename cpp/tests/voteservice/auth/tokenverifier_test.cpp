#include "voteservice/auth/base64url.h"
#include "voteservice/auth/ecp256key.h"
#include "voteservice/auth/keyset.h"
#include "tests/support/pythonjwt.h"
#include "voteservice/auth/tokenauth.h"
#include "voteservice/auth/tokensigner.h"
#include "voteservice/auth/tokenverifier.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <fstream>
#include <functional>
#include <map>

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

json es256(const EcP256Key& key, json claims, json headers = {{"kid", "k1"}})
{
    return {{"alg", "ES256"},
            {"key", key.privatePem()},
            {"headers", std::move(headers)},
            {"claims", std::move(claims)}};
}

using Minted = std::map<std::string, std::string>;

struct Row
{
    const char* name;
    std::function<std::string(const Minted& minted)> token; // minted: Python's tokens by name
    TokenRefusal expected;
};

std::string writeFile(const std::string& name, const std::string& contents)
{
    const std::string path = ::testing::TempDir() + "/tokenverifier-" + name;
    std::ofstream(path, std::ios::binary) << contents;
    return path;
}

// The keys every row is checked against: the secret file's, and a JWK Set with an ES256 key "k1",
// an HS256 key "oct1" and the ES256 key of the signer's private key file under its thumbprint.
class TokenVerifierTest : public ::testing::Test
{
protected:
    static std::vector<std::pair<std::string, json>> pythonRequests()
    {
        const std::string revoked = std::to_string(kRevokedUid);
        return {
            {"full", hs256(fullClaims())},
            {"sub_channel", hs256(withClaim("sub_channel", 3))},
            {"jti 64", hs256(withClaim("jti", std::string(64, 'j')))},
            {"nbf now", hs256(withClaim("nbf", kNow))},
            {"no exp", hs256(withoutClaim("exp"))},
            {"exp now", hs256(withClaim("exp", kNow))},
            {"nbf later", hs256(withClaim("nbf", kNow + 1))},
            {"lifetime over", hs256(withClaim("exp", kNow - 60 + 86401))},
            {"no iat", hs256(withoutClaim("iat"))},
            {"alg none", {{"alg", "none"}, {"key", nullptr}, {"claims", fullClaims()}}},
            {"unknown kid", hs256(fullClaims(), {{"kid", "nobody"}})},
            {"other secret", hs256(fullClaims(), json::object(), "another secret, as long as the first")},
            {"sub number", hs256(withClaim("sub", 1001))},
            {"sub leading zero", hs256(withClaim("sub", "01001"))},
            {"sub over 32 bits", hs256(withClaim("sub", "4294967296"))},
            {"unknown scope", hs256(withClaim("scope", "events admin"))},
            {"no scope", hs256(withoutClaim("scope"))},
            {"jti 65", hs256(withClaim("jti", std::string(65, 'j')))},
            {"negative imid", hs256(withClaim("imid", -1))},
            {"channel string", hs256(withClaim("channel", "77"))},
            {"exp string", hs256(withClaim("exp", "soon"))},
            {"HS384", {{"alg", "HS384"}, {"key", kSecret}, {"claims", fullClaims()}}},
            {"revoked", hs256(withClaim("sub", revoked))},
            {"after revocation", hs256(withClaims({{"sub", revoked}, {"iat", kNow}}))},
            {"exp fraction", hs256(withClaim("exp", kNow + 600.5))},
            {"no role", hs256(withoutClaim("role"))},
            {"ES256", es256(*s_k1, fullClaims())},
            {"ES256 other key", es256(*s_stranger, fullClaims())},
            {"ES256 no kid", es256(*s_k1, fullClaims(), json::object())},
            {"ES256 unknown kid", es256(*s_k1, fullClaims(), {{"kid", "k2"}})},
            {"ES256 expired", es256(*s_k1, withClaim("exp", kNow - 1))},
            {"ES256 revoked", es256(*s_k1, withClaim("sub", revoked))},
            {"oct1", hs256(fullClaims(), {{"kid", "oct1"}}, kOctSecret)},
            {"oct1 secret's key", hs256(fullClaims(), {{"kid", "oct1"}})},
        };
    }

    static void SetUpTestSuite()
    {
        s_k1 = EcP256Key::generate();
        s_stranger = EcP256Key::generate();
        const auto signing = EcP256Key::generate();
        ASSERT_TRUE(s_k1 && s_stranger && signing);
        s_signingKeyFile = writeFile("signing.pem", signing->privatePem());
        const json set = {{"keys",
                           {s_k1->publicJwk("k1"),
                            signing->publicJwk(signing->thumbprint()),
                            {{"kty", "oct"}, {"kid", "oct1"}, {"k", base64UrlEncode(kOctSecret)}}}}};
        std::string error;
        ASSERT_TRUE(KeySet::load(writeFile("secret", kSecret + "\n"), writeFile("keys.json", set.dump()),
                                 s_keys, error))
            << error;
        std::vector<json> requests;
        for (const auto& [name, request] : pythonRequests())
            requests.push_back(request);
        const auto tokens = test::PythonJwt::run(requests, s_whyNot);
        for (std::size_t i = 0; i < tokens.size(); ++i)
            s_minted[pythonRequests()[i].first] = tokens[i];
    }

    void SetUp() override { ASSERT_FALSE(s_minted.empty()) << s_whyNot; }

    static TokenVerifier verifier(TokenPolicy policy = {})
    {
        TokenVerifier verifier(s_keys, policy);
        verifier.replaceRevocations(RevocationList({{77, kRevokedUid, kNow, kNow + 2592000}}));
        return verifier;
    }

    static TokenSigner signer()
    {
        std::string error;
        auto signer = TokenSigner::withPrivateKeyFile(s_signingKeyFile, error);
        EXPECT_TRUE(signer) << error;
        return signer ? *signer : TokenSigner::withSecret("");
    }

    static inline const std::string kOctSecret = "an HS256 key of the JWK Set";
    static inline std::optional<EcP256Key> s_k1, s_stranger;
    static inline std::string s_signingKeyFile;
    static inline std::shared_ptr<const KeySet> s_keys;
    static inline Minted s_minted;
    static inline std::string s_whyNot;
};

std::function<std::string(const Minted&)> minted(const char* name)
{
    return [name](const Minted& tokens) { return tokens.at(name); };
}

std::function<std::string(const Minted&)> fixed(std::string token)
{
    return [token](const Minted&) { return token; };
}

TEST_F(TokenVerifierTest, AcceptsOrRefusesEachTokenForItsReason)
{
    const std::string legacy = TokenAuth(kSecret).issue({1001, 5001, 255, 77}, kNow + 600);
    const Row rows[] = {
        {"Python HS256, every claim", minted("full"), TokenRefusal::None},
        {"with sub_channel", minted("sub_channel"), TokenRefusal::None},
        {"jti of 64 bytes", minted("jti 64"), TokenRefusal::None},
        {"nbf now", minted("nbf now"), TokenRefusal::None},
        {"exp with a fraction", minted("exp fraction"), TokenRefusal::None},
        {"signed by TokenSigner", fixed(TokenSigner::withSecret(kSecret).sign(signedClaims(kNow, kNow + 60))),
         TokenRefusal::None},
        {"empty", fixed(""), TokenRefusal::Missing},
        {"one part", fixed("abc"), TokenRefusal::Malformed},
        {"three parts of no JSON", fixed("a.b.c"), TokenRefusal::Malformed},
        {"four parts", [](auto& t) { return t.at("full") + ".e30"; }, TokenRefusal::Malformed},
        {"header not base64url", [](auto& t) { return "!" + t.at("full"); }, TokenRefusal::Malformed},
        {"crit header", fixed(handSigned({{"alg", "HS256"}, {"crit", {"exp"}}}, fullClaims(), kSecret)),
         TokenRefusal::Malformed},
        {"empty kid", fixed(handSigned({{"alg", "HS256"}, {"kid", ""}}, fullClaims(), kSecret)),
         TokenRefusal::Malformed},
        {"sub a number", minted("sub number"), TokenRefusal::Malformed},
        {"sub with a leading zero", minted("sub leading zero"), TokenRefusal::Malformed},
        {"sub over 32 bits", minted("sub over 32 bits"), TokenRefusal::Malformed},
        {"unknown scope word", minted("unknown scope"), TokenRefusal::Malformed},
        {"no scope", minted("no scope"), TokenRefusal::Malformed},
        {"no role", minted("no role"), TokenRefusal::Malformed},
        {"jti of 65 bytes", minted("jti 65"), TokenRefusal::Malformed},
        {"negative imid", minted("negative imid"), TokenRefusal::Malformed},
        {"channel a string", minted("channel string"), TokenRefusal::Malformed},
        {"exp a string", minted("exp string"), TokenRefusal::Malformed},
        {"alg none", minted("alg none"), TokenRefusal::BadAlgorithm},
        {"alg none by hand",
         [](auto& t) {
             return base64UrlEncode(R"({"alg":"none"})") + t.at("full").substr(t.at("full").find('.'));
         },
         TokenRefusal::BadAlgorithm},
        {"HS384 for the HS256 key", minted("HS384"), TokenRefusal::BadAlgorithm},
        {"unknown kid", minted("unknown kid"), TokenRefusal::UnknownKey},
        {"another secret", minted("other secret"), TokenRefusal::BadSignature},
        {"signature altered", [](auto& t) { return flipLastSignatureCharacter(t.at("full")); },
         TokenRefusal::BadSignature},
        {"payload altered", [](auto& t) { return replacePayload(t.at("full"), withClaim("role", 0)); },
         TokenRefusal::BadSignature},
        {"no exp", minted("no exp"), TokenRefusal::NoExpiry},
        {"exp now", minted("exp now"), TokenRefusal::Expired},
        {"nbf in a second", minted("nbf later"), TokenRefusal::NotYetValid},
        {"lifetime one second over", minted("lifetime over"), TokenRefusal::LifetimeTooLong},
        {"no iat", minted("no iat"), TokenRefusal::LifetimeTooLong},
        {"issued before its user's revocation", minted("revoked"), TokenRefusal::Revoked},
        {"issued after its user's revocation", minted("after revocation"), TokenRefusal::None},
        {"legacy token where not accepted", fixed(legacy), TokenRefusal::Legacy},
        {"Python ES256 with kid k1", minted("ES256"), TokenRefusal::None},
        {"ES256 signed by another key", minted("ES256 other key"), TokenRefusal::BadSignature},
        {"ES256 without kid: the secret's key is HS256", minted("ES256 no kid"), TokenRefusal::BadAlgorithm},
        {"ES256 with an unknown kid", minted("ES256 unknown kid"), TokenRefusal::UnknownKey},
        {"ES256 expired", minted("ES256 expired"), TokenRefusal::Expired},
        {"ES256 of a revoked user", minted("ES256 revoked"), TokenRefusal::Revoked},
        {"HS256 with the public key of k1 as its secret",
         fixed(handSigned({{"alg", "HS256"}, {"kid", "k1"}}, fullClaims(), s_keys->find("k1")->material)),
         TokenRefusal::BadAlgorithm},
        {"Python HS256 with the JWK Set's oct key", minted("oct1"), TokenRefusal::None},
        {"oct key's kid, signed with the secret", minted("oct1 secret's key"), TokenRefusal::BadSignature},
        {"signed by the private key file", fixed(signer().sign(signedClaims(kNow, kNow + 60))),
         TokenRefusal::None},
    };
    const TokenVerifier check = verifier();
    for (const Row& row : rows) {
        const TokenVerdict verdict = check.verify(row.token(s_minted), kNow);
        EXPECT_EQ(reasonWord(verdict.refusal), std::string(reasonWord(row.expected))) << row.name;
    }
}

TEST_F(TokenVerifierTest, AcceptedTokenGivesItsClaims)
{
    const TokenVerdict verdict = verifier().verify(s_minted.at("sub_channel"), kNow);
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
    EXPECT_EQ(verifier().verify(s_minted.at("ES256"), kNow).claims.keyId, "k1");
    EXPECT_FALSE(claims.legacy);
    EXPECT_EQ(verifier().verify(s_minted.at("jti 64"), kNow).claims.tokenId, std::string(64, 'j'));
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
    const AccessClaims claims = verifier().verify(s_minted.at("full"), kNow).claims;
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
