#include "ticketedvotewindow.h"

#include "quorixlog.h"

#include "paneframewindow.h"

void TicketedVoteWindow::setOptionLimit(quorix::UserTicketInfo ticketInfo)
{
    m_tickets.setFromState(ticketInfo);
    QLOG(2) << " setOptionLimit remaining tickets == " << m_tickets.remaining();
    showAllowance(ticketInfo.ticketsPerOption);
}

void TicketedVoteWindow::resetTicketLimits(quorix::VoteInfo voteRecord)
{
    m_tickets.setFull(voteRecord);
    showAllowance(voteRecord.ticketLimit(quorix::kTicketsPerOption));
}

void TicketedVoteWindow::showCountedVote(const quorix::VoteInfo& voteRecord)
{
    clearCounts();
    showVote(voteRecord);
}

void TicketedVoteWindow::hideAndClear()
{
    PaneFrameWindow* window = frameWindow();
    if (window == nullptr)
        return;
    QLOG(1) << "audience window cleared on the close message";
    clearCounts();
    window->hide();
}

void TicketedVoteWindow::expectServiceNumbers()
{
    m_replaceShownCounts = true;
    m_tickets.markUnknown();
}

void TicketedVoteWindow::beginVoteOf(const quorix::VoteInfo& voteRecord)
{
    if (voteRecord.voteId == m_shownVoteId)
        return;
    m_shownVoteId = voteRecord.voteId;
    clearCounts();
    m_tickets.clear();
}

bool TicketedVoteWindow::replacesShownCount(const QString& shown, quint32 count) const
{
    bool numeric = false;
    const uint value = shown.toUInt(&numeric);
    return m_replaceShownCounts || !numeric || value < count;
}
