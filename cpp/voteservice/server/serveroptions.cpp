#include "voteservice/server/serveroptions.h"

#include "voteservice/server/addressrange.h"
#include "voteservice/server/clisupport.h"
#include "voteservice/core/hostport.h"
#include "voteservice/server/redisoptions.h"
#include "voteservice/auth/secretfile.h"
#include "voteservice/core/servicelog.h"
#include "voteservice/core/timetextformatter.h"
#include "voteservice/server/tlsservercontext.h"

#include <CLI/CLI.hpp>

#include <arpa/inet.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace quorix::service {

bool ServerOptions::parseNumber(const std::string& text, std::uint64_t max, std::uint64_t& value)
{
    if (text.empty() || text.size() > 19)
        return false;
    std::uint64_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        v = v * 10 + std::uint64_t(c - '0');
    }
    if (v > max)
        return false;
    value = v;
    return true;
}

bool ServerOptions::parseHostPort(const std::string& text, std::string& host, std::uint16_t& port)
{
    return HostPort::split(text, host, port);
}

bool ServerOptions::isIpAddress(const std::string& host)
{
    unsigned char address[sizeof(in6_addr)];
    return inet_pton(AF_INET, host.c_str(), address) == 1 || inet_pton(AF_INET6, host.c_str(), address) == 1;
}

namespace {

// HOST:PORT given to `name`, HOST a numeric address as the listeners take it; false with the
// refusal in `error`.
bool readAddress(const std::string& name, const std::string& text, std::string& host, std::uint16_t& port,
                 std::string& error)
{
    if (!ServerOptions::parseHostPort(text, host, port)) {
        error = name + " wants HOST:PORT, got " + text;
        return false;
    }
    if (!ServerOptions::isIpAddress(host)) {
        error = name + " wants an IP address and a port, such as 127.0.0.1:" + std::to_string(port) +
                " or [::1]:" + std::to_string(port) + ", got " + text;
        return false;
    }
    return true;
}

// An option taking HOST:PORT (an IPv6 host in brackets); port 0 only where allowed.
CLI::Option* addAddressOption(CLI::App& app, const std::string& name, std::string& host, std::uint16_t& port,
                              bool portZeroAllowed)
{
    auto store = [name, &host, &port, portZeroAllowed](const std::string& text) {
        std::string parsedHost, error;
        std::uint16_t parsedPort = 0;
        if (!readAddress(name, text, parsedHost, parsedPort, error))
            throw CLI::ValidationError(error);
        if (parsedPort == 0 && !portZeroAllowed)
            throw CLI::ValidationError(name + " wants HOST:PORT, got " + text);
        host = parsedHost;
        port = parsedPort;
    };
    return app.add_option_function<std::string>(name, std::move(store))->type_name("HOST:PORT");
}

// "http://HOST[:PORT]" or "https://…", as a browser's Origin header names a site.
bool isOrigin(const std::string& text)
{
    for (const std::string scheme : {"http://", "https://"}) {
        if (text.compare(0, scheme.size(), scheme) != 0)
            continue;
        const std::string authority = text.substr(scheme.size());
        return !authority.empty() && authority.find_first_of("/?#@ ") == std::string::npos;
    }
    return false;
}

// The web face's browser and metrics checks: both options may be given any number of times.
void addWebAccessOptions(CLI::App& app, std::vector<std::string>& origins, std::vector<std::string>& peers)
{
    app.add_option_function<std::vector<std::string>>(
           "--allowed-origin",
           [&origins](const std::vector<std::string>& texts) {
               for (const std::string& text : texts)
                   if (!isOrigin(text))
                       throw CLI::ValidationError("--allowed-origin wants http(s)://HOST[:PORT], got " +
                                                  text);
               origins = texts;
           },
           "let pages of this origin POST and open WebSockets on the web face besides its own "
           "(repeatable)")
        ->type_name("URL")
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    app.add_option_function<std::vector<std::string>>(
           "--metrics-allow",
           [&peers](const std::vector<std::string>& texts) {
               for (const std::string& text : texts)
                   if (!AddressRange::parse(text))
                       throw CLI::ValidationError("--metrics-allow wants an address or CIDR block, got " +
                                                  text);
               peers = texts;
           },
           "serve /metrics without a token to peers in CIDR (repeatable; default 127.0.0.0/8 and ::1)")
        ->type_name("CIDR")
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
}

} // namespace

void ServerOptions::addTokenOptions(CLI::App& app)
{
    app.add_option("--keys", keysFile,
                   "require tokens; those with a kid are checked with that key of the JWK Set in FILE (EC "
                   "P-256 keys for ES256, oct keys for HS256); reread on SIGHUP")
        ->type_name("FILE");
    addNumberOption(app, "--max-token-lifetime", maxTokenLifetime, TokenPolicy::kShortestLifetimeSeconds,
                    TokenPolicy::kLongestLifetimeSeconds, "wants 60 to 2592000 seconds")
        ->type_name("SECONDS")
        ->description("refuse tokens whose exp is more than this after their iat (60 to 2592000)");
    CLI::Option* legacy =
        app.add_flag("--accept-legacy-tokens", acceptLegacyTokens,
                     "also take the old EXPIRY.HEX tokens signed with --secret-file (deprecated: they carry "
                     "no scope and cannot be revoked by time)");
    legacy->needs(app.get_option("--secret-file"));
    CLI::Option* signing =
        app.add_option("--signing-key", signingKeyFile,
                       "sign the narrower tokens the service hands out with the EC P-256 private key in FILE "
                       "(PEM; its public key must be in --keys) instead of the secret")
            ->type_name("FILE");
    signing->needs(app.get_option("--keys"));
}

bool ServerOptions::readTokenSetup(TokenSetup& out, std::string& error) const
{
    TokenSetup setup;
    setup.policy.maxLifetimeSeconds = maxTokenLifetime;
    setup.policy.acceptLegacy = acceptLegacyTokens;
    if (!checksTokens()) {
        out = std::move(setup);
        return true;
    }
    if (!KeySet::load(secretFile, keysFile, setup.keys, error))
        return false;
    if (!signingKeyFile.empty()) {
        setup.signer = TokenSigner::withPrivateKeyFile(signingKeyFile, error);
        if (!setup.signer)
            return false;
        const KeySet::Key* key = setup.keys->find(setup.signer->keyId());
        if (!key || key->algorithm != "ES256") {
            error = "the signing key " + signingKeyFile + " (kid " + setup.signer->keyId() +
                    ") has no public key in " + keysFile + ": add it (keygen --out-jwks does)";
            return false;
        }
    } else if (const KeySet::Key* secretKey = setup.keys->find("")) {
        setup.signer = TokenSigner::withSecret(secretKey->material);
    }
    out = std::move(setup);
    return true;
}

void ServerOptions::addOptionsTo(CLI::App& app)
{
    // As with most programs, an option given twice takes its last value.
    app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    addAddressOption(app, "--listen", host, port, true)
        ->description("IP address and port to listen on; port 0 picks one")
        ->default_str(host + ":" + std::to_string(port));
    app.add_option_function<std::string>(
           "--secret-file",
           [this](const std::string& path) {
               std::string text, error;
               if (!SecretFile::read(path, text, error))
                   throw CLI::ValidationError(error);
               secret = text;
               secretFile = path;
           },
           "require tokens; those without a kid are checked HS256 with the secret in FILE (16 to 4096 "
           "bytes); without it or --keys identities are trusted as sent")
        ->type_name("FILE");
    addTokenOptions(app);
    addNumberOption(app, "--broadcast-hz", broadcastHz, 1, 1000, "wants 1 to 1000")
        ->description("count broadcasts per sub-channel and second, at most (1 to 1000)");
    addNumberOption(app, "--fanout-budget", fanoutBudget, 1, 1000000000, "wants 1 to 1000000000")
        ->description("count broadcast frames sent a second to all sessions, at most; large audiences "
                      "get a lower rate, never below 1 Hz (1 to 1000000000)");
    addNumberOption(app, "--answer-hold-ms", answerHoldMs, 0, 1000, "wants 0 to 1000")
        ->description("how long a vote's answer may wait to leave in one packet with the broadcast "
                      "that counts it, at most one broadcast interval; 0 sends every answer at once");
    addNumberOption(app, "--max-sessions", maxSessions, 1, 10000000, "wants a positive number")
        ->description("sessions served at once; lowered to what the open-file limit allows");
    addNumberOption(app, "--max-sessions-per-user", maxSessionsPerUser, 1, 10000000,
                    "wants a positive number")
        ->description("sessions one user (a uid in a channel) may hold at once");
    addNumberOption(app, "--requests-per-second", requestsPerSecond, 1, 100000, "wants 1 to 100000")
        ->description("requests a session (or one user's plain web requests) may make per second on "
                      "average; more are refused with result 19 (1 to 100000)");
    addNumberOption(app, "--request-burst", requestBurst, 1, 100000, "wants 1 to 100000")
        ->description("requests a session may make at once before --requests-per-second holds (1 to "
                      "100000)");
    app.add_option_function<std::string>(
           "--data",
           [this](const std::string& folder) {
               if (folder.empty())
                   throw CLI::ValidationError("--data wants a folder");
               dataDir = folder;
           },
           "keep votes, history and users in DIR/votes.db, durable")
        ->type_name("DIR")
        ->default_str("./" + dataDir);
    app.add_flag("--memory", memoryOnly, "keep everything in memory only (lost when the service ends)");
    CLI::Option* redisPlace = RedisOptions::addTo(
        app, redis,
        "keep everything in Redis, shared with every quorix-voted started with the same Redis (several "
        "nodes): HOST:PORT, tls://HOST:PORT or unix:PATH; --data, --memory and --redis exclude each other",
        false);
    RedisOptions::addClusterTo(app, redisCluster, redisPlace);
    app.add_flag(
        "--redis-allow-eviction", redisAllowEviction,
        "start even when Redis may evict keys (maxmemory-policy other than noeviction), with a warning");
    app.add_option("--redis-min-replicas", redisMinReplicas,
                   "answer a change only once N Redis replicas hold it (WAIT); one not confirmed within "
                   "500 ms is answered as uncertain. Default: 1 when Redis has a replica at start, else 0")
        ->type_name("N")
        ->check(CLI::Range(0, 16))
        ->default_str("auto");
    app.add_option_function<std::string>(
           "--http",
           [this](const std::string& text) {
               std::string parsedHost, error;
               if (!readAddress("--http", text, parsedHost, httpPort, error))
                   throw CLI::ValidationError(error);
               httpHost = parsedHost;
           },
           "also serve the web face (HTTP API, event streams, viewer WebSocket) on HOST:PORT, an IP address "
           "and a port; port 0 picks one")
        ->type_name("HOST:PORT");
    app.add_option("--web-root", webRoot,
                   "folder the web face serves the overlay and viewer pages from (default: share/quorix/web "
                   "beside bin/, else the source tree's web/)")
        // Without its own description the check would show in the help as DIR:DIR.
        ->check(CLI::ExistingDirectory.description(""))
        ->type_name("DIR");
    addNumberOption(app, "--http-max-connections", httpMaxConnections, 1, 1000000, "wants a positive number")
        ->description("web connections served at once; more are answered 503");
    addWebAccessOptions(app, allowedOrigins, metricsAllow);
    maxConnectionsPerAddress = kDefaultConnectionsPerAddress;
    addNumberOption(app, "--max-connections-per-address", maxConnectionsPerAddress, 0, 10000000,
                    "wants a number (0: no limit)")
        ->description("connections one address (IPv6: one /64) may hold open on each listener; more are "
                      "refused (0: no limit)");
    maxNewConnectionsPerAddressPerSecond = kDefaultNewConnectionsPerAddressPerSecond;
    addNumberOption(app, "--max-new-connections-per-address-per-second", maxNewConnectionsPerAddressPerSecond,
                    0, 10000000, "wants a number (0: no limit)")
        ->description(
            "new connections and TLS handshakes one address (IPv6: one /64) may start per second on "
            "each listener; more are refused (0: no limit)");
    addNumberOption(app, "--drain-timeout", drainTimeoutSeconds, 1, 3600, "wants 1 to 3600 seconds")
        ->description("on SIGTERM or SIGINT, seconds to finish the work in flight before the rest is cut")
        ->type_name("SECONDS");
    app.add_option_function<std::string>(
           "--log-level",
           [this](const std::string& level) {
               if (!ServiceLog::levelNamed(level))
                   throw CLI::ValidationError("--log-level wants error, warning or info, got " + level);
               logLevel = level;
           },
           "write log lines of this priority and more severe ones: error, warning or info")
        ->type_name("LEVEL")
        ->default_str("info");
    app.add_option_function<std::string>(
           "--time-zone",
           [this](const std::string& zone) {
               if (!TimeTextFormatter::knowsZone(zone))
                   throw CLI::ValidationError(
                       "--time-zone wants UTC or a zone name such as Asia/Shanghai, got " + zone);
               timeZone = zone;
           },
           "write history times in ZONE (UTC or an IANA name such as Asia/Shanghai)")
        ->type_name("ZONE")
        ->default_str("the system's zone");
    app.add_option_function<std::string>(
           "--audit-log",
           [this](const std::string& target) {
               if (target.empty())
                   throw CLI::ValidationError("--audit-log wants a file or journal");
               auditLog = target;
           },
           "write one JSON line per manager request (and refusal) to FILE (created 0600, appended; "
           "reopened on SIGHUP), or to the systemd journal with the word journal")
        ->type_name("FILE|journal");
    addWebhookOptions(app);
    CLI::Option* certificate =
        app.add_option(
               "--tls-cert", tlsCertificateFile,
               "serve TLS 1.2 or newer on --listen and --http with the certificate chain in FILE (PEM)")
            ->type_name("FILE");
    CLI::Option* key =
        app.add_option("--tls-key", tlsKeyFile, "the private key of --tls-cert (PEM, without a pass phrase)")
            ->type_name("FILE");
    certificate->needs(key);
    key->needs(certificate);
    app.add_flag("--insecure-no-auth", insecureNoAuth,
                 "serve a --listen or --http address that is not loopback without --secret-file or --keys: "
                 "every peer is trusted as it claims");
}

void ServerOptions::addWebhookOptions(CLI::App& app)
{
    CLI::Option* url =
        app.add_option_function<std::string>(
               "--webhook",
               [this](const std::string& text) {
                   if (text.rfind("https://", 0) != 0 && text.rfind("http://", 0) != 0)
                       throw CLI::ValidationError("--webhook wants an https:// address, got " + text);
                   webhookUrl = text;
               },
               "POST the vote events of every channel without a webhook of its own to URL, signed with "
               "--webhook-secret-file")
            ->type_name("URL");
    CLI::Option* secretFile = app.add_option_function<std::string>(
                                     "--webhook-secret-file",
                                     [this](const std::string& path) {
                                         std::string text, error;
                                         if (!SecretFile::read(path, text, error, "webhook secret"))
                                             throw CLI::ValidationError(error);
                                         webhookSecret = text;
                                     },
                                     "the secret (16 to 4096 bytes) that signs the requests of --webhook")
                                  ->type_name("FILE");
    url->needs(secretFile);
    secretFile->needs(url);
    app.add_flag("--webhook-allow-http", webhookAllowHttp,
                 "allow plain http:// webhooks (tests and development only: events travel unencrypted)");
    app.add_option("--webhook-ca-file", webhookCaFile,
                   "trust webhook certificates signed by a CA in FILE (PEM) besides the system's CAs")
        ->type_name("FILE");
    addNumberOption(app, "--webhook-queue-limit", webhookQueueLimit, 10, 100000, "wants 10 to 100000")
        ->description("vote events kept per channel while its webhook does not answer; past it the "
                      "oldest waiting one is dropped (10 to 100000)");
}

bool ServerOptions::isLoopback(const std::string& address)
{
    in_addr v4{};
    if (inet_pton(AF_INET, address.c_str(), &v4) == 1)
        return (ntohl(v4.s_addr) >> 24) == 127;
    in6_addr v6{};
    if (inet_pton(AF_INET6, address.c_str(), &v6) != 1)
        return false;
    if (IN6_IS_ADDR_LOOPBACK(&v6))
        return true;
    return IN6_IS_ADDR_V4MAPPED(&v6) && v6.s6_addr[12] == 127;
}

bool ServerOptions::openOnlyWhereSafe(std::string& error) const
{
    if (checksTokens() || insecureNoAuth)
        return true;
    const std::string* exposed = !isLoopback(host)                    ? &host
                                 : httpHost && !isLoopback(*httpHost) ? &*httpHost
                                                                      : nullptr;
    if (exposed == nullptr)
        return true;
    error = std::string(exposed == &host ? "--listen " : "--http ") + *exposed +
            " is not a loopback address and no keys check tokens: give --secret-file FILE or --keys FILE "
            "(docs/vote-service.md, Tokens and keys), or --insecure-no-auth to trust every peer as it claims";
    return false;
}

bool ServerOptions::loadTls(std::string& error)
{
    if (tlsCertificateFile.empty())
        return true;
    tls = TlsServerContext::load(tlsCertificateFile, tlsKeyFile, error);
    return tls != nullptr;
}

bool ServerOptions::storageChoiceIsClear(const CLI::App& app, std::string& error) const
{
    // Each storage option names one place for the data; two of them leave it unclear which was meant.
    const bool dataGiven = app.count("--data") > 0;
    if (memoryOnly && dataGiven)
        error = "--memory and --data cannot be combined: choose one";
    else if (usesRedis() && (memoryOnly || dataGiven))
        error = std::string(usesRedisCluster() ? "--redis-cluster and " : "--redis and ") +
                (memoryOnly ? "--memory" : "--data") + " cannot be combined: choose one";
    else if (!usesRedis())
        return redisOptionsNeedAPlace(app, error);
    else if (usesRedisCluster())
        return RedisOptions::consistent(redisClusterSeeds(), error);
    else if (!redis.consistent(error))
        return false;
    else
        return true;
    return false;
}

bool ServerOptions::redisOptionsNeedAPlace(const CLI::App& app, std::string& error)
{
    std::vector<std::string> names(std::begin(RedisOptions::kCredentialOptions),
                                   std::end(RedisOptions::kCredentialOptions));
    names.insert(names.end(), {"--redis-allow-eviction", "--redis-min-replicas"});
    for (const std::string& name : names) {
        if (app.count(name) > 0) {
            error = name + " requires --redis or --redis-cluster";
            return false;
        }
    }
    return true;
}

std::vector<RedisAddress> ServerOptions::redisClusterSeeds() const
{
    return RedisOptions::withCredentials(redis, redisCluster);
}

bool ServerOptions::parse(const std::vector<std::string>& args, ServerOptions& out, bool& help,
                          std::string& error)
{
    help = false;
    CLI::App app("The Quorix vote service over TCP.", "quorix-voted");
    out.addOptionsTo(app);
    // CLI11 takes the arguments last first.
    std::vector<std::string> reversed(args.rbegin(), args.rend());
    try {
        app.parse(reversed);
    } catch (const CLI::CallForHelp&) {
        help = true;
        return true;
    } catch (const CLI::ParseError& e) {
        error = refusalText(app, e);
        return false;
    }
    return out.storageChoiceIsClear(app, error) && out.openOnlyWhereSafe(error) && out.loadTls(error) &&
           out.loadTokens(error);
}

} // namespace quorix::service
