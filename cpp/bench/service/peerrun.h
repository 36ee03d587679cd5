#pragma once

// The load generator's workload against a bare redis-server, for comparison: every session holds a
// connection subscribed to one channel; each vote is one EVALSHA of a script that checks the
// viewer's per-user and per-option allowance and counts the ticket; at the broadcast rate, when
// counts changed, one script PUBLISHes all counts to every subscriber. The vote-to-broadcast
// latency runs from a vote's sending to the first message its session reads after the answer.

#include "bench/service/latencyhistogram.h"
#include "bench/service/loadresults.h"
#include "bench/service/respconnection.h"

#include <boost/asio.hpp>

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace quorix::loadgen {

struct PeerOptions
{
    std::size_t sessions = 10000; // one watcher that does not vote, the rest viewers
    std::uint32_t votesPerViewer = 3;
    std::uint32_t votesPerSecond = 20000; // 0: all at once
    std::uint32_t broadcastHz = 10;
    std::uint32_t sourceAddresses = 1;
    std::chrono::seconds deadline{180};
    boost::asio::ip::tcp::endpoint redis;
    pid_t redisPid = 0;
};

struct PeerResults
{
    std::size_t subscribed = 0;
    long rssBeforeKiB = 0;
    long rssIdleKiB = 0;
    std::uint64_t votesSent = 0;
    std::uint64_t accepted = 0;
    std::map<std::uint32_t, std::uint64_t> refusedByCode;
    double votingSeconds = 0;
    LatencyHistogram latencies;
    std::uint64_t publishes = 0;
    std::uint64_t broadcastsDelivered = 0; // messages the subscribers read while voting
    double redisCpuSeconds = 0;            // while voting
    // Sessions that read the last message, and its total.
    LoadResults finalCheck;
};

class PeerRun
{
public:
    PeerRun(boost::asio::io_context& io, PeerOptions options);

    // Loads the scripts, subscribes every session, runs the vote; false with failure() otherwise.
    bool run();
    const PeerResults& results() const { return m_results; }
    const std::string& failure() const { return m_failure; }

private:
    using Clock = std::chrono::steady_clock;
    struct Session
    {
        std::shared_ptr<RespConnection> connection;
        std::uint32_t votesSent = 0;
        std::vector<Clock::time_point> awaitingBroadcast;
        bool sawEnd = false;
    };
    struct Voter
    {
        std::shared_ptr<RespConnection> connection;
        std::deque<std::pair<std::size_t, Clock::time_point>> unanswered;
    };

    bool prepareRedis();
    void subscribeMore();
    void onSubscriberReply(std::size_t index, const redisReply& reply);
    void startVoting();
    void paceVotes();
    void sendVote(std::size_t index);
    void onVoteReply(Voter& voter, const redisReply& reply);
    void publishOnTick();
    void publish(const std::string& kind);
    void onMessage(std::size_t index, const std::string& message);
    void maybeEnd();
    void fail(const std::string& what);
    void finish();

    boost::asio::io_context& m_io;
    PeerOptions m_options;
    PeerResults m_results;
    std::string m_failure;
    std::string m_voteSha;
    std::string m_publishSha;
    std::vector<Session> m_sessions;
    std::vector<Voter> m_voters;
    std::shared_ptr<RespConnection> m_publisher;
    std::size_t m_nextToConnect = 0;
    std::size_t m_connecting = 0;
    bool m_voting = false;
    bool m_ending = false;
    bool m_done = false;
    std::size_t m_voteCursor = 1;
    std::uint64_t m_plannedVotes = 0;
    std::uint64_t m_answered = 0;
    std::uint64_t m_awaitingBroadcast = 0;
    std::uint64_t m_acceptedAtLastPublish = 0;
    bool m_publishing = false;
    Clock::time_point m_paceStart;
    Clock::time_point m_lastAnswer;
    double m_cpuAtStart = 0;
    boost::asio::steady_timer m_paceTimer;
    boost::asio::steady_timer m_publishTimer;
    boost::asio::steady_timer m_deadline;
};

} // namespace quorix::loadgen
