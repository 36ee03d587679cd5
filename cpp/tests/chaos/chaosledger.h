#pragma once

// The checker's record of every answer a chaos run got, and what it makes of the state the service
// shows afterwards. Each viewer gives each option of a round one vote (the option's allowance is
// 2, so a vote counted twice shows); a vote is acknowledged (answered 0), refused (any other
// answer but 21) or unknown (no answer: its node died or its connection broke; or answered 21,
// uncertain). Afterwards:
//   - an acknowledged vote is counted exactly once, a refused one not at all, an unknown one at
//     most once;
//   - no viewer is over the allowances;
//   - the round's history entry appears once and holds the sums of the viewers' tickets.
// An acknowledged vote found not counted is also counted as a lost acknowledgement: what a
// failover to a replica that never got the write looks like. One ledger per channel.

#include <quorix/protocol/votemessages.h>

#include <array>
#include <cstdint>
#include <map>
#include <utility>
#include <string>
#include <vector>

namespace quorix::service::test {

class ChaosLedger
{
public:
    static constexpr std::uint32_t kOptions = 4;
    static constexpr std::uint32_t kPerUser = 4;
    static constexpr std::uint32_t kPerOption = 2;

    enum class Outcome
    {
        NotSent,
        Pending,
        Acknowledged,
        Refused,
        Unknown
    };

    // label prefixes its violations ("channel 12").
    ChaosLedger(std::size_t viewers, std::string label) : m_viewers(viewers), m_label(std::move(label)) {}

    void beginRound(const std::string& name);
    const std::string& roundName() const { return m_name; }
    void sent(std::size_t viewer, std::uint32_t option);
    void answered(std::size_t viewer, std::uint32_t option, std::uint32_t result);
    void lost(std::size_t viewer, std::uint32_t option);

    // Compares what the service says viewer used in this round with the answers it got.
    void checkTickets(std::size_t viewer, std::uint32_t uid, const UserTicketInfo& state);
    // The round's tickets as the viewers' states summed them, kept for the history check.
    void closeRound();
    // Checks every finished round against the history a node answers (newest first, as far as
    // one frame holds): each once, with the counts its viewers' tickets add up to.
    void checkHistory(const HistoryRecords& records);
    void violation(const std::string& what);

    std::uint64_t acknowledged() const { return m_acknowledged; }
    std::uint64_t counted() const { return m_counted; }
    std::uint64_t unknown() const { return m_unknown; }
    std::uint64_t lostAcknowledged() const { return m_lostAcknowledged; }
    const std::map<std::uint32_t, std::uint64_t>& refusals() const { return m_refusals; }
    const std::vector<std::string>& violations() const { return m_violations; }
    std::size_t rounds() const { return m_finished.size(); }

private:
    using Answers = std::array<Outcome, kOptions>;

    void addViolation(const std::string& what);

    std::size_t m_viewers;
    std::string m_label;
    std::string m_name;
    std::vector<Answers> m_answers;
    U32Map m_sums;
    // Finished rounds in the order they ended: name and the counts they must show.
    std::vector<std::pair<std::string, U32Map>> m_finished;
    std::uint64_t m_acknowledged = 0;
    std::uint64_t m_counted = 0;
    std::uint64_t m_unknown = 0;
    std::uint64_t m_lostAcknowledged = 0;
    std::map<std::uint32_t, std::uint64_t> m_refusals;
    std::vector<std::string> m_violations;
};

} // namespace quorix::service::test
