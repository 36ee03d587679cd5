#pragma once

// The options of a vote as the audience windows show them: id, name and ticket count, with the
// progress scale of the whole vote (10 to the power of the digits of its highest count).

#include <quorix/protocol/voterecords.h>

#include <QString>
#include <QVector>

struct OptionEntry
{
    quint32 optionId = 0;
    QString optionName;
    quint32 ticketCount = 0;
};

class RankedEntries
{
public:
    RankedEntries() = default;
    // Options 0 to n-1 of the vote, in id order.
    explicit RankedEntries(const quorix::VoteInfo& vote);

    // Highest count first, in the contract's rank order (the one the web pages are sent).
    void rankByCount();
    // The options of team 0 (also those without a team) or of team 1 (any other team), in the
    // same order and with the same scale.
    RankedEntries team(const quorix::VoteInfo& vote, quint32 team) const;

    const QVector<OptionEntry>& entries() const { return m_entries; }
    int size() const { return m_entries.size(); }
    quint32 totalTickets() const;
    // The bar value of a count on the vote's scale, 0 to 100.
    int progress(quint32 count) const;

private:
    QVector<OptionEntry> m_entries;
    quint64 m_scale = 10;
};
