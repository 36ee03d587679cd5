#pragma once

#include "voteservice/auth/keyset.h"
#include "voteservice/redis/redisaddress.h"
#include "voteservice/auth/tokensigner.h"
#include "voteservice/auth/tokenverifier.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace CLI {
class App;
}

namespace boost::asio::ssl {
class context;
}

namespace quorix::service {

// Command line of quorix-voted. The server itself takes the parsed values.
struct ServerOptions
{
    std::string host = "127.0.0.1";
    std::uint16_t port = 27500;
    std::optional<std::string> secret; // set: HELLO must carry a valid token
    // Token checks: the file of `secret`, a JWK Set file (--keys), the longest lifetime a token may
    // have, whether "EXPIRY.HEX" tokens are still taken, and the service's own ES256 key for the
    // narrower tokens it signs (its kid must be in the set).
    std::string secretFile;
    std::string keysFile;
    std::int64_t maxTokenLifetime = 86400;
    bool acceptLegacyTokens = false;
    std::string signingKeyFile;
    // Without keys, a --listen or --http address that is not loopback is refused unless this is set.
    bool insecureNoAuth = false;
    std::uint32_t broadcastHz = 10;
    // Count broadcast frames a second to all sessions at most; reloadable.
    std::uint64_t fanoutBudget = 50000;
    // How long a vote's answer may wait to leave with the broadcast that counts it (at most one
    // broadcast interval; 0: at once); reloadable.
    std::int64_t answerHoldMs = 200;
    std::size_t maxSessions = 20000;
    // Sessions one user (a uid within a channel) may hold at once.
    std::size_t maxSessionsPerUser = 8;
    // Flood control: requests one session (and one user's plain web requests together) may make,
    // an average rate and a burst; beyond them a request is refused with result 19.
    std::uint32_t requestsPerSecond = 20;
    std::uint32_t requestBurst = 40;
    // A connection whose unsent output grows beyond this is dropped (a reader too slow to keep up).
    std::size_t maxQueuedBytes = 1 << 20;
    // Kernel send buffer per connection in bytes; 0 leaves the system's (self-tuning) default.
    int socketSendBuffer = 0;
    // A connection that has not completed its HELLO by then is closed.
    std::int64_t helloTimeoutMs = 10000;
    // A connection whose frame has started but not all arrived by then is closed.
    std::int64_t frameTimeoutMs = 5000;
    // Where votes, history and the user directory are kept: a SQLite database in dataDir, or
    // nothing that outlives the process (memoryOnly).
    std::string dataDir = "quorix-data";
    bool memoryOnly = false;
    // Set: votes, open votes, history and users live in this Redis, shared with other processes.
    // With its credentials and TLS settings (--redis-user, --redis-password-file, --redis-ca-file, …).
    RedisAddress redis;
    // Set instead: they live in a Redis Cluster reached through these seed nodes (places only; the
    // credentials and TLS files are those of redis: redisClusterSeeds()).
    std::vector<RedisAddress> redisCluster;
    // Start even when that Redis may evict keys (maxmemory-policy other than noeviction).
    bool redisAllowEviction = false;
    // Replicas that must hold each write before it is answered; -1: one when Redis has a replica.
    int redisMinReplicas = -1;
    // Set: the web face (HTTP, WebSocket, SSE) listens here as well; port 0 picks one.
    std::optional<std::string> httpHost;
    std::uint16_t httpPort = 0;
    std::size_t httpMaxConnections = 1024;
    // Where the web face takes its pages from; empty: found beside the program (StaticFiles::findRoot).
    std::string webRoot;
    // The zone history times are written in ("UTC" or an IANA name); empty: the system's own.
    std::string timeZone;
    // The least severe log lines written: "error", "warning" or "info" (--log-level).
    std::string logLevel = "info";
    // Both set: the host transport and the web face serve TLS with this certificate chain and key.
    std::string tlsCertificateFile;
    std::string tlsKeyFile;
    // Where the audit trail goes: a file (appended), "journal" (the systemd journal), or nowhere
    // when empty.
    std::string auditLog;
    // Every channel without a webhook of its own POSTs its vote events here, signed with the
    // secret of webhookSecretFile; empty: none.
    std::string webhookUrl;
    std::string webhookSecret;
    // Plain http:// webhooks, for tests and development.
    bool webhookAllowHttp = false;
    // PEM CA certificates the webhooks' certificates may be signed by, besides the system's.
    std::string webhookCaFile;
    // Events waiting per channel while its webhook does not answer; the oldest after the one in
    // flight goes first.
    std::size_t webhookQueueLimit = 1000;
    // Origins besides a request's own whose pages may POST and open WebSockets (--allowed-origin).
    std::vector<std::string> allowedOrigins;
    // Peers /metrics answers without a token (--metrics-allow CIDR); empty: loopback.
    std::vector<std::string> metricsAllow;
    // Made from the two files by loadTls(); null: plain TCP.
    std::shared_ptr<boost::asio::ssl::context> tls;
    // Per source address (IPv6 per /64) on each listener: connections open at once, and new
    // connections (with their TLS handshakes) per second. 0 bounds nothing, which is what a server
    // built in code gets; the command line's defaults are the constants below.
    std::size_t maxConnectionsPerAddress = 0;
    std::uint32_t maxNewConnectionsPerAddressPerSecond = 0;
    static constexpr std::size_t kDefaultConnectionsPerAddress = 64;
    static constexpr std::uint32_t kDefaultNewConnectionsPerAddressPerSecond = 32;
    // How long a SIGTERM or SIGINT may take to finish the work in flight before the rest is cut.
    std::uint32_t drainTimeoutSeconds = 10;

    // What the token checks are made of, read from the files above.
    struct TokenSetup
    {
        std::shared_ptr<const KeySet> keys; // null: no key file named, tokens are not checked
        TokenPolicy policy;
        // The signing key's, else the secret's; none with only public keys or none at all.
        std::optional<TokenSigner> signer;
    };
    // Made from the files by loadTokens(), at start.
    TokenSetup tokens;

    bool usesRedis() const { return redis.given() || usesRedisCluster(); }
    bool usesRedisCluster() const { return !redisCluster.empty(); }
    // The seed nodes with the credentials and TLS files every node is reached with.
    std::vector<RedisAddress> redisClusterSeeds() const;
    bool checksTokens() const { return !secretFile.empty() || !keysFile.empty(); }

    // Parses the server's options (not the token command). False with a one-line message on error;
    // help is set when --help was given.
    static bool parse(const std::vector<std::string>& args, ServerOptions& out, bool& help,
                      std::string& error);
    // Adds the server's options to app, each kept in a field of this as the parse reads it; a value
    // out of range ends the parse with a CLI::ValidationError naming the option.
    void addOptionsTo(CLI::App& app);
    // After app parsed the options: false with a message when more than one place for the data
    // was named.
    bool storageChoiceIsClear(const CLI::App& app, std::string& error) const;
    // False with a message when an option of a Redis was given without --redis or --redis-cluster.
    static bool redisOptionsNeedAPlace(const CLI::App& app, std::string& error);
    // After the parse: false with a message saying how to give keys when the service would serve
    // a non-loopback address without checking tokens and --insecure-no-auth was not given.
    bool openOnlyWhereSafe(std::string& error) const;
    static bool isLoopback(const std::string& host);
    // After the parse: reads the TLS certificate and key when they were named; false with a
    // one-line message when they cannot be used.
    bool loadTls(std::string& error);
    // Reads the key files named (at start, and again on a reload); false with a one-line message
    // naming the file that cannot be used, or a signing key whose kid is not in the key set.
    bool readTokenSetup(TokenSetup& out, std::string& error) const;
    // After the parse: fills `tokens` by readTokenSetup().
    bool loadTokens(std::string& error) { return readTokenSetup(tokens, error); }
    // --keys, --max-token-lifetime, --accept-legacy-tokens, --signing-key (after --secret-file).
    void addTokenOptions(CLI::App& app);
    void addWebhookOptions(CLI::App& app);
    static bool parseHostPort(const std::string& text, std::string& host, std::uint16_t& port);
    // A numeric IPv4 or IPv6 address (without brackets), as the listeners take it; not a name.
    static bool isIpAddress(const std::string& host);
    static bool parseNumber(const std::string& text, std::uint64_t max, std::uint64_t& value);
};

} // namespace quorix::service
