#include "voteservice/core/historyextend.h"
#include "voteservice/core/recordvalidator.h"
#include "voteservice/core/resultcode.h"
#include "tests/support/servicetestsupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <regex>
#include <set>
#include <tuple>

namespace quorix::service::test {
namespace {

constexpr std::uint32_t kManagerRole = 255;
constexpr std::uint32_t kViewerRole = 25;

class CoreTest : public ::testing::Test
{
protected:
    explicit CoreTest(CoreOptions options = {}) : h(options)
    {
        manager = h.open(identity(1, kManagerRole));
        viewer = h.open(identity(2, kViewerRole));
        viewer2 = h.open(identity(3, kViewerRole));
        elsewhere = h.open(identity(4, kViewerRole, 21));
    }

    PBroadcastVote lastBroadcast(SessionId id)
    {
        return h.sink.last<PBroadcastVote>(id, VOTE_SYSTEM_BROADCAST_VOTE);
    }
    std::size_t broadcasts(SessionId id) { return h.sink.framesOf(id, VOTE_SYSTEM_BROADCAST_VOTE).size(); }
    PStartVoteRes startNormal(std::uint32_t perUser = 3, std::uint32_t perOption = 2,
                              std::uint32_t limit = 300)
    {
        return h.start(manager, h.create(manager, normalVote("Best song", 3, perUser, perOption, limit)));
    }
    std::uint32_t sendStart(SessionId id, std::uint32_t voteId)
    {
        const SessionIdentity& me = h.identities.at(id);
        h.request(id, VOTE_SYSTEM_START_VOTE_REQ,
                  PStartVoteReq{me.channelId, me.subChannelId, voteId, me.uid, {}});
        return h.sink.last<PStartVoteRes>(id, VOTE_SYSTEM_START_VOTE_RES).result;
    }
    std::uint32_t sendEnd(SessionId id, const PStartVoteRes& started)
    {
        h.request(id, VOTE_SYSTEM_END_VOTE_REQ, PEndVoteReq{10, 20, started.voteId, 0, started.jiFangId, {}});
        return h.sink.last<PEndVoteRes>(id, VOTE_SYSTEM_END_VOTE_RES).result;
    }
    void sendClose(SessionId id, const PStartVoteRes& started)
    {
        h.request(id, VOTE_SYSTEM_CLOSE_VOTEUI_REQ,
                  PCloseVoteReq{10, 20, started.voteId, started.jiFangId, {}});
    }
    UserTicketInfo ticketState(SessionId id, const PStartVoteRes& started,
                               std::uint32_t voteType = kNormalVote)
    {
        const SessionIdentity& me = h.identities.at(id);
        h.request(id, VOTE_SYSTEM_USER_VOTE_STATE_REQ,
                  PUserVoteStateReq{10, 20, started.voteId, voteType, started.jiFangId, me.uid, {}, {}});
        return h.sink.last<UserTicketInfo>(id, VOTE_SYSTEM_USER_VOTE_STATE_RES);
    }
    PQueryVoteHisRecordRes history(SessionId id)
    {
        h.request(id, VOTE_SYSTEM_QUERY_VOTE_HIS_RECORD_REQ, PQueryVoteHisRecordReq{10, 20, {}});
        return h.sink.last<PQueryVoteHisRecordRes>(id, VOTE_SYSTEM_QUERY_VOTE_HIS_RECORD_RES);
    }

    CoreHarness h;
    SessionId manager = 0, viewer = 0, viewer2 = 0, elsewhere = 0;
};

// ---- authorization and identity -----------------------------------------------------------------

TEST_F(CoreTest, EveryManagerRoleMayCreateAndOtherRolesAreRefused)
{
    const struct
    {
        std::uint32_t role;
        std::uint32_t result;
    } rows[] = {{255, 0}, {230, 0}, {200, 0}, {175, 0}, {150, 0},
                {0, 6},   {25, 6},  {100, 6}, {254, 6}, {151, 6}};
    std::uint32_t uid = 100;
    for (const auto& row : rows) {
        const SessionId id = h.open(identity(++uid, row.role));
        h.request(id, VOTE_SYSTEM_CREATE_VOTE_REQ, PCreateVoteReq{10, 20, normalVote("v", 2, 1, 1), {}});
        EXPECT_EQ(h.sink.last<PCreateVoteRes>(id, VOTE_SYSTEM_CREATE_VOTE_RES).result, row.result)
            << "role " << row.role;
    }
}

TEST_F(CoreTest, ViewersCannotManageVotes)
{
    const std::uint32_t voteId = h.create(manager, normalVote("v", 2, 1, 1));
    h.request(viewer, VOTE_SYSTEM_UPDATE_VOTE_REQ,
              PUpdateVoteReq{10,
                             20,
                             voteId,
                             [&] {
                                 VoteInfo v = normalVote("changed", 2, 1, 1);
                                 v.voteId = voteId;
                                 return v;
                             }(),
                             {}});
    EXPECT_EQ(h.sink.last<PUpdateVoteRes>(viewer, VOTE_SYSTEM_UPDATE_VOTE_RES).result, kResultNotManager);
    h.request(viewer, VOTE_SYSTEM_DELETE_VOTE_REQ, PDeleteVoteReq{10, 20, voteId, 0, {}});
    EXPECT_EQ(h.sink.last<PDeleteVoteRes>(viewer, VOTE_SYSTEM_DELETE_VOTE_RES).result, kResultNotManager);
    h.request(viewer, VOTE_SYSTEM_BATCH_DELETE_VOTE_REQ, PBatchDeleteVoteReq{10, 20, {{voteId, 0}}, {}});
    EXPECT_EQ(h.sink.last<PBatchDeleteVoteRes>(viewer, VOTE_SYSTEM_BATCH_DELETE_VOTE_RES).aux1,
              kResultNotManager);
    EXPECT_EQ(sendStart(viewer, voteId), kResultNotManager);
    h.request(viewer, VOTE_SYSTEM_QUERY_ALL_VOTE_REQ, PQueryAllVoteReq{10, 20, {}});
    EXPECT_EQ(h.sink.last<PQueryAllVoteRes>(viewer, VOTE_SYSTEM_QUERY_ALL_VOTE_RES).result,
              kResultNotManager);

    const PStartVoteRes started = h.start(manager, voteId);
    EXPECT_EQ(sendEnd(viewer, started), kResultNotManager);
    sendClose(viewer, started);
    EXPECT_EQ(h.sink.last<PCloseVoteUiRes>(viewer, VOTE_SYSTEM_CLOSE_VOTEUI_RES).result, kResultNotManager);
    EXPECT_TRUE(h.sink.framesOf(viewer2, VOTE_SYSTEM_CLOSE_VOTEUI_RES).empty());
    ASSERT_TRUE(h.storage.findVote({10, 20}, voteId));
    EXPECT_EQ(h.storage.findVote({10, 20}, voteId)->name, "v");
}

// Each request of the protocol from a manager whose token has one scope: with the scope the request
// needs it gets its own answer, without it result 22. Pushes reach the session whatever its scopes.
TEST(CoreScopeTest, EveryRequestNeedsItsScope)
{
    const ScopeSet events = AccessScope::Events, vote = AccessScope::Vote, manage = AccessScope::Manage;
    struct Stage
    {
        std::uint32_t stored; // a vote that is not open
        PStartVoteRes running;
    };
    const struct
    {
        const char* name;
        std::uint32_t request;
        ScopeSet needs;
        std::function<std::string(const Stage&)> body;
        std::uint32_t answered; // the result with the scope
    } rows[] = {
        {"create", VOTE_SYSTEM_CREATE_VOTE_REQ, manage,
         [](const Stage&) {
             return mpak::encode(PCreateVoteReq{10, 20, normalVote("n", 2, 1, 1), {}});
         },
         0},
        {"update", VOTE_SYSTEM_UPDATE_VOTE_REQ, manage,
         [](const Stage& s) {
             VoteInfo changed = normalVote("changed", 2, 1, 1);
             changed.voteId = s.stored;
             return mpak::encode(PUpdateVoteReq{10, 20, s.stored, changed, {}});
         },
         0},
        {"start", VOTE_SYSTEM_START_VOTE_REQ, manage,
         [](const Stage& s) {
             return mpak::encode(PStartVoteReq{10, 20, s.stored, 9, {}});
         },
         kResultAnotherVoteOpen},
        {"end", VOTE_SYSTEM_END_VOTE_REQ, manage,
         [](const Stage& s) {
             return mpak::encode(PEndVoteReq{10, 20, s.running.voteId, 0, s.running.jiFangId, {}});
         },
         0},
        {"delete", VOTE_SYSTEM_DELETE_VOTE_REQ, manage,
         [](const Stage& s) {
             return mpak::encode(PDeleteVoteReq{10, 20, s.stored, 0, {}});
         },
         0},
        {"batch delete", VOTE_SYSTEM_BATCH_DELETE_VOTE_REQ, manage,
         [](const Stage& s) {
             return mpak::encode(PBatchDeleteVoteReq{10, 20, {{s.stored, 0}}, {}});
         },
         0},
        {"vote list", VOTE_SYSTEM_QUERY_ALL_VOTE_REQ, manage,
         [](const Stage&) {
             return mpak::encode(PQueryAllVoteReq{10, 20, {}});
         },
         0},
        {"close", VOTE_SYSTEM_CLOSE_VOTEUI_REQ, manage,
         [](const Stage& s) {
             return mpak::encode(PCloseVoteReq{10, 20, s.running.voteId, s.running.jiFangId, {}});
         },
         0},
        {"user vote", VOTE_SYSTEM_USER_VOTE_REQ, vote,
         [](const Stage& s) {
             return mpak::encode(
                 PUserVoteReq{10, 20, s.running.voteId, kNormalVote, s.running.jiFangId, 9, 1, 1, {}});
         },
         0},
        {"ticket state", VOTE_SYSTEM_USER_VOTE_STATE_REQ, events,
         [](const Stage& s) {
             return mpak::encode(
                 PUserVoteStateReq{10, 20, s.running.voteId, kNormalVote, s.running.jiFangId, 9, {}, {}});
         },
         0},
        {"history", VOTE_SYSTEM_QUERY_VOTE_HIS_RECORD_REQ, events,
         [](const Stage&) {
             return mpak::encode(PQueryVoteHisRecordReq{10, 20, {}});
         },
         0},
        {"nickname", VOTE_SYSTEM_QUERY_NICKNAME_REQ, events,
         [](const Stage&) {
             return mpak::encode(PQueryNicknameReq{90001, {}});
         },
         0},
    };
    for (const auto& row : rows) {
        for (const ScopeSet scopes : {events, vote, manage}) {
            CoreHarness h;
            const SessionId full = h.open(identity(1, kManagerRole));
            SessionIdentity asking = identity(9, kManagerRole);
            asking.scopes = scopes;
            const SessionId id = h.open(asking);
            Stage stage;
            stage.stored = h.create(full, normalVote("stored", 2, 1, 1));
            stage.running = h.start(full, h.create(full, normalVote("running", 3, 3, 2)));
            EXPECT_EQ(h.sink.framesOf(id, VOTE_SYSTEM_BROADCAST_VOTE).size(), 1u) << scopes.words();

            h.sink.clear();
            ASSERT_EQ(h.send(id, row.request, row.body(stage)), Disposition::Keep);
            const auto answers = h.sink.framesOf(id, row.request + 1);
            ASSERT_EQ(answers.size(), 1u) << row.name << " with " << scopes.words();
            mpak::Unpack up(answers[0].payload);
            std::uint32_t result = up.pop_uint32();
            if (row.request == VOTE_SYSTEM_USER_VOTE_STATE_REQ && result == kTicketStateRefused)
                result = up.pop_uint32();
            EXPECT_EQ(result, scopes == row.needs ? row.answered : std::uint32_t(kResultScopeMissing))
                << row.name << " with " << scopes.words();
        }
    }
}

TEST_F(CoreTest, BodiesNamingAnotherUserOrPlaceAreRefused)
{
    h.request(manager, VOTE_SYSTEM_CREATE_VOTE_REQ, PCreateVoteReq{10, 21, normalVote("v", 2, 1, 1), {}});
    EXPECT_EQ(h.sink.last<PCreateVoteRes>(manager, VOTE_SYSTEM_CREATE_VOTE_RES).result,
              kResultIdentityMismatch);
    EXPECT_TRUE(h.storage.votes({10, 21}).empty());

    const std::uint32_t voteId = h.create(manager, normalVote("v", 2, 1, 1));
    h.request(manager, VOTE_SYSTEM_START_VOTE_REQ, PStartVoteReq{10, 20, voteId, 2, {}});
    EXPECT_EQ(h.sink.last<PStartVoteRes>(manager, VOTE_SYSTEM_START_VOTE_RES).result,
              kResultIdentityMismatch);

    const PStartVoteRes started = h.start(manager, voteId);
    // The viewer votes in the name of the manager.
    h.request(viewer, VOTE_SYSTEM_USER_VOTE_REQ,
              PUserVoteReq{10, 20, voteId, kNormalVote, started.jiFangId, 1, 0, 1, {}});
    EXPECT_EQ(h.sink.last<PUserVoteRes>(viewer, VOTE_SYSTEM_USER_VOTE_RES).result, kResultIdentityMismatch);
    // A viewer of another sub-channel votes by naming this one.
    h.request(elsewhere, VOTE_SYSTEM_USER_VOTE_REQ,
              PUserVoteReq{10, 20, voteId, kNormalVote, started.jiFangId, 4, 0, 1, {}});
    EXPECT_EQ(h.sink.last<PUserVoteRes>(elsewhere, VOTE_SYSTEM_USER_VOTE_RES).result,
              kResultIdentityMismatch);
    EXPECT_EQ(ticketState(manager, started).ticketsUsed, 0u);
}

// ---- stored votes and the channel list ----------------------------------------------------------

TEST_F(CoreTest, ListPushFollowsTheAnswerForEverySuccessfulChange)
{
    const std::uint32_t a = h.create(manager, normalVote("a", 2, 1, 1));
    const std::uint32_t b = h.create(manager, normalVote("b", 2, 1, 1));
    VoteInfo edited = normalVote("b2", 3, 2, 1);
    edited.voteId = b;
    h.request(manager, VOTE_SYSTEM_UPDATE_VOTE_REQ, PUpdateVoteReq{10, 20, b, edited, {}});
    h.request(manager, VOTE_SYSTEM_DELETE_VOTE_REQ, PDeleteVoteReq{10, 20, a, 0, {}});

    std::vector<std::uint32_t> order;
    for (const ReceivedFrame& f : h.sink.framesOf(manager))
        order.push_back(f.minType);
    EXPECT_EQ(order, (std::vector<std::uint32_t>{2, 30, 2, 30, 4, 30, 12, 30}));

    const auto list = h.sink.last<PBroadcastChannelVote>(viewer, VOTE_SYSTEM_BROADCAST_CHANNEL_VOTE);
    ASSERT_EQ(list.votes.size(), 1u);
    EXPECT_EQ(list.votes[0].voteId, b);
    EXPECT_EQ(list.votes[0].name, "b2");
    EXPECT_EQ(h.sink.framesOf(viewer, VOTE_SYSTEM_BROADCAST_CHANNEL_VOTE).size(), 4u);
    EXPECT_TRUE(h.sink.framesOf(elsewhere, VOTE_SYSTEM_BROADCAST_CHANNEL_VOTE).empty());
}

TEST_F(CoreTest, RefusedChangesPushNoList)
{
    h.request(manager, VOTE_SYSTEM_CREATE_VOTE_REQ, PCreateVoteReq{10, 20, normalVote("", 2, 1, 1), {}});
    EXPECT_EQ(h.sink.last<PCreateVoteRes>(manager, VOTE_SYSTEM_CREATE_VOTE_RES).result, kResultInvalidRecord);
    h.request(manager, VOTE_SYSTEM_DELETE_VOTE_REQ, PDeleteVoteReq{10, 20, 999, 0, {}});
    EXPECT_EQ(h.sink.last<PDeleteVoteRes>(manager, VOTE_SYSTEM_DELETE_VOTE_RES).result, kResultNotFound);
    EXPECT_TRUE(h.sink.framesOf(viewer, VOTE_SYSTEM_BROADCAST_CHANNEL_VOTE).empty());
}

TEST_F(CoreTest, StoredRecordDropsClientCountsAndOwner)
{
    VoteInfo vote = judgeVote("Dance", {7, 8});
    vote.ownerUid = 555;
    vote.optionTickets = {{0, 99}};
    vote.judges[7].points = 5;
    vote.auxText2 = "carried";
    const std::uint32_t id = h.create(manager, vote);
    const auto stored = h.storage.findVote({10, 20}, id);
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->ownerUid, 0u);
    EXPECT_TRUE(stored->optionTickets.empty());
    EXPECT_EQ(stored->judges.at(7).points, 0u);
    EXPECT_EQ(stored->auxText2, "carried");
}

TEST_F(CoreTest, OpenVoteCannotBeUpdatedOrDeleted)
{
    const PStartVoteRes started = startNormal();
    VoteInfo edited = normalVote("x", 2, 1, 1);
    edited.voteId = started.voteId;
    h.request(manager, VOTE_SYSTEM_UPDATE_VOTE_REQ, PUpdateVoteReq{10, 20, started.voteId, edited, {}});
    EXPECT_EQ(h.sink.last<PUpdateVoteRes>(manager, VOTE_SYSTEM_UPDATE_VOTE_RES).result, kResultVoteOpen);
    h.request(manager, VOTE_SYSTEM_BATCH_DELETE_VOTE_REQ,
              PBatchDeleteVoteReq{10, 20, {{started.voteId, 0}, {4242, 0}}, {}});
    const auto batch = h.sink.last<PBatchDeleteVoteRes>(manager, VOTE_SYSTEM_BATCH_DELETE_VOTE_RES);
    EXPECT_EQ(batch.aux1, kResultVoteOpen);
    EXPECT_EQ(batch.aux4, (U32Map{{started.voteId, kResultVoteOpen}, {4242, kResultNotFound}}));

    ASSERT_EQ(sendEnd(manager, started), 0u);
    h.request(manager, VOTE_SYSTEM_DELETE_VOTE_REQ, PDeleteVoteReq{10, 20, started.voteId, 0, {}});
    EXPECT_EQ(h.sink.last<PDeleteVoteRes>(manager, VOTE_SYSTEM_DELETE_VOTE_RES).result, kResultVoteOpen)
        << "an ended vote stays open until it is closed";
    sendClose(manager, started);
    h.request(manager, VOTE_SYSTEM_DELETE_VOTE_REQ, PDeleteVoteReq{10, 20, started.voteId, 0, {}});
    EXPECT_EQ(h.sink.last<PDeleteVoteRes>(manager, VOTE_SYSTEM_DELETE_VOTE_RES).result, 0u);
}

TEST_F(CoreTest, BatchDeleteRemovesEveryListedVoteAndPushesOnce)
{
    const std::uint32_t a = h.create(manager, normalVote("a", 2, 1, 1));
    const std::uint32_t b = h.create(manager, normalVote("b", 2, 1, 1));
    const std::uint32_t c = h.create(manager, normalVote("c", 2, 1, 1));
    h.sink.clear();
    h.request(manager, VOTE_SYSTEM_BATCH_DELETE_VOTE_REQ, PBatchDeleteVoteReq{10, 20, {{a, 0}, {c, 0}}, {}});
    const auto res = h.sink.last<PBatchDeleteVoteRes>(manager, VOTE_SYSTEM_BATCH_DELETE_VOTE_RES);
    EXPECT_EQ(res.aux1, 0u);
    EXPECT_EQ(res.aux2, 2u);
    const auto list = h.sink.last<PBroadcastChannelVote>(viewer, VOTE_SYSTEM_BROADCAST_CHANNEL_VOTE);
    ASSERT_EQ(list.votes.size(), 1u);
    EXPECT_EQ(list.votes[0].voteId, b);
    EXPECT_EQ(h.sink.framesOf(viewer).size(), 1u);
}

TEST_F(CoreTest, ListThatWouldNotFitOneFrameIsRefused)
{
    CoreOptions options;
    options.maxVotesPerSubChannel = 1000;
    CoreHarness big(options);
    const SessionId m = big.open(identity(1, kManagerRole));
    VoteInfo fat = normalVote("fat", 10, 1, 1);
    fat.auxText2.assign(3000, 'x');
    std::uint32_t lastResult = 0;
    int created = 0;
    for (int i = 0; i < 40 && lastResult == 0; ++i) {
        big.request(m, VOTE_SYSTEM_CREATE_VOTE_REQ, PCreateVoteReq{10, 20, fat, {}});
        lastResult = big.sink.last<PCreateVoteRes>(m, VOTE_SYSTEM_CREATE_VOTE_RES).result;
        created += lastResult == 0;
    }
    EXPECT_EQ(lastResult, kResultListFull);
    EXPECT_GT(created, 10);
    big.request(m, VOTE_SYSTEM_QUERY_ALL_VOTE_REQ, PQueryAllVoteReq{10, 20, {}});
    EXPECT_EQ(big.sink.last<PQueryAllVoteRes>(m, VOTE_SYSTEM_QUERY_ALL_VOTE_RES).votes.size(),
              static_cast<std::size_t>(created));
}

TEST_F(CoreTest, VoteCountPerSubChannelIsBounded)
{
    CoreOptions options;
    options.maxVotesPerSubChannel = 3;
    CoreHarness small(options);
    const SessionId m = small.open(identity(1, kManagerRole));
    for (int i = 0; i < 3; ++i)
        small.create(m, normalVote("v", 2, 1, 1));
    small.request(m, VOTE_SYSTEM_CREATE_VOTE_REQ, PCreateVoteReq{10, 20, normalVote("v", 2, 1, 1), {}});
    EXPECT_EQ(small.sink.last<PCreateVoteRes>(m, VOTE_SYSTEM_CREATE_VOTE_RES).result, kResultListFull);
}

struct CapStep
{
    enum Kind
    {
        Create,
        Update,
        Delete
    } kind;
    SubChannelKey place;
    std::uint32_t result;
};

struct CapRow
{
    const char* what;
    std::size_t perSubChannel, perChannel, total;
    std::vector<CapStep> steps;
};

TEST(CoreCapsTest, StoredVotesAreCappedPerSubChannelChannelAndService)
{
    const SubChannelKey a{10, 20}, b{10, 21}, c{10, 22}, d{10, 23}, other{11, 20}, third{12, 20};
    constexpr std::uint32_t full = kResultListFull;
    using S = CapStep;
    const CapRow rows[] = {
        {"channel cap over its sub-channels",
         100,
         3,
         100,
         {{S::Create, a, 0},
          {S::Create, b, 0},
          {S::Create, c, 0},
          {S::Create, d, full},
          {S::Create, a, full},
          {S::Create, other, 0}}},
        {"total cap over channels",
         100,
         100,
         3,
         {{S::Create, a, 0},
          {S::Create, other, 0},
          {S::Create, third, 0},
          {S::Create, b, full},
          {S::Create, {13, 1}, full}}},
        {"sub-channel cap below the others",
         2,
         100,
         100,
         {{S::Create, a, 0}, {S::Create, a, 0}, {S::Create, a, full}, {S::Create, b, 0}}},
        {"a full channel still updates, and a delete makes room",
         100,
         2,
         100,
         {{S::Create, a, 0},
          {S::Create, b, 0},
          {S::Create, c, full},
          {S::Update, a, 0},
          {S::Delete, a, 0},
          {S::Create, c, 0},
          {S::Create, a, full}}},
        {"a full service makes room after a delete",
         100,
         100,
         2,
         {{S::Create, a, 0},
          {S::Create, other, 0},
          {S::Create, third, full},
          {S::Delete, other, 0},
          {S::Create, third, 0}}},
    };
    for (const CapRow& row : rows) {
        CoreOptions options;
        options.maxVotesPerSubChannel = row.perSubChannel;
        options.maxVotesPerChannel = row.perChannel;
        options.maxVotesTotal = row.total;
        CoreHarness h(options);
        std::map<SubChannelKey, SessionId> managers;
        std::map<SubChannelKey, std::vector<std::uint32_t>> created;
        std::uint32_t uid = 0;
        std::size_t stepNo = 0;
        for (const CapStep& step : row.steps) {
            SessionId& m = managers[step.place];
            if (m == 0)
                m = h.open(identity(++uid, kManagerRole, step.place.subChannelId, step.place.channelId));
            const auto [channel, sub] = step.place;
            std::vector<std::uint32_t>& ids = created[step.place];
            const std::size_t listed = h.storage.votes(step.place).size();
            std::uint32_t result = 999;
            if (step.kind == CapStep::Create) {
                h.request(m, VOTE_SYSTEM_CREATE_VOTE_REQ,
                          PCreateVoteReq{channel, sub, normalVote("v", 2, 1, 1), {}});
                const auto res = h.sink.last<PCreateVoteRes>(m, VOTE_SYSTEM_CREATE_VOTE_RES);
                result = res.result;
                if (result == kResultOk)
                    ids.push_back(res.voteId);
                EXPECT_EQ(h.storage.votes(step.place).size(), listed + (result == kResultOk ? 1 : 0));
            } else if (step.kind == CapStep::Update) {
                VoteInfo renamed = normalVote("renamed", 2, 1, 1);
                renamed.voteId = ids.back();
                h.request(m, VOTE_SYSTEM_UPDATE_VOTE_REQ,
                          PUpdateVoteReq{channel, sub, ids.back(), renamed, {}});
                result = h.sink.last<PUpdateVoteRes>(m, VOTE_SYSTEM_UPDATE_VOTE_RES).result;
            } else {
                h.request(m, VOTE_SYSTEM_DELETE_VOTE_REQ, PDeleteVoteReq{channel, sub, ids.back(), 0, {}});
                result = h.sink.last<PDeleteVoteRes>(m, VOTE_SYSTEM_DELETE_VOTE_RES).result;
                ids.pop_back();
            }
            EXPECT_EQ(result, step.result) << row.what << ", step " << stepNo;
            ++stepNo;
        }
    }
}

// ---- start --------------------------------------------------------------------------------------

TEST_F(CoreTest, StartAnswersThenBroadcastsTheFullAllowanceToTheSubChannel)
{
    const std::uint32_t voteId = h.create(manager, normalVote("Best song", 3, 3, 2, 120));
    h.sink.clear();
    const PStartVoteRes started = h.start(manager, voteId);
    EXPECT_EQ(started.voteId, voteId);

    const auto& managerFrames = h.sink.framesOf(manager);
    ASSERT_EQ(managerFrames.size(), 2u);
    EXPECT_EQ(managerFrames[0].minType, VOTE_SYSTEM_START_VOTE_RES);
    EXPECT_EQ(managerFrames[1].minType, VOTE_SYSTEM_BROADCAST_VOTE);
    for (SessionId id : {manager, viewer, viewer2}) {
        const PBroadcastVote b = lastBroadcast(id);
        EXPECT_EQ(b.status, kVoteStarted);
        EXPECT_EQ(b.fullAllowance, 1u);
        EXPECT_EQ(b.remainSeconds, 120u);
        EXPECT_EQ(b.jiFangId, started.jiFangId);
        EXPECT_EQ(b.vote.voteId, voteId);
        EXPECT_EQ(b.vote.ownerUid, 1u);
        EXPECT_EQ(b.vote.optionTickets, (U32Map{{0, 0}, {1, 0}, {2, 0}}));
    }
    EXPECT_EQ(broadcasts(elsewhere), 0u);
}

TEST_F(CoreTest, StartResultCodes)
{
    EXPECT_EQ(sendStart(manager, 4242), kResultNotFound);
    const std::uint32_t a = h.create(manager, normalVote("a", 2, 1, 1));
    const std::uint32_t b = h.create(manager, normalVote("b", 2, 1, 1));
    const PStartVoteRes first = h.start(manager, a);
    EXPECT_EQ(sendStart(manager, b), kResultAnotherVoteOpen);
    EXPECT_EQ(sendStart(manager, a), kResultAnotherVoteOpen);
    ASSERT_EQ(sendEnd(manager, first), 0u);
    EXPECT_EQ(sendStart(manager, b), kResultAnotherVoteOpen) << "ended but not closed";
    sendClose(manager, first);
    const PStartVoteRes second = h.start(manager, b);
    EXPECT_NE(second.jiFangId, first.jiFangId);

    // Another sub-channel has its own slot.
    const SessionId otherManager = h.open(identity(9, 200, 21));
    const PStartVoteRes third = h.start(otherManager, h.create(otherManager, normalVote("c", 2, 1, 1)));
    EXPECT_NE(third.jiFangId, second.jiFangId);
}

// A start is scheduled for a second still to come, at most 30 days ahead, of a stored vote, by a
// manager; the vote list (answer and push, in their extend) names each schedule; a cancel or the
// vote's delete forgets it.
TEST_F(CoreTest, ScheduledStartsAreCheckedListedAndCancelled)
{
    const std::uint32_t voteId = h.create(manager, normalVote("later", 2, 1, 1));
    const std::int64_t now = h.clock.unixSeconds();
    const std::int64_t days30 = 30 * 24 * 3600;
    const struct
    {
        const char* what;
        SessionId who;
        std::uint32_t voteId;
        std::string at;
        std::uint32_t result;
    } rows[] = {
        {"a second passed", manager, voteId, std::to_string(now - 1), kResultStartTimePassed},
        {"this very second", manager, voteId, std::to_string(now), kResultStartTimePassed},
        {"beyond 30 days", manager, voteId, std::to_string(now + days30 + 1), kResultStartTimeTooFar},
        {"not a number", manager, voteId, "soon", kResultMalformed},
        {"a number with a tail", manager, voteId, "1800000100x", kResultMalformed},
        {"an unknown vote", manager, 4242, std::to_string(now + 60), kResultNotFound},
        {"a viewer", viewer, voteId, std::to_string(now + 60), kResultNotManager},
        {"30 days ahead", manager, voteId, std::to_string(now + days30), kResultOk},
        {"moved to a minute ahead", manager, voteId, std::to_string(now + 60), kResultOk},
    };
    for (const auto& row : rows) {
        h.request(row.who, VOTE_SYSTEM_START_VOTE_REQ,
                  scheduleRequest(h.identities.at(row.who), row.voteId, row.at));
        EXPECT_EQ(h.sink.last<PStartVoteRes>(row.who, VOTE_SYSTEM_START_VOTE_RES).result, row.result)
            << row.what;
    }
    EXPECT_EQ(broadcasts(viewer), 0u) << "nothing started";
    const ExtendMap listed{{"schedule:" + std::to_string(voteId), std::to_string(now + 60) + " pending"}};
    h.request(manager, VOTE_SYSTEM_QUERY_ALL_VOTE_REQ, PQueryAllVoteReq{10, 20, {}});
    EXPECT_EQ(h.sink.last<PQueryAllVoteRes>(manager, VOTE_SYSTEM_QUERY_ALL_VOTE_RES).extend, listed);
    EXPECT_EQ(h.sink.last<PBroadcastChannelVote>(viewer, VOTE_SYSTEM_BROADCAST_CHANNEL_VOTE).extend, listed);

    const auto cancel = [&] {
        h.request(manager, VOTE_SYSTEM_START_VOTE_REQ,
                  cancelScheduleRequest(h.identities.at(manager), voteId));
        return h.sink.last<PStartVoteRes>(manager, VOTE_SYSTEM_START_VOTE_RES).result;
    };
    EXPECT_EQ(cancel(), kResultOk);
    EXPECT_EQ(cancel(), kResultNoSchedule);
    EXPECT_TRUE(
        h.sink.last<PBroadcastChannelVote>(viewer, VOTE_SYSTEM_BROADCAST_CHANNEL_VOTE).extend.empty());
    ASSERT_EQ(h.schedule(manager, voteId, now + 60), kResultOk);
    h.request(manager, VOTE_SYSTEM_DELETE_VOTE_REQ, PDeleteVoteReq{10, 20, voteId, 0, {}});
    EXPECT_TRUE(h.storage.schedules({10, 20}).empty()) << "deleted with its vote";
}

// At its second the vote starts in the name of the manager who scheduled it; a second vote due
// then meets the first one open: it is kept as missed in the list, not started and not dropped.
TEST_F(CoreTest, AScheduledVoteStartsAtItsSecondAndAClashIsKeptAsMissed)
{
    const std::uint32_t first = h.create(manager, normalVote("first", 2, 1, 1));
    const std::uint32_t second = h.create(manager, normalVote("second", 2, 1, 1));
    const std::int64_t at = h.clock.unixSeconds() + 10;
    ASSERT_EQ(h.schedule(manager, first, at), kResultOk);
    ASSERT_EQ(h.schedule(manager, second, at), kResultOk);
    h.clock.advanceMs(9750);
    h.core.tick();
    EXPECT_EQ(broadcasts(viewer), 0u) << "not before its second";

    // Checked every quarter second: started within one of its second.
    h.clock.advanceMs(250);
    h.core.tick();
    ASSERT_EQ(broadcasts(viewer), 1u);
    const PBroadcastVote started = lastBroadcast(viewer);
    EXPECT_EQ(started.status, kVoteStarted);
    EXPECT_EQ(started.fullAllowance, 1u);
    EXPECT_EQ(started.vote.voteId, first);
    EXPECT_EQ(started.vote.ownerUid, 1u);
    EXPECT_EQ(h.sink.last<PBroadcastChannelVote>(viewer, VOTE_SYSTEM_BROADCAST_CHANNEL_VOTE).extend,
              (ExtendMap{{"schedule:" + std::to_string(second), std::to_string(at) + " missed"}}));

    h.clock.advanceSeconds(5);
    h.core.tick();
    EXPECT_EQ(lastBroadcast(viewer).vote.voteId, first) << "the missed one is not tried again";
    EXPECT_EQ(h.schedule(manager, second, h.clock.unixSeconds() + 600), kResultOk) << "scheduled anew";
}

TEST_F(CoreTest, RestartingAVoteStartsFromZero)
{
    const PStartVoteRes first = startNormal(3, 3);
    ASSERT_EQ(h.vote(viewer, first, kNormalVote, 1), 0u);
    ASSERT_EQ(sendEnd(manager, first), 0u);
    sendClose(manager, first);
    const PStartVoteRes again = h.start(manager, first.voteId);
    EXPECT_EQ(lastBroadcast(viewer).vote.optionTickets, (U32Map{{0, 0}, {1, 0}, {2, 0}}));
    EXPECT_EQ(ticketState(viewer, again).ticketsUsed, 0u);
}

TEST(CoreRestartTest, ARestartedServiceDoesNotRepeatRunNumbers)
{
    CoreHarness before;
    const SessionId m1 = before.open(identity(1, 255));
    const PStartVoteRes first = before.start(m1, before.create(m1, normalVote("v", 2, 1, 1)));

    CoreHarness after; // same vote ids, a minute later
    after.clock.advanceSeconds(60);
    const SessionId m2 = after.open(identity(1, 255));
    const PStartVoteRes second = after.start(m2, after.create(m2, normalVote("v", 2, 1, 1)));
    ASSERT_EQ(first.voteId, second.voteId);
    EXPECT_NE(first.jiFangId, second.jiFangId);
    after.request(m2, VOTE_SYSTEM_END_VOTE_REQ, PEndVoteReq{10, 20, first.voteId, 0, first.jiFangId, {}});
    EXPECT_EQ(after.sink.last<PEndVoteRes>(m2, VOTE_SYSTEM_END_VOTE_RES).result, kResultEndNotFound);
}

// ---- tickets ------------------------------------------------------------------------------------

TEST_F(CoreTest, AllowancesPerPersonAndPerOption)
{
    const PStartVoteRes started = startNormal(3, 2);
    const struct
    {
        std::uint32_t option;
        std::uint32_t result;
    } rows[] = {
        {0, 0}, {0, 0}, {0, kResultOptionFull}, {1, 0}, {1, kResultNoTicketsLeft}, {2, kResultNoTicketsLeft}};
    for (const auto& row : rows)
        EXPECT_EQ(h.vote(viewer, started, kNormalVote, row.option), row.result) << "option " << row.option;

    // The allowance belongs to the person, not to the connection.
    const SessionId sameUser = h.open(identity(2, kViewerRole));
    EXPECT_EQ(h.vote(sameUser, started, kNormalVote, 2), kResultNoTicketsLeft);
    EXPECT_EQ(h.vote(viewer2, started, kNormalVote, 2), 0u);

    h.clock.advanceSeconds(1);
    h.core.tick();
    EXPECT_EQ(lastBroadcast(viewer2).vote.optionTickets, (U32Map{{0, 2}, {1, 1}, {2, 1}}));
}

TEST_F(CoreTest, BadTicketsAreRefusedWithoutCounting)
{
    const PStartVoteRes started = startNormal(3, 3);
    EXPECT_EQ(h.vote(viewer, started, kNormalVote, 7), kResultNoSuchOption);
    EXPECT_EQ(h.vote(viewer, started, kNormalVote, 0, 2), kResultBadTicketCount);
    EXPECT_EQ(h.vote(viewer, started, kNormalVote, 0, 0), kResultBadTicketCount);
    EXPECT_EQ(h.vote(viewer, started, kGroupVote, 0), kResultWrongVoteType);
    PStartVoteRes wrongRun = started;
    wrongRun.jiFangId += 1;
    EXPECT_EQ(h.vote(viewer, wrongRun, kNormalVote, 0), kResultNotRunning);
    PStartVoteRes wrongVote = started;
    wrongVote.voteId += 1;
    EXPECT_EQ(h.vote(viewer, wrongVote, kNormalVote, 0), kResultNotRunning);
    EXPECT_EQ(ticketState(viewer, started).ticketsUsed, 0u);

    ASSERT_EQ(sendEnd(manager, started), 0u);
    EXPECT_EQ(h.vote(viewer, started, kNormalVote, 0), kResultNotRunning);
}

TEST_F(CoreTest, TicketStateListsEveryOption)
{
    const PStartVoteRes started = startNormal(3, 2);
    const UserTicketInfo fresh = ticketState(viewer, started);
    EXPECT_EQ(fresh.state, 0u);
    EXPECT_EQ(fresh.ticketsPerUser, 3u);
    EXPECT_EQ(fresh.ticketsPerOption, 2u);
    EXPECT_EQ(fresh.ticketsUsed, 0u);
    EXPECT_EQ(fresh.usedPerOption, (U32Map{{0, 0}, {1, 0}, {2, 0}}));
    EXPECT_EQ(fresh.vote.voteId, started.voteId);

    ASSERT_EQ(h.vote(viewer, started, kNormalVote, 2), 0u);
    const UserTicketInfo after = ticketState(viewer, started);
    EXPECT_EQ(after.ticketsUsed, 1u);
    EXPECT_EQ(after.usedPerOption, (U32Map{{0, 0}, {1, 0}, {2, 1}}));
    EXPECT_EQ(after.vote.optionTickets.at(2), 1u);

    PStartVoteRes stale = started;
    stale.jiFangId += 5;
    const UserTicketInfo refused = ticketState(viewer, stale);
    EXPECT_NE(refused.state, 0u);
    EXPECT_NE(refused.state, 2u);
}

TEST_F(CoreTest, GroupVoteCountsPerTeamMember)
{
    const PStartVoteRes started = h.start(manager, h.create(manager, groupVote("Teams", 2, 3)));
    EXPECT_EQ(h.vote(viewer, started, kGroupVote, 4), 0u);
    EXPECT_EQ(h.vote(viewer, started, kGroupVote, 4), kResultOptionFull);
    EXPECT_EQ(h.vote(viewer, started, kGroupVote, 5), kResultNoSuchOption);
    EXPECT_EQ(ticketState(viewer, started, kGroupVote).usedPerOption.size(), 5u);
}

TEST_F(CoreTest, JudgeRules)
{
    const SessionId judgeA = h.open(identity(7, kViewerRole));
    const SessionId judgeB = h.open(identity(8, kViewerRole));
    const PStartVoteRes started = h.start(manager, h.create(manager, judgeVote("Dance", {7, 8})));

    EXPECT_EQ(h.vote(viewer, started, kJudgeVote, 0, 3), kResultNotAJudge);
    EXPECT_EQ(h.vote(judgeA, started, kJudgeVote, 0, 0), kResultBadTicketCount);
    EXPECT_EQ(h.vote(judgeA, started, kJudgeVote, 0, 6), kResultBadTicketCount);
    EXPECT_EQ(h.vote(judgeA, started, kJudgeVote, 1, 3), kResultNoSuchOption);
    EXPECT_EQ(h.vote(judgeA, started, kJudgeVote, 0, 4), 0u);
    EXPECT_EQ(h.vote(judgeA, started, kJudgeVote, 0, 5), kResultAlreadyScored);
    EXPECT_EQ(h.vote(judgeB, started, kJudgeVote, 0, 5), 0u);

    h.clock.advanceSeconds(1);
    h.core.tick();
    const PBroadcastVote b = lastBroadcast(viewer);
    EXPECT_EQ(b.vote.judges.at(7).points, 4u);
    EXPECT_EQ(b.vote.judges.at(8).points, 5u);
    EXPECT_EQ(b.vote.optionTickets.at(0), 9u);

    ASSERT_EQ(sendEnd(manager, started), 0u);
    const auto records = history(viewer).records;
    ASSERT_EQ(records.size(), 1u);
    const VoteHistoryRecord& r = records.begin()->second;
    EXPECT_EQ(r.voteType, kJudgeVote);
    EXPECT_EQ(r.options, (TextMap{{0, "Dance"}}));
    EXPECT_EQ(r.optionTickets, (U32Map{{0, 9}}));
}

// ---- ending and closing -------------------------------------------------------------------------

TEST_F(CoreTest, VoteEndsWhenItsTimeRunsOut)
{
    const PStartVoteRes started = startNormal(3, 2, 60);
    ASSERT_EQ(h.vote(viewer, started, kNormalVote, 1), 0u);
    h.clock.advanceMs(59999);
    h.core.tick();
    EXPECT_EQ(lastBroadcast(viewer2).status, kVoteStarted);
    EXPECT_EQ(lastBroadcast(viewer2).remainSeconds, 1u);

    h.clock.advanceMs(1);
    h.core.tick();
    const PBroadcastVote ended = lastBroadcast(viewer2);
    EXPECT_EQ(ended.status, kVoteEnded);
    EXPECT_EQ(ended.vote.optionTickets, (U32Map{{0, 0}, {1, 1}, {2, 0}}));
    EXPECT_EQ(lastBroadcast(manager).status, kVoteEnded);
    EXPECT_EQ(h.vote(viewer, started, kNormalVote, 0), kResultNotRunning);
    EXPECT_EQ(sendEnd(manager, started), kResultEndNotFound);
    EXPECT_EQ(history(viewer).records.size(), 1u);

    const std::size_t before = broadcasts(viewer2);
    h.clock.advanceSeconds(5);
    h.core.tick();
    EXPECT_EQ(broadcasts(viewer2), before) << "an ended vote is announced once";
}

TEST_F(CoreTest, EndAnswersThenBroadcastsFinalCounts)
{
    const PStartVoteRes started = startNormal();
    ASSERT_EQ(h.vote(viewer, started, kNormalVote, 0), 0u);
    h.sink.clear();
    ASSERT_EQ(sendEnd(manager, started), 0u);
    const auto& frames = h.sink.framesOf(manager);
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0].minType, VOTE_SYSTEM_END_VOTE_RES);
    EXPECT_EQ(frames[1].minType, VOTE_SYSTEM_BROADCAST_VOTE);
    const PBroadcastVote ended = lastBroadcast(viewer);
    EXPECT_EQ(ended.status, kVoteEnded);
    EXPECT_EQ(ended.vote.optionTickets.at(0), 1u);
    EXPECT_EQ(ended.jiFangId, started.jiFangId);
}

// A vote whose results come at its end: while it runs, only sessions that may manage the place
// (manage scope and a manager role) see counts, in broadcasts, late joins and ticket states; the
// others see every option at zero and their own tickets. The end shows everyone the counts.
TEST_F(CoreTest, ResultsShownAtTheEndAreHiddenFromViewersWhileTheVoteRuns)
{
    struct Row
    {
        const char* who;
        std::uint32_t role;
        ScopeSet scopes;
        bool seesLive;
    };
    const ScopeSet noManage = ScopeSet(AccessScope::Events).with(AccessScope::Vote);
    const Row rows[] = {
        {"a manager", kManagerRole, ScopeSet::all(), true},
        {"a manager whose token lacks manage", kManagerRole, noManage, false},
        {"a viewer", kViewerRole, ScopeSet::all(), false},
    };
    VoteInfo record = normalVote("Hidden", 3, 3, 2);
    record.limits[kResultsShown] = kResultsAtEnd;
    const PStartVoteRes started = h.start(manager, h.create(manager, record));
    ASSERT_EQ(h.vote(viewer, started, kNormalVote, 1), 0u);
    ASSERT_EQ(h.vote(viewer, started, kNormalVote, 1), 0u);
    const U32Map zeros{{0, 0}, {1, 0}, {2, 0}};
    const U32Map twoForOne{{0, 0}, {1, 2}, {2, 0}};
    std::vector<SessionId> watchers;
    for (const Row& row : rows) {
        SessionIdentity who = identity(100 + static_cast<std::uint32_t>(watchers.size()), row.role);
        who.scopes = row.scopes;
        watchers.push_back(h.open(who));
        EXPECT_EQ(lastBroadcast(watchers.back()).vote.optionTickets, row.seesLive ? twoForOne : zeros)
            << row.who << ": the running vote as it joins";
    }
    ASSERT_EQ(h.vote(viewer, started, kNormalVote, 0), 0u);
    h.clock.advanceMs(200);
    h.core.tick();
    const U32Map live{{0, 1}, {1, 2}, {2, 0}};
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        EXPECT_EQ(lastBroadcast(watchers[i]).vote.optionTickets, rows[i].seesLive ? live : zeros)
            << rows[i].who << ": the count broadcast";
        EXPECT_EQ(ticketState(watchers[i], started).vote.optionTickets, rows[i].seesLive ? live : zeros)
            << rows[i].who << ": the ticket state";
    }
    const UserTicketInfo own = ticketState(viewer, started);
    EXPECT_EQ(own.vote.optionTickets, zeros) << "the voter too";
    EXPECT_EQ(own.ticketsUsed, 3u);
    EXPECT_EQ(own.usedPerOption, (U32Map{{0, 1}, {1, 2}, {2, 0}})) << "but its own tickets";

    ASSERT_EQ(sendEnd(manager, started), 0u);
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        EXPECT_EQ(lastBroadcast(watchers[i]).status, kVoteEnded);
        EXPECT_EQ(lastBroadcast(watchers[i]).vote.optionTickets, live)
            << rows[i].who << ": revealed at the end";
    }
    EXPECT_EQ(lastBroadcast(viewer2).vote.optionTickets, live);
}

TEST_F(CoreTest, CloseAnswerReachesEverySessionOfTheSubChannel)
{
    const PStartVoteRes started = startNormal();
    ASSERT_EQ(sendEnd(manager, started), 0u);
    h.sink.clear();
    sendClose(manager, started);
    for (SessionId id : {manager, viewer, viewer2}) {
        const auto res = h.sink.last<PCloseVoteUiRes>(id, VOTE_SYSTEM_CLOSE_VOTEUI_RES);
        EXPECT_EQ(res.result, 0u);
        EXPECT_EQ(res.voteId, started.voteId);
        EXPECT_EQ(res.jiFangId, started.jiFangId);
    }
    EXPECT_TRUE(h.sink.framesOf(elsewhere).empty());
    sendClose(manager, started);
    EXPECT_EQ(h.sink.last<PCloseVoteUiRes>(manager, VOTE_SYSTEM_CLOSE_VOTEUI_RES).result, kResultNotFound);
    EXPECT_EQ(h.sink.framesOf(viewer, VOTE_SYSTEM_CLOSE_VOTEUI_RES).size(), 1u);
}

TEST_F(CoreTest, ClosingARunningVoteEndsItFirst)
{
    const PStartVoteRes started = startNormal();
    ASSERT_EQ(h.vote(viewer, started, kNormalVote, 0), 0u);
    h.sink.clear();
    sendClose(manager, started);
    const auto& frames = h.sink.framesOf(viewer);
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0].minType, VOTE_SYSTEM_BROADCAST_VOTE);
    EXPECT_EQ(lastBroadcast(viewer).status, kVoteEnded);
    EXPECT_EQ(frames[1].minType, VOTE_SYSTEM_CLOSE_VOTEUI_RES);
    EXPECT_EQ(history(viewer).records.begin()->second.optionTickets.at(0), 1u);
}

// ---- pushes -------------------------------------------------------------------------------------

TEST_F(CoreTest, LateJoinersGetTheRunningVoteAtOnce)
{
    const PStartVoteRes started = startNormal(3, 2, 100);
    ASSERT_EQ(h.vote(viewer, started, kNormalVote, 1), 0u);
    h.clock.advanceSeconds(30);

    const SessionId joiner = h.open(identity(50, kViewerRole));
    ASSERT_EQ(broadcasts(joiner), 1u);
    const PBroadcastVote b = lastBroadcast(joiner);
    EXPECT_EQ(b.status, kVoteStarted);
    EXPECT_EQ(b.fullAllowance, 0u) << "a returning viewer may have spent tickets already";
    EXPECT_EQ(b.remainSeconds, 70u);
    EXPECT_EQ(b.vote.optionTickets.at(1), 1u);

    h.core.moveSession(elsewhere, 20);
    EXPECT_EQ(broadcasts(elsewhere), 1u);
    EXPECT_EQ(lastBroadcast(elsewhere).jiFangId, started.jiFangId);
    EXPECT_EQ(h.vote(elsewhere, started, kNormalVote, 0), kResultIdentityMismatch)
        << "the test client still names the old place; the session moved";

    h.core.moveSession(viewer2, 22);
    EXPECT_EQ(h.core.identity(viewer2)->subChannelId, 22u);
    ASSERT_EQ(sendEnd(manager, started), 0u);
    EXPECT_EQ(lastBroadcast(viewer2).status, kVoteStarted) << "moved away before the end";
}

TEST_F(CoreTest, CountBroadcastsAreCoalescedToTheConfiguredRate)
{
    const PStartVoteRes started = startNormal(100, 100, 600);
    const std::size_t atStart = broadcasts(viewer2);
    std::vector<SessionId> voters;
    for (std::uint32_t uid = 1000; uid < 1300; ++uid)
        voters.push_back(h.open(identity(uid, kViewerRole)));

    // Three seconds of steady voting, with the transport ticking every 10 ms.
    std::size_t accepted = 0;
    for (int step = 0; step < 300; ++step) {
        accepted += h.vote(voters[step], started, kNormalVote, step % 3) == 0;
        h.clock.advanceMs(10);
        h.core.tick();
    }
    EXPECT_EQ(accepted, 300u);
    const std::size_t counted = broadcasts(viewer2) - atStart;
    EXPECT_GE(counted, 28u);
    EXPECT_LE(counted, 30u);
    EXPECT_EQ(lastBroadcast(viewer2).vote.optionTickets, (U32Map{{0, 100}, {1, 100}, {2, 100}}));

    h.clock.advanceSeconds(1);
    h.core.tick();
    EXPECT_EQ(broadcasts(viewer2) - atStart, counted) << "no change, no broadcast";
}

// The transport writes a fan-out in the order it gets it: the sessions whose vote it counts come
// first, in the order they voted, and every member still gets it once.
TEST_F(CoreTest, ACountBroadcastReachesItsVotersFirst)
{
    const PStartVoteRes started = startNormal(3, 3);
    std::vector<SessionId> audience;
    for (std::uint32_t uid = 1000; uid < 1040; ++uid)
        audience.push_back(h.open(identity(uid, kViewerRole)));
    const SessionId late = audience[31], early = audience[7], gone = audience[20];
    h.clock.advanceSeconds(1);
    h.core.tick();
    h.sink.clear();
    for (const SessionId voter : {late, early, late, gone})
        ASSERT_EQ(h.vote(voter, started, kNormalVote, 0), 0u);
    h.core.moveSession(gone, 22);
    h.core.tick();

    const std::vector<SessionId>& order = h.sink.recipients(VOTE_SYSTEM_BROADCAST_VOTE);
    ASSERT_EQ(order.size(), audience.size() + 2) << "the fixture's three and the 40, less the one gone";
    EXPECT_EQ(std::vector<SessionId>(order.begin(), order.begin() + 2),
              (std::vector<SessionId>{late, early}));
    EXPECT_EQ(std::set<SessionId>(order.begin(), order.end()).size(), order.size()) << "each member once";
    EXPECT_EQ(std::count(order.begin(), order.end(), gone), 0);
}

TEST_F(CoreTest, FirstCountChangeAfterAQuietSpellGoesOutOnTheNextTick)
{
    const PStartVoteRes started = startNormal();
    h.clock.advanceSeconds(10);
    h.core.tick();
    const std::size_t before = broadcasts(viewer2);
    ASSERT_EQ(h.vote(viewer, started, kNormalVote, 0), 0u);
    EXPECT_EQ(broadcasts(viewer2), before);
    h.core.tick();
    EXPECT_EQ(broadcasts(viewer2), before + 1);
    EXPECT_EQ(lastBroadcast(viewer2).fullAllowance, 0u);
}

TEST_F(CoreTest, AVoteNobodyWatchesKeepsItsBroadcastPace)
{
    const PStartVoteRes started = startNormal();
    for (SessionId id : {manager, viewer, viewer2})
        h.core.closeSession(id);
    h.clock.advanceSeconds(5);
    h.core.tick();

    const SessionId back = h.open(identity(2, kViewerRole));
    ASSERT_EQ(broadcasts(back), 1u) << "the running vote at once";
    ASSERT_EQ(h.vote(back, started, kNormalVote, 1), 0u);
    h.core.tick();
    EXPECT_EQ(broadcasts(back), 2u) << "the last count broadcast was seconds ago";
    EXPECT_EQ(lastBroadcast(back).vote.optionTickets.at(1), 1u);
}

// One running vote in a big sub-channel (20) and, where the row has an audience for it, one in a
// small one (21), counted into every tick: the rates the fan-out budget leaves each of them.
struct FanoutRow
{
    const char* name;
    std::uint64_t budget;
    std::size_t bigAudience; // sessions in sub-channel 20, its manager included
    std::size_t smallAudience;
    std::uint32_t bigHz;
    std::uint32_t smallHz;
    // How long a vote's answer may wait for the broadcast: one interval, never past 200 ms.
    std::int64_t bigHoldMs;
    std::int64_t smallHoldMs;
};

TEST(CoreFanoutTest, CountBroadcastRatesShareTheFanoutBudget)
{
    const FanoutRow rows[] = {
        {"under budget: full rate", 50000, 251, 6, 10, 10, 100, 100},
        {"a big audience falls to the rate that fits", 1000, 251, 0, 3, 0, 200, 0},
        {"never below 1 Hz", 10, 251, 6, 1, 1, 200, 200},
        // A plain half of the budget each would give the big one 1 Hz.
        {"a small sub-channel keeps the full rate beside a big one", 1000, 251, 6, 3, 10, 200, 100},
    };
    for (const FanoutRow& row : rows) {
        CoreOptions options;
        options.fanoutBudget = row.budget;
        CoreHarness h(options);
        struct Place
        {
            std::uint32_t subChannelId;
            std::vector<SessionId> sessions;
            PStartVoteRes started{};
        };
        std::vector<Place> places{{20, {}}};
        if (row.smallAudience > 0)
            places.push_back({21, {}});
        std::uint32_t uid = 1;
        for (Place& place : places) {
            const std::size_t audience = place.subChannelId == 20 ? row.bigAudience : row.smallAudience;
            place.sessions.push_back(h.open(identity(uid++, kManagerRole, place.subChannelId)));
            while (place.sessions.size() < audience)
                place.sessions.push_back(h.open(identity(uid++, kViewerRole, place.subChannelId)));
            place.started =
                h.start(place.sessions[0], h.create(place.sessions[0], normalVote("Fan", 3, 300, 300)));
        }
        std::vector<std::size_t> before;
        for (const Place& place : places)
            before.push_back(h.sink.framesOf(place.sessions[1], VOTE_SYSTEM_BROADCAST_VOTE).size());

        // Two seconds of votes in every place, ticked every 10 ms.
        for (std::size_t step = 0; step < 200; ++step) {
            for (const Place& place : places)
                h.vote(place.sessions[1 + step % (place.sessions.size() - 1)], place.started, kNormalVote,
                       step % 3);
            h.clock.advanceMs(10);
            h.core.tick();
        }
        for (std::size_t i = 0; i < places.size(); ++i) {
            const std::uint32_t hz = i == 0 ? row.bigHz : row.smallHz;
            const std::size_t sent =
                h.sink.framesOf(places[i].sessions[1], VOTE_SYSTEM_BROADCAST_VOTE).size() - before[i];
            EXPECT_GE(sent, 2 * hz - 1) << row.name << ", sub-channel " << places[i].subChannelId;
            EXPECT_LE(sent, 2 * hz) << row.name << ", sub-channel " << places[i].subChannelId;
            EXPECT_EQ(h.core.broadcastHzIn(SubChannelKey{10, places[i].subChannelId}), hz) << row.name;
            const std::vector<SessionId>& sessions = places[i].sessions;
            const auto answers =
                h.sink.framesOf(sessions[1 + 199 % (sessions.size() - 1)], VOTE_SYSTEM_USER_VOTE_RES);
            ASSERT_FALSE(answers.empty());
            EXPECT_EQ(answers.back().holdMs, i == 0 ? row.bigHoldMs : row.smallHoldMs) << row.name;
        }

        // The end goes out with its answer, whatever the count rate.
        const Place& big = places[0];
        h.request(big.sessions[0], VOTE_SYSTEM_END_VOTE_REQ,
                  PEndVoteReq{10, 20, big.started.voteId, 0, big.started.jiFangId, {}});
        EXPECT_EQ(h.sink.last<PBroadcastVote>(big.sessions[1], VOTE_SYSTEM_BROADCAST_VOTE).status, kVoteEnded)
            << row.name;
    }
}

// ---- history and nicknames ----------------------------------------------------------------------

TEST_F(CoreTest, HistoryKeepsSevenDaysWithStartTimeAndStarter)
{
    const ZoneScope utc("UTC");
    const PStartVoteRes old = startNormal(3, 2, 60);
    ASSERT_EQ(h.vote(viewer, old, kNormalVote, 2), 0u);
    ASSERT_EQ(sendEnd(manager, old), 0u);
    sendClose(manager, old);

    h.clock.advanceSeconds(2 * 24 * 3600);
    const SessionId other = h.open(identity(77, 175));
    const PStartVoteRes recent = h.start(other, h.create(other, normalVote("Recent", 2, 1, 1)));
    ASSERT_EQ(sendEnd(other, recent), 0u);

    auto records = history(viewer).records;
    ASSERT_EQ(records.size(), 2u);
    const VoteHistoryRecord& newest = records.rbegin()->second;
    const VoteHistoryRecord& oldest = records.begin()->second;
    EXPECT_EQ(newest.name, "Recent");
    EXPECT_EQ(newest.adminNick, "user77");
    EXPECT_EQ(oldest.adminNick, "user1");
    EXPECT_EQ(oldest.timeText, "2027-01-15 08:16:40");
    EXPECT_TRUE(std::regex_match(newest.timeText, std::regex(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d)")));
    EXPECT_EQ(oldest.options.size(), 3u);
    EXPECT_EQ(oldest.optionTickets, (U32Map{{0, 0}, {1, 0}, {2, 1}}));
    EXPECT_EQ(records.begin()->first, oldest.recordKey);

    h.clock.advanceSeconds(5 * 24 * 3600 - 10);
    EXPECT_EQ(history(viewer).records.size(), 2u) << "six days and 23 hours after the first";
    h.clock.advanceSeconds(20);
    records = history(viewer).records;
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records.begin()->second.name, "Recent");

    EXPECT_TRUE(history(elsewhere).records.empty()) << "history belongs to the sub-channel";
}

TEST_F(CoreTest, HistoryTimesAreWrittenInTheZoneOfEachAnswer)
{
    // Stored before start instants were kept: its text stands whatever the zone.
    HistoryEntry textOnly;
    textOnly.endedAtUnix = h.clock.unixSeconds();
    textOnly.record.name = "text only";
    textOnly.record.timeText = "2027-01-14 23:00:00";
    h.storage.addHistory({10, 20}, textOnly);
    {
        const ZoneScope shanghai("Asia/Shanghai");
        ASSERT_EQ(sendEnd(manager, startNormal()), 0u); // started 2027-01-15 08:16:40 UTC
    }
    const std::vector<HistoryEntry> stored = h.storage.history({10, 20}, 0);
    ASSERT_EQ(stored.size(), 2u);
    EXPECT_EQ(stored[0].startedAtUnix, 1800001000);
    EXPECT_EQ(stored[0].record.timeText, "2027-01-15 16:16:40") << "written in the zone it ended in";

    const struct
    {
        const char* zone;
        const char* text;
    } rows[] = {
        {"Asia/Shanghai", "2027-01-15 16:16:40"},
        {"UTC", "2027-01-15 08:16:40"},
        {"America/New_York", "2027-01-15 03:16:40"},
        {"Australia/Sydney", "2027-01-15 19:16:40"}, // summer time there
    };
    for (const auto& row : rows) {
        const ZoneScope zone(row.zone);
        const auto records = history(viewer).records;
        ASSERT_EQ(records.size(), 2u) << row.zone;
        EXPECT_EQ(records.begin()->second.timeText, "2027-01-14 23:00:00") << row.zone;
        EXPECT_EQ(records.rbegin()->second.timeText, row.text) << row.zone;
    }
    // The start second travels in the answer's extend, for the entry that has one only.
    const auto answer = history(viewer);
    EXPECT_EQ(answer.extend, (ExtendMap{{HistoryExtend::key(answer.records.rbegin()->first), "1800001000"}}));
}

TEST_F(CoreTest, NicknameQueryKnowsEverySessionSeen)
{
    h.request(manager, VOTE_SYSTEM_QUERY_NICKNAME_REQ, PQueryNicknameReq{90003, {}});
    auto res = h.sink.last<PQueryNicknameRes>(manager, VOTE_SYSTEM_QUERY_NICKNAME_RES);
    EXPECT_EQ(res.imid, 90003u);
    EXPECT_EQ(res.uid, 3u);
    EXPECT_EQ(res.nick, "user3");

    h.core.closeSession(viewer2);
    h.request(manager, VOTE_SYSTEM_QUERY_NICKNAME_REQ, PQueryNicknameReq{90003, {}});
    EXPECT_EQ(h.sink.last<PQueryNicknameRes>(manager, VOTE_SYSTEM_QUERY_NICKNAME_RES).uid, 3u);

    h.request(manager, VOTE_SYSTEM_QUERY_NICKNAME_REQ, PQueryNicknameReq{12345, {}});
    res = h.sink.last<PQueryNicknameRes>(manager, VOTE_SYSTEM_QUERY_NICKNAME_RES);
    EXPECT_EQ(res.imid, 12345u);
    EXPECT_EQ(res.uid, 0u);
    EXPECT_TRUE(res.nick.empty());
}

TEST_F(CoreTest, NicksAreCleanedWhereTheyEnterAndWhereTheyAreShown)
{
    SessionIdentity sly = identity(50, kManagerRole);
    sly.nick = "\u202Enimda\x1b[31m\x07";
    const SessionId slyId = h.open(sly);
    SessionIdentity blank = identity(51, kViewerRole);
    blank.nick = std::string("\u2066\0\r\n", 6);
    h.open(blank);
    EXPECT_EQ(h.core.identity(slyId)->nick, "nimda");

    const struct
    {
        std::uint32_t imid;
        std::string nick;
    } rows[] = {{sly.imid, "nimda"}, {blank.imid, "51"}, {90001, "user1"}};
    for (const auto& row : rows) {
        h.request(viewer, VOTE_SYSTEM_QUERY_NICKNAME_REQ, PQueryNicknameReq{row.imid, {}});
        EXPECT_EQ(h.sink.last<PQueryNicknameRes>(viewer, VOTE_SYSTEM_QUERY_NICKNAME_RES).nick, row.nick)
            << row.imid;
    }

    // The starter's nick is the one the history shows.
    const PStartVoteRes started = h.start(slyId, h.create(slyId, normalVote("v", 2, 1, 1)));
    h.request(slyId, VOTE_SYSTEM_END_VOTE_REQ, PEndVoteReq{10, 20, started.voteId, 0, started.jiFangId, {}});
    const auto records = history(viewer).records;
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records.begin()->second.adminNick, "nimda");

    // A directory written before nicks were cleaned is cleaned when shown.
    h.storage.recordUser(777, DirectoryEntry{77, "old\u202Enick"});
    h.request(viewer, VOTE_SYSTEM_QUERY_NICKNAME_REQ, PQueryNicknameReq{777, {}});
    EXPECT_EQ(h.sink.last<PQueryNicknameRes>(viewer, VOTE_SYSTEM_QUERY_NICKNAME_RES).nick, "oldnick");
}

// ---- hostile requests ---------------------------------------------------------------------------

TEST_F(CoreTest, TruncatedBodiesAreRefusedWithAnAnswer)
{
    const std::uint32_t voteId = h.create(manager, normalVote("kept", 2, 1, 1));
    const struct
    {
        std::uint32_t request;
        std::string body;
    } rows[] = {
        {VOTE_SYSTEM_CREATE_VOTE_REQ, mpak::encode(PCreateVoteReq{10, 20, normalVote("x", 2, 1, 1), {}})},
        {VOTE_SYSTEM_UPDATE_VOTE_REQ,
         mpak::encode(PUpdateVoteReq{10, 20, voteId, normalVote("x", 2, 1, 1), {}})},
        {VOTE_SYSTEM_START_VOTE_REQ, mpak::encode(PStartVoteReq{10, 20, voteId, 1, {}})},
        {VOTE_SYSTEM_END_VOTE_REQ, mpak::encode(PEndVoteReq{10, 20, voteId, 0, 1, {}})},
        {VOTE_SYSTEM_DELETE_VOTE_REQ, mpak::encode(PDeleteVoteReq{10, 20, voteId, 0, {}})},
        {VOTE_SYSTEM_USER_VOTE_REQ, mpak::encode(PUserVoteReq{10, 20, voteId, 0, 1, 1, 0, 1, {}})},
        {VOTE_SYSTEM_USER_VOTE_STATE_REQ, mpak::encode(PUserVoteStateReq{10, 20, voteId, 0, 1, 1, {}, {}})},
        {VOTE_SYSTEM_QUERY_VOTE_HIS_RECORD_REQ, mpak::encode(PQueryVoteHisRecordReq{10, 20, {}})},
        {VOTE_SYSTEM_BATCH_DELETE_VOTE_REQ, mpak::encode(PBatchDeleteVoteReq{10, 20, {{voteId, 0}}, {}})},
        {VOTE_SYSTEM_QUERY_ALL_VOTE_REQ, mpak::encode(PQueryAllVoteReq{10, 20, {}})},
        {VOTE_SYSTEM_QUERY_NICKNAME_REQ, mpak::encode(PQueryNicknameReq{90002, {}})},
        {VOTE_SYSTEM_CLOSE_VOTEUI_REQ, mpak::encode(PCloseVoteReq{10, 20, voteId, 1, {}})},
    };
    for (const auto& row : rows) {
        h.sink.clear();
        // Cut off the empty extend map's count: every field but the last arrives.
        ASSERT_EQ(h.send(manager, row.request, row.body.substr(0, row.body.size() - 1)), Disposition::Keep);
        const auto& frames = h.sink.framesOf(manager);
        ASSERT_EQ(frames.size(), 1u) << "request " << row.request;
        EXPECT_EQ(frames[0].minType, row.request + 1);
        mpak::Unpack up(frames[0].payload);
        const std::uint32_t first = up.pop_uint32();
        if (row.request == VOTE_SYSTEM_USER_VOTE_STATE_REQ) {
            EXPECT_EQ(first, kTicketStateRefused);
            EXPECT_EQ(up.pop_uint32(), kResultMalformed);
        } else {
            EXPECT_EQ(first, kResultMalformed) << "request " << row.request;
        }
    }
    ASSERT_TRUE(h.storage.findVote({10, 20}, voteId));
    EXPECT_TRUE(h.sink.framesOf(viewer).empty());
}

TEST_F(CoreTest, HugeCountsAndUnknownMinorTypesChangeNothing)
{
    mpak::PackBuffer buffer;
    mpak::Pack pack(buffer);
    pack.push_uint32(10).push_uint32(20).push_uint32(0xffffffffu); // batch delete map of 4 billion
    EXPECT_EQ(h.send(manager, VOTE_SYSTEM_BATCH_DELETE_VOTE_REQ, pack.str()), Disposition::Keep);
    EXPECT_EQ(h.sink.last<PBatchDeleteVoteRes>(manager, VOTE_SYSTEM_BATCH_DELETE_VOTE_RES).aux1,
              kResultMalformed);

    for (std::uint32_t minType : {0u, 2u, 9u, 27u, 30u, 34u, 35u, 0xffffffffu})
        EXPECT_EQ(h.send(manager, minType, "garbage"), Disposition::Keep);
    EXPECT_EQ(h.sink.framesOf(manager).size(), 1u);
}

TEST_F(CoreTest, FloodIsRefusedThenDisconnected)
{
    const std::string body = mpak::encode(PQueryVoteHisRecordReq{10, 20, {}});
    int answered = 0, refused = 0;
    Disposition last = Disposition::Keep;
    for (int i = 0; i < 500 && last == Disposition::Keep; ++i) {
        last = h.send(viewer, VOTE_SYSTEM_QUERY_VOTE_HIS_RECORD_REQ, body);
        const auto res = h.sink.last<PQueryVoteHisRecordRes>(viewer, VOTE_SYSTEM_QUERY_VOTE_HIS_RECORD_RES);
        (res.result == 0 ? answered : refused) += last == Disposition::Keep;
    }
    EXPECT_EQ(last, Disposition::Close);
    EXPECT_EQ(answered, 40);
    EXPECT_EQ(refused, 99);
    // Everyone else is served as before.
    EXPECT_NE(h.create(manager, normalVote("still here", 2, 1, 1)), 0u);

    // The budget refills with time.
    CoreHarness fresh;
    const SessionId v = fresh.open(identity(2, kViewerRole));
    for (int i = 0; i < 40; ++i)
        fresh.send(v, VOTE_SYSTEM_QUERY_VOTE_HIS_RECORD_REQ, body);
    fresh.send(v, VOTE_SYSTEM_QUERY_VOTE_HIS_RECORD_REQ, body);
    EXPECT_EQ(fresh.sink.last<PQueryVoteHisRecordRes>(v, VOTE_SYSTEM_QUERY_VOTE_HIS_RECORD_RES).result,
              kResultTooManyRequests);
    fresh.clock.advanceMs(100);
    fresh.send(v, VOTE_SYSTEM_QUERY_VOTE_HIS_RECORD_REQ, body);
    EXPECT_EQ(fresh.sink.last<PQueryVoteHisRecordRes>(v, VOTE_SYSTEM_QUERY_VOTE_HIS_RECORD_RES).result, 0u);
}

TEST_F(CoreTest, MovesSpendTheRequestBudgetAndAMoveFloodIsDisconnected)
{
    std::uint32_t target = 100;
    int kept = 0;
    Disposition last = Disposition::Keep;
    for (int i = 0; i < 500 && last == Disposition::Keep; ++i) {
        last = h.core.moveSession(viewer, ++target);
        kept += last == Disposition::Keep;
    }
    EXPECT_EQ(last, Disposition::Close);
    EXPECT_EQ(kept, 40 + 99);
    EXPECT_EQ(h.core.identity(viewer)->subChannelId, 100u + 40) << "moves beyond the budget are ignored";

    // Requests and moves draw on one budget, which refills with time.
    const std::string query = mpak::encode(PQueryVoteHisRecordReq{10, 20, {}});
    for (int i = 0; i < 30; ++i)
        h.send(viewer2, VOTE_SYSTEM_QUERY_VOTE_HIS_RECORD_REQ, query);
    for (std::uint32_t sub = 30; sub < 40; ++sub)
        EXPECT_EQ(h.core.moveSession(viewer2, sub), Disposition::Keep);
    EXPECT_EQ(h.core.identity(viewer2)->subChannelId, 39u);
    h.core.moveSession(viewer2, 20);
    EXPECT_EQ(h.core.identity(viewer2)->subChannelId, 39u);
    h.clock.advanceMs(100);
    h.core.moveSession(viewer2, 20);
    EXPECT_EQ(h.core.identity(viewer2)->subChannelId, 20u);
    h.send(viewer2, VOTE_SYSTEM_QUERY_VOTE_HIS_RECORD_REQ, query);
    EXPECT_EQ(h.sink.last<PQueryVoteHisRecordRes>(viewer2, VOTE_SYSTEM_QUERY_VOTE_HIS_RECORD_RES).result, 0u);
    h.send(viewer2, VOTE_SYSTEM_QUERY_VOTE_HIS_RECORD_REQ, query);
    EXPECT_EQ(h.sink.last<PQueryVoteHisRecordRes>(viewer2, VOTE_SYSTEM_QUERY_VOTE_HIS_RECORD_RES).result,
              kResultTooManyRequests);
}

TEST_F(CoreTest, AMovingSessionGetsTheRunningVoteAtMostAtTheBroadcastRate)
{
    const PStartVoteRes started = startNormal();
    const auto moveTo = [&](std::vector<std::uint32_t> subs) {
        for (std::uint32_t sub : subs)
            ASSERT_EQ(h.core.moveSession(elsewhere, sub), Disposition::Keep);
    };
    const struct
    {
        const char* name;
        std::vector<std::uint32_t> moves;
        std::size_t sentAtOnce;
        std::size_t sentAtNextPeriod;
    } rows[] = {
        {"one move into the vote", {20}, 1, 0},
        {"back and forth within a period", {20, 21, 20, 21, 20, 21, 20}, 1, 1},
        {"back and forth, ending outside", {20, 21, 20, 21}, 1, 0},
        {"in and out", {20, 21}, 1, 0},
    };
    for (const auto& row : rows) {
        moveTo({21});
        h.clock.advanceMs(1000); // a fresh period and a full budget
        h.core.tick();
        const std::size_t before = broadcasts(elsewhere);
        moveTo(row.moves);
        h.core.tick();
        EXPECT_EQ(broadcasts(elsewhere) - before, row.sentAtOnce) << row.name;
        h.clock.advanceMs(100);
        h.core.tick();
        h.clock.advanceMs(100);
        h.core.tick();
        EXPECT_EQ(broadcasts(elsewhere) - before, row.sentAtOnce + row.sentAtNextPeriod) << row.name;
        EXPECT_EQ(lastBroadcast(elsewhere).jiFangId, started.jiFangId) << row.name;
        EXPECT_EQ(lastBroadcast(elsewhere).fullAllowance, 0u) << row.name;
    }
}

TEST(CoreRobustnessTest, RandomlyDamagedBodiesNeverBreakTheCore)
{
    CoreOptions options;
    options.requestsPerSecond = 1000000;
    options.requestBurst = 1000000;
    CoreHarness h(options);
    const SessionId manager = h.open(identity(1, 255));
    const SessionId judge = h.open(identity(7, 0));
    const std::uint32_t voteId = h.create(manager, judgeVote("Dance", {7}));
    const PStartVoteRes started = h.start(manager, voteId);
    const std::pair<std::uint32_t, std::string> valid[] = {
        {VOTE_SYSTEM_CREATE_VOTE_REQ, mpak::encode(PCreateVoteReq{10, 20, groupVote("g", 2, 2), {}})},
        {VOTE_SYSTEM_UPDATE_VOTE_REQ, mpak::encode(PUpdateVoteReq{10, 20, voteId, judgeVote("x", {7}), {}})},
        {VOTE_SYSTEM_USER_VOTE_REQ,
         mpak::encode(PUserVoteReq{10, 20, voteId, kJudgeVote, started.jiFangId, 7, 0, 3, {}})},
        {VOTE_SYSTEM_USER_VOTE_STATE_REQ,
         mpak::encode(PUserVoteStateReq{10, 20, voteId, kJudgeVote, started.jiFangId, 7, {{1, "a"}}, {}})},
        {VOTE_SYSTEM_BATCH_DELETE_VOTE_REQ,
         mpak::encode(PBatchDeleteVoteReq{10, 20, {{voteId, 2}, {9, 0}}, {}})},
        {VOTE_SYSTEM_CLOSE_VOTEUI_REQ,
         mpak::encode(PCloseVoteReq{10, 20, voteId, started.jiFangId, {{"k", "v"}}})},
    };
    std::uint32_t seed = 12345;
    const auto next = [&seed] { return seed = seed * 1664525u + 1013904223u; };
    for (int round = 0; round < 3000; ++round) {
        const auto& [minType, body] = valid[next() % std::size(valid)];
        std::string damaged = body;
        for (std::uint32_t flips = next() % 4 + 1; flips > 0; --flips)
            damaged[next() % damaged.size()] = static_cast<char>(next());
        if (next() % 3 == 0)
            damaged.resize(next() % damaged.size());
        const SessionId from =
            minType == VOTE_SYSTEM_USER_VOTE_REQ || minType == VOTE_SYSTEM_USER_VOTE_STATE_REQ ? judge
                                                                                               : manager;
        ASSERT_NO_THROW(h.send(from, minType, damaged)) << "round " << round;
    }
    for (const auto& vote : h.storage.votes({10, 20}))
        EXPECT_TRUE(RecordValidator::isValid(vote)) << vote.voteId;
    EXPECT_NE(h.create(manager, normalVote("after", 2, 1, 1)), 0u);
}

TEST_F(CoreTest, RequestsFromUnknownSessionsAreRefused)
{
    EXPECT_EQ(h.send(999, VOTE_SYSTEM_QUERY_ALL_VOTE_REQ, mpak::encode(PQueryAllVoteReq{10, 20, {}})),
              Disposition::Close);
    EXPECT_FALSE(h.core.openSession(manager, identity(5, kViewerRole)));
    EXPECT_EQ(h.core.identity(manager)->uid, 1u);
}

// ---- the audit trail ----------------------------------------------------------------------------

class RecordingAudit : public AuditSink
{
public:
    void record(const AuditEntry& entry) override { entries.push_back(entry); }
    std::vector<AuditEntry> entries;
};

CoreOptions auditedBy(AuditSink& sink)
{
    CoreOptions options;
    options.audit = &sink;
    return options;
}

// A manager request leaves one entry with its answer and the session's identity (not the body's),
// however it ends; other requests leave none. (Every action over the real transports:
// webservice_test.)
TEST(CoreAuditTest, ManagerRequestsAreRecordedWithTheSessionsIdentity)
{
    RecordingAudit audit;
    CoreHarness h(auditedBy(audit));
    SessionIdentity me = identity(1, kManagerRole);
    me.tokenId = "token-7";
    const SessionId manager = h.open(me);
    const std::uint32_t voteId = h.create(manager, normalVote("kept", 2, 1, 1));
    const PStartVoteRes started = h.start(manager, voteId);
    const struct
    {
        const char* name;
        std::uint32_t minType;
        std::string body;
        const char* action; // null: no entry
        std::uint32_t result;
        std::optional<std::uint32_t> voteId;
        std::optional<std::uint32_t> jiFangId;
    } rows[] = {
        {"a start naming another sub-channel",
         VOTE_SYSTEM_START_VOTE_REQ,
         mpak::encode(PStartVoteReq{10, 21, voteId, 1, {}}),
         "start",
         kResultIdentityMismatch,
         voteId,
         {}},
        {"a delete of the open vote",
         VOTE_SYSTEM_DELETE_VOTE_REQ,
         mpak::encode(PDeleteVoteReq{10, 20, voteId, 0, {}}),
         "delete",
         kResultVoteOpen,
         voteId,
         {}},
        {"a body that does not decode", VOTE_SYSTEM_END_VOTE_REQ, "x", "stop", kResultMalformed, {}, {}},
        {"a scheduled start",
         VOTE_SYSTEM_START_VOTE_REQ,
         mpak::encode(scheduleRequest(me, voteId, std::to_string(h.clock.unixSeconds() + 600))),
         "schedule",
         kResultOk,
         voteId,
         {}},
        {"a cancel of no schedule",
         VOTE_SYSTEM_START_VOTE_REQ,
         mpak::encode(cancelScheduleRequest(me, 4242)),
         "cancelSchedule",
         kResultNotFound,
         4242,
         {}},
        {"a batch delete",
         VOTE_SYSTEM_BATCH_DELETE_VOTE_REQ,
         mpak::encode(PBatchDeleteVoteReq{10, 20, {{voteId, 0}, {99, 0}}, {}}),
         "batchDelete",
         kResultVoteOpen,
         {},
         {}},
        {"a close", VOTE_SYSTEM_CLOSE_VOTEUI_REQ,
         mpak::encode(PCloseVoteReq{10, 20, voteId, started.jiFangId, {}}), "close", kResultOk, voteId,
         started.jiFangId},
        {"the vote list",
         VOTE_SYSTEM_QUERY_ALL_VOTE_REQ,
         mpak::encode(PQueryAllVoteReq{10, 20, {}}),
         nullptr,
         0,
         {},
         {}},
        {"the history",
         VOTE_SYSTEM_QUERY_VOTE_HIS_RECORD_REQ,
         mpak::encode(PQueryVoteHisRecordReq{10, 20, {}}),
         nullptr,
         0,
         {},
         {}},
    };
    for (const auto& row : rows) {
        audit.entries.clear();
        h.clock.advanceSeconds(1);
        h.send(manager, row.minType, row.body);
        if (row.action == nullptr) {
            EXPECT_TRUE(audit.entries.empty()) << row.name;
            continue;
        }
        ASSERT_EQ(audit.entries.size(), 1u) << row.name;
        const AuditEntry& entry = audit.entries[0];
        EXPECT_EQ(entry.action, row.action) << row.name;
        EXPECT_EQ(entry.result, row.result) << row.name;
        EXPECT_EQ(entry.unixSeconds, h.clock.unixSeconds()) << row.name;
        EXPECT_EQ(std::make_tuple(entry.uid, entry.imid, entry.role, entry.channelId, entry.subChannelId),
                  std::make_tuple(me.uid, me.imid, me.role, me.channelId, me.subChannelId))
            << row.name;
        EXPECT_EQ(entry.voteId, row.voteId) << row.name;
        EXPECT_EQ(entry.jiFangId, row.jiFangId) << row.name;
        const std::vector<std::uint32_t> asked = row.minType == VOTE_SYSTEM_BATCH_DELETE_VOTE_REQ
                                                     ? std::vector<std::uint32_t>{voteId, 99}
                                                     : std::vector<std::uint32_t>{};
        EXPECT_EQ(entry.voteIds, asked) << row.name;
        EXPECT_EQ(entry.transport, "embedded") << row.name;
        EXPECT_EQ(entry.peer, "") << row.name;
        EXPECT_EQ(entry.tokenId, "token-7") << row.name;
    }
}

// The starts the service makes at their second, and the one it misses, are recorded in the name of
// the manager who scheduled them, with the second they were due.
TEST(CoreAuditTest, ScheduledStartsAreRecordedInTheSchedulersName)
{
    RecordingAudit audit;
    CoreHarness h(auditedBy(audit));
    const SessionId manager = h.open(identity(1, kManagerRole));
    const std::uint32_t first = h.create(manager, normalVote("first", 2, 1, 1));
    const std::uint32_t second = h.create(manager, normalVote("second", 2, 1, 1));
    const std::int64_t at = h.clock.unixSeconds() + 5;
    ASSERT_EQ(h.schedule(manager, first, at), kResultOk);
    ASSERT_EQ(h.schedule(manager, second, at), kResultOk);
    audit.entries.clear();
    h.clock.advanceSeconds(5);
    h.core.tick();
    ASSERT_EQ(audit.entries.size(), 2u);
    std::map<std::string, AuditEntry> byAction;
    for (const AuditEntry& entry : audit.entries)
        byAction[entry.action] = entry;
    ASSERT_EQ(byAction.count("scheduledStart"), 1u);
    ASSERT_EQ(byAction.count("scheduleMissed"), 1u);
    const AuditEntry& started = byAction["scheduledStart"];
    const AuditEntry& missed = byAction["scheduleMissed"];
    EXPECT_EQ(started.result, kResultOk);
    EXPECT_EQ(missed.result, kResultAnotherVoteOpen);
    EXPECT_TRUE(started.jiFangId.has_value());
    EXPECT_FALSE(missed.jiFangId.has_value());
    for (const AuditEntry* entry : {&started, &missed}) {
        EXPECT_EQ(entry->uid, 1u);
        EXPECT_EQ(std::make_pair(entry->channelId, entry->subChannelId), std::make_pair(10u, 20u));
        EXPECT_EQ(entry->startAtUnix, std::optional<std::int64_t>(at));
        EXPECT_EQ(entry->transport, "schedule");
        EXPECT_EQ(entry->unixSeconds, at);
    }
    EXPECT_NE(started.voteId, missed.voteId);
}

// A manager request refused for flooding is recorded too, up to the one that drops the session.
TEST(CoreAuditTest, FloodRefusalsAreRecorded)
{
    RecordingAudit audit;
    CoreHarness h(auditedBy(audit));
    const SessionId manager = h.open(identity(1, kManagerRole));
    const std::string body = mpak::encode(PStartVoteReq{10, 20, 5, 1, {}});
    Disposition last = Disposition::Keep;
    int sent = 0;
    while (last == Disposition::Keep && sent < 500) {
        last = h.send(manager, VOTE_SYSTEM_START_VOTE_REQ, body);
        ++sent;
    }
    ASSERT_EQ(last, Disposition::Close);
    ASSERT_EQ(audit.entries.size(), std::size_t(sent));
    EXPECT_EQ(audit.entries.front().result, kResultNotFound);
    EXPECT_EQ(audit.entries.back().result, kResultTooManyRequests);
    EXPECT_EQ(audit.entries.back().voteId, std::nullopt) << "a refused body is not read";
}

} // namespace
} // namespace quorix::service::test
