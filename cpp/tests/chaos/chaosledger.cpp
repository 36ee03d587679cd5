#include "tests/chaos/chaosledger.h"

#include "voteservice/core/resultcode.h"

#include <algorithm>

namespace quorix::service::test {

void ChaosLedger::beginRound(const std::string& name)
{
    m_name = name;
    m_answers.assign(m_viewers, Answers{});
    m_sums.clear();
    for (std::uint32_t option = 0; option < kOptions; ++option)
        m_sums[option] = 0;
}

void ChaosLedger::sent(std::size_t viewer, std::uint32_t option)
{
    m_answers[viewer][option] = Outcome::Pending;
}

void ChaosLedger::answered(std::size_t viewer, std::uint32_t option, std::uint32_t result)
{
    if (result == 0) {
        ++m_acknowledged;
        m_answers[viewer][option] = Outcome::Acknowledged;
        return;
    }
    // The service's answer when it cannot tell whether the vote took effect (its reply, or its
    // replicas' confirmation, did not come in time).
    if (result == kResultStorageUnavailable)
        return lost(viewer, option);
    ++m_refusals[result];
    m_answers[viewer][option] = Outcome::Refused;
}

void ChaosLedger::lost(std::size_t viewer, std::uint32_t option)
{
    ++m_unknown;
    m_answers[viewer][option] = Outcome::Unknown;
}

void ChaosLedger::violation(const std::string& what)
{
    addViolation(m_name + ": " + what);
}

void ChaosLedger::addViolation(const std::string& what)
{
    m_violations.push_back(m_label + " " + what);
}

void ChaosLedger::checkTickets(std::size_t viewer, std::uint32_t uid, const UserTicketInfo& state)
{
    const std::string who = "uid " + std::to_string(uid);
    std::uint32_t total = 0;
    for (std::uint32_t option = 0; option < kOptions; ++option) {
        const auto it = state.usedPerOption.find(option);
        const std::uint32_t used = it == state.usedPerOption.end() ? 0 : it->second;
        total += used;
        m_sums[option] += used;
        m_counted += used;
        const std::string where =
            who + " option " + std::to_string(option) + " counted " + std::to_string(used);
        if (used > kPerOption)
            violation(where + ": over the option's allowance");
        switch (m_answers[viewer][option]) {
        case Outcome::Acknowledged:
            if (used == 0) {
                ++m_lostAcknowledged;
                violation(where + ": an acknowledged vote was lost");
            } else if (used != 1) {
                violation(where + " though answered 0 once");
            }
            break;
        case Outcome::Refused:
        case Outcome::NotSent:
            if (used != 0)
                violation(where + " though refused or never sent");
            break;
        case Outcome::Unknown:
        case Outcome::Pending:
            if (used > 1)
                violation(where + " though sent once");
            break;
        }
    }
    if (total != state.ticketsUsed || total > kPerUser)
        violation(who + " used " + std::to_string(state.ticketsUsed) + " tickets, options add up to " +
                  std::to_string(total));
}

void ChaosLedger::closeRound()
{
    m_finished.emplace_back(m_name, m_sums);
}

void ChaosLedger::checkHistory(const HistoryRecords& records)
{
    std::map<std::string, std::vector<const VoteHistoryRecord*>> byName;
    for (const auto& [key, record] : records)
        byName[record.name].push_back(&record);
    // The answer holds the newest entries: only rounds older than every one shown may be cut off.
    bool olderShown = false;
    for (const auto& [roundName, sums] : m_finished) {
        const auto it = byName.find(roundName);
        const std::string name = "history of " + roundName;
        if (it == byName.end()) {
            if (olderShown)
                addViolation(name + ": missing");
            continue;
        }
        olderShown = true;
        if (it->second.size() != 1)
            addViolation(name + ": " + std::to_string(it->second.size()) + " entries");
        if (it->second.front()->optionTickets != sums)
            addViolation(name + ": counts differ from the viewers' tickets");
    }
    if (std::none_of(m_finished.begin(), m_finished.end(),
                     [&](const auto& round) { return byName.count(round.first) != 0; }) &&
        !m_finished.empty())
        addViolation("history: no finished round shown");
}

} // namespace quorix::service::test
