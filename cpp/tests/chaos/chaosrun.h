#pragma once

// One chaos run: the cluster, its seeded faults, and a driver that plays rounds of a normal vote
// through the real TCP transport while the faults strike. A manager session updates, starts, ends
// and closes the vote of each round; a few hundred viewer sessions give each option one vote at a
// steady pace, each on a node of its own choosing and on another after its connection broke. After
// each round ended, every viewer's ticket state and the round's history entry are checked
// (ChaosLedger). The last round is left running; then the faults stop, a fresh node is started,
// and from it the running vote's remaining time, every viewer's session and the whole history are
// checked.

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
    std::uint32_t roundSeconds = 15;
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
    std::map<std::uint32_t, std::uint64_t> refusals;
    std::size_t rounds = 0;
    std::vector<std::string> violations;
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
        std::uint32_t nextOption = 0;
    };

    struct Round
    {
        std::uint32_t jiFangId = 0;
        Clock::time_point endsAt;
    };

    Client connectTo(std::uint16_t port, const SessionIdentity& identity);
    Client connectAnywhere(const SessionIdentity& identity);
    // Sends the request until an answer of minRes arrives (a new connection after each silence);
    // nullopt when none came within two minutes.
    template <class Res, class Req>
    std::optional<Res> ask(Client& client, const SessionIdentity& identity, std::uint32_t minReq,
                           const Req& request, std::uint32_t minRes);

    bool createVote();
    void updateVote(const std::string& name, std::uint32_t limitSeconds);
    std::optional<Round> startRound(std::uint32_t limitSeconds);
    std::optional<Round> learnRunningRound();
    void voteUntil(const Round& round, Clock::time_point until);
    void sendBatch(const Round& round, std::size_t size);
    void endRound(const Round& round);
    void checkTickets(const Round& round);
    void closeRound(const Round& round);
    void finalChecks(const Round& last);
    bool stopRequested() const;

    ChaosOptions m_options;
    ChaosCluster m_cluster;
    ChaosLedger m_ledger;
    std::mt19937_64 m_random;
    SessionIdentity m_managerIdentity;
    Client m_manager;
    std::vector<Viewer> m_viewers;
    std::size_t m_nextViewer = 0;
    std::uint32_t m_voteId = 0;
};

} // namespace quorix::service::test
