// quorix-loadgen: opens N sessions to quorix-voted over loopback, runs one vote and reports accepted
// votes per second, vote-to-broadcast latency and the service's memory per idle session.
//
//   quorix-loadgen [--sessions N] [--votes-per-viewer K] [--rate VOTES_PER_SECOND | --rate 0]
//                  [--server PATH] [--broadcast-hz N] [--data DIR | --redis HOST:PORT [--nodes N]]
//                  [--connect HOST:PORT[,HOST:PORT...] [--pid PID[,PID...]]] [--subscribers N]
//
// With --subscribers the started services also serve their web face (--http) and N events
// WebSocket subscribers watch the vote's sub-channel while the viewers vote.
// Without --connect it starts the quorix-voted beside itself on a free port and stops it afterwards;
// with --redis it starts --nodes of them (default 2) sharing that Redis, spreads the sessions over
// them and reports the Redis commands per accepted vote (INFO commandstats before and after).

#include "clisupport.h"
#include "loadrun.h"
#include "serveroptions.h"

#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <hiredis/hiredis.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstdio>
#include <iostream>
#include <sstream>
#include <thread>

extern char** environ;

using namespace quorix;

namespace {

struct Arguments
{
    loadgen::LoadOptions load;
    std::string server;
    std::string connect;
    std::uint32_t broadcastHz = 10;
    std::string dataDir; // empty: the started service keeps everything in memory
    std::string redis;   // HOST:PORT; set: the started services share their state there
    std::uint32_t nodes = 2;
    std::string pids;
};

std::vector<std::string> splitList(const std::string& text)
{
    std::vector<std::string> items;
    std::size_t from = 0;
    while (from <= text.size()) {
        const std::size_t comma = std::min(text.find(',', from), text.size());
        items.push_back(text.substr(from, comma - from));
        from = comma + 1;
    }
    return items;
}

// Commands Redis ran, all of them (those scripts call included) and script calls alone, and the
// processor time it used.
struct RedisCalls
{
    std::uint64_t all = 0;
    std::uint64_t scripts = 0;
    double cpuSeconds = 0;
};

bool readRedisCalls(const std::string& address, RedisCalls& calls)
{
    std::string host;
    std::uint16_t port = 0;
    if (!service::ServerOptions::parseHostPort(address, host, port))
        return false;
    redisContext* context = redisConnect(host.c_str(), port);
    if (context == nullptr || context->err != 0) {
        if (context != nullptr)
            redisFree(context);
        return false;
    }
    auto* reply = static_cast<redisReply*>(redisCommand(context, "INFO commandstats cpu"));
    const bool ok = reply != nullptr && reply->type == REDIS_REPLY_STRING;
    if (ok) {
        calls = RedisCalls{};
        std::istringstream lines(std::string(reply->str, reply->len));
        std::string line;
        while (std::getline(lines, line)) {
            if (line.rfind("used_cpu_user:", 0) == 0 || line.rfind("used_cpu_sys:", 0) == 0)
                calls.cpuSeconds += std::strtod(line.c_str() + line.find(':') + 1, nullptr);
            const auto at = line.find(":calls=");
            if (line.rfind("cmdstat_", 0) != 0 || at == std::string::npos)
                continue;
            const std::uint64_t n = std::strtoull(line.c_str() + at + 7, nullptr, 10);
            const std::string name = line.substr(8, at - 8);
            calls.all += n;
            if (name == "evalsha" || name == "eval")
                calls.scripts += n;
        }
    }
    if (reply != nullptr)
        freeReplyObject(reply);
    redisFree(context);
    return ok;
}

void raiseDescriptorLimit()
{
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
    }
}

std::string besideMe(const std::string& name)
{
    char path[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0)
        return name;
    std::string self(path, static_cast<std::size_t>(n));
    return self.substr(0, self.rfind('/') + 1) + name;
}

void addOptions(CLI::App& app, Arguments& args)
{
    using service::addNumberOption;
    app.set_version_flag("--version", "quorix-loadgen " QUORIX_VERSION);
    app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    addNumberOption(app, "--sessions", args.load.sessions, 2, 100000000, "wants 2 to 100000000")
        ->description("sessions to open: one manager, the rest viewers");
    addNumberOption(app, "--votes-per-viewer", args.load.votesPerViewer, 1, 40, "wants 1 to 40")
        ->description("tickets each viewer casts");
    addNumberOption(app, "--rate", args.load.votesPerSecond, 0, 100000000, "wants 0 to 100000000")
        ->type_name("VOTES_PER_SECOND")
        ->description("pace of the votes over all viewers; 0 sends them all at once");
    addNumberOption(app, "--subscribers", args.load.subscribers, 0, 1000000, "wants 0 to 1000000")
        ->description("events WebSocket subscribers of the vote's sub-channel (started services only)");
    addNumberOption(app, "--broadcast-hz", args.broadcastHz, 1, 100000000, "wants 1 to 100000000")
        ->description("--broadcast-hz of the started services");
    app.add_option("--server", args.server, "quorix-voted to start")
        ->type_name("PATH")
        ->capture_default_str();
    app.add_option("--data", args.dataDir, "data folder of the started service (default: memory only)")
        ->type_name("DIR");
    app.add_option("--redis", args.redis, "start --nodes services sharing this Redis and count its commands")
        ->type_name("HOST:PORT");
    addNumberOption(app, "--nodes", args.nodes, 1, 16, "wants 1 to 16")
        ->description("services started with --redis");
    app.add_option("--connect", args.connect, "use these running services instead of starting one")
        ->type_name("HOST:PORT[,HOST:PORT...]");
    app.add_option("--pid", args.pids,
                   "process ids of the --connect services, for their memory and processor time")
        ->type_name("PID[,PID...]");
    app.footer("Without --connect it starts the quorix-voted beside itself on a free port and stops it "
               "afterwards; with --redis it starts --nodes of them sharing that Redis.");
}

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

// Starts quorix-voted on a free port; returns its pid and port (and its web port with
// --subscribers), or pid 0.
pid_t startService(const Arguments& args, std::uint16_t& port, std::uint16_t& webPort)
{
    int fds[2];
    if (::pipe(fds) != 0)
        return 0;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDERR_FILENO);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    std::vector<std::string> all{args.server,
                                 "--listen",
                                 "127.0.0.1:0",
                                 "--max-sessions",
                                 std::to_string(args.load.sessions + args.load.subscribers + 16),
                                 "--broadcast-hz",
                                 std::to_string(args.broadcastHz)};
    if (args.load.subscribers > 0) {
        for (const char* option : {"--http", "127.0.0.1:0", "--http-max-connections"})
            all.emplace_back(option);
        all.push_back(std::to_string(args.load.subscribers + 64));
    }
    if (!args.redis.empty()) {
        all.push_back("--redis");
        all.push_back(args.redis);
    } else if (args.dataDir.empty()) {
        all.push_back("--memory");
    } else {
        all.push_back("--data");
        all.push_back(args.dataDir);
    }
    std::vector<char*> argv;
    for (std::string& a : all)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, args.server.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    if (spawned != 0)
        return 0;
    FILE* err = ::fdopen(fds[0], "r");
    char line[1024];
    if (!std::fgets(line, sizeof line, err))
        return 0;
    std::cerr << "service: " << line;
    port = portOfLine(line);
    if (port == 0)
        return 0;
    while (args.load.subscribers > 0 && webPort == 0) {
        if (!std::fgets(line, sizeof line, err))
            return 0;
        std::cerr << "service: " << line;
        if (std::string(line).find("http listening on ") != std::string::npos)
            webPort = portOfLine(line);
    }
    // Keep draining the service's log so it never blocks on a full pipe.
    std::thread([err] {
        char rest[1024];
        while (std::fgets(rest, sizeof rest, err))
            std::cerr << "service: " << rest;
    }).detach();
    return pid;
}

double percentile(std::vector<double>& values, double p)
{
    if (values.empty())
        return 0;
    const std::size_t k =
        std::min(values.size() - 1, static_cast<std::size_t>(p * double(values.size() - 1) + 0.5));
    std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(k), values.end());
    return values[k];
}

void report(const Arguments& args, loadgen::LoadResults results)
{
    double load[3] = {0, 0, 0};
    if (getloadavg(load, 3) == 3)
        std::printf("machine load average        %.2f %.2f %.2f (%ld processors)\n", load[0], load[1],
                    load[2], sysconf(_SC_NPROCESSORS_ONLN));
    // With subscribers, the sessions' share is read before they came.
    const long sessionsKiB = results.rssWelcomedKiB != 0 ? results.rssWelcomedKiB : results.rssIdleKiB;
    const double perSession =
        results.welcomed == 0 || sessionsKiB == 0
            ? 0
            : double(sessionsKiB - results.rssBeforeKiB) * 1024.0 / double(results.welcomed);
    std::printf("sessions welcomed           %zu (one manager, %zu viewers, one sub-channel)\n",
                results.welcomed, results.welcomed - 1);
    std::printf("services                    %zu%s\n", args.load.services.size(),
                args.redis.empty() ? "" : (" sharing Redis at " + args.redis).c_str());
    std::printf("service RSS before / idle   %ld KiB / %ld KiB\n", results.rssBeforeKiB, results.rssIdleKiB);
    std::printf("service memory per session  %.0f bytes\n", perSession);
    std::printf("votes sent / accepted       %llu / %llu (pace %u votes/s%s, %u per viewer)\n",
                static_cast<unsigned long long>(results.votesSent),
                static_cast<unsigned long long>(results.accepted), args.load.votesPerSecond,
                args.load.votesPerSecond == 0 ? ": all at once" : "", args.load.votesPerViewer);
    for (const auto& [code, count] : results.refusedByCode)
        std::printf("refused with result %-8u %llu\n", code, static_cast<unsigned long long>(count));
    std::printf("accepted votes per second   %.0f (%.3f s from first vote to last answer)\n",
                results.votingSeconds > 0 ? double(results.accepted) / results.votingSeconds : 0.0,
                results.votingSeconds);
    if (results.serviceCpuSeconds > 0)
        std::printf(
            "service processor time      %.2f s while voting (%.0f accepted votes per service CPU second)\n",
            results.serviceCpuSeconds, double(results.accepted) / results.serviceCpuSeconds);
    std::printf("service waiting for a CPU   %.2f s while voting (ready to run while other processes ran)\n",
                results.serviceRunDelaySeconds);
    rusage self{};
    getrusage(RUSAGE_SELF, &self);
    std::printf("load generator processor    %.2f s over the whole run\n",
                double(self.ru_utime.tv_sec + self.ru_stime.tv_sec) +
                    double(self.ru_utime.tv_usec + self.ru_stime.tv_usec) / 1e6);
    std::vector<double>& latencies = results.latenciesMs;
    std::printf("vote-to-broadcast latency   p50 %.1f ms, p99 %.1f ms, max %.1f ms (%zu votes)\n",
                percentile(latencies, 0.50), percentile(latencies, 0.99), percentile(latencies, 1.0),
                latencies.size());
    std::printf("vote broadcasts received    %llu\n",
                static_cast<unsigned long long>(results.broadcastsReceived));
    if (args.load.subscribers > 0) {
        std::printf("events subscribers          %zu subscribed, %llu events received (snapshots included)\n",
                    results.subscribed, static_cast<unsigned long long>(results.eventsReceived));
        std::printf("service memory per subscriber %.0f bytes\n",
                    double(results.rssIdleKiB - results.rssWelcomedKiB) * 1024.0 /
                        double(results.subscribed));
    }
    std::printf("final broadcast total       %llu tickets (%s)\n",
                static_cast<unsigned long long>(results.finalTotal),
                results.finalSeen && results.finalTotal == results.accepted
                    ? "matches the accepted votes"
                    : "DOES NOT match the accepted votes");
}

// Starts the services the arguments ask for; false when one did not start.
bool startServices(Arguments& args, std::vector<pid_t>& started)
{
    const std::uint32_t count = args.redis.empty() ? 1 : args.nodes;
    for (std::uint32_t i = 0; i < count; ++i) {
        std::uint16_t port = 0, webPort = 0;
        const pid_t pid = startService(args, port, webPort);
        if (pid == 0)
            return false;
        started.push_back(pid);
        args.load.services.emplace_back(boost::asio::ip::make_address("127.0.0.1"), port);
        if (webPort != 0)
            args.load.webServices.emplace_back(boost::asio::ip::make_address("127.0.0.1"), webPort);
    }
    args.load.servicePids = started;
    return true;
}

bool useRunningServices(Arguments& args)
{
    for (const std::string& address : splitList(args.connect)) {
        std::string host;
        std::uint16_t port = 0;
        if (!service::ServerOptions::parseHostPort(address, host, port))
            return false;
        args.load.services.emplace_back(boost::asio::ip::make_address(host), port);
    }
    if (args.pids.empty())
        return true;
    for (const std::string& pid : splitList(args.pids)) {
        std::uint64_t n = 0;
        if (!service::ServerOptions::parseNumber(pid, 1u << 30, n))
            return false;
        args.load.servicePids.push_back(static_cast<pid_t>(n));
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    Arguments args;
    args.server = besideMe("quorix-voted");
    CLI::App app("Opens sessions to quorix-voted, runs one vote and reports what the service did.",
                 "quorix-loadgen");
    addOptions(app, args);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        // --help and --version end with status 0.
        if (e.get_exit_code() == 0)
            return app.exit(e);
        std::cerr << "quorix-loadgen: " << service::refusalText(app, e) << "\n";
        return 2;
    }
    raiseDescriptorLimit();
    std::vector<pid_t> started;
    if (args.connect.empty()) {
        if (!startServices(args, started)) {
            std::cerr << "quorix-loadgen: could not start " << args.server << "\n";
            for (pid_t pid : started)
                ::kill(pid, SIGTERM);
            return 1;
        }
    } else if (args.load.subscribers > 0) {
        std::cerr << "quorix-loadgen: --subscribers needs the services it starts (not --connect)\n";
        return 2;
    } else if (!useRunningServices(args)) {
        std::cerr << "quorix-loadgen: --connect wants HOST:PORT[,HOST:PORT...], --pid PID[,PID...]\n";
        return 2;
    }
    RedisCalls before, after;
    bool redisCounted = false;
    if (!args.redis.empty()) {
        args.load.atVotingStart = [&] { redisCounted = readRedisCalls(args.redis, before); };
        args.load.atVotingEnd = [&] { redisCounted = redisCounted && readRedisCalls(args.redis, after); };
    }
    boost::asio::io_context io(1);
    loadgen::LoadRun run(io, args.load);
    const bool ok = run.run();
    report(args, run.results());
    if (redisCounted && run.results().accepted > 0) {
        // Less the INFO that took the second reading.
        const double votes = double(run.results().accepted);
        std::printf(
            "Redis commands per vote     %.3f script calls, %.2f commands counting those scripts ran\n",
            double(after.scripts - before.scripts) / votes, double(after.all - before.all - 1) / votes);
        std::printf("Redis processor time        %.2f s while voting\n",
                    after.cpuSeconds - before.cpuSeconds);
    }
    for (pid_t pid : started) {
        ::kill(pid, SIGTERM);
        ::waitpid(pid, nullptr, 0);
    }
    if (!ok)
        std::cerr << "quorix-loadgen: run failed: " << run.failure() << "\n";
    return ok ? 0 : 1;
}
