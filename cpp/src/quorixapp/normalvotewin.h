#pragma once

// The window every viewer sees while a normal vote runs: one row per option with its count,
// progress bar, rank badge and vote button, a countdown and the viewer's remaining tickets.

#include "src/quorixapp/audience/rankedentries.h"
#include "src/quorixapp/audience/ticketedvotewindow.h"

#include <QPointer>
#include <QString>
#include <QVector>

#include <vector>

class QTimer;
class PaneLabelWidget;
class PaneImageWidget;
class PaneProgressBar;
class PanePushButton;
class PaneWidget;

class NormalVoteWin : public TicketedVoteWindow
{
    Q_OBJECT
public:
    NormalVoteWin();
    ~NormalVoteWin() override;

    void showVote(quorix::VoteInfo voteRecord) override;
    // A new time while the countdown runs replaces the time left.
    void startCountdown(qint32 remainSeconds) override;
    void stopVote() override;
    void minimise() override { onBtnClose(); }

    // Read-only views for the controller's callers and for tests.
    quint32 remainingTickets() const { return m_tickets.shownRemaining(); }
    // Option ids from the first rank to the last, as the last showVote ordered them.
    QVector<quint32> rankedOptions() const;

public slots:
    void onBtnClose();
    void onBtnVoteClick();
    void onTicketRecordClick();
    void onPlus1();

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
    void setUpWindow() override;
    void buildRows();
    void setUpRow(OptionRow* row);
    void setUpFooter();
    OptionRow* rowOf(quint32 optionId) const;
    void fitListHeight();
    void showRank(int rank);
    void setOptionProgress(quint32 optionId, int value);
    void refreshOptions() override;
    void showRunningState(bool running);
    void countOptimistically(PanePushButton* sender);
    void clearCounts() override;
    void startPlus1(PanePushButton* sender);

    std::vector<OptionRow*> rows;
    QPointer<PanePushButton> ticketRecord;
    QPointer<PaneLabelWidget> timerLabel;
    QPointer<PaneLabelWidget> ticketLabel;
    QPointer<PanePushButton> closeButton;
    QTimer* plus1Timer = nullptr;
    qint32 plus1Frame = 1;
    RankedEntries ranking;
};
