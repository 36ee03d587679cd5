// The history on the management window's page and in the history window: filled from the
// controller's history answer, rows unfold on a press, and the history window's own behaviour.
// Also the management window rebuilt after the window system closed (and so deleted) it.

#include "tests/src/quorixapp/panelfixture.h"

#include "src/quorixapp/judgelistctrl.h"
#include "src/quorixapp/panelistctrrowwidget.h"
#include "src/quorixapp/quorixpanelistctrl.h"

#include <logcapture.h>
#include <panelabelwidget.h>
#include <panepushbutton.h>
#include <panestackedwidget.h>

namespace {

quorix::PQueryVoteHisRecordRes history()
{
    quorix::PQueryVoteHisRecordRes res;
    for (quint32 key : {5u, 9u}) {
        quorix::VoteHistoryRecord record;
        record.recordKey = key;
        record.name = key == 5 ? "旧" : "新";
        record.timeText = "2026-12-07 20:30:12";
        record.options = {{0, "甲"}, {1, "乙"}};
        record.optionTickets = {{0, 2}, {1, 3}};
        res.records[key] = record;
    }
    return res;
}

class HistoryTest : public PanelFixture
{
protected:
    QuorixPaneListCtrl* listOf(PaneFrameWindow* window) const
    {
        return panefw::findChild<QuorixPaneListCtrl>(window, QStringLiteral("voteRecordListCtrl"));
    }
    QString nameOf(QuorixPaneListCtrl* list, int row) const
    {
        auto* label = qobject_cast<PaneLabelWidget*>(list->findInRow(row, QStringLiteral("NAME_LABEL")));
        return label ? label->text() : QString();
    }
    bool unfolded(QuorixPaneListCtrl* list, int row) const
    {
        return list->findInRow(row, QStringLiteral("RECORD_LIST_ROW_DETAIL_LAYOUTER")) != nullptr;
    }
};

TEST_F(HistoryTest, BothViewsShowTheAnswerAndUnfoldOnAPress)
{
    controller->onResQueryVoteHisRecord(history());
    for (PaneFrameWindow* window : {panel->window(), records->window()}) {
        QuorixPaneListCtrl* list = listOf(window);
        ASSERT_NE(list, nullptr);
        ASSERT_EQ(list->rowCount(), 2);
        EXPECT_EQ(nameOf(list, 0), QStringLiteral("新"));
        EXPECT_EQ(nameOf(list, 1), QStringLiteral("旧"));
        emit list->rowWidget(1)->list_row_pressed(1);
        EXPECT_TRUE(unfolded(list, 1));
        EXPECT_FALSE(unfolded(list, 0));
        emit list->rowWidget(1)->list_row_pressed(1);
        EXPECT_FALSE(unfolded(list, 1));
    }
}

TEST_F(HistoryTest, HistoryWindowShowsOnceAndHidesOnClose)
{
    PaneFrameWindow* window = records->window();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->windowTitle(), QStringLiteral("投票记录"));
    EXPECT_FALSE(window->isVisible());
    auto* title = panefw::findChild<PaneLabelWidget>(window, QStringLiteral("labeltext"));
    EXPECT_EQ(title->textColor(), QColor(255, 255, 255));

    records->showWindow();
    EXPECT_TRUE(window->isVisible());
    panefw::findChild<PanePushButton>(window, QStringLiteral("closeBtn"))->click();
    EXPECT_FALSE(window->isVisible());

    records->init(controller.get());
    EXPECT_EQ(records->window(), window);
    EXPECT_EQ(
        host->uiCreator().requestedLayouts().count(QStringLiteral(":/layout/theme/quorix/layout/record.xml")),
        1);
}

TEST_F(HistoryTest, ViewsWithoutControllerOrWindowDoNothing)
{
    recordWnd lone;
    lone.refreshRecordList();
    lone.onRecordListRowPressed(0);
    lone.showWindow();
    lone.onCloseBtnClicked();
    EXPECT_EQ(lone.window(), nullptr);

    QuorixMainPanel bare;
    bare.refreshRecordList();
    bare.refreshVoteList();
    bare.onRecordListRowPressed(0);
    bare.onStartBtnClick();
    bare.onAddNormalClicked();
    EXPECT_TRUE(bare.isStartIdle());
    EXPECT_EQ(bare.currentPage(), -1);
}

TEST_F(HistoryTest, WindowClosedByTheWindowSystemIsBuiltAgain)
{
    panel->onJudgeQueried(QStringLiteral("评委"), 1, 2);
    panel->window()->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(panel->window(), nullptr);
    panel->showVoteListPage();

    panel->init(controller.get());
    ASSERT_NE(panel->window(), nullptr);
    EXPECT_EQ(panel->currentPage(), QuorixMainPanel::MainPage);
    ASSERT_NE(panel->judgeList(), nullptr);
    EXPECT_TRUE(panel->judgeList()->uids().empty());
    panel->onJudgeQueried(QStringLiteral("评委"), 1, 2);
    EXPECT_EQ(panel->judgeList()->uids().size(), 1u);
}

// A management layout whose page stack ends early: the history page may be missing, but the
// history is asked for all the same.
struct PageCountCase
{
    const char* name;
    int pagesKept;
    int pageAfterClick;
};

class HistoryQueryWithFewPages : public HistoryTest, public ::testing::WithParamInterface<PageCountCase>
{
protected:
    // A window built from the bundled layout with the stack cut down to its first `kept` pages.
    std::unique_ptr<QuorixMainPanel> panelWithPages(int kept)
    {
        host->uiCreator().setFactory([kept](const QString& path, const QString&, QWidget* parent) {
            PaneFrameWindow* window = PaneLayoutLoader::loadFile(path, parent);
            auto* stack = window
                              ? panefw::findChild<PaneStackedWidget>(window, QStringLiteral("stackedWidget"))
                              : nullptr;
            while (stack && stack->count() > kept)
                delete stack->widget(stack->count() - 1);
            return window;
        });
        auto trimmed = std::make_unique<QuorixMainPanel>();
        trimmed->init(controller.get());
        return trimmed;
    }
};

TEST_P(HistoryQueryWithFewPages, RecordLabelSendsTheHistoryQuery)
{
    const PageCountCase& c = GetParam();
    std::unique_ptr<QuorixMainPanel> trimmed = panelWithPages(c.pagesKept);
    ASSERT_NE(trimmed->window(), nullptr);
    auto* stack = panefw::findChild<PaneStackedWidget>(trimmed->window(), QStringLiteral("stackedWidget"));
    ASSERT_EQ(stack->count(), c.pagesKept);
    connection->clearSent();

    auto* label =
        panefw::findChild<PaneLabelWidget>(trimmed->window(), QStringLiteral("mainWinVoteRecordLabel"));
    ASSERT_NE(label, nullptr);
    emit label->clicked();

    const auto query =
        takeOnly<quorix::PQueryVoteHisRecordReq>(quorix::VOTE_SYSTEM_QUERY_VOTE_HIS_RECORD_REQ);
    EXPECT_EQ(query.channelId, 888u);
    EXPECT_EQ(query.subChannelId, 889u);
    EXPECT_EQ(trimmed->currentPage(), c.pageAfterClick);
}

INSTANTIATE_TEST_SUITE_P(Layouts, HistoryQueryWithFewPages,
                         ::testing::Values(PageCountCase{"StartPageOnly", 1, QuorixMainPanel::MainPage},
                                           PageCountCase{"NoHistoryPage", 2, QuorixMainPanel::MainPage},
                                           PageCountCase{"UpToTheHistoryPage", 3,
                                                         QuorixMainPanel::VoteRecordPage}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(HistoryTest, ManagersActionsAreLogged)
{
    setVotes({normalVote(10, "一", {"a"})});
    fenbase::LogCapture capture;
    panel->onRowStartLabelClicked(10);
    panel->onRowDeleteLabelClicked(10);
    panel->onRowEditLabelClicked(10);
    EXPECT_TRUE(capture.contains(" StartLabel is clicked, voteId is 10. and id is 10"));
    EXPECT_TRUE(capture.contains(" Delete Label is clicked, vote id is 10. and id is 10. voteType is 0"));
    EXPECT_TRUE(capture.contains(" Edit Label is clicked, vote id is 10. and id is 10"));
}

} // namespace
