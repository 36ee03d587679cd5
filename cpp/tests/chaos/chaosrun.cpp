#include "tests/chaos/chaosrun.h"

#include "tests/chaos/chaosfaults.h"
#include "voteservice/core/resultcode.h"
#include "tests/support/servicetestsupport.h"

#include <algorithm>
#include <cmath>
#include <thread>

namespace quorix::service::test {

namespace {

constexpr std::uint32_t kChannel = 10;
constexpr std::uint32_t kSubChannel = 20;
constexpr std::uint32_t kManagerUid = 1;
constexpr std::uint32_t kFirstViewerUid = 1000;
// Watches from the fresh node; not one of the managers (kManagerUid on) or viewers.
constexpr std::uint32_t kWatcherUid = 900;
// Longer than a node takes to settle a vote whose reply was lost, plus a pause.
constexpr int kAnswerWaitMs = 9000;
constexpr auto kGiveUpAfter = std::chrono::minutes(2);
constexpr auto kBatchPeriod = std::chrono::milliseconds(100);
// The last round runs on this much longer, so that its remaining time can be checked.
constexpr std::uint32_t kLastRoundExtraSeconds = 60;

void pause(std::chrono::milliseconds time)
{
    std::this_thread::sleep_for(time);
}

} // namespace

std::ostream& operator<<(std::ostream& out, const ChaosReport& report)
{
    out << "minutes " << report.minutes << "\nfaults:";
    for (const auto& [kind, count] : report.faults)
        out << " " << kind << " " << count << ";";
    out << "\nchannels " << report.channels << ", votes acknowledged " << report.acknowledged << ", counted "
        << report.counted << ", unanswered " << report.unknown << ", refused:";
    for (const auto& [code, count] : report.refusals)
        out << " " << code << "x" << count;
    if (report.votingAcknowledged > 0)
        out << "\nvoting " << report.votingSeconds << " s: " << report.votingAcknowledged << " acknowledged, "
            << double(report.votingAcknowledged) / report.votingSeconds << " votes/s, Redis processor "
            << report.votingRedisCpuSeconds << " s, "
            << 1e6 * report.votingRedisCpuSeconds / double(report.votingAcknowledged) << " us per vote";
    out << "\nrounds checked " << report.rounds << " per channel\nacknowledged votes lost "
        << report.lostAcknowledged << "\nviolations " << report.violations.size() << "\n";
    for (std::size_t i = 0; i < report.violations.size() && i < 20; ++i)
        out << "  " << report.violations[i] << "\n";
    return out;
}

ChaosRun::ChaosRun(ChaosOptions options)
    : m_options(std::move(options)),
      m_cluster(m_options.votedPath, m_options.mode, m_options.nodes, m_options.minReplicas),
      m_random(m_options.seed ^ 0x9e3779b97f4a7c15ULL)
{
    const std::size_t channels = std::size_t(std::max(1, m_options.channels));
    for (std::size_t c = 0; c < channels; ++c) {
        const std::uint32_t id = kChannel + std::uint32_t(c);
        const std::size_t seats = std::size_t(m_options.viewers) / channels +
                                  (c < std::size_t(m_options.viewers) % channels ? 1 : 0);
        m_channels.push_back(Channel{id,
                                     identity(kManagerUid + std::uint32_t(c), 255, kSubChannel, id),
                                     {},
                                     0,
                                     ChaosLedger(seats, "channel " + std::to_string(id)),
                                     {},
                                     std::nullopt});
    }
    for (int i = 0; i < m_options.viewers; ++i) {
        Channel& channel = m_channels[std::size_t(i) % channels];
        channel.viewers.push_back(m_viewers.size());
        m_viewers.push_back(Viewer{identity(kFirstViewerUid + std::uint32_t(i), 25, kSubChannel, channel.id),
                                   {},
                                   std::size_t(i) % channels,
                                   channel.viewers.size() - 1,
                                   0});
    }
}

ChaosRun::Client ChaosRun::connectTo(std::uint16_t port, const SessionIdentity& who)
{
    auto client = std::make_unique<TcpTestClient>();
    if (!client->connect(port))
        return nullptr;
    const auto welcome = client->hello(who);
    return welcome && *welcome == 0 ? std::move(client) : nullptr;
}

ChaosRun::Client ChaosRun::connectAnywhere(const SessionIdentity& who)
{
    const std::vector<std::uint16_t> ports = m_cluster.answeringPorts();
    if (ports.empty())
        return nullptr;
    return connectTo(ports[std::uniform_int_distribution<std::size_t>(0, ports.size() - 1)(m_random)], who);
}

template <class Res, class Req>
std::optional<Res> ChaosRun::ask(Client& client, const SessionIdentity& who, std::uint32_t minReq,
                                 const Req& request, std::uint32_t minRes)
{
    const auto until = Clock::now() + kGiveUpAfter;
    while (Clock::now() < until) {
        if (!client)
            client = connectAnywhere(who);
        if (!client) {
            pause(std::chrono::milliseconds(100));
            continue;
        }
        client->seen.clear();
        if (client->sendVote(minReq, request)) {
            const auto answer = client->waitForMessage<Res>(minRes, kAnswerWaitMs);
            client->seen.clear();
            if (answer)
                return answer;
        }
        client.reset();
    }
    return std::nullopt;
}

bool ChaosRun::createVote(Channel& channel)
{
    const PCreateVoteReq create{channel.id,
                                kSubChannel,
                                normalVote("r0", ChaosLedger::kOptions, ChaosLedger::kPerUser,
                                           ChaosLedger::kPerOption, m_options.roundSeconds),
                                {}};
    // Refused for now (Redis busy, a replica's confirmation late): asked again. A create that took
    // effect unconfirmed leaves a vote no round uses.
    for (int attempt = 0; attempt < 10 && channel.voteId == 0; ++attempt) {
        const auto created =
            ask<PCreateVoteRes>(channel.manager, channel.managerIdentity, VOTE_SYSTEM_CREATE_VOTE_REQ, create,
                                VOTE_SYSTEM_CREATE_VOTE_RES);
        if (!created)
            break;
        if (created->result == kResultOk)
            channel.voteId = created->voteId;
        else
            pause(std::chrono::milliseconds(500));
    }
    return channel.voteId != 0;
}

void ChaosRun::updateVote(Channel& channel, const std::string& name, std::uint32_t limitSeconds)
{
    PUpdateVoteReq update{
        channel.id,
        kSubChannel,
        channel.voteId,
        normalVote(name, ChaosLedger::kOptions, ChaosLedger::kPerUser, ChaosLedger::kPerOption, limitSeconds),
        {}};
    update.vote.voteId = channel.voteId;
    const auto until = Clock::now() + kGiveUpAfter;
    while (Clock::now() < until) {
        const auto updated =
            ask<PUpdateVoteRes>(channel.manager, channel.managerIdentity, VOTE_SYSTEM_UPDATE_VOTE_REQ, update,
                                VOTE_SYSTEM_UPDATE_VOTE_RES);
        if (updated && updated->result == kResultOk)
            return;
        pause(std::chrono::milliseconds(200));
    }
    channel.ledger.violation("the vote could not be updated");
}

std::optional<ChaosRun::Round> ChaosRun::startRound(Channel& channel, std::uint32_t limitSeconds)
{
    const PStartVoteReq start{channel.id, kSubChannel, channel.voteId, channel.managerIdentity.uid, {}};
    const auto until = Clock::now() + kGiveUpAfter;
    while (Clock::now() < until) {
        const auto started =
            ask<PStartVoteRes>(channel.manager, channel.managerIdentity, VOTE_SYSTEM_START_VOTE_REQ, start,
                               VOTE_SYSTEM_START_VOTE_RES);
        if (!started)
            break;
        if (started->result == kResultOk)
            return Round{started->jiFangId, Clock::now() + std::chrono::seconds(limitSeconds)};
        // Only a start whose answer was lost before the retry leaves the vote open already.
        if (started->result == kResultAnotherVoteOpen)
            return learnRunningRound(channel);
        pause(std::chrono::milliseconds(200));
    }
    channel.ledger.violation("the vote could not be started");
    return std::nullopt;
}

std::optional<ChaosRun::Round> ChaosRun::learnRunningRound(Channel& channel)
{
    for (int attempt = 0; attempt < 20; ++attempt) {
        channel.manager = connectAnywhere(channel.managerIdentity);
        if (!channel.manager)
            continue;
        const auto shown = channel.manager->waitForMessage<PBroadcastVote>(VOTE_SYSTEM_BROADCAST_VOTE, 3000);
        channel.manager->seen.clear();
        if (shown && shown->vote.voteId == channel.voteId && shown->status == kVoteStarted)
            return Round{shown->jiFangId, Clock::now() + std::chrono::seconds(shown->remainSeconds)};
    }
    channel.ledger.violation("the vote answered 4 at start but no node shows it running");
    return std::nullopt;
}

void ChaosRun::voteUntil(Clock::time_point until)
{
    const auto seconds = std::max<std::int64_t>(
        1, std::chrono::duration_cast<std::chrono::seconds>(until - Clock::now()).count());
    const std::size_t batch = std::size_t(std::ceil(double(m_viewers.size() * ChaosLedger::kOptions) /
                                                    double(seconds * 1000 / kBatchPeriod.count())));
    while (Clock::now() < until && !stopRequested()) {
        const auto next = Clock::now() + kBatchPeriod;
        sendBatch(batch);
        std::this_thread::sleep_until(next);
    }
}

void ChaosRun::sendBatch(std::size_t size)
{
    std::vector<std::size_t> sent;
    for (std::size_t looked = 0; looked < m_viewers.size() && sent.size() < size; ++looked) {
        const std::size_t i = m_nextViewer;
        m_nextViewer = (m_nextViewer + 1) % m_viewers.size();
        Viewer& viewer = m_viewers[i];
        Channel& channel = m_channels[viewer.channel];
        if (viewer.nextOption >= ChaosLedger::kOptions || !channel.round)
            continue;
        if (!viewer.client)
            viewer.client = connectAnywhere(viewer.identity);
        if (!viewer.client)
            continue;
        const PUserVoteReq vote{channel.id,
                                kSubChannel,
                                channel.voteId,
                                kNormalVote,
                                channel.round->jiFangId,
                                viewer.identity.uid,
                                viewer.nextOption,
                                1,
                                {}};
        viewer.client->seen.clear();
        channel.ledger.sent(viewer.seat, viewer.nextOption);
        if (viewer.client->sendVote(VOTE_SYSTEM_USER_VOTE_REQ, vote))
            sent.push_back(i);
        else
            channel.ledger.lost(viewer.seat, viewer.nextOption++);
    }
    const auto until = Clock::now() + std::chrono::milliseconds(kAnswerWaitMs);
    for (std::size_t i : sent) {
        Viewer& viewer = m_viewers[i];
        ChaosLedger& ledger = m_channels[viewer.channel].ledger;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
        const auto answer = viewer.client->waitForMessage<PUserVoteRes>(VOTE_SYSTEM_USER_VOTE_RES,
                                                                        int(std::max<std::int64_t>(left, 1)));
        viewer.client->seen.clear();
        if (answer) {
            ledger.answered(viewer.seat, viewer.nextOption, answer->result);
        } else {
            ledger.lost(viewer.seat, viewer.nextOption);
            viewer.client.reset();
        }
        ++viewer.nextOption;
    }
}

void ChaosRun::endRound(Channel& channel)
{
    std::this_thread::sleep_until(channel.round->endsAt + std::chrono::milliseconds(1500));
    const PEndVoteReq end{channel.id, kSubChannel, channel.voteId, 0, channel.round->jiFangId, {}};
    const auto until = Clock::now() + kGiveUpAfter;
    while (Clock::now() < until) {
        const auto ended = ask<PEndVoteRes>(channel.manager, channel.managerIdentity,
                                            VOTE_SYSTEM_END_VOTE_REQ, end, VOTE_SYSTEM_END_VOTE_RES);
        // 3: it ended already, by its time or by this request before a lost answer.
        if (ended && (ended->result == kResultOk || ended->result == kResultEndNotFound))
            return;
        pause(std::chrono::milliseconds(200));
    }
    channel.ledger.violation("the vote could not be ended");
}

void ChaosRun::checkTickets(Channel& channel)
{
    for (std::size_t i : channel.viewers) {
        Viewer& viewer = m_viewers[i];
        const PUserVoteStateReq asked{channel.id,
                                      kSubChannel,
                                      channel.voteId,
                                      kNormalVote,
                                      channel.round->jiFangId,
                                      viewer.identity.uid,
                                      {},
                                      {}};
        bool checked = false;
        const auto until = Clock::now() + kGiveUpAfter;
        while (!checked && Clock::now() < until) {
            const auto state =
                ask<PUserVoteStateRes>(viewer.client, viewer.identity, VOTE_SYSTEM_USER_VOTE_STATE_REQ, asked,
                                       VOTE_SYSTEM_USER_VOTE_STATE_RES);
            if (state && state->state == 0) {
                channel.ledger.checkTickets(viewer.seat, viewer.identity.uid, *state);
                checked = true;
            } else if (state && state->aux1 != kResultStorageUnavailable &&
                       state->aux1 != kResultTooManyRequests) {
                channel.ledger.violation("uid " + std::to_string(viewer.identity.uid) +
                                         ": ticket state refused with " + std::to_string(state->aux1));
                break;
            } else {
                // Redis is away for a moment: asked again within the session's request budget.
                pause(std::chrono::milliseconds(250));
            }
        }
        if (!checked)
            channel.ledger.violation("uid " + std::to_string(viewer.identity.uid) +
                                     ": not back on a node, or its ticket state not answered");
        viewer.nextOption = 0;
    }
}

void ChaosRun::closeRound(Channel& channel)
{
    const PCloseVoteReq close{channel.id, kSubChannel, channel.voteId, channel.round->jiFangId, {}};
    bool retried = false;
    const auto until = Clock::now() + kGiveUpAfter;
    while (Clock::now() < until) {
        const auto closed =
            ask<PCloseVoteUiRes>(channel.manager, channel.managerIdentity, VOTE_SYSTEM_CLOSE_VOTEUI_REQ,
                                 close, VOTE_SYSTEM_CLOSE_VOTEUI_RES);
        if (closed && (closed->result == kResultOk || (retried && closed->result == kResultNotFound)))
            return;
        retried = true;
        pause(std::chrono::milliseconds(200));
    }
    channel.ledger.violation("the vote could not be closed");
}

void ChaosRun::finalChecks(std::uint16_t port, Channel& channel)
{
    const Round& last = *channel.round;
    Client watcher = connectTo(port, identity(kWatcherUid, 25, kSubChannel, channel.id));
    const auto shown = watcher ? watcher->waitForMessage<PBroadcastVote>(VOTE_SYSTEM_BROADCAST_VOTE, 3000)
                               : std::optional<PBroadcastVote>();
    const double left = std::chrono::duration<double>(last.endsAt - Clock::now()).count();
    if (!shown || shown->jiFangId != last.jiFangId || shown->status != kVoteStarted)
        channel.ledger.violation("the fresh node does not show the running vote");
    else if (std::abs(double(std::int32_t(shown->remainSeconds)) - left) > 2.0)
        channel.ledger.violation("the fresh node shows " +
                                 std::to_string(std::int32_t(shown->remainSeconds)) + " s left, " +
                                 std::to_string(int(left)) + " s expected");
    checkTickets(channel);
    channel.manager = connectTo(port, channel.managerIdentity);
    const PQueryVoteHisRecordReq query{channel.id, kSubChannel, {}};
    const auto history = ask<PQueryVoteHisRecordRes>(channel.manager, channel.managerIdentity,
                                                     VOTE_SYSTEM_QUERY_VOTE_HIS_RECORD_REQ, query,
                                                     VOTE_SYSTEM_QUERY_VOTE_HIS_RECORD_RES);
    if (!history || history->result != kResultOk)
        return channel.ledger.violation("no history from the fresh node");
    channel.ledger.checkHistory(history->records);
}

bool ChaosRun::stopRequested() const
{
    return m_options.stopRequested && m_options.stopRequested();
}

bool ChaosRun::run(ChaosReport& report, std::string& error)
{
    const auto started = Clock::now();
    if (!m_cluster.start(error))
        return false;
    for (Channel& channel : m_channels) {
        if (!createVote(channel)) {
            error = "the vote of channel " + std::to_string(channel.id) + " could not be created";
            return false;
        }
    }
    ChaosFaults faults(m_cluster, m_options.mode, m_options.seed);
    if (m_options.faults)
        faults.start();
    // A round with its checks takes its time limit and a few seconds more.
    const auto roundTime = std::chrono::seconds(m_options.roundSeconds + 8);
    const auto runEnds = started + std::chrono::seconds(m_options.seconds);
    for (int number = 1;; ++number) {
        const bool last = Clock::now() + roundTime > runEnds || stopRequested();
        const std::uint32_t limit = m_options.roundSeconds + (last ? kLastRoundExtraSeconds : 0);
        bool allStarted = true;
        for (Channel& channel : m_channels) {
            channel.ledger.beginRound("r" + std::to_string(number));
            updateVote(channel, channel.ledger.roundName(), limit);
            channel.round = startRound(channel, limit);
            allStarted = allStarted && channel.round;
        }
        if (!allStarted)
            break;
        measuredVoting(Clock::now() + std::chrono::seconds(m_options.roundSeconds - 1), report);
        if (last) {
            faults.stop();
            const std::uint16_t port = m_cluster.freshNode();
            for (Channel& channel : m_channels) {
                if (port == 0)
                    channel.ledger.violation("the fresh node did not start");
                else
                    finalChecks(port, channel);
            }
            break;
        }
        for (Channel& channel : m_channels)
            endRound(channel);
        for (Channel& channel : m_channels) {
            checkTickets(channel);
            channel.ledger.closeRound();
            closeRound(channel);
        }
    }
    faults.stop();
    report.minutes = std::chrono::duration<double>(Clock::now() - started).count() / 60.0;
    report.faults = faults.counts();
    fillReport(report);
    return true;
}

void ChaosRun::measuredVoting(Clock::time_point until, ChaosReport& report)
{
    const auto started = Clock::now();
    const double cpu = m_cluster.redisCpuSeconds();
    const std::uint64_t acknowledgedBefore = acknowledged();
    voteUntil(until);
    report.votingSeconds += std::chrono::duration<double>(Clock::now() - started).count();
    report.votingRedisCpuSeconds += m_cluster.redisCpuSeconds() - cpu;
    report.votingAcknowledged += acknowledged() - acknowledgedBefore;
}

std::uint64_t ChaosRun::acknowledged() const
{
    std::uint64_t sum = 0;
    for (const Channel& channel : m_channels)
        sum += channel.ledger.acknowledged();
    return sum;
}

void ChaosRun::fillReport(ChaosReport& report) const
{
    report.channels = int(m_channels.size());
    report.rounds = 0;
    for (const Channel& channel : m_channels) {
        const ChaosLedger& ledger = channel.ledger;
        report.acknowledged += ledger.acknowledged();
        report.counted += ledger.counted();
        report.unknown += ledger.unknown();
        report.lostAcknowledged += ledger.lostAcknowledged();
        for (const auto& [code, count] : ledger.refusals())
            report.refusals[code] += count;
        report.rounds = std::max(report.rounds, ledger.rounds());
        report.violations.insert(report.violations.end(), ledger.violations().begin(),
                                 ledger.violations().end());
    }
}

} // namespace quorix::service::test
