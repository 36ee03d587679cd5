#include "voteservice/auth/ecp256key.h"
#include "voteservice/auth/keypairfiles.h"
#include "voteservice/auth/keyset.h"
#include "voteservice/auth/tokensigner.h"
#include "voteservice/auth/tokenverifier.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace quorix::service {
namespace {

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class KeyPairFilesTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::filesystem::remove_all(m_folder);
        std::filesystem::create_directories(m_folder);
    }
    void TearDown() override { std::filesystem::remove_all(m_folder); }

    std::string path(const std::string& name) const { return m_folder + "/" + name; }

    const std::string m_folder = ::testing::TempDir() + "/keypairfiles-" +
                                 ::testing::UnitTest::GetInstance()->current_test_info()->name();
};

TEST_F(KeyPairFilesTest, ANewKeyJoinsTheSetAndSignsTokensItVerifies)
{
    KeyPairFiles::Written first, second;
    std::string error;
    ASSERT_TRUE(KeyPairFiles::write(path("a.pem"), path("keys.json"), first, error)) << error;
    ASSERT_TRUE(KeyPairFiles::write(path("b.pem"), path("keys.json"), second, error)) << error;
    EXPECT_EQ(first.keysInSet, 1u);
    EXPECT_EQ(second.keysInSet, 2u);
    EXPECT_NE(first.keyId, second.keyId);

    struct stat info = {};
    ASSERT_EQ(::stat(path("a.pem").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    ASSERT_EQ(::stat(path("keys.json").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0644u);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(m_folder), {}), 3)
        << "no temporary file left";

    std::shared_ptr<const KeySet> keys;
    ASSERT_TRUE(KeySet::load("", path("keys.json"), keys, error)) << error;
    const TokenVerifier verifier(keys, {});
    for (const auto& [file, kid] : {std::pair{"a.pem", first.keyId}, std::pair{"b.pem", second.keyId}}) {
        const auto signer = TokenSigner::withPrivateKeyFile(path(file), error);
        ASSERT_TRUE(signer) << error;
        EXPECT_EQ(signer->keyId(), kid);
        AccessClaims claims;
        claims.scopes = AccessScope::Events;
        claims.issuedAt = 1000;
        claims.expiresAt = 1060;
        const TokenVerdict verdict = verifier.verify(signer->sign(claims), 1001);
        EXPECT_TRUE(verdict.accepted()) << reasonWord(verdict.refusal);
        EXPECT_EQ(verdict.claims.keyId, kid);
    }
}

TEST_F(KeyPairFilesTest, RefusesAndLeavesEverythingAsItWas)
{
    const struct
    {
        const char* name;
        const char* existingPrivate; // written before, or null
        const char* existingSet;     // written before, or null
        std::string jwks;            // where the set goes
        std::string error;           // a part of the message
    } rows[] = {
        {"a private key is not written over", "old key", nullptr, path("keys.json"),
         path("k.pem") + " already exists: keygen does not write over a private key"},
        {"a set that is not one", nullptr, "not json", path("keys.json"),
         "the key set " + path("keys.json") + " is not a JWK Set"},
        {"a set with a bad key", nullptr, R"({"keys":[{"kty":"EC","kid":"x"}]})", path("keys.json"),
         "key 1 (x) is an EC key of a curve other than P-256; it is left as it is"},
        {"a set in a missing folder", nullptr, nullptr, path("missing/keys.json"),
         "cannot write the key set " + path("missing/keys.json") + ": No such file or directory"},
    };
    for (const auto& row : rows) {
        SetUp();
        if (row.existingPrivate)
            std::ofstream(path("k.pem")) << row.existingPrivate;
        if (row.existingSet)
            std::ofstream(row.jwks) << row.existingSet;
        KeyPairFiles::Written written;
        std::string error;
        EXPECT_FALSE(KeyPairFiles::write(path("k.pem"), row.jwks, written, error)) << row.name;
        EXPECT_NE(error.find(row.error), std::string::npos) << row.name << ": " << error;
        EXPECT_EQ(readFile(path("k.pem")), row.existingPrivate ? row.existingPrivate : "") << row.name;
        EXPECT_EQ(std::filesystem::exists(path("k.pem")), row.existingPrivate != nullptr) << row.name;
        if (row.existingSet) {
            EXPECT_EQ(readFile(row.jwks), row.existingSet) << row.name;
        } else {
            EXPECT_FALSE(std::filesystem::exists(row.jwks)) << row.name;
        }
    }
}

} // namespace
} // namespace quorix::service
