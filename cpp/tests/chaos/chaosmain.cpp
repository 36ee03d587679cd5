// quorix-chaos: a long fault-injection run (scripts/chaos). Prints the run's figures and every
// violation; exits 0 when there was none, 1 when there were, 2 for bad options.

#include "tests/chaos/chaosrun.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <iostream>
#include <string>

using namespace quorix::service::test;

namespace {

volatile std::sig_atomic_t g_stop = 0;

void requestStop(int)
{
    g_stop = 1;
}

constexpr const char* kUsage =
    "usage: quorix-chaos [--minutes N] [--seed S] [--mode redis|failover|cluster|sqlite] "
    "[--viewers N] [--nodes N] [--channels N] [--min-replicas N] [--faults on|none] [--voted PATH]";

bool readMode(const std::string& value, ChaosMode& mode)
{
    for (const auto& [name, known] : kModeNames) {
        if (value == name) {
            mode = known;
            return true;
        }
    }
    return false;
}

bool parse(int argc, char** argv, ChaosOptions& options, std::string& error)
{
    for (int i = 1; i < argc; ++i) {
        const std::string name = argv[i];
        if (i + 1 >= argc) {
            error = name + " wants a value";
            return false;
        }
        const std::string value = argv[++i];
        char* end = nullptr;
        const unsigned long long number = std::strtoull(value.c_str(), &end, 10);
        const bool numeric = !value.empty() && *end == '\0';
        if (name == "--mode" && readMode(value, options.mode))
            continue;
        if (name == "--faults" && (value == "none" || value == "on")) {
            options.faults = value == "on";
            continue;
        }
        if (name == "--min-replicas" && numeric && number <= 16) {
            options.minReplicas = int(number);
        } else if (name == "--voted") {
            options.votedPath = value;
        } else if (name == "--seed" && numeric) {
            options.seed = number;
        } else if (name == "--minutes" && numeric && number >= 1 && number <= 24 * 60) {
            options.seconds = int(number * 60);
        } else if (name == "--viewers" && numeric && number >= 1 && number <= 5000) {
            options.viewers = int(number);
        } else if (name == "--nodes" && numeric && number >= 1 && number <= 8) {
            options.nodes = int(number);
        } else if (name == "--channels" && numeric && number >= 1 && number <= 200) {
            options.channels = int(number);
        } else {
            error = "bad option " + name + " " + value;
            return false;
        }
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    ChaosOptions options;
    options.votedPath = QUORIX_VOTED_PATH;
    options.channels = 0;
    options.seconds = 60;
    options.seed = std::uint64_t(std::chrono::system_clock::now().time_since_epoch().count());
    std::string error;
    if (!parse(argc, argv, options, error)) {
        std::cerr << "quorix-chaos: " << error << "\n" << kUsage << "\n";
        return 2;
    }
    if (options.mode == ChaosMode::Sqlite)
        options.nodes = 1;
    // A cluster spreads its channels over the shards.
    if (options.channels == 0)
        options.channels = options.mode == ChaosMode::Cluster ? 30 : 1;
    std::cout << "chaos " << modeName(options.mode) << " seed " << options.seed << ", " << options.nodes
              << " node(s), " << options.channels << " channel(s), " << options.viewers << " viewers"
              << std::endl;
    // Interrupted, the run still stops its processes and reports what it saw.
    std::signal(SIGINT, requestStop);
    std::signal(SIGTERM, requestStop);
    options.stopRequested = [] { return g_stop != 0; };
    ChaosRun run(options);
    ChaosReport report;
    if (!run.run(report, error)) {
        std::cerr << "quorix-chaos: " << error << "\n";
        return 1;
    }
    std::cout << report;
    return report.violations.empty() ? 0 : 1;
}
