// The management window with the real controller: navigation and edit ids, the vote list's row
// states and the requests its labels send, batch delete, and the window built only once.

#include "tests/src/quorixapp/panelfixture.h"

#include "src/quorixapp/panelistctrrowwidget.h"
#include "src/quorixapp/quorixpanelistctrl.h"

#include <panecheckbox.h>
#include <panecombobox.h>
#include <panelabelwidget.h>
#include <panepushbutton.h>
#include <panestackedwidget.h>

#include <QGraphicsWidget>

namespace {

const QColor kBlue(0, 113, 192);
const QColor kGrey(153, 153, 153);

class MainPanelTest : public PanelFixture
{
protected:
    void pickKind(const char* comboName, int index)
    {
        auto* combo = find<PaneComboBox>(comboName);
        ASSERT_NE(combo, nullptr);
        // What a user pick delivers: the signal with the combo box as sender.
        QMetaObject::invokeMethod(combo, "currentIndexChanged", Q_ARG(int, index));
    }
    void clickLabel(const char* name)
    {
        auto* label = find<PaneLabelWidget>(name);
        ASSERT_NE(label, nullptr) << name;
        emit label->clicked();
    }
};

TEST_F(MainPanelTest, WindowStartsOnTheStartPageWithItsTitle)
{
    EXPECT_EQ(panel->currentPage(), QuorixMainPanel::MainPage);
    EXPECT_EQ(panel->window()->windowTitle(), QStringLiteral("频道投票设置"));
    EXPECT_FALSE(panel->window()->isVisible());
    EXPECT_EQ(host->uiCreator().requestedLayouts().count(
                  QStringLiteral(":/layout/theme/quorix/layout/voteMrg.xml")),
              1);
}

TEST_F(MainPanelTest, LinksAndBackButtonsMoveBetweenPages)
{
    clickLabel("voteListLabel");
    EXPECT_EQ(panel->currentPage(), QuorixMainPanel::VoteListPage);
    find<PanePushButton>("voteListMainBtn")->click();
    EXPECT_EQ(panel->currentPage(), QuorixMainPanel::MainPage);

    clickLabel("mainWinVoteRecordLabel");
    EXPECT_EQ(panel->currentPage(), QuorixMainPanel::VoteRecordPage);
    EXPECT_EQ(takeMinorTypes(), std::vector<quint32>{quorix::VOTE_SYSTEM_QUERY_VOTE_HIS_RECORD_REQ});
    find<PanePushButton>("voteRecordBottomCreateVoteBtn")->click();
    EXPECT_EQ(panel->currentPage(), QuorixMainPanel::NormalEditorPage);

    const struct
    {
        const char* button;
        int page;
    } starts[] = {{"nomalVote", 3}, {"groupVote", 4}, {"judgeVote", 5}};
    for (const auto& s : starts) {
        panel->switchToMainWin();
        find<PanePushButton>(s.button)->click();
        EXPECT_EQ(panel->currentPage(), s.page) << s.button;
        const QByteArray combo = "createComboBox" + QByteArray::number(s.page - 3);
        EXPECT_EQ(find<PaneComboBox>(combo.constData())->currentIndex(), s.page - 3);
    }
    findIn<PanePushButton>("createJudgeVotePage", "createJudgeVoteMainBtn")->click();
    EXPECT_EQ(panel->currentPage(), QuorixMainPanel::MainPage);
}

TEST_F(MainPanelTest, ClosingAndReopeningKeepsThePage)
{
    panel->showWindow();
    EXPECT_TRUE(panel->window()->isVisible());
    panel->onVoteListLabelClicked();
    find<PanePushButton>("closeBtn")->click();
    EXPECT_FALSE(panel->window()->isVisible());
    panel->showWindow();
    EXPECT_TRUE(panel->window()->isVisible());
    EXPECT_EQ(panel->currentPage(), QuorixMainPanel::VoteListPage);
}

TEST_F(MainPanelTest, SecondInitKeepsTheWindowAndOnlySwapsTheController)
{
    PaneFrameWindow* window = panel->window();
    QuorixController other;
    panel->init(&other);
    EXPECT_EQ(panel->window(), window);
    panel->onMainWinVoteRecordLabelClicked();
    EXPECT_TRUE(takeSent().empty()); // the other controller has no protocol
}

TEST_F(MainPanelTest, KindSwitchResetsTheEditIdOfTheEditorThatWasShowing)
{
    setVotes({normalVote(41, "n", {"a"}), [] {
                  quorix::VoteInfo g = normalVote(42, "g", {"x", "y"});
                  g.voteType = quorix::kGroupVote;
                  g.optionGroup = {{0, 0}, {1, 1}};
                  return g;
              }()});
    panel->onRowEditLabelClicked(42);
    EXPECT_EQ(panel->currentPage(), QuorixMainPanel::GroupEditorPage);
    panel->onRowEditLabelClicked(41);
    EXPECT_EQ(panel->currentPage(), QuorixMainPanel::NormalEditorPage);
    EXPECT_EQ(panel->editId(0), 41u);
    EXPECT_EQ(panel->editId(1), 42u);

    pickKind("createComboBox0", 1);
    EXPECT_EQ(panel->currentPage(), QuorixMainPanel::GroupEditorPage);
    EXPECT_EQ(panel->editId(0), 0u);
    EXPECT_EQ(panel->editId(1), 42u);
    EXPECT_EQ(find<PaneComboBox>("createComboBox1")->currentIndex(), 1);

    pickKind("createComboBox1", 2);
    EXPECT_EQ(panel->currentPage(), QuorixMainPanel::JudgeEditorPage);
    EXPECT_EQ(panel->editId(1), 0u);
}

// ---------------------------------------------------------------------------------------------
// Vote list page

class VoteListTest : public MainPanelTest
{
protected:
    void SetUp() override
    {
        MainPanelTest::SetUp();
        quorix::VoteInfo judge = normalVote(30, "评委赛", {"评委赛"});
        judge.voteType = quorix::kJudgeVote;
        setVotes({normalVote(10, "第一场", {"a", "b"}), normalVote(20, "第二场", {"c"}), judge});
        takeSent();
        list = find<QuorixPaneListCtrl>("voteListCtrl");
        ASSERT_NE(list, nullptr);
    }

    PaneLabelWidget* label(int row, const char* name) const
    {
        return qobject_cast<PaneLabelWidget*>(list->findInRow(row, QString::fromLatin1(name)));
    }
    PaneCheckBox* check(int row) const
    {
        return qobject_cast<PaneCheckBox*>(list->findInRow(row, QStringLiteral("CHECK_BOX")));
    }
    bool buttonsShown(int row) const
    {
        return list->findInRow(row, QStringLiteral("ROW_HLAYOUT"))->isVisibleTo(list->rowWidget(row));
    }
    bool active(PaneLabelWidget* l) const { return l->acceptClick() && l->textColor() == kBlue; }
    bool greyed(PaneLabelWidget* l) const { return !l->acceptClick() && l->textColor() == kGrey; }

    QuorixPaneListCtrl* list = nullptr;
};

TEST_F(VoteListTest, RowsShowTheStoredVotesAndTheCounters)
{
    ASSERT_EQ(list->rowCount(), 3);
    EXPECT_EQ(find<PaneLabelWidget>("voteNumberLabel")->text(), QStringLiteral("3"));
    EXPECT_EQ(find<PaneLabelWidget>("voteListVoteNumberLabel")->text(), QStringLiteral("3"));
    for (int row = 0; row < 3; ++row) {
        EXPECT_EQ(label(row, "START_LABEL")->text(), QStringLiteral("开启"));
        EXPECT_FALSE(buttonsShown(row));
    }
    EXPECT_EQ(list->rowWidget(1)->data(999).toUInt(), 20u);

    setVotes({});
    EXPECT_EQ(list->rowCount(), 0);
    EXPECT_EQ(find<PaneLabelWidget>("voteNumberLabel")->text(), QStringLiteral("0"));
    EXPECT_EQ(find<PaneLabelWidget>("voteListVoteNumberLabel")->text(), QStringLiteral("0"));
}

TEST_F(VoteListTest, RunningStoppedAndClosedStatesOfTheRows)
{
    panel->markVoteStarted(20);
    EXPECT_EQ(label(1, "START_LABEL")->text(), QStringLiteral("停止"));
    EXPECT_TRUE(buttonsShown(1));
    EXPECT_TRUE(greyed(label(1, "EDITE_LABEL")));
    EXPECT_TRUE(greyed(label(1, "DELETE_LABEL")));
    for (int row : {0, 2}) {
        EXPECT_TRUE(greyed(label(row, "START_LABEL"))) << row;
        EXPECT_TRUE(active(label(row, "EDITE_LABEL"))) << row;
        EXPECT_TRUE(active(label(row, "DELETE_LABEL"))) << row;
    }
    // The running vote's buttons stay when the pointer leaves; others hide.
    panel->hideRowButtons(1);
    EXPECT_TRUE(buttonsShown(1));
    panel->showRowButtons(0);
    EXPECT_TRUE(buttonsShown(0));
    panel->hideRowButtons(0);
    EXPECT_FALSE(buttonsShown(0));

    panel->markVoteStopped(20);
    EXPECT_EQ(label(1, "START_LABEL")->text(), QStringLiteral("关闭"));
    panel->hideRowButtons(1);
    EXPECT_TRUE(buttonsShown(1));

    panel->resetVoteRows();
    for (int row = 0; row < 3; ++row) {
        EXPECT_EQ(label(row, "START_LABEL")->text(), QStringLiteral("开启"));
        for (const char* name : {"START_LABEL", "EDITE_LABEL", "DELETE_LABEL"})
            EXPECT_TRUE(active(label(row, name))) << row << name;
    }
    EXPECT_TRUE(buttonsShown(1));
    panel->hideRowButtons(1);
    EXPECT_FALSE(buttonsShown(1));

    panel->markVoteStarted(0);
    EXPECT_TRUE(active(label(0, "START_LABEL")));
}

// A list that arrives rebuilds every row; the open vote's row is marked again from the
// controller's state, found by its vote id, not by its old row.
enum class ListArrival
{
    QueryAnswer,
    ChannelPush
};
enum class OpenVote
{
    Running,
    Stopped,
    LeftInOldSubChannel
};

struct ListArrivalCase
{
    const char* name;
    ListArrival arrival;
    OpenVote openVote;
    const char* startText; // of the open vote's row; empty when no row is marked
};

class VoteListArrival : public VoteListTest, public ::testing::WithParamInterface<ListArrivalCase>
{
protected:
    void openVote(OpenVote state)
    {
        quorix::PStartVoteRes started;
        started.voteId = 20;
        started.jiFangId = 5;
        controller->onResStartVote(started);
        if (state != OpenVote::Running)
            controller->onResEndVote(started);
        if (state == OpenVote::LeftInOldSubChannel)
            host->channel().switchSubChannel(890);
    }
    void arrive(ListArrival arrival, const quorix::VoteList& votes)
    {
        if (arrival == ListArrival::QueryAnswer) {
            setVotes(votes);
            return;
        }
        quorix::PBroadcastChannelVote pushed;
        pushed.votes = votes;
        controller->onResBroadCastChannelVote(pushed);
    }
};

TEST_P(VoteListArrival, MarksTheOpenVotesRowAgain)
{
    const ListArrivalCase& c = GetParam();
    openVote(c.openVote);
    arrive(c.arrival, {normalVote(20, "第二场", {"c"}), normalVote(40, "第四场", {"d"}),
                       normalVote(10, "第一场", {"a", "b"})});
    ASSERT_EQ(list->rowCount(), 3);
    EXPECT_TRUE(takeSent().empty());

    const bool marked = *c.startText != '\0';
    EXPECT_EQ(label(0, "START_LABEL")->text(),
              marked ? QString::fromUtf8(c.startText) : QStringLiteral("开启"));
    EXPECT_EQ(buttonsShown(0), marked);
    for (const char* name : {"EDITE_LABEL", "DELETE_LABEL"})
        EXPECT_EQ(greyed(label(0, name)), marked) << name;
    for (int row : {1, 2}) {
        EXPECT_EQ(label(row, "START_LABEL")->text(), QStringLiteral("开启")) << row;
        EXPECT_EQ(greyed(label(row, "START_LABEL")), marked) << row;
        EXPECT_TRUE(active(label(row, "DELETE_LABEL"))) << row;
        EXPECT_FALSE(buttonsShown(row)) << row;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, VoteListArrival,
    ::testing::Values(
        ListArrivalCase{"AnswerWhileRunning", ListArrival::QueryAnswer, OpenVote::Running, "停止"},
        ListArrivalCase{"AnswerAfterStop", ListArrival::QueryAnswer, OpenVote::Stopped, "关闭"},
        ListArrivalCase{"PushWhileRunning", ListArrival::ChannelPush, OpenVote::Running, "停止"},
        ListArrivalCase{"PushAfterStop", ListArrival::ChannelPush, OpenVote::Stopped, "关闭"},
        ListArrivalCase{"AnswerAfterSubChannelChange", ListArrival::QueryAnswer,
                        OpenVote::LeftInOldSubChannel, ""},
        ListArrivalCase{"PushAfterSubChannelChange", ListArrival::ChannelPush, OpenVote::LeftInOldSubChannel,
                        ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(VoteListTest, StartLabelSendsStartEndOrCloseByTheRowState)
{
    emit label(0, "START_LABEL")->clicked();
    auto start = takeOnly<quorix::PStartVoteReq>(quorix::VOTE_SYSTEM_START_VOTE_REQ);
    EXPECT_EQ(start.voteId, 10u);
    EXPECT_EQ(start.channelId, 888u);
    EXPECT_EQ(list->selectedRow(), 0);
    EXPECT_EQ(list->rowWidget(0)->state(), 1);

    quorix::PStartVoteRes started;
    started.voteId = 10;
    started.jiFangId = 5;
    controller->onResStartVote(started);
    emit label(0, "START_LABEL")->clicked();
    auto end = takeOnly<quorix::PEndVoteReq>(quorix::VOTE_SYSTEM_END_VOTE_REQ);
    EXPECT_EQ(end.voteId, 10u);
    EXPECT_EQ(end.jiFangId, 5u);

    controller->onResEndVote(started);
    emit label(0, "START_LABEL")->clicked();
    auto close = takeOnly<quorix::PCloseVoteReq>(quorix::VOTE_SYSTEM_CLOSE_VOTEUI_REQ);
    EXPECT_EQ(close.voteId, 10u);
    EXPECT_EQ(close.jiFangId, 5u);

    panel->onRowStartLabelClicked(999);
    EXPECT_TRUE(takeSent().empty());
}

TEST_F(VoteListTest, DeleteLabelSendsTheVoteAndItsKind)
{
    emit label(2, "DELETE_LABEL")->clicked();
    auto remove = takeOnly<quorix::PDeleteVoteReq>(quorix::VOTE_SYSTEM_DELETE_VOTE_REQ);
    EXPECT_EQ(remove.voteId, 30u);
    EXPECT_EQ(remove.voteType, quint32(quorix::kJudgeVote));
    EXPECT_EQ(list->rowCount(), 3);
    panel->onRowDeleteLabelClicked(0);
    panel->onRowDeleteLabelClicked(77);
    EXPECT_TRUE(takeSent().empty());
}

TEST_F(VoteListTest, BatchDeleteSkipsTheOpenVote)
{
    panel->markVoteStarted(20);
    check(0)->click();
    check(1)->click();
    clickLabel("voteListBatchDeleteLabel");
    auto batch = takeOnly<quorix::PBatchDeleteVoteReq>(quorix::VOTE_SYSTEM_BATCH_DELETE_VOTE_REQ);
    EXPECT_EQ(batch.voteTypes, (quorix::U32Map{{10, quorix::kNormalVote}}));
}

TEST_F(VoteListTest, BatchDeleteWithNothingCheckedSendsAnEmptyMap)
{
    clickLabel("voteListBatchDeleteLabel");
    auto batch = takeOnly<quorix::PBatchDeleteVoteReq>(quorix::VOTE_SYSTEM_BATCH_DELETE_VOTE_REQ);
    EXPECT_TRUE(batch.voteTypes.empty());
}

TEST_F(VoteListTest, CheckAllFollowsTheRows)
{
    auto* all = find<PaneCheckBox>("voteListCheckAll");
    all->click();
    for (int row = 0; row < 3; ++row)
        EXPECT_EQ(check(row)->checkState(), Qt::Checked);

    check(1)->click();
    EXPECT_EQ(all->checkState(), Qt::Unchecked);
    check(0)->click();
    EXPECT_EQ(all->checkState(), Qt::Unchecked);
    check(0)->click();
    EXPECT_EQ(all->checkState(), Qt::Unchecked); // row 1 is still unchecked
    check(1)->click();
    EXPECT_EQ(all->checkState(), Qt::Checked);

    clickLabel("voteListBatchDeleteLabel");
    auto batch = takeOnly<quorix::PBatchDeleteVoteReq>(quorix::VOTE_SYSTEM_BATCH_DELETE_VOTE_REQ);
    EXPECT_EQ(batch.voteTypes.size(), 3u);

    setVotes({normalVote(10, "第一场", {"a"})});
    EXPECT_EQ(all->checkState(), Qt::Unchecked);
}

TEST_F(VoteListTest, SelectingARowUnhighlightsTheOthersAndHidesTheirButtons)
{
    panel->showRowButtons(2);
    list->rowClicked(0);
    EXPECT_EQ(list->rowWidget(0)->state(), 2);
    EXPECT_FALSE(buttonsShown(2));
    list->rowClicked(1);
    EXPECT_EQ(list->rowWidget(0)->state(), 0);
    EXPECT_EQ(list->rowWidget(1)->state(), 2);
}

TEST_F(VoteListTest, CreateButtonOpensANewNormalVote)
{
    panel->onRowEditLabelClicked(10);
    EXPECT_EQ(panel->editId(0), 10u);
    panel->onVoteListLabelClicked();
    find<PanePushButton>("voteListBottomCreateVoteBtn")->click();
    EXPECT_EQ(panel->currentPage(), QuorixMainPanel::NormalEditorPage);
    EXPECT_EQ(panel->editId(0), 0u);
}

TEST_F(MainPanelTest, TheWindowOpensCentredOverItsChannelWindow)
{
    channelWindow->setGeometry(1000, 500, 480, 640);
    panel.reset();
    panel = std::make_unique<QuorixMainPanel>();
    controller->init(protocol.get(), panel.get(), nullptr, nullptr, nullptr, nullptr, records.get());
    panel->init(controller.get());
    ASSERT_NE(panel->window(), nullptr);
    const QPoint offset = panel->window()->geometry().center() - channelWindow->frameGeometry().center();
    EXPECT_LE(offset.manhattanLength(), 2) << offset.x() << "," << offset.y();
}

// ---------------------------------------------------------------------------------------------
// Vote service link

TEST_F(VoteListTest, WhileTheServiceIsDownTheWindowSaysSoAndItsActionsWait)
{
    const char* const actions[] = {"startNormalVoteBtn",       "startGroupVoteBtn",
                                   "startJudgeVoteBtn",        "voteListAddNormalVoteLable",
                                   "addGroupVoteListLable",    "voteListAddJudgeVoteLable",
                                   "voteListBatchDeleteLabel", "lableJudge"};
    const QString down = QStringLiteral("投票服务未连接");
    auto* banner = find<PaneLabelWidget>("serviceStateLabel");
    ASSERT_NE(banner, nullptr);
    auto rowLinks = [this](int row) { return list->findInRow(row, QStringLiteral("ROW_HLAYOUT")); };
    auto expectState = [&](bool connected, const char* when) {
        EXPECT_EQ(banner->isVisible(), !connected) << when;
        EXPECT_EQ(banner->text().startsWith(down), !connected) << when;
        for (const char* name : actions) {
            auto* action = find<QGraphicsWidget>(name);
            ASSERT_NE(action, nullptr) << name;
            EXPECT_EQ(action->isEnabled(), connected) << when << " " << name;
            EXPECT_EQ(action->toolTip(), connected ? QString() : down) << when << " " << name;
        }
        for (int row = 0; row < list->rowCount(); ++row)
            EXPECT_EQ(rowLinks(row)->isEnabled(), connected) << when << " row " << row;
    };
    panel->window()->show();
    expectState(true, "at first");

    // A start waiting for its save is given up with the link: its answer will not come.
    panel->onCreateComboBoxClicked(quorix::kNormalVote);
    find<PanePushButton>("startNormalVoteBtn")->setEnabled(false);
    ASSERT_FALSE(panel->isStartIdle());
    connection->fireServiceClosed();
    connection->fireConnectionClosed(link->connectionId());
    expectState(false, "after the drop");
    EXPECT_TRUE(panel->isStartIdle());
    EXPECT_EQ(controller->pendingStartVoteId(), 0u);

    setVotes({normalVote(40, "断线时收到", {"a"})});
    expectState(false, "rows made while down");

    connection->fireReady();
    expectState(true, "after the link came back");
    EXPECT_TRUE(panel->isStartIdle());
    EXPECT_EQ(takeMinorTypes(), std::vector<quint32>{quorix::VOTE_SYSTEM_QUERY_ALL_VOTE_REQ});

    panel->window()->hide();
    connection->fireConnectionClosed(link->connectionId());
    connection->fireReady();
    EXPECT_TRUE(takeMinorTypes().empty()) << "a hidden window asks for nothing";
}

TEST_F(MainPanelTest, AWindowBuiltWhileTheServiceIsDownShowsItFromTheStart)
{
    connection->fireConnectionClosed(link->connectionId());
    panel.reset();
    panel = std::make_unique<QuorixMainPanel>();
    controller->init(protocol.get(), panel.get(), nullptr, nullptr, nullptr, nullptr, records.get());
    panel->init(controller.get());
    auto* banner = find<PaneLabelWidget>("serviceStateLabel");
    ASSERT_NE(banner, nullptr);
    EXPECT_TRUE(banner->isVisible());
    EXPECT_TRUE(banner->text().startsWith(QStringLiteral("投票服务未连接")));
    EXPECT_FALSE(find<PanePushButton>("startJudgeVoteBtn")->isEnabled());
}

} // namespace
