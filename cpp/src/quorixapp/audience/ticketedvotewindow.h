#pragma once

// The audience window of a kind in which viewers spend tickets on options (normal and group
// votes): the viewer's ticket allowance, the vote on show and whether the service's next counts
// replace the shown ones. Viewers never get the close answer, so the window may still show the
// last vote when the next one starts: its counts and tickets belong to that vote and must not
// carry over (a kept higher count would hide the new vote's real one).

#include "src/quorixapp/audience/audiencevotewindow.h"
#include "src/quorixapp/audience/ticketallowance.h"

class PanePushButton;

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
    TicketedVoteWindow(const char* layoutPath, const QString& title, quint32 voteType);
    // Re-shows which options can still take a ticket.
    virtual void refreshOptions() = 0;
    virtual void clearCounts() = 0;
    // Spends a ticket on the option of the clicked button and sends it to the service; false,
    // spending and sending nothing, without a ticket for that option (a stale or scripted click).
    bool spendTicket(PanePushButton* button);
    // A record of another vote than the one on show starts afresh.
    void beginVoteOf(const quorix::VoteInfo& voteRecord);
    // A shown number not below the service's count stays (an optimistic local "+1" outlives an
    // older broadcast), unless the service's numbers are expected.
    bool replacesShownCount(const QString& shown, quint32 count) const;
    void shownCountsKept() { m_replaceShownCounts = false; }
    // Whether a click shows its ticket in the count at once. Not in a vote whose results come at
    // its end: a viewer is sent zeros until then, and a "+1" kept over them would show a count.
    bool countsClickAtOnce() const { return !m_resultsAtEnd; }

    TicketAllowance m_tickets;

private:
    // Shows the remaining tickets, `perOption` as the tickets per option, and which options can
    // still take one.
    void showAllowance(quint32 perOption);
    void showRemainingTickets();

    const quint32 m_voteType;
    bool m_replaceShownCounts = false;
    quint32 m_shownVoteId = 0;
    bool m_resultsAtEnd = false;
};
