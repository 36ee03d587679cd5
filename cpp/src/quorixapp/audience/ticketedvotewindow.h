#pragma once

// The audience window of a kind in which viewers spend tickets on options (normal and group
// votes): the viewer's ticket allowance, the vote on show and whether the service's next counts
// replace the shown ones. Viewers never get the close answer, so the window may still show the
// last vote when the next one starts: its counts and tickets belong to that vote and must not
// carry over (a kept higher count would hide the new vote's real one).

#include "audiencevotewindow.h"
#include "ticketallowance.h"

class TicketedVoteWindow : public AudienceVoteWindow
{
    Q_OBJECT
public:
    bool takesTickets() const override { return true; }
    void showCountedVote(const quorix::VoteInfo& voteRecord) override;
    void hideAndClear() override;
    void setOptionLimit(quorix::UserTicketInfo ticketInfo) override;
    void resetTicketLimits(quorix::VoteInfo voteRecord) override;
    bool isOptionLimitSet() const override { return m_tickets.isKnown(); }
    void clearOptionLimitFlag() override { m_tickets.markUnknown(); }
    void expectServiceNumbers() override;

    quint32 optionAllowance(quint32 optionId) const { return m_tickets.optionLeft(optionId); }

protected:
    TicketedVoteWindow(const char* layoutPath, const QString& title) : AudienceVoteWindow(layoutPath, title)
    {}
    // Shows the remaining tickets, `perOption` as the tickets per option, and which options
    // can still take one.
    virtual void showAllowance(quint32 perOption) = 0;
    virtual void clearCounts() = 0;
    // A record of another vote than the one on show starts afresh.
    void beginVoteOf(const quorix::VoteInfo& voteRecord);
    // A shown number not below the service's count stays (an optimistic local "+1" outlives an
    // older broadcast), unless the service's numbers are expected.
    bool replacesShownCount(const QString& shown, quint32 count) const;
    void shownCountsKept() { m_replaceShownCounts = false; }

    TicketAllowance m_tickets;

private:
    bool m_replaceShownCounts = false;
    quint32 m_shownVoteId = 0;
};
