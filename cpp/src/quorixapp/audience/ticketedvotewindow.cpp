#include "src/quorixapp/audience/ticketedvotewindow.h"

#include "src/quorixlog/quorixlog.h"

#include "src/quorixapp/quorixcontroller.h"

#include "panelabelwidget.h"
#include "panepushbutton.h"

TicketedVoteWindow::TicketedVoteWindow(const char* layoutPath, const QString& title, quint32 voteType)
    : AudienceVoteWindow(layoutPath, title, "Timer"), m_voteType(voteType)
{}

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

void TicketedVoteWindow::showAllowance(quint32 perOption)
{
    if (!m_window)
        return;
    showRemainingTickets();
    if (PaneLabelWidget* optionTickets = find<PaneLabelWidget>(QStringLiteral("Ticket_option")))
        optionTickets->setText(QString::number(perOption));
    refreshOptions();
}

void TicketedVoteWindow::showRemainingTickets()
{
    if (PaneLabelWidget* tickets = find<PaneLabelWidget>(QStringLiteral("Ticket")))
        tickets->setText(QString::number(m_tickets.shownRemaining()));
}

bool TicketedVoteWindow::spendTicket(PanePushButton* button)
{
    const quint32 optionId = button->data(0).toUInt();
    if (!m_tickets.spend(optionId)) {
        button->setEnabled(false);
        return false;
    }
    if (m_tickets.optionLeft(optionId) == 0)
        button->setEnabled(false);
    showRemainingTickets();
    if (m_tickets.isExhausted())
        refreshOptions();
    if (controller)
        controller->reqUserVote2Option(optionId, m_voteType);
    return true;
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
    m_resultsAtEnd = voteRecord.resultsAtEnd();
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
