// The token commands of quorix-voted run as an operator runs them: keygen's files verify the
// tokens `token --signing-key` prints (here and in Python's jwt), and revoke stores a revocation
// beside a service that is running on the same data folder or Redis.

#include "voteservice/auth/keyset.h"
#include "tests/support/pythonjwt.h"
#include "voteservice/redis/redisconnection.h"
#include "voteservice/redis/redisrevocationstore.h"
#include "tests/support/redistestserver.h"
#include "voteservice/sqlite/sqliterevocationstore.h"
#include "voteservice/auth/tokenverifier.h"
#include "tests/support/votedprocess.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>

namespace quorix::service::test {
namespace {

struct Ran
{
    int status = -1;
    std::string out; // standard output, then standard error
};

Ran runVoted(const std::string& args)
{
    Ran ran;
    FILE* pipe = ::popen((std::string(QUORIX_VOTED_PATH) + " " + args + " 2>&1").c_str(), "r");
    if (!pipe)
        return ran;
    for (int c; (c = std::fgetc(pipe)) != EOF;)
        ran.out.push_back(static_cast<char>(c));
    const int status = ::pclose(pipe);
    ran.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return ran;
}

std::string lineOf(const std::string& out)
{
    return out.substr(0, out.find('\n'));
}

class TokenCommandsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::filesystem::remove_all(m_folder);
        std::filesystem::create_directories(m_folder);
    }
    void TearDown() override { std::filesystem::remove_all(m_folder); }

    std::string path(const std::string& name) const { return m_folder + "/" + name; }

    const std::string m_folder = ::testing::TempDir() + "/tokencommands-" +
                                 ::testing::UnitTest::GetInstance()->current_test_info()->name();
};

TEST_F(TokenCommandsTest, KeygenWritesKeysWhoseTokensVerify)
{
    const Ran first =
        runVoted("keygen --out-private " + path("old.pem") + " --out-jwks " + path("keys.json"));
    ASSERT_EQ(first.status, 0) << first.out;
    const Ran second =
        runVoted("keygen --out-private " + path("new.pem") + " --out-jwks " + path("keys.json"));
    ASSERT_EQ(second.status, 0) << second.out;
    EXPECT_NE(second.out.find("public key added to " + path("keys.json") + " (2 keys)"), std::string::npos)
        << second.out;
    const Ran again =
        runVoted("keygen --out-private " + path("new.pem") + " --out-jwks " + path("keys.json"));
    EXPECT_EQ(again.status, 1);
    EXPECT_EQ(again.out, "quorix-voted: " + path("new.pem") +
                             " already exists: keygen does not write over a private key\n");

    std::shared_ptr<const KeySet> keys;
    std::string error;
    ASSERT_TRUE(KeySet::load("", path("keys.json"), keys, error)) << error;
    const TokenVerifier verifier(keys, {});
    const std::int64_t now = std::time(nullptr);
    for (const char* key : {"old.pem", "new.pem"}) {
        const Ran token = runVoted("token --signing-key " + path(key) +
                                   " --uid 7 --imid 8 --role 0 --channel 9 --scope events --ttl 600");
        ASSERT_EQ(token.status, 0) << token.out;
        const TokenVerdict verdict = verifier.verify(lineOf(token.out), now);
        ASSERT_TRUE(verdict.accepted()) << key << ": " << reasonWord(verdict.refusal);
        EXPECT_EQ(verdict.claims.scopes.words(), "events");
        EXPECT_EQ(verdict.claims.expiresAt - verdict.claims.issuedAt, 600);

        std::string whyNot;
        const auto checked = PythonJwt::run({{{"alg", "ES256"},
                                              {"key", keys->find(verdict.claims.keyId)->material},
                                              {"verify", lineOf(token.out)}}},
                                            whyNot);
        ASSERT_EQ(checked.size(), 1u) << whyNot;
        EXPECT_NE(checked[0].find("\"sub\": \"7\""), std::string::npos) << checked[0];
    }
}

TEST_F(TokenCommandsTest, RevokeStoresBesideARunningServiceOnItsDataFolder)
{
    VotedProcess voted(QUORIX_VOTED_PATH, {"--listen", "127.0.0.1:0", "--data", path("data")});
    ASSERT_NE(voted.waitForPort(), 0);
    const Ran revoked = runVoted("revoke --uid 7 --channel 9 --before 1800000000 --data " + path("data"));
    ASSERT_EQ(revoked.status, 0) << revoked.out;
    EXPECT_EQ(revoked.out,
              "revoked the tokens of uid 7 in channel 9 issued before 1800000000 (2027-01-15 08:00:00 "
              "UTC) in the data folder " +
                  path("data") + "; kept until 1802592000 (2027-02-14 08:00:00 UTC)\n");
    EXPECT_EQ(voted.exitStatusWithin(0), -1) << "the service still runs";

    std::string error;
    const auto store = SqliteRevocationStore::open(path("data") + "/votes.db", error);
    ASSERT_TRUE(store) << error;
    EXPECT_EQ(store->current(1800000000), std::vector<Revocation>({{9, 7, 1800000000, 1802592000}}));
    EXPECT_EQ(voted.terminate(), 0);

    const Ran missing = runVoted("revoke --uid 7 --channel 9 --data " + path("nowhere"));
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.out, "quorix-voted: the data folder " + path("nowhere") + " does not exist\n");
}

TEST_F(TokenCommandsTest, RevokeStoresInTheRedisOfTheServices)
{
    if (!RedisTestServer::installed())
        GTEST_SKIP() << "redis-server is not installed (scripts/setup installs it)";
    RedisTestServer redis;
    std::string error;
    ASSERT_TRUE(redis.start(&error)) << error;
    const Ran revoked = runVoted("revoke --uid 7 --channel 9 --before 1800000000 --redis " + redis.address());
    ASSERT_EQ(revoked.status, 0) << revoked.out;
    EXPECT_NE(revoked.out.find("in Redis " + redis.address() + ";"), std::string::npos) << revoked.out;
    RedisConnection connection(redis.redisAddress());
    ASSERT_TRUE(connection.connect(error)) << error;
    EXPECT_EQ(RedisRevocationStore(connection).current(1800000000),
              std::vector<Revocation>({{9, 7, 1800000000, 1802592000}}));
    redis.stop();
    const Ran unreachable = runVoted("revoke --uid 7 --channel 9 --redis " + redis.address());
    EXPECT_EQ(unreachable.status, 1) << unreachable.out;
}

} // namespace
} // namespace quorix::service::test
