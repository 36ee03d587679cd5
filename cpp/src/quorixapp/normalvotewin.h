#pragma once

// The window every viewer sees while a normal vote runs: one row per option with its count,
// progress bar, rank badge and vote button, a countdown and the viewer's remaining tickets.
// Created once by the application root (no parent) and driven by the controller; its only
// outgoing calls go to the controller. The frame window is built at init and belongs to this
// object; the widgets inside it belong to the frame window.

#include <quorix/protocol/voterecords.h>
#include "panesyscommandrequest.h"

#include <QMap>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QVector>

#include <vector>

class QuorixController;
class QTimer;
class PaneFrameWindow;
class PaneLabelWidget;
class PaneImageWidget;
class PaneProgressBar;
class PanePushButton;
class PaneWidget;

class NormalVoteWin : public QObject
{
    Q_OBJECT
public:
    NormalVoteWin();
    ~NormalVoteWin() override;

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

    // Read-only views for the controller's callers and for tests.
    PaneFrameWindow* frameWindow() const;
    quint32 remainingTickets() const { return m_nRemainTicket; }
    quint32 optionAllowance(quint32 optionId) const { return m_optionRemain.value(optionId, 0); }
    // Option ids from the first rank to the last, as the last showVote ordered them.
    QVector<quint32> rankedOptions() const;
    qint32 remainingSeconds() const { return m_remainSeconds; }
    bool isCountdownRunning() const;

public slots:
    void onBtnClose();
    void onBtnVoteClick();
    void onTicketRecordClick();
    void onPlus1();
    void onSysCommand(PaneSysCommandRequest* request);
    void onTimerCount();

private:
    struct OptionRow
    {
        QPointer<PaneLabelWidget> name;
        QPointer<PaneLabelWidget> count;
        QPointer<PaneImageWidget> badge;
        QPointer<PaneProgressBar> progress;
        QPointer<PanePushButton> button;
        QPointer<PaneWidget> layer;
    };
    struct RankEntry
    {
        quint32 optionId = 0;
        QString optionName;
        quint32 ticketCount = 0;
    };

    template <class T> T* find(const QString& name) const;
    void buildWindow();
    void buildRows();
    void setUpRow(OptionRow* row);
    void setUpFooter();
    OptionRow* rowOf(quint32 optionId) const;
    void rankOptions(const quorix::VoteInfo& vote);
    void fitListHeight();
    void showRank(int rank);
    void setOptionProgress(quint32 optionId, int value);
    void refreshVoteButtons();
    void exhaustAllowance();
    void enterRunningState();
    void enterEndedState();
    void setTicketLabels(quint32 perOption);
    void countOptimistically(PanePushButton* sender);
    void clearCounts();
    void beginVote(quint32 voteId);
    void startPlus1(PanePushButton* sender);

    std::vector<OptionRow*> rows;
    QPointer<QuorixController> controller;
    QPointer<PaneFrameWindow> m_pNormalWnd;
    QPointer<PanePushButton> ticketRecord;
    QPointer<PaneLabelWidget> timerLabel;
    QPointer<PaneLabelWidget> ticketLabel;
    QPointer<PanePushButton> closeButton;
    QTimer* plus1Timer = nullptr;
    QTimer* countdownTimer = nullptr;
    qint32 plus1Frame = 1;
    qint32 m_remainSeconds = 0;
    QVector<RankEntry> ranking;
    quint64 scale = 10;
    quint32 m_nRemainTicket = 0;
    QMap<quint32, quint32> m_optionRemain;
    bool optionLimitSet = false;
    bool replaceShownCounts = false;
    quint32 shownVoteId = 0;
};
