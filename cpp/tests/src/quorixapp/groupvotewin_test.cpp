#include "tests/src/quorixapp/audiencehost.h"
#include "tests/src/quorixapp/votebuilders.h"

#include "src/quorixapp/groupvotewin.h"

#include "panefind.h"
#include "paneframewindow.h"
#include "panelabelwidget.h"
#include "paneprogressbar.h"
#include "panepushbutton.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

class GroupVoteWinTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        win = std::make_unique<GroupVoteWin>();
        win->init(nullptr);
        ASSERT_NE(win->frameWindow(), nullptr);
    }

    PaneLabelWidget* label(const QString& name) const
    {
        return panefw::findChild<PaneLabelWidget>(win->frameWindow(), name);
    }
    template <class T> T* inRow(int column, int row, const char* name) const
    {
        PaneWidget* rowWidget = win->optionRow(column, row);
        return rowWidget ? panefw::findChild<T>(rowWidget, QString::fromUtf8(name)) : nullptr;
    }
    QString nameAt(int column, int row) const
    {
        return inRow<PaneLabelWidget>(column, row, "LableLeft")->text();
    }
    QString countAt(int column, int row) const
    {
        return inRow<PaneLabelWidget>(column, row, "LableRight")->text();
    }
    int barAt(int column, int row) const
    {
        return inRow<PaneProgressBar>(column, row, "ProgressBar")->value();
    }
    PanePushButton* buttonAt(int column, int row) const
    {
        return inRow<PanePushButton>(column, row, "Button");
    }

    AudienceHost host;
    std::unique_ptr<GroupVoteWin> win;
};

TEST_F(GroupVoteWinTest, OptionsSplitIntoTeamColumnsWithTeamScores)
{
    // Team A: options 0 and 2 (4 and 7 tickets); team B: option 1 (12 tickets).
    win->showVote(test::groupVote({0, 1, 0}, {4, 12, 7}));

    EXPECT_EQ(label(QStringLiteral("AGroupScore"))->text(), QStringLiteral("11"));
    EXPECT_EQ(label(QStringLiteral("BGroupScore"))->text(), QStringLiteral("12"));
    EXPECT_EQ(label(QStringLiteral("AGroupName"))->text(), QStringLiteral("红队"));
    EXPECT_EQ(label(QStringLiteral("BGroupName"))->text(), QStringLiteral("蓝队"));
    EXPECT_EQ(nameAt(0, 0), QStringLiteral("选项0"));
    EXPECT_EQ(nameAt(0, 1), QStringLiteral("选项2"));
    EXPECT_EQ(nameAt(1, 0), QStringLiteral("选项1"));
    EXPECT_EQ(barAt(0, 0), 4) << "scale 100";
    EXPECT_EQ(barAt(0, 1), 7);
    EXPECT_EQ(barAt(1, 0), 12);
    EXPECT_EQ(buttonAt(0, 1)->data(0).toUInt(), 2u) << "buttons carry the global option id";
}

TEST_F(GroupVoteWinTest, AllCountsZeroLeaveEveryBarEmpty)
{
    win->showVote(test::groupVote({0, 1}, {0, 0}));
    EXPECT_EQ(barAt(0, 0), 0);
    EXPECT_EQ(barAt(1, 0), 0);
    EXPECT_EQ(countAt(1, 0), QStringLiteral("0"));
}

struct SizeCase
{
    int teamA;
    int teamB;
    int height;
};

class GroupVoteWindowSize : public GroupVoteWinTest, public ::testing::WithParamInterface<SizeCase>
{
};

TEST_P(GroupVoteWindowSize, HeightFollowsTheLongerColumn)
{
    const SizeCase& c = GetParam();
    std::vector<quint32> groups(c.teamA, 0);
    groups.insert(groups.end(), c.teamB, 1);
    win->showVote(test::groupVote(groups, std::vector<quint32>(groups.size(), 1)));

    EXPECT_EQ(win->frameWindow()->width(), 518);
    EXPECT_EQ(win->frameWindow()->height(), c.height);
    for (int row = 0; row < 10; ++row) {
        EXPECT_EQ(win->optionRow(0, row)->maximumHeight(), row < c.teamA ? 28 : 0) << "A row " << row;
        EXPECT_EQ(buttonAt(1, row)->isVisible(), row < c.teamB) << "B row " << row;
    }
}

INSTANTIATE_TEST_SUITE_P(Examples, GroupVoteWindowSize,
                         ::testing::Values(SizeCase{3, 5, 400}, SizeCase{5, 3, 400}, SizeCase{1, 1, 288},
                                           SizeCase{10, 10, 540}, SizeCase{0, 0, 260}, SizeCase{12, 2, 540}));

TEST_F(GroupVoteWinTest, SecondCountdownKeepsTheOldRemainingTime)
{
    win->startCountdown(100);
    EXPECT_EQ(label(QStringLiteral("Timer"))->text(), QStringLiteral("01:40"));
    win->onTimerCount();
    win->startCountdown(300);
    EXPECT_EQ(win->remainingSeconds(), 99);
    win->onTimerCount();
    EXPECT_EQ(label(QStringLiteral("Timer"))->text(), QStringLiteral("01:38"));
}

TEST_F(GroupVoteWinTest, ZeroOrNegativeTimeStartsNoCountdown)
{
    win->startCountdown(0);
    win->startCountdown(-20);
    EXPECT_FALSE(win->isCountdownRunning());
    EXPECT_EQ(win->remainingSeconds(), 0);
}

TEST_F(GroupVoteWinTest, RepeatedClicksShowTheStoredCountPlusOne)
{
    const quorix::VoteInfo vote = test::groupVote({0, 1}, {5, 3});
    win->showVote(vote);
    win->resetTicketLimits(vote);

    buttonAt(1, 0)->click();
    EXPECT_EQ(countAt(1, 0), QStringLiteral("4"));
    buttonAt(1, 0)->click();
    EXPECT_EQ(countAt(1, 0), QStringLiteral("4")) << "the stored count is not changed by a click";
    EXPECT_EQ(win->remainingTickets(), 8);
    EXPECT_EQ(label(QStringLiteral("Ticket"))->text(), QStringLiteral("8"));
}

TEST_F(GroupVoteWinTest, ARefusedTicketsPlusOneGivesWayToTheServicesCount)
{
    const quorix::VoteInfo vote = test::groupVote({0, 1}, {5, 3});
    win->showVote(vote);
    win->resetTicketLimits(vote);
    buttonAt(1, 0)->click();
    ASSERT_EQ(countAt(1, 0), QStringLiteral("4"));

    win->showCountedVote(vote);
    EXPECT_EQ(countAt(1, 0), QStringLiteral("3"));
    EXPECT_EQ(countAt(0, 0), QStringLiteral("5"));
}

TEST_F(GroupVoteWinTest, NextVoteStartsFromItsOwnCountsAndLimits)
{
    const quorix::VoteInfo vote = test::groupVote({0, 1}, {30, 3});
    win->showVote(vote);
    win->resetTicketLimits(vote);
    buttonAt(0, 0)->click();
    ASSERT_EQ(countAt(0, 0), QStringLiteral("31"));

    quorix::VoteInfo next = test::groupVote({0, 1}, {2, 0});
    next.voteId = 41;
    win->showVote(next);
    EXPECT_EQ(countAt(0, 0), QStringLiteral("2"));
    EXPECT_FALSE(win->isOptionLimitSet());
    EXPECT_FALSE(buttonAt(0, 0)->isEnabled()) << "no tickets until the new state is known";
}

TEST_F(GroupVoteWinTest, LastTicketDisablesBothColumns)
{
    const quorix::VoteInfo vote = test::groupVote({0, 1, 1}, {0, 0, 0}, 1, 5);
    win->showVote(vote);
    win->resetTicketLimits(vote);
    buttonAt(0, 0)->click();

    EXPECT_FALSE(buttonAt(0, 0)->isEnabled());
    EXPECT_FALSE(buttonAt(1, 0)->isEnabled());
    EXPECT_FALSE(buttonAt(1, 1)->isEnabled());
}

TEST_F(GroupVoteWinTest, MoreTicketsUsedThanAllowedDisablesEveryButtonAndShowsNoneLeft)
{
    win->showVote(test::groupVote({0, 1}, {2, 2}));
    win->setOptionLimit(test::ticketState(3, 5, 5, {{0, 1}, {1, 1}}, quorix::kGroupVote));

    EXPECT_EQ(win->remainingTickets(), -2) << "the account itself is signed";
    EXPECT_EQ(label(QStringLiteral("Ticket"))->text(), QStringLiteral("0"));
    EXPECT_FALSE(buttonAt(0, 0)->isEnabled());
    EXPECT_FALSE(buttonAt(1, 0)->isEnabled());

    buttonAt(0, 0)->setEnabled(true);
    buttonAt(0, 0)->click();
    EXPECT_EQ(win->remainingTickets(), -2) << "a click without tickets spends nothing";
}

TEST_F(GroupVoteWinTest, EndedVoteReadsStoppedAndDisablesVoting)
{
    const quorix::VoteInfo vote = test::groupVote({0, 1}, {1, 1});
    win->showVote(vote);
    win->resetTicketLimits(vote);
    win->startCountdown(60);
    win->stopVote();

    EXPECT_FALSE(win->isCountdownRunning());
    EXPECT_EQ(win->remainingSeconds(), 0);
    EXPECT_EQ(label(QStringLiteral("TimerMark"))->text(), QStringLiteral("投票已停止"));
    EXPECT_EQ(label(QStringLiteral("Timer"))->text(), QString());
    EXPECT_FALSE(panefw::findChild<PaneWidget>(win->frameWindow(), QStringLiteral("ruleBox"))->isVisible());
    EXPECT_TRUE(
        panefw::findChild<PanePushButton>(win->frameWindow(), QStringLiteral("TicketRecord"))->isVisible());
    EXPECT_FALSE(buttonAt(0, 0)->isEnabled());
    EXPECT_FALSE(buttonAt(1, 0)->isEnabled());
}

TEST_F(GroupVoteWinTest, HideAndClearEmptiesEveryCount)
{
    win->showVote(test::groupVote({0, 1}, {6, 9}));
    win->frameWindow()->show();
    win->hideAndClear();
    EXPECT_FALSE(win->frameWindow()->isVisible());
    EXPECT_EQ(countAt(0, 0), QString());
    EXPECT_EQ(countAt(1, 0), QString());
}

} // namespace
