#pragma once

// One chaos run: the cluster, its seeded faults, and a driver that plays rounds of a normal vote
// on one or more channels at once through the real TCP transport while the faults strike. On each
// channel a manager session updates, starts, ends and closes the vote of each round; a few hundred
// viewer sessions, spread over the channels, give each option one vote at a steady pace, each on a
// node of its own choosing and on another after its connection broke. After each round ended,
// every viewer's ticket state and the round's history entry are checked (one ChaosLedger per
// channel). The last round is left running; then the faults stop, a fresh node is started, and
// from it each channel's running vote's remaining time, every viewer's session and the whole
// history are checked.

#include "tests/chaos/chaoscluster.h"
#include "tests/chaos/chaosledger.h"
#include "voteservice/core/sessionidentity.h"
#include "tests/support/tcptestclient.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <random>
#include <string>
#include <vector>

namespace quorix::service::test {

struct ChaosOptions
{
    std::string votedPath;
    ChaosMode mode = ChaosMode::Redis;
    int seconds = 30;
    std::uint64_t seed = 1;
    int viewers = 300;
    int nodes = 3;
    // Channels voting at once, the viewers dealt out over them.
    int channels = 1;
    std::uint32_t roundSeconds = 15;
    // False: no faults, a measuring run (the report's voting figures then say what Redis costs).
    bool faults = true;
    // Given to the nodes as --redis-min-replicas; below 0 leaves their default.
    int minReplicas = -1;
    // Asked while the run goes on: true ends it early, with the final checks.
    std::function<bool()> stopRequested;
};

struct ChaosReport
{
    double minutes = 0;
    std::map<std::string, int> faults;
    std::uint64_t acknowledged = 0;
    std::uint64_t counted = 0;
    std::uint64_t unknown = 0;
    // Acknowledged votes the service no longer counts (each also a violation).
    std::uint64_t lostAcknowledged = 0;
    int channels = 0;
    std::map<std::uint32_t, std::uint64_t> refusals;
    std::size_t rounds = 0;
    std::vector<std::string> violations;
    // While viewers voted (rounds' starts, ends and checks left out): seconds, votes acknowledged,
    // and the processor seconds all Redis servers used.
    double votingSeconds = 0;
    std::uint64_t votingAcknowledged = 0;
    double votingRedisCpuSeconds = 0;
};

std::ostream& operator<<(std::ostream& out, const ChaosReport& report);

class ChaosRun
{
public:
    explicit ChaosRun(ChaosOptions options);

    // Runs to the end; false with a message when the cluster could not be set up.
    bool run(ChaosReport& report, std::string& error);

private:
    using Clock = std::chrono::steady_clock;
    using Client = std::unique_ptr<TcpTestClient>;

    struct Viewer
    {
        SessionIdentity identity;
        Client client;
        std::size_t channel = 0;
        // The viewer's place in its channel's ledger.
        std::size_t seat = 0;
        std::uint32_t nextOption = 0;
    };

    struct Round
    {
        std::uint32_t jiFangId = 0;
        Clock::time_point endsAt;
    };

    struct Channel
    {
        std::uint32_t id = 0;
        SessionIdentity managerIdentity;
        Client manager;
        std::uint32_t voteId = 0;
        ChaosLedger ledger;
        std::vector<std::size_t> viewers;
        std::optional<Round> round;
    };

    Client connectTo(std::uint16_t port, const SessionIdentity& identity);
    Client connectAnywhere(const SessionIdentity& identity);
    // Sends the request until an answer of minRes arrives (a new connection after each silence);
    // nullopt when none came within two minutes.
    template <class Res, class Req>
    std::optional<Res> ask(Client& client, const SessionIdentity& identity, std::uint32_t minReq,
                           const Req& request, std::uint32_t minRes);

    bool createVote(Channel& channel);
    void updateVote(Channel& channel, const std::string& name, std::uint32_t limitSeconds);
    std::optional<Round> startRound(Channel& channel, std::uint32_t limitSeconds);
    std::optional<Round> learnRunningRound(Channel& channel);
    void voteUntil(Clock::time_point until);
    void sendBatch(std::size_t size);
    void endRound(Channel& channel);
    void checkTickets(Channel& channel);
    void closeRound(Channel& channel);
    void finalChecks(std::uint16_t freshPort, Channel& channel);
    bool stopRequested() const;
    void fillReport(ChaosReport& report) const;
    std::uint64_t acknowledged() const;
    // Votes until the time, adding what it took to the report's voting figures.
    void measuredVoting(Clock::time_point until, ChaosReport& report);

    ChaosOptions m_options;
    ChaosCluster m_cluster;
    std::mt19937_64 m_random;
    std::vector<Channel> m_channels;
    std::vector<Viewer> m_viewers;
    std::size_t m_nextViewer = 0;
};

} // namespace quorix::service::test
