#include "bench/service/peerrun.h"

#include "bench/service/loadrun.h"

#include <hiredis/hiredis.h>

#include <cstdlib>

namespace quorix::loadgen {

namespace asio = boost::asio;

namespace {
constexpr std::uint32_t kOptions = 10;
constexpr std::size_t kVoters = 4;
constexpr std::size_t kConnectsInFlight = 256;
constexpr auto kPaceStep = std::chrono::milliseconds(10);
const char* const kChannel = "peer:counts";

// KEYS: the vote (running, perUser, perOption), the viewers' used tickets, the counts. ARGV: uid,
// option. Answers 0 (counted), 1 (no vote running), 2 (no tickets left), 3 (option full).
const char* const kVoteScript = R"(
local f = redis.call('HMGET', KEYS[1], 'running', 'perUser', 'perOption')
if f[1] ~= '1' then return 1 end
local used = redis.call('HMGET', KEYS[2], ARGV[1], ARGV[1] .. ':' .. ARGV[2])
if tonumber(used[1] or '0') >= tonumber(f[2]) then return 2 end
if tonumber(used[2] or '0') >= tonumber(f[3]) then return 3 end
redis.call('HINCRBY', KEYS[2], ARGV[1], 1)
redis.call('HINCRBY', KEYS[2], ARGV[1] .. ':' .. ARGV[2], 1)
redis.call('HINCRBY', KEYS[3], ARGV[2], 1)
return 0
)";

// KEYS: the counts. ARGV: the message's kind, the channel. Publishes "KIND TOTAL OPTION COUNT ..."
// and answers how many subscribers it reached.
const char* const kPublishScript = R"(
local counts = redis.call('HGETALL', KEYS[1])
local total = 0
for i = 2, #counts, 2 do total = total + tonumber(counts[i]) end
return redis.call('PUBLISH', ARGV[2], ARGV[1] .. ' ' .. total .. ' ' .. table.concat(counts, ' '))
)";

std::string loadScript(redisContext* context, const char* body)
{
    auto* reply = static_cast<redisReply*>(redisCommand(context, "SCRIPT LOAD %s", body));
    std::string sha;
    if (reply != nullptr && reply->type == REDIS_REPLY_STRING)
        sha.assign(reply->str, reply->len);
    if (reply != nullptr)
        freeReplyObject(reply);
    return sha;
}
} // namespace

PeerRun::PeerRun(asio::io_context& io, PeerOptions options)
    : m_io(io), m_options(std::move(options)), m_paceTimer(io), m_publishTimer(io), m_deadline(io)
{}

bool PeerRun::prepareRedis()
{
    redisContext* context =
        redisConnect(m_options.redis.address().to_string().c_str(), m_options.redis.port());
    if (context == nullptr || context->err != 0) {
        m_failure = "cannot reach the peer Redis";
        if (context != nullptr)
            redisFree(context);
        return false;
    }
    m_voteSha = loadScript(context, kVoteScript);
    m_publishSha = loadScript(context, kPublishScript);
    auto* reply =
        static_cast<redisReply*>(redisCommand(context, "HSET peer:vote running 1 perUser %u perOption %u",
                                              m_options.votesPerViewer, m_options.votesPerViewer));
    const bool ok =
        reply != nullptr && reply->type == REDIS_REPLY_INTEGER && !m_voteSha.empty() && !m_publishSha.empty();
    if (reply != nullptr)
        freeReplyObject(reply);
    redisFree(context);
    if (!ok)
        m_failure = "the peer Redis refused the scripts";
    return ok;
}

bool PeerRun::run()
{
    if (!prepareRedis())
        return false;
    m_results.rssBeforeKiB = LoadRun::rssKiB(m_options.redisPid);
    m_sessions.resize(m_options.sessions);
    m_deadline.expires_after(m_options.deadline);
    m_deadline.async_wait([this](const boost::system::error_code& ec) {
        if (!ec)
            fail("deadline passed");
    });
    subscribeMore();
    m_io.run();
    return m_failure.empty();
}

void PeerRun::subscribeMore()
{
    while (m_connecting < kConnectsInFlight && m_nextToConnect < m_sessions.size()) {
        ++m_connecting;
        const std::size_t index = m_nextToConnect++;
        auto connection = std::make_shared<RespConnection>(
            m_io, [this, index](const redisReply& reply) { onSubscriberReply(index, reply); },
            [this, index](const std::string& what) {
                fail("peer session " + std::to_string(index) + ": " + what);
            });
        m_sessions[index].connection = connection;
        const auto source = static_cast<std::uint32_t>(index % m_options.sourceAddresses);
        connection->connect(m_options.redis,
                            asio::ip::address_v4(asio::ip::address_v4::loopback().to_uint() + source),
                            [connection] {
                                connection->send({"SUBSCRIBE", kChannel});
                            });
    }
}

void PeerRun::onSubscriberReply(std::size_t index, const redisReply& reply)
{
    if (reply.type != REDIS_REPLY_ARRAY || reply.elements != 3 ||
        reply.element[0]->type != REDIS_REPLY_STRING)
        return fail("peer session " + std::to_string(index) + " read an unexpected reply");
    const std::string kind(reply.element[0]->str, reply.element[0]->len);
    if (kind == "message")
        return onMessage(index, std::string(reply.element[2]->str, reply.element[2]->len));
    if (kind != "subscribe")
        return;
    --m_connecting;
    if (++m_results.subscribed < m_sessions.size())
        return subscribeMore();
    m_paceTimer.expires_after(std::chrono::seconds(2));
    m_paceTimer.async_wait([this](const boost::system::error_code& ec) {
        if (!ec)
            startVoting();
    });
}

void PeerRun::startVoting()
{
    m_results.rssIdleKiB = LoadRun::rssKiB(m_options.redisPid);
    m_voters.reserve(kVoters); // the replies' handlers hold pointers to the voters
    for (std::size_t i = 0; i < kVoters; ++i) {
        m_voters.push_back({});
        Voter* voter = &m_voters.back();
        voter->connection = std::make_shared<RespConnection>(
            m_io, [this, voter](const redisReply& reply) { onVoteReply(*voter, reply); },
            [this](const std::string& what) { fail("peer voter: " + what); });
    }
    m_publisher = std::make_shared<RespConnection>(
        m_io,
        [this](const redisReply& reply) {
            m_publishing = false;
            if (reply.type != REDIS_REPLY_INTEGER)
                return fail("the peer Redis refused a publish");
            ++m_results.publishes;
        },
        [this](const std::string& what) { fail("peer publisher: " + what); });
    // Every command connection up before the first vote, so that none waits on a connect.
    auto pending = std::make_shared<std::size_t>(kVoters + 1);
    auto connected = [this, pending] {
        if (--*pending != 0)
            return;
        m_voting = true;
        m_plannedVotes = std::uint64_t(m_sessions.size() - 1) * m_options.votesPerViewer;
        m_cpuAtStart = LoadRun::cpuSeconds(m_options.redisPid);
        m_paceStart = Clock::now();
        m_lastAnswer = m_paceStart;
        paceVotes();
        publishOnTick();
    };
    const asio::ip::address source = asio::ip::address_v4::loopback();
    for (Voter& voter : m_voters)
        voter.connection->connect(m_options.redis, source, connected);
    m_publisher->connect(m_options.redis, source, connected);
}

void PeerRun::paceVotes()
{
    if (!m_voting)
        return;
    const double elapsed = std::chrono::duration<double>(Clock::now() - m_paceStart).count();
    const std::uint64_t due =
        m_options.votesPerSecond == 0
            ? m_plannedVotes
            : std::min<std::uint64_t>(m_plannedVotes, std::uint64_t(elapsed * m_options.votesPerSecond) + 1);
    while (m_results.votesSent < due) {
        const std::size_t index = m_voteCursor;
        m_voteCursor = m_voteCursor + 1 < m_sessions.size() ? m_voteCursor + 1 : 1;
        if (m_sessions[index].votesSent < m_options.votesPerViewer)
            sendVote(index);
    }
    if (m_results.votesSent < m_plannedVotes) {
        m_paceTimer.expires_after(kPaceStep);
        m_paceTimer.async_wait([this](const boost::system::error_code& ec) {
            if (!ec)
                paceVotes();
        });
    }
}

void PeerRun::sendVote(std::size_t index)
{
    Session& session = m_sessions[index];
    const auto option = static_cast<std::uint32_t>((index + session.votesSent) % kOptions);
    Voter& voter = m_voters[index % kVoters];
    voter.unanswered.emplace_back(index, Clock::now());
    ++session.votesSent;
    ++m_results.votesSent;
    voter.connection->send({"EVALSHA", m_voteSha, "3", "peer:vote", "peer:used", "peer:counts",
                            std::to_string(100000 + index), std::to_string(option)});
}

void PeerRun::onVoteReply(Voter& voter, const redisReply& reply)
{
    if (voter.unanswered.empty())
        return fail("an answer to a vote that was not sent");
    const auto [index, sentAt] = voter.unanswered.front();
    voter.unanswered.pop_front();
    if (reply.type != REDIS_REPLY_INTEGER)
        return fail("the peer Redis refused a vote: " + std::string(reply.str != nullptr ? reply.str : ""));
    m_lastAnswer = Clock::now();
    ++m_answered;
    if (reply.integer == 0) {
        ++m_results.accepted;
        ++m_awaitingBroadcast;
        m_sessions[index].awaitingBroadcast.push_back(sentAt);
    } else {
        ++m_results.refusedByCode[static_cast<std::uint32_t>(reply.integer)];
    }
    maybeEnd();
}

// Publishes the counts at the broadcast rate when they changed since the last publish, or when a
// session still waits for a message after its vote's answer: the subscriber's connection may read
// a message before the voter's connection reads the answer to a vote that message counted.
void PeerRun::publishOnTick()
{
    if (!m_voting)
        return;
    if (!m_publishing && (m_results.accepted != m_acceptedAtLastPublish || m_awaitingBroadcast != 0)) {
        m_acceptedAtLastPublish = m_results.accepted;
        publish("progress");
    }
    m_publishTimer.expires_after(std::chrono::microseconds(1000000 / m_options.broadcastHz));
    m_publishTimer.async_wait([this](const boost::system::error_code& ec) {
        if (!ec)
            publishOnTick();
    });
}

void PeerRun::publish(const std::string& kind)
{
    m_publishing = true;
    m_publisher->send({"EVALSHA", m_publishSha, "1", "peer:counts", kind, kChannel});
}

void PeerRun::onMessage(std::size_t index, const std::string& message)
{
    Session& session = m_sessions[index];
    if (message.rfind("end ", 0) == 0) {
        if (!m_ending || session.sawEnd)
            return;
        session.sawEnd = true;
        m_results.finalCheck.addFinalTotal(std::strtoull(message.c_str() + 4, nullptr, 10));
        if (m_results.finalCheck.finalSessions == m_sessions.size())
            finish();
        return;
    }
    if (!m_voting)
        return;
    ++m_results.broadcastsDelivered;
    const Clock::time_point now = Clock::now();
    for (const Clock::time_point sentAt : session.awaitingBroadcast)
        m_results.latencies.add(std::chrono::duration<double, std::milli>(now - sentAt).count());
    m_awaitingBroadcast -= session.awaitingBroadcast.size();
    session.awaitingBroadcast.clear();
    maybeEnd();
}

void PeerRun::maybeEnd()
{
    if (!m_voting || m_answered < m_plannedVotes || m_awaitingBroadcast != 0)
        return;
    m_results.redisCpuSeconds = LoadRun::cpuSeconds(m_options.redisPid) - m_cpuAtStart;
    m_results.votingSeconds = std::chrono::duration<double>(m_lastAnswer - m_paceStart).count();
    m_voting = false;
    m_ending = true;
    m_publishTimer.cancel();
    publish("end");
}

void PeerRun::fail(const std::string& what)
{
    if (m_done)
        return;
    m_failure = what;
    finish();
}

void PeerRun::finish()
{
    m_done = true;
    m_voting = false;
    m_paceTimer.cancel();
    m_publishTimer.cancel();
    m_deadline.cancel();
    for (Session& session : m_sessions) {
        if (session.connection)
            session.connection->close();
    }
    for (Voter& voter : m_voters)
        voter.connection->close();
    if (m_publisher)
        m_publisher->close();
}

} // namespace quorix::loadgen
