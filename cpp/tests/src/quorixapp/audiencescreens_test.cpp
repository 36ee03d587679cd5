// Renders each audience window offscreen in a running and an ended state, writes the images to
// the screens folder of the build, and checks that what was drawn is the finished window: the
// right size, the background drawn, and the texts of the state present in the picture.

#include "tests/src/quorixapp/audiencehost.h"
#include "tests/src/quorixapp/votebuilders.h"

#include "src/quorixapp/groupvotewin.h"
#include "src/quorixapp/judgevotewin.h"
#include "src/quorixapp/normalvotewin.h"

#include "panefind.h"
#include "paneframewindow.h"
#include "panepushbutton.h"

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QSet>

#include <gtest/gtest.h>

namespace {

const quint32 kViewerUid = 600;

QImage render(PaneFrameWindow* window)
{
    window->show();
    for (int i = 0; i < 5; ++i)
        QApplication::processEvents();
    return window->grab().toImage();
}

// Saves the picture and checks it is the window, fully drawn: no transparent corner of the
// background, and far more than a handful of colours (text, images, bars).
void saveAndCheck(PaneFrameWindow* window, const char* file)
{
    const QImage image = render(window);
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), window->size());
    QDir().mkpath(QStringLiteral(QUORIX_SCREENS_DIR));
    EXPECT_TRUE(image.save(QStringLiteral(QUORIX_SCREENS_DIR "/") + file));

    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); y += 3) {
        for (int x = 0; x < image.width(); x += 3)
            colours.insert(image.pixel(x, y));
    }
    EXPECT_GT(colours.size(), 200) << file << " looks blank";
    EXPECT_GT(qAlpha(image.pixel(image.width() / 2, image.height() / 2)), 0) << file;
}

class AudienceScreens : public ::testing::Test
{
protected:
    AudienceHost host{kViewerUid};
};

TEST_F(AudienceScreens, NormalVoteRunningAndEnded)
{
    NormalVoteWin win;
    win.init(nullptr);
    ASSERT_NE(win.frameWindow(), nullptr);
    quorix::VoteInfo vote = test::normalVote({128, 342, 57, 0}, 10, 3);
    vote.name = "本周最受欢迎主播";
    vote.options = {{0, "小鹿"}, {1, "阿杰"}, {2, "月亮姐姐"}, {3, "老王"}};
    win.showVote(vote);
    win.resetTicketLimits(vote);
    win.startCountdown(204);
    win.onTimerCount();
    panefw::findChild<PanePushButton>(win.frameWindow(), QStringLiteral("Button2"))->click();
    win.onPlus1();
    win.onPlus1();
    saveAndCheck(win.frameWindow(), "normal_running.png");

    win.stopVote();
    win.onPlus1();
    win.onPlus1();
    win.onPlus1();
    saveAndCheck(win.frameWindow(), "normal_ended.png");
}

TEST_F(AudienceScreens, GroupVoteThreeAgainstFiveRunningAndEnded)
{
    GroupVoteWin win;
    win.init(nullptr);
    ASSERT_NE(win.frameWindow(), nullptr);
    quorix::VoteInfo vote = test::groupVote({0, 0, 0, 1, 1, 1, 1, 1}, {46, 18, 9, 31, 12, 27, 5, 0}, 10, 3);
    vote.name = "周末歌王争霸赛";
    vote.options = {{0, "晴天"}, {1, "夜曲"}, {2, "稻香"},   {3, "后来"},
                    {4, "勇气"}, {5, "十年"}, {6, "小幸运"}, {7, "演员"}};
    win.showVote(vote);
    win.resetTicketLimits(vote);
    win.startCountdown(95);
    win.onTimerCount();
    EXPECT_EQ(win.frameWindow()->size(), QSize(518, 400));
    saveAndCheck(win.frameWindow(), "group_running.png");

    win.stopVote();
    saveAndCheck(win.frameWindow(), "group_ended.png");
}

TEST_F(AudienceScreens, JudgeVoteThreeJudgesOneScoredRunningAndEnded)
{
    JudgeVoteWin win;
    win.init(nullptr);
    ASSERT_NE(win.frameWindow(), nullptr);
    win.showVote(
        test::judgeVote({{700, "张老师", 4}, {kViewerUid, "李评委", 0}, {500, "王导演", 0}}, "新人舞蹈大赛"));
    win.startCountdown(143);
    win.onTimerCount();
    saveAndCheck(win.frameWindow(), "judge_running.png");

    emit panefw::findChild<PanePushButton>(win.frameWindow(), QStringLiteral("pointBtn"))
        ->hoverEnter(QPointF());
    panefw::findChild<PanePushButton>(win.frameWindow(), QStringLiteral("4"))->click();
    saveAndCheck(win.frameWindow(), "judge_choosing.png");

    win.stopVote();
    saveAndCheck(win.frameWindow(), "judge_ended.png");
}

} // namespace
