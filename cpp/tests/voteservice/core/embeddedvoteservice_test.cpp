#include "voteservice/core/embeddedvoteservice.h"
#include "voteservice/core/resultcode.h"
#include <quorix/protocol/serviceframe.h>
#include "tests/support/servicetestsupport.h"

#include <gtest/gtest.h>

namespace quorix::service::test {
namespace {

struct Inbox
{
    std::vector<mpak::ServiceFrame> frames;
    EmbeddedVoteService::FrameCallback callback()
    {
        return [this](const std::string& frame) { frames.push_back(mpak::decodeFrame(frame)); };
    }
    template <class Message> Message last(std::uint32_t minType) const
    {
        for (auto it = frames.rbegin(); it != frames.rend(); ++it) {
            if (it->minType == minType) {
                Message m;
                EXPECT_TRUE(mpak::decode(it->payload, m));
                return m;
            }
        }
        ADD_FAILURE() << "no frame " << minType;
        return {};
    }
    std::size_t count(std::uint32_t minType) const
    {
        std::size_t n = 0;
        for (const auto& f : frames)
            n += f.minType == minType;
        return n;
    }
};

template <class Message> std::string voteFrame(std::uint32_t minType, const Message& m)
{
    return mpak::encodeFrame(kVoteMajorType, minType, mpak::encode(m));
}

class EmbeddedTest : public ::testing::Test
{
protected:
    ManualClock clock;
    EmbeddedVoteService service{clock};
    Inbox managerBox, viewerBox;
    SessionId manager = service.connect(identity(1, 255), managerBox.callback());
    SessionId viewer = service.connect(identity(2, 0), viewerBox.callback());
};

TEST_F(EmbeddedTest, RunsAVoteForInProcessSessions)
{
    ASSERT_TRUE(service.send(manager, voteFrame(1, PCreateVoteReq{10, 20, normalVote("v", 2, 2, 1), {}})));
    const auto created = managerBox.last<PCreateVoteRes>(VOTE_SYSTEM_CREATE_VOTE_RES);
    ASSERT_EQ(created.result, 0u);
    EXPECT_EQ(viewerBox.count(VOTE_SYSTEM_BROADCAST_CHANNEL_VOTE), 1u);

    ASSERT_TRUE(service.send(manager, voteFrame(5, PStartVoteReq{10, 20, created.voteId, 1, {}})));
    const auto started = managerBox.last<PStartVoteRes>(VOTE_SYSTEM_START_VOTE_RES);
    ASSERT_EQ(started.result, 0u);
    EXPECT_EQ(viewerBox.last<PBroadcastVote>(VOTE_SYSTEM_BROADCAST_VOTE).fullAllowance, 1u);

    ASSERT_TRUE(service.send(
        viewer, voteFrame(13, PUserVoteReq{10, 20, created.voteId, 0, started.jiFangId, 2, 1, 1, {}})));
    EXPECT_EQ(viewerBox.last<PUserVoteRes>(VOTE_SYSTEM_USER_VOTE_RES).result, 0u);
    clock.advanceMs(100);
    service.tick();
    EXPECT_EQ(managerBox.last<PBroadcastVote>(VOTE_SYSTEM_BROADCAST_VOTE).vote.optionTickets.at(1), 1u);

    service.move(viewer, 30);
    Inbox lateBox;
    service.connect(identity(3, 0), lateBox.callback());
    EXPECT_EQ(lateBox.count(VOTE_SYSTEM_BROADCAST_VOTE), 1u);
    service.move(viewer, 20);
    EXPECT_EQ(viewerBox.last<PBroadcastVote>(VOTE_SYSTEM_BROADCAST_VOTE).fullAllowance, 0u);
}

TEST_F(EmbeddedTest, MalformedFramesAreDropped)
{
    const std::string good = voteFrame(28, PQueryAllVoteReq{10, 20, {}});
    const struct
    {
        const char* name;
        std::string frame;
    } rows[] = {
        {"shorter than a header", good.substr(0, 9)},
        {"payload cut short", good.substr(0, good.size() - 1)},
        {"bytes after the payload", good + "x"},
        {"transport major type", mpak::encodeFrame(1, 3, mpak::encode(std::uint32_t(5)))},
        {"unknown major type", mpak::encodeFrame(2501, 28, mpak::encode(PQueryAllVoteReq{10, 20, {}}))},
    };
    for (const auto& row : rows)
        EXPECT_FALSE(service.send(manager, row.frame)) << row.name;
    EXPECT_TRUE(managerBox.frames.empty());
    EXPECT_FALSE(service.send(999, good));
    EXPECT_TRUE(service.send(manager, good));
    EXPECT_EQ(managerBox.count(VOTE_SYSTEM_QUERY_ALL_VOTE_RES), 1u);
}

TEST_F(EmbeddedTest, CallbacksMayReenterAndDisconnect)
{
    Inbox box;
    SessionId self = 0;
    int calls = 0;
    self = service.connect(identity(5, 255), [&](const std::string& frame) {
        ++calls;
        box.frames.push_back(mpak::decodeFrame(frame));
        if (calls == 1) // the answer to the create: ask for the list from inside the callback
            service.send(self, voteFrame(28, PQueryAllVoteReq{10, 20, {}}));
        else if (box.frames.back().minType == VOTE_SYSTEM_QUERY_ALL_VOTE_RES)
            service.disconnect(self);
    });
    ASSERT_TRUE(service.send(self, voteFrame(1, PCreateVoteReq{10, 20, normalVote("v", 2, 1, 1), {}})));
    std::vector<std::uint32_t> order;
    for (const auto& f : box.frames)
        order.push_back(f.minType);
    EXPECT_EQ(order, (std::vector<std::uint32_t>{2, 30, 29}));
    EXPECT_EQ(service.sessionCount(), 2u);
    EXPECT_EQ(viewerBox.count(VOTE_SYSTEM_BROADCAST_CHANNEL_VOTE), 1u);
}

TEST_F(EmbeddedTest, ThrowingCallbackDoesNotStopOthers)
{
    service.disconnect(viewer);
    service.connect(identity(6, 0), [](const std::string&) { throw std::runtime_error("host bug"); });
    ASSERT_TRUE(service.send(manager, voteFrame(1, PCreateVoteReq{10, 20, normalVote("v", 2, 1, 1), {}})));
    EXPECT_EQ(managerBox.count(VOTE_SYSTEM_BROADCAST_CHANNEL_VOTE), 1u);
    ASSERT_TRUE(service.send(manager, voteFrame(28, PQueryAllVoteReq{10, 20, {}})));
    EXPECT_EQ(managerBox.count(VOTE_SYSTEM_QUERY_ALL_VOTE_RES), 1u);
}

TEST_F(EmbeddedTest, NicksTheHostPassesAreCleanedToo)
{
    SessionIdentity sly = identity(9, 0);
    sly.nick = "\u202Dhost\x1b]0;x\x07nick\xff";
    Inbox slyBox;
    service.connect(sly, slyBox.callback());
    ASSERT_TRUE(
        service.send(viewer, voteFrame(VOTE_SYSTEM_QUERY_NICKNAME_REQ, PQueryNicknameReq{sly.imid, {}})));
    EXPECT_EQ(viewerBox.last<PQueryNicknameRes>(VOTE_SYSTEM_QUERY_NICKNAME_RES).nick, "hostnick");
}

} // namespace
} // namespace quorix::service::test
