#include "bench/service/servicenodes.h"

#include "voteservice/server/serveroptions.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <thread>

extern char** environ;

namespace quorix::loadgen {

namespace {
// The port of a "listening on HOST:PORT" log line, or 0.
std::uint16_t portOfLine(const std::string& text)
{
    const auto at = text.find("listening on ");
    std::string host;
    std::uint16_t port = 0;
    if (at == std::string::npos)
        return 0;
    const std::size_t end = text.find_first_of(", \n", at + 13);
    if (!service::ServerOptions::parseHostPort(text.substr(at + 13, end - at - 13), host, port))
        return 0;
    return port;
}

std::vector<std::string> commandLineOf(const LoadgenArguments& args, const std::string& redis)
{
    // Each node holds its share of the sessions (they are dealt out in turn).
    const std::size_t connections =
        (args.load.sessions + args.load.webClients() + args.nodes - 1) / args.nodes;
    // Every session comes from a loopback address: the per-address limits would refuse most of them.
    std::vector<std::string> all{args.server,
                                 "--listen",
                                 "127.0.0.1:0",
                                 "--max-sessions",
                                 std::to_string(connections + 16),
                                 "--broadcast-hz",
                                 std::to_string(args.broadcastHz),
                                 "--fanout-budget",
                                 std::to_string(args.fanoutBudget),
                                 "--answer-hold-ms",
                                 std::to_string(args.answerHoldMs),
                                 "--max-connections-per-address",
                                 "0",
                                 "--max-new-connections-per-address-per-second",
                                 "0"};
    if (args.load.webClients() > 0) {
        for (const char* option : {"--http", "127.0.0.1:0", "--http-max-connections"})
            all.emplace_back(option);
        all.push_back(std::to_string(args.load.webClients() + 64));
    }
    if (!redis.empty()) {
        all.push_back("--redis");
        all.push_back(redis);
    } else if (args.dataDir.empty()) {
        all.push_back("--memory");
    } else {
        all.push_back("--data");
        all.push_back(args.dataDir);
    }
    return all;
}
} // namespace

ServiceNodes::~ServiceNodes()
{
    stop();
}

bool ServiceNodes::start(const LoadgenArguments& args, std::string& error)
{
    m_redisAddress = args.redis;
    if (args.redis.empty() && args.nodes > 1) {
        m_ownRedis = std::make_unique<service::test::RedisTestServer>(
            service::test::RedisTestServer::Persistence::None, args.nodes * 64);
        if (!m_ownRedis->start(&error))
            return false;
        m_redisAddress = m_ownRedis->address();
    }
    for (std::uint32_t i = 0; i < args.nodes; ++i) {
        std::uint16_t port = 0, webPort = 0;
        const pid_t pid = startOne(args, port, webPort);
        if (pid == 0) {
            error = "could not start " + args.server;
            return false;
        }
        m_hosts.emplace_back(boost::asio::ip::address_v4::loopback(), port);
        if (webPort != 0)
            m_webFaces.emplace_back(boost::asio::ip::address_v4::loopback(), webPort);
    }
    return true;
}

void ServiceNodes::stop()
{
    for (pid_t pid : m_pids) {
        ::kill(pid, SIGTERM);
        ::waitpid(pid, nullptr, 0);
    }
    m_pids.clear();
    m_ownRedis.reset();
}

// Starts quorix-voted on a free port; returns its pid and port (and its web port with
// --subscribers or --web-viewers), or pid 0.
pid_t ServiceNodes::startOne(const LoadgenArguments& args, std::uint16_t& port, std::uint16_t& webPort)
{
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return 0;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDERR_FILENO);
    std::vector<std::string> all = commandLineOf(args, m_redisAddress);
    std::vector<char*> argv;
    for (std::string& a : all)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, args.server.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    if (spawned != 0) {
        ::close(fds[0]);
        return 0;
    }
    m_pids.push_back(pid);
    FILE* err = ::fdopen(fds[0], "r");
    // Lines before the listening ones (where the web pages come from) are passed on.
    char line[1024];
    port = webPort = 0;
    while (port == 0 || (args.load.webClients() > 0 && webPort == 0)) {
        if (!std::fgets(line, sizeof line, err))
            return 0;
        std::cerr << "service: " << line;
        const bool web = std::string(line).find("http listening on ") != std::string::npos;
        if (const std::uint16_t listening = portOfLine(line))
            (web ? webPort : port) = listening;
    }
    // Keep draining the service's log so it never blocks on a full pipe.
    std::thread([err] {
        char rest[1024];
        while (std::fgets(rest, sizeof rest, err))
            std::cerr << "service: " << rest;
        std::fclose(err);
    }).detach();
    return pid;
}

} // namespace quorix::loadgen
