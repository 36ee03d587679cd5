#include "src/quorixapp/audience/ticketallowance.h"

#include <limits>

void TicketAllowance::setFromState(const quorix::UserTicketInfo& info)
{
    m_remaining = qint64(info.ticketsPerUser) - qint64(info.ticketsUsed);
    m_perOption.clear();
    for (const auto& [optionId, used] : info.usedPerOption)
        m_perOption.insert(optionId, used < info.ticketsPerOption ? info.ticketsPerOption - used : 0);
    m_known = true;
    if (isExhausted())
        exhaust();
}

void TicketAllowance::setFull(const quorix::VoteInfo& vote)
{
    m_remaining = vote.ticketLimit(quorix::kTicketsPerUser);
    const quint32 perOption = vote.ticketLimit(quorix::kTicketsPerOption);
    m_perOption.clear();
    for (const auto& option : vote.options)
        m_perOption.insert(option.first, perOption);
    m_known = true;
}

void TicketAllowance::clear()
{
    m_remaining = 0;
    m_perOption.clear();
    m_known = false;
}

bool TicketAllowance::spend(quint32 optionId)
{
    if (isExhausted() || optionLeft(optionId) == 0)
        return false;
    m_perOption[optionId] -= 1;
    m_remaining -= 1;
    if (isExhausted())
        exhaust();
    return true;
}

quint32 TicketAllowance::shownRemaining() const
{
    return quint32(qBound<qint64>(0, m_remaining, std::numeric_limits<quint32>::max()));
}

void TicketAllowance::exhaust()
{
    for (auto it = m_perOption.begin(); it != m_perOption.end(); ++it)
        it.value() = 0;
}
