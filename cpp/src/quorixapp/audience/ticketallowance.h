#pragma once

// The tickets a viewer has left in the running vote: an account of tickets per person and, per
// option, the tickets still allowed there. The account is signed: the service may report more
// tickets used than allowed, and then none are left anywhere. Unknown until the service's ticket
// state or a full allowance arrives; a new vote forgets it.

#include <quorix/protocol/voterecords.h>

#include <QMap>

class TicketAllowance
{
public:
    // From the service's ticket state: what is left of the per-person and per-option limits.
    void setFromState(const quorix::UserTicketInfo& info);
    // A viewer who has not voted yet: the vote's limits, on every option.
    void setFull(const quorix::VoteInfo& vote);
    // Nothing known: no tickets, and the state has to be asked for.
    void clear();
    void markUnknown() { m_known = false; }
    bool isKnown() const { return m_known; }

    // Spends one ticket on the option; false, spending nothing, without a ticket for it. The last
    // ticket of the account leaves no option any.
    bool spend(quint32 optionId);

    qint64 remaining() const { return m_remaining; }
    // The account as shown: never below none.
    quint32 shownRemaining() const;
    bool isExhausted() const { return m_remaining <= 0; }
    quint32 optionLeft(quint32 optionId) const { return m_perOption.value(optionId, 0); }

private:
    void exhaust();

    qint64 m_remaining = 0;
    QMap<quint32, quint32> m_perOption;
    bool m_known = false;
};
