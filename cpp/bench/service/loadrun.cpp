#include "bench/service/loadrun.h"

#include <quorix/protocol/hostcontrol.h>
#include <quorix/protocol/serviceframe.h>
#include <quorix/protocol/votemessages.h>

#include <fstream>
#include <sstream>

#include <unistd.h>

namespace quorix::loadgen {

namespace {
constexpr std::uint32_t kChannel = 10;
constexpr std::uint32_t kSubChannel = 20;
constexpr std::uint32_t kOptions = 10;
constexpr auto kPaceStep = std::chrono::milliseconds(10);
// A frame on the stream: its u32 length, then the frame header and the payload.
constexpr std::size_t kWireHeaderBytes = 4 + mpak::kFrameHeaderSize;

std::uint32_t firstU32(const std::string& payload)
{
    mpak::Unpack up(payload);
    return payload.size() >= 4 ? up.pop_uint32() : 0xffffffffu;
}

service::SessionIdentity identityFor(std::size_t index)
{
    service::SessionIdentity id;
    id.uid = static_cast<std::uint32_t>(100000 + index);
    id.imid = static_cast<std::uint32_t>(500000 + index);
    id.nick = "load" + std::to_string(index);
    id.role = index == 0 ? 255 : 25;
    id.channelId = kChannel;
    id.subChannelId = kSubChannel;
    return id;
}
} // namespace

LoadRun::LoadRun(asio::io_context& io, LoadOptions options)
    : m_io(io), m_options(options), m_timer(io), m_deadline(io)
{}

long LoadRun::rssKiB(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    }
    return 0;
}

double LoadRun::cpuSeconds(pid_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text;
    std::getline(stat, text);
    // Fields after the command name, which is in parentheses and may hold spaces.
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    unsigned long long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14)
            utime = std::stoull(field);
        else if (i == 15)
            stime = std::stoull(field);
    }
    return double(utime + stime) / double(sysconf(_SC_CLK_TCK));
}

double LoadRun::runDelaySeconds(pid_t pid)
{
    // Second field of schedstat: nanoseconds spent runnable but waiting on a run queue.
    std::ifstream schedstat("/proc/" + std::to_string(pid) + "/schedstat");
    unsigned long long running = 0, waiting = 0;
    schedstat >> running >> waiting;
    return double(waiting) / 1e9;
}

bool LoadRun::run()
{
    m_results.rssBeforeKiB = long(sumOverServices(rssKiB));
    for (std::size_t i = m_options.firstIndex; i < m_options.firstIndex + m_options.sessions; ++i)
        m_clients.push_back(std::make_shared<LoadClient>(m_io, *this, i, identityFor(i)));
    m_deadline.expires_after(m_options.deadline);
    m_deadline.async_wait([this](const boost::system::error_code& ec) {
        if (!ec)
            fail("deadline passed");
    });
    connectMore();
    m_io.run();
    return m_failure.empty();
}

// ---- connecting ---------------------------------------------------------------------------------

void LoadRun::connectMore()
{
    while (m_connecting < m_options.connectsInFlight && m_nextToConnect < m_clients.size()) {
        ++m_connecting;
        LoadClient& client = *m_clients[m_nextToConnect++];
        const std::size_t services = m_options.services.size();
        const auto source = static_cast<std::uint32_t>(client.index() / services % m_options.sourceAddresses);
        client.connect(m_options.services[client.index() % services],
                       asio::ip::address_v4(asio::ip::address_v4::loopback().to_uint() + source));
    }
}

void LoadRun::onWelcome(LoadClient& client, const std::string& payload)
{
    service::PWelcome welcome;
    if (!mpak::decode(payload, welcome) || welcome.result != 0)
        return fail("session " + std::to_string(client.index()) + " refused: " + welcome.text);
    --m_connecting;
    if (++m_results.welcomed < m_clients.size())
        return connectMore();
    if (m_options.whenWelcomed)
        return m_options.whenWelcomed([this] { afterWelcomed(); });
    afterWelcomed();
}

void LoadRun::afterWelcomed()
{
    if (m_options.webClients() == 0)
        return idleThenMeasure();
    m_results.rssWelcomedKiB = long(sumOverServices(rssKiB));
    m_phase = Phase::Subscribing;
    const std::string events = "/api/v1/channels/" + std::to_string(kChannel) +
                               "/events?sub=" + std::to_string(kSubChannel) + "&uid=";
    const std::string viewer = "/api/v1/session?channel=" + std::to_string(kChannel) +
                               "&sub=" + std::to_string(kSubChannel) + "&uid=";
    for (std::size_t i = 0; i < m_options.webClients(); ++i) {
        const bool isViewer = i >= m_options.subscribers;
        m_subscribers.push_back(std::make_shared<LoadSubscriber>(
            m_io, (isViewer ? viewer : events) + std::to_string(900000 + i), isViewer,
            [this] { onSubscribed(); },
            [this, i](const std::string& what) {
                if (m_phase != Phase::Done)
                    fail("subscriber " + std::to_string(i) + ": " + what);
            }));
        m_subscribers.back()->index = i;
        if (isViewer && m_options.webVoting)
            m_subscribers.back()->onText(
                [this](LoadSubscriber& from, const std::string& text) { onViewerText(from, text); });
    }
    subscribeMore();
}

void LoadRun::subscribeMore()
{
    while (m_subscribing < m_options.connectsInFlight &&
           m_results.subscribed + m_subscribing < m_subscribers.size()) {
        const std::size_t index = m_results.subscribed + m_subscribing++;
        m_subscribers[index]->connect(m_options.webServices[index % m_options.webServices.size()]);
    }
}

void LoadRun::onSubscribed()
{
    --m_subscribing;
    if (++m_results.subscribed < m_subscribers.size())
        return subscribeMore();
    idleThenMeasure();
}

void LoadRun::idleThenMeasure()
{
    m_phase = Phase::Idle;
    m_timer.expires_after(std::chrono::seconds(2));
    m_timer.async_wait([this](const boost::system::error_code& ec) {
        if (!ec)
            measureIdle();
    });
}

void LoadRun::measureIdle()
{
    m_results.rssIdleKiB = long(sumOverServices(rssKiB));
    m_phase = Phase::Creating;
    VoteInfo vote;
    vote.name = "Load test";
    vote.limitTime = 9999;
    vote.voteType = kNormalVote;
    vote.limits = {{kTicketsPerUser, m_options.votesPerViewer},
                   {kTicketsPerOption, m_options.votesPerViewer}};
    for (std::uint32_t i = 0; i < kOptions; ++i)
        vote.options[i] = "option " + std::to_string(i + 1);
    m_clients[0]->sendFrame(kVoteMajorType, VOTE_SYSTEM_CREATE_VOTE_REQ,
                            mpak::encode(PCreateVoteReq{kChannel, kSubChannel, vote, {}}));
}

// ---- frames -------------------------------------------------------------------------------------

void LoadRun::onFrame(LoadClient& client, std::uint32_t maxType, std::uint32_t minType,
                      const std::string& payload)
{
    if (maxType == service::kControlMajorType && minType == service::kControlWelcome)
        return onWelcome(client, payload);
    if (maxType != kVoteMajorType)
        return;
    if (client.index() == 0)
        onManagerFrame(minType, payload);
    if (minType == VOTE_SYSTEM_USER_VOTE_RES)
        onVoteAnswer(client, firstU32(payload));
    else if (minType == VOTE_SYSTEM_BROADCAST_VOTE)
        onVoteBroadcast(client, payload);
}

void LoadRun::onManagerFrame(std::uint32_t minType, const std::string& payload)
{
    if (m_phase == Phase::Creating && minType == VOTE_SYSTEM_CREATE_VOTE_RES) {
        PCreateVoteRes res;
        if (!mpak::decode(payload, res) || res.result != 0)
            return fail("create refused with " + std::to_string(res.result));
        m_voteId = res.voteId;
        m_phase = Phase::Starting;
        const std::uint32_t uid = m_clients[0]->identity().uid;
        m_clients[0]->sendFrame(kVoteMajorType, VOTE_SYSTEM_START_VOTE_REQ,
                                mpak::encode(PStartVoteReq{kChannel, kSubChannel, m_voteId, uid, {}}));
    } else if (m_phase == Phase::Starting && minType == VOTE_SYSTEM_START_VOTE_RES) {
        PStartVoteRes res;
        if (!mpak::decode(payload, res) || res.result != 0)
            return fail("start refused with " + std::to_string(res.result));
        m_cpuAtStart = sumOverServices(cpuSeconds);
        m_runDelayAtStart = sumOverServices(runDelaySeconds);
        if (m_options.atVotingStart)
            m_options.atVotingStart();
        if (m_options.atVoteStarted)
            m_options.atVoteStarted(m_voteId, res.jiFangId);
        beginVoting(m_voteId, res.jiFangId);
    }
}

void LoadRun::beginVoting(std::uint32_t voteId, std::uint32_t jiFangId)
{
    m_voteId = voteId;
    m_jiFangId = jiFangId;
    m_phase = Phase::Voting;
    const std::size_t viewers =
        m_options.webVoting ? m_options.webViewers : m_clients.size() - (holdsManager() ? 1 : 0);
    m_plannedVotes = std::uint64_t(viewers) * m_options.votesPerViewer;
    m_paceStart = Clock::now();
    m_firstVote = m_paceStart;
    m_lastAnswer = m_paceStart;
    paceVotes();
    maybeEnd();
}

// ---- voting -------------------------------------------------------------------------------------

void LoadRun::paceVotes()
{
    if (m_phase != Phase::Voting)
        return;
    const double elapsed = std::chrono::duration<double>(Clock::now() - m_paceStart).count();
    const std::uint64_t due =
        m_options.votesPerSecond == 0
            ? m_plannedVotes
            : std::min<std::uint64_t>(m_plannedVotes, std::uint64_t(elapsed * m_options.votesPerSecond) + 1);
    if (m_options.webVoting)
        paceWebVotes(due);
    else
        paceHostVotes(due);
    if (m_results.votesSent < m_plannedVotes) {
        m_timer.expires_after(kPaceStep);
        m_timer.async_wait([this](const boost::system::error_code& ec) {
            if (!ec)
                paceVotes();
        });
    }
}

void LoadRun::paceHostVotes(std::uint64_t due)
{
    while (m_results.votesSent < due) {
        LoadClient& client = *m_clients[m_voteCursor];
        m_voteCursor = m_voteCursor + 1 < m_clients.size() ? m_voteCursor + 1 : 0;
        if (client.index() != 0 && client.votesSent < m_options.votesPerViewer)
            sendVote(client);
    }
}

void LoadRun::paceWebVotes(std::uint64_t due)
{
    while (m_results.votesSent < due) {
        LoadSubscriber& viewer = *m_subscribers[m_options.subscribers + m_voteCursor];
        m_voteCursor = m_voteCursor + 1 < m_options.webViewers ? m_voteCursor + 1 : 0;
        if (viewer.voter.votesSent < m_options.votesPerViewer)
            sendWebVote(viewer);
    }
}

void LoadRun::sendWebVote(LoadSubscriber& viewer)
{
    VoterState& voter = viewer.voter;
    const std::uint32_t option = static_cast<std::uint32_t>((viewer.index + voter.votesSent) % kOptions);
    voter.unanswered.push_back(Clock::now());
    ++voter.votesSent;
    ++m_results.votesSent;
    viewer.sendText(R"({"type":"vote","voteId":)" + std::to_string(m_voteId) + R"(,"optionId":)" +
                    std::to_string(option) + R"(,"tickets":1})");
}

// The service writes "type" first: a vote message or a result is told by its start.
void LoadRun::onViewerText(LoadSubscriber& viewer, const std::string& text)
{
    static const std::string kVote = R"({"type":"vote")", kResult = R"({"type":"result")";
    if (text.compare(0, kResult.size(), kResult) == 0) {
        const std::size_t at = text.find(R"("result":)");
        if (at == std::string::npos)
            return fail("a result without a code: " + text);
        return onVoteAnswer(viewer.voter, static_cast<std::uint32_t>(std::stoul(text.substr(at + 9))));
    }
    if (text.compare(0, kVote.size(), kVote) == 0 && m_phase == Phase::Voting)
        countBroadcast(viewer.voter, text.size());
}

void LoadRun::sendVote(LoadClient& client)
{
    const std::uint32_t option = static_cast<std::uint32_t>((client.index() + client.votesSent) % kOptions);
    const service::SessionIdentity& me = client.identity();
    const PUserVoteReq req{kChannel, kSubChannel, m_voteId, kNormalVote, m_jiFangId, me.uid, option, 1, {}};
    client.unanswered.push_back(Clock::now());
    ++client.votesSent;
    ++m_results.votesSent;
    client.sendFrame(kVoteMajorType, VOTE_SYSTEM_USER_VOTE_REQ, mpak::encode(req));
}

void LoadRun::onVoteAnswer(VoterState& voter, std::uint32_t result)
{
    if (voter.unanswered.empty())
        return fail("an answer to a vote that was not sent");
    const Clock::time_point sentAt = voter.unanswered.front();
    voter.unanswered.pop_front();
    m_lastAnswer = Clock::now();
    m_results.answerLatencies.add(std::chrono::duration<double, std::milli>(m_lastAnswer - sentAt).count());
    ++m_answered;
    if (result == 0) {
        ++m_results.accepted;
        ++m_awaitingBroadcast;
        voter.awaitingBroadcast.push_back(sentAt);
    } else {
        ++m_results.refusedByCode[result];
    }
    maybeEnd();
}

void LoadRun::onVoteBroadcast(LoadClient& client, const std::string& payload)
{
    if (m_phase == Phase::Ending)
        return onBroadcastWhileEnding(client, payload);
    if (m_phase == Phase::Voting)
        countBroadcast(client, kWireHeaderBytes + payload.size());
}

void LoadRun::countBroadcast(VoterState& voter, std::size_t bytes)
{
    ++m_results.broadcastsReceived;
    m_results.broadcastBytes += bytes;
    if (voter.awaitingBroadcast.empty())
        return;
    const Clock::time_point now = Clock::now();
    for (const Clock::time_point sentAt : voter.awaitingBroadcast)
        m_results.latencies.add(std::chrono::duration<double, std::milli>(now - sentAt).count());
    m_awaitingBroadcast -= voter.awaitingBroadcast.size();
    voter.awaitingBroadcast.clear();
    maybeEnd();
}

void LoadRun::maybeEnd()
{
    if (m_phase != Phase::Voting || m_answered < m_plannedVotes || m_awaitingBroadcast != 0)
        return;
    m_results.votingSeconds = std::chrono::duration<double>(m_lastAnswer - m_firstVote).count();
    m_phase = Phase::Ending;
    if (m_options.whenVotesDone)
        return m_options.whenVotesDone([this] { endVoting(); });
    endVoting();
}

void LoadRun::endVoting()
{
    m_results.serviceCpuSeconds = sumOverServices(cpuSeconds) - m_cpuAtStart;
    m_results.serviceRunDelaySeconds = sumOverServices(runDelaySeconds) - m_runDelayAtStart;
    if (m_options.atVotingEnd)
        m_options.atVotingEnd();
    if (holdsManager())
        m_clients[0]->sendFrame(
            kVoteMajorType, VOTE_SYSTEM_END_VOTE_REQ,
            mpak::encode(PEndVoteReq{kChannel, kSubChannel, m_voteId, 0, m_jiFangId, {}}));
}

// Every session reads the end broadcast; the run is over once all did, each with the same total.
void LoadRun::onBroadcastWhileEnding(LoadClient& client, const std::string& payload)
{
    PBroadcastVote push;
    if (!mpak::decode(payload, push))
        return fail("session " + std::to_string(client.index()) + " read a malformed vote broadcast");
    if (push.status != kVoteEnded) {
        ++m_results.broadcastsReceived;
        return;
    }
    if (client.sawEnd)
        return;
    client.sawEnd = true;
    std::uint64_t total = 0;
    for (const auto& [option, count] : push.vote.optionTickets)
        total += count;
    m_results.addFinalTotal(total);
    if (m_results.finalSessions == m_clients.size())
        finish();
}

// ---- ending -------------------------------------------------------------------------------------

void LoadRun::onClosed(LoadClient& client)
{
    if (m_phase != Phase::Done)
        fail("session " + std::to_string(client.index()) + " closed by the service");
}

void LoadRun::onFailed(LoadClient& client, const std::string& what)
{
    if (m_phase != Phase::Done)
        fail("session " + std::to_string(client.index()) + ": " + what);
}

void LoadRun::fail(const std::string& what)
{
    if (m_phase == Phase::Done)
        return;
    m_failure = what;
    finish();
}

void LoadRun::finish()
{
    m_phase = Phase::Done;
    m_timer.cancel();
    m_deadline.cancel();
    for (const auto& client : m_clients)
        client->close();
    for (std::size_t i = 0; i < m_subscribers.size(); ++i) {
        (i < m_options.subscribers ? m_results.eventsReceived : m_results.viewerMessages) +=
            m_subscribers[i]->events();
        m_subscribers[i]->close();
    }
}

} // namespace quorix::loadgen
