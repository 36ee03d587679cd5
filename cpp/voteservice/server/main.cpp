// quorix-voted: the vote service over TCP, and the commands token (issue a token), keygen (a new
// ES256 key pair), revoke (refuse a user's tokens) and backup (copy a running service's database).

#include "voteservice/server/auditwriter.h"
#include "voteservice/sqlite/databasebackup.h"
#include "voteservice/server/descriptorlimit.h"
#include "voteservice/server/addressrange.h"
#include "voteservice/web/httplistener.h"
#include "voteservice/auth/keypairfiles.h"
#include "voteservice/core/memoryvotestorage.h"
#include "voteservice/redis/redisbackend.h"
#include "voteservice/redis/redisclusterconnection.h"
#include "voteservice/redis/redisconnection.h"
#include "voteservice/redis/redispreflight.h"
#include "voteservice/redis/redisrevocationstore.h"
#include "voteservice/server/serveroptions.h"
#include "voteservice/server/servicedrain.h"
#include "voteservice/core/servicelog.h"
#include "voteservice/sqlite/sqliterevocationstore.h"
#include "voteservice/sqlite/sqlitevotestorage.h"
#include "voteservice/web/staticfiles.h"
#include "voteservice/core/systemclock.h"
#include "voteservice/core/timetextformatter.h"
#include "voteservice/server/tokenrequest.h"
#include "voteservice/sqlite/votedatafolder.h"
#include "voteservice/server/votedcommandline.h"
#include "voteservice/server/voteserver.h"
#include "voteservice/webhook/webhookservice.h"

#include <boost/asio.hpp>

#include <systemd/sd-daemon.h>

#include <sys/resource.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>

using namespace quorix::service;

namespace {

constexpr ServiceLog::Priority kError = ServiceLog::Priority::Error;
constexpr ServiceLog::Priority kWarning = ServiceLog::Priority::Warning;

// Ten thousand sessions need ten thousand descriptors; take what the hard limit allows.
void raiseDescriptorLimit()
{
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
    }
}

int issueToken(const TokenRequest& request, const AccessClaims& claims)
{
    const std::string token = request.signer->sign(claims);
    if (token.empty()) {
        std::cerr << "quorix-voted: the token could not be signed\n";
        return 1;
    }
    std::cout << token << "\n";
    return 0;
}

int generateKeys(const KeygenRequest& request)
{
    KeyPairFiles::Written written;
    std::string error;
    if (!KeyPairFiles::write(request.privateKeyFile, request.jwksFile, written, error)) {
        std::cerr << "quorix-voted: " << error << "\n";
        return 1;
    }
    std::cout << "new ES256 key " << written.keyId << ": private key in " << request.privateKeyFile
              << ", public key added to " << request.jwksFile << " (" << written.keysInSet
              << (written.keysInSet == 1 ? " key)" : " keys)") << "\n";
    return 0;
}

// The store the services of the request's data folder or Redis read; null with a message otherwise.
// The data folder's lock is not taken: a service holding it may be running.
std::unique_ptr<RevocationStore>
openRevocationStore(const RevokeRequest& request, std::unique_ptr<RedisCommands>& redis, std::string& error)
{
    if (request.usesRedis()) {
        if (request.usesRedisCluster())
            redis = std::make_unique<RedisClusterConnection>(request.redisClusterSeeds());
        else
            redis = std::make_unique<RedisConnection>(request.redis);
        if (!redis->connect(error))
            return nullptr;
        return std::make_unique<RedisRevocationStore>(*redis);
    }
    if (!std::filesystem::is_directory(request.dataDir)) {
        error = "the data folder " + request.dataDir + " does not exist";
        return nullptr;
    }
    return SqliteRevocationStore::open((std::filesystem::path(request.dataDir) / "votes.db").string(), error);
}

int revokeTokens(const RevokeRequest& request, const Revocation& revocation)
{
    std::unique_ptr<RedisCommands> redis;
    std::string error;
    const std::unique_ptr<RevocationStore> store = openRevocationStore(request, redis, error);
    if (!store) {
        std::cerr << "quorix-voted: " << error << "\n";
        return 1;
    }
    if (!store->revoke(revocation)) {
        std::cerr << "quorix-voted: the revocation could not be stored\n";
        return 1;
    }
    std::cout << request.describe(revocation) << "\n";
    return 0;
}

// One line on success (0), the reason on standard error otherwise (1).
int backUp(const BackupRequest& request)
{
    try {
        const int pages = DatabaseBackup::copyDataFolder(request.dataDir, request.outFile);
        std::cout << "backup of " << request.dataDir << "/votes.db written to " << request.outFile << " ("
                  << pages << " pages, integrity_check ok)\n";
        return 0;
    } catch (const SqliteVoteStorage::Error& e) {
        std::cerr << "quorix-voted: backup failed: " << e.what() << "\n";
        return 1;
    }
}

// The storage the options ask for; null with a message when it cannot be opened. `databasePath`
// names the data folder's database (empty in memory).
std::unique_ptr<VoteStorage> openStorage(const ServerOptions& options, std::string& description,
                                         std::string& databasePath)
{
    if (options.memoryOnly) {
        description = "memory only";
        return std::make_unique<MemoryVoteStorage>();
    }
    VoteDataFolder folder = VoteDataFolder::open(options.dataDir);
    for (const std::string& warning : folder.warnings)
        ServiceLog::line(kWarning, warning);
    if (!folder.storage) {
        ServiceLog::line(kError, folder.error);
        return nullptr;
    }
    description = "data in " + folder.databasePath;
    databasePath = folder.databasePath;
    return std::move(folder.storage);
}

// Where `quorix-voted revoke` writes revocations for this service: beside the votes, in the data
// folder's database or the shared Redis; none in memory, or without token checks. Null with
// `failed` set when the database's table cannot be opened.
std::unique_ptr<RevocationStore> openRevocations(const ServerOptions& options, RedisBackend* redis,
                                                 const std::string& databasePath, bool& failed)
{
    failed = false;
    if (!options.checksTokens())
        return nullptr;
    if (redis)
        return std::make_unique<RedisRevocationStore>(redis->connection());
    if (databasePath.empty())
        return nullptr;
    std::string error;
    std::unique_ptr<RevocationStore> store = SqliteRevocationStore::open(databasePath, error);
    if (!store) {
        ServiceLog::line(kError, error);
        failed = true;
    }
    return store;
}

// The overlay and viewer pages from --web-root, else from beside the program or the source tree.
void servePages(HttpListener& web, const ServerOptions& options)
{
    std::error_code error;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    const std::optional<std::filesystem::path> root =
        options.webRoot.empty() ? StaticFiles::findRoot(program, QUORIX_SOURCE_WEB_DIR)
                                : std::optional<std::filesystem::path>(options.webRoot);
    if (!root) {
        ServiceLog::line(kWarning,
                         "no web pages found (--web-root DIR names them): /overlay and /vote answer 404");
        return;
    }
    web.setPages(StaticFiles(*root));
    ServiceLog::line("web pages from " + root->string());
}

// Who may use the web face: the server's token checks and open credentials, the origins of
// --allowed-origin, the peers of --metrics-allow (loopback when none are given).
WebAccess webAccessOf(const ServerOptions& options, VoteServer& server)
{
    WebAccess access;
    access.verifier = server.verifier();
    access.signer = [&server] { return server.signer(); };
    access.credentials = &server.openCredentials();
    access.allowedOrigins = options.allowedOrigins;
    if (!options.metricsAllow.empty()) {
        access.metricsPeers.clear();
        for (const std::string& text : options.metricsAllow)
            access.metricsPeers.push_back(*AddressRange::parse(text));
    }
    return access;
}

// What of the options bounds the web face.
WebLimits webLimitsOf(const ServerOptions& options)
{
    WebLimits limits;
    limits.maxConnections = options.httpMaxConnections;
    limits.requestsPerSecond = options.requestsPerSecond;
    limits.requestBurst = options.requestBurst;
    limits.maxConnectionsPerAddress = options.maxConnectionsPerAddress;
    limits.maxNewConnectionsPerAddressPerSecond = options.maxNewConnectionsPerAddressPerSecond;
    return limits;
}

// The web face when --http asks for it; null with nothing logged when not asked, null with the reason
// logged when it cannot listen.
std::unique_ptr<HttpListener> openWeb(asio::io_context& io, const ServerOptions& options, VoteServer& server,
                                      const Clock& clock, WebhookRegistry& webhooks, bool& failed)
{
    failed = false;
    if (!options.httpHost)
        return nullptr;
    auto web =
        std::make_unique<HttpListener>(io, server, clock, webLimitsOf(options), webAccessOf(options, server));
    std::string error;
    if (!web->listen(*options.httpHost, options.httpPort, error)) {
        ServiceLog::line(kError, error);
        failed = true;
        return nullptr;
    }
    web->setMetrics(server.metrics());
    web->setWebhooks(webhooks);
    web->setTls(options.tls);
    servePages(*web, options);
    return web;
}

// Lowers --max-sessions to what the open-file limit allows beside the web connections (served and
// answered 503); returns the number asked for.
std::size_t fitSessionsToDescriptors(ServerOptions& options)
{
    const std::size_t asked = options.maxSessions;
    const std::size_t webConnections =
        options.httpHost ? options.httpMaxConnections + HttpListener::kRefusalSlack : 0;
    if (const auto limit = DescriptorLimit::current())
        options.maxSessions =
            DescriptorLimit::sessionsWithin(*limit, asked, VoteServer::kHandshakeSlack + webConnections);
    return asked;
}

// Parses the command line again, with the configuration file as it is now, and hands the server
// the options read; a command line that no longer parses changes nothing.
void reloadOptions(const std::vector<std::string>& args, VoteServer& server, HttpListener* web)
{
    VotedCommandLine reread;
    if (reread.parse(args, SystemClock().unixSeconds()) != VotedCommandLine::Outcome::Serve) {
        ServiceLog::line(kWarning, "reload: " + reread.text() +
                                       "; nothing changed, keeping the keys and TLS read before");
        return;
    }
    fitSessionsToDescriptors(reread.server());
    if (server.reload(reread.server()) && web) {
        web->setTls(server.tls());
        web->setReloadableLimits(webLimitsOf(server.options()));
    }
}

// SIGHUP rereads the configuration file's reloadable options and the secret, keys and TLS files,
// for the host transport and the web face alike, and reopens the audit file (a rotated one is
// written anew under its name).
void reloadOnHangUp(asio::signal_set& hangUps, const std::vector<std::string>& args, VoteServer& server,
                    HttpListener* web, AuditWriter* audit)
{
    hangUps.async_wait([&hangUps, &args, &server, web, audit](const boost::system::error_code& ec, int) {
        if (ec)
            return;
        reloadOptions(args, server, web);
        // The writer belongs to the core's thread, which writes every entry.
        if (audit)
            server.onCoreThread([audit] {
                std::string error;
                if (!audit->reopen(error))
                    ServiceLog::line(kError, error);
            });
        reloadOnHangUp(hangUps, args, server, web, audit);
    });
}

void warnOfInsecureOptions(const ServerOptions& options)
{
    if (options.acceptLegacyTokens)
        ServiceLog::line(kWarning,
                         "--accept-legacy-tokens: old EXPIRY.HEX tokens are still accepted (deprecated: they "
                         "carry no scope, issue time or id); give hosts tokens of quorix-voted token and "
                         "drop the option");
    if (options.insecureNoAuth && !options.checksTokens())
        ServiceLog::line(kWarning,
                         "--insecure-no-auth: no keys check tokens, every peer is trusted as it claims");
}

// Serves until a signal stops the server (0) or its storage fails (1): a write or commit that
// fails leaves nothing to serve with, and whatever was answered before is already on disk.
int run(asio::io_context& io, VoteServer& server)
{
    io.run();
    if (server.storageFailed()) {
        ServiceLog::line(kError, "exiting: storage failed");
        return 1;
    }
    ServiceLog::line("stopped");
    return 0;
}

std::string clusterText(const std::vector<RedisAddress>& seeds)
{
    std::string text;
    for (const RedisAddress& seed : seeds)
        text += (text.empty() ? "" : ",") + seed.describe();
    return text;
}

// The checks of the Redis before the service uses it: 0 when it may, else the exit status (2 for
// a setup to change: credentials, eviction, ACL; 1 when Redis cannot be reached).
int checkRedis(const ServerOptions& options)
{
    std::string message;
    std::vector<std::string> warnings;
    // A cluster's nodes share one configuration and ACL: the first seed stands for them all.
    const RedisAddress checked =
        options.usesRedisCluster() ? options.redisClusterSeeds().front() : options.redis;
    const RedisPreflight::Verdict verdict = RedisPreflight::check(
        checked, options.redisAllowEviction, options.usesRedisCluster(), message, warnings);
    for (const std::string& warning : warnings)
        ServiceLog::line(kWarning, warning);
    if (verdict == RedisPreflight::Verdict::Ready) {
        ServiceLog::line("Redis at " + checked.describe() + " passed the start-up checks (" +
                         (checked.password.empty() ? std::string("no AUTH") : "AUTH accepted") +
                         ", every command the service uses allowed)");
        return 0;
    }
    ServiceLog::line(kError, message);
    return verdict == RedisPreflight::Verdict::Refused ? 2 : 1;
}

// `args` is the command line, parsed again on SIGHUP.
int serve(ServerOptions& options, const std::vector<std::string>& args)
{
    std::string error;
    ServiceLog::setLevel(*ServiceLog::levelNamed(options.logLevel));
    // Once, before anything formats a time; the zone was checked as the options were read.
    if (!options.timeZone.empty() && !TimeTextFormatter::useZone(options.timeZone)) {
        ServiceLog::line(kError, "unknown time zone " + options.timeZone);
        return 2;
    }
    raiseDescriptorLimit();
    const std::size_t askedSessions = fitSessionsToDescriptors(options);
    // A write beyond a file size limit then fails as a full disk does, instead of killing the process.
    std::signal(SIGXFSZ, SIG_IGN);
    asio::io_context io(1);
    SystemClock clock;
    std::string storageText, databasePath;
    std::unique_ptr<RedisBackend> redis;
    std::unique_ptr<VoteStorage> local;
    if (options.usesRedis()) {
        const int refused = checkRedis(options);
        if (refused != 0)
            return refused;
        redis = options.usesRedisCluster() ? RedisBackend::openCluster(options.redisClusterSeeds(), error)
                                           : RedisBackend::open(options.redis, error);
        if (!redis) {
            ServiceLog::line(kError, error);
            return 1;
        }
        storageText = options.usesRedisCluster() ? "state shared in the Redis Cluster seeded by " +
                                                       clusterText(options.redisClusterSeeds())
                                                 : "state shared in Redis at " + options.redis.describe();
        const int connected = redis->waitForReplicas(options.redisMinReplicas);
        const int asked = redis->replicaWait().replicas();
        if (asked > 0)
            storageText += ", each change confirmed by " + std::to_string(asked) + " replica(s)";
        if (connected >= 0 && asked > connected)
            ServiceLog::line(
                ServiceLog::Priority::Warning,
                "--redis-min-replicas " + std::to_string(asked) + " but Redis has " +
                    std::to_string(connected) +
                    " replica(s) connected: changes are answered as uncertain until more connect");
    } else {
        local = openStorage(options, storageText, databasePath);
        if (!local)
            return 1;
    }
    VoteStorage& storage = redis ? static_cast<VoteStorage&>(redis->storage()) : *local;
    // Before the server, which writes the entries it holds as it stops.
    std::unique_ptr<AuditWriter> audit;
    if (!options.auditLog.empty() && !(audit = AuditWriter::open(options.auditLog, error))) {
        ServiceLog::line(kError, error);
        return 1;
    }
    // Audit entries of the webhook sender's thread are written on the core's, which writes the rest.
    VoteServer* auditing = nullptr;
    const auto webhookAudit = [&auditing, sink = audit.get()](AuditEntry entry) {
        if (sink && auditing)
            auditing->onCoreThread([sink, entry = std::move(entry)] { sink->record(entry); });
    };
    const std::unique_ptr<WebhookService> webhooks = WebhookService::open(
        options, storage, databasePath, redis ? &redis->box() : nullptr, clock, webhookAudit, error);
    if (!webhooks) {
        ServiceLog::line(kError, error);
        return 1;
    }
    VoteServer server(io, options, clock, storage, &webhooks->box());
    auditing = &server;
    webhooks->start(server.metrics());
    server.auditTo(audit.get());
    if (redis) {
        server.metrics().trackRedisRoundTrips();
        redis->connection().setRoundTripHook(
            [&metrics = server.metrics()](double seconds) { metrics.redisRoundTrip(seconds); });
    }
    bool revocationsFailed = false;
    const std::unique_ptr<RevocationStore> revocations =
        openRevocations(options, redis.get(), databasePath, revocationsFailed);
    if (revocationsFailed)
        return 1;
    server.setRevocationStore(revocations.get());
    if (!server.listen(error)) {
        ServiceLog::line(kError, error);
        return 1;
    }
    bool webFailed = false;
    const std::unique_ptr<HttpListener> web =
        openWeb(io, options, server, clock, webhooks->sender(), webFailed);
    if (webFailed)
        return 1;
    // Before "listening" is logged: whoever waits for that line may signal at once.
    asio::signal_set hangUps(io, SIGHUP);
    reloadOnHangUp(hangUps, args, server, web.get(), audit.get());
    asio::signal_set signals(io, SIGINT, SIGTERM);
    ServiceDrain drain(io, server, web.get(), std::chrono::seconds(options.drainTimeoutSeconds),
                       [&signals] { signals.cancel(); });
    signals.async_wait([&](const boost::system::error_code& ec, int signal) {
        if (ec)
            return;
        ServiceLog::line("signal " + std::to_string(signal) + ": stopping");
        sd_notify(0, "STOPPING=1");
        hangUps.cancel();
        // A second signal does not wait for the drain (armed first: a drain with nothing to wait
        // for ends within start() and cancels the wait).
        signals.async_wait([&](const boost::system::error_code& again, int) {
            if (!again)
                drain.cut("second signal");
        });
        drain.start();
    });
    ServiceLog::line("listening on " + options.host + ":" + std::to_string(server.port()) +
                     (options.tls ? ", TLS 1.2 or newer" : "") + ", broadcasts at most " +
                     std::to_string(options.broadcastHz) + " Hz, at most " +
                     std::to_string(options.maxSessions) + " sessions, " + storageText + "; " +
                     (options.checksTokens() ? std::string("HELLO tokens required")
                                             : std::string("no secret: identities are trusted as sent")));
    // After the host transport's line, which tools wait for to learn its port.
    if (web)
        ServiceLog::line("http listening on " + *options.httpHost + ":" + std::to_string(web->port()) +
                         (options.tls ? " (HTTPS, WSS)" : "") +
                         (options.checksTokens() ? "" : " (loopback peers only: no --secret-file)"));
    warnOfInsecureOptions(options);
    if (audit)
        ServiceLog::line("audit trail to " + audit->description());
    if (options.maxSessions < askedSessions)
        ServiceLog::line(kWarning, "at most " + std::to_string(options.maxSessions) +
                                       " sessions instead of " + std::to_string(askedSessions) +
                                       ": the open-file limit allows no more");
    // Ready for systemd (Type=notify) once every listener is open; nothing without NOTIFY_SOCKET.
    sd_notify(0, "READY=1");
    const int status = run(io, server);
    webhooks->stop();
    return status;
}

} // namespace

int main(int argc, char** argv)
{
    try {
        VotedCommandLine commandLine;
        const std::vector<std::string> args(argv + 1, argv + argc);
        switch (commandLine.parse(args, SystemClock().unixSeconds())) {
        case VotedCommandLine::Outcome::Help:
        case VotedCommandLine::Outcome::Version:
            std::cout << commandLine.text();
            return 0;
        case VotedCommandLine::Outcome::Error:
            std::cerr << "quorix-voted: " << commandLine.text() << "\n";
            return 2;
        case VotedCommandLine::Outcome::IssueToken:
            return issueToken(commandLine.token(), commandLine.tokenClaims());
        case VotedCommandLine::Outcome::GenerateKeys:
            return generateKeys(commandLine.keygen());
        case VotedCommandLine::Outcome::Revoke:
            return revokeTokens(commandLine.revoke(), commandLine.revocation());
        case VotedCommandLine::Outcome::Backup:
            return backUp(commandLine.backup());
        case VotedCommandLine::Outcome::Serve:
            break;
        }
        return serve(commandLine.server(), args);
    } catch (const std::exception& e) {
        ServiceLog::line(kError, std::string("fatal: ") + e.what());
        return 1;
    }
}
