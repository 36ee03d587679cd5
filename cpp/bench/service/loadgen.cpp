// quorix-loadgen: opens N sessions to quorix-voted over loopback, runs one vote and reports accepted
// votes per second, vote-to-broadcast latency and the service's memory per idle session.
//
//   quorix-loadgen [--sessions N] [--votes-per-viewer K] [--rate VOTES_PER_SECOND | --rate 0]
//                  [--server PATH] [--broadcast-hz N] [--data DIR | --redis HOST:PORT] [--nodes N]
//                  [--fanout-budget N] [--answer-hold-ms MS] [--processes N] [--source-addresses N] [--peer
//                  redis|bare]
//                  [--deadline SECONDS]
//                  [--connect HOST:PORT[,HOST:PORT...] [--pid PID[,PID...]]] [--subscribers N]
//                  [--web-viewers N]
//
// With --subscribers or --web-viewers the started services also serve their web face (--http) and N
// events WebSocket subscribers, or N /session viewers, watch the vote's sub-channel while the
// viewers vote.
// Without --connect it starts the quorix-voted beside itself on a free port and stops it afterwards;
// with --redis (default 2 nodes) or --nodes above 1 it starts that many sharing one Redis (a
// redis-server of its own without --redis), spreads the sessions over them and reports the Redis
// commands per accepted vote (INFO commandstats before and after). --processes splits the viewers
// over that many copies of itself; --peer bare then writes as many frames of the same size to as
// many sessions over the same time from a sender without logic and compares the processor time per
// delivered frame; --peer redis runs the same workload against a bare
// redis-server and prints both sides' processor time per vote and per broadcast.

#include "bench/service/barerun.h"
#include "bench/service/generatorprocesses.h"
#include "bench/service/loadgencommandline.h"
#include "bench/service/loadrun.h"
#include "bench/service/peerrun.h"
#include "voteservice/server/serveroptions.h"
#include "bench/service/servicenodes.h"

#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <hiredis/hiredis.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstdio>
#include <iostream>
#include <sstream>
#include <thread>

using namespace quorix;
using namespace quorix::loadgen;

namespace {

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

// Raises this process's (and so its children's) open-file limit to the most allowed; returns it.
std::uint64_t raiseDescriptorLimit()
{
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return 1024;
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);
    return limit.rlim_max == RLIM_INFINITY ? std::uint64_t(1) << 20 : std::uint64_t(limit.rlim_max);
}

bool finalTotalsAgree(const LoadResults& results)
{
    return results.finalSessions == results.welcomed && !results.finalTotalsDiffer &&
           results.finalTotal == results.accepted;
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

void report(const LoadgenArguments& args, const LoadResults& results, const std::string& redis)
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
                redis.empty() ? "" : (" sharing Redis at " + redis).c_str());
    std::printf("generator processes         %u, %u source addresses\n", args.processes,
                args.load.sourceAddresses);
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
    std::printf(
        "generator processor time    %.2f s over the whole run (%.2f s in the processes it started)\n",
        double(self.ru_utime.tv_sec + self.ru_stime.tv_sec) +
            double(self.ru_utime.tv_usec + self.ru_stime.tv_usec) / 1e6 + results.generatorChildrenCpuSeconds,
        results.generatorChildrenCpuSeconds);
    const LatencyHistogram& latencies = results.latencies;
    std::printf("vote-to-broadcast latency   p50 %.1f ms, p99 %.1f ms, max %.1f ms (%llu votes)\n",
                latencies.percentile(0.50), latencies.percentile(0.99), latencies.max(),
                static_cast<unsigned long long>(latencies.count()));
    // The service's own part of an answer's wait is bounded (docs/vote-service.md): the hold, at
    // most one broadcast interval, then at most one tick of the server.
    const LatencyHistogram& answers = results.answerLatencies;
    const double tickMs = std::clamp(1000.0 / std::max<std::int64_t>(args.broadcastHz, 1) / 4, 1.0, 25.0);
    const double holdMs =
        std::min<double>(double(args.answerHoldMs), 1000.0 / std::max<std::int64_t>(args.broadcastHz, 1));
    std::printf(
        "vote-to-answer latency      p50 %.1f ms, p99 %.1f ms, max %.1f ms (%llu votes; the service may "
        "hold an answer %.0f ms, plus a %.0f ms tick)\n",
        answers.percentile(0.50), answers.percentile(0.99), answers.max(),
        static_cast<unsigned long long>(answers.count()), holdMs, tickMs);
    std::printf("vote broadcasts received    %llu while voting\n",
                static_cast<unsigned long long>(results.broadcastsReceived));
    // Every answer and every broadcast read while voting is a frame (a message on /session).
    std::uint64_t delivered = results.broadcastsReceived + results.accepted;
    for (const auto& [code, count] : results.refusedByCode)
        delivered += count;
    if (results.serviceCpuSeconds > 0 && delivered > 0)
        std::printf(
            "service CPU per frame       %.2f us (%llu answers and broadcasts delivered while voting)\n",
            results.serviceCpuSeconds * 1e6 / double(delivered), static_cast<unsigned long long>(delivered));
    if (args.load.webClients() > 0) {
        std::printf("web clients                 %zu connected: %zu events subscribers read %llu events "
                    "(snapshots included), %zu /session viewers %llu messages\n",
                    results.subscribed, args.load.subscribers,
                    static_cast<unsigned long long>(results.eventsReceived), args.load.webViewers,
                    static_cast<unsigned long long>(results.viewerMessages));
        std::printf("service memory per web client %.0f bytes\n",
                    double(results.rssIdleKiB - results.rssWelcomedKiB) * 1024.0 /
                        double(results.subscribed));
    }
    std::printf("final broadcast total       %llu tickets read by %zu of %zu sessions (%s)\n",
                static_cast<unsigned long long>(results.finalTotal), results.finalSessions, results.welcomed,
                finalTotalsAgree(results) ? "the same on every node, matching the accepted votes"
                                          : "NOT the same everywhere or NOT matching the accepted votes");
}

bool useRunningServices(LoadgenArguments& args)
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

void writeToStarter(const std::string& text)
{
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

// A generator process started by another: votes in the vote it is told of and hands back its results.
int runSlice(LoadgenArguments& args)
{
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (!useRunningServices(args)) {
        std::cerr << "quorix-loadgen: --connect wants HOST:PORT[,HOST:PORT...]\n";
        return 2;
    }
    boost::asio::io_context io(1);
    args.load.whenWelcomed = [](const std::function<void()>&) { writeToStarter("ready\n"); };
    args.load.whenVotesDone = [](const std::function<void()>& proceed) {
        writeToStarter("voted\n");
        proceed();
    };
    LoadRun run(io, args.load);
    std::thread orders([&io, &run] {
        char line[256];
        unsigned voteId = 0, jiFangId = 0;
        if (std::fgets(line, sizeof line, stdin) && std::sscanf(line, "vote %u %u", &voteId, &jiFangId) == 2)
            boost::asio::post(io, [&run, voteId, jiFangId] { run.beginVoting(voteId, jiFangId); });
        else
            boost::asio::post(io, [&run] { run.fail("the starting process gave no vote"); });
        while (std::fgets(line, sizeof line, stdin)) {
        }
    });
    const bool ok = run.run();
    if (ok)
        writeToStarter("results\n" + resultsToText(run.results()) + "end\n");
    else
        std::cerr << "quorix-loadgen: generator process for sessions " << args.slice << ": " << run.failure()
                  << "\n";
    orders.join();
    return ok ? 0 : 1;
}

// The command line of the generator processes: the run's shape, without what only the starting
// process does.
std::vector<std::string> sliceArguments(const LoadgenArguments& args)
{
    std::string services;
    for (const auto& endpoint : args.load.services)
        services += (services.empty() ? "" : ",") + endpoint.address().to_string() + ":" +
                    std::to_string(endpoint.port());
    return {"--connect",          services,
            "--sessions",         std::to_string(args.load.sessions),
            "--votes-per-viewer", std::to_string(args.load.votesPerViewer),
            "--source-addresses", std::to_string(args.load.sourceAddresses),
            "--deadline",         std::to_string(args.deadlineSeconds)};
}

// Runs the load in this process alone, or holding the manager while --processes others hold the
// viewers; false with failure set when the run did not finish.
bool runLoad(LoadgenArguments& args, LoadResults& results, std::string& failure)
{
    boost::asio::io_context io(1);
    if (args.processes == 1) {
        LoadRun run(io, args.load);
        const bool ok = run.run();
        results = run.results();
        failure = run.failure();
        return ok;
    }
    LoadOptions manager = args.load;
    manager.sessions = 1;
    std::unique_ptr<LoadRun> run;
    std::function<void()> afterReady, afterVotes;
    GeneratorProcesses children(io, {[&] { afterReady(); }, [&] { afterVotes(); },
                                     [&](const std::string& what) { run->fail(what); }});
    // The manager's own welcome starts the viewers' processes; it creates the vote once they are
    // all welcomed, and ends it once they all voted.
    manager.whenWelcomed = [&](std::function<void()> proceed) {
        afterReady = std::move(proceed);
        std::string error;
        const auto slices =
            GeneratorProcesses::slices(args.load.sessions, args.processes, args.load.votesPerSecond);
        if (!children.start(besideMe("quorix-loadgen"), sliceArguments(args), slices, error))
            run->fail(error);
    };
    manager.atVoteStarted = [&](std::uint32_t voteId, std::uint32_t jiFangId) {
        children.beginVoting(voteId, jiFangId);
    };
    manager.whenVotesDone = [&](std::function<void()> proceed) { afterVotes = std::move(proceed); };
    run = std::make_unique<LoadRun>(io, manager);
    bool ok = run->run();
    results = run->results();
    failure = run->failure();
    if (ok && !children.collect(results, failure))
        ok = false;
    return ok;
}

// Processor time per accepted vote and per delivered broadcast, in microseconds.
void printCosts(const char* who, double cpuSeconds, std::uint64_t votes, std::uint64_t broadcasts,
                double p99Ms, double bytesPerSession)
{
    std::printf("%-28s %8.2f s %10.2f µs %12.3f µs %9.1f ms %9.0f B\n", who, cpuSeconds,
                votes == 0 ? 0.0 : cpuSeconds * 1e6 / double(votes),
                broadcasts == 0 ? 0.0 : cpuSeconds * 1e6 / double(broadcasts), p99Ms, bytesPerSession);
}

// The same workload against a bare redis-server; prints both sides' costs. False when the peer run
// failed or miscounted.
bool runPeer(const LoadgenArguments& args, const LoadResults& quorix, double quorixCpuSeconds)
{
    std::string error;
    service::test::RedisTestServer redis(service::test::RedisTestServer::Persistence::None,
                                         args.load.sessions + 64);
    if (!redis.start(&error)) {
        std::cerr << "quorix-loadgen: " << error << "\n";
        return false;
    }
    PeerOptions options;
    options.sessions = args.load.sessions;
    options.votesPerViewer = args.load.votesPerViewer;
    options.votesPerSecond = args.load.votesPerSecond;
    options.broadcastHz = args.broadcastHz;
    options.sourceAddresses = args.load.sourceAddresses;
    options.deadline = args.load.deadline;
    options.redis = {boost::asio::ip::address_v4::loopback(), redis.port()};
    options.redisPid = redis.pid();
    boost::asio::io_context io(1);
    PeerRun run(io, options);
    const bool ran = run.run();
    const PeerResults& peer = run.results();
    const bool counted = ran && peer.accepted == peer.votesSent &&
                         peer.finalCheck.finalSessions == options.sessions &&
                         !peer.finalCheck.finalTotalsDiffer && peer.finalCheck.finalTotal == peer.accepted;
    std::printf(
        "\npeer: bare redis-server      %zu subscribed sessions, %llu of %llu votes accepted in %.3f s, "
        "%llu publishes, %llu messages read while voting; last message's total %llu read by %zu sessions "
        "(%s)\n",
        peer.subscribed, static_cast<unsigned long long>(peer.accepted),
        static_cast<unsigned long long>(peer.votesSent), peer.votingSeconds,
        static_cast<unsigned long long>(peer.publishes),
        static_cast<unsigned long long>(peer.broadcastsDelivered),
        static_cast<unsigned long long>(peer.finalCheck.finalTotal), peer.finalCheck.finalSessions,
        counted ? "every vote counted once" : "MISCOUNTED");
    std::printf("\n%-28s %10s %13s %15s %12s %11s\n", "processor time while voting", "total", "per vote",
                "per broadcast", "p99 latency", "per session");
    const double quorixPerSession = quorix.welcomed == 0 ? 0
                                                         : double(quorix.rssIdleKiB - quorix.rssBeforeKiB) *
                                                               1024.0 / double(quorix.welcomed);
    const std::string quorixSide = "quorix-voted x" + std::to_string(args.nodes) +
                                   (args.nodes > 1 || !args.redis.empty() ? " + Redis" : "");
    printCosts(quorixSide.c_str(), quorixCpuSeconds, quorix.accepted, quorix.broadcastsReceived,
               quorix.latencies.percentile(0.99), quorixPerSession);
    printCosts("peer (redis-server)", peer.redisCpuSeconds, peer.accepted, peer.broadcastsDelivered,
               peer.latencies.percentile(0.99),
               peer.subscribed == 0
                   ? 0
                   : double(peer.rssIdleKiB - peer.rssBeforeKiB) * 1024.0 / double(peer.subscribed));
    if (!ran)
        std::cerr << "quorix-loadgen: peer run failed: " << run.failure() << "\n";
    return counted;
}

// The service's broadcasts while voting, again from the bare sender; prints both sides' processor time
// per delivered frame. False when the bare run failed.
bool runBare(const LoadResults& quorix)
{
    if (quorix.broadcastsReceived == 0 || quorix.welcomed == 0 || quorix.votingSeconds <= 0) {
        std::cerr << "quorix-loadgen: no broadcasts while voting to send again\n";
        return false;
    }
    BareSender::Plan plan;
    plan.sessions = quorix.welcomed;
    plan.frameBytes = static_cast<std::size_t>(quorix.broadcastBytes / quorix.broadcastsReceived);
    plan.ticks = std::max<std::uint64_t>(1, (quorix.broadcastsReceived + plan.sessions / 2) / plan.sessions);
    plan.seconds = quorix.votingSeconds;
    BareRun run(plan);
    if (!run.run()) {
        std::cerr << "quorix-loadgen: bare sender: " << run.failure() << "\n";
        return false;
    }
    const BareRun::Results& bare = run.results();
    std::printf("\nbare sender                 %zu sessions, %llu frames of %zu bytes in %.3f s\n",
                plan.sessions, static_cast<unsigned long long>(bare.framesDelivered), plan.frameBytes,
                plan.seconds);
    const double serviceUs = quorix.serviceCpuSeconds * 1e6 / double(quorix.broadcastsReceived);
    const double bareUs = bare.senderCpuSeconds * 1e6 / double(bare.framesDelivered);
    std::printf("per delivered frame: service %.1f µs, bare sender %.1f µs, ratio %.2f\n", serviceUs, bareUs,
                bareUs > 0 ? serviceUs / bareUs : 0.0);
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    ::signal(SIGPIPE, SIG_IGN);
    const std::uint64_t fileLimit = raiseDescriptorLimit();
    LoadgenCommandLine commandLine(besideMe("quorix-voted"));
    LoadgenArguments& args = commandLine.arguments();
    switch (commandLine.parse(std::vector<std::string>(argv + 1, argv + argc), fileLimit)) {
    case LoadgenCommandLine::Outcome::Help:
    case LoadgenCommandLine::Outcome::Version:
        std::cout << commandLine.text();
        return 0;
    case LoadgenCommandLine::Outcome::Error:
        std::cerr << "quorix-loadgen: " << commandLine.text() << "\n";
        return 2;
    case LoadgenCommandLine::Outcome::Run:
        break;
    }
    if (!args.slice.empty())
        return runSlice(args);
    ServiceNodes nodes;
    if (args.connect.empty()) {
        std::string error;
        if (!nodes.start(args, error)) {
            std::cerr << "quorix-loadgen: " << error << "\n";
            return 1;
        }
        args.load.services = nodes.hosts();
        args.load.webServices = nodes.webFaces();
        args.load.servicePids = nodes.pids();
    } else if (!useRunningServices(args)) {
        std::cerr << "quorix-loadgen: --connect wants HOST:PORT[,HOST:PORT...], --pid PID[,PID...]\n";
        return 2;
    }
    const std::string redis = args.connect.empty() ? nodes.redisAddress() : args.redis;
    RedisCalls before, after;
    bool redisCounted = false;
    if (!redis.empty()) {
        args.load.atVotingStart = [&] { redisCounted = readRedisCalls(redis, before); };
        args.load.atVotingEnd = [&] { redisCounted = redisCounted && readRedisCalls(redis, after); };
    }
    LoadResults results;
    std::string failure;
    const bool ok = runLoad(args, results, failure);
    nodes.stop();
    report(args, results, redis);
    double redisCpu = 0;
    if (redisCounted && results.accepted > 0) {
        // Less the INFO that took the second reading.
        const double votes = double(results.accepted);
        redisCpu = after.cpuSeconds - before.cpuSeconds;
        std::printf(
            "Redis commands per vote     %.3f script calls, %.2f commands counting those scripts ran\n",
            double(after.scripts - before.scripts) / votes, double(after.all - before.all - 1) / votes);
        std::printf("Redis processor time        %.2f s while voting\n", redisCpu);
    }
    if (!ok) {
        std::cerr << "quorix-loadgen: run failed: " << failure << "\n";
        return 1;
    }
    if (results.accepted != results.votesSent || !finalTotalsAgree(results)) {
        std::cerr << "quorix-loadgen: not every vote was accepted and counted once on every node\n";
        return 1;
    }
    if (args.peer == "bare")
        return runBare(results) ? 0 : 1;
    if (!args.peer.empty() && !runPeer(args, results, results.serviceCpuSeconds + redisCpu))
        return 1;
    return 0;
}
