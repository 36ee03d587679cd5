#include "src/quorixapp/audience/rankedentries.h"

#include <quorix/protocol/rankorder.h>

RankedEntries::RankedEntries(const quorix::VoteInfo& vote)
{
    quint32 maxCount = 0;
    const quint32 optionCount = quint32(vote.options.size());
    for (quint32 id = 0; id < optionCount; ++id) {
        const auto text = vote.options.find(id);
        OptionEntry entry;
        entry.optionId = id;
        entry.optionName = text == vote.options.end() ? QString() : QString::fromStdString(text->second);
        entry.ticketCount = vote.ticketsOf(id);
        maxCount = qMax(maxCount, entry.ticketCount);
        m_entries.append(entry);
    }
    for (quint32 rest = maxCount / 10; rest != 0; rest /= 10)
        m_scale *= 10;
}

void RankedEntries::rankByCount()
{
    std::vector<std::uint32_t> counts;
    for (const OptionEntry& entry : m_entries)
        counts.push_back(entry.ticketCount);
    QVector<OptionEntry> ranked;
    for (const std::uint32_t index : quorix::RankOrder::ofCounts(counts))
        ranked.append(m_entries[int(index)]);
    m_entries = ranked;
}

RankedEntries RankedEntries::team(const quorix::VoteInfo& vote, quint32 team) const
{
    RankedEntries members;
    members.m_scale = m_scale;
    for (const OptionEntry& entry : m_entries) {
        const auto group = vote.optionGroup.find(entry.optionId);
        const quint32 entryTeam = group == vote.optionGroup.end() || group->second == 0 ? 0 : 1;
        if (entryTeam == team)
            members.m_entries.append(entry);
    }
    return members;
}

quint32 RankedEntries::totalTickets() const
{
    quint32 total = 0;
    for (const OptionEntry& entry : m_entries)
        total += entry.ticketCount;
    return total;
}

int RankedEntries::progress(quint32 count) const
{
    return int(double(count) / double(m_scale) * 100.0);
}
