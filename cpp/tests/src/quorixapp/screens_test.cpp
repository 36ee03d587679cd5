// Grabs every page of the management window and the history window offscreen, filled with
// realistic data, into <build>/screens/ for review; each grab must show the page's own content.

#include "tests/src/quorixapp/panelfixture.h"

#include "src/quorixapp/quorixpanelistctrl.h"

#include <panecombobox.h>
#include <panelabelwidget.h>
#include <panelineedit.h>

#include <QDir>
#include <QImage>
#include <QSet>

namespace {

class ScreensTest : public PanelFixture
{
protected:
    void SetUp() override
    {
        PanelFixture::SetUp();
        QDir().mkpath(QStringLiteral(QUORIX_SCREENS_DIR));
    }

    // Saves the grab and returns it; fails when the window shows next to nothing.
    QImage grab(QWidget* window, const char* file)
    {
        window->show();
        QCoreApplication::processEvents();
        const QImage image = window->grab().toImage();
        window->hide();
        EXPECT_EQ(image.size(), QSize(518, 339)) << file;
        QSet<QRgb> colours;
        for (int y = 0; y < image.height(); y += 3)
            for (int x = 0; x < image.width(); x += 3)
                colours.insert(image.pixel(x, y));
        EXPECT_GT(colours.size(), 40) << file;
        EXPECT_TRUE(image.save(QStringLiteral(QUORIX_SCREENS_DIR "/") + QString::fromLatin1(file)));
        return image;
    }

    void setEdit(const char* page, const char* name, const QString& text)
    {
        if (auto* edit = findIn<PaneLineEdit>(page, name))
            edit->setText(text);
        else if (auto* combo = findIn<PaneComboBox>(page, name))
            combo->lineEdit()->setText(text);
    }
    void setOptions(const char* container, const QStringList& rows, const QStringList& texts)
    {
        auto* box = find<PaneWidget>(container);
        for (int i = 0; i < rows.size() && i < texts.size(); ++i) {
            auto* row = panefw::findChild<PaneWidget>(box, rows[i]);
            panefw::findChild<PaneLineEdit>(row, QStringLiteral("voteOption"))->setText(texts[i]);
        }
    }
};

TEST_F(ScreensTest, StartPage)
{
    panel->setVoteNumber(QStringLiteral("4"));
    grab(panel->window(), "01-start.png");
}

TEST_F(ScreensTest, VoteListWithARunningVote)
{
    quorix::VoteInfo group = normalVote(12, "红蓝歌手对决", {"a"});
    group.voteType = quorix::kGroupVote;
    quorix::VoteInfo judge = normalVote(13, "才艺大赛评委打分", {"x"});
    judge.voteType = quorix::kJudgeVote;
    setVotes(
        {normalVote(11, "年度最受欢迎主播", {"a", "b"}), group, judge, normalVote(14, "周末点歌", {"c"})});
    quorix::PStartVoteRes started;
    started.voteId = 12;
    started.jiFangId = 3;
    controller->onResStartVote(started);
    panel->showVoteListPage();
    grab(panel->window(), "02-vote-list-running.png");
}

TEST_F(ScreensTest, NormalEditorFilled)
{
    panel->onCreateComboBoxClicked(0);
    setEdit("createNormalVotePage", "voteName", QStringLiteral("年度最受欢迎主播"));
    setEdit("createNormalVotePage", "maxTicket", QStringLiteral("3"));
    panel->onAddNormalClicked();
    panel->onAddNormalClicked();
    setOptions("normalVoteCreateList", panel->normalOptionRowNames(),
               {QStringLiteral("1号 林小雨"), QStringLiteral("2号 陈默"), QStringLiteral("3号 周一帆")});
    grab(panel->window(), "03-editor-normal.png");
}

TEST_F(ScreensTest, NormalEditorScrolledToTheLastAddedRow)
{
    panel->onCreateComboBoxClicked(0);
    setEdit("createNormalVotePage", "voteName", QStringLiteral("年度最受欢迎主播"));
    for (int i = 0; i < 6; ++i)
        panel->onAddNormalClicked();
    setOptions("normalVoteCreateList", panel->normalOptionRowNames(),
               {QStringLiteral("1号 林小雨"), QStringLiteral("2号 陈默"), QStringLiteral("3号 周一帆"),
                QStringLiteral("4号 王小川"), QStringLiteral("5号 李思远"), QStringLiteral("6号 赵一鸣"),
                QStringLiteral("7号 孙悦")});
    grab(panel->window(), "08-editor-normal-rows-added.png");
}

TEST_F(ScreensTest, GroupEditorFilled)
{
    panel->onCreateComboBoxClicked(1);
    setEdit("createGroupVotePage", "voteName", QStringLiteral("红蓝歌手对决"));
    setEdit("createGroupVotePage", "ANameLineEdit", QStringLiteral("红队"));
    setEdit("createGroupVotePage", "BNameLineEdit", QStringLiteral("蓝队"));
    panel->onAddAGruopOption();
    setOptions("GroupVoteCreateListA", panel->groupARowNames(),
               {QStringLiteral("阿杰"), QStringLiteral("小美")});
    setOptions("groupVoteCreateListB", panel->groupBRowNames(), {QStringLiteral("大卫")});
    grab(panel->window(), "04-editor-group.png");
}

TEST_F(ScreensTest, JudgeEditorFilled)
{
    panel->onCreateComboBoxClicked(2);
    setEdit("createJudgeVotePage", "voteName", QStringLiteral("才艺大赛评委打分"));
    panel->onJudgeQueried(QStringLiteral("王评委"), 10086, 501);
    panel->onJudgeQueried(QStringLiteral("李老师"), 20017, 502);
    panel->onJudgeQueried(QStringLiteral("赵导师"), 30055, 503);
    grab(panel->window(), "05-editor-judge.png");
}

quorix::PQueryVoteHisRecordRes sampleHistory()
{
    quorix::PQueryVoteHisRecordRes history;
    const struct
    {
        quint32 key;
        const char* name;
        quint32 type;
        const char* time;
        const char* admin;
    } rows[] = {{101, "年度最受欢迎主播", 0, "2026-12-07 20:30:12", "频道管理员"},
                {102, "红蓝歌手对决", 1, "2026-12-06 21:05:40", "小管家"},
                {103, "才艺大赛评委打分", 2, "2026-12-05 19:45:03", "频道管理员"},
                {104, "周末点歌", 0, "2026-12-03 22:10:59", "夜猫子"}};
    for (const auto& r : rows) {
        quorix::VoteHistoryRecord record;
        record.recordKey = r.key;
        record.name = r.name;
        record.voteType = r.type;
        record.timeText = r.time;
        record.adminNick = r.admin;
        record.options = {{0, "1号 林小雨"}, {1, "2号 陈默"}, {2, "3号 周一帆"}};
        record.optionTickets = {{0, 128}, {1, 96}, {2, 41}};
        history.records[r.key] = record;
    }
    return history;
}

TEST_F(ScreensTest, HistoryPageWithAnUnfoldedRow)
{
    controller->onResQueryVoteHisRecord(sampleHistory());
    panel->onMainWinVoteRecordLabelClicked();
    auto* list = find<QuorixPaneListCtrl>("voteRecordListCtrl");
    ASSERT_EQ(list->rowCount(), 4);
    emit list->rowPressed(3);
    grab(panel->window(), "06-history-unfolded.png");
}

TEST_F(ScreensTest, HistoryWindow)
{
    controller->onResQueryVoteHisRecord(sampleHistory());
    ASSERT_NE(records->window(), nullptr);
    auto* list =
        panefw::findChild<QuorixPaneListCtrl>(records->window(), QStringLiteral("voteRecordListCtrl"));
    ASSERT_EQ(list->rowCount(), 4);
    emit list->rowPressed(0);
    grab(records->window(), "07-history-window.png");
}

TEST_F(ScreensTest, VoteListAndEditorWhileTheServiceIsDown)
{
    setVotes({normalVote(11, "年度最受欢迎主播", {"a", "b"}), normalVote(14, "周末点歌", {"c"})});
    connection->fireConnectionClosed(link->connectionId());
    panel->showVoteListPage();
    panel->showRowButtons(0);
    grab(panel->window(), "09-vote-list-service-down.png");
    panel->onCreateComboBoxClicked(quorix::kNormalVote);
    setEdit("createNormalVotePage", "voteName", QStringLiteral("年度最受欢迎主播"));
    grab(panel->window(), "10-editor-service-down.png");
}

} // namespace
