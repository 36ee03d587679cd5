// The open-vote rules as a client meets them, through VoteServiceCore, against both ballot boxes:
// MemoryBallotBox (one service process) and RedisBallotBox (a redis-server of the test's own).
// Every row runs in a sub-channel of its own, on both boxes, each wrapped in the
// EventReportingBallotBox that reports the vote events to the webhooks.

#include "voteservice/redis/redisbackend.h"
#include "tests/support/redistestserver.h"
#include "voteservice/core/eventreportingballotbox.h"
#include "voteservice/core/resultcode.h"
#include "tests/support/servicetestsupport.h"

#include <gtest/gtest.h>

#include <memory>

namespace quorix::service::test {
namespace {

enum class Box
{
    Memory,
    Redis
};

void PrintTo(Box box, std::ostream* os)
{
    *os << (box == Box::Memory ? "Memory" : "Redis");
}

enum class Do
{
    Vote,          // seat votes: option, tickets -> result
    VoteWrongRun,  // with a jiFangId the vote does not have -> result
    VoteWrongKind, // naming another kind of vote (option holds it) -> result
    StartSecond,   // the manager starts a second vote of the sub-channel -> result
    End,           // the manager ends the vote -> result
    Close,         // the manager closes the vote -> result
    Wait,          // option milliseconds pass, then a tick
    Counts,        // a second passes; the next broadcast shows counts
    Used,          // seat's ticket state shows `expect` tickets used
    History,       // the history holds `expect` entries, the newest with counts
    Shows,         // the last vote broadcast had status `expect`
    LeaveAll,      // every session of the sub-channel goes
    ComeBack,      // they come back
    Events         // the row's vote events so far are `events`, the last one's vote with `counts`
};

struct Step
{
    Do what;
    std::uint32_t seat = 0;
    std::uint32_t option = 0;
    std::uint32_t tickets = 1;
    std::uint32_t expect = 0;
    U32Map counts;
    std::vector<VoteEventKind> events;
};

Step vote(std::uint32_t seat, std::uint32_t option, std::uint32_t tickets, std::uint32_t result)
{
    return {Do::Vote, seat, option, tickets, result, {}, {}};
}
Step wrongRun(std::uint32_t seat, std::uint32_t result)
{
    return {Do::VoteWrongRun, seat, 0, 1, result, {}, {}};
}
Step wrongKind(std::uint32_t seat, std::uint32_t kind, std::uint32_t result)
{
    return {Do::VoteWrongKind, seat, kind, 1, result, {}, {}};
}
Step manage(Do what, std::uint32_t result)
{
    return {what, 1, 0, 1, result, {}, {}};
}
Step wait(std::uint32_t ms)
{
    return {Do::Wait, 0, ms, 1, 0, {}, {}};
}
Step counts(U32Map expected)
{
    return {Do::Counts, 0, 0, 1, 0, std::move(expected), {}};
}
Step used(std::uint32_t seat, std::uint32_t tickets)
{
    return {Do::Used, seat, 0, 1, tickets, {}, {}};
}
Step history(std::uint32_t entries, U32Map newest)
{
    return {Do::History, 0, 0, 1, entries, std::move(newest), {}};
}
Step shows(std::uint32_t status)
{
    return {Do::Shows, 0, 0, 1, status, {}, {}};
}
Step everyone(Do what)
{
    return {what, 0, 0, 1, 0, {}, {}};
}

Step events(std::vector<VoteEventKind> kinds, U32Map lastCounts = {})
{
    return {Do::Events, 0, 0, 1, 0, std::move(lastCounts), std::move(kinds)};
}

constexpr VoteEventKind kBegin = VoteEventKind::Begin;
constexpr VoteEventKind kProgress = VoteEventKind::Progress;
constexpr VoteEventKind kEnd = VoteEventKind::End;
constexpr VoteEventKind kClose = VoteEventKind::Close;

struct Row
{
    const char* name;
    VoteInfo vote;
    std::vector<Step> steps;
};

// Seats: 1 the manager, 2 and 3 viewers, 22 a second connection of the viewer 2, 7 and 8 judges.
constexpr std::uint32_t kSecondConnection = 22;

std::vector<Row> rows()
{
    const VoteInfo normal = normalVote("Best song", 3, 3, 2, 60);
    const VoteInfo judged = judgeVote("Dance", {7, 8});
    return {
        {"allowances per person and per option",
         normal,
         {vote(2, 0, 1, kResultOk), vote(2, 0, 1, kResultOk), vote(2, 0, 1, kResultOptionFull),
          vote(2, 1, 1, kResultOk), vote(2, 1, 1, kResultNoTicketsLeft), vote(2, 2, 1, kResultNoTicketsLeft),
          vote(kSecondConnection, 2, 1, kResultNoTicketsLeft), vote(3, 2, 1, kResultOk),
          vote(3, 7, 1, kResultNoSuchOption), vote(3, 0, 2, kResultBadTicketCount),
          vote(3, 0, 0, kResultBadTicketCount), used(2, 3), used(3, 1), counts({{0, 2}, {1, 1}, {2, 1}})}},
        {"judges give 1 to 5 points, listed judges only, once each",
         judged,
         {vote(2, 0, 3, kResultNotAJudge), vote(7, 0, 0, kResultBadTicketCount),
          vote(7, 0, 6, kResultBadTicketCount), vote(7, 1, 3, kResultNoSuchOption), vote(7, 0, 4, kResultOk),
          vote(7, 0, 5, kResultAlreadyScored), vote(8, 0, 5, kResultOk), used(7, 0), counts({{0, 9}}),
          manage(Do::End, kResultOk), history(1, {{0, 9}})}},
        {"a wrong jiFangId is not the running vote",
         normal,
         {wrongRun(2, kResultNotRunning), used(2, 0), vote(2, 0, 1, kResultOk),
          wrongRun(2, kResultNotRunning), used(2, 1)}},
        {"a vote of the wrong kind is refused",
         normal,
         {wrongKind(2, kGroupVote, kResultWrongVoteType), wrongKind(2, kJudgeVote, kResultWrongVoteType),
          used(2, 0)}},
        {"one open vote per sub-channel until it is closed",
         normal,
         {manage(Do::StartSecond, kResultAnotherVoteOpen), manage(Do::End, kResultOk),
          manage(Do::StartSecond, kResultAnotherVoteOpen), manage(Do::Close, kResultOk),
          manage(Do::StartSecond, kResultOk)}},
        {"a vote ends once",
         normal,
         {vote(2, 1, 1, kResultOk), manage(Do::End, kResultOk), shows(kVoteEnded),
          manage(Do::End, kResultEndNotFound), vote(3, 1, 1, kResultNotRunning),
          history(1, {{0, 0}, {1, 1}, {2, 0}}), events({kBegin, kEnd}, {{0, 0}, {1, 1}, {2, 0}})}},
        {"closing a running vote ends it first; a closed vote is gone",
         normal,
         {vote(2, 2, 1, kResultOk), manage(Do::Close, kResultOk), shows(kVoteEnded),
          history(1, {{0, 0}, {1, 0}, {2, 1}}), manage(Do::Close, kResultNotFound),
          manage(Do::End, kResultEndNotFound), vote(2, 2, 1, kResultNotRunning),
          events({kBegin, kEnd, kClose}, {{0, 0}, {1, 0}, {2, 1}})}},
        {"counts are told at most once a second, the latest once the second is over",
         normal,
         {vote(2, 0, 1, kResultOk), wait(100), events({kBegin, kProgress}, {{0, 1}, {1, 0}, {2, 0}}),
          vote(3, 0, 1, kResultOk), wait(100), wait(500), events({kBegin, kProgress}), wait(500),
          events({kBegin, kProgress, kProgress}, {{0, 2}, {1, 0}, {2, 0}}), wait(2000),
          events({kBegin, kProgress, kProgress}), vote(2, 1, 1, kResultOk), manage(Do::End, kResultOk),
          wait(2000), events({kBegin, kProgress, kProgress, kEnd}, {{0, 2}, {1, 1}, {2, 0}})}},
        {"a vote ends when its time runs out",
         normal,
         {vote(2, 0, 1, kResultOk), wait(58000), shows(kVoteStarted), vote(3, 0, 1, kResultOk), wait(3000),
          shows(kVoteEnded), vote(2, 1, 1, kResultNotRunning), manage(Do::End, kResultEndNotFound),
          history(1, {{0, 2}, {1, 0}, {2, 0}}), events({kBegin, kProgress, kEnd})}},
        {"a vote nobody watches still ends on time, into the history",
         normal,
         {vote(2, 1, 1, kResultOk), everyone(Do::LeaveAll), wait(59000), everyone(Do::ComeBack),
          shows(kVoteStarted), everyone(Do::LeaveAll), wait(2000), wait(1000), everyone(Do::ComeBack),
          vote(2, 1, 1, kResultNotRunning), manage(Do::End, kResultEndNotFound),
          history(1, {{0, 0}, {1, 1}, {2, 0}})}},
    };
}

class BallotRulesTest : public ::testing::TestWithParam<Box>
{
protected:
    void SetUp() override
    {
        if (GetParam() == Box::Redis) {
            if (!RedisTestServer::installed())
                GTEST_SKIP() << "redis-server is not installed (scripts/setup installs it)";
            ASSERT_TRUE(m_redis.start()) << "redis-server did not start";
            std::string error;
            m_backend = RedisBackend::open(m_redis.redisAddress(), error);
            ASSERT_TRUE(m_backend) << error;
            m_box = &m_backend->box();
        }
        VoteStorage& storage = m_backend ? static_cast<VoteStorage&>(m_backend->storage()) : m_memory;
        if (!m_box) {
            m_memoryBox = std::make_unique<MemoryBallotBox>(clock, storage);
            m_box = m_memoryBox.get();
        }
        m_reportingBox = std::make_unique<EventReportingBallotBox>(*m_box, m_events, clock);
        m_core = std::make_unique<VoteServiceCore>(clock, storage, sink, CoreOptions{}, m_reportingBox.get());
    }

    // Opens the seats in the row's own sub-channel, creates its vote and a second one, starts the first.
    void seat(std::uint32_t subChannelId, const VoteInfo& vote)
    {
        m_place = {10, subChannelId};
        m_seats.clear();
        for (std::uint32_t seat : {1u, 2u, 3u, 7u, 8u, kSecondConnection}) {
            const std::uint32_t uid = seat == kSecondConnection ? 2 : seat;
            const SessionId id = ++m_lastId;
            ASSERT_TRUE(m_core->openSession(id, identity(uid, seat == 1 ? 255 : 25, subChannelId)));
            m_seats[seat] = id;
        }
        const SessionId manager = m_seats[1];
        request(manager, VOTE_SYSTEM_CREATE_VOTE_REQ, PCreateVoteReq{10, subChannelId, vote, {}});
        const std::uint32_t voteId = sink.last<PCreateVoteRes>(manager, VOTE_SYSTEM_CREATE_VOTE_RES).voteId;
        request(manager, VOTE_SYSTEM_CREATE_VOTE_REQ,
                PCreateVoteReq{10, subChannelId, normalVote("second", 2, 1, 1), {}});
        m_second = sink.last<PCreateVoteRes>(manager, VOTE_SYSTEM_CREATE_VOTE_RES).voteId;
        ASSERT_EQ(start(voteId), kResultOk);
        m_started = sink.last<PStartVoteRes>(manager, VOTE_SYSTEM_START_VOTE_RES);
        m_voteType = vote.voteType;
    }

    template <class Message> void request(SessionId id, std::uint32_t minType, const Message& message)
    {
        m_core->handle(id, minType, mpak::encode(message));
        // A shared box may answer user votes at its next flush.
        if (m_box != nullptr)
            m_box->flush();
    }

    std::uint32_t start(std::uint32_t voteId)
    {
        request(m_seats[1], VOTE_SYSTEM_START_VOTE_REQ,
                PStartVoteReq{m_place.channelId, m_place.subChannelId, voteId, 1, {}});
        return sink.last<PStartVoteRes>(m_seats[1], VOTE_SYSTEM_START_VOTE_RES).result;
    }

    std::uint32_t castFrom(std::uint32_t seat, std::uint32_t voteType, std::uint32_t jiFangId,
                           std::uint32_t option, std::uint32_t tickets)
    {
        const std::uint32_t uid = seat == kSecondConnection ? 2 : seat;
        request(m_seats[seat], VOTE_SYSTEM_USER_VOTE_REQ,
                PUserVoteReq{m_place.channelId,
                             m_place.subChannelId,
                             m_started.voteId,
                             voteType,
                             jiFangId,
                             uid,
                             option,
                             tickets,
                             {}});
        return sink.last<PUserVoteRes>(m_seats[seat], VOTE_SYSTEM_USER_VOTE_RES).result;
    }

    PBroadcastVote lastBroadcast()
    {
        return sink.last<PBroadcastVote>(m_seats[3], VOTE_SYSTEM_BROADCAST_VOTE);
    }

    void run(const Step& step)
    {
        const SessionId manager = m_seats[1];
        const auto [channel, sub] = m_place;
        switch (step.what) {
        case Do::Vote:
            EXPECT_EQ(castFrom(step.seat, m_voteType, m_started.jiFangId, step.option, step.tickets),
                      step.expect);
            return;
        case Do::VoteWrongRun:
            EXPECT_EQ(castFrom(step.seat, m_voteType, m_started.jiFangId + 1, 0, 1), step.expect);
            return;
        case Do::VoteWrongKind:
            EXPECT_EQ(castFrom(step.seat, step.option, m_started.jiFangId, 0, 1), step.expect);
            return;
        case Do::StartSecond:
            EXPECT_EQ(start(m_second), step.expect);
            return;
        case Do::End:
            request(manager, VOTE_SYSTEM_END_VOTE_REQ,
                    PEndVoteReq{channel, sub, m_started.voteId, 0, m_started.jiFangId, {}});
            EXPECT_EQ(sink.last<PEndVoteRes>(manager, VOTE_SYSTEM_END_VOTE_RES).result, step.expect);
            return;
        case Do::Close:
            return close(step.expect);
        case Do::Wait:
            clock.advanceMs(step.option);
            m_core->tick();
            return;
        case Do::Counts:
            clock.advanceMs(1000);
            m_core->tick();
            EXPECT_EQ(lastBroadcast().status, kVoteStarted);
            EXPECT_EQ(lastBroadcast().vote.optionTickets, step.counts);
            return;
        case Do::Used:
            return expectUsed(step.seat, step.expect);
        case Do::History: {
            request(manager, VOTE_SYSTEM_QUERY_VOTE_HIS_RECORD_REQ, PQueryVoteHisRecordReq{channel, sub, {}});
            const auto records =
                sink.last<PQueryVoteHisRecordRes>(manager, VOTE_SYSTEM_QUERY_VOTE_HIS_RECORD_RES).records;
            ASSERT_EQ(records.size(), step.expect);
            EXPECT_EQ(records.rbegin()->second.optionTickets, step.counts);
            return;
        }
        case Do::Shows:
            EXPECT_EQ(lastBroadcast().status, step.expect);
            EXPECT_EQ(lastBroadcast().jiFangId, m_started.jiFangId);
            return;
        case Do::LeaveAll:
            for (const auto& [seat, id] : m_seats)
                m_core->closeSession(id);
            return;
        case Do::ComeBack:
            return comeBack();
        case Do::Events:
            return expectEvents(step.events, step.counts);
        }
    }

    void expectEvents(const std::vector<VoteEventKind>& kinds, const U32Map& lastCounts)
    {
        std::vector<VoteEventKind> seen;
        const VoteEvent* last = nullptr;
        for (const VoteEvent& event : m_events.events) {
            if (!(event.place == m_place))
                continue;
            EXPECT_EQ(event.voteId, m_started.voteId);
            EXPECT_EQ(event.jiFangId, m_started.jiFangId);
            seen.push_back(event.kind);
            last = &event;
        }
        EXPECT_EQ(seen, kinds);
        if (!lastCounts.empty() && last != nullptr) {
            ASSERT_TRUE(last->vote);
            EXPECT_EQ(last->vote->record.optionTickets, lastCounts);
        }
    }

    void close(std::uint32_t expected)
    {
        const SessionId manager = m_seats[1];
        const std::size_t seen = sink.framesOf(m_seats[3], VOTE_SYSTEM_CLOSE_VOTEUI_RES).size();
        request(
            manager, VOTE_SYSTEM_CLOSE_VOTEUI_REQ,
            PCloseVoteReq{m_place.channelId, m_place.subChannelId, m_started.voteId, m_started.jiFangId, {}});
        EXPECT_EQ(sink.last<PCloseVoteUiRes>(manager, VOTE_SYSTEM_CLOSE_VOTEUI_RES).result, expected);
        // A close reaches every session of the sub-channel; a refused one only the manager.
        EXPECT_EQ(sink.framesOf(m_seats[3], VOTE_SYSTEM_CLOSE_VOTEUI_RES).size(),
                  seen + (expected == 0 ? 1 : 0));
    }

    // New sessions for every seat; one coming back to a running vote gets it at once.
    void comeBack()
    {
        for (auto& [seat, id] : m_seats) {
            const std::uint32_t uid = seat == kSecondConnection ? 2 : seat;
            id = ++m_lastId;
            ASSERT_TRUE(m_core->openSession(id, identity(uid, seat == 1 ? 255 : 25, m_place.subChannelId)));
        }
    }

    void expectUsed(std::uint32_t seat, std::uint32_t tickets)
    {
        const std::uint32_t uid = seat == kSecondConnection ? 2 : seat;
        request(m_seats[seat], VOTE_SYSTEM_USER_VOTE_STATE_REQ,
                PUserVoteStateReq{m_place.channelId,
                                  m_place.subChannelId,
                                  m_started.voteId,
                                  m_voteType,
                                  m_started.jiFangId,
                                  uid,
                                  {},
                                  {}});
        const auto state = sink.last<UserTicketInfo>(m_seats[seat], VOTE_SYSTEM_USER_VOTE_STATE_RES);
        EXPECT_EQ(state.state, 0u);
        EXPECT_EQ(state.ticketsUsed, tickets);
    }

    ManualClock clock;
    RecordingSink sink;

private:
    struct RecordingEvents : VoteEventSink
    {
        void voteEvent(VoteEvent event) override { events.push_back(std::move(event)); }
        std::vector<VoteEvent> events;
    };

    RedisTestServer m_redis;
    std::unique_ptr<RedisBackend> m_backend;
    BallotBox* m_box = nullptr;
    MemoryVoteStorage m_memory;
    std::unique_ptr<MemoryBallotBox> m_memoryBox;
    RecordingEvents m_events;
    std::unique_ptr<EventReportingBallotBox> m_reportingBox;
    std::unique_ptr<VoteServiceCore> m_core;
    SubChannelKey m_place;
    std::map<std::uint32_t, SessionId> m_seats;
    SessionId m_lastId = 0;
    PStartVoteRes m_started;
    std::uint32_t m_second = 0;
    std::uint32_t m_voteType = 0;
};

TEST_P(BallotRulesTest, EveryRowHolds)
{
    std::uint32_t subChannelId = 100;
    for (const Row& row : rows()) {
        SCOPED_TRACE(row.name);
        seat(++subChannelId, row.vote);
        std::size_t stepNo = 0;
        for (const Step& step : row.steps) {
            SCOPED_TRACE("step " + std::to_string(stepNo++));
            run(step);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Boxes, BallotRulesTest, ::testing::Values(Box::Memory, Box::Redis),
                         [](const ::testing::TestParamInfo<Box>& info) {
                             return info.param == Box::Memory ? "Memory" : "Redis";
                         });

} // namespace
} // namespace quorix::service::test
