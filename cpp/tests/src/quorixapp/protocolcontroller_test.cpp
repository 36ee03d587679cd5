#include "tests/support/fakehost.h"
#include "logcapture.h"
#include "src/quorixapp/quorixapp.h"
#include "src/quorixapp/quorixcontroller.h"
#include <quorix/protocol/serviceframe.h>
#include "tests/support/wirevectors.h"

#include <QApplication>

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace quorix;
using wirevectors::fromHex;

// The whole application on the fake host: frames delivered on the host's connection travel
// through the real service link and protocol into the real controller, whose stores are read back.
class ProtocolControllerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        host.setConnectionsReady(true);
        host.channel().setChannelId(10);
        host.channel().setSubChannelId(20);
        host.channel().myRow().setUInt32(L"dwUid", 1000);
        QuorixApp::instance()->init(host.root());
        controller = QuorixApp::instance()->getController();
        ASSERT_NE(nullptr, controller);
        ASSERT_NE(nullptr, host.lastConnection());
        ASSERT_EQ(1, host.lastConnection()->openCount());
    }

    // As the unload export does: the owned objects first, then the root.
    void TearDown() override
    {
        QuorixApp::instance()->unInit();
        QuorixApp::destroyInstance();
    }

    // The first connection the fake opens has id 1.
    void deliver(quint32 minType, const std::string& body)
    {
        host.lastConnection()->deliver(1, mpak::encodeFrame(kVoteMajorType, minType, body));
    }

    static std::string withResult(std::uint32_t result, const std::string& body)
    {
        mpak::PackBuffer buffer;
        mpak::Pack pack(buffer);
        pack.push_uint32(result);
        return pack.str() + body.substr(4);
    }

    FakeHost host;
    QuorixController* controller = nullptr;
};

TEST_F(ProtocolControllerTest, VoteListAnswersAndChannelPushesReplaceTheStoredList)
{
    deliver(VOTE_SYSTEM_QUERY_ALL_VOTE_RES, fromHex(wirevectors::byMinType(29).hex));
    ASSERT_EQ(2u, controller->votes().size());
    EXPECT_TRUE(controller->votes()[0] == wirevectors::sampleVote());
    EXPECT_TRUE(controller->votes()[1] == VoteInfo());

    fenbase::LogCapture capture;
    deliver(VOTE_SYSTEM_QUERY_ALL_VOTE_RES,
            withResult(1, fromHex("00000000 00000000 00000000 00000000 00000000")));
    EXPECT_EQ(2u, controller->votes().size()) << "a failed answer must not touch the list";
    EXPECT_EQ(1, capture.count("request query vote histrory fail!! "));

    deliver(VOTE_SYSTEM_QUERY_ALL_VOTE_RES, fromHex("00000000 00000000 00000000 00000000 00000000"));
    EXPECT_TRUE(controller->votes().empty()) << "a count of 0 empties the list";

    deliver(VOTE_SYSTEM_BROADCAST_CHANNEL_VOTE, fromHex(wirevectors::byMinType(30).hex));
    ASSERT_EQ(1u, controller->votes().size());
    EXPECT_EQ(7u, controller->votes()[0].voteId);
}

TEST_F(ProtocolControllerTest, FailedHistoryAnswerLeavesTheStoredHistory)
{
    const std::string good = fromHex(wirevectors::byMinType(18).hex);
    deliver(VOTE_SYSTEM_QUERY_VOTE_HIS_RECORD_RES, good);
    ASSERT_EQ(1u, controller->history().records.size());
    EXPECT_TRUE(controller->history().records.at(3) == wirevectors::sampleHistory());

    fenbase::LogCapture capture;
    deliver(VOTE_SYSTEM_QUERY_VOTE_HIS_RECORD_RES,
            withResult(2, fromHex("00000000 00000000 00000000 00000000 00000000")));
    EXPECT_EQ(1, capture.count("request query vote histrory fail!! "));
    ASSERT_EQ(1u, controller->history().records.size());
    EXPECT_TRUE(controller->history().records.at(3) == wirevectors::sampleHistory());
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
