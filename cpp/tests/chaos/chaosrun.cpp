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
    out << "\nvotes acknowledged " << report.acknowledged << ", counted " << report.counted << ", unanswered "
        << report.unknown << ", refused:";
    for (const auto& [code, count] : report.refusals)
        out << " " << code << "x" << count;
    out << "\nrounds checked " << report.rounds << "\nviolations " << report.violations.size() << "\n";
    for (std::size_t i = 0; i < report.violations.size() && i < 20; ++i)
        out << "  " << report.violations[i] << "\n";
    return out;
}

ChaosRun::ChaosRun(ChaosOptions options)
    : m_options(std::move(options)),
      m_cluster(m_options.votedPath, m_options.mode, m_options.nodes, m_options.minReplicas),
      m_ledger(std::size_t(m_options.viewers)), m_random(m_options.seed ^ 0x9e3779b97f4a7c15ULL),
      m_managerIdentity(identity(kManagerUid, 255, kSubChannel, kChannel))
{
    for (int i = 0; i < m_options.viewers; ++i)
        m_viewers.push_back(
            Viewer{identity(kFirstViewerUid + std::uint32_t(i), 25, kSubChannel, kChannel), {}, 0});
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

bool ChaosRun::createVote()
{
    const PCreateVoteReq create{kChannel,
                                kSubChannel,
                                normalVote("r0", ChaosLedger::kOptions, ChaosLedger::kPerUser,
                                           ChaosLedger::kPerOption, m_options.roundSeconds),
                                {}};
    const auto created = ask<PCreateVoteRes>(m_manager, m_managerIdentity, VOTE_SYSTEM_CREATE_VOTE_REQ,
                                             create, VOTE_SYSTEM_CREATE_VOTE_RES);
    if (created && created->result == kResultOk)
        m_voteId = created->voteId;
    return m_voteId != 0;
}

void ChaosRun::updateVote(const std::string& name, std::uint32_t limitSeconds)
{
    PUpdateVoteReq update{
        kChannel,
        kSubChannel,
        m_voteId,
        normalVote(name, ChaosLedger::kOptions, ChaosLedger::kPerUser, ChaosLedger::kPerOption, limitSeconds),
        {}};
    update.vote.voteId = m_voteId;
    const auto until = Clock::now() + kGiveUpAfter;
    while (Clock::now() < until) {
        const auto updated = ask<PUpdateVoteRes>(m_manager, m_managerIdentity, VOTE_SYSTEM_UPDATE_VOTE_REQ,
                                                 update, VOTE_SYSTEM_UPDATE_VOTE_RES);
        if (updated && updated->result == kResultOk)
            return;
        pause(std::chrono::milliseconds(200));
    }
    m_ledger.violation("the vote could not be updated");
}

std::optional<ChaosRun::Round> ChaosRun::startRound(std::uint32_t limitSeconds)
{
    const PStartVoteReq start{kChannel, kSubChannel, m_voteId, kManagerUid, {}};
    const auto until = Clock::now() + kGiveUpAfter;
    while (Clock::now() < until) {
        const auto started = ask<PStartVoteRes>(m_manager, m_managerIdentity, VOTE_SYSTEM_START_VOTE_REQ,
                                                start, VOTE_SYSTEM_START_VOTE_RES);
        if (!started)
            break;
        if (started->result == kResultOk)
            return Round{started->jiFangId, Clock::now() + std::chrono::seconds(limitSeconds)};
        // Only a start whose answer was lost before the retry leaves the vote open already.
        if (started->result == kResultAnotherVoteOpen)
            return learnRunningRound();
        pause(std::chrono::milliseconds(200));
    }
    m_ledger.violation("the vote could not be started");
    return std::nullopt;
}

std::optional<ChaosRun::Round> ChaosRun::learnRunningRound()
{
    for (int attempt = 0; attempt < 20; ++attempt) {
        m_manager = connectAnywhere(m_managerIdentity);
        if (!m_manager)
            continue;
        const auto shown = m_manager->waitForMessage<PBroadcastVote>(VOTE_SYSTEM_BROADCAST_VOTE, 3000);
        m_manager->seen.clear();
        if (shown && shown->vote.voteId == m_voteId && shown->status == kVoteStarted)
            return Round{shown->jiFangId, Clock::now() + std::chrono::seconds(shown->remainSeconds)};
    }
    m_ledger.violation("the vote answered 4 at start but no node shows it running");
    return std::nullopt;
}

void ChaosRun::voteUntil(const Round& round, Clock::time_point until)
{
    const auto seconds = std::max<std::int64_t>(
        1, std::chrono::duration_cast<std::chrono::seconds>(until - Clock::now()).count());
    const std::size_t batch = std::size_t(std::ceil(double(m_viewers.size() * ChaosLedger::kOptions) /
                                                    double(seconds * 1000 / kBatchPeriod.count())));
    while (Clock::now() < until && !stopRequested()) {
        const auto next = Clock::now() + kBatchPeriod;
        sendBatch(round, batch);
        std::this_thread::sleep_until(next);
    }
}

void ChaosRun::sendBatch(const Round& round, std::size_t size)
{
    std::vector<std::size_t> sent;
    for (std::size_t looked = 0; looked < m_viewers.size() && sent.size() < size; ++looked) {
        const std::size_t i = m_nextViewer;
        m_nextViewer = (m_nextViewer + 1) % m_viewers.size();
        Viewer& viewer = m_viewers[i];
        if (viewer.nextOption >= ChaosLedger::kOptions)
            continue;
        if (!viewer.client)
            viewer.client = connectAnywhere(viewer.identity);
        if (!viewer.client)
            continue;
        const PUserVoteReq vote{
            kChannel,          kSubChannel, m_voteId, kNormalVote, round.jiFangId, viewer.identity.uid,
            viewer.nextOption, 1,           {}};
        viewer.client->seen.clear();
        m_ledger.sent(i, viewer.nextOption);
        if (viewer.client->sendVote(VOTE_SYSTEM_USER_VOTE_REQ, vote))
            sent.push_back(i);
        else
            m_ledger.lost(i, viewer.nextOption++);
    }
    const auto until = Clock::now() + std::chrono::milliseconds(kAnswerWaitMs);
    for (std::size_t i : sent) {
        Viewer& viewer = m_viewers[i];
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
        const auto answer = viewer.client->waitForMessage<PUserVoteRes>(VOTE_SYSTEM_USER_VOTE_RES,
                                                                        int(std::max<std::int64_t>(left, 1)));
        viewer.client->seen.clear();
        if (answer) {
            m_ledger.answered(i, viewer.nextOption, answer->result);
        } else {
            m_ledger.lost(i, viewer.nextOption);
            viewer.client.reset();
        }
        ++viewer.nextOption;
    }
}

void ChaosRun::endRound(const Round& round)
{
    std::this_thread::sleep_until(round.endsAt + std::chrono::milliseconds(1500));
    const PEndVoteReq end{kChannel, kSubChannel, m_voteId, 0, round.jiFangId, {}};
    const auto until = Clock::now() + kGiveUpAfter;
    while (Clock::now() < until) {
        const auto ended = ask<PEndVoteRes>(m_manager, m_managerIdentity, VOTE_SYSTEM_END_VOTE_REQ, end,
                                            VOTE_SYSTEM_END_VOTE_RES);
        // 3: it ended already, by its time or by this request before a lost answer.
        if (ended && (ended->result == kResultOk || ended->result == kResultEndNotFound))
            return;
        pause(std::chrono::milliseconds(200));
    }
    m_ledger.violation("the vote could not be ended");
}

void ChaosRun::checkTickets(const Round& round)
{
    for (std::size_t i = 0; i < m_viewers.size(); ++i) {
        Viewer& viewer = m_viewers[i];
        const PUserVoteStateReq asked{kChannel,       kSubChannel,         m_voteId, kNormalVote,
                                      round.jiFangId, viewer.identity.uid, {},       {}};
        bool checked = false;
        const auto until = Clock::now() + kGiveUpAfter;
        while (!checked && Clock::now() < until) {
            const auto state =
                ask<PUserVoteStateRes>(viewer.client, viewer.identity, VOTE_SYSTEM_USER_VOTE_STATE_REQ, asked,
                                       VOTE_SYSTEM_USER_VOTE_STATE_RES);
            if (state && state->state == 0) {
                m_ledger.checkTickets(i, viewer.identity.uid, *state);
                checked = true;
            } else if (state && state->aux1 != kResultStorageUnavailable &&
                       state->aux1 != kResultTooManyRequests) {
                m_ledger.violation("uid " + std::to_string(viewer.identity.uid) +
                                   ": ticket state refused with " + std::to_string(state->aux1));
                break;
            } else {
                // Redis is away for a moment: asked again within the session's request budget.
                pause(std::chrono::milliseconds(250));
            }
        }
        if (!checked)
            m_ledger.violation("uid " + std::to_string(viewer.identity.uid) +
                               ": not back on a node, or its ticket state not answered");
        viewer.nextOption = 0;
    }
}

void ChaosRun::closeRound(const Round& round)
{
    const PCloseVoteReq close{kChannel, kSubChannel, m_voteId, round.jiFangId, {}};
    bool retried = false;
    const auto until = Clock::now() + kGiveUpAfter;
    while (Clock::now() < until) {
        const auto closed = ask<PCloseVoteUiRes>(m_manager, m_managerIdentity, VOTE_SYSTEM_CLOSE_VOTEUI_REQ,
                                                 close, VOTE_SYSTEM_CLOSE_VOTEUI_RES);
        if (closed && (closed->result == kResultOk || (retried && closed->result == kResultNotFound)))
            return;
        retried = true;
        pause(std::chrono::milliseconds(200));
    }
    m_ledger.violation("the vote could not be closed");
}

void ChaosRun::finalChecks(const Round& last)
{
    const std::uint16_t port = m_cluster.freshNode();
    if (port == 0)
        return m_ledger.violation("the fresh node did not start");
    Client watcher = connectTo(port, identity(9, 25, kSubChannel, kChannel));
    const auto shown = watcher ? watcher->waitForMessage<PBroadcastVote>(VOTE_SYSTEM_BROADCAST_VOTE, 3000)
                               : std::optional<PBroadcastVote>();
    const double left = std::chrono::duration<double>(last.endsAt - Clock::now()).count();
    if (!shown || shown->jiFangId != last.jiFangId || shown->status != kVoteStarted)
        m_ledger.violation("the fresh node does not show the running vote");
    else if (std::abs(double(std::int32_t(shown->remainSeconds)) - left) > 2.0)
        m_ledger.violation("the fresh node shows " + std::to_string(std::int32_t(shown->remainSeconds)) +
                           " s left, " + std::to_string(int(left)) + " s expected");
    checkTickets(last);
    m_manager = connectTo(port, m_managerIdentity);
    const PQueryVoteHisRecordReq query{kChannel, kSubChannel, {}};
    const auto history =
        ask<PQueryVoteHisRecordRes>(m_manager, m_managerIdentity, VOTE_SYSTEM_QUERY_VOTE_HIS_RECORD_REQ,
                                    query, VOTE_SYSTEM_QUERY_VOTE_HIS_RECORD_RES);
    if (!history || history->result != kResultOk)
        return m_ledger.violation("no history from the fresh node");
    m_ledger.checkHistory(history->records);
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
    if (!createVote()) {
        error = "the vote could not be created";
        return false;
    }
    ChaosFaults faults(m_cluster, m_options.mode, m_options.seed);
    faults.start();
    // A round with its checks takes its time limit and a few seconds more.
    const auto roundTime = std::chrono::seconds(m_options.roundSeconds + 8);
    const auto runEnds = started + std::chrono::seconds(m_options.seconds);
    for (int number = 1;; ++number) {
        const bool last = Clock::now() + roundTime > runEnds || stopRequested();
        const std::uint32_t limit = m_options.roundSeconds + (last ? kLastRoundExtraSeconds : 0);
        m_ledger.beginRound("r" + std::to_string(number));
        updateVote(m_ledger.roundName(), limit);
        const auto round = startRound(limit);
        if (!round)
            break;
        voteUntil(*round, Clock::now() + std::chrono::seconds(m_options.roundSeconds - 1));
        if (last) {
            faults.stop();
            finalChecks(*round);
            break;
        }
        endRound(*round);
        checkTickets(*round);
        m_ledger.closeRound();
        closeRound(*round);
    }
    faults.stop();
    report.minutes = std::chrono::duration<double>(Clock::now() - started).count() / 60.0;
    report.faults = faults.counts();
    report.acknowledged = m_ledger.acknowledged();
    report.counted = m_ledger.counted();
    report.unknown = m_ledger.unknown();
    report.refusals = m_ledger.refusals();
    report.rounds = m_ledger.rounds();
    report.violations = m_ledger.violations();
    return true;
}

} // namespace quorix::service::test
