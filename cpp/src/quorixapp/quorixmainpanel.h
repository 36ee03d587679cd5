#pragma once

// The channel managers' window: a start page, the channel's stored votes, the vote history and
// one editor page per vote kind, each handled by the editor object of its kind (editors/). Built
// from its layout on the first init() and afterwards only shown and hidden; the window is deleted by unInit()
// (run by the destructor). Every request goes out through the controller, which calls back with new data; a
// missing window or controller makes every operation a no-op.

#include "src/quorixapp/editors/groupvoteeditor.h"
#include "src/quorixapp/editors/judgevoteeditor.h"
#include "src/quorixapp/editors/normalvoteeditor.h"

#include <quorix/protocol/voterecords.h>

#include <QObject>
#include <QPointer>
#include <QSignalMapper>
#include <QStringList>

#include <memory>

class QuorixController;
class JudgeListCtrl;
class PaneFrameWindow;
class PaneStackedWidget;
class PaneWidget;

class QuorixMainPanel : public QObject
{
    Q_OBJECT
public:
    enum Page
    {
        MainPage = 0,
        VoteListPage = 1,
        VoteRecordPage = 2,
        NormalEditorPage = 3,
        GroupEditorPage = 4,
        JudgeEditorPage = 5
    };
    static constexpr int kMaxOptionRows = OptionListEditor::kMaxRows;
    static constexpr int kMaxJudges = JudgeVoteEditor::kMaxJudges;

    QuorixMainPanel();
    ~QuorixMainPanel() override;

    void init(QuorixController* controller);
    void unInit();
    void showWindow();
    void showVoteListPage();
    void setVoteNumber(const QString& text);
    void setVoteListVoteNumber(const QString& text);

    void refreshVoteList();
    void markVoteStarted(quint32 voteId);
    void markVoteStopped(quint32 voteId);
    void resetVoteRows();

    bool isStartIdle() const;
    void enableStartButtons();

    // While the vote service is not connected the title bar says so and every action that needs
    // the service (start, save, delete, judge look-up) is disabled with that reason as tool tip.
    void setServiceConnected(bool connected);
    bool isServiceConnected() const { return m_serviceConnected; }
    bool isWindowVisible() const;
    void onJudgeQueried(const QString& nick, quint32 imid, quint32 uid);

    void refreshRecordList();

    PaneFrameWindow* window() const;
    int currentPage() const;
    // Vote id open in the editor of kind 0, 1 or 2; 0 for a new vote.
    quint32 editId(int kind) const;
    const QStringList& normalOptionRowNames() const;
    const QStringList& groupARowNames() const;
    const QStringList& groupBRowNames() const;
    JudgeListCtrl* judgeList() const;

public slots:
    void onMainCloseBtnClicked();
    void onMainMinBtnClicked();
    void switchToMainWin();
    void onVoteListLabelClicked();
    void onMainWinVoteRecordLabelClicked();
    void onMainPageSwitchBtnClicked();
    void newEditNormalVote();
    void onCreateComboBoxClicked(int index);
    void newEditVote(int index);

    void showRowButtons(int row);
    void hideRowButtons(int row);
    void onRowSelected(int row);
    void onVoteListCheckAll(bool checked);
    void onRowCheckBoxSelected(bool checked);
    void onRowStartLabelClicked(int voteId);
    void onRowEditLabelClicked(int voteId);
    void onRowDeleteLabelClicked(int voteId);
    void onVoteListBatchDeleteLabelClicked();

    void onAddNormalClicked();
    void ondeleteNormalVoteOptionClicked();
    void onAddAGruopOption();
    void onAddBGruopOption();
    void onDeleteAGroupOptionClicked();
    void onDeleteBGroupOptionClicked();
    bool checkNormalVotePage();
    bool checkGruopVotePage();
    bool checkJudgeVotePage();
    void onAddNormalVoteToListLableClicked();
    void onAddGroupVoteToListPage();
    void onAddJudgeVoteToListPage();
    void onStartBtnClick();
    void onAddJudgeClicked();
    void onJudgeDeleteClicked(int row);

    void onRecordListRowPressed(int row);

private:
    bool buildWindow();
    void setPage(int index);
    void initMainPage();
    void initVoteListPage();
    void initVoteRecordPage();
    void initEditors();
    void initEditorPage(int kind);

    PaneWidget* page(int index) const;
    template <class T> T* find(const char* name) const;
    template <class T> T* findInPage(int index, const char* name) const;

    void addVoteRow(int index, const quorix::VoteInfo& vote);
    void markVoteRows(quint32 voteId, const QString& startText);
    int findVoteRow(quint32 voteId) const;
    const quorix::VoteInfo* findVote(quint32 voteId) const;

    VoteEditor* editor(int kind) const;
    // Starts a new vote in the editor of `kind` and shows it.
    void editNewVote(int kind);
    void warn(const QString& text, bool withParent = true);
    bool checkEditor(int kind);
    void saveVote(int kind);
    void updateJudgeLink();
    void applyServiceState();
    void applyServiceStateToRows();

    QPointer<PaneFrameWindow> m_pWindow;
    QPointer<QuorixController> m_pController;
    QPointer<PaneStackedWidget> m_pStackedWidget;
    QSignalMapper m_startMapper;
    QSignalMapper m_editMapper;
    QSignalMapper m_deleteMapper;
    // Built with the window's pages, deleted before the window.
    std::unique_ptr<NormalVoteEditor> m_normalEditor;
    std::unique_ptr<GroupVoteEditor> m_groupEditor;
    std::unique_ptr<JudgeVoteEditor> m_judgeEditor;
    bool m_serviceConnected = true;
};
