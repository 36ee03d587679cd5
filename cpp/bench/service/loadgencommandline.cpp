#include "bench/service/loadgencommandline.h"

#include "voteservice/server/clisupport.h"
#include "voteservice/server/serveroptions.h"

namespace quorix::loadgen {

namespace {
// Files a process needs besides its sessions (logs, pipes, Redis, listening sockets).
constexpr std::uint64_t kSpareFiles = 64;
constexpr std::uint64_t kSessionsPerSourceAddress = 10000;

std::uint64_t ceilDiv(std::uint64_t a, std::uint64_t b)
{
    return (a + b - 1) / b;
}

// The smallest count of processes, each below fileLimit, that hold `files` files.
std::uint64_t processesFor(std::uint64_t files, std::uint64_t fileLimit)
{
    return fileLimit <= kSpareFiles ? files : ceilDiv(files, fileLimit - kSpareFiles);
}
} // namespace

LoadgenCommandLine::LoadgenCommandLine(std::string defaultServer)
    : m_app("Opens sessions to quorix-voted, runs one vote and reports what the service did.",
            "quorix-loadgen")
{
    m_args.server = std::move(defaultServer);
    addOptions();
}

void LoadgenCommandLine::addOptions()
{
    using service::addNumberOption;
    LoadgenArguments& args = m_args;
    m_app.set_version_flag("--version", "quorix-loadgen " QUORIX_VERSION);
    m_app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    addNumberOption(m_app, "--sessions", args.load.sessions, 2, 100000000, "wants 2 to 100000000")
        ->description("sessions to open: one manager, the rest viewers");
    addNumberOption(m_app, "--votes-per-viewer", args.load.votesPerViewer, 1, 40, "wants 1 to 40")
        ->description("tickets each viewer casts");
    addNumberOption(m_app, "--rate", args.load.votesPerSecond, 0, 100000000, "wants 0 to 100000000")
        ->type_name("VOTES_PER_SECOND")
        ->description("pace of the votes over all viewers; 0 sends them all at once");
    addNumberOption(m_app, "--subscribers", args.load.subscribers, 0, 1000000, "wants 0 to 1000000")
        ->description("events WebSocket subscribers of the vote's sub-channel (started services only)");
    addNumberOption(m_app, "--web-viewers", args.load.webViewers, 0, 1000000, "wants 0 to 1000000")
        ->description("/session WebSocket viewers of the vote's sub-channel (started services only)");
    m_app.add_flag("--web-voting", args.load.webVoting,
                   "the /session viewers cast the votes, the host viewers only watch");
    addNumberOption(m_app, "--broadcast-hz", args.broadcastHz, 1, 1000, "wants 1 to 1000")
        ->description("--broadcast-hz of the started services (and of the Redis peer's publishing)");
    addNumberOption(m_app, "--fanout-budget", args.fanoutBudget, 1, 1000000000, "wants 1 to 1000000000")
        ->description("--fanout-budget of the started services");
    addNumberOption(m_app, "--answer-hold-ms", args.answerHoldMs, 0, 1000, "wants 0 to 1000")
        ->description("--answer-hold-ms of the started services");
    m_app.add_option("--server", args.server, "quorix-voted to start")
        ->type_name("PATH")
        ->capture_default_str();
    m_app.add_option("--data", args.dataDir, "data folder of the started service (default: memory only)")
        ->type_name("DIR");
    m_app
        .add_option("--redis", args.redis, "start --nodes services sharing this Redis and count its commands")
        ->type_name("HOST:PORT");
    addNumberOption(m_app, "--nodes", args.nodes, 1, 64, "wants 1 to 64")
        ->description("services to start (default 2 with --redis, else 1); more than one without "
                      "--redis start a redis-server for them")
        ->default_str("");
    addNumberOption(m_app, "--processes", args.processes, 1, 64, "wants 1 to 64")
        ->description("generator processes sharing the viewers");
    addNumberOption(m_app, "--source-addresses", args.sourceAddresses, 0, 254, "wants 0 to 254")
        ->description("loopback source addresses 127.0.0.1 on to spread the sessions over (0: one "
                      "per 10000 sessions)");
    addNumberOption(m_app, "--deadline", args.deadlineSeconds, 10, 86400, "wants 10 to 86400")
        ->description("seconds after which an unfinished run fails");
    m_app
        .add_option("--peer", args.peer,
                    "also run the workload against a bare redis-server (redis), or only its frames from a "
                    "sender without logic (bare), and compare")
        ->check(CLI::IsMember({"redis", "bare"}));
    m_app.add_option("--connect", args.connect, "use these running services instead of starting one")
        ->type_name("HOST:PORT[,HOST:PORT...]");
    m_app
        .add_option("--pid", args.pids,
                    "process ids of the --connect services, for their memory and processor time")
        ->type_name("PID[,PID...]");
    // Given by the generator process that starts the others, not by users.
    m_app.add_option("--slice", args.slice)->group("");
    m_app.footer("Without --connect it starts the quorix-voted beside itself on a free port and stops it "
                 "afterwards; with --redis or --nodes it starts that many sharing one Redis.");
}

LoadgenCommandLine::Outcome LoadgenCommandLine::parse(const std::vector<std::string>& args,
                                                      std::uint64_t fileLimit)
{
    // CLI11 takes the arguments last first.
    std::vector<std::string> reversed(args.rbegin(), args.rend());
    try {
        m_app.parse(reversed);
    } catch (const CLI::CallForHelp&) {
        m_text = m_app.help();
        return Outcome::Help;
    } catch (const CLI::CallForVersion& e) {
        m_text = std::string(e.what()) + "\n";
        return Outcome::Version;
    } catch (const CLI::ParseError& e) {
        m_text = service::refusalText(m_app, e);
        return Outcome::Error;
    }
    m_text = check(fileLimit);
    return m_text.empty() ? Outcome::Run : Outcome::Error;
}

std::string LoadgenCommandLine::check(std::uint64_t fileLimit)
{
    LoadgenArguments& args = m_args;
    const bool starts = args.connect.empty();
    if (args.nodes == 0)
        args.nodes = args.redis.empty() ? 1 : 2;
    args.load.sourceAddresses = args.sourceAddresses != 0
                                    ? args.sourceAddresses
                                    : static_cast<std::uint32_t>(std::min<std::uint64_t>(
                                          254, ceilDiv(args.load.sessions, kSessionsPerSourceAddress)));
    args.load.deadline = std::chrono::seconds(args.deadlineSeconds);
    if (args.load.webVoting && (args.load.webViewers == 0 || args.processes > 1))
        return "--web-voting wants --web-viewers and one process";
    if (!starts && args.load.webClients() > 0)
        return "--subscribers and --web-viewers need the services it starts (not --connect)";
    if (starts && !args.pids.empty())
        return "--pid goes with --connect";
    if (!args.dataDir.empty() && (!args.redis.empty() || args.nodes > 1))
        return "--data is for one service in its own folder: not with --redis or --nodes";
    if (args.processes >= args.load.sessions)
        return "--processes wants fewer processes than --sessions";
    if (!args.peer.empty() && (!starts || args.processes > 1 || args.load.webClients() > 0))
        return "--peer runs in one process against the services it starts: not with --connect, "
               "--processes, --subscribers or --web-viewers";
    if (!args.slice.empty()) {
        std::uint64_t from = 0, n = 0;
        const auto colon = args.slice.find(':');
        if (starts || colon == std::string::npos ||
            !service::ServerOptions::parseNumber(args.slice.substr(0, colon), args.load.sessions - 1, from) ||
            !service::ServerOptions::parseNumber(args.slice.substr(colon + 1), args.load.sessions - from,
                                                 n) ||
            from == 0 || n == 0)
            return "--slice wants FIRST:COUNT within --sessions, with --connect";
        m_sliceFirst = from;
        args.load.firstIndex = from;
        args.load.sessions = n;
        args.processes = 1;
        return "";
    }
    return checkFit(fileLimit);
}

std::string LoadgenCommandLine::checkFit(std::uint64_t fileLimit) const
{
    const LoadgenArguments& args = m_args;
    const std::uint64_t sessions = args.load.sessions;
    const std::uint64_t generatorFiles =
        args.processes == 1 ? sessions + args.load.webClients() : ceilDiv(sessions - 1, args.processes);
    const std::string limit = ": one process may open " + std::to_string(fileLimit) + " files";
    if (generatorFiles + kSpareFiles > fileLimit)
        return "--sessions " + std::to_string(sessions) + " needs --processes " +
               std::to_string(processesFor(sessions + args.load.webClients(), fileLimit)) + " or more" +
               limit;
    const std::uint64_t nodeFiles = ceilDiv(sessions + args.load.webClients(), args.nodes);
    if (args.connect.empty() && nodeFiles + kSpareFiles > fileLimit)
        return "--sessions " + std::to_string(sessions) + " needs --nodes " +
               std::to_string(processesFor(sessions + args.load.webClients(), fileLimit)) + " or more" +
               limit;
    return "";
}

} // namespace quorix::loadgen
