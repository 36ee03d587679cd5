#pragma once

// The window every viewer sees while a group vote runs: team A against team B, each with its
// own column of options; a team's score is the sum of its options' tickets. Tickets are spent on
// single options as in a normal vote. Created once by the application root (no parent) and
// driven by the controller; its only outgoing calls go to the controller. The frame window is
// built at init and belongs to this object.

#include <quorix/protocol/voterecords.h>
#include "panesyscommandrequest.h"

#include <QMap>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QVector>

class QuorixController;
class PaneFrameWindow;
class PaneWidget;

class GroupVoteWin : public QObject
{
    Q_OBJECT
public:
    GroupVoteWin();
    ~GroupVoteWin() override;

    void init(QuorixController* controller);
    void showVote(quorix::VoteInfo voteRecord);
    // As showVote, but every count is the service's, also below a "+1" counted at once for a
    // ticket the service then refused.
    void showCountedVote(const quorix::VoteInfo& voteRecord);
    void startCountdown(qint32 remainSeconds);
    void stopVote();
    void showOnTop();
    void flashTaskbar();
    void setOptionLimit(quorix::UserTicketInfo ticketInfo);
    void resetTicketLimits(quorix::VoteInfo voteRecord);
    bool isOptionLimitSet() const;
    void clearOptionLimitFlag();
    // The service link came back: clicks counted at once may never have reached the service, so
    // the next vote record's counts replace the shown ones even where lower, and the ticket state
    // has to be asked again (isOptionLimitSet is false).
    void expectServiceNumbers();
    void hideAndClear();

    // Read-only views for tests.
    PaneFrameWindow* frameWindow() const;
    qint32 remainingTickets() const { return remainTicket; }
    quint32 optionAllowance(quint32 optionId) const { return optionRemain.value(optionId, 0); }
    qint32 remainingSeconds() const { return remainSeconds; }
    bool isCountdownRunning() const { return countdownTimer.isActive(); }
    // The row widget of position `row` in column 0 (A) or 1 (B), or null.
    PaneWidget* optionRow(int column, int row) const;

public slots:
    void minWnd();
    void VoteBtnClicked();
    void onTicketRecordClick();
    void onSysCommand(PaneSysCommandRequest* request);
    void onTimerCount();

private:
    struct OptionEntry
    {
        quint32 optionId = 0;
        QString optionName;
        quint32 ticketCount = 0;
    };

    template <class T> T* find(const QString& name) const;
    template <class T> T* findInRow(int column, int row, const QString& name) const;
    void buildWindow();
    void setUpLabels();
    void connectButtons();
    void groupOptions(const quorix::VoteInfo& vote);
    void refreshOptionRows();
    void refreshColumn(int column, const QVector<OptionEntry>& entries);
    void fitWindow();
    void fitColumn(int column, int size);
    void exhaustAllowance();
    void setTicketLabels(quint32 perOption);
    void disableColumn(int column, int size);
    void clearCounts();
    void beginVote(quint32 voteId);

    QPointer<QuorixController> controller;
    QPointer<PaneFrameWindow> m_pGroupWnd;
    QVector<OptionEntry> groupA;
    QVector<OptionEntry> groupB;
    QMap<quint32, quint32> optionRemain;
    quint64 progressScale = 10;
    bool optionLimitSet = false;
    bool replaceShownCounts = false;
    qint32 remainTicket = 0;
    qint32 remainSeconds = 0;
    QTimer countdownTimer;
    quint32 shownVoteId = 0;
};
