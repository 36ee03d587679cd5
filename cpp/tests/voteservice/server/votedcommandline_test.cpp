#include "voteservice/auth/ecp256key.h"
#include "voteservice/server/votedcommandline.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>

namespace quorix::service {
namespace {

using Outcome = VotedCommandLine::Outcome;

constexpr std::int64_t kNow = 1000;

class VotedCommandLineTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::ofstream(m_secret, std::ios::binary) << "0123456789abcdef\n";
        std::ofstream(m_signingKey, std::ios::binary) << m_key->privatePem();
    }
    void TearDown() override
    {
        std::remove(m_secret.c_str());
        std::remove(m_signingKey.c_str());
    }

    // The token command with a readable secret and a whole identity, then `more`.
    std::vector<std::string> token(std::vector<std::string> more) const
    {
        std::vector<std::string> args{"token", "--secret-file", m_secret, "--uid",     "1", "--imid",
                                      "2",     "--role",        "3",      "--channel", "4"};
        args.insert(args.end(), more.begin(), more.end());
        return args;
    }

    const std::string m_secret = ::testing::TempDir() + "/votedcommandline-secret";
    const std::string m_signingKey = ::testing::TempDir() + "/votedcommandline-signing.pem";
    const std::optional<EcP256Key> m_key = EcP256Key::generate();
};

TEST_F(VotedCommandLineTest, RefusesWithOneLineThatSaysWhy)
{
    const struct
    {
        std::vector<std::string> args;
        std::string error;
    } rows[] = {
        {{"token", "--uid", "1", "--imid", "2", "--role", "3", "--channel", "4"},
         "token needs --secret-file or --signing-key"},
        {{"token", "--secret-file", m_secret, "--uid", "1", "--imid", "2", "--role", "3"},
         "token needs --channel"},
        {token({"--expiry", "1000"}), "--expiry 1000 is not in the future (now 1000)"},
        {token({"--expiry", "2593001"}), "--expiry 2593001 is more than 2592000 seconds from now (1000)"},
        {{"token", "--secret-file", "/nonexistent/secret"},
         "cannot read the secret file /nonexistent/secret: No such file or directory"},
        {token({"--uid", "4294967296"}), "--uid wants a number from 0 to 4294967295, got 4294967296"},
        {token({"--ttl", "-1"}), "--ttl wants 1 to 2592000 seconds, got -1"},
        {token({"--ttl", "0"}), "--ttl wants 1 to 2592000 seconds, got 0"},
        {token({"--ttl", "2592001"}), "--ttl wants 1 to 2592000 seconds, got 2592001"},
        {token({"--scope", "events admin"}),
         "--scope wants words of events, vote, manage and metrics, got events admin"},
        {token({"--scope", ""}), "--scope wants words of events, vote, manage and metrics, got "},
        {token({"--jti", std::string(65, 'j')}), "--jti wants 1 to 64 bytes, got 65"},
        {token({"--sub-channel", "x"}), "--sub-channel wants a number from 0 to 4294967295, got x"},
        {token({"--signing-key", m_signingKey}), "--secret-file excludes --signing-key"},
        {{"token", "--signing-key", "/nonexistent/key.pem"},
         "cannot read the signing key /nonexistent/key.pem: No such file or directory"},
        {{"token", "--signing-key", m_secret},
         "the signing key " + m_secret + " holds no EC P-256 private key (PEM, without a pass phrase)"},
        {{"keygen", "--out-private", "p.pem"}, "--out-jwks is required"},
        {{"--memory", "keygen", "--out-private", "p.pem", "--out-jwks", "k.json"},
         "keygen excludes --memory"},
        {{"revoke", "--channel", "4", "--data", "d"}, "revoke needs --uid"},
        {{"revoke", "--uid", "1", "--data", "d"}, "revoke needs --channel"},
        {{"revoke", "--uid", "1", "--channel", "4"},
         "revoke needs --data, --redis or --redis-cluster: where the services read revocations"},
        {{"revoke", "--uid", "1", "--channel", "4", "--data", "d", "--redis", "r:1"},
         "--data excludes --redis"},
        {{"revoke", "--uid", "1", "--channel", "4", "--redis", "r"},
         "--redis wants HOST:PORT, tls://HOST:PORT or unix:/path/to/socket, got r"},
        {{"revoke", "--uid", "1", "--channel", "4", "--redis", "r:1", "--redis-user", "quorix"},
         "--redis-user needs --redis-password-file"},
        {{"revoke", "--uid", "1", "--channel", "4", "--data", "d", "--redis-cluster", "a:1"},
         "--data excludes --redis-cluster"},
        {{"revoke", "--uid", "1", "--channel", "4", "--redis", "r:1", "--redis-cluster", "a:1"},
         "--redis excludes --redis-cluster"},
        {{"revoke", "--uid", "1", "--channel", "4", "--redis-cluster", "a:1,unix:/s"},
         "--redis-cluster wants HOST:PORT or tls://HOST:PORT seeds: cluster nodes are reached over TCP"},
        {{"revoke", "--uid", "1", "--channel", "4", "--data", "d", "--redis-user", "quorix"},
         "--redis-user requires --redis or --redis-cluster"},
        {{"revoke", "--uid", "1", "--channel", "4", "--redis-cluster", "a:1", "--redis-user", "quorix"},
         "--redis-user needs --redis-password-file"},
        {{"revoke", "--uid", "1", "--channel", "4", "--data", "d", "--before", "soon"},
         "--before wants Unix seconds, got soon"},
        {{"--memory", "revoke", "--uid", "1", "--channel", "4", "--data", "d"}, "revoke excludes --memory"},
        {{"--memory", "token", "--secret-file", m_secret}, "token excludes --memory"},
        {token({"--listen", "127.0.0.1:1"}), "unknown option or argument: --listen 127.0.0.1:1"},
        {{"--memory", "--data", "d"}, "--memory and --data cannot be combined: choose one"},
        {{"--max-sessions", "0"}, "--max-sessions wants a positive number, got 0"},
        {{"serve"}, "unknown option or argument: serve"},
        {{"--http", "8080"}, "--http wants HOST:PORT, got 8080"},
        {{"--http", "localhost:8080"},
         "--http wants an IP address and a port, such as 127.0.0.1:8080 or [::1]:8080, got localhost:8080"},
        {{"--listen", "localhost:0", "--memory"},
         "--listen wants an IP address and a port, such as 127.0.0.1:0 or [::1]:0, got localhost:0"},
        {{"--http-max-connections", "0"}, "--http-max-connections wants a positive number, got 0"},
        {{"--allowed-origin", "ftp://studio.example"},
         "--allowed-origin wants http(s)://HOST[:PORT], got ftp://studio.example"},
        {{"--allowed-origin", "https://studio.example/page"},
         "--allowed-origin wants http(s)://HOST[:PORT], got https://studio.example/page"},
        {{"--metrics-allow", "10.0.0.0/33"},
         "--metrics-allow wants an address or CIDR block, got 10.0.0.0/33"},
        {{"--metrics-allow", "monitor.example"},
         "--metrics-allow wants an address or CIDR block, got monitor.example"},
        {{"--time-zone", "Mars/Olympus_Mons"},
         "--time-zone wants UTC or a zone name such as Asia/Shanghai, got Mars/Olympus_Mons"},
        {{"--time-zone", "UTC", "token", "--secret-file", m_secret}, "token excludes --time-zone"},
        {{"--tls-cert", m_secret}, "--tls-cert requires --tls-key"},
        {{"--tls-key", m_secret}, "--tls-key requires --tls-cert"},
        {{"--tls-cert", "/nonexistent/cert.pem", "--tls-key", m_secret},
         "cannot read the TLS certificate file /nonexistent/cert.pem: No such file or directory"},
        {{"--audit-log", ""}, "--audit-log wants a file or journal"},
        {{"backup", "--data", "d"}, "--out is required"},
        {{"--memory", "backup", "--data", "d", "--out", "f"}, "backup excludes --memory"},
        {{"--tls-cert", m_secret, "--tls-key", m_secret},
         "the TLS certificate file " + m_secret + " holds no usable certificate: no start line"},
    };
    for (const auto& row : rows) {
        VotedCommandLine commandLine;
        std::string given;
        for (const std::string& arg : row.args)
            given += arg + " ";
        EXPECT_EQ(commandLine.parse(row.args, kNow), Outcome::Error) << given;
        EXPECT_EQ(commandLine.text(), row.error) << given;
    }
}

TEST_F(VotedCommandLineTest, TheTokenIsIssuedNowWithItsScopesAndExpiresAfterItsTimeToLive)
{
    const struct
    {
        std::vector<std::string> more;
        std::int64_t expiry;
        std::string scopes;
        std::optional<std::uint32_t> subChannel;
        std::string tokenId; // empty: 32 random hex digits
    } rows[] = {
        {{}, kNow + 86400, "events vote", std::nullopt, ""},
        {{"--ttl", "60"}, kNow + 60, "events vote", std::nullopt, ""},
        {{"--ttl", "2592000"}, kNow + 2592000, "events vote", std::nullopt, ""},
        {{"--expiry", "1001"}, 1001, "events vote", std::nullopt, ""},
        {{"--expiry", "5000", "--ttl", "60"}, 5000, "events vote", std::nullopt, ""},
        {{"--scope", "events"}, kNow + 86400, "events", std::nullopt, ""},
        {{"--scope", "metrics vote"}, kNow + 86400, "vote metrics", std::nullopt, ""},
        {{"--role", "255"}, kNow + 86400, "events vote manage", std::nullopt, ""},
        {{"--sub-channel", "0", "--jti", "audit-7"}, kNow + 86400, "events vote", 0, "audit-7"},
    };
    for (const auto& row : rows) {
        VotedCommandLine commandLine;
        ASSERT_EQ(commandLine.parse(token(row.more), kNow), Outcome::IssueToken) << commandLine.text();
        const AccessClaims& claims = commandLine.tokenClaims();
        EXPECT_EQ(claims.issuedAt, kNow);
        EXPECT_EQ(claims.expiresAt, row.expiry);
        EXPECT_EQ(claims.scopes.words(), row.scopes);
        EXPECT_EQ(claims.subChannelId, row.subChannel);
        const std::string hexDigits = "0123456789abcdef";
        EXPECT_TRUE(row.tokenId.empty() ? claims.tokenId.find_first_not_of(hexDigits) == std::string::npos
                                        : claims.tokenId == row.tokenId)
            << claims.tokenId;
        EXPECT_EQ(claims.tokenId.size(), row.tokenId.empty() ? 32u : row.tokenId.size());
        EXPECT_EQ(std::vector<std::uint32_t>({claims.uid, claims.imid, claims.channelId}),
                  std::vector<std::uint32_t>({1, 2, 4}));
        EXPECT_EQ(commandLine.token().signer->algorithm(), "HS256");
    }
}

TEST_F(VotedCommandLineTest, ASigningKeySignsES256UnderItsThumbprint)
{
    VotedCommandLine commandLine;
    ASSERT_EQ(commandLine.parse({"token", "--signing-key", m_signingKey, "--uid", "1", "--imid", "2",
                                 "--role", "3", "--channel", "4"},
                                kNow),
              Outcome::IssueToken)
        << commandLine.text();
    EXPECT_EQ(commandLine.token().signer->algorithm(), "ES256");
    EXPECT_EQ(commandLine.token().signer->keyId(), m_key->thumbprint());
}

TEST_F(VotedCommandLineTest, KeygenAndRevokeAreReadForTheirCommands)
{
    VotedCommandLine keygen;
    ASSERT_EQ(keygen.parse({"keygen", "--out-private", "p.pem", "--out-jwks", "k.json"}, kNow),
              Outcome::GenerateKeys)
        << keygen.text();
    EXPECT_EQ(keygen.keygen().privateKeyFile, "p.pem");
    EXPECT_EQ(keygen.keygen().jwksFile, "k.json");

    const struct
    {
        std::vector<std::string> more;
        Revocation expected;
        std::string place;
    } rows[] = {
        {{"--data", "d"}, {4, 1, kNow, kNow + 2592000}, "in the data folder d;"},
        {{"--data", "d", "--before", "500"}, {4, 1, 500, 500 + 2592000}, "in the data folder d;"},
        {{"--redis", "r:6379"}, {4, 1, kNow, kNow + 2592000}, "in Redis r:6379;"},
        {{"--redis-cluster", "a:7000,tls://b:7001"},
         {4, 1, kNow, kNow + 2592000},
         "in the Redis Cluster seeded by a:7000,tls://b:7001;"},
    };
    for (const auto& row : rows) {
        std::vector<std::string> args{"revoke", "--uid", "1", "--channel", "4"};
        args.insert(args.end(), row.more.begin(), row.more.end());
        VotedCommandLine revoke;
        ASSERT_EQ(revoke.parse(args, kNow), Outcome::Revoke) << revoke.text();
        EXPECT_EQ(revoke.revocation(), row.expected);
        const std::string line = revoke.revoke().describe(revoke.revocation());
        EXPECT_EQ(line.rfind("revoked the tokens of uid 1 in channel 4 issued before " +
                                 std::to_string(row.expected.issuedBefore) + " (",
                             0),
                  0u)
            << line;
        EXPECT_NE(line.find(row.place), std::string::npos) << line;
    }
}

TEST_F(VotedCommandLineTest, HelpDescribesEveryOptionOfTheServiceAndOfTheTokenCommand)
{
    const struct
    {
        std::vector<std::string> args;
        Outcome outcome;
        std::vector<const char*> fragments;
    } rows[] = {
        {{"--help"},
         Outcome::Help,
         {"--listen",
          "--secret-file",
          "--broadcast-hz",
          "--fanout-budget",
          "--max-sessions",
          "--max-sessions-per-user",
          "--data",
          "--memory",
          "--redis",
          "--http",
          "--http-max-connections",
          "--tls-cert",
          "--tls-key",
          "--version",
          "--help",
          "token",
          "--uid",
          "--imid",
          "--role",
          "--channel",
          "--expiry",
          "--ttl",
          "--web-root DIR ",
          "--scope",
          "--sub-channel",
          "--jti",
          "--signing-key",
          "keygen",
          "--out-private",
          "--out-jwks",
          "revoke",
          "--before",
          "--keys",
          "--max-token-lifetime",
          "--accept-legacy-tokens",
          "--audit-log FILE|journal",
          "backup",
          "--out FILE"}},
        {{"token", "--help"},
         Outcome::Help,
         {"--secret-file", "--signing-key", "--uid", "--expiry", "--ttl", "--scope"}},
        {{"revoke", "--help"}, Outcome::Help, {"--uid", "--channel", "--before", "--data", "--redis"}},
        {{"backup", "--help"}, Outcome::Help, {"--data DIR", "--out FILE"}},
        {{"--max-sessions", "0", "--help"}, Outcome::Error, {"--max-sessions wants a positive number"}},
        {{"--version"}, Outcome::Version, {"quorix-voted " QUORIX_VERSION "\n"}},
    };
    for (const auto& row : rows) {
        VotedCommandLine commandLine;
        EXPECT_EQ(commandLine.parse(row.args, kNow), row.outcome) << row.args.front();
        for (const char* fragment : row.fragments)
            EXPECT_NE(commandLine.text().find(fragment), std::string::npos) << fragment << "\n"
                                                                            << commandLine.text();
    }
}

TEST_F(VotedCommandLineTest, ServerOptionsAreReadForServing)
{
    VotedCommandLine commandLine;
    ASSERT_EQ(
        commandLine.parse({"--listen", "[::1]:0", "--secret-file", m_secret, "--redis", "r:6379"}, kNow),
        Outcome::Serve)
        << commandLine.text();
    EXPECT_EQ(commandLine.server().host, "::1");
    EXPECT_EQ(commandLine.server().port, 0);
    EXPECT_EQ(commandLine.server().secret, "0123456789abcdef");
    EXPECT_TRUE(commandLine.server().usesRedis());
    EXPECT_FALSE(commandLine.server().httpHost);

    VotedCommandLine web;
    ASSERT_EQ(web.parse({"--memory", "--http", "127.0.0.1:0", "--http-max-connections", "5"}, kNow),
              Outcome::Serve)
        << web.text();
    EXPECT_EQ(web.server().httpHost, "127.0.0.1");
    EXPECT_EQ(web.server().httpPort, 0);
    EXPECT_EQ(web.server().httpMaxConnections, 5u);
    EXPECT_TRUE(web.server().allowedOrigins.empty());
    EXPECT_TRUE(web.server().metricsAllow.empty());

    // Both may be given any number of times; every value counts.
    VotedCommandLine access;
    ASSERT_EQ(access.parse({"--memory", "--http", "127.0.0.1:0", "--allowed-origin", "https://a.example",
                            "--allowed-origin", "http://b.example:8080", "--metrics-allow", "10.0.0.0/8",
                            "--metrics-allow", "::1"},
                           kNow),
              Outcome::Serve)
        << access.text();
    std::vector<std::string> origins = access.server().allowedOrigins;
    std::vector<std::string> peers = access.server().metricsAllow;
    std::sort(origins.begin(), origins.end());
    std::sort(peers.begin(), peers.end());
    EXPECT_EQ(origins, (std::vector<std::string>{"http://b.example:8080", "https://a.example"}));
    EXPECT_EQ(peers, (std::vector<std::string>{"10.0.0.0/8", "::1"}));

    VotedCommandLine audited;
    ASSERT_EQ(audited.parse({"--memory", "--audit-log", "journal"}, kNow), Outcome::Serve) << audited.text();
    EXPECT_EQ(audited.server().auditLog, "journal");

    VotedCommandLine backup;
    ASSERT_EQ(backup.parse({"backup", "--data", "/var/lib/quorix", "--out", "copy.db"}, kNow),
              Outcome::Backup)
        << backup.text();
    EXPECT_EQ(backup.backup().dataDir, "/var/lib/quorix");
    EXPECT_EQ(backup.backup().outFile, "copy.db");
}

// --config names a file of KEY = VALUE lines: the command line wins over a key, a key over the
// built-in default, and a key that names no option or a bad value stops the start.
TEST_F(VotedCommandLineTest, ConfigurationFileFillsWhatTheCommandLineLeavesOpen)
{
    const std::string file = ::testing::TempDir() + "/voted.conf";
    const struct
    {
        std::string text;
        std::vector<std::string> args; // after --config FILE
        Outcome outcome;
        std::string listen; // host:port, or a part of the error
        std::uint32_t broadcastHz;
    } rows[] = {
        {"# nothing but a comment\n", {"--memory"}, Outcome::Serve, "127.0.0.1:27500", 10},
        {"listen = \"0.0.0.0:1\"\ninsecure-no-auth = true\nbroadcast-hz = 5\nmemory = true\n",
         {},
         Outcome::Serve,
         "0.0.0.0:1",
         5},
        {"listen = \"0.0.0.0:1\"\nmemory = true\n", {}, Outcome::Error, "--insecure-no-auth", 0},
        {"listen = \"0.0.0.0:1\"\nmemory = true\n", {"--listen", "[::1]:2"}, Outcome::Serve, "::1:2", 10},
        {"broadcast-hz = 5\n", {"--broadcast-hz", "7", "--memory"}, Outcome::Serve, "127.0.0.1:27500", 7},
        {"bogus = 1\n",
         {"--memory"},
         Outcome::Error,
         "configuration file " + file + ": no option is named bogus",
         0},
        {"broadcast-hz = 0\n", {"--memory"}, Outcome::Error, "--broadcast-hz wants 1 to 1000, got 0", 0},
        {"memory = true\n", {"--data", "d"}, Outcome::Error, "--memory and --data cannot be combined", 0},
    };
    for (const auto& row : rows) {
        std::ofstream(file) << row.text;
        std::vector<std::string> args{"--config", file};
        args.insert(args.end(), row.args.begin(), row.args.end());
        VotedCommandLine commandLine;
        const Outcome outcome = commandLine.parse(args, kNow);
        SCOPED_TRACE(row.text);
        ASSERT_EQ(outcome, row.outcome) << commandLine.text();
        if (outcome == Outcome::Error) {
            EXPECT_NE(commandLine.text().find(row.listen), std::string::npos) << commandLine.text();
            continue;
        }
        const ServerOptions& server = commandLine.server();
        EXPECT_EQ(server.host + ":" + std::to_string(server.port), row.listen);
        EXPECT_EQ(server.broadcastHz, row.broadcastHz);
    }
    std::remove(file.c_str());

    VotedCommandLine missing;
    EXPECT_EQ(missing.parse({"--config", "/nonexistent/voted.conf"}, kNow), Outcome::Error);
    EXPECT_EQ(missing.text(),
              "cannot read the configuration file /nonexistent/voted.conf: No such file or directory");
    const std::string folder = ::testing::TempDir();
    VotedCommandLine notAFile;
    EXPECT_EQ(notAFile.parse({"--config", folder}, kNow), Outcome::Error);
    EXPECT_EQ(notAFile.text(), "cannot read the configuration file " + folder + ": it is a folder");
}

} // namespace
} // namespace quorix::service
