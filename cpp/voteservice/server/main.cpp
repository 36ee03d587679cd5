// quorix-voted: the vote service over TCP, and `quorix-voted token` to issue HELLO tokens.

#include "descriptorlimit.h"
#include "memoryvotestorage.h"
#include "redisbackend.h"
#include "serveroptions.h"
#include "servicelog.h"
#include "sqlitevotestorage.h"
#include "systemclock.h"
#include "tokenauth.h"
#include "votedatafolder.h"
#include "voteserver.h"

#include <asio.hpp>

#include <sys/resource.h>

#include <csignal>
#include <cstdio>
#include <iostream>
#include <map>
#include <memory>

using namespace quorix::service;

namespace {

// Ten thousand sessions need ten thousand descriptors; take what the hard limit allows.
void raiseDescriptorLimit()
{
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
    }
}

int issueToken(const std::vector<std::string>& args)
{
    std::map<std::string, std::string> values;
    for (std::size_t i = 0; i + 1 < args.size(); i += 2)
        values[args[i]] = args[i + 1];
    if (args.size() % 2 != 0 || values.count("--secret-file") == 0) {
        std::cerr << ServerOptions::usage();
        return 2;
    }
    std::string secret, error;
    if (!ServerOptions::readSecret(values["--secret-file"], secret, error)) {
        std::cerr << "quorix-voted: " << error << "\n";
        return 2;
    }
    std::uint64_t numbers[4] = {0, 0, 0, 0};
    const char* names[4] = {"--uid", "--imid", "--role", "--channel"};
    for (int i = 0; i < 4; ++i) {
        if (!ServerOptions::parseNumber(values[names[i]], 0xffffffffu, numbers[i])) {
            std::cerr << "quorix-voted: " << names[i] << " wants a number from 0 to 4294967295\n";
            return 2;
        }
    }
    std::uint64_t expiry = 0;
    std::uint64_t ttl = 86400;
    if (values.count("--expiry") != 0 &&
        !ServerOptions::parseNumber(values["--expiry"], 1ull << 40, expiry)) {
        std::cerr << "quorix-voted: --expiry wants Unix seconds\n";
        return 2;
    }
    if (values.count("--ttl") != 0 && !ServerOptions::parseNumber(values["--ttl"], 1ull << 32, ttl)) {
        std::cerr << "quorix-voted: --ttl wants seconds\n";
        return 2;
    }
    if (expiry == 0)
        expiry = static_cast<std::uint64_t>(SystemClock().unixSeconds()) + ttl;
    const TokenClaims claims{static_cast<std::uint32_t>(numbers[0]), static_cast<std::uint32_t>(numbers[1]),
                             static_cast<std::uint32_t>(numbers[2]), static_cast<std::uint32_t>(numbers[3])};
    std::cout << TokenAuth(secret).issue(claims, static_cast<std::int64_t>(expiry)) << "\n";
    return 0;
}

// The storage the options ask for; null with a message when it cannot be opened.
std::unique_ptr<VoteStorage> openStorage(const ServerOptions& options, std::string& description)
{
    if (options.memoryOnly) {
        description = "memory only";
        return std::make_unique<MemoryVoteStorage>();
    }
    VoteDataFolder folder = VoteDataFolder::open(options.dataDir);
    for (const std::string& warning : folder.warnings)
        ServiceLog::line(warning);
    if (!folder.storage) {
        ServiceLog::line(folder.error);
        return nullptr;
    }
    description = "data in " + folder.databasePath;
    return std::move(folder.storage);
}

// Serves until a signal stops the server (0) or its storage fails (1): a write or commit that
// fails leaves nothing to serve with, and whatever was answered before is already on disk.
int run(asio::io_context& io, VoteServer& server)
{
    try {
        io.run();
    } catch (const SqliteVoteStorage::Error& e) {
        ServiceLog::line(e.what());
        server.stop();
        ServiceLog::line("exiting: storage failed");
        return 1;
    }
    if (server.storageFailed()) {
        ServiceLog::line("exiting: storage failed");
        return 1;
    }
    ServiceLog::line("stopped");
    return 0;
}

int serve(const std::vector<std::string>& args)
{
    ServerOptions options;
    bool help = false;
    std::string error;
    if (!ServerOptions::parse(args, options, help, error)) {
        std::cerr << "quorix-voted: " << error << "\n" << ServerOptions::usage();
        return 2;
    }
    if (help) {
        std::cout << ServerOptions::usage();
        return 0;
    }
    raiseDescriptorLimit();
    const std::size_t askedSessions = options.maxSessions;
    if (const auto limit = DescriptorLimit::current())
        options.maxSessions =
            DescriptorLimit::sessionsWithin(*limit, askedSessions, VoteServer::kHandshakeSlack);
    // A write beyond a file size limit then fails as a full disk does, instead of killing the process.
    std::signal(SIGXFSZ, SIG_IGN);
    asio::io_context io(1);
    SystemClock clock;
    std::string storageText;
    std::unique_ptr<RedisBackend> redis;
    std::unique_ptr<VoteStorage> local;
    if (options.usesRedis()) {
        redis = RedisBackend::open(options.redisHost, options.redisPort, error);
        if (!redis) {
            ServiceLog::line(error);
            return 1;
        }
        storageText =
            "state shared in Redis at " + options.redisHost + ":" + std::to_string(options.redisPort);
    } else {
        local = openStorage(options, storageText);
        if (!local)
            return 1;
    }
    VoteStorage& storage = redis ? static_cast<VoteStorage&>(redis->storage()) : *local;
    VoteServer server(io, options, clock, storage, redis ? &redis->box() : nullptr);
    if (!server.listen(error)) {
        ServiceLog::line(error);
        return 1;
    }
    // Before "listening" is logged: whoever waits for that line may signal at once.
    asio::signal_set signals(io, SIGINT, SIGTERM);
    signals.async_wait([&](const asio::error_code& ec, int signal) {
        if (ec)
            return;
        ServiceLog::line("signal " + std::to_string(signal) + ": closing " +
                         std::to_string(server.connectionCount()) + " connections and stopping");
        server.stop();
    });
    ServiceLog::line("listening on " + options.host + ":" + std::to_string(server.port()) +
                     ", broadcasts at most " + std::to_string(options.broadcastHz) + " Hz, at most " +
                     std::to_string(options.maxSessions) + " sessions, " + storageText + "; " +
                     (options.secret ? std::string("HELLO tokens required")
                                     : std::string("no secret: identities are trusted as sent")));
    if (options.maxSessions < askedSessions)
        ServiceLog::line("at most " + std::to_string(options.maxSessions) + " sessions instead of " +
                         std::to_string(askedSessions) + ": the open-file limit allows no more");
    return run(io, server);
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    try {
        if (!args.empty() && args[0] == "token")
            return issueToken(std::vector<std::string>(args.begin() + 1, args.end()));
        return serve(args);
    } catch (const std::exception& e) {
        ServiceLog::line(std::string("fatal: ") + e.what());
        return 1;
    }
}
