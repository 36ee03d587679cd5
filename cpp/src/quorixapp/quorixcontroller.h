#pragma once

// Ties the add-on together: the add-on box button, the requests of every window (with the
// current vote's numbers added), the vote stores, and the handling of every answer and push.
// Created and deleted by the application root; every other object is reached through guarded
// pointers, and a step whose object is gone does nothing.

#include <quorix/protocol/votemessages.h>

#include <QMap>
#include <QObject>
#include <QPointer>

#include <array>
#include <optional>

class QuorixProtocol;
class QuorixMainPanel;
class QuorixDataCenter;
class AudienceVoteWindow;
class NormalVoteWin;
class GroupVoteWin;
class JudgeVoteWin;
class recordWnd;

class QuorixController : public QObject
{
    Q_OBJECT
public:
    QuorixController();
    ~QuorixController() override;

    void init(QuorixProtocol* protocol, QuorixMainPanel* mainPanel, QuorixDataCenter* dataCenter,
              NormalVoteWin* normalWnd, GroupVoteWin* groupWnd, JudgeVoteWin* judgeWnd,
              recordWnd* recordWindow);
    void addAppBoxBtn();

    // Requests from the windows.
    void reqStartVote(quint32 voteId);
    void reqEndVote(quint32 voteId);
    void reqCloseVote(quint32 voteId);
    void reqDeleteVote(quint32 voteId, quint32 voteType);
    void reqBatchDeleteVote(const QMap<quint32, quint32>& voteIdToType);
    void reqCreateVote(const quorix::VoteInfo& vote);
    void reqUpdateVote(const quorix::VoteInfo& vote);
    void reqQueryVoteHisRecord();
    void reqQueryNickname(quint32 imid);
    void reqUserVote2Option(quint32 optionId, quint32 voteType);
    void reqJudgeScore(quint32 points);

    // Queries.
    bool hasOpenVote() const;
    const quorix::VoteList& votes() const;
    const quorix::PQueryVoteHisRecordRes& history() const;

    // The state of the channel's current vote, read by the management window and by tests.
    bool isVoteRunning() const { return voteRunning; }
    bool isWindowPopped() const { return windowPopped; }
    bool isBoxButtonAdded() const { return boxButtonAdded; }
    quint32 voteIdStarted() const { return m_voteIdStarted; }
    quint32 voteJiFangId() const { return m_voteJiFangID; }
    quint32 pendingStartVoteId() const { return pendingStartId; }

    // Handlers called by the protocol with the decoded body.
    void onResCreateVote(const quorix::PCreateVoteRes& res);
    void onResUpdateVote(const quorix::PUpdateVoteRes& res);
    void onResStartVote(const quorix::PStartVoteRes& res);
    void onResEndVote(const quorix::PEndVoteRes& res);
    void onResCloseVoteUi(const quorix::PCloseVoteUiRes& res);
    void onResQueryAllVote(const quorix::PQueryAllVoteRes& res);
    void onResBroadCastChannelVote(const quorix::PBroadcastChannelVote& res);
    void onResQueryVoteHisRecord(const quorix::PQueryVoteHisRecordRes& res);
    void onResQueryNickname(const quorix::PQueryNicknameRes& res);
    // A refused ticket was counted in the window at once (spent elsewhere under the same identity,
    // such as on the web viewer page, or the vote just ended): the window goes back to the counts of
    // the last broadcast, takes the service's next numbers as they are and asks for the ticket state.
    void onResUserVote(const quorix::PUserVoteRes& res);
    void onResUserVoteState(const quorix::UserTicketInfo& res);
    void onBroadcastVoteStart(const quorix::PBroadcastVote& broadcast);
    void onBroadcastVoteEnd(const quorix::PBroadcastVote& broadcast);

public slots:
    void onChannelAddonClicked();
    void onRecordBtnClicked();
    void onSubChannelChanged(quint32 newSubChannelId);
    void onAddonAddSignal(quint32 addonId);
    void onAddonRemoveSignal(quint32 addonId);
    // The vote service link went down or came back: the management window says so and disables
    // what needs the service; a start waiting for its save is given up, since the answer is lost.
    // Coming back, the audience windows take the service's numbers again (resyncAudienceWindows).
    void onServiceConnectionChanged(bool connected);

private:
    void openAddon(bool historyPage);
    void refreshVoteList(const quorix::VoteList& received);
    void afterSave(const quorix::PCreateVoteRes& res, const char* logText);
    // The audience window of a vote kind; null for an unknown kind or a window gone.
    AudienceVoteWindow* audienceWindow(quint32 voteType) const;
    void presentStartedVote(AudienceVoteWindow* window, const quorix::PBroadcastVote& broadcast);
    void bringUp(AudienceVoteWindow* window, const quorix::VoteInfo& vote);
    void resyncAudienceWindows();
    void endVoteMissedWhileDown();

    quorix::VoteList m_votes;
    quorix::PQueryVoteHisRecordRes m_history;

    QPointer<QuorixMainPanel> m_pMainPanel;
    // By vote kind: normal, group, judge.
    std::array<QPointer<AudienceVoteWindow>, 3> m_audienceWindows;
    QPointer<recordWnd> m_pRecordWnd;
    QPointer<QuorixProtocol> m_pProtocol;
    QPointer<QuorixDataCenter> m_pDataCenter;
    QPointer<QObject> addonBoxItem;

    bool boxButtonAdded = false;
    bool voteRunning = false;
    quint32 m_voteIdStarted = 0;
    // The running vote's type, known from its start broadcast.
    static constexpr quint32 kNoVoteType = 0xFFFFFFFFu;
    quint32 m_voteTypeStarted = kNoVoteType;
    quint32 m_voteJiFangID = 0;
    std::optional<quorix::VoteInfo> m_lastRunningVote; // as the last broadcast counted it
    bool windowPopped = false;
    quint32 pendingStartId = 0;
};
