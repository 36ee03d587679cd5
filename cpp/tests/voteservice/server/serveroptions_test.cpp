#include "voteservice/auth/ecp256key.h"
#include "voteservice/server/optionchanges.h"
#include "voteservice/server/serveroptions.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <nlohmann/json.hpp>

namespace quorix::service {
namespace {

std::string writeSecretFile(const std::string& name, const std::string& contents)
{
    const std::string path = ::testing::TempDir() + "/serveroptions-" + name;
    std::ofstream(path, std::ios::binary) << contents;
    return path;
}

TEST(ServerOptionsTest, StorageOptionsExcludeEachOther)
{
    const struct
    {
        std::vector<std::string> args;
        const char* error; // null: accepted
    } rows[] = {
        {{"--memory"}, nullptr},
        {{"--data", "d"}, nullptr},
        {{"--redis", "127.0.0.1:6379"}, nullptr},
        {{}, nullptr},
        {{"--memory", "--data", "d"}, "--memory and --data cannot be combined"},
        {{"--data", "d", "--memory"}, "--memory and --data cannot be combined"},
        {{"--redis", "127.0.0.1:6379", "--memory"}, "--redis and --memory cannot be combined"},
        {{"--data", "d", "--redis", "127.0.0.1:6379"}, "--redis and --data cannot be combined"},
        {{"--memory", "--data", "d", "--redis", "127.0.0.1:6379"}, "--memory and --data cannot be combined"},
        {{"--redis-cluster", "127.0.0.1:7000,127.0.0.1:7001"}, nullptr},
        {{"--redis-cluster", "127.0.0.1:7000", "--memory"},
         "--redis-cluster and --memory cannot be combined"},
        {{"--redis", "127.0.0.1:6379", "--redis-cluster", "127.0.0.1:7000"}, "excludes"},
    };
    for (const auto& row : rows) {
        ServerOptions options;
        bool help = false;
        std::string error;
        const bool parsed = ServerOptions::parse(row.args, options, help, error);
        std::string given;
        for (const std::string& arg : row.args)
            given += arg + " ";
        EXPECT_EQ(parsed, row.error == nullptr) << given << error;
        if (row.error) {
            EXPECT_NE(error.find(row.error), std::string::npos) << given << error;
        }
    }
}

// The options' values in one line, to compare a whole parse at once.
std::string summary(const ServerOptions& o)
{
    return o.host + ":" + std::to_string(o.port) + " hz " + std::to_string(o.broadcastHz) + " sessions " +
           std::to_string(o.maxSessions) + "/" + std::to_string(o.maxSessionsPerUser) + " data " + o.dataDir +
           (o.memoryOnly ? " memory" : "") + " redis " + o.redis.host + ":" + std::to_string(o.redis.port);
}

TEST(ServerOptionsTest, EachOptionKeepsItsRangeAndForm)
{
    const std::string defaults = "127.0.0.1:27500 hz 10 sessions 20000/8 data quorix-data redis :0";
    const std::string secretFile = writeSecretFile("range-secret", "sixteen bytes or more");
    const struct
    {
        std::vector<std::string> args;
        std::string expected; // accepted: summary(); refused: the start of the message
        bool accepted;
    } rows[] = {
        {{}, defaults, true},
        {{"--listen", "[::1]:0"}, "::1:0 hz 10 sessions 20000/8 data quorix-data redis :0", true},
        {{"--listen=0.0.0.0:65535", "--insecure-no-auth"},
         "0.0.0.0:65535 hz 10 sessions 20000/8 data quorix-data redis :0",
         true},
        {{"--listen=0.0.0.0:65535"},
         "--listen 0.0.0.0 is not a loopback address and no keys check tokens: give --secret-file FILE or "
         "--keys "
         "FILE (docs/vote-service.md, Tokens and keys), or --insecure-no-auth to trust every peer as it "
         "claims",
         false},
        {{"--listen", "[::]:1"}, "--listen :: is not a loopback address", false},
        {{"--http", "192.0.2.7:0"}, "--http 192.0.2.7 is not a loopback address", false},
        {{"--listen", "[::ffff:127.0.0.9]:1", "--http", "127.255.0.1:0"},
         "::ffff:127.0.0.9:1 hz 10 sessions 20000/8 data quorix-data redis :0",
         true},
        {{"--listen", "0.0.0.0:1", "--secret-file", secretFile},
         "0.0.0.0:1 hz 10 sessions 20000/8 data quorix-data redis :0",
         true},
        {{"--listen", "127.0.0.2:1", "--listen", "127.0.0.3:2"},
         "127.0.0.3:2 hz 10 sessions 20000/8 data quorix-data redis :0",
         true},
        {{"--log-level", "debug"}, "--log-level wants error, warning or info, got debug", false},
        {{"--listen", "host.example:80"},
         "--listen wants an IP address and a port, such as 127.0.0.1:80 or [::1]:80, got host.example:80",
         false},
        {{"--listen", "[::1x]:80"},
         "--listen wants an IP address and a port, such as 127.0.0.1:80 or [::1]:80, got [::1x]:80",
         false},
        {{"--redis", "redis.example:6379"},
         "127.0.0.1:27500 hz 10 sessions 20000/8 data quorix-data redis redis.example:6379",
         true},
        {{"--listen", "host:65536"}, "--listen wants HOST:PORT, got host:65536", false},
        {{"--listen", ":80"}, "--listen wants HOST:PORT, got :80", false},
        {{"--listen", "host:+80"}, "--listen wants HOST:PORT, got host:+80", false},
        {{"--broadcast-hz", "1000", "--max-sessions", "10000000", "--max-sessions-per-user", "010"},
         "127.0.0.1:27500 hz 1000 sessions 10000000/10 data quorix-data redis :0",
         true},
        {{"--broadcast-hz", "1001"}, "--broadcast-hz wants 1 to 1000, got 1001", false},
        {{"--requests-per-second", "0"}, "--requests-per-second wants 1 to 100000, got 0", false},
        {{"--request-burst", "100001"}, "--request-burst wants 1 to 100000, got 100001", false},
        {{"--broadcast-hz", "0x10"}, "--broadcast-hz wants 1 to 1000, got 0x10", false},
        {{"--max-sessions", "10000001"}, "--max-sessions wants a positive number, got 10000001", false},
        {{"--max-sessions", "1e3"}, "--max-sessions wants a positive number, got 1e3", false},
        {{"--max-sessions-per-user", " 5"}, "--max-sessions-per-user wants a positive number, got  5", false},
        {{"--redis", "[::1]:6379"},
         "127.0.0.1:27500 hz 10 sessions 20000/8 data quorix-data redis ::1:6379",
         true},
        {{"--redis", "localhost:0"},
         "--redis wants HOST:PORT, tls://HOST:PORT or unix:/path/to/socket, got localhost:0",
         false},
        {{"--data", "d", "--data", "e"}, "127.0.0.1:27500 hz 10 sessions 20000/8 data e redis :0", true},
        {{"--data", ""}, "--data wants a folder", false},
        {{"--bogus", "1"}, "unknown option or argument: --bogus 1", false},
        {{"token"}, "unknown option or argument: token", false},
    };
    for (const auto& row : rows) {
        ServerOptions options;
        bool help = false;
        std::string error;
        std::string given;
        for (const std::string& arg : row.args)
            given += arg + " ";
        const bool parsed = ServerOptions::parse(row.args, options, help, error);
        EXPECT_EQ(parsed, row.accepted) << given << error;
        if (parsed)
            EXPECT_EQ(summary(options), row.expected) << given;
        else
            EXPECT_EQ(error.substr(0, row.expected.size()), row.expected) << given;
        EXPECT_FALSE(help) << given;
    }
    std::remove(secretFile.c_str());
}

TEST(ServerOptionsTest, TheRedisOptionsMakeOneAddress)
{
    const std::string passwordFile = ::testing::TempDir() + "/serveroptions-redis-password";
    const std::string shortFile = passwordFile + "-short";
    std::ofstream(passwordFile) << "sixteen bytes or more\n";
    std::ofstream(shortFile) << "short\n";
    const struct
    {
        std::vector<std::string> args;
        std::string expected; // accepted: the address's fields; refused: the start of the message
        bool accepted;
    } rows[] = {
        {{"--redis", "tls://r.example:6380", "--redis-ca-file", "ca.pem", "--redis-cert", "c.pem",
          "--redis-key", "k.pem", "--redis-user", "quorix", "--redis-password-file", passwordFile},
         "tls://r.example:6380 user quorix password sixteen bytes or more ca ca.pem cert c.pem key k.pem",
         true},
        {{"--redis", "unix:/run/redis/redis.sock", "--redis-password-file", passwordFile},
         "unix:/run/redis/redis.sock user  password sixteen bytes or more ca  cert  key ",
         true},
        {{"--redis", "tls://[::1]:6380"}, "tls://[::1]:6380 user  password  ca  cert  key ", true},
        {{"--redis", "r:6379", "--redis-ca-file", "ca.pem"},
         "--redis-ca-file, --redis-cert and --redis-key need --redis tls://HOST:PORT",
         false},
        {{"--redis", "r:6379", "--redis-user", "quorix"}, "--redis-user needs --redis-password-file", false},
        {{"--redis", "tls://r:6379", "--redis-cert", "c.pem"}, "--redis-cert requires --redis-key", false},
        {{"--redis-user", "quorix"}, "--redis-user requires --redis", false},
        {{"--redis-allow-eviction"}, "--redis-allow-eviction requires --redis", false},
        {{"--redis", "r:6379", "--redis-password-file", shortFile},
         "the Redis password in " + shortFile + " is shorter than 16 bytes",
         false},
        {{"--redis", "unix:"}, "--redis wants unix:/path/to/socket", false},
        {{"--redis", "tls://r"},
         "--redis wants HOST:PORT, tls://HOST:PORT or unix:/path/to/socket, got tls://r",
         false},
        // A cluster's nodes take the credentials given once; the row shows its last seed.
        {{"--redis-cluster", "tls://a.example:7000,tls://b.example:7001", "--redis-ca-file", "ca.pem",
          "--redis-user", "quorix", "--redis-password-file", passwordFile},
         "tls://b.example:7001 user quorix password sixteen bytes or more ca ca.pem cert  key ",
         true},
        {{"--redis-cluster", "a:7000", "--redis-ca-file", "ca.pem"},
         "--redis-ca-file, --redis-cert and --redis-key need --redis tls://HOST:PORT",
         false},
        {{"--redis-cluster", "unix:/run/redis.sock"},
         "--redis-cluster wants HOST:PORT or tls://HOST:PORT",
         false},
        {{"--redis-cluster", "a:7000,"}, "--redis-cluster wants HOST:PORT", false},
        {{"--redis-cluster", "a:7000,,b:7001"}, "--redis-cluster wants HOST:PORT", false},
        {{"--redis-cluster",
          "1:1,2:2,3:3,4:4,5:5,6:6,7:7,8:8,9:9,10:10,11:11,12:12,13:13,14:14,15:15,16:16,17:17"},
         "--redis-cluster takes at most 16 seed nodes",
         false},
        {{"--redis-password-file", passwordFile},
         "--redis-password-file requires --redis or --redis-cluster",
         false},
    };
    for (const auto& row : rows) {
        ServerOptions options;
        bool help = false;
        std::string error;
        const bool parsed = ServerOptions::parse(row.args, options, help, error);
        EXPECT_EQ(parsed, row.accepted) << row.args[1] << ": " << error;
        const RedisAddress r =
            options.usesRedisCluster() ? options.redisClusterSeeds().back() : options.redis;
        if (parsed)
            EXPECT_EQ(r.describe() + " user " + r.user + " password " + r.password + " ca " + r.caFile +
                          " cert " + r.certificateFile + " key " + r.keyFile,
                      row.expected);
        else
            EXPECT_EQ(error.substr(0, row.expected.size()), row.expected);
    }
    std::remove(passwordFile.c_str());
    std::remove(shortFile.c_str());
}

TEST(ServerOptionsTest, PerAddressLimitsAndTheDrainTimeoutHaveDefaultsAndRanges)
{
    const struct
    {
        std::vector<std::string> args;
        std::string expected; // accepted: "open N new N drain N"; refused: the whole message
        bool accepted;
    } rows[] = {
        {{}, "open 64 new 32 drain 10", true},
        {{"--max-connections-per-address", "0", "--max-new-connections-per-address-per-second", "0"},
         "open 0 new 0 drain 10",
         true},
        {{"--max-connections-per-address=1000", "--drain-timeout", "3600"},
         "open 1000 new 32 drain 3600",
         true},
        {{"--max-connections-per-address", "-1"},
         "--max-connections-per-address wants a number (0: no limit), got -1",
         false},
        {{"--drain-timeout", "0"}, "--drain-timeout wants 1 to 3600 seconds, got 0", false},
        {{"--drain-timeout", "3601"}, "--drain-timeout wants 1 to 3600 seconds, got 3601", false},
    };
    for (const auto& row : rows) {
        ServerOptions options;
        bool help = false;
        std::string error;
        const bool accepted = ServerOptions::parse(row.args, options, help, error);
        EXPECT_EQ(accepted, row.accepted) << row.expected;
        const std::string got = accepted
                                    ? "open " + std::to_string(options.maxConnectionsPerAddress) + " new " +
                                          std::to_string(options.maxNewConnectionsPerAddressPerSecond) +
                                          " drain " + std::to_string(options.drainTimeoutSeconds)
                                    : error;
        EXPECT_EQ(got, row.expected);
    }
    // Built in code, a server bounds nothing per address.
    EXPECT_EQ(ServerOptions().maxConnectionsPerAddress, 0u);
    EXPECT_EQ(ServerOptions().maxNewConnectionsPerAddressPerSecond, 0u);
}

// A reload takes the reloadable options of the reread command line and keeps the others, naming them.
TEST(ServerOptionsTest, AReloadTakesTheReloadableOptionsAndNamesThoseThatNeedARestart)
{
    const std::string secretFile = writeSecretFile("reload-secret", "sixteen bytes or more");
    const std::string otherSecret = writeSecretFile("reload-other-secret", "sixteen other bytes");
    const std::vector<std::string> base = {"--secret-file", secretFile, "--listen", "127.0.0.1:1"};
    const struct
    {
        std::vector<std::string> reread; // after base
        std::string applied;
        std::string needRestart;
        std::string running; // "rate R burst B sessions S/U listen PORT secret FILE" after the reload
    } rows[] = {
        {{}, "", "", "rate 20 burst 40 sessions 20000/8 listen 1 secret " + secretFile},
        {{"--requests-per-second", "100000", "--request-burst", "1", "--fanout-budget", "2000",
          "--max-sessions-per-user", "4"},
         "requests-per-second 20 → 100000, request-burst 40 → 1, fanout-budget 50000 → 2000, "
         "max-sessions-per-user 8 → 4",
         "",
         "rate 100000 burst 1 sessions 20000/4 listen 1 secret " + secretFile},
        {{"--max-sessions", "5", "--http-max-connections", "7", "--max-connections-per-address", "0",
          "--max-new-connections-per-address-per-second", "3"},
         "max-sessions 20000 → 5, http-max-connections 1024 → 7, max-connections-per-address 64 → 0, "
         "max-new-connections-per-address-per-second 32 → 3",
         "",
         "rate 20 burst 40 sessions 5/8 listen 1 secret " + secretFile},
        {{"--log-level", "warning"},
         "log-level info → warning",
         "",
         "rate 20 burst 40 sessions 20000/8 listen 1 secret " + secretFile},
        {{"--secret-file", otherSecret},
         "secret-file " + secretFile + " → " + otherSecret,
         "",
         "rate 20 burst 40 sessions 20000/8 listen 1 secret " + otherSecret},
        {{"--listen", "127.0.0.1:2", "--memory", "--broadcast-hz", "5", "--max-token-lifetime", "60",
          "--drain-timeout", "1", "--max-sessions-per-user", "2"},
         "max-sessions-per-user 8 → 2",
         "listen, memory, broadcast-hz, max-token-lifetime, drain-timeout",
         "rate 20 burst 40 sessions 20000/2 listen 1 secret " + secretFile},
        {{"--http", "127.0.0.1:0", "--time-zone", "UTC", "--allowed-origin", "https://a.example"},
         "",
         "http, time-zone, allowed-origin",
         "rate 20 burst 40 sessions 20000/8 listen 1 secret " + secretFile},
        {{"--redis-cluster", "127.0.0.1:7000,127.0.0.1:7001"},
         "",
         "redis-cluster",
         "rate 20 burst 40 sessions 20000/8 listen 1 secret " + secretFile},
        {{"--webhook-allow-http", "--webhook-queue-limit", "50", "--webhook-ca-file",
          "/etc/ssl/private-ca.pem"},
         "",
         "webhook-allow-http, webhook-queue-limit, webhook-ca-file",
         "rate 20 burst 40 sessions 20000/8 listen 1 secret " + secretFile},
    };
    const auto parsed = [](const std::vector<std::string>& args) {
        ServerOptions options;
        bool help = false;
        std::string error;
        EXPECT_TRUE(ServerOptions::parse(args, options, help, error)) << error;
        return options;
    };
    const auto joined = [](const std::vector<std::string>& parts) {
        std::string text;
        for (const std::string& part : parts)
            text += (text.empty() ? "" : ", ") + part;
        return text;
    };
    for (const auto& row : rows) {
        ServerOptions running = parsed(base);
        std::vector<std::string> args = base;
        args.insert(args.end(), row.reread.begin(), row.reread.end());
        const OptionChanges changes = OptionChanges::apply(running, parsed(args));
        EXPECT_EQ(joined(changes.applied), row.applied) << row.running;
        EXPECT_EQ(joined(changes.needRestart), row.needRestart) << row.running;
        EXPECT_EQ("rate " + std::to_string(running.requestsPerSecond) + " burst " +
                      std::to_string(running.requestBurst) + " sessions " +
                      std::to_string(running.maxSessions) + "/" + std::to_string(running.maxSessionsPerUser) +
                      " listen " + std::to_string(running.port) + " secret " + running.secretFile,
                  row.running);
    }
    // Token checks turned off need a restart: the secret stays.
    ServerOptions running = parsed(base);
    const OptionChanges off = OptionChanges::apply(running, parsed({"--listen", "127.0.0.1:1"}));
    EXPECT_EQ(joined(off.needRestart), "secret-file/keys (token checks on or off)");
    EXPECT_EQ(running.secretFile, secretFile);
    std::remove(secretFile.c_str());
    std::remove(otherSecret.c_str());
}

TEST(ServerOptionsTest, TheTimeZoneIsTheSystemsOrAKnownZone)
{
    const struct
    {
        std::vector<std::string> args;
        std::string expected; // accepted: the zone kept; refused: the whole message
        bool accepted;
    } rows[] = {
        {{}, "", true},
        {{"--time-zone", "Asia/Shanghai"}, "Asia/Shanghai", true},
        {{"--time-zone=UTC"}, "UTC", true},
        {{"--time-zone", "Europe/Berlin", "--time-zone", "America/New_York"}, "America/New_York", true},
        {{"--time-zone", "Asia/Atlantis"},
         "--time-zone wants UTC or a zone name such as Asia/Shanghai, got Asia/Atlantis",
         false},
        {{"--time-zone", "/etc/passwd"},
         "--time-zone wants UTC or a zone name such as Asia/Shanghai, got /etc/passwd",
         false},
        {{"--time-zone", ""}, "--time-zone wants UTC or a zone name such as Asia/Shanghai, got ", false},
    };
    for (const auto& row : rows) {
        ServerOptions options;
        bool help = false;
        std::string error;
        const bool parsed = ServerOptions::parse(row.args, options, help, error);
        EXPECT_EQ(parsed, row.accepted) << row.expected << error;
        EXPECT_EQ(parsed ? options.timeZone : error, row.expected);
    }
}

TEST(ServerOptionsTest, AValueMissingAtTheEndIsRefusedAndHelpIsReported)
{
    ServerOptions options;
    bool help = false;
    std::string error;
    EXPECT_FALSE(ServerOptions::parse({"--memory", "--listen"}, options, help, error));
    EXPECT_NE(error.find("--listen"), std::string::npos) << error;
    EXPECT_EQ(error.find('\n'), std::string::npos) << error;
    EXPECT_TRUE(ServerOptions::parse({"--help"}, options, help, error));
    EXPECT_TRUE(help);
}

TEST(ServerOptionsTest, ASecretFileOptionKeepsTheTrimmedSecret)
{
    const std::string path = writeSecretFile("option", "0123456789abcdef0123\n");
    ServerOptions options;
    bool help = false;
    std::string error;
    ASSERT_TRUE(ServerOptions::parse({"--secret-file", path, "--memory"}, options, help, error)) << error;
    ASSERT_TRUE(options.secret);
    EXPECT_EQ(*options.secret, "0123456789abcdef0123");
    std::remove(path.c_str());
}

// The token checks the options make: "keys K..., lifetime N, legacy yes|no, signer ALG[ KID]".
std::string tokenSummary(const ServerOptions::TokenSetup& setup)
{
    std::string text = "keys";
    for (const std::string& kid : setup.keys ? setup.keys->keyIds() : std::vector<std::string>{"none"})
        text += " " + kid;
    text += ", lifetime " + std::to_string(setup.policy.maxLifetimeSeconds) + ", legacy " +
            (setup.policy.acceptLegacy ? "yes" : "no") + ", signer ";
    text += setup.signer ? setup.signer->algorithm() +
                               (setup.signer->keyId().empty() ? "" : " " + setup.signer->keyId())
                         : "none";
    return text;
}

class ServerTokenOptionsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::ofstream(m_signingKey) << m_signing->privatePem();
        std::ofstream(m_strangerKey) << m_stranger->privatePem();
        nlohmann::json set = nlohmann::json::object();
        set["keys"] = {m_k1->publicJwk("k1"), m_signing->publicJwk(m_signing->thumbprint())};
        std::ofstream(m_keys) << set.dump();
    }

    const std::string m_secret = writeSecretFile("token-secret", "0123456789abcdef\n");
    const std::string m_keys = writeSecretFile("keys.json", "");
    const std::string m_signingKey = writeSecretFile("signing.pem", "");
    const std::string m_strangerKey = writeSecretFile("stranger.pem", "");
    const std::optional<EcP256Key> m_k1 = EcP256Key::generate();
    const std::optional<EcP256Key> m_signing = EcP256Key::generate();
    const std::optional<EcP256Key> m_stranger = EcP256Key::generate();
};

TEST_F(ServerTokenOptionsTest, KeyFilesLifetimeLegacyTokensAndTheSigningKeyMakeTheTokenChecks)
{
    const std::string kid = m_signing->thumbprint();
    const struct
    {
        std::vector<std::string> args;
        std::string expected; // accepted: tokenSummary(); refused: the whole message or its start
        bool accepted;
    } rows[] = {
        {{}, "keys none, lifetime 86400, legacy no, signer none", true},
        {{"--secret-file", m_secret}, "keys secret, lifetime 86400, legacy no, signer HS256", true},
        {{"--keys", m_keys}, "keys k1 " + kid + ", lifetime 86400, legacy no, signer none", true},
        {{"--secret-file", m_secret, "--keys", m_keys, "--signing-key", m_signingKey,
          "--accept-legacy-tokens", "--max-token-lifetime", "2592000"},
         "keys secret k1 " + kid + ", lifetime 2592000, legacy yes, signer ES256 " + kid,
         true},
        {{"--max-token-lifetime", "60"}, "keys none, lifetime 60, legacy no, signer none", true},
        {{"--max-token-lifetime", "59"}, "--max-token-lifetime wants 60 to 2592000 seconds, got 59", false},
        {{"--max-token-lifetime", "2592001"},
         "--max-token-lifetime wants 60 to 2592000 seconds, got 2592001",
         false},
        {{"--accept-legacy-tokens"}, "--accept-legacy-tokens requires --secret-file", false},
        {{"--secret-file", m_secret, "--signing-key", m_signingKey}, "--signing-key requires --keys", false},
        {{"--keys", m_keys, "--signing-key", m_strangerKey},
         "the signing key " + m_strangerKey + " (kid " + m_stranger->thumbprint() +
             ") has no public key in " + m_keys + ": add it (keygen --out-jwks does)",
         false},
        {{"--keys", m_keys, "--signing-key", m_keys},
         "the signing key " + m_keys + " holds no EC P-256 private key (PEM, without a pass phrase)",
         false},
        {{"--keys", "/nonexistent/keys.json"},
         "cannot read the key set /nonexistent/keys.json: No such file or directory",
         false},
        {{"--keys", m_secret}, "the key set " + m_secret + " is not a JWK Set ({\"keys\":[...]})", false},
    };
    for (const auto& row : rows) {
        ServerOptions options;
        bool help = false;
        std::string error;
        std::vector<std::string> args = row.args;
        args.push_back("--memory");
        const bool parsed = ServerOptions::parse(args, options, help, error);
        EXPECT_EQ(parsed, row.accepted) << row.expected << ": " << error;
        EXPECT_EQ(parsed ? tokenSummary(options.tokens) : error, row.expected);
    }
}

TEST_F(ServerTokenOptionsTest, ARereadTakesTheFilesAsTheyAreNowOrSaysWhyNot)
{
    ServerOptions options;
    bool help = false;
    std::string error;
    ASSERT_TRUE(
        ServerOptions::parse({"--secret-file", m_secret, "--keys", m_keys, "--memory"}, options, help, error))
        << error;
    nlohmann::json set = nlohmann::json::object();
    set["keys"] = {m_k1->publicJwk("k2")};
    std::ofstream(m_keys) << set.dump();
    ServerOptions::TokenSetup reread;
    ASSERT_TRUE(options.readTokenSetup(reread, error)) << error;
    EXPECT_EQ(tokenSummary(reread), "keys secret k2, lifetime 86400, legacy no, signer HS256");

    std::ofstream(m_keys) << "{\"keys\":[{\"kid\":\"k3\"}]}";
    EXPECT_FALSE(options.readTokenSetup(reread, error));
    EXPECT_EQ(error, "the key set " + m_keys + " key 1 (k3) has a kty other than EC (ES256) or oct (HS256)");
    EXPECT_EQ(tokenSummary(reread), "keys secret k2, lifetime 86400, legacy no, signer HS256") << "kept";
}

} // namespace
} // namespace quorix::service
