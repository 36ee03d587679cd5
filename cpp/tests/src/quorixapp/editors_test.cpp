// The three vote editors with the real controller: validation order and texts, what a save
// sends, option rows (limit, renumbering, fresh names), judges (limit, look-ups, removal), the
// start button's pending start, and opening stored votes.

#include "tests/src/quorixapp/panelfixture.h"

#include "src/quorixapp/judgelistctrl.h"
#include "src/quorixapp/quorixpanelistctrl.h"

#include <panecombobox.h>
#include <panelabelwidget.h>
#include <panelineedit.h>
#include <panepushbutton.h>
#include <panescrollarea.h>

namespace {

const QString kTicketRule = QStringLiteral("每人可投票数需应该大于等于每项可投票数");
const QString kEmpty = QStringLiteral("填写内容不能为空哦");

class EditorTest : public PanelFixture
{
protected:
    PaneLineEdit* edit(const char* page, const char* name) const { return findIn<PaneLineEdit>(page, name); }
    void setText(const char* page, const char* name, const QString& text)
    {
        if (auto* e = edit(page, name)) {
            e->setText(text);
            return;
        }
        auto* combo = findIn<PaneComboBox>(page, name);
        ASSERT_NE(combo, nullptr) << name;
        ASSERT_NE(combo->lineEdit(), nullptr) << name;
        combo->lineEdit()->setText(text);
    }
    QString comboText(const char* page, const char* name) const
    {
        auto* combo = findIn<PaneComboBox>(page, name);
        return combo && combo->lineEdit() ? combo->lineEdit()->text() : QString();
    }
    PaneWidget* optionRow(const char* container, const QString& name) const
    {
        auto* box = find<PaneWidget>(container);
        return box ? panefw::findChild<PaneWidget>(box, name) : nullptr;
    }
    QString rowLabel(const char* container, const QString& name) const
    {
        auto* row = optionRow(container, name);
        auto* label = row ? panefw::findChild<PaneLabelWidget>(row, QStringLiteral("edit_Lable")) : nullptr;
        return label ? label->text() : QString();
    }
    void setOption(const char* container, const QString& rowName, const QString& text)
    {
        auto* row = optionRow(container, rowName);
        ASSERT_NE(row, nullptr) << qPrintable(rowName);
        panefw::findChild<PaneLineEdit>(row, QStringLiteral("voteOption"))->setText(text);
    }
    QString optionText(const char* container, const QString& rowName) const
    {
        auto* row = optionRow(container, rowName);
        return row ? panefw::findChild<PaneLineEdit>(row, QStringLiteral("voteOption"))->text() : QString();
    }
    void deleteRow(const char* container, const QString& rowName)
    {
        auto* row = optionRow(container, rowName);
        ASSERT_NE(row, nullptr);
        panefw::findChild<PanePushButton>(row, rowName)->click();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    bool linkEnabled(const char* name) const { return find<PaneLabelWidget>(name)->isEnabled(); }

    void fillNormal(const QString& name, const QString& perUser, const QString& perOption,
                    QStringList options)
    {
        setText("createNormalVotePage", "voteName", name);
        setText("createNormalVotePage", "maxTicket", perUser);
        setText("createNormalVotePage", "maxOptionTicket", perOption);
        while (panel->normalOptionRowNames().size() < options.size())
            panel->onAddNormalClicked();
        for (int i = 0; i < options.size(); ++i)
            setOption("normalVoteCreateList", panel->normalOptionRowNames()[i], options[i]);
    }
    void saveNormal() { emit find<PaneLabelWidget>("voteListAddNormalVoteLable")->clicked(); }
    void judgeFound(int n)
    {
        for (int i = 0; i < n; ++i)
            panel->onJudgeQueried(QStringLiteral("评委%1").arg(i), 5000 + i, 700 + i);
    }
};

struct ValidationCase
{
    const char* name;
    const char* voteName;
    const char* perUser;
    const char* perOption;
    const char* option;
    const char* warning; // null: accepted
};

class NormalValidation : public EditorTest, public ::testing::WithParamInterface<ValidationCase>
{
};

TEST_P(NormalValidation, WarnsOrSends)
{
    const ValidationCase& c = GetParam();
    host->channel().setFilter(
        [](const QString& text) { return text == QStringLiteral("违禁") ? QString() : text; });
    fillNormal(QString::fromUtf8(c.voteName), c.perUser, c.perOption, {QString::fromUtf8(c.option)});
    saveNormal();
    if (c.warning) {
        EXPECT_EQ(takeWarning(), QString::fromUtf8(c.warning));
        EXPECT_TRUE(takeSent().empty());
        return;
    }
    EXPECT_EQ(takeWarning(), QString());
    auto create = takeOnly<quorix::PCreateVoteReq>(quorix::VOTE_SYSTEM_CREATE_VOTE_REQ);
    EXPECT_EQ(create.vote.name, c.voteName);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, NormalValidation,
    ::testing::Values(ValidationCase{"TicketRuleComesBeforeEmptiness", "", "2", "3", "",
                                     "每人可投票数需应该大于等于每项可投票数"},
                      ValidationCase{"EmptyOptionIsRefused", "歌会", "3", "3", "", "填写内容不能为空哦"},
                      ValidationCase{"NameTheFilterEmptiesIsRefused", "违禁", "3", "1", "甲",
                                     "填写内容不能为空哦"},
                      ValidationCase{"NonNumberCountsAsZero", "歌会", "x", "1", "甲",
                                     "每人可投票数需应该大于等于每项可投票数"},
                      ValidationCase{"EqualTicketsAreAccepted", "歌会", "3", "3", "甲", nullptr}),
    [](const ::testing::TestParamInfo<ValidationCase>& info) { return std::string(info.param.name); });

TEST_F(EditorTest, SaveSendsTheUnfilteredTexts)
{
    host->channel().setKeywords({QStringLiteral("坏")});
    fillNormal(QStringLiteral("坏蛋大赛"), "5", "2", {QStringLiteral("甲"), QStringLiteral("坏人乙")});
    setText("createNormalVotePage", "LimitTime", "600");
    saveNormal();
    auto create = takeOnly<quorix::PCreateVoteReq>(quorix::VOTE_SYSTEM_CREATE_VOTE_REQ);
    EXPECT_EQ(create.channelId, 888u);
    EXPECT_EQ(create.vote.voteId, 0u);
    EXPECT_EQ(create.vote.voteType, quint32(quorix::kNormalVote));
    EXPECT_EQ(create.vote.name, "坏蛋大赛");
    EXPECT_EQ(create.vote.limitTime, 600u);
    EXPECT_EQ(create.vote.limits, (quorix::U32Map{{0, 5}, {1, 2}}));
    EXPECT_EQ(create.vote.options, (quorix::TextMap{{0, "甲"}, {1, "坏人乙"}}));
    EXPECT_FALSE(host->channel().filterCalls().empty());

    // Saving again without leaving sends the same vote again.
    saveNormal();
    EXPECT_EQ(takeMinorTypes(), std::vector<quint32>{quorix::VOTE_SYSTEM_CREATE_VOTE_REQ});
}

TEST_F(EditorTest, WithoutTheChannelBridgeNothingIsSent)
{
    fillNormal(QStringLiteral("歌会"), "1", "1", {QStringLiteral("甲")});
    QuorixApp::instance()->unInit();
    saveNormal();
    EXPECT_TRUE(takeSent().empty());
}

TEST_F(EditorTest, EleventhOptionIsRefusedAndDeletingReenablesTheLink)
{
    for (int i = 0; i < 12; ++i)
        panel->onAddNormalClicked();
    ASSERT_EQ(panel->normalOptionRowNames().size(), QuorixMainPanel::kMaxOptionRows);
    EXPECT_FALSE(linkEnabled("addNormalOptionBtn"));
    deleteRow("normalVoteCreateList", panel->normalOptionRowNames().last());
    EXPECT_EQ(panel->normalOptionRowNames().size(), 9);
    EXPECT_TRUE(linkEnabled("addNormalOptionBtn"));
}

TEST_F(EditorTest, EachAddedOptionRowIsScrolledIntoViewWithTheAddLinkBelowIt)
{
    const struct
    {
        int kind;
        const char* scroll;
        const char* container;
        const char* link;
        void (QuorixMainPanel::*add)();
        const QStringList& (QuorixMainPanel::*names)() const;
    } editors[] = {
        {0, "createNormalVoteScroll", "normalVoteCreateList", "addNormalOptionBtn",
         &QuorixMainPanel::onAddNormalClicked, &QuorixMainPanel::normalOptionRowNames},
        {1, "createGroupVoteScroll", "GroupVoteCreateListA", "addAGroupOptionBtn",
         &QuorixMainPanel::onAddAGruopOption, &QuorixMainPanel::groupARowNames},
        {1, "createGroupVoteScroll", "groupVoteCreateListB", "addBGroupOptionBtn",
         &QuorixMainPanel::onAddBGruopOption, &QuorixMainPanel::groupBRowNames},
    };
    panel->window()->show();
    for (const auto& editor : editors) {
        panel->onCreateComboBoxClicked(editor.kind);
        QCoreApplication::processEvents();
        auto* area = find<PaneScrollArea>(editor.scroll);
        auto* link = find<PaneLabelWidget>(editor.link);
        ASSERT_NE(area, nullptr) << editor.scroll;
        ASSERT_NE(link, nullptr) << editor.link;
        auto shown = [area](const QGraphicsItem* item) {
            const QRectF rect = item->mapRectToItem(area, item->boundingRect());
            return rect.top() >= 0 && rect.bottom() <= area->size().height();
        };
        for (int i = 0; i < 6; ++i) {
            (panel.get()->*editor.add)();
            const QString name = (panel.get()->*editor.names)().last();
            auto* row = optionRow(editor.container, name);
            ASSERT_NE(row, nullptr) << editor.container << " " << qPrintable(name);
            EXPECT_TRUE(shown(row)) << editor.container << " row " << i + 2;
            EXPECT_TRUE(shown(link)) << editor.container << " row " << i + 2;
        }
        EXPECT_GT(area->scrollPos(), 0) << editor.container << ": six more rows fit without scrolling";
    }
    panel->window()->hide();
}

TEST_F(EditorTest, DeletingRowThreeOfFiveRenumbersAndNamesAreNotReused)
{
    for (int i = 0; i < 4; ++i)
        panel->onAddNormalClicked();
    const QStringList before = panel->normalOptionRowNames();
    ASSERT_EQ(before.size(), 5);
    EXPECT_EQ(before.first(), QStringLiteral("optionBox1"));
    setOption("normalVoteCreateList", before[3], QStringLiteral("四"));

    deleteRow("normalVoteCreateList", before[2]);

    const QStringList after = panel->normalOptionRowNames();
    EXPECT_EQ(after, (QStringList{before[0], before[1], before[3], before[4]}));
    for (int i = 0; i < after.size(); ++i)
        EXPECT_EQ(rowLabel("normalVoteCreateList", after[i]), QString::number(i + 1));
    EXPECT_EQ(optionRow("normalVoteCreateList", before[2]), nullptr);
    EXPECT_EQ(optionText("normalVoteCreateList", after[2]), QStringLiteral("四"));

    panel->onAddNormalClicked();
    const QString fresh = panel->normalOptionRowNames().last();
    for (const QString& old : before)
        EXPECT_NE(fresh, old);
    EXPECT_EQ(rowLabel("normalVoteCreateList", fresh), QStringLiteral("5"));
}

TEST_F(EditorTest, GroupVoteNumbersTeamAThenTeamB)
{
    const char* page = "createGroupVotePage";
    setText(page, "voteName", QStringLiteral("红蓝对决"));
    setText(page, "limitTime", "200");
    setText(page, "maxTicket", "4");
    setText(page, "maxOptionTicket", "2");
    setText(page, "ANameLineEdit", QStringLiteral("红队"));
    setText(page, "BNameLineEdit", QStringLiteral("蓝队"));
    panel->onAddAGruopOption();
    panel->onAddBGruopOption();
    panel->onAddBGruopOption();
    const QStringList a = panel->groupARowNames();
    const QStringList b = panel->groupBRowNames();
    ASSERT_EQ(a.size(), 2);
    ASSERT_EQ(b.size(), 3);
    // Both team lists draw from one name counter.
    for (const QString& name : b.mid(1))
        EXPECT_FALSE(a.contains(name));
    const char* optionsA[] = {"a1", "a2"};
    const char* optionsB[] = {"b1", "b2", "b3"};
    for (int i = 0; i < 2; ++i)
        setOption("GroupVoteCreateListA", a[i], optionsA[i]);
    for (int i = 0; i < 3; ++i)
        setOption("groupVoteCreateListB", b[i], optionsB[i]);

    emit find<PaneLabelWidget>("addGroupVoteListLable")->clicked();
    auto create = takeOnly<quorix::PCreateVoteReq>(quorix::VOTE_SYSTEM_CREATE_VOTE_REQ);
    EXPECT_EQ(create.vote.voteType, quint32(quorix::kGroupVote));
    EXPECT_EQ(create.vote.limitTime, 200u);
    EXPECT_EQ(create.vote.limits, (quorix::U32Map{{0, 4}, {1, 2}}));
    EXPECT_EQ(create.vote.groupNames, (quorix::TextMap{{0, "红队"}, {1, "蓝队"}}));
    EXPECT_EQ(create.vote.options, (quorix::TextMap{{0, "a1"}, {1, "a2"}, {2, "b1"}, {3, "b2"}, {4, "b3"}}));
    EXPECT_EQ(create.vote.optionGroup, (quorix::U32Map{{0, 0}, {1, 0}, {2, 1}, {3, 1}, {4, 1}}));

    setText(page, "BNameLineEdit", QString());
    emit find<PaneLabelWidget>("addGroupVoteListLable")->clicked();
    EXPECT_EQ(takeWarning(), kEmpty);
    EXPECT_TRUE(takeSent().empty());
}

TEST_F(EditorTest, JudgeVoteWithoutJudgesIsAccepted)
{
    setText("createJudgeVotePage", "voteName", QStringLiteral("才艺评审"));
    emit find<PaneLabelWidget>("voteListAddJudgeVoteLable")->clicked();
    auto create = takeOnly<quorix::PCreateVoteReq>(quorix::VOTE_SYSTEM_CREATE_VOTE_REQ);
    EXPECT_EQ(create.vote.voteType, quint32(quorix::kJudgeVote));
    EXPECT_EQ(create.vote.limitTime, 300u);
    EXPECT_EQ(create.vote.limits, (quorix::U32Map{{0, 5}, {1, 5}}));
    EXPECT_EQ(create.vote.options, (quorix::TextMap{{0, "才艺评审"}}));
    EXPECT_TRUE(create.vote.judges.empty());
}

TEST_F(EditorTest, JudgesAreSentInTheOrderTheyWereAdded)
{
    setText("createJudgeVotePage", "voteName", QStringLiteral("评审"));
    panel->onJudgeQueried(QStringLiteral("Zed"), 9001, 700);
    panel->onJudgeQueried(QStringLiteral("Amy"), 9002, 500);
    emit find<PaneLabelWidget>("voteListAddJudgeVoteLable")->clicked();
    auto create = takeOnly<quorix::PCreateVoteReq>(quorix::VOTE_SYSTEM_CREATE_VOTE_REQ);
    EXPECT_EQ(create.vote.judgeOrder, (quorix::U32Map{{0, 700}, {1, 500}}));
    ASSERT_EQ(create.vote.judges.size(), 2u);
    EXPECT_EQ(create.vote.judges[500].imid, 9002u);
    EXPECT_EQ(create.vote.judges[500].nick, "Amy");
    EXPECT_EQ(create.vote.judges[700].uid, 700u);
}

TEST_F(EditorTest, SixthJudgeIsRefusedBeforeAnyLookUp)
{
    edit("createJudgeVotePage", "voteTovoName")->setText("12345");
    emit find<PaneLabelWidget>("lableJudge")->clicked();
    auto query = takeOnly<quorix::PQueryNicknameReq>(quorix::VOTE_SYSTEM_QUERY_NICKNAME_REQ);
    EXPECT_EQ(query.imid, 12345u);

    judgeFound(5);
    EXPECT_FALSE(linkEnabled("lableJudge"));
    EXPECT_EQ(edit("createJudgeVotePage", "voteTovoName")->text(), QString());
    edit("createJudgeVotePage", "voteTovoName")->setText("777");
    panel->onAddJudgeClicked();
    EXPECT_EQ(takeWarning(), QStringLiteral("抱歉,最多只能添加5位。"));
    EXPECT_TRUE(takeSent().empty());

    // A late answer of a look-up sent before the fifth judge came does not make a sixth.
    panel->onJudgeQueried(QStringLiteral("late"), 6000, 900);
    EXPECT_EQ(panel->judgeList()->uids().size(), 5u);
    EXPECT_EQ(takeWarning(), QStringLiteral("抱歉,最多只能添加5位。"));

    auto* row = find<QuorixPaneListCtrl>("judgeListCtrl");
    qobject_cast<PanePushButton*>(row->findInRow(2, QStringLiteral("Button")))->click();
    EXPECT_EQ(panel->judgeList()->uids().size(), 4u);
    EXPECT_TRUE(linkEnabled("lableJudge"));
}

TEST_F(EditorTest, UnknownUserAndEmptyNumberAreHandled)
{
    panel->onJudgeQueried(QString(), 1, 0);
    EXPECT_EQ(takeWarning(), QStringLiteral("抱歉，该用户不存在。"));
    EXPECT_TRUE(panel->judgeList()->uids().empty());
    panel->onAddJudgeClicked();
    EXPECT_TRUE(takeSent().empty());
}

TEST_F(EditorTest, StartIsRefusedWhileAVoteIsOpen)
{
    quorix::PStartVoteRes started;
    started.voteId = 3;
    started.jiFangId = 9;
    controller->onResStartVote(started);
    fillNormal(QStringLiteral("歌会"), "1", "1", {QStringLiteral("甲")});
    auto* start = find<PanePushButton>("startNormalVoteBtn");
    start->click();
    EXPECT_EQ(takeWarning(), QStringLiteral("有投票没有关闭~"));
    EXPECT_TRUE(takeSent().empty());
    EXPECT_TRUE(start->isEnabled());
    EXPECT_TRUE(panel->isStartIdle());
}

TEST_F(EditorTest, StartSavesThenStartsTheStoredVoteWhenTheListArrives)
{
    fillNormal(QStringLiteral("歌会"), "1", "1", {QStringLiteral("甲")});
    auto* start = find<PanePushButton>("startNormalVoteBtn");
    start->click();
    EXPECT_EQ(takeMinorTypes(), std::vector<quint32>{quorix::VOTE_SYSTEM_CREATE_VOTE_REQ});
    EXPECT_FALSE(start->isEnabled());
    EXPECT_FALSE(panel->isStartIdle());

    quorix::PCreateVoteRes created;
    created.voteId = 55;
    controller->onResCreateVote(created);
    EXPECT_EQ(panel->currentPage(), QuorixMainPanel::VoteListPage);

    quorix::PBroadcastChannelVote pushed;
    pushed.votes = {normalVote(54, "旧", {"x"}), normalVote(55, "歌会", {"甲"})};
    controller->onResBroadCastChannelVote(pushed);
    auto startReq = takeOnly<quorix::PStartVoteReq>(quorix::VOTE_SYSTEM_START_VOTE_REQ);
    EXPECT_EQ(startReq.voteId, 55u);
    EXPECT_TRUE(start->isEnabled());
    EXPECT_TRUE(panel->isStartIdle());
}

TEST_F(EditorTest, FailedCheckLeavesTheStartButtonEnabled)
{
    fillNormal(QString(), "1", "1", {QStringLiteral("甲")});
    find<PanePushButton>("startNormalVoteBtn")->click();
    EXPECT_EQ(takeWarning(), kEmpty);
    EXPECT_TRUE(panel->isStartIdle());
}

TEST_F(EditorTest, StoredNormalVoteOfThreeOptionsFillsThreeOfSixRows)
{
    for (int i = 0; i < 5; ++i)
        panel->onAddNormalClicked();
    ASSERT_EQ(panel->normalOptionRowNames().size(), 6);
    quorix::VoteInfo stored = normalVote(61, "老歌会", {"一", "二", "三"});
    stored.limitTime = 700;
    stored.limits = {{0, 9}, {1, 4}};
    setVotes({stored});

    panel->onRowEditLabelClicked(61);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    EXPECT_EQ(panel->currentPage(), QuorixMainPanel::NormalEditorPage);
    EXPECT_EQ(panel->editId(0), 61u);
    const QStringList rows = panel->normalOptionRowNames();
    ASSERT_EQ(rows.size(), 3);
    EXPECT_EQ(optionText("normalVoteCreateList", rows[0]), QStringLiteral("一"));
    EXPECT_EQ(optionText("normalVoteCreateList", rows[2]), QStringLiteral("三"));
    EXPECT_EQ(panefw::findChildren<PaneLineEdit>(find<PaneWidget>("normalVoteCreateList"),
                                                 QStringLiteral("voteOption"))
                  .size(),
              3);
    EXPECT_EQ(edit("createNormalVotePage", "voteName")->text(), QStringLiteral("老歌会"));
    EXPECT_EQ(comboText("createNormalVotePage", "LimitTime"), QStringLiteral("700"));
    EXPECT_EQ(comboText("createNormalVotePage", "maxTicket"), QStringLiteral("9"));
    EXPECT_EQ(comboText("createNormalVotePage", "maxOptionTicket"), QStringLiteral("4"));

    saveNormal();
    auto update = takeOnly<quorix::PUpdateVoteReq>(quorix::VOTE_SYSTEM_UPDATE_VOTE_REQ);
    EXPECT_EQ(update.vote.voteId, 61u);
    EXPECT_EQ(update.vote.options, (quorix::TextMap{{0, "一"}, {1, "二"}, {2, "三"}}));
}

// The page edits the tickets per person and per option only: a stored vote keeps when it shows
// its results, and a new vote made after editing one is live.
TEST_F(EditorTest, AStoredVoteKeepsWhenItShowsItsResults)
{
    const struct
    {
        const char* name;
        quorix::U32Map limits;
    } rows[] = {{"at the end", {{0, 9}, {1, 4}, {2, 1}}}, {"live", {{0, 9}, {1, 4}}}};
    for (const auto& row : rows) {
        quorix::VoteInfo stored = normalVote(63, "歌", {"一", "二"});
        stored.limits = row.limits;
        setVotes({stored});
        panel->onRowEditLabelClicked(63);
        saveNormal();
        EXPECT_EQ(takeOnly<quorix::PUpdateVoteReq>(quorix::VOTE_SYSTEM_UPDATE_VOTE_REQ).vote.limits,
                  row.limits)
            << row.name;
    }
    panel->newEditNormalVote();
    fillNormal(QStringLiteral("新歌"), "3", "1", {QStringLiteral("甲")});
    saveNormal();
    EXPECT_EQ(takeOnly<quorix::PCreateVoteReq>(quorix::VOTE_SYSTEM_CREATE_VOTE_REQ).vote.limits,
              (quorix::U32Map{{0, 3}, {1, 1}}));
}

TEST_F(EditorTest, StoredNormalVoteWithMoreOptionsAddsRows)
{
    setVotes({normalVote(62, "多", {"1", "2", "3", "4"})});
    panel->onRowEditLabelClicked(62);
    EXPECT_EQ(panel->normalOptionRowNames().size(), 4);
    EXPECT_EQ(optionText("normalVoteCreateList", panel->normalOptionRowNames()[3]), QStringLiteral("4"));
}

TEST_F(EditorTest, StoredGroupVoteIsSplitIntoItsTeams)
{
    for (int i = 0; i < 3; ++i)
        panel->onAddAGruopOption();
    quorix::VoteInfo stored = normalVote(71, "对战", {"a1", "b1", "a2", "x"});
    stored.voteType = quorix::kGroupVote;
    stored.optionGroup = {{0, 0}, {1, 1}, {2, 0}, {3, 7}};
    stored.groupNames = {{0, "红"}, {1, "蓝"}};
    setVotes({stored});

    panel->onRowEditLabelClicked(71);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    EXPECT_EQ(panel->currentPage(), QuorixMainPanel::GroupEditorPage);
    EXPECT_EQ(panel->editId(1), 71u);
    ASSERT_EQ(panel->groupARowNames().size(), 2);
    ASSERT_EQ(panel->groupBRowNames().size(), 1);
    EXPECT_EQ(optionText("GroupVoteCreateListA", panel->groupARowNames()[1]), QStringLiteral("a2"));
    EXPECT_EQ(optionText("groupVoteCreateListB", panel->groupBRowNames()[0]), QStringLiteral("b1"));
    EXPECT_EQ(edit("createGroupVotePage", "ANameLineEdit")->text(), QStringLiteral("红"));
    EXPECT_EQ(edit("createGroupVotePage", "BNameLineEdit")->text(), QStringLiteral("蓝"));
}

TEST_F(EditorTest, StoredJudgeVoteListsItsJudgesInOrder)
{
    judgeFound(5);
    quorix::VoteInfo stored = normalVote(81, "评审", {"评审"});
    stored.voteType = quorix::kJudgeVote;
    stored.judgeOrder = {{0, 700}, {1, 500}};
    stored.judges[500] = quorix::JudgeInfo{500, 9002, "Amy", 0, {}};
    stored.judges[700] = quorix::JudgeInfo{700, 9001, "Zed", 0, {}};
    setVotes({stored});

    panel->onRowEditLabelClicked(81);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    EXPECT_EQ(panel->currentPage(), QuorixMainPanel::JudgeEditorPage);
    EXPECT_EQ(panel->editId(2), 81u);
    EXPECT_EQ(panel->judgeList()->uids(), (std::vector<quint32>{700, 500}));
    EXPECT_EQ(panel->judgeList()->numbers(), (std::vector<QString>{"9001", "9002"}));
    EXPECT_TRUE(linkEnabled("lableJudge"));
}

// A stored vote opened in the editor of its kind and saved again goes back unchanged, also when
// the editor held more rows and judges before.
struct RoundTripCase
{
    const char* name;
    quorix::VoteInfo vote;
    const char* saveLink;
};

quorix::VoteInfo storedVote(quint32 id, quint32 kind, std::vector<const char*> options)
{
    quorix::VoteInfo vote = normalVote(id, "往返", std::move(options));
    vote.voteType = kind;
    vote.limitTime = 450;
    vote.limits = {{0, 6}, {1, 3}};
    return vote;
}

RoundTripCase groupRoundTrip()
{
    quorix::VoteInfo vote = storedVote(92, quorix::kGroupVote, {"a1", "a2", "b1"});
    vote.optionGroup = {{0, 0}, {1, 0}, {2, 1}};
    vote.groupNames = {{0, "红"}, {1, "蓝"}};
    return {"Group", vote, "addGroupVoteListLable"};
}

RoundTripCase judgeRoundTrip()
{
    quorix::VoteInfo vote = storedVote(93, quorix::kJudgeVote, {"往返"});
    vote.limits = {{0, 5}, {1, 5}};
    vote.judgeOrder = {{0, 700}, {1, 500}};
    vote.judges[500] = quorix::JudgeInfo{500, 9002, "Amy", 0, {}};
    vote.judges[700] = quorix::JudgeInfo{700, 9001, "Zed", 0, {}};
    return {"Judge", vote, "voteListAddJudgeVoteLable"};
}

class StoredVoteRoundTrip : public EditorTest, public ::testing::WithParamInterface<RoundTripCase>
{
};

TEST_P(StoredVoteRoundTrip, SavingAnOpenedVoteSendsItBackUnchanged)
{
    const quorix::VoteInfo& stored = GetParam().vote;
    for (int i = 0; i < 3; ++i) {
        panel->onAddNormalClicked();
        panel->onAddAGruopOption();
        panel->onAddBGruopOption();
    }
    judgeFound(1);
    setVotes({stored});
    panel->onRowEditLabelClicked(int(stored.voteId));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    takeSent();

    emit find<PaneLabelWidget>(GetParam().saveLink)->clicked();
    const quorix::VoteInfo sent = takeOnly<quorix::PUpdateVoteReq>(quorix::VOTE_SYSTEM_UPDATE_VOTE_REQ).vote;
    EXPECT_EQ(sent.voteId, stored.voteId);
    EXPECT_EQ(sent.voteType, stored.voteType);
    EXPECT_EQ(sent.name, stored.name);
    EXPECT_EQ(sent.limitTime, stored.limitTime);
    EXPECT_EQ(sent.limits, stored.limits);
    EXPECT_EQ(sent.options, stored.options);
    EXPECT_EQ(sent.optionGroup, stored.optionGroup);
    EXPECT_EQ(sent.groupNames, stored.groupNames);
    EXPECT_EQ(sent.judgeOrder, stored.judgeOrder);
    ASSERT_EQ(sent.judges.size(), stored.judges.size());
    for (const auto& [uid, judge] : stored.judges) {
        EXPECT_EQ(sent.judges.at(uid).imid, judge.imid) << uid;
        EXPECT_EQ(sent.judges.at(uid).nick, judge.nick) << uid;
    }
}

INSTANTIATE_TEST_SUITE_P(Kinds, StoredVoteRoundTrip,
                         ::testing::Values(RoundTripCase{"Normal",
                                                         storedVote(91, quorix::kNormalVote, {"一", "二"}),
                                                         "voteListAddNormalVoteLable"},
                                           groupRoundTrip(), judgeRoundTrip()),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
