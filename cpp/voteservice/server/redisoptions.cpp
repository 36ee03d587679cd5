#include "voteservice/server/redisoptions.h"

#include "voteservice/auth/secretfile.h"

#include <CLI/CLI.hpp>

#include <algorithm>

namespace quorix::service {

CLI::Option* RedisOptions::addTo(CLI::App& app, RedisAddress& address, const std::string& what,
                                 bool credentialsNeedPlace)
{
    CLI::Option* place = app.add_option_function<std::string>(
                                "--redis",
                                [&address](const std::string& text) {
                                    std::string error;
                                    if (!RedisAddress::parse("--redis", text, address, error))
                                        throw CLI::ValidationError(error);
                                },
                                what)
                             ->type_name("HOST:PORT|tls://HOST:PORT|unix:PATH");
    app.add_option("--redis-user", address.user,
                   "log in to Redis as this ACL user (with --redis-password-file)")
        ->type_name("NAME");
    app.add_option_function<std::string>(
           "--redis-password-file",
           [&address](const std::string& path) {
               std::string password, error;
               if (!SecretFile::read(path, password, error, "Redis password"))
                   throw CLI::ValidationError(error);
               address.password = password;
           },
           "send AUTH with the password in FILE (16 to 4096 bytes) on every connection to Redis")
        ->type_name("FILE");
    app.add_option("--redis-ca-file", address.caFile,
                   "with tls://: trust the Redis certificate signed by a CA in FILE (PEM; default: the "
                   "system's CAs)")
        ->type_name("FILE");
    CLI::Option* certificate =
        app.add_option("--redis-cert", address.certificateFile,
                       "with tls://: show Redis the client certificate chain in FILE (PEM)")
            ->type_name("FILE");
    CLI::Option* key = app.add_option("--redis-key", address.keyFile,
                                      "the private key of --redis-cert (PEM, without a pass phrase)")
                           ->type_name("FILE");
    certificate->needs(key);
    key->needs(certificate);
    if (credentialsNeedPlace) {
        for (const char* name : kCredentialOptions)
            app.get_option(name)->needs(place);
    }
    return place;
}

CLI::Option* RedisOptions::addClusterTo(CLI::App& app, std::vector<RedisAddress>& seeds, CLI::Option* redis)
{
    return app
        .add_option_function<std::string>(
            "--redis-cluster",
            [&seeds](const std::string& text) {
                std::string error;
                if (!parseSeeds(text, seeds, error))
                    throw CLI::ValidationError(error);
            },
            "keep everything in a Redis Cluster instead, reached through these seed nodes (the --redis-user "
            "... --redis-key options apply to every node); --redis and --redis-cluster exclude each other")
        ->type_name("HOST:PORT[,HOST:PORT...]")
        ->excludes(redis);
}

std::vector<RedisAddress> RedisOptions::withCredentials(const RedisAddress& credentials,
                                                        const std::vector<RedisAddress>& seeds)
{
    std::vector<RedisAddress> nodes;
    for (const RedisAddress& seed : seeds) {
        RedisAddress node = credentials;
        node.transport = seed.transport;
        node.host = seed.host;
        node.port = seed.port;
        node.socketPath.clear();
        nodes.push_back(node);
    }
    return nodes;
}

bool RedisOptions::consistent(const std::vector<RedisAddress>& nodes, std::string& error)
{
    return std::all_of(nodes.begin(), nodes.end(),
                       [&](const RedisAddress& node) { return node.consistent(error); });
}

bool RedisOptions::parseSeeds(const std::string& text, std::vector<RedisAddress>& seeds, std::string& error)
{
    seeds.clear();
    std::size_t from = 0;
    while (from <= text.size()) {
        const std::size_t comma = std::min(text.find(',', from), text.size());
        RedisAddress seed;
        if (!RedisAddress::parse("--redis-cluster", text.substr(from, comma - from), seed, error))
            return false;
        if (seed.transport == RedisAddress::Transport::Unix) {
            error = "--redis-cluster wants HOST:PORT or tls://HOST:PORT seeds: cluster nodes are reached "
                    "over TCP";
            return false;
        }
        if (seeds.size() == kMaxSeeds) {
            error = "--redis-cluster takes at most " + std::to_string(kMaxSeeds) + " seed nodes";
            return false;
        }
        seeds.push_back(seed);
        from = comma + 1;
    }
    return true;
}

} // namespace quorix::service
