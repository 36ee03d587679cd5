#pragma once

// One load-generator run against a vote service: connect every session, measure the service's
// memory while they are idle, then one manager creates and starts a normal vote and the viewers
// vote at a set pace; every accepted vote's latency runs from its sending to the first vote
// broadcast the voter receives after the vote's answer.

#include "bench/service/loadclient.h"
#include "bench/service/loadresults.h"
#include "bench/service/loadsubscriber.h"

#include <boost/asio.hpp>

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace quorix::loadgen {

namespace asio = boost::asio;

struct LoadOptions
{
    std::size_t sessions = 10000; // this run's sessions
    // Index of this run's first session among all runs' (index 0 is the manager, who creates,
    // starts and ends the vote; the others are viewers).
    std::size_t firstIndex = 0;
    std::uint32_t votesPerViewer = 3;
    std::uint32_t votesPerSecond = 20000; // 0: all at once
    // Sessions are spread over the services in turn; the manager uses the first.
    std::vector<asio::ip::tcp::endpoint> services;
    std::vector<pid_t> servicePids; // for memory and processor figures, summed; empty when unknown
    std::size_t connectsInFlight = 256;
    // Session i binds 127.0.0.(1 + i / services.size() % sourceAddresses) before it connects.
    std::uint32_t sourceAddresses = 1;
    // Events WebSocket subscribers of the vote's sub-channel, spread over these web faces.
    std::size_t subscribers = 0;
    // Viewers on the /session WebSocket of the same sub-channel, reading its vote messages.
    std::size_t webViewers = 0;
    // The /session viewers cast the votes (votesPerViewer each) and the host viewers only watch.
    bool webVoting = false;
    std::vector<asio::ip::tcp::endpoint> webServices;
    std::size_t webClients() const { return subscribers + webViewers; }
    std::chrono::seconds deadline{180};
    // Called when the viewers start voting and when the last vote was answered and broadcast.
    std::function<void()> atVotingStart;
    std::function<void()> atVotingEnd;
    // Runs split over several processes: each run calls whenWelcomed once its sessions were
    // welcomed and whenVotesDone once its votes were answered and broadcast, and goes on when (and
    // if) it calls the function it was given. The run that holds the manager tells atVoteStarted
    // the vote it started; the others vote once given it by beginVoting.
    std::function<void(std::function<void()> proceed)> whenWelcomed;
    std::function<void(std::function<void()> proceed)> whenVotesDone;
    std::function<void(std::uint32_t voteId, std::uint32_t jiFangId)> atVoteStarted;
};

class LoadRun
{
public:
    LoadRun(asio::io_context& io, LoadOptions options);

    // Runs the whole scenario; returns false (with failure()) when it could not finish.
    bool run();
    const LoadResults& results() const { return m_results; }
    const std::string& failure() const { return m_failure; }

    // Lets a run without the manager vote in the vote the manager started.
    void beginVoting(std::uint32_t voteId, std::uint32_t jiFangId);
    void fail(const std::string& what);

    void onFrame(LoadClient& client, std::uint32_t maxType, std::uint32_t minType,
                 const std::string& payload);
    void onClosed(LoadClient& client);
    void onFailed(LoadClient& client, const std::string& what);

    static long rssKiB(pid_t pid);
    static double cpuSeconds(pid_t pid);
    static double runDelaySeconds(pid_t pid);
    template <class Measure> double sumOverServices(Measure measure) const
    {
        double sum = 0;
        for (pid_t pid : m_options.servicePids)
            sum += double(measure(pid));
        return sum;
    }

private:
    enum class Phase
    {
        Connecting,
        Subscribing,
        Idle,
        Creating,
        Starting,
        Voting,
        Ending,
        Done
    };

    void connectMore();
    void subscribeMore();
    void afterWelcomed();
    void onSubscribed();
    void idleThenMeasure();
    void onWelcome(LoadClient& client, const std::string& payload);
    void measureIdle();
    void onManagerFrame(std::uint32_t minType, const std::string& payload);
    void paceVotes();
    void paceHostVotes(std::uint64_t due);
    void paceWebVotes(std::uint64_t due);
    void sendVote(LoadClient& client);
    void sendWebVote(LoadSubscriber& viewer);
    void onViewerText(LoadSubscriber& viewer, const std::string& text);
    void onVoteAnswer(VoterState& voter, std::uint32_t result);
    void onVoteBroadcast(LoadClient& client, const std::string& payload);
    void countBroadcast(VoterState& voter, std::size_t bytes);
    void maybeEnd();
    void endVoting();
    void onBroadcastWhileEnding(LoadClient& client, const std::string& payload);
    void finish();
    bool holdsManager() const { return m_options.firstIndex == 0; }

    asio::io_context& m_io;
    LoadOptions m_options;
    LoadResults m_results;
    std::string m_failure;
    Phase m_phase = Phase::Connecting;
    std::vector<std::shared_ptr<LoadClient>> m_clients;
    std::vector<std::shared_ptr<LoadSubscriber>> m_subscribers;
    std::size_t m_subscribing = 0;
    std::size_t m_nextToConnect = 0;
    std::size_t m_connecting = 0;
    asio::steady_timer m_timer;
    asio::steady_timer m_deadline;
    std::uint32_t m_voteId = 0;
    std::uint32_t m_jiFangId = 0;
    std::size_t m_voteCursor = 0;
    std::uint64_t m_plannedVotes = 0;
    std::uint64_t m_answered = 0;
    std::uint64_t m_awaitingBroadcast = 0;
    Clock::time_point m_firstVote;
    Clock::time_point m_lastAnswer;
    Clock::time_point m_paceStart;
    double m_cpuAtStart = 0;
    double m_runDelayAtStart = 0;
};

} // namespace quorix::loadgen
