#include "tests/src/quorixapp/audiencehost.h"
#include "tests/src/quorixapp/votebuilders.h"

#include "src/quorixapp/normalvotewin.h"

#include "panefind.h"
#include "paneframewindow.h"
#include "paneimagewidget.h"
#include "panelabelwidget.h"
#include "paneprogressbar.h"
#include "panepushbutton.h"
#include "panesyscommandrequest.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

const QString kImageDir = QStringLiteral(":/image/theme/quorix/image/");

class NormalVoteWinTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        win = std::make_unique<NormalVoteWin>();
        win->init(nullptr);
        ASSERT_NE(win->frameWindow(), nullptr);
    }

    template <class T> T* widget(const QString& name) const
    {
        return panefw::findChild<T>(win->frameWindow(), name);
    }
    PaneLabelWidget* label(const QString& name) const { return widget<PaneLabelWidget>(name); }
    PanePushButton* button(int row) const
    {
        return widget<PanePushButton>(QStringLiteral("Button%1").arg(row));
    }
    QString countText(int row) const { return label(QStringLiteral("LableRight%1").arg(row))->text(); }
    PaneImageWidget* badge(int row) const
    {
        return widget<PaneImageWidget>(QStringLiteral("Image%1").arg(row));
    }
    int bar(int row) const
    {
        return widget<PaneProgressBar>(QStringLiteral("ProgressBar%1").arg(row))->value();
    }

    void startWithAllowance(const std::vector<quint32>& counts, quint32 perUser, quint32 perOption)
    {
        const quorix::VoteInfo vote = test::normalVote(counts, perUser, perOption);
        win->showVote(vote);
        win->resetTicketLimits(vote);
    }

    AudienceHost host;
    std::unique_ptr<NormalVoteWin> win;
};

struct RankingCase
{
    const char* name;
    std::vector<quint32> counts;
    std::vector<quint32> expectedOrder;
};

class NormalVoteRanking : public NormalVoteWinTest, public ::testing::WithParamInterface<RankingCase>
{
};

TEST_P(NormalVoteRanking, RanksAndBadgesFollowQtSortWithTheNonStrictPredicate)
{
    const RankingCase& c = GetParam();
    win->showVote(test::normalVote(c.counts));

    const QVector<quint32> order = win->rankedOptions();
    ASSERT_EQ(order.size(), static_cast<int>(c.expectedOrder.size()));
    for (int rank = 0; rank < order.size(); ++rank) {
        EXPECT_EQ(order[rank], c.expectedOrder[rank]) << "rank " << rank;
        const char* expected = rank == 0 ? "first.png" : rank == 1 ? "second.png" : "other.png";
        EXPECT_EQ(badge(c.expectedOrder[rank])->imagePath(), kImageDir + expected) << "rank " << rank;
    }
    // Rows are never reordered: each option keeps its own row.
    for (int option = 0; option < static_cast<int>(c.counts.size()); ++option)
        EXPECT_EQ(countText(option), QString::number(c.counts[option]));
}

INSTANTIATE_TEST_SUITE_P(Examples, NormalVoteRanking,
                         ::testing::Values(RankingCase{"TwoEqual", {5, 5}, {1, 0}},
                                           RankingCase{"ThreeEqual", {3, 3, 3}, {1, 0, 2}},
                                           RankingCase{"TieBehindLower", {1, 4, 4}, {1, 2, 0}},
                                           RankingCase{"ZeroFirstTieSecond", {0, 7, 7, 2}, {1, 2, 3, 0}},
                                           RankingCase{"AlreadySorted", {2, 1}, {0, 1}}),
                         [](const auto& info) { return std::string(info.param.name); });

struct ScaleCase
{
    const char* name;
    std::vector<quint32> counts;
    std::vector<int> bars;
};

class NormalVoteScale : public NormalVoteWinTest, public ::testing::WithParamInterface<ScaleCase>
{
};

TEST_P(NormalVoteScale, BarsAreCountsOverTheNextPowerOfTen)
{
    const ScaleCase& c = GetParam();
    win->showVote(test::normalVote(c.counts));
    for (int option = 0; option < static_cast<int>(c.bars.size()); ++option) {
        EXPECT_EQ(bar(option), c.bars[option]) << "option " << option;
        EXPECT_EQ(badge(option)->isVisible(), c.bars[option] != 0) << "option " << option;
    }
}

INSTANTIATE_TEST_SUITE_P(Examples, NormalVoteScale,
                         ::testing::Values(ScaleCase{"AllZero", {0, 0, 0}, {0, 0, 0}},
                                           ScaleCase{"NineScalesToTen", {9, 3}, {90, 30}},
                                           ScaleCase{"TenScalesToHundred", {10, 3}, {10, 3}},
                                           ScaleCase{"TwoHundredFifty", {250, 1, 99}, {25, 0, 9}}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(NormalVoteWinTest, BadgeSitsAtTheEndOfTheFillAndStaysInsideTheBar)
{
    win->showVote(test::normalVote({10, 1, 0}));
    const qreal barWidth = widget<PaneProgressBar>(QStringLiteral("ProgressBar0"))->size().width();
    const qreal badgeWidth = badge(0)->size().width();
    EXPECT_EQ(badge(0)->x(), int(barWidth) * 10 / 100 - int(badgeWidth) / 2);
    EXPECT_EQ(badge(1)->x(), 0) << "a fill narrower than half a badge puts the badge at the start";
}

TEST_F(NormalVoteWinTest, OlderBroadcastNeverLowersAnOptimisticCount)
{
    startWithAllowance({4, 2}, 5, 5);
    button(0)->click();
    ASSERT_EQ(countText(0), QStringLiteral("5"));

    win->showVote(test::normalVote({4, 2}));
    EXPECT_EQ(countText(0), QStringLiteral("5")) << "the broadcast predates the click";
    win->showVote(test::normalVote({7, 2}));
    EXPECT_EQ(countText(0), QStringLiteral("7")) << "a newer, higher count is shown";
}

// In a vote whose results come at its end a click spends its ticket but leaves the count to the
// service: the zeros it sends a viewer while the vote runs, then the final counts.
TEST_F(NormalVoteWinTest, AVoteWithItsResultsAtTheEndShowsOnlyTheServicesCounts)
{
    quorix::VoteInfo vote = test::normalVote({0, 0}, 5, 5);
    vote.limits[quorix::kResultsShown] = quorix::kResultsAtEnd;
    win->showVote(vote);
    win->resetTicketLimits(vote);
    button(0)->click();
    EXPECT_EQ(win->remainingTickets(), 4u);
    EXPECT_EQ(countText(0), QStringLiteral("0"));
    win->showVote(vote);
    EXPECT_EQ(countText(0), QStringLiteral("0"));

    vote.optionTickets = {{0, 3}, {1, 1}};
    win->showVote(vote);
    EXPECT_EQ(countText(0), QStringLiteral("3"));
    EXPECT_EQ(countText(1), QStringLiteral("1"));
}

TEST_F(NormalVoteWinTest, ARefusedTicketsPlusOneGivesWayToTheServicesCount)
{
    startWithAllowance({4, 2}, 5, 5);
    button(0)->click();
    ASSERT_EQ(countText(0), QStringLiteral("5"));

    win->showCountedVote(test::normalVote({4, 2}));
    EXPECT_EQ(countText(0), QStringLiteral("4"));
    EXPECT_EQ(countText(1), QStringLiteral("2"));
}

TEST_F(NormalVoteWinTest, NextVoteStartsFromItsOwnCountsAndLimits)
{
    startWithAllowance({50, 3}, 5, 5);
    button(0)->click();
    ASSERT_EQ(countText(0), QStringLiteral("51"));

    quorix::VoteInfo next = test::normalVote({0, 1});
    next.voteId = 41;
    win->showVote(next);
    EXPECT_EQ(countText(0), QStringLiteral("0")) << "the last vote's count is not kept";
    EXPECT_EQ(countText(1), QStringLiteral("1"));
    EXPECT_FALSE(win->isOptionLimitSet()) << "the new vote's ticket state is still to be learnt";
    EXPECT_EQ(win->remainingTickets(), 0u);
}

TEST_F(NormalVoteWinTest, NonNumericCountIsAlwaysOverwritten)
{
    win->showVote(test::normalVote({3}));
    label(QStringLiteral("LableRight0"))->setText(QStringLiteral("abc"));
    win->showVote(test::normalVote({1}));
    EXPECT_EQ(countText(0), QStringLiteral("1"));
}

TEST_F(NormalVoteWinTest, WindowAndListHeightFollowTheOptionCount)
{
    win->showVote(test::normalVote({}));
    EXPECT_EQ(win->frameWindow()->height(), 184);
    EXPECT_FALSE(widget<PaneWidget>(QStringLiteral("VoteList"))->isVisible());

    win->showVote(test::normalVote({1, 2, 3, 4}));
    EXPECT_EQ(win->frameWindow()->height(), 35 * 4 + 184);
    EXPECT_EQ(widget<PaneWidget>(QStringLiteral("VoteList"))->maximumHeight(), 35 * 4 + 3);
}

TEST_F(NormalVoteWinTest, SpendingTheLastTicketDisablesEveryButtonAtOnce)
{
    startWithAllowance({0, 0, 0}, 2, 5);
    button(1)->click();
    EXPECT_TRUE(button(0)->isEnabled());
    button(2)->click();

    EXPECT_EQ(win->remainingTickets(), 0u);
    EXPECT_EQ(label(QStringLiteral("Ticket"))->text(), QStringLiteral("0"));
    for (int row = 0; row < 3; ++row)
        EXPECT_FALSE(button(row)->isEnabled()) << "row " << row;
}

TEST_F(NormalVoteWinTest, LastTicketOfOneOptionDisablesOnlyThatButton)
{
    startWithAllowance({0, 0}, 10, 1);
    button(0)->click();
    EXPECT_FALSE(button(0)->isEnabled());
    EXPECT_TRUE(button(1)->isEnabled());
    EXPECT_EQ(win->remainingTickets(), 9u);
}

TEST_F(NormalVoteWinTest, TicketStateFromTheServiceSetsAllowances)
{
    win->showVote(test::normalVote({0, 0, 0}));
    win->setOptionLimit(test::ticketState(10, 3, 4, {{0, 3}, {1, 1}}));

    EXPECT_TRUE(win->isOptionLimitSet());
    EXPECT_EQ(win->remainingTickets(), 6u);
    EXPECT_EQ(label(QStringLiteral("Ticket"))->text(), QStringLiteral("6"));
    EXPECT_EQ(label(QStringLiteral("Ticket_option"))->text(), QStringLiteral("3"));
    EXPECT_FALSE(button(0)->isEnabled()) << "all three tickets of option 0 are used";
    EXPECT_TRUE(button(1)->isEnabled());
    EXPECT_FALSE(button(2)->isEnabled()) << "options the state does not mention get no allowance";
}

TEST_F(NormalVoteWinTest, MoreTicketsUsedThanAllowedMeansNoneLeftNeverAWrappedNumber)
{
    win->showVote(test::normalVote({0, 0}));
    win->setOptionLimit(test::ticketState(3, 5, 4, {{0, 2}, {1, 6}}));

    EXPECT_EQ(win->remainingTickets(), 0u);
    EXPECT_EQ(label(QStringLiteral("Ticket"))->text(), QStringLiteral("0"));
    EXPECT_EQ(win->optionAllowance(1), 0u);
    EXPECT_FALSE(button(0)->isEnabled());
    EXPECT_FALSE(button(1)->isEnabled());
}

TEST_F(NormalVoteWinTest, ClickWithoutATicketSpendsNothing)
{
    startWithAllowance({0, 0}, 1, 1);
    button(0)->click();
    button(1)->setEnabled(true);
    button(1)->click();

    EXPECT_EQ(win->remainingTickets(), 0u);
    EXPECT_EQ(win->optionAllowance(1), 0u);
    EXPECT_EQ(countText(1), QStringLiteral("0"));
    EXPECT_FALSE(button(1)->isEnabled());
}

struct CountdownCase
{
    qint32 seconds;
    const char* atStart;
    const char* firstTick;
};

class NormalVoteCountdown : public NormalVoteWinTest, public ::testing::WithParamInterface<CountdownCase>
{
};

TEST_P(NormalVoteCountdown, ShowsMinutesAndSecondsFromTheStart)
{
    win->startCountdown(GetParam().seconds);
    ASSERT_TRUE(win->isCountdownRunning());
    EXPECT_EQ(label(QStringLiteral("Timer"))->text(), QString::fromUtf8(GetParam().atStart));
    win->onTimerCount();
    EXPECT_EQ(label(QStringLiteral("Timer"))->text(), QString::fromUtf8(GetParam().firstTick));
}

INSTANTIATE_TEST_SUITE_P(
    Formats, NormalVoteCountdown,
    ::testing::Values(CountdownCase{3600, "60:00", "59:59"}, CountdownCase{6000, "100:00", "99:59"},
                      CountdownCase{6600, "110:00", "109:59"}, CountdownCase{61, "01:01", "01:00"},
                      CountdownCase{70, "01:10", "01:09"}, CountdownCase{611, "10:11", "10:10"},
                      CountdownCase{602, "10:02", "10:01"}, CountdownCase{1, "00:01", "00:00"}));

TEST_F(NormalVoteWinTest, CountdownStopsAtZeroWithoutEndingTheVote)
{
    startWithAllowance({0}, 1, 1);
    win->startCountdown(1);
    win->onTimerCount();
    EXPECT_FALSE(win->isCountdownRunning());
    EXPECT_TRUE(button(0)->isEnabled()) << "only the service ends a normal vote";
}

TEST_F(NormalVoteWinTest, ZeroOrNegativeTimeStartsNoCountdown)
{
    for (qint32 seconds : {0, -1, -3600}) {
        win->startCountdown(seconds);
        EXPECT_FALSE(win->isCountdownRunning()) << seconds;
        EXPECT_EQ(label(QStringLiteral("Timer"))->text(), QStringLiteral("03:23")) << seconds;
    }
}

TEST_F(NormalVoteWinTest, RunningCountdownOnlyTakesTheNewTime)
{
    win->startCountdown(100);
    win->onTimerCount();
    win->startCountdown(50);
    EXPECT_EQ(win->remainingSeconds(), 50);
    EXPECT_EQ(label(QStringLiteral("Timer"))->text(), QStringLiteral("01:39")) << "no reset to 00:00";
    win->startCountdown(-5);
    EXPECT_EQ(win->remainingSeconds(), 50);
}

TEST_F(NormalVoteWinTest, EndedVoteDisablesVotingAndOffersTheRecord)
{
    startWithAllowance({1, 2}, 5, 5);
    win->startCountdown(30);
    win->stopVote();

    EXPECT_FALSE(win->isCountdownRunning());
    EXPECT_EQ(label(QStringLiteral("Timer"))->text(), QStringLiteral("投票已结束"));
    EXPECT_EQ(label(QStringLiteral("TimerMarkStop"))->text(), QString());
    EXPECT_FALSE(label(QStringLiteral("Ticket"))->isVisible());
    EXPECT_TRUE(widget<PanePushButton>(QStringLiteral("TicketRecord"))->isVisible());
    EXPECT_EQ(widget<PanePushButton>(QStringLiteral("TicketRecord"))->text(), QStringLiteral("投票记录"));
    EXPECT_FALSE(button(0)->isEnabled());
    EXPECT_FALSE(button(1)->isEnabled());
    EXPECT_EQ(countText(1), QStringLiteral("2")) << "the last counts stay";
}

TEST_F(NormalVoteWinTest, VoteEndedWithoutACountdownStillStopsTakingTickets)
{
    startWithAllowance({0}, 5, 5);
    win->stopVote();
    EXPECT_FALSE(button(0)->isEnabled());
    EXPECT_EQ(label(QStringLiteral("Timer"))->text(), QStringLiteral("投票已结束"));
}

TEST_F(NormalVoteWinTest, PlusOneAnimationShowsFourFramesBesideTheClickedRow)
{
    startWithAllowance({0, 0, 0, 0}, 5, 5);
    button(3)->click();
    EXPECT_EQ(widget<PaneWidget>(QStringLiteral("plus1"))->maximumHeight(), 35 * 3 + 108);

    auto* plus1 = widget<PaneImageWidget>(QStringLiteral("plus1"));
    for (int frame = 1; frame <= 4; ++frame) {
        win->onPlus1();
        EXPECT_EQ(plus1->imagePath(), kImageDir + QStringLiteral("1_0%1.png").arg(frame));
    }
    win->onPlus1();
    EXPECT_EQ(plus1->imagePath(), QString()) << "the fifth tick clears the image";
}

TEST_F(NormalVoteWinTest, HideAndClearEmptiesTheCountsAndHides)
{
    win->showVote(test::normalVote({3, 4}));
    win->frameWindow()->show();
    win->hideAndClear();
    EXPECT_FALSE(win->frameWindow()->isVisible());
    EXPECT_EQ(countText(0), QString());
    EXPECT_EQ(countText(1), QString());
}

TEST_F(NormalVoteWinTest, WindowSystemCloseIsRefusedAndRestoreRaisesTheWindow)
{
    PaneSysCommandRequest close(PaneSysCommandRequest::Close);
    emit win->frameWindow()->sysCommand(&close);
    EXPECT_FALSE(close.isAccepted()) << "the window is only ever hidden by the controller";

    PaneSysCommandRequest restore(PaneSysCommandRequest::Restore);
    emit win->frameWindow()->sysCommand(&restore);
    EXPECT_TRUE(win->frameWindow()->isVisible());
    EXPECT_TRUE(win->frameWindow()->windowFlags().testFlag(Qt::FramelessWindowHint));
}

TEST_F(NormalVoteWinTest, CloseButtonMinimisesInsteadOfClosing)
{
    win->showOnTop();
    widget<PanePushButton>(QStringLiteral("btnClose"))->click();
    EXPECT_TRUE(win->frameWindow()->isMinimized());
}

} // namespace
