#pragma once

// The window every viewer sees while a group vote runs: team A against team B, each with its
// own column of options; a team's score is the sum of its options' tickets. Tickets are spent on
// single options as in a normal vote.

#include "src/quorixapp/audience/rankedentries.h"
#include "src/quorixapp/audience/ticketedvotewindow.h"

#include <QPointer>
#include <QString>

class PaneWidget;

class GroupVoteWin : public TicketedVoteWindow
{
    Q_OBJECT
public:
    GroupVoteWin();
    ~GroupVoteWin() override;

    void showVote(quorix::VoteInfo voteRecord) override;
    // A running countdown keeps its own time.
    void startCountdown(qint32 remainSeconds) override;
    void stopVote() override;
    void minimise() override { minWnd(); }

    // Read-only views for tests.
    // The account itself, which may be below zero; the window never shows less than none.
    qint32 remainingTickets() const;
    // The row widget of position `row` in column 0 (A) or 1 (B), or null.
    PaneWidget* optionRow(int column, int row) const;

public slots:
    void minWnd();
    void VoteBtnClicked();
    void onTicketRecordClick();

private:
    template <class T> T* findInRow(int column, int row, const QString& name) const;
    void setUpWindow() override;
    void setUpLabels();
    void connectButtons();
    void groupOptions(const quorix::VoteInfo& vote);
    void refreshOptions() override;
    void refreshColumn(int column, const RankedEntries& entries);
    void fitWindow();
    void fitColumn(int column, int size);
    void disableColumn(int column, int size);
    void clearCounts() override;

    RankedEntries groupA;
    RankedEntries groupB;
};
