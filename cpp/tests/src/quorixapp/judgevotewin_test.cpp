#include "tests/src/quorixapp/audiencehost.h"
#include "tests/src/quorixapp/votebuilders.h"

#include "src/quorixapp/judgevotewin.h"

#include "panefind.h"
#include "paneframeitemex.h"
#include "paneframewindow.h"
#include "paneimagewidget.h"
#include "panelabelwidget.h"
#include "panemessagebox.h"
#include "panepushbutton.h"
#include "panespaceritem.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

const QString kImageDir = QStringLiteral(":/image/theme/quorix/image/");
const quint32 kViewerUid = 600;

class JudgeVoteWinTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        win = std::make_unique<JudgeVoteWin>();
        win->init(nullptr);
        ASSERT_NE(win->frameWindow(), nullptr);
    }
    void TearDown() override
    {
        if (PaneMessageBox* box = PaneMessageBox::lastBox())
            delete box;
    }

    template <class T> T* widget(const QString& name) const
    {
        return panefw::findChild<T>(win->frameWindow(), name);
    }
    PaneLabelWidget* label(const QString& name) const { return widget<PaneLabelWidget>(name); }
    PaneImageWidget* card(int i) const { return widget<PaneImageWidget>(QStringLiteral("Judge%1").arg(i)); }
    QString status(int i) const { return label(QStringLiteral("Judging%1").arg(i))->text(); }
    QString score(int i) const { return label(QStringLiteral("JudgeCount%1").arg(i))->text(); }
    qreal spacerWidth(const char* name) const
    {
        return widget<PaneSpacerItem>(QString::fromUtf8(name))->maximumWidth();
    }

    AudienceHost host{kViewerUid};
    std::unique_ptr<JudgeVoteWin> win;
};

struct CardLayoutCase
{
    int judges;
    int leftMargin;
};

class JudgeCardLayout : public JudgeVoteWinTest, public ::testing::WithParamInterface<CardLayoutCase>
{
};

TEST_P(JudgeCardLayout, CardsAreCentredForTheNumberOfJudges)
{
    const CardLayoutCase& c = GetParam();
    std::vector<test::Judge> judges;
    for (int i = 0; i < c.judges; ++i)
        judges.push_back({quint32(500 + i), "评委" + std::to_string(i), 0});
    win->showVote(test::judgeVote(judges));

    EXPECT_EQ(win->leftMargin(), c.leftMargin);
    EXPECT_EQ(spacerWidth("JudgeLeftMargin"), c.leftMargin);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(card(i)->isVisible(), i < c.judges) << "card " << i;
}

INSTANTIATE_TEST_SUITE_P(Examples, JudgeCardLayout,
                         ::testing::Values(CardLayoutCase{3, 115}, CardLayoutCase{5, 19},
                                           CardLayoutCase{0, 259}, CardLayoutCase{1, 211}));

TEST_F(JudgeVoteWinTest, MoreThanFiveJudgesKeepTheLayoutAndFillFiveCards)
{
    win->showVote(test::judgeVote({{1, "a", 0}, {2, "b", 0}}));
    std::vector<test::Judge> six;
    for (quint32 i = 0; i < 6; ++i)
        six.push_back({10 + i, "评委", 1});
    win->showVote(test::judgeVote(six));
    EXPECT_EQ(win->leftMargin(), 163) << "the two-judge layout stays";
    EXPECT_EQ(label(QStringLiteral("totalPoint"))->text(), QStringLiteral("5")) << "only five cards count";
}

TEST_F(JudgeVoteWinTest, CardsShowScoresTotalAndTitle)
{
    win->showVote(test::judgeVote({{700, "张三", 3}, {500, "李四", 5}, {600, "王五", 0}}, "T"));

    EXPECT_EQ(label(QStringLiteral("totalPoint"))->text(), QStringLiteral("8"));
    EXPECT_EQ(label(QStringLiteral("title"))->text(), QStringLiteral("T  总分："));
    EXPECT_EQ(label(QStringLiteral("Judger0"))->text(), QStringLiteral("张三"))
        << "display order is judgeOrder";
    EXPECT_EQ(score(0), QStringLiteral("3"));
    EXPECT_EQ(status(0), QString());
    EXPECT_EQ(widget<PaneImageWidget>(QStringLiteral("JudgeImage1"))->imagePath(), kImageDir + "5point.png");
    EXPECT_EQ(card(1)->imagePath(), kImageDir + "Judged.png");
    EXPECT_EQ(score(2), QString());
    EXPECT_EQ(status(2), QStringLiteral("打分中..."));
    EXPECT_EQ(widget<PaneImageWidget>(QStringLiteral("JudgeImage2"))->imagePath(), QString());
}

TEST_F(JudgeVoteWinTest, TotalIsRecountedForEveryBroadcast)
{
    win->showVote(test::judgeVote({{1, "a", 2}}));
    win->showVote(test::judgeVote({{1, "a", 4}}));
    EXPECT_EQ(label(QStringLiteral("totalPoint"))->text(), QStringLiteral("4"));
}

TEST_F(JudgeVoteWinTest, JudgesWithoutPointsAbstainWhenTheVoteEnds)
{
    win->showVote(test::judgeVote({{700, "张三", 3}, {500, "李四", 5}, {600, "王五", 0}}));
    win->startCountdown(30);
    win->stopVote();

    EXPECT_EQ(status(2), QStringLiteral("弃权"));
    EXPECT_EQ(status(0), QString());
    EXPECT_EQ(label(QStringLiteral("timer"))->text(), QStringLiteral("投票已结束"));
    EXPECT_TRUE(widget<PanePushButton>(QStringLiteral("VoteRecord"))->isVisible());
    EXPECT_EQ(label(QStringLiteral("timerMark"))->text(), QString());
}

TEST_F(JudgeVoteWinTest, CountdownReachingZeroEndsTheVote)
{
    win->showVote(test::judgeVote({{600, "王五", 0}}));
    win->startCountdown(2);
    EXPECT_EQ(label(QStringLiteral("timerMark"))->text(), QStringLiteral("后结束投票，请评委打分。"));
    EXPECT_EQ(label(QStringLiteral("timer"))->text(), QStringLiteral("00:02"));
    win->onTimerCount();
    EXPECT_EQ(label(QStringLiteral("timer"))->text(), QStringLiteral("00:01"));
    win->onTimerCount();
    EXPECT_FALSE(win->isCountdownRunning());
    EXPECT_EQ(status(0), QStringLiteral("弃权"));
}

TEST_F(JudgeVoteWinTest, ZeroOrNegativeTimeStartsNoCountdown)
{
    win->startCountdown(0);
    win->startCountdown(-1);
    EXPECT_FALSE(win->isCountdownRunning());
    EXPECT_EQ(label(QStringLiteral("timer"))->text(), QStringLiteral("03:23"));
}

TEST_F(JudgeVoteWinTest, ConfirmWithoutAScoreWarnsAndSendsNothing)
{
    widget<PanePushButton>(QStringLiteral("pointBtn"))->click();

    PaneMessageBox* box = PaneMessageBox::lastBox();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->windowTitle(), QStringLiteral("投票提示"));
    EXPECT_EQ(box->text(), QStringLiteral("请选择要打的分数"));
    EXPECT_FALSE(win->isScoreSent());
}

TEST_F(JudgeVoteWinTest, SelectingAScoreHighlightsItsRowAndTurnsTheButtonIntoConfirm)
{
    widget<PanePushButton>(QStringLiteral("4"))->click();
    EXPECT_EQ(win->selectedScore(), 4);
    EXPECT_EQ(widget<PaneImageWidget>(QStringLiteral("4"))->imagePath(), kImageDir + "vote-hover.png");
    EXPECT_EQ(widget<PaneImageWidget>(QStringLiteral("5"))->imagePath(), QString());
    EXPECT_TRUE(widget<PanePushButton>(QStringLiteral("pointBtn"))
                    ->imagePath()
                    .startsWith(kImageDir + "sure_but01.png"));

    emit widget<PanePushButton>(QStringLiteral("2"))->hoverEnter(QPointF());
    EXPECT_EQ(widget<PaneImageWidget>(QStringLiteral("4"))->imagePath(), kImageDir + "vote-hover.png")
        << "hovering after a selection does not move the highlight";
    EXPECT_EQ(widget<PaneImageWidget>(QStringLiteral("2"))->imagePath(), QString());
}

TEST_F(JudgeVoteWinTest, HoverMovesTheHighlightBeforeASelection)
{
    emit widget<PanePushButton>(QStringLiteral("2"))->hoverEnter(QPointF());
    EXPECT_EQ(widget<PaneImageWidget>(QStringLiteral("2"))->imagePath(), kImageDir + "vote-hover.png");
    emit widget<PanePushButton>(QStringLiteral("3"))->hoverEnter(QPointF());
    EXPECT_EQ(widget<PaneImageWidget>(QStringLiteral("2"))->imagePath(), QString());
    EXPECT_EQ(widget<PaneImageWidget>(QStringLiteral("3"))->imagePath(), kImageDir + "vote-hover.png");
}

TEST_F(JudgeVoteWinTest, ScoreListOpensOnHoverAndClosesWhenThePointerLeaves)
{
    auto* list = widget<PaneWidget>(QStringLiteral("pointList"));
    emit widget<PanePushButton>(QStringLiteral("pointBtn"))->hoverEnter(QPointF());
    EXPECT_TRUE(list->isVisibleTo(widget<PaneWidget>(QStringLiteral("PointWinSub"))));
    emit widget<PaneFrameItemEx>(QStringLiteral("PointWinSub"))->leaved();
    EXPECT_FALSE(list->isVisibleTo(widget<PaneWidget>(QStringLiteral("PointWinSub"))));
}

TEST_F(JudgeVoteWinTest, PopupSitsUnderTheViewersOwnCard)
{
    win->showVote(test::judgeVote({{700, "张三", 0}, {500, "李四", 0}, {kViewerUid, "王五", 0}}));

    EXPECT_TRUE(widget<PaneWidget>(QStringLiteral("PointWin"))->isVisible());
    EXPECT_EQ(spacerWidth("setJudgePointPos"), 96 * 2 + 115 - 5);
    EXPECT_FALSE(widget<PaneWidget>(QStringLiteral("pointList"))
                     ->isVisibleTo(widget<PaneWidget>(QStringLiteral("PointWinSub"))));
}

TEST_F(JudgeVoteWinTest, ViewerWhoIsNoJudgeGetsNoPopup)
{
    win->showVote(test::judgeVote({{700, "张三", 0}, {500, "李四", 0}}));
    EXPECT_FALSE(widget<PaneWidget>(QStringLiteral("PointWin"))->isVisible());
    EXPECT_EQ(spacerWidth("setJudgePointPos"), 800);
}

TEST_F(JudgeVoteWinTest, ConfirmedScoreShowsOnTheOwnCardAndClosesThePopup)
{
    win->showVote(test::judgeVote({{700, "张三", 2}, {kViewerUid, "王五", 0}}));
    widget<PanePushButton>(QStringLiteral("5"))->click();
    widget<PanePushButton>(QStringLiteral("pointBtn"))->click();

    EXPECT_TRUE(win->isScoreSent());
    EXPECT_EQ(win->selectedScore(), 0);
    EXPECT_EQ(score(1), QStringLiteral("5"));
    EXPECT_EQ(status(1), QString());
    EXPECT_EQ(card(1)->imagePath(), kImageDir + "Judged.png");
    EXPECT_FALSE(widget<PaneWidget>(QStringLiteral("PointWin"))->isVisible());
    EXPECT_EQ(spacerWidth("setJudgePointPos"), 800);
    EXPECT_TRUE(widget<PanePushButton>(QStringLiteral("pointBtn"))
                    ->imagePath()
                    .startsWith(kImageDir + "judge_but01.png"));
    EXPECT_EQ(widget<PaneImageWidget>(QStringLiteral("5"))->imagePath(), QString());
}

TEST_F(JudgeVoteWinTest, ScoreGoesOnlyToTheViewersCardOfTheCurrentVote)
{
    win->showVote(test::judgeVote({{700, "张三", 0}, {kViewerUid, "王五", 0}}));
    win->stopVote();
    win->showVote(test::judgeVote({{kViewerUid, "王五", 0}, {700, "张三", 0}}));
    widget<PanePushButton>(QStringLiteral("2"))->click();
    widget<PanePushButton>(QStringLiteral("pointBtn"))->click();

    EXPECT_EQ(score(0), QStringLiteral("2"));
    EXPECT_EQ(score(1), QString()) << "card 1 belonged to the viewer in the last vote only";
}

TEST_F(JudgeVoteWinTest, PopupComesBackWhileTheServiceStillShowsNoPoints)
{
    const quorix::VoteInfo unscored = test::judgeVote({{700, "张三", 0}, {kViewerUid, "王五", 0}});
    win->showVote(unscored);
    widget<PanePushButton>(QStringLiteral("3"))->click();
    widget<PanePushButton>(QStringLiteral("pointBtn"))->click();
    ASSERT_FALSE(widget<PaneWidget>(QStringLiteral("PointWin"))->isVisible());

    win->showVote(unscored);
    EXPECT_TRUE(widget<PaneWidget>(QStringLiteral("PointWin"))->isVisible()) << "the score did not arrive";
    EXPECT_EQ(spacerWidth("setJudgePointPos"), 96 * 1 + 163 - 5);

    win->showVote(test::judgeVote({{700, "张三", 0}, {kViewerUid, "王五", 3}}));
    EXPECT_FALSE(widget<PaneWidget>(QStringLiteral("PointWin"))->isVisible()) << "the score arrived";
}

TEST_F(JudgeVoteWinTest, EndingTheVoteTakesThePopupAway)
{
    win->showVote(test::judgeVote({{kViewerUid, "王五", 0}}));
    widget<PanePushButton>(QStringLiteral("2"))->click();
    win->stopVote();

    EXPECT_FALSE(widget<PaneWidget>(QStringLiteral("PointWin"))->isVisible());
    EXPECT_EQ(win->selectedScore(), 0);
    EXPECT_EQ(status(0), QStringLiteral("弃权"));
}

} // namespace
