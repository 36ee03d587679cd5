#include "tests/src/quorixapp/audiencehost.h"
#include "tests/src/quorixapp/votebuilders.h"

#include "src/quorixapp/entserviceinterface.h"
#include "src/quorixapp/groupvotewin.h"
#include "src/quorixapp/judgevotewin.h"
#include "src/quorixapp/normalvotewin.h"
#include "src/quorixapp/quorixapp.h"
#include "src/quorixapp/quorixcontroller.h"
#include "src/quorixapp/judgelistctrl.h"
#include "src/quorixapp/quorixmainpanel.h"
#include "src/quorixapp/quorixprotocol.h"
#include "src/quorixapp/recordwnd.h"

#include "logcapture.h"
#include "panefind.h"
#include "paneframewindow.h"
#include "panelabelwidget.h"
#include "panepushbutton.h"
#include "winrecorder.h"

#include <gtest/gtest.h>

#include <memory>
#include <ostream>

namespace {

using quorix::kVoteMajorType;

const quint32 kViewerUid = 900;

// The controller under test with real windows and protocol. Requests go out through a service
// link of its own, so the frames it sends are exactly the controller's.
class ControllerTest : public ::testing::Test
{
protected:
    explicit ControllerTest(quint32 role = 0) : host(kViewerUid, role) {}

    void SetUp() override
    {
        link.init(comptr<IComponentRoot>(host.root()));
        connection = host.fake().lastConnection();
        ASSERT_NE(connection, nullptr);
        QuorixApp* app = QuorixApp::instance();
        protocol.init(&link, app->getChannelInterface(), app->getUserInterface());
        normal.init(&controller);
        group.init(&controller);
        judge.init(&controller);
        ASSERT_NE(normal.frameWindow(), nullptr);
        ASSERT_NE(group.frameWindow(), nullptr);
        ASSERT_NE(judge.frameWindow(), nullptr);
        controller.init(&protocol, nullptr, nullptr, &normal, &group, &judge, nullptr);
        winapi::clearWindowRecords();
        connection->clearSent();
    }

    quorix::PBroadcastVote startBroadcast(const quorix::VoteInfo& vote, quint32 jiFangId = 7,
                                          qint32 remain = 120, quint32 fullAllowance = 0) const
    {
        quorix::PBroadcastVote b;
        b.fullAllowance = fullAllowance;
        b.status = quorix::kVoteStarted;
        b.remainSeconds = static_cast<quint32>(remain);
        b.jiFangId = jiFangId;
        b.vote = vote;
        return b;
    }
    quorix::PBroadcastVote endBroadcast(const quorix::VoteInfo& vote) const
    {
        quorix::PBroadcastVote b = startBroadcast(vote);
        b.status = quorix::kVoteEnded;
        return b;
    }
    static quorix::PStartVoteRes answer(quint32 voteId, quint32 jiFangId = 7, quint32 result = 0)
    {
        quorix::PStartVoteRes res;
        res.result = result;
        res.voteId = voteId;
        res.jiFangId = jiFangId;
        return res;
    }
    std::vector<quint32> sent() const { return sentMinorTypes(*connection); }
    std::size_t topMostCalls() const { return winapi::topMostRecords().size(); }

    AudienceHost host;
    EntServiceInterface link;
    FakeServiceConnection* connection = nullptr;
    QuorixProtocol protocol;
    QuorixController controller;
    NormalVoteWin normal;
    GroupVoteWin group;
    JudgeVoteWin judge;
};

TEST_F(ControllerTest, CurrentVoteGoesIdleRunningStoppedIdle)
{
    EXPECT_FALSE(controller.hasOpenVote());
    controller.onResStartVote(answer(40, 7));
    EXPECT_TRUE(controller.isVoteRunning());
    EXPECT_TRUE(controller.hasOpenVote());
    EXPECT_EQ(controller.voteIdStarted(), 40u);
    EXPECT_EQ(controller.voteJiFangId(), 7u);

    controller.onResEndVote(answer(40, 7));
    EXPECT_FALSE(controller.isVoteRunning());
    EXPECT_TRUE(controller.hasOpenVote()) << "stopped, not yet closed";

    controller.onSubChannelChanged(67);
    EXPECT_FALSE(controller.hasOpenVote());
    EXPECT_EQ(controller.voteIdStarted(), 0u);
}

TEST_F(ControllerTest, FailedStartAnswerChangesNothing)
{
    controller.onResStartVote(answer(40, 7, 5));
    EXPECT_FALSE(controller.isVoteRunning());
    EXPECT_FALSE(controller.hasOpenVote());
}

TEST_F(ControllerTest, EndAnswerForAnotherVoteChangesNothing)
{
    controller.onResStartVote(answer(40, 7));
    controller.onResEndVote(answer(41, 7));
    EXPECT_TRUE(controller.isVoteRunning());
    EXPECT_EQ(controller.voteIdStarted(), 40u);
    controller.onResEndVote(answer(40, 7, 3));
    EXPECT_TRUE(controller.isVoteRunning()) << "a failed end answer is not applied";
}

TEST_F(ControllerTest, CloseAnswerWithAnErrorStillHidesEveryAudienceWindow)
{
    host.setChannelWindowActive(true);
    controller.onBroadcastVoteStart(startBroadcast(test::normalVote({1, 2})));
    group.frameWindow()->show();
    judge.frameWindow()->show();
    ASSERT_TRUE(normal.frameWindow()->isVisible());

    controller.onResCloseVoteUi(answer(40, 7, 9));

    EXPECT_FALSE(normal.frameWindow()->isVisible());
    EXPECT_FALSE(group.frameWindow()->isVisible());
    EXPECT_FALSE(judge.frameWindow()->isVisible());
    EXPECT_TRUE(controller.hasOpenVote()) << "without a main panel the current vote stays";
}

TEST_F(ControllerTest, StartBroadcastRaisesOnceAndLaterBroadcastsOnlyRefresh)
{
    host.setChannelWindowActive(true);
    controller.onBroadcastVoteStart(startBroadcast(test::normalVote({1, 2})));
    EXPECT_TRUE(normal.frameWindow()->isVisible());
    EXPECT_TRUE(controller.isWindowPopped());
    ASSERT_EQ(topMostCalls(), 1u);

    normal.frameWindow()->hide();
    controller.onBroadcastVoteStart(startBroadcast(test::normalVote({3, 2})));
    EXPECT_FALSE(normal.frameWindow()->isVisible()) << "a second broadcast does not raise again";
    EXPECT_EQ(topMostCalls(), 1u);
    EXPECT_EQ(panefw::findChild<PaneLabelWidget>(normal.frameWindow(), QStringLiteral("LableRight0"))->text(),
              QStringLiteral("3"));
    EXPECT_TRUE(winapi::flashRecords().empty());
}

TEST_F(ControllerTest, InactiveChannelAndAnotherOwnerMinimiseAndFlashFourTimes)
{
    host.setChannelWindowActive(false);
    quorix::VoteInfo vote = test::normalVote({1});
    vote.ownerUid = kViewerUid + 1;
    controller.onBroadcastVoteStart(startBroadcast(vote));

    ASSERT_EQ(winapi::flashRecords().size(), 1u);
    EXPECT_EQ(winapi::flashRecords()[0].count, 4u);
    EXPECT_EQ(winapi::flashRecords()[0].flags, 2u);
    EXPECT_EQ(winapi::flashRecords()[0].window, normal.frameWindow());
    EXPECT_TRUE(normal.frameWindow()->isMinimized());
    EXPECT_EQ(topMostCalls(), 0u);
}

TEST_F(ControllerTest, OwnVoteIsRaisedEvenWhenTheChannelIsNotActive)
{
    host.setChannelWindowActive(false);
    quorix::VoteInfo vote = test::groupVote({0, 1}, {0, 0});
    vote.ownerUid = kViewerUid;
    controller.onBroadcastVoteStart(startBroadcast(vote));
    EXPECT_TRUE(winapi::flashRecords().empty());
    EXPECT_EQ(topMostCalls(), 1u);
    EXPECT_TRUE(group.frameWindow()->isVisible());
}

TEST_F(ControllerTest, EndBroadcastStopsTheWindowAndAllowsTheNextRaise)
{
    host.setChannelWindowActive(true);
    const quorix::VoteInfo vote = test::judgeVote({{1, "a", 0}});
    controller.onBroadcastVoteStart(startBroadcast(vote, 7, 60));
    ASSERT_TRUE(judge.isCountdownRunning());

    controller.onBroadcastVoteEnd(endBroadcast(vote));
    EXPECT_FALSE(controller.isWindowPopped());
    EXPECT_FALSE(controller.isVoteRunning());
    EXPECT_FALSE(judge.isCountdownRunning());
    EXPECT_EQ(panefw::findChild<PaneLabelWidget>(judge.frameWindow(), QStringLiteral("Judging0"))->text(),
              QStringLiteral("弃权"));
}

// Every broadcast, ticket state and refusal reaches the window of the vote's kind and no other;
// a kind without a window is ignored.
struct KindCase
{
    const char* name;
    quint32 voteType;
    int window; // 0 normal, 1 group, 2 judge, -1 none
};

class ControllerKind : public ControllerTest, public ::testing::WithParamInterface<KindCase>
{
};

TEST_P(ControllerKind, OnlyTheWindowOfTheKindRunsAndStops)
{
    host.setChannelWindowActive(true);
    quorix::VoteInfo vote =
        GetParam().window == 2 ? test::judgeVote({{1, "a", 0}}) : test::normalVote({1, 2});
    vote.voteType = GetParam().voteType;
    AudienceVoteWindow* windows[] = {&normal, &group, &judge};

    controller.onBroadcastVoteStart(startBroadcast(vote, 7, 60));
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(windows[i]->frameWindow()->isVisible(), i == GetParam().window) << i;
        EXPECT_EQ(windows[i]->isCountdownRunning(), i == GetParam().window) << i;
    }
    const bool ticketed = GetParam().window == 0 || GetParam().window == 1;
    EXPECT_EQ(sent(), ticketed ? std::vector<quint32>{quorix::VOTE_SYSTEM_USER_VOTE_STATE_REQ}
                               : std::vector<quint32>{});

    quorix::UserTicketInfo state = test::ticketState(4, 2, 1, {{0, 1}, {1, 0}}, GetParam().voteType);
    controller.onResUserVoteState(state);
    EXPECT_EQ(normal.optionAllowance(1), GetParam().window == 0 ? 2u : 0u);
    EXPECT_EQ(group.optionAllowance(1), GetParam().window == 1 ? 2u : 0u);

    controller.onBroadcastVoteEnd(endBroadcast(vote));
    for (AudienceVoteWindow* window : windows)
        EXPECT_FALSE(window->isCountdownRunning());
}

INSTANTIATE_TEST_SUITE_P(Kinds, ControllerKind,
                         ::testing::Values(KindCase{"Normal", quorix::kNormalVote, 0},
                                           KindCase{"Group", quorix::kGroupVote, 1},
                                           KindCase{"Judge", quorix::kJudgeVote, 2},
                                           KindCase{"NextKindNumber", 3, -1},
                                           KindCase{"LargestKindNumber", 0xFFFFFFFFu, -1}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ControllerTest, EndBroadcastOfAnotherVoteKeepsTheCurrentVoteRunning)
{
    controller.onResStartVote(answer(40, 7));
    quorix::VoteInfo other = test::normalVote({1});
    other.voteId = 99;
    controller.onBroadcastVoteEnd(endBroadcast(other));
    EXPECT_TRUE(controller.isVoteRunning());
}

TEST_F(ControllerTest, FullAllowanceGrantsTicketsWithoutAskingTheService)
{
    controller.onBroadcastVoteStart(startBroadcast(test::normalVote({0, 0}, 6, 2), 7, 120, 1));
    EXPECT_TRUE(sent().empty());
    EXPECT_EQ(normal.remainingTickets(), 6u);
    EXPECT_EQ(normal.optionAllowance(1), 2u);
}

TEST_F(ControllerTest, TicketStateIsAskedUntilTheWindowHasLimits)
{
    const quorix::VoteInfo vote = test::groupVote({0, 1}, {0, 0});
    controller.onBroadcastVoteStart(startBroadcast(vote, 7));
    controller.onBroadcastVoteStart(startBroadcast(vote, 7));
    ASSERT_EQ(sent(), (std::vector<quint32>{quorix::VOTE_SYSTEM_USER_VOTE_STATE_REQ,
                                            quorix::VOTE_SYSTEM_USER_VOTE_STATE_REQ}));
    const auto request = sentRequests(*connection)[0].as<quorix::PUserVoteStateReq>();
    EXPECT_EQ(request.voteId, vote.voteId);
    EXPECT_EQ(request.voteType, quorix::kGroupVote);
    EXPECT_EQ(request.jiFangId, 7u);

    controller.onResUserVoteState(test::ticketState(5, 5, 1, {{0, 1}, {1, 0}}, quorix::kGroupVote));
    EXPECT_TRUE(group.isOptionLimitSet());
    EXPECT_EQ(group.remainingTickets(), 4);
    connection->clearSent();
    controller.onBroadcastVoteStart(startBroadcast(vote, 7));
    EXPECT_TRUE(sent().empty());
}

TEST_F(ControllerTest, NextVoteAsksForItsOwnTicketState)
{
    quorix::VoteInfo first = test::normalVote({0, 0});
    controller.onBroadcastVoteStart(startBroadcast(first, 7, 120, 1));
    controller.onBroadcastVoteEnd(endBroadcast(first));
    ASSERT_TRUE(sent().empty());

    quorix::VoteInfo next = test::normalVote({0, 0});
    next.voteId = 77;
    controller.onBroadcastVoteStart(startBroadcast(next, 8));
    ASSERT_EQ(sent(), (std::vector<quint32>{quorix::VOTE_SYSTEM_USER_VOTE_STATE_REQ}));
    EXPECT_EQ(sentRequests(*connection)[0].as<quorix::PUserVoteStateReq>().voteId, 77u);
}

TEST_F(ControllerTest, JudgeVoteNeverAsksForTickets)
{
    controller.onBroadcastVoteStart(startBroadcast(test::judgeVote({{1, "a", 0}})));
    EXPECT_TRUE(sent().empty());
}

struct TicketStateCase
{
    const char* name;
    quint32 state;
    quint32 voteType;
    bool normalSet;
    bool groupSet;
};

class ControllerTicketState : public ControllerTest, public ::testing::WithParamInterface<TicketStateCase>
{
};

TEST_P(ControllerTicketState, ReachesTheWindowOfItsType)
{
    const TicketStateCase& c = GetParam();
    quorix::UserTicketInfo info = test::ticketState(4, 2, 1, {{0, 1}}, c.voteType);
    info.state = c.state;
    info.vote = test::normalVote({0, 0}, 8, 3);
    controller.onResUserVoteState(info);
    EXPECT_EQ(normal.isOptionLimitSet(), c.normalSet);
    EXPECT_EQ(group.isOptionLimitSet(), c.groupSet);
    if (c.normalSet) {
        EXPECT_EQ(normal.remainingTickets(), c.state == 0 ? 3u : 8u);
    }
}

INSTANTIATE_TEST_SUITE_P(States, ControllerTicketState,
                         ::testing::Values(TicketStateCase{"NumbersForNormal", 0, 0, true, false},
                                           TicketStateCase{"FullAllowanceForNormal", 2, 0, true, false},
                                           TicketStateCase{"NumbersForGroup", 0, 1, false, true},
                                           TicketStateCase{"UnknownStateIgnored", 1, 0, false, false},
                                           TicketStateCase{"JudgeTypeIgnored", 0, 2, false, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ControllerTest, UserVoteCarriesTheCurrentVoteNumbers)
{
    controller.onResStartVote(answer(40, 7));
    fenbase::LogCapture capture;
    controller.reqUserVote2Option(3, 1);

    const auto requests = sentRequests(*connection);
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].maxType, kVoteMajorType);
    EXPECT_EQ(requests[0].minType, quorix::VOTE_SYSTEM_USER_VOTE_REQ);
    const auto vote = requests[0].as<quorix::PUserVoteReq>();
    EXPECT_EQ(vote.voteId, 40u);
    EXPECT_EQ(vote.voteType, 1u);
    EXPECT_EQ(vote.jiFangId, 7u);
    EXPECT_EQ(vote.optionId, 3u);
    EXPECT_EQ(vote.tickets, 1u);
    EXPECT_EQ(vote.uid, kViewerUid);
    EXPECT_EQ(vote.channelId, AudienceHost::kChannelId);
    EXPECT_EQ(vote.subChannelId, AudienceHost::kSubChannelId);
    EXPECT_TRUE(capture.contains("optionID ----------------------------------------------------3ticket 1"
                                 "m_voteJiFangID 7 m_voteIdStarted 40"));
}

TEST_F(ControllerTest, JudgeScoreIsOptionZeroWithThePointsAsTickets)
{
    controller.onResStartVote(answer(41, 9));
    controller.reqJudgeScore(4);
    const auto vote = sentRequests(*connection).at(0).as<quorix::PUserVoteReq>();
    EXPECT_EQ(vote.optionId, 0u);
    EXPECT_EQ(vote.tickets, 4u);
    EXPECT_EQ(vote.voteType, 2u);
    EXPECT_EQ(vote.voteId, 41u);
    EXPECT_EQ(vote.jiFangId, 9u);
}

TEST_F(ControllerTest, WindowClicksReachTheServiceThroughTheController)
{
    controller.onBroadcastVoteStart(startBroadcast(test::normalVote({0, 0}, 5, 5), 7, 120, 1));
    connection->clearSent();
    panefw::findChild<PanePushButton>(normal.frameWindow(), QStringLiteral("Button1"))->click();
    const auto requests = sentRequests(*connection);
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].as<quorix::PUserVoteReq>().optionId, 1u);
    EXPECT_EQ(requests[0].as<quorix::PUserVoteReq>().voteType, 0u);
}

// The transport drops after a viewer's click was counted at once and before its answer; then the
// link comes back. The window must end up with the service's numbers, whatever the service got.
struct DropCase
{
    const char* name;
    bool pushAfterReady;                 // the service still runs the vote and pushes it
    std::vector<quint32> pushedCounts;   // its counts in that push
    quorix::UserTicketInfo ticketAnswer; // its answer to the ticket-state request
    QString shownCount;                  // option 0's count at the end; empty: not known to the add-on
    quint32 remainingTickets;
    bool running;
};

void PrintTo(const DropCase& c, std::ostream* out)
{
    *out << c.name;
}

quorix::UserTicketInfo ticketsUsed(quint32 usedOnOption0)
{
    quorix::UserTicketInfo info;
    info.voteType = quorix::kNormalVote;
    info.ticketsPerUser = 2;
    info.ticketsPerOption = 2;
    info.ticketsUsed = usedOnOption0;
    info.usedPerOption = {{0, usedOnOption0}, {1, 0}};
    return info;
}

quorix::UserTicketInfo noOpenVote()
{
    quorix::UserTicketInfo info;
    info.state = 1;
    info.aux1 = 2;
    return info;
}

class LinkDropAfterClick : public ControllerTest, public ::testing::WithParamInterface<DropCase>
{
};

TEST_P(LinkDropAfterClick, WindowEndsWithTheServiceNumbers)
{
    const DropCase& c = GetParam();
    controller.onBroadcastVoteStart(startBroadcast(test::normalVote({3, 5}, 2, 2), 7, 120, 1));
    panefw::findChild<PanePushButton>(normal.frameWindow(), QStringLiteral("Button0"))->click();
    auto* count = panefw::findChild<PaneLabelWidget>(normal.frameWindow(), QStringLiteral("LableRight0"));
    ASSERT_EQ(count->text(), QStringLiteral("4")) << "counted at once";
    ASSERT_EQ(normal.remainingTickets(), 1u);

    connection->fireServiceClosed();
    connection->fireConnectionClosed(link.connectionId());
    connection->clearSent();
    connection->fireReady();
    ASSERT_TRUE(link.isConnected());
    const auto requests = sentRequests(*connection);
    ASSERT_EQ(requests.size(), 1u);
    ASSERT_EQ(requests[0].minType, static_cast<quint32>(quorix::VOTE_SYSTEM_USER_VOTE_STATE_REQ));
    const auto ask = requests[0].as<quorix::PUserVoteStateReq>();
    EXPECT_EQ(ask.voteId, 40u);
    EXPECT_EQ(ask.voteType, static_cast<quint32>(quorix::kNormalVote));
    EXPECT_EQ(ask.jiFangId, 7u);

    if (c.pushAfterReady)
        controller.onBroadcastVoteStart(startBroadcast(test::normalVote(c.pushedCounts, 2, 2), 7, 100, 0));
    controller.onResUserVoteState(c.ticketAnswer);

    if (!c.shownCount.isEmpty()) {
        EXPECT_EQ(count->text(), c.shownCount);
    }
    EXPECT_EQ(normal.remainingTickets(), c.remainingTickets);
    EXPECT_EQ(controller.isVoteRunning(), c.running);
    auto* button = panefw::findChild<PanePushButton>(normal.frameWindow(), QStringLiteral("Button0"));
    EXPECT_EQ(button->isEnabled(), c.running && c.remainingTickets > 0);
}

INSTANTIATE_TEST_SUITE_P(
    Drops, LinkDropAfterClick,
    ::testing::Values(
        DropCase{"ServiceNeverGotTheVote", true, {3, 5}, ticketsUsed(0), QStringLiteral("3"), 2, true},
        DropCase{"ServiceCountedTheVote", true, {4, 5}, ticketsUsed(1), QStringLiteral("4"), 1, true},
        DropCase{"VoteEndedWhileDown", false, {}, noOpenVote(), QString(), 1, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ControllerTest, RefusedVoteIsTakenBackByTheNextRecordAndTicketState)
{
    controller.onBroadcastVoteStart(startBroadcast(test::normalVote({3, 5}, 2, 2), 7, 120, 1));
    panefw::findChild<PanePushButton>(normal.frameWindow(), QStringLiteral("Button0"))->click();
    connection->clearSent();
    quorix::PUserVoteRes refused;
    refused.result = 16;
    controller.onResUserVote(refused);
    EXPECT_EQ(sent(), std::vector<quint32>{quorix::VOTE_SYSTEM_USER_VOTE_STATE_REQ});
    controller.onBroadcastVoteStart(startBroadcast(test::normalVote({3, 5}, 2, 2), 7, 100, 0));
    controller.onResUserVoteState(ticketsUsed(0));
    EXPECT_EQ(panefw::findChild<PaneLabelWidget>(normal.frameWindow(), QStringLiteral("LableRight0"))->text(),
              QStringLiteral("3"));
    EXPECT_EQ(normal.remainingTickets(), 2u);
}

// A group vote: team A holds options 0 and 2, team B option 1. Buttons carry the option id.
struct TeamClickCase
{
    const char* name;
    int column;
    int row;
    quint32 optionId;
};

class GroupWindowClick : public ControllerTest, public ::testing::WithParamInterface<TeamClickCase>
{
};

TEST_P(GroupWindowClick, SendsAGroupUserVoteForTheOption)
{
    const TeamClickCase& c = GetParam();
    controller.onBroadcastVoteStart(startBroadcast(test::groupVote({0, 1, 0}, {4, 12, 7}, 5, 5), 7, 120, 1));
    connection->clearSent();

    PaneWidget* row = group.optionRow(c.column, c.row);
    ASSERT_NE(row, nullptr);
    panefw::findChild<PanePushButton>(row, QStringLiteral("Button"))->click();

    const auto requests = sentRequests(*connection);
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].maxType, kVoteMajorType);
    EXPECT_EQ(requests[0].minType, quorix::VOTE_SYSTEM_USER_VOTE_REQ);
    const auto vote = requests[0].as<quorix::PUserVoteReq>();
    EXPECT_EQ(vote.voteType, 1u);
    EXPECT_EQ(vote.optionId, c.optionId);
    EXPECT_EQ(vote.tickets, 1u);
    EXPECT_EQ(vote.voteId, 40u);
    EXPECT_EQ(vote.jiFangId, 7u);
    EXPECT_EQ(vote.uid, kViewerUid);
    EXPECT_EQ(vote.channelId, AudienceHost::kChannelId);
    EXPECT_EQ(vote.subChannelId, AudienceHost::kSubChannelId);
}

INSTANTIATE_TEST_SUITE_P(Teams, GroupWindowClick,
                         ::testing::Values(TeamClickCase{"TeamAFirst", 0, 0, 0},
                                           TeamClickCase{"TeamASecond", 0, 1, 2},
                                           TeamClickCase{"TeamB", 1, 0, 1}),
                         [](const auto& info) { return std::string(info.param.name); });

class JudgeWindowConfirm : public ControllerTest, public ::testing::WithParamInterface<int>
{
};

TEST_P(JudgeWindowConfirm, SendsTheChosenPoints)
{
    const int points = GetParam();
    controller.onBroadcastVoteStart(
        startBroadcast(test::judgeVote({{700, "张三", 0}, {kViewerUid, "王五", 0}}), 9));
    connection->clearSent();

    panefw::findChild<PanePushButton>(judge.frameWindow(), QString::number(points))->click();
    panefw::findChild<PanePushButton>(judge.frameWindow(), QStringLiteral("pointBtn"))->click();

    const auto requests = sentRequests(*connection);
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].minType, quorix::VOTE_SYSTEM_USER_VOTE_REQ);
    const auto vote = requests[0].as<quorix::PUserVoteReq>();
    EXPECT_EQ(vote.tickets, quint32(points));
    EXPECT_EQ(vote.optionId, 0u);
    EXPECT_EQ(vote.voteType, 2u);
    EXPECT_EQ(vote.voteId, 41u);
    EXPECT_EQ(vote.jiFangId, 9u);
    EXPECT_EQ(vote.uid, kViewerUid);
}

INSTANTIATE_TEST_SUITE_P(Points, JudgeWindowConfirm, ::testing::Values(1, 3, 5));

TEST_F(ControllerTest, EndAndCloseRequestsCarryTheServiceNumber)
{
    controller.onResStartVote(answer(40, 7));
    host.setChannelWindowActive(true);
    controller.onBroadcastVoteStart(startBroadcast(test::normalVote({1}), 7));
    ASSERT_TRUE(controller.isWindowPopped());
    connection->clearSent();

    controller.reqEndVote(40);
    controller.reqCloseVote(40);
    const auto requests = sentRequests(*connection);
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].as<quorix::PEndVoteReq>().jiFangId, 7u);
    EXPECT_EQ(requests[1].as<quorix::PCloseVoteReq>().jiFangId, 7u);
    EXPECT_EQ(requests[1].as<quorix::PCloseVoteReq>().voteId, 40u);
    EXPECT_FALSE(controller.isWindowPopped()) << "the end request re-arms the bring-up";
}

TEST_F(ControllerTest, SubChannelChangeClearsTheOpenVoteAndItsWindows)
{
    host.setChannelWindowActive(true);
    const quorix::VoteInfo vote = test::normalVote({1}, 3, 3);
    controller.onBroadcastVoteStart(startBroadcast(vote, 7, 120, 1));
    ASSERT_TRUE(normal.isOptionLimitSet());

    host.fake().channel().switchSubChannel(67);

    EXPECT_FALSE(controller.hasOpenVote());
    EXPECT_FALSE(controller.isVoteRunning());
    EXPECT_FALSE(normal.frameWindow()->isVisible());
    EXPECT_FALSE(normal.isOptionLimitSet());
    EXPECT_TRUE(sent().empty()) << "nothing is requested";
}

TEST_F(ControllerTest, ARunningVoteComesBackAfterASubChannelRoundTrip)
{
    host.setChannelWindowActive(true);
    const quorix::VoteInfo vote = test::normalVote({1}, 3, 3);
    controller.onBroadcastVoteStart(startBroadcast(vote, 7, 120, 1));
    ASSERT_TRUE(normal.frameWindow()->isVisible());

    host.fake().channel().switchSubChannel(2);
    ASSERT_FALSE(normal.frameWindow()->isVisible());
    host.fake().channel().switchSubChannel(1);
    controller.onBroadcastVoteStart(startBroadcast(vote, 7, 100, 0));

    EXPECT_TRUE(normal.frameWindow()->isVisible()) << "the vote still running here is shown again";
    EXPECT_TRUE(controller.isWindowPopped());
    EXPECT_TRUE(controller.hasOpenVote());
}

TEST_F(ControllerTest, VoteListStoresReplaceEachOther)
{
    quorix::PQueryAllVoteRes listed;
    listed.votes = {test::normalVote({1}), test::groupVote({0, 1}, {0, 0})};
    controller.onResQueryAllVote(listed);
    EXPECT_EQ(controller.votes().size(), 2u);

    quorix::PBroadcastChannelVote pushed;
    pushed.votes = {test::judgeVote({})};
    controller.onResBroadCastChannelVote(pushed);
    ASSERT_EQ(controller.votes().size(), 1u);
    EXPECT_EQ(controller.votes()[0].voteType, quorix::kJudgeVote);

    controller.onResQueryAllVote(quorix::PQueryAllVoteRes{});
    EXPECT_TRUE(controller.votes().empty());
}

TEST_F(ControllerTest, HistoryAnswerIsStoredWhole)
{
    quorix::PQueryVoteHisRecordRes history;
    history.records[5].name = "旧投票";
    controller.onResQueryVoteHisRecord(history);
    EXPECT_EQ(controller.history().records.at(5).name, "旧投票");
}

TEST_F(ControllerTest, AddonBoxItemIsSetUpOnceWithItsValues)
{
    const int before = host.fake().addonBox().itemCount();
    controller.addAppBoxBtn();
    EXPECT_EQ(host.fake().addonBox().itemCount(), before) << "init already added the item";

    TovoAddonBoxItem* item = host.fake().addonBox().lastItem();
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(host.fake().addonBox().createCalls().back(), std::make_pair(1000, 1100));
    EXPECT_EQ(item->objectName(), QStringLiteral("quorixItem"));
    EXPECT_EQ(item->imagePath(), QStringLiteral(":/image/theme/quorix/image/vote_normal.png"));
    EXPECT_EQ(item->text(), QStringLiteral("投票2.0"));
    EXPECT_EQ(item->toolTipText(), QStringLiteral("投票2.0"));
    EXPECT_EQ(item->name(), QStringLiteral("quorix"));
    EXPECT_EQ(item->priority(), 100);
    EXPECT_TRUE(controller.isBoxButtonAdded());
}

TEST_F(ControllerTest, AddonBoxWithoutItemLeavesTheButtonUnset)
{
    QuorixController other;
    host.fake().addonBox().setCreatesItems(false);
    fenbase::LogCapture capture;
    other.addAppBoxBtn();
    EXPECT_FALSE(other.isBoxButtonAdded());
    EXPECT_TRUE(capture.contains("boxItem is null"));
}

TEST_F(ControllerTest, ViewerClickOpensTheHistoryAndQueriesHistoryThenVotes)
{
    recordWnd history;
    QuorixController viewer;
    viewer.init(&protocol, nullptr, nullptr, &normal, &group, &judge, &history);
    connection->clearSent();

    viewer.onChannelAddonClicked();
    EXPECT_EQ(sent(), (std::vector<quint32>{quorix::VOTE_SYSTEM_QUERY_VOTE_HIS_RECORD_REQ,
                                            quorix::VOTE_SYSTEM_QUERY_ALL_VOTE_REQ}));
}

TEST_F(ControllerTest, MissingProtocolSendsNothingAndCrashesNothing)
{
    QuorixController alone;
    alone.reqUserVote2Option(1, 0);
    alone.reqJudgeScore(3);
    alone.reqEndVote(1);
    alone.onBroadcastVoteStart(startBroadcast(test::normalVote({1})));
    EXPECT_TRUE(sent().empty());
    EXPECT_TRUE(alone.isVoteRunning());
}

class ManagerControllerTest : public ControllerTest
{
protected:
    ManagerControllerTest() : ControllerTest(255) {}

    void useMainPanel()
    {
        controller.init(&protocol, &panel, nullptr, &normal, &group, &judge, nullptr);
        connection->clearSent();
    }

    QuorixMainPanel panel;
};

TEST_F(ManagerControllerTest, RecordButtonOpensTheManagementHistoryAndQueriesHistoryThenVotes)
{
    useMainPanel();
    controller.onRecordBtnClicked();

    EXPECT_EQ(panel.currentPage(), QuorixMainPanel::VoteRecordPage);
    ASSERT_NE(panel.window(), nullptr);
    EXPECT_TRUE(panel.window()->isVisible());
    EXPECT_EQ(sent(), (std::vector<quint32>{quorix::VOTE_SYSTEM_QUERY_VOTE_HIS_RECORD_REQ,
                                            quorix::VOTE_SYSTEM_QUERY_ALL_VOTE_REQ}));
}

TEST_F(ManagerControllerTest, CloseAnswerWithAMainPanelFreesTheChannelWhateverItsResult)
{
    useMainPanel();
    controller.onResStartVote(answer(40, 7));
    controller.onResEndVote(answer(40, 7));
    controller.onResCloseVoteUi(answer(40, 7, 3));
    EXPECT_FALSE(controller.hasOpenVote());
    EXPECT_EQ(controller.voteIdStarted(), 0u);
}

TEST_F(ManagerControllerTest, VoteSavedWithStartIsStartedWhenTheNewListArrives)
{
    useMainPanel();
    controller.onChannelAddonClicked();
    panefw::findChild<PanePushButton>(panel.window(), QStringLiteral("startNormalVoteBtn"))
        ->setEnabled(false);
    ASSERT_FALSE(panel.isStartIdle());
    connection->clearSent();

    fenbase::LogCapture capture;
    quorix::PCreateVoteRes created;
    created.voteId = 55;
    controller.onResCreateVote(created);
    EXPECT_EQ(controller.pendingStartVoteId(), 55u);
    EXPECT_TRUE(capture.contains("onResCreateVote voteid == 55"));
    EXPECT_EQ(panel.currentPage(), QuorixMainPanel::VoteListPage);

    quorix::PBroadcastChannelVote pushed;
    pushed.votes = {test::normalVote({0})};
    pushed.votes[0].voteId = 55;
    controller.onResBroadCastChannelVote(pushed);

    EXPECT_EQ(controller.pendingStartVoteId(), 0u);
    EXPECT_TRUE(panel.isStartIdle());
    const auto requests = sentRequests(*connection);
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].minType, quorix::VOTE_SYSTEM_START_VOTE_REQ);
    EXPECT_EQ(requests[0].as<quorix::PStartVoteReq>().voteId, 55u);
}

TEST_F(ManagerControllerTest, FailedOrIdleSaveLeavesNothingPending)
{
    useMainPanel();
    controller.onChannelAddonClicked();
    quorix::PCreateVoteRes saved;
    saved.voteId = 56;
    controller.onResUpdateVote(saved);
    EXPECT_EQ(controller.pendingStartVoteId(), 0u) << "no start button was pressed";

    panefw::findChild<PanePushButton>(panel.window(), QStringLiteral("startNormalVoteBtn"))
        ->setEnabled(false);
    saved.result = 4;
    controller.onResCreateVote(saved);
    EXPECT_EQ(controller.pendingStartVoteId(), 0u) << "a failed answer is not applied";
}

TEST_F(ManagerControllerTest, NickAnswerAddsTheJudgeWithItsDecodedNick)
{
    useMainPanel();
    controller.onChannelAddonClicked();
    ASSERT_NE(panel.judgeList(), nullptr);
    quorix::PQueryNicknameRes found;
    found.imid = 123456;
    found.uid = 700;
    found.nick = "小明";
    controller.onResQueryNickname(found);

    ASSERT_EQ(panel.judgeList()->uids().size(), 1u);
    EXPECT_EQ(panel.judgeList()->uids()[0], 700u);
    EXPECT_EQ(panel.judgeList()->nicks()[0], QStringLiteral("小明"));
    EXPECT_EQ(panel.judgeList()->numbers()[0], QStringLiteral("123456"));
}

TEST_F(ManagerControllerTest, SubChannelChangeHidesTheManagementWindow)
{
    useMainPanel();
    controller.onChannelAddonClicked();
    ASSERT_TRUE(panel.window()->isVisible());
    host.fake().channel().switchSubChannel(68);
    EXPECT_FALSE(panel.window()->isVisible());
}

} // namespace
